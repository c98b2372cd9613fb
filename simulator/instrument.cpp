#include "instrument.h"

#include "statefile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace sim {

namespace {

constexpr char kStateFile[] = "current.state";
constexpr char kPresetsFile[] = "presets.state";
constexpr char kLegacyStateFile[] = "unit.state"; // the state and the presets in one file
// Each file starts with a line <kind>=1.
constexpr char kStateKind[] = "ts4820sim-state";
constexpr char kPresetsKind[] = "ts4820sim-presets";
constexpr char kConfigurationMark[] = "\n==configuration==\n";
constexpr char kPresetMark[] = "\n==preset==\n";

QByteArray quoted(const QByteArray &text) { return '"' + text + '"'; }

int countIs(const QList<Parameter> &params, int n)
{
    if (params.size() < n) {
        return MissingParameter;
    }
    return params.size() > n ? ParameterNotAllowed : NoError;
}

QByteArray dottedMask(const QByteArray &address)
{
    return address.startsWith("127.") ? "255.0.0.0" : "255.255.255.0";
}

} // namespace

// ---------------------------------------------------------------- session

void Session::pushError(int code)
{
    if (code <= -100 && code > -200) {
        esr |= 32;
    } else if (code <= -200 && code > -300) {
        esr |= 16;
    } else if (code <= -300 && code > -400) {
        esr |= 8;
    } else if (code <= -400) {
        esr |= 4;
    }
    if (m_errors.size() < kErrorQueueSize) {
        m_errors.append(code);
    } else {
        m_errors.last() = QueueOverflow;
    }
}

int Session::takeError() { return m_errors.isEmpty() ? NoError : m_errors.takeFirst(); }

// ---------------------------------------------------------------- unit

bool Instrument::isSubtype(const QByteArray &subtype)
{
    return subtype == "AA" || subtype == "AB" || subtype == "BA" || subtype == "BB";
}

