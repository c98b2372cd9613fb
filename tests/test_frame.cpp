// The front-panel frame as the operator meets it: the status lamp, the
// splash picture, the message boxes, the close confirmation, placement on
// the screen and the tool-column controls.
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QVBoxLayout>

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
    using ts1900fp_app::aboutButton;
    using ts1900fp_app::activeLed;
    using ts1900fp_app::autoscaleButton;
    using ts1900fp_app::autoscaleLabel;
    using ts1900fp_app::busLogoLabel;
    using ts1900fp_app::closeButton;
    using ts1900fp_app::contentWidget;
    using ts1900fp_app::helpButton;
    using ts1900fp_app::identifyButton;
    using ts1900fp_app::identifyLabel;
    using ts1900fp_app::moduleLabel;
    using ts1900fp_app::resetButton;
    using ts1900fp_app::startButton;
    using ts1900fp_app::startContButton;
    using ts1900fp_app::titleLabel;
};

class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

QImage render(QWidget *widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A LED whose font gives the wanted line height (in pixels, approximately).
ts1900fp_led *ledWithFont(int pixelSize, const QColor &on, const QColor &off)
{
    auto *led = new ts1900fp_led(QStringLiteral("Active"), on, off);
    QFont font = led->font();
    font.setPixelSize(pixelSize);
    led->setFont(font);
    led->resize(led->sizeHint());
    return led;
}

bool near(QRgb a, const QColor &b, int tolerance = 8)
{
    return qAbs(qRed(a) - b.red()) <= tolerance && qAbs(qGreen(a) - b.green()) <= tolerance &&
           qAbs(qBlue(a) - b.blue()) <= tolerance;
}

} // namespace

class TestFrame : public QObject
{
    Q_OBJECT

private slots:
    void init() { ts1900fp_app::setModelText(4820); }

    // ---- status LED ------------------------------------------------------
    void ledSizeHintFollowsCaptionAndFont_data();
    void ledSizeHintFollowsCaptionAndFont();
    void ledRepaintsOnlyWhenStateChanges();
    void ledLampColour_data();
    void ledLampColour();
    void ledSmallFontDrawsPlainDisc_data();
    void ledSmallFontDrawsPlainDisc();
    void ledToggleValueFlipsAndSignals();

    // ---- splash ----------------------------------------------------------
    void splashDrawsDeviceImageOnlyInAcceptedSizes_data();
    void splashDrawsDeviceImageOnlyInAcceptedSizes();

    // ---- message boxes ---------------------------------------------------
    void messageBoxesHaveTitleTextIconAndButtons_data();
    void messageBoxesHaveTitleTextIconAndButtons();

    // ---- frame -----------------------------------------------------------
    void closeAsksAndNoKeepsWindow();
    void centreOnScreenHalvesTowardZero_data();
    void centreOnScreenHalvesTowardZero();
    void toolColumnShowsOnlyCommandsAtStart();
    void startButtonsSwapIconTextAndEnabling();
    void userBreakUnchecksAndReenables();
    void togglesRelabelAndSignal();
    void resetButtonEmitsResetPressed();
    void moduleInfoLogoDemoAndPanelLayout();
    void windowIconMatchesItsPixelTable();
    void startIconsHaveTheirShapes();
};

// ---------------------------------------------------------------------------

void TestFrame::ledSizeHintFollowsCaptionAndFont_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("pixelSize");
    QTest::newRow("Active, 12 px") << "Active" << 12;
    QTest::newRow("empty caption, 12 px") << "" << 12;
    QTest::newRow("long caption, 20 px") << "Instrument connected" << 20;
    QTest::newRow("Active, 7 px") << "Active" << 7;
}

