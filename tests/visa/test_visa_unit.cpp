// The VISA library without a unit: resource names, search expressions, the
// resource list and where it comes from, the portmapper port setting,
// status texts and handles used wrongly. No test reads the user's own
// configuration: every variable that could lead there points into a
// temporary folder.
#include "visa.h"

#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <functional>
#include <thread>

using VisaCall = std::function<ViStatus(ViSession rm)>;
Q_DECLARE_METATYPE(VisaCall)

namespace {

bool writeFile(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// Every status constant of visa.h, its name, and a word its text must hold.
struct NamedStatus
{
    const char *name;
    ViStatus status;
    const char *word;
};
#define NAMED(s, word) {#s, ViStatus(s), word}
const NamedStatus kStatuses[] = {
    NAMED(VI_SUCCESS, "success"),
    NAMED(VI_SUCCESS_TERM_CHAR, "termination character"),
    NAMED(VI_SUCCESS_MAX_CNT, "buffer"),
    NAMED(VI_SUCCESS_DEV_NPRESENT, "device"),
    NAMED(VI_WARN_NULL_OBJECT, "VI_NULL"),
    NAMED(VI_WARN_NSUP_ATTR_STATE, "value"),
    NAMED(VI_WARN_UNKNOWN_STATUS, "not known"),
    NAMED(VI_ERROR_SYSTEM_ERROR, "operating system"),
    NAMED(VI_ERROR_INV_OBJECT, "handle"),
    NAMED(VI_ERROR_RSRC_LOCKED, "locked"),
    NAMED(VI_ERROR_INV_EXPR, "expression"),
    NAMED(VI_ERROR_RSRC_NFOUND, "not found"),
    NAMED(VI_ERROR_INV_RSRC_NAME, "resource name"),
    NAMED(VI_ERROR_INV_ACC_MODE, "access mode"),
    NAMED(VI_ERROR_TMO, "time-out"),
    NAMED(VI_ERROR_CLOSING_FAILED, "closed"),
    NAMED(VI_ERROR_NSUP_ATTR, "attribute"),
    NAMED(VI_ERROR_NSUP_ATTR_STATE, "value"),
    NAMED(VI_ERROR_ATTR_READONLY, "not set"),
    NAMED(VI_ERROR_ABORT, "aborted"),
    NAMED(VI_ERROR_INV_SETUP, "set up"),
    NAMED(VI_ERROR_ALLOC, "memory"),
    NAMED(VI_ERROR_IO, "transfer"),
    NAMED(VI_ERROR_NSUP_OPER, "operation"),
    NAMED(VI_ERROR_RSRC_BUSY, "no further connection"),
    NAMED(VI_ERROR_INV_PARAMETER, "parameter"),
    NAMED(VI_ERROR_SESN_NLOCKED, "lock"),
    NAMED(VI_ERROR_LIBRARY_NFOUND, "library"),
    NAMED(VI_ERROR_CONN_LOST, "lost"),
    NAMED(VI_WARN_NSUP_ID_QUERY, "identification"),
    NAMED(VI_WARN_NSUP_RESET, "reset"),
    NAMED(VI_WARN_NSUP_SELF_TEST, "self-test"),
    NAMED(VI_WARN_NSUP_ERROR_QUERY, "error query"),
    NAMED(VI_WARN_NSUP_REV_QUERY, "revision"),
    NAMED(VI_ERROR_PARAMETER1, "parameter 1"),
    NAMED(VI_ERROR_PARAMETER2, "parameter 2"),
    NAMED(VI_ERROR_PARAMETER3, "parameter 3"),
    NAMED(VI_ERROR_PARAMETER4, "parameter 4"),
    NAMED(VI_ERROR_FAIL_ID_QUERY, "identification"),
    NAMED(VI_ERROR_INV_RESPONSE, "response"),
};
#undef NAMED

// An ONC RPC request as the fake portmapper sees it.
quint32 word(const QByteArray &data, int index)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData()) + 4 * index;
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

QByteArray words(std::initializer_list<quint32> values)
{
    QByteArray out;
    for (quint32 v : values)
        out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
    return out;
}

// A VXI-11 device as small as these tests need, on 127.0.0.38: its
// portmapper names its core channel; it keeps what the library sent.
class FakeVxi11
{
public:
    struct Write
    {
        quint32 flags = 0;
        QByteArray data;
    };

