#pragma once

#include <QString>
#include <QWidget>

#include "mylabel.h"

class QAction;
class QLineEdit;
class QMenu;

// The user's name for one line on the schematic: an X line (row, 0), a Y
// line (row, 5) or a bus (0 or nRows, 1..4). It is edited in place; edits
// and clear requests are reported by signals, never written to the model.
class Alias : public QWidget
{
    Q_OBJECT
public:
    Alias(QWidget *parent, int row, int col, double scale, int nRows);
    ~Alias() override;

    int row;
    int col;
    double scale;
    myLabel *label;
    QString lastValidText; // the editor's last accepted text

    void setScale(double s);
    // Programmatic change: commits (and reports) a pending edit first, but
    // the new text itself is not reported.
    void setText(const QString &txt);
    QString text() const;
    bool isEditing() const;

    // Editor and menu are created on first use: a schematic holds hundreds
    // of aliases and few of them are ever edited.
    QLineEdit *editor();
    QMenu *contextMenu();

signals:
    void startEditing(int row, int col);
    void edited(int row, int col, QString txt);
    void clearAllRequested(int col);

private slots:
    void clearAll();
    void exitEditMode();
    void enterEditModeAndNotify();
    void validateText(QString txt);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void placeEditor();
    // The label's text, and what a screen reader says: the line and its name.
    void setShownText(const QString &txt);

    int m_nRows;
    QLineEdit *m_editor = nullptr;
    QMenu *m_menu = nullptr;
    QAction *m_clearAllAction = nullptr;
};
