// The VISA library against running ts4820sim units, on loopback addresses
// 127.0.0.30 to 127.0.0.39 only: 30-37 run for the whole test (each takes
// at most 16 connections), 38 and 39 are started, killed or left empty by
// the tests that need them. All units share one portmapper port, chosen
// free at the start, since the library knows one portmapper port.
#include "visa.h"

#include <QProcess>
#include <QRegularExpression>
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

QString address(int lastByte)
{
    return QStringLiteral("127.0.0.%1").arg(lastByte);
}

// What a default unit on 127.0.0.<lastByte> answers to *IDN?.
QByteArray identification(int lastByte)
{
    return QString::asprintf("Tarsel Ltd.,Xentra 4820-AB,4820%04x,2.1.0\n", lastByte).toLatin1();
}

class Unit
{
public:
    Unit(int lastByte, quint16 portmapper, const QStringList &extra = {})
    {
        process.setProgram(QStringLiteral(TS4820SIM));
        process.setArguments(QStringList{"--address", address(lastByte), "--portmapper-port",
                                         QString::number(portmapper), "--raw-port", "0"}
                             + extra);
        process.start();
        QElapsedTimer waited;
        waited.start();
        while (!process.canReadLine() && process.state() != QProcess::NotRunning
               && waited.elapsed() < 10000)
            process.waitForReadyRead(100);
        const QRegularExpressionMatch m =
            QRegularExpression("portmapper (\\d+), core channel (\\d+); raw SCPI (\\d+)")
                .match(QString::fromUtf8(process.readLine()));
        if (m.hasMatch())
            raw = m.captured(3).toUShort();
    }
    ~Unit() { kill(); }
    bool running() const { return raw != 0 && process.state() == QProcess::Running; }
    void kill()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }

    QProcess process;
    quint16 raw = 0;
};

// A port free on every test address.
quint16 commonFreePort()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        QTcpServer first;
        if (!first.listen(QHostAddress(address(30)), 0))
            return 0;
        const quint16 port = first.serverPort();
        bool free = true;
        for (int n = 31; n <= 39 && free; ++n) {
            QTcpServer other;
            free = other.listen(QHostAddress(address(n)), port);
        }
        if (free)
            return port;
    }
    return 0;
}

ViStatus send(ViSession vi, const QByteArray &message)
{
    ViUInt32 written = 0;
    const ViStatus status = viWrite(vi, reinterpret_cast<ViConstBuf>(message.constData()),
                                    ViUInt32(message.size()), &written);
    return status == VI_SUCCESS && written != ViUInt32(message.size()) ? VI_ERROR_IO : status;
}

QByteArray readOnce(ViSession vi, ViUInt32 count, ViStatus *status)
{
    QByteArray buffer(int(count), '\0');
    ViUInt32 got = 12345;
    *status = viRead(vi, reinterpret_cast<ViPBuf>(buffer.data()), count, &got);
    return got <= count ? buffer.left(int(got)) : QByteArray("count out of range");
}

// One read of up to 64 KiB after the message; an error status as text.
QByteArray query(ViSession vi, const QByteArray &message, ViStatus *status)
{
    *status = send(vi, message);
    if (*status < 0)
        return QByteArray("write failed");
    return readOnce(vi, 65536, status);
}

// Closes the session when the test function leaves, whatever way.
struct Closer
{
    ViSession vi = VI_NULL;
    ~Closer()
    {
        if (vi != VI_NULL)
            viClose(vi);
    }
};

// A preset upload of about 26 KB (over one VXI-11 write of 16384) that
// names every X and Y line three times; the unit keeps the last names.
struct LongPreset
{
    QByteArray message;  // MEM:PRES:DATA <block>
    QByteArray readBack; // what MEM:PRES:DATA? returns afterwards
};

LongPreset longPreset(const QByteArray &name)
{
    QByteArrayList words;
    for (quint32 i = 0; i < 36; ++i)
        words << QByteArray::number(i * 0x01010101u, 16).rightJustified(8, '0');
    const QByteArray head = "configname=" + name + "\nmainrelays=" + words.join(',')
                            + "\nvrefvolt=0.000000\nvrefrelays=0\n==alias==\n";
    QByteArrayList lines, finals;
    for (const char *group : {"X", "Y"})
        for (int row = 1; row <= 192; ++row)
            lines << group + QByteArray::number(row);
    QByteArray upload = head;
    for (int pass = 1; pass <= 2; ++pass)
        for (const QByteArray &line : lines)
            upload += line + "=draft " + QByteArray::number(pass) + " of " + line + "\n";
    for (const QByteArray &line : lines)
        finals << line + "=Final name of " + line;
    upload += finals.join('\n');
    const QByteArray data = head + finals.join('\n');
    const QByteArray length = QByteArray::number(data.size());
    return {"MEM:PRES:DATA #5" + QByteArray::number(upload.size()).rightJustified(5, '0') + upload + "\n",
            "#" + QByteArray::number(length.size()) + length + data + "\n"};
}

} // namespace

class TestVisaSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void manyThreadsThroughOneManager();
    void identify_data();
    void identify();
    void attributes_data();
    void attributes();
    void settableAttributes_data();
    void settableAttributes();
    void longTransfers_data();
    void longTransfers();
    void readInPieces_data();
    void readInPieces();
    void termChar_data();
    void termChar();
    void socketReadEndsAtTheTimeOut();
    void timeOut_data();
    void timeOut();
    void unitThatStopsAnswering();
    void refusedOrAbsent_data();
    void refusedOrAbsent();
    void unitKilledMidSession_data();
    void unitKilledMidSession();
    void closeEndsABlockedRead();
    void search();
    void closingTheManagerReleasesTheLinks();
    void staleHandlesAreRefused();

private:
    QString descriptor(QString text, int unit = 0) const
    {
        return text.replace("RAW", QString::number(m_units[std::size_t(unit)]->raw));
    }

    QTemporaryDir m_dir;
    quint16 m_portmapper = 0;
    std::vector<std::unique_ptr<Unit>> m_units;
    ViSession m_rm = VI_NULL;
};

void TestVisaSim::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_portmapper = commonFreePort();
    QVERIFY(m_portmapper != 0);
    qunsetenv("TS4820_VISA_LIBRARY");
    qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(m_portmapper));
    qputenv("XDG_CONFIG_HOME", m_dir.filePath("xdg").toLocal8Bit());
    for (int n = 0; n < kUnits; ++n) {
        m_units.push_back(std::make_unique<Unit>(30 + n, m_portmapper));
        QVERIFY2(m_units.back()->running(), qPrintable(address(30 + n)));
    }
    QCOMPARE(viOpenDefaultRM(&m_rm), ViStatus(VI_SUCCESS));
}

void TestVisaSim::cleanupTestCase()
{
    QCOMPARE(viClose(m_rm), ViStatus(VI_SUCCESS));
    for (const auto &unit : m_units)
        QVERIFY(unit->running()); // no test brought a unit down
    m_units.clear();
}

void TestVisaSim::init()
{
    qputenv("TS4820_VISA_CONFIG", m_dir.filePath("absent.conf").toLocal8Bit());
    qunsetenv("TS4820_VISA_RESOURCES");
}

