// The VISA library without a unit: resource names, search expressions, the
// resource list and where it comes from, VXI-11 writes to a fake device,
// status texts and handles used wrongly. No test reads the user's own
// configuration: every variable that could lead there points into a
// temporary folder.
#include "visa.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <future>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeFile(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

quint32 word(const QByteArray &data, int index)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData()) + 4 * index;
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

QByteArray words(std::initializer_list<quint32> values)
{
    QByteArray out;
    for (quint32 v : values) {
        out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
    }
    return out;
}

// A VXI-11 device as small as these tests need, on 127.0.0.38: portmapper
// and core channel on one port. It keeps what the library sent.
class FakeVxi11 : public QTcpServer
{
public:
    explicit FakeVxi11(quint32 maxRecvSize) : m_maxRecvSize(maxRecvSize)
    {
        listen(QHostAddress("127.0.0.38"), 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *s = nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [this, s] { serve(s); });
        });
    }

    QByteArrayList devices;                   // of create_link
    QList<QPair<quint32, QByteArray>> writes; // flags, data
    int destroyed = 0;

private:
    void serve(QTcpSocket *s)
    {
        QByteArray &buffer = m_buffers[s];
        buffer += s->readAll();
        for (int size;
             buffer.size() >= 4 && buffer.size() >= 4 + (size = int(word(buffer, 0) & 0x7fffffff));) {
            // xid, CALL, 2, program, version, procedure, no credentials, no verifier; arguments
            const QByteArray call = buffer.mid(4, size), args = call.mid(40);
            buffer.remove(0, 4 + size);
            QByteArray results = words({0});
            if (word(call, 3) == 100000) { // the portmapper's GETPORT
                results = words({serverPort()});
            } else if (word(call, 5) == 10) { // create_link
                devices << args.mid(16, int(word(args, 3)));
                results = words({0, 7, 0, m_maxRecvSize});
            } else if (word(call, 5) == 11) { // device_write
                writes << qMakePair(word(args, 3), args.mid(20, int(word(args, 4))));
                results = words({0, word(args, 4)});
            } else if (word(call, 5) == 23) { // destroy_link
                ++destroyed;
            } else if (word(call, 5) == 12 && reads != Proper) { // device_read
                return answerRead(s, word(call, 0));
            }
            const QByteArray reply = words({word(call, 0), 1, 0, 0, 0, 0}) + results;
            s->write(words({0x80000000u | quint32(reply.size())}) + reply);
        }
    }

    quint32 m_maxRecvSize;
    QHash<QTcpSocket *, QByteArray> m_buffers;

public:
    // How device_read is answered: properly, or by a unit that never ends
    // its reply (empty fragments) or answers only other calls. A hostile
    // answer goes on for at most twenty seconds.
    enum Reads { Proper, EmptyFragments, OtherCalls } reads = Proper;
    bool ranOut = false; // a hostile answer went on for its whole twenty seconds

private:
    // Sends as fast as the client takes, on this thread, until the client
    // goes away or twenty seconds have passed.
    void answerRead(QTcpSocket *s, quint32 xid)
    {
        QByteArray chunk(65536, '\0'); // sixteen thousand empty fragments, none the last
        if (reads == OtherCalls) {
            const QByteArray reply = words({xid + 1000, 1, 0, 0, 0, 0, 0, 0, 0});
            chunk = (words({0x80000000u | quint32(reply.size())}) + reply).repeated(1600);
        }
        const int fd = int(s->socketDescriptor());
        const QDeadlineTimer until(20000);
        for (qsizetype at = 0; !(ranOut = until.hasExpired());) {
            pollfd ready{fd, POLLOUT, 0};
            if (::poll(&ready, 1, 100) <= 0) {
                continue;
            }
            const ssize_t n = ::send(fd, chunk.constData() + at, size_t(chunk.size() - at), MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return;
            }
            at = (at + std::max<ssize_t>(n, 0)) % chunk.size();
        }
    }
};

} // namespace

class TestVisaUnit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void resourceNames_data();
    void resourceNames();
    void expressions_data();
    void expressions();
    void resourceSources_data();
    void resourceSources();
    void vxi11_data();
    void vxi11();
    void hostileReadsEnd_data();
    void hostileReadsEnd();
    void configurationThatIsNoFile_data();
    void configurationThatIsNoFile();
    void statusTexts_data();
    void statusTexts();
    void misuse();

