#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

class Alias;
class QComboBox;
class RelayButton;
class ts4820inst;

// The drawing of the switching matrix: one line per row from its X to its
// Y terminal, the four bus lines, the voltage-reference row, a RelayButton
// per relay, an Alias per nameable line and the VRef voltage selector. It
// shows the model's pending state; every user action is written into the
// model at once, with an undo step, and announced by changed().
class Schematic : public QWidget
{
    Q_OBJECT
public:
    Schematic(ts4820inst *instrument, QWidget *parent);

    ts4820inst *instrument;
    double scale = 1.0;
    QList<RelayButton *> relays; // matrix relays row-major, then VRef A..D
    QList<Alias *> aliasWidgets; // X rows, Y rows, buses top A..D, buses bottom A..D
    QComboBox *vrefCombo = nullptr;
    int appliedVRefIndex = 0;

    void setScale(double s);
    // Fills vrefCombo from the model's voltage table, silently: one item per
    // voltage ("+0.0000000", "+9.00000", "-0.450000"), or "External" when the
    // unit has no voltage reference.
    void loadVoltageChoices();
    bool isModified() const;
    void refresh();
    void loadPattern(const char *p);
    void setAliases(const QStringList &a);
    bool undo(bool update);
    // Back through every undo step to the oldest state, shown once at the
    // end.
    void undoAll();
    void setColumn(int c, char st, bool single);
    void setRowXY(int r, char st);
    void setRowBuses(int r, char st);
    void setAll(char st);
    void resetVRef(bool addUndo);
    void clearAliases(int id);
    void clearMarks();
    void markRelay(int r, int c);
    void applyMarked(bool close);

    RelayButton *relayAt(int row, int col) const;
    RelayButton *vrefRelay(int bus) const;
    // Where "Voltage Reference [V]" is painted, above the combo.
    QRect vrefCaptionRect() const;

signals:
    void changed();
    void aliasChanged();
    void customRelayToggle();
    void clearAliasRequested(int id);
    void openCloseClicked(int r, int c, bool close);

public slots:
    void relayToggledSlot(int row, int col, char state);
    void vrefVoltageChanged(int idx);
    void aliasEdited(int row, int col, QString txt);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int px(double design) const { return int(design * scale); }
    void createRelays();
    void createAliases();
    void createVRefRelays();
    void setRelayChecked(RelayButton *button, bool checked);
    void setComboIndexSilently(int index);
    void showPatternState();
    void finishBulkChange();
    // Where a line's name widget is in aliasWidgets: (row, 0) and
    // (row, nCols - 1) for X and Y, (0, bus) and (nRows, bus) for a bus's
    // top and bottom end.
    int aliasSlot(int row, int col) const;
    void paintBranch(class QPainter &painter, int bus, int y, bool tapDot);
    void paintVRefRow(QPainter &painter);
    void paintRow(QPainter &painter, int r);
    void paintBusLines(QPainter &painter);

    int nRows;
    int nCols;
};
