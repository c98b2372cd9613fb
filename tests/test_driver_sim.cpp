// The ts4820 driver through our VISA against the simulated unit: every call
// as the panel makes it, the unit's errors, faulty replies and lost units.
#include "hostileunit.h"
#include "simprocess.h"
#include "ts4820.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>

namespace {

using Unit = SimProcess;

// The unit's VISA resource, VXI-11 or the raw socket; our VISA asks the
// unit's own portmapper.
QByteArray resource(const Unit &unit, bool socket)
{
    qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(unit.portmapper));
    return socket ? unit.socket() : unit.instr();
}

// A session opened with the driver, closed at the end.
struct Session
{
    Session(const QByteArray &resource, bool idQuery = true, bool reset = true)
    {
        status = ts4820_init(const_cast<char *>(resource.constData()), idQuery, reset, &vi);
    }
    ~Session()
    {
        if (vi) {
            ts4820_close(vi);
        }
    }
    QString message(ViStatus s) const
    {
        char text[ts4820_ERROR_MESSAGE_BUFFER_SIZE];
        ts4820_error_message(vi, s, text);
        return QString::fromLatin1(text);
    }
    ViSession vi = VI_NULL;
    ViStatus status = VI_ERROR_SYSTEM_ERROR;
};

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestDriverSim : public QObject
{
    Q_OBJECT

private slots:
    void everyCallReachesTheUnit_data();
    void everyCallReachesTheUnit();
    void argumentsAreCheckedBeforeAnythingIsSent();
    void unitErrorsBecomeDriverStatuses();
    void presetFilesTravelBothWays();
    void unitWithoutVoltageReference();
    void sessionOpeningFailsCleanly();
    void faultyRepliesNeverOverrunBuffers();
    void lostUnitGivesVisaStatus();
    void hostileRepliesEndTheCall();
};

void TestDriverSim::everyCallReachesTheUnit_data()
{
    QTest::addColumn<bool>("socket");
    QTest::newRow("VXI-11") << false;
    QTest::newRow("raw socket") << true;
}

