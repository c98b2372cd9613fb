// Units found on the network with nothing configured, the two ways LXI units
// answer: a VXI-11 portmapper GETPORT broadcast over UDP on every IPv4
// interface that is up (and to the addresses configured besides), and
// mDNS/DNS-SD through the avahi daemon where one runs. Both at once, within
// one window.
#pragma once

#include "resources.h"

#include <string>
#include <vector>

namespace tsvisa {

// The canonical names of the units found: each once, INSTR resources by
// address, then SOCKET resources by address and port.
std::vector<std::string> discoverUnits(const DiscoverySettings &settings);

} // namespace tsvisa