Instrument::Instrument(const UnitOptions &options)
    : m_options(options), m_rows(options.subtype.endsWith('B') ? 192 : 96),
      m_table(options.voltageReference ? standardVoltageTable() : QList<double>())
{
    if (m_options.hostname.isEmpty()) {
        m_options.hostname = "xentra-" + formatHexWord(options.serial);
    }
    m_state.config = Configuration(m_rows);
    m_state.description =
        "Tarsel Ltd - Xentra 4820 - " + formatHexWord(options.serial) + " - LXI Matrix Switching Unit";

    using I = Instrument;
    m_commands = {
        {HeaderPattern("*IDN"), true, &I::idn},
        {HeaderPattern("*RST"), false, &I::rst},
        {HeaderPattern("*CLS"), false, &I::cls},
        {HeaderPattern("*OPC"), false, &I::opc},
        {HeaderPattern("*OPC"), true, &I::opcQuery},
        {HeaderPattern("*WAI"), false, &I::wai},
        {HeaderPattern("*ESR"), true, &I::esrQuery},
        {HeaderPattern("*STB"), true, &I::stbQuery},
        {HeaderPattern("*TST"), true, &I::tstQuery},
        {HeaderPattern("ROUTe:MATRix:ROWS"), true, &I::rowsQuery},
        {HeaderPattern("ROUTe:MATRix[:STATe]"), false, &I::setMatrix},
        {HeaderPattern("ROUTe:MATRix[:STATe]"), true, &I::matrixQuery},
        {HeaderPattern("ROUTe:ALIas[:TEXT]"), false, &I::setAlias},
        {HeaderPattern("ROUTe:ALIas[:TEXT]"), true, &I::aliasQuery},
        {HeaderPattern("ROUTe:ALIas:CATalog"), true, &I::aliasCatalogueQuery},
        {HeaderPattern("SOURce:VOLTage:CATalog"), true, &I::voltageCatalogueQuery},
        {HeaderPattern("SOURce:VOLTage[:LEVel]"), false, &I::setVoltage},
        {HeaderPattern("SOURce:VOLTage[:LEVel]"), true, &I::voltageQuery},
        {HeaderPattern("SOURce:VOLTage:LINK"), false, &I::setLink},
        {HeaderPattern("SOURce:VOLTage:LINK"), true, &I::linkQuery},
        {HeaderPattern("MEMory:PRESet:COUNt"), true, &I::presetCountQuery},
        {HeaderPattern("MEMory:PRESet:NAME"), true, &I::presetNameQuery},
        {HeaderPattern("MEMory:PRESet:CATalog"), true, &I::presetCatalogueQuery},
        {HeaderPattern("MEMory:PRESet:STORe"), false, &I::storePreset},
        {HeaderPattern("MEMory:PRESet:RECall"), false, &I::recallPreset},
        {HeaderPattern("MEMory:PRESet:DELete"), false, &I::deletePreset},
        {HeaderPattern("MEMory:PRESet:CURRent"), true, &I::currentPresetQuery},
        {HeaderPattern("MEMory:PRESet:DATA"), true, &I::presetDataQuery},
        {HeaderPattern("MEMory:PRESet:DATA"), false, &I::uploadPreset},
        {HeaderPattern("SYSTem:ERRor[:NEXT]"), true, &I::errorQuery},
        {HeaderPattern("SYSTem:VERSion"), true, &I::versionQuery},
        {HeaderPattern("SYSTem:SERial"), true, &I::serialQuery},
        {HeaderPattern("SYSTem:SUBType"), true, &I::textAttributeQuery},
        {HeaderPattern("SYSTem:PRODuct"), true, &I::textAttributeQuery},
        {HeaderPattern("SYSTem:LXI:CLASs"), true, &I::textAttributeQuery},
        {HeaderPattern("SYSTem:DESCription"), true, &I::textAttributeQuery},
        {HeaderPattern("SYSTem:DESCription"), false, &I::setDescription},
        {HeaderPattern("SYSTem:ANUMber"), true, &I::textAttributeQuery},
        {HeaderPattern("SYSTem:ANUMber"), false, &I::setAssetNumber},
        {HeaderPattern("SYSTem:COMMunicate:LAN:HOSTname"), true, &I::textAttributeQuery},
        {HeaderPattern("SYSTem:COMMunicate:LAN:ADDRess"), true, &I::textAttributeQuery},
        {HeaderPattern("SYSTem:COMMunicate:LAN:SMASk"), true, &I::textAttributeQuery},
        {HeaderPattern("SYSTem:COMMunicate:LAN:GATeway"), true, &I::textAttributeQuery},
        {HeaderPattern("SYSTem:COMMunicate:LAN:DNS#", 1, 2), true, &I::textAttributeQuery},
        {HeaderPattern("SYSTem:COMMunicate:LAN:MAC"), true, &I::textAttributeQuery},
        {HeaderPattern("SYSTem:IDENtify"), false, &I::setIdentify},
        {HeaderPattern("SYSTem:IDENtify"), true, &I::identifyQuery},
    };
}

QByteArray Instrument::identification() const
{
    if (!m_idnOverride.isEmpty()) {
        return m_idnOverride;
    }
    return "Tarsel Ltd.,Xentra 4820-" + m_options.subtype + ',' + formatHexWord(m_options.serial) + ",2.1.0";
}

int Instrument::findCommand(const QByteArray &header, bool query, int *suffix) const
{
    int result = UndefinedHeader;
    for (int i = 0; i < m_commands.size(); ++i) {
        if (m_commands[i].query != query) {
            continue;
        }
        const int match = m_commands[i].pattern.match(header, suffix);
        if (match == NoError) {
            return i;
        }
        if (match == HeaderSuffixOutOfRange) {
            result = match;
        }
    }
    return result;
}

int Instrument::commandFor(const QByteArray &header) const
{
    QByteArray h = header.trimmed();
    const bool query = h.endsWith('?');
    if (query) {
        h.chop(1);
    }
    const int index = findCommand(h, query, nullptr);
    return index >= 0 ? index : -1;
}

