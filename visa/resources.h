// Resource names, the expressions that search them, and where the list of
// known resources comes from.
#pragma once

#include "visa.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tsvisa {

struct ResourceName
{
    enum Kind { Instr, Socket };
    Kind kind = Instr;
    ViUInt16 board = 0;
    std::string host;       // as written
    std::string device;     // INSTR: the LAN device name
    std::uint16_t port = 0; // SOCKET
    std::string canonical;  // e.g. TCPIP0::10.0.0.5::inst0::INSTR
};

// VI_ERROR_INV_RSRC_NAME for text that is no resource name at all,
// VI_ERROR_RSRC_NFOUND for an interface other than TCP/IP.
ViStatus parseResourceName(const std::string &text, ResourceName *out);

// The regular expressions of resource searches: ? any character, * and +
// repeat what precedes, [set] and [^set], (group), a|b, \ quotes. Matches
// the whole name, ignoring case, in time proportional to the name's length
// times the expression's, without recursion on either.
class ResourceExpression
{
public:
    static constexpr std::size_t kMaxLength = 512; // characters
    static constexpr int kMaxDepth = 32;           // groups inside groups

    // False: not a valid expression, or longer or deeper than the limits.
    bool compile(const std::string &expression);
    bool matches(const std::string &name) const;
    // Some name that begins with `prefix` and goes on could match.
    bool mayMatchLongerThan(const std::string &prefix) const;

private:
    struct State
    {
        enum Type { Char, Split, Accept };
        Type type = Accept;
        bool set[256] = {};
        int out = -1, out2 = -1;
    };
    struct Fragment
    {
        int start = -1;
        std::vector<std::pair<int, int>> ends; // (state, which exit) still open
    };
    class Parser;

    // The states alive once `text` is read; none when it cannot go on.
    std::vector<int> statesAfter(const std::string &text) const;
    // Adds `state` and what its splits lead to, each state once per step.
    void addClosure(int state, std::vector<unsigned> &mark, unsigned step, std::vector<int> &list) const;

    std::vector<State> m_states;
    int m_start = -1;
};

struct DiscoverySettings
{
    bool enabled = true;
    int windowMs = 1000;
    std::vector<std::uint32_t> targets; // further addresses to ask, host byte order
    std::uint16_t portmapperPort = 111;
};

// One word of the settings, from the configuration's `discover`,
// `discover-window` and `discover-address` keys or from TS4820_VISA_DISCOVER:
// "on", "off", "window=MS" (0 to 60000), an IPv4 address, or a subnet
// "a.b.c.d/len" (its broadcast address is asked). False: not one of these;
// the settings are left as they were.
bool applyDiscoveryWord(const std::string &word, DiscoverySettings *settings);

struct Configuration
{
    std::vector<std::string> resources; // canonical names, environment's first, no repeats
    std::uint16_t portmapperPort = 111;
    DiscoverySettings discovery; // the file's keys, then TS4820_VISA_DISCOVER
};

// Read afresh at every search and open, so edits apply without a restart.
Configuration loadConfiguration();
// The portmapper port alone, as an open needs it: cheap even with a long
// resource list (128 opens at once each read it).
std::uint16_t configuredPortmapperPort();

} // namespace tsvisa
