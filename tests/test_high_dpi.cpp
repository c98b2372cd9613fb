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

// Over the 2 x 2 pixel blocks of the picture at ratio 2 with something drawn
// in them: the share whose four pixels differ (0 for a picture enlarged
// pixel for pixel); over all blocks: the share whose mean differs clearly
// from the pixel at ratio 1.
QPair<double, double> detailAndMoved(const QImage &fine, const QImage &coarse)
{
    int drawn = 0, detailed = 0, moved = 0;
    for (int y = 0; y + 1 < fine.height(); y += 2) {
        for (int x = 0; x + 1 < fine.width(); x += 2) {
            const QRgb a = fine.pixel(x, y), b = fine.pixel(x + 1, y), c = fine.pixel(x, y + 1);
            const QRgb d = fine.pixel(x + 1, y + 1);
            const bool uniform = a == b && a == c && a == d;
            drawn += uniform && a == fine.pixel(0, 0) ? 0 : 1;
            detailed += uniform ? 0 : 1;
            const int mean = (qGray(a) + qGray(b) + qGray(c) + qGray(d)) / 4;
            moved += qAbs(mean - qGray(coarse.pixel(x / 2, y / 2))) > 96 ? 1 : 0;
        }
    }
    return {drawn ? double(detailed) / drawn : 0.0, double(moved) / (coarse.width() * coarse.height())};
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
            QWidget *const parts[] = {window.schematic, &window};
            for (QWidget *part : parts) {
                const QString name =
                    QStringLiteral("high-dpi-%1-%2.png").arg(part->metaObject()->className()).arg(scale);
                const QImage fine = part->grab().toImage().convertToFormat(QImage::Format_RGB32);
                QCOMPARE(fine.size(), part->size() * 2);
                QVERIFY(fine.save(name));
                QImage coarse(part->size(), QImage::Format_RGB32);
                coarse.fill(Qt::white);
                part->render(&coarse);
                // The window has wide flat areas (its background, the banner),
                // so less of it is edges than of the schematic.
                const auto [detail, moved] = detailAndMoved(fine, coarse);
                QVERIFY2(detail > (part == &window ? 0.06 : 0.15) && moved < 0.02,
                         qPrintable(QStringLiteral("%1: %2 %3").arg(name).arg(detail).arg(moved)));
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
