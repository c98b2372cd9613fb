#include "resources.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <sstream>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tsvisa {

namespace {

std::string lower(std::string text)
{
    for (char &c : text) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

bool equalsIgnoringCase(const std::string &a, const char *b) { return lower(a) == lower(b); }

bool allDigits(const std::string &text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

// Decimal within [low, high]; no sign, no spaces.
bool number(const std::string &text, unsigned long low, unsigned long high, unsigned long *value)
{
    if (!allDigits(text) || text.size() > 9) {
        return false;
    }
    *value = std::strtoul(text.c_str(), nullptr, 10);
    return *value >= low && *value <= high;
}

bool validHost(const std::string &host)
{
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
    });
}

bool validDevice(const std::string &device)
{
    return !device.empty() && std::all_of(device.begin(), device.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == ',' || c == '.' || c == '-' || c == '_';
    });
}

std::vector<std::string> splitOnDoubleColon(const std::string &text)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find("::", from);
        parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) {
            return parts;
        }
        from = at + 2;
    }
}

// Letters (and '-') of the interface, then its board number.
void splitInterface(const std::string &token, std::string *type, std::string *board)
{
    std::size_t n = 0;
    while (n < token.size() && (std::isalpha(static_cast<unsigned char>(token[n])) || token[n] == '-')) {
        ++n;
    }
    *type = lower(token.substr(0, n));
    *board = token.substr(n);
}

std::string trim(const std::string &text)
{
    const char *space = " \t\r\n\f\v";
    const std::size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

} // namespace

ViStatus parseResourceName(const std::string &text, ResourceName *out)
{
    const std::vector<std::string> parts = splitOnDoubleColon(text);
    std::string type, board;
    splitInterface(parts[0], &type, &board);
    unsigned long boardNumber = 0;
    if (!board.empty() && !number(board, 0, 65535, &boardNumber)) {
        return VI_ERROR_INV_RSRC_NAME;
    }
    if (type != "tcpip") {
        static const char *const others[] = {"gpib", "vxi", "gpib-vxi", "asrl", "usb", "pxi"};
        const bool known = std::find(std::begin(others), std::end(others), type) != std::end(others);
        return known && parts.size() >= 2 ? VI_ERROR_RSRC_NFOUND : VI_ERROR_INV_RSRC_NAME;
    }
    if (parts.size() < 2 || parts.size() > 4 || !validHost(parts[1])) {
        return VI_ERROR_INV_RSRC_NAME;
    }

    ResourceName r;
    r.board = ViUInt16(boardNumber);
    r.host = parts[1];
    r.device = "inst0";
    const std::string last = parts.size() > 2 ? parts.back() : std::string("INSTR");
    if (equalsIgnoringCase(last, "SOCKET")) {
        unsigned long port = 0;
        if (parts.size() != 4 || !number(parts[2], 1, 65535, &port)) {
            return VI_ERROR_INV_RSRC_NAME;
        }
        r.kind = ResourceName::Socket;
        r.port = std::uint16_t(port);
        r.device.clear();
    } else if (equalsIgnoringCase(last, "INSTR")) {
        if (parts.size() == 4) {
            if (!validDevice(parts[2])) {
                return VI_ERROR_INV_RSRC_NAME;
            }
            r.device = parts[2];
        }
    } else {
        // TCPIP::host::device, the class left out.
        if (parts.size() != 3 || !validDevice(last)) {
            return VI_ERROR_INV_RSRC_NAME;
        }
        r.device = last;
    }
    r.canonical =
        "TCPIP" + std::to_string(r.board) + "::" + r.host + "::"
        + (r.kind == ResourceName::Socket ? std::to_string(r.port) + "::SOCKET" : r.device + "::INSTR");
    *out = r;
    return VI_SUCCESS;
}

// ---------------------------------------------------------------- expressions

// Builds a Thompson automaton: matching then takes time proportional to
// name length times expression size, whatever the expression.
class ResourceExpression::Parser
{
public:
    Parser(const std::string &text, std::vector<State> &states) : m_text(text), m_states(states) {}

