// Measures what the operator waits for at start-up: from the moment the
// process is started to the main window's first frame with the schematic
// painted, in demo mode with 192 rows, and the peak resident memory then.
//
// The benchmark starts itself as a child process several times, passing a
// CLOCK_MONOTONIC time stamp taken just before the spawn. The child runs the
// program's own start-up (runFrontPanel: splash, connection box, subtype
// dialog, main window) with the two start-up boxes answered automatically
// ("Run In Demo Mode", then "Ok" on Xentra 4820-AB), and reports when its
// frames were done. Each child gets an empty settings store of its own.
// Run offscreen: QT_QPA_PLATFORM=offscreen build/bin/bench_startup [runs]
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "modalanswer.h"
#include "programstart.h"
#include "schematic.h"
#include "ts4820fp_app.h"
#include "ts4820inst.h"

extern char **environ;

namespace {

const int kDefaultRuns = 7;

qint64 monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// kB from a line "Name:   1234 kB" of /proc/self/status.
long statusKb(const char *name)
{
    FILE *file = std::fopen("/proc/self/status", "r");
    if (!file) {
        return -1;
    }
    char line[256];
    long value = -1;
    const size_t length = std::strlen(name);
    while (std::fgets(line, sizeof line, file)) {
        if (std::strncmp(line, name, length) == 0 && line[length] == ':') {
            value = std::strtol(line + length + 1, nullptr, 10);
            break;
        }
    }
    std::fclose(file);
    return value;
}

// ---- the child: the program's start-up, observed --------------------------

struct ChildState
{
    qint64 spawnNs = 0;
    qint64 mainNs = 0, appNs = 0, builtNs = 0;
    qint64 shownNs = 0;          // the main window's show event
    qint64 windowPaintNs = 0;    // first paint event of the main window
    qint64 schematicPaintNs = 0; // first paint event of the schematic
    qint64 frameNs = 0;          // the frame holding that paint is done
    qint64 dialogWaitNs = 0;     // dialogs shown but not yet answered
    qint64 dialogShownNs = 0;
    long hwmKb = -1, rssKb = -1;
    long appRssKb = -1; // resident once the application object exists
    int rows = 0;
    QString answerError;
    bool quitWhenDone = false;
    const char *reportPath = nullptr;
    ts4820fp_App *window = nullptr;
    std::unique_ptr<ModalAnswer> answers;
};

ChildState child;

double sinceSpawnMs(qint64 ns) { return ns ? (ns - child.spawnNs) / 1e6 : -1.0; }

void writeReport()
{
    FILE *file = std::fopen(child.reportPath, "w");
    if (!file) {
        return;
    }
    std::fprintf(file,
                 "main %.3f app %.3f built %.3f shown %.3f windowpaint %.3f schematicpaint %.3f "
                 "frame %.3f dialogwait %.3f hwm %ld rss %ld apprss %ld rows %d\n",
                 sinceSpawnMs(child.mainNs), sinceSpawnMs(child.appNs), sinceSpawnMs(child.builtNs),
                 sinceSpawnMs(child.shownNs), sinceSpawnMs(child.windowPaintNs),
                 sinceSpawnMs(child.schematicPaintNs), sinceSpawnMs(child.frameNs), child.dialogWaitNs / 1e6,
                 child.hwmKb, child.rssKb, child.appRssKb, child.rows);
    if (!child.answerError.isEmpty()) {
        std::fprintf(file, "error %s\n", qPrintable(child.answerError));
    }
    std::fclose(file);
}

// Watches the whole application: when the start-up boxes appear, the main
// window's and the schematic's first paint events, and the end of the
// window-system event (expose or update request) in whose handling the
// schematic was first painted: then the frame is complete.
class Observer : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Show:
            if (child.window && watched == child.window && !child.shownNs) {
                child.shownNs = monotonicNs();
            }
            if (watched->isWidgetType() && static_cast<QWidget *>(watched)->isModal()
                && static_cast<QWidget *>(watched)->isWindow()) {
                child.dialogShownNs = monotonicNs();
            }
            break;
        case QEvent::Paint:
            if (child.window && watched == child.window && !child.windowPaintNs) {
                child.windowPaintNs = monotonicNs();
            }
            if (child.window && watched == child.window->schematic && !child.schematicPaintNs) {
                child.schematicPaintNs = monotonicNs();
            }
            break;
        case QEvent::Expose:
        case QEvent::UpdateRequest:
            if (!child.frameNs && child.window
                && (watched == child.window || watched == child.window->windowHandle())) {
                // Handled here, so that the time after it can be taken; the
                // handler runs once, as it would have.
                watched->event(event);
                if (child.schematicPaintNs && !child.frameNs) {
                    frameDone();
                }
                return true;
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    void frameDone()
    {
        child.frameNs = monotonicNs();
        child.hwmKb = statusKb("VmHWM");
        child.rssKb = statusKb("VmRSS");
        writeReport();
        // Nothing more to watch; nor must the window be looked at once the
        // program deletes it.
        QCoreApplication::instance()->removeEventFilter(this);
        if (child.quitWhenDone) {
            QCoreApplication::exit(0); // quit() would close the window, and ask first
        }
    }
};

void noteDialogAnswered()
{
    if (child.dialogShownNs) {
        child.dialogWaitNs += monotonicNs() - child.dialogShownNs;
        child.dialogShownNs = 0;
    }
}

int runChild(int argc, char **argv)
{
    child.mainNs = monotonicNs();
    child.spawnNs = std::strtoll(argv[2], nullptr, 10);
    child.reportPath = argv[3];
    Observer observer;

    ProgramHooks hooks;
    hooks.applicationReady = [&](QApplication &app) {
        child.appNs = monotonicNs();
        child.appRssKb = statusKb("VmRSS");
        app.installEventFilter(&observer);
        child.answers = std::make_unique<ModalAnswer>(QList<ModalAnswer::Step>{
            {QStringLiteral("Run In Demo Mode"), [](QWidget *) { noteDialogAnswered(); }},
            {QStringLiteral("Ok"), [](QWidget *dialog) {
                 noteDialogAnswered();
                 dialog->findChild<QComboBox *>()->setCurrentIndex(1); // Xentra 4820-AB
             }}});
        // Never left hanging: a start-up that does not finish is reported.
        QTimer::singleShot(60000, &app, [] {
            child.answerError = QStringLiteral("no first frame within 60 s");
            writeReport();
            std::_Exit(2);
        });
    };
    hooks.windowBuilt = [](ts4820fp_App &window) {
        child.builtNs = monotonicNs();
        child.window = &window;
        child.rows = window.instrument->nRows;
        if (!child.answers->done()) {
            child.answerError = QStringLiteral("start-up boxes not answered: ") + child.answers->error();
        }
    };
    hooks.aboutToRun = [](ts4820fp_App &) {
        child.answers.reset();
        // The first frame may already be done (the splash waits for the
        // window to be exposed); otherwise the event loop ends with it.
        QTimer::singleShot(0, [] {
            if (child.frameNs) {
                QCoreApplication::exit(0); // quit() would close the window, and ask first
            } else {
                child.quitWhenDone = true;
            }
        });
    };
    int childArgc = 1;
    const int result = runFrontPanel(childArgc, argv, hooks);
    Q_UNUSED(argc);
    return result;
}

// ---- the parent: spawns, collects, prints ---------------------------------

struct Run
{
    double main = 0, app = 0, built = 0, shown = 0, windowPaint = 0, schematicPaint = 0, frame = 0,
           dialogWait = 0;
    double hwmMb = 0, rssMb = 0, appRssMb = 0;
    int rows = 0;
    bool ok = false;
    std::string error;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double maximum(const std::vector<double> &values) { return *std::max_element(values.begin(), values.end()); }

std::string readFile(const std::string &path)
{
    std::string text;
    if (FILE *file = std::fopen(path.c_str(), "r")) {
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            text.append(buffer, n);
        }
        std::fclose(file);
    }
    return text;
}

std::string loadAverage()
{
    std::string text = readFile("/proc/loadavg");
    const size_t cut = text.find(' ', text.find(' ', text.find(' ') + 1) + 1);
    return cut == std::string::npos ? text : text.substr(0, cut);
}

Run spawnOnce(const char *self, const std::string &folder, int index)
{
    Run run;
    const std::string report = folder + "/report-" + std::to_string(index);
    const std::string log = folder + "/child-" + std::to_string(index) + ".log";
    std::remove(report.c_str());

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);