bool Instrument::failCommand(const QByteArray &header, int code)
{
    const int index = commandFor(header);
    if (index >= 0) {
        m_failures.insert(index, code);
    }
    return index >= 0;
}

bool Instrument::malformReply(const QByteArray &header)
{
    const int index = commandFor(header);
    if (index >= 0) {
        m_malformed.insert(index);
    }
    return index >= 0 && m_commands[index].query;
}

bool Instrument::oversizeReply(const QByteArray &header, int bytes)
{
    const int index = commandFor(header);
    if (index >= 0) {
        m_oversized.insert(index, bytes);
    }
    return index >= 0 && m_commands[index].query;
}

bool Instrument::slowReply(const QByteArray &header, int ms)
{
    const int index = commandFor(header);
    if (index >= 0) {
        m_slow.insert(index, ms);
    }
    return index >= 0 && m_commands[index].query;
}

bool Instrument::dropConnectionOn(const QByteArray &header)
{
    const int index = commandFor(header);
    if (index >= 0) {
        m_drops.insert(index);
    }
    return index >= 0;
}

bool Instrument::dropsConnection(const FramedMessage &message) const
{
    if (m_drops.isEmpty() || message.error != NoError) {
        return false;
    }
    const ParsedMessage parsed = parseMessage(message.bytes);
    return !parsed.empty && !parsed.error
           && m_drops.contains(findCommand(parsed.header, parsed.query, nullptr));
}

std::optional<QByteArray> Instrument::execute(Session &session, const FramedMessage &message)
{
    m_replyDelayMs = 0;
    if (message.error != NoError) {
        session.pushError(message.error);
        return looksLikeQuery(message.bytes) ? std::optional<QByteArray>(QByteArray()) : std::nullopt;
    }
    const ParsedMessage parsed = parseMessage(message.bytes);
    if (parsed.empty) {
        return std::nullopt;
    }
    const bool query = parsed.error ? looksLikeQuery(message.bytes) : parsed.query;
    const std::optional<QByteArray> failed = query ? std::optional<QByteArray>(QByteArray()) : std::nullopt;
    if (parsed.error) {
        session.pushError(parsed.error);
        return failed;
    }
    int suffix = 1;
    const int index = findCommand(parsed.header, parsed.query, &suffix);
    if (index < 0) {
        session.pushError(index);
        return failed;
    }
    if (const int code = m_failures.value(index, NoError)) {
        session.pushError(code);
        return failed;
    }
    QByteArray reply;
    m_currentCommand = index;
    const int error = (this->*m_commands[index].handler)(session, parsed.params, reply);
    m_currentCommand = -1;
    if (error) {
        session.pushError(error);
        return failed;
    }
    if (!query) {
        return std::nullopt;
    }
    m_replyDelayMs = m_slow.value(index, 0);
    if (m_malformed.contains(index)) {
        // Cut to half and marked, so that no parser of the proper form accepts it.
        reply = reply.left(reply.size() / 2) + "?!";
    }
    if (const int extra = m_oversized.value(index, 0)) {
        const QByteArray padding(extra, 'W');
        if (reply.startsWith('#')) {
            const int digits = reply[1] - '0';
            reply = formatBlock(reply.mid(2 + digits) + padding);
        } else if (reply.endsWith('"')) {
            reply.insert(reply.size() - 1, padding);
        } else {
            reply += padding;
        }
    }
    return reply;
}

quint8 Instrument::statusByte(const Session &session, bool replyPending) const
{
    return quint8((session.hasErrors() ? 4 : 0) | (replyPending ? 16 : 0) | (session.esr ? 32 : 0));
}

// ---------------------------------------------------------------- memory

QString Instrument::stateFile(const char *name) const
{
    return m_options.stateFolder.isEmpty() ? QString() : QDir(m_options.stateFolder).filePath(name);
}

QByteArray Instrument::serialize(const State &state) const
{
    return QByteArray(kStateKind) + "=1\nrows=" + QByteArray::number(m_rows) + "\npreset=" + state.preset
           + "\nedited=" + (state.edited ? "1" : "0") + "\ndescription=" + state.description + "\nasset="
           + state.asset + kConfigurationMark + presetData("configuration", state.config, m_rows);
}

