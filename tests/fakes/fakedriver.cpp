#include "fakedriver.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace fake {

namespace {

const char *const busNames[] = {"A", "B", "C", "D"};
constexpr int busCount = 4;

QMap<ViAttr, QString> defaultStringAttributes()
{
    return {
        {ts4820_ATTR_DESCRIPTION, "Tarsel Ltd - Xentra 4820 - 48209481 - LXI Matrix Switching Unit"},
        {ts4820_ATTR_ASSET_NO, ""},
        {ts4820_ATTR_CURRENT_HOSTNAME, "ts4820-fake"},
        {ts4820_ATTR_CURRENT_IPADDR, "192.168.7.20"},
        {ts4820_ATTR_CURRENT_NETMASK, "255.255.255.0"},
        {ts4820_ATTR_CURRENT_GATEWAY, "192.168.7.1"},
        {ts4820_ATTR_CURRENT_DNS1, "192.168.7.100"},
        {ts4820_ATTR_CURRENT_DNS2, "192.168.7.101"},
        {ts4820_ATTR_LXI_CLASS, "C"},
        {ts4820_ATTR_PRODUCT, "2.1.0"},
        {ts4820_ATTR_SUB_TYPE, "AB"},
        {ts4820_ATTR_ETH_ADDR, "02:00:00:aa:bb:cc"},
    };
}

// ---- argument text ------------------------------------------------------

QString num(qint64 value) { return QString::number(value); }

QString boolean(ViBoolean value) { return value ? "1" : "0"; }

QString real(double value) { return QString::number(value, 'g', 10); }

QString str(ViConstString text) { return text ? '"' + QString::fromUtf8(text) + '"' : QString("NULL"); }

QString statusHex(ViStatus status) { return QString::asprintf("0x%08x", static_cast<unsigned>(status)); }

const QString out = QStringLiteral("out");

QString wordsText(const ViInt32 *pattern, int count)
{
    if (!pattern) {
        return "NULL";
    }
    QStringList words;
    for (int i = 0; i < count; ++i) {
        words << QString::asprintf("%08x", static_cast<unsigned>(pattern[i]));
    }
    return words.join(',');
}

// ---- buffers ------------------------------------------------------------

// Copies at most size - 1 bytes and a NUL, as the real driver guarantees;
// returns the warning the driver gives when the text had to be cut.
ViStatus copyBounded(ViChar *dest, const QString &text, int size)
{
    const QByteArray bytes = text.toUtf8();
    const int length = qMin<int>(bytes.size(), size - 1);
    std::memcpy(dest, bytes.constData(), static_cast<size_t>(length));
    dest[length] = '\0';
    return length < bytes.size() ? ts4820_WARN_TRUNCATED : VI_SUCCESS;
}

ViStatus worstOf(ViStatus a, ViStatus b)
{
    if (a < 0 || b < 0) {
        return qMin(a, b);
    }
    return a != VI_SUCCESS ? a : b;
}

// ---- unit helpers -------------------------------------------------------

void openEverything(FakeUnit &unit)
{
    unit.words.fill(0);
    for (bool &link : unit.links) {
        link = false;
    }
    unit.vrefOutput = 0.0;
}

bool validPresetName(ViConstString name)
{
    if (!name) {
        return false;
    }
    const int length = int(std::strlen(name));
    return length > 0 && length < ts4820_PRESET_NAME_BUFFER_SIZE;
}

int presetIndex(const FakeUnit &unit, const QString &name)
{
    for (int i = 0; i < unit.presets.size(); ++i) {
        if (unit.presets[i].first == name) {
            return i;
        }
    }
    return -1;
}

void putPreset(FakeUnit &unit, const QString &name, const FakePreset &preset)
{
    const int index = presetIndex(unit, name);
    if (index >= 0) {
        unit.presets[index].second = preset;
    } else {
        unit.presets.append({name, preset});
    }
}

// Alias index of a line name such as "X12" or "C", or -1.
int aliasIndexOfName(const FakeUnit &unit, const QString &name)
{
    for (int bus = 0; bus < busCount; ++bus) {
        if (name == busNames[bus]) {
            return unit.aliasIndex(ts4820_LINE_A + bus, 0);
        }
    }
    if (name.size() < 2 || (name[0] != 'X' && name[0] != 'Y')) {
        return -1;
    }
    const QString digits = name.mid(1);
    if (digits.startsWith('0')) {
        return -1;
    }
    for (QChar c : digits) {
        if (c < '0' || c > '9') {
            return -1;
        }
    }
    return unit.aliasIndex(name[0] == 'X' ? ts4820_LINE_X : ts4820_LINE_Y, digits.toInt());
}

// Splits "NAME=text" into its alias index and text; false if malformed.
bool parseAliasLine(const FakeUnit &unit, const QString &line, int *index, QString *text)
{
    const int eq = line.indexOf('=');
    if (eq < 0) {
        return false;
    }
    *index = aliasIndexOfName(unit, line.left(eq));
    *text = line.mid(eq + 1);
    return *index >= 0;
}

int linkMask(const bool links[4])
{
    int mask = 0;
    for (int bus = 0; bus < busCount; ++bus) {
        mask |= links[bus] ? 1 << bus : 0;
    }
    return mask;
}

// ---- preset files -------------------------------------------------------

QString presetFileText(const QString &name, const FakePreset &preset)
{
    QStringList words;
    for (quint32 word : preset.words) {
        words << QString::asprintf("%08x", word);
    }
    QStringList lines;
    lines << "configname=" + name;
    lines << "mainrelays=" + words.join(',');
    lines << "vrefvolt=" + QString::asprintf("%f", preset.volts);
    lines << "vrefrelays=" + QString::asprintf("%x", linkMask(preset.links));
    lines << "==alias==";
    lines << preset.aliasLines;
    return lines.join('\n') + '\n';
}

bool parseWords(const QString &value, int expected, QVector<quint32> *words)
{
    const QStringList parts = value.split(',');
    if (parts.size() != expected) {
        return false;
    }
    for (const QString &part : parts) {
        bool ok = false;
        words->append(part.toUInt(&ok, 16));
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool parseSetting(const QString &key, const QString &value, int wordCount, QString *name, FakePreset *preset)
{
    bool ok = false;
    if (key == "configname") {
        *name = value;
        ok = !value.isEmpty() && value.toUtf8().size() < ts4820_PRESET_NAME_BUFFER_SIZE;
    } else if (key == "mainrelays") {
        ok = parseWords(value, wordCount, &preset->words);
    } else if (key == "vrefvolt") {
        preset->volts = value.toDouble(&ok);
    } else if (key == "vrefrelays") {
        const uint mask = value.toUInt(&ok, 16);
        ok = ok && mask < (1u << busCount);
        for (int bus = 0; bus < busCount; ++bus) {
            preset->links[bus] = mask & (1u << bus);
        }
    } else {
        ok = false;
    }
    return ok;
}

// Reads a preset file back; every setting must be there exactly once.
bool parsePresetFile(const FakeUnit &unit, const QString &text, QString *name, FakePreset *preset)
{
    QStringList seen;
    bool inAliases = false;
    for (QString line : text.split('\n')) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.isEmpty()) {
            continue;
        }
        if (inAliases) {
            int index;
            QString aliasText;
            if (!parseAliasLine(unit, line, &index, &aliasText)) {
                return false;
            }
            preset->aliasLines << line;
        } else if (line == "==alias==") {
            inAliases = true;
        } else {
            const int eq = line.indexOf('=');
            const QString key = line.left(eq);
            if (eq < 0 || seen.contains(key)
                || !parseSetting(key, line.mid(eq + 1), unit.wordCount(), name, preset)) {
                return false;
            }
            seen << key;
        }
    }
    return seen.size() == 4;
}

QString builtInErrorText(ViStatus status)
{
    switch (status) {
    case ts4820_ERROR_NOT_AVAILABLE:
        return "No instrument driver is available in this build.";
    case ts4820_ERROR_BAD_REPLY:
        return "The unit sent a reply the driver could not understand.";
    case ts4820_ERROR_INSTRUMENT:
        return "The unit reported an error for the command.";
    case ts4820_ERROR_INVALID_ARGUMENT:
        return "An argument is out of range.";
    case ts4820_ERROR_NO_SUCH_PRESET:
        return "No preset of that name exists.";
    case ts4820_ERROR_FILE:
        return "The preset file could not be read or written.";
    case ts4820_ERROR_NO_VREF:
        return "The unit has no voltage reference.";
    case ts4820_WARN_TRUNCATED:
        return "The reply did not fit the buffer and was cut.";
    case VI_ERROR_TMO:
        return "Timeout expired before operation completed.";
    case VI_ERROR_RSRC_NFOUND:
        return "Insufficient location information or resource not present in the system.";
    case VI_ERROR_CONN_LOST:
        return "The connection for the given session has been lost.";
    case VI_ERROR_IO:
        return "Could not perform operation because of I/O error.";
    default:
        return "Unknown status code " + statusHex(status);
    }
}

} // namespace

