// The simulated unit's command set, message framing and memory, without the
// network: each row is a short exchange as a client would have it.
#include "instrument.h"
#include "oncrpc.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sched.h>
#include <sys/mount.h>

using namespace sim;

namespace {

struct Run
{
    QByteArrayList replies; // one per query, in order
    QList<int> errors;      // the error queue after the exchange
};

Run exchange(Instrument &unit, Session &session, const QByteArrayList &messages)
{
    Run run;
    for (const QByteArray &m : messages) {
        if (const std::optional<QByteArray> reply = unit.execute(session, FramedMessage{m})) {
            run.replies.append(*reply);
        }
    }
    while (session.hasErrors()) {
        run.errors.append(session.takeError());
    }
    return run;
}

UnitOptions options(const QByteArray &subtype = "AA", bool vref = true, const QString &folder = {})
{
    UnitOptions o;
    o.subtype = subtype;
    o.serial = 0x48209481;
    o.voltageReference = vref;
    o.stateFolder = folder;
    return o;
}

QByteArray words(int count, QList<QPair<int, quint32>> set = {})
{
    QByteArrayList w(count, "00000000");
    for (const auto &[index, value] : set) {
        w[index] = formatHexWord(value);
    }
    return w.join(',');
}

const QByteArray kManualExample =
    "configname=Bench_A\n"
    "mainrelays=00000004,00000000,00000000,00000000,00000000,00000000,00000004,00000000,"
    "00000000,00000000,00000000,00000000,00000000,00000000,00000000,00000000,00000000,00000000\n"
    "vrefvolt=4.500000\nvrefrelays=9\n==alias==\nX3=Sense+\nA=bus";

} // namespace

class TestSimUnit : public QObject
{
    Q_OBJECT

private slots:
    void exchangesGiveRepliesAndErrors_data();
    void exchangesGiveRepliesAndErrors();
    void unitWithoutVoltageReference();
    void presetDataMatchesTheManualExampleAndUploadsBack();
    void presetsAreListedInAsciiOrderUpToOneHundred();
    void errorQueueHoldsTwentyThenOverflows();
    void framerCutsMessages_data();
    void framerCutsMessages();
    void faultsChangeTheChosenCommandOnly();
    void stateFolderKeepsEverythingAcknowledged();
    void unreadableStateIsMovedAsideNotOverwritten();
    void presetsLiveApartFromTheRelayState();
    void fullDiskRefusesChangesAndLosesNothing();
    void unwritableMemoryFailsTheCommandWithoutEffect();
    void rpcRecordsAreJoinedFromFragments();
};

