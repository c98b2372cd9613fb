// The start-up connection dialogues as the operator meets them: how to
// connect, the module tree, a typed address and its history file, demo mode
// and the demo subtype.
#include <QComboBox>
#include <QDir>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <memory>
#include <utility>

#include "fakevisa.h"
#include "frameicons.h"
#include "modalanswer.h"
#include "settingsstore.h"
#include "testenv.h"
#include "ts1900fp_app.h"
#include "ts1900fp_genspc.h"
#include "ts1900fp_spcenteraddress.h"
#include "ts1900fp_spcselect.h"
#include "ts4820fp_demosubtypeselect.h"

using fake::visa;

namespace {

const QString demoTyped = QStringLiteral("TCPIP::192.168.250.20::INSTR");
const QString selectTitle = QStringLiteral("Xentra 4820 SFP: Select Module");
const QString howText = QStringLiteral("How to connect to Xentra 4820 Module?");
const QString noneText = QStringLiteral("No Xentra 4820 Module found on your system.");
const QString failedText = QStringLiteral("Selected Xentra 4820 Module is unavailable.\nError: 0x");

// An adapter whose init answers with a scripted status, writing session 4711.
class ScriptedAdapter : public ts1900fp_genSPC
{
public:
    explicit ScriptedAdapter(int number = 4820, ViStatus status = VI_SUCCESS) : status(status)
    {
        model = number;
    }
    ViStatus init(const char *d, ViBoolean idQuery, ViBoolean reset, ViSession *vi) override
    {
        calls << QStringLiteral("init(%1, %2, %3)").arg(QLatin1String(d)).arg(idQuery).arg(reset);
        *vi = 4711;
        return status;
    }
    ViStatus close(ViSession) override { return VI_SUCCESS; }
    QString softwareVersion() override { return {}; }
    QString productDescription() override { return {}; }
    QString driverRevision() override { return {}; }
    QString copyrightText() override { return {}; }
    QString secondVersionText() override { return {}; }
    ViStatus status;
    QStringList calls;
};

QTreeWidgetItem *row(QTreeWidget *tree, const QString &text)
{
    return tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive).value(0);
}

// The tree as the user sees it; " *" marks rows that can be chosen.
QStringList treeRows(QTreeWidget *tree)
{
    QStringList rows;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        const QTreeWidgetItem *i = *it;
        rows << (i->parent() ? "  " + i->text(0) + " | " + i->text(1) + " | " + i->text(2) : i->text(0))
                    + (i->flags().testFlag(Qt::ItemIsSelectable) ? " *" : "");
    }
    return rows;
}

// The search runs its own modal progress dialog, which no answerer may
// touch: the tree is answered by an answerer armed once the search is over,
// with the row `pick` made current.
class ScriptedSelect : public ts1900fp_spcSelect
{
public:
    using ts1900fp_spcSelect::ts1900fp_spcSelect;
    int findModules() override
    {
        const int found = ts1900fp_spcSelect::findModules();
        tree->setCurrentItem(row(tree, pick));
        answers = std::make_unique<ModalAnswer>(treeAnswer);
        return found;
    }
    QString pick, treeAnswer;
    std::unique_ptr<ModalAnswer> answers;
};

// One available module among other resources, or two available ones.
void addResources(int available)
{
    const auto add = [](const QString &descriptor, const QByteArray &idn, ViUInt16 intf = VI_INTF_TCPIP) {
        fake::VisaResource r;
        r.descriptor = descriptor;
        r.intfType = intf;
        r.host = descriptor.section(QStringLiteral("::"), 1, 1);
        r.idnReply = idn;
        visa().resources << r;
    };
    if (available == 1) {
        add("VXI0::3::INSTR", {}, VI_INTF_VXI);
        add("GPIB0::5::INSTR", {}, VI_INTF_GPIB);
        add("TCPIP0::10.0.0.4::INSTR", "Other Co.,Meter 12,1,1.0");
        add("TCPIP0::10.0.0.6::INSTR", "Tarsel Ltd.,Xentra 4821-AA,1,1.0");
    } else {
        add("TCPIP1::10.0.0.5::INSTR", "Tarsel Ltd.,Xentra 4820-AA,1,1.0");
        add("TCPIP0::10.0.0.10::INSTR", "Other Co.,Meter 12,1,1.0");
    }
    add("TCPIP0::10.0.0.9::INSTR", "Tarsel Ltd.,Xentra 4820-AB,4,2.4.7");
}

