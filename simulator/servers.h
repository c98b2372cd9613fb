// The unit's network side: VXI-11 (portmapper and core channel) and the
// raw SCPI socket, all on one thread, so commands from every connection run
// one at a time in the order their messages complete.
#ifndef SIM_SERVERS_H
#define SIM_SERVERS_H

#include "instrument.h"

#include <QHostAddress>
#include <QTcpServer>

namespace sim {

constexpr int kMaxSessions = 16;
constexpr quint32 kMaxRecvSize = 16384;

struct ServerOptions
{
    QHostAddress address = QHostAddress::LocalHost;
    quint16 portmapperPort = 111;
    quint16 corePort = 0; // 0: chosen by the system
    quint16 rawPort = 5025;
    int latencyMs = 0;    // added before every reply
    int dropAfter = 0;    // close a connection when its message N+1 arrives; 0: never
};

class UnitServer : public QObject
{
public:
    UnitServer(Instrument &unit, const ServerOptions &options, QObject *parent = nullptr);
    ~UnitServer() override;
    bool listen(QString *error);

    Instrument &unit() { return m_unit; }
    const ServerOptions &options() const { return m_options; }
    quint16 portmapperPort() const { return m_portmap.serverPort(); }
    quint16 corePort() const { return m_core.serverPort(); }
    quint16 rawPort() const { return m_raw.serverPort(); }

    // Connections (VXI-11 links and sockets together) are limited.
    bool openSession();
    void closeSession() { --m_sessions; }
    quint32 nextLinkId() { return m_nextLink++; }

private:
    Instrument &m_unit;
    ServerOptions m_options;
    QTcpServer m_portmap, m_core, m_raw;
    int m_sessions = 0;
    quint32 m_nextLink = 1;
};

} // namespace sim

#endif
