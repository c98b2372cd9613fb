// The VISA library against running ts4820sim units, on loopback addresses
// 127.0.0.30 to 127.0.0.39 only: 30-37 run for the whole test (each takes
// at most 16 connections), 38 and 39 are started by the tests that need
// them. All share one portmapper port, chosen free at the start, since the
// library knows one portmapper port.
#include "simprocess.h"
#include "visa.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int kUnits = 8; // 127.0.0.30 to 127.0.0.37

QString address(int lastByte) { return QStringLiteral("127.0.0.%1").arg(lastByte); }

// What a default unit on 127.0.0.<lastByte> answers to *IDN?.
QByteArray identification(int lastByte)
{
    return QString::asprintf("Tarsel Ltd.,Xentra 4820-AB,4820%04x,2.1.0\n", lastByte).toLatin1();
}

// A port free on every test address.
quint16 commonFreePort()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        QTcpServer first;
        bool free = first.listen(QHostAddress(address(30)), 0);
        for (int n = 31; n <= 39 && free; ++n) {
            free = QTcpServer().listen(QHostAddress(address(n)), first.serverPort());
        }
        if (free) {
            return first.serverPort();
        }
    }
    return 0;
}

ViStatus send(ViSession vi, const QByteArray &message)
{
    ViUInt32 written = 0;
    const ViStatus status =
        viWrite(vi, reinterpret_cast<ViConstBuf>(message.constData()), ViUInt32(message.size()), &written);
    return status == VI_SUCCESS && written != ViUInt32(message.size()) ? VI_ERROR_IO : status;
}

QByteArray readOnce(ViSession vi, ViUInt32 count, ViStatus *status)
{
    QByteArray buffer(int(count), '\0');
    ViUInt32 got = 12345;
    *status = viRead(vi, reinterpret_cast<ViPBuf>(buffer.data()), count, &got);
    return got <= count ? buffer.left(int(got)) : QByteArray("count out of range");
}

// One read of up to 64 KiB after the message.
QByteArray query(ViSession vi, const QByteArray &message, ViStatus *status)
{
    *status = send(vi, message);
    return *status < 0 ? QByteArray("write failed") : readOnce(vi, 65536, status);
}

QString hex(ViStatus status) { return QString::number(uint(status), 16); }

// Closes the session when the test function leaves, whatever way.
struct Closer
{
    ViSession vi = VI_NULL;
    ~Closer() { viClose(vi); } // VI_NULL: nothing done
};

} // namespace

class TestVisaSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void manyThreadsThroughOneManager();
    void termChar_data();
    void termChar();
    void attributes_data();
    void attributes();
    void longTransfers_data();
    void longTransfers();
    void timeOut_data();
    void timeOut();
    void refusedOrAbsent_data();
    void refusedOrAbsent();
    void unitGoesAway_data();
    void unitGoesAway();
    void closingTheManager();

private:
    QByteArray name(bool socket, int unit) const
    {
        return socket ? m_units[std::size_t(unit)]->socket() : m_units[std::size_t(unit)]->instr();
    }
    ViSession open(const QByteArray &name)
    {
        ViSession vi = VI_NULL;
        return viOpen(m_rm, name.constData(), VI_NULL, VI_NULL, &vi) == VI_SUCCESS ? vi : VI_NULL;
    }

    QTemporaryDir m_dir;
    quint16 m_portmapper = 0;
    std::vector<std::unique_ptr<SimProcess>> m_units;
    ViSession m_rm = VI_NULL;
};

void TestVisaSim::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY((m_portmapper = commonFreePort()) != 0);
    qunsetenv("TS4820_VISA_LIBRARY");
    qunsetenv("TS4820_VISA_RESOURCES");
    qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(m_portmapper));
    qputenv("TS4820_VISA_CONFIG", m_dir.filePath("absent.conf").toLocal8Bit());
    for (int n = 0; n < kUnits; ++n) {
        m_units.push_back(std::make_unique<SimProcess>(address(30 + n), QStringList(), m_portmapper));
        QVERIFY2(m_units.back()->running(), qPrintable(address(30 + n)));
    }
    QCOMPARE(viOpenDefaultRM(&m_rm), ViStatus(VI_SUCCESS));
}

