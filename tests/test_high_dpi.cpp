// The program on a screen of device pixel ratio 2: the schematic and the
// frame are drawn at the screen's resolution (sharp, not enlarged from a
// picture at half the resolution) and laid out as at ratio 1. The pictures
// are kept in the test's folder, high-dpi-*.png, to be looked at.
#include <QComboBox>
#include <QDir>
#include <QPainter>

#include "modalanswer.h"
#include "schematic.h"
#include "testenv.h"
#include "ts4820_spc.h"
#include "ts4820fp_app.h"

namespace {

// Share of the 2 x 2 pixel blocks with something drawn in them whose four
// pixels differ: 0 for a picture enlarged pixel for pixel, well above 0
// where edges and text follow the device pixels.
double detailedBlocks(const QImage &picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    int drawn = 0, detailed = 0;
    for (int y = 0; y + 1 < image.height(); y += 2) {
        for (int x = 0; x + 1 < image.width(); x += 2) {
            const QRgb a = image.pixel(x, y), b = image.pixel(x + 1, y), c = image.pixel(x, y + 1),
                       d = image.pixel(x + 1, y + 1);
            const bool uniform = a == b && a == c && a == d;
            const bool background = uniform && a == image.pixel(0, 0);
            drawn += background ? 0 : 1;
            detailed += uniform ? 0 : 1;
        }
    }
    return drawn ? double(detailed) / drawn : 0.0;
}

// Share of pixels that differ clearly between two pictures of one size.
double differingPixels(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    int differing = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            differing += qAbs(qGray(p) - qGray(q)) > 96 ? 1 : 0;
        }
    }
    return double(differing) / (x.width() * x.height());
}

// The widget painted at ratio 1, as a screen of ratio 1 would show it.
QImage atRatioOne(QWidget *widget)
{
    QImage image(widget->size(), QImage::Format_RGB32);
    image.setDevicePixelRatio(1.0);
    image.fill(Qt::white);
    widget->render(&image);
    return image;
}

} // namespace

class TestHighDpi : public QObject
{
    Q_OBJECT

private slots:
    void sharpAndLaidOutAsAtRatioOne_data()
    {
        QTest::addColumn<int>("subtype"); // index in the demo subtype dialog
        QTest::addColumn<int>("scale");   // index of the scale combo
        QTest::newRow("96 rows, 75 %") << 0 << 0;
        QTest::newRow("192 rows, 150 %") << 1 << 3;
    }
    void sharpAndLaidOutAsAtRatioOne()
    {
        QFETCH(int, subtype);
        QFETCH(int, scale);
        ts4820_spc adapter;
        ModalAnswer answers(QList<ModalAnswer::Step>{{QStringLiteral("Run In Demo Mode"), nullptr},
                                                     {QStringLiteral("Ok"), [subtype](QWidget *dialog) {
                                                          dialog->findChild<QComboBox *>()->setCurrentIndex(
                                                              subtype);
                                                      }}});
        ts4820fp_App window(&adapter, nullptr);
        QVERIFY2(answers.done(), qPrintable(answers.error()));
        window.scaleCombo->setCurrentIndex(scale);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.devicePixelRatio(), 2.0);

        const QString tag = QStringLiteral("%1-%2").arg(subtype).arg(scale);
        // The window has wide flat areas (its background, the frame's
        // banner), so less of it is edges than of the schematic.
        const struct
        {
            QWidget *part;
            const char *name;
            double minDetail;
        } parts[] = {{window.schematic, "schematic", 0.15}, {&window, "window", 0.06}};
        for (const auto &[part, name, minDetail] : parts) {
            const QPixmap shot = part->grab();
            QCOMPARE(shot.size(), part->size() * 2);
            const QImage fine = shot.toImage();
            QVERIFY(fine.save(QStringLiteral("high-dpi-%1-%2.png").arg(QLatin1String(name), tag)));
            const double detail = detailedBlocks(fine);
            QVERIFY2(detail > minDetail,
                     qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(name)).arg(detail)));
            const QImage halved = fine.scaled(part->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            const double moved = differingPixels(halved, atRatioOne(part));
            QVERIFY2(moved < 0.02, qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(name)).arg(moved)));
        }
    }
};

int main(int argc, char *argv[])
{
    testenv::isolate();
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestHighDpi test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_high_dpi.moc"