    const qint64 spawnNs = monotonicNs();
    const std::string stamp = std::to_string(spawnNs);
    char *args[] = {const_cast<char *>(self), const_cast<char *>("--child"),
                    const_cast<char *>(stamp.c_str()), const_cast<char *>(report.c_str()), nullptr};
    pid_t pid = 0;
    const int spawnError = posix_spawn(&pid, self, &actions, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0) {
        run.error = std::string("spawn failed: ") + std::strerror(spawnError);
        return run;
    }
    int status = 0;
    waitpid(pid, &status, 0);

    const std::string text = readFile(report);
    const int fields =
        std::sscanf(text.c_str(),
                    "main %lf app %lf built %lf shown %lf windowpaint %lf schematicpaint %lf "
                    "frame %lf dialogwait %lf hwm %lf rss %lf apprss %lf rows %d",
                    &run.main, &run.app, &run.built, &run.shown, &run.windowPaint, &run.schematicPaint,
                    &run.frame, &run.dialogWait, &run.hwmMb, &run.rssMb, &run.appRssMb, &run.rows);
    run.hwmMb /= 1024.0;
    run.rssMb /= 1024.0;
    run.appRssMb /= 1024.0;
    const size_t errorAt = text.find("error ");
    if (errorAt != std::string::npos) {
        run.error = text.substr(errorAt + 6);
    } else if (fields != 12 || run.frame <= 0) {
        run.error = "no report (exit status " + std::to_string(status) + "), see " + log;
    }
    run.ok = run.error.empty();
    return run;
}