// The panel's discovery: one session per resource, up to 128 threads at
// once, all through one resource manager; searches run meanwhile.
void TestVisaSim::manyThreadsThroughOneManager()
{
    QByteArrayList all;
    for (int n = 0; n < kUnits; ++n)
        all << "TCPIP::" + address(30 + n).toLatin1() + "::INSTR";
    qputenv("TS4820_VISA_RESOURCES", all.join(';'));

    constexpr int kThreads = 128, kQueries = 5, kSearchers = 4;
    std::mutex lock;
    QStringList problems;
    std::atomic<int> replies{0}, searches{0}, waiting{kThreads + kSearchers};
    const auto problem = [&](const QString &text) {
        std::lock_guard<std::mutex> guard(lock);
        problems << text;
    };
    const auto startTogether = [&] {
        --waiting;
        while (waiting > 0)
            std::this_thread::yield();
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        // Per unit 8 VXI-11 links and 8 sockets: its 16 connections.
        const int unit = i % kUnits;
        const bool socket = (i / kUnits) % 2 == 1;
        const QByteArray name = (socket ? descriptor("TCPIP::%1::RAW::SOCKET", unit)
                                        : QStringLiteral("TCPIP0::%1::inst0::INSTR"))
                                    .arg(address(30 + unit))
                                    .toLatin1();
        threads.emplace_back([&, name, unit, socket] {
            startTogether();
            ViSession vi = VI_NULL;
            const ViStatus opened = viOpen(m_rm, name.constData(), VI_NULL, VI_NULL, &vi);
            if (opened != VI_SUCCESS)
                return problem(QString::asprintf("%s: viOpen %08x", name.constData(), unsigned(opened)));
            if (socket)
                viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE);
            for (int q = 0; q < kQueries; ++q) {
                ViStatus status = 0;
                const QByteArray reply = query(vi, "*IDN?\n", &status);
                if (reply == identification(30 + unit) && status >= 0)
                    ++replies;
                else
                    problem(QString::asprintf("%s: %08x %s", name.constData(), unsigned(status),
                                              reply.constData()));
            }
            const ViStatus closed = viClose(vi);
            if (closed != VI_SUCCESS)
                problem(QString::asprintf("%s: viClose %08x", name.constData(), unsigned(closed)));
        });
    }
    for (int i = 0; i < kSearchers; ++i) {
        threads.emplace_back([&] {
            startTogether();
            for (int round = 0; round < 50; ++round) {
                ViFindList list = VI_NULL;
                ViUInt32 count = 0;
                char desc[VI_FIND_BUFLEN];
                const ViStatus status = viFindRsrc(m_rm, "?*INSTR", &list, &count, desc);
                int walked = status == VI_SUCCESS ? 1 : 0;
                while (walked > 0 && viFindNext(list, desc) == VI_SUCCESS)
                    ++walked;
                viClose(list);
                if (walked == kUnits && count == ViUInt32(kUnits))
                    ++searches;
                else
                    problem(QString::asprintf("search: %08x, %u listed, %d walked", unsigned(status),
                                              count, walked));
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(problems.join('\n'), QString());
    QCOMPARE(replies.load(), kThreads * kQueries);
    QCOMPARE(searches.load(), kSearchers * 50);
}

void TestVisaSim::identify_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("unit");
    QTest::addColumn<bool>("termChar");
    QTest::addColumn<int>("readStatus");

    QTest::newRow("INSTR") << "TCPIP0::127.0.0.30::inst0::INSTR" << 0 << false << int(VI_SUCCESS);
    QTest::newRow("INSTR, short, lower case") << "tcpip::127.0.0.31::instr" << 1 << false << int(VI_SUCCESS);
    QTest::newRow("INSTR, class left out") << "TCPIP::127.0.0.32" << 2 << false << int(VI_SUCCESS);
    QTest::newRow("INSTR, device in capitals") << "TCPIP::127.0.0.33::INST0::INSTR" << 3 << false
                                               << int(VI_SUCCESS);
    QTest::newRow("INSTR, termination character on") << "TCPIP::127.0.0.34::INSTR" << 4 << true
                                                     << int(VI_SUCCESS);
    QTest::newRow("SOCKET") << "TCPIP::127.0.0.35::RAW::SOCKET" << 5 << true << int(VI_SUCCESS_TERM_CHAR);
}

void TestVisaSim::identify()
{
    QFETCH(QString, name);
    QFETCH(int, unit);
    QFETCH(bool, termChar);
    QFETCH(int, readStatus);
    Closer s;
    QCOMPARE(viOpen(m_rm, descriptor(name, unit).toLatin1().constData(), VI_NULL, VI_NULL, &s.vi),
             ViStatus(VI_SUCCESS));
    QVERIFY(s.vi != VI_NULL);
    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TERMCHAR_EN, termChar), ViStatus(VI_SUCCESS));
    ViStatus status = 0;
    QCOMPARE(query(s.vi, "*IDN?\n", &status), identification(30 + unit));
    QCOMPARE(status, ViStatus(readStatus));
}

void TestVisaSim::attributes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("attribute");
    QTest::addColumn<QString>("expected"); // as text; for text attributes the text
    QTest::addColumn<int>("status");

    // "127.30" resolves to 127.0.0.30: the host name is kept as written.
    const QString instr = "TCPIP2::127.30::inst0::INSTR", socket = "TCPIP::127.30::RAW::SOCKET";
    const int ok = VI_SUCCESS, nsup = VI_ERROR_NSUP_ATTR;
    QTest::newRow("INSTR interface type") << instr << uint(VI_ATTR_INTF_TYPE) << "6" << ok;
    QTest::newRow("INSTR board") << instr << uint(VI_ATTR_INTF_NUM) << "2" << ok;
    QTest::newRow("INSTR slot unknown") << instr << uint(VI_ATTR_SLOT) << "-1" << ok;
    QTest::newRow("INSTR time-out") << instr << uint(VI_ATTR_TMO_VALUE) << "2000" << ok;
    QTest::newRow("INSTR termination character") << instr << uint(VI_ATTR_TERMCHAR) << "10" << ok;
    QTest::newRow("INSTR termination off") << instr << uint(VI_ATTR_TERMCHAR_EN) << "0" << ok;
    QTest::newRow("INSTR resource name") << instr << uint(VI_ATTR_RSRC_NAME) << "TCPIP2::127.30::inst0::INSTR" << ok;
    QTest::newRow("INSTR host as written") << instr << uint(VI_ATTR_TCPIP_HOSTNAME) << "127.30" << ok;
    QTest::newRow("INSTR address") << instr << uint(VI_ATTR_TCPIP_ADDR) << "127.0.0.30" << ok;
    QTest::newRow("INSTR device") << instr << uint(VI_ATTR_TCPIP_DEVICE_NAME) << "inst0" << ok;
    QTest::newRow("INSTR has no port") << instr << uint(VI_ATTR_TCPIP_PORT) << "" << nsup;
    QTest::newRow("INSTR unknown attribute") << instr << 0x3FFF0FFFu << "" << nsup;
    QTest::newRow("SOCKET interface type") << socket << uint(VI_ATTR_INTF_TYPE) << "6" << ok;
    QTest::newRow("SOCKET board") << socket << uint(VI_ATTR_INTF_NUM) << "0" << ok;
    QTest::newRow("SOCKET resource name") << socket << uint(VI_ATTR_RSRC_NAME) << "TCPIP0::127.30::RAW::SOCKET" << ok;
    QTest::newRow("SOCKET host as written") << socket << uint(VI_ATTR_TCPIP_HOSTNAME) << "127.30" << ok;
    QTest::newRow("SOCKET address") << socket << uint(VI_ATTR_TCPIP_ADDR) << "127.0.0.30" << ok;
    QTest::newRow("SOCKET port") << socket << uint(VI_ATTR_TCPIP_PORT) << "RAW" << ok;
    QTest::newRow("SOCKET termination off") << socket << uint(VI_ATTR_TERMCHAR_EN) << "0" << ok;
    QTest::newRow("SOCKET has no device") << socket << uint(VI_ATTR_TCPIP_DEVICE_NAME) << "" << nsup;
}

