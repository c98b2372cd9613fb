#pragma once

#include <QPushButton>

class QAction;
class QMenu;

// One relay on the schematic: a matrix relay (row, display column 0..5) or,
// with row -1, the link of the voltage reference to bus A..D (col 0..3).
// Checked means closed. The button never touches the model; it reports user
// changes by relayToggled() and group commands by openCloseClicked().
class RelayButton : public QPushButton
{
    Q_OBJECT
public:
    RelayButton(QWidget *parent, int row, int col, double scale, int nRows);
    // "X1", "A7", "VRA": the relay as an operator names it.
    QString name() const;

    int row;
    int col;
    double scale;
    bool hovered = false;
    bool marked = false;
    bool applied = false; // the state the instrument holds

    void setScale(double s);
    void setApplied(bool applied);
    bool isApplied() const { return applied; }
    void setMarked(bool marked);
    bool isMarked() const { return marked; }
    bool isModified() const { return isChecked() != applied; }

    // Built on first use: a schematic holds over a thousand buttons and
    // most menus are never opened.
    QMenu *contextMenu();

signals:
    void relayToggled(int r, int c, char state);
    void customClicked();
    void openCloseClicked(int r, int c, bool close);

public slots:
    void _clicked();

private slots:
    void openClose();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void buildMenu();
    QAction *addEntry(const QString &text);
    void switchTo(bool close);

    int m_nRows;
    QMenu *m_menu = nullptr;
    QAction *m_closeOne = nullptr;
    QAction *m_openOne = nullptr;
    QAction *m_closeColumn = nullptr;
    QAction *m_openColumn = nullptr;
    QAction *m_closeRow = nullptr;
    QAction *m_openRow = nullptr;
    QAction *m_openAll = nullptr;
    QAction *m_openBuses = nullptr;
};
