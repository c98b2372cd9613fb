// The unit's network side: VXI-11 (portmapper and core channel) and the
// raw SCPI socket, all on one thread, so commands from every connection run
// one at a time in the order their messages complete.
#pragma once

#include "instrument.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QUdpSocket>

namespace sim {

constexpr int kMaxSessions = 16;
constexpr int kMaxLinksPerConnection = 4; // a fair share of the sixteen places
// Portmapper connections and core channels without a link hold no place;
// so many of them may be open besides.
constexpr int kMaxUnplaced = 16;
constexpr quint32 kMaxRecvSize = 16384;
constexpr int kKeepAliveProbes = 3; // one second apart

struct ServerOptions
{
    QHostAddress address = QHostAddress::LocalHost;
    quint16 portmapperPort = 111;
    quint16 corePort = 0; // 0: chosen by the system
    quint16 rawPort = 5025;
    int latencyMs = 0; // added before every reply
    int dropAfter = 0; // close a connection when its message N+1 arrives; 0: never
    // A peer silent this long is probed; one that answers no probe, or
    // leaves data unacknowledged this long and three seconds more, is gone.
    int keepAliveSeconds = 10;
    // A message (or RPC record) begun must be complete within this time; a
    // connection that holds no place must complete one within it.
    int messageTimeoutSeconds = 20;
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
    // Connections that hold no place are limited too. A core channel whose
    // last link ends is counted again even past the limit; its time-out
    // ends it if it stays unused.
    bool admitUnplaced();
    void leaveUnplaced() { --m_unplaced; }
    void returnUnplaced() { ++m_unplaced; }

private:
    void answerDatagrams(QUdpSocket *socket);

    Instrument &m_unit;
    ServerOptions m_options;
    QTcpServer m_portmap, m_core, m_raw;
    QUdpSocket m_portmapUdp, m_broadcastUdp;
    uint m_interfaceIndex = 0; // of the interface with the unit's address
    QHostAddress m_broadcast;
    int m_sessions = 0;
    int m_unplaced = 0;
    quint32 m_nextLink = 1;
};

} // namespace sim