    explicit FakeVxi11(quint32 maxRecvSize) : m_maxRecvSize(maxRecvSize)
    {
        for (QTcpServer *server : {&m_portmap, &m_core}) {
            server->listen(QHostAddress("127.0.0.38"), 0);
            QObject::connect(server, &QTcpServer::newConnection, server, [this, server] {
                QTcpSocket *s = server->nextPendingConnection();
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { serve(s); });
            });
        }
    }
    quint16 portmapperPort() const { return m_portmap.serverPort(); }

    QList<QList<quint32>> portmapCalls; // program, version, procedure, arguments
    QList<Write> writes;
    QByteArrayList devices; // create_link
    int destroyed = 0;

private:
    void serve(QTcpSocket *s)
    {
        QByteArray &buffer = m_buffers[s];
        buffer += s->readAll();
        while (buffer.size() >= 4 && buffer.size() >= 4 + int(word(buffer, 0) & 0x7fffffff)) {
            const int length = int(word(buffer, 0) & 0x7fffffff);
            const QByteArray call = buffer.mid(4, length);
            buffer.remove(0, 4 + length);
            // xid, CALL, 2, program, version, procedure, no credentials, no verifier
            const QByteArray results = answer(word(call, 3), word(call, 4), word(call, 5), call.mid(40));
            const QByteArray reply = words({word(call, 0), 1, 0, 0, 0, 0}) + results;
            s->write(words({0x80000000u | quint32(reply.size())}) + reply);
        }
    }

    QByteArray answer(quint32 program, quint32 version, quint32 procedure, const QByteArray &args)
    {
        if (program == 100000) {
            portmapCalls << QList<quint32>{program, version, procedure, word(args, 0), word(args, 1),
                                           word(args, 2), word(args, 3)};
            return words({m_core.serverPort()});
        }
        switch (procedure) {
        case 10:
            devices << args.mid(16, int(word(args, 3)));
            return words({0, 7, 0, m_maxRecvSize});
        case 11:
            writes << Write{word(args, 3), args.mid(20, int(word(args, 4)))};
            return words({0, word(args, 4)});
        case 23:
            ++destroyed;
            return words({0});
        default:
            return words({8});
        }
    }