void TestVisaSim::attributes()
{
    QFETCH(QString, name);
    QFETCH(uint, attribute);
    QFETCH(QString, expected);
    QFETCH(int, status);
    Closer s;
    QCOMPARE(viOpen(m_rm, descriptor(name).toLatin1().constData(), VI_NULL, VI_NULL, &s.vi),
             ViStatus(VI_SUCCESS));
    // Room for more than the 256 bytes of a text attribute, to see none
    // is written past them.
    char value[300];
    std::memset(value, '#', sizeof value);
    QCOMPARE(viGetAttribute(s.vi, attribute, value), ViStatus(status));
    QCOMPARE(QByteArray(value + 256, 44), QByteArray(44, '#'));
    if (status != VI_SUCCESS)
        return;
    QString got;
    switch (attribute) {
    case VI_ATTR_INTF_TYPE:
    case VI_ATTR_INTF_NUM:
    case VI_ATTR_TCPIP_PORT:
        got = QString::number(*reinterpret_cast<ViUInt16 *>(value));
        QCOMPARE(value[2], '#'); // a ViUInt16, no wider
        break;
    case VI_ATTR_SLOT:
        got = QString::number(*reinterpret_cast<ViInt16 *>(value));
        QCOMPARE(value[2], '#');
        break;
    case VI_ATTR_TMO_VALUE:
        got = QString::number(*reinterpret_cast<ViUInt32 *>(value));
        break;
    case VI_ATTR_TERMCHAR:
        got = QString::number(*reinterpret_cast<ViUInt8 *>(value));
        QCOMPARE(value[1], '#');
        break;
    case VI_ATTR_TERMCHAR_EN:
        got = QString::number(*reinterpret_cast<ViBoolean *>(value));
        QCOMPARE(value[2], '#');
        break;
    default:
        got = QString::fromLatin1(value, int(qstrnlen(value, 256)));
        QVERIFY(got.size() < 256);
    }
    QCOMPARE(got, descriptor(expected));
}

void TestVisaSim::settableAttributes_data()
{
    QTest::addColumn<uint>("attribute");
    QTest::addColumn<qulonglong>("value");
    QTest::addColumn<int>("status");
    QTest::addColumn<qulonglong>("readBack");

    QTest::newRow("time-out") << uint(VI_ATTR_TMO_VALUE) << 300ull << int(VI_SUCCESS) << 300ull;
    QTest::newRow("time-out infinite") << uint(VI_ATTR_TMO_VALUE) << qulonglong(VI_TMO_INFINITE)
                                       << int(VI_SUCCESS) << qulonglong(VI_TMO_INFINITE);
    QTest::newRow("termination character too big") << uint(VI_ATTR_TERMCHAR) << 256ull
                                                   << int(VI_ERROR_NSUP_ATTR_STATE) << 10ull;
    QTest::newRow("termination on") << uint(VI_ATTR_TERMCHAR_EN) << 1ull << int(VI_SUCCESS) << 1ull;
    QTest::newRow("termination neither on nor off") << uint(VI_ATTR_TERMCHAR_EN) << 2ull
                                                    << int(VI_ERROR_NSUP_ATTR_STATE) << 0ull;
    QTest::newRow("interface type") << uint(VI_ATTR_INTF_TYPE) << 7ull << int(VI_ERROR_ATTR_READONLY) << 6ull;
    QTest::newRow("port of an INSTR") << uint(VI_ATTR_TCPIP_PORT) << 1ull << int(VI_ERROR_NSUP_ATTR) << 0ull;
    QTest::newRow("unknown") << 0x3FFF0FFFu << 1ull << int(VI_ERROR_NSUP_ATTR) << 0ull;
}

