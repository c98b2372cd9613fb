// The VISA library without a unit: where the resource list comes from, names
// and search expressions, what a fake VXI-11 device sees and survives, status
// texts, handles used wrongly and the pass-through to a vendor library. No
// test reads the user's own configuration.
#include "visasteps.h"

#include <QtNetwork>
#include <QtTest>

#include <cstdio>
#include <future>

#include <sys/stat.h>
#include <unistd.h>

namespace {

quint32 word(const QByteArray &data, int i) { return qFromBigEndian<quint32>(data.constData() + 4 * i); }

QByteArray words(std::initializer_list<quint32> values)
{
    QByteArray out;
    QDataStream stream(&out, QIODevice::WriteOnly); // big-endian
    for (const quint32 v : values) {
        stream << v;
    }
    return out;
}

QByteArray record(const QByteArray &body) { return words({0x80000000u | quint32(body.size())}) + body; }

// Names that are none; GPIB is one, but not served here.
const QByteArrayList kNotNames =
    QByteArray(
        "|TCPIP|TCPIP0::::INSTR|TCPIP0::my host::INSTR|TCPIPX::h::INSTR|TCPIP0:h::INSTR|TCPIP65536::h::INSTR|"
        "TCPIP0::h::SOCKET|TCPIP0::h::0::SOCKET|TCPIP0::h::65536::SOCKET|TCPIP0::h::50x::SOCKET|"
        "TCPIP0::h::inst0::5025::SOCKET|TCPIP0::h::inst0::RAW|TCPIP0::h::::INSTR|GPIB0::5::INSTR")
        .split('|');

// A VXI-11 device on 127.0.0.38, portmapper and core channel on one port,
// that logs the link and the writes. Its reads are hostile: a reply that
// never ends (empty fragments) or replies to other calls only, sent for as
// long as the client takes them, twenty seconds at most; it hears no more
// calls then.
class FakeVxi11 : public QTcpServer
{
public:
    QStringList log;
    QByteArray written;
    bool ranOut = false; // a hostile read went on for its whole twenty seconds

    explicit FakeVxi11(quint32 maxRecvSize, bool emptyFragments = false)
    {
        listen(QHostAddress("127.0.0.38"), 0);
        connect(this, &QTcpServer::newConnection, this, [=] {
            QTcpSocket *s = nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [=] {
                for (qint64 size; s->bytesAvailable() >= (size = 4 + (word(s->peek(4), 0) & 0x7fffffff));) {
                    // xid, CALL, 2, program, version, procedure, no credentials, no verifier; the arguments
                    const QByteArray call = s->read(size).mid(4), args = call.mid(40);
                    const quint32 xid = word(call, 0);
                    const quint32 procedure = word(call, 3) == 100000 ? 0 : word(call, 5); // 0: GETPORT
                    QByteArray results = words({procedure == 0 ? serverPort() : 0u});
                    if (procedure == 10) {
                        log << "create_link " + args.mid(16, int(word(args, 3)));
                        results += words({7, 0, maxRecvSize});
                    } else if (procedure == 11) {
                        const quint32 length = word(args, 4); // only a write's arguments have it
                        log << QString("device_write %1%2").arg(length).arg(word(args, 3) & 8 ? " END" : "");
                        written += args.mid(20, int(length));
                        results += words({length});
                    } else if (procedure == 23) {
                        log << "destroy_link";
                    } else if (procedure == 12) {
                        const QByteArray more =
                            emptyFragments
                                ? QByteArray(65536, '\0')
                                : record(words({xid + 1000, 1, 0, 0, 0, 0, 0, 0, 0})).repeated(1600);
                        const QDeadlineTimer until(20000);
                        connect(s, &QTcpSocket::bytesWritten, s, [=] {
                            if (s->bytesToWrite() < more.size() && !(ranOut = until.hasExpired())) {
                                s->write(more);
                            }
                        });
                        s->write(more);
                        s->disconnect(SIGNAL(readyRead()));
                        return;
                    }
                    s->write(record(words({xid, 1, 0, 0, 0, 0}) + results));
                }
            });
        });
    }
};

} // namespace