    bool run(int *start)
    {
        Fragment whole;
        if (!alternation(&whole) || m_pos != m_text.size()) {
            return false;
        }
        const int accept = add(State::Accept);
        patch(whole, accept);
        *start = whole.start;
        return true;
    }

private:
    int add(State::Type type)
    {
        m_states.push_back(State());
        m_states.back().type = type;
        return int(m_states.size()) - 1;
    }

    void patch(const Fragment &f, int to)
    {
        for (const auto &[state, exit] : f.ends) {
            (exit == 0 ? m_states[std::size_t(state)].out : m_states[std::size_t(state)].out2) = to;
        }
    }

    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return m_text[m_pos]; }

    bool alternation(Fragment *f)
    {
        if (!sequence(f)) {
            return false;
        }
        while (!atEnd() && peek() == '|') {
            ++m_pos;
            Fragment other;
            if (!sequence(&other)) {
                return false;
            }
            const int split = add(State::Split);
            m_states[std::size_t(split)].out = f->start;
            m_states[std::size_t(split)].out2 = other.start;
            f->start = split;
            f->ends.insert(f->ends.end(), other.ends.begin(), other.ends.end());
        }
        return true;
    }

    bool sequence(Fragment *f)
    {
        bool first = true;
        while (!atEnd() && peek() != '|' && peek() != ')') {
            Fragment next;
            if (!repeated(&next)) {
                return false;
            }
            if (first) {
                *f = next;
                first = false;
            } else {
                patch(*f, next.start);
                f->ends = next.ends;
            }
        }
        return !first; // an empty branch is a mistake, not a wildcard
    }

    bool repeated(Fragment *f)
    {
        if (!atom(f)) {
            return false;
        }
        if (atEnd() || (peek() != '*' && peek() != '+')) {
            return true;
        }
        const bool star = peek() == '*';
        ++m_pos;
        if (!atEnd() && (peek() == '*' || peek() == '+')) {
            return false;
        }
        const int split = add(State::Split);
        m_states[std::size_t(split)].out = f->start;
        patch(*f, split);
        if (star) {
            f->start = split;
        }
        f->ends = {{split, 1}};
        return true;
    }

    bool atom(Fragment *f)
    {
        const char c = peek();
        ++m_pos;
        if (c == '(') {
            // The parser recurses once per level: the depth is bounded.
            if (++m_depth > kMaxDepth || !alternation(f) || atEnd() || peek() != ')') {
                return false;
            }
            --m_depth;
            ++m_pos;
            return true;
        }
        const int state = add(State::Char);
        bool *set = m_states[std::size_t(state)].set;
        f->start = state;
        f->ends = {{state, 0}};
        switch (c) {
        case '*':
        case '+':
        case ')':
        case ']':
        case '{': // attribute conditions are not offered
        case '}':
            return false;
        case '?':
            std::fill(set, set + 256, true);
            return true;
        case '[':
            return characterClass(set);
        case '\\':
            if (atEnd()) {
                return false;
            }
            add(set, m_text[m_pos++]);
            return true;
        default:
            add(set, c);
            return true;
        }
    }

    static void add(bool *set, char c)
    {
        set[static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)))] = true;
    }

    bool characterClass(bool *set)
    {
        bool negate = false;
        if (!atEnd() && peek() == '^') {
            negate = true;
            ++m_pos;
        }
        bool any = false;
        for (;;) {
            if (atEnd()) {
                return false;
            }
            char low = m_text[m_pos++];
            if (low == ']') {
                break;
            }
            if (low == '\\') {
                if (atEnd()) {
                    return false;
                }
                low = m_text[m_pos++];
            }
            char high = low;
            if (m_pos + 1 < m_text.size() && peek() == '-' && m_text[m_pos + 1] != ']') {
                high = m_text[m_pos + 1];
                m_pos += 2;
                if (high == '\\') {
                    if (atEnd()) {
                        return false;
                    }
                    high = m_text[m_pos++];
                }
                if (static_cast<unsigned char>(high) < static_cast<unsigned char>(low)) {
                    return false;
                }
            }
            for (int ch = static_cast<unsigned char>(low); ch <= static_cast<unsigned char>(high); ++ch) {
                add(set, char(ch));
            }
            any = true;
        }
        if (!any) {
            return false;
        }
        if (negate) { // names are matched in lower case, so upper case needs no care
            for (int ch = 0; ch < 256; ++ch) {
                set[ch] = !set[ch];
            }
        }
        return true;
    }

    const std::string &m_text;
    std::vector<State> &m_states;
    std::size_t m_pos = 0;
    int m_depth = 0;
};

