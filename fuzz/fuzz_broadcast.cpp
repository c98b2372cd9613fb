// What the search for units takes from outside: any datagram, from anyone,
// as an answer to its broadcast (the call's xid is the datagram's own first
// word, so that well-formed answers go all the way), and the words of its
// settings from the configuration file and the environment.
#include "resources.h"
#include "rpcwire.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    const std::uint32_t xid =
        size >= 4 ? std::uint32_t(data[0]) << 24 | data[1] << 16 | data[2] << 8 | data[3] : 0;
    tsvisa::decodeBroadcastReply(bytes, size, xid);
    tsvisa::DiscoverySettings settings;
    const bool taken = tsvisa::applyDiscoveryWord(std::string(bytes, size), &settings);
    if (settings.windowMs < 0 || settings.windowMs > 60000 || (!taken && !settings.targets.empty())) {
        std::abort();
    }
    return 0;
}
