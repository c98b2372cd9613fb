// The frame as the operator meets it: the status lamp, the message boxes and
// close confirmation, the tool column, the window icon, About. (The splash:
// docs/screenshots.)
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocumentFragment>

#include "clickablelabel.h"
#include "modalanswer.h"
#include "testenv.h"
#include "ts1900fp_about.h"
#include "ts1900fp_app.h"
#include "ts1900fp_led.h"

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

// A box for the model: shown by a function (none: the close button), the
// answer given, and its title, text, icon and buttons.
struct Box
{
    void (*show)(const QString &);
    int model;
    QString answer, seen;
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
        QVERIFY(near(centre, shown.isValid() ? shown : led.palette().color(QPalette::Window)));
    }

    void messageBoxesAndCloseConfirmation_data()
    {
        QTest::addColumn<Box>("b");
        const QString close = QStringLiteral("Xentra 4820 SFP|Do you really want to exit?|4|Yes, No");
        // Never "Yes" to the error box: that ends the process.
        QTest::newRow("error") << Box{
            &ts1900fp_app::showErrorMessage, 4820, "No",
            "Xentra 4820 SFP Error message|It broke\nDo you want to exit?|3|Yes, No"};
        QTest::newRow("warning") << Box{&ts1900fp_app::showWarningMessage, 4820, "OK",
                                        "Xentra 4820 SFP Warning message|It broke|2|OK"};
        QTest::newRow("info, three-digit model padded")
            << Box{&ts1900fp_app::showInfoMessage, 482, "OK", "Xentra  482 SFP Info message|It broke|1|OK"};
        QTest::newRow("close, No keeps the window") << Box{nullptr, 4820, "No", close};
        QTest::newRow("close, Yes closes it") << Box{nullptr, 4820, "Yes", close};
    }
    void messageBoxesAndCloseConfirmation()
    {
        QFETCH(Box, b);
        ts1900fp_app::setModelText(b.model);
        Frame frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        ModalAnswer box(b.answer);
        b.show ? b.show(QStringLiteral("It broke")) : frame.m_closeButton->click();
        QVERIFY2(box.done(), qPrintable(box.error()));
        const BoxReport r = box.report();
        QCOMPARE(r.title + '|' + r.text + '|' + QString::number(r.icon) + '|' + r.buttons.join(", "), b.seen);
        QCOMPARE(frame.isVisible(), b.answer != "Yes");
    }

    // The window icon's squares; identify and the acquisition buttons show
    // only when a panel asks for them; identify relabels itself and reports.
    void windowIconAndToolColumn()
    {
        Frame frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        const QImage icon = frame.windowIcon().pixmap(16, 16).toImage();
        QCOMPARE(
            (QList<QRgb>{icon.pixel(0, 0), icon.pixel(13, 2), icon.pixel(2, 8), icon.pixel(3, 15),
                         icon.pixel(15, 0) >> 24}),
            (QList<QRgb>{qRgb(128, 128, 128), qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(255, 255, 255), 0}));
        QVERIFY(!frame.m_identifyButton->isVisible() && !frame.m_startButton->isVisible()
                && !frame.m_startContButton->isVisible());
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
        QCOMPARE(groupTexts(&about, "Software Revisions").section('|', 3) + '|'
                     + groupTexts(&about, "Hardware Information"),
                 "2.1.0|Soft Front Panel:|1.5.0|Device Model:|4820-AA|Revision:|1.0 (Product: A)|Serial Number:|0000a001");
    }
};

TS_TEST_MAIN(TestFrame)
#include "test_frame.moc"
