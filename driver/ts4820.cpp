// The ts4820 instrument driver: the C API of ts4820.h over VISA and the
// unit's SCPI command set (docs/programming-manual.md, appendix A).
#include "ts4820.h"

#include "replies.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using namespace ts4820::reply;

constexpr char kDriverRevision[] = "1.0.0";
constexpr std::size_t kMaxReply = 1 << 20;  // more than any proper reply
constexpr std::size_t kMaxDrain = 64 << 20; // read and dropped to stay in step
constexpr std::size_t kMaxPresetFile = 65536;

struct Session
{
    ViSession rm = VI_NULL;
    int rows = 0;
    std::string lastUnitError; // `<code>,"<text>"` of the last error the unit reported
    std::mutex io;
};

std::mutex registryLock;
std::map<ViSession, std::shared_ptr<Session>> registry;

std::shared_ptr<Session> find(ViSession vi)
{
    std::lock_guard<std::mutex> lock(registryLock);
    const auto it = registry.find(vi);
    return it == registry.end() ? nullptr : it->second;
}

// One call's access to a session: holds its I/O lock for the whole exchange,
// and ends the call by one deadline, twice the session's time-out, however
// the unit answers (slowly, in pieces, without end).
class Io
{
public:
    Io(ViSession vi, Session &s) : m_vi(vi), m_s(s), m_lock(s.io)
    {
        if (viGetAttribute(vi, VI_ATTR_TMO_VALUE, &m_timeout) < 0) {
            m_timeout = 2000;
        }
        if (m_timeout != VI_TMO_INFINITE) {
            m_deadline = Clock::now() + 2 * std::chrono::milliseconds(m_timeout);
        }
    }
    ~Io()
    {
        if (m_lowered) {
            viSetAttribute(m_vi, VI_ATTR_TMO_VALUE, m_timeout);
        }
    }
    Io(const Io &) = delete;
    Io &operator=(const Io &) = delete;

    ViStatus send(const std::string &message) { return writeRaw(message + '\n'); }

    // Reads one whole reply, without its LF. A reply longer than any the
    // unit sends is read to its end, to stay in step, and refused.
    ViStatus read(std::string *reply)
    {
        std::string head; // the reply, or its first kMaxReply bytes and one more
        std::size_t total = 0;
        char chunk[4096];
        for (;;) {
            ViUInt32 count = 0;
            ViStatus status = timeLeft();
            if (status >= 0) {
                status = viRead(m_vi, reinterpret_cast<ViPBuf>(chunk), sizeof chunk, &count);
            }
            if (status < 0) {
                return total > kMaxReply ? ts4820_ERROR_BAD_REPLY : status;
            }
            total += count;
            head.append(chunk, std::min<std::size_t>(count, kMaxReply + 1 - head.size()));
            const bool lf = count > 0 && chunk[count - 1] == '\n';
            if (status == VI_SUCCESS || (status == VI_SUCCESS_TERM_CHAR && replyComplete(head, total, lf))) {
                break;
            }
            if (total > kMaxDrain) {
                return ts4820_ERROR_BAD_REPLY;
            }
        }
        if (total > kMaxReply) {
            return ts4820_ERROR_BAD_REPLY;
        }
        if (!head.empty() && head.back() == '\n') {
            head.pop_back();
        }
        *reply = head;
        return VI_SUCCESS;
    }

    // Reads the error queue's next entry; 0 when it is empty.
    ViStatus nextError(int *code)
    {
        std::string reply, text;
        ViStatus status = send("SYST:ERR?");
        if (status >= 0) {
            status = read(&reply);
        }
        if (status < 0) {
            return status;
        }
        if (!parseError(reply, code, &text)) {
            return ts4820_ERROR_BAD_REPLY;
        }
        if (*code != 0) {
            m_s.lastUnitError = reply;
        }
        return VI_SUCCESS;
    }

