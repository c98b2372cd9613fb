#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include "visa.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class ts1900fp_genSPC;
class ts1900fp_spcEnterAddress;

// The connection dialogue at start-up: asks how to connect (search, demo
// or typed address), shows the search result as a tree when there is a
// choice to make, and opens the session through the adapter. The caller
// reads demo, descriptor and vi after selectModule() returned 1.
class ts1900fp_spcSelect : public QDialog
{
    Q_OBJECT
public:
    explicit ts1900fp_spcSelect(ts1900fp_genSPC *adapter);

    // Searches and fills the tree; returns how many modules can be chosen.
    virtual int findModules();
    // 1 to go on, 0 when the user gave up.
    int selectModule();

    QPushButton *okButton;
    QTreeWidget *tree;
    QPushButton *cancelButton;
    QString descriptor;
    qint32 demo = 0;
    ViSession vi = 0;
    ts1900fp_genSPC *spc;

public slots:
    void dblClick(QTreeWidgetItem *item);
    void okPressed();

private:
    // Where one pass of the dialogue leads.
    enum class Next { Open, Demo, Connected, AskAgain, Quit };

    QString modelText() const;
    int askQuestion(const QString &text, const QStringList &buttons, bool escapeOnLast);
    Next searchStep();
    Next typedAddressStep(ts1900fp_spcEnterAddress &dialog);
    Next openStep();
};
