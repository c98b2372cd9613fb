// What hostile peers cost, measured with the shipped settings: how long a
// vanished or dawdling client holds a place on the simulated unit, the
// unit's peak memory under the largest messages, how long a driver call
// lasts against a unit that never ends its reply, a search with the
// longest expression, and a relay write beside a full preset memory.
// Prints figures; asserts nothing.
#include "hostileunit.h"
#include "simprocess.h"
#include "ts4820.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

qint64 peakKiB(const SimProcess &unit)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(unit.process.processId()));
    status.open(QIODevice::ReadOnly);
    return QRegularExpression("VmHWM:\\s+(\\d+)").match(status.readAll()).captured(1).toLongLong();
}

QByteArray query(QTcpSocket &s, const QByteArray &message)
{
    s.write(message + '\n');
    while (!s.canReadLine() && s.waitForReadyRead(5000)) {
    }
    return s.readLine().trimmed();
}

// Milliseconds until a new raw client is served, at most a minute.
qint64 untilServed(const SimProcess &unit)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 60000) {
        QTcpSocket s;
        s.connectToHost(unit.address, unit.raw);
        if (s.waitForConnected(1000) && query(s, "*OPC?") == "1") {
            return waited.elapsed();
        }
        QThread::msleep(50);
    }
    return -1;
}

// Sixteen clients take every place and then vanish without a word (a
// socket in repair mode closes without FIN) or leave a message unfinished.
qint64 placesFreedAfter(bool vanish)
{
    SimProcess unit("127.0.0.91");
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 16; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        QTcpSocket &s = *clients.back();
        s.connectToHost(unit.address, unit.raw);
        s.waitForConnected(5000);
        if (!vanish) {
            s.write("*IDN");
            s.waitForBytesWritten(5000);
            continue;
        }
        query(s, "*OPC?");
        const int on = 1;
        if (::setsockopt(int(s.socketDescriptor()), SOL_TCP, TCP_REPAIR, &on, sizeof on) != 0) {
            return -2;
        }
        s.abort();
    }
    return untilServed(unit);
}

// Sixteen clients each send one message of 600 blocks of 64 KiB (37 MiB).
void manyBlocks()
{
    SimProcess unit("127.0.0.92");
    const qint64 before = peakKiB(unit);
    const QByteArray block = "#565536" + QByteArray(65536, 'b');
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 16; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(unit.address, unit.raw);
        clients.back()->waitForConnected(5000);
    }
    for (int b = 0; b < 600; ++b) {
        for (auto &c : clients) {
            c->write(b ? block : "MEM:PRES:DATA " + block);
            c->waitForBytesWritten(5000);
        }
    }
    for (auto &c : clients) {
        c->write("\n");
    }
    const QByteArray error = query(*clients.front(), "SYST:ERR?");
    std::printf("unit's peak memory: %lld KiB at start, %lld KiB after 16 messages of 600 blocks "
                "of 64 KiB (the error reported: %s)\n",
                before, peakKiB(unit), error.constData());
}

void driverAgainstTrickle()
{
    TricklingUnit unit("127.0.0.93");
    ViSession vi = VI_NULL;
    QByteArray resource = unit.resource();
    ts4820_init(resource.data(), VI_TRUE, VI_FALSE, &vi);
    ViUInt32 timeout = 0;
    viGetAttribute(vi, VI_ATTR_TMO_VALUE, &timeout);
    ViInt32 pattern[18];
    QElapsedTimer timer;
    timer.start();
    const ViStatus status = ts4820_getMatrixState(vi, pattern);
    std::printf("driver call against a unit trickling 4 KiB every 300 ms: %lld ms with the session's "
                "time-out of %u ms, status 0x%08X\n",
                timer.elapsed(), unsigned(timeout), unsigned(status));
    ts4820_close(vi);
}