void TestSimUnit::exchangesGiveRepliesAndErrors_data()
{
    QTest::addColumn<QByteArrayList>("messages");
    QTest::addColumn<QByteArrayList>("replies");
    QTest::addColumn<QList<int>>("errors");
    using L = QByteArrayList;
    using E = QList<int>;

    QTest::newRow("identification") << L{"*IDN?"} << L{"Tarsel Ltd.,Xentra 4820-AA,48209481,2.1.0"} << E{};
    QTest::newRow("blank message ignored") << L{"", " \t "} << L{} << E{};
    QTest::newRow("long, short and lower-case headers")
        << L{"route:matrix:rows?", ":ROUT:MATR:ROWS?", "Rout:Matr:Rows?"} << L{"96", "96", "96"} << E{};
    QTest::newRow("half a node is no header")
        << L{"ROU:MATR:ROWS?", "ROUTEX:MATR?"} << L{"", ""} << E{UndefinedHeader, UndefinedHeader};
    QTest::newRow("query form of a command only")
        << L{"*RST?", "*CLS?"} << L{"", ""} << E{UndefinedHeader, UndefinedHeader};
    QTest::newRow("compound message refused") << L{"*RST;*IDN?"} << L{""} << E{CommandError};
    QTest::newRow("control character")
        << L{QByteArray("ROUT:ALI? X\x01", 12)} << L{""} << E{InvalidCharacter};
    QTest::newRow("parameter to a query without") << L{"*IDN? 1"} << L{""} << E{ParameterNotAllowed};
    QTest::newRow("DNS suffix") << L{"SYST:COMM:LAN:DNS?", "SYST:COMM:LAN:DNS2?", "SYST:COMM:LAN:DNS3?"}
                                << L{"\"0.0.0.0\"", "\"0.0.0.0\"", ""} << E{HeaderSuffixOutOfRange};
    QTest::newRow("relays read back")
        << L{"ROUT:MATR " + words(18, {{0, 4}, {6, 4}, {17, 0x80000000}}), "ROUT:MATR?"}
        << L{words(18, {{0, 4}, {6, 4}, {17, 0x80000000}})} << E{};
    QTest::newRow("relay words: short hex, any case")
        << L{"ROUT:MATR:STAT Ff," + words(17), "ROUT:MATR?"} << L{words(18, {{0, 0xff}})} << E{};
    QTest::newRow("relay word count and form")
        << L{"ROUT:MATR " + words(17), "ROUT:MATR " + words(19), "ROUT:MATR G," + words(17),
             "ROUT:MATR 123456789," + words(17), "ROUT:MATR?"}
        << L{words(18)} << E{MissingParameter, ParameterNotAllowed, DataTypeError, DataOutOfRange};
    QTest::newRow("aliases set, read, removed")
        << L{"ROUT:ALI X12,\"Sense+\"", "ROUT:ALI a,'bus'",  "ROUT:ALI y007,\"out\"", "ROUT:ALI? x12",
             "ROUT:ALI:CAT?",           "ROUT:ALI X12,\"\"", "ROUT:ALI:CAT?"}
        << L{"\"Sense+\"", "#223X12=Sense+,Y7=out,A=bus", "#212Y7=out,A=bus"} << E{};
    QTest::newRow("alias lines and texts refused")
        << L{"ROUT:ALI X97,\"a\"",  "ROUT:ALI X0,\"a\"",  "ROUT:ALI Q5,\"a\"",
             "ROUT:ALI AB,\"a\"",   "ROUT:ALI X,\"a\"",   "ROUT:ALI X1,abc",
             "ROUT:ALI X1,\"a=b\"", "ROUT:ALI X1,'a\"b'", "ROUT:ALI X1,\"" + QByteArray(32, 'n') + "\"",
             "ROUT:ALI X1,\"abc",   "ROUT:ALI X1,\"a\"x", "ROUT:ALI X1,",
             "ROUT:ALI:CAT?"}
        << L{"#10"} << E{DataOutOfRange,        DataOutOfRange, IllegalParameterValue, IllegalParameterValue,
                         IllegalParameterValue, DataTypeError,  InvalidStringData,     InvalidStringData,
                         TooMuchData,           SyntaxError,    SyntaxError,           SyntaxError};
    QTest::newRow("31-character name accepted")
        << L{"ROUT:ALI D,\"" + QByteArray(31, 'n') + "\"", "ROUT:ALI? D"}
        << L{'"' + QByteArray(31, 'n') + '"'} << E{};
    QTest::newRow("voltage matching")
        << L{"SOUR:VOLT 4.4", "SOUR:VOLT?",    "SOUR:VOLT .0004", "SOUR:VOLT?", "SOUR:VOLT:LEV -4.5E-3",
             "SOUR:VOLT?",    "SOUR:VOLT 100", "SOUR:VOLT 4.5V",  "SOUR:VOLT?"}
        << L{"4.5", "0", "-0.0045", "-0.0045"} << E{DataOutOfRange, DataTypeError};
    QTest::newRow("voltage table")
        << L{"SOUR:VOLT:CAT?"}
        << L{"17,0,9,-9,4.5,-4.5,0.9,-0.9,0.45,-0.45,0.09,-0.09,0.045,-0.045,0.009,-0.009,0.0045,-0.0045"}
        << E{};
    QTest::newRow("links") << L{"SOUR:VOLT:LINK A,ON", "SOUR:VOLT:LINK d,1",   "SOUR:VOLT:LINK? a",
                                "SOUR:VOLT:LINK? B",   "SOUR:VOLT:LINK E,ON",  "SOUR:VOLT:LINK A,2",
                                "SOUR:VOLT:LINK A",    "SOUR:VOLT:LINK? \"A\""}
                           << L{"1", "0", ""}
                           << E{IllegalParameterValue, IllegalParameterValue, MissingParameter,
                                DataTypeError};
    QTest::newRow("preset names")
        << L{"MEM:PRES:STOR Bench",     "MEM:PRES:STOR \"\"",
             "MEM:PRES:STOR \"a b\"",   "MEM:PRES:STOR \"" + QByteArray(64, 'p') + "\"",
             "MEM:PRES:REC \"Nope\"",   "MEM:PRES:DEL \"Nope\"",
             "MEM:PRES:DATA? \"Nope\"", "MEM:PRES:COUN?",
             "MEM:PRES:NAME? 0"}
        << L{"", "0", ""} << E{DataTypeError,    InvalidStringData, InvalidStringData, TooMuchData,
                               FileNameNotFound, FileNameNotFound,  FileNameNotFound,  DataOutOfRange};
    QTest::newRow("preset in use and edited mark")
        << L{"MEM:PRES:STOR \"Bench\"", "MEM:PRES:CURR?",    "SOUR:VOLT:LINK B,ON",
             "MEM:PRES:CURR?",          "SYST:IDEN ON",      "MEM:PRES:REC \"Bench\"",
             "MEM:PRES:CURR?",          "SOUR:VOLT:LINK? B", "SYST:IDEN?",
             "ROUT:ALI X1,\"\"",        "MEM:PRES:CURR?",    "*RST",
             "MEM:PRES:CURR?"}
        << L{"\"Bench\"", "\"Bench*\"", "\"Bench\"", "0", "1", "\"Bench*\"", "\"\""} << E{};
    QTest::newRow("deleting the preset in use")
        << L{"MEM:PRES:STOR \"Bench\"", "MEM:PRES:DEL \"Bench\"", "MEM:PRES:CURR?", "MEM:PRES:COUN?"}
        << L{"\"\"", "0"} << E{};
    QTest::newRow("reset opens relays, keeps names and presets")
        << L{"ROUT:MATR " + words(18, {{5, 1}}),
             "SOUR:VOLT 9",
             "SOUR:VOLT:LINK C,ON",
             "ROUT:ALI Y3,\"out\"",
             "MEM:PRES:STOR \"Keep\"",
             "*RST",
             "ROUT:MATR?",
             "SOUR:VOLT?",
             "SOUR:VOLT:LINK? C",
             "ROUT:ALI:CAT?",
             "MEM:PRES:CAT?"}
        << L{words(18), "0", "0", "#16Y3=out", "#14Keep"} << E{};
    QTest::newRow("blocks refused") << L{"MEM:PRES:DATA #0",     "MEM:PRES:DATA #3ab",
                                         "MEM:PRES:DATA #15abc", "MEM:PRES:DATA #13abc x",
                                         "MEM:PRES:DATA \"x\"",  "MEM:PRES:DATA #14abcd",
                                         "MEM:PRES:COUN?"}
                                    << L{"0"} << E{BlockDataError, BlockDataError, BlockDataError,
                                                   SyntaxError,    DataTypeError,  InvalidBlockData};
    QTest::newRow("status registers")
        << L{"BOGUS", "*STB?", "*ESR?", "*ESR?", "ROUT:ALI X999,\"a\"", "*OPC", "*ESR?", "*OPC?"}
        << L{"36", "32", "0", "17", "1"} << E{UndefinedHeader, DataOutOfRange};
    QTest::newRow("error queue read and cleared")
        << L{"BOGUS", "SYST:ERR?", "SYST:ERR:NEXT?", "BOGUS", "*CLS"}
        << L{"-113,\"Undefined header\"", "0,\"No error\""} << E{};
    QTest::newRow("identity and LAN")
        << L{"SYST:SER?",           "SYST:SUBT?",         "SYST:PROD?",
             "SYST:LXI:CLAS?",      "SYST:DESC?",         "SYST:COMM:LAN:HOST?",
             "SYST:COMM:LAN:ADDR?", "SYST:COMM:LAN:MAC?", "SYST:VERS?"}
        << L{"48209481",
             "\"AA\"",
             "\"1.2.0\"",
             "\"C\"",
             "\"Tarsel Ltd - Xentra 4820 - 48209481 - LXI Matrix Switching Unit\"",
             "\"xentra-48209481\"",
             "\"127.0.0.1\"",
             "\"02:54:53:20:94:81\"",
             "1999.0"}
        << E{};
    QTest::newRow("description and asset number") << L{"SYST:ANUM \"TS-00417\"",
                                                       "SYST:ANUM?",
                                                       "SYST:DESC 'a\"b'",
                                                       "SYST:DESC \"" + QByteArray(128, 'd') + "\"",
                                                       "SYST:ANUM \"" + QByteArray(64, 'a') + "\"",
                                                       "SYST:DESC \"" + QByteArray(127, 'd') + "\"",
                                                       "SYST:DESC?"}
                                                  << L{"\"TS-00417\"", '"' + QByteArray(127, 'd') + '"'}
                                                  << E{InvalidStringData, TooMuchData, TooMuchData};
}