    // The status for an error the unit reported, after emptying its queue
    // so that the next call starts clean.
    ViStatus unitError(int code)
    {
        for (int i = 0, more = code; i < 25 && more != 0; ++i) {
            if (nextError(&more) < 0) {
                break;
            }
        }
        switch (code) {
        case -241:
            return ts4820_ERROR_NO_VREF;
        case -256:
            return ts4820_ERROR_NO_SUCH_PRESET;
        default:
            return ts4820_ERROR_INSTRUMENT;
        }
    }

    ViStatus query(const std::string &message, std::string *reply, int *refusedWith = nullptr)
    {
        ViStatus status = send(message);
        if (status >= 0) {
            status = read(reply);
        }
        if (status < 0 || !reply->empty()) {
            return status;
        }
        // An empty reply: the unit refused the query and queued why.
        int code = 0;
        status = nextError(&code);
        if (status < 0) {
            return status;
        }
        if (code == 0) {
            return ts4820_ERROR_BAD_REPLY;
        }
        if (refusedWith) {
            *refusedWith = code;
        }
        return unitError(code);
    }

    ViStatus command(const std::string &message)
    {
        ViStatus status = send(message);
        return status < 0 ? status : confirm();
    }

    // SYST:ERR? after a command: 0 means it was carried out.
    ViStatus confirm()
    {
        int code = 0;
        const ViStatus status = nextError(&code);
        if (status < 0) {
            return status;
        }
        return code == 0 ? VI_SUCCESS : unitError(code);
    }

    ViStatus writeRaw(const std::string &bytes)
    {
        ViUInt32 written = 0;
        ViStatus status = timeLeft();
        if (status >= 0) {
            status =
                viWrite(m_vi, reinterpret_cast<ViConstBuf>(bytes.data()), ViUInt32(bytes.size()), &written);
        }
        if (status < 0) {
            return status;
        }
        return written == bytes.size() ? VI_SUCCESS : VI_ERROR_IO;
    }

    Session &session() { return m_s; }

private:
    using Clock = std::chrono::steady_clock;

    // Before each VISA read or write: a time-out when the call's time is
    // up; otherwise VISA waits no longer than what is left of it.
    ViStatus timeLeft()
    {
        if (m_timeout == VI_TMO_INFINITE) {
            return VI_SUCCESS;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now());
        if (left.count() <= 0) {
            return VI_ERROR_TMO;
        }
        if (left.count() < std::chrono::milliseconds::rep(m_timeout)) {
            viSetAttribute(m_vi, VI_ATTR_TMO_VALUE, ViAttrState(left.count()));
            m_lowered = true;
        }
        return VI_SUCCESS;
    }

    ViSession m_vi;
    Session &m_s;
    std::lock_guard<std::mutex> m_lock;
    ViUInt32 m_timeout = 2000;
    Clock::time_point m_deadline;
    bool m_lowered = false; // the session's time-out is to be put back
};

// Runs `body` with the session's I/O, or reports an unknown session.
template <typename Body>
ViStatus withSession(ViSession vi, Body body)
{
    const std::shared_ptr<Session> s = find(vi);
    if (!s) {
        return VI_ERROR_INV_OBJECT;
    }
    Io io(vi, *s);
    return body(io);
}

ViStatus copyText(char *buffer, std::size_t size, const std::string &text)
{
    if (!buffer) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return copyBounded(buffer, size, text) ? VI_SUCCESS : ts4820_WARN_TRUNCATED;
}

ViStatus queryQuoted(Io &io, const std::string &message, std::string *text)
{
    std::string reply;
    const ViStatus status = io.query(message, &reply);
    if (status < 0) {
        return status;
    }
    return parseQuoted(reply, text) ? VI_SUCCESS : ts4820_ERROR_BAD_REPLY;
}

std::string lineName(ViInt32 line, ViInt32 row)
{
    if (line <= ts4820_LINE_Y) {
        return std::string(line == ts4820_LINE_X ? "X" : "Y") + std::to_string(row);
    }
    return std::string(1, char('A' + line - ts4820_LINE_A));
}

