// The running ts4820sim over its sockets: hostile input, many clients,
// VXI-11, fault options, signals and the state kept across kills.
#include "oncrpc.h"
#include "simprocess.h"

#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <netinet/tcp.h>

using namespace sim;

namespace {

// A client of the raw socket, the portmapper or the core channel.
struct Client
{
    Client(const QString &address, quint16 port)
    {
        socket.connectToHost(address, port);
        socket.waitForConnected(5000);
    }
    explicit Client(const SimProcess &unit) : Client(unit.address, unit.raw) {}
    // Sends `input`; what arrives until `lines` lines are there or the unit closes.
    QByteArray talk(const QByteArray &input, int lines = 1)
    {
        socket.write(input);
        socket.waitForBytesWritten(5000);
        QByteArray replies = socket.readAll();
        while (replies.count('\n') < lines && socket.waitForReadyRead(5000)) {
            replies += socket.readAll();
        }
        return replies;
    }
    bool closedByUnit()
    {
        return (socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(5000))
               && socket.bytesAvailable() == 0;
    }
    QTcpSocket socket;
};

quint32 word(const QByteArray &data, int index)
{
    return data.size() >= 4 * index + 4 ? qFromBigEndian<quint32>(data.constData() + 4 * index) : 99;
}

// One ONC RPC call, sent in two fragments: the reply from its accept status on.
QByteArray call(Client &c, quint32 program, quint32 procedure, const QList<quint32> &args,
                const QByteArray &data = {})
{
    rpc::XdrWriter w;
    for (quint32 v :
         QList<quint32>{1, 0, 2, program, program == rpc::kCoreProgram ? 1u : 2u, procedure, 0, 0, 0, 0}
             + args) {
        w.u32(v);
    }
    const QByteArray bytes = data.isNull() ? w.data() : w.opaque(data).data();
    QByteArray first = rpc::recordMark(bytes.left(8));
    first[0] = 0; // not the last fragment
    c.socket.write(first + rpc::recordMark(bytes.mid(8)));
    rpc::RecordReader reader;
    QByteArray record;
    do {
        reader.append(c.socket.readAll());
    } while (reader.next(&record) != rpc::RecordReader::Record && c.socket.waitForReadyRead(5000));
    return record.mid(20);
}

quint32 portOfCore(Client &portmapper)
{
    return word(call(portmapper, rpc::kPortmapProgram, 3, {rpc::kCoreProgram, 1, rpc::kProtocolTcp, 0}), 1);
}

// create_link: the error, the link id and maxRecvSize are words 1, 2 and 4.
QByteArray link(Client &c, const QByteArray &device = "inst0")
{
    return call(c, rpc::kCoreProgram, 10, {1, 0, 0}, device);
}

quint32 deviceWrite(Client &c, quint32 lid, const QByteArray &data, bool end = true)
{
    return word(call(c, rpc::kCoreProgram, 11, {lid, 1000, 0, end ? 8u : 0u}, data), 1);
}

// device_read: the error and the reason are words 1 and 2, the data follows.
QByteArray deviceRead(Client &c, quint32 lid, quint32 size = 1024, quint32 timeoutMs = 2000)
{
    return call(c, rpc::kCoreProgram, 12, {lid, size, timeoutMs, 0, 0, 0});
}

QByteArray vxiQuery(Client &c, quint32 lid, const QByteArray &message)
{
    deviceWrite(c, lid, message);
    const QByteArray results = deviceRead(c, lid);
    return results.mid(16, word(results, 3));
}

// Whether a new client is served, trying for up to ten seconds.
bool placeIsFree(const SimProcess &unit, bool portmapper = false)
{
    for (int attempt = 0; attempt < 100; QTest::qWait(100), ++attempt) {
        Client c(unit.address, portmapper ? unit.portmapper : unit.raw);
        if (portmapper ? portOfCore(c) == unit.core : c.talk("*OPC?\n") == "1\n") {
            return true;
        }
    }
    return false;
}

} // namespace