void TestFrame::ledSizeHintFollowsCaptionAndFont()
{
    QFETCH(QString, caption);
    QFETCH(int, pixelSize);
    ts1900fp_led led(caption, Qt::green, Qt::black);
    QFont font = led.font();
    font.setPixelSize(pixelSize);
    led.setFont(font);
    const QFontMetrics fm(font);
    const int H = fm.height() + 2;
    QCOMPARE(led.minimumSizeHint(),
             QSize(H + fm.horizontalAdvance(caption) - 1 + (H - 1) / 2, H));
    QCOMPARE(led.sizePolicy().horizontalPolicy(), QSizePolicy::Maximum);
    QCOMPARE(led.sizePolicy().verticalPolicy(), QSizePolicy::Maximum);
}

void TestFrame::ledRepaintsOnlyWhenStateChanges()
{
    ts1900fp_led led(QStringLiteral("Active"), Qt::green, Qt::black);
    led.resize(led.sizeHint());
    led.show();
    QVERIFY(QTest::qWaitForWindowExposed(&led));
    PaintCounter counter;
    led.installEventFilter(&counter);

    led.setState(0);
    QCOMPARE(counter.paints, 0);
    led.setState(1);
    QCOMPARE(counter.paints, 1);
    led.setState(1);
    QCOMPARE(counter.paints, 1);
    QCOMPARE(led.state(), 1);
}

void TestFrame::ledLampColour_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QColor>("offColour");
    QTest::addColumn<bool>("setThird");
    QTest::addColumn<QString>("expected"); // "on", "off", "window" or "third"
    QTest::newRow("on") << 1 << QColor(Qt::black) << false << "on";
    QTest::newRow("off") << 0 << QColor(Qt::blue) << false << "off";
    QTest::newRow("magenta off is the window colour") << 0 << QColor(Qt::magenta) << false
                                                       << "window";
    QTest::newRow("state 2 without third colour") << 2 << QColor(Qt::black) << false << "on";
    QTest::newRow("state 2 with third colour") << 2 << QColor(Qt::black) << true << "third";
}

void TestFrame::ledLampColour()
{
    QFETCH(int, state);
    QFETCH(QColor, offColour);
    QFETCH(bool, setThird);
    QFETCH(QString, expected);
    const QColor on(0, 200, 0);
    const QColor third(200, 0, 0);
    std::unique_ptr<ts1900fp_led> led(ledWithFont(16, on, offColour));
    if (setThird) {
        led->setThirdColour(third);
    }
    led->setState(state);
    const int h = QFontMetrics(led->font()).height();
    QVERIFY(h >= 10);
    const QImage image = render(led.get());
    const QRgb centre = image.pixel(2 + h / 2, h / 2);
    const QColor wanted = expected == "on"       ? on
                          : expected == "third"  ? third
                          : expected == "window" ? led->palette().color(QPalette::Window)
                                                 : offColour;
    QVERIFY2(near(centre, wanted), qPrintable(QStringLiteral("centre %1, wanted %2")
                                                  .arg(QColor(centre).name(), wanted.name())));
    QVERIFY(!near(centre, Qt::magenta));
}

void TestFrame::ledSmallFontDrawsPlainDisc_data()
{
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<bool>("bevelled");
    QTest::newRow("7 px font: plain disc") << 7 << false;
    QTest::newRow("16 px font: bevel rings") << 16 << true;
}

void TestFrame::ledSmallFontDrawsPlainDisc()
{
    QFETCH(int, pixelSize);
    QFETCH(bool, bevelled);
    const QColor on(0, 200, 0);
    std::unique_ptr<ts1900fp_led> led(ledWithFont(pixelSize, on, Qt::black));
    led->setState(1);
    const int h = QFontMetrics(led->font()).height();
    QCOMPARE(h >= 10, bevelled);
    const QImage image = render(led.get());
    // Two pixels inside the lamp's left edge, on its middle row: the fill
    // colour for a plain disc, the rings' colours for a bevelled lamp.
    const QRgb edge = image.pixel(2 + 2, h / 2);
    QCOMPARE(near(edge, on, 40), !bevelled);
    QVERIFY(near(image.pixel(2 + h / 2, h / 2), on, 40));
}

