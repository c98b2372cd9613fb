// The program on a screen of device pixel ratio 2: the schematic and the
// window are drawn at the screen's resolution (sharp, not a picture of half
// the resolution enlarged) and laid out as at ratio 1. The pictures are kept
// in the test's folder, high-dpi-*.png, to be looked at.
#include <QComboBox>

#include "modalanswer.h"
#include "schematic.h"
#include "testenv.h"
#include "ts4820_spc.h"
#include "ts4820fp_app.h"

namespace {

// Of the 2 x 2 pixel blocks with something drawn in them, the share whose
// four pixels differ: 0 for a picture enlarged pixel for pixel.
double detailedBlocks(const QImage &image)
{
    int drawn = 0, detailed = 0;
    for (int y = 0; y + 1 < image.height(); y += 2) {
        for (int x = 0; x + 1 < image.width(); x += 2) {
            const QRgb a = image.pixel(x, y);
            const bool uniform =
                a == image.pixel(x + 1, y) && a == image.pixel(x, y + 1) && a == image.pixel(x + 1, y + 1);
            drawn += uniform && a == image.pixel(0, 0) ? 0 : 1;
            detailed += uniform ? 0 : 1;
        }
    }
    return drawn ? double(detailed) / drawn : 0.0;
}

// The share of pixels that differ clearly between two pictures of one size.
double differingPixels(const QImage &a, const QImage &b)
{
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            differing += qAbs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 96 ? 1 : 0;
        }
    }
    return double(differing) / (a.width() * a.height());
}

} // namespace

class TestHighDpi : public QObject
{
    Q_OBJECT

private slots:
    void sharpAndLaidOutAsAtRatioOne()
    {
        ts4820_spc adapter;
        ModalAnswer answers(QStringList{"Run In Demo Mode", "Ok"});
        ts4820fp_App window(&adapter, nullptr);
        QVERIFY2(answers.done(), qPrintable(answers.error()));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.devicePixelRatio(), 2.0);
        for (int scale : {0, 3}) { // 75 % and 150 %
            window.scaleCombo->setCurrentIndex(scale);
            QCoreApplication::processEvents();
            for (QWidget *part :
                 {static_cast<QWidget *>(window.schematic), static_cast<QWidget *>(&window)}) {
                const QString name =
                    QStringLiteral("high-dpi-%1-%2.png").arg(part->metaObject()->className()).arg(scale);
                const QImage fine = part->grab().toImage().convertToFormat(QImage::Format_RGB32);
                QCOMPARE(fine.size(), part->size() * 2);
                QVERIFY(fine.save(name));
                // The window has wide flat areas (its background, the banner),
                // so less of it is edges than of the schematic.
                QVERIFY2(detailedBlocks(fine) > (part == &window ? 0.06 : 0.15), qPrintable(name));
                QImage atRatioOne(part->size(), QImage::Format_RGB32);
                atRatioOne.fill(Qt::white);
                part->render(&atRatioOne);
                const QImage halved =
                    fine.scaled(part->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                QVERIFY2(differingPixels(halved, atRatioOne) < 0.02, qPrintable(name));
            }
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
