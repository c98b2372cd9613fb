#include "servers.h"

#include "oncrpc.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTcpSocket>
#include <QTimer>

#include <map>
#include <memory>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace sim {

namespace {

constexpr qint64 kWriteBacklog = 256 * 1024; // stop reading while a peer does not read
constexpr qint64 kReadChunk = 16384;

bool isBlank(const FramedMessage &m)
{
    if (m.error) {
        return false;
    }
    for (char c : m.bytes) {
        if (c != ' ' && c != '\t') {
            return false;
        }
    }
    return true;
}

// Probes a silent peer and gives up on one that does not answer, so that a
// client that vanished without closing (power lost, cable pulled) frees its
// place in bounded time.
void watchForDeadPeer(QTcpSocket *socket, int idleSeconds)
{
    const int fd = int(socket->socketDescriptor());
    const int on = 1, interval = 1, probes = kKeepAliveProbes;
    const unsigned int unacknowledgedMs = unsigned(idleSeconds + probes * interval) * 1000u;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledgedMs, sizeof unacknowledgedMs);
}

// Common to every connection: owns its socket, counts messages for the
// dropped-connection fault, reads only as fast as it can answer, and ends
// connections that hold on to the unit without using it.
class Connection : public QObject
{
public:
    Connection(UnitServer *server, QTcpSocket *socket) : QObject(server), m_server(server), m_socket(socket)
    {
        socket->setParent(this);
        socket->setReadBufferSize(64 * 1024);
        // Replies are small and a client waits for each: no Nagle delay
        // behind the client's delayed acknowledgement.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        watchForDeadPeer(socket, server->options().keepAliveSeconds);
        connect(socket, &QTcpSocket::readyRead, this, [this] { pump(); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this] { pump(); });
        connect(socket, &QTcpSocket::disconnected, this, [this] {
            m_closed = true;
            deleteLater();
        });
        // Also when the system gave up on a dead peer.
        connect(socket, &QTcpSocket::errorOccurred, this, [this] {
            if (m_socket->state() != QAbstractSocket::ConnectedState) {
                drop();
            }
        });
        // Stopped by the first pump() of a connection that holds a place.
        m_patience.setSingleShot(true);
        m_patience.setInterval(std::chrono::seconds(server->options().messageTimeoutSeconds));
        connect(&m_patience, &QTimer::timeout, this, [this] { drop(); });
        m_patience.start();
    }

protected:
    // Handles buffered input; returns false when nothing more can be done now.
    virtual bool step() = 0;
    // Part of a message has arrived and its end not yet.
    virtual bool midMessage() const = 0;
    // The connection has one of the unit's sixteen places.
    virtual bool holdsPlace() const = 0;

    void pump()
    {
        while (!m_closed && !m_busy && m_socket->bytesToWrite() < kWriteBacklog && step()) {
        }
        if (m_closed) {
            return;
        }
        if (holdsPlace() && !midMessage()) {
            m_patience.stop();
        } else if (!m_patience.isActive()) {
            m_patience.start();
        }
    }

    // A whole message arrived: the time for the next one starts afresh.
    void messageComplete() { m_patience.stop(); }

    QByteArray readChunk() { return m_socket->read(kReadChunk); }

    // Out at once, not when the event loop next runs: the messages queued
    // behind this one may take a while, and the peer waits for this reply.
    void send(const QByteArray &bytes)
    {
        m_socket->write(bytes);
        m_socket->flush();
    }

    // False when the message is one too many and the connection was dropped.
    bool countMessage(const FramedMessage &message)
    {
        const bool tooMany = m_server->options().dropAfter > 0 && !isBlank(message)
                             && ++m_messages > m_server->options().dropAfter;
        if (!tooMany && !m_server->unit().dropsConnection(message)) {
            return true;
        }
        drop();
        return false;
    }

    void drop()
    {
        m_closed = true;
        m_patience.stop();
        m_socket->abort();
        deleteLater();
    }