void TestDriverSim::everyCallReachesTheUnit()
{
    QFETCH(bool, socket);
    Unit unit("127.0.0.40", {"--subtype", "AB", "--serial", "48209481"});
    Session s(resource(unit, socket));
    QCOMPARE(s.status, VI_SUCCESS);

    char text[ts4820_ALIAS_BUFFER_SIZE(192)];
    char driverRev[ts4820_REVISION_BUFFER_SIZE], instrRev[ts4820_REVISION_BUFFER_SIZE];
    QCOMPARE(ts4820_revision_query(s.vi, driverRev, instrRev), VI_SUCCESS);
    QCOMPARE(QByteArray(instrRev), QByteArray("2.1.0"));
    QVERIFY(std::strlen(driverRev) > 0);

    ViInt32 serial = 0;
    QCOMPARE(ts4820_getAttribute(s.vi, ts4820_ATTR_SER_NUM, &serial), VI_SUCCESS);
    QCOMPARE(quint32(serial), 0x48209481u);
    const QList<QPair<ViAttr, QByteArray>> attributes = {
        {ts4820_ATTR_SUB_TYPE, "AB"},
        {ts4820_ATTR_PRODUCT, "1.2.0"},
        {ts4820_ATTR_DESCRIPTION, "Tarsel Ltd - Xentra 4820 - 48209481 - LXI Matrix Switching Unit"},
        {ts4820_ATTR_ASSET_NO, ""},
        {ts4820_ATTR_CURRENT_HOSTNAME, "xentra-48209481"},
        {ts4820_ATTR_CURRENT_IPADDR, "127.0.0.40"},
        {ts4820_ATTR_CURRENT_NETMASK, "255.0.0.0"},
        {ts4820_ATTR_CURRENT_GATEWAY, "0.0.0.0"},
        {ts4820_ATTR_CURRENT_DNS1, "0.0.0.0"},
        {ts4820_ATTR_CURRENT_DNS2, "0.0.0.0"},
        {ts4820_ATTR_LXI_CLASS, "C"},
        {ts4820_ATTR_ETH_ADDR, "02:54:53:20:94:81"},
        {ts4820_ATTR_SER_NUM, "48209481"},
    };
    for (const auto &[id, expected] : attributes) {
        QCOMPARE(ts4820_getStringAttribute(s.vi, id, text), VI_SUCCESS);
        QCOMPARE(QByteArray(text), expected);
    }

    ViInt32 pattern[36] = {};
    pattern[0] = 4;
    pattern[12] = 4;
    pattern[35] = ViInt32(0x80000000u);
    QCOMPARE(ts4820_setMatrixState(s.vi, pattern), VI_SUCCESS);
    ViInt32 back[36];
    std::memset(back, 0x55, sizeof back);
    QCOMPARE(ts4820_getMatrixState(s.vi, back), VI_SUCCESS);
    QVERIFY(std::memcmp(pattern, back, sizeof back) == 0);

    QCOMPARE(ts4820_setAlias(s.vi, ts4820_LINE_X, 3, "Sense+"), VI_SUCCESS);
    QCOMPARE(ts4820_setAlias(s.vi, ts4820_LINE_Y, 192, "last"), VI_SUCCESS);
    QCOMPARE(ts4820_setAlias(s.vi, ts4820_LINE_A, 0, "bus"), VI_SUCCESS);
    QCOMPARE(ts4820_getAlias(s.vi, 0, 0, text), VI_SUCCESS);
    QCOMPARE(QByteArray(text), QByteArray("X3=Sense+,Y192=last,A=bus"));
    QCOMPARE(ts4820_getAlias(s.vi, ts4820_LINE_Y, 192, text), VI_SUCCESS);
    QCOMPARE(QByteArray(text), QByteArray("last"));
    QCOMPARE(ts4820_setAlias(s.vi, ts4820_LINE_Y, 192, ""), VI_SUCCESS);
    QCOMPARE(ts4820_getAlias(s.vi, 0, 0, text), VI_SUCCESS);
    QCOMPARE(QByteArray(text), QByteArray("X3=Sense+,A=bus"));

    ViInt32 count = 0;
    ViReal64 volts[ts4820_MAX_VREF_VOLTAGES];
    QCOMPARE(ts4820_getVoltRefInfo(s.vi, &count, volts), VI_SUCCESS);
    QCOMPARE(count, 17);
    QCOMPARE(volts[16], -0.0045);
    QCOMPARE(ts4820_setVoltRefOutput(s.vi, 4.4), VI_SUCCESS);
    ViReal64 output = 0;
    QCOMPARE(ts4820_getVoltRefOutput(s.vi, &output), VI_SUCCESS);
    QCOMPARE(output, 4.5);
    ViBoolean linked = VI_TRUE;
    QCOMPARE(ts4820_setVoltRefConnectionState(s.vi, ts4820_LINE_D, VI_TRUE), VI_SUCCESS);
    QCOMPARE(ts4820_getVoltRefConnectionState(s.vi, ts4820_LINE_D, &linked), VI_SUCCESS);
    QCOMPARE(linked, ViBoolean(VI_TRUE));
    QCOMPARE(ts4820_getVoltRefConnectionState(s.vi, ts4820_LINE_B, &linked), VI_SUCCESS);
    QCOMPARE(linked, ViBoolean(VI_FALSE));

    QCOMPARE(ts4820_storePreset(s.vi, "Bench_B"), VI_SUCCESS);
    QCOMPARE(ts4820_storePreset(s.vi, "Bench_A"), VI_SUCCESS);
    QCOMPARE(ts4820_getPresetList(s.vi, &count), VI_SUCCESS);
    QCOMPARE(count, 2);
    QCOMPARE(ts4820_getPresetFromList(s.vi, 0, text), VI_SUCCESS);
    QCOMPARE(QByteArray(text), QByteArray("Bench_A"));
    QCOMPARE(ts4820_setVoltRefConnectionState(s.vi, ts4820_LINE_D, VI_FALSE), VI_SUCCESS);
    QCOMPARE(ts4820_getDefaultPresetName(s.vi, text), VI_SUCCESS);
    QCOMPARE(QByteArray(text), QByteArray("Bench_A*"));
    QCOMPARE(ts4820_restorePreset(s.vi, "Bench_B"), VI_SUCCESS);
    QCOMPARE(ts4820_getVoltRefConnectionState(s.vi, ts4820_LINE_D, &linked), VI_SUCCESS);
    QCOMPARE(linked, ViBoolean(VI_TRUE));
    QCOMPARE(ts4820_removePreset(s.vi, "Bench_B"), VI_SUCCESS);
    QCOMPARE(ts4820_getDefaultPresetName(s.vi, text), VI_SUCCESS);
    QCOMPARE(QByteArray(text), QByteArray(""));

    QCOMPARE(ts4820_identify(s.vi, VI_TRUE), VI_SUCCESS);
    QCOMPARE(ts4820_reset(s.vi), VI_SUCCESS);
    QCOMPARE(ts4820_getMatrixState(s.vi, back), VI_SUCCESS);
    QCOMPARE(back[35], 0);
    QCOMPARE(ts4820_getAlias(s.vi, 0, 0, text), VI_SUCCESS); // names outlive a reset
    QCOMPARE(QByteArray(text), QByteArray("X3=Sense+,A=bus"));
}