void driverAgainstHugeReply()
{
    SimProcess unit("127.0.0.94", {"--subtype", "AA", "--oversized", "ROUT:MATR?=10000000"});
    qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(unit.portmapper));
    for (QByteArray resource : {unit.instr(), unit.socket()}) {
        ViSession vi = VI_NULL;
        ts4820_init(resource.data(), VI_TRUE, VI_FALSE, &vi);
        ViInt32 pattern[18];
        QElapsedTimer timer;
        timer.start();
        const ViStatus status = ts4820_getMatrixState(vi, pattern);
        std::printf("driver call answered with 10 MB (%s): %lld ms, status 0x%08X\n",
                    resource.endsWith("SOCKET") ? "raw socket" : "VXI-11", timer.elapsed(), unsigned(status));
        ts4820_close(vi);
    }
}

void longestSearch()
{
    QByteArray names;
    for (int i = 0; i < 10000; ++i) {
        names += "TCPIP0::10.0." + QByteArray::number(i / 250) + '.' + QByteArray::number(i % 250)
                 + "::inst0::INSTR;";
    }
    qputenv("TS4820_VISA_RESOURCES", names);
    // Stars everywhere: every state stays alive at every character.
    const QByteArray expression = QByteArray("(?*)*").repeated(102) + "xy";
    ViSession rm = VI_NULL;
    viOpenDefaultRM(&rm);
    ViFindList list = VI_NULL;
    ViUInt32 count = 0;
    char desc[VI_FIND_BUFLEN];
    QElapsedTimer timer;
    timer.start();
    const ViStatus status = viFindRsrc(rm, expression.constData(), &list, &count, desc);
    std::printf("search with a %lld-character expression over 10,000 names: %lld ms, status 0x%08X\n",
                qint64(expression.size()), timer.elapsed(), unsigned(status));
    viClose(rm);
    qunsetenv("TS4820_VISA_RESOURCES");
}

// Relay writes (with their SYST:ERR?) per second, without presets and
// beside 100 presets with every line named.
void relayWrites()
{
    const QByteArray words = QByteArray("00000000,").repeated(35) + "00000001";
    double rates[2] = {};
    for (int full = 0; full < 2; ++full) {
        QTemporaryDir state;
        SimProcess unit("127.0.0.95", {"--state", state.path()});
        QTcpSocket s;
        s.connectToHost(unit.address, unit.raw);
        s.waitForConnected(5000);
        QByteArrayList setUp;
        for (int line = 1; full && line <= 192; ++line) {
            for (const char *side : {"X", "Y"}) {
                setUp << "ROUT:ALI " + QByteArray(side) + QByteArray::number(line) + ",\""
                             + QByteArray(31, 'n') + '"';
            }
        }
        for (int p = 0; full && p < 100; ++p) {
            setUp << "MEM:PRES:STOR \"Preset-" + QByteArray::number(p) + '"';
        }
        for (const QByteArray &message : setUp) {
            s.write(message + '\n');
            query(s, "SYST:ERR?");
        }
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 200; ++i) {
            s.write("ROUT:MATR " + words + '\n');
            query(s, "SYST:ERR?");
        }
        rates[full] = 200 / (timer.nsecsElapsed() / 1e9);
    }
    std::printf("relay writes kept on disk: %.0f/s with no presets, %.0f/s beside 100 presets and 384 "
                "names (ratio %.2f)\n",
                rates[0], rates[1], rates[1] / rates[0]);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qputenv("TS4820_VISA_CONFIG", "/nonexistent");
    qputenv("TS4820_VISA_DISCOVER", "off"); // the searches measured are of the listed names
    std::printf("a vanished client's place is free after %lld ms\n", placesFreedAfter(true));
    std::printf("an unfinished message's place is free after %lld ms\n", placesFreedAfter(false));
    manyBlocks();
    driverAgainstTrickle();
    driverAgainstHugeReply();
    longestSearch();
    relayWrites();
    return 0;
}
