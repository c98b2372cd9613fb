// The running ts4820sim over its sockets: hostile input, many clients,
// VXI-11 details, fault options, signals and the state kept across a kill.
#include "oncrpc.h"
#include "simprocess.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

using namespace sim;

namespace {

using Unit = SimProcess;

// A raw SCPI client.
class Raw
{
public:
    explicit Raw(const Unit &unit)
    {
        socket.connectToHost(unit.address, unit.raw);
        socket.waitForConnected(5000);
    }
    void send(const QByteArray &bytes)
    {
        socket.write(bytes);
        socket.waitForBytesWritten(5000);
    }
    QByteArray query(const QByteArray &message)
    {
        send(message + '\n');
        return line();
    }
    QByteArray line()
    {
        while (!socket.canReadLine() && socket.waitForReadyRead(5000)) {
        }
        QByteArray text = socket.readLine();
        if (text.endsWith('\n')) {
            text.chop(1);
        }
        return text;
    }
    // True when the unit closed the connection (nothing more arrives).
    bool closedByUnit()
    {
        if (socket.state() == QAbstractSocket::ConnectedState) {
            socket.waitForDisconnected(5000);
        }
        return socket.state() == QAbstractSocket::UnconnectedState && socket.bytesAvailable() == 0;
    }
    QTcpSocket socket;
};

// A minimal ONC RPC client for the portmapper and the VXI-11 core channel.
class Rpc
{
public:
    Rpc(const QString &address, quint16 port)
    {
        socket.connectToHost(address, port);
        socket.waitForConnected(5000);
    }
    // The results of an accepted call, or a null array.
    QByteArray call(quint32 program, quint32 version, quint32 procedure, const rpc::XdrWriter &args,
                    quint32 *acceptStat = nullptr)
    {
        rpc::XdrWriter w;
        w.u32(++xid).u32(0).u32(2).u32(program).u32(version).u32(procedure).u32(0).u32(0).u32(0).u32(0);
        socket.write(rpc::recordMark(w.data() + args.data()));
        QByteArray record;
        while (reader.next(&record) != rpc::RecordReader::Record) {
            if (!socket.waitForReadyRead(5000)) {
                return {};
            }
            reader.append(socket.readAll());
        }
        rpc::XdrReader r(record);
        if (r.u32() != xid || r.u32() != 1 || r.u32() != 0) {
            return {};
        }
        r.u32();
        r.opaque(400);
        const quint32 stat = r.u32();
        if (acceptStat) {
            *acceptStat = stat;
        }
        return record.mid(r.position());
    }
    QTcpSocket socket;
    rpc::RecordReader reader;
    quint32 xid = 0;
};

struct Link
{
    quint32 error = 99, lid = 0, maxRecv = 0;
};

Link createLink(Rpc &core, const QByteArray &device)
{
    const QByteArray res =
        core.call(rpc::kCoreProgram, 1, 10, rpc::XdrWriter().u32(1).u32(0).u32(0).opaque(device));
    rpc::XdrReader r(res);
    Link l;
    l.error = r.u32();
    l.lid = r.u32();
    r.u32();
    l.maxRecv = r.u32();
    return l;
}

quint32 deviceWrite(Rpc &core, quint32 lid, const QByteArray &data, bool end = true)
{
    return rpc::XdrReader(core.call(rpc::kCoreProgram, 1, 11,
                                    rpc::XdrWriter().u32(lid).u32(1000).u32(0).u32(end ? 8 : 0).opaque(data)))
        .u32();
}

struct ReadResult
{
    quint32 error = 99, reason = 0;
    QByteArray data;
};

ReadResult deviceRead(Rpc &core, quint32 lid, quint32 size = 1024, quint32 timeoutMs = 2000)
{
    const QByteArray res = core.call(rpc::kCoreProgram, 1, 12,
                                     rpc::XdrWriter().u32(lid).u32(size).u32(timeoutMs).u32(0).u32(0).u32(0));
    rpc::XdrReader r(res);
    ReadResult result;
    result.error = r.u32();
    result.reason = r.u32();
    result.data = r.opaque(1 << 20);
    return result;
}

QByteArray vxiQuery(Rpc &core, quint32 lid, const QByteArray &message)
{
    deviceWrite(core, lid, message);
    return deviceRead(core, lid).data;
}

// Whether a new client is served, trying for up to ten seconds.
bool placeIsFree(const SimProcess &unit, bool portmapper = false)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (!portmapper && Raw(unit).query("*OPC?") == "1") {
            return true;
        }
        Rpc mapper(unit.address, unit.portmapper);
        const rpc::XdrWriter getPort =
            rpc::XdrWriter().u32(rpc::kCoreProgram).u32(1).u32(rpc::kProtocolTcp).u32(0);
        if (portmapper
            && rpc::XdrReader(mapper.call(rpc::kPortmapProgram, 2, 3, getPort)).u32() == unit.core) {
            return true;
        }
        QTest::qWait(100);
    }
    return false;
}

} // namespace

