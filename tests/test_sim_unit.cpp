// The simulated unit's command set, message framing and memory, without the
// network: each row is what a raw-socket client sends and what it reads back.
#include "instrument.h"
#include "simprocess.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <sched.h>
#include <sys/mount.h>

using namespace sim;

namespace {

using E = QList<int>;

struct Run
{
    QByteArray replies; // each ended by LF, as on the wire
    E errors;           // the error queue left behind
};

// A unit powered on, `input` cut as the raw socket cuts it, powered off.
Run powerCycle(const QString &kind, const QByteArray &input, const QString &folder = {})
{
    UnitOptions options;
    options.subtype = kind.toLatin1();
    options.serial = 0x48209481;
    options.stateFolder = folder;
    Instrument unit(options);
    QString message; // *TST? tells what became of the state
    unit.load(&message);
    Run run;
    MessageFramer framer(MessageFramer::Mode::Newline);
    QList<FramedMessage> messages;
    framer.feed((input + '\n').constData(), input.size() + 1, true, messages);
    Session session;
    for (const FramedMessage &m : messages) {
        if (const std::optional<QByteArray> reply = unit.execute(session, m)) {
            run.replies += *reply + '\n';
        }
    }
    while (session.hasErrors()) {
        run.errors.append(session.takeError());
    }
    return run;
}

void row(const char *name, const QString &unit, const E &errors, const QString &input, const QString &replies)
{
    QTest::newRow(name) << unit << input << replies << errors;
}

const QByteArray kRelays = words(18, {{0, 4}, {17, 0x80000000}});
const QByteArray kManualExample = "configname=Bench_A\nmainrelays=" + words(18, {{0, 4}, {6, 4}})
                                  + "\nvrefvolt=4.500000\nvrefrelays=9\n==alias==\nX3=Sense+\nA=bus";

} // namespace