    UnitServer *m_server;
    QTcpSocket *m_socket;
    bool m_busy = false; // waiting for a timer before going on
    bool m_closed = false;

private:
    int m_messages = 0;
    QTimer m_patience;
};

// ---------------------------------------------------------------- raw SCPI

class RawConnection : public Connection
{
public:
    RawConnection(UnitServer *server, QTcpSocket *socket) : Connection(server, socket) { pump(); }
    ~RawConnection() override { m_server->closeSession(); }

private:
    bool midMessage() const override { return m_framer.midMessage(); }
    bool holdsPlace() const override { return true; }

    bool step() override
    {
        if (m_queue.isEmpty()) {
            const QByteArray chunk = readChunk();
            m_framer.feed(chunk.constData(), chunk.size(), false, m_queue);
            return !chunk.isEmpty();
        }
        messageComplete();
        const FramedMessage message = m_queue.takeFirst();
        if (!countMessage(message)) {
            return false;
        }
        const std::optional<QByteArray> reply = m_server->unit().execute(m_session, message);
        if (!reply) {
            return true;
        }
        const int delay = m_server->options().latencyMs + m_server->unit().replyDelayMs();
        if (delay <= 0) {
            send(*reply + '\n');
            return true;
        }
        m_busy = true;
        QTimer::singleShot(delay, this, [this, text = *reply + '\n'] {
            send(text);
            m_busy = false;
            pump();
        });
        return false;
    }

    MessageFramer m_framer{MessageFramer::Mode::Newline};
    QList<FramedMessage> m_queue;
    Session m_session;
};

// ---------------------------------------------------------------- ONC RPC

class RpcConnection : public Connection
{
public:
    RpcConnection(UnitServer *server, QTcpSocket *socket, qsizetype maxRecord)
        : Connection(server, socket), m_reader(maxRecord)
    {}

protected:
    virtual void call(const rpc::Call &call, rpc::XdrReader &args) = 0;
    void reply(const QByteArray &message) { send(rpc::recordMark(message)); }
    bool midMessage() const override { return m_reader.midRecord(); }

private:
    bool step() override
    {
        QByteArray record;
        switch (m_reader.next(&record)) {
        case rpc::RecordReader::Broken:
            drop();
            return false;
        case rpc::RecordReader::NeedMore: {
            const QByteArray chunk = readChunk();
            m_reader.append(chunk);
            return !chunk.isEmpty();
        }
        case rpc::RecordReader::Record:
            messageComplete();
            break;
        }
        rpc::Call c;
        switch (rpc::decodeCall(record, &c)) {
        case rpc::Decoded::NotACall:
            drop(); // not an RPC peer
            return false;
        case rpc::Decoded::WrongRpcVersion:
            reply(rpc::rpcVersionMismatch(c.xid));
            return true;
        case rpc::Decoded::Call:
            break;
        }
        rpc::XdrReader args(record, c.argumentsAt);
        call(c, args);
        return !m_closed;
    }

    rpc::RecordReader m_reader;
};

