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

// Requests per second of one run of kCount.
double rate(const std::function<bool()> &once)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kCount; ++i) {
        if (!once()) {
            return 0;
        }
    }
    return kCount / (timer.nsecsElapsed() / 1e9);
}

double lxiRun(const QString &address, quint16 rawPort)
{
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
    return m.hasMatch() ? m.captured(1).toDouble() : 0;
}

// A VISA session that asks for the identification, the way the driver does.
struct VisaClient
{
    explicit VisaClient(const QByteArray &resource)
    {
        viOpenDefaultRM(&rm);
        viOpen(rm, resource.constData(), VI_NULL, VI_NULL, &vi);
        viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE);
    }
    ~VisaClient()
    {
        viClose(vi);
        viClose(rm);
    }
    bool query()
    {
        char reply[256];
        ViUInt32 n = 0;
        return viWrite(vi, reinterpret_cast<ViConstBuf>("*IDN?\n"), 6, &n) >= 0
               && viRead(vi, reinterpret_cast<ViPBuf>(reply), sizeof reply, &n) >= 0;
    }
    ViSession rm = VI_NULL, vi = VI_NULL;
};

struct DriverClient
{
    explicit DriverClient(const QByteArray &resource)
    {
        ts4820_init(const_cast<char *>(resource.constData()), VI_FALSE, VI_FALSE, &vi);
    }
    ~DriverClient() { ts4820_close(vi); }
    bool query()
    {
        char revision[ts4820_REVISION_BUFFER_SIZE];
        return ts4820_revision_query(vi, nullptr, revision) >= 0;
    }
    ViSession vi = VI_NULL;
};

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
                "median of %d runs of %d, the clients' runs taken in turn):\n\n",
                kRuns, kCount);
    VisaClient visaVxi(unit.instr()), visaRaw(unit.socket());
    DriverClient driverVxi(unit.instr()), driverRaw(unit.socket());
    // Each round gives every client one run, in turn, so that a machine whose
    // speed drifts favours none of them.
    const std::function<double()> runs[] = {
        [&] { return privileged && haveLxi ? lxiRun(unit.address, 0) : 0; },
        [&] { return haveLxi ? lxiRun(unit.address, unit.raw) : 0; },
        [&] { return rate([&] { return visaVxi.query(); }); },
        [&] { return rate([&] { return visaRaw.query(); }); },
        [&] { return rate([&] { return driverVxi.query(); }); },
        [&] { return rate([&] { return driverRaw.query(); }); },
    };
    QList<double> rates[6];
    for (int run = 0; run < kRuns; ++run) {
        for (int client = 0; client < 6; ++client) {
            rates[client] << runs[client]();
        }
    }
    double m[6];
    for (int client = 0; client < 6; ++client) {
        m[client] = median(rates[client]);
    }
    std::printf("%-22s %12s %12s\n", "client", "VXI-11", "raw socket");
    std::printf("%-22s %12.0f %12.0f\n", "lxi benchmark", m[0], m[1]);
    std::printf("%-22s %12.0f %12.0f\n", "our VISA", m[2], m[3]);
    std::printf("%-22s %12.0f %12.0f\n", "our driver", m[4], m[5]);
    std::printf("\ndriver / VISA: VXI-11 %.2f, raw %.2f (target at least 0.90)\n", m[4] / m[2], m[5] / m[3]);
    if (m[0] > 0 && m[1] > 0) {
        std::printf("driver / lxi: VXI-11 %.2f, raw %.2f (target at least 1.00)\n", m[4] / m[0], m[5] / m[1]);
    }
    std::printf("one driver round trip: VXI-11 %.0f us, raw %.0f us\n", 1e6 / m[4], 1e6 / m[5]);
    return 0;
}