void TestVisaSim::settableAttributes()
{
    QFETCH(uint, attribute);
    QFETCH(qulonglong, value);
    QFETCH(int, status);
    QFETCH(qulonglong, readBack);
    Closer s;
    QCOMPARE(viOpen(m_rm, "TCPIP::127.0.0.31::INSTR", VI_NULL, VI_NULL, &s.vi), ViStatus(VI_SUCCESS));
    QCOMPARE(viSetAttribute(s.vi, attribute, ViAttrState(value)), ViStatus(status));
    if (attribute == VI_ATTR_TCPIP_PORT || attribute == 0x3FFF0FFFu)
        return;
    qulonglong got = 0; // each attribute fills its own width, little-endian
    QCOMPARE(viGetAttribute(s.vi, attribute, &got), ViStatus(VI_SUCCESS));
    QCOMPARE(got, readBack);
}

void TestVisaSim::longTransfers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("wholeReadStatus");
    QTest::newRow("INSTR") << "TCPIP::127.0.0.36::INSTR" << int(VI_SUCCESS);
    // No END on a socket: the count ends the read.
    QTest::newRow("SOCKET") << "TCPIP::127.0.0.36::RAW::SOCKET" << int(VI_SUCCESS_MAX_CNT);
}

void TestVisaSim::longTransfers()
{
    QFETCH(QString, name);
    QFETCH(int, wholeReadStatus);
    const QByteArray presetName = QByteArray("Long_") + QTest::currentDataTag();
    const LongPreset preset = longPreset(presetName);
    QVERIFY(preset.message.size() > 20000);

    Closer s;
    QCOMPARE(viOpen(m_rm, descriptor(name, 6).toLatin1().constData(), VI_NULL, VI_NULL, &s.vi),
             ViStatus(VI_SUCCESS));
    ViUInt32 written = 0;
    QCOMPARE(viWrite(s.vi, reinterpret_cast<ViConstBuf>(preset.message.constData()),
                     ViUInt32(preset.message.size()), &written),
             ViStatus(VI_SUCCESS));
    QCOMPARE(written, ViUInt32(preset.message.size()));

    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), ViStatus(VI_SUCCESS));
    ViStatus status = 0;
    QCOMPARE(query(s.vi, "SYST:ERR?\n", &status), QByteArray("0,\"No error\"\n"));

    // The block holds line ends: read to the count, not to the first one.
    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TERMCHAR_EN, VI_FALSE), ViStatus(VI_SUCCESS));
    QCOMPARE(send(s.vi, "MEM:PRES:DATA? \"" + presetName + "\"\n"), ViStatus(VI_SUCCESS));
    const QByteArray reply = readOnce(s.vi, ViUInt32(preset.readBack.size()), &status);
    QCOMPARE(status, ViStatus(wholeReadStatus));
    QCOMPARE(reply, preset.readBack);
}

void TestVisaSim::readInPieces_data()
{
    QTest::addColumn<int>("piece"); // 0: the whole reply's size; -1: one less
    QTest::newRow("4096") << 4096;
    QTest::newRow("1000") << 1000;
    QTest::newRow("7") << 7;
    QTest::newRow("exactly the reply") << 0;
    QTest::newRow("one byte short") << -1;
}

// A reply longer than the count comes over several reads: VI_SUCCESS_MAX_CNT
// until the last piece, which ends with VI_SUCCESS.
void TestVisaSim::readInPieces()
{
    QFETCH(int, piece);
    const LongPreset preset = longPreset("Pieces");
    if (piece <= 0)
        piece += preset.readBack.size();
    Closer s;
    QCOMPARE(viOpen(m_rm, "TCPIP::127.0.0.37::INSTR", VI_NULL, VI_NULL, &s.vi), ViStatus(VI_SUCCESS));
    QCOMPARE(send(s.vi, preset.message), ViStatus(VI_SUCCESS));
    QCOMPARE(send(s.vi, "MEM:PRES:DATA? \"Pieces\"\n"), ViStatus(VI_SUCCESS));
    QByteArray whole;
    QList<int> statuses, expectedStatuses;
    for (int left = preset.readBack.size(); left > 0; left -= piece)
        expectedStatuses << (left > piece ? VI_SUCCESS_MAX_CNT : VI_SUCCESS);
    ViStatus status = VI_SUCCESS_MAX_CNT;
    while (status == VI_SUCCESS_MAX_CNT && statuses.size() <= expectedStatuses.size()) {
        whole += readOnce(s.vi, ViUInt32(piece), &status);
        statuses << status;
    }
    QCOMPARE(statuses, expectedStatuses);
    QCOMPARE(whole, preset.readBack);
}

