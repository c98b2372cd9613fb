// The front-panel frame as the operator meets it: the status lamp, the
// splash picture, the message boxes and the close confirmation, the tool
// column, the window icon, and the About panel.
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextDocumentFragment>

#include "clickablelabel.h"
#include "frameicons.h"
#include "licenceviewer.h"
#include "modalanswer.h"
#include "testenv.h"
#include "ts1900fp_about.h"
#include "ts1900fp_app.h"
#include "ts1900fp_led.h"
#include "ts1900fp_splashlabel.h"

namespace {

class FrameProbe : public ts1900fp_app
{
public:
    using ts1900fp_app::m_closeButton;
    using ts1900fp_app::m_identifyButton;
    using ts1900fp_app::m_resetButton;
    using ts1900fp_app::m_startButton;
    using ts1900fp_app::m_startContButton;
};

bool near(const QColor &a, const QColor &b, int tol)
{
    return std::max({qAbs(a.red() - b.red()), qAbs(a.green() - b.green()), qAbs(a.blue() - b.blue())}) <= tol;
}

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

const char kCopyright[] = "Copyright (C) 2024 Tarsel Ltd.";

// A message box shown, the answer given, and its title, text, icon and buttons.
struct Box
{
    QString kind, answer, seen;
};

// A link of the About panel, the answer to the box it opens, the box's title
// and the licence text it shows.
struct Link
{
    QString text, answer, title, resource;
};

} // namespace

class TestFrame : public QObject
{
    Q_OBJECT

private slots:
    void init() { ts1900fp_app::setModelText(4820); }

