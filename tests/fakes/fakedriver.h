// In-memory stand-in for the ts4820 instrument driver.
//
// Unit tests link this instead of a real driver. It implements every
// ts4820_* function over one process-wide fake unit, records each call with
// its arguments as text, and lets a test script the status a function
// returns. Tests set up `driver().unit`, run the panel code, then assert on
// `driver().calls` and on the unit.
//
// Call texts: integers, sessions and attribute ids in decimal, booleans as
// 0/1, doubles as QString::number(v, 'g', 10), strings in double quotes, a
// null input pointer as NULL, out pointers and output buffers as `out`.
// ts4820_setMatrixState logs its words as one argument, 8-digit lower-case
// hex joined by ","; ts4820_error_message logs the status as 0x%08x.
#pragma once

#include "ts4820.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace fake {

struct DriverCall
{
    QString function;     // e.g. "ts4820_setAlias"
    QStringList args;     // argument values as text
    QString text() const; // function + "(" + args.join(", ") + ")"
};

struct FakePreset
{
    QVector<quint32> words;
    QStringList aliasLines; // "X1=text" lines, as ts4820_getAlias reports them
    double volts = 0.0;
    bool links[4] = {}; // VRef to bus A..D
};

struct FakeUnit
{
    FakeUnit();

    QString subType = "AB"; // "AA" and "BA" have 96 rows, the others 192
    int rows() const;
    int wordCount() const; // rows() * 6 / 32
    // Fits words and aliases to the subtype. Every driver call does this
    // first; a test that changes subType and then edits words or aliases by
    // index calls it itself.
    void ensureSize();
    // Index into `aliases` of line ts4820_LINE_X..ts4820_LINE_D and row
    // 1..rows() (row ignored for the buses), or -1 when out of range.
    int aliasIndex(int line, int row) const;
    // The non-empty aliases as "X<r>=text", "Y<r>=text", "A=text".. lines.
    QStringList aliasLines() const;

    quint32 serial = 0x48209481;
    QVector<quint32> words;    // relay pattern, see ts4820_getMatrixState
    QStringList aliases;       // X1..Xn, Y1..Yn, A, B, C, D; "" = none
    QVector<double> vrefTable; // empty = the unit has no voltage reference
    double vrefOutput = 0.0;
    bool links[4] = {};                        // VRef to bus A..D
    QList<QPair<QString, FakePreset>> presets; // in the unit's order
    QString defaultPresetName;                 // set by store and restore
    bool identifying = false;
    // Every string attribute id of ts4820.h. The subtype entry is not used:
    // reading ts4820_ATTR_SUB_TYPE always reports subType.
    QMap<ViAttr, QString> stringAttributes;
    QString driverRevision = "4.3.1.0";
    QString instrumentRevision = "2.4.7";
};

class Driver
{
public:
    static Driver &instance();

    // Fresh unit, empty log, no scripts or error texts, session counter 1.
    void reset();

    FakeUnit unit;
    QList<DriverCall> calls; // every call in order, ts4820_error_message included
    QStringList callNames() const;
    QStringList callTexts() const;
    int count(const QString &function) const;

    // The next `times` calls of `function` return `status`; times -1 (or
    // any negative) means every call from then on. Counted scripts are used
    // up in the order given before an every-call one applies; a new
    // every-call script replaces the previous one. A negative status makes
    // the call do nothing and write nothing; a positive one (a warning)
    // lets the call do its work and then returns the warning, unless the
    // work itself failed.
    void script(const QString &function, ViStatus status, int times = -1);

    QMap<ViStatus, QString> errorTexts; // override the built-in message texts
    ViSession nextSession = 1;          // ts4820_init hands this out, then increments
    QString lastInitDescriptor;
    // Runs before each call is logged, with the function's name: lets a test
    // act at the moment the panel is inside a call (not re-entered by it).
    std::function<void(const QString &function)> beforeCall;

    // Used by the ts4820_* entry points: logs the call, applies a scripted
    // status, otherwise runs `work` on the unit. Calls are serialised, so a
    // panel calling from worker threads keeps the log whole.
    ViStatus dispatch(const char *function, const QStringList &args,
                      const std::function<ViStatus(FakeUnit &)> &work);

private:
    struct Script
    {
        ViStatus status;
        int times;
    };
    ViStatus takeScripted(const QString &function);

    QMap<QString, QList<Script>> m_counted;
    QMap<QString, ViStatus> m_always;
    mutable QMutex m_mutex;
};

inline Driver &driver() { return Driver::instance(); }

} // namespace fake