private:
    QStringList search(const char *expression, ViStatus *status);
    void useConfigFile(const QByteArray &text);

    QTemporaryDir m_dir;
    ViSession m_rm = VI_NULL;
    QHash<QString, QString> m_sentences; // status text without the name: whose it is
};

void TestVisaUnit::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qunsetenv("TS4820_VISA_LIBRARY");
    QCOMPARE(viOpenDefaultRM(&m_rm), ViStatus(VI_SUCCESS));
}

void TestVisaUnit::init()
{
    qputenv("TS4820_VISA_CONFIG", m_dir.filePath("absent.conf").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_dir.filePath("xdg-absent").toLocal8Bit());
    qputenv("HOME", m_dir.filePath("home-absent").toLocal8Bit());
    qunsetenv("TS4820_VISA_RESOURCES");
    qunsetenv("TS4820_VISA_PORTMAPPER_PORT");
}

void TestVisaUnit::cleanupTestCase() { QCOMPARE(viClose(m_rm), ViStatus(VI_SUCCESS)); }

// The whole result of a search, walked to its end and closed, with what
// went wrong on the way as entries of its own; *status is viFindRsrc's.
QStringList TestVisaUnit::search(const char *expression, ViStatus *status)
{
    ViFindList list = VI_NULL;
    ViUInt32 count = 99;
    char desc[VI_FIND_BUFLEN + 8];
    std::memset(desc, '#', sizeof desc);
    *status = viFindRsrc(m_rm, expression, &list, &count, desc);
    if (*status < 0) {
        return count == 0 && list == VI_NULL ? QStringList()
                                             : QStringList{"count or list set by a failed search"};
    }
    QStringList found;
    for (ViUInt32 i = 0; i < count; ++i) {
        found << (i == 0 || viFindNext(list, desc) == VI_SUCCESS ? QString::fromLatin1(desc)
                                                                 : "viFindNext failed");
    }
    if (viFindNext(list, desc) != VI_ERROR_RSRC_NFOUND) {
        found << "the list goes on past its count";
    }
    if (QByteArray(desc + VI_FIND_BUFLEN, 8) != QByteArray(8, '#')) {
        found << "written past the buffer";
    }
    if (viClose(list) != VI_SUCCESS || viFindNext(list, desc) != VI_ERROR_INV_OBJECT) {
        found << "the list outlives its closing";
    }
    return found;
}

void TestVisaUnit::useConfigFile(const QByteArray &text)
{
    const QString path = m_dir.filePath("visa.conf");
    QVERIFY(writeFile(path, text));
    qputenv("TS4820_VISA_CONFIG", path.toLocal8Bit());
}

// A name in the list comes out in its one written form; one that is no
// resource is refused by viOpen and left out of searches.
void TestVisaUnit::resourceNames_data()
{
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QString>("canonical"); // empty: not a resource
    QTest::addColumn<int>("openStatus");
    const auto valid = [](const char *tag, const QByteArray &written, const QString &canonical) {
        QTest::newRow(tag) << written << canonical << int(VI_SUCCESS);
    };
    valid("board and device filled in", "TCPIP::127.0.0.2::INSTR", "TCPIP0::127.0.0.2::inst0::INSTR");
    valid("lower case", "tcpip0::127.0.0.2::instr", "TCPIP0::127.0.0.2::inst0::INSTR");
    valid("class left out", "TCPIP::10.1.2.3", "TCPIP0::10.1.2.3::inst0::INSTR");
    valid("device, class left out", "TCPIP::10.1.2.3::inst2", "TCPIP0::10.1.2.3::inst2::INSTR");
    valid("host name, case kept", "TCPIP3::Bench-A.lab::INST1::INSTR", "TCPIP3::Bench-A.lab::INST1::INSTR");
    valid("board with zeros, gateway device", "TCPIP007::h::gpib0,5::INSTR", "TCPIP7::h::gpib0,5::INSTR");
    valid("socket, lower case, port with zero", "tcpip1::h::05025::socket", "TCPIP1::h::5025::SOCKET");
    valid("highest port", "TCPIP::h::65535::SOCKET", "TCPIP0::h::65535::SOCKET");
    valid("cut to the buffer", "TCPIP::" + QByteArray(300, 'h') + "::INSTR",
          "TCPIP0::" + QString(VI_FIND_BUFLEN - 9, 'h'));
    for (const char *bad :
         {"", "TCPIP", "TCPIP0::::INSTR", "TCPIP0::my host::INSTR", "TCPIPX::h::INSTR", "TCPIP0:h::INSTR",
          "TCPIP65536::h::INSTR", "TCPIP0::h::SOCKET", "TCPIP0::h::0::SOCKET", "TCPIP0::h::65536::SOCKET",
          "TCPIP0::h::50x::SOCKET", "TCPIP0::h::inst0::5025::SOCKET", "TCPIP0::h::inst0::RAW",
          "TCPIP0::h::::INSTR"}) {
        QTest::addRow("invalid: %s", bad) << QByteArray(bad) << QString() << int(VI_ERROR_INV_RSRC_NAME);
    }
    QTest::newRow("GPIB: not served here")
        << QByteArray("GPIB0::5::INSTR") << QString() << int(VI_ERROR_RSRC_NFOUND);
}

