#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class Schematic;

// "Open/Close Relays": the operator types an expression such as
// "X1-4,Y1,Y6"; the relays it names are marked on the schematic and can be
// opened or closed together.
class openCloseDialog : public QDialog
{
    Q_OBJECT
public:
    openCloseDialog(QWidget *mainWindow, Schematic *schematic);

    QLineEdit *expression() const { return m_editor; }
    QPushButton *openSelectedButton() const { return m_openButton; }
    QPushButton *closeSelectedButton() const { return m_closeButton; }
    // The two action buttons are usable only while the expression is valid.
    void setSelectionButtonsEnabled(bool enabled);

signals:
    void openCloseExpressionChanged(QString txt);

public slots:
    void apply();

protected:
    void showEvent(QShowEvent *event) override;

private:
    Schematic *m_schematic;
    QLineEdit *m_editor;
    QPushButton *m_openButton;
    QPushButton *m_closeButton;
    QPushButton *m_doneButton;
};