class TestSimProcess : public QObject
{
    Q_OBJECT

private slots:
    void badInputLeavesTheUnitAnsweringEveryone_data();
    void badInputLeavesTheUnitAnsweringEveryone();
    void vxi11CoreChannel();
    void sixteenConnectionsAtMost();
    void placesOfGoneOrIdleClientsAreFreed_data();
    void placesOfGoneOrIdleClientsAreFreed();
    void unitsSideBySide();
    void faultOptions();
    void storedPresetSurvivesSigkill();
    void killsDuringStoresLoseNothingAcknowledged();
    void signalsEndTheUnitCleanly_data();
    void signalsEndTheUnitCleanly();
    void commandLineIsChecked_data();
    void commandLineIsChecked();
};

void TestSimProcess::badInputLeavesTheUnitAnsweringEveryone_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("disconnect");
    QTest::addColumn<QByteArray>("error");
    QTest::newRow("malformed command")
        << QByteArray("ROUT:ALI X1,\"open\n") << false << QByteArray("-102,\"Syntax error\"");
    QTest::newRow("unknown command") << QByteArray("ROUT:EXPLODE 1\n") << false
                                     << QByteArray("-113,\"Undefined header\"");
    QTest::newRow("oversized line") << QByteArray("ROUT:ALI X1,\"") + QByteArray(200000, 'a') + "\"\n"
                                    << false << QByteArray("-363,\"Input buffer overrun\"");
    QTest::newRow("bad block header")
        << QByteArray("MEM:PRES:DATA #9x\n") << false << QByteArray("-160,\"Block data error\"");
    QTest::newRow("block longer than allowed")
        << QByteArray("MEM:PRES:DATA #6100000") + QByteArray(100000, '\n') + "\n"
        << false << QByteArray("-223,\"Too much data\"");
    QByteArray blocks = "MEM:PRES:DATA ";
    for (int i = 0; i < 20; ++i) {
        blocks += "#540000" + QByteArray(40000, 'b');
    }
    QTest::newRow("blocks over 64 KiB in all") << blocks + "\n"
                                               << false << QByteArray("-223,\"Too much data\"");
    QTest::newRow("disconnect mid-message") << QByteArray("MEM:PRES:DATA #3100abc") << true << QByteArray();
}

void TestSimProcess::badInputLeavesTheUnitAnsweringEveryone()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, disconnect);
    QFETCH(QByteArray, error);
    Unit unit("127.0.0.10");
    QVERIFY2(unit.running(), qPrintable(unit.banner));
    Raw bystander(unit);
    QCOMPARE(bystander.query("ROUT:MATR:ROWS?"), QByteArray("192"));

    auto round = [&](int times) {
        for (int i = 0; i < times; ++i) {
            Raw offender(unit);
            offender.send(input);
            if (disconnect) {
                offender.socket.abort();
                continue;
            }
            if (offender.query("SYST:ERR?") != error || offender.query("SYST:ERR?") != "0,\"No error\"") {
                return false;
            }
        }
        return true;
    };
    QVERIFY(round(1));
    QCOMPARE(bystander.query("SYST:ERR?"), QByteArray("0,\"No error\"")); // queues are per connection
    QCOMPARE(bystander.query("*IDN?").left(24), QByteArray("Tarsel Ltd.,Xentra 4820-"));

    // Memory settles after the first rounds and does not grow with more.
    QVERIFY(round(40));
    const qint64 settled = unit.residentKiB();
    QVERIFY(round(200));
    const qint64 after = unit.residentKiB();
    if (!kSanitized) {
        QVERIFY2(after - settled < 1024,
                 qPrintable(QStringLiteral("%1 KiB -> %2 KiB").arg(settled).arg(after)));
    }
    QCOMPARE(bystander.query("MEM:PRES:COUN?"), QByteArray("0"));
    QCOMPARE(unit.stop(SIGTERM), 0); // with LeakSanitizer: nothing leaked
}