class TestVisaUnit : public QObject
{
    Q_OBJECT

    // Runs the steps on a thread of their own while this one serves the fake.
    QString onFake(const QString &steps)
    {
        auto done = std::async(std::launch::async, [&] { return Steps{m_rm}.run(steps); });
        while (done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        return done.get();
    }

    void writeFile(const QString &name, const QByteArray &text)
    {
        QDir().mkpath(QFileInfo(m_dir.filePath(name)).path());
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }

    QTemporaryDir m_dir;
    ViSession m_rm = VI_NULL;

private slots:
    void initTestCase()
    {
        qputenv("TS4820_VISA_DISCOVER", "off"); // no search beyond loopback
        qunsetenv("TS4820_VISA_LIBRARY");
        QCOMPARE(viOpenDefaultRM(&m_rm), ViStatus(VI_SUCCESS));
    }

    void init()
    {
        qputenv("TS4820_VISA_CONFIG", m_dir.filePath("visa.conf").toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("xdg").toLocal8Bit());
        qputenv("HOME", m_dir.filePath("home").toLocal8Bit());
        qunsetenv("TS4820_VISA_RESOURCES");
        qunsetenv("TS4820_VISA_PORTMAPPER_PORT");
        QFile::remove(m_dir.filePath("visa.conf"));
    }

    void cleanupTestCase() { QCOMPARE(viClose(m_rm), ViStatus(VI_SUCCESS)); }

    // The environment's names first (any separators), then the file's: the
    // one TS4820_VISA_CONFIG names, else XDG_CONFIG_HOME's if absolute, else
    // HOME's; decoys in the places not to be read. Each name once, in its one
    // written form; names that are none left out. A "file" that is none, or
    // too large, is not read.
    void resourceSources_data()
    {
        QTest::addColumn<QByteArray>("environment");
        QTest::addColumn<int>("place");    // of the file: named, XDG, HOME (XDG relative)
        QTest::addColumn<QString>("file"); // what stands in for the file
        QTest::addColumn<QString>("found");
        const QString inFile =
            " TCPIP0::127.0.0.2::inst0::INSTR TCPIP0::127.0.0.3::inst0::INSTR "
            "TCPIP0::10.1.2.3::inst0::INSTR TCPIP0::10.1.2.3::inst2::INSTR "
            "TCPIP3::Bench-A.lab::INST1::INSTR TCPIP7::h::gpib0,5::INSTR TCPIP1::h::5025::SOCKET "
            "TCPIP0::h::65535::SOCKET TCPIP0::"
            + QString(VI_FIND_BUFLEN - 9, 'h');
        QTest::newRow("environment, then the file")
            << QByteArray(" TCPIP::10.0.0.2::INSTR,tcpip0::10.0.0.2::INST0::instr\tTCPIP::10.0.0.3::INSTR;"
                          "TCPIP::10.0.0.4::INSTR\nTCPIP::127.0.0.2::INSTR ")
            << 0 << QString()
            << "VI_SUCCESS TCPIP0::10.0.0.2::inst0::INSTR TCPIP0::10.0.0.3::inst0::INSTR "
               "TCPIP0::10.0.0.4::inst0::INSTR"
                   + inFile;
        QTest::newRow("XDG_CONFIG_HOME") << QByteArray() << 1 << QString() << "VI_SUCCESS" + inFile;
        QTest::newRow("XDG_CONFIG_HOME relative: HOME/.config")
            << QByteArray() << 2 << QString() << "VI_SUCCESS" + inFile;
        for (const char *file : {"/dev/zero", "FIFO", "over 64 KiB"}) {
            QTest::newRow(file) << QByteArray("TCPIP::10.0.0.1") << 0 << file
                                << "VI_SUCCESS TCPIP0::10.0.0.1::inst0::INSTR";
        }
    }

    void resourceSources()
    {
        QFETCH(QByteArray, environment);
        QFETCH(int, place);
        QFETCH(QString, file);
        const QString places[] = {"visa.conf", "xdg/Tarsel/visa.conf", "home/.config/Tarsel/visa.conf"};
        for (const QString &decoy : places) {
            writeFile(decoy, "TCPIP::10.9.9.9::INSTR\n");
        }
        const QByteArray names =
            "# units on the bench\n\n  TCPIP::127.0.0.2::INSTR  \r\ncolour = blue\n"
            "#TCPIP::10.0.0.8::INSTR\nportmapper-port = 1111 # old\ntcpip0::127.0.0.3::instr\n"
            "TCPIP::10.1.2.3\nTCPIP::10.1.2.3::inst2\nTCPIP3::Bench-A.lab::INST1::INSTR\n"
            "TCPIP007::h::gpib0,5::INSTR\ntcpip1::h::05025::socket\nTCPIP::h::65535::SOCKET\n"
            "TCPIP::"
            + QByteArray(300, 'h') + "::INSTR\n" + kNotNames.join('\n');
        writeFile(places[place],
                  file == "over 64 KiB" ? "TCPIP::10.0.0.7::INSTR\n" + QByteArray(64 * 1024, '#') : names);
        QVERIFY(file != "FIFO"
                || (QFile::remove(m_dir.filePath("visa.conf"))
                    && ::mkfifo(QFile::encodeName(m_dir.filePath("visa.conf")), 0600) == 0));
        qputenv("TS4820_VISA_CONFIG", place > 0              ? QByteArray()
                                      : file.startsWith('/') ? file.toLocal8Bit()
                                                             : m_dir.filePath("visa.conf").toLocal8Bit());
        if (place == 2) {
            qputenv("XDG_CONFIG_HOME", "xdg");
        }
        qputenv("TS4820_VISA_RESOURCES", environment);
        ::alarm(20); // a search that waits on the file ends the test
        QTEST(find(m_rm, "?*"), "found");
        ::alarm(0);
    }

    void expressions_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("found"); // of the names a, b, c, d of the test; "-": refused
        const QString table =               // an expression and what it finds a line
            "?*INSTR abc\n?* abcd\ntcpip?*socket d\nTCPIP0::127.0.0.2::inst0::INSTR a\nTCPIP0::127.0.0.2 \n? \n"
            "TCPIP0::127.0.0.[23]::inst0::INSTR ab\nTCPIP0::127.0.0.[^3]::?* ad\nTCPIP1::[A-Z]+-a?* c\n"
            "TCPIP0::127.0.0.2+::?* ad\nTCPIP0::127.0.0.23*::?* ad\nTCPIP0::127.0.0.23+::?* \n?*SOCKET|?*3::?* bd\n"
            "(TCPIP1|TCPIP0)::127?* abd\nTCPIP0::(127.0.0.2::)+?* ad\n?*\\? \n(?*)*(?*)*(?*)*(?*)*(?*)*(?*)*(?*)*x \n"
            " -\n*INSTR -\n?** -\n[abc -\n[]?* -\n[z-a]?* -\n(TCPIP?* -\nTCPIP?*) -\n?*| -\n?*\\ -\n"
            "?*INSTR{VI_ATTR_SLOT==1} -";
        for (const QString &row : table.split('\n')) {
            QTest::newRow(qPrintable(row)) << row.section(' ', 0, 0) << row.section(' ', 1);
        }
        QTest::newRow("32 groups deep, 512 characters")
            << QString(32, '(') + "TCPIP1" + QString(32, ')') + "?*"
                   + QString(512 - 72, '*').replace("**", "?*")
            << "c";
        QTest::newRow("33 groups deep") << QString(33, '(') + "?*" + QString(33, ')') << "-";
        QTest::newRow("513 characters") << QString("?*").repeated(256) + "?"
                                        << "-";
    }

