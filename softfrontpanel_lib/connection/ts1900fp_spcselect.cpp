#include "ts1900fp_spcselect.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "demoidentity.h"
#include "frameicons.h"
#include "ts1900fp_app.h"
#include "ts1900fp_genspc.h"
#include "ts1900fp_spcenteraddress.h"
#include "visadiscovery.h"

namespace {

bool isSelectable(const QTreeWidgetItem *item)
{
    return item && item->flags().testFlag(Qt::ItemIsSelectable);
}

QString groupKey(const QString &descriptor)
{
    const int colon = descriptor.indexOf(QLatin1Char(':'));
    return colon < 0 ? descriptor : descriptor.left(colon);
}

} // namespace

ts1900fp_spcSelect::ts1900fp_spcSelect(ts1900fp_genSPC *adapter) : QDialog(nullptr), spc(adapter)
{
    setWindowTitle(QStringLiteral("Xentra ") + modelText() + QStringLiteral(" SFP: Select Module"));
    setWindowIcon(QIcon(frameicons::windowIcon()));

    tree = new QTreeWidget;
    tree->setColumnCount(3);
    tree->setHeaderLabels({QStringLiteral("System"), QStringLiteral("Log Addr"), QStringLiteral("Module")});
    const int h = fontMetrics().height();
    tree->setMinimumWidth(24 * h);
    tree->setMinimumHeight(14 * h);

    okButton = new QPushButton(QStringLiteral("OK"));
    cancelButton = new QPushButton(QStringLiteral("Cancel"));
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(okButton);
    buttonRow->addWidget(cancelButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tree);
    layout->addLayout(buttonRow);

    connect(tree, &QTreeWidget::itemDoubleClicked, this, &ts1900fp_spcSelect::dblClick);
    connect(okButton, &QPushButton::clicked, this, &ts1900fp_spcSelect::okPressed);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    demo = 0;
    vi = 0;
    adjustSize();
}

QString ts1900fp_spcSelect::modelText() const { return modelField(spc->model); }

int ts1900fp_spcSelect::findModules()
{
    tree->clear();
    const QList<resourceInfo_t> records = discoverResources(spc, this);

    int count = 0;
    QString currentKey;
    QTreeWidgetItem *groupItem = nullptr;
    for (const resourceInfo_t &record : records) {
        const QString key = groupKey(record.descriptor);
        if (!groupItem || key != currentKey) {
            currentKey = key;
            groupItem = new QTreeWidgetItem(tree, QStringList{key});
            groupItem->setFlags(Qt::ItemIsEnabled);
            groupItem->setExpanded(true);
        }
        // Resources that are not network instruments, or could not be
        // opened, show up only through their group row.
        if (record.columns.size() != 3) {
            continue;
        }
        auto *item = new QTreeWidgetItem(groupItem, record.columns);
        item->setData(0, Qt::StatusTipRole, record.descriptor);
        item->setExpanded(true);
        if (record.available) {
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            ++count;
            descriptor = record.descriptor;
        } else {
            item->setFlags(Qt::ItemIsEnabled);
        }
    }
    tree->resizeColumnToContents(0);
    tree->resizeColumnToContents(1);
    return count;
}

void ts1900fp_spcSelect::okPressed()
{
    QTreeWidgetItem *item = tree->currentItem();
    if (!isSelectable(item)) {
        qDebug("%s", "Select one available motherboard and then click \"OK\" \n"
                     "or click \"Cancel\" to quit");
        return;
    }
    descriptor = item->data(0, Qt::StatusTipRole).toString();
    accept();
}

void ts1900fp_spcSelect::dblClick(QTreeWidgetItem *item)
{
    if (!isSelectable(item)) {
        return;
    }
    okPressed();
}