bool ResourceExpression::compile(const std::string &expression)
{
    m_states.clear();
    m_start = -1;
    Parser parser(expression, m_states);
    if (expression.empty() || expression.size() > kMaxLength || !parser.run(&m_start)) {
        m_states.clear();
        m_start = -1;
        return false;
    }
    return true;
}

void ResourceExpression::addClosure(int state, std::vector<unsigned> &mark, unsigned step,
                                    std::vector<int> &list) const
{
    std::vector<int> pending{state};
    while (!pending.empty()) {
        const int at = pending.back();
        pending.pop_back();
        if (at < 0 || mark[std::size_t(at)] == step) {
            continue;
        }
        mark[std::size_t(at)] = step;
        const State &s = m_states[std::size_t(at)];
        if (s.type == State::Split) {
            pending.push_back(s.out2);
            pending.push_back(s.out);
        } else {
            list.push_back(at);
        }
    }
}

std::vector<int> ResourceExpression::statesAfter(const std::string &text) const
{
    std::vector<int> current, next;
    if (m_start < 0) {
        return current;
    }
    // The step that last reached each state: no clearing between steps.
    std::vector<unsigned> mark(m_states.size(), 0);
    unsigned step = 1;
    addClosure(m_start, mark, step, current);
    for (char raw : text) {
        const auto c = static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(raw)));
        next.clear();
        ++step;
        for (int state : current) {
            const State &s = m_states[std::size_t(state)];
            if (s.type == State::Char && s.set[c]) {
                addClosure(s.out, mark, step, next);
            }
        }
        current.swap(next);
        if (current.empty()) {
            break;
        }
    }
    return current;
}

bool ResourceExpression::matches(const std::string &name) const
{
    const std::vector<int> states = statesAfter(name);
    return std::any_of(states.begin(), states.end(),
                       [this](int state) { return m_states[std::size_t(state)].type == State::Accept; });
}

bool ResourceExpression::mayMatchLongerThan(const std::string &prefix) const
{
    const std::vector<int> states = statesAfter(prefix);
    return std::any_of(states.begin(), states.end(),
                       [this](int state) { return m_states[std::size_t(state)].type == State::Char; });
}

// ---------------------------------------------------------------- configuration

namespace {

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string configurationPath()
{
    std::string path = environment("TS4820_VISA_CONFIG");
    if (!path.empty()) {
        return path;
    }
    std::string base = environment("XDG_CONFIG_HOME");
    if (base.empty() || base[0] != '/') { // relative values are to be ignored
        const std::string home = environment("HOME");
        if (home.empty()) {
            return {};
        }
        base = home + "/.config";
    }
    return base + "/Tarsel/visa.conf";
}

constexpr std::size_t kMaxConfigurationSize = 64 * 1024;

bool parseIpv4(const std::string &text, std::uint32_t *address)
{
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) {
        return false;
    }
    *address = ntohl(a.s_addr);
    return true;
}

// Words apart by white space, commas or semicolons, as lists are written.
std::vector<std::string> words(const std::string &text)
{
    std::vector<std::string> out;
    std::string word;
    for (char c : text + ";") {
        if (c == ';' || c == ',' || std::isspace(static_cast<unsigned char>(c))) {
            if (!word.empty()) {
                out.push_back(word);
            }
            word.clear();
        } else {
            word += c;
        }
    }
    return out;
}

bool parsePort(const std::string &text, std::uint16_t *port)
{
    unsigned long value = 0;
    if (!number(trim(text), 1, 65535, &value)) {
        return false;
    }
    *port = std::uint16_t(value);
    return true;
}

} // namespace