void TestSimUnit::exchangesGiveRepliesAndErrors()
{
    QFETCH(QByteArrayList, messages);
    Instrument unit(options());
    Session session;
    const Run run = exchange(unit, session, messages);
    QFETCH(QByteArrayList, replies);
    QFETCH(QList<int>, errors);
    QCOMPARE(run.replies, replies);
    QCOMPARE(run.errors, errors);
}

void TestSimUnit::unitWithoutVoltageReference()
{
    Instrument unit(options("BB", false));
    Session session;
    const Run run = exchange(unit, session,
                             {"SOUR:VOLT:CAT?", "SOUR:VOLT 0", "SOUR:VOLT?", "SOUR:VOLT:LINK D,ON",
                              "SOUR:VOLT:LINK? D", "ROUT:MATR:ROWS?", "ROUT:ALI Y192,\"last\"",
                              "MEM:PRES:STOR \"P\"", "MEM:PRES:DATA? \"P\""});
    QCOMPARE(run.errors, (QList<int>{HardwareMissing, HardwareMissing}));
    QCOMPARE(run.replies.mid(0, 4), (QByteArrayList{"0", "", "1", "192"}));
    QVERIFY(run.replies[4].contains("\nvrefvolt=0.000000\nvrefrelays=8\n==alias==\nY192=last"));
}