// ---- DriverCall / FakeUnit ----------------------------------------------

QString DriverCall::text() const { return function + "(" + args.join(", ") + ")"; }

FakeUnit::FakeUnit()
    : vrefTable{0.0,  9.0,   -9.0,  4.5,    -4.5,  0.9,    -0.9,   0.45,   -0.45,
                0.09, -0.09, 0.045, -0.045, 0.009, -0.009, 0.0045, -0.0045},
      stringAttributes(defaultStringAttributes())
{
    ensureSize();
}

int FakeUnit::rows() const { return subType == "AA" || subType == "BA" ? 96 : 192; }

int FakeUnit::wordCount() const { return rows() * 6 / 32; }

void FakeUnit::ensureSize()
{
    words.resize(wordCount());
    aliases.resize(2 * rows() + busCount);
}

int FakeUnit::aliasIndex(int line, int row) const
{
    if (line >= ts4820_LINE_A && line <= ts4820_LINE_D) {
        return 2 * rows() + (line - ts4820_LINE_A);
    }
    if ((line != ts4820_LINE_X && line != ts4820_LINE_Y) || row < 1 || row > rows()) {
        return -1;
    }
    return (line - ts4820_LINE_X) * rows() + row - 1;
}

QStringList FakeUnit::aliasLines() const
{
    QStringList lines;
    for (int i = 0; i < aliases.size(); ++i) {
        if (aliases[i].isEmpty()) {
            continue;
        }
        QString name;
        if (i < rows()) {
            name = QString("X%1").arg(i + 1);
        } else if (i < 2 * rows()) {
            name = QString("Y%1").arg(i - rows() + 1);
        } else {
            name = busNames[i - 2 * rows()];
        }
        lines << name + "=" + aliases[i];
    }
    return lines;
}

