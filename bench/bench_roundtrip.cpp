// Round trips to a simulated unit on loopback, measured in one run: lxi-tools'
// own benchmark (a client no one here wrote), our VISA alone, and our driver.
// All send the identification query and wait for its reply. Prints figures;
// asserts nothing.
#include "simprocess.h"
#include "ts4820.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {

constexpr int kCount = 500;
constexpr int kRuns = 5;

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Requests per second, median of the runs.
double measure(const std::function<bool()> &once)
{
    QList<double> rates;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kCount; ++i) {
            if (!once()) {
                return 0;
            }
        }
        rates << kCount / (timer.nsecsElapsed() / 1e9);
    }
    return median(rates);
}

double lxiBenchmark(const QString &address, quint16 rawPort)
{
    QList<double> rates;
    for (int run = 0; run < kRuns; ++run) {
        QProcess lxi;
        QStringList args{"benchmark", "-a", address, "-c", QString::number(kCount)};
        if (rawPort) {
            args << "-r"
                 << "-p" << QString::number(rawPort);
        }
        lxi.start("lxi", args);
        lxi.waitForFinished(60000);
        const QRegularExpressionMatch m =
            QRegularExpression("Result: ([0-9.]+) requests/second").match(lxi.readAllStandardOutput());
        if (!m.hasMatch()) {
            return 0;
        }
        rates << m.captured(1).toDouble();
    }
    return median(rates);
}

double visaQueries(const QByteArray &resource)
{
    ViSession rm = VI_NULL, vi = VI_NULL;
    if (viOpenDefaultRM(&rm) < 0 || viOpen(rm, resource.constData(), VI_NULL, VI_NULL, &vi) < 0) {
        return 0;
    }
    viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE);
    const double rate = measure([&] {
        char reply[256];
        ViUInt32 n = 0;
        return viWrite(vi, reinterpret_cast<ViConstBuf>("*IDN?\n"), 6, &n) >= 0
               && viRead(vi, reinterpret_cast<ViPBuf>(reply), sizeof reply, &n) >= 0;
    });
    viClose(vi);
    viClose(rm);
    return rate;
}

double driverQueries(const QByteArray &resource)
{
    ViSession vi = VI_NULL;
    if (ts4820_init(const_cast<char *>(resource.constData()), VI_FALSE, VI_FALSE, &vi) < 0) {
        return 0;
    }
    const double rate = measure([&] {
        char revision[ts4820_REVISION_BUFFER_SIZE];
        return ts4820_revision_query(vi, nullptr, revision) >= 0;
    });
    ts4820_close(vi);
    return rate;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // lxi asks the portmapper on port 111, which needs privileges.
    const bool privileged = ::geteuid() == 0;
    const bool haveLxi = !QStandardPaths::findExecutable("lxi").isEmpty();
    SimProcess unit("127.0.0.60", {}, privileged ? 111 : 0);
    if (!unit.running()) {
        std::fprintf(stderr, "bench_roundtrip: the simulated unit did not start: %s\n",
                     qPrintable(unit.banner));
        return 1;
    }
    qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(unit.portmapper));

    std::printf("Identification round trips to ts4820sim on 127.0.0.60 (requests per second,\n"
                "median of %d runs of %d):\n\n",
                kRuns, kCount);
    std::printf("%-22s %12s %12s\n", "client", "VXI-11", "raw socket");
    const double lxiVxi = privileged && haveLxi ? lxiBenchmark(unit.address, 0) : 0;
    const double lxiRaw = haveLxi ? lxiBenchmark(unit.address, unit.raw) : 0;
    const double visaVxi = visaQueries(unit.instr()), visaRaw = visaQueries(unit.socket());
    const double drvVxi = driverQueries(unit.instr()), drvRaw = driverQueries(unit.socket());
    std::printf("%-22s %12.0f %12.0f\n", "lxi benchmark", lxiVxi, lxiRaw);
    std::printf("%-22s %12.0f %12.0f\n", "our VISA", visaVxi, visaRaw);
    std::printf("%-22s %12.0f %12.0f\n", "our driver", drvVxi, drvRaw);
    if (lxiVxi > 0 && lxiRaw > 0) {
        std::printf("\ndriver / lxi: VXI-11 %.2f, raw %.2f (1.00 = as fast as lxi)\n", drvVxi / lxiVxi,
                    drvRaw / lxiRaw);
    }
    std::printf("one driver round trip: VXI-11 %.0f us, raw %.0f us\n", 1e6 / drvVxi, 1e6 / drvRaw);
    return 0;
}
