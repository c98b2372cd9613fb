// Measures what the operator feels of the schematic: how long it takes to
// appear (against a bare floor of plain buttons and labels placed alike),
// rescaling, one undo and closing every relay, and the process's peak
// memory. Run offscreen: QT_QPA_PLATFORM=offscreen build/bin/bench_schematic
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QStandardPaths>
#include <QStyleFactory>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <vector>

#include "diagnostics.h"
#include "relaybutton.h"
#include "schematic.h"
#include "settingsstore.h"
#include "ts4820inst.h"

namespace {

const int kRuns = 5;

double medianMs(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timeMs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

std::unique_ptr<QScrollArea> viewport()
{
    auto area = std::make_unique<QScrollArea>();
    area->resize(860, 700);
    return area;
}

// The same number of plain children, placed where the relays and names go.
QWidget *bareFloor(int rows)
{
    auto *canvas = new QWidget;
    canvas->setFixedSize(800, (rows + 3) * 50);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 6; ++c) {
            const int x = c == 0 ? 129 : (c == 5 ? 639 : 120 * c + 79);
            auto *button = new QPushButton(canvas);
            button->setGeometry(x - 3, (c == 0 || c == 5 ? 109 : 89) + 50 * r - 3, 29, 29);
        }
        for (int x : {14, 704}) {
            auto *label = new QLabel(canvas);
            label->setGeometry(x, 129 + 50 * r, 83, 30);
        }
    }
    for (int k = 0; k < 4; ++k) {
        (new QPushButton(canvas))->setGeometry(196 + 120 * k, 36, 29, 29);
        (new QLabel(canvas))->setGeometry(250 + 120 * k, 5, 83, 30);
        (new QLabel(canvas))->setGeometry(250 + 120 * k, 50 * rows + 105, 83, 30);
    }
    return canvas;
}

struct Figures
{
    double floor = 0, build = 0, rescale = 0, undo = 0, setAll = 0;
};

Figures measure(int rows)
{
    const QString subType = rows == 96 ? QStringLiteral("AA") : QStringLiteral("AB");
    Figures f;
    std::vector<double> floors, builds, rescales, undos, setAlls;
    for (int run = 0; run < kRuns; ++run) {
        {
            auto area = viewport();
            floors.push_back(timeMs([&] {
                area->setWidget(bareFloor(rows));
                area->show();
                area->repaint();
            }));
        }
        ts4820inst model(0, true, rows, subType);
        model.setDemoVoltRef();
        model.readState();
        auto area = viewport();
        Schematic *schematic = nullptr;
        builds.push_back(timeMs([&] {
            schematic = new Schematic(&model, nullptr);
            schematic->loadVoltageChoices();
            schematic->loadPattern(model.matrixState.last().constData());
            area->setWidget(schematic);
            area->show();
            area->repaint();
        }));
        rescales.push_back(timeMs([&] {
            schematic->setScale(1.5);
            area->repaint();
        }));
        schematic->setScale(1.0);
        schematic->relayAt(0, 0)->click();
        undos.push_back(timeMs([&] {
            schematic->undo(true);
            area->repaint();
        }));
        setAlls.push_back(timeMs([&] {
            schematic->setAll(1);
            area->repaint();
        }));
    }
    f.floor = medianMs(floors);
    f.build = medianMs(builds);
    f.rescale = medianMs(rescales);
    f.undo = medianMs(undos);
    f.setAll = medianMs(setAlls);
    return f;
}

const char *verdict(bool met) { return met ? "met" : "MISSED"; }

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QSettings(settingsstore::organisation(), settingsstore::application()).clear();
    diagnosticsEnabled() = false;

    std::printf("bench_schematic: median of %d runs, milliseconds\n", kRuns);
    std::printf("%-5s %10s %12s %8s %9s %7s %8s\n", "rows", "floor", "build+paint", "ratio", "rescale",
                "undo", "setAll");
    Figures at192;
    for (int rows : {96, 192}) {
        const Figures f = measure(rows);
        std::printf("%-5d %10.1f %12.1f %8.2f %9.1f %7.1f %8.1f\n", rows, f.floor, f.build, f.build / f.floor,
                    f.rescale, f.undo, f.setAll);
        at192 = f;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peakMb = usage.ru_maxrss / 1024.0;
    std::printf("peak resident memory: %.1f MB\n", peakMb);
    std::printf("targets at 192 rows:\n");
    std::printf("  build+paint <= 3 x floor      %6.2f x   %s\n", at192.build / at192.floor,
                verdict(at192.build <= 3 * at192.floor));
    std::printf("  rescale <= floor              %6.2f x   %s\n", at192.rescale / at192.floor,
                verdict(at192.rescale <= at192.floor));
    std::printf("  undo <= floor / 4             %6.2f x   %s\n", at192.undo / at192.floor,
                verdict(at192.undo <= at192.floor / 4));
    std::printf("  setAll <= floor / 4           %6.2f x   %s\n", at192.setAll / at192.floor,
                verdict(at192.setAll <= at192.floor / 4));
    std::printf("  peak memory <= 100 MB         %6.1f MB  %s\n", peakMb, verdict(peakMb <= 100.0));
    return 0;
}
