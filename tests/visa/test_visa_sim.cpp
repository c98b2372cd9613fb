// The VISA library against ts4820sim units on 127.0.0.30-39: 30-37 run for
// the whole test, 38 and 39 are started by the rows that need them. All
// listen on the first unit's portmapper port: the library knows one.
#include "simprocess.h"
#include "visa.h"

#include <QtTest>

#include <csignal>
#include <memory>
#include <thread>
#include <vector>

namespace {

// A status by its name, as its text begins.
QString named(ViStatus status)
{
    char text[VI_FIND_BUFLEN];
    viStatusDesc(VI_NULL, status, text);
    return QString(text).section(':', 0, 0);
}

// The status, then the bytes.
QString read(ViSession vi, ViUInt32 count)
{
    QByteArray buffer(int(count), '\0');
    ViUInt32 n = 0;
    const ViStatus s = viRead(vi, reinterpret_cast<ViPBuf>(buffer.data()), count, &n);
    return named(s) + (n ? " " + QString::fromLatin1(buffer.left(int(std::min(n, count)))) : "");
}

// With the width of its value in bytes, 0 for text.
#define ATTRIBUTE(name, width) std::pair(QString(#name), qMakePair(ViAttr(VI_ATTR_##name), width))
const QHash<QString, QPair<ViAttr, int>> kAttributes{
    ATTRIBUTE(INTF_TYPE, 2),      ATTRIBUTE(INTF_NUM, 2),         ATTRIBUTE(SLOT, 2),
    ATTRIBUTE(TMO_VALUE, 4),      ATTRIBUTE(TERMCHAR, 1),         ATTRIBUTE(TERMCHAR_EN, 2),
    ATTRIBUTE(RSRC_NAME, 0),      ATTRIBUTE(TCPIP_ADDR, 0),       ATTRIBUTE(TCPIP_PORT, 2),
    ATTRIBUTE(TCPIP_HOSTNAME, 0), ATTRIBUTE(TCPIP_DEVICE_NAME, 0)};

} // namespace

class TestVisaSim : public QObject
{
    Q_OBJECT

    std::vector<std::unique_ptr<SimProcess>> m_units;
    ViSession m_rm = VI_NULL;

    quint16 portmapper() const { return m_units.empty() ? 0 : m_units.front()->portmapper; }