void TestVisaSim::termChar_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("lastStatus");
    // With END and the termination character on the same byte, END wins.
    QTest::newRow("INSTR") << "TCPIP::127.0.0.30::INSTR" << int(VI_SUCCESS);
    QTest::newRow("SOCKET") << "TCPIP::127.0.0.30::RAW::SOCKET" << int(VI_SUCCESS_TERM_CHAR);
}

void TestVisaSim::termChar()
{
    QFETCH(QString, name);
    QFETCH(int, lastStatus);
    Closer s;
    QCOMPARE(viOpen(m_rm, descriptor(name).toLatin1().constData(), VI_NULL, VI_NULL, &s.vi),
             ViStatus(VI_SUCCESS));
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

// Without the termination character a socket read waits for its count; the
// time-out then returns what came.
void TestVisaSim::socketReadEndsAtTheTimeOut()
{
    Closer s;
    QCOMPARE(viOpen(m_rm, descriptor("TCPIP::127.0.0.30::RAW::SOCKET").toLatin1().constData(),
                    VI_NULL, VI_NULL, &s.vi),
             ViStatus(VI_SUCCESS));
    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 300), ViStatus(VI_SUCCESS));
    ViStatus status = 0;
    QCOMPARE(send(s.vi, "*IDN?\n"), ViStatus(VI_SUCCESS));
    QCOMPARE(readOnce(s.vi, 255, &status), identification(30));
    QCOMPARE(status, ViStatus(VI_ERROR_TMO));
}

void TestVisaSim::timeOut_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("INSTR") << "TCPIP::127.0.0.38::INSTR";
    QTest::newRow("SOCKET") << "TCPIP::127.0.0.38::RAW::SOCKET";
}

// A unit that answers 1.5 s late, a session that waits 0.3 s.
void TestVisaSim::timeOut()
{
    QFETCH(QString, name);
    Unit slow(38, m_portmapper, {"--latency", "1500"});
    QVERIFY(slow.running());
    name.replace("RAW", QString::number(slow.raw));
    Closer s;
    QCOMPARE(viOpen(m_rm, name.toLatin1().constData(), VI_NULL, VI_NULL, &s.vi), ViStatus(VI_SUCCESS));
    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), ViStatus(VI_SUCCESS));
    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 300), ViStatus(VI_SUCCESS));
    ViStatus status = 0;
    QCOMPARE(query(s.vi, "*IDN?\n", &status), QByteArray());
    QCOMPARE(status, ViStatus(VI_ERROR_TMO));

    // Still usable: with time enough, a socket gets the late reply, and a
    // new query over VXI-11 gets its answer.
    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 10000), ViStatus(VI_SUCCESS));
    if (name.endsWith("SOCKET")) {
        QCOMPARE(readOnce(s.vi, 255, &status), identification(38));
        QCOMPARE(status, ViStatus(VI_SUCCESS_TERM_CHAR));
    } else {
        // The unit gave up the read at the session's time-out, leaving the
        // reply unread; the next message discards it.
        QCOMPARE(query(s.vi, "SYST:ERR?\n", &status), QByteArray("-410,\"Query INTERRUPTED\"\n"));
        QCOMPARE(query(s.vi, "*IDN?\n", &status), identification(38));
        QCOMPARE(status, ViStatus(VI_SUCCESS));
    }
}

// A unit that answers nothing at all (stopped): the session's own time-out
// ends each call; once it answers again, its late replies are not taken
// for those of later calls.
void TestVisaSim::unitThatStopsAnswering()
{
    Unit unit(38, m_portmapper);
    QVERIFY(unit.running());
    Closer s;
    QCOMPARE(viOpen(m_rm, "TCPIP::127.0.0.38::INSTR", VI_NULL, VI_NULL, &s.vi), ViStatus(VI_SUCCESS));
    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 300), ViStatus(VI_SUCCESS));
    ViStatus status = 0;
    QCOMPARE(query(s.vi, "*IDN?\n", &status), identification(38));

    const pid_t pid = pid_t(unit.process.processId());
    QCOMPARE(::kill(pid, SIGSTOP), 0);
    QCOMPARE(send(s.vi, "*IDN?\n"), ViStatus(VI_ERROR_TMO));
    // Opening waits for the portmapper as long as the default time-out.
    ViSession late = 5;
    QCOMPARE(viOpen(m_rm, "TCPIP::127.0.0.38::INSTR", VI_NULL, VI_NULL, &late), ViStatus(VI_ERROR_TMO));
    QCOMPARE(late, ViSession(VI_NULL));
    QCOMPARE(::kill(pid, SIGCONT), 0);

    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 5000), ViStatus(VI_SUCCESS));
    QCOMPARE(query(s.vi, "SYST:ERR?\n", &status), QByteArray("-410,\"Query INTERRUPTED\"\n"));
    QCOMPARE(status, ViStatus(VI_SUCCESS));
    QCOMPARE(query(s.vi, "*IDN?\n", &status), identification(38));
    QCOMPARE(status, ViStatus(VI_SUCCESS));
}