void TestSimUnit::presetDataMatchesTheManualExampleAndUploadsBack()
{
    Instrument unit(options());
    Session session;
    Run run =
        exchange(unit, session,
                 {"*RST", "ROUT:ALI X3,\"Sense+\"", "ROUT:ALI A,\"bus\"",
                  "ROUT:MATR 4,0,0,0,0,0,4,0,0,0,0,0,0,0,0,0,0,0", "SOUR:VOLT 4.5", "SOUR:VOLT:LINK A,ON",
                  "SOUR:VOLT:LINK D,1", "MEM:PRES:STOR \"Bench_A\"", "MEM:PRES:DATA? \"Bench_A\""});
    QCOMPARE(run.errors, QList<int>());
    QCOMPARE(run.replies, QByteArrayList{"#3248" + kManualExample});

    // Back under another name, with CR LF line ends and a final line end;
    // then recalled over a changed configuration.
    QByteArray upload = QByteArray(kManualExample).replace("Bench_A", "Copy").replace("\n", "\r\n") + "\r\n";
    run = exchange(unit, session,
                   {"MEM:PRES:DATA " + formatBlock(upload), "*RST", "ROUT:ALI Y9,\"gone\"",
                    "MEM:PRES:REC \"Copy\"", "ROUT:MATR?", "SOUR:VOLT?", "ROUT:ALI:CAT?", "MEM:PRES:CAT?",
                    "MEM:PRES:CURR?"});
    QCOMPARE(run.errors, QList<int>());
    QCOMPARE(run.replies, (QByteArrayList{words(18, {{0, 4}, {6, 4}}), "4.5", "#215X3=Sense+,A=bus",
                                          "#212Bench_A,Copy", "\"Copy\""}));

    // Each broken rule is refused and stores nothing; an upload under the
    // name in use marks it edited.
    const QByteArrayList broken = {
        QByteArray(kManualExample).replace("mainrelays=00000004,", "mainrelays="),
        QByteArray(kManualExample).replace("configname=Bench_A\n", ""),
        QByteArray(kManualExample).replace("Bench_A", "Bench A"),
        QByteArray(kManualExample).replace("4.500000", "5.5"),
        QByteArray(kManualExample).replace("vrefrelays=9", "vrefrelays=10"),
        QByteArray(kManualExample).replace("X3=", "X97="),
        QByteArray(kManualExample).replace("X3=Sense+", "X3=a=b"),
        QByteArray(kManualExample).replace("vrefvolt=4.500000\n", "vrefvolt=4.5\n\n"),
    };
    for (const QByteArray &data : broken) {
        run = exchange(unit, session, {"MEM:PRES:DATA " + formatBlock(data)});
        QVERIFY2(run.errors == QList<int>{InvalidBlockData}, data.constData());
    }
    run =
        exchange(unit, session, {"MEM:PRES:COUN?", "MEM:PRES:DATA " + formatBlock(upload), "MEM:PRES:CURR?"});
    QCOMPARE(run.replies, (QByteArrayList{"2", "\"Copy*\""}));

    Instrument big(options("AB"));
    run = exchange(big, session, {"MEM:PRES:DATA " + formatBlock(kManualExample)});
    QCOMPARE(run.errors, QList<int>{InvalidBlockData}); // 18 words on a 192-row unit
}

