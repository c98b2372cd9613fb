// TCPIP::host[::device]::INSTR: VXI-11 over ONC RPC on TCP. The portmapper
// names the core channel's port; the link lives as long as the session.
#include "channel.h"

#include <map>
#include <mutex>
#include <utility>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace tsvisa {

namespace {

constexpr std::uint32_t kPortmapProgram = 100000;
constexpr std::uint32_t kPortmapVersion = 2;
constexpr std::uint32_t kPortmapGetPort = 3;
constexpr std::uint32_t kCoreProgram = 395183;
constexpr std::uint32_t kCoreVersion = 1;
constexpr std::uint32_t kProtocolTcp = 6;

enum CoreProcedure : std::uint32_t {
    CreateLink = 10,
    DeviceWrite = 11,
    DeviceRead = 12,
    DestroyLink = 23,
};

constexpr std::uint32_t kFlagEnd = 8;
constexpr std::uint32_t kFlagTermCharSet = 0x80;
constexpr std::uint32_t kReasonTermChar = 2;
constexpr std::uint32_t kReasonEnd = 4;

// The unit waits out the I/O time-out itself and then answers; the reply
// needs a moment more to arrive.
constexpr ViUInt32 kReplyGraceMs = 1000;
// Bounds one device_read so that a huge caller buffer cannot make the
// device send (and us hold) one record of any size.
constexpr ViUInt32 kMaxReadRequest = 1u << 20;
constexpr std::size_t kMaxRecord = (kMaxReadRequest + 4096) * 2;

ViUInt32 withGrace(ViUInt32 ms)
{
    return ms >= VI_TMO_INFINITE - kReplyGraceMs ? VI_TMO_INFINITE : ms + kReplyGraceMs;
}

class XdrWriter
{
public:
    XdrWriter &u32(std::uint32_t v)
    {
        const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        m_data.append(b, 4);
        return *this;
    }
    XdrWriter &opaque(const void *data, std::size_t size)
    {
        u32(std::uint32_t(size));
        m_data.append(static_cast<const char *>(data), size);
        m_data.append((4 - size % 4) % 4, '\0');
        return *this;
    }
    const std::string &data() const { return m_data; }

private:
    std::string m_data;
};

class XdrReader
{
public:
    XdrReader(const std::string &data, std::size_t from = 0) : m_data(data), m_pos(from) {}
    std::uint32_t u32()
    {
        if (m_pos + 4 > m_data.size()) {
            m_ok = false;
            return 0;
        }
        const auto *p = reinterpret_cast<const unsigned char *>(m_data.data() + m_pos);
        m_pos += 4;
        return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
    }
    // Returns where the bytes are in the record; size 0 when malformed.
    std::pair<const char *, std::size_t> opaque()
    {
        const std::uint32_t size = u32();
        const std::size_t padded = (std::size_t(size) + 3) / 4 * 4;
        if (!m_ok || padded > m_data.size() - m_pos) {
            m_ok = false;
            return {nullptr, 0};
        }
        const char *at = m_data.data() + m_pos;
        m_pos += padded;
        return {at, size};
    }
    bool ok() const { return m_ok; }
    std::size_t position() const { return m_pos; }

private:
    const std::string &m_data;
    std::size_t m_pos;
    bool m_ok = true;
};

// One ONC RPC client connection. Replies are matched by transaction id, so
// a reply that comes after its call timed out is skipped, not mistaken for
// the answer to the next call.
class RpcClient
{
public:
    TcpStream &stream() { return m_stream; }
    const TcpStream &stream() const { return m_stream; }