QByteArray Instrument::serializePresets(const Presets &presets) const
{
    QByteArray text = QByteArray(kPresetsKind) + "=1\nrows=" + QByteArray::number(m_rows);
    for (const auto &entry : presets) {
        text += kPresetMark + entry.second.data;
    }
    return text;
}

namespace {

// Cuts `text` at every `mark`.
QByteArrayList splitAt(const QByteArray &text, const char *mark)
{
    QByteArrayList parts;
    qsizetype from = 0;
    while (true) {
        const qsizetype next = text.indexOf(mark, from);
        parts.append(text.mid(from, next < 0 ? -1 : next - from));
        if (next < 0) {
            return parts;
        }
        from = next + qstrlen(mark);
    }
}

// The key=value lines at the head of a state file, which must name the
// file's kind (`kind`=1) and the unit's row count.
bool parseHeader(const QByteArray &header, const char *kind, int rows, QHash<QByteArray, QByteArray> *keys)
{
    for (const QByteArray &line : header.split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq < 0) {
            return false;
        }
        keys->insert(line.left(eq), line.mid(eq + 1));
    }
    return keys->value(kind) == "1" && keys->value("rows").toInt() == rows;
}

} // namespace

bool Instrument::deserializePresets(const QByteArray &text, Presets *presets) const
{
    QByteArrayList sections = splitAt(text, kPresetMark);
    QHash<QByteArray, QByteArray> keys;
    if (!parseHeader(sections.takeFirst(), kPresetsKind, m_rows, &keys)) {
        return false;
    }
    Presets read;
    for (const QByteArray &section : sections) {
        QByteArray name;
        Configuration config;
        if (parsePresetData(section, m_rows, m_table, &name, &config) != NoError) {
            return false;
        }
        read[name] = Stored{config, presetData(name, config, m_rows)};
    }
    *presets = read;
    return true;
}

// The live state; `presets` takes the preset sections that an earlier
// version kept in the same file.
bool Instrument::deserialize(const QByteArray &text, State *state, Presets *presets) const
{
    const qsizetype mark = text.indexOf(kConfigurationMark);
    if (mark < 0) {
        return false;
    }
    QHash<QByteArray, QByteArray> keys;
    if (!parseHeader(text.left(mark), kStateKind, m_rows, &keys)) {
        return false;
    }
    State s;
    s.preset = keys.value("preset");
    s.edited = keys.value("edited") == "1";
    s.description = keys.value("description");
    s.asset = keys.value("asset");
    QByteArrayList sections = splitAt(text.mid(mark + qstrlen(kConfigurationMark)), kPresetMark);
    QByteArray name;
    if (parsePresetData(sections.takeFirst(), m_rows, m_table, &name, &s.config) != NoError) {
        return false;
    }
    Presets earlier;
    if (!sections.isEmpty()
        && !deserializePresets(QByteArray(kPresetsKind) + "=1\nrows=" + QByteArray::number(m_rows)
                                   + kPresetMark + sections.join(kPresetMark),
                               &earlier)) {
        return false;
    }
    *state = s;
    *presets = earlier;
    return true;
}

