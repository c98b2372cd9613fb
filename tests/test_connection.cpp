// Connecting at start-up: identifying what VISA finds, the dialogue, the typed
// addresses' history, the demo subtype, and what the frame shows of the module.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

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

fake::VisaResource &addResource(const QString &name, const QByteArray &idn, ViUInt16 intf = VI_INTF_TCPIP)
{
    visa().resources << fake::VisaResource{name, {intf, 0, name.section("::", 1, 1)}, idn};
    return visa().resources.last();
}

// The driver's calls but the revision query, which any real start makes.
QString driverCalls()
{
    return driver().calls.filter(QRegularExpression("^(?!ts4820_revision_query)")).join(", ");
}

QString iniFile() { return qEnvironmentVariable("ALLUSERSPROFILE") + "/Tarsel/DefaultInstrDescr.ini"; }

// The enter-address dialog's title, the model's stored history ("-" for a missing
// key) and what the dialog offers next.
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
    return next.windowTitle() + ": " + stored.join('|') + " / " + offered.join('|')
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
        const QString module = m_moduleLabel->isHidden() ? QStringLiteral("-") : m_moduleLabel->text();
        return windowTitle() + '|' + module + (m_activeLed->state() ? "|on|" : "|off|")
               + (lxi ? "LXI|" : "VXI|") + about()->driverRevisionLabel()->text()
               + (m_aboutButton->isEnabled() ? "|About" : "|-");
    }
};

