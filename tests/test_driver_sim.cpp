// The ts4820 driver through our VISA against simulated units, faulty, hostile and lost ones.
#include "hostileunit.h"
#include "simprocess.h"
#include "ts4820.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

using Statuses = QList<ViStatus>;
constexpr ViInt32 kX = ts4820_LINE_X, kY = ts4820_LINE_Y, kA = ts4820_LINE_A, kB = ts4820_LINE_B,
                  kD = ts4820_LINE_D;
constexpr ViStatus kOk = VI_SUCCESS, kBad = ts4820_ERROR_BAD_REPLY, kUnit = ts4820_ERROR_INSTRUMENT,
                   kInvalid = ts4820_ERROR_INVALID_ARGUMENT;

// The unit's VISA resource; our VISA asks the unit's own portmapper.
QByteArray resource(const SimProcess &unit, bool socket)
{
    qputenv("TS4820_VISA_PORTMAPPER_PORT", QByteArray::number(unit.portmapper));
    return socket ? unit.socket() : unit.instr();
}

// A driver session, closed at the end; it stands for its ViSession.
struct Session
{
    explicit Session(QByteArray rsrc, bool idQuery = true, bool reset = true)
        : status(ts4820_init(rsrc.data(), idQuery, reset, &vi))
    {}
    ~Session() { ts4820_close(vi); }
    operator ViSession() const { return vi; }
    ViSession vi = VI_NULL;
    ViStatus status;
};

} // namespace