bool validLine(const Session &s, ViInt32 line, ViInt32 row)
{
    if (line < ts4820_LINE_X || line > ts4820_LINE_D) {
        return false;
    }
    return line > ts4820_LINE_Y || (row >= 1 && row <= s.rows);
}

std::string quotedName(const char *name) { return std::string("\"") + name + '"'; }

const char *driverStatusText(ViStatus status)
{
    switch (status) {
    case VI_SUCCESS:
        return "No error.";
    case ts4820_ERROR_NOT_AVAILABLE:
        return "The instrument driver is not available in this build.";
    case ts4820_ERROR_BAD_REPLY:
        return "The instrument sent a reply that could not be understood.";
    case ts4820_ERROR_INSTRUMENT:
        return "Instrument reported an error";
    case ts4820_ERROR_INVALID_ARGUMENT:
        return "An argument is out of range or not valid.";
    case ts4820_ERROR_NO_SUCH_PRESET:
        return "No preset of that name is stored in the instrument.";
    case ts4820_ERROR_FILE:
        return "The preset file could not be read or written.";
    case ts4820_ERROR_NO_VREF:
        return "The instrument has no voltage reference.";
    case ts4820_WARN_TRUNCATED:
        return "The reply did not fit the buffer and was cut.";
    case VI_ERROR_FAIL_ID_QUERY:
        return "The instrument did not identify as a Xentra 4820.";
    case VI_ERROR_PARAMETER1:
        return "Parameter 1 is out of range.";
    case VI_ERROR_PARAMETER2:
        return "Parameter 2 is out of range.";
    case VI_ERROR_PARAMETER3:
        return "Parameter 3 is out of range.";
    case VI_ERROR_PARAMETER4:
        return "Parameter 4 is out of range.";
    case VI_ERROR_INV_RESPONSE:
        return "The instrument's response could not be interpreted.";
    case VI_WARN_NSUP_ID_QUERY:
        return "Identification query not supported.";
    case VI_WARN_NSUP_RESET:
        return "Reset not supported.";
    case VI_WARN_NSUP_SELF_TEST:
        return "Self-test not supported.";
    case VI_WARN_NSUP_ERROR_QUERY:
        return "Error query not supported.";
    case VI_WARN_NSUP_REV_QUERY:
        return "Revision query not supported.";
    default:
        return nullptr;
    }
}

} // namespace