    quint32 m_maxRecvSize;
    QTcpServer m_portmap, m_core;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

// Runs a blocking VISA call on its own thread while this one serves the
// fakes; false if it did not end.
bool whileServing(const std::function<void()> &call)
{
    std::atomic<bool> done{false};
    std::thread t([&] {
        call();
        done = true;
    });
    QElapsedTimer waited;
    waited.start();
    while (!done && waited.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    t.join();
    return done;
}

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
    void invalidResourceNames_data();
    void invalidResourceNames();
    void expressions_data();
    void expressions();
    void resourceSources_data();
    void resourceSources();
    void searchListWalk();
    void longNamesAreCutToTheBuffer();
    void portmapperPort_data();
    void portmapperPort();
    void vxi11Writes_data();
    void vxi11Writes();
    void statusTexts_data();
    void statusTexts();
    void everyStatusOfTheHeaderIsListed();
    void unknownStatus_data();
    void unknownStatus();
    void misuse_data();
    void misuse();

private:
    // The whole result of a search; *status is that of viFindRsrc.
    QStringList search(const char *expression, ViStatus *status, ViSession rm = VI_NULL);
    void useConfigFile(const QByteArray &text);

    QTemporaryDir m_dir;
    ViSession m_rm = VI_NULL;
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

void TestVisaUnit::cleanupTestCase()
{
    QCOMPARE(viClose(m_rm), ViStatus(VI_SUCCESS));
}

QStringList TestVisaUnit::search(const char *expression, ViStatus *status, ViSession rm)
{
    ViFindList list = VI_NULL;
    ViUInt32 count = 99;
    char desc[VI_FIND_BUFLEN] = "untouched";
    *status = viFindRsrc(rm ? rm : m_rm, expression, &list, &count, desc);
    QStringList found;
    if (*status < 0) {
        if (count != 0 || list != VI_NULL)
            found << QStringLiteral("count %1, list %2 after a failed search").arg(count).arg(list);
        return found;
    }
    found << QString::fromLatin1(desc);
    for (ViUInt32 i = 1; i < count; ++i) {
        const ViStatus next = viFindNext(list, desc);
        found << (next == VI_SUCCESS ? QString::fromLatin1(desc)
                                     : QStringLiteral("viFindNext failed: %1").arg(next, 0, 16));
    }
    if (viFindNext(list, desc) != VI_ERROR_RSRC_NFOUND)
        found << QStringLiteral("the list goes on past its count");
    viClose(list);
    return found;
}

void TestVisaUnit::useConfigFile(const QByteArray &text)
{
    const QString path = m_dir.filePath("visa.conf");
    QVERIFY(writeFile(path, text));
    qputenv("TS4820_VISA_CONFIG", path.toLocal8Bit());
}

// ---------------------------------------------------------------- names

void TestVisaUnit::resourceNames_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("canonical");

    QTest::newRow("board and device filled in") << "TCPIP::127.0.0.2::INSTR" << "TCPIP0::127.0.0.2::inst0::INSTR";
    QTest::newRow("lower case") << "tcpip0::127.0.0.2::instr" << "TCPIP0::127.0.0.2::inst0::INSTR";
    QTest::newRow("class left out") << "TCPIP::10.1.2.3" << "TCPIP0::10.1.2.3::inst0::INSTR";
    QTest::newRow("device, class left out") << "TCPIP::10.1.2.3::inst2" << "TCPIP0::10.1.2.3::inst2::INSTR";
    QTest::newRow("host name, case kept") << "TCPIP3::Bench-A.lab::INST1::INSTR" << "TCPIP3::Bench-A.lab::INST1::INSTR";
    QTest::newRow("gateway device") << "TCPIP::10.1.2.3::gpib0,5::INSTR" << "TCPIP0::10.1.2.3::gpib0,5::INSTR";
    QTest::newRow("board with zeros") << "TCPIP007::h::INSTR" << "TCPIP7::h::inst0::INSTR";
    QTest::newRow("socket") << "TCPIP1::10.1.2.3::5025::SOCKET" << "TCPIP1::10.1.2.3::5025::SOCKET";
    QTest::newRow("socket, lower case, port with zero") << "tcpip::10.1.2.3::05025::socket" << "TCPIP0::10.1.2.3::5025::SOCKET";
    QTest::newRow("highest port") << "TCPIP::h::65535::SOCKET" << "TCPIP0::h::65535::SOCKET";
}

void TestVisaUnit::resourceNames()
{
    QFETCH(QString, written);
    QFETCH(QString, canonical);
    useConfigFile(written.toLatin1() + '\n');
    ViStatus status = 0;
    QCOMPARE(search("?*", &status), QStringList{canonical});
    QCOMPARE(status, ViStatus(VI_SUCCESS));
}

void TestVisaUnit::invalidResourceNames_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<int>("openStatus");

    const int invalid = VI_ERROR_INV_RSRC_NAME;
    QTest::newRow("empty") << "" << invalid;
    QTest::newRow("interface alone") << "TCPIP" << invalid;
    QTest::newRow("no host") << "TCPIP0::" << invalid;
    QTest::newRow("empty host") << "TCPIP0::::INSTR" << invalid;
    QTest::newRow("space in host") << "TCPIP0::my host::INSTR" << invalid;
    QTest::newRow("letters after the interface") << "TCPIPX::h::INSTR" << invalid;
    QTest::newRow("single colon") << "TCPIP0:h::INSTR" << invalid;
    QTest::newRow("board too large") << "TCPIP65536::h::INSTR" << invalid;
    QTest::newRow("socket without port") << "TCPIP0::h::SOCKET" << invalid;
    QTest::newRow("port 0") << "TCPIP0::h::0::SOCKET" << invalid;
    QTest::newRow("port too large") << "TCPIP0::h::65536::SOCKET" << invalid;
    QTest::newRow("port not a number") << "TCPIP0::h::50x::SOCKET" << invalid;
    QTest::newRow("device and port") << "TCPIP0::h::inst0::5025::SOCKET" << invalid;
    QTest::newRow("trailing part") << "TCPIP0::h::inst0::INSTR::x" << invalid;
    QTest::newRow("unknown class") << "TCPIP0::h::inst0::RAW" << invalid;
    QTest::newRow("empty device") << "TCPIP0::h::::INSTR" << invalid;
    QTest::newRow("no interface") << "FOO::bar" << invalid;
    QTest::newRow("GPIB: not served here") << "GPIB0::5::INSTR" << int(VI_ERROR_RSRC_NFOUND);
    QTest::newRow("serial: not served here") << "ASRL1::INSTR" << int(VI_ERROR_RSRC_NFOUND);
}