// The configuration file's text: only a regular file, and only one of a
// sensible size, so that a device, a FIFO or a huge file cannot hang or
// exhaust the caller. Anything else reads as no file.
static std::string configurationText()
{
    const std::string path = configurationPath();
    if (path.empty()) {
        return {};
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return {};
    }
    std::string text;
    struct stat info
    {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)
        && std::size_t(info.st_size) <= kMaxConfigurationSize) {
        char chunk[4096];
        for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) != 0;) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 || text.size() + std::size_t(n) > kMaxConfigurationSize) {
                text.clear(); // grew while read, or failed: no half a file
                break;
            }
            text.append(chunk, std::size_t(n));
        }
    }
    ::close(fd);
    return text;
}

// The configuration file's lines without comments, blank lines left out.
static std::vector<std::string> configurationLines()
{
    std::vector<std::string> lines;
    std::istringstream file(configurationText());
    std::string line;
    while (std::getline(file, line)) {
        line = trim(line.substr(0, line.find('#')));
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

Configuration loadConfiguration()
{
    Configuration config;
    std::vector<std::string> listed = words(environment("TS4820_VISA_RESOURCES"));
    for (const std::string &line : configurationLines()) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            listed.push_back(line);
            continue;
        }
        // Settings; the portmapper port is read below.
        const std::string key = lower(trim(line.substr(0, eq))), value = trim(line.substr(eq + 1));
        if (key == "discover") {
            applyDiscoveryWord(lower(value), &config.discovery);
        } else if (key == "discover-window") {
            applyDiscoveryWord("window=" + value, &config.discovery);
        } else if (key == "discover-address") {
            for (const std::string &word : words(value)) {
                applyDiscoveryWord(word, &config.discovery);
            }
        }
    }
    for (const std::string &word : words(environment("TS4820_VISA_DISCOVER"))) {
        applyDiscoveryWord(lower(word), &config.discovery);
    }
    config.portmapperPort = configuredPortmapperPort();
    config.discovery.portmapperPort = config.portmapperPort;

    std::set<std::string> seen;
    for (const std::string &text : listed) {
        ResourceName name;
        if (parseResourceName(text, &name) != VI_SUCCESS) {
            continue; // a typo in the list must not hide the other resources
        }
        if (seen.insert(lower(name.canonical)).second) {
            config.resources.push_back(name.canonical);
        }
    }
    return config;
}

std::uint16_t configuredPortmapperPort()
{
    std::uint16_t port = 111;
    if (parsePort(environment("TS4820_VISA_PORTMAPPER_PORT"), &port)) {
        return port;
    }
    for (const std::string &line : configurationLines()) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos && lower(trim(line.substr(0, eq))) == "portmapper-port") {
            parsePort(line.substr(eq + 1), &port);
        }
    }
    return port;
}

// ---------------------------------------------------------------- discovery settings

bool applyDiscoveryWord(const std::string &word, DiscoverySettings *settings)
{
    if (word == "on" || word == "off") {
        settings->enabled = word == "on";
        return true;
    }
    if (word.rfind("window=", 0) == 0) {
        const std::string ms = word.substr(7);
        if (ms.empty() || ms.size() > 5 || ms.find_first_not_of("0123456789") != std::string::npos
            || std::stoi(ms) > 60000) {
            return false;
        }
        settings->windowMs = std::stoi(ms);
        return true;
    }
    const std::size_t slash = word.find('/');
    std::uint32_t address = 0;
    if (!parseIpv4(word.substr(0, slash), &address)) {
        return false;
    }
    if (slash != std::string::npos) {
        const std::string bits = word.substr(slash + 1);
        if (bits.empty() || bits.size() > 2 || bits.find_first_not_of("0123456789") != std::string::npos
            || std::stoi(bits) > 32) {
            return false;
        }
        const int length = std::stoi(bits);
        address |= length == 0 ? 0xffffffffu : (1u << (32 - length)) - 1; // the subnet's broadcast address
    }
    settings->targets.push_back(address);
    return true;
}

} // namespace tsvisa
