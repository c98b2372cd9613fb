// Connecting at start-up as the operator meets it: identifying what VISA
// finds, the module tree, the dialogue's boxes, a typed address and its
// history file, the demo subtype, and how the frame presents the module it
// was given (demo mode calling neither VISA nor the driver).
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QThreadPool>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "fakedriver.h"
#include "fakevisa.h"
#include "modalanswer.h"
#include "settingsstore.h"
#include "testenv.h"
#include "ts1900fp_about.h"
#include "ts1900fp_appspc.h"
#include "ts1900fp_led.h"
#include "ts1900fp_spcenteraddress.h"
#include "ts1900fp_spcselect.h"
#include "ts4820_spc.h"
#include "ts4820fp_demosubtypeselect.h"
#include "visadiscovery.h"

using fake::driver;
using fake::visa;

namespace {

const QString kTyped = QStringLiteral("TCPIP::192.168.250.20::INSTR"); // the address offered first
const QString kUnit = QStringLiteral("TCPIP0::10.0.0.9::INSTR");
const QString kDemo = QStringLiteral("VXI0::1::INSTR");

fake::VisaResource &addResource(const QString &descriptor, const QByteArray &idn,
                                ViUInt16 intf = VI_INTF_TCPIP)
{
    visa().resources << fake::VisaResource{descriptor, intf, 0, descriptor.section("::", 1, 1), "inst0", idn};
    return visa().resources.last();
}

// The driver's calls but the revision query, which any real start makes.
QString driverCalls()
{
    return driver().callTexts().filter(QRegularExpression("^(?!ts4820_revision_query)")).join(", ");
}

QString iniFile() { return qEnvironmentVariable("ALLUSERSPROFILE") + "/Tarsel/DefaultInstrDescr.ini"; }

// The stored history ("1.Descriptor" to "5.Descriptor", "-" for a missing
// key), then what the next showing of the dialog offers.
QString history(ts1900fp_genSPC *adapter)
{
    const QSettings file(iniFile(), QSettings::IniFormat);
    QStringList stored, offered;
    for (int n = 1; n <= 5; ++n) {
        const QString key = QStringLiteral("%1/%2.Descriptor").arg(adapter->model, 4).arg(n);
        stored << (file.contains(key) ? file.value(key).toStringList().join(',') : "-");
    }
    ts1900fp_spcEnterAddress next(adapter);
    next.combo->setEditText("typed in an earlier showing");
    next.loadHistory();
    for (int i = 0; i < next.combo->count(); ++i) {
        offered << next.combo->itemText(i);
    }
    return stored.join('|') + " / " + offered.join('|')
           + (next.combo->currentText() == offered.value(0) ? "" : "?");
}

// What the frame shows: its title, the module label ("-" hidden), the lamp,
// the bus logo, the driver revision and whether About opens.
struct Frame : ts1900fp_AppSPC
{
    using ts1900fp_AppSPC::ts1900fp_AppSPC;
    QString shown() const
    {
        const bool lxi = m_busLogoLabel->pixmap().toImage() == QPixmap(":/lxi-logo.bmp").toImage();
        return QStringList{windowTitle(),
                           m_moduleLabel->isHidden() ? "-" : m_moduleLabel->text(),
                           m_activeLed->state() ? "on" : "off",
                           lxi ? "LXI" : "VXI",
                           about()->driverRevisionLabel()->text(),
                           m_aboutButton->isEnabled() ? "About" : "-"}
            .join('|');
    }
};

// The dialogue: modules found (-1: none, and the history offers an empty
// descriptor), how a descriptor opens, the answers given, the boxes met and
// where it ends.
struct Dialogue
{
    int modules;
    ViStatus status;
    QString answers, boxes;
    int result;
    QString descriptor;
};

} // namespace

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        visa().reset();
        driver().reset();
        driver().nextSession = 77;
        QFile::remove(iniFile());
        QSettings(settingsstore::organisation(), settingsstore::application()).clear();
    }

    // Every resource is identified at once, on at most 128 threads; the
    // result comes sorted and every session closed.
    void identificationInParallel()
    {
        for (int i = 1; i <= 200; ++i) {
            addResource(QStringLiteral("TCPIP0::10.0.0.%1::INSTR").arg(i), "Tarsel Ltd.,Xentra 4820-AB,1,1")
                .replyDelayMs = 30;
        }
        visa().resources[1].idnReply = "Other Instruments,Xentra 4820-AB,1,1";
        visa().resources[2].idnReply = "Tarsel Ltd.,Xentra 4830-" + QByteArray(300, 'B'); // 255 bytes read
        visa().resources[3].readStatus = VI_ERROR_TMO;
        visa().resources[4].openStatus = VI_ERROR_RSRC_BUSY;
        visa().resources[5].intfType = VI_INTF_VXI; // opened and closed only
        ts4820_spc adapter;
        QWidget parent;
        StdoutCapture capture;
        const QList<resourceInfo_t> found = discoverResources(&adapter, &parent);
        QCOMPARE(capture.text(), "viOpen() for TCPIP0::10.0.0.5::INSTR failed with VI_ERROR_RSRC_BUSY!\n");
        QStringList seen;
        for (const resourceInfo_t &r : found.mid(0, 10)) {
            seen << r.columns.value(2) + (r.available ? "*" : "");
        }
        QCOMPARE(seen.join('|'),
                 "4820-AB LXI*|LXI|4830-BB LXI|LXI|||4820-AB LXI*|4820-AB LXI*|4820-AB LXI*|4820-AB LXI*");
        QCOMPARE(found.at(9).descriptor, QStringLiteral("TCPIP0::10.0.0.10::INSTR"));
        QCOMPARE(visa().count("viWrite(TCPIP0::10.0.0.6::INSTR"), 0);
        QCOMPARE(QThreadPool::globalInstance()->maxThreadCount(), 128);
        QVERIFY2(visa().peakInFlight() > 1 && visa().peakInFlight() <= 128,
                 qPrintable(QString::number(visa().peakInFlight())));
        QCOMPARE(visa().openSessions(), 0);
        visa().openDefaultRMStatus = VI_ERROR_SYSTEM_ERROR;
        QVERIFY(discoverResources(&adapter, &parent).isEmpty());
    }

    // "*" marks the rows that can be chosen; OK on another row, or a
    // double-click on a group row, leaves the dialog open.
    void treeOffersOnlyAvailableModules()
    {
        addResource("TCPIP1::10.0.0.5::INSTR", "Tarsel Ltd.,Xentra 4820-AA,1,1.0");
        addResource("TCPIP0::10.0.0.10::INSTR", "Other Co.,Meter 12,1,1.0");
        addResource("GPIB0::5::INSTR", {}, VI_INTF_GPIB);
        addResource(kUnit, "Tarsel Ltd.,Xentra 4820-AB,4,2.4.7");
        ts4820_spc spc;
        ts1900fp_spcSelect select(&spc);
        QCOMPARE(select.findModules(), 2);
        QStringList rows;
        for (QTreeWidgetItemIterator it(select.tree); *it; ++it) {
            rows << QStringList{(*it)->text(0), (*it)->text(1), (*it)->text(2)}.join(' ').trimmed()
                        + ((*it)->flags() & Qt::ItemIsSelectable ? "*" : "");
        }
        QCOMPARE(
            rows.join('|'),
            "GPIB0|TCPIP0|10.0.0.9 inst0 4820-AB LXI*|10.0.0.10 inst0 LXI|TCPIP1|10.0.0.5 inst0 4820-AA LXI*");
        const auto row = [&](const QString &text) {
            return select.tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive).value(0);
        };
        select.show();
        select.tree->setCurrentItem(row("10.0.0.10"));
        QTest::ignoreMessage(
            QtDebugMsg,
            "Select one available motherboard and then click \"OK\" \nor click \"Cancel\" to quit");
        select.okButton->click();
        select.tree->setCurrentItem(row("10.0.0.9"));
        emit select.tree->itemDoubleClicked(row("TCPIP0"), 0); // goes by the row clicked
        QVERIFY(select.isVisible());
        QCOMPARE(select.descriptor, QStringLiteral("TCPIP1::10.0.0.5::INSTR")); // the last available row
        emit select.tree->itemDoubleClicked(row("10.0.0.9"), 0);
        QVERIFY(!select.isVisible());
        QCOMPARE(select.descriptor, kUnit);
    }

    void dialogueOutcome_data()
    {
        QTest::addColumn<Dialogue>("d");
        QTest::newRow("one module found opens at once") << Dialogue{1, 0, "Auto Find", "how", 1, kUnit};
        QTest::newRow("demo from the first box") << Dialogue{0, 0, "Run In Demo Mode", "how", 1, kDemo};
        QTest::newRow("none found, demo")
            << Dialogue{0, 0, "Auto Find|Run In Demo Mode", "how none", 1, kDemo};
        QTest::newRow("none found, Try Again asks again")
            << Dialogue{0, 0, "Auto Find|Try Again|Cancel", "how none how", 0, ""};
        QTest::newRow("typed address opens") << Dialogue{0, 0, "Enter Address|OK", "how enter", 1, kTyped};
        QTest::newRow("not found, Try Again asks again") << Dialogue{
            0, VI_ERROR_RSRC_NFOUND, "Enter Address|OK|Try Again|Cancel", "how enter failed how", 0, kTyped};
        QTest::newRow("a warning is refused too")
            << Dialogue{0, VI_WARN_NSUP_ID_QUERY, "Enter Address|OK|Cancel", "how enter warned", 0, kTyped};
        QTest::newRow("empty descriptor warns")
            << Dialogue{-1, 0, "Enter Address|OK|OK|Cancel", "how enter empty enter", 0, ""};
    }
    void dialogueOutcome()
    {
        QFETCH(Dialogue, d);
        const QString title = QStringLiteral("Xentra 4820 SFP: Select Module|");
        const QString failed =
            title + "Selected Xentra 4820 Module is unavailable.\nError: 0x%1|Try Again, Cancel";
        const QMap<QString, QString> box{
            {"how",
             title
                 + "How to connect to Xentra 4820 Module?|Cancel, Auto Find, Run In Demo Mode, Enter Address"},
            {"none",
             title + "No Xentra 4820 Module found on your system.|Try Again, Run In Demo Mode, Cancel"},
            {"enter", "Xentra 4820 SFP: Enter Module Address||OK, Cancel"},
            {"failed", failed.arg("bfff0011")},
            {"warned", failed.arg("3ffc0101")},
            {"empty", "Xentra 4820 SFP Warning message|You have not entered Instrument Descriptor|OK"}};
        if (d.modules > 0) {
            addResource(kUnit, "Tarsel Ltd.,Xentra 4820-AB,4,2.4.7");
        } else if (d.modules < 0) {
            QSettings(iniFile(), QSettings::IniFormat).setValue("4820/1.Descriptor", QString());
        }
        driver().script("ts4820_init", d.status, 1);
        ts4820_spc spc;
        ts1900fp_spcSelect select(&spc);
        ModalAnswer boxes(d.answers.split('|'));
        QCOMPARE(select.selectModule(), d.result);
        QVERIFY2(boxes.done(), qPrintable(boxes.error()));
        QStringList seen, expected;
        for (const BoxReport &r : boxes.reports()) {
            seen << r.title + '|' + r.text + '|' + r.buttons.join(", ");
        }
        for (const QString &key : d.boxes.split(' ')) {
            expected << box.value(key);
        }
        QCOMPARE(seen, expected);
        QCOMPARE(select.descriptor, d.descriptor);
        QCOMPARE(select.demo, d.descriptor == kDemo ? 1 : 0);
        // Only a found or typed descriptor is opened, with neither query nor reset.
        const bool opened = d.descriptor == kTyped || d.descriptor == kUnit;
        QCOMPARE(driverCalls(), opened ? "ts4820_init(\"" + d.descriptor + "\", 0, 0, out)" : QString());
        QCOMPARE(select.vi, ViSession(opened && d.status >= 0 ? 77 : 0));
    }

    void historyFile_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("history"); // stored / offered
        QTest::newRow("first run: the demo address") << "" << QStringList() << "-|-|-|-|- / " + kTyped;
        QTest::newRow("A, B, A") << "" << QStringList{"A", "B", "A"} << "A|B||| / A|B";
        QTest::newRow("sixth pushes the oldest out")
            << "" << QStringList{"d1", "d2", "d3", "d4", "d5", "d6"} << "d6|d5|d4|d3|d2 / d6|d5|d4|d3|d2";
        QTest::newRow("empty text is not stored") << "" << QStringList{"A", "B", ""} << "B|A||| / B|A";
        QTest::newRow("empty and missing keys skipped")
            << "[4820]\n1.Descriptor=\n2.Descriptor=B\n5.Descriptor=E\n4.Descriptor=D\n"
            << QStringList() << "|B|-|D|E / B|D|E";
    }
    void historyFile()
    {
        QFETCH(QString, ini);
        QFETCH(QStringList, taken);
        QDir().mkpath(QFileInfo(iniFile()).path());
        QFile file(iniFile());
        QVERIFY(ini.isEmpty() || (file.open(QIODevice::WriteOnly) && file.write(ini.toUtf8()) == ini.size()));
        file.close();
        ts4820_spc spc;
        for (const QString &text : taken) {
            ts1900fp_spcEnterAddress dialog(&spc);
            dialog.loadHistory();
            dialog.combo->setEditText(text);
            QCOMPARE(dialog.takeDescriptor(), text);
        }
        QTEST(history(&spc), "history");
    }

    // Each model keeps its own section, named by the padded model field as
    // the titles are; with no shared profile folder the user's config
    // folder holds the file.
    void historyPlacesAndPaddedTitles()
    {
        ts4820_spc full, padded;
        padded.model = 482;
        ts1900fp_spcEnterAddress dialog(&padded);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Xentra  482 SFP: Enter Module Address"));
        dialog.combo->setEditText("B");
        dialog.takeDescriptor();
        QCOMPARE(history(&padded) + ", " + history(&full), "B|||| / B, -|-|-|-|- / " + kTyped);
        const QByteArray shared = qgetenv("ALLUSERSPROFILE");
        qputenv("ALLUSERSPROFILE", "");
        ts1900fp_spcEnterAddress unshared(&full);
        qputenv("ALLUSERSPROFILE", shared);
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
        QTest::addColumn<bool>("pressOk");  // on AB, or close the dialog on AA
        QTest::addColumn<QString>("shown"); // now and at the next start
        QTest::newRow("stored index out of range, Ok")
            << QVariant(5) << true << "Xentra 4820-AA, Xentra 4820-AB";
        QTest::newRow("last AB, closed") << QVariant(1) << false << "Xentra 4820-AB, Xentra 4820-AB";
    }
    void demoSubtypeRemembersOnlyOk()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, pressOk);
        if (stored.isValid()) {
            QSettings(settingsstore::organisation(), settingsstore::application())
                .setValue("Last model", stored);
        }
        ts4820fp_demoSubtypeSelect dialog;
        QCOMPARE(dialog.combo->itemText(0) + ", " + dialog.combo->itemText(1),
                 "Xentra 4820-AA, Xentra 4820-AB");
        const QString shown = dialog.combo->currentText();
        dialog.combo->setCurrentIndex(pressOk ? 1 : 0);
        ModalAnswer box(pressOk ? QStringList{"Ok"} : QStringList());
        if (!pressOk) {
            QTimer::singleShot(0, &dialog, &QWidget::close);
        }
        QCOMPARE(dialog.exec(), pressOk ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QTEST(shown + ", " + ts4820fp_demoSubtypeSelect().combo->currentText(), "shown");
    }

    void startUpPresentsTheModule_data()
    {
        QTest::addColumn<QString>("answer"); // empty: demo forced
        QTest::addColumn<int>("interface");
        QTest::addColumn<QString>("shown");
        const QString title = QStringLiteral("Xentra 4820 Soft Front Panel");
        QTest::newRow("demo") << "Run In Demo Mode" << 0
                              << title + ": 192.168.250.20|192.168.250.20|off|LXI|Not used (DEMO)|About";
        QTest::newRow("forced demo, no dialogue") << "" << 0 << title + ": |-|off|LXI|Not used (DEMO)|-";
        QTest::newRow("LXI unit") << "Auto Find" << int(VI_INTF_TCPIP)
                                  << title + ": lab-unit-3|lab-unit-3|on|LXI|4.3.1.0|About";
        QTest::newRow("VXI module in slot 7")
            << "Auto Find" << int(VI_INTF_VXI) << title + "|Slot 7|on|VXI|4.3.1.0|About";
    }
    void startUpPresentsTheModule()
    {
        QFETCH(QString, answer);
        QFETCH(int, interface);
        addResource(kUnit, "Tarsel Ltd.,Xentra 4820-AB,48209481,2.4.7");
        visa().foreignSession = {ViUInt16(interface), 7, QStringLiteral("lab-unit-3"), VI_SUCCESS};
        ts4820_spc adapter;
        ModalAnswer answers(answer.isEmpty() ? QStringList() : QStringList{answer});
        {
            const Frame frame(&adapter, answer.isEmpty());
            QVERIFY2(answers.done(), qPrintable(answers.error()));
            QTEST(frame.shown(), "shown");
        }
        // A unit's session is the one the dialogue opened, closed once; demo mode calls nothing.
        const bool real = interface != 0;
        QCOMPARE(driverCalls(),
                 real ? "ts4820_init(\"" + kUnit + "\", 0, 0, out), ts4820_close(77)" : QString());
        QCOMPARE(visa().calls().isEmpty() && driver().calls.isEmpty(), !real);
    }

    void missingSessionIsOpenedWithResetAndFailureReported()
    {
        addResource(kUnit, "Tarsel Ltd.,Xentra 4820-AB,4,2.4.7");
        // The dialogue's opening hands over no session; the frame's own attempt fails.
        driver().nextSession = 0;
        driver().script("ts4820_init", VI_SUCCESS, 1);
        driver().script("ts4820_init", VI_ERROR_RSRC_NFOUND, 1);
        ts4820_spc adapter;
        ModalAnswer answers({QStringLiteral("Auto Find"), QStringLiteral("No")});
        ts1900fp_AppSPC frame(&adapter);
        QVERIFY2(answers.done(), qPrintable(answers.error()));
        QCOMPARE(driverCalls(),
                 "ts4820_init(\"" + kUnit + "\", 0, 0, out), ts4820_init(\"" + kUnit + "\", 0, 1, out)");
        QCOMPARE(
            answers.report(1).title + '|' + answers.report(1).text,
            "Xentra 4820 SFP Error message|Function Call failed due to [0xbfff0011]\nDo you want to exit?");
    }
};

TS_TEST_MAIN(TestConnection)
#include "test_connection.moc"
