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

    // Adds `state` and what its splits lead to, each state once per step.
    void addClosure(int state, std::vector<unsigned> &mark, unsigned step, std::vector<int> &list) const;

    std::vector<State> m_states;
    int m_start = -1;
};

struct Configuration
{
    std::vector<std::string> resources; // canonical names, environment's first, no repeats
    std::uint16_t portmapperPort = 111;
};

// Read afresh at every search and open, so edits apply without a restart.
Configuration loadConfiguration();
// The portmapper port alone, as an open needs it: cheap even with a long
// resource list (128 opens at once each read it).
std::uint16_t configuredPortmapperPort();

} // namespace tsvisa