class TestSimProcess : public QObject
{
    Q_OBJECT

private slots:
    void badInputLeavesMemorySettled()
    {
        SimProcess unit("127.0.0.10");
        Client bystander(unit);
        const QByteArray input = "ROUT:ALI X1,\"open\nROUT:ALI X1,\"" + QByteArray(200000, 'a')
                                 + "\"\nMEM:PRES:DATA "
                                 + QByteArray("#540000" + QByteArray(40000, 'b')).repeated(20)
                                 + "\nSYST:ERR?\nSYST:ERR?\nSYST:ERR?\nSYST:ERR?\n";
        const QByteArray replies =
            "-102,\"Syntax error\"\n-363,\"Input buffer overrun\"\n-223,\"Too much data\"\n"
            "0,\"No error\"\n";
        const auto rounds = [&](int times) {
            for (int i = 0; i < times; ++i) {
                Client(unit).talk("MEM:PRES:DATA #3100abc", 0); // gone mid-message
                if (Client(unit).talk(input, 4) != replies) {
                    return false;
                }
            }
            return true;
        };
        // Memory settles after the first rounds and does not grow with more.
        QVERIFY(rounds(40));
        const qint64 settled = unit.residentKiB();
        QVERIFY(rounds(200));
        QVERIFY2(kSanitized || unit.residentKiB() - settled < 1024, qPrintable(QString::number(settled)));
        // The error queues are each connection's own.
        QCOMPARE(bystander.talk("SYST:ERR?\nMEM:PRES:COUN?\n", 2), "0,\"No error\"\n0\n");
        QCOMPARE(unit.stop(SIGTERM), 0); // with LeakSanitizer: nothing leaked
    }

    void vxi11CoreChannel()
    {
        SimProcess unit("127.0.0.11");
        Client portmapper(unit.address, unit.portmapper), core(unit.address, unit.core);
        QCOMPARE(portOfCore(portmapper), quint32(unit.core));
        QCOMPARE(word(link(core, "inst1"), 1), 3u);
        const QByteArray created = link(core, "INST0");
        QCOMPARE(word(created, 1), 0u);
        QCOMPARE(word(created, 4), 16384u); // maxRecvSize
        const quint32 lid = word(created, 2);

        // A message over two writes; a reply over reads of 10 bytes, END on the last.
        QCOMPARE(deviceWrite(core, lid, "*ID", false) + deviceWrite(core, lid, "N?\n"), 0u);
        QByteArray reply, reasons;
        while (!reasons.endsWith('4') && reasons.size() < 10) {
            const QByteArray part = deviceRead(core, lid, 10);
            reply += part.mid(16, word(part, 3)), reasons += QByteArray::number(word(part, 2));
        }
        QCOMPARE(reply, QByteArray("Tarsel Ltd.,Xentra 4820-AB,4820000b,2.1.0\n"));
        QCOMPARE(reasons, "11114");

        // Nothing to read: the link's time-out, then -420; an unread reply
        // overwritten: -410; a block cut short by END: -160.
        QCOMPARE(word(deviceRead(core, lid, 1024, 50), 1), 15u);
        deviceWrite(core, lid, "*IDN?");
        deviceWrite(core, lid, "MEM:PRES:DATA #19abc");
        QCOMPARE(vxiQuery(core, lid, "SYST:ERR?"), "-420,\"Query UNTERMINATED\"\n");
        QCOMPARE(vxiQuery(core, lid, "SYST:ERR?"), "-410,\"Query INTERRUPTED\"\n");
        QCOMPARE(vxiQuery(core, lid, "SYST:ERR?"), "-160,\"Block data error\"\n");

        // A peer that announces a record just past what a channel takes,
        // its header included, is cut off; the link goes on.
        for (const auto &[port, size] : {std::pair{unit.portmapper, 2045u}, {unit.core, 96u * 1024 - 3}}) {
            QByteArray mark(4, 0);
            qToBigEndian<quint32>(size, mark.data());
            Client big(unit.address, port);
            big.talk(mark + QByteArray(1000, 0), 0);
            QVERIFY(big.closedByUnit());
        }
        QCOMPARE(vxiQuery(core, lid, "ROUT:MATR:ROWS?"), "192\n");
        QCOMPARE(word(call(core, rpc::kCoreProgram, 23, {lid}), 1), 0u);
        QCOMPARE(deviceWrite(core, lid, "*IDN?"), 4u); // destroyed
    }