    void expressions()
    {
        QFETCH(QString, expression);
        QFETCH(QString, found);
        const QStringList names{"TCPIP0::127.0.0.2::inst0::INSTR", "TCPIP0::127.0.0.3::inst0::INSTR",
                                "TCPIP1::bench-a::inst1::INSTR", "TCPIP0::127.0.0.2::5025::SOCKET"};
        writeFile("visa.conf", names.join('\n').toLatin1());
        QString expected = found == "-"      ? "VI_ERROR_INV_EXPR"
                           : found.isEmpty() ? "VI_ERROR_RSRC_NFOUND"
                                             : "VI_SUCCESS";
        for (const QChar c : found.remove('-')) {
            expected += " " + names[c.unicode() - 'a'];
        }
        QCOMPARE(find(m_rm, expression), expected);
    }

    // What the device sees of a session: GETPORT on the portmapper the
    // environment names (else the file's), create_link with the device, a
    // write in pieces of its maxRecvSize with END on the last, destroy_link.
    // A read from a device that never ends its reply, or answers only other
    // calls, ends by the session's time-out (500 ms), not by the device.
    void vxi11_data()
    {
        QTest::addColumn<QByteArray>("environment"); // "A": fake A's portmapper; other text as is
        QTest::addColumn<uint>("maxRecvSize");
        QTest::addColumn<bool>("emptyFragments"); // or replies to other calls, as the device's reads
        QTest::addColumn<int>("size");            // of the write; -1: a read instead
        QTest::addColumn<QString>("seen");        // the pieces written; the read's status
        QTest::newRow("one byte over") << QByteArray("A") << 16384u << false << 16385 << "16384|1 END";
        QTest::newRow("empty: END alone") << QByteArray("A") << 1024u << false << 0 << "0 END";
        QTest::newRow("device announces too little: 1024, whole pieces")
            << QByteArray("A") << 10u << false << 2048 << "1024|1024 END";
        QTest::newRow("unreadable environment value: the file's portmapper")
            << QByteArray("12x") << 1024u << false << 100 << "100 END";
        QTest::newRow("read, endless empty fragments")
            << QByteArray("A") << 1024u << true << -1 << "VI_ERROR_IO";
        QTest::newRow("read, replies to other calls")
            << QByteArray("A") << 1024u << false << -1 << "VI_ERROR_TMO";
    }

