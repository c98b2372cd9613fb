// The ts4820 driver as the panel's tests see it: the real driver over a
// simulated unit in the process (fakevisa.h), every call recorded and open
// to scripting. The link wraps each ts4820_* function (tests/CMakeLists.txt)
// in a recording entry point that logs the call, applies what a test
// scripted, and otherwise runs the real one.
//
// Call texts: numbers in decimal, booleans 0/1, doubles as
// QString::number(v, 'g', 10), strings in double quotes, a null pointer as
// NULL, outputs as `out`; setMatrixState's words as 8-digit lower-case hex
// joined by ","; error_message's status as 0x%08x.
#pragma once

#include "fakevisa.h"
#include "ts4820.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>

namespace fake {

class Driver
{
public:
    static Driver &instance();

    // A new unit (the simulator's defaults: subtype AB, with voltage
    // reference), no scripts or hook, sessions numbered from 1; or, for a
    // model handed its session, the unit opened as `session` and numbering
    // on from there. Then an empty log. Between tests, when no call runs.
    void reset(const sim::UnitOptions &unit = {}, ViSession session = VI_NULL);

    QStringList calls; // every call's text in order, ts4820_error_message included
    QStringList callNames() const;

    // The next `times` calls of `function` return `status`; times -1 (or
    // any negative) means every call from then on. Counted scripts are used
    // up in the order given before an every-call one applies; a new
    // every-call script replaces the previous one. A negative status keeps
    // the real driver out of the call; zero or a warning lets it run, and a
    // warning is returned unless the call failed.
    void script(const QString &function, ViStatus status, int times = -1);

    ViSession nextSession = 1; // the session the unit's next viOpen hands out, then increments
    // Runs before each call is logged, with the function's name: lets a test
    // act at the moment the panel is inside a call (not re-entered by it).
    std::function<void(const QString &function)> beforeCall;

    // Used by the recording entry points.
    ViStatus record(const char *function, const QStringList &args, const std::function<ViStatus()> &real);

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