QString iniFile()
{
    return qEnvironmentVariable("ALLUSERSPROFILE") + QStringLiteral("/Tarsel/DefaultInstrDescr.ini");
}

// "1.Descriptor" to "5.Descriptor" of a section; "-" for a missing key.
QStringList storedPositions(const QString &group)
{
    QSettings file(iniFile(), QSettings::IniFormat);
    QStringList values;
    for (int n = 1; n <= 5; ++n) {
        const QString key = group + '/' + QString::number(n) + ".Descriptor";
        values << (file.contains(key) ? file.value(key).toStringList().join(',') : "-");
    }
    return values;
}

QStringList comboItems(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}

// Title and text of every box answered, one "title|text" line each.
QStringList seen(const ModalAnswer &boxes)
{
    QStringList lines;
    for (const BoxReport &report : boxes.reports()) {
        lines << report.title + '|' + report.text;
    }
    return lines;
}

// Once `before` has answered its boxes, describes the next message box:
// buttons (action buttons first), default button, parent and icon; then
// presses Escape, and clicks the last button ("Cancel") when Escape did
// nothing. Looks as long as the timer lives.
std::unique_ptr<QTimer> describeBox(const ModalAnswer *before, QStringList *look)
{
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [timer = timer.get(), before, look] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!before->done() || !box || !box->isVisible()) {
            return;
        }
        timer->stop();
        QStringList actions, rest;
        for (QAbstractButton *b : box->buttons()) {
            (box->buttonRole(b) == QMessageBox::ActionRole ? actions : rest) << b->text();
        }
        const auto argb = [](const QPixmap &p) { return p.toImage().convertToFormat(QImage::Format_ARGB32); };
        *look << box->text() << (actions + rest).join(", ")
              << "default " + (box->defaultButton() ? box->defaultButton()->text() : "none")
              << "parent " + (box->parentWidget() ? box->parentWidget()->windowTitle() : "none")
              << (argb(box->windowIcon().pixmap(16)) == argb(frameicons::windowIcon()) ? "frame icon"
                                                                                       : "other icon");
        QTest::keyClick(box, Qt::Key_Escape);
        *look << (box->isVisible() ? "Escape ignored" : "Escape closes");
        if (box->isVisible()) {
            box->buttons().last()->click();
        }
    });
    timer->start(5);
    return timer;
}

} // namespace

class TestConnection : public QObject
{
    Q_OBJECT