class TestSimUnit : public QObject
{
    Q_OBJECT

private slots:
    void exchanges_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("replies");
        QTest::addColumn<E>("errors");
        // A failed query's reply is empty; a blank message is none.
        row("headers, syntax and identity", "AA", {-113, -113, -113, -100, -101, -108, -114},
            "route:matrix:rows?\n:Rout:Matr:Rows?\nROU:MATR:ROWS?\nROUTEX:MATR?\n*RST?\n \t \n*RST;*IDN?\n"
            "ROUT:ALI? X\x01\n*IDN? 1\nSYST:COMM:LAN:DNS?\nSYST:COMM:LAN:DNS3?\n*IDN?\nSYST:COMM:LAN:SMAS?",
            "96\n96\n\n\n\n\n\n\n\"0.0.0.0\"\n\nTarsel Ltd.,Xentra 4820-AA,48209481,2.1.0\n\"255.0.0.0\"\n");
        // Blocks: 64 KiB a message at most, in one block or in several.
        row("framing: CR LF, quotes, blocks, lengths", "AA", {-161, -363, -223, -223},
            "*OPC?\r\nROUT:ALI X1,\"#9\"\r\nROUT:ALI? X1\nMEM:PRES:DATA #15a\nb\r\n\n*OPC?"
                + QString(4091, ' ') + "\n*OPC?" + QString(4092, ' ') + "\nMEM:PRES:DATA #565537"
                + QString(65537, '\n') + "\nMEM:PRES:DATA "
                + QString("#540000" + QString(40000, 'b')).repeated(2) + "\n*OPC?",
            "1\n\"#9\"\n1\n\n1\n");
        row("relay pattern", "AA", {-109, -108, -104, -222},
            "ROUT:MATR:STAT " + kRelays + "\nROUT:MATR " + words(17) + "\nROUT:MATR " + words(19)
                + "\nROUT:MATR G," + words(17) + "\nROUT:MATR 123456789," + words(17)
                + "\nROUT:MATR?\nROUT:MATR Ff," + words(17) + "\nROUT:MATR?",
            kRelays + '\n' + words(18, {{0, 0xff}}) + '\n');
        row("line names", "AA", {-222, -224, -104, -151, -151, -223, -102},
            "ROUT:ALI X12,'Sense+'\nROUT:ALI a,'bus'\nROUT:ALI y007,'out'\nROUT:ALI? x12\nROUT:ALI X97,'a'\n"
            "ROUT:ALI Q5,'a'\nROUT:ALI X1,abc\nROUT:ALI X1,'a=b'\nROUT:ALI X1,'a\"b'\nROUT:ALI X1,\""
                + QString(32, 'n') + "\"\nROUT:ALI X1,\"abc\nROUT:ALI:CAT?\nROUT:ALI D,\"" + QString(31, 'n')
                + "\"\nROUT:ALI X12,''\nROUT:ALI:CAT?",
            "\"Sense+\"\n#223X12=Sense+,Y7=out,A=bus\n#246Y7=out,A=bus,D=" + QString(31, 'n') + '\n');
        row("voltage reference", "AA", {-222, -104, -224, -224, -109},
            "SOUR:VOLT 4.4\nSOUR:VOLT?\nSOUR:VOLT .0004\nSOUR:VOLT?\nSOUR:VOLT:LEV -4.5E-3\nSOUR:VOLT?\n"
            "SOUR:VOLT 100\nSOUR:VOLT 4.5V\nSOUR:VOLT:LINK A,ON\nSOUR:VOLT:LINK d,1\nSOUR:VOLT:LINK? a\n"
            "SOUR:VOLT:LINK? B\nSOUR:VOLT:LINK E,ON\nSOUR:VOLT:LINK A,2\nSOUR:VOLT:LINK A\nSOUR:VOLT:CAT?",
            "4.5\n0\n-0.0045\n1\n0\n"
            "17,0,9,-9,4.5,-4.5,0.9,-0.9,0.45,-0.45,0.09,-0.09,0.045,-0.045,0.009,-0.009,0.0045,-0.0045\n");
        row("preset names refused", "AA", {-104, -151, -151, -223, -256, -222},
            "MEM:PRES:STOR Bench\nMEM:PRES:STOR ''\nMEM:PRES:STOR 'a b'\nMEM:PRES:STOR '" + QString(64, 'p')
                + "'\nMEM:PRES:DATA? 'Nope'\nMEM:PRES:NAME? 0",
            "\n\n");
        row("preset in use and edited mark", "AA", {},
            "MEM:PRES:STOR 'Bench'\nMEM:PRES:CURR?\nSOUR:VOLT:LINK B,ON\nMEM:PRES:CURR?\nSYST:IDEN ON\n"
            "MEM:PRES:REC 'Bench'\nMEM:PRES:CURR?\nSOUR:VOLT:LINK? B\nSYST:IDEN?\nROUT:ALI X1,''\n"
            "MEM:PRES:CURR?\nMEM:PRES:DEL 'Bench'\nMEM:PRES:CURR?\nMEM:PRES:COUN?",
            "\"Bench\"\n\"Bench*\"\n\"Bench\"\n0\n1\n\"Bench*\"\n\"\"\n0\n");
        row("reset opens relays, keeps names and presets", "AA", {},
            "SOUR:VOLT 9\nSOUR:VOLT:LINK C,ON\nROUT:ALI Y3,'out'\nMEM:PRES:STOR 'Keep'\nROUT:MATR " + kRelays
                + "\n*RST\nROUT:MATR?\nSOUR:VOLT?\nSOUR:VOLT:LINK? C\nROUT:ALI:CAT?\nMEM:PRES:CAT?\n"
                  "MEM:PRES:CURR?",
            words(18) + "\n0\n0\n#16Y3=out\n#14Keep\n\"\"\n");
        // The queue holds twenty: the last replaced by an overflow.
        row("status registers and error queue", "AA", E(19, -113) + E{-350},
            "BOGUS\n*STB?\n*ESR?\n*ESR?\nROUT:ALI X999,'a'\n*OPC\n*ESR?\n*OPC?\n*WAI\nSYST:ERR?\n"
            "SYST:ERR:NEXT?\nSYST:ERR?\nBOGUS\n*CLS\n"
                + QString("BOGUS\n").repeated(19) + "ROUT:ALI X0,'a'\n*RST;",
            "36\n32\n0\n17\n1\n-113,\"Undefined header\"\n-222,\"Data out of range\"\n0,\"No error\"\n");
        QString presets = "MEM:PRES:STOR 'b'\nMEM:PRES:STOR 'B'\nMEM:PRES:STOR '_'\nMEM:PRES:STOR '-'\n"
                          "MEM:PRES:STOR '9'\nMEM:PRES:CAT?\nMEM:PRES:NAME? 4\n";
        for (int i = 5; i < 100; ++i) {
            presets += QStringLiteral("MEM:PRES:STOR 'p%1'\n").arg(i);
        }
        row("presets in ASCII order, a hundred at most", "AA", {-225, -225},
            presets + "MEM:PRES:STOR 'extra'\nMEM:PRES:DATA " + formatBlock(kManualExample)
                + "\nMEM:PRES:STOR 'p7'\nMEM:PRES:COUN?",
            "#19-,9,B,_,b\n\"b\"\n100\n");
        // As the manual shows it; back with CR LF; again under the name in use.
        const QByteArray copy =
            formatBlock(QByteArray(kManualExample).replace("Bench_A", "Copy").replace("\n", "\r\n") + "\r\n");
        row("preset data", "AA", {},
            "ROUT:ALI X3,'Sense+'\nROUT:ALI A,'bus'\nROUT:MATR 4,0,0,0,0,0,4,0,0,0,0,0,0,0,0,0,0,0\n"
            "SOUR:VOLT 4.5\nSOUR:VOLT:LINK A,ON\nSOUR:VOLT:LINK D,1\nMEM:PRES:STOR 'Bench_A'\n"
            "MEM:PRES:DATA? 'Bench_A'\nMEM:PRES:DATA "
                + copy + "\n*RST\nROUT:ALI Y9,'gone'\nMEM:PRES:REC 'Copy'\nROUT:MATR?\nSOUR:VOLT?\n"
                + "ROUT:ALI:CAT?\nMEM:PRES:CAT?\nMEM:PRES:DATA " + copy + "\nMEM:PRES:CURR?",
            "#3248" + kManualExample + '\n' + words(18, {{0, 4}, {6, 4}})
                + "\n4.5\n#215X3=Sense+,A=bus\n#212Bench_A,Copy\n\"Copy*\"\n");
        QByteArray refused = "MEM:PRES:DATA #0\nMEM:PRES:DATA #3ab\nMEM:PRES:DATA #13abc x\n";
        for (const char *edit : {"00000004,|", "configname=Bench_A\n|", "h_A|h A", "4.5|5.5",
                                 "X3=|X97=", "=bus|=a=b", "9\n|9\n\n"}) {
            const QByteArrayList e = QByteArray(edit).split('|');
            refused += "MEM:PRES:DATA " + formatBlock(QByteArray(kManualExample).replace(e[0], e[1])) + '\n';
        }
        row("data refused", "AA", E{-160, -160, -102} + E(7, -161), refused + "MEM:PRES:COUN?", "0\n");
    }

    void exchanges()
    {
        QFETCH(QString, unit);
        QFETCH(QString, input);
        const Run run = powerCycle(unit, input.toLatin1());
        QTEST(QString::fromLatin1(run.replies), "replies");
        QTEST(run.errors, "errors");
    }

    void stateFolderKeepsWhatWasAcknowledged()
    {
        QTemporaryDir dir;
        QVERIFY(QFile(dir.filePath("presets.state.partial")).open(QIODevice::WriteOnly)); // a kill left it
        // A hundred presets, every line named; a relay write then rewrites only the small file.
        QByteArray setUp = "SOUR:VOLT -0.9\nSYST:ANUM \"TS-9\"\n";
        for (int i = 1; i <= 96 + 100; ++i) {
            setUp += i <= 96 ? "ROUT:ALI X" + QByteArray::number(i) + ",\"" + QByteArray(31, 'n') + "\"\n"
                             : "MEM:PRES:STOR \"P-" + QByteArray::number(i - 96) + "\"\n";
        }
        QCOMPARE(powerCycle("AA", setUp + "ROUT:ALI A,\"bus\"", dir.path()).errors, E{});
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"current.state", "presets.state"}));
        const QFileInfo presets(dir.filePath("presets.state"));
        const QDateTime stored = presets.lastModified();
        QTest::qWait(20);
        const QByteArray read = "ROUT:MATR?\nSOUR:VOLT?\nSOUR:VOLT:LINK? B\nROUT:ALI? A\nMEM:PRES:CURR?\n"
                                "SYST:ANUM?\nMEM:PRES:CAT?\nMEM:PRES:DATA? \"P-9\"\n*TST?\nSYST:IDEN?";
        const Run before = powerCycle(
            "AA", "ROUT:MATR " + kRelays + "\nSOUR:VOLT:LINK B,ON\nSYST:IDEN 1\n" + read, dir.path());
        QCOMPARE(QFileInfo(presets.filePath()).lastModified(), stored);
        QVERIFY(before.replies.startsWith(kRelays + "\n-0.9\n1\n\"bus\"\n\"P-100*\"\n\"TS-9\"\n#3")
                && before.replies.endsWith("\n0\n1\n"));
        // All but the identification light, which is off at power-on.
        QCOMPARE(powerCycle("AA", read, dir.path()).replies, before.replies.chopped(2) + "0\n");

        // A damaged state is moved aside as it was, the presets kept; not on 192 rows.
        QFile damaged(dir.filePath("current.state"));
        QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write("garbage") > 0 && damaged.flush());
        const Run cleared = powerCycle("AA", "*TST?\nMEM:PRES:COUN?\nMEM:PRES:CURR?", dir.path());
        QCOMPARE(cleared.replies, "1\n100\n\"\"\n");
        QFile aside(dir.filePath(QDir(dir.path()).entryList({"current.state.unreadable-*"}).value(0)));
        QVERIFY(aside.open(QIODevice::ReadOnly) && aside.readAll() == "garbage");
        QCOMPARE(powerCycle("AB", "MEM:PRES:COUN?", dir.path()).replies, "0\n");
    }

    void fullDiskRefusesChangesAndLosesNothing()
    {
        QTemporaryDir dir;
        // A 64 KiB file system of our own, in a mount namespace of this process.
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("ts4820-full", QFile::encodeName(dir.path()), "tmpfs", 0, "size=64k") != 0) {
            QSKIP("a small tmpfs cannot be mounted here (needs root and a private mount namespace)");
        }
        const auto unmount = qScopeGuard([&] { ::umount(QFile::encodeName(dir.path())); });
        // Each cycle reads, changes relays and a name, stores, reads again.
        const QByteArray read = "ROUT:MATR?\nROUT:ALI:CAT?\nMEM:PRES:CAT?\nMEM:PRES:CURR?\n*TST?\n";
        Run run;
        for (int i = 10; i < 100 && run.errors.isEmpty(); ++i) {
            const QByteArray n = QByteArray::number(i);
            const QByteArray change = "ROUT:MATR " + words(36, {{i % 36, quint32(i)}}) + "\nROUT:ALI Y" + n
                                      + ",'" + QByteArray(29, 'y') + n + "'\nMEM:PRES:STOR 'P" + n + "'\n";
            run = powerCycle("AB", read + change + read, dir.path());
        }
        // The store refused changed nothing; what was acknowledged remains.
        QVERIFY(run.errors.endsWith(-310));
        const QByteArrayList replies = run.replies.split('\n');
        QVERIFY(replies[7] == replies[2] && replies[2].size() > 10);
        QCOMPARE(powerCycle("AB", read, dir.path()).replies, replies.mid(5).join('\n'));
    }
};

QTEST_GUILESS_MAIN(TestSimUnit)
#include "test_sim_unit.moc"