void TestVisaSim::cleanupTestCase()
{
    QCOMPARE(viClose(m_rm), ViStatus(VI_SUCCESS));
    for (const auto &unit : m_units) {
        QVERIFY(unit->running()); // no test brought a unit down
    }
    m_units.clear();
}

// The panel's discovery: 128 threads at once through one resource
// manager, each searching, then opening a session and asking it.
void TestVisaSim::manyThreadsThroughOneManager()
{
    QByteArrayList all;
    for (int n = 0; n < kUnits; ++n) {
        all << name(false, n);
    }
    qputenv("TS4820_VISA_RESOURCES", all.join(';'));

    constexpr int kThreads = 128, kQueries = 5;
    std::mutex lock;
    QStringList problems;
    std::atomic<int> replies{0}, waiting{kThreads};
    const auto problem = [&](const QByteArray &what, ViStatus status) {
        std::lock_guard<std::mutex> guard(lock);
        problems << what + ": " + hex(status);
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        // Per unit 8 VXI-11 links and 8 sockets: its 16 connections.
        const int unit = i % kUnits;
        threads.emplace_back([&, unit, resource = name((i / kUnits) % 2 == 1, unit)] {
            for (--waiting; waiting > 0;) {
                std::this_thread::yield();
            }
            ViFindList list = VI_NULL;
            ViUInt32 count = 0;
            char desc[VI_FIND_BUFLEN];
            ViStatus status = viFindRsrc(m_rm, "?*INSTR", &list, &count, desc);
            for (ViUInt32 n = 1; n < count && status == VI_SUCCESS; ++n) {
                status = viFindNext(list, desc);
            }
            if (status != VI_SUCCESS || count != kUnits || viClose(list) != VI_SUCCESS) {
                problem("search, " + QByteArray::number(count) + " found", status);
            }
            ViSession vi = VI_NULL;
            if ((status = viOpen(m_rm, resource.constData(), VI_NULL, VI_NULL, &vi)) != VI_SUCCESS) {
                return problem(resource + ": viOpen", status);
            }
            viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE);
            for (int q = 0; q < kQueries; ++q) {
                const QByteArray reply = query(vi, "*IDN?\n", &status);
                if (reply == identification(30 + unit) && status >= 0) {
                    ++replies;
                } else {
                    problem(resource + ": " + reply, status);
                }
            }
            if ((status = viClose(vi)) != VI_SUCCESS) {
                problem(resource + ": viClose", status);
            }
        });
    }
    for (std::thread &t : threads) {
        t.join();
    }
    QCOMPARE(problems.join('\n'), QString());
    QCOMPARE(replies.load(), kThreads * kQueries);
}

void TestVisaSim::termChar_data()
{
    QTest::addColumn<bool>("socket");
    QTest::addColumn<int>("lastStatus");
    // With END and the termination character on the same byte, END wins.
    QTest::newRow("INSTR") << false << int(VI_SUCCESS);
    QTest::newRow("SOCKET") << true << int(VI_SUCCESS_TERM_CHAR);
}

// A read ends after the termination character; the rest of the reply
// waits for the next read.
void TestVisaSim::termChar()
{
    QFETCH(bool, socket);
    QFETCH(int, lastStatus);
    Closer s{open(name(socket, 0))};
    QVERIFY(s.vi != VI_NULL);
    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TERMCHAR, ','), ViStatus(VI_SUCCESS));
    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), ViStatus(VI_SUCCESS));
    ViStatus status = 0;
    QCOMPARE(query(s.vi, "*IDN?\n", &status), QByteArray("Tarsel Ltd.,"));
    QCOMPARE(status, ViStatus(VI_SUCCESS_TERM_CHAR));
    QCOMPARE(readOnce(s.vi, 255, &status), QByteArray("Xentra 4820-AB,"));
    QCOMPARE(status, ViStatus(VI_SUCCESS_TERM_CHAR));
    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TERMCHAR, '\n'), ViStatus(VI_SUCCESS));
    QCOMPARE(readOnce(s.vi, 255, &status), QByteArray("4820001e,2.1.0\n"));
    QCOMPARE(status, ViStatus(lastStatus));
}