    void vxi11()
    {
        QFETCH(QByteArray, environment);
        QFETCH(uint, maxRecvSize);
        QFETCH(bool, emptyFragments);
        QFETCH(int, size);
        QFETCH(QString, seen);
        FakeVxi11 a(maxRecvSize, emptyFragments), b(maxRecvSize, emptyFragments);
        qputenv("TS4820_VISA_PORTMAPPER_PORT",
                environment == "A" ? QByteArray::number(a.serverPort()) : environment);
        writeFile("visa.conf", "portmapper-port = " + QByteArray::number(b.serverPort()) + " # fake B");
        const QString
            data = QString("abcdefghijklmnopqrstuvwxyz").repeated(size / 26 + 1).left(std::max(size, 0)),
            steps = "open TCPIP::127.0.0.38::gpib0,5::INSTR|"
                    + (size < 0 ? "set TMO_VALUE 500|read 100 = " + seen : "write " + data);
        QCOMPARE(onFake(steps), steps);
        const FakeVxi11 &device = environment == "A" ? a : b, &other = environment == "A" ? b : a;
        const QString pieces = "|device_write " + seen.replace("|", "|device_write ") + "|destroy_link";
        QCOMPARE(device.log.join('|'), "create_link gpib0,5" + (size < 0 ? "" : pieces));
        QCOMPARE(device.written, data.toLatin1());
        QCOMPARE(other.log, QStringList());
        QVERIFY2(!device.ranOut, "the read waited for the device to stop");
    }