// A portmapper call's reply message, over TCP or UDP alike. `local` is the
// address the caller reached, given in GETADDR's and DUMP's answers.
QByteArray portmapAnswer(const UnitServer &server, const rpc::Call &c, rpc::XdrReader &args,
                         const QHostAddress &local)
{
    using namespace rpc;
    if (c.program != kPortmapProgram) {
        return acceptedReply(c.xid, ProgUnavail);
    }
    if (c.version < 2 || c.version > 4) {
        return mismatchReply(c.xid, 2, 4);
    }
    const auto universal = [&local](quint16 port) {
        return local.toString().toLatin1() + '.' + QByteArray::number(port >> 8) + '.'
               + QByteArray::number(port & 0xff);
    };
    XdrWriter out;
    const bool v2 = c.version == 2;
    if (c.procedure == 0) {
        return acceptedReply(c.xid, Success);
    }
    if (c.procedure == 3) { // GETPORT (v2), GETADDR (v3, v4)
        const quint32 program = args.u32(), version = args.u32();
        bool ours = program == kCoreProgram && version == kCoreVersion;
        if (v2) {
            ours = ours && args.u32() == kProtocolTcp;
            args.u32();
        } else {
            ours = ours && args.opaque(64) == "tcp";
            args.opaque(256);
            args.opaque(256);
        }
        if (!args.ok()) {
            return acceptedReply(c.xid, GarbageArgs);
        }
        if (v2) {
            out.u32(ours ? server.corePort() : 0);
        } else {
            out.opaque(ours ? universal(server.corePort()) : QByteArray());
        }
        return acceptedReply(c.xid, Success, out.data());
    }
    if (c.procedure == 4) { // DUMP
        const std::pair<quint32, quint32> entries[] = {{kPortmapProgram, server.portmapperPort()},
                                                       {kCoreProgram, server.corePort()}};
        for (const auto &[program, port] : entries) {
            const quint32 versions = program == kPortmapProgram ? 2 : 1;
            out.u32(1).u32(program).u32(versions);
            if (v2) {
                out.u32(kProtocolTcp).u32(port);
            } else {
                out.opaque("tcp").opaque(universal(quint16(port))).opaque("superuser");
            }
        }
        out.u32(0);
        return acceptedReply(c.xid, Success, out.data());
    }
    return acceptedReply(c.xid, ProcUnavail);
}

class PortmapConnection : public RpcConnection
{
public:
    PortmapConnection(UnitServer *server, QTcpSocket *socket)
        : RpcConnection(server, socket, rpc::kMaxPortmapRecord)
    {}
    ~PortmapConnection() override { m_server->leaveUnplaced(); }

private:
    bool holdsPlace() const override { return false; }

    void call(const rpc::Call &c, rpc::XdrReader &args) override
    {
        reply(portmapAnswer(*m_server, c, args, m_socket->localAddress()));
    }
};

// ---------------------------------------------------------------- VXI-11 core

enum DeviceError : quint32 {
    DeviceOk = 0,
    DeviceNotAccessible = 3,
    InvalidLink = 4,
    NotSupported = 8,
    OutOfResources = 9,
    IoTimeout = 15,
};

class CoreConnection : public RpcConnection
{
public:
    CoreConnection(UnitServer *server, QTcpSocket *socket)
        : RpcConnection(server, socket, rpc::kMaxCoreRecord)
    {
        m_wait.setSingleShot(true);
        m_wait.setTimerType(Qt::PreciseTimer);
        connect(&m_wait, &QTimer::timeout, this, [this] { finishRead(); });
        pump();
    }
    ~CoreConnection() override
    {
        for (std::size_t i = 0; i < m_links.size(); ++i) {
            m_server->closeSession();
        }
        if (m_links.empty()) {
            m_server->leaveUnplaced();
        }
    }

private:
    bool holdsPlace() const override { return !m_links.empty(); }

    struct Link
    {
        Session session;
        MessageFramer framer{MessageFramer::Mode::EndFlag};
        QByteArray reply;
        qsizetype replyPos = 0;
        bool hasReply = false;
        QDeadlineTimer readyAt;
    };
    struct PendingRead
    {
        quint32 xid = 0, lid = 0, requestSize = 0, flags = 0, termChar = 0;
        QDeadlineTimer deadline;
    };

    void error(quint32 xid, quint32 code)
    {
        reply(rpc::acceptedReply(xid, rpc::Success, rpc::XdrWriter().u32(code).data()));
    }

    Link *link(quint32 lid)
    {
        const auto found = m_links.find(lid);
        return found == m_links.end() ? nullptr : found->second.get();
    }

