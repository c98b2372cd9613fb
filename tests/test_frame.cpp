// The front-panel frame as the operator meets it: the status lamp, the
// splash picture, the message boxes, the close confirmation, placement on
// the screen and the tool-column controls.
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QVBoxLayout>

#include <memory>

#include "frameicons.h"
#include "modalanswer.h"
#include "testenv.h"
#include "ts1900fp_app.h"
#include "ts1900fp_led.h"
#include "ts1900fp_splashlabel.h"

namespace {

// Exposes the frame's controls to the tests.
class FrameProbe : public ts1900fp_app
{
public:
    using ts1900fp_app::m_aboutButton;
    using ts1900fp_app::m_activeLed;
    using ts1900fp_app::m_autoscaleButton;
    using ts1900fp_app::m_autoscaleLabel;
    using ts1900fp_app::m_busLogoLabel;
    using ts1900fp_app::m_closeButton;
    using ts1900fp_app::m_contentWidget;
    using ts1900fp_app::m_helpButton;
    using ts1900fp_app::m_identifyButton;
    using ts1900fp_app::m_identifyLabel;
    using ts1900fp_app::m_moduleLabel;
    using ts1900fp_app::m_resetButton;
    using ts1900fp_app::m_startButton;
    using ts1900fp_app::m_startContButton;
};

QImage render(QWidget *w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }
QImage argb(const QPixmap &p) { return p.toImage().convertToFormat(QImage::Format_ARGB32); }

// A LED whose font gives the wanted line height (in pixels, approximately).
std::unique_ptr<ts1900fp_led> ledWithFont(int pixelSize, const QColor &on, const QColor &off,
                                          const QString &caption = QStringLiteral("Active"))
{
    auto led = std::make_unique<ts1900fp_led>(caption, on, off);
    QFont font = led->font();
    font.setPixelSize(pixelSize);
    led->setFont(font);
    led->resize(led->sizeHint());
    return led;
}

bool near(QRgb a, const QColor &b, int tol = 8)
{
    return qAbs(qRed(a) - b.red()) <= tol && qAbs(qGreen(a) - b.green()) <= tol
           && qAbs(qBlue(a) - b.blue()) <= tol;
}

const QColor kOn(0, 200, 0);

// Lamp colour: the colour to expect is "on", "off", "window" or "third".
struct Lamp
{
    int state;
    QColor off;
    bool setThird;
    QString expected;
    int pixelSize = 16;
};
// Splash: the device picture of `model` fills `drawn` (null: not drawn, and a
// console line complains).
struct Splash
{
    int model;
    QColor colour;
    QRect drawn;
};
// Message boxes: error, warning, info, or the frame's close confirmation.
enum Kind { Error, Warning, Info, Close };
struct Box
{
    Kind kind;
    int model;
    QString title, text;
    QMessageBox::Icon icon;
    QStringList buttons;
};

} // namespace

class TestFrame : public QObject
{
    Q_OBJECT

private slots:
    void init() { ts1900fp_app::setModelText(4820); }

    // ---- status LED ------------------------------------------------------
    void ledSizeHintFollowsCaptionAndFont()
    {
        for (const auto &[caption, pixelSize] : {std::pair{"Active", 12}, {"Instrument connected", 20}}) {
            const auto led = ledWithFont(pixelSize, Qt::green, Qt::black, QString::fromLatin1(caption));
            // Lamp, caption and half a lamp of space, one line high plus a pixel on each side.
            const QFontMetrics fm(led->font());
            const int H = fm.height() + 2;
            QCOMPARE(led->minimumSizeHint(), QSize(H + fm.horizontalAdvance(caption) - 1 + (H - 1) / 2, H));
        }
    }