void TestFrame::ledToggleValueFlipsAndSignals()
{
    ts1900fp_led led(QStringLiteral("Active"), Qt::green, Qt::black);
    QSignalSpy toggled(&led, &ts1900fp_led::valueToggled);
    led.toggleValue();
    QCOMPARE(led.state(), 1);
    led.setState(2);
    led.toggleValue();
    QCOMPARE(led.state(), 0);
    QCOMPARE(toggled.count(), 2);
}

// ---------------------------------------------------------------------------

void TestFrame::splashDrawsDeviceImageOnlyInAcceptedSizes_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QRect>("drawn");
    QTest::addColumn<bool>("complains");
    QTest::newRow("520 x 400 bitmap is clipped")
        << 9001 << QColor(255, 0, 0) << QRect(67, 38, 453, 199) << false;
    QTest::newRow("452 x 194 PNG is drawn whole")
        << 9002 << QColor(0, 0, 255) << QRect(67, 43, 452, 194) << false;
    QTest::newRow("400 x 200 PNG is refused") << 9003 << QColor(0, 255, 0) << QRect() << true;
    QTest::newRow("no picture at all") << 9004 << QColor(0, 255, 0) << QRect() << true;
}

void TestFrame::splashDrawsDeviceImageOnlyInAcceptedSizes()
{
    QFETCH(int, model);
    QFETCH(QColor, colour);
    QFETCH(QRect, drawn);
    QFETCH(bool, complains);

    StdoutCapture capture;
    const ts1900fp_splashLabel splash(1.0, 20, model, false, QStringLiteral("(c)"),
                                      QStringLiteral("Test"));
    const QString out = capture.text();
    const QString message = QStringLiteral(
        "The size of the image of the device, that is to be used in the splash screen, is not "
        "as required!!!\n");
    QCOMPARE(out, complains ? message : QString());

    const QImage image = splash.toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY(image.width() >= 540 && image.height() >= 400);
    if (drawn.isNull()) {
        QVERIFY(!near(image.pixel(100, 100), colour, 2));
        return;
    }
    const QPoint inside[] = {drawn.topLeft(), drawn.bottomRight(), drawn.center()};
    for (const QPoint &p : inside) {
        QVERIFY2(near(image.pixel(p), colour, 2), qPrintable(QStringLiteral("(%1,%2) not drawn")
                                                                 .arg(p.x()).arg(p.y())));
    }
    const QPoint outside[] = {drawn.topLeft() - QPoint(1, 0), drawn.topLeft() - QPoint(0, 1),
                              drawn.bottomRight() + QPoint(1, 0),
                              drawn.bottomRight() + QPoint(0, 1)};
    for (const QPoint &p : outside) {
        QVERIFY2(!near(image.pixel(p), colour, 2),
                 qPrintable(QStringLiteral("(%1,%2) drawn").arg(p.x()).arg(p.y())));
    }
}

// ---------------------------------------------------------------------------

void TestFrame::messageBoxesHaveTitleTextIconAndButtons_data()
{
    QTest::addColumn<int>("kind"); // 0 error, 1 warning, 2 info
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QString>("answer");
    QTest::newRow("error") << 0 << 4820 << "Xentra 4820 SFP Error message"
                           << "It broke\nDo you want to exit?" << int(QMessageBox::Critical)
                           << QStringList{"Yes", "No"} << "No";
    QTest::newRow("warning") << 1 << 4820 << "Xentra 4820 SFP Warning message"
                             << "It broke" << int(QMessageBox::Warning) << QStringList{"OK"}
                             << "OK";
    QTest::newRow("info") << 2 << 4820 << "Xentra 4820 SFP Info message"
                          << "It broke" << int(QMessageBox::Information) << QStringList{"OK"}
                          << "OK";
    QTest::newRow("three-digit model is padded") << 2 << 482 << "Xentra  482 SFP Info message"
                                                 << "It broke" << int(QMessageBox::Information)
                                                 << QStringList{"OK"} << "OK";
}