    void sixteenPlacesAndFourLinksAConnection()
    {
        SimProcess unit("127.0.0.12");
        Client core(unit.address, unit.core), second(unit.address, unit.core), third(unit.address, unit.core);
        QList<quint32> links;
        for (int i = 0; i < 8; ++i) {
            links << word(link(i % 2 ? second : core), 2);
        }
        QCOMPARE(word(link(core), 1), 9u);
        std::vector<std::unique_ptr<Client>> sockets;
        for (int i = 0; i < 8; ++i) {
            sockets.push_back(std::make_unique<Client>(unit));
        }
        QCOMPARE(word(link(third), 1), 9u);
        QVERIFY(Client(unit).closedByUnit());
        QCOMPARE(vxiQuery(second, links[7], "*OPC?"), "1\n"); // its fourth link
        sockets.pop_back(); // a place freed is taken again once the unit has seen the close
        QVERIFY(placeIsFree(unit));
    }

    void placesOfGoneOrIdleClientsAreFreed_data()
    {
        QTest::addColumn<QByteArray>("clients");
        QTest::newRow("vanished without closing") << QByteArray("*OPC?\n");
        QTest::newRow("message left unfinished") << QByteArray("*IDN");
        QTest::newRow("portmapper connections left idle") << QByteArray();
    }

    void placesOfGoneOrIdleClientsAreFreed()
    {
        QFETCH(QByteArray, clients);
        SimProcess unit("127.0.0.13", {"--keepalive", "1", "--message-timeout", "2"});
        const quint16 port = clients.isNull() ? unit.portmapper : unit.raw;
        std::vector<std::unique_ptr<Client>> held;
        for (int i = 0; i < 16; ++i) {
            held.push_back(std::make_unique<Client>(unit.address, port));
            QTcpSocket &s = held.back()->socket;
            if (held.back()->talk(clients, clients.count('\n')) == "1\n") {
                // In repair mode a socket closes without FIN or RST: its
                // peer hears nothing, as from a host that lost its power.
                const int on = 1;
                if (::setsockopt(int(s.socketDescriptor()), SOL_TCP, TCP_REPAIR, &on, sizeof on) != 0) {
                    QSKIP("closing a socket without FIN needs CAP_NET_ADMIN");
                }
                s.abort();
            }
        }
        QVERIFY(Client(unit.address, port).closedByUnit());
        QVERIFY(placeIsFree(unit, clients.isNull()));
    }

    void faultOptions()
    {
        SimProcess unit("127.0.0.15",
                        {"--drop-after", "3", "--latency", "30", "--fail", "MEM:PRES:STOR=-225",
                         "--malformed", "SYST:SER?", "--oversized", "ROUT:ALI:CAT?=70000", "--oversized",
                         "SYST:COMM:LAN:HOST?=5", "--idn", "Other Corp,Scope 1,7,1.0", "--slow",
                         "MEM:PRES:COUN?=400", "--drop-on", "SYST:IDEN"});
        Client client(unit), other(unit), dropped(unit), core(unit.address, unit.core);
        // Blank lines are no messages: *OPC? is message 4, closed unanswered.
        QCOMPARE(client.talk("*IDN?\nMEM:PRES:STOR \"P\"\nSYST:ERR?\n\n\n*OPC?\n", 3),
                 "Other Corp,Scope 1,7,1.0\n-225,\"Out of memory\"\n");
        QVERIFY(client.closedByUnit());
        QCOMPARE(other.talk("ROUT:ALI:CAT?\nSYST:COMM:LAN:HOST?\nSYST:SER?\n", 3),
                 "#570000" + QByteArray(70000, 'W') + "\n\"xentra-4820000fWWWWW\"\n4820?!\n");
        QCOMPARE(dropped.talk("SYST:IDEN 1\n*OPC?\n"), QByteArray());
        QVERIFY(dropped.closedByUnit());
        const quint32 lid = word(link(core), 2);
        QCOMPARE(vxiQuery(core, lid, "SYST:IDEN?"), "0\n"); // closed before it ran
        QElapsedTimer late;
        late.start();
        QCOMPARE(vxiQuery(core, lid, "MEM:PRES:COUN?"), "0\n");
        QVERIFY(late.elapsed() >= 400 + 30);
        deviceWrite(core, lid, "*OPC?");
        deviceWrite(core, lid, "*OPC?"); // message 4 on a link too
        QVERIFY(core.closedByUnit());
    }

