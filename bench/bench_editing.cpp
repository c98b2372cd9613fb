// Measures editing as the operator feels it on the demo main window with
// 192 rows: after a history of 1 000 single-relay clicks, one undo, undo
// all, an open/close expression marking all 1 152 relays, closing every
// relay, and the four scales of the scale combo. Each figure includes the
// repaint that the command causes: the posted update requests are delivered
// at once, so the widgets that the command made dirty are painted and the
// window flushed before the clock stops.
//
// The program's diagnostic trace stays on, as in the shipped program, and
// goes to /dev/null while measuring.
// Run offscreen: QT_QPA_PLATFORM=offscreen build/bin/bench_editing
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "modalanswer.h"
#include "openclosedialog.h"
#include "relaybutton.h"
#include "schematic.h"
#include "settingsstore.h"
#include "ts4820_spc.h"
#include "ts4820fp_app.h"
#include "ts4820inst.h"

namespace {

const int kDefaultRuns = 5;
const int kSteps = 1000;
const QString kAllRelays = QStringLiteral("X1-192,A1-192,B1-192,C1-192,D1-192,Y1-192");

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Counts the paint events, to tell how much of the window a command repaints.
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

PaintCounter *paintCounter = nullptr;

// The first three fields of /proc/loadavg: how busy the machine was.
std::string loadAverage()
{
    char text[128] = {};
    if (FILE *file = std::fopen("/proc/loadavg", "r")) {
        if (!std::fgets(text, sizeof text, file)) {
            text[0] = '\0';
        }
        std::fclose(file);
    }
    std::string fields(text);
    size_t cut = 0;
    for (int i = 0; i < 3 && cut != std::string::npos; ++i) {
        cut = fields.find(' ', cut + (i ? 1 : 0));
    }
    return cut == std::string::npos ? fields : fields.substr(0, cut);
}

// What the event loop does right after a command: the posted events,
// among them the update request that paints the dirty widgets and flushes.
void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
}

struct Sample
{
    double ms;        // the command and its repaint
    double commandMs; // the command alone
    int paints;
};

Sample measure(const std::function<void()> &command)
{
    const int before = paintCounter->paints;
    QElapsedTimer timer;
    timer.start();
    command();
    const qint64 commandNs = timer.nsecsElapsed();
    settle();
    return {timer.nsecsElapsed() / 1e6, commandNs / 1e6, paintCounter->paints - before};
}