bool Instrument::load(QString *message)
{
    if (m_options.stateFolder.isEmpty()) {
        return true;
    }
    QDir().mkpath(m_options.stateFolder);
    removeLeftovers(m_options.stateFolder);
    QStringList unreadable;
    // A file that cannot be read is moved aside, never overwritten.
    const auto read = [&](const QString &path, const std::function<bool(const QByteArray &)> &parse) {
        QFile file(path);
        if (!file.exists() || (file.open(QIODevice::ReadOnly) && parse(file.readAll()))) {
            return;
        }
        file.close();
        const QString aside =
            path + ".unreadable-" + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
        QFile::rename(path, aside);
        unreadable << QStringLiteral("%1 (moved to %2)").arg(path, aside);
    };
    // Files of an earlier version stand in for those not yet written.
    Presets earlier;
    const QString legacy = stateFile(kLegacyStateFile);
    const QString live = stateFile(kStateFile);
    read(QFile::exists(live) ? live : legacy,
         [&](const QByteArray &text) { return deserialize(text, &m_state, &earlier); });
    const QString presets = stateFile(kPresetsFile);
    if (QFile::exists(presets)) {
        read(presets, [&](const QByteArray &text) { return deserializePresets(text, &m_presets); });
    } else {
        m_presets = earlier;
    }
    if (!m_state.preset.isEmpty() && !m_presets.count(m_state.preset)) {
        m_state.preset.clear();
        m_state.edited = false;
    }
    if (unreadable.isEmpty()) {
        return true;
    }
    m_selfTestFailed = true;
    *message = QStringLiteral("the state in %1 could not be read; starting from the factory state")
                   .arg(unreadable.join(QLatin1String(", ")));
    return false;
}

// Each change goes to its file before it takes effect: a change that could
// not be stored is refused, and one that was acknowledged is on the disk.
int Instrument::commit(const State &next)
{
    const QString path = stateFile(kStateFile);
    if (!path.isEmpty() && !replaceFile(path, serialize(next))) {
        return SystemError;
    }
    m_state = next;
    return NoError;
}

int Instrument::commitPresets(Presets next)
{
    const QString path = stateFile(kPresetsFile);
    if (!path.isEmpty() && !replaceFile(path, serializePresets(next))) {
        return SystemError;
    }
    m_presets = std::move(next);
    return NoError;
}

int Instrument::edit(const std::function<void(State &)> &change)
{
    State next = m_state;
    change(next);
    next.edited = !next.preset.isEmpty();
    return commit(next);
}

// ---------------------------------------------------------------- common commands

int Instrument::idn(Session &, const Params &p, QByteArray &reply)
{
    reply = identification();
    return countIs(p, 0);
}

int Instrument::rst(Session &, const Params &p, QByteArray &)
{
    if (const int e = countIs(p, 0)) {
        return e;
    }
    State next = m_state;
    const QList<QByteArray> names = next.config.names;
    next.config = Configuration(m_rows);
    next.config.names = names;
    next.preset.clear();
    next.edited = false;
    return commit(next);
}

int Instrument::cls(Session &s, const Params &p, QByteArray &)
{
    if (const int e = countIs(p, 0)) {
        return e;
    }
    s.clear();
    return NoError;
}

int Instrument::opc(Session &s, const Params &p, QByteArray &)
{
    if (const int e = countIs(p, 0)) {
        return e;
    }
    s.esr |= 1;
    return NoError;
}

int Instrument::opcQuery(Session &, const Params &p, QByteArray &reply)
{
    reply = "1";
    return countIs(p, 0);
}

int Instrument::wai(Session &, const Params &p, QByteArray &) { return countIs(p, 0); }

int Instrument::esrQuery(Session &s, const Params &p, QByteArray &reply)
{
    if (const int e = countIs(p, 0)) {
        return e;
    }
    reply = QByteArray::number(s.esr);
    s.esr = 0;
    return NoError;
}

int Instrument::stbQuery(Session &s, const Params &p, QByteArray &reply)
{
    reply = QByteArray::number(statusByte(s, false));
    return countIs(p, 0);
}

int Instrument::tstQuery(Session &, const Params &p, QByteArray &reply)
{
    reply = m_selfTestFailed ? "1" : "0";
    return countIs(p, 0);
}

// ---------------------------------------------------------------- relays and names

int Instrument::rowsQuery(Session &, const Params &p, QByteArray &reply)
{
    reply = QByteArray::number(m_rows);
    return countIs(p, 0);
}

int Instrument::setMatrix(Session &, const Params &p, QByteArray &)
{
    if (const int e = countIs(p, wordsForRows(m_rows))) {
        return e;
    }
    QList<quint32> words(p.size());
    for (int i = 0; i < p.size(); ++i) {
        if (const int e = parseHexWord(p[i], &words[i])) {
            return e;
        }
    }
    return edit([&](State &s) { s.config.relays = words; });
}