void TestVisaSim::refusedOrAbsent_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("no unit, INSTR") << "TCPIP::127.0.0.39::INSTR";
    QTest::newRow("no unit, SOCKET") << "TCPIP::127.0.0.39::5025::SOCKET";
    QTest::newRow("unit without that device") << "TCPIP::127.0.0.30::inst7::INSTR";
}

void TestVisaSim::refusedOrAbsent()
{
    QFETCH(QString, name);
    ViSession vi = 77;
    QCOMPARE(viOpen(m_rm, name.toLatin1().constData(), VI_NULL, VI_NULL, &vi),
             ViStatus(VI_ERROR_RSRC_NFOUND));
    QCOMPARE(vi, ViSession(VI_NULL));
}

void TestVisaSim::unitKilledMidSession_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("INSTR") << "TCPIP::127.0.0.39::INSTR";
    QTest::newRow("SOCKET") << "TCPIP::127.0.0.39::RAW::SOCKET";
}

void TestVisaSim::unitKilledMidSession()
{
    QFETCH(QString, name);
    Unit doomed(39, m_portmapper);
    QVERIFY(doomed.running());
    name.replace("RAW", QString::number(doomed.raw));
    Closer s;
    QCOMPARE(viOpen(m_rm, name.toLatin1().constData(), VI_NULL, VI_NULL, &s.vi), ViStatus(VI_SUCCESS));
    QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), ViStatus(VI_SUCCESS));
    ViStatus status = 0;
    QCOMPARE(query(s.vi, "*IDN?\n", &status), identification(39));

    doomed.kill();
    const QList<ViStatus> lost{VI_ERROR_CONN_LOST, VI_ERROR_IO};
    // A socket's first write may still be taken by the system.
    status = send(s.vi, "*IDN?\n");
    QVERIFY2(lost.contains(status) || (status == VI_SUCCESS && name.endsWith("SOCKET")),
             qPrintable(QString::number(uint(status), 16)));
    readOnce(s.vi, 255, &status);
    QVERIFY2(lost.contains(status), qPrintable(QString::number(uint(status), 16)));
    QVERIFY(lost.contains(send(s.vi, "*IDN?\n")));
    QCOMPARE(viClose(s.vi), ViStatus(VI_SUCCESS));
    s.vi = VI_NULL;
}

// A read waiting for a reply that will not come ends when another thread
// closes the session, not at its time-out (which would end it with
// VI_ERROR_TMO, a minute later).
void TestVisaSim::closeEndsABlockedRead()
{
    ViSession vi = VI_NULL;
    QCOMPARE(viOpen(m_rm, "TCPIP::127.0.0.37::INSTR", VI_NULL, VI_NULL, &vi), ViStatus(VI_SUCCESS));
    QCOMPARE(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 60000), ViStatus(VI_SUCCESS));
    std::atomic<bool> reading{false};
    ViStatus status = VI_SUCCESS;
    std::thread reader([&] {
        reading = true;
        readOnce(vi, 255, &status); // nothing was asked: the unit has no reply
    });
    QTRY_VERIFY(reading);
    QTest::qWait(300);
    // Meanwhile other sessions go on: the waiting read holds up nobody.
    Closer other;
    QCOMPARE(viOpen(m_rm, "TCPIP::127.0.0.36::INSTR", VI_NULL, VI_NULL, &other.vi), ViStatus(VI_SUCCESS));
    ViStatus otherStatus = 0;
    QCOMPARE(query(other.vi, "*IDN?\n", &otherStatus), identification(36));
    QCOMPARE(viClose(vi), ViStatus(VI_SUCCESS));
    reader.join();
    QVERIFY2(status == VI_ERROR_CONN_LOST || status == VI_ERROR_IO || status == VI_ERROR_INV_OBJECT,
             qPrintable(QString::number(uint(status), 16)));
}