// ---- Driver -------------------------------------------------------------

Driver &Driver::instance()
{
    static Driver instance;
    return instance;
}

void Driver::reset()
{
    QMutexLocker lock(&m_mutex);
    unit = FakeUnit();
    calls.clear();
    m_counted.clear();
    m_always.clear();
    errorTexts.clear();
    nextSession = 1;
    lastInitDescriptor.clear();
    beforeCall = nullptr;
}

QStringList Driver::callNames() const
{
    QMutexLocker lock(&m_mutex);
    QStringList names;
    for (const DriverCall &call : calls) {
        names << call.function;
    }
    return names;
}

QStringList Driver::callTexts() const
{
    QMutexLocker lock(&m_mutex);
    QStringList texts;
    for (const DriverCall &call : calls) {
        texts << call.text();
    }
    return texts;
}

int Driver::count(const QString &function) const
{
    QMutexLocker lock(&m_mutex);
    int n = 0;
    for (const DriverCall &call : calls) {
        n += call.function == function ? 1 : 0;
    }
    return n;
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

ViStatus Driver::dispatch(const char *function, const QStringList &args,
                          const std::function<ViStatus(FakeUnit &)> &work)
{
    const QString name = QString::fromLatin1(function);
    if (beforeCall) {
        // Unlocked and taken out, so that the hook may call the driver itself.
        const auto hook = std::exchange(beforeCall, nullptr);
        hook(name);
        if (!beforeCall) {
            beforeCall = hook;
        }
    }
    QMutexLocker lock(&m_mutex);
    calls.append({name, args});
    const ViStatus scripted = takeScripted(name);
    if (scripted < 0) {
        return scripted;
    }
    unit.ensureSize();
    const ViStatus status = work(unit);
    return status < 0 || scripted == VI_SUCCESS ? status : scripted;
}

} // namespace fake

// ---- the driver's C API -------------------------------------------------

using fake::driver;
using fake::FakePreset;
using fake::FakeUnit;

namespace {

ViStatus succeed(FakeUnit &) { return VI_SUCCESS; }

// A null out pointer is a caller fault the real driver would reject too.
const ViStatus nullOut = ts4820_ERROR_INVALID_ARGUMENT;

} // namespace

