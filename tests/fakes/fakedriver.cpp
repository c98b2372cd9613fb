#include "fakedriver.h"

#include <utility>

namespace fake {

namespace {

QString num(qint64 value) { return QString::number(value); }
QString boolean(ViBoolean value) { return value ? "1" : "0"; }
QString real(double value) { return QString::number(value, 'g', 10); }
QString str(ViConstString text) { return text ? '"' + QString::fromUtf8(text) + '"' : QString("NULL"); }
QString hex(ViStatus status) { return QString::asprintf("0x%08x", static_cast<unsigned>(status)); }
const QString out = QStringLiteral("out");

QString words(const ViInt32 *pattern)
{
    if (!pattern) {
        return "NULL";
    }
    QStringList words;
    const int count = visa().scpi("ROUT:MATR:ROWS?").toInt() * 6 / 32;
    for (int i = 0; i < count; ++i) {
        words << QString::asprintf("%08x", static_cast<unsigned>(pattern[i]));
    }
    return words.join(',');
}

} // namespace

Driver &Driver::instance()
{
    static Driver instance;
    return instance;
}

void Driver::reset(const sim::UnitOptions &unit, ViSession session)
{
    visa().plugUnit(unit);
    m_counted.clear();
    m_always.clear();
    beforeCall = nullptr;
    nextSession = session == VI_NULL ? 1 : session;
    ViSession opened = VI_NULL;
    if (session != VI_NULL
        && (ts4820_init(const_cast<ViRsrc>("TCPIP0::127.0.0.1::INSTR"), VI_FALSE, VI_FALSE, &opened) < 0
            || opened != session)) {
        qFatal("the unit did not open as session %u", unsigned(session));
    }
    calls.clear();
}

QStringList Driver::callNames() const
{
    QMutexLocker lock(&m_mutex);
    QStringList names;
    for (const QString &call : calls) {
        names << call.section('(', 0, 0);
    }
    return names;
}

void Driver::script(const QString &function, ViStatus status, int times)
{
    QMutexLocker lock(&m_mutex);
    if (times < 0) {
        m_always[function] = status;
    } else if (times > 0) {
        m_counted[function].append({status, times});
    }
}

ViStatus Driver::takeScripted(const QString &function)
{
    const auto counted = m_counted.find(function);
    if (counted == m_counted.end()) {
        return m_always.value(function, VI_SUCCESS);
    }
    const ViStatus status = counted->first().status;
    if (--counted->first().times == 0) {
        counted->removeFirst();
    }
    if (counted->isEmpty()) {
        m_counted.erase(counted);
    }
    return status;
}

ViStatus Driver::record(const char *function, const QStringList &args, const std::function<ViStatus()> &real)
{
    const QString name = QString::fromLatin1(function);
    if (beforeCall) {
        // Taken out, so that the hook may call the driver itself.
        const auto hook = std::exchange(beforeCall, nullptr);
        hook(name);
        if (!beforeCall) {
            beforeCall = hook;
        }
    }
    ViStatus scripted;
    {
        QMutexLocker lock(&m_mutex);
        calls << name + '(' + args.join(", ") + ')';
        scripted = takeScripted(name);
    }
    if (scripted < 0) {
        return scripted;
    }
    driverRunning = true;
    const ViStatus status = real();
    driverRunning = false;
    return status < 0 || scripted == VI_SUCCESS ? status : scripted;
}

} // namespace fake

using namespace fake;

// One recording entry point: __wrap_<name> logs `texts` and runs __real_<name>.
#define RECORD(name, params, args, ...)                                                                      \
    ViStatus _VI_FUNC __real_##name params;                                                                  \
    ViStatus _VI_FUNC __wrap_##name params                                                                   \
    {                                                                                                        \
        return driver().record(#name, {__VA_ARGS__}, [&] { return __real_##name args; });                    \
    }

extern "C" {

RECORD(ts4820_init, (ViRsrc rsrc, ViBoolean id, ViBoolean reset, ViPSession vi), (rsrc, id, reset, vi),
       str(rsrc), boolean(id), boolean(reset), out)
RECORD(ts4820_close, (ViSession vi), (vi), num(vi))
RECORD(ts4820_reset, (ViSession vi), (vi), num(vi))
RECORD(ts4820_identify, (ViSession vi, ViBoolean on), (vi, on), num(vi), boolean(on))
RECORD(ts4820_error_message, (ViSession vi, ViStatus status, ViChar text[]), (vi, status, text), num(vi),
       hex(status), out)
RECORD(ts4820_revision_query, (ViSession vi, ViChar own[], ViChar unit[]), (vi, own, unit), num(vi), out, out)
RECORD(ts4820_getAttribute, (ViSession vi, ViAttr id, ViPInt32 value), (vi, id, value), num(vi), num(id), out)
RECORD(ts4820_getStringAttribute, (ViSession vi, ViAttr id, ViChar value[]), (vi, id, value), num(vi),
       num(id), out)
RECORD(ts4820_getMatrixState, (ViSession vi, ViInt32 pattern[]), (vi, pattern), num(vi), out)
RECORD(ts4820_setMatrixState, (ViSession vi, ViInt32 pattern[]), (vi, pattern), num(vi), words(pattern))
RECORD(ts4820_getAlias, (ViSession vi, ViInt32 line, ViInt32 row, ViChar text[]), (vi, line, row, text),
       num(vi), num(line), num(row), out)
RECORD(ts4820_setAlias, (ViSession vi, ViInt32 line, ViInt32 row, ViConstString text), (vi, line, row, text),
       num(vi), num(line), num(row), str(text))
RECORD(ts4820_getVoltRefInfo, (ViSession vi, ViPInt32 count, ViReal64 volts[]), (vi, count, volts), num(vi),
       out, out)
RECORD(ts4820_getVoltRefOutput, (ViSession vi, ViPReal64 volts), (vi, volts), num(vi), out)
RECORD(ts4820_setVoltRefOutput, (ViSession vi, ViReal64 volts), (vi, volts), num(vi), real(volts))
RECORD(ts4820_getVoltRefConnectionState, (ViSession vi, ViInt32 line, ViPBoolean on), (vi, line, on), num(vi),
       num(line), out)
RECORD(ts4820_setVoltRefConnectionState, (ViSession vi, ViInt32 line, ViBoolean on), (vi, line, on), num(vi),
       num(line), boolean(on))
RECORD(ts4820_getPresetList, (ViSession vi, ViPInt32 count), (vi, count), num(vi), out)
RECORD(ts4820_getPresetFromList, (ViSession vi, ViInt32 index, ViChar name[]), (vi, index, name), num(vi),
       num(index), out)
RECORD(ts4820_getDefaultPresetName, (ViSession vi, ViChar name[]), (vi, name), num(vi), out)
RECORD(ts4820_storePreset, (ViSession vi, ViConstString name), (vi, name), num(vi), str(name))
RECORD(ts4820_restorePreset, (ViSession vi, ViConstString name), (vi, name), num(vi), str(name))
RECORD(ts4820_removePreset, (ViSession vi, ViConstString name), (vi, name), num(vi), str(name))
RECORD(ts4820_savePresetToFile, (ViSession vi, ViConstString name, ViConstString path), (vi, name, path),
       num(vi), str(name), str(path))
RECORD(ts4820_loadPresetFromFile, (ViSession vi, ViConstString path), (vi, path), num(vi), str(path))

} // extern "C"
