// The VISA library against ts4820sim units on 127.0.0.30-39: 30-37 run for
// the whole test, 38 is started for each session, 39 stays empty. All
// listen on the first unit's portmapper port: the library knows one.
#include "simprocess.h"
#include "visasteps.h"

#include <QtTest>

#include <csignal>
#include <memory>
#include <thread>
#include <vector>

class TestVisaSim : public QObject
{
    Q_OBJECT

    std::vector<std::unique_ptr<SimProcess>> m_units;
    ViSession m_rm = VI_NULL;

    quint16 portmapper() const { return m_units.empty() ? 0 : m_units.front()->portmapper; }

private slots:
    void initTestCase()
    {
        qputenv("TS4820_VISA_DISCOVER", "off"); // no search beyond loopback
        qunsetenv("TS4820_VISA_LIBRARY");
        qputenv("TS4820_VISA_CONFIG", "/nonexistent/visa.conf");
        for (int n = 30; n < 38; ++n) {
            m_units.push_back(
                std::make_unique<SimProcess>(QString("127.0.0.%1").arg(n), QStringList(), portmapper()));
            QVERIFY(m_units.back()->running());
        }
        qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(portmapper()));
        QCOMPARE(viOpenDefaultRM(&m_rm), ViStatus(VI_SUCCESS));
    }

    void cleanupTestCase() { QCOMPARE(viClose(m_rm), ViStatus(VI_SUCCESS)); }

    // The panel's discovery: 128 threads at once through one manager, each
    // searching, then opening a session (8 VXI-11 links and 8 sockets a unit,
    // all it takes) and asking it five times.
    void manyThreadsThroughOneManager()
    {
        QByteArrayList all;
        for (const auto &unit : m_units) {
            all << unit->instr();
        }
        qputenv("TS4820_VISA_RESOURCES", all.join(';'));
        QString expected[128], done[128];
        std::vector<std::thread> threads;
        for (int i = 0; i < 128; ++i) {
            const SimProcess &unit = *m_units[std::size_t(i % 8)];
            const bool socket = i / 8 % 2;
            expected[i] = "find ?*INSTR = VI_SUCCESS " + all.join(' ') + "|open "
                          + (socket ? unit.socket() : unit.instr()) + "|set TERMCHAR_EN 1"
                          + QString("|write *IDN?\n|read = %1 Tarsel Ltd.,Xentra 4820-AB,4820%2,2.1.0\n")
                                .arg(socket ? "VI_SUCCESS_TERM_CHAR" : "VI_SUCCESS")
                                .arg(30 + i % 8, 4, 16, QChar('0'))
                                .repeated(5)
                          + "|close";
            threads.emplace_back([&, i] { done[i] = Steps{m_rm}.run(expected[i]); });
        }
        for (std::thread &thread : threads) {
            thread.join();
        }
        for (int i = 0; i < 128; ++i) {
            QCOMPARE(done[i], expected[i]);
        }
    }

    // A session step by step with a unit of its own on 127.0.0.38, started
    // with the options; %1 stands for its raw port. To the unit also kill,
    // restart, replace (the same unit on other ports), stop and continue.
    void sessions_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("steps");
        // END and the termination character on the same byte: END wins.
        const QString termChar =
            "|set TERMCHAR 44|set TERMCHAR_EN 1|write *IDN?\n|read = VI_SUCCESS_TERM_CHAR Tarsel "
            "Ltd.,|read 255 = VI_SUCCESS_TERM_CHAR Xentra 4820-AB,|set TERMCHAR 10|read 255 = ";
        QTest::newRow("term char, INSTR")
            << QStringList() << "open TCPIP::127.0.0.38::INSTR" + termChar + "VI_SUCCESS 48200026,2.1.0\n";
        QTest::newRow("term char, SOCKET")
            << QStringList()
            << "open TCPIP::127.0.0.38::%1::SOCKET" + termChar + "VI_SUCCESS_TERM_CHAR 48200026,2.1.0\n";
        // A value refused leaves the old one.
        QTest::newRow("attributes, INSTR")
            << QStringList()
            << "open TCPIP2::127.38::INSTR|get INTF_TYPE = VI_SUCCESS 6|get INTF_NUM = VI_SUCCESS 2|set INTF_NUM 1 = VI_ERROR_ATTR_READONLY|"
               "get SLOT = VI_SUCCESS 65535|get TMO_VALUE = VI_SUCCESS 2000|set TMO_VALUE 4294967295|"
               "get TMO_VALUE = VI_SUCCESS 4294967295|set TERMCHAR 256 = VI_ERROR_NSUP_ATTR_STATE|"
               "get TERMCHAR = VI_SUCCESS 10|set TERMCHAR_EN 2 = VI_ERROR_NSUP_ATTR_STATE|get TERMCHAR_EN = VI_SUCCESS 0|"
               "set RSRC_NAME 1 = VI_ERROR_ATTR_READONLY|get RSRC_NAME = VI_SUCCESS TCPIP2::127.38::inst0::INSTR|"
               "get TCPIP_HOSTNAME = VI_SUCCESS 127.38|get TCPIP_ADDR = VI_SUCCESS 127.0.0.38|"
               "get TCPIP_DEVICE_NAME = VI_SUCCESS inst0|set TCPIP_PORT 1 = VI_ERROR_NSUP_ATTR|"
               "get TCPIP_PORT = VI_ERROR_NSUP_ATTR|set UNKNOWN 1 = VI_ERROR_NSUP_ATTR|get UNKNOWN = VI_ERROR_NSUP_ATTR";
        QTest::newRow("attributes, SOCKET")
            << QStringList()
            << "open TCPIP::127.38::%1::SOCKET|get RSRC_NAME = VI_SUCCESS TCPIP0::127.38::%1::SOCKET|"
               "set TCPIP_PORT 1 = VI_ERROR_ATTR_READONLY|get TCPIP_PORT = VI_SUCCESS %1|"
               "get TCPIP_DEVICE_NAME = VI_ERROR_NSUP_ATTR|set TCPIP_DEVICE_NAME 1 = VI_ERROR_NSUP_ATTR";
        // A unit late or stopped: the call ends at the time-out, the session
        // stays usable. The reply left unread is discarded by the next
        // message; a late RPC reply is not taken for that of a later call.
        const QString recovers = "set TMO_VALUE 5000|write SYST:ERR?\n|"
                                 "read = VI_SUCCESS -410,\"Query INTERRUPTED\"\n|write *IDN?\n|"
                                 "read = VI_SUCCESS Tarsel Ltd.,Xentra 4820-AB,48200026,2.1.0\n";
        QTest::newRow("time-out, INSTR, unit 1.5 s late")
            << QStringList{"--latency", "1500"}
            << "open TCPIP::127.0.0.38::INSTR|set TMO_VALUE 300|write *IDN?\n|read = VI_ERROR_TMO|"
                   + recovers;
        // Opening waits as long as the default time-out.
        QTest::newRow("time-out, INSTR, unit stopped")
            << QStringList()
            << "open TCPIP::127.0.0.38::INSTR|set TMO_VALUE 300|stop|write *IDN?\n = VI_ERROR_TMO|"
               "open TCPIP::127.0.0.38::INSTR = VI_ERROR_TMO|continue|"
                   + recovers;
        // The late reply comes to the next read, which without the
        // termination character ends at its time-out with what came.
        QTest::newRow("time-out, SOCKET, unit 1.5 s late")
            << QStringList{"--latency", "1500"}
            << "open TCPIP::127.0.0.38::%1::SOCKET|set TMO_VALUE 300|write *IDN?\n|read = VI_ERROR_TMO|"
               "set TMO_VALUE 2500|read 255 = VI_ERROR_TMO Tarsel Ltd.,Xentra 4820-AB,48200026,2.1.0\n";
        QTest::newRow("refused or absent") << QStringList()
                                           << "open TCPIP::127.0.0.39::INSTR = VI_ERROR_RSRC_NFOUND|"
                                              "open TCPIP::127.0.0.39::5025::SOCKET = VI_ERROR_RSRC_NFOUND|"
                                              "open TCPIP::127.0.0.38::inst7::INSTR = VI_ERROR_RSRC_NFOUND";
        // A unit killed mid-session: calls fail. Back on the same ports, or
        // (found through the portmapper) on another core port than the one
        // remembered, it is used again from the next write on.
        const QString query = "|write *IDN?\n|read = %1 Tarsel Ltd.,Xentra 4820-AB,48200026,2.1.0\n",
                      lost = "|kill|write *IDN?\n = VI_ERROR_CONN_LOST|read 255 = VI_ERROR_CONN_LOST|restart";
        QTest::newRow("unit goes away and comes back, INSTR")
            << QStringList()
            << "open TCPIP::127.0.0.38::INSTR" + query.arg("VI_SUCCESS") + lost + query.arg("VI_SUCCESS")
                   + "|kill|replace" + query.arg("VI_SUCCESS");
        QTest::newRow("unit goes away and comes back, SOCKET")
            << QStringList()
            << "open TCPIP::127.0.0.38::%1::SOCKET|set TERMCHAR_EN 1" + query.arg("VI_SUCCESS_TERM_CHAR")
                   + lost + query.arg("VI_SUCCESS_TERM_CHAR");
        // A preset upload longer than one VXI-11 write of 16384 bytes (its
        // blank lines are skipped), read back: VI_SUCCESS_MAX_CNT until the
        // last piece. END and a full buffer together end an INSTR read, the
        // count alone a socket's. Its line ends are data: reads go to the count.
        const QByteArray preset = "configname=Long\nmainrelays=" + QByteArrayList(36, "00000000").join(',')
                                  + "\nvrefvolt=0.000000\nvrefrelays=0\n==alias==\nX1=First row",
                         upload = QByteArray(preset).insert(preset.indexOf("X1="), QByteArray(20000, '\n')),
                         readBack = "#3" + QByteArray::number(preset.size()) + preset + "\n"; // 410 bytes
        for (const char *resource : {"INSTR", "%1::SOCKET"}) {
            const bool instr = QString(resource) == "INSTR";
            QString steps = QString("open TCPIP::127.0.0.38::") + resource + "|write MEM:PRES:DATA #5"
                            + QByteArray::number(upload.size()) + upload
                            + "\n|write MEM:PRES:DATA? \"Long\"\n";
            for (int at = 0, n = instr ? 82 : readBack.size(); at < readBack.size(); at += n) {
                const bool end = at + n >= readBack.size() && instr;
                steps += QString("|read %1 = %2 ").arg(n).arg(end ? "VI_SUCCESS" : "VI_SUCCESS_MAX_CNT")
                         + readBack.mid(at, n);
            }
            QTest::newRow(instr ? "long transfer, INSTR, in pieces of 82" : "long transfer, SOCKET, at once")
                << QStringList() << steps;
        }
    }

    void sessions()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, steps);
        auto unit = std::make_unique<SimProcess>("127.0.0.38", options, portmapper());
        Steps session{m_rm};
        session.more = [&](const QString &verb) -> QString {
            if (verb == "replace") {
                const quint16 core = unit->core;
                unit = std::make_unique<SimProcess>(unit->address, QStringList(), portmapper());
                return unit->running() && unit->core != core ? "" : "not on another core port";
            }
            const int signal = verb == "stop" ? SIGSTOP : verb == "continue" ? SIGCONT : 0;
            const bool done = verb == "kill" ? unit->stop(SIGKILL) == -SIGKILL
                              : verb == "restart"
                                  ? unit->restart()
                                  : signal && ::kill(pid_t(unit->process.processId()), signal) == 0;
            return done ? "" : "failed";
        };
        steps.replace("%1", QString::number(unit->raw));
        QCOMPARE(session.run(steps), steps);
    }
};

QTEST_GUILESS_MAIN(TestVisaSim)
#include "test_visa_sim.moc"