void TestSimProcess::vxi11CoreChannel()
{
    Unit unit("127.0.0.11");
    QVERIFY2(unit.running(), qPrintable(unit.banner));

    Rpc portmap(unit.address, unit.portmapper);
    auto getPort = [&](quint32 program) {
        return rpc::XdrReader(
                   portmap.call(rpc::kPortmapProgram, 2, 3,
                                rpc::XdrWriter().u32(program).u32(1).u32(rpc::kProtocolTcp).u32(0)))
            .u32();
    };
    QCOMPARE(getPort(rpc::kCoreProgram), quint32(unit.core));
    QCOMPARE(getPort(395184), 0u); // the abort channel is not served

    Rpc core(unit.address, unit.core);
    QCOMPARE(createLink(core, "inst1").error, 3u);
    const Link link = createLink(core, "INST0");
    QCOMPARE(link.error, 0u);
    QCOMPARE(link.maxRecv, 16384u);

    // A message over two writes; a reply over reads of 10 bytes.
    QCOMPARE(deviceWrite(core, link.lid, "*ID", false), 0u);
    QCOMPARE(deviceWrite(core, link.lid, "N?\n"), 0u);
    QByteArray reply;
    ReadResult part;
    do {
        part = deviceRead(core, link.lid, 10);
        QCOMPARE(part.error, 0u);
        reply += part.data;
        QCOMPARE(part.reason, reply.endsWith('\n') ? 4u : 1u);
    } while (part.reason != 4);
    QCOMPARE(reply, QByteArray("Tarsel Ltd.,Xentra 4820-AB,4820000b,2.1.0\n"));

    // Nothing to read: the link's time-out, then -420; an unread reply
    // overwritten by a new message: -410.
    QCOMPARE(deviceRead(core, link.lid, 1024, 50).error, 15u);
    deviceWrite(core, link.lid, "*IDN?");
    QCOMPARE(vxiQuery(core, link.lid, "SYST:ERR?"), QByteArray("-420,\"Query UNTERMINATED\"\n"));
    QCOMPARE(vxiQuery(core, link.lid, "SYST:ERR?"), QByteArray("-410,\"Query INTERRUPTED\"\n"));
    QCOMPARE(vxiQuery(core, link.lid, "ROUT:ALI:CAT?"), QByteArray("#10\n"));
    quint32 stat = 0;
    core.call(rpc::kCoreProgram, 1, 99, rpc::XdrWriter(), &stat);
    QCOMPARE(stat, quint32(rpc::ProcUnavail));
    QCOMPARE(rpc::XdrReader(
                 core.call(rpc::kCoreProgram, 1, 14, rpc::XdrWriter().u32(link.lid).u32(0).u32(0).u32(0)))
                 .u32(),
             8u); // trigger is not supported

    // A peer that is no RPC client is cut off, and so is one that announces
    // a record larger than the channel takes; the link goes on.
    Rpc garbage(unit.address, unit.core);
    garbage.socket.write(rpc::recordMark("no rpc here"));
    QVERIFY(garbage.socket.waitForDisconnected(5000));
    for (const auto &[port, size] : {std::pair{unit.portmapper, 4096}, {unit.core, 200000}}) {
        Rpc big(unit.address, port);
        QByteArray mark(4, 0);
        qToBigEndian<quint32>(quint32(size), mark.data());
        big.socket.write(mark + QByteArray(1000, 0));
        QVERIFY(big.socket.waitForDisconnected(5000));
    }
    QCOMPARE(vxiQuery(core, link.lid, "ROUT:MATR:ROWS?"), QByteArray("192\n"));
    QCOMPARE(rpc::XdrReader(core.call(rpc::kCoreProgram, 1, 23, rpc::XdrWriter().u32(link.lid))).u32(), 0u);
    QCOMPARE(deviceWrite(core, link.lid, "*IDN?"), 4u); // destroyed
}

