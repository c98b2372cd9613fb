// Apply against a simulated unit on loopback: the time of the main window's
// Apply (write, then read back) against what its driver calls cost one by
// one, measured in the same run; then the same with 1 ms added to every
// reply. Prints figures; asserts nothing.
// Run offscreen: QT_QPA_PLATFORM=offscreen build/bin/bench_apply
#include "diagnostics.h"
#include "modalanswer.h"
#include "relaybutton.h"
#include "schematic.h"
#include "simprocess.h"
#include "ts4820.h"
#include "ts4820_spc.h"
#include "ts4820fp_app.h"
#include "ts4820inst.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <dlfcn.h>
#include <functional>
#include <memory>
#include <vector>

// Every driver call the panel makes passes through these counters on its
// way to the real driver: a query is one exchange, a command is sent and
// then confirmed with the unit's error queue.
namespace {
int queries = 0;
int commands = 0;
} // namespace

#define COUNTED(counter, name, params, args)                                                                 \
    extern "C" ViStatus _VI_FUNC name params                                                                 \
    {                                                                                                        \
        using Real = ViStatus(*) params;                                                                     \
        static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, #name));                            \
        ++counter;                                                                                           \
        return real args;                                                                                    \
    }

COUNTED(queries, ts4820_getDefaultPresetName, (ViSession vi, ViChar n[]), (vi, n))
COUNTED(queries, ts4820_getMatrixState, (ViSession vi, ViInt32 p[]), (vi, p))
COUNTED(queries, ts4820_getAlias, (ViSession vi, ViInt32 l, ViInt32 r, ViChar a[]), (vi, l, r, a))
COUNTED(queries, ts4820_getVoltRefOutput, (ViSession vi, ViPReal64 v), (vi, v))
COUNTED(queries, ts4820_getVoltRefConnectionState, (ViSession vi, ViInt32 l, ViPBoolean s), (vi, l, s))
COUNTED(queries, ts4820_getPresetList, (ViSession vi, ViPInt32 c), (vi, c))
COUNTED(queries, ts4820_getPresetFromList, (ViSession vi, ViInt32 i, ViChar n[]), (vi, i, n))
COUNTED(commands, ts4820_setMatrixState, (ViSession vi, ViInt32 p[]), (vi, p))
COUNTED(commands, ts4820_setVoltRefConnectionState, (ViSession vi, ViInt32 l, ViBoolean s), (vi, l, s))
COUNTED(commands, ts4820_setVoltRefOutput, (ViSession vi, ViReal64 v), (vi, v))
COUNTED(commands, ts4820_setAlias, (ViSession vi, ViInt32 l, ViInt32 r, ViConstString t), (vi, l, r, t))

namespace {

constexpr int kRuns = 21;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timeUs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e3;
}

struct Figures
{
    double query = 0, command = 0, apply = 0;
    int queries = 0, commands = 0;
};

bool measure(const QString &address, const QStringList &options, Figures *f)
{
    constexpr quint16 portmapper = 1113;
    SimProcess unit(address, QStringList{"--subtype", "AB"} + options, portmapper);
    if (!unit.running()) {
        return false;
    }
    qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(portmapper));
    qputenv("TS4820_VISA_RESOURCES", unit.instr());
    ts4820_spc adapter;
    ModalAnswer autoFind(QStringLiteral("Auto Find"));
    auto window = std::make_unique<ts4820fp_App>(&adapter, nullptr);
    if (!autoFind.done()) {
        return false;
    }
    window->show();
    const ViSession vi = window->instrument->d_vi;

    std::vector<double> query, command, apply;
    for (int i = 0; i < kRuns; ++i) {
        ViInt32 count = 0;
        query.push_back(timeUs([&] { ts4820_getPresetList(vi, &count); }));
        command.push_back(timeUs([&] { ts4820_setVoltRefConnectionState(vi, ts4820_LINE_D, VI_FALSE); }));
    }
    for (int i = 0; i < kRuns; ++i) {
        window->schematic->relayAt(i % 192, i % 6)->click();
        queries = commands = 0;
        apply.push_back(timeUs([&] { window->applyButton->click(); }));
        f->queries = queries;
        f->commands = commands;
    }
    f->query = median(query);
    f->command = median(command);
    f->apply = median(apply);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    diagnosticsEnabled() = false;
    QApplication app(argc, argv);
    std::printf("Apply on a 192-row simulated unit over VXI-11 (microseconds, median of %d)\n\n", kRuns);
    std::printf("%-18s %8s %8s %9s %9s %10s %8s\n", "added latency", "query", "command", "queries",
                "commands", "Apply", "ratio");
    const struct
    {
        const char *label, *address;
        QStringList options;
    } cases[] = {{"none", "127.0.0.62", {}}, {"1 ms per reply", "127.0.0.63", {"--latency", "1"}}};
    for (const auto &c : cases) {
        Figures f;
        if (!measure(c.address, c.options, &f)) {
            std::fprintf(stderr, "bench_apply: no unit on %s\n", c.address);
            return 1;
        }
        const double expected = f.queries * f.query + f.commands * f.command;
        std::printf("%-18s %8.0f %8.0f %9d %9d %10.0f %8.2f\n", c.label, f.query, f.command, f.queries,
                    f.commands, f.apply, f.apply / expected);
    }
    std::printf("\nratio = Apply / (queries x one query + commands x one command), target at most 1.3\n");
    return 0;
}