// The standard output goes to /dev/null while measuring.
class QuietStdout
{
public:
    QuietStdout()
    {
        std::fflush(stdout);
        m_saved = dup(1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~QuietStdout()
    {
        std::fflush(stdout);
        dup2(m_saved, 1);
        close(m_saved);
    }

private:
    int m_saved = -1;
};

std::unique_ptr<ts4820fp_App> startDemo(ts4820_spc &adapter)
{
    QSettings(settingsstore::organisation(), settingsstore::application()).clear();
    ModalAnswer answers(QList<ModalAnswer::Step>{{QStringLiteral("Run In Demo Mode"), nullptr},
                                                 {QStringLiteral("Ok"), [](QWidget *dialog) {
                                                      dialog->findChild<QComboBox *>()->setCurrentIndex(
                                                          1); // Xentra 4820-AB
                                                  }}});
    auto window = std::make_unique<ts4820fp_App>(&adapter, nullptr);
    if (!answers.done()) {
        std::fprintf(stderr, "start-up boxes not answered: %s\n", qPrintable(answers.error()));
        return nullptr;
    }
    window->show();
    QElapsedTimer waited;
    waited.start();
    while (!(window->windowHandle() && window->windowHandle()->isExposed()) && waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    settle();
    return window;
}

int markedRelays(Schematic *schematic)
{
    int marked = 0;
    for (int i = 0; i < 192 * 6; ++i) {
        marked += schematic->relays.at(i)->isMarked() ? 1 : 0;
    }
    return marked;
}

int closedRelays(const ts4820inst &model)
{
    int closed = 0;
    for (int r = 0; r < model.nRows; ++r) {
        for (int c = 0; c < model.nCols; ++c) {
            closed += model.getState(r, c) == 1 ? 1 : 0;
        }
    }
    return closed;
}

struct Row
{
    std::string name;
    double target;
};

const std::vector<Row> kRows = {
    {"one click (median of the 1 000)", 0},
    {"one undo", 50},
    {"undo all (1 000 steps)", 200},
    {"expression marks 1 152 relays", 50},
    {"close every relay (all relays command)", 50},
    {"rescale to 75%", 50},
    {"rescale to 100%", 50},
    {"rescale to 125%", 50},
    {"rescale to 150%", 50},
    {"extra: open every relay", 0},
    {"extra: close the 1 152 marked", 0},
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    PaintCounter counter;
    paintCounter = &counter;
    app.installEventFilter(&counter);

    // A smaller count of runs may be given, for profiling.
    const int kRuns = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRuns;
    const std::string loadBefore = loadAverage();
    std::map<std::string, std::vector<Sample>> samples;
    std::vector<std::string> problems;
    double historyBuildMs = 0;
    for (int run = 0; run < kRuns; ++run) {
        const QuietStdout quiet;
        ts4820_spc adapter;
        auto window = startDemo(adapter);
        if (!window || window->instrument->nRows != 192) {
            std::fprintf(stderr, "the demo main window with 192 rows did not start\n");
            return 1;
        }
        Schematic *schematic = window->schematic;
        ts4820inst &model = *window->instrument;

        // The history: 1 000 relays clicked one at a time, rows from the
        // top, each scrolled into view first as the operator would (the
        // scrolling is not timed).
        QElapsedTimer history;
        history.start();
        std::vector<Sample> clicks;
        for (int i = 0; i < kSteps; ++i) {
            RelayButton *relay = schematic->relayAt(i / 6, i % 6);
            window->scrollArea->ensureWidgetVisible(relay);
            settle();
            clicks.push_back(measure([relay] { relay->click(); }));
        }
        historyBuildMs += history.nsecsElapsed() / 1e6;
        if (model.matrixState.size() != kSteps + 1) {
            problems.push_back("history holds " + std::to_string(model.matrixState.size() - 1)
                               + " steps, not 1000");
        }
        std::sort(clicks.begin(), clicks.end(), [](const Sample &a, const Sample &b) { return a.ms < b.ms; });
        samples["one click (median of the 1 000)"].push_back(clicks[clicks.size() / 2]);

        samples["one undo"].push_back(measure([&] { window->undoButton->click(); }));
        // The last click again, so that undo all goes back through 1 000 steps.
        schematic->relayAt((kSteps - 1) / 6, (kSteps - 1) % 6)->click();
        settle();
        samples["undo all (1 000 steps)"].push_back(measure([&] { window->undoAllButton->click(); }));
        if (model.matrixState.size() != 1 || closedRelays(model) != 0) {
            problems.push_back("undo all left relays closed or steps behind");
        }

        // The open/close expression, typed into the main window's dialog.
        window->ocDialog->show();
        settle();
        samples["expression marks 1 152 relays"].push_back(
            measure([&] { window->ocDialog->expression()->setText(kAllRelays); }));
        if (markedRelays(schematic) != 1152) {
            problems.push_back("the expression marked " + std::to_string(markedRelays(schematic))
                               + " relays");
        }
        window->ocDialog->expression()->clear();
        window->ocDialog->hide();
        settle();

        // Close every relay, then open every relay: the main window's
        // all-relays command, as the relay menu sends it.
        samples["close every relay (all relays command)"].push_back(
            measure([&] { window->applyOpenClose(-1, -1, true); }));
        if (closedRelays(model) != 1152) {
            problems.push_back("closing every relay closed " + std::to_string(closedRelays(model)));
        }
        samples["extra: open every relay"].push_back(measure([&] { window->applyOpenClose(-1, -1, false); }));

        // The marked relays closed together, the dialog's "Close Selected".
        window->ocDialog->show();
        window->ocDialog->expression()->setText(kAllRelays);
        settle();
        samples["extra: close the 1 152 marked"].push_back(
            measure([&] { window->ocDialog->closeSelectedButton()->click(); }));
        if (closedRelays(model) != 1152) {
            problems.push_back("closing the marked closed " + std::to_string(closedRelays(model)));
        }
        window->ocDialog->expression()->clear();
        window->ocDialog->hide();
        settle();

        // The scale combo, from 100 % through each of its four scales.
        const char *const scaleRows[] = {"rescale to 75%", "rescale to 100%", "rescale to 125%",
                                         "rescale to 150%"};
        for (int index = 0; index < 4; ++index) {
            samples[scaleRows[index]].push_back(measure([&] { window->scaleCombo->setCurrentIndex(index); }));
        }
        if (schematic->scale != 1.5) {
            problems.push_back("the schematic did not reach 150 %");
        }
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("bench_editing: demo main window, 192 rows, median of %d runs, milliseconds,\n"
                "each including the repaint it causes (\"command\": the command alone,\n"
                "before the repaint; \"widgets\": paint events of the repaint)\n",
                kRuns);
    std::printf("%-40s %8s %8s %8s %7s %-6s %7s\n", "", "median", "max", "command", "target", "", "widgets");
    for (const Row &row : kRows) {
        std::vector<double> ms;
        std::vector<double> commandMs;
        std::vector<double> paints;
        for (const Sample &sample : samples[row.name]) {
            ms.push_back(sample.ms);
            commandMs.push_back(sample.commandMs);
            paints.push_back(sample.paints);
        }
        const double median = medianOf(ms);
        const double max = *std::max_element(ms.begin(), ms.end());
        const std::string target = row.target > 0 ? std::to_string(int(row.target)) : "-";
        const char *verdict = row.target <= 0 ? "" : (median <= row.target ? "met" : "MISSED");
        std::printf("%-40s %8.2f %8.2f %8.2f %7s %-6s %7.0f\n", row.name.c_str(), median, max,
                    medianOf(commandMs), target.c_str(), verdict, medianOf(paints));
    }
    std::printf("load average before: %s, after: %s\n", loadBefore.c_str(), loadAverage().c_str());
    std::printf("building the history of 1 000 clicks, scrolling included: %.0f ms a run\n",
                historyBuildMs / kRuns);
    std::printf("peak resident memory of the benchmark process: %.1f MB\n", usage.ru_maxrss / 1024.0);
    for (const std::string &problem : problems) {
        std::printf("PROBLEM: %s\n", problem.c_str());
    }
    return 0;
}