void TestVisaUnit::invalidResourceNames()
{
    QFETCH(QString, written);
    QFETCH(int, openStatus);
    ViSession vi = 12345;
    QCOMPARE(viOpen(m_rm, written.toLatin1().constData(), VI_NULL, VI_NULL, &vi), ViStatus(openStatus));
    QCOMPARE(vi, ViSession(VI_NULL));

    // Nor does a search list it, while the names around it still count.
    useConfigFile("TCPIP::10.0.0.1::INSTR\n" + written.toLatin1() + "\nTCPIP::10.0.0.2::INSTR\n");
    ViStatus status = 0;
    QCOMPARE(search("?*", &status),
             (QStringList{"TCPIP0::10.0.0.1::inst0::INSTR", "TCPIP0::10.0.0.2::inst0::INSTR"}));
}

// ---------------------------------------------------------------- expressions

void TestVisaUnit::expressions_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QStringList>("found"); // empty: VI_ERROR_RSRC_NFOUND
    QTest::addColumn<bool>("valid");

    const QString a = "TCPIP0::127.0.0.2::inst0::INSTR", b = "TCPIP0::127.0.0.3::inst0::INSTR",
                  c = "TCPIP1::bench-a::inst1::INSTR", d = "TCPIP0::127.0.0.2::5025::SOCKET";
    const QStringList all{a, b, c, d};

    QTest::newRow("every INSTR") << "?*INSTR" << QStringList{a, b, c} << true;
    QTest::newRow("everything") << "?*" << all << true;
    QTest::newRow("every TCP/IP") << "TCPIP?*" << all << true;
    QTest::newRow("case ignored") << "tcpip?*socket" << QStringList{d} << true;
    QTest::newRow("exact name") << a << QStringList{a} << true;
    QTest::newRow("whole name only") << "TCPIP0::127.0.0.2" << QStringList() << true;
    QTest::newRow("one character") << "?" << QStringList() << true;
    QTest::newRow("set") << "TCPIP0::127.0.0.[23]::inst0::INSTR" << QStringList{a, b} << true;
    QTest::newRow("negated set") << "TCPIP0::127.0.0.[^3]::?*" << QStringList{a, d} << true;
    QTest::newRow("range") << "TCPIP[0-9]::bench-a::?*" << QStringList{c} << true;
    QTest::newRow("range of letters, case ignored") << "TCPIP1::[A-Z]+-a?*" << QStringList{c} << true;
    QTest::newRow("range matching nothing") << "TCPIP[a-z]?*" << QStringList() << true;
    QTest::newRow("plus: one or more") << "TCPIP0::127.0.0.2+::?*" << QStringList{a, d} << true;
    QTest::newRow("star: zero or more") << "TCPIP0::127.0.0.23*::?*" << QStringList{a, d} << true;
    QTest::newRow("plus needs one") << "TCPIP0::127.0.0.23+::?*" << QStringList() << true;
    QTest::newRow("alternatives") << "?*INSTR|?*SOCKET" << all << true;
    QTest::newRow("group") << "(TCPIP1|TCPIP0)::127?*" << QStringList{a, b, d} << true;
    QTest::newRow("repeated group") << "TCPIP0::(127.0.0.2::)+?*" << QStringList{a, d} << true;
    QTest::newRow("quoted special") << "?*\\?" << QStringList() << true;
    QTest::newRow("many stars stay fast") << "(?*)*(?*)*(?*)*(?*)*(?*)*(?*)*(?*)*(?*)*(?*)*x"
                                          << QStringList() << true;

    QTest::newRow("empty") << "" << QStringList() << false;
    QTest::newRow("star with nothing before") << "*INSTR" << QStringList() << false;
    QTest::newRow("plus alone") << "+" << QStringList() << false;
    QTest::newRow("two repeats") << "?**" << QStringList() << false;
    QTest::newRow("open set") << "[abc" << QStringList() << false;
    QTest::newRow("empty set") << "[]?*" << QStringList() << false;
    QTest::newRow("backward range") << "[z-a]?*" << QStringList() << false;
    QTest::newRow("open group") << "(TCPIP?*" << QStringList() << false;
    QTest::newRow("unopened group") << "TCPIP?*)" << QStringList() << false;
    QTest::newRow("empty alternative") << "?*|" << QStringList() << false;
    QTest::newRow("quote at the end") << "?*\\" << QStringList() << false;
    QTest::newRow("attribute condition") << "?*INSTR{VI_ATTR_SLOT==1}" << QStringList() << false;
}