class TestDriverSim : public QObject
{
    Q_OBJECT

private slots:
    void callsReachTheUnit_data()
    {
        QTest::addColumn<bool>("socket");
        QTest::newRow("VXI-11") << false;
        QTest::newRow("raw socket") << true;
    }
    // What the calls send shows in the preset file, the unit's own record,
    // which then travels back. (What each call gives back the panel's tests
    // see over a unit in the process.)
    void callsReachTheUnit()
    {
        QFETCH(bool, socket);
        SimProcess unit("127.0.0.40", {"--subtype", "AB"});
        Session s(resource(unit, socket));
        QTemporaryDir dir;
        const QByteArray file = dir.filePath("Cfg.prs").toLocal8Bit();
        ViInt32 pattern[36] = {4, 0, 0, 0, 0, 0, 4}, back[36];
        pattern[35] = ViInt32(0x80000000u);
        QCOMPARE(Statuses({s.status, ts4820_setMatrixState(s, pattern), ts4820_setAlias(s, kX, 3, "Sense+"),
                           ts4820_setAlias(s, kY, 192, "last"), ts4820_setAlias(s, kA, 0, "bus"),
                           ts4820_setVoltRefOutput(s, 4.4), ts4820_setVoltRefConnectionState(s, kA, VI_TRUE),
                           ts4820_setVoltRefConnectionState(s, kD, VI_TRUE), ts4820_storePreset(s, "Bench_A"),
                           ts4820_savePresetToFile(s, "Bench_A", file)}),
                 Statuses(10, kOk));
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(),
                 "configname=Bench_A\nmainrelays=00000004" + QByteArray(",00000000").repeated(5) + ",00000004"
                     + QByteArray(",00000000").repeated(28)
                     + ",80000000\nvrefvolt=4.500000\nvrefrelays=9\n==alias==\nX3=Sense+\nY192=last\nA=bus");
        char y192[ts4820_ALIAS_BUFFER_SIZE(192)];
        QCOMPARE(Statuses({ts4820_removePreset(s, "Bench_A"), ts4820_reset(s),
                           ts4820_loadPresetFromFile(s, file), ts4820_restorePreset(s, "Bench_A"),
                           ts4820_getMatrixState(s, back), ts4820_getAlias(s, kY, 192, y192)}),
                 Statuses(6, kOk));
        QCOMPARE(QList<ViInt32>(back, back + 36), QList<ViInt32>(pattern, pattern + 36));
        QCOMPARE(y192, "last");
    }

    // Refusals by the unit, a reply too long for the caller's buffer, one
    // far too long (the session stays in step, the pattern cleared and no
    // word past it written), then a lost unit: VISA's status, with a
    // message. (The messages the panel shows for the unit's errors:
    // test_program_sim.)
    void unitErrorsLongRepliesAndLoss()
    {
        SimProcess unit("127.0.0.42",
                        {"--subtype", "BA", "--no-vref", "--fail", "SYST:IDEN=-310", "--oversized",
                         "ROUT:ALI:CAT?=60000", "--oversized", "ROUT:MATR?=10000000"});
        Session vxi(resource(unit, false)), raw(resource(unit, true));
        ViInt32 pattern[19], count = -1, serial = 0;
        std::fill_n(pattern, 19, 0x5555);
        ViReal64 volts[ts4820_MAX_VREF_VOLTAGES];
        QByteArray text(ts4820_ALIAS_BUFFER_SIZE(96) + 16, '#');
        const ViStatus noPreset = ts4820_ERROR_NO_SUCH_PRESET, noVref = ts4820_ERROR_NO_VREF;
        QCOMPARE(
            Statuses({vxi.status, ts4820_restorePreset(vxi, "Missing"), ts4820_removePreset(vxi, "Missing"),
                      ts4820_getPresetFromList(vxi, 0, text.data()), ts4820_getVoltRefOutput(vxi, volts),
                      ts4820_setVoltRefOutput(vxi, 0), ts4820_getVoltRefInfo(vxi, &count, volts), count,
                      ts4820_setVoltRefConnectionState(vxi, kA, VI_TRUE),
                      ts4820_setAlias(vxi, kB, 0, QByteArray(32, 'n').constData()),
                      ts4820_identify(vxi, VI_TRUE), ts4820_setAlias(vxi, kB, 0, "fine"),
                      ts4820_getAlias(vxi, 0, 0, text.fill('#').data())}),
            Statuses({kOk, noPreset, noPreset, kInvalid, noVref, noVref, kOk, 0, kOk, kUnit, kUnit, kOk,
                      ts4820_WARN_TRUNCATED}));
        QCOMPARE(text,
                 "B=fine" + QByteArray(ts4820_ALIAS_BUFFER_SIZE(96) - 7, 'W') + '\0' + QByteArray(16, '#'));
        for (const Session *s : {&vxi, &raw}) {
            QCOMPARE(Statuses({s->status, ts4820_getMatrixState(*s, pattern),
                               ts4820_getAttribute(*s, ts4820_ATTR_SER_NUM, &serial), serial}),
                     Statuses({kOk, kBad, kOk, 0x4820002a}));
        }
        QCOMPARE(QList<ViInt32>(pattern, pattern + 19), QList<ViInt32>(18, 0) << 0x5555);
        unit.stop(SIGKILL);
        for (const Session *s : {&vxi, &raw}) {
            const ViStatus status = ts4820_getMatrixState(*s, pattern);
            char text[ts4820_ERROR_MESSAGE_BUFFER_SIZE]; // as the operator reads it
            ts4820_error_message(*s, status, text);
            QVERIFY2(status < 0 && status != kBad && !QByteArray(text).startsWith("Unknown"), text);
        }
    }

    // Traffic for refused arguments would end in a time-out at a unit that
    // answers only its identity; a call ends by its deadline, twice the
    // session's time-out, though the unit never ends its reply.
    void hostileAndForeignUnits()
    {
        ViInt32 pattern[18], count = -1;
        ViUInt32 timeout = 0;
        TricklingUnit unit("127.0.0.47");
        Session s(unit.resource(), true, false);
        char t[ts4820_ALIAS_BUFFER_SIZE(96)];
        QCOMPARE(Statuses({s.status, viSetAttribute(s, VI_ATTR_TMO_VALUE, 500),
                           ts4820_setAlias(s, kX, 97, "x"), ts4820_setAlias(s, kY, 0, "x"),
                           ts4820_setAlias(s, 7, 1, "x"), ts4820_setAlias(s, kX, 1, "a\"b"),
                           ts4820_getAlias(s, 0, 5, t), ts4820_setVoltRefConnectionState(s, 7, VI_TRUE),
                           ts4820_getPresetFromList(s, -1, t), ts4820_storePreset(s, "two words"),
                           ts4820_removePreset(s, QByteArray(64, 'n').constData()),
                           ts4820_getAttribute(s, ts4820_ATTR_PRODUCT, &count),
                           ts4820_getStringAttribute(s, 300, t), ts4820_loadPresetFromFile(s, "/nonexistent"),
                           ts4820_reset(12345), ts4820_getMatrixState(s, pattern),
                           viGetAttribute(s, VI_ATTR_TMO_VALUE, &timeout), ViStatus(timeout)}),
                 Statuses(2, kOk) + Statuses(11, kInvalid)
                     + Statuses({ts4820_ERROR_FILE, VI_ERROR_INV_OBJECT, VI_ERROR_TMO, kOk, 500}));
        // Opening to another maker's unit or a faulty one leaves no session.
        SimProcess other("127.0.0.41", {"--idn", "Other Corp,Scope 9,1,1.0"});
        SimProcess bad("127.0.0.46", {"--malformed", "ROUT:MATR:ROWS?"});
        ViSession vi = 77, vj = 77;
        QCOMPARE(
            Statuses({ts4820_init(other.socket().data(), VI_TRUE, VI_FALSE, &vi),
                      ts4820_init(bad.socket().data(), VI_FALSE, VI_FALSE, &vj), ViStatus(vi), ViStatus(vj)}),
            Statuses({VI_ERROR_FAIL_ID_QUERY, kBad, 0, 0}));
    }
};

QTEST_GUILESS_MAIN(TestDriverSim)
#include "test_driver_sim.moc"
