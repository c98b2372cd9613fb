#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class ts1900fp_genSPC;

// Lets the user type the VISA descriptor of a module, or pick one of the
// five most recently used, which are kept per model number in a shared
// INI file so that every user of the machine sees the same history.
class ts1900fp_spcEnterAddress : public QDialog
{
    Q_OBJECT
public:
    explicit ts1900fp_spcEnterAddress(ts1900fp_genSPC *adapter);

    // Refills the combo box from the file; offers the demo address when the
    // file has nothing for this model.
    void loadHistory();
    // The descriptor in the combo box, stored at the head of the history
    // unless it is empty.
    QString takeDescriptor();

    QComboBox *combo;
    QStringList history;
    QString group;
    QString iniPath;

    static constexpr int historySize = 5;
};