    // A modal widget nobody answers for about five seconds is closed (a box
    // through its last button), so that a fault fails the test instead of
    // hanging it and the tests after it.
    QTimer watchdog;
    QPointer<QWidget> watched;
    int ticks = 0;
    QStringList stuck;

private slots:
    void initTestCase()
    {
        connect(&watchdog, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            ticks = modal && modal == watched ? ticks + 1 : 0;
            watched = modal;
            if (ticks == 100) {
                stuck << modal->windowTitle();
                auto *box = qobject_cast<QMessageBox *>(modal);
                box ? box->buttons().last()->click() : void(modal->close());
            }
        });
        watchdog.start(50);
    }
    void cleanup() { QVERIFY2(stuck.isEmpty(), qPrintable("left unanswered: " + stuck.join(", "))); }
    void init()
    {
        stuck.clear();
        visa().reset();
        ts1900fp_app::setModelText(4820);
        QFile::remove(iniFile());
        QSettings(settingsstore::organisation(), settingsstore::application()).clear();
    }

    void searchDecidesWhetherTreeShows_data()
    {
        QTest::addColumn<int>("available");
        QTest::addColumn<QString>("treeAnswer"); // given to the tree, should it show
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QStringList>("tree");
        const QStringList opened{"init(TCPIP0::10.0.0.9::INSTR, 0, 0)"}; // not the preset choice
        const QStringList two{"TCPIP0", "  10.0.0.9 | inst0 | 4820-AB LXI *", "  10.0.0.10 | inst0 | LXI",
                              "TCPIP1", "  10.0.0.5 | inst0 | 4820-AA LXI *"};
        QTest::newRow("one module opens at once, no tree")
            << 1 << "Cancel" << 1 << opened
            << QStringList{"GPIB0",
                           "TCPIP0",
                           "  10.0.0.4 | inst0 | LXI",
                           "  10.0.0.6 | inst0 | 4821-AA LXI",
                           "  10.0.0.9 | inst0 | 4820-AB LXI *",
                           "VXI0"};
        QTest::newRow("two modules, OK opens the chosen") << 2 << "OK" << 1 << opened << two;
        QTest::newRow("two modules, Cancel quits") << 2 << "Cancel" << 0 << QStringList() << two;
    }
    void searchDecidesWhetherTreeShows()
    {
        QFETCH(int, available);
        addResources(available);
        ScriptedAdapter spc;
        ScriptedSelect select(&spc);
        select.pick = QStringLiteral("10.0.0.9");
        QFETCH(QString, treeAnswer);
        select.treeAnswer = treeAnswer;
        ModalAnswer box("Auto Find");
        QTEST(select.selectModule(), "result");
        QVERIFY2(box.done(), qPrintable(box.error()));
        QTEST(spc.calls, "calls");
        QTEST(treeRows(select.tree), "tree");
        QCOMPARE(select.answers->report().title, available > 1 ? selectTitle : QString());
        QCOMPARE(select.vi, ViSession(spc.calls.isEmpty() ? 0 : 4711));
        QCOMPARE(select.demo, 0);
    }

    void onlyAvailableRowsCanBeChosen_data()
    {
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<bool>("doubleClick");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("OK, nothing chosen") << QString() << false << false;
        QTest::newRow("OK, other maker") << "10.0.0.10" << false << false;
        QTest::newRow("double-click, group row") << "TCPIP0" << true << false;
        QTest::newRow("double-click, available") << "10.0.0.9" << true << true;
    }
    void onlyAvailableRowsCanBeChosen()
    {
        QFETCH(QString, clicked);
        QFETCH(bool, doubleClick);
        QFETCH(bool, accepted);
        addResources(2);
        ScriptedAdapter spc;
        ts1900fp_spcSelect select(&spc);
        QCOMPARE(select.findModules(), 2);
        const QString preset = QStringLiteral("TCPIP1::10.0.0.5::INSTR"); // the last available row
        QCOMPARE(select.descriptor, preset);
        select.show();
        QTreeWidgetItem *item = row(select.tree, clicked);
        if (doubleClick) {
            // A double-click goes by the row clicked, not by the current row.
            select.tree->setCurrentItem(row(select.tree, "10.0.0.9"));
            emit select.tree->itemDoubleClicked(item, 0);
        } else {
            select.tree->setCurrentItem(item);
            QTest::ignoreMessage(QtDebugMsg, "Select one available motherboard and then click "
                                             "\"OK\" \nor click \"Cancel\" to quit");
            select.okButton->click();
        }
        QCOMPARE(select.isVisible(), !accepted);
        QCOMPARE(select.result(), accepted ? int(QDialog::Accepted) : 0);
        QCOMPARE(select.descriptor, accepted ? "TCPIP0::10.0.0.9::INSTR" : preset);
    }

    // Where the dialogue ends and the boxes met on the way; a "look" row
    // describes the last box and leaves it by Escape.
    void dialogueOutcome_data()
    {
        QTest::addColumn<bool>("emptyStored"); // the history offers an empty descriptor
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("look");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("descriptor");
        const QString how = selectTitle + '|' + howText, none = selectTitle + '|' + noneText;
        const QString enter = QStringLiteral("Xentra 4820 SFP: Enter Module Address|");
        const QString failed = selectTitle + '|' + failedText, demo = QStringLiteral("VXI0::1::INSTR");
        const QStringList no;
        QTest::newRow("how to connect: look, Escape quits")
            << false << 0 << no << no
            << QStringList{howText,
                           "Auto Find, Run In Demo Mode, Enter Address, Cancel",
                           "default Auto Find",
                           "parent none",
                           "frame icon",
                           "Escape closes"}
            << 0 << "";
        QTest::newRow("no module found: look, Escape ignored")
            << false << 0 << QStringList{"Auto Find"} << QStringList{how}
            << QStringList{noneText,
                           "Try Again, Run In Demo Mode, Cancel",
                           "default Try Again",
                           "parent " + selectTitle,
                           "frame icon",
                           "Escape ignored"}
            << 0 << "";
        QTest::newRow("module unavailable: look, Escape quits")
            << false << int(VI_ERROR_RSRC_NFOUND) << QStringList{"Enter Address", "OK"}
            << QStringList{how, enter}
            << QStringList{failedText + "bfff0011", "Try Again, Cancel", "default Try Again",
                           "parent " + selectTitle, "frame icon",        "Escape closes"}
            << 0 << demoTyped;
        QTest::newRow("demo from the first box")
            << false << 0 << QStringList{"Run In Demo Mode"} << QStringList{how} << no << 1 << demo;
        QTest::newRow("demo when no module is found")
            << false << 0 << QStringList{"Auto Find", "Run In Demo Mode"} << QStringList{how, none} << no << 1
            << demo;
        QTest::newRow("Try Again asks how to connect, Cancel quits")
            << false << 0 << QStringList{"Auto Find", "Try Again", "Cancel"} << QStringList{how, none, how}
            << no << 0 << "";
        QTest::newRow("typed address opens") << false << 0 << QStringList{"Enter Address", "OK"}
                                             << QStringList{how, enter} << no << 1 << demoTyped;
        QTest::newRow("not found, Try Again")
            << false << int(VI_ERROR_RSRC_NFOUND) << QStringList{"Enter Address", "OK", "Try Again", "Cancel"}
            << QStringList{how, enter, failed + "bfff0011", how} << no << 0 << demoTyped;
        QTest::newRow("a warning is refused too")
            << false << int(VI_WARN_NSUP_ID_QUERY) << QStringList{"Enter Address", "OK", "Cancel"}
            << QStringList{how, enter, failed + "3ffc0101"} << no << 0 << demoTyped;
        QTest::newRow("empty descriptor warns")
            << true << 0 << QStringList{"Enter Address", "OK", "OK", "Cancel"}
            << QStringList{how, enter,
                           "Xentra 4820 SFP Warning message|You have not entered Instrument "
                           "Descriptor",
                           enter}
            << no << 0 << "";
    }
    void dialogueOutcome()
    {
        QFETCH(bool, emptyStored);
        QFETCH(int, status);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, look);
        QFETCH(QString, descriptor);
        if (emptyStored) {
            QSettings(iniFile(), QSettings::IniFormat).setValue("4820/1.Descriptor", QString());
        }
        ScriptedAdapter spc(4820, status);
        ts1900fp_spcSelect select(&spc);
        ModalAnswer boxes(answers);
        QStringList described;
        const auto describer = look.isEmpty() ? nullptr : describeBox(&boxes, &described);
        QTEST(select.selectModule(), "result");
        QVERIFY2(boxes.done(), qPrintable(boxes.error()));
        QTEST(seen(boxes), "boxes");
        QCOMPARE(described, look);
        QCOMPARE(select.descriptor, descriptor);
        QCOMPARE(select.demo, descriptor == QLatin1String("VXI0::1::INSTR") ? 1 : 0);
        // Only a typed descriptor is opened, with neither query nor reset.
        const bool typed = descriptor == demoTyped;
        QCOMPARE(spc.calls, typed ? QStringList{"init(" + demoTyped + ", 0, 0)"} : QStringList());
        QCOMPARE(select.vi, ViSession(typed ? 4711 : 0));
        QCOMPARE(visa().count("viOpen("), 0);
    }

    void historyFile_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QStringList>("file");
        QTest::addColumn<QStringList>("offered");
        const QStringList nothing;
        QTest::newRow("first run: the demo address")
            << "" << nothing << QStringList(5, "-") << QStringList{demoTyped};
        QTest::newRow("A, B, A") << "" << QStringList{"A", "B", "A"} << QStringList{"A", "B", "", "", ""}
                                 << QStringList{"A", "B"};
        QTest::newRow("sixth pushes the oldest out")
            << "" << QStringList{"d1", "d2", "d3", "d4", "d5", "d6"}
            << QStringList{"d6", "d5", "d4", "d3", "d2"} << QStringList{"d6", "d5", "d4", "d3", "d2"};
        QTest::newRow("empty text is not stored")
            << "" << QStringList{"A", "B", ""} << QStringList{"B", "A", "", "", ""} << QStringList{"B", "A"};
        QTest::newRow("empty and missing keys skipped, key order kept")
            << "[4820]\n1.Descriptor=\n2.Descriptor=B\n5.Descriptor=E\n4.Descriptor=D\n"
            << nothing << QStringList{"", "B", "-", "D", "E"} << QStringList{"B", "D", "E"};
        QTest::newRow("empty 1.Descriptor alone")
            << "[4820]\n1.Descriptor=\n"
            << nothing << QStringList{"", "-", "-", "-", "-"} << QStringList{""};
        QTest::newRow("comma in a hand-written value")
            << "[4820]\n1.Descriptor=TCPIP::a,b::INSTR\n"
            << nothing << QStringList{"TCPIP::a,b::INSTR", "-", "-", "-", "-"}
            << QStringList{"TCPIP::a,b::INSTR"};
    }
    void historyFile()
    {
        QFETCH(QString, ini);
        QFETCH(QStringList, taken);
        if (!ini.isEmpty()) {
            QDir().mkpath(QFileInfo(iniFile()).path());
            QFile file(iniFile());
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ini.toUtf8()) == ini.size());
        }
        ScriptedAdapter spc;
        for (const QString &text : taken) {
            ts1900fp_spcEnterAddress dialog(&spc);
            dialog.loadHistory();
            dialog.combo->setEditText(text);
            QCOMPARE(dialog.takeDescriptor(), text);
        }
        QTEST(storedPositions("4820"), "file");
        ts1900fp_spcEnterAddress next(&spc);
        next.combo->setEditText("typed in an earlier showing");
        next.loadHistory();
        QTEST(comboItems(next.combo), "offered");
        QCOMPARE(next.combo->currentText(), comboItems(next.combo).value(0));
        QVERIFY(next.combo->isEditable());
        QVERIFY(next.combo->toolTip().contains("<b>" + demoTyped + "</b> - Network Instrument"));
    }

    // Each model keeps its own section, named by the padded model field as the
    // titles are; with no shared profile folder the user's config folder holds it.
    void historyPlacesAndPaddedTitles()
    {
        ScriptedAdapter full(4820), padded(482);
        ts1900fp_spcEnterAddress first(&full), second(&padded);
        first.combo->setEditText("A");
        first.takeDescriptor();
        second.combo->setEditText("B");
        second.takeDescriptor();
        QCOMPARE(storedPositions("4820"), (QStringList{"A", "", "", "", ""}));
        QCOMPARE(storedPositions(" 482"), (QStringList{"B", "", "", "", ""}));
        first.loadHistory();
        QCOMPARE(comboItems(first.combo), QStringList{"A"});
        QCOMPARE(second.windowTitle(), QStringLiteral("Xentra  482 SFP: Enter Module Address"));
        ts1900fp_spcSelect select(&padded);
        QCOMPARE(select.windowTitle(), QStringLiteral("Xentra  482 SFP: Select Module"));
        ModalAnswer box("Cancel");
        QCOMPARE(select.selectModule(), 0);
        QCOMPARE(seen(box),
                 QStringList{"Xentra  482 SFP: Select Module|How to connect to Xentra  482 Module?"});

        const QByteArray saved = qgetenv("ALLUSERSPROFILE");
        qputenv("ALLUSERSPROFILE", "");
        ts1900fp_spcEnterAddress unshared(&full);
        qputenv("ALLUSERSPROFILE", saved);
        unshared.combo->setEditText("C");
        unshared.takeDescriptor();
        const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                             + "/Tarsel/DefaultInstrDescr.ini";
        QCOMPARE(QSettings(path, QSettings::IniFormat).value("4820/1.Descriptor").toString(), "C");
        QVERIFY(QFile::remove(path));
    }

    void demoSubtypeRemembersOnlyOk_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("choice");
        QTest::addColumn<bool>("pressOk");
        QTest::addColumn<QString>("next"); // offered at the next start
        const QString aa = QStringLiteral("Xentra 4820-AA"), ab = QStringLiteral("Xentra 4820-AB");
        QTest::newRow("first start, Ok on AB") << QVariant() << aa << 1 << true << ab;
        QTest::newRow("last AB, closed on AA") << QVariant(1) << ab << 0 << false << ab;
        QTest::newRow("index out of range") << QVariant(5) << aa << 0 << true << aa;
    }
    void demoSubtypeRemembersOnlyOk()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, choice);
        QFETCH(bool, pressOk);
        if (stored.isValid()) {
            QSettings(settingsstore::organisation(), settingsstore::application())
                .setValue("Last model", stored);
        }
        ts4820fp_demoSubtypeSelect dialog;
        QCOMPARE(comboItems(dialog.combo), (QStringList{"Xentra 4820-AA", "Xentra 4820-AB"}));
        QTEST(dialog.combo->currentText(), "shown");
        dialog.combo->setCurrentIndex(choice);
        const auto box = pressOk ? std::make_unique<ModalAnswer>("Ok") : nullptr;
        if (!pressOk) {
            QTimer::singleShot(0, &dialog, &QWidget::close);
        }
        QCOMPARE(dialog.exec(), pressOk ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(dialog.combo->currentData().toString(), QStringList({"AA", "AB"}).value(choice));
        ts4820fp_demoSubtypeSelect again;
        QTEST(again.combo->currentText(), "next");
    }
};

TS_TEST_MAIN(TestConnection)
#include "test_connection.moc"