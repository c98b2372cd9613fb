// The VISA library without a unit: where the resource list comes from, names
// and search expressions, what a fake VXI-11 device sees and survives, status
// texts, handles used wrongly and the pass-through to a vendor library. No
// test reads the user's own configuration.
#include "visa.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtEndian>
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
    for (const quint32 v : values) {
        out += QByteArray(4, '\0');
        qToBigEndian(v, out.data() + out.size() - 4);
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
// long as the client takes them, twenty seconds at most.
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

public:
    // One fixed sequence of calls, a line each with status and results; on
    // an unbuffered output, so that a stand-in library's log to the same one
    // comes in order.
    static int probe()
    {
        std::setvbuf(stdout, nullptr, _IONBF, 0);
        ViSession rm = VI_NULL, vi = VI_NULL;
        ViFindList list = VI_NULL;
        ViUInt32 n = 0;
        ViUInt16 type = 0;
        char desc[VI_FIND_BUFLEN] = {}, reply[256] = {};
        const auto print = [](const char *call, ViStatus s, const QByteArray &rest = {}) {
            std::puts(
                qPrintable(QString::asprintf("%s %08x %s", call, unsigned(s), rest.constData()).trimmed()));
        };
        print("viOpenDefaultRM", viOpenDefaultRM(&rm));
        ViStatus s = viFindRsrc(rm, "?*INSTR", &list, &n, desc);
        print("viFindRsrc", s, QByteArray::number(n) + ' ' + desc);
        print("viOpen", viOpen(rm, desc, VI_NULL, VI_NULL, &vi));
        s = viWrite(vi, reinterpret_cast<ViConstBuf>("*IDN?"), 5, &n);
        print("viWrite", s, QByteArray::number(n));
        s = viRead(vi, reinterpret_cast<ViPBuf>(reply), 255, &(n = 0));
        print("viRead", s, QByteArray(reply, int(n)).toPercentEncoding(" ,"));
        s = viGetAttribute(vi, VI_ATTR_INTF_TYPE, &type);
        print("viGetAttribute", s, QByteArray::number(type));
        print("viSetAttribute", viSetAttribute(vi, VI_ATTR_TMO_VALUE, 500));
        print("viFindNext", viFindNext(list, desc));
        s = viStatusDesc(vi, VI_ERROR_TMO, desc);
        print("viStatusDesc", s, desc);
        print("viClose", viClose(vi));
        print("viClose", viClose(rm));
        return 0;
    }

private:
    // What a search finds, walked to its end and closed: its status, then the
    // names; a fault on the way as an entry of its own.
    QString search(const QString &expression)
    {
        ViFindList list = VI_NULL;
        ViUInt32 count = 99;
        char desc[VI_FIND_BUFLEN + 1];
        desc[VI_FIND_BUFLEN] = '#';
        const ViStatus status = viFindRsrc(m_rm, expression.toLatin1().constData(), &list, &count, desc);
        QStringList found{QString::number(uint(status), 16)};
        for (ViStatus next = status; next == VI_SUCCESS && found.size() <= int(count);
             next = viFindNext(list, desc)) {
            found << desc;
        }
        if (found.size() != 1 + int(status < 0 ? 0 : count) || desc[VI_FIND_BUFLEN] != '#'
            || (status == VI_SUCCESS
                && (viClose(list) != VI_SUCCESS || viFindNext(list, desc) == VI_SUCCESS))) {
            found << QString("count %1, buffer or closing wrong").arg(count);
        }
        return found.join('|');
    }

    // Opens a session to the fake, runs `call` on it and closes it, on a
    // thread of its own while this one serves the fake: the three statuses.
    QList<ViStatus> onFake(const char *resource, const std::function<ViStatus(ViSession)> &call)
    {
        QList<ViStatus> statuses;
        auto calls = std::async(std::launch::async, [&] {
            ViSession vi = VI_NULL;
            statuses << viOpen(m_rm, resource, VI_NULL, VI_NULL, &vi) << call(vi) << viClose(vi);
        });
        while (calls.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        return statuses;
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
        QTest::addColumn<int>("place");    // of the file: named, XDG, HOME (XDG empty), HOME (XDG relative)
        QTest::addColumn<QString>("file"); // what stands in for the file
        QTest::addColumn<QString>("found");
        const QString inFile =
            "|TCPIP0::127.0.0.2::inst0::INSTR|TCPIP0::127.0.0.3::inst0::INSTR|"
            "TCPIP0::10.1.2.3::inst0::INSTR|TCPIP0::10.1.2.3::inst2::INSTR|"
            "TCPIP3::Bench-A.lab::INST1::INSTR|TCPIP7::h::gpib0,5::INSTR|TCPIP1::h::5025::SOCKET|"
            "TCPIP0::h::65535::SOCKET|TCPIP0::"
            + QString(VI_FIND_BUFLEN - 9, 'h');
        QTest::newRow("environment, then the file")
            << QByteArray(" TCPIP::10.0.0.2::INSTR,tcpip0::10.0.0.2::INST0::instr\tTCPIP::10.0.0.3::INSTR;"
                          "TCPIP::10.0.0.4::INSTR\nTCPIP::127.0.0.2::INSTR ")
            << 0 << QString()
            << "0|TCPIP0::10.0.0.2::inst0::INSTR|TCPIP0::10.0.0.3::inst0::INSTR|TCPIP0::10.0.0.4::inst0::INSTR"
                   + inFile;
        QTest::newRow("XDG_CONFIG_HOME") << QByteArray() << 1 << QString() << "0" + inFile;
        QTest::newRow("XDG_CONFIG_HOME empty: HOME/.config")
            << QByteArray() << 2 << QString() << "0" + inFile;
        QTest::newRow("XDG_CONFIG_HOME relative: HOME/.config")
            << QByteArray() << 3 << QString() << "0" + inFile;
        for (const char *file : {"/dev/zero", "FIFO", "over 64 KiB"}) {
            QTest::newRow(file) << QByteArray("TCPIP::10.0.0.1") << 0 << file
                                << "0|TCPIP0::10.0.0.1::inst0::INSTR";
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
        writeFile(places[std::min(place, 2)],
                  file == "over 64 KiB" ? "TCPIP::10.0.0.7::INSTR\n" + QByteArray(64 * 1024, '#') : names);
        QVERIFY(file != "FIFO"
                || (QFile::remove(m_dir.filePath("visa.conf"))
                    && ::mkfifo(QFile::encodeName(m_dir.filePath("visa.conf")), 0600) == 0));
        qputenv("TS4820_VISA_CONFIG", place > 0              ? QByteArray()
                                      : file.startsWith('/') ? file.toLocal8Bit()
                                                             : m_dir.filePath("visa.conf").toLocal8Bit());
        if (place >= 2) {
            qputenv("XDG_CONFIG_HOME", place == 2 ? "" : "xdg");
        }
        qputenv("TS4820_VISA_RESOURCES", environment);
        ::alarm(20); // a search that waits on the file ends the test
        QTEST(search("?*"), "found");
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
        QTest::newRow("10,000 groups deep") << QString(10000, '(') + "?*" + QString(10000, ')') << "-";
        QTest::newRow("a* 200,000 times") << QString("a*").repeated(200000) << "-";
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
        QString expected = found == "-" ? "bfff0010" : found.isEmpty() ? "bfff0011" : "0";
        for (const QChar c : found.remove('-')) {
            expected += "|" + names[c.unicode() - 'a'];
        }
        QCOMPARE(search(expression), expected);
    }

    // What the device sees of a session: GETPORT on the portmapper the
    // environment names (else the file's), create_link with the device, the
    // write in pieces of its maxRecvSize with END on the last, destroy_link.
    void vxi11_data()
    {
        QTest::addColumn<QByteArray>("environment"); // "A": fake A's portmapper; other text as is
        QTest::addColumn<int>("size");
        QTest::addColumn<uint>("maxRecvSize");
        QTest::addColumn<QString>("pieces");
        QTest::newRow("whole pieces") << QByteArray("A") << 2048 << 1024u << "1024|1024 END";
        QTest::newRow("one byte over") << QByteArray("A") << 16385 << 16384u << "16384|1 END";
        QTest::newRow("empty: END alone") << QByteArray("A") << 0 << 1024u << "0 END";
        QTest::newRow("device announces too little: 1024")
            << QByteArray("A") << 3000 << 10u << "1024|1024|952 END";
        QTest::newRow("unreadable environment value: the file's portmapper")
            << QByteArray("12x") << 100 << 1024u << "100 END";
    }

    void vxi11()
    {
        QFETCH(QByteArray, environment);
        QFETCH(int, size);
        QFETCH(uint, maxRecvSize);
        QFETCH(QString, pieces);
        FakeVxi11 a(maxRecvSize), b(maxRecvSize);
        qputenv("TS4820_VISA_PORTMAPPER_PORT",
                environment == "A" ? QByteArray::number(a.serverPort()) : environment);
        writeFile("visa.conf", "portmapper-port = " + QByteArray::number(b.serverPort()));
        const QByteArray data = QByteArray("abcdefghijklmnopqrstuvwxyz").repeated(size / 26 + 1).left(size);
        const auto write = [&](ViSession vi) {
            ViUInt32 written = 0;
            const ViStatus status =
                viWrite(vi, reinterpret_cast<ViConstBuf>(data.constData()), ViUInt32(size), &written);
            return written == ViUInt32(size) ? status : VI_ERROR_IO;
        };
        QCOMPARE(onFake("TCPIP::127.0.0.38::gpib0,5::INSTR", write), QList<ViStatus>(3, VI_SUCCESS));
        const FakeVxi11 &device = environment == "A" ? a : b, &other = environment == "A" ? b : a;
        QCOMPARE(device.log.join('|'), "create_link gpib0,5|device_write "
                                           + pieces.replace("|", "|device_write ") + "|destroy_link");
        QCOMPARE(device.written, data);
        QCOMPARE(other.log, QStringList());
    }

    // A read from a unit that never ends its reply, or answers only other
    // calls, ends by the session's time-out (500 ms), not by the unit.
    void hostileReadsEnd_data()
    {
        QTest::addColumn<bool>("emptyFragments");
        QTest::addColumn<int>("status");
        QTest::newRow("endless empty fragments") << true << int(VI_ERROR_IO);
        QTest::newRow("replies to other calls") << false << int(VI_ERROR_TMO);
    }

    void hostileReadsEnd()
    {
        QFETCH(bool, emptyFragments);
        QFETCH(int, status);
        FakeVxi11 unit(1024, emptyFragments);
        qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(unit.serverPort()));
        const auto read = [](ViSession vi) {
            char buffer[100];
            ViUInt32 count = 0;
            viSetAttribute(vi, VI_ATTR_TMO_VALUE, 500);
            return viRead(vi, reinterpret_cast<ViPBuf>(buffer), sizeof buffer, &count);
        };
        QCOMPARE(onFake("TCPIP::127.0.0.38::INSTR", read), (QList<ViStatus>{VI_SUCCESS, status, VI_SUCCESS}));
        QVERIFY2(!unit.ranOut, "the read waited for the unit to stop");
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
    // a line per call, comes before what the caller got); with one that
    // cannot be used every call fails, the status text still comes. The
    // library is chosen once per process: each row probes in one anew.
    void passThrough_data()
    {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QString>("calls");
        QTest::newRow("stand-in library")
            << QStringLiteral(STANDIN)
            << "viOpenDefaultRM|viOpenDefaultRM 00000000|viFindRsrc ?*INSTR|"
               "viFindRsrc 00000000 1 TCPIP0::standin.example::inst0::INSTR|viOpen TCPIP0::standin.example::inst0::INSTR|"
               "viOpen 00000000|viWrite *IDN?|viWrite 00000000 5|viRead|viRead 00000000 Stand-in Instruments,Model 7,"
               "0001,0.1%0A|viGetAttribute 0x3fff0171|viGetAttribute 00000000 6|viSetAttribute 0x3fff001a 500|"
               "viSetAttribute 00000000|viFindNext|viFindNext bfff0011|viStatusDesc|viStatusDesc 00000000 stand-in text "
               "for 0xbfff0015|viClose 0x5300|viClose 00000000|viClose 0x5100|viClose 00000000";
        const QString timeOut =
            "viStatusDesc 00000000 VI_ERROR_TMO: The time-out expired before the operation completed.";
        const QString unavailable =
            "viOpenDefaultRM bfff009e|viFindRsrc bfff009e 0|viOpen bfff009e|viWrite bfff009e 0|"
            "viRead bfff009e|viGetAttribute bfff009e 0|viSetAttribute bfff009e|viFindNext bfff009e|"
            + timeOut + "|viClose bfff009e|viClose bfff009e";
        QTest::newRow("no such file") << "/nonexistent/libvendorvisa.so" << unavailable;
        QTest::newRow("without viRead") << QStringLiteral(STANDIN_PARTIAL) << unavailable;
        QTest::newRow("names this library itself") << QStringLiteral(VISA_LIBRARY) << unavailable;
        QTest::newRow("empty: built-in")
            << QString()
            << "viOpenDefaultRM 00000000|viFindRsrc bfff0011 0|viOpen bfff0012|viWrite bfff000e 0|viRead bfff000e|"
               "viGetAttribute bfff000e 0|viSetAttribute bfff000e|viFindNext bfff000e|"
                   + timeOut + "|viClose 3fff0082|viClose 00000000";
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
    if (argc == 2 && qstrcmp(argv[1], "--probe") == 0) {
        return TestVisaUnit::probe();
    }
    QCoreApplication app(argc, argv);
    TestVisaUnit test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_visa_unit.moc"