void TestVisaUnit::resourceNames()
{
    QFETCH(QByteArray, written);
    QFETCH(QString, canonical);
    QFETCH(int, openStatus);
    if (canonical.isEmpty()) {
        ViSession vi = 12345;
        QCOMPARE(viOpen(m_rm, written.constData(), VI_NULL, VI_NULL, &vi), ViStatus(openStatus));
        QCOMPARE(vi, ViSession(VI_NULL));
    }
    useConfigFile("TCPIP::10.0.0.1::INSTR\n" + written + "\nTCPIP::10.0.0.2::INSTR\n");
    QStringList expected{"TCPIP0::10.0.0.1::inst0::INSTR", "TCPIP0::10.0.0.2::inst0::INSTR"};
    if (!canonical.isEmpty()) {
        expected.insert(1, canonical);
    }
    ViStatus status = 0;
    QCOMPARE(search("?*", &status), expected);
}

void TestVisaUnit::expressions_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<int>("status");

    const QString a = "TCPIP0::127.0.0.2::inst0::INSTR", b = "TCPIP0::127.0.0.3::inst0::INSTR",
                  c = "TCPIP1::bench-a::inst1::INSTR", d = "TCPIP0::127.0.0.2::5025::SOCKET";
    const auto row = [](const char *tag, const char *expression, const QStringList &found) {
        QTest::newRow(tag) << expression << found << int(found.isEmpty() ? VI_ERROR_RSRC_NFOUND : VI_SUCCESS);
    };
    row("every INSTR", "?*INSTR", {a, b, c});
    row("everything", "?*", {a, b, c, d});
    row("case ignored", "tcpip?*socket", {d});
    row("exact name", "TCPIP0::127.0.0.2::inst0::INSTR", {a});
    row("whole name only", "TCPIP0::127.0.0.2", {});
    row("one character", "?", {});
    row("set", "TCPIP0::127.0.0.[23]::inst0::INSTR", {a, b});
    row("negated set", "TCPIP0::127.0.0.[^3]::?*", {a, d});
    row("range of letters, case ignored", "TCPIP1::[A-Z]+-a?*", {c});
    row("plus: one or more", "TCPIP0::127.0.0.2+::?*", {a, d});
    row("star: zero or more", "TCPIP0::127.0.0.23*::?*", {a, d});
    row("plus needs one", "TCPIP0::127.0.0.23+::?*", {});
    row("alternatives", "?*SOCKET|?*3::?*", {b, d});
    row("group", "(TCPIP1|TCPIP0)::127?*", {a, b, d});
    row("repeated group", "TCPIP0::(127.0.0.2::)+?*", {a, d});
    row("quoted special", "?*\\?", {});
    row("many stars stay fast", "(?*)*(?*)*(?*)*(?*)*(?*)*(?*)*(?*)*(?*)*(?*)*x", {});
    QTest::newRow("32 groups deep, 512 characters")
        << QString(32, '(') + "TCPIP1" + QString(32, ')') + "?*" + QString(512 - 72, '*').replace("**", "?*")
        << QStringList{c} << int(VI_SUCCESS);
    QTest::newRow("33 groups deep") << QString(33, '(') + "?*" + QString(33, ')') << QStringList()
                                    << int(VI_ERROR_INV_EXPR);
    QTest::newRow("10,000 groups deep")
        << QString(10000, '(') + "?*" + QString(10000, ')') << QStringList() << int(VI_ERROR_INV_EXPR);
    QTest::newRow("a* 200,000 times")
        << QString("a*").repeated(200000) << QStringList() << int(VI_ERROR_INV_EXPR);
    QTest::newRow("513 characters") << QString("?*").repeated(256) + "?" << QStringList()
                                    << int(VI_ERROR_INV_EXPR);
    for (const char *bad : {"", "*INSTR", "?**", "[abc", "[]?*", "[z-a]?*", "(TCPIP?*", "TCPIP?*)", "?*|",
                            "?*\\", "?*INSTR{VI_ATTR_SLOT==1}"}) {
        QTest::addRow("invalid: %s", bad) << bad << QStringList() << int(VI_ERROR_INV_EXPR);
    }
}