extern "C" {

// ---------------------------------------------------------------- session

ViStatus _VI_FUNC ts4820_init(ViRsrc resourceName, ViBoolean IDQuery, ViBoolean resetDevice, ViPSession vi)
{
    if (!vi) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    *vi = VI_NULL;
    if (!resourceName) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    auto s = std::make_shared<Session>();
    ViStatus status = viOpenDefaultRM(&s->rm);
    if (status < 0) {
        return status;
    }
    ViSession session = VI_NULL;
    status = viOpen(s->rm, resourceName, VI_NULL, VI_NULL, &session);
    if (status < 0) {
        viClose(s->rm);
        return status;
    }
    // Replies end in LF; a block reply is read on past LFs in its data.
    viSetAttribute(session, VI_ATTR_TERMCHAR, '\n');
    viSetAttribute(session, VI_ATTR_TERMCHAR_EN, VI_TRUE);
    {
        Io io(session, *s);
        std::string reply;
        long long rows = 0;
        status = io.send("*CLS");
        if (status >= 0 && IDQuery) {
            status = io.query("*IDN?", &reply);
            if (status >= 0 && reply.rfind("Tarsel Ltd.,Xentra 4820-", 0) != 0) {
                status = VI_ERROR_FAIL_ID_QUERY;
            }
        }
        if (status >= 0) {
            status = io.query("ROUT:MATR:ROWS?", &reply);
            if (status >= 0 && !(parseInt(reply, 96, 192, &rows) && (rows == 96 || rows == 192))) {
                status = ts4820_ERROR_BAD_REPLY;
            }
            s->rows = int(rows);
        }
        if (status >= 0 && resetDevice) {
            status = io.command("*RST");
        }
    }
    if (status < 0) {
        viClose(session);
        viClose(s->rm);
        return status;
    }
    {
        std::lock_guard<std::mutex> lock(registryLock);
        registry[session] = s;
    }
    *vi = session;
    return VI_SUCCESS;
}

ViStatus _VI_FUNC ts4820_close(ViSession vi)
{
    std::shared_ptr<Session> s;
    {
        std::lock_guard<std::mutex> lock(registryLock);
        const auto it = registry.find(vi);
        if (it == registry.end()) {
            return VI_ERROR_INV_OBJECT;
        }
        s = it->second;
        registry.erase(it);
    }
    std::lock_guard<std::mutex> io(s->io); // let a call in progress finish
    const ViStatus status = viClose(vi);
    viClose(s->rm);
    return status;
}

ViStatus _VI_FUNC ts4820_reset(ViSession vi)
{
    return withSession(vi, [](Io &io) -> ViStatus { return io.command("*RST"); });
}

ViStatus _VI_FUNC ts4820_identify(ViSession vi, ViBoolean state)
{
    return withSession(
        vi, [&](Io &io) -> ViStatus { return io.command(state ? "SYST:IDEN ON" : "SYST:IDEN OFF"); });
}

ViStatus _VI_FUNC ts4820_error_message(ViSession vi, ViStatus statusCode, ViChar errorMessage[])
{
    if (!errorMessage) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    std::string text;
    if (const char *own = driverStatusText(statusCode)) {
        text = own;
        if (statusCode == ts4820_ERROR_INSTRUMENT) {
            const std::shared_ptr<Session> s = find(vi);
            text += s && !s->lastUnitError.empty() ? ": " + s->lastUnitError : ".";
        }
    } else {
        // VISA's own statuses: VISA knows their texts.
        char desc[256] = {};
        ViSession rm = VI_NULL;
        ViStatus got = VI_ERROR_INV_OBJECT;
        if (find(vi)) {
            got = viStatusDesc(vi, statusCode, desc);
        } else if (viOpenDefaultRM(&rm) >= 0) {
            got = viStatusDesc(rm, statusCode, desc);
            viClose(rm);
        }
        desc[sizeof desc - 1] = '\0';
        if (got >= 0 && got != VI_WARN_UNKNOWN_STATUS && desc[0]) {
            text = desc;
        } else {
            char unknown[64];
            std::snprintf(unknown, sizeof unknown, "Unknown status code 0x%08lX.",
                          static_cast<unsigned long>(static_cast<ViUInt32>(statusCode)));
            text = unknown;
        }
    }
    copyBounded(errorMessage, ts4820_ERROR_MESSAGE_BUFFER_SIZE, text);
    return VI_SUCCESS;
}

ViStatus _VI_FUNC ts4820_revision_query(ViSession vi, ViChar driverRev[], ViChar instrRev[])
{
    if (driverRev) {
        copyBounded(driverRev, ts4820_REVISION_BUFFER_SIZE, kDriverRevision);
    }
    if (!instrRev || vi == VI_NULL) {
        return VI_SUCCESS;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        std::string reply, revision;
        const ViStatus status = io.query("*IDN?", &reply);
        if (status < 0) {
            return status;
        }
        if (!identificationRevision(reply, &revision)) {
            return ts4820_ERROR_BAD_REPLY;
        }
        return copyText(instrRev, ts4820_REVISION_BUFFER_SIZE, revision);
    });
}

// ---------------------------------------------------------------- attributes