void TestFrame::messageBoxesHaveTitleTextIconAndButtons()
{
    QFETCH(int, kind);
    QFETCH(int, model);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(int, icon);
    QFETCH(QStringList, buttons);
    QFETCH(QString, answer);

    ts1900fp_app::setModelText(model);
    QCOMPARE(ts1900fp_app::modelText.size(), 4);
    ModalAnswer box(answer);
    const QString message = QStringLiteral("It broke");
    if (kind == 0) {
        ts1900fp_app::showErrorMessage(message);
    } else if (kind == 1) {
        ts1900fp_app::showWarningMessage(message);
    } else {
        ts1900fp_app::showInfoMessage(message);
    }
    QVERIFY2(box.done(), qPrintable(box.error()));
    QCOMPARE(box.report().title, title);
    QCOMPARE(box.report().text, text);
    QCOMPARE(int(box.report().icon), icon);
    QCOMPARE(box.report().buttons, buttons);
}

// ---------------------------------------------------------------------------

void TestFrame::closeAsksAndNoKeepsWindow()
{
    FrameProbe frame;
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));

    ModalAnswer no(QStringLiteral("No"));
    QVERIFY(!frame.close());
    QVERIFY2(no.done(), qPrintable(no.error()));
    QVERIFY(frame.isVisible());
    QCOMPARE(no.report().title, QStringLiteral("Xentra 4820 SFP"));
    QCOMPARE(no.report().text, QStringLiteral("Do you really want to exit?"));
    QCOMPARE(no.report().icon, QMessageBox::Question);
    QCOMPARE(no.report().buttons, (QStringList{"Yes", "No"}));

    ModalAnswer yes(QStringLiteral("Yes"));
    frame.closeButton->click();
    QVERIFY2(yes.done(), qPrintable(yes.error()));
    QVERIFY(!frame.isVisible());
}

void TestFrame::centreOnScreenHalvesTowardZero_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("even") << QSize(300, 200);
    QTest::newRow("odd") << QSize(301, 201);
    QTest::newRow("larger than the screen") << QSize(3001, 2001);
}