void TestVisaUnit::expressions()
{
    QFETCH(QString, expression);
    QFETCH(QStringList, found);
    QFETCH(int, status);
    useConfigFile("TCPIP0::127.0.0.2::inst0::INSTR\nTCPIP0::127.0.0.3::inst0::INSTR\n"
                  "TCPIP1::bench-a::inst1::INSTR\nTCPIP0::127.0.0.2::5025::SOCKET\n");
    ViStatus searched = 0;
    QCOMPARE(search(expression.toLatin1().constData(), &searched), found);
    QCOMPARE(searched, ViStatus(status));
}

void TestVisaUnit::resourceSources_data()
{
    QTest::addColumn<QByteArray>("environment"); // TS4820_VISA_RESOURCES; empty: unset
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("place"); // where the file is found
    QTest::addColumn<QStringList>("found");

    const QString one = "TCPIP0::10.0.0.1::inst0::INSTR";
    const QByteArray oneInFile = "TCPIP::10.0.0.1::INSTR\n";
    // Any separators; a name once however it is written.
    QTest::newRow("environment, then the file")
        << QByteArray(" TCPIP::10.0.0.2::INSTR,tcpip0::10.0.0.2::INST0::instr\tTCPIP::10.0.0.3::INSTR;"
                      "TCPIP::10.0.0.4::INSTR\nTCPIP::10.0.0.1::INSTR ")
        << QByteArray(
               "# units on the bench\n\n  TCPIP::10.0.0.5::INSTR  \r\nTCPIP::10.0.0.9::5025::SOCKET # old\n"
               "portmapper-port = 1111\ncolour = blue\n#TCPIP::10.0.0.8::INSTR\ntcpip::10.0.0.1::instr\n")
        << "config" << QStringList{"TCPIP0::10.0.0.2::inst0::INSTR", "TCPIP0::10.0.0.3::inst0::INSTR",
                                   "TCPIP0::10.0.0.4::inst0::INSTR", one,
                                   "TCPIP0::10.0.0.5::inst0::INSTR", "TCPIP0::10.0.0.9::5025::SOCKET"};
    QTest::newRow("XDG_CONFIG_HOME") << QByteArray() << oneInFile << "xdg" << QStringList{one};
    QTest::newRow("HOME/.config") << QByteArray() << oneInFile << "home" << QStringList{one};
    QTest::newRow("relative XDG_CONFIG_HOME ignored")
        << QByteArray() << oneInFile << "home, relative xdg" << QStringList{one};
    QTest::newRow("nothing anywhere") << QByteArray() << QByteArray() << "config" << QStringList();
}