int Instrument::matrixQuery(Session &, const Params &p, QByteArray &reply)
{
    QByteArrayList words;
    for (quint32 w : m_state.config.relays) {
        words.append(formatHexWord(w));
    }
    reply = words.join(',');
    return countIs(p, 0);
}

int Instrument::setAlias(Session &, const Params &p, QByteArray &)
{
    if (const int e = countIs(p, 2)) {
        return e;
    }
    int line = 0;
    if (p[0].kind != Parameter::Token || p[1].kind != Parameter::String) {
        return DataTypeError;
    }
    if (const int e = parseLine(p[0].value, m_rows, &line)) {
        return e;
    }
    if (const int e = checkNameText(p[1].value)) {
        return e;
    }
    return edit([&](State &s) { s.config.names[line] = p[1].value; });
}

int Instrument::aliasQuery(Session &, const Params &p, QByteArray &reply)
{
    if (const int e = countIs(p, 1)) {
        return e;
    }
    int line = 0;
    if (p[0].kind != Parameter::Token) {
        return DataTypeError;
    }
    if (const int e = parseLine(p[0].value, m_rows, &line)) {
        return e;
    }
    reply = quoted(m_state.config.names[line]);
    return NoError;
}

int Instrument::aliasCatalogueQuery(Session &, const Params &p, QByteArray &reply)
{
    reply = formatBlock(aliasCatalogue(m_state.config.names, m_rows));
    return countIs(p, 0);
}

// ---------------------------------------------------------------- voltage reference

int Instrument::voltageCatalogueQuery(Session &, const Params &p, QByteArray &reply)
{
    reply = QByteArray::number(m_table.size());
    for (double v : m_table) {
        reply += ',' + formatReal(v);
    }
    return countIs(p, 0);
}

int Instrument::setVoltage(Session &, const Params &p, QByteArray &)
{
    if (const int e = countIs(p, 1)) {
        return e;
    }
    if (m_table.isEmpty()) {
        return HardwareMissing;
    }
    double volts = 0;
    if (const int e = parseReal(p[0], &volts)) {
        return e;
    }
    const int entry = matchVoltage(m_table, volts);
    if (entry < 0) {
        return DataOutOfRange;
    }
    return edit([&](State &s) { s.config.volts = m_table[entry]; });
}

int Instrument::voltageQuery(Session &, const Params &p, QByteArray &reply)
{
    if (const int e = countIs(p, 0)) {
        return e;
    }
    if (m_table.isEmpty()) {
        return HardwareMissing;
    }
    reply = formatReal(m_state.config.volts);
    return NoError;
}

namespace {
int parseBus(const Parameter &p, int *bus)
{
    if (p.kind != Parameter::Token) {
        return DataTypeError;
    }
    const QByteArray v = p.value.toUpper();
    if (v.size() != 1 || v[0] < 'A' || v[0] > 'D') {
        return IllegalParameterValue;
    }
    *bus = v[0] - 'A';
    return NoError;
}
} // namespace

int Instrument::setLink(Session &, const Params &p, QByteArray &)
{
    if (const int e = countIs(p, 2)) {
        return e;
    }
    int bus = 0;
    bool on = false;
    if (const int e = parseBus(p[0], &bus)) {
        return e;
    }
    if (const int e = parseBool(p[1], &on)) {
        return e;
    }
    return edit([&](State &s) {
        s.config.links = quint8(on ? s.config.links | (1 << bus) : s.config.links & ~(1 << bus));
    });
}

int Instrument::linkQuery(Session &, const Params &p, QByteArray &reply)
{
    if (const int e = countIs(p, 1)) {
        return e;
    }
    int bus = 0;
    if (const int e = parseBus(p[0], &bus)) {
        return e;
    }
    reply = (m_state.config.links >> bus) & 1 ? "1" : "0";
    return NoError;
}

// ---------------------------------------------------------------- presets