// Each attribute is set (read-only ones too) and then read. A value refused
// leaves the old one.
void TestVisaSim::attributes_data()
{
    QTest::addColumn<bool>("socket");
    QTest::addColumn<uint>("attribute");
    QTest::addColumn<QVariant>("set"); // invalid: not set
    QTest::addColumn<int>("setStatus");
    QTest::addColumn<QVariant>("value"); // of the attribute's type; invalid: not supported

    const auto row = [](const char *tag, ViAttr attribute, const QVariant &set, int setStatus,
                        const QVariant &value) {
        QTest::newRow(tag) << QByteArray(tag).startsWith("SOCKET") << uint(attribute) << set << setStatus
                           << value;
    };
    const int ok = VI_SUCCESS, readOnly = VI_ERROR_ATTR_READONLY, nsup = VI_ERROR_NSUP_ATTR,
              badValue = VI_ERROR_NSUP_ATTR_STATE;
    const auto u16 = [](int v) { return QVariant::fromValue(ViUInt16(v)); };
    const auto u32 = [](ViUInt32 v) { return QVariant::fromValue(v); };
    const auto boolean = [](bool on) { return QVariant::fromValue(ViBoolean(on ? VI_TRUE : VI_FALSE)); };
    row("INSTR interface type", VI_ATTR_INTF_TYPE, 7, readOnly, u16(VI_INTF_TCPIP));
    row("INSTR board", VI_ATTR_INTF_NUM, 1, readOnly, u16(2));
    row("INSTR slot unknown", VI_ATTR_SLOT, 1, readOnly, QVariant::fromValue(ViInt16(VI_UNKNOWN_SLOT)));
    row("INSTR default time-out", VI_ATTR_TMO_VALUE, {}, ok, u32(2000));
    row("INSTR time-out infinite", VI_ATTR_TMO_VALUE, qulonglong(VI_TMO_INFINITE), ok, u32(VI_TMO_INFINITE));
    row("INSTR termination character too big", VI_ATTR_TERMCHAR, 256, badValue,
        QVariant::fromValue(ViUInt8('\n')));
    row("INSTR termination neither on nor off", VI_ATTR_TERMCHAR_EN, 2, badValue, boolean(false));
    row("INSTR resource name", VI_ATTR_RSRC_NAME, 1, readOnly, QByteArray("TCPIP2::127.30::inst0::INSTR"));
    row("INSTR host as written", VI_ATTR_TCPIP_HOSTNAME, 1, readOnly, QByteArray("127.30"));
    row("INSTR address", VI_ATTR_TCPIP_ADDR, 1, readOnly, QByteArray("127.0.0.30"));
    row("INSTR device", VI_ATTR_TCPIP_DEVICE_NAME, 1, readOnly, QByteArray("inst0"));
    row("INSTR has no port", VI_ATTR_TCPIP_PORT, 1, nsup, QVariant());
    row("INSTR unknown attribute", 0x3FFF0FFFu, 1, nsup, QVariant());
    row("SOCKET resource name", VI_ATTR_RSRC_NAME, {}, ok,
        "TCPIP0::127.30::" + QByteArray::number(m_units[0]->raw) + "::SOCKET");
    row("SOCKET port", VI_ATTR_TCPIP_PORT, 1, readOnly, u16(m_units[0]->raw));
    row("SOCKET termination on", VI_ATTR_TERMCHAR_EN, VI_TRUE, ok, boolean(true));
    row("SOCKET has no device", VI_ATTR_TCPIP_DEVICE_NAME, 1, nsup, QVariant());
}