const char *verdict(bool met) { return met ? "met" : "MISSED"; }

int runParent(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : kDefaultRuns;
    if (!std::getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    // The children's settings, data and runtime folders: a fresh, empty
    // settings store, so no operator's store is read or changed.
    char folderTemplate[] = "/tmp/bench_startup-XXXXXX";
    const char *folder = mkdtemp(folderTemplate);
    if (!folder) {
        std::perror("mkdtemp");
        return 1;
    }
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) {
        const std::string path = std::string(folder) + "/" + name;
        mkdir(path.c_str(), 0700);
        setenv(name, path.c_str(), 1);
    }
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        std::perror("readlink /proc/self/exe");
        return 1;
    }

    std::printf("bench_startup: process start to the main window's first frame, demo mode, "
                "%d runs\n",
                runs);
    std::printf("load average before: %s\n", loadAverage().c_str());
    std::printf("%-4s %6s %8s %9s %8s %10s %9s %8s %8s %8s\n", "run", "rows", "main()", "QApp+style",
                "dialogs", "show", "1st paint", "frame", "VmHWM", "of wait");
    std::vector<Run> done;
    for (int i = 0; i < runs; ++i) {
        const Run run = spawnOnce(self, folder, i);
        if (!run.ok) {
            std::printf("%-4d failed: %s\n", i + 1, run.error.c_str());
            continue;
        }
        std::printf("%-4d %6d %8.1f %9.1f %8.1f %10.1f %9.1f %8.1f %7.1fM %8.1f\n", i + 1, run.rows, run.main,
                    run.app, run.built, run.shown, run.windowPaint, run.frame, run.hwmMb, run.dialogWait);
        done.push_back(run);
    }
    std::printf("load average after:  %s\n", loadAverage().c_str());
    if (done.size() < 5) {
        std::printf("fewer than 5 runs succeeded; no figures\n");
        return 1;
    }

    auto column = [&](double Run::*field) {
        std::vector<double> values;
        for (const Run &run : done) {
            values.push_back(run.*field);
        }
        return values;
    };
    const std::vector<double> frames = column(&Run::frame);
    const std::vector<double> hwm = column(&Run::hwmMb);
    std::printf("\nmilliseconds since the spawn, median (max) of %zu runs:\n", done.size());
    std::printf("  main() entered (exec, dynamic linking)   %7.1f (%7.1f)\n", median(column(&Run::main)),
                maximum(column(&Run::main)));
    std::printf("  application and style ready              %7.1f (%7.1f)\n", median(column(&Run::app)),
                maximum(column(&Run::app)));
    std::printf("  start-up boxes answered, window built    %7.1f (%7.1f)\n", median(column(&Run::built)),
                maximum(column(&Run::built)));
    std::printf("  main window's show event                 %7.1f (%7.1f)\n", median(column(&Run::shown)),
                maximum(column(&Run::shown)));
    std::printf("  first paint event of the main window     %7.1f (%7.1f)\n",
                median(column(&Run::windowPaint)), maximum(column(&Run::windowPaint)));
    std::printf("  first frame with the schematic done      %7.1f (%7.1f)\n", median(frames),
                maximum(frames));
    std::printf("  of which the boxes waited to be answered %7.1f (%7.1f)\n",
                median(column(&Run::dialogWait)), maximum(column(&Run::dialogWait)));
    std::printf("peak resident memory (VmHWM) at that frame: median %.1f MB, max %.1f MB; "
                "resident then %.1f MB,\n  of which %.1f MB were resident once the application "
                "object existed\n",
                median(hwm), maximum(hwm), median(column(&Run::rssMb)), median(column(&Run::appRssMb)));
    std::printf("targets:\n");
    std::printf("  first frame <= 1000 ms   median %7.1f ms %-6s  max %7.1f ms %s\n", median(frames),
                verdict(median(frames) <= 1000.0), maximum(frames), verdict(maximum(frames) <= 1000.0));
    std::printf("  peak memory <= 120 MB    median %7.1f MB %-6s  max %7.1f MB %s\n", median(hwm),
                verdict(median(hwm) <= 120.0), maximum(hwm), verdict(maximum(hwm) <= 120.0));

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) {
        return runChild(argc, argv);
    }
    return runParent(argc, argv);
}