    // *results holds the procedure's results (only on VI_SUCCESS).
    ViStatus call(std::uint32_t program, std::uint32_t version, std::uint32_t procedure,
                  const std::string &arguments, const Deadline &deadline, std::string *results)
    {
        if (m_broken)
            return VI_ERROR_CONN_LOST;
        const std::uint32_t xid = m_nextXid++;
        XdrWriter message;
        message.u32(0); // record mark, filled in below
        message.u32(xid).u32(0 /* call */).u32(2 /* RPC version */).u32(program).u32(version);
        message.u32(procedure).u32(0).u32(0).u32(0).u32(0); // no credentials, no verifier
        std::string record = message.data() + arguments;
        const std::uint32_t mark = 0x80000000u | std::uint32_t(record.size() - 4);
        for (int i = 0; i < 4; ++i)
            record[std::size_t(i)] = char(mark >> (24 - 8 * i));
        std::size_t sent = 0;
        ViStatus status = m_stream.sendAll(record.data(), record.size(), deadline, &sent);
        if (status != VI_SUCCESS) {
            // Half a record on the wire: the stream cannot be resynchronised.
            if (sent > 0 || status != VI_ERROR_TMO)
                m_broken = true;
            return status;
        }
        for (;;) {
            std::string reply;
            status = receiveRecord(deadline, &reply);
            if (status != VI_SUCCESS)
                return status;
            XdrReader in(reply);
            const std::uint32_t replyXid = in.u32();
            const std::uint32_t type = in.u32();
            if (!in.ok() || type != 1) {
                m_broken = true;
                return VI_ERROR_IO;
            }
            if (replyXid != xid)
                continue; // a late reply to an earlier call
            if (in.u32() != 0) // MSG_DENIED
                return VI_ERROR_IO;
            in.u32();    // verifier flavour
            in.opaque(); // verifier body
            if (in.u32() != 0 || !in.ok()) // accept_stat other than SUCCESS
                return VI_ERROR_IO;
            *results = reply.substr(in.position());
            return VI_SUCCESS;
        }
    }

private:
    // A record may come in several fragments and over several receives;
    // what has arrived stays buffered across calls.
    ViStatus receiveRecord(const Deadline &deadline, std::string *record)
    {
        for (;;) {
            if (takeRecord(record))
                return VI_SUCCESS;
            if (m_broken)
                return VI_ERROR_IO;
            char chunk[65536];
            std::size_t received = 0;
            const ViStatus status = m_stream.receiveSome(chunk, sizeof chunk, deadline, &received);
            if (status != VI_SUCCESS) {
                if (status != VI_ERROR_TMO)
                    m_broken = true;
                return status;
            }
            m_inbox.append(chunk, received);
        }
    }

    bool takeRecord(std::string *record)
    {
        std::size_t pos = 0;
        std::size_t total = 0;
        for (;;) {
            if (m_inbox.size() - pos < 4)
                return false;
            const auto *p = reinterpret_cast<const unsigned char *>(m_inbox.data() + pos);
            const std::uint32_t mark = std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16
                                       | std::uint32_t(p[2]) << 8 | p[3];
            const std::size_t length = mark & 0x7fffffffu;
            total += length;
            if (total > kMaxRecord) {
                m_broken = true;
                return false;
            }
            if (m_inbox.size() - pos - 4 < length)
                return false;
            pos += 4 + length;
            if (mark & 0x80000000u)
                break;
        }
        record->clear();
        record->reserve(total);
        std::size_t at = 0;
        while (at < pos) {
            const auto *p = reinterpret_cast<const unsigned char *>(m_inbox.data() + at);
            const std::size_t length = (std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16
                                        | std::uint32_t(p[2]) << 8 | p[3])
                                       & 0x7fffffffu;
            record->append(m_inbox, at + 4, length);
            at += 4 + length;
        }
        m_inbox.erase(0, pos);
        return true;
    }

