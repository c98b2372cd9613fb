#include "discovery.h"

#include "net.h"
#include "resources.h"
#include "rpcwire.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <tuple>

#include <arpa/inet.h>
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tsvisa {

namespace {

// A flood of replies must not fill memory: no network has more units.
constexpr std::size_t kMaxFound = 4096;

struct Found
{
    std::uint32_t address = 0; // host byte order
    std::uint16_t port = 0;    // 0: an INSTR resource
    bool operator<(const Found &o) const
    {
        return std::make_tuple(port != 0, address, port) < std::make_tuple(o.port != 0, o.address, o.port);
    }
};

std::string dotted(std::uint32_t address)
{
    in_addr a{};
    a.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

// The broadcast address of every IPv4 interface that is up and has one,
// link-local ones included, then the configured ones; each once.
std::vector<std::uint32_t> broadcastTargets(const DiscoverySettings &settings)
{
    std::vector<std::uint32_t> targets;
    ifaddrs *interfaces = nullptr;
    if (getifaddrs(&interfaces) == 0) {
        for (const ifaddrs *i = interfaces; i; i = i->ifa_next) {
            if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)
                || !(i->ifa_flags & IFF_BROADCAST) || !i->ifa_netmask) {
                continue;
            }
            const auto ipv4 = [](const sockaddr *a) {
                return ntohl(reinterpret_cast<const sockaddr_in *>(a)->sin_addr.s_addr);
            };
            // An address configured without one (reported as none, or as the
            // address itself) has the subnet's.
            const std::uint32_t address = ipv4(i->ifa_addr),
                                given = i->ifa_broadaddr ? ipv4(i->ifa_broadaddr) : 0;
            const std::uint32_t broadcast =
                given && given != address ? given : address | ~ipv4(i->ifa_netmask);
            if (broadcast != address) { // a /32 has no one else to ask
                targets.push_back(broadcast);
            }
        }
        freeifaddrs(interfaces);
    }
    targets.insert(targets.end(), settings.targets.begin(), settings.targets.end());
    std::vector<std::uint32_t> once;
    for (std::uint32_t t : targets) {
        if (std::find(once.begin(), once.end(), t) == once.end()) {
            once.push_back(t);
        }
    }
    return once;
}

// Asks every target's portmapper for the VXI-11 core channel and gathers who
// answers with one until the deadline; the call goes out twice, the second
// time a third of the way in, for a datagram lost on the way.
std::vector<Found> askByBroadcast(const DiscoverySettings &settings, const Deadline &deadline)
{
    std::vector<Found> found;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return found;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const std::uint32_t xid = std::random_device()();
    const std::string call =
        callRecord(xid, kPortmapProgram, kPortmapVersion, kPortmapGetPort, getPortArguments())
            .substr(4); // a datagram carries no record mark
    const std::vector<std::uint32_t> targets = broadcastTargets(settings);
    const auto send = [&] {
        for (std::uint32_t target : targets) {
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(settings.portmapperPort);
            to.sin_addr.s_addr = htonl(target);
            ::sendto(fd, call.data(), call.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
        }
    };
    send();
    const Deadline resend = Deadline::after(ViUInt32(settings.windowMs / 3));
    bool resent = false;
    char datagram[1500];
    while (!deadline.expired()) {
        if (!resent && resend.expired()) {
            send();
            resent = true;
        }
        pollfd p{fd, POLLIN, 0};
        const int wait = resent ? deadline.pollMs() : std::min(deadline.pollMs(), resend.pollMs());
        if (::poll(&p, 1, wait) <= 0) {
            continue;
        }
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t n =
            ::recvfrom(fd, datagram, sizeof datagram, 0, reinterpret_cast<sockaddr *>(&from), &size);
        if (n > 0 && decodeBroadcastReply(datagram, std::size_t(n), xid) != 0 && found.size() < kMaxFound) {
            found.push_back({ntohl(from.sin_addr.s_addr), 0});
        }
    }
    ::close(fd);
    return found;
}

// What the avahi daemon resolves of the three service types until the
// deadline: nothing, and no word, where no daemon runs.
class MdnsBrowser
{
public:
    std::vector<Found> run(const Deadline &deadline)
    {
        AvahiSimplePoll *poll = avahi_simple_poll_new();
        if (!poll) {
            return {};
        }
        int error = 0;
        m_client =
            avahi_client_new(avahi_simple_poll_get(poll), AvahiClientFlags(0), nullptr, nullptr, &error);
        if (m_client) {
            for (const char *type : {"_vxi-11._tcp", "_lxi._tcp", "_scpi-raw._tcp"}) {
                avahi_service_browser_new(m_client, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, type, nullptr,
                                          AvahiLookupFlags(0), &MdnsBrowser::browsed, this);
            }
            while (!deadline.expired() && avahi_simple_poll_iterate(poll, deadline.pollMs()) == 0) {
            }
            avahi_client_free(m_client); // and its browsers and resolvers
        }
        avahi_simple_poll_free(poll);
        return m_found;
    }

private:
    static void browsed(AvahiServiceBrowser *, AvahiIfIndex interface, AvahiProtocol protocol,
                        AvahiBrowserEvent event, const char *name, const char *type, const char *domain,
                        AvahiLookupResultFlags, void *self)
    {
        auto *browser = static_cast<MdnsBrowser *>(self);
        if (event == AVAHI_BROWSER_NEW) {
            avahi_service_resolver_new(browser->m_client, interface, protocol, name, type, domain,
                                       AVAHI_PROTO_INET, AvahiLookupFlags(0), &MdnsBrowser::resolved, self);
        }
    }

    static void resolved(AvahiServiceResolver *resolver, AvahiIfIndex, AvahiProtocol,
                         AvahiResolverEvent event, const char *, const char *type, const char *, const char *,
                         const AvahiAddress *address, std::uint16_t port, AvahiStringList *,
                         AvahiLookupResultFlags, void *self)
    {
        auto *browser = static_cast<MdnsBrowser *>(self);
        if (event == AVAHI_RESOLVER_FOUND && address && address->proto == AVAHI_PROTO_INET && port != 0
            && browser->m_found.size() < kMaxFound) {
            // A VXI-11 or LXI unit is an INSTR resource; a raw SCPI port a SOCKET one.
            const bool raw = std::strcmp(type, "_scpi-raw._tcp") == 0;
            browser->m_found.push_back({ntohl(address->data.ipv4.address), raw ? port : std::uint16_t(0)});
        }
        avahi_service_resolver_free(resolver);
    }

    AvahiClient *m_client = nullptr;
    std::vector<Found> m_found;
};

} // namespace

std::vector<std::string> discoverUnits(const DiscoverySettings &settings)
{
    std::vector<std::string> names;
    if (!settings.enabled) {
        return names;
    }
    const Deadline deadline = Deadline::after(ViUInt32(std::max(settings.windowMs, 0)));
    // A bus or daemon that does not answer holds the client library for its
    // own time-out (25 s): the browsing is left to end by itself then, and
    // the search takes what it has by the deadline.
    struct Browsing
    {
        std::mutex lock;
        std::condition_variable over;
        bool done = false;
        std::vector<Found> found;
    };
    const auto browsing = std::make_shared<Browsing>();
    std::thread([browsing, deadline] {
        std::vector<Found> found = MdnsBrowser().run(deadline);
        std::lock_guard<std::mutex> guard(browsing->lock);
        browsing->found = std::move(found);
        browsing->done = true;
        browsing->over.notify_all();
    }).detach();
    std::vector<Found> found = askByBroadcast(settings, deadline);
    {
        std::unique_lock<std::mutex> guard(browsing->lock);
        browsing->over.wait_for(guard, std::chrono::milliseconds(deadline.pollMs() + 50),
                                [&] { return browsing->done; });
        found.insert(found.end(), browsing->found.begin(), browsing->found.end());
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end(),
                            [](const Found &a, const Found &b) { return !(a < b) && !(b < a); }),
                found.end());
    for (const Found &unit : found) {
        ResourceName name;
        const std::string text =
            "TCPIP0::" + dotted(unit.address)
            + (unit.port ? "::" + std::to_string(unit.port) + "::SOCKET" : "::inst0::INSTR");
        if (parseResourceName(text, &name) == VI_SUCCESS) {
            names.push_back(name.canonical);
        }
    }
    return names;
}

} // namespace tsvisa