void TestVisaSim::attributes()
{
    QFETCH(bool, socket);
    QFETCH(uint, attribute);
    QFETCH(QVariant, set);
    QFETCH(int, setStatus);
    QFETCH(QVariant, value);
    // "127.30" resolves to 127.0.0.30: the host name is kept as written.
    const QByteArray raw = QByteArray::number(m_units[0]->raw);
    Closer s{open(socket ? "TCPIP::127.30::" + raw + "::SOCKET" : QByteArray("TCPIP2::127.30::INSTR"))};
    QVERIFY(s.vi != VI_NULL);
    if (set.isValid()) {
        QCOMPARE(viSetAttribute(s.vi, attribute, ViAttrState(set.toULongLong())), ViStatus(setStatus));
    }
    char got[VI_FIND_BUFLEN];
    std::memset(got, '#', sizeof got);
    QCOMPARE(viGetAttribute(s.vi, attribute, got),
             ViStatus(value.isValid() ? VI_SUCCESS : VI_ERROR_NSUP_ATTR));
    if (value.typeId() == QMetaType::QByteArray) {
        QCOMPARE(QByteArray(got), value.toByteArray());
    } else if (value.isValid()) {
        QCOMPARE(QVariant(value.metaType(), got), value);
        QCOMPARE(got[value.metaType().sizeOf()], '#'); // a number takes its own width, no more
    }
}

void TestVisaSim::longTransfers_data()
{
    QTest::addColumn<bool>("socket");
    QTest::addColumn<int>("piece"); // 0: the whole reply's size
    QTest::addColumn<int>("lastStatus");
    QTest::newRow("INSTR, in pieces of 4096") << false << 4096 << int(VI_SUCCESS);
    // END and a full buffer together: the reply is complete.
    QTest::newRow("INSTR, exactly the reply") << false << 0 << int(VI_SUCCESS);
    // No END on a socket: the count ends the read.
    QTest::newRow("SOCKET, exactly the reply") << true << 0 << int(VI_SUCCESS_MAX_CNT);
}

// A preset upload of about 19 KB, more than one VXI-11 write of 16384, read
// back (9 KB) in pieces: VI_SUCCESS_MAX_CNT until the last. Its line ends
// are data: reads go to the count.
void TestVisaSim::longTransfers()
{
    QFETCH(bool, socket);
    QFETCH(int, piece);
    QFETCH(int, lastStatus);
    const QByteArray head = "configname=Long\nmainrelays=" + QByteArrayList(36, "00000000").join(',')
                            + "\nvrefvolt=0.000000\nvrefrelays=0\n==alias==\n";
    QByteArrayList names;
    for (const char *group : {"X", "Y"}) {
        for (int row = 1; row <= 192; ++row) {
            names << group + QByteArray::number(row) + "=Name of " + group + QByteArray::number(row);
        }
    }
    // Blank lines among the names are skipped: they make the upload long.
    const QByteArray upload = head + QByteArray(10000, '\n') + names.join('\n');
    const QByteArray data = head + names.join('\n'), length = QByteArray::number(data.size());
    const QByteArray readBack = "#" + QByteArray::number(length.size()) + length + data + "\n";
    piece = piece ? piece : readBack.size();

    Closer s{open(name(socket, 6))};
    QVERIFY(s.vi != VI_NULL);
    QCOMPARE(send(s.vi, "MEM:PRES:DATA #5" + QByteArray::number(upload.size()) + upload + "\n"),
             ViStatus(VI_SUCCESS));
    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), ViStatus(VI_SUCCESS));
    ViStatus status = 0;
    QCOMPARE(query(s.vi, "SYST:ERR?\n", &status), QByteArray("0,\"No error\"\n"));

    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TERMCHAR_EN, VI_FALSE), ViStatus(VI_SUCCESS));
    QCOMPARE(send(s.vi, "MEM:PRES:DATA? \"Long\"\n"), ViStatus(VI_SUCCESS));
    QList<int> statuses, expected;
    for (int left = readBack.size(); left > 0; left -= piece) {
        expected << (left > piece ? VI_SUCCESS_MAX_CNT : lastStatus);
    }
    QByteArray whole;
    for (status = VI_SUCCESS_MAX_CNT; status == VI_SUCCESS_MAX_CNT && statuses.size() < expected.size();) {
        whole += readOnce(s.vi, ViUInt32(piece), &status);
        statuses << status;
    }
    QCOMPARE(statuses, expected);
    QCOMPARE(whole, readBack);
}