void TestVisaUnit::resourceSources()
{
    QFETCH(QByteArray, environment);
    QFETCH(QByteArray, file);
    QFETCH(QString, place);
    QFETCH(QStringList, found);

    QTemporaryDir dir;
    const QString chosen = dir.filePath("chosen/visa.conf"), xdg = dir.filePath("xdg"),
                  home = dir.filePath("home");
    // A decoy in every place that must not be read.
    const QByteArray decoy = "TCPIP::10.9.9.9::INSTR\n";
    QVERIFY(writeFile(chosen, place == "config" ? file : decoy));
    QVERIFY(writeFile(xdg + "/Tarsel/visa.conf", place == "xdg" ? file : decoy));
    QVERIFY(writeFile(home + "/.config/Tarsel/visa.conf", place.startsWith("home") ? file : decoy));
    if (place == "config") {
        qputenv("TS4820_VISA_CONFIG", chosen.toLocal8Bit());
    } else {
        qunsetenv("TS4820_VISA_CONFIG");
    }
    if (place == "home") {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", place == "home, relative xdg" ? QByteArray("xdg") : xdg.toLocal8Bit());
    }
    qputenv("HOME", home.toLocal8Bit());
    if (!environment.isEmpty()) {
        qputenv("TS4820_VISA_RESOURCES", environment);
    }

    ViStatus status = 0;
    QCOMPARE(search("?*", &status), found);
    QCOMPARE(status, ViStatus(found.isEmpty() ? VI_ERROR_RSRC_NFOUND : VI_SUCCESS));
}

// What the device sees of a session: GETPORT on the portmapper the
// environment names (else the file's), create_link with the device, the
// write in pieces of its maxRecvSize with END on the last, destroy_link.
void TestVisaUnit::vxi11_data()
{
    QTest::addColumn<QByteArray>("environment"); // "A": fake A's portmapper; other text as is
    QTest::addColumn<int>("size");
    QTest::addColumn<uint>("maxRecvSize");
    QTest::addColumn<QList<int>>("pieces");
    const QByteArray a = "A";
    QTest::newRow("whole pieces") << a << 2048 << 1024u << QList<int>{1024, 1024};
    QTest::newRow("one byte over") << a << 16385 << 16384u << QList<int>{16384, 1};
    QTest::newRow("empty: END alone") << a << 0 << 1024u << QList<int>{0};
    QTest::newRow("device announces too little: 1024") << a << 3000 << 10u << QList<int>{1024, 1024, 952};
    QTest::newRow("unreadable environment value: the file's portmapper")
        << QByteArray("12x") << 100 << 1024u << QList<int>{100};
}