void TestVisaSim::search()
{
    const QString config = m_dir.filePath("search.conf");
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(descriptor("# bench\nTCPIP::127.0.0.30::INSTR\nTCPIP::127.0.0.31::INSTR\n"
                          "TCPIP::127.0.0.30::RAW::SOCKET\nTCPIP::127.0.0.39::INSTR\n")
                   .toLatin1());
    file.close();
    qputenv("TS4820_VISA_CONFIG", config.toLocal8Bit());
    qputenv("TS4820_VISA_RESOURCES", "TCPIP::127.0.0.32::INSTR");

    const auto find = [this](const char *expression) {
        QStringList found;
        ViFindList list = VI_NULL;
        ViUInt32 count = 0;
        char desc[VI_FIND_BUFLEN];
        if (viFindRsrc(m_rm, expression, &list, &count, desc) != VI_SUCCESS)
            return found;
        found << desc;
        while (viFindNext(list, desc) == VI_SUCCESS)
            found << desc;
        viClose(list);
        return found;
    };
    const QStringList instr = find("?*INSTR");
    QCOMPARE(instr, (QStringList{"TCPIP0::127.0.0.32::inst0::INSTR", "TCPIP0::127.0.0.30::inst0::INSTR",
                                 "TCPIP0::127.0.0.31::inst0::INSTR", "TCPIP0::127.0.0.39::inst0::INSTR"}));
    QCOMPARE(find("TCPIP0::127.0.0.3[01]::?*"),
             (QStringList{"TCPIP0::127.0.0.30::inst0::INSTR", "TCPIP0::127.0.0.31::inst0::INSTR",
                          descriptor("TCPIP0::127.0.0.30::RAW::SOCKET")}));
    QCOMPARE(find("?*SOCKET"), QStringList{descriptor("TCPIP0::127.0.0.30::RAW::SOCKET")});

    // What a search lists opens as it is; the unit that is not there fails.
    QStringList replies;
    for (const QString &name : instr) {
        Closer s;
        const ViStatus opened = viOpen(m_rm, name.toLatin1().constData(), VI_NULL, VI_NULL, &s.vi);
        ViStatus status = 0;
        replies << (opened == VI_SUCCESS ? QString::fromLatin1(query(s.vi, "*IDN?\n", &status))
                                         : QString::number(uint(opened), 16));
    }
    QCOMPARE(replies, (QStringList{identification(32), identification(30), identification(31),
                                   QString::number(uint(VI_ERROR_RSRC_NFOUND), 16)}));
}

// Closing a manager closes its sessions and searches, and ends their links
// on the unit: all 16 of its connections can then be opened again.
void TestVisaSim::closingTheManagerReleasesTheLinks()
{
    qputenv("TS4820_VISA_RESOURCES", "TCPIP::127.0.0.33::INSTR");
    ViSession rm = VI_NULL;
    QCOMPARE(viOpenDefaultRM(&rm), ViStatus(VI_SUCCESS));
    std::vector<ViSession> sessions(16, VI_NULL);
    for (ViSession &vi : sessions)
        QCOMPARE(viOpen(rm, "TCPIP::127.0.0.33::INSTR", VI_NULL, VI_NULL, &vi), ViStatus(VI_SUCCESS));
    ViSession extra = VI_NULL;
    QCOMPARE(viOpen(rm, "TCPIP::127.0.0.33::INSTR", VI_NULL, VI_NULL, &extra), ViStatus(VI_ERROR_RSRC_BUSY));
    ViFindList list = VI_NULL;
    char desc[VI_FIND_BUFLEN];
    QCOMPARE(viFindRsrc(rm, "?*", &list, VI_NULL, desc), ViStatus(VI_SUCCESS));

    QCOMPARE(viClose(rm), ViStatus(VI_SUCCESS));
    ViUInt32 timeout = 0;
    for (ViSession vi : sessions) {
        QCOMPARE(send(vi, "*IDN?\n"), ViStatus(VI_ERROR_INV_OBJECT));
        QCOMPARE(viGetAttribute(vi, VI_ATTR_TMO_VALUE, &timeout), ViStatus(VI_ERROR_INV_OBJECT));
    }
    QCOMPARE(viFindNext(list, desc), ViStatus(VI_ERROR_INV_OBJECT));

    for (ViSession &vi : sessions)
        QCOMPARE(viOpen(m_rm, "TCPIP::127.0.0.33::INSTR", VI_NULL, VI_NULL, &vi), ViStatus(VI_SUCCESS));
    for (ViSession vi : sessions)
        QCOMPARE(viClose(vi), ViStatus(VI_SUCCESS));
}

void TestVisaSim::staleHandlesAreRefused()
{
    ViSession first = VI_NULL, second = VI_NULL;
    QCOMPARE(viOpen(m_rm, "TCPIP::127.0.0.34::INSTR", VI_NULL, VI_NULL, &first), ViStatus(VI_SUCCESS));
    QCOMPARE(viClose(first), ViStatus(VI_SUCCESS));
    QCOMPARE(viOpen(m_rm, "TCPIP::127.0.0.34::INSTR", VI_NULL, VI_NULL, &second), ViStatus(VI_SUCCESS));
    Closer s{second};
    QVERIFY(second != first);
    QCOMPARE(send(first, "*IDN?\n"), ViStatus(VI_ERROR_INV_OBJECT));
    QCOMPARE(viClose(first), ViStatus(VI_ERROR_INV_OBJECT));
    ViStatus status = 0;
    QCOMPARE(query(second, "*IDN?\n", &status), identification(34));
}

QTEST_GUILESS_MAIN(TestVisaSim)
#include "test_visa_sim.moc"