void TestVisaSim::timeOut_data()
{
    QTest::addColumn<bool>("socket");
    QTest::addColumn<bool>("stopped");
    QTest::newRow("INSTR, unit 1.5 s late") << false << false;
    QTest::newRow("SOCKET, unit 1.5 s late") << true << false;
    QTest::newRow("INSTR, unit stopped") << false << true;
}

// A session waiting 0.3 s for a unit that answers late or not at all: the
// call ends with VI_ERROR_TMO and the session stays usable.
void TestVisaSim::timeOut()
{
    QFETCH(bool, socket);
    QFETCH(bool, stopped);
    SimProcess unit(address(38), stopped ? QStringList() : QStringList{"--latency", "1500"}, m_portmapper);
    QVERIFY(unit.running());
    Closer s{open(socket ? unit.socket() : unit.instr())};
    QVERIFY(s.vi != VI_NULL);
    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 300), ViStatus(VI_SUCCESS));
    ViStatus status = 0;
    if (stopped) {
        const pid_t pid = pid_t(unit.process.processId());
        QCOMPARE(::kill(pid, SIGSTOP), 0);
        QCOMPARE(send(s.vi, "*IDN?\n"), ViStatus(VI_ERROR_TMO));
        // Opening waits for the portmapper as long as the default time-out.
        ViSession late = 5;
        QCOMPARE(viOpen(m_rm, unit.instr().constData(), VI_NULL, VI_NULL, &late), ViStatus(VI_ERROR_TMO));
        QCOMPARE(late, ViSession(VI_NULL));
        QCOMPARE(::kill(pid, SIGCONT), 0);
    } else {
        QCOMPARE(query(s.vi, "*IDN?\n", &status), QByteArray());
        QCOMPARE(status, ViStatus(VI_ERROR_TMO));
    }
    if (socket) {
        // The late reply comes to the next read, which without the
        // termination character ends at its time-out with what came.
        QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 2500), ViStatus(VI_SUCCESS));
        QCOMPARE(readOnce(s.vi, 255, &status), identification(38));
        QCOMPARE(status, ViStatus(VI_ERROR_TMO));
    } else {
        // The unit left the reply unread, and the next message discards
        // it; a late RPC reply is not taken for that of a later call.
        QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 5000), ViStatus(VI_SUCCESS));
        QCOMPARE(query(s.vi, "SYST:ERR?\n", &status), QByteArray("-410,\"Query INTERRUPTED\"\n"));
        QCOMPARE(query(s.vi, "*IDN?\n", &status), identification(38));
        QCOMPARE(status, ViStatus(VI_SUCCESS));
    }
}

void TestVisaSim::refusedOrAbsent_data()
{
    QTest::addColumn<QByteArray>("resource");
    QTest::newRow("no unit, INSTR") << QByteArray("TCPIP::127.0.0.39::INSTR");
    QTest::newRow("no unit, SOCKET") << QByteArray("TCPIP::127.0.0.39::5025::SOCKET");
    QTest::newRow("unit without that device") << QByteArray("TCPIP::127.0.0.30::inst7::INSTR");
}

void TestVisaSim::refusedOrAbsent()
{
    QFETCH(QByteArray, resource);
    ViSession vi = 77;
    QCOMPARE(viOpen(m_rm, resource.constData(), VI_NULL, VI_NULL, &vi), ViStatus(VI_ERROR_RSRC_NFOUND));
    QCOMPARE(vi, ViSession(VI_NULL));
}