void TestVisaUnit::vxi11()
{
    QFETCH(QByteArray, environment);
    QFETCH(int, size);
    QFETCH(uint, maxRecvSize);
    QFETCH(QList<int>, pieces);
    FakeVxi11 a(maxRecvSize), b(maxRecvSize);
    qputenv("TS4820_VISA_PORTMAPPER_PORT",
            environment == "A" ? QByteArray::number(a.serverPort()) : environment);
    useConfigFile("portmapper-port = " + QByteArray::number(b.serverPort()) + "\n");
    const QByteArray data = QByteArray("abcdefghijklmnopqrstuvwxyz").repeated(size / 26 + 1).left(size);

    ViStatus opened = 0, wrote = 0, closed = 0;
    ViUInt32 written = 0;
    // The calls block: they run on a thread of their own while this one serves the fakes.
    const std::future<void> calls = std::async(std::launch::async, [&] {
        ViSession vi = VI_NULL;
        opened = viOpen(m_rm, "TCPIP::127.0.0.38::gpib0,5::INSTR", VI_NULL, VI_NULL, &vi);
        wrote = viWrite(vi, reinterpret_cast<ViConstBuf>(data.constData()), ViUInt32(size), &written);
        closed = viClose(vi);
    });
    QVERIFY(QTest::qWaitFor(
        [&] { return calls.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 20000));
    QCOMPARE(opened, ViStatus(VI_SUCCESS));
    QCOMPARE(wrote, ViStatus(VI_SUCCESS));
    QCOMPARE(written, ViUInt32(size));
    QCOMPARE(closed, ViStatus(VI_SUCCESS));
    const FakeVxi11 &device = environment == "A" ? a : b, &other = environment == "A" ? b : a;
    QCOMPARE(device.devices, QByteArrayList{"gpib0,5"});
    QCOMPARE(other.devices, QByteArrayList());
    QCOMPARE(device.destroyed, 1);

    QList<int> sizes, ends, expectedEnds(pieces.size(), 0);
    expectedEnds.last() = 8;
    QByteArray joined;
    for (const auto &[flags, bytes] : device.writes) {
        sizes << bytes.size();
        ends << int(flags & 8);
        joined += bytes;
    }
    QCOMPARE(sizes, pieces);
    QCOMPARE(ends, expectedEnds);
    QCOMPARE(joined, data);
}

// A read from a unit that never ends its reply, or answers only other
// calls, ends by the session's time-out, not by the unit.
void TestVisaUnit::hostileReadsEnd_data()
{
    QTest::addColumn<int>("reads");
    QTest::addColumn<int>("status");
    QTest::newRow("endless empty fragments") << int(FakeVxi11::EmptyFragments) << int(VI_ERROR_IO);
    QTest::newRow("replies to other calls") << int(FakeVxi11::OtherCalls) << int(VI_ERROR_TMO);
}

void TestVisaUnit::hostileReadsEnd()
{
    QFETCH(int, reads);
    FakeVxi11 unit(1024);
    unit.reads = FakeVxi11::Reads(reads);
    qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(unit.serverPort()));
    ViStatus opened = 0, read = 0;
    const std::future<void> calls = std::async(std::launch::async, [&] {
        ViSession vi = VI_NULL;
        opened = viOpen(m_rm, "TCPIP::127.0.0.38::INSTR", VI_NULL, VI_NULL, &vi);
        viSetAttribute(vi, VI_ATTR_TMO_VALUE, 500);
        char buffer[100];
        ViUInt32 count = 0;
        read = viRead(vi, reinterpret_cast<ViPBuf>(buffer), sizeof buffer, &count);
        viClose(vi);
    });
    QVERIFY(QTest::qWaitFor(
        [&] { return calls.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 30000));
    QCOMPARE(opened, ViStatus(VI_SUCCESS));
    QTEST(int(read), "status");
    QVERIFY2(!unit.ranOut, "the read waited for the unit to stop");
}

// A configuration "file" that is none, or too large, is not read.
void TestVisaUnit::configurationThatIsNoFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("device") << "/dev/zero";
    QTest::newRow("FIFO without a writer") << "fifo";
    QTest::newRow("over 64 KiB") << "large";
}

void TestVisaUnit::configurationThatIsNoFile()
{
    QFETCH(QString, path);
    if (path == "fifo") {
        path = m_dir.filePath("visa.fifo");
        QVERIFY(::mkfifo(QFile::encodeName(path), 0600) == 0 || errno == EEXIST);
    } else if (path == "large") {
        path = m_dir.filePath("large.conf");
        QVERIFY(writeFile(path, "TCPIP::10.0.0.7::INSTR\n" + QByteArray(64 * 1024, '#')));
    }
    qputenv("TS4820_VISA_CONFIG", path.toLocal8Bit());
    qputenv("TS4820_VISA_RESOURCES", "TCPIP::10.0.0.1::INSTR");
    ViStatus status = 0;
    QStringList found;
    auto searching = std::async(std::launch::async, [&] { found = search("?*", &status); });
    QElapsedTimer waited;
    waited.start();
    bool hung = false;
    while (searching.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        hung = waited.elapsed() > 10000;
        if (hung && path.endsWith(".fifo")) { // a writer that comes and goes ends a blocked open
            ::close(::open(QFile::encodeName(path), O_WRONLY | O_NONBLOCK));
        }
    }
    QVERIFY2(!hung, "the search waited on the configuration file");
    QCOMPARE(found, QStringList{"TCPIP0::10.0.0.1::inst0::INSTR"});
}