void TestVisaUnit::expressions()
{
    QFETCH(QString, expression);
    QFETCH(QStringList, found);
    QFETCH(bool, valid);
    useConfigFile("TCPIP0::127.0.0.2::inst0::INSTR\n"
                  "TCPIP0::127.0.0.3::inst0::INSTR\n"
                  "TCPIP1::bench-a::inst1::INSTR\n"
                  "TCPIP0::127.0.0.2::5025::SOCKET\n");
    ViStatus status = 0;
    const QStringList result = search(expression.toLatin1().constData(), &status);
    if (!valid) {
        QCOMPARE(status, ViStatus(VI_ERROR_INV_EXPR));
        QCOMPARE(result, QStringList());
        return;
    }
    QCOMPARE(status, ViStatus(found.isEmpty() ? VI_ERROR_RSRC_NFOUND : VI_SUCCESS));
    QCOMPARE(result, found);
}

// ---------------------------------------------------------------- sources

void TestVisaUnit::resourceSources_data()
{
    QTest::addColumn<QByteArray>("environment"); // TS4820_VISA_RESOURCES; empty: unset
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("place"); // where the file is found
    QTest::addColumn<QStringList>("found");

    const QString one = "TCPIP0::10.0.0.1::inst0::INSTR", two = "TCPIP0::10.0.0.2::inst0::INSTR";
    QTest::newRow("environment, semicolons") << QByteArray("TCPIP::10.0.0.1::INSTR;TCPIP::10.0.0.2::INSTR")
                                             << QByteArray() << "config" << QStringList{one, two};
    QTest::newRow("environment, commas and white space")
        << QByteArray(" TCPIP::10.0.0.3::INSTR, TCPIP::10.0.0.4::INSTR\tTCPIP::10.0.0.5::INSTR\nTCPIP::10.0.0.6::INSTR ;")
        << QByteArray() << "config"
        << QStringList{"TCPIP0::10.0.0.3::inst0::INSTR", "TCPIP0::10.0.0.4::inst0::INSTR",
                       "TCPIP0::10.0.0.5::inst0::INSTR", "TCPIP0::10.0.0.6::inst0::INSTR"};
    QTest::newRow("file: comments, blank lines, settings")
        << QByteArray()
        << QByteArray("# units on the bench\n\n  TCPIP::10.0.0.1::INSTR  \r\n"
                      "TCPIP::10.0.0.9::5025::SOCKET # the old one\nportmapper-port = 1111\n"
                      "colour = blue\n#TCPIP::10.0.0.8::INSTR\n")
        << "config" << QStringList{one, "TCPIP0::10.0.0.9::5025::SOCKET"};
    QTest::newRow("environment first, repeats once, case ignored")
        << QByteArray("TCPIP::10.0.0.2::INSTR;tcpip0::10.0.0.2::INST0::instr")
        << QByteArray("TCPIP0::10.0.0.1::inst0::INSTR\nTCPIP::10.0.0.2\ntcpip::10.0.0.1::instr\n")
        << "config" << QStringList{two, one};
    QTest::newRow("XDG_CONFIG_HOME") << QByteArray() << QByteArray("TCPIP::10.0.0.1::INSTR\n")
                                     << "xdg" << QStringList{one};
    QTest::newRow("HOME/.config") << QByteArray() << QByteArray("TCPIP::10.0.0.1::INSTR\n")
                                  << "home" << QStringList{one};
    QTest::newRow("relative XDG_CONFIG_HOME ignored") << QByteArray()
                                                      << QByteArray("TCPIP::10.0.0.1::INSTR\n")
                                                      << "home, relative xdg" << QStringList{one};
    QTest::newRow("nothing anywhere") << QByteArray() << QByteArray() << "config" << QStringList();
}

void TestVisaUnit::resourceSources()
{
    QFETCH(QByteArray, environment);
    QFETCH(QByteArray, file);
    QFETCH(QString, place);
    QFETCH(QStringList, found);

    QTemporaryDir dir;
    const QString explicitPath = dir.filePath("chosen/visa.conf");
    const QString xdg = dir.filePath("xdg"), home = dir.filePath("home");
    const QString xdgPath = xdg + "/Tarsel/visa.conf", homePath = home + "/.config/Tarsel/visa.conf";
    // A decoy in every place that must not be read.
    const QByteArray decoy = "TCPIP::10.9.9.9::INSTR\n";
    QVERIFY(writeFile(explicitPath, place == "config" ? file : decoy));
    QVERIFY(writeFile(xdgPath, place == "xdg" ? file : decoy));
    QVERIFY(writeFile(homePath, place.startsWith("home") ? file : decoy));
    if (place == "config")
        qputenv("TS4820_VISA_CONFIG", explicitPath.toLocal8Bit());
    else
        qunsetenv("TS4820_VISA_CONFIG");
    if (place == "home")
        qunsetenv("XDG_CONFIG_HOME");
    else if (place == "home, relative xdg")
        qputenv("XDG_CONFIG_HOME", "xdg");
    else
        qputenv("XDG_CONFIG_HOME", xdg.toLocal8Bit());
    qputenv("HOME", home.toLocal8Bit());
    if (!environment.isEmpty())
        qputenv("TS4820_VISA_RESOURCES", environment);

    ViStatus status = 0;
    QCOMPARE(search("?*", &status), found);
    QCOMPARE(status, ViStatus(found.isEmpty() ? VI_ERROR_RSRC_NFOUND : VI_SUCCESS));
}