    void call(const rpc::Call &c, rpc::XdrReader &args) override
    {
        using namespace rpc;
        if (c.program != kCoreProgram) {
            return reply(acceptedReply(c.xid, ProgUnavail));
        }
        if (c.version != kCoreVersion) {
            return reply(mismatchReply(c.xid, 1, 1));
        }
        switch (c.procedure) {
        case 0:
            return reply(acceptedReply(c.xid, Success));
        case 10:
            return createLink(c.xid, args);
        case 11:
            return write(c.xid, args);
        case 12:
            return read(c.xid, args);
        case 13:
        case 15:
        case 18:
        case 19:
        case 23:
            return linkCall(c, args);
        case 14:
        case 16:
        case 17:
        case 20:
        case 22:
        case 25:
        case 26:
            return error(c.xid, NotSupported);
        default:
            return reply(acceptedReply(c.xid, ProcUnavail));
        }
    }

    void createLink(quint32 xid, rpc::XdrReader &args)
    {
        args.u32(); // client id
        args.u32(); // lock device
        args.u32(); // lock time-out
        const QByteArray device = args.opaque(256);
        if (!args.ok()) {
            return reply(rpc::acceptedReply(xid, rpc::GarbageArgs));
        }
        quint32 code = DeviceOk, lid = 0;
        if (device.toLower() != "inst0") {
            code = DeviceNotAccessible;
        } else if (m_links.size() >= kMaxLinksPerConnection || !m_server->openSession()) {
            code = OutOfResources;
        } else {
            if (m_links.empty()) {
                m_server->leaveUnplaced();
            }
            lid = m_server->nextLinkId();
            m_links[lid] = std::make_unique<Link>();
        }
        const quint32 maxRecv = code == DeviceOk ? kMaxRecvSize : 0;
        reply(rpc::acceptedReply(xid, rpc::Success,
                                 rpc::XdrWriter().u32(code).u32(lid).u32(0).u32(maxRecv).data()));
    }

    void linkCall(const rpc::Call &c, rpc::XdrReader &args)
    {
        const quint32 lid = args.u32();
        if (!args.ok()) {
            return reply(rpc::acceptedReply(c.xid, rpc::GarbageArgs));
        }
        Link *l = link(lid);
        if (!l) {
            return c.procedure == 13 ? reply(rpc::acceptedReply(
                       c.xid, rpc::Success, rpc::XdrWriter().u32(InvalidLink).u32(0).data()))
                                     : error(c.xid, InvalidLink);
        }
        if (c.procedure == 13) { // read status byte
            const quint32 stb = m_server->unit().statusByte(l->session, l->hasReply);
            return reply(
                rpc::acceptedReply(c.xid, rpc::Success, rpc::XdrWriter().u32(DeviceOk).u32(stb).data()));
        }
        if (c.procedure == 15) { // clear: unread input and reply, not the error queue
            l->framer.clear();
            l->hasReply = false;
        } else if (c.procedure == 23) {
            m_links.erase(lid);
            m_server->closeSession();
            if (m_links.empty()) {
                m_server->returnUnplaced();
            }
        }
        error(c.xid, DeviceOk); // lock and unlock are accepted without effect
    }

    void write(quint32 xid, rpc::XdrReader &args)
    {
        const quint32 lid = args.u32();
        args.u32(); // I/O time-out
        args.u32(); // lock time-out
        const quint32 flags = args.u32();
        const QByteArray data = args.opaque(quint32(rpc::kMaxCoreRecord));
        if (!args.ok()) {
            return reply(rpc::acceptedReply(xid, rpc::GarbageArgs));
        }
        Link *l = link(lid);
        if (!l) {
            return reply(
                rpc::acceptedReply(xid, rpc::Success, rpc::XdrWriter().u32(InvalidLink).u32(0).data()));
        }
        QList<FramedMessage> messages;
        l->framer.feed(data.constData(), data.size(), flags & 8, messages);
        for (const FramedMessage &message : messages) {
            if (!countMessage(message)) {
                return;
            }
            if (isBlank(message)) {
                continue;
            }
            if (l->hasReply) {
                l->hasReply = false;
                l->session.pushError(QueryInterrupted);
            }
            if (const std::optional<QByteArray> text = m_server->unit().execute(l->session, message)) {
                l->reply = *text + '\n';
                l->replyPos = 0;
                l->hasReply = true;
                l->readyAt = QDeadlineTimer(m_server->options().latencyMs + m_server->unit().replyDelayMs());
            }
        }
        reply(rpc::acceptedReply(xid, rpc::Success,
                                 rpc::XdrWriter().u32(DeviceOk).u32(quint32(data.size())).data()));
    }

