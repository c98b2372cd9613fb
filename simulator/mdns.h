// Announces units over mDNS/DNS-SD through the avahi daemon, as LXI units
// do: each under a host name of its own that resolves to its address, with
// its VXI-11, raw SCPI and LXI services.
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

struct AvahiClient;
struct AvahiThreadedPoll;

namespace sim {

struct Announced
{
    QByteArray hostname;       // without ".local"
    QByteArray address;        // IPv4, dotted
    QByteArray identification; // the *IDN? reply: maker, model, serial number, firmware
    quint16 portmapper = 111, raw = 5025;
};

class MdnsAnnouncer
{
public:
    MdnsAnnouncer() = default;
    ~MdnsAnnouncer();
    MdnsAnnouncer(const MdnsAnnouncer &) = delete;
    MdnsAnnouncer &operator=(const MdnsAnnouncer &) = delete;

    // False, with the reason, when no avahi daemon answers. Later trouble
    // (a name taken on the network) is reported on standard error.
    bool start(const std::vector<Announced> &units, QString *error);

private:
    static void clientChanged(AvahiClient *client, int state, void *self);
    void publish(AvahiClient *client);

    std::vector<Announced> m_units;
    AvahiThreadedPoll *m_poll = nullptr;
    AvahiClient *m_client = nullptr;
};

} // namespace sim