void TestVisaUnit::searchListWalk()
{
    useConfigFile("TCPIP::10.0.0.1::INSTR\nTCPIP::10.0.0.2::INSTR\nTCPIP::10.0.0.3::INSTR\n");
    ViFindList list = VI_NULL;
    ViUInt32 count = 0;
    char desc[VI_FIND_BUFLEN] = {};
    QCOMPARE(viFindRsrc(m_rm, "?*", &list, &count, desc), ViStatus(VI_SUCCESS));
    QCOMPARE(count, ViUInt32(3));
    QCOMPARE(QByteArray(desc), QByteArray("TCPIP0::10.0.0.1::inst0::INSTR"));
    QCOMPARE(viFindNext(list, desc), ViStatus(VI_SUCCESS));
    QCOMPARE(viFindNext(list, desc), ViStatus(VI_SUCCESS));
    QCOMPARE(QByteArray(desc), QByteArray("TCPIP0::10.0.0.3::inst0::INSTR"));
    QCOMPARE(viFindNext(list, desc), ViStatus(VI_ERROR_RSRC_NFOUND));
    QCOMPARE(viClose(list), ViStatus(VI_SUCCESS));
    QCOMPARE(viFindNext(list, desc), ViStatus(VI_ERROR_INV_OBJECT));

    // Neither count nor list is needed; and closing the manager closes
    // the lists made through it.
    ViSession rm = VI_NULL;
    QCOMPARE(viOpenDefaultRM(&rm), ViStatus(VI_SUCCESS));
    QVERIFY(rm != m_rm);
    QCOMPARE(viFindRsrc(rm, "?*", VI_NULL, VI_NULL, desc), ViStatus(VI_SUCCESS));
    QCOMPARE(QByteArray(desc), QByteArray("TCPIP0::10.0.0.1::inst0::INSTR"));
    QCOMPARE(viFindRsrc(rm, "?*", &list, &count, desc), ViStatus(VI_SUCCESS));
    QCOMPARE(viClose(rm), ViStatus(VI_SUCCESS));
    QCOMPARE(viFindNext(list, desc), ViStatus(VI_ERROR_INV_OBJECT));
    QCOMPARE(viClose(list), ViStatus(VI_ERROR_INV_OBJECT));
}

void TestVisaUnit::longNamesAreCutToTheBuffer()
{
    const QByteArray host(300, 'h');
    useConfigFile("TCPIP::" + host + "::INSTR\n");
    char desc[VI_FIND_BUFLEN + 16];
    std::memset(desc, '#', sizeof desc);
    ViUInt32 count = 0;
    QCOMPARE(viFindRsrc(m_rm, "?*", VI_NULL, &count, desc), ViStatus(VI_SUCCESS));
    QCOMPARE(count, ViUInt32(1));
    QCOMPARE(QByteArray(desc), ("TCPIP0::" + host).left(VI_FIND_BUFLEN - 1));
    QCOMPARE(QByteArray(desc + VI_FIND_BUFLEN, 16), QByteArray(16, '#'));
}

// ---------------------------------------------------------------- portmapper port

void TestVisaUnit::portmapperPort_data()
{
    QTest::addColumn<QString>("environment"); // A or B: that server's port; other text as is
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("asked"); // the server that must get the call

    QTest::newRow("environment") << "A" << "" << "A";
    QTest::newRow("configuration file") << "" << "B" << "B";
    QTest::newRow("environment before file") << "A" << "B" << "A";
    QTest::newRow("unreadable environment value: the file's") << "12x" << "B" << "B";
}