int Instrument::presetNameParameter(const Params &p, QByteArray *name) const
{
    if (const int e = countIs(p, 1)) {
        return e;
    }
    if (p[0].kind != Parameter::String) {
        return DataTypeError;
    }
    *name = p[0].value;
    return checkPresetName(*name);
}

int Instrument::presetCountQuery(Session &, const Params &p, QByteArray &reply)
{
    reply = QByteArray::number(qsizetype(m_presets.size()));
    return countIs(p, 0);
}

int Instrument::presetNameQuery(Session &, const Params &p, QByteArray &reply)
{
    if (const int e = countIs(p, 1)) {
        return e;
    }
    qint64 index = 0;
    if (const int e = parseInt(p[0], &index)) {
        return e;
    }
    if (index < 0 || index >= qint64(m_presets.size())) {
        return DataOutOfRange;
    }
    reply = quoted(std::next(m_presets.begin(), index)->first);
    return NoError;
}

int Instrument::presetCatalogueQuery(Session &, const Params &p, QByteArray &reply)
{
    QByteArrayList names;
    for (const auto &entry : m_presets) {
        names.append(entry.first);
    }
    reply = formatBlock(names.join(','));
    return countIs(p, 0);
}

int Instrument::storePreset(Session &, const Params &p, QByteArray &)
{
    QByteArray name;
    if (const int e = presetNameParameter(p, &name)) {
        return e;
    }
    if (!m_presets.count(name) && m_presets.size() >= kMaxPresets) {
        return OutOfMemory;
    }
    Configuration config = m_state.config;
    if (m_table.isEmpty()) {
        config.volts = 0;
    }
    Presets presets = m_presets;
    presets[name] = Stored{config, presetData(name, config, m_rows)};
    // The preset first: a unit killed in between has it stored, not in use.
    if (const int e = commitPresets(std::move(presets))) {
        return e;
    }
    State next = m_state;
    next.preset = name;
    next.edited = false;
    return commit(next);
}

int Instrument::namedPreset(const Params &p, QByteArray *name, const Stored **stored) const
{
    if (const int e = presetNameParameter(p, name)) {
        return e;
    }
    const auto found = m_presets.find(*name);
    if (found == m_presets.end()) {
        return FileNameNotFound;
    }
    *stored = &found->second;
    return NoError;
}

int Instrument::recallPreset(Session &, const Params &p, QByteArray &)
{
    QByteArray name;
    const Stored *stored = nullptr;
    if (const int e = namedPreset(p, &name, &stored)) {
        return e;
    }
    State next = m_state;
    next.config = stored->config;
    next.preset = name;
    next.edited = false;
    return commit(next);
}

int Instrument::deletePreset(Session &, const Params &p, QByteArray &)
{
    QByteArray name;
    const Stored *stored = nullptr;
    if (const int e = namedPreset(p, &name, &stored)) {
        return e;
    }
    Presets presets = m_presets;
    presets.erase(name);
    if (const int e = commitPresets(std::move(presets))) {
        return e;
    }
    if (m_state.preset == name) {
        // A state that names a preset no longer stored reads as none in use
        // at the next start, so it is none now, written or not.
        State next = m_state;
        next.preset.clear();
        next.edited = false;
        if (commit(next) != NoError) {
            m_state = next;
        }
    }
    return NoError;
}

int Instrument::currentPresetQuery(Session &, const Params &p, QByteArray &reply)
{
    reply = quoted(m_state.preset + (m_state.edited ? "*" : ""));
    return countIs(p, 0);
}

int Instrument::presetDataQuery(Session &, const Params &p, QByteArray &reply)
{
    QByteArray name;
    const Stored *stored = nullptr;
    if (const int e = namedPreset(p, &name, &stored)) {
        return e;
    }
    reply = formatBlock(stored->data);
    return NoError;
}