// Every status code of the header: its name, then a sentence of its own.
void TestVisaUnit::statusTexts_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("pattern"); // "Unknown ...": VI_WARN_UNKNOWN_STATUS

    QFile header(QStringLiteral(VISA_HEADER));
    QVERIFY(header.open(QIODevice::ReadOnly));
    const QRegularExpression define(
        "#define (VI_(?:SUCCESS|WARN|ERROR)\\w*)\\s+(\\(_VI_ERROR \\+ )?(0x[0-9A-F]+|0)L");
    int named = 0;
    for (auto m = define.globalMatch(QString::fromLatin1(header.readAll())); m.hasNext(); ++named) {
        const QRegularExpressionMatch d = m.next();
        const quint32 value = d.captured(3).toUInt(nullptr, 0) + (d.capturedLength(2) ? 0x80000000u : 0);
        QTest::newRow(qPrintable(d.captured(1))) << int(value) << "^" + d.captured(1) + ": [A-Z].{15,}\\.$";
    }
    QVERIFY2(named > 30, "the header's status codes were not found");
    QTest::newRow("made up warning") << 0x12345678 << "^Unknown status code 0x12345678\\.$";
    QTest::newRow("driver's own error")
        << int(VI_INSTR_ERROR_OFFSET + 5) << "^Unknown status code 0xBFFC0905\\.$";
}

void TestVisaUnit::statusTexts()
{
    QFETCH(int, status);
    QFETCH(QString, pattern);
    const bool known = !pattern.startsWith("^Unknown");
    char desc[VI_FIND_BUFLEN + 1];
    desc[VI_FIND_BUFLEN] = '#';
    QCOMPARE(viStatusDesc(m_rm, ViStatus(status), desc),
             ViStatus(known ? VI_SUCCESS : VI_WARN_UNKNOWN_STATUS));
    QCOMPARE(desc[VI_FIND_BUFLEN], '#');
    const QString text = QString::fromLatin1(desc);
    QVERIFY2(QRegularExpression(pattern).match(text).hasMatch(), qPrintable(text));
    if (!known) {
        return;
    }
    const QString sentence = text.section(": ", 1);
    QVERIFY2(!m_sentences.contains(sentence), qPrintable(m_sentences.value(sentence) + " has it too"));
    m_sentences.insert(sentence, QTest::currentDataTag());
}

// Handles used wrongly; the manager they came through stays good.
void TestVisaUnit::misuse()
{
    char desc[VI_FIND_BUFLEN];
    ViSession stale = VI_NULL, rm = VI_NULL, vi = 5;
    ViUInt32 count = 0;
    QCOMPARE(viClose(VI_NULL), ViStatus(VI_WARN_NULL_OBJECT));
    QCOMPARE(viOpenDefaultRM(&stale), ViStatus(VI_SUCCESS));
    QCOMPARE(viClose(stale), ViStatus(VI_SUCCESS));
    // Handles are not reused: a stale copy does not reach the next manager.
    QCOMPARE(viOpenDefaultRM(&rm), ViStatus(VI_SUCCESS));
    QCOMPARE(viClose(stale), ViStatus(VI_ERROR_INV_OBJECT));
    QCOMPARE(viFindRsrc(stale, "?*", VI_NULL, VI_NULL, desc), ViStatus(VI_ERROR_INV_OBJECT));
    QCOMPARE(viWrite(rm, reinterpret_cast<ViConstBuf>("x"), 1, &count), ViStatus(VI_ERROR_INV_OBJECT));
    QCOMPARE(viFindRsrc(rm, nullptr, VI_NULL, VI_NULL, desc), ViStatus(VI_ERROR_INV_EXPR));
    QCOMPARE(viOpen(rm, "TCPIP::10.0.0.1::INSTR", VI_EXCLUSIVE_LOCK, VI_NULL, &vi),
             ViStatus(VI_ERROR_INV_ACC_MODE));
    QCOMPARE(vi, ViSession(VI_NULL));
    // Neither list nor count is needed; closing the manager closes its lists.
    qputenv("TS4820_VISA_RESOURCES", "TCPIP::10.0.0.1");
    QCOMPARE(viFindRsrc(rm, "?*", VI_NULL, VI_NULL, desc), ViStatus(VI_SUCCESS));
    QCOMPARE(QByteArray(desc), QByteArray("TCPIP0::10.0.0.1::inst0::INSTR"));
    ViFindList list = VI_NULL;
    QCOMPARE(viFindRsrc(rm, "?*", &list, VI_NULL, desc), ViStatus(VI_SUCCESS));
    QCOMPARE(viClose(rm), ViStatus(VI_SUCCESS));
    QCOMPARE(viFindNext(list, desc), ViStatus(VI_ERROR_INV_OBJECT));
}

QTEST_GUILESS_MAIN(TestVisaUnit)
#include "test_visa_unit.moc"