// Modules found (-1: none, and the history offers an empty descriptor), how a
// descriptor opens, the answers given, the boxes met and where the dialogue ends.
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
        QFile::remove(iniFile());
        QSettings(settingsstore::organisation(), settingsstore::application()).clear();
    }

    // All identified at once on at most 128 threads, sorted, every session closed.
    void identificationInParallel()
    {
        for (int i = 1; i <= 200; ++i) {
            addResource(QStringLiteral("TCPIP0::10.0.0.%1::INSTR").arg(i), "Tarsel Ltd.,Xentra 4820-AB,1,1")
                .replyDelayMs = 30;
        }
        visa().resources[1].idnReply = "Other Instruments,Xentra 4820-AB,1,1";
        visa().resources[2].idnReply = "Tarsel Ltd.,Xentra 4830-" + QByteArray(300, 'B'); // 255 bytes read
        visa().resources[3].idnReply.clear();                                             // never answers
        visa().resources[4].openStatus = VI_ERROR_RSRC_BUSY;
        visa().resources[5].attributes.intfType = VI_INTF_VXI; // opened and closed only
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
        QCOMPARE(QThreadPool::globalInstance()->maxThreadCount(), 128);
        QVERIFY(visa().peakInFlight > 1 && visa().peakInFlight <= 128);
        QCOMPARE(visa().openSessions(), 0);
    }

    void dialogueOutcome_data()
    {
        QTest::addColumn<Dialogue>("d");
        QTest::newRow("one found, opened") << Dialogue{1, 0, "Auto Find", "how", 1, kUnit};
        QTest::newRow("demo") << Dialogue{0, 0, "Auto Find|Run In Demo Mode", "how none", 1, kDemo};
        QTest::newRow("none, Try Again")
            << Dialogue{0, 0, "Auto Find|Try Again|Cancel", "how none how", 0, ""};
        QTest::newRow("typed, opened") << Dialogue{0, 0, "Enter Address|OK", "how enter", 1, kTyped};
        QTest::newRow("unavailable, Try Again") << Dialogue{
            0, VI_ERROR_RSRC_NFOUND, "Enter Address|OK|Try Again|Cancel", "how enter failed how", 0, kTyped};
        QTest::newRow("opened with a warning: refused, its session closed") << Dialogue{
            0, VI_WARN_NSUP_ID_QUERY, "Enter Address|OK|Try Again|Cancel", "how enter warned how", 0, kTyped};
        QTest::newRow("empty descriptor")
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
        const QString init = "ts4820_init(\"" + d.descriptor + "\", 0, 0, out)";
        QCOMPARE(driverCalls(), !opened ? QString() : d.status > 0 ? init + ", ts4820_close(1)" : init);
    }

    // Each model keeps its own section, named by its padded field as the titles are.
    void historyFile_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("history");
        const QString title = QStringLiteral("Xentra 4820 SFP: Enter Module Address: ");
        QTest::newRow("first run") << 4820 << QStringList() << title + "-|-|-|-|- / " + kTyped;
        QTest::newRow("A, B, A") << 4820 << QStringList{"A", "B", "A"} << title + "A|B||| / A|B";
        QTest::newRow("six, the oldest out") << 4820 << QStringList{"d1", "d2", "d3", "d4", "d5", "d6"}
                                             << title + "d6|d5|d4|d3|d2 / d6|d5|d4|d3|d2";
        QTest::newRow("empty not stored") << 4820 << QStringList{"A", "B", ""} << title + "B|A||| / B|A";
        QTest::newRow("three-digit model")
            << 482 << QStringList{"B"} << "Xentra  482 SFP: Enter Module Address: B|||| / B";
    }
    void historyFile()
    {
        QFETCH(int, model);
        QFETCH(QStringList, taken);
        ts4820_spc spc;
        spc.model = model;
        for (const QString &text : taken) {
            ts1900fp_spcEnterAddress dialog(&spc);
            dialog.loadHistory();
            dialog.combo->setEditText(text);
            QCOMPARE(dialog.takeDescriptor(), text);
        }
        QTEST(history(&spc), "history");
        QVERIFY(model == 4820 || !QSettings(iniFile(), QSettings::IniFormat).childGroups().contains("4820"));
    }

    // With no shared profile folder, the user's configuration folder holds the history.
    void historyWithoutSharedFolder()
    {
        const QByteArray shared = qgetenv("ALLUSERSPROFILE");
        qputenv("ALLUSERSPROFILE", "");
        ts4820_spc spc;
        ts1900fp_spcEnterAddress dialog(&spc);
        qputenv("ALLUSERSPROFILE", shared);
        dialog.combo->setEditText("C");
        dialog.takeDescriptor();
        const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                             + "/Tarsel/DefaultInstrDescr.ini";
        QCOMPARE(QSettings(path, QSettings::IniFormat).value("4820/1.Descriptor").toString(), "C");
    }

    // The subtype chosen is offered at the next start only when confirmed
    // with Ok; a stored choice out of range falls back to the first.
    void demoSubtypeRemembersOnlyOk()
    {
        QSettings(settingsstore::organisation(), settingsstore::application()).setValue("Last model", 5);
        QStringList shown;
        for (bool ok : {true, false}) {
            ts4820fp_demoSubtypeSelect dialog;
            shown << dialog.combo->currentText();
            dialog.combo->setCurrentIndex(ok ? 1 : 0);
            ModalAnswer box(ok ? QStringList{"Ok"} : QStringList());
            if (!ok) {
                QTimer::singleShot(0, &dialog, &QWidget::close);
            }
            QCOMPARE(dialog.exec(), ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
        }
        const ts4820fp_demoSubtypeSelect next;
        shown << next.combo->currentText() << next.combo->itemText(0);
        QCOMPARE(shown.join('|'), "Xentra 4820-AA|Xentra 4820-AB|Xentra 4820-AB|Xentra 4820-AA");
    }

    // A unit's session is the one the dialogue opened, closed once; when it
    // hands over none the frame opens one with reset. Demo mode calls nothing.
    void startUpPresentsTheModule_data()
    {
        QTest::addColumn<QString>("answers"); // none: demo forced
        QTest::addColumn<int>("interface");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("calls");
        const QString title = QStringLiteral("Xentra 4820 Soft Front Panel");
        const QString lan = title + ": lab-unit-3|lab-unit-3|on|LXI|1.0.0|About";
        const QString init = "ts4820_init(\"" + kUnit + "\", 0, %1, out), ",
                      kept = init.arg(0) + "ts4820_close(1)";
        QTest::newRow("demo") << "Run In Demo Mode" << 0
                              << title + ": 192.168.250.20|192.168.250.20|off|LXI|Not used (DEMO)|About"
                              << "";
        QTest::newRow("forced demo") << "" << 0 << title + ": |-|off|LXI|Not used (DEMO)|-"
                                     << "";
        QTest::newRow("LXI unit") << "Auto Find" << int(VI_INTF_TCPIP) << lan << kept;
        QTest::newRow("VXI module in slot 7")
            << "Auto Find" << int(VI_INTF_VXI) << title + "|Slot 7|on|VXI|1.0.0|About" << kept;
        QTest::newRow("no session handed over")
            << "Auto Find|No" << int(VI_INTF_TCPIP)
            << lan + "|Xentra 4820 SFP Error message|Function Call failed due to [0xbfff0011]\nDo you want to exit?"
            << init.arg(0) + init.arg(1) + "ts4820_close(0)";
    }
    void startUpPresentsTheModule()
    {
        QFETCH(QString, answers);
        QFETCH(int, interface);
        addResource(kUnit, "Tarsel Ltd.,Xentra 4820-AB,48209481,2.4.7");
        visa().driverSession = {ViUInt16(interface), 7, QStringLiteral("lab-unit-3")};
        if (answers.endsWith("No")) { // to the error box
            driver().nextSession = 0;
            driver().script("ts4820_init", VI_SUCCESS, 1);
            driver().script("ts4820_init", VI_ERROR_RSRC_NFOUND, 1);
        }
        ts4820_spc adapter;
        ModalAnswer boxes(answers.split('|', Qt::SkipEmptyParts));
        {
            const Frame frame(&adapter, answers.isEmpty());
            QVERIFY2(boxes.done(), qPrintable(boxes.error()));
            const BoxReport error = boxes.report(1);
            QTEST(frame.shown() + (error.title.isEmpty() ? "" : '|' + error.title + '|' + error.text),
                  "shown");
        }
        QTEST(driverCalls(), "calls");
        QCOMPARE(visa().calls == 0, interface == 0);
    }
};

TS_TEST_MAIN(TestConnection)
#include "test_connection.moc"