// A question from this dialog, titled like it; returns the index of the
// button clicked, -1 when the box was closed without one.
int ts1900fp_spcSelect::askQuestion(const QString &text, const QStringList &buttons, bool escapeOnLast)
{
    QMessageBox box(QMessageBox::Question, windowTitle(), text, QMessageBox::NoButton, this);
    QList<QAbstractButton *> added;
    for (const QString &label : buttons) {
        added << box.addButton(label, QMessageBox::ActionRole);
    }
    box.setDefaultButton(static_cast<QPushButton *>(added.first()));
    if (escapeOnLast) {
        box.setEscapeButton(added.last());
    }
    box.exec();
    return int(added.indexOf(box.clickedButton()));
}

ts1900fp_spcSelect::Next ts1900fp_spcSelect::searchStep()
{
    const int found = findModules();
    if (found == 1) {
        return Next::Open;
    }
    if (found > 1) {
        return exec() == QDialog::Accepted ? Next::Open : Next::Quit;
    }
    const int answer = askQuestion(
        QStringLiteral("No Xentra %1 Module found on your system.").arg(modelText()),
        {QStringLiteral("Try Again"), QStringLiteral("Run In Demo Mode"), QStringLiteral("Cancel")}, false);
    switch (answer) {
    case 0:
        return Next::AskAgain;
    case 1:
        return Next::Demo;
    default:
        return Next::Quit;
    }
}

ts1900fp_spcSelect::Next ts1900fp_spcSelect::typedAddressStep(ts1900fp_spcEnterAddress &dialog)
{
    do {
        dialog.loadHistory();
        if (dialog.exec() != QDialog::Accepted) {
            return Next::Quit;
        }
        descriptor = dialog.takeDescriptor();
        if (descriptor.isEmpty()) {
            ts1900fp_app::showWarningMessage(QStringLiteral("You have not entered Instrument Descriptor"));
        }
    } while (descriptor.isEmpty());
    return Next::Open;
}

ts1900fp_spcSelect::Next ts1900fp_spcSelect::openStep()
{
    const ViStatus status = spc->init(descriptor.toLatin1().constData(), VI_FALSE, VI_FALSE, &vi);
    if (status == VI_SUCCESS) {
        return Next::Connected;
    }
    // Warnings too: a module that does not open cleanly is not taken, and
    // the session it did open is given back.
    if (status > VI_SUCCESS) {
        spc->close(vi);
    }
    const int answer = askQuestion(QStringLiteral("Selected Xentra %1 Module is unavailable.\nError: 0x%2")
                                       .arg(modelText(), QString::number(quint32(status), 16)),
                                   {QStringLiteral("Try Again"), QStringLiteral("Cancel")}, true);
    return answer == 0 ? Next::AskAgain : Next::Quit;
}

int ts1900fp_spcSelect::selectModule()
{
    ts1900fp_spcEnterAddress enterAddress(spc);
    const QString model = modelText();

    QMessageBox question(QMessageBox::Question, QStringLiteral("Xentra %1 SFP: Select Module").arg(model),
                         QStringLiteral("How to connect to Xentra %1 Module?").arg(model),
                         QMessageBox::NoButton, nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    question.setWindowIcon(QIcon(frameicons::windowIcon()));
    QPushButton *autoFind = question.addButton(QStringLiteral("Auto Find"), QMessageBox::ActionRole);
    QPushButton *runDemo = question.addButton(QStringLiteral("Run In Demo Mode"), QMessageBox::ActionRole);
    QPushButton *enter = question.addButton(QStringLiteral("Enter Address"), QMessageBox::ActionRole);
    question.addButton(QMessageBox::Cancel);
    question.setDefaultButton(autoFind);

    for (;;) {
        question.exec();
        const QAbstractButton *clicked = question.clickedButton();
        Next next = Next::Quit;
        if (clicked == autoFind) {
            next = searchStep();
        } else if (clicked == enter) {
            next = typedAddressStep(enterAddress);
        } else if (clicked == runDemo) {
            next = Next::Demo;
        }
        if (next == Next::Open) {
            next = openStep();
        }

        switch (next) {
        case Next::Demo:
            // Demo mode opens no session: the panel imitates the unit.
            demo = 1;
            descriptor = demoidentity::descriptor();
            return 1;
        case Next::Connected:
            return 1;
        case Next::AskAgain:
            continue;
        default:
            return 0;
        }
    }
}