void TestSimUnit::presetsAreListedInAsciiOrderUpToOneHundred()
{
    Instrument unit(options());
    Session session;
    Run run = exchange(unit, session,
                       {"MEM:PRES:STOR \"b\"", "MEM:PRES:STOR \"B\"", "MEM:PRES:STOR \"_\"",
                        "MEM:PRES:STOR \"-\"", "MEM:PRES:STOR \"9\"", "MEM:PRES:CAT?", "MEM:PRES:NAME? 4"});
    QCOMPARE(run.replies, (QByteArrayList{"#19-,9,B,_,b", "\"b\""}));
    QByteArrayList more;
    for (int i = 0; i < 95; ++i) {
        more.append("MEM:PRES:STOR \"p" + QByteArray::number(i) + '"');
    }
    more += {"MEM:PRES:STOR \"extra\"", "MEM:PRES:DATA " + formatBlock(kManualExample), "MEM:PRES:STOR \"b\"",
             "MEM:PRES:COUN?"};
    run = exchange(unit, session, more);
    QCOMPARE(run.errors, (QList<int>{OutOfMemory, OutOfMemory}));
    QCOMPARE(run.replies, QByteArrayList{"100"});
}

void TestSimUnit::errorQueueHoldsTwentyThenOverflows()
{
    Instrument unit(options());
    Session session, other;
    for (const QByteArray &m : QByteArrayList(19, "BOGUS") + QByteArrayList{"ROUT:ALI X0,\"a\"", "*RST;"}) {
        unit.execute(session, FramedMessage{m});
    }
    QCOMPARE(exchange(unit, other, {"SYST:ERR?"}).replies, QByteArrayList{"0,\"No error\""});
    const Run run = exchange(unit, session, {});
    QCOMPARE(run.errors.size(), 20);
    QCOMPARE(run.errors.first(), int(UndefinedHeader));
    QCOMPARE(run.errors.last(), int(QueueOverflow));
}

void TestSimUnit::framerCutsMessages_data()
{
    QTest::addColumn<bool>("endFlag");
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArrayList>("messages");
    QTest::addColumn<QList<int>>("errors");
    using L = QByteArrayList;
    using E = QList<int>;
    QTest::newRow("lines, CR LF") << false << L{"*IDN?\r\nSYST:E", "RR?\n\n"} << L{"*IDN?", "SYST:ERR?", ""}
                                  << E{0, 0, 0};
    QTest::newRow("newlines inside a block are data") << false << L{"MEM:PRES:DATA #15a\nb\r\n", "\n*OPC?\n"}
                                                      << L{"MEM:PRES:DATA #15a\nb\r\n", "*OPC?"} << E{0, 0};
    QTest::newRow("quoted # starts no block")
        << false << L{"ROUT:ALI X1,\"#9\"\n"} << L{"ROUT:ALI X1,\"#9\""} << E{0};
    QTest::newRow("too long, then fine")
        << false << L{"ROUT:ALI? " + QByteArray(4100, 'x') + "\n*IDN?\n"}
        << L{"ROUT:ALI? " + QByteArray(4086, 'x'), "*IDN?"} << E{InputBufferOverrun, 0};
    QTest::newRow("4096 bytes is not too long")
        << false << L{QByteArray(4096, 'y') + "\n"} << L{QByteArray(4096, 'y')} << E{0};
    QTest::newRow("block over 64 KiB skipped whole")
        << false
        << L{"MEM:PRES:DATA #565537" + QByteArray(30000, '\n'), QByteArray(35537, '\n') + "\n*OPC?\n"}
        << L{"MEM:PRES:DATA #565537", "*OPC?"} << E{TooMuchData, 0};
    QTest::newRow("END ends, trailing newline dropped") << true << L{"*IDN?\n"} << L{"*IDN?"} << E{0};
    QTest::newRow("message over several writes") << true << L{"ROUT:", "MATR?"} << L{"ROUT:MATR?"} << E{0};
    QTest::newRow("block cut short by END")
        << true << L{"MEM:PRES:DATA #19abc"} << L{"MEM:PRES:DATA #19abc"} << E{0};
}