    TcpStream m_stream;
    std::string m_inbox;
    std::uint32_t m_nextXid = 1;
    bool m_broken = false;
};

ViStatus deviceErrorStatus(std::uint32_t code)
{
    switch (code) {
    case 0:
        return VI_SUCCESS;
    case 3: // device not accessible
        return VI_ERROR_RSRC_NFOUND;
    case 4: // invalid link identifier
        return VI_ERROR_INV_OBJECT;
    case 5: // parameter error
        return VI_ERROR_INV_PARAMETER;
    case 6:  // channel not established
    case 29: // channel already established
        return VI_ERROR_INV_SETUP;
    case 8: // operation not supported
        return VI_ERROR_NSUP_OPER;
    case 9: // out of resources
        return VI_ERROR_ALLOC;
    case 11: // device locked by another link
        return VI_ERROR_RSRC_LOCKED;
    case 12: // no lock held by this link
        return VI_ERROR_SESN_NLOCKED;
    case 15: // I/O time-out
        return VI_ERROR_TMO;
    case 21: // invalid address
        return VI_ERROR_INV_RSRC_NAME;
    case 23: // abort
        return VI_ERROR_ABORT;
    default: // 1 syntax error, 17 I/O error and anything unknown
        return VI_ERROR_IO;
    }
}

std::atomic<std::uint32_t> nextClientId{1};

// Core channel ports by unit address and portmapper port, for all sessions.
class CorePorts
{
public:
    using Key = std::pair<std::uint32_t, std::uint16_t>;
    static std::uint16_t find(const Key &key)
    {
        std::lock_guard<std::mutex> guard(lock());
        const auto it = ports().find(key);
        return it == ports().end() ? 0 : it->second;
    }
    static void remember(const Key &key, std::uint16_t port)
    {
        std::lock_guard<std::mutex> guard(lock());
        ports()[key] = port;
    }
    static void forget(const Key &key)
    {
        std::lock_guard<std::mutex> guard(lock());
        ports().erase(key);
    }

private:
    static std::mutex &lock()
    {
        static std::mutex m;
        return m;
    }
    static std::map<Key, std::uint16_t> &ports()
    {
        static std::map<Key, std::uint16_t> p;
        return p;
    }
};

class Vxi11Channel : public Channel
{
public:
    ViStatus open(const Address &address, std::uint16_t portmapperPort, const std::string &device,
                  const IoSettings &io)
    {
        // The core channel's port as the unit's portmapper last gave it: a
        // search opens every unit at once, and asking each portmapper again
        // would double the connections. A port that no longer leads to a
        // core channel is asked for afresh.
        const CorePorts::Key key{address.ip.sin_addr.s_addr, portmapperPort};
        std::uint16_t corePort = CorePorts::find(key);
        if (corePort != 0) {
            const ViStatus status = link(address, corePort, device, io);
            if (status != VI_ERROR_RSRC_NFOUND && status != VI_ERROR_CONN_LOST && status != VI_ERROR_IO)
                return status;
            m_rpc.stream().close();
            CorePorts::forget(key);
        }
        const ViStatus status = askPortmapper(address, portmapperPort, io, &corePort);
        if (status != VI_SUCCESS)
            return status;
        CorePorts::remember(key, corePort);
        return link(address, corePort, device, io);
    }

    ViStatus link(const Address &address, std::uint16_t corePort, const std::string &device,
                  const IoSettings &io)
    {
        ViStatus status = m_rpc.stream().connect(address, corePort, Deadline::after(io.timeoutMs));
        if (status != VI_SUCCESS)
            return status;
        XdrWriter args;
        args.u32(nextClientId++).u32(0 /* no lock */).u32(0).opaque(device.data(), device.size());
        std::string results;
        status = m_rpc.call(kCoreProgram, kCoreVersion, CreateLink, args.data(),
                            Deadline::after(withGrace(io.timeoutMs)), &results);
        if (status != VI_SUCCESS)
            return status;
        XdrReader out(results);
        const std::uint32_t error = out.u32();
        m_link = out.u32();
        out.u32(); // abort port: aborts are not offered
        m_maxRecvSize = out.u32();
        if (!out.ok())
            return VI_ERROR_IO;
        if (error == 9) // the unit takes no more links now
            return VI_ERROR_RSRC_BUSY;
        if (error != 0)
            return deviceErrorStatus(error);
        m_linked = true;
        // The smallest size a device may announce; 0 would never get anywhere.
        if (m_maxRecvSize < 1024)
            m_maxRecvSize = 1024;
        return VI_SUCCESS;
    }

    ViStatus write(const ViByte *data, ViUInt32 count, ViUInt32 *written,
                   const IoSettings &io) override
    {
        *written = 0;
        // An empty write still sends END: it ends the message.
        do {
            const ViUInt32 piece = std::min(count - *written, m_maxRecvSize);
            const bool last = *written + piece == count;
            XdrWriter args;
            args.u32(m_link).u32(io.timeoutMs).u32(io.timeoutMs).u32(last ? kFlagEnd : 0);
            args.opaque(data + *written, piece);
            std::string results;
            ViStatus status = m_rpc.call(kCoreProgram, kCoreVersion, DeviceWrite, args.data(),
                                         Deadline::after(withGrace(io.timeoutMs)), &results);
            if (status != VI_SUCCESS)
                return status;
            XdrReader out(results);
            const std::uint32_t error = out.u32();
            const std::uint32_t accepted = out.u32();
            if (!out.ok() || accepted > piece)
                return VI_ERROR_IO;
            *written += accepted;
            if (error != 0)
                return deviceErrorStatus(error);
            if (accepted == 0 && piece > 0)
                return VI_ERROR_IO; // no progress: better an error than a spin
        } while (*written < count);
        return VI_SUCCESS;
    }