    void read(quint32 xid, rpc::XdrReader &args)
    {
        PendingRead r;
        r.xid = xid;
        r.lid = args.u32();
        r.requestSize = args.u32();
        const quint32 ioTimeout = args.u32();
        args.u32(); // lock time-out
        r.flags = args.u32();
        r.termChar = args.u32() & 0xff;
        if (!args.ok()) {
            return reply(rpc::acceptedReply(xid, rpc::GarbageArgs));
        }
        Link *l = link(r.lid);
        if (!l) {
            return readReply(xid, InvalidLink, 0, {});
        }
        // Wait for the reply (latency) or for the link's I/O time-out.
        r.deadline = QDeadlineTimer(std::min<qint64>(ioTimeout, 24LL * 3600 * 1000));
        m_pending = r;
        m_busy = true;
        finishRead();
    }

    // Answers the pending read when its reply is ready or its time is up;
    // otherwise waits on (timers may fire a little early).
    void finishRead()
    {
        const PendingRead r = m_pending;
        Link *l = link(r.lid);
        const bool ready = l && l->hasReply && l->readyAt.hasExpired();
        if (l && !ready && !r.deadline.hasExpired()) {
            qint64 wait = r.deadline.remainingTime();
            if (l->hasReply) {
                wait = std::min(wait, std::max<qint64>(1, l->readyAt.remainingTime()));
            }
            m_wait.start(std::chrono::milliseconds(wait));
            return;
        }
        m_busy = false;
        if (!ready) {
            if (l && !l->hasReply) {
                l->session.pushError(QueryUnterminated);
            }
            readReply(r.xid, l ? IoTimeout : InvalidLink, 0, {});
        } else {
            const qsizetype remaining = l->reply.size() - l->replyPos;
            qsizetype n = std::min<qsizetype>(remaining, r.requestSize);
            quint32 reason = 0;
            if (r.flags & 0x80) { // termination character set
                const qsizetype at = l->reply.indexOf(char(r.termChar), l->replyPos);
                if (at >= 0 && at < l->replyPos + n) {
                    n = at - l->replyPos + 1;
                    reason |= 2;
                }
            }
            const QByteArray chunk = l->reply.mid(l->replyPos, n);
            l->replyPos += n;
            if (l->replyPos == l->reply.size()) {
                reason |= 4;
                l->hasReply = false;
                l->reply.clear();
            } else if (n == qsizetype(r.requestSize)) {
                reason |= 1;
            }
            readReply(r.xid, DeviceOk, reason, chunk);
        }
        QTimer::singleShot(0, this, [this] { pump(); });
    }

    void readReply(quint32 xid, quint32 code, quint32 reason, const QByteArray &data)
    {
        reply(rpc::acceptedReply(xid, rpc::Success,
                                 rpc::XdrWriter().u32(code).u32(reason).opaque(data).data()));
    }

    std::map<quint32, std::unique_ptr<Link>> m_links;
    PendingRead m_pending;
    QTimer m_wait;
};

} // namespace

// ---------------------------------------------------------------- server

UnitServer::UnitServer(Instrument &unit, const ServerOptions &options, QObject *parent)
    : QObject(parent), m_unit(unit), m_options(options)
{
    // One connection too many is closed at once.
    const auto refuse = [](QTcpSocket *s) {
        s->abort();
        s->deleteLater();
    };
    connect(&m_portmap, &QTcpServer::newConnection, this, [this, refuse] {
        while (QTcpSocket *s = m_portmap.nextPendingConnection()) {
            admitUnplaced() ? void(new PortmapConnection(this, s)) : refuse(s);
        }
    });
    connect(&m_core, &QTcpServer::newConnection, this, [this, refuse] {
        while (QTcpSocket *s = m_core.nextPendingConnection()) {
            admitUnplaced() ? void(new CoreConnection(this, s)) : refuse(s);
        }
    });
    for (QUdpSocket *socket : {&m_portmapUdp, &m_broadcastUdp}) {
        connect(socket, &QUdpSocket::readyRead, this, [this, socket] { answerDatagrams(socket); });
    }
    connect(&m_raw, &QTcpServer::newConnection, this, [this, refuse] {
        while (QTcpSocket *s = m_raw.nextPendingConnection()) {
            openSession() ? void(new RawConnection(this, s)) : refuse(s);
        }
    });
}