void TestSimProcess::sixteenConnectionsAtMost()
{
    Unit unit("127.0.0.12");
    QVERIFY2(unit.running(), qPrintable(unit.banner));
    // Two core channels with four links each: a connection's fair share.
    Rpc core(unit.address, unit.core), second(unit.address, unit.core);
    QList<Link> links;
    for (int i = 0; i < 4; ++i) {
        links << createLink(core, "inst0") << createLink(second, "inst0");
    }
    QCOMPARE(createLink(core, "inst0").error, 9u);
    std::vector<std::unique_ptr<Raw>> sockets;
    for (int i = 0; i < 8; ++i) {
        sockets.push_back(std::make_unique<Raw>(unit));
        QCOMPARE(sockets.back()->query("MEM:PRES:COUN?"), QByteArray("0"));
    }
    Rpc third(unit.address, unit.core);
    QCOMPARE(createLink(third, "inst0").error, 9u);
    Raw seventeenth(unit);
    QVERIFY(seventeenth.closedByUnit());
    for (int i = 0; i < links.size(); ++i) {
        QCOMPARE(vxiQuery(i % 2 ? second : core, links[i].lid, "SYST:ERR?"), QByteArray("0,\"No error\"\n"));
    }
    // A freed place is taken again once the unit has seen the close.
    sockets.pop_back();
    QVERIFY(placeIsFree(unit));
}

void TestSimProcess::placesOfGoneOrIdleClientsAreFreed_data()
{
    QTest::addColumn<QString>("clients");
    QTest::newRow("vanished without closing") << "vanished";
    QTest::newRow("message left unfinished") << "unfinished";
    QTest::newRow("portmapper connections left idle") << "idle";
}

void TestSimProcess::placesOfGoneOrIdleClientsAreFreed()
{
    QFETCH(QString, clients);
    Unit unit("127.0.0.13", {"--keepalive", "1", "--message-timeout", "2"});
    QVERIFY2(unit.running(), qPrintable(unit.banner));
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < 16; ++i) {
        held.push_back(std::make_unique<QTcpSocket>());
        QTcpSocket &s = *held.back();
        s.connectToHost(unit.address, clients == "idle" ? unit.portmapper : unit.raw);
        QVERIFY(s.waitForConnected(5000));
        if (clients != "idle") {
            s.write(clients == "unfinished" ? "*IDN" : "*OPC?\n");
            QVERIFY(s.waitForBytesWritten(5000));
        }
        if (clients == "vanished") {
            QVERIFY(s.waitForReadyRead(5000));
            // In repair mode a socket closes without FIN or RST: its peer
            // hears nothing, as from a host that lost its power.
            const int on = 1;
            if (::setsockopt(int(s.socketDescriptor()), SOL_TCP, TCP_REPAIR, &on, sizeof on) != 0) {
                QSKIP("closing a socket without FIN needs CAP_NET_ADMIN");
            }
            s.abort();
        }
    }
    if (clients == "idle") {
        Rpc extra(unit.address, unit.portmapper);
        QVERIFY(extra.socket.state() != QAbstractSocket::ConnectedState
                || extra.socket.waitForDisconnected(5000));
    } else {
        Raw extra(unit);
        QVERIFY(extra.closedByUnit());
    }
    QVERIFY(placeIsFree(unit, clients == "idle"));
}

void TestSimProcess::unitsSideBySide()
{
    Unit first("127.0.0.13", {"--subtype", "AA"});
    Unit second("127.0.0.14", {"--subtype", "BB", "--serial", "1234ABCD", "--no-vref"});
    QVERIFY(first.running() && second.running());
    Raw a(first), b(second);
    a.send("ROUT:ALI X1,\"only on the first\"\n");
    QCOMPARE(a.query("*IDN?"), QByteArray("Tarsel Ltd.,Xentra 4820-AA,4820000d,2.1.0"));
    QCOMPARE(b.query("*IDN?"), QByteArray("Tarsel Ltd.,Xentra 4820-BB,1234abcd,2.1.0"));
    QCOMPARE(b.query("ROUT:ALI:CAT?"), QByteArray("#10"));
    QCOMPARE(b.query("SOUR:VOLT:CAT?"), QByteArray("0"));
    QCOMPARE(a.query("SYST:COMM:LAN:ADDR?"), QByteArray("\"127.0.0.13\""));

    // Many units from one process: each on its own address, with its own serial.
    Unit pair("127.0.0.18", {"--units", "2", "--serial", "a0"});
    QVERIFY2(pair.running(), qPrintable(pair.banner));
    while (!pair.process.canReadLine() && pair.process.waitForReadyRead(5000)) {
    }
    const QString next = QString::fromUtf8(pair.process.readLine());
    QVERIFY2(next.contains("4820-AB,000000a1,2.1.0 on 127.0.0.19:"), qPrintable(next));
    QCOMPARE(Raw(pair).query("*IDN?"), QByteArray("Tarsel Ltd.,Xentra 4820-AB,000000a0,2.1.0"));
}