    // Every status code of the header has a text: its name, then a sentence
    // of its own; a code without one says so.
    void statusTexts()
    {
        QFile header(QStringLiteral(VISA_HEADER));
        QVERIFY(header.open(QIODevice::ReadOnly));
        const QRegularExpression define(
            "#define (VI_(?:SUCCESS|WARN|ERROR)\\w*)\\s+(\\(_VI_ERROR \\+ )?(0x[0-9A-F]+|0)L");
        QHash<QString, QString> sentences; // whose each is
        char desc[VI_FIND_BUFLEN];
        for (auto m = define.globalMatch(QString::fromLatin1(header.readAll())); m.hasNext();) {
            const QRegularExpressionMatch d = m.next();
            const quint32 status = d.captured(3).toUInt(nullptr, 0) + (d.capturedLength(2) ? 0x80000000u : 0);
            QCOMPARE(viStatusDesc(m_rm, ViStatus(status), desc), ViStatus(VI_SUCCESS));
            const QString sentence = QString(desc).section(": ", 1);
            QVERIFY2(QString(desc).startsWith(d.captured(1) + ": ")
                         && QRegularExpression("^[A-Z].{15,}\\.$").match(sentence).hasMatch()
                         && !sentences.contains(sentence),
                     qPrintable(desc + sentences.value(sentence)));
            sentences.insert(sentence, d.captured(1));
        }
        QVERIFY2(sentences.size() > 30, "the header's status codes were not found");
        QCOMPARE(sentences.key("VI_ERROR_TMO"), "The time-out expired before the operation completed.");
        QCOMPARE(viStatusDesc(m_rm, VI_INSTR_ERROR_OFFSET + 5, desc), ViStatus(VI_WARN_UNKNOWN_STATUS));
        QCOMPARE(QByteArray(desc), "Unknown status code 0xBFFC0905.");
    }

    // Handles used wrongly (more in the built-in row of passThrough) and
    // names that are none; the manager they came through stays good.
    void misuse()
    {
        char desc[VI_FIND_BUFLEN];
        ViSession stale = VI_NULL, rm = VI_NULL, vi = 5;
        ViFindList list = VI_NULL;
        QCOMPARE(viOpenDefaultRM(&stale), ViStatus(VI_SUCCESS));
        QCOMPARE(viClose(stale), ViStatus(VI_SUCCESS));
        // Handles are not reused: a stale copy does not reach the next manager.
        QCOMPARE(viOpenDefaultRM(&rm), ViStatus(VI_SUCCESS));
        QCOMPARE(viClose(stale), ViStatus(VI_ERROR_INV_OBJECT));
        QCOMPARE(viFindRsrc(stale, "?*", VI_NULL, VI_NULL, desc), ViStatus(VI_ERROR_INV_OBJECT));
        QCOMPARE(viWrite(rm, reinterpret_cast<ViConstBuf>("x"), 1, VI_NULL), ViStatus(VI_ERROR_INV_OBJECT));
        QCOMPARE(viFindRsrc(rm, nullptr, VI_NULL, VI_NULL, desc), ViStatus(VI_ERROR_INV_EXPR));
        QCOMPARE(viOpen(rm, "TCPIP::10.0.0.1::INSTR", VI_EXCLUSIVE_LOCK, VI_NULL, &vi),
                 ViStatus(VI_ERROR_INV_ACC_MODE));
        for (const QByteArray &name : kNotNames) {
            QCOMPARE(viOpen(rm, name, VI_NULL, VI_NULL, &(vi = 5)),
                     ViStatus(name.startsWith("GPIB") ? VI_ERROR_RSRC_NFOUND : VI_ERROR_INV_RSRC_NAME));
            QCOMPARE(vi, ViSession(VI_NULL));
        }
        // Neither list nor count is needed; closing the manager closes its lists.
        qputenv("TS4820_VISA_RESOURCES", "TCPIP::10.0.0.1");
        QCOMPARE(viFindRsrc(rm, "?*", VI_NULL, VI_NULL, desc), ViStatus(VI_SUCCESS));
        QCOMPARE(QByteArray(desc), QByteArray("TCPIP0::10.0.0.1::inst0::INSTR"));
        QCOMPARE(viFindRsrc(rm, "?*", &list, VI_NULL, desc), ViStatus(VI_SUCCESS));
        QCOMPARE(viClose(rm), ViStatus(VI_SUCCESS));
        QCOMPARE(viFindNext(list, desc), ViStatus(VI_ERROR_INV_OBJECT));
    }