void TestVisaUnit::portmapperPort()
{
    QFETCH(QString, environment);
    QFETCH(QString, file);
    QFETCH(QString, asked);
    FakeVxi11 a(1024), b(1024);
    const auto port = [&](const QString &text) {
        return text == "A" ? QByteArray::number(a.portmapperPort())
                           : text == "B" ? QByteArray::number(b.portmapperPort()) : text.toLatin1();
    };
    if (!environment.isEmpty())
        qputenv("TS4820_VISA_PORTMAPPER_PORT", port(environment));
    useConfigFile(file.isEmpty() ? QByteArray() : "portmapper-port = " + port(file) + "\n");

    ViStatus opened = 0;
    QVERIFY(whileServing([&] {
        ViSession vi = VI_NULL;
        opened = viOpen(m_rm, "TCPIP::127.0.0.38::INSTR", VI_NULL, VI_NULL, &vi);
        viClose(vi);
    }));
    QCOMPARE(opened, ViStatus(VI_SUCCESS));
    const FakeVxi11 &chosen = asked == "A" ? a : b, &other = asked == "A" ? b : a;
    QVERIFY(other.portmapCalls.isEmpty());
    // GETPORT (100000 v2, procedure 3) of the VXI-11 core channel (395183 v1) over TCP (6).
    QCOMPARE(chosen.portmapCalls, (QList<QList<quint32>>{{100000, 2, 3, 395183, 1, 6, 0}}));
    QCOMPARE(chosen.devices, QByteArrayList{"inst0"});
}

// ---------------------------------------------------------------- VXI-11 details

void TestVisaUnit::vxi11Writes_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<uint>("maxRecvSize");
    QTest::addColumn<QList<int>>("pieces");

    QTest::newRow("several pieces, the last shorter") << 5000 << 1024u << QList<int>{1024, 1024, 1024, 1024, 904};
    QTest::newRow("whole pieces") << 2048 << 1024u << QList<int>{1024, 1024};
    QTest::newRow("fits in one") << 100 << 16384u << QList<int>{100};
    QTest::newRow("one byte over") << 16385 << 16384u << QList<int>{16384, 1};
    QTest::newRow("empty: END alone") << 0 << 1024u << QList<int>{0};
    QTest::newRow("device announces too little: 1024") << 3000 << 10u << QList<int>{1024, 1024, 952};
}

void TestVisaUnit::vxi11Writes()
{
    QFETCH(int, size);
    QFETCH(uint, maxRecvSize);
    QFETCH(QList<int>, pieces);
    FakeVxi11 device(maxRecvSize);
    qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(device.portmapperPort()));
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char('a' + i % 26);

    ViSession vi = VI_NULL;
    ViStatus opened = 0, wrote = 0, closed = 0;
    ViUInt32 written = 0;
    QVERIFY(whileServing([&] {
        opened = viOpen(m_rm, "TCPIP::127.0.0.38::gpib0,5::INSTR", VI_NULL, VI_NULL, &vi);
        wrote = viWrite(vi, reinterpret_cast<ViConstBuf>(data.constData()), ViUInt32(size), &written);
        closed = viClose(vi);
    }));
    QCOMPARE(opened, ViStatus(VI_SUCCESS));
    QCOMPARE(wrote, ViStatus(VI_SUCCESS));
    QCOMPARE(written, ViUInt32(size));
    QCOMPARE(closed, ViStatus(VI_SUCCESS));
    QCOMPARE(device.devices, QByteArrayList{"gpib0,5"});
    QCOMPARE(device.destroyed, 1);

    QList<int> sizes, ends;
    QByteArray joined;
    for (const FakeVxi11::Write &w : device.writes) {
        sizes << w.data.size();
        ends << int(w.flags & 8);
        joined += w.data;
    }
    QList<int> expectedEnds(pieces.size(), 0);
    expectedEnds.last() = 8; // END with the last piece only
    QCOMPARE(sizes, pieces);
    QCOMPARE(ends, expectedEnds);
    QCOMPARE(joined, data);
}

// ---------------------------------------------------------------- status texts

void TestVisaUnit::statusTexts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("keyword");
    for (const NamedStatus &s : kStatuses)
        QTest::newRow(s.name) << QString::fromLatin1(s.name) << int(s.status) << QString::fromLatin1(s.word);
}