void TestSimProcess::faultOptions()
{
    Unit unit("127.0.0.15", {"--drop-after", "3", "--latency", "30", "--fail", "MEM:PRES:STOR=-225",
                             "--oversized", "ROUT:ALI:CAT?=70000", "--idn", "Other Corp,Scope 1,7,1.0",
                             "--slow", "MEM:PRES:COUN?=400", "--drop-on", "SYST:IDEN"});
    QVERIFY2(unit.running(), qPrintable(unit.banner));
    Raw client(unit);
    QCOMPARE(client.query("*IDN?"), QByteArray("Other Corp,Scope 1,7,1.0"));
    client.send("MEM:PRES:STOR \"P\"\n");
    QCOMPARE(client.query("SYST:ERR?"), QByteArray("-225,\"Out of memory\""));
    client.send("\n\n"); // blank lines are no commands
    client.send("*IDN?\n");
    QVERIFY(client.closedByUnit());

    Raw other(unit);
    QCOMPARE(other.query("ROUT:ALI:CAT?").size(), 2 + 5 + 70000);
    Raw dropped(unit);
    dropped.send("SYST:IDEN 1\n");
    QVERIFY(dropped.closedByUnit());
    QCOMPARE(other.query("SYST:IDEN?"), QByteArray("0")); // closed before it ran
    Rpc core(unit.address, unit.core);
    const Link link = createLink(core, "inst0");
    QElapsedTimer late;
    late.start();
    QCOMPARE(vxiQuery(core, link.lid, "MEM:PRES:COUN?"), QByteArray("0\n"));
    QVERIFY(late.elapsed() >= 400 + 30);
    for (int i = 0; i < 3; ++i) {
        deviceWrite(core, link.lid, "*OPC?"); // the third is message 4
    }
    QVERIFY(core.socket.state() == QAbstractSocket::UnconnectedState
            || core.socket.waitForDisconnected(5000));
}

void TestSimProcess::storedPresetSurvivesSigkill()
{
    QTemporaryDir state;
    const QStringList args = {"--subtype", "AA", "--state", state.path()};
    {
        Unit unit("127.0.0.16", args);
        QVERIFY2(unit.running(), qPrintable(unit.banner));
        Raw client(unit);
        client.send("ROUT:ALI Y2,\"sense\"\nMEM:PRES:STOR \"Night-Test\"\n");
        QCOMPARE(client.query("SYST:ERR?"), QByteArray("0,\"No error\"")); // acknowledged
        QCOMPARE(unit.stop(SIGKILL), -SIGKILL);
    }
    Unit again("127.0.0.16", args);
    QVERIFY2(again.running(), qPrintable(again.banner));
    Raw client(again);
    QCOMPARE(client.query("MEM:PRES:CAT?"), QByteArray("#210Night-Test"));
    QCOMPARE(client.query("MEM:PRES:CURR?"), QByteArray("\"Night-Test\""));
    QCOMPARE(client.query("ROUT:ALI? Y2"), QByteArray("\"sense\""));
    QCOMPARE(client.query("*TST?"), QByteArray("0"));
}