void TestDriverSim::argumentsAreCheckedBeforeAnythingIsSent()
{
    // Opening takes two messages; the unit drops the connection at its
    // fourth, so any traffic below would cost the last call its answer.
    Unit unit("127.0.0.41", {"--subtype", "AA", "--drop-after", "3"});
    Session s(resource(unit, true), false, false);
    QCOMPARE(s.status, VI_SUCCESS);
    char text[ts4820_ALIAS_BUFFER_SIZE(96)];
    ViBoolean state;
    const QList<ViStatus> statuses = {
        ts4820_setAlias(s.vi, ts4820_LINE_X, 97, "x"),
        ts4820_setAlias(s.vi, ts4820_LINE_Y, 0, "x"),
        ts4820_setAlias(s.vi, 7, 1, "x"),
        ts4820_setAlias(s.vi, ts4820_LINE_X, 1, "a\"b"),
        ts4820_setAlias(s.vi, ts4820_LINE_X, 1, "tab\t"),
        ts4820_getAlias(s.vi, 0, 5, text),
        ts4820_getAlias(s.vi, ts4820_LINE_X, 0, text),
        ts4820_getVoltRefConnectionState(s.vi, ts4820_LINE_Y, &state),
        ts4820_setVoltRefConnectionState(s.vi, 7, VI_TRUE),
        ts4820_getPresetFromList(s.vi, -1, text),
        ts4820_storePreset(s.vi, "two words"),
        ts4820_restorePreset(s.vi, ""),
        ts4820_removePreset(s.vi, QByteArray(64, 'n').constData()),
        ts4820_getAttribute(s.vi, ts4820_ATTR_PRODUCT, reinterpret_cast<ViInt32 *>(text)),
        ts4820_getStringAttribute(s.vi, 300, text),
    };
    for (ViStatus status : statuses) {
        QCOMPARE(status, ts4820_ERROR_INVALID_ARGUMENT);
    }
    QCOMPARE(ts4820_reset(12345), VI_ERROR_INV_OBJECT);
    // Still in step: the next real call gets its own reply.
    ViInt32 count = -1;
    QCOMPARE(ts4820_getPresetList(s.vi, &count), VI_SUCCESS);
    QCOMPARE(count, 0);
}