void TestSimUnit::framerCutsMessages()
{
    QFETCH(bool, endFlag);
    QFETCH(QByteArrayList, chunks);
    MessageFramer framer(endFlag ? MessageFramer::Mode::EndFlag : MessageFramer::Mode::Newline);
    QList<FramedMessage> out;
    for (int i = 0; i < chunks.size(); ++i) {
        framer.feed(chunks[i].constData(), chunks[i].size(), i == chunks.size() - 1, out);
    }
    QByteArrayList messages;
    QList<int> errors;
    for (const FramedMessage &m : out) {
        messages.append(m.bytes), errors.append(m.error);
    }
    QTEST(messages, "messages");
    QTEST(errors, "errors");
    QVERIFY(!framer.midMessage());
}

void TestSimUnit::faultsChangeTheChosenCommandOnly()
{
    Instrument unit(options());
    QVERIFY(unit.failCommand("route:matrix:state", SystemError));
    QVERIFY(unit.malformReply("SYST:ERR?"));
    QVERIFY(unit.oversizeReply("SYST:COMM:LAN:HOST?", 5));
    QVERIFY(unit.oversizeReply("ROUT:ALI:CAT?", 3));
    QVERIFY(!unit.failCommand("NO:SUCH", SystemError));
    QVERIFY(!unit.malformReply("*RST"));
    unit.setIdentification("Other Corp,Model 9,1,1.0");
    Session session;
    const QByteArrayList replies =
        exchange(unit, session,
                 {"*IDN?", "ROUT:MATR " + words(18, {{0, 1}}), "ROUT:MATR?", "SYST:ERR?",
                  "SYST:COMM:LAN:HOST?", "ROUT:ALI A,\"b\"", "ROUT:ALI:CAT?"})
            .replies;
    QCOMPARE(replies, (QByteArrayList{"Other Corp,Model 9,1,1.0", words(18), "-310,\"Sys?!",
                                      "\"xentra-48209481WWWWW\"", "#16A=bWWW"}));
}

void TestSimUnit::stateFolderKeepsEverythingAcknowledged()
{
    QTemporaryDir dir;
    const QByteArrayList setUp = {"ROUT:MATR " + words(36, {{35, 0x80000001}}),
                                  "SOUR:VOLT -0.9",
                                  "SOUR:VOLT:LINK B,ON",
                                  "ROUT:ALI Y192,\"last\"",
                                  "MEM:PRES:STOR \"One\"",
                                  "ROUT:ALI A,\"bus\"",
                                  "SYST:ANUM \"TS-9\"",
                                  "SYST:IDEN ON"};
    const QByteArrayList read = {
        "ROUT:MATR?",     "SOUR:VOLT?", "SOUR:VOLT:LINK? B",      "ROUT:ALI:CAT?", "MEM:PRES:CAT?",
        "MEM:PRES:CURR?", "SYST:ANUM?", "MEM:PRES:DATA? \"One\"", "SYST:IDEN?",    "*TST?"};
    QByteArrayList before;
    {
        Instrument unit(options("AB", true, dir.path()));
        QString message;
        QVERIFY(unit.load(&message));
        Session session;
        QCOMPARE(exchange(unit, session, setUp).errors, QList<int>());
        before = exchange(unit, session, read).replies;
    }
    Instrument again(options("AB", true, dir.path()));
    QString message;
    QVERIFY(again.load(&message));
    Session session;
    QByteArrayList after = exchange(again, session, read).replies;
    QCOMPARE(after.takeAt(8), QByteArray("0")); // the identification light is off at power-on
    QCOMPARE(before.takeAt(8), QByteArray("1"));
    QCOMPARE(after, before);
    QCOMPARE(after[5], QByteArray("\"One*\""));
}