int Instrument::uploadPreset(Session &, const Params &p, QByteArray &)
{
    if (const int e = countIs(p, 1)) {
        return e;
    }
    if (p[0].kind != Parameter::Block) {
        return DataTypeError;
    }
    QByteArray name;
    Configuration config(m_rows);
    if (const int e = parsePresetData(p[0].value, m_rows, m_table, &name, &config)) {
        return e;
    }
    if (!m_presets.count(name) && m_presets.size() >= kMaxPresets) {
        return OutOfMemory;
    }
    Presets presets = m_presets;
    presets[name] = Stored{config, presetData(name, config, m_rows)};
    if (const int e = commitPresets(std::move(presets))) {
        return e;
    }
    if (m_state.preset != name || m_state.edited) {
        return NoError;
    }
    State next = m_state;
    next.edited = true;
    return commit(next);
}

// ---------------------------------------------------------------- system

int Instrument::errorQuery(Session &s, const Params &p, QByteArray &reply)
{
    if (const int e = countIs(p, 0)) {
        return e;
    }
    const int code = s.takeError();
    reply = QByteArray::number(code) + ",\"" + errorText(code) + '"';
    return NoError;
}

int Instrument::versionQuery(Session &, const Params &p, QByteArray &reply)
{
    reply = "1999.0";
    return countIs(p, 0);
}

int Instrument::serialQuery(Session &, const Params &p, QByteArray &reply)
{
    reply = formatHexWord(m_options.serial);
    return countIs(p, 0);
}

int Instrument::textAttributeQuery(Session &, const Params &p, QByteArray &reply)
{
    if (const int e = countIs(p, 0)) {
        return e;
    }
    const QByteArray which = m_commands[m_currentCommand].pattern.shortForm();
    const QByteArray serial = formatHexWord(m_options.serial);
    QByteArray value;
    if (which == "SYST:SUBT") {
        value = m_options.subtype;
    } else if (which == "SYST:PROD") {
        value = "1.2.0"; // the hardware release, beside the firmware revision
    } else if (which == "SYST:LXI:CLAS") {
        value = "C";
    } else if (which == "SYST:DESC") {
        value = m_state.description;
    } else if (which == "SYST:ANUM") {
        value = m_state.asset;
    } else if (which == "SYST:COMM:LAN:HOST") {
        value = m_options.hostname;
    } else if (which == "SYST:COMM:LAN:ADDR") {
        value = m_options.address;
    } else if (which == "SYST:COMM:LAN:SMAS") {
        value = dottedMask(m_options.address);
    } else if (which == "SYST:COMM:LAN:MAC") {
        value = "02:54:53:" + serial.mid(2, 2) + ':' + serial.mid(4, 2) + ':' + serial.mid(6, 2);
    } else {
        value = "0.0.0.0"; // gateway and DNS servers: none on the simulated LAN
    }
    reply = quoted(value);
    return NoError;
}

int Instrument::userTextParameter(const Params &p, int maxLength, QByteArray *text) const
{
    if (const int e = countIs(p, 1)) {
        return e;
    }
    if (p[0].kind != Parameter::String) {
        return DataTypeError;
    }
    if (p[0].value.contains('"')) {
        return InvalidStringData;
    }
    *text = p[0].value;
    return text->size() > maxLength ? TooMuchData : NoError;
}

int Instrument::setUserText(const Params &p, int maxLength, QByteArray State::*field)
{
    QByteArray text;
    if (const int e = userTextParameter(p, maxLength, &text)) {
        return e;
    }
    State next = m_state;
    next.*field = text;
    return commit(next);
}

int Instrument::setDescription(Session &, const Params &p, QByteArray &)
{
    return setUserText(p, 127, &State::description);
}

int Instrument::setAssetNumber(Session &, const Params &p, QByteArray &)
{
    return setUserText(p, 63, &State::asset);
}

int Instrument::setIdentify(Session &, const Params &p, QByteArray &)
{
    if (const int e = countIs(p, 1)) {
        return e;
    }
    bool on = false;
    if (const int e = parseBool(p[0], &on)) {
        return e;
    }
    m_identify = on;
    return NoError;
}

int Instrument::identifyQuery(Session &, const Params &p, QByteArray &reply)
{
    reply = m_identify ? "1" : "0";
    return countIs(p, 0);
}

} // namespace sim