extern "C" {

ViStatus _VI_FUNC ts4820_init(ViRsrc resourceName, ViBoolean IDQuery, ViBoolean resetDevice, ViPSession vi)
{
    const QStringList args{fake::str(resourceName), fake::boolean(IDQuery), fake::boolean(resetDevice),
                           fake::out};
    return driver().dispatch("ts4820_init", args, [&](FakeUnit &unit) -> ViStatus {
        if (!resourceName || !vi) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        driver().lastInitDescriptor = QString::fromUtf8(resourceName);
        if (resetDevice) {
            fake::openEverything(unit);
        }
        *vi = driver().nextSession++;
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_close(ViSession vi)
{
    return driver().dispatch("ts4820_close", {fake::num(vi)}, succeed);
}

ViStatus _VI_FUNC ts4820_reset(ViSession vi)
{
    return driver().dispatch("ts4820_reset", {fake::num(vi)}, [](FakeUnit &unit) -> ViStatus {
        fake::openEverything(unit);
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_identify(ViSession vi, ViBoolean state)
{
    const QStringList args{fake::num(vi), fake::boolean(state)};
    return driver().dispatch("ts4820_identify", args, [&](FakeUnit &unit) -> ViStatus {
        unit.identifying = state;
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_error_message(ViSession vi, ViStatus statusCode, ViChar errorMessage[])
{
    const QStringList args{fake::num(vi), fake::statusHex(statusCode), fake::out};
    return driver().dispatch("ts4820_error_message", args, [&](FakeUnit &) -> ViStatus {
        if (!errorMessage) {
            return nullOut;
        }
        const auto &texts = driver().errorTexts;
        const QString text =
            texts.contains(statusCode) ? texts.value(statusCode) : fake::builtInErrorText(statusCode);
        fake::copyBounded(errorMessage, text, ts4820_ERROR_MESSAGE_BUFFER_SIZE);
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_revision_query(ViSession vi, ViChar driverRev[], ViChar instrRev[])
{
    const QStringList args{fake::num(vi), fake::out, fake::out};
    return driver().dispatch("ts4820_revision_query", args, [&](FakeUnit &unit) -> ViStatus {
        ViStatus status = VI_SUCCESS;
        if (driverRev) {
            status = fake::copyBounded(driverRev, unit.driverRevision, ts4820_REVISION_BUFFER_SIZE);
        }
        if (instrRev && vi != 0) {
            status = fake::worstOf(
                status, fake::copyBounded(instrRev, unit.instrumentRevision, ts4820_REVISION_BUFFER_SIZE));
        }
        return status;
    });
}

ViStatus _VI_FUNC ts4820_getAttribute(ViSession vi, ViAttr attribute, ViPInt32 value)
{
    const QStringList args{fake::num(vi), fake::num(attribute), fake::out};
    return driver().dispatch("ts4820_getAttribute", args, [&](FakeUnit &unit) -> ViStatus {
        if (attribute != ts4820_ATTR_SER_NUM || !value) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        *value = static_cast<ViInt32>(unit.serial);
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_getStringAttribute(ViSession vi, ViAttr attribute, ViChar value[])
{
    const QStringList args{fake::num(vi), fake::num(attribute), fake::out};
    return driver().dispatch("ts4820_getStringAttribute", args, [&](FakeUnit &unit) -> ViStatus {
        if (!unit.stringAttributes.contains(attribute) || !value) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        const QString text =
            attribute == ts4820_ATTR_SUB_TYPE ? unit.subType : unit.stringAttributes.value(attribute);
        return fake::copyBounded(value, text, ts4820_STRING_ATTRIBUTE_BUFFER_SIZE);
    });
}

ViStatus _VI_FUNC ts4820_getMatrixState(ViSession vi, ViInt32 pattern[])
{
    const QStringList args{fake::num(vi), fake::out};
    return driver().dispatch("ts4820_getMatrixState", args, [&](FakeUnit &unit) -> ViStatus {
        if (!pattern) {
            return nullOut;
        }
        for (int i = 0; i < unit.wordCount(); ++i) {
            pattern[i] = static_cast<ViInt32>(unit.words[i]);
        }
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_setMatrixState(ViSession vi, ViInt32 pattern[])
{
    const QStringList args{fake::num(vi), fake::wordsText(pattern, driver().unit.wordCount())};
    return driver().dispatch("ts4820_setMatrixState", args, [&](FakeUnit &unit) -> ViStatus {
        if (!pattern) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        for (int i = 0; i < unit.wordCount(); ++i) {
            unit.words[i] = static_cast<quint32>(pattern[i]);
        }
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_getAlias(ViSession vi, ViInt32 line, ViInt32 row, ViChar aliases[])
{
    const QStringList args{fake::num(vi), fake::num(line), fake::num(row), fake::out};
    return driver().dispatch("ts4820_getAlias", args, [&](FakeUnit &unit) -> ViStatus {
        if (line != 0 || row != 0 || !aliases) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        return fake::copyBounded(aliases, unit.aliasLines().join(','), ts4820_ALIAS_BUFFER_SIZE(unit.rows()));
    });
}

ViStatus _VI_FUNC ts4820_setAlias(ViSession vi, ViInt32 line, ViInt32 row, ViConstString text)
{
    const QStringList args{fake::num(vi), fake::num(line), fake::num(row), fake::str(text)};
    return driver().dispatch("ts4820_setAlias", args, [&](FakeUnit &unit) -> ViStatus {
        const int index = unit.aliasIndex(line, row);
        if (index < 0 || !text) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        unit.aliases[index] = QString::fromUtf8(text);
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_getVoltRefInfo(ViSession vi, ViPInt32 count, ViReal64 voltages[])
{
    const QStringList args{fake::num(vi), fake::out, fake::out};
    return driver().dispatch("ts4820_getVoltRefInfo", args, [&](FakeUnit &unit) -> ViStatus {
        if (!count || !voltages) {
            return nullOut;
        }
        const int n = qMin(int(unit.vrefTable.size()), ts4820_MAX_VREF_VOLTAGES);
        for (int i = 0; i < n; ++i) {
            voltages[i] = unit.vrefTable[i];
        }
        *count = n;
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_getVoltRefOutput(ViSession vi, ViPReal64 volts)
{
    const QStringList args{fake::num(vi), fake::out};
    return driver().dispatch("ts4820_getVoltRefOutput", args, [&](FakeUnit &unit) -> ViStatus {
        if (unit.vrefTable.isEmpty()) {
            return ts4820_ERROR_NO_VREF;
        }
        if (!volts) {
            return nullOut;
        }
        *volts = unit.vrefOutput;
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_setVoltRefOutput(ViSession vi, ViReal64 volts)
{
    const QStringList args{fake::num(vi), fake::real(volts)};
    return driver().dispatch("ts4820_setVoltRefOutput", args, [&](FakeUnit &unit) -> ViStatus {
        if (unit.vrefTable.isEmpty()) {
            return ts4820_ERROR_NO_VREF;
        }
        unit.vrefOutput = volts;
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_getVoltRefConnectionState(ViSession vi, ViInt32 line, ViPBoolean state)
{
    const QStringList args{fake::num(vi), fake::num(line), fake::out};
    return driver().dispatch("ts4820_getVoltRefConnectionState", args, [&](FakeUnit &unit) -> ViStatus {
        if (line < ts4820_LINE_A || line > ts4820_LINE_D || !state) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        *state = unit.links[line - ts4820_LINE_A] ? VI_TRUE : VI_FALSE;
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_setVoltRefConnectionState(ViSession vi, ViInt32 line, ViBoolean state)
{
    const QStringList args{fake::num(vi), fake::num(line), fake::boolean(state)};
    return driver().dispatch("ts4820_setVoltRefConnectionState", args, [&](FakeUnit &unit) -> ViStatus {
        if (line < ts4820_LINE_A || line > ts4820_LINE_D) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        unit.links[line - ts4820_LINE_A] = state;
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_getPresetList(ViSession vi, ViPInt32 count)
{
    const QStringList args{fake::num(vi), fake::out};
    return driver().dispatch("ts4820_getPresetList", args, [&](FakeUnit &unit) -> ViStatus {
        if (!count) {
            return nullOut;
        }
        *count = ViInt32(unit.presets.size());
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_getPresetFromList(ViSession vi, ViInt32 index, ViChar name[])
{
    const QStringList args{fake::num(vi), fake::num(index), fake::out};
    return driver().dispatch("ts4820_getPresetFromList", args, [&](FakeUnit &unit) -> ViStatus {
        if (index < 0 || index >= unit.presets.size() || !name) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        return fake::copyBounded(name, unit.presets[index].first, ts4820_PRESET_NAME_BUFFER_SIZE);
    });
}

ViStatus _VI_FUNC ts4820_getDefaultPresetName(ViSession vi, ViChar name[])
{
    const QStringList args{fake::num(vi), fake::out};
    return driver().dispatch("ts4820_getDefaultPresetName", args, [&](FakeUnit &unit) -> ViStatus {
        if (!name) {
            return nullOut;
        }
        return fake::copyBounded(name, unit.defaultPresetName, ts4820_PRESET_NAME_BUFFER_SIZE);
    });
}

ViStatus _VI_FUNC ts4820_storePreset(ViSession vi, ViConstString name)
{
    const QStringList args{fake::num(vi), fake::str(name)};
    return driver().dispatch("ts4820_storePreset", args, [&](FakeUnit &unit) -> ViStatus {
        if (!fake::validPresetName(name)) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        FakePreset preset;
        preset.words = unit.words;
        preset.aliasLines = unit.aliasLines();
        preset.volts = unit.vrefOutput;
        std::copy(std::begin(unit.links), std::end(unit.links), preset.links);
        const QString presetName = QString::fromUtf8(name);
        fake::putPreset(unit, presetName, preset);
        unit.defaultPresetName = presetName;
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_restorePreset(ViSession vi, ViConstString name)
{
    const QStringList args{fake::num(vi), fake::str(name)};
    return driver().dispatch("ts4820_restorePreset", args, [&](FakeUnit &unit) -> ViStatus {
        if (!fake::validPresetName(name)) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        const QString presetName = QString::fromUtf8(name);
        const int index = fake::presetIndex(unit, presetName);
        if (index < 0) {
            return ts4820_ERROR_NO_SUCH_PRESET;
        }
        const FakePreset &preset = unit.presets[index].second;
        // Check the alias lines first so a bad preset leaves the unit alone.
        QStringList aliases(unit.aliases.size());
        for (const QString &line : preset.aliasLines) {
            int at;
            QString text;
            if (!fake::parseAliasLine(unit, line, &at, &text)) {
                return ts4820_ERROR_INSTRUMENT;
            }
            aliases[at] = text;
        }
        unit.aliases = aliases;
        unit.words = preset.words;
        unit.words.resize(unit.wordCount());
        unit.vrefOutput = preset.volts;
        std::copy(std::begin(preset.links), std::end(preset.links), unit.links);
        unit.defaultPresetName = presetName;
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_removePreset(ViSession vi, ViConstString name)
{
    const QStringList args{fake::num(vi), fake::str(name)};
    return driver().dispatch("ts4820_removePreset", args, [&](FakeUnit &unit) -> ViStatus {
        if (!fake::validPresetName(name)) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        const int index = fake::presetIndex(unit, QString::fromUtf8(name));
        if (index < 0) {
            return ts4820_ERROR_NO_SUCH_PRESET;
        }
        unit.presets.removeAt(index);
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_savePresetToFile(ViSession vi, ViConstString name, ViConstString path)
{
    const QStringList args{fake::num(vi), fake::str(name), fake::str(path)};
    return driver().dispatch("ts4820_savePresetToFile", args, [&](FakeUnit &unit) -> ViStatus {
        if (!fake::validPresetName(name) || !path) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        const QString presetName = QString::fromUtf8(name);
        const int index = fake::presetIndex(unit, presetName);
        if (index < 0) {
            return ts4820_ERROR_NO_SUCH_PRESET;
        }
        QFile file(QFile::decodeName(path));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return ts4820_ERROR_FILE;
        }
        const QByteArray text = fake::presetFileText(presetName, unit.presets[index].second).toUtf8();
        return file.write(text) == text.size() ? VI_SUCCESS : ts4820_ERROR_FILE;
    });
}

ViStatus _VI_FUNC ts4820_loadPresetFromFile(ViSession vi, ViConstString path)
{
    const QStringList args{fake::num(vi), fake::str(path)};
    return driver().dispatch("ts4820_loadPresetFromFile", args, [&](FakeUnit &unit) -> ViStatus {
        if (!path) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        QFile file(QFile::decodeName(path));
        if (!file.open(QIODevice::ReadOnly)) {
            return ts4820_ERROR_FILE;
        }
        QString name;
        FakePreset preset;
        if (!fake::parsePresetFile(unit, QString::fromUtf8(file.readAll()), &name, &preset)) {
            return ts4820_ERROR_BAD_REPLY;
        }
        fake::putPreset(unit, name, preset);
        return VI_SUCCESS;
    });
}

} // extern "C"