ViStatus _VI_FUNC ts4820_getAttribute(ViSession vi, ViAttr attribute, ViPInt32 value)
{
    if (attribute != ts4820_ATTR_SER_NUM || !value) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        std::string reply;
        std::uint32_t serial = 0;
        const ViStatus status = io.query("SYST:SER?", &reply);
        if (status < 0) {
            return status;
        }
        if (!parseHexWord(reply, &serial)) {
            return ts4820_ERROR_BAD_REPLY;
        }
        *value = ViInt32(serial);
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_getStringAttribute(ViSession vi, ViAttr attribute, ViChar value[])
{
    static const std::map<ViAttr, const char *> queries = {
        {ts4820_ATTR_DESCRIPTION, "SYST:DESC?"},
        {ts4820_ATTR_ASSET_NO, "SYST:ANUM?"},
        {ts4820_ATTR_CURRENT_HOSTNAME, "SYST:COMM:LAN:HOST?"},
        {ts4820_ATTR_CURRENT_IPADDR, "SYST:COMM:LAN:ADDR?"},
        {ts4820_ATTR_CURRENT_NETMASK, "SYST:COMM:LAN:SMAS?"},
        {ts4820_ATTR_CURRENT_GATEWAY, "SYST:COMM:LAN:GAT?"},
        {ts4820_ATTR_CURRENT_DNS1, "SYST:COMM:LAN:DNS1?"},
        {ts4820_ATTR_CURRENT_DNS2, "SYST:COMM:LAN:DNS2?"},
        {ts4820_ATTR_LXI_CLASS, "SYST:LXI:CLAS?"},
        {ts4820_ATTR_PRODUCT, "SYST:PROD?"},
        {ts4820_ATTR_SUB_TYPE, "SYST:SUBT?"},
        {ts4820_ATTR_ETH_ADDR, "SYST:COMM:LAN:MAC?"},
        {ts4820_ATTR_SER_NUM, "SYST:SER?"},
    };
    const auto q = queries.find(attribute);
    if (q == queries.end() || !value) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        std::string reply, text;
        std::uint32_t serial = 0;
        const ViStatus status = io.query(q->second, &reply);
        if (status < 0) {
            return status;
        }
        if (attribute == ts4820_ATTR_SER_NUM ? !parseHexWord(reply, &serial) : !parseQuoted(reply, &text)) {
            return ts4820_ERROR_BAD_REPLY;
        }
        return copyText(value, ts4820_STRING_ATTRIBUTE_BUFFER_SIZE,
                        attribute == ts4820_ATTR_SER_NUM ? reply : text);
    });
}

// ---------------------------------------------------------------- relays

ViStatus _VI_FUNC ts4820_getMatrixState(ViSession vi, ViInt32 pattern[])
{
    if (!pattern) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        const std::size_t count = std::size_t(io.session().rows) * 6 / 32;
        std::fill(pattern, pattern + count, 0);
        std::string reply;
        std::vector<std::uint32_t> words;
        const ViStatus status = io.query("ROUT:MATR?", &reply);
        if (status < 0) {
            return status;
        }
        if (!parseHexWords(reply, count, &words)) {
            return ts4820_ERROR_BAD_REPLY;
        }
        for (std::size_t i = 0; i < count; ++i) {
            pattern[i] = ViInt32(words[i]);
        }
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_setMatrixState(ViSession vi, ViInt32 pattern[])
{
    if (!pattern) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        const std::size_t count = std::size_t(io.session().rows) * 6 / 32;
        std::string message = "ROUT:MATR ";
        for (std::size_t i = 0; i < count; ++i) {
            char word[16];
            std::snprintf(word, sizeof word, "%s%08x", i ? "," : "", std::uint32_t(pattern[i]));
            message += word;
        }
        return io.command(message);
    });
}

// ---------------------------------------------------------------- aliases