void TestFrame::centreOnScreenHalvesTowardZero()
{
    QFETCH(QSize, size);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
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

void TestFrame::toolColumnShowsOnlyCommandsAtStart()
{
    FrameProbe frame;
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QVERIFY(!frame.autoscaleLabel->isVisible());
    QVERIFY(!frame.autoscaleButton->isVisible());
    QVERIFY(!frame.identifyLabel->isVisible());
    QVERIFY(!frame.identifyButton->isVisible());
    QVERIFY(!frame.startButton->isVisible());
    QVERIFY(!frame.startContButton->isVisible());
    QVERIFY(!frame.moduleLabel->isVisible());
    QVERIFY(frame.activeLed->isVisible());
    QCOMPARE(frame.activeLed->caption(), QStringLiteral("Active"));
    QCOMPARE(frame.resetButton->text(), QStringLiteral("Reset Device"));
    QCOMPARE(frame.resetButton->toolTip(),
             QStringLiteral("<html>Reset the device to the default state</html>"));
    QCOMPARE(frame.aboutButton->whatsThis(), QStringLiteral("Displays \"About\" panel"));
    QCOMPARE(frame.closeButton->whatsThis(),
             QStringLiteral("Close main panel and terminates program"));
    QVERIFY(frame.helpButton->text().isEmpty());
    QCOMPARE(frame.helpButton->iconSize(), QSize(20, 17));
    QVERIFY(frame.autoscaleButton->isChecked());
    QCOMPARE(frame.autoscaleButton->text(), QStringLiteral("ON"));
    QCOMPARE(frame.identifyButton->text(), QStringLiteral("OFF"));
    // Fixed size: the window cannot be resized by the user.
    QCOMPARE(frame.layout()->sizeConstraint(), QLayout::SetFixedSize);

    frame.showIdentify(true);
    QVERIFY(frame.identifyLabel->isVisible());
    QVERIFY(frame.identifyButton->isVisible());
}

void TestFrame::startButtonsSwapIconTextAndEnabling()
{
    FrameProbe frame;
    QSignalSpy startSingle(&frame, &ts1900fp_app::startSingle);
    QSignalSpy breakSingle(&frame, &ts1900fp_app::breakSingle);
    QSignalSpy startCont(&frame, &ts1900fp_app::startCont);
    QSignalSpy stopCont(&frame, &ts1900fp_app::stopCont);
    const QString continuousHelp = QStringLiteral(
        "<html>Starts the repetitive data acquisition (or continuous data acquisition, when "
        "file storage option is turned on)</html>");
    QCOMPARE(frame.startButton->whatsThis(),
             QStringLiteral("Starts the single-shot data acquisition"));
    QCOMPARE(frame.startContButton->whatsThis(), continuousHelp);
    QCOMPARE(frame.startContButton->toolTip(), continuousHelp);

    frame.startButton->setChecked(true);
    QCOMPARE(startSingle.count(), 1);
    QCOMPARE(frame.startButton->toolTip(),
             QStringLiteral("<html>Breaks the Single-Shot Data Acquisition</html>"));
    QVERIFY(frame.startButton->isEnabled());
    QVERIFY(!frame.startContButton->isEnabled());

    frame.startButton->setChecked(false);
    QCOMPARE(breakSingle.count(), 1);
    QCOMPARE(frame.startButton->whatsThis(),
             QStringLiteral("Starts the Single-Shot Data Acquisition"));
    QVERIFY(!frame.startButton->isEnabled());
    QVERIFY(!frame.startContButton->isEnabled());

    frame.enableStart();
    frame.startContButton->setChecked(true);
    QCOMPARE(startCont.count(), 1);
    QCOMPARE(frame.startContButton->whatsThis(),
             QStringLiteral("Stops the Data Acquisition process"));
    QVERIFY(!frame.startButton->isEnabled());
    frame.startContButton->setChecked(false);
    QCOMPARE(stopCont.count(), 1);
    QCOMPARE(frame.startContButton->whatsThis(), continuousHelp);
    QVERIFY(!frame.startButton->isEnabled());
    QVERIFY(!frame.startContButton->isEnabled());
}

void TestFrame::userBreakUnchecksAndReenables()
{
    FrameProbe frame;
    QSignalSpy breakSingle(&frame, &ts1900fp_app::breakSingle);
    QSignalSpy stopCont(&frame, &ts1900fp_app::stopCont);
    frame.startButton->setChecked(true);
    frame.userBreak();
    QVERIFY(!frame.startButton->isChecked());
    QCOMPARE(breakSingle.count(), 1);
    QCOMPARE(stopCont.count(), 0);
    QVERIFY(frame.startButton->isEnabled());
    QVERIFY(frame.startContButton->isEnabled());

    frame.startContButton->setChecked(true);
    frame.userBreak();
    QVERIFY(!frame.startContButton->isChecked());
    QCOMPARE(stopCont.count(), 1);
    QVERIFY(frame.startButton->isEnabled());
    QVERIFY(frame.startContButton->isEnabled());
}

void TestFrame::togglesRelabelAndSignal()
{
    FrameProbe frame;
    QSignalSpy ident(&frame, &ts1900fp_app::identToggled);
    QSignalSpy autoscale(&frame, &ts1900fp_app::autoscaleToggled);
    frame.identifyButton->click();
    QCOMPARE(frame.identifyButton->text(), QStringLiteral("ON"));
    frame.identifyButton->click();
    QCOMPARE(frame.identifyButton->text(), QStringLiteral("OFF"));
    QCOMPARE(ident.count(), 2);
    QCOMPARE(ident.at(0).at(0).toBool(), true);
    QCOMPARE(ident.at(1).at(0).toBool(), false);
    frame.autoscaleButton->click();
    QCOMPARE(frame.autoscaleButton->text(), QStringLiteral("OFF"));
    QCOMPARE(autoscale.count(), 1);
    QCOMPARE(autoscale.at(0).at(0).toBool(), false);
}

void TestFrame::resetButtonEmitsResetPressed()
{
    FrameProbe frame;
    QSignalSpy reset(&frame, &ts1900fp_app::resetPressed);
    frame.resetButton->click();
    QCOMPARE(reset.count(), 1);
}

void TestFrame::moduleInfoLogoDemoAndPanelLayout()
{
    FrameProbe frame;
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));

    frame.setModuleInfo(QStringLiteral("10.1.2.3"), QStringLiteral("Which module"));
    QVERIFY(frame.moduleLabel->isVisible());
    QCOMPARE(frame.moduleLabel->text(), QStringLiteral("10.1.2.3"));
    QCOMPARE(frame.moduleLabel->whatsThis(), QStringLiteral("Which module"));
    frame.setModuleInfo(QString(), QString());
    QVERIFY(!frame.moduleLabel->isVisible());
    QCOMPARE(frame.moduleLabel->whatsThis(), QStringLiteral("Which module"));

    frame.setDemoMode(true);
    QCOMPARE(frame.activeLed->state(), 0);
    frame.setDemoMode(false);
    QCOMPARE(frame.activeLed->state(), 1);

    const QImage vxi = frame.busLogoLabel->pixmap().toImage();
    frame.setLxiLogo(false);
    QCOMPARE(frame.busLogoLabel->pixmap().toImage(), vxi);
    frame.setLxiLogo(true);
    QCOMPARE(frame.busLogoLabel->pixmap().toImage(),
             QPixmap(QStringLiteral(":/lxi-logo.bmp")).toImage());
    QVERIFY(vxi != frame.busLogoLabel->pixmap().toImage());

    frame.setProductText(QStringLiteral("<html>Xentra 4820</html>"));
    QCOMPARE(frame.titleLabel->text(), QStringLiteral("<html>Xentra 4820</html>"));

    auto *panel = new QVBoxLayout;
    frame.setPanelLayout(panel);
    QCOMPARE(frame.contentWidget->layout(), panel);
}