    void killsDuringStoresLoseNothingAcknowledged()
    {
        // Stores, each followed by SYST:ERR?; the unit is killed at a random
        // moment after an acknowledgement. Every store acknowledged before
        // the kill is there after the restart.
        QTemporaryDir state;
        QRandomGenerator random(4820); // the same kills on every run
        const auto name = [](int n) { return "a" + QByteArray::number(n % 90) + "z"; }; // at most 90
        QByteArrayList acknowledged;
        for (int round = 0; round < 20; ++round) {
            SimProcess unit("127.0.0.19", {"--subtype", "AA", "--state", state.path()});
            Client client(unit);
            const QByteArray catalogue = client.talk("*TST?\nMEM:PRES:CAT?\n", 2);
            for (const QByteArray &stored : acknowledged) {
                QVERIFY2(catalogue.startsWith("0\n#") && catalogue.contains(stored), stored.constData());
            }
            QByteArray burst;
            for (int i = 0; i < 20; ++i) {
                burst += "ROUT:ALI X1,\"" + name(round * 20 + i) + "\"\nMEM:PRES:STOR \""
                         + name(round * 20 + i) + "\"\nSYST:ERR?\n";
            }
            // Replies are read as they come: a killed process's connection
            // is reset, which throws away what the client had not read yet.
            QByteArray acks = client.talk(burst, int(random.bounded(1, 6)));
            QTest::qWait(int(random.bounded(20)));
            QCOMPARE(unit.stop(SIGKILL), -SIGKILL);
            acks += client.socket.readAll();
            acks.truncate(acks.lastIndexOf('\n') + 1); // an unfinished line acknowledges nothing
            QVERIFY(!acks.isEmpty());
            QCOMPARE(acks, QByteArray("0,\"No error\"\n").repeated(acks.count('\n')));
            for (int i = 0; i < acks.count('\n'); ++i) {
                acknowledged << name(round * 20 + i);
            }
        }
    }

    void commandLineAndSignals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("signal"); // sent once the unit serves
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        const QStringList serve = {"--address", "127.0.0.17", "--portmapper-port", "0", "--raw-port", "0"};
        QTest::newRow("subtype") << QStringList{"--subtype", "AC"} << 0 << 2
                                 << "--subtype takes AA, AB, BA or BB";
        QTest::newRow("fault header")
            << QStringList{"--fail", "ROUT:NOPE"} << 0 << 2 << "no command has the header 'ROUT:NOPE'";
        QTest::newRow("fault code") << QStringList{"--fail", "*RST=-999"} << 0 << 2
                                    << "-999 is not an error code";
        QTest::newRow("SIGTERM") << serve << int(SIGTERM) << 0 << "ts4820sim: stopped";
        QTest::newRow("SIGINT") << serve << int(SIGINT) << 0 << "ts4820sim: stopped";
    }

    void commandLineAndSignals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, signal);
        QFETCH(QString, output);
        QProcess process;
        process.start(QStringLiteral(TS4820SIM), args);
        if (signal != 0) {
            QVERIFY(process.waitForReadyRead(10000)); // its banner: it serves
            ::kill(pid_t(process.processId()), signal);
        }
        QVERIFY(process.waitForFinished(10000));
        QTEST(process.exitCode(), "exitCode");
        const QString text = process.readAllStandardOutput() + process.readAllStandardError();
        for (const QString &part : output.split(',')) {
            QVERIFY2(text.contains(part), qPrintable(text));
        }
    }
};

QTEST_GUILESS_MAIN(TestSimProcess)
#include "test_sim_process.moc"