    void ledLampColour_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QColor>("off");
        QTest::addColumn<QColor>("third"); // invalid: none set
        QTest::addColumn<QColor>("shown"); // invalid: the window colour
        const QColor on(0, 200, 0), black(Qt::black), none;
        QTest::newRow("on") << 1 << black << none << on;
        QTest::newRow("off") << 0 << QColor(Qt::blue) << none << QColor(Qt::blue);
        QTest::newRow("magenta off is the window colour") << 0 << QColor(Qt::magenta) << none << none;
        QTest::newRow("state 2 without third colour") << 2 << black << none << on;
        QTest::newRow("state 2 with third colour") << 2 << black << QColor(Qt::red) << QColor(Qt::red);
    }
    void ledLampColour()
    {
        QFETCH(int, state);
        QFETCH(QColor, off);
        QFETCH(QColor, third);
        QFETCH(QColor, shown);
        ts1900fp_led led(QStringLiteral("Active"), QColor(0, 200, 0), off);
        QFont font = led.font();
        font.setPixelSize(16);
        led.setFont(font);
        led.resize(led.sizeHint());
        if (third.isValid()) {
            led.setThirdColour(third);
        }
        led.setState(state);
        const int h = QFontMetrics(led.font()).height();
        const QColor centre = led.grab().toImage().pixel(2 + h / 2, h / 2);
        const QColor wanted = shown.isValid() ? shown : led.palette().color(QPalette::Window);
        QVERIFY2(near(centre, wanted, 8), qPrintable(centre.name() + " wanted " + wanted.name()));
    }

    void splashDrawsDeviceImageOnlyInAcceptedSizes_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QRect>("drawn"); // null: not drawn, and a console line complains
        QTest::newRow("520 x 400 bitmap is clipped") << 9001 << QColor(Qt::red) << QRect(67, 38, 453, 199);
        QTest::newRow("452 x 194 PNG is drawn whole") << 9002 << QColor(Qt::blue) << QRect(67, 43, 452, 194);
        QTest::newRow("400 x 200 PNG is refused") << 9003 << QColor(Qt::green) << QRect();
    }
    void splashDrawsDeviceImageOnlyInAcceptedSizes()
    {
        QFETCH(int, model);
        QFETCH(QColor, colour);
        QFETCH(QRect, drawn);
        StdoutCapture capture;
        const QImage image = ts1900fp_splashLabel(1.0, 20, model, false, "(c)", "Test").toImage();
        QCOMPARE(capture.text(), drawn.isNull()
                                     ? "The size of the image of the device, that is to be used in the "
                                       "splash screen, is not as required!!!\n"
                                     : QString());
        const QRect d = drawn.isNull() ? QRect(100, 100, 1, 1) : drawn;
        for (const QPoint &p : {d.topLeft(), d.bottomRight()}) {
            QCOMPARE(near(image.pixel(p), colour, 2), !drawn.isNull());
            QVERIFY(!near(image.pixel(p + (p == d.topLeft() ? QPoint(-1, -1) : QPoint(1, 1))), colour, 2));
        }
    }

    void messageBoxesAndCloseConfirmation_data()
    {
        QTest::addColumn<Box>("b");
        const QString close = QStringLiteral("Xentra 4820 SFP|Do you really want to exit?|4|Yes, No");
        // Never "Yes" to the error box: that ends the process.
        QTest::newRow("error") << Box{
            "error", "No", "Xentra 4820 SFP Error message|It broke\nDo you want to exit?|3|Yes, No"};
        QTest::newRow("warning") << Box{"warning", "OK", "Xentra 4820 SFP Warning message|It broke|2|OK"};
        QTest::newRow("info, three-digit model padded")
            << Box{"info", "OK", "Xentra  482 SFP Info message|It broke|1|OK"};
        QTest::newRow("close, No keeps the window") << Box{"close", "No", close};
        QTest::newRow("close, Yes closes it") << Box{"close", "Yes", close};
    }
    void messageBoxesAndCloseConfirmation()
    {
        QFETCH(Box, b);
        ts1900fp_app::setModelText(b.kind == "info" ? 482 : 4820);
        FrameProbe frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        ModalAnswer box(b.answer);
        if (b.kind == "error") {
            ts1900fp_app::showErrorMessage(QStringLiteral("It broke"));
        } else if (b.kind == "warning") {
            ts1900fp_app::showWarningMessage(QStringLiteral("It broke"));
        } else if (b.kind == "info") {
            ts1900fp_app::showInfoMessage(QStringLiteral("It broke"));
        } else {
            frame.m_closeButton->click();
        }
        QVERIFY2(box.done(), qPrintable(box.error()));
        const BoxReport r = box.report();
        QCOMPARE(
            QStringLiteral("%1|%2|%3|%4").arg(r.title, r.text).arg(int(r.icon)).arg(r.buttons.join(", ")),
            b.seen);
        QCOMPARE(frame.isVisible(), b.answer != "Yes");
    }

    void toolColumnAndStartButtons()
    {
        FrameProbe frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QPushButton *single = frame.m_startButton, *cont = frame.m_startContButton;
        // Only the status group and the commands show until a panel asks for more.
        QVERIFY(!frame.m_identifyButton->isVisible() && !single->isVisible() && !cont->isVisible());
        QCOMPARE(frame.m_resetButton->toolTip(),
                 QStringLiteral("<html>Reset the device to the default state</html>"));
        frame.showIdentify(true);
        QSignalSpy ident(&frame, &ts1900fp_app::identToggled), reset(&frame, &ts1900fp_app::resetPressed);
        frame.m_identifyButton->click();
        frame.m_resetButton->click();
        QCOMPARE(frame.m_identifyButton->text(), QStringLiteral("ON"));
        QCOMPARE(ident, (QList<QVariantList>{{true}}));
        QCOMPARE(reset.count(), 1);

        // A started acquisition's button becomes its stop and locks the
        // other; ending it waits for enableStart(); a break ends either.
        const auto shows = [](QPushButton *b, const QPixmap &icon) {
            const auto argb = [](const QPixmap &p) {
                return p.toImage().convertToFormat(QImage::Format_ARGB32);
            };
            return argb(b->icon().pixmap(icon.size())) == argb(icon);
        };
        QSignalSpy started(&frame, &ts1900fp_app::startSingle), stopped(&frame, &ts1900fp_app::stopCont);
        single->setChecked(true);
        QVERIFY(shows(single, frameicons::stopIcon()) && !cont->isEnabled() && started.count() == 1);
        QCOMPARE(single->toolTip(), QStringLiteral("<html>Breaks the Single-Shot Data Acquisition</html>"));
        single->setChecked(false);
        QVERIFY(shows(single, frameicons::playIcon()) && !single->isEnabled() && !cont->isEnabled());
        frame.enableStart();
        cont->setChecked(true);
        QCOMPARE(cont->whatsThis(), QStringLiteral("Stops the Data Acquisition process"));
        frame.userBreak();
        QVERIFY(shows(cont, frameicons::doublePlayIcon()) && single->isEnabled() && cont->isEnabled());
        QCOMPARE(stopped.count(), 1);
    }

    void windowIconMatchesItsPixelTable()
    {
        const char *const rows[16] = {
            "########....aaa.", "#########..aaaaa", "##########.aaaaa", "#########..aaaaa",
            "########....aaa.", "................", ".bbb....########", "bbbbb..#########",
            "bbbbb.##########", "bbbbb..#########", ".bbb....########", "................",
            "c..cc.cc.c.cc.cc", "cc.cc.c..c.cc.c.", "cc.cc..c.c.c..c.", "cc.cc.cc.c.cc.cc",
        };
        const QMap<char, QRgb> colours{{'c', qRgb(255, 255, 255)},
                                       {'b', qRgb(0, 0, 255)},
                                       {'#', qRgb(128, 128, 128)},
                                       {'a', qRgb(255, 0, 0)}};
        const QImage icon =
            FrameProbe().windowIcon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(icon.size(), QSize(16, 16));
        for (int i = 0; i < 256; ++i) {
            // Transparent pixels may carry any colour.
            const QRgb actual = icon.pixel(i % 16, i / 16);
            const char wanted = rows[i / 16][i % 16];
            QVERIFY2(wanted == '.' ? qAlpha(actual) == 0 : actual == colours.value(wanted),
                     qPrintable(QString::number(i)));
        }
    }

    // The optional licence and library rows, and one hardware page a module:
    // the first one's revisions replace the labels' texts, a later page
    // without its own shows the first one's.
    void aboutTextsAndHardwarePages()
    {
        const QString qt = QStringLiteral("Qt| libraries version %1:|LGPL v3|").arg(qVersion());
        ts1900fp_About plain("1.5.0", "2.0.0", "4820", kCopyright, nullptr);
        QCOMPARE(groupTexts(&plain, "Third-Party Licenses"), qt + "Learn more about licenses");
        ts1900fp_About about("1.5.0", "2.0.0", "4820", kCopyright, nullptr, "3.2.1", "6.1.2", true);
        QCOMPARE(about.windowTitle(), QStringLiteral("About Xentra 4820 Soft Front Panel"));
        QStringList texts;
        for (QLabel *label : about.findChildren<QLabel *>()) {
            texts << label->text();
        }
        QVERIFY(texts.contains(kCopyright));
        QVERIFY(texts.contains(
            "<font size='5' bold>Xentra 4820 VXIplug&play Driver<br>Soft Front Panel Application</font>"));
        QCOMPARE(groupTexts(&about, "Third-Party Licenses"),
                 qt + "Qwt library version 6.1.2:|LGPL v2.1|KISS FFT library:|BSD|Learn more about licenses");
        QCOMPARE(
            groupTexts(&about, "Software Revisions"),
            QStringLiteral("Xentra Common Library:|3.2.1|Instrument Driver:|2.0.0|Soft Front Panel:|1.5.0"));
        QCOMPARE(groupTexts(&about, "Hardware Information"), QString());

        about.addHardwareInfo("0000a001", "1.0 (Product: A)", "4820-AA", "2.1.0");
        about.addHardwareInfo("0000b002", "1.1 (Product: B)", "4820-AB", QString(), "1.6.0");
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        const auto page = [&] {
            return groupTexts(&about, "Software Revisions").section('|', 2) + '|'
                   + groupTexts(&about, "Hardware Information");
        };
        QCOMPARE(page(),
                 QStringLiteral("Instrument Driver:|2.1.0|Soft Front Panel:|1.5.0|Device Model:|4820-AA|"
                                "Revision:|1.0 (Product: A)|Serial Number:|0000a001"));
        QVERIFY(!about.previousButton()->isEnabled());
        about.nextButton()->click();
        QCOMPARE(page(),
                 QStringLiteral("Instrument Driver:|2.1.0|Soft Front Panel:|1.6.0|Device Model:|4820-AB|"
                                "Revision:|1.1 (Product: B)|Serial Number:|0000b002"));
        QVERIFY(about.previousButton()->isEnabled() && !about.nextButton()->isEnabled());
        about.okButton()->click(); // only hides
        about.previousButton()->click();
        QVERIFY(about.isHidden() && page().contains("|1.5.0|Device Model:|4820-AA|"));
    }

    void aboutLinksOpenTheirTexts_data()
    {
        QTest::addColumn<Link>("l");
        QTest::newRow("Qt: About Qt box") << Link{"Qt", "OK", "About Qt", ""};
        QTest::newRow("Qt licence") << Link{"LGPL v3", "Ok", "Qt LGPL License", ":/qt5-lgpl-license.txt"};
        QTest::newRow("Qwt licence") << Link{"LGPL v2.1", "Ok", "Qwt LGPL License", ":/qwt-lgpl-license.txt"};
        QTest::newRow("KISS FFT licence")
            << Link{"BSD", "Ok", "KISS FFT BSD License", ":/kiss-fft-bsd-license.txt"};
    }
    void aboutLinksOpenTheirTexts()
    {
        QFETCH(Link, l);
        ts1900fp_About about("1.5.0", "2.0.0", "4820", kCopyright, nullptr, nullptr, "6.1.2", true);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        const QList<clickableLabel *> links = about.findChildren<clickableLabel *>();
        const auto link = std::find_if(links.cbegin(), links.cend(), [&](clickableLabel *label) {
            return label->text() == "<u><font color='#22e'>" + l.text + "</font></u>";
        });
        QVERIFY(link != links.cend());
        QString shown;
        ModalAnswer box(QList<ModalAnswer::Step>{{l.answer, [&](QWidget *box) {
                                                      if (auto *area = box->findChild<QPlainTextEdit *>()) {
                                                          shown = area->toPlainText();
                                                      }
                                                  }}});
        QTest::mouseClick(*link, Qt::LeftButton);
        QVERIFY2(box.done(), qPrintable(box.error()));
        QCOMPARE(box.report().title, l.title);
        QFile text(l.resource);
        QVERIFY(l.resource.isEmpty() || text.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(shown, QString::fromUtf8(text.readAll()));       // the whole text, nothing cut
        QVERIFY(about.findChildren<licenceViewer *>().isEmpty()); // destroyed once closed
    }
};

TS_TEST_MAIN(TestFrame)
#include "test_frame.moc"