void TestSimUnit::unreadableStateIsMovedAsideNotOverwritten()
{
    QTemporaryDir dir;
    {
        Instrument unit(options("AA", true, dir.path()));
        Session session;
        exchange(unit, session, {"MEM:PRES:STOR \"Mine\""});
    }
    // A damaged state file costs the state, not the presets; the same
    // folder read by a 192-row unit costs both.
    for (const auto &[subtype, damaged] : {std::pair{"AA", "current.state"}, {"BB", "presets.state"}}) {
        QFile file(dir.filePath(damaged));
        if (damaged == QLatin1String("current.state")) {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("ts4820sim-state=1\nrows=96\ngarbage");
            file.close();
        }
        const QByteArray original = [&] {
            QFile f(file.fileName());
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        Instrument unit(options(subtype, true, dir.path()));
        QString message;
        QVERIFY(!unit.load(&message));
        QVERIFY(message.contains("could not be read"));
        Session session;
        QCOMPARE(exchange(unit, session, {"*TST?", "MEM:PRES:CAT?", "MEM:PRES:CURR?"}).replies,
                 (QByteArrayList{"1", subtype == QByteArray("AA") ? "#14Mine" : "#10", "\"\""}));
        const QStringList aside = QDir(dir.path()).entryList({damaged + QStringLiteral(".unreadable-*")});
        QVERIFY(!aside.isEmpty());
        QFile kept(dir.filePath(aside.last()));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), original);
        for (const QString &name : aside) {
            QFile::remove(dir.filePath(name)); // same second: names would clash
        }
    }
}

void TestSimUnit::presetsLiveApartFromTheRelayState()
{
    QTemporaryDir dir;
    // An earlier version kept everything in unit.state; a kill between write
    // and rename left partial files.
    const QByteArray earlier = "ts4820sim-state=1\nrows=96\npreset=Old\nedited=0\ndescription=d\nasset="
                               "\n==configuration==\n"
                               + kManualExample + "\n==preset==\n"
                               + QByteArray(kManualExample).replace("Bench_A", "Old");
    for (const auto &[name, bytes] :
         {std::pair{"unit.state", earlier}, {"presets.state.partial", "x"}, {"unit.state.Ab12Cd", "x"}}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    Instrument unit(options("AA", true, dir.path()));
    QString message;
    QVERIFY2(unit.load(&message), qPrintable(message));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"unit.state"});
    Session session;
    QCOMPARE(exchange(unit, session, {"MEM:PRES:CAT?", "MEM:PRES:CURR?", "ROUT:ALI? X3"}).replies,
             (QByteArrayList{"#13Old", "\"Old\"", "\"Sense+\""}));

    // A hundred presets with every line named: a relay write still
    // rewrites only the small file.
    QByteArrayList setUp;
    for (int line = 1; line <= 96; ++line) {
        setUp << "ROUT:ALI X" + QByteArray::number(line) + ",\"" + QByteArray(31, 'n') + "\"";
    }
    for (int i = 0; i < 99; ++i) {
        setUp << "MEM:PRES:STOR \"Preset-" + QByteArray::number(i) + "\"";
    }
    QCOMPARE(exchange(unit, session, setUp).errors, QList<int>());
    const QFileInfo presets(dir.filePath("presets.state"));
    const QDateTime stored = presets.lastModified();
    QTest::qWait(20);
    QCOMPARE(exchange(unit, session, {"ROUT:MATR " + words(18, {{0, 1}})}).errors, QList<int>());
    QCOMPARE(QFileInfo(dir.filePath("presets.state")).lastModified(), stored);
    QVERIFY(presets.size() > 100 * 3000);
    QVERIFY(QFileInfo(dir.filePath("current.state")).size() < 6000);
}