ViStatus _VI_FUNC ts4820_getAlias(ViSession vi, ViInt32 line, ViInt32 row, ViChar aliases[])
{
    if (!aliases) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        const Session &s = io.session();
        const std::size_t size = std::size_t(ts4820_ALIAS_BUFFER_SIZE(s.rows));
        std::string reply, text;
        if (line == 0 && row == 0) {
            const ViStatus status = io.query("ROUT:ALI:CAT?", &reply);
            if (status < 0) {
                return status;
            }
            if (!parseBlock(reply, &text)) {
                return ts4820_ERROR_BAD_REPLY;
            }
            return copyText(aliases, size, text);
        }
        if (!validLine(s, line, row)) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        const ViStatus status = queryQuoted(io, "ROUT:ALI? " + lineName(line, row), &text);
        return status < 0 ? status : copyText(aliases, size, text);
    });
}

ViStatus _VI_FUNC ts4820_setAlias(ViSession vi, ViInt32 line, ViInt32 row, ViConstString text)
{
    if (!isQuotable(text)) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        if (!validLine(io.session(), line, row)) {
            return ts4820_ERROR_INVALID_ARGUMENT;
        }
        return io.command("ROUT:ALI " + lineName(line, row) + ",\"" + text + '"');
    });
}

// ---------------------------------------------------------------- voltage reference

ViStatus _VI_FUNC ts4820_getVoltRefInfo(ViSession vi, ViPInt32 count, ViReal64 voltages[])
{
    if (!count || !voltages) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        std::string reply;
        std::vector<double> table;
        const ViStatus status = io.query("SOUR:VOLT:CAT?", &reply);
        if (status < 0) {
            return status;
        }
        if (!parseVoltageTable(reply, &table)) {
            return ts4820_ERROR_BAD_REPLY;
        }
        const std::size_t n = std::min<std::size_t>(table.size(), ts4820_MAX_VREF_VOLTAGES);
        std::copy(table.begin(), table.begin() + std::ptrdiff_t(n), voltages);
        *count = ViInt32(n);
        return n < table.size() ? ts4820_WARN_TRUNCATED : VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_getVoltRefOutput(ViSession vi, ViPReal64 volts)
{
    if (!volts) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        std::string reply;
        const ViStatus status = io.query("SOUR:VOLT?", &reply);
        if (status < 0) {
            return status;
        }
        return parseReal(reply, volts) ? VI_SUCCESS : ts4820_ERROR_BAD_REPLY;
    });
}

ViStatus _VI_FUNC ts4820_setVoltRefOutput(ViSession vi, ViReal64 volts)
{
    return withSession(vi, [&](Io &io) -> ViStatus { return io.command("SOUR:VOLT " + formatReal(volts)); });
}

ViStatus _VI_FUNC ts4820_getVoltRefConnectionState(ViSession vi, ViInt32 line, ViPBoolean state)
{
    if (line < ts4820_LINE_A || line > ts4820_LINE_D || !state) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        std::string reply;
        const ViStatus status = io.query("SOUR:VOLT:LINK? " + lineName(line, 0), &reply);
        if (status < 0) {
            return status;
        }
        if (reply != "0" && reply != "1") {
            return ts4820_ERROR_BAD_REPLY;
        }
        *state = reply == "1" ? VI_TRUE : VI_FALSE;
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_setVoltRefConnectionState(ViSession vi, ViInt32 line, ViBoolean state)
{
    if (line < ts4820_LINE_A || line > ts4820_LINE_D) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        return io.command("SOUR:VOLT:LINK " + lineName(line, 0) + (state ? ",ON" : ",OFF"));
    });
}

// ---------------------------------------------------------------- presets