UnitServer::~UnitServer()
{
    // Connections report their end to the server: they go while it is whole.
    qDeleteAll(findChildren<QObject *>(QString(), Qt::FindDirectChildrenOnly));
}

void UnitServer::answerDatagrams(QUdpSocket *socket)
{
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram(rpc::kMaxPortmapRecord + 1);
        const QByteArray record = datagram.data();
        // The shared socket hears every broadcast to the port on this host;
        // this unit answers those sent on its own network.
        if (socket == &m_broadcastUdp
            && (datagram.interfaceIndex() != m_interfaceIndex
                || (datagram.destinationAddress() != m_broadcast
                    && datagram.destinationAddress() != QHostAddress(QHostAddress::Broadcast)))) {
            continue;
        }
        rpc::Call c;
        const rpc::Decoded decoded = rpc::decodeCall(record, &c);
        if (record.size() > rpc::kMaxPortmapRecord || decoded == rpc::Decoded::NotACall) {
            continue; // no RPC peer: no answer
        }
        rpc::XdrReader args(record, c.argumentsAt);
        const QByteArray answer = decoded == rpc::Decoded::WrongRpcVersion
                                      ? rpc::rpcVersionMismatch(c.xid)
                                      : portmapAnswer(*this, c, args, m_options.address);
        // From the unit's own address, so the caller learns where the unit is.
        m_portmapUdp.writeDatagram(answer, datagram.senderAddress(), quint16(datagram.senderPort()));
    }
}

bool UnitServer::listen(QString *error)
{
    const struct
    {
        QTcpServer *server;
        quint16 port;
        const char *what;
    } servers[] = {{&m_core, m_options.corePort, "VXI-11 core channel"},
                   {&m_portmap, m_options.portmapperPort, "portmapper"},
                   {&m_raw, m_options.rawPort, "raw SCPI"}};
    for (const auto &s : servers) {
        if (!s.server->listen(m_options.address, s.port)) {
            *error = QStringLiteral("cannot serve the %1 on %2 port %3: %4")
                         .arg(s.what, m_options.address.toString())
                         .arg(s.port)
                         .arg(s.server->errorString());
            return false;
        }
    }
    // The portmapper on UDP too: asked on the unit's address, and by
    // broadcast on its network through a socket all units on the host share.
    // Both shared: the broadcast socket binds the port on every address.
    const auto shared = QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint;
    if (!m_portmapUdp.bind(m_options.address, m_portmap.serverPort(), shared)) {
        *error = QStringLiteral("cannot serve the portmapper on UDP %1 port %2: %3")
                     .arg(m_options.address.toString())
                     .arg(m_portmap.serverPort())
                     .arg(m_portmapUdp.errorString());
        return false;
    }
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            if (entry.ip() == m_options.address && !entry.broadcast().isNull()) {
                m_interfaceIndex = interface.index();
                m_broadcast = entry.broadcast();
                m_broadcastUdp.bind(QHostAddress::AnyIPv4, m_portmap.serverPort(), shared);
            }
        }
    }
    return true;
}

bool UnitServer::admitUnplaced()
{
    if (m_unplaced >= kMaxUnplaced) {
        return false;
    }
    ++m_unplaced;
    return true;
}

bool UnitServer::openSession()
{
    if (m_sessions >= kMaxSessions) {
        return false;
    }
    ++m_sessions;
    return true;
}

} // namespace sim
