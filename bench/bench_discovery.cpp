// Discovery at scale: N simulated units on loopback, each answering *IDN?
// after L = 200 ms. Prints, measured in one run, the program's discovery
// time / L beside a plain sequential identification's (open, query, close,
// one unit after another, as a simple script does it). Asserts nothing.
// Run offscreen: QT_QPA_PLATFORM=offscreen build/bin/bench_discovery
//
// With --network (as root): Auto Find with nothing configured, the same 16
// units found by broadcast in a network namespace of their own, beside
// `lxi discover` over them, rounds taken in turn; then both in the client's
// namespace.
#include "diagnostics.h"
#include "simprocess.h"
#include "ts4820_spc.h"
#include "visadiscovery.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>

#include <cstdio>

#include <fcntl.h>
#include <sched.h>

namespace {

constexpr int kLatencyMs = 200;

double sequentialIdentification(const QList<QByteArray> &resources)
{
    QElapsedTimer timer;
    timer.start();
    ViSession rm = VI_NULL;
    viOpenDefaultRM(&rm);
    for (const QByteArray &resource : resources) {
        ViSession vi = VI_NULL;
        if (viOpen(rm, resource.constData(), VI_NULL, VI_NULL, &vi) < 0) {
            return -1;
        }
        char reply[256];
        ViUInt32 n = 0;
        const bool ok = viWrite(vi, reinterpret_cast<ViConstBuf>("*IDN?"), 5, &n) >= 0
                        && viRead(vi, reinterpret_cast<ViPBuf>(reply), 255, &n) >= 0;
        viClose(vi);
        if (!ok) {
            return -1;
        }
    }
    viClose(rm);
    return double(timer.elapsed());
}

bool sh(const QString &command) { return QProcess::execute(QStringLiteral("sh"), {"-c", command}) == 0; }

// 16 units in a namespace, the client in another, a veth pair between them
// (198.18.0.0/15); this process moves into the client's before any thread
// starts. Prints the rows; false when the namespaces cannot be made.
bool networkRows(int argc, char *argv[])
{
    const QString units = QStringLiteral("ts4820-bench-u%1").arg(QCoreApplication::applicationPid()),
                  client = QStringLiteral("ts4820-bench-c%1").arg(QCoreApplication::applicationPid());
    const auto cleanUp = qScopeGuard([&] { sh("ip netns del " + units + "; ip netns del " + client); });
    QString setup =
        QString("ip netns add %1 && ip netns add %2 && ip link add bu netns %1 type veth peer bc netns %2"
                " && ip -n %2 addr add 198.18.0.1/24 brd + dev bc && ip -n %2 link set bc up"
                " && ip -n %1 link set bu up")
            .arg(units, client);
    for (int i = 10; i < 26; ++i) {
        setup += QString(" && ip -n %1 addr add 198.18.0.%2/24 brd + dev bu").arg(units).arg(i);
    }
    if (!sh(setup)) {
        std::printf("network rows skipped: network namespaces cannot be made here\n");
        return false;
    }
    QProcess sim;
    sim.start("ip", {"netns", "exec", units, QStringLiteral(TS4820SIM), "--address", "198.18.0.10", "--units",
                     "16", "--latency", QString::number(kLatencyMs)});
    while (sim.waitForReadyRead(5000) && sim.readAll().count('\n') < 16) {
    }
    const int fd = ::open(QFile::encodeName("/run/netns/" + client).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::setns(fd, CLONE_NEWNET) != 0) {
        return false;
    }
    qputenv("TS4820_VISA_CONFIG", "/nonexistent");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent"); // broadcast only: no mDNS daemon here
    QApplication app(argc, argv);
    ts4820_spc adapter;
    std::printf(
        "Auto Find, nothing configured: 16 units answer *IDN? after L = %d ms; window W = 1000 ms\n\n",
        kLatencyMs);
    std::printf("%5s %12s %12s %12s %8s %8s\n", "round", "program ms", "(- W) / L", "lxi ms", "ratio",
                "found");
    for (int round = 1; round <= 3; ++round) {
        QElapsedTimer timer;
        timer.start();
        int available = 0;
        for (const resourceInfo_t &r : discoverResources(&adapter, nullptr)) {
            available += r.available ? 1 : 0;
        }
        const double programMs = double(timer.elapsed());
        timer.restart();
        QProcess lxi;
        lxi.start("lxi", {"discover"});
        lxi.waitForFinished(60000);
        const double lxiMs = double(timer.elapsed());
        std::printf("%5d %12.0f %12.2f %12.0f %8.2f %8d\n", round, programMs, (programMs - 1000) / kLatencyMs,
                    lxiMs, programMs / lxiMs, available);
        std::fflush(stdout);
    }
    std::printf("\ntarget: program at most W + 1.5 L, i.e. (- W) / L at most 1.5\n");
    sim.kill();
    sim.waitForFinished();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    diagnosticsEnabled() = false;
    if (argc > 1 && qstrcmp(argv[1], "--network") == 0) {
        return networkRows(argc, argv) ? 0 : 1;
    }
    QApplication app(argc, argv);
    ts4820_spc adapter;
    constexpr quint16 portmapper = 1112; // no privileges needed
    qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(portmapper));
    qputenv("TS4820_VISA_DISCOVER", "off"); // these rows: the listed units on loopback

    std::printf("Discovery of N units that answer *IDN? after L = %d ms (time / L)\n\n", kLatencyMs);
    std::printf("%5s %12s %10s %12s %10s %8s\n", "N", "program ms", "/ L", "sequential", "/ L", "found");
    for (int n : {1, 16, 128, 200}) {
        // One process serves all N units, on 127.0.3.1 and the addresses after it.
        SimProcess units("127.0.3.1",
                         {"--units", QString::number(n), "--latency", QString::number(kLatencyMs)},
                         portmapper);
        if (!units.running()) {
            std::fprintf(stderr, "bench_discovery: the units did not start: %s\n", qPrintable(units.banner));
            return 1;
        }
        QList<QByteArray> resources;
        for (int i = 1; i <= n; ++i) {
            resources << QStringLiteral("TCPIP0::127.0.3.%1::INSTR").arg(i).toLatin1();
        }
        qputenv("TS4820_VISA_RESOURCES", QByteArrayList(resources.begin(), resources.end()).join(';'));

        QElapsedTimer timer;
        timer.start();
        const QList<resourceInfo_t> found = discoverResources(&adapter, nullptr);
        const double programMs = double(timer.elapsed());
        int available = 0;
        for (const resourceInfo_t &r : found) {
            available += r.available ? 1 : 0;
        }
        const double sequentialMs = sequentialIdentification(resources);
        std::printf("%5d %12.0f %10.2f %12.0f %10.2f %8d\n", n, programMs, programMs / kLatencyMs,
                    sequentialMs, sequentialMs / kLatencyMs, available);
        std::fflush(stdout);
    }
    std::printf("\ntargets: program / L at most 1.5 for N up to 128, at most 2.5 for N = 200\n");
    return 0;
}