    ViStatus read(ViByte *data, ViUInt32 count, ViUInt32 *got, const IoSettings &io) override
    {
        *got = 0;
        if (count == 0)
            return VI_SUCCESS_MAX_CNT;
        // Pieces without a reason are possible; the whole read still ends.
        const Deadline overall = Deadline::after(withGrace(io.timeoutMs));
        for (;;) {
            const ViUInt32 request = std::min(count - *got, kMaxReadRequest);
            XdrWriter args;
            args.u32(m_link).u32(request).u32(io.timeoutMs).u32(io.timeoutMs);
            args.u32(io.termCharEnabled ? kFlagTermCharSet : 0).u32(io.termChar);
            std::string results;
            ViStatus status = m_rpc.call(kCoreProgram, kCoreVersion, DeviceRead, args.data(),
                                         Deadline::after(withGrace(io.timeoutMs)), &results);
            if (status != VI_SUCCESS)
                return status;
            XdrReader out(results);
            const std::uint32_t error = out.u32();
            const std::uint32_t reason = out.u32();
            const auto [bytes, size] = out.opaque();
            if (!out.ok() || size > request)
                return VI_ERROR_IO;
            std::memcpy(data + *got, bytes, size);
            *got += ViUInt32(size);
            if (error != 0)
                return deviceErrorStatus(error);
            // END wins over the termination character when both come with
            // the last byte: the reply is complete either way.
            if (reason & kReasonEnd)
                return VI_SUCCESS;
            if (reason & kReasonTermChar)
                return VI_SUCCESS_TERM_CHAR;
            if (*got == count)
                return VI_SUCCESS_MAX_CNT;
            if (overall.expired())
                return VI_ERROR_TMO;
        }
    }

    void close(const IoSettings &io) override
    {
        if (m_linked) {
            m_linked = false;
            std::string results;
            // Closing must not wait long on a unit that does not answer.
            const ViUInt32 wait = std::min<ViUInt32>(io.timeoutMs, 2000);
            m_rpc.call(kCoreProgram, kCoreVersion, DestroyLink, XdrWriter().u32(m_link).data(),
                       Deadline::after(wait), &results);
        }
        m_rpc.stream().close();
    }

    bool peerClosed() const override { return m_rpc.stream().peerClosed(); }

    void abort() override
    {
        m_rpc.stream().abort();
    }

private:
    static ViStatus askPortmapper(const Address &address, std::uint16_t port, const IoSettings &io,
                                  std::uint16_t *corePort)
    {
        RpcClient portmapper;
        ViStatus status = portmapper.stream().connect(address, port, Deadline::after(io.timeoutMs));
        if (status != VI_SUCCESS)
            return status;
        XdrWriter args;
        args.u32(kCoreProgram).u32(kCoreVersion).u32(kProtocolTcp).u32(0);
        std::string results;
        status = portmapper.call(kPortmapProgram, kPortmapVersion, kPortmapGetPort, args.data(),
                                 Deadline::after(io.timeoutMs), &results);
        if (status != VI_SUCCESS)
            return status == VI_ERROR_TMO ? status : VI_ERROR_RSRC_NFOUND;
        XdrReader out(results);
        const std::uint32_t found = out.u32();
        if (!out.ok() || found == 0 || found > 65535)
            return VI_ERROR_RSRC_NFOUND; // no VXI-11 service there
        *corePort = std::uint16_t(found);
        return VI_SUCCESS;
    }

    RpcClient m_rpc;
    std::uint32_t m_link = 0;
    ViUInt32 m_maxRecvSize = 1024;
    bool m_linked = false;
};

} // namespace

std::unique_ptr<Channel> openVxi11(const Address &address, std::uint16_t portmapperPort,
                                   const std::string &device, const IoSettings &io,
                                   ViStatus *status)
{
    auto channel = std::make_unique<Vxi11Channel>();
    *status = channel->open(address, portmapperPort, device, io);
    if (*status != VI_SUCCESS) {
        channel->close(io);
        return nullptr;
    }
    return channel;
}

} // namespace tsvisa