void TestSimProcess::killsDuringStoresLoseNothingAcknowledged()
{
    // Bursts of stores, each followed by SYST:ERR?; the unit is killed at a
    // random moment of the burst. Every store whose "0" arrived before the
    // kill must be there after the restart, and the state must read cleanly.
    QTemporaryDir state;
    const QStringList args = {"--subtype", "AA", "--state", state.path()};
    QRandomGenerator random(4820); // the same kills on every run
    QSet<QByteArray> acknowledged;
    int counter = 0;
    for (int round = 0; round < 25; ++round) {
        Unit unit("127.0.0.19", args);
        QVERIFY2(unit.running(), qPrintable(unit.banner));
        Raw client(unit);
        QCOMPARE(client.query("*TST?"), QByteArray("0"));
        const QByteArray catalogue = client.query("MEM:PRES:CAT?");
        const QByteArrayList stored = catalogue.mid(2 + catalogue.at(1) - '0').split(',');
        for (const QByteArray &name : acknowledged) {
            QVERIFY2(stored.contains(name), name.constData());
        }

        QByteArrayList names;
        QByteArray burst;
        for (int i = 0; i < 40; ++i) {
            names << "p" + QByteArray::number(counter++ % 90); // at most 90 names: under the limit
            burst +=
                "ROUT:ALI X1,\"" + names.last() + "\"\nMEM:PRES:STOR \"" + names.last() + "\"\nSYST:ERR?\n";
        }
        client.send(burst);
        // Replies are read as they come: a killed process's connection is
        // reset, which throws away what the client had not read yet.
        QByteArray received;
        QElapsedTimer timer;
        timer.start();
        const int killAfterMs = int(random.bounded(40));
        while (timer.elapsed() < killAfterMs) {
            client.socket.waitForReadyRead(1);
            received += client.socket.readAll();
        }
        QCOMPARE(unit.stop(SIGKILL), -SIGKILL);
        received += client.socket.readAll();
        QByteArrayList replies = received.split('\n');
        replies.removeLast(); // an unfinished line acknowledges nothing
        for (int i = 0; i < names.size() && i < replies.size(); ++i) {
            if (replies[i] == "0,\"No error\"") {
                acknowledged.insert(names[i]);
            }
        }
    }
    QVERIFY(acknowledged.size() > 10); // the kills did not all come before the first store
}

void TestSimProcess::signalsEndTheUnitCleanly_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestSimProcess::signalsEndTheUnitCleanly()
{
    QFETCH(int, signal);
    Unit unit("127.0.0.17");
    QVERIFY2(unit.running(), qPrintable(unit.banner));
    Raw client(unit);
    QCOMPARE(client.query("*OPC?"), QByteArray("1"));
    QCOMPARE(unit.stop(signal), 0);
    QVERIFY(unit.process.readAllStandardOutput().contains("ts4820sim: stopped"));
    QVERIFY(client.closedByUnit());
}

void TestSimProcess::commandLineIsChecked_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::newRow("help documents every option")
        << QStringList{"--help"} << 0
        << "--address,--subtype,--serial,--no-vref,--hostname,--state,--portmapper-port,--core-port,"
           "--raw-port,--latency,--fail,--drop-after,--malformed,--oversized,--slow,--drop-on,--idn";
    QTest::newRow("subtype") << QStringList{"--subtype", "AC"} << 2 << "--subtype takes AA, AB, BA or BB";
    QTest::newRow("fault header") << QStringList{"--fail", "ROUT:NOPE"} << 2
                                  << "no command has the header 'ROUT:NOPE'";
    QTest::newRow("fault code") << QStringList{"--fail", "*RST=-999"} << 2 << "-999 is not an error code";
    QTest::newRow("address in use") << QStringList{"--address", "127.0.0.18",        "--raw-port",
                                                   "0",         "--portmapper-port", "PORT"}
                                    << 1 << "cannot serve the portmapper on 127.0.0.18";
}

void TestSimProcess::commandLineIsChecked()
{
    QFETCH(QStringList, args);
    QFETCH(QString, output);
    QTcpServer squatter; // holds a port so that the unit cannot have it
    QVERIFY(squatter.listen(QHostAddress("127.0.0.18"), 0));
    args.replaceInStrings("PORT", QString::number(squatter.serverPort()));
    QProcess process;
    process.start(QStringLiteral(TS4820SIM), args);
    QVERIFY(process.waitForFinished(10000));
    QTEST(process.exitCode(), "exitCode");
    const QString text = process.readAllStandardOutput() + process.readAllStandardError();
    for (const QString &part : output.split(',')) {
        QVERIFY2(text.contains(part), qPrintable(text));
    }
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "test_sim_process.moc"