void TestVisaSim::unitGoesAway_data()
{
    QTest::addColumn<bool>("socket");
    QTest::addColumn<bool>("restarted");
    QTest::addColumn<bool>("newCorePort");
    QTest::newRow("INSTR, killed") << false << false << false;
    QTest::newRow("SOCKET, killed") << true << false << false;
    QTest::newRow("INSTR, restarted") << false << true << false;
    QTest::newRow("SOCKET, restarted") << true << true << false;
    // The port remembered from the first open leads nowhere now.
    QTest::newRow("INSTR, back on another core port") << false << true << true;
}

// A unit killed mid-session: calls fail. Restarted on the same ports, it is
// used again from the next write on.
void TestVisaSim::unitGoesAway()
{
    QFETCH(bool, socket);
    QFETCH(bool, restarted);
    QFETCH(bool, newCorePort);
    SimProcess unit(address(39), {}, m_portmapper);
    QVERIFY(unit.running());
    Closer s{open(socket ? unit.socket() : unit.instr())};
    QVERIFY(s.vi != VI_NULL);
    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), ViStatus(VI_SUCCESS));
    ViStatus status = 0;
    QCOMPARE(query(s.vi, "*IDN?\n", &status), identification(39));
    QCOMPARE(unit.stop(SIGKILL), -SIGKILL);
    if (restarted) {
        std::unique_ptr<SimProcess> again;
        if (newCorePort) {
            again = std::make_unique<SimProcess>(address(39), QStringList(), m_portmapper);
            QVERIFY(again->running() && again->core != unit.core);
        } else {
            QVERIFY(unit.restart());
        }
        QCOMPARE(query(s.vi, "*IDN?\n", &status), identification(39));
        QCOMPARE(status, ViStatus(socket ? VI_SUCCESS_TERM_CHAR : VI_SUCCESS));
        return;
    }
    const QList<ViStatus> lost{VI_ERROR_CONN_LOST, VI_ERROR_IO};
    QVERIFY2(lost.contains(status = send(s.vi, "*IDN?\n")), qPrintable(hex(status)));
    readOnce(s.vi, 255, &status);
    QVERIFY2(lost.contains(status), qPrintable(hex(status)));
}

// Closing a manager closes its sessions. A read blocked in one ends then,
// not at its time-out (VI_ERROR_TMO, 20 s later); sessions of other
// managers go on meanwhile.
void TestVisaSim::closingTheManager()
{
    ViSession rm = VI_NULL, vi = VI_NULL;
    QCOMPARE(viOpenDefaultRM(&rm), ViStatus(VI_SUCCESS));
    QCOMPARE(viOpen(rm, name(false, 7).constData(), VI_NULL, VI_NULL, &vi), ViStatus(VI_SUCCESS));
    QCOMPARE(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 20000), ViStatus(VI_SUCCESS));
    std::atomic<bool> reading{false};
    ViStatus status = VI_SUCCESS;
    std::thread reader([&] {
        reading = true;
        readOnce(vi, 255, &status); // nothing was asked: the unit has no reply
    });
    QTRY_VERIFY(reading);
    QTest::qWait(300);
    Closer other{open(name(false, 6))};
    ViStatus otherStatus = 0;
    QCOMPARE(query(other.vi, "*IDN?\n", &otherStatus), identification(36));
    QCOMPARE(viClose(rm), ViStatus(VI_SUCCESS));
    reader.join();
    const QList<ViStatus> ended{VI_ERROR_CONN_LOST, VI_ERROR_IO, VI_ERROR_INV_OBJECT};
    QVERIFY2(ended.contains(status), qPrintable(hex(status)));
    QCOMPARE(send(vi, "*IDN?\n"), ViStatus(VI_ERROR_INV_OBJECT));
    QCOMPARE(viClose(vi), ViStatus(VI_ERROR_INV_OBJECT));
}

QTEST_GUILESS_MAIN(TestVisaSim)
#include "test_visa_sim.moc"