void TestSimUnit::fullDiskRefusesChangesAndLosesNothing()
{
    QTemporaryDir dir;
    // A 64 KiB file system of our own, in a mount namespace of this process.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
        || ::mount("ts4820-full", QFile::encodeName(dir.path()), "tmpfs", 0, "size=64k") != 0) {
        QSKIP("a small tmpfs cannot be mounted here (needs root and a private mount namespace)");
    }
    const auto unmount = qScopeGuard([&] { ::umount(QFile::encodeName(dir.path())); });
    const QByteArrayList read = {"ROUT:MATR?", "ROUT:ALI:CAT?", "MEM:PRES:CAT?", "MEM:PRES:CURR?", "*TST?"};
    QByteArrayList before;
    int refused = 0;
    {
        Instrument unit(options("AB", true, dir.path()));
        QString message;
        QVERIFY(unit.load(&message));
        Session session;
        for (int i = 0; i < 100 && refused < 3; ++i) {
            const QByteArray n = QByteArray::number(i + 1);
            before = exchange(unit, session, read).replies;
            const Run run = exchange(unit, session,
                                     {"ROUT:MATR " + words(36, {{i % 36, quint32(i)}}),
                                      "ROUT:ALI Y" + n + ",\"" + QByteArray(31 - n.size(), 'y') + n + "\"",
                                      "MEM:PRES:STOR \"P" + n + "\""});
            if (run.errors.isEmpty()) {
                continue;
            }
            QCOMPARE(run.errors.last(), int(SystemError));
            // A store that was refused leaves everything as it was: the
            // relay and name written before it remain.
            ++refused;
            QCOMPARE(exchange(unit, session, {"MEM:PRES:CAT?"}).replies, QByteArrayList{before[2]});
            before = exchange(unit, session, read).replies;
        }
        QVERIFY(refused > 0);
    }
    Instrument again(options("AB", true, dir.path()));
    QString message;
    QVERIFY2(again.load(&message), qPrintable(message));
    Session session;
    QCOMPARE(exchange(again, session, read).replies, before);
    QVERIFY(before[2].size() > 10); // presets stored while there was room are there
}

void TestSimUnit::unwritableMemoryFailsTheCommandWithoutEffect()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("unit");
    Instrument unit(options("AA", true, folder));
    QString message;
    QVERIFY(unit.load(&message));
    Session session;
    exchange(unit, session, {"MEM:PRES:STOR \"Kept\"", "ROUT:ALI X1,\"in\""});
    // A file where the folder was: nothing can be written (whoever runs the test).
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(QFile(folder).open(QIODevice::WriteOnly));
    const Run run = exchange(unit, session,
                             {"ROUT:MATR " + words(18, {{1, 1}}), "ROUT:ALI X1,\"out\"",
                              "MEM:PRES:STOR \"New\"", "MEM:PRES:DEL \"Kept\"", "*RST", "ROUT:MATR?",
                              "ROUT:ALI? X1", "MEM:PRES:CAT?", "MEM:PRES:CURR?"});
    QCOMPARE(run.errors, QList<int>(5, SystemError));
    QCOMPARE(run.replies, (QByteArrayList{words(18), "\"in\"", "#14Kept", "\"Kept*\""}));
}

void TestSimUnit::rpcRecordsAreJoinedFromFragments()
{
    rpc::RecordReader reader;
    QByteArray record;
    QByteArray first = rpc::recordMark("abcd");
    first[0] = 0; // not the last fragment
    reader.append(first + rpc::recordMark("ef").left(5));
    QCOMPARE(reader.next(&record), rpc::RecordReader::NeedMore);
    reader.append("f" + rpc::recordMark("g"));
    QCOMPARE(reader.next(&record), rpc::RecordReader::Record);
    QCOMPARE(record, QByteArray("abcdef"));
    QCOMPARE(reader.next(&record), rpc::RecordReader::Record);
    QCOMPARE(record, QByteArray("g"));
    reader.append(QByteArray::fromHex("ffffffff"));
    QCOMPARE(reader.next(&record), rpc::RecordReader::Broken);

    rpc::XdrWriter w;
    w.u32(7).opaque("abcde").u32(9);
    QCOMPARE(w.data().size(), 4 + 4 + 8 + 4);
    rpc::XdrReader r(w.data());
    QCOMPARE(r.u32(), 7u);
    QCOMPARE(r.opaque(4), QByteArray()); // longer than allowed
    QVERIFY(!r.ok());
}

QTEST_GUILESS_MAIN(TestSimUnit)
#include "test_sim_unit.moc"