    // Runs the steps ("step = what it gave", apart by |; a plain VI_SUCCESS
    // goes without saying) and tells what each gave the same way: find
    // EXPRESSION, open RESOURCE (the session from then on), write TEXT, read
    // [COUNT], set or get ATTRIBUTE, close; and to the unit kill, restart,
    // replace (the same unit on other ports), stop and continue.
    QString run(const QString &steps, std::unique_ptr<SimProcess> *unit = nullptr) const
    {
        ViSession vi = VI_NULL;
        QStringList done;
        for (const QString &step : steps.split('|')) {
            const QString command = step.section(" = ", 0, 0), verb = command.section(' ', 0, 0),
                          argument = command.section(' ', 1);
            // Any other name: an attribute the library does not know.
            const auto [attribute, width] = kAttributes.value(argument.section(' ', 0, 0), {0x3FFF0FFF, 4});
            char got[VI_FIND_BUFLEN + 1] = {}; // a number read takes its width, no more
            std::memset(got, '#', VI_FIND_BUFLEN);
            ViUInt32 count = 0;
            ViSession other = 0xFFFFFFFF;
            QString result = "unknown";
            if (verb == "find") {
                ViFindList list = VI_NULL;
                result = named(viFindRsrc(m_rm, qPrintable(argument), &list, &count, got));
                result += QString(" %1 ").arg(count) + named(viClose(list));
            } else if (verb == "open") {
                result = named(viOpen(m_rm, qPrintable(argument), VI_NULL, VI_NULL, &other));
                result += other == 0xFFFFFFFF ? " and the handle kept" : "";
                vi = result == "VI_SUCCESS" ? other : vi;
            } else if (verb == "write") {
                result = named(viWrite(vi, reinterpret_cast<ViConstBuf>(qPrintable(argument)),
                                       ViUInt32(argument.size()), &count));
                result += count == ViUInt32(argument.size()) || result != "VI_SUCCESS" ? "" : " but short";
            } else if (verb == "read") {
                result = read(vi, argument.isEmpty() ? 65536 : argument.toUInt());
            } else if (verb == "set") {
                result = named(viSetAttribute(vi, attribute, argument.section(' ', 1).toULong()));
            } else if (verb == "get") {
                const ViStatus status = viGetAttribute(vi, attribute, got);
                quint32 value = 0;
                std::memcpy(&value, got, size_t(width));
                const QString number = QString::number(value) + (got[width] == '#' ? "" : " and more");
                result = named(status) + (status < 0 ? "" : " " + (width ? number : QString(got)));
            } else if (verb == "close") {
                result = named(viClose(vi));
            } else if (unit && (verb == "kill" || verb == "restart")) {
                result = (verb == "kill" ? (*unit)->stop(SIGKILL) == -SIGKILL : (*unit)->restart())
                             ? ""
                             : "failed";
            } else if (unit && verb == "replace") {
                const quint16 core = (*unit)->core;
                unit->reset(new SimProcess((*unit)->address, {}, portmapper()));
                result = (*unit)->running() && (*unit)->core != core ? "" : "not on another core port";
            } else if (unit && (verb == "stop" || verb == "continue")) {
                const int signal = verb == "stop" ? SIGSTOP : SIGCONT;
                result = ::kill(pid_t((*unit)->process.processId()), signal) == 0 ? "" : "failed";
            }
            done << (result.isEmpty() || result == "VI_SUCCESS" ? command : command + " = " + result);
        }
        viClose(vi);
        return done.join('|');
    }

private slots:
    void initTestCase()
    {
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
            expected[i] = "find ?*INSTR = VI_SUCCESS 8 VI_SUCCESS|open "
                          + (socket ? unit.socket() : unit.instr()) + "|set TERMCHAR_EN 1"
                          + QString("|write *IDN?\n|read = %1 Tarsel Ltd.,Xentra 4820-AB,4820%2,2.1.0\n")
                                .arg(socket ? "VI_SUCCESS_TERM_CHAR" : "VI_SUCCESS")
                                .arg(30 + i % 8, 4, 16, QChar('0'))
                                .repeated(5)
                          + "|close";
            threads.emplace_back([&, i] { done[i] = run(expected[i]); });
        }
        for (std::thread &thread : threads) {
            thread.join();
        }
        for (int i = 0; i < 128; ++i) {
            QCOMPARE(done[i], expected[i]);
        }
    }

    // A session step by step; %1 stands for the unit's raw port.
    void sessions_data()
    {
        QTest::addColumn<int>("unit"); // 38, 39: started for the row, with the options
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("steps");
        // END and the termination character on the same byte: END wins.
        const QString termChar =
            "|set TERMCHAR 44|set TERMCHAR_EN 1|write *IDN?\n|read = VI_SUCCESS_TERM_CHAR Tarsel "
            "Ltd.,|read 255 = VI_SUCCESS_TERM_CHAR Xentra 4820-AB,|set TERMCHAR 10|read 255 = ";
        QTest::newRow("term char, INSTR")
            << 30 << QStringList()
            << "open TCPIP::127.0.0.30::INSTR" + termChar + "VI_SUCCESS 4820001e,2.1.0\n";
        QTest::newRow("term char, SOCKET")
            << 30 << QStringList()
            << "open TCPIP::127.0.0.30::%1::SOCKET" + termChar + "VI_SUCCESS_TERM_CHAR 4820001e,2.1.0\n";
        // A value refused leaves the old one.
        QTest::newRow("attributes, INSTR")
            << 30 << QStringList()
            << "open TCPIP2::127.30::INSTR|get INTF_TYPE = VI_SUCCESS 6|get INTF_NUM = VI_SUCCESS 2|set INTF_NUM 1 = VI_ERROR_ATTR_READONLY|"
               "get SLOT = VI_SUCCESS 65535|get TMO_VALUE = VI_SUCCESS 2000|set TMO_VALUE 4294967295|"
               "get TMO_VALUE = VI_SUCCESS 4294967295|set TERMCHAR 256 = VI_ERROR_NSUP_ATTR_STATE|"
               "get TERMCHAR = VI_SUCCESS 10|set TERMCHAR_EN 2 = VI_ERROR_NSUP_ATTR_STATE|get TERMCHAR_EN = VI_SUCCESS 0|"
               "set RSRC_NAME 1 = VI_ERROR_ATTR_READONLY|get RSRC_NAME = VI_SUCCESS TCPIP2::127.30::inst0::INSTR|"
               "get TCPIP_HOSTNAME = VI_SUCCESS 127.30|get TCPIP_ADDR = VI_SUCCESS 127.0.0.30|"
               "get TCPIP_DEVICE_NAME = VI_SUCCESS inst0|set TCPIP_PORT 1 = VI_ERROR_NSUP_ATTR|"
               "get TCPIP_PORT = VI_ERROR_NSUP_ATTR|set UNKNOWN 1 = VI_ERROR_NSUP_ATTR|get UNKNOWN = VI_ERROR_NSUP_ATTR";
        QTest::newRow("attributes, SOCKET")
            << 30 << QStringList()
            << "open TCPIP::127.30::%1::SOCKET|get RSRC_NAME = VI_SUCCESS TCPIP0::127.30::%1::SOCKET|"
               "set TCPIP_PORT 1 = VI_ERROR_ATTR_READONLY|get TCPIP_PORT = VI_SUCCESS %1|"
               "get TCPIP_DEVICE_NAME = VI_ERROR_NSUP_ATTR";
        // A unit late or stopped: the call ends at the time-out, the session
        // stays usable. The reply left unread is discarded by the next
        // message; a late RPC reply is not taken for that of a later call.
        const QString recovers = "set TMO_VALUE 5000|write SYST:ERR?\n|"
                                 "read = VI_SUCCESS -410,\"Query INTERRUPTED\"\n|write *IDN?\n|"
                                 "read = VI_SUCCESS Tarsel Ltd.,Xentra 4820-AB,48200026,2.1.0\n";
        QTest::newRow("time-out, INSTR, unit 1.5 s late")
            << 38 << QStringList{"--latency", "1500"}
            << "open TCPIP::127.0.0.38::INSTR|set TMO_VALUE 300|write *IDN?\n|read = VI_ERROR_TMO|"
                   + recovers;
        // Opening waits as long as the default time-out.
        QTest::newRow("time-out, INSTR, unit stopped")
            << 38 << QStringList()
            << "open TCPIP::127.0.0.38::INSTR|set TMO_VALUE 300|stop|write *IDN?\n = VI_ERROR_TMO|"
               "open TCPIP::127.0.0.38::INSTR = VI_ERROR_TMO|continue|"
                   + recovers;
        // The late reply comes to the next read, which without the
        // termination character ends at its time-out with what came.
        QTest::newRow("time-out, SOCKET, unit 1.5 s late")
            << 38 << QStringList{"--latency", "1500"}
            << "open TCPIP::127.0.0.38::%1::SOCKET|set TMO_VALUE 300|write *IDN?\n|read = VI_ERROR_TMO|"
               "set TMO_VALUE 2500|read 255 = VI_ERROR_TMO Tarsel Ltd.,Xentra 4820-AB,48200026,2.1.0\n";
        QTest::newRow("refused or absent") << 30 << QStringList()
                                           << "open TCPIP::127.0.0.39::INSTR = VI_ERROR_RSRC_NFOUND|"
                                              "open TCPIP::127.0.0.39::5025::SOCKET = VI_ERROR_RSRC_NFOUND|"
                                              "open TCPIP::127.0.0.30::inst7::INSTR = VI_ERROR_RSRC_NFOUND";
        // A unit killed mid-session: calls fail. Back on the same ports, or
        // (found through the portmapper) on another core port than the one
        // remembered, it is used again from the next write on.
        const QString query = "|write *IDN?\n|read = %1 Tarsel Ltd.,Xentra 4820-AB,48200027,2.1.0\n",
                      lost = "|kill|write *IDN?\n = VI_ERROR_CONN_LOST|read 255 = VI_ERROR_CONN_LOST|restart";
        QTest::newRow("unit goes away and comes back, INSTR")
            << 39 << QStringList()
            << "open TCPIP::127.0.0.39::INSTR" + query.arg("VI_SUCCESS") + lost + query.arg("VI_SUCCESS")
                   + "|kill|replace" + query.arg("VI_SUCCESS");
        QTest::newRow("unit goes away and comes back, SOCKET")
            << 39 << QStringList()
            << "open TCPIP::127.0.0.39::%1::SOCKET|set TERMCHAR_EN 1" + query.arg("VI_SUCCESS_TERM_CHAR")
                   + lost + query.arg("VI_SUCCESS_TERM_CHAR");
        // A preset upload longer than one VXI-11 write of 16384 bytes (its
        // blank lines are skipped), read back in pieces: VI_SUCCESS_MAX_CNT
        // until the last. END and a full buffer together end an INSTR read, the
        // count alone a socket's. Its line ends are data: reads go to the count.
        const QByteArray preset = "configname=Long\nmainrelays=" + QByteArrayList(36, "00000000").join(',')
                                  + "\nvrefvolt=0.000000\nvrefrelays=0\n==alias==\nX1=First row",
                         upload = QByteArray(preset).insert(preset.indexOf("X1="), QByteArray(20000, '\n')),
                         readBack = "#3" + QByteArray::number(preset.size()) + preset + "\n";
        for (const auto &[tag, resource, piece] :
             {std::tuple("long transfer, INSTR, in pieces of 128", "INSTR", 128),
              std::tuple("long transfer, INSTR, exactly the reply", "INSTR", 0),
              std::tuple("long transfer, SOCKET, exactly the reply", "%1::SOCKET", 0)}) {
            QString steps = QString("open TCPIP::127.0.0.36::") + resource + "|write MEM:PRES:DATA #5"
                            + QByteArray::number(upload.size()) + upload
                            + "\n|write MEM:PRES:DATA? \"Long\"\n";
            for (int at = 0, n = piece ? piece : readBack.size(); at < readBack.size(); at += n) {
                const bool end = at + n >= readBack.size() && QString(resource) == "INSTR";
                steps += QString("|read %1 = %2 ").arg(n).arg(end ? "VI_SUCCESS" : "VI_SUCCESS_MAX_CNT")
                         + readBack.mid(at, n);
            }
            QTest::newRow(tag) << 36 << QStringList() << steps;
        }
    }

    void sessions()
    {
        QFETCH(int, unit);
        QFETCH(QStringList, options);
        QFETCH(QString, steps);
        std::unique_ptr<SimProcess> own(
            unit < 38 ? nullptr : new SimProcess(QString("127.0.0.%1").arg(unit), options, portmapper()));
        steps.replace("%1", QString::number((own ? own : m_units[std::size_t(unit - 30)])->raw));
        QCOMPARE(run(steps, own ? &own : nullptr), steps);
    }

    // Closing a manager closes its sessions. A read blocked in one ends then,
    // not at its time-out (20 s); sessions of other managers go on meanwhile.
    void closingTheManager()
    {
        ViSession rm = VI_NULL, vi = VI_NULL;
        QCOMPARE(viOpenDefaultRM(&rm), ViStatus(VI_SUCCESS));
        QCOMPARE(viOpen(rm, m_units[7]->instr(), VI_NULL, VI_NULL, &vi), ViStatus(VI_SUCCESS));
        viSetAttribute(vi, VI_ATTR_TMO_VALUE, 20000);
        QString blocked;
        std::thread reader([&] { blocked = read(vi, 255); }); // nothing asked: no reply comes
        QTest::qWait(300);
        const QString other =
            "open " + m_units[6]->instr()
            + "|write *IDN?\n|read = VI_SUCCESS Tarsel Ltd.,Xentra 4820-AB,48200024,2.1.0\n";
        QCOMPARE(run(other), other);
        QCOMPARE(viClose(rm), ViStatus(VI_SUCCESS));
        reader.join();
        QVERIFY2(QStringList({"VI_ERROR_CONN_LOST", "VI_ERROR_IO", "VI_ERROR_INV_OBJECT"}).contains(blocked),
                 qPrintable(blocked));
        QCOMPARE(viClose(vi), ViStatus(VI_ERROR_INV_OBJECT));
    }
};

QTEST_GUILESS_MAIN(TestVisaSim)
#include "test_visa_sim.moc"