ViStatus _VI_FUNC ts4820_getPresetList(ViSession vi, ViPInt32 count)
{
    if (!count) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        std::string reply;
        long long n = 0;
        const ViStatus status = io.query("MEM:PRES:COUN?", &reply);
        if (status < 0) {
            return status;
        }
        if (!parseInt(reply, 0, 100, &n)) {
            return ts4820_ERROR_BAD_REPLY;
        }
        *count = ViInt32(n);
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_getPresetFromList(ViSession vi, ViInt32 index, ViChar name[])
{
    if (index < 0 || !name) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        std::string reply, text;
        int refused = 0;
        const ViStatus status = io.query("MEM:PRES:NAME? " + std::to_string(index), &reply, &refused);
        if (status < 0) {
            return refused == -222 ? ts4820_ERROR_INVALID_ARGUMENT : status;
        }
        if (!parseQuoted(reply, &text)) {
            return ts4820_ERROR_BAD_REPLY;
        }
        return copyText(name, ts4820_PRESET_NAME_BUFFER_SIZE, text);
    });
}

ViStatus _VI_FUNC ts4820_getDefaultPresetName(ViSession vi, ViChar name[])
{
    if (!name) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        std::string text;
        const ViStatus status = queryQuoted(io, "MEM:PRES:CURR?", &text);
        return status < 0 ? status : copyText(name, ts4820_PRESET_NAME_BUFFER_SIZE, text);
    });
}

ViStatus _VI_FUNC ts4820_storePreset(ViSession vi, ViConstString name)
{
    if (!isPresetName(name)) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi,
                       [&](Io &io) -> ViStatus { return io.command("MEM:PRES:STOR " + quotedName(name)); });
}

ViStatus _VI_FUNC ts4820_restorePreset(ViSession vi, ViConstString name)
{
    if (!isPresetName(name)) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi,
                       [&](Io &io) -> ViStatus { return io.command("MEM:PRES:REC " + quotedName(name)); });
}

ViStatus _VI_FUNC ts4820_removePreset(ViSession vi, ViConstString name)
{
    if (!isPresetName(name)) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi,
                       [&](Io &io) -> ViStatus { return io.command("MEM:PRES:DEL " + quotedName(name)); });
}

ViStatus _VI_FUNC ts4820_savePresetToFile(ViSession vi, ViConstString name, ViConstString path)
{
    if (!isPresetName(name) || !path || !*path) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        std::string reply, data;
        const ViStatus status = io.query("MEM:PRES:DATA? " + quotedName(name), &reply);
        if (status < 0) {
            return status;
        }
        if (!parseBlock(reply, &data)) {
            return ts4820_ERROR_BAD_REPLY;
        }
        // A fresh file beside the target, renamed over it only when whole:
        // a failure leaves any existing file as it was.
        const std::string target(path);
        const std::size_t slash = target.find_last_of('/');
        std::string temp =
            (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + ".ts4820-XXXXXX";
        const int fd = mkstemp(temp.data());
        if (fd < 0) {
            return ts4820_ERROR_FILE;
        }
        bool ok = true;
        for (std::size_t done = 0; ok && done < data.size();) {
            const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
            ok = n > 0;
            done += ok ? std::size_t(n) : 0;
        }
        ok = ::fsync(fd) == 0 && ok;
        ok = ::close(fd) == 0 && ok;
        if (!ok || std::rename(temp.c_str(), path) != 0) {
            std::remove(temp.c_str());
            return ts4820_ERROR_FILE;
        }
        return VI_SUCCESS;
    });
}

ViStatus _VI_FUNC ts4820_loadPresetFromFile(ViSession vi, ViConstString path)
{
    if (!path) {
        return ts4820_ERROR_INVALID_ARGUMENT;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return ts4820_ERROR_FILE;
    }
    std::string data;
    char chunk[4096];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        data.append(chunk, std::size_t(file.gcount()));
        if (data.size() > kMaxPresetFile) {
            return ts4820_ERROR_FILE;
        }
    }
    if (file.bad()) {
        return ts4820_ERROR_FILE;
    }
    return withSession(vi, [&](Io &io) -> ViStatus {
        const ViStatus status = io.writeRaw("MEM:PRES:DATA " + formatBlock(data) + '\n');
        return status < 0 ? status : io.confirm();
    });
}

} // extern "C"