    // TS4820_VISA_LIBRARY: calls reach the named library unchanged (its log,
    // a line per call, comes before what the caller got, in its numbers and
    // texts); with one that cannot be used every call fails, the status text
    // still comes. The library is chosen once per process: each row runs
    // one fixed sequence of calls in a probe process of its own.
    void passThrough_data()
    {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QString>("calls");
        QTest::newRow("stand-in library")
            << QStringLiteral(STANDIN)
            << "viOpenDefaultRM|viStatusDesc|viFindRsrc ?*INSTR|viStatusDesc|viFindNext|viClose 0x5200|viFindNext|"
               "viOpen GPIB0::7::INSTR|viStatusDesc|viWrite *IDN?|viStatusDesc|viRead|viStatusDesc|"
               "viGetAttribute 0x3fff0171|viStatusDesc|viSetAttribute 0x3fff001a 500|viStatusDesc|viClose 0x5300|"
               "viStatusDesc|rm = 0|find ?*INSTR = 0 GPIB0::7::INSTR|open GPIB0::7::INSTR = 0|write *IDN? = 0|"
               "read 255 = 0 Stand-in Instruments,Model 7,0001,0.1\\n|get INTF_TYPE = 0 6|set TMO_VALUE 500 = 0|"
               "close = 0";
        const QString unavailable =
            "rm = VI_ERROR_LIBRARY_NFOUND|find ?*INSTR = VI_ERROR_LIBRARY_NFOUND|open GPIB0::7::INSTR = "
            "VI_ERROR_LIBRARY_NFOUND and the handle kept|write *IDN? = VI_ERROR_LIBRARY_NFOUND|read 255 = "
            "VI_ERROR_LIBRARY_NFOUND|get INTF_TYPE = VI_ERROR_LIBRARY_NFOUND|set TMO_VALUE 500 = "
            "VI_ERROR_LIBRARY_NFOUND|close = VI_ERROR_LIBRARY_NFOUND";
        QTest::newRow("no such file") << "/nonexistent/libvendorvisa.so" << unavailable;
        QTest::newRow("without viRead") << QStringLiteral(STANDIN_PARTIAL) << unavailable;
        QTest::newRow("names this library itself") << QStringLiteral(VISA_LIBRARY) << unavailable;
        QTest::newRow("empty: built-in")
            << QString()
            << "rm|find ?*INSTR = VI_ERROR_RSRC_NFOUND|open GPIB0::7::INSTR = VI_ERROR_RSRC_NFOUND|write *IDN? = "
               "VI_ERROR_INV_OBJECT|read 255 = VI_ERROR_INV_OBJECT|get INTF_TYPE = VI_ERROR_INV_OBJECT|"
               "set TMO_VALUE 500 = VI_ERROR_INV_OBJECT|close = VI_WARN_NULL_OBJECT";
    }

    void passThrough()
    {
        QFETCH(QString, library);
        qputenv("TS4820_VISA_LIBRARY",
                library.toLocal8Bit()); // the probe inherits it; this process chose long ago
        qputenv("STANDIN_VISA_LOG", "/dev/stdout");
        QProcess probe;
        probe.start(QCoreApplication::applicationFilePath(), {"--probe"});
        QVERIFY(probe.waitForFinished(30000));
        QTEST(QString(probe.readAllStandardOutput()).trimmed().replace('\n', '|'), "calls");
    }
};

int main(int argc, char **argv)
{
    if (argc == 2 && qstrcmp(argv[1], "--probe") == 0) { // see passThrough
        const QString got = Steps().run("rm|find ?*INSTR|open GPIB0::7::INSTR|write *IDN?|read 255|"
                                        "get INTF_TYPE|set TMO_VALUE 500|close");
        return std::puts(qPrintable(QString(got).replace('\n', "\\n"))) < 0;
    }
    QCoreApplication app(argc, argv);
    TestVisaUnit test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_visa_unit.moc"