void TestDriverSim::unitErrorsBecomeDriverStatuses()
{
    Unit unit("127.0.0.42", {"--subtype", "AA", "--fail", "SYST:IDEN=-310"});
    Session s(resource(unit, false));
    QCOMPARE(s.status, VI_SUCCESS);
    char text[ts4820_ALIAS_BUFFER_SIZE(96)];
    QCOMPARE(ts4820_setAlias(s.vi, ts4820_LINE_B, 0, QByteArray(32, 'n').constData()),
             ts4820_ERROR_INSTRUMENT);
    QCOMPARE(s.message(ts4820_ERROR_INSTRUMENT),
             QString("Instrument reported an error: -223,\"Too much data\""));
    QCOMPARE(ts4820_identify(s.vi, VI_TRUE), ts4820_ERROR_INSTRUMENT);
    QCOMPARE(s.message(ts4820_ERROR_INSTRUMENT),
             QString("Instrument reported an error: -310,\"System error\""));
    QCOMPARE(ts4820_restorePreset(s.vi, "Missing"), ts4820_ERROR_NO_SUCH_PRESET);
    QCOMPARE(ts4820_removePreset(s.vi, "Missing"), ts4820_ERROR_NO_SUCH_PRESET);
    QCOMPARE(ts4820_getPresetFromList(s.vi, 0, text), ts4820_ERROR_INVALID_ARGUMENT);
    QCOMPARE(ts4820_setVoltRefOutput(s.vi, 100), ts4820_ERROR_INSTRUMENT);
    QCOMPARE(s.message(ts4820_ERROR_INSTRUMENT),
             QString("Instrument reported an error: -222,\"Data out of range\""));
    // Each failure emptied the unit's queue: a later call starts clean.
    QCOMPARE(ts4820_setAlias(s.vi, ts4820_LINE_B, 0, "fine"), VI_SUCCESS);
    for (ViStatus status : {ts4820_ERROR_BAD_REPLY, ts4820_ERROR_NO_SUCH_PRESET, ts4820_ERROR_FILE,
                            ts4820_ERROR_NO_VREF, ts4820_ERROR_INVALID_ARGUMENT, ts4820_WARN_TRUNCATED,
                            VI_ERROR_FAIL_ID_QUERY, VI_ERROR_TMO, VI_ERROR_RSRC_NFOUND}) {
        QVERIFY2(!s.message(status).startsWith("Unknown"), qPrintable(s.message(status)));
    }
    QCOMPARE(s.message(ViStatus(0xBFFC0F00)), QString("Unknown status code 0xBFFC0F00."));
}

