// The common frame library as the operator meets it: connecting at start-up
// (identifying what VISA finds, the dialogue, the typed addresses' history,
// the demo subtype, what the frame shows of the module), the status lamp,
// the message boxes and close confirmation, the tool column, the window
// icon, About. (The splash: docs/screenshots.)
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocumentFragment>

#include "clickablelabel.h"
#include "fakedriver.h"
#include "fakevisa.h"
#include "modalanswer.h"
#include "settingsstore.h"
#include "testenv.h"
#include "ts1900fp_about.h"
#include "ts1900fp_app.h"
#include "ts1900fp_appspc.h"
#include "ts1900fp_led.h"
#include "ts1900fp_spcenteraddress.h"
#include "ts1900fp_spcselect.h"
#include "ts4820_spc.h"
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

struct Bare : ts1900fp_app
{
    using ts1900fp_app::m_closeButton;
    using ts1900fp_app::m_identifyButton;
};

// The texts of a group's labels in reading order, rich text as plain, "|" between.
QString groupTexts(QWidget *about, const QString &title)
{
    QStringList texts;
    for (QGroupBox *group : about->findChildren<QGroupBox *>()) {
        for (QLabel *label : group->title() == title ? group->findChildren<QLabel *>() : QList<QLabel *>()) {
            const QString text = label->text();
            texts << (Qt::mightBeRichText(text) ? QTextDocumentFragment::fromHtml(text).toPlainText() : text);
        }
    }
    return texts.join('|');
}

bool near(const QColor &a, const QColor &b)
{
    return std::max({qAbs(a.red() - b.red()), qAbs(a.green() - b.green()), qAbs(a.blue() - b.blue())}) <= 8;
}

// A message box: shown by a function (none: the close button), the
// answer given, and its title, text, icon and buttons.
struct Box
{
    void (*show)(const QString &);
    QString answer, seen;
};

} // namespace

