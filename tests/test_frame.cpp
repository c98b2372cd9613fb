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

struct Frame : ts1900fp_app
{
    using ts1900fp_app::m_closeButton;
    using ts1900fp_app::m_identifyButton;
    using ts1900fp_app::m_startButton;
    using ts1900fp_app::m_startContButton;
};

bool near(const QColor &a, const QColor &b)
{
    return std::max({qAbs(a.red() - b.red()), qAbs(a.green() - b.green()), qAbs(a.blue() - b.blue())}) <= 8;
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

// A box: how it is shown, the answer given, and its title, text, icon and buttons.
struct Box
{
    QString kind, answer, seen;
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
        QTest::addColumn<QColor>("shown"); // invalid: the window colour
        QTest::newRow("on") << 1 << QColor(Qt::black) << QColor(Qt::green);
        QTest::newRow("off") << 0 << QColor(Qt::blue) << QColor(Qt::blue);
        QTest::newRow("magenta off is the window colour") << 0 << QColor(Qt::magenta) << QColor();
        QTest::newRow("state 2 with third colour") << 2 << QColor(Qt::black) << QColor(Qt::red);
    }
    void ledLampColour()
    {
        QFETCH(int, state);
        QFETCH(QColor, off);
        QFETCH(QColor, shown);
        ts1900fp_led led(QStringLiteral("Active"), Qt::green, off);
        led.setFont(QFont(led.font().family(), 12)); // a lamp with rings
        led.resize(led.sizeHint());
        if (shown == Qt::red) {
            led.setThirdColour(Qt::red);
        }
        led.setState(state);
        const int h = QFontMetrics(led.font()).height();
        const QColor centre = led.grab().toImage().pixel(2 + h / 2, h / 2);
        QVERIFY2(near(centre, shown.isValid() ? shown : led.palette().color(QPalette::Window)),
                 qPrintable(centre.name()));
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
        const QList<QColor> seen{image.pixel(d.topLeft()), image.pixel(d.bottomRight()),
                                 image.pixel(d.topLeft() - QPoint(1, 1)),
                                 image.pixel(d.bottomRight() + QPoint(1, 1))};
        QCOMPARE(near(seen[0], colour) && near(seen[1], colour), !drawn.isNull());
        QVERIFY(!near(seen[2], colour) && !near(seen[3], colour));
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
        Frame frame;
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

    // Identify and the start buttons show only when a panel asks for them.
    // A started acquisition's button becomes its stop and locks the other;
    // ending it waits for enableStart(); a break from the program ends either.
    void toolColumnAndStartButtons()
    {
        Frame frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QPushButton *single = frame.m_startButton, *cont = frame.m_startContButton;
        QVERIFY(!frame.m_identifyButton->isVisible() && !single->isVisible() && !cont->isVisible());
        frame.showIdentify(true);
        QSignalSpy ident(&frame, &ts1900fp_app::identToggled);
        frame.m_identifyButton->click();
        QCOMPARE(frame.m_identifyButton->text(), QStringLiteral("ON"));
        QCOMPARE(ident, (QList<QVariantList>{{true}}));

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

    // Grey, red, blue and white squares on a transparent ground.
    void windowIcon()
    {
        const QImage icon =
            Frame().windowIcon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(icon.size(), QSize(16, 16));
        const QList<QRgb> seen{icon.pixel(0, 0), icon.pixel(13, 2), icon.pixel(2, 8), icon.pixel(10, 8),
                               icon.pixel(3, 15)};
        QCOMPARE(seen, (QList<QRgb>{qRgb(128, 128, 128), qRgb(255, 0, 0), qRgb(0, 0, 255),
                                    qRgb(128, 128, 128), qRgb(255, 255, 255)}));
        QCOMPARE(qAlpha(icon.pixel(15, 0)) + qAlpha(icon.pixel(8, 5)) + qAlpha(icon.pixel(1, 12)), 0);
    }

    // The optional library rows, and a hardware page a module: the first
    // one's revisions replace the labels' texts, a later page without its
    // own shows the first one's.
    void aboutTextsAndHardwarePages()
    {
        const QString qt = QStringLiteral("Qt| libraries version %1:|LGPL v3|").arg(qVersion());
        const char copyright[] = "Copyright (C) 2024 Tarsel Ltd.";
        ts1900fp_About plain("1.5.0", "2.0.0", "4820", copyright, nullptr);
        QCOMPARE(groupTexts(&plain, "Third-Party Licenses"), qt + "Learn more about licenses");
        ts1900fp_About about("1.5.0", "2.0.0", "4820", copyright, nullptr, "3.2.1", "6.1.2", true);
        QCOMPARE(about.windowTitle(), QStringLiteral("About Xentra 4820 Soft Front Panel"));
        QStringList texts;
        for (QLabel *label : about.findChildren<QLabel *>()) {
            texts << label->text();
        }
        QVERIFY(texts.contains(copyright));
        QVERIFY(texts.contains(
            "<font size='5' bold>Xentra 4820 VXIplug&play Driver<br>Soft Front Panel Application</font>"));
        QCOMPARE(groupTexts(&about, "Third-Party Licenses"),
                 qt + "Qwt library version 6.1.2:|LGPL v2.1|KISS FFT library:|BSD|Learn more about licenses");
        QCOMPARE(
            groupTexts(&about, "Software Revisions") + groupTexts(&about, "Hardware Information"),
            QStringLiteral("Xentra Common Library:|3.2.1|Instrument Driver:|2.0.0|Soft Front Panel:|1.5.0"));

        about.addHardwareInfo("0000a001", "1.0 (Product: A)", "4820-AA", "2.1.0");
        about.addHardwareInfo("0000b002", "1.1 (Product: B)", "4820-AB", QString(), "1.6.0");
        const auto page = [&] {
            return groupTexts(&about, "Software Revisions").section('|', 3) + '|'
                   + groupTexts(&about, "Hardware Information");
        };
        const QString first =
            "2.1.0|Soft Front Panel:|1.5.0|Device Model:|4820-AA|Revision:|1.0 (Product: A)|Serial Number:|0000a001";
        QCOMPARE(page(), first);
        QVERIFY(about.nextButton()->isVisibleTo(&about) && !about.previousButton()->isEnabled());
        about.nextButton()->click();
        QCOMPARE(
            page(),
            "2.1.0|Soft Front Panel:|1.6.0|Device Model:|4820-AB|Revision:|1.1 (Product: B)|Serial Number:|0000b002");
        QVERIFY(about.previousButton()->isEnabled() && !about.nextButton()->isEnabled());
        about.previousButton()->click();
        QCOMPARE(page(), first);
    }

    void aboutLinksOpenTheirTexts_data()
    {
        QTest::addColumn<QStringList>("link"); // its text, the viewer's title, the licence text
        QTest::newRow("Qt licence") << QStringList{"LGPL v3", "Qt LGPL License", ":/qt5-lgpl-license.txt"};
        QTest::newRow("Qwt licence") << QStringList{"LGPL v2.1", "Qwt LGPL License",
                                                    ":/qwt-lgpl-license.txt"};
        QTest::newRow("KISS FFT licence")
            << QStringList{"BSD", "KISS FFT BSD License", ":/kiss-fft-bsd-license.txt"};
    }
    void aboutLinksOpenTheirTexts()
    {
        QFETCH(QStringList, link);
        ts1900fp_About about("1.5.0", "2.0.0", "4820", "(c)", nullptr, nullptr, "6.1.2", true);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        clickableLabel *label = nullptr;
        for (clickableLabel *l : about.findChildren<clickableLabel *>()) {
            label = l->text() == "<u><font color='#22e'>" + link[0] + "</font></u>" ? l : label;
        }
        QVERIFY(label);
        QString shown;
        ModalAnswer box(QList<ModalAnswer::Step>{
            {"Ok", [&](QWidget *w) { shown = w->findChild<QPlainTextEdit *>()->toPlainText(); }}});
        QTest::mouseClick(label, Qt::LeftButton);
        QVERIFY2(box.done(), qPrintable(box.error()));
        QCOMPARE(box.report().title, link[1]);
        QFile text(link[2]);
        QVERIFY(text.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(shown, QString::fromUtf8(text.readAll()));       // the whole text, nothing cut
        QVERIFY(about.findChildren<licenceViewer *>().isEmpty()); // destroyed once closed
    }
};

TS_TEST_MAIN(TestFrame)
#include "test_frame.moc"