void TestDriverSim::presetFilesTravelBothWays()
{
    QTemporaryDir dir;
    Unit unit("127.0.0.43", {"--subtype", "AA"});
    Session s(resource(unit, false));
    QCOMPARE(s.status, VI_SUCCESS);
    ts4820_setAlias(s.vi, ts4820_LINE_X, 3, "Sense+");
    QCOMPARE(ts4820_storePreset(s.vi, "Bench_A"), VI_SUCCESS);
    const QString file = dir.filePath("Cfg.prs");
    QCOMPARE(ts4820_savePresetToFile(s.vi, "Bench_A", file.toLocal8Bit().constData()), VI_SUCCESS);
    const QByteArray saved = readFile(file);
    QVERIFY(saved.startsWith("configname=Bench_A\nmainrelays=00000000,"));
    QVERIFY(saved.endsWith("\n==alias==\nX3=Sense+"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Cfg.prs"}); // no leftovers

    QFile copy(dir.filePath("Copy.prs"));
    QVERIFY(copy.open(QIODevice::WriteOnly));
    copy.write(QByteArray(saved).replace("Bench_A", "Copy"));
    copy.close();
    QCOMPARE(ts4820_loadPresetFromFile(s.vi, copy.fileName().toLocal8Bit().constData()), VI_SUCCESS);
    ViInt32 count = 0;
    QCOMPARE(ts4820_getPresetList(s.vi, &count), VI_SUCCESS);
    QCOMPARE(count, 2);

    // Refused files: not readable, too long, not a preset; and a download
    // that cannot be written leaves the existing file alone.
    QCOMPARE(ts4820_loadPresetFromFile(s.vi, dir.filePath("none.prs").toLocal8Bit().constData()),
             ts4820_ERROR_FILE);
    QFile huge(dir.filePath("huge.prs"));
    QVERIFY(huge.open(QIODevice::WriteOnly));
    huge.write(QByteArray(65537, 'x'));
    huge.close();
    QCOMPARE(ts4820_loadPresetFromFile(s.vi, huge.fileName().toLocal8Bit().constData()), ts4820_ERROR_FILE);
    QFile bad(dir.filePath("bad.prs"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("configname=x\n");
    bad.close();
    QCOMPARE(ts4820_loadPresetFromFile(s.vi, bad.fileName().toLocal8Bit().constData()),
             ts4820_ERROR_INSTRUMENT);
    QCOMPARE(s.message(ts4820_ERROR_INSTRUMENT),
             QString("Instrument reported an error: -161,\"Invalid block data\""));
    QCOMPARE(ts4820_savePresetToFile(s.vi, "Bench_A",
                                     dir.filePath("no/such/folder/x.prs").toLocal8Bit().constData()),
             ts4820_ERROR_FILE);
    QCOMPARE(ts4820_savePresetToFile(s.vi, "Missing", dir.filePath("Cfg.prs").toLocal8Bit().constData()),
             ts4820_ERROR_NO_SUCH_PRESET);
    QCOMPARE(readFile(dir.filePath("Cfg.prs")), saved);
}

void TestDriverSim::unitWithoutVoltageReference()
{
    Unit unit("127.0.0.44", {"--subtype", "BA", "--no-vref"});
    Session s(resource(unit, true));
    QCOMPARE(s.status, VI_SUCCESS);
    ViInt32 count = -1;
    ViReal64 volts[ts4820_MAX_VREF_VOLTAGES];
    QCOMPARE(ts4820_getVoltRefInfo(s.vi, &count, volts), VI_SUCCESS);
    QCOMPARE(count, 0);
    ViReal64 output = 0;
    QCOMPARE(ts4820_getVoltRefOutput(s.vi, &output), ts4820_ERROR_NO_VREF);
    QCOMPARE(ts4820_setVoltRefOutput(s.vi, 0), ts4820_ERROR_NO_VREF);
    QCOMPARE(ts4820_setVoltRefConnectionState(s.vi, ts4820_LINE_A, VI_TRUE), VI_SUCCESS);
}

void TestDriverSim::sessionOpeningFailsCleanly()
{
    Unit other("127.0.0.45", {"--idn", "Other Corp,Scope 9,1,1.0"});
    ViSession vi = 77;
    QCOMPARE(ts4820_init(const_cast<char *>(resource(other, false).constData()), VI_TRUE, VI_FALSE, &vi),
             VI_ERROR_FAIL_ID_QUERY);
    QCOMPARE(vi, ViSession(VI_NULL));
    // Without the ID query another maker's unit is taken as it is.
    Session taken(resource(other, false), false, false);
    QCOMPARE(taken.status, VI_SUCCESS);

    Unit bad("127.0.0.46", {"--malformed", "ROUT:MATR:ROWS?"});
    vi = 77;
    QCOMPARE(ts4820_init(const_cast<char *>(resource(bad, true).constData()), VI_FALSE, VI_FALSE, &vi),
             ts4820_ERROR_BAD_REPLY);
    QCOMPARE(vi, ViSession(VI_NULL));

    vi = 77;
    QVERIFY(ts4820_init(const_cast<char *>("TCPIP0::127.0.0.47::1::SOCKET"), VI_FALSE, VI_FALSE, &vi) < 0);
    QCOMPARE(vi, ViSession(VI_NULL));
    QVERIFY(ts4820_init(const_cast<char *>("not a resource"), VI_FALSE, VI_FALSE, &vi) < 0);
}

void TestDriverSim::faultyRepliesNeverOverrunBuffers()
{
    Unit unit("127.0.0.48",
              {"--subtype", "AA", "--malformed", "ROUT:MATR?", "--oversized", "SYST:COMM:LAN:HOST?=5000",
               "--oversized", "ROUT:ALI:CAT?=60000", "--oversized", "MEM:PRES:CURR?=1", "--oversized",
               "SOUR:VOLT:CAT?=10", "--malformed", "SYST:SER?"});
    Session s(resource(unit, false));
    QCOMPARE(s.status, VI_SUCCESS);

    ViInt32 pattern[19];
    std::fill(std::begin(pattern), std::end(pattern), 0x5555);
    QCOMPARE(ts4820_getMatrixState(s.vi, pattern), ts4820_ERROR_BAD_REPLY);
    QVERIFY(std::all_of(pattern, pattern + 18, [](ViInt32 w) { return w == 0; })); // zero-filled
    QCOMPARE(pattern[18], 0x5555);

    QByteArray guarded(ts4820_ALIAS_BUFFER_SIZE(96) + 16, '#');
    QCOMPARE(ts4820_getStringAttribute(s.vi, ts4820_ATTR_CURRENT_HOSTNAME, guarded.data()),
             ts4820_WARN_TRUNCATED);
    QCOMPARE(qstrlen(guarded.constData()), uint(ts4820_STRING_ATTRIBUTE_BUFFER_SIZE - 1));
    QVERIFY(guarded.startsWith("xentra-4820"));
    QCOMPARE(guarded.at(ts4820_STRING_ATTRIBUTE_BUFFER_SIZE), '#');

    guarded.fill('#');
    ts4820_setAlias(s.vi, ts4820_LINE_A, 0, "bus");
    QCOMPARE(ts4820_getAlias(s.vi, 0, 0, guarded.data()), ts4820_WARN_TRUNCATED);
    QCOMPARE(qstrlen(guarded.constData()), uint(ts4820_ALIAS_BUFFER_SIZE(96) - 1));
    QVERIFY(guarded.startsWith("A=busWWW"));
    QCOMPARE(guarded.right(16), QByteArray(16, '#'));

    // A 63-character name in use and edited: 64 characters for 63 places.
    guarded.fill('#');
    QCOMPARE(ts4820_storePreset(s.vi, QByteArray(63, 'p').constData()), VI_SUCCESS);
    QCOMPARE(ts4820_getDefaultPresetName(s.vi, guarded.data()), ts4820_WARN_TRUNCATED);
    QCOMPARE(QByteArray(guarded.constData()), QByteArray(63, 'p'));
    QCOMPARE(guarded.at(ts4820_PRESET_NAME_BUFFER_SIZE), '#');

    ViInt32 count = 0;
    ViReal64 volts[ts4820_MAX_VREF_VOLTAGES];
    QCOMPARE(ts4820_getVoltRefInfo(s.vi, &count, volts), ts4820_ERROR_BAD_REPLY);
    ViInt32 serial = 0;
    QCOMPARE(ts4820_getAttribute(s.vi, ts4820_ATTR_SER_NUM, &serial), ts4820_ERROR_BAD_REPLY);
    QCOMPARE(ts4820_getPresetList(s.vi, &count), VI_SUCCESS); // still in step
    QCOMPARE(count, 1);
}

void TestDriverSim::lostUnitGivesVisaStatus()
{
    Unit unit("127.0.0.49", {"--subtype", "AA"});
    Session vxi(resource(unit, false)), raw(resource(unit, true));
    QCOMPARE(vxi.status, VI_SUCCESS);
    QCOMPARE(raw.status, VI_SUCCESS);
    ::kill(pid_t(unit.process.processId()), SIGKILL);
    unit.process.waitForFinished();
    for (const Session *s : {&vxi, &raw}) {
        ViInt32 pattern[18];
        const ViStatus status = ts4820_getMatrixState(s->vi, pattern);
        QVERIFY(status < 0 && status != ts4820_ERROR_BAD_REPLY);
        QVERIFY2(!s->message(status).startsWith("Unknown"), qPrintable(s->message(status)));
        QVERIFY(ts4820_setAlias(s->vi, ts4820_LINE_X, 1, "x") < 0);
    }
}

// A call ends by its own deadline, twice the session's time-out, against a
// unit that never ends its reply; an over-long reply is a bad reply, and
// the session stays in step after it.
void TestDriverSim::hostileRepliesEndTheCall()
{
    ViInt32 pattern[18];
    {
        TricklingUnit unit("127.0.0.47");
        Session s(unit.resource(), true, false);
        QCOMPARE(s.status, VI_SUCCESS);
        QCOMPARE(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 500), VI_SUCCESS);
        QCOMPARE(ts4820_getMatrixState(s.vi, pattern), VI_ERROR_TMO);
        QVERIFY2(!unit.ranOut, "the call waited for the unit to stop");
        ViUInt32 timeout = 0;
        QCOMPARE(viGetAttribute(s.vi, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
        QCOMPARE(timeout, 500u); // the session's own, put back
    }
    Unit unit("127.0.0.48", {"--subtype", "AA", "--oversized", "ROUT:MATR?=10000000"});
    for (const bool socket : {false, true}) {
        Session s(resource(unit, socket));
        QCOMPARE(s.status, VI_SUCCESS);
        QCOMPARE(ts4820_getMatrixState(s.vi, pattern), ts4820_ERROR_BAD_REPLY);
        ViInt32 serial = 0;
        QCOMPARE(ts4820_getAttribute(s.vi, ts4820_ATTR_SER_NUM, &serial), VI_SUCCESS);
        QCOMPARE(serial, ViInt32(0x48200030));
    }
}

QTEST_GUILESS_MAIN(TestDriverSim)
#include "test_driver_sim.moc"
