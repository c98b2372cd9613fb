#pragma once

#include <QDialog>

class QComboBox;

// In demo mode no unit reports its subtype, so the user picks the one to
// imitate; the choice is remembered for the next demo start.
class ts4820fp_demoSubtypeSelect : public QDialog
{
    Q_OBJECT
public:
    ts4820fp_demoSubtypeSelect();

    QComboBox *combo; // text "Xentra 4820-AA"/"Xentra 4820-AB", user data the subtype

public slots:
    void okPressed();
};