    void ledRepaintsOnlyWhenStateChanges()
    {
        ts1900fp_led led(QStringLiteral("Active"), Qt::green, Qt::black);
        led.resize(led.sizeHint());
        led.show();
        QVERIFY(QTest::qWaitForWindowExposed(&led));
        struct : QObject
        {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *e) override
            {
                paints += e->type() == QEvent::Paint;
                return false;
            }
        } counter;
        led.installEventFilter(&counter);
        led.setState(0);
        QCOMPARE(counter.paints, 0);
        led.setState(1);
        QCOMPARE(counter.paints, 1);
        led.setState(1);
        QCOMPARE(counter.paints, 1);
    }

    void ledLampColour_data()
    {
        QTest::addColumn<Lamp>("l");
        QTest::newRow("on") << Lamp{1, Qt::black, false, "on"};
        QTest::newRow("off") << Lamp{0, Qt::blue, false, "off"};
        QTest::newRow("magenta off is the window colour") << Lamp{0, Qt::magenta, false, "window"};
        QTest::newRow("state 2 without third colour") << Lamp{2, Qt::black, false, "on"};
        QTest::newRow("state 2 with third colour") << Lamp{2, Qt::black, true, "third"};
        QTest::newRow("7 px font: plain disc") << Lamp{1, Qt::black, false, "on", 7};
    }
    void ledLampColour()
    {
        QFETCH(Lamp, l);
        const QColor third(200, 0, 0);
        const auto led = ledWithFont(l.pixelSize, kOn, l.off);
        if (l.setThird) {
            led->setThirdColour(third);
        }
        led->setState(l.state);
        const int h = QFontMetrics(led->font()).height();
        QCOMPARE(h < 10, l.pixelSize < 10);
        const QImage image = render(led.get());
        const QRgb centre = image.pixel(2 + h / 2, h / 2);
        const QColor wanted = l.expected == "on"       ? kOn
                              : l.expected == "third"  ? third
                              : l.expected == "window" ? led->palette().color(QPalette::Window)
                                                       : l.off;
        QVERIFY2(near(centre, wanted), qPrintable(QColor(centre).name() + " wanted " + wanted.name()));
        // Two pixels inside the lamp's left edge, on its middle row: the fill
        // colour for a plain disc below 10 px, the rings' colours above.
        if (l.expected == "on") {
            QCOMPARE(near(image.pixel(2 + 2, h / 2), kOn, 40), h < 10);
        }
    }

    // ---- splash ----------------------------------------------------------
    void splashDrawsDeviceImageOnlyInAcceptedSizes_data()
    {
        QTest::addColumn<Splash>("s");
        QTest::newRow("520 x 400 bitmap is clipped") << Splash{9001, Qt::red, QRect(67, 38, 453, 199)};
        QTest::newRow("452 x 194 PNG is drawn whole") << Splash{9002, Qt::blue, QRect(67, 43, 452, 194)};
        QTest::newRow("400 x 200 PNG is refused") << Splash{9003, Qt::green, QRect()};
    }
    void splashDrawsDeviceImageOnlyInAcceptedSizes()
    {
        QFETCH(Splash, s);
        StdoutCapture capture;
        const ts1900fp_splashLabel splash(1.0, 20, s.model, false, QStringLiteral("(c)"),
                                          QStringLiteral("Test"));
        QCOMPARE(capture.text(),
                 s.drawn.isNull() ? QStringLiteral(
                     "The size of the image of the device, that is to be used in the splash screen, is not "
                     "as required!!!\n")
                                  : QString());

        const QImage image = splash.toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(image.width() >= 540 && image.height() >= 400);
        if (s.drawn.isNull()) {
            QVERIFY(!near(image.pixel(100, 100), s.colour, 2));
            return;
        }
        // Corners and centre drawn, the pixels just outside not.
        const QRect d = s.drawn;
        const auto at = [](QPoint p) { return QStringLiteral("(%1,%2)").arg(p.x()).arg(p.y()).toLatin1(); };
        for (const QPoint &p : {d.topLeft(), d.bottomRight(), d.center()}) {
            QVERIFY2(near(image.pixel(p), s.colour, 2), at(p));
        }
        for (const QPoint &p : {d.topLeft() - QPoint(1, 0), d.topLeft() - QPoint(0, 1),
                                d.bottomRight() + QPoint(1, 0), d.bottomRight() + QPoint(0, 1)}) {
            QVERIFY2(!near(image.pixel(p), s.colour, 2), at(p));
        }
    }

    // ---- message boxes ---------------------------------------------------
    void messageBoxesHaveTitleTextIconAndButtons_data()
    {
        QTest::addColumn<Box>("b");
        QTest::newRow("error") << Box{Error,
                                      4820,
                                      "Xentra 4820 SFP Error message",
                                      "It broke\nDo you want to exit?",
                                      QMessageBox::Critical,
                                      {"Yes", "No"}};
        QTest::newRow("warning") << Box{
            Warning, 4820, "Xentra 4820 SFP Warning message", "It broke", QMessageBox::Warning, {"OK"}};
        QTest::newRow("info") << Box{
            Info, 4820, "Xentra 4820 SFP Info message", "It broke", QMessageBox::Information, {"OK"}};
        QTest::newRow("three-digit model is padded")
            << Box{Info, 482, "Xentra  482 SFP Info message", "It broke", QMessageBox::Information, {"OK"}};
        QTest::newRow("close confirmation, No keeps the window") << Box{
            Close,        4820, "Xentra 4820 SFP", "Do you really want to exit?", QMessageBox::Question,
            {"Yes", "No"}};
    }
    void messageBoxesHaveTitleTextIconAndButtons()
    {
        QFETCH(Box, b);
        ts1900fp_app::setModelText(b.model);
        FrameProbe frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        // "No" to the error box: "Yes" would end the test process.
        ModalAnswer box(b.buttons.last());
        const QString message = QStringLiteral("It broke");
        if (b.kind == Error) {
            ts1900fp_app::showErrorMessage(message);
        } else if (b.kind == Warning) {
            ts1900fp_app::showWarningMessage(message);
        } else if (b.kind == Info) {
            ts1900fp_app::showInfoMessage(message);
        } else {
            QVERIFY(!frame.close());
        }
        QVERIFY2(box.done(), qPrintable(box.error()));
        QVERIFY(frame.isVisible());
        QCOMPARE(box.report().title, b.title);
        QCOMPARE(box.report().text, b.text);
        QCOMPARE(box.report().icon, b.icon);
        QCOMPARE(box.report().buttons, b.buttons);
    }

    // ---- frame -----------------------------------------------------------
    void closeButtonClosesAfterYes()
    {
        FrameProbe frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        ModalAnswer yes(QStringLiteral("Yes"));
        frame.m_closeButton->click();
        QVERIFY2(yes.done(), qPrintable(yes.error()));
        QVERIFY(!frame.isVisible());
    }

    void centreOnScreenHalvesTowardZero()
    {
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        for (const QSize &size : {QSize(301, 201), QSize(3001, 2001)}) {
            QWidget widget;
            widget.resize(size);
            ts1900fp_app::centreOnScreen(&widget);
            // C++ division truncates toward zero, also for negative differences.
            const QPoint expected((available.width() - size.width()) / 2,
                                  (available.height() - size.height()) / 2);
            QCOMPARE(widget.geometry(), QRect(expected, size));
            if (size.width() > available.width()) {
                QCOMPARE(widget.geometry().x() * 2, available.width() - size.width() + 1);
            }
        }
    }

    void toolColumnControls()
    {
        FrameProbe frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        // Only the status group and the commands show until a panel asks for more.
        for (QWidget *w : QList<QWidget *>{frame.m_autoscaleLabel, frame.m_autoscaleButton,
                                           frame.m_identifyLabel, frame.m_identifyButton, frame.m_startButton,
                                           frame.m_startContButton, frame.m_moduleLabel}) {
            QVERIFY(!w->isVisible());
        }
        QVERIFY(frame.m_activeLed->isVisible() && frame.m_resetButton->isVisible());
        QCOMPARE(frame.m_activeLed->caption(), QStringLiteral("Active"));
        QCOMPARE(frame.m_resetButton->text(), QStringLiteral("Reset Device"));
        QCOMPARE(frame.m_resetButton->toolTip(),
                 QStringLiteral("<html>Reset the device to the default state</html>"));
        QCOMPARE(frame.m_aboutButton->whatsThis(), QStringLiteral("Displays \"About\" panel"));
        QCOMPARE(frame.m_closeButton->whatsThis(), QStringLiteral("Close main panel and terminates program"));
        QCOMPARE(frame.m_helpButton->iconSize(), frameicons::whatsThisIcon().size()); // the arrow unscaled
        QVERIFY(frame.m_autoscaleButton->isChecked());
        QCOMPARE(frame.m_autoscaleButton->text(), QStringLiteral("ON"));
        QCOMPARE(frame.m_identifyButton->text(), QStringLiteral("OFF"));
        // The user cannot resize the window.
        QCOMPARE(frame.minimumSize(), frame.maximumSize());

        frame.showIdentify(true);
        QVERIFY(frame.m_identifyLabel->isVisible() && frame.m_identifyButton->isVisible());

        // The toggles relabel themselves and report; Reset reports.
        QSignalSpy ident(&frame, &ts1900fp_app::identToggled);
        QSignalSpy autoscale(&frame, &ts1900fp_app::autoscaleToggled);
        QSignalSpy reset(&frame, &ts1900fp_app::resetPressed);
        frame.m_identifyButton->click();
        QCOMPARE(frame.m_identifyButton->text(), QStringLiteral("ON"));
        frame.m_identifyButton->click();
        QCOMPARE(frame.m_identifyButton->text(), QStringLiteral("OFF"));
        QCOMPARE(ident, (QList<QVariantList>{{true}, {false}}));
        frame.m_autoscaleButton->click();
        QCOMPARE(frame.m_autoscaleButton->text(), QStringLiteral("OFF"));
        QCOMPARE(autoscale, (QList<QVariantList>{{false}}));
        frame.m_resetButton->click();
        QCOMPARE(reset.count(), 1);
    }

    void startButtonsSwapIconTextAndEnabling()
    {
        FrameProbe frame;
        QSignalSpy startSingle(&frame, &ts1900fp_app::startSingle);
        QSignalSpy breakSingle(&frame, &ts1900fp_app::breakSingle);
        QSignalSpy startCont(&frame, &ts1900fp_app::startCont);
        QSignalSpy stopCont(&frame, &ts1900fp_app::stopCont);
        QPushButton *single = frame.m_startButton;
        QPushButton *cont = frame.m_startContButton;
        const auto shows = [](QPushButton *b, const QPixmap &icon) {
            return argb(b->icon().pixmap(icon.size())) == argb(icon);
        };
        const QString continuousHelp = QStringLiteral(
            "<html>Starts the repetitive data acquisition (or continuous data acquisition, when "
            "file storage option is turned on)</html>");
        QVERIFY(shows(single, frameicons::playIcon()) && shows(cont, frameicons::doublePlayIcon()));
        QCOMPARE(cont->toolTip(), continuousHelp);

        // Single shot: the button becomes its own stop; ending it waits for enableStart().
        single->setChecked(true);
        QCOMPARE(startSingle.count(), 1);
        QVERIFY(shows(single, frameicons::stopIcon()));
        QCOMPARE(single->toolTip(), QStringLiteral("<html>Breaks the Single-Shot Data Acquisition</html>"));
        QVERIFY(single->isEnabled() && !cont->isEnabled());
        single->setChecked(false);
        QCOMPARE(breakSingle.count(), 1);
        QVERIFY(shows(single, frameicons::playIcon()));
        QCOMPARE(single->whatsThis(), QStringLiteral("Starts the Single-Shot Data Acquisition"));
        QVERIFY(!single->isEnabled() && !cont->isEnabled());

        frame.enableStart();
        cont->setChecked(true);
        QCOMPARE(startCont.count(), 1);
        QVERIFY(shows(cont, frameicons::stopIcon()));
        QCOMPARE(cont->whatsThis(), QStringLiteral("Stops the Data Acquisition process"));
        QVERIFY(!single->isEnabled() && cont->isEnabled());
        cont->setChecked(false);
        QCOMPARE(stopCont.count(), 1);
        QVERIFY(shows(cont, frameicons::doublePlayIcon()));
        QCOMPARE(cont->whatsThis(), continuousHelp);
        QVERIFY(!single->isEnabled() && !cont->isEnabled());

        // A break from the program ends whichever acquisition runs and enables both.
        single->setChecked(true);
        frame.userBreak();
        QVERIFY(!single->isChecked());
        QCOMPARE(breakSingle.count(), 2);
        QVERIFY(single->isEnabled() && cont->isEnabled());
        cont->setChecked(true);
        frame.userBreak();
        QVERIFY(!cont->isChecked());
        QCOMPARE(stopCont.count(), 2);
        QCOMPARE(breakSingle.count(), 2);
        QVERIFY(single->isEnabled() && cont->isEnabled());
    }

    void moduleInfoLogoDemoAndPanelLayout()
    {
        FrameProbe frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.setModuleInfo(QStringLiteral("10.1.2.3"), QStringLiteral("Which module"));
        QVERIFY(frame.m_moduleLabel->isVisible());
        QCOMPARE(frame.m_moduleLabel->text(), QStringLiteral("10.1.2.3"));
        QCOMPARE(frame.m_moduleLabel->whatsThis(), QStringLiteral("Which module"));
        // No text hides the line; no help text keeps the old one.
        frame.setModuleInfo(QString(), QString());
        QVERIFY(!frame.m_moduleLabel->isVisible());
        QCOMPARE(frame.m_moduleLabel->whatsThis(), QStringLiteral("Which module"));

        frame.setDemoMode(true);
        QCOMPARE(frame.m_activeLed->state(), 0);
        frame.setDemoMode(false);
        QCOMPARE(frame.m_activeLed->state(), 1);

        const QImage vxi = frame.m_busLogoLabel->pixmap().toImage();
        frame.setLxiLogo(false);
        QCOMPARE(frame.m_busLogoLabel->pixmap().toImage(), vxi);
        frame.setLxiLogo(true);
        QCOMPARE(frame.m_busLogoLabel->pixmap().toImage(),
                 QPixmap(QStringLiteral(":/lxi-logo.bmp")).toImage());
        QVERIFY(vxi != frame.m_busLogoLabel->pixmap().toImage());

        auto *panel = new QVBoxLayout;
        frame.setPanelLayout(panel);
        QCOMPARE(frame.m_contentWidget->layout(), panel);
    }

    void windowIconMatchesItsPixelTable()
    {
        const char *const rows[16] = {
            "########....aaa.", "#########..aaaaa", "##########.aaaaa", "#########..aaaaa",
            "########....aaa.", "................", ".bbb....########", "bbbbb..#########",
            "bbbbb.##########", "bbbbb..#########", ".bbb....########", "................",
            "c..cc.cc.c.cc.cc", "cc.cc.c..c.cc.c.", "cc.cc..c.c.c..c.", "cc.cc.cc.c.cc.cc",
        };
        const QMap<char, QRgb> colours{{'c', qRgba(255, 255, 255, 255)},
                                       {'b', qRgba(0, 0, 255, 255)},
                                       {'#', qRgba(128, 128, 128, 255)},
                                       {'a', qRgba(255, 0, 0, 255)},
                                       {'.', qRgba(0, 0, 0, 0)}};
        FrameProbe frame;
        const QImage icon = argb(frame.windowIcon().pixmap(16, 16));
        QCOMPARE(icon.size(), QSize(16, 16));
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QRgb expected = colours.value(rows[y][x]);
                const QRgb actual = icon.pixel(x, y);
                // Transparent pixels may carry any colour.
                QVERIFY2(qAlpha(expected) == 0 ? qAlpha(actual) == 0 : actual == expected,
                         qPrintable(QStringLiteral("(%1,%2)").arg(x).arg(y)));
            }
        }
    }

    void startIconsHaveTheirShapes()
    {
        const QImage play = argb(frameicons::playIcon());
        const QImage stop = argb(frameicons::stopIcon());
        const QImage twin = argb(frameicons::doublePlayIcon());
        QVERIFY(play.size() == QSize(12, 12) && stop.size() == QSize(12, 12) && twin.size() == QSize(12, 12));
        QCOMPARE(frameicons::whatsThisIcon().size(), QSize(20, 17));
        const QRgb green = qRgba(0, 0x80, 0, 255);
        // Stop: a #800000 square with the top and bottom rows left empty.
        QCOMPARE(stop.pixel(5, 5), qRgba(0x80, 0, 0, 255));
        QVERIFY(qAlpha(stop.pixel(5, 0)) == 0 && qAlpha(stop.pixel(5, 11)) == 0);
        // Play points right; two triangles show green, gap, green near the top.
        QVERIFY(play.pixel(2, 5) == green && qAlpha(play.pixel(9, 1)) == 0);
        QVERIFY(twin.pixel(1, 2) == green && qAlpha(twin.pixel(4, 2)) == 0 && twin.pixel(6, 2) == green);
    }
};

TS_TEST_MAIN(TestFrame)
#include "test_frame.moc"
