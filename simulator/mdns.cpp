#include "mdns.h"

#include <QByteArrayList>

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <avahi-common/thread-watch.h>

#include <cstdio>

namespace sim {

namespace {

void groupChanged(AvahiEntryGroup *group, AvahiEntryGroupState state, void *)
{
    if (state == AVAHI_ENTRY_GROUP_COLLISION || state == AVAHI_ENTRY_GROUP_FAILURE) {
        std::fprintf(stderr, "ts4820sim: mDNS: %s\n",
                     avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(group))));
    }
}

} // namespace

MdnsAnnouncer::~MdnsAnnouncer()
{
    if (m_poll) {
        avahi_threaded_poll_stop(m_poll);
    }
    if (m_client) {
        avahi_client_free(m_client); // and its groups: the records are withdrawn
    }
    if (m_poll) {
        avahi_threaded_poll_free(m_poll);
    }
}

bool MdnsAnnouncer::start(const std::vector<Announced> &units, QString *error)
{
    m_units = units;
    m_poll = avahi_threaded_poll_new();
    int code = 0;
    m_client = m_poll ? avahi_client_new(
                   avahi_threaded_poll_get(m_poll), AvahiClientFlags(0),
                   [](AvahiClient *c, AvahiClientState s, void *self) { clientChanged(c, int(s), self); },
                   this, &code)
                      : nullptr;
    if (!m_client) {
        *error =
            QStringLiteral("mDNS: no avahi daemon answers (%1)").arg(QString::fromUtf8(avahi_strerror(code)));
        return false;
    }
    avahi_threaded_poll_start(m_poll);
    return true;
}

void MdnsAnnouncer::clientChanged(AvahiClient *client, int state, void *self)
{
    if (state == AVAHI_CLIENT_S_RUNNING) {
        static_cast<MdnsAnnouncer *>(self)->publish(client);
    } else if (state == AVAHI_CLIENT_FAILURE) {
        std::fprintf(stderr, "ts4820sim: mDNS: %s\n", avahi_strerror(avahi_client_errno(client)));
    }
}

void MdnsAnnouncer::publish(AvahiClient *client)
{
    for (const Announced &unit : m_units) {
        const QByteArrayList idn = unit.identification.split(',');
        const QByteArray host = unit.hostname + ".local", name = idn.value(1) + " " + idn.value(2),
                         manufacturer = "Manufacturer=" + idn.value(0), model = "Model=" + idn.value(1),
                         serial = "SerialNumber=" + idn.value(2),
                         firmware = "FirmwareVersion=" + idn.value(3);
        AvahiAddress address;
        AvahiEntryGroup *group = avahi_entry_group_new(client, groupChanged, nullptr);
        const auto service = [&](const char *type, quint16 port) {
            return avahi_entry_group_add_service(
                group, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, AvahiPublishFlags(0), name.constData(), type,
                nullptr, host.constData(), port, "txtvers=1", manufacturer.constData(), model.constData(),
                serial.constData(), firmware.constData(), nullptr);
        };
        // The host's own name already has the reverse record of the address.
        if (!group || !avahi_address_parse(unit.address.constData(), AVAHI_PROTO_INET, &address)
            || avahi_entry_group_add_address(group, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET,
                                             AVAHI_PUBLISH_NO_REVERSE, host.constData(), &address)
                   < 0
            || service("_lxi._tcp", 80) < 0 || service("_vxi-11._tcp", unit.portmapper) < 0
            || service("_scpi-raw._tcp", unit.raw) < 0 || avahi_entry_group_commit(group) < 0) {
            std::fprintf(stderr, "ts4820sim: mDNS: %s not announced: %s\n", host.constData(),
                         avahi_strerror(avahi_client_errno(client)));
        }
    }
}

} // namespace sim