void TestVisaUnit::statusTexts()
{
    QFETCH(QString, name);
    QFETCH(int, status);
    QFETCH(QString, keyword);
    char desc[VI_FIND_BUFLEN + 1];
    desc[VI_FIND_BUFLEN] = '#';
    QCOMPARE(viStatusDesc(m_rm, ViStatus(status), desc), ViStatus(VI_SUCCESS));
    const QString text = QString::fromLatin1(desc);
    // The constant's name, then a sentence of its own.
    QVERIFY2(text.startsWith(name + ": ") && text.size() > name.size() + 10, qPrintable(text));
    QVERIFY2(text.mid(name.size()).contains(keyword, Qt::CaseInsensitive), qPrintable(text));
    QCOMPARE(desc[VI_FIND_BUFLEN], '#');
}

void TestVisaUnit::everyStatusOfTheHeaderIsListed()
{
    QFile header(QStringLiteral(VISA_HEADER));
    QVERIFY(header.open(QIODevice::ReadOnly));
    const QRegularExpression define(QStringLiteral("#define (VI_(?:SUCCESS|WARN|ERROR)\\w*)\\s"));
    QStringList inHeader;
    for (auto m = define.globalMatch(QString::fromLatin1(header.readAll())); m.hasNext();)
        inHeader << m.next().captured(1);
    inHeader.removeAll("VI_ERROR_INV_SESSION"); // another name for VI_ERROR_INV_OBJECT
    QStringList listed;
    for (const NamedStatus &s : kStatuses)
        listed << QString::fromLatin1(s.name);
    inHeader.sort();
    listed.sort();
    QCOMPARE(listed, inHeader);
}

void TestVisaUnit::unknownStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("made up warning") << 0x12345678;
    QTest::newRow("made up error") << int(0xBFFF7777u);
    QTest::newRow("driver's own error") << int(VI_INSTR_ERROR_OFFSET + 5);
}

void TestVisaUnit::unknownStatus()
{
    QFETCH(int, status);
    char desc[VI_FIND_BUFLEN] = {};
    QCOMPARE(viStatusDesc(m_rm, ViStatus(status), desc), ViStatus(VI_WARN_UNKNOWN_STATUS));
    const QString text = QString::fromLatin1(desc);
    QVERIFY2(text.contains("unknown", Qt::CaseInsensitive), qPrintable(text));
    QVERIFY2(text.contains(QString::number(quint32(status), 16), Qt::CaseInsensitive), qPrintable(text));
}

// ---------------------------------------------------------------- misuse

void TestVisaUnit::misuse_data()
{
    QTest::addColumn<VisaCall>("call");
    QTest::addColumn<int>("expected");

    const auto closedManager = [] {
        ViSession rm = VI_NULL;
        viOpenDefaultRM(&rm);
        viClose(rm);
        return rm;
    };
    static char buffer[VI_FIND_BUFLEN];
    QTest::newRow("close VI_NULL") << VisaCall([](ViSession) { return viClose(VI_NULL); })
                                   << int(VI_WARN_NULL_OBJECT);
    QTest::newRow("close twice") << VisaCall([=](ViSession) { return viClose(closedManager()); })
                                 << int(VI_ERROR_INV_OBJECT);
    QTest::newRow("search through a closed manager")
        << VisaCall([=](ViSession) { return viFindRsrc(closedManager(), "?*", VI_NULL, VI_NULL, buffer); })
        << int(VI_ERROR_INV_OBJECT);
    QTest::newRow("write to a manager") << VisaCall([](ViSession rm) {
        ViUInt32 n;
        return viWrite(rm, reinterpret_cast<ViConstBuf>("x"), 1, &n);
    }) << int(VI_ERROR_INV_OBJECT);
    QTest::newRow("no expression") << VisaCall([](ViSession rm) {
        return viFindRsrc(rm, nullptr, VI_NULL, VI_NULL, buffer);
    }) << int(VI_ERROR_INV_EXPR);
    QTest::newRow("lock asked for") << VisaCall([](ViSession rm) {
        ViSession vi;
        return viOpen(rm, "TCPIP::10.0.0.1::INSTR", VI_EXCLUSIVE_LOCK, VI_NULL, &vi);
    }) << int(VI_ERROR_INV_ACC_MODE);
}

void TestVisaUnit::misuse()
{
    QFETCH(VisaCall, call);
    QFETCH(int, expected);
    QCOMPARE(call(m_rm), ViStatus(expected));
    // The shared manager is still good.
    ViStatus status = 0;
    search("?*", &status);
    QCOMPARE(status, ViStatus(VI_ERROR_RSRC_NFOUND));
}

QTEST_GUILESS_MAIN(TestVisaUnit)
#include "test_visa_unit.moc"
