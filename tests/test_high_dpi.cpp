// The program on a screen of device pixel ratio 2: the schematic and the
// window are drawn at the screen's resolution (sharp, not a picture of half
// the resolution enlarged) and laid out as at ratio 1.
#include <QComboBox>

#include "modalanswer.h"
#include "schematic.h"
#include "testenv.h"
#include "ts4820_spc.h"
#include "ts4820fp_app.h"

// Before the application object exists, as a screen of ratio 2 would be.
static const bool kRatioTwo = qputenv("QT_SCALE_FACTOR", "2");

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
        window.scaleCombo->setCurrentIndex(3); // 150 %
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWidget *const parts[] = {window.schematic, &window};
        for (QWidget *part : parts) {
            const QImage fine = part->grab().toImage().convertToFormat(QImage::Format_RGB32);
            QCOMPARE(fine.size(), part->size() * 2);
            QImage coarse(part->size(), QImage::Format_RGB32);
            part->render(&coarse);
            // Blocks of 2 x 2 whose pixels differ (none in a picture enlarged pixel
            // for pixel), and whose mean differs clearly from the pixel at ratio 1.
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
            // The window has wide flat areas (background, banner): fewer edges.
            QVERIFY(detailed > drawn * (part == &window ? 0.06 : 0.15));
            QVERIFY(moved < 0.02 * part->width() * part->height());
        }
    }
};

TS_TEST_MAIN(TestHighDpi)
#include "test_high_dpi.moc"