class TestFrame : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        ts1900fp_app::setModelText(4820);
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
        Qt::CursorShape searching = Qt::ArrowCursor; // the search may wait for the network
        visa().onFind = [&] {
            searching = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : searching;
        };
        StdoutCapture capture;
        const QList<resourceInfo_t> found = discoverResources(&adapter, &parent);
        QVERIFY(searching == Qt::WaitCursor && !QApplication::overrideCursor());
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

    // The model's own section keeps the last five, newest first.
    void historyFile_data()
    {
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("history");
        const QString title = QStringLiteral("Xentra 4820 SFP: Enter Module Address: ");
        QTest::newRow("first run") << QStringList() << title + "-|-|-|-|- / " + kTyped;
        QTest::newRow("A, B, A") << QStringList{"A", "B", "A"} << title + "A|B||| / A|B";
        QTest::newRow("six, the oldest out")
            << QStringList{"d1", "d2", "d3", "d4", "d5", "d6"} << title + "d6|d5|d4|d3|d2 / d6|d5|d4|d3|d2";
        QTest::newRow("empty not stored") << QStringList{"A", "B", ""} << title + "B|A||| / B|A";
    }
    void historyFile()
    {
        QFETCH(QStringList, taken);
        ts4820_spc spc;
        for (const QString &text : taken) {
            ts1900fp_spcEnterAddress dialog(&spc);
            dialog.loadHistory();
            dialog.combo->setEditText(text);
            QCOMPARE(dialog.takeDescriptor(), text);
        }
        QTEST(history(&spc), "history");
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

    void ledLampColour_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QColor>("off");
        QTest::addColumn<QColor>("shown"); // invalid: the window colour
        QTest::newRow("on") << 1 << QColor(Qt::black) << QColor(Qt::green);
        QTest::newRow("magenta off is the window colour") << 0 << QColor(Qt::magenta) << QColor();
    }
    void ledLampColour()
    {
        QFETCH(int, state);
        QFETCH(QColor, off);
        QFETCH(QColor, shown);
        ts1900fp_led led(QStringLiteral("Active"), Qt::green, off);
        led.setFont(QFont(led.font().family(), 12)); // a lamp with rings
        led.resize(led.sizeHint());
        led.setState(state);
        const int h = QFontMetrics(led.font()).height();
        const QColor centre = led.grab().toImage().pixel(2 + h / 2, h / 2);
        QVERIFY(near(centre, shown.isValid() ? shown : led.palette().color(QPalette::Window)));
    }

    void messageBoxesAndCloseConfirmation_data()
    {
        QTest::addColumn<Box>("b");
        const QString close = QStringLiteral("Xentra 4820 SFP|Do you really want to exit?|4|Yes, No");
        // Never "Yes" to the error box: that ends the process.
        QTest::newRow("error") << Box{
            &ts1900fp_app::showErrorMessage, "No",
            "Xentra 4820 SFP Error message|It broke\nDo you want to exit?|3|Yes, No"};
        QTest::newRow("warning") << Box{&ts1900fp_app::showWarningMessage, "OK",
                                        "Xentra 4820 SFP Warning message|It broke|2|OK"};
        QTest::newRow("info") << Box{&ts1900fp_app::showInfoMessage, "OK",
                                     "Xentra 4820 SFP Info message|It broke|1|OK"};
        QTest::newRow("close, No keeps the window") << Box{nullptr, "No", close};
        QTest::newRow("close, Yes closes it") << Box{nullptr, "Yes", close};
    }
    void messageBoxesAndCloseConfirmation()
    {
        QFETCH(Box, b);
        Bare frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        ModalAnswer box(b.answer);
        b.show ? b.show(QStringLiteral("It broke")) : frame.m_closeButton->click();
        QVERIFY2(box.done(), qPrintable(box.error()));
        const BoxReport r = box.report();
        QCOMPARE(r.title + '|' + r.text + '|' + QString::number(r.icon) + '|' + r.buttons.join(", "), b.seen);
        QCOMPARE(frame.isVisible(), b.answer != "Yes");
    }

    // The window icon's squares; identify shows only when a panel asks for
    // it, relabels itself and reports.
    void windowIconAndToolColumn()
    {
        Bare frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        const QImage icon = frame.windowIcon().pixmap(16, 16).toImage();
        QCOMPARE(
            (QList<QRgb>{icon.pixel(0, 0), icon.pixel(13, 2), icon.pixel(2, 8), icon.pixel(3, 15),
                         icon.pixel(15, 0) >> 24}),
            (QList<QRgb>{qRgb(128, 128, 128), qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(255, 255, 255), 0}));
        QVERIFY(!frame.m_identifyButton->isVisible());
        frame.showIdentify(true);
        QSignalSpy ident(&frame, &ts1900fp_app::identToggled);
        frame.m_identifyButton->click();
        QCOMPARE(frame.m_identifyButton->text() + ident.value(0).value(0).toString(), "ONtrue");
    }

    // The texts with all optional library rows; each licence link opens its
    // whole text. A module's hardware page: its revisions replace the labels' texts.
    void aboutPanel_data()
    {
        QTest::addColumn<QStringList>("link"); // its text, the viewer's title, the licence text
        QTest::newRow("Qt licence") << QStringList{"LGPL v3", "Qt LGPL License", ":/qt5-lgpl-license.txt"};
        QTest::newRow("Qwt licence") << QStringList{"LGPL v2.1", "Qwt LGPL License",
                                                    ":/qwt-lgpl-license.txt"};
        QTest::newRow("KISS FFT licence")
            << QStringList{"BSD", "KISS FFT BSD License", ":/kiss-fft-bsd-license.txt"};
    }
    void aboutPanel()
    {
        QFETCH(QStringList, link);
        ts1900fp_About about("1.5.0", "2.0.0", "4820", "Copyright (C) 2024 Tarsel Ltd.", nullptr, "3.2.1",
                             "6.1.2", true);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QStringList texts;
        for (QLabel *label : about.findChildren<QLabel *>()) {
            texts << label->text();
        }
        QVERIFY(texts.contains("Copyright (C) 2024 Tarsel Ltd."));
        QVERIFY(texts.contains(
            "<font size='5' bold>Xentra 4820 VXIplug&play Driver<br>Soft Front Panel Application</font>"));
        QCOMPARE(
            about.windowTitle() + '|' + groupTexts(&about, "Third-Party Licenses"),
            QStringLiteral(
                "About Xentra 4820 Soft Front Panel|Qt| libraries version %1:|LGPL v3|Qwt library version 6.1.2:|LGPL v2.1|KISS FFT library:|BSD|Learn more about licenses")
                .arg(qVersion()));
        QCOMPARE(
            groupTexts(&about, "Software Revisions") + groupTexts(&about, "Hardware Information"),
            QStringLiteral("Xentra Common Library:|3.2.1|Instrument Driver:|2.0.0|Soft Front Panel:|1.5.0"));

        const QString prefix = "<u><font color='#22e'>" + link[0] + "</font></u>";
        const QList<clickableLabel *> labels = about.findChildren<clickableLabel *>();
        const auto label = std::find_if(labels.cbegin(), labels.cend(),
                                        [&](clickableLabel *l) { return l->text() == prefix; });
        QVERIFY(label != labels.cend());
        QString shown;
        ModalAnswer box(QList<ModalAnswer::Step>{
            {"Ok", [&](QWidget *w) { shown = w->findChild<QPlainTextEdit *>()->toPlainText(); }}});
        QTest::mouseClick(*label, Qt::LeftButton);
        QVERIFY2(box.done(), qPrintable(box.error()));
        QFile text(link[2]);
        QVERIFY(text.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(box.report().title + '|' + shown, link[1] + '|' + QString::fromUtf8(text.readAll()));

        about.addHardwareInfo("0000a001", "1.0 (Product: A)", "4820-AA", "2.1.0");
        QCOMPARE(
            groupTexts(&about, "Software Revisions").section('|', 3) + '|'
                + groupTexts(&about, "Hardware Information"),
            "2.1.0|Soft Front Panel:|1.5.0|Device Model:|4820-AA|Revision:|1.0 (Product: A)|Serial Number:|0000a001");
    }
};

TS_TEST_MAIN(TestFrame)
#include "test_frame.moc"