void TestFrame::windowIconMatchesItsPixelTable()
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
    const QImage icon = frame.windowIcon().pixmap(16, 16).toImage().convertToFormat(
        QImage::Format_ARGB32);
    QCOMPARE(icon.size(), QSize(16, 16));
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const QRgb expected = colours.value(rows[y][x]);
            const QRgb actual = icon.pixel(x, y);
            if (qAlpha(expected) == 0) {
                QVERIFY2(qAlpha(actual) == 0, qPrintable(QStringLiteral("(%1,%2)").arg(x).arg(y)));
            } else {
                QVERIFY2(actual == expected, qPrintable(QStringLiteral("(%1,%2)").arg(x).arg(y)));
            }
        }
    }
}

void TestFrame::startIconsHaveTheirShapes()
{
    const QImage play = frameicons::playIcon().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage stop = frameicons::stopIcon().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage twin =
        frameicons::doublePlayIcon().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(play.size(), QSize(12, 12));
    QCOMPARE(stop.size(), QSize(12, 12));
    QCOMPARE(twin.size(), QSize(12, 12));
    QCOMPARE(frameicons::whatsThisIcon().size(), QSize(20, 17));
    // Stop: a #800000 square with the top and bottom rows left empty.
    for (int x = 0; x < 12; ++x) {
        QCOMPARE(qAlpha(stop.pixel(x, 0)), 0);
        QCOMPARE(qAlpha(stop.pixel(x, 11)), 0);
    }
    QCOMPARE(stop.pixel(5, 5), qRgba(0x80, 0, 0, 255));
    // Play points right: its widest row is wider at the left than at the tip.
    QCOMPARE(play.pixel(2, 5), qRgba(0, 0x80, 0, 255));
    QCOMPARE(qAlpha(play.pixel(9, 1)), 0);
    // Two triangles: green, gap, green along one row near the top.
    QCOMPARE(twin.pixel(1, 2), qRgba(0, 0x80, 0, 255));
    QCOMPARE(qAlpha(twin.pixel(4, 2)), 0);
    QCOMPARE(twin.pixel(6, 2), qRgba(0, 0x80, 0, 255));
}

TS_TEST_MAIN(TestFrame)
#include "test_frame.moc"
