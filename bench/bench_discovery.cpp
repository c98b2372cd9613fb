// Discovery at scale: N simulated units on loopback, each answering *IDN?
// after L = 200 ms. Prints, measured in one run, the program's discovery
// time / L beside a plain sequential identification's (open, query, close,
// one unit after another, as a simple script does it). Asserts nothing.
// Run offscreen: QT_QPA_PLATFORM=offscreen build/bin/bench_discovery
#include "diagnostics.h"
#include "simprocess.h"
#include "ts4820_spc.h"
#include "visadiscovery.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

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

} // namespace

int main(int argc, char *argv[])
{
    diagnosticsEnabled() = false;
    QApplication app(argc, argv);
    ts4820_spc adapter;
    constexpr quint16 portmapper = 1112; // no privileges needed
    qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(portmapper));

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
