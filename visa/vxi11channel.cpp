// TCPIP::host[::device]::INSTR: VXI-11 over ONC RPC on TCP. The portmapper
// names the core channel's port; the link lives as long as the session.
#include "channel.h"
#include "rpcwire.h"

#include <map>
#include <mutex>
#include <utility>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace tsvisa {

namespace {

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
        if (m_broken) {
            return VI_ERROR_CONN_LOST;
        }
        const std::uint32_t xid = m_nextXid++;
        const std::string record = callRecord(xid, program, version, procedure, arguments);
        std::size_t sent = 0;
        ViStatus status = m_stream.sendAll(record.data(), record.size(), deadline, &sent);
        if (status != VI_SUCCESS) {
            // Half a record on the wire: the stream cannot be resynchronised.
            if (sent > 0 || status != VI_ERROR_TMO) {
                m_broken = true;
            }
            return status;
        }
        for (;;) {
            std::string reply;
            status = receiveRecord(deadline, &reply);
            if (status != VI_SUCCESS) {
                return status;
            }
            switch (decodeReply(reply, xid, results)) {
            case ReplyKind::Results:
                return VI_SUCCESS;
            case ReplyKind::OtherXid:
                continue;
            case ReplyKind::Refused:
                return VI_ERROR_IO;
            case ReplyKind::Garbage:
                m_broken = true;
                return VI_ERROR_IO;
            }
        }
    }

private:
    // A record may come in several fragments and over several receives;
    // what has arrived stays buffered across calls.
    ViStatus receiveRecord(const Deadline &deadline, std::string *record)
    {
        for (;;) {
            if (m_inbox.take(record)) {
                return VI_SUCCESS;
            }
            if (m_inbox.overflowed()) {
                m_broken = true;
            }
            if (m_broken) {
                return VI_ERROR_IO;
            }
            char chunk[65536];
            std::size_t received = 0;
            const ViStatus status = m_stream.receiveSome(chunk, sizeof chunk, deadline, &received);
            if (status != VI_SUCCESS) {
                if (status != VI_ERROR_TMO) {
                    m_broken = true;
                }
                return status;
            }
            m_inbox.append(chunk, received);
        }
    }

    TcpStream m_stream;
    RecordInbox m_inbox{kMaxRecord};
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
            if (status != VI_ERROR_RSRC_NFOUND && status != VI_ERROR_CONN_LOST && status != VI_ERROR_IO) {
                return status;
            }
            m_rpc.stream().close();
            CorePorts::forget(key);
        }
        const ViStatus status = askPortmapper(address, portmapperPort, io, &corePort);
        if (status != VI_SUCCESS) {
            return status;
        }
        CorePorts::remember(key, corePort);
        return link(address, corePort, device, io);
    }

    ViStatus link(const Address &address, std::uint16_t corePort, const std::string &device,
                  const IoSettings &io)
    {
        ViStatus status = m_rpc.stream().connect(address, corePort, Deadline::after(io.timeoutMs));
        if (status != VI_SUCCESS) {
            return status;
        }
        XdrWriter args;
        args.u32(nextClientId++).u32(0 /* no lock */).u32(0).opaque(device.data(), device.size());
        std::string results;
        status = m_rpc.call(kCoreProgram, kCoreVersion, CreateLink, args.data(),
                            Deadline::after(withGrace(io.timeoutMs)), &results);
        if (status != VI_SUCCESS) {
            return status;
        }
        const CreateLinkResult created = decodeCreateLink(results);
        if (!created.ok) {
            return VI_ERROR_IO;
        }
        if (created.error == 9) { // the unit takes no more links now
            return VI_ERROR_RSRC_BUSY;
        }
        if (created.error != 0) {
            return deviceErrorStatus(created.error);
        }
        m_link = created.link;
        m_maxRecvSize = created.maxRecvSize;
        m_linked = true;
        // The smallest size a device may announce; 0 would never get anywhere.
        if (m_maxRecvSize < 1024) {
            m_maxRecvSize = 1024;
        }
        return VI_SUCCESS;
    }

    ViStatus write(const ViByte *data, ViUInt32 count, ViUInt32 *written, const IoSettings &io) override
    {
        *written = 0;
        // One deadline for the whole call, however many pieces it takes.
        const Deadline deadline = Deadline::after(withGrace(io.timeoutMs));
        // An empty write still sends END: it ends the message.
        do {
            const ViUInt32 piece = std::min(count - *written, m_maxRecvSize);
            const bool last = *written + piece == count;
            XdrWriter args;
            args.u32(m_link).u32(io.timeoutMs).u32(io.timeoutMs).u32(last ? kFlagEnd : 0);
            args.opaque(data + *written, piece);
            std::string results;
            ViStatus status =
                m_rpc.call(kCoreProgram, kCoreVersion, DeviceWrite, args.data(), deadline, &results);
            if (status != VI_SUCCESS) {
                return status;
            }
            const WriteResult result = decodeWrite(results, piece);
            if (!result.ok) {
                return VI_ERROR_IO;
            }
            *written += result.accepted;
            if (result.error != 0) {
                return deviceErrorStatus(result.error);
            }
            if (result.accepted == 0 && piece > 0) {
                return VI_ERROR_IO; // no progress: better an error than a spin
            }
        } while (*written < count);
        return VI_SUCCESS;
    }

    ViStatus read(ViByte *data, ViUInt32 count, ViUInt32 *got, const IoSettings &io) override
    {
        *got = 0;
        if (count == 0) {
            return VI_SUCCESS_MAX_CNT;
        }
        // One deadline for the whole call: pieces without a reason, and
        // replies to other calls, do not stretch it.
        const Deadline deadline = Deadline::after(withGrace(io.timeoutMs));
        for (;;) {
            const ViUInt32 request = std::min(count - *got, kMaxReadRequest);
            XdrWriter args;
            args.u32(m_link).u32(request).u32(io.timeoutMs).u32(io.timeoutMs);
            args.u32(io.termCharEnabled ? kFlagTermCharSet : 0).u32(io.termChar);
            std::string results;
            ViStatus status =
                m_rpc.call(kCoreProgram, kCoreVersion, DeviceRead, args.data(), deadline, &results);
            if (status != VI_SUCCESS) {
                return status;
            }
            const ReadResult result = decodeRead(results, request);
            if (!result.ok) {
                return VI_ERROR_IO;
            }
            std::memcpy(data + *got, result.data, result.size);
            *got += ViUInt32(result.size);
            if (result.error != 0) {
                return deviceErrorStatus(result.error);
            }
            const std::uint32_t reason = result.reason;
            // END wins over the termination character when both come with
            // the last byte: the reply is complete either way.
            if (reason & kReasonEnd) {
                return VI_SUCCESS;
            }
            if (reason & kReasonTermChar) {
                return VI_SUCCESS_TERM_CHAR;
            }
            if (*got == count) {
                return VI_SUCCESS_MAX_CNT;
            }
            if (deadline.expired()) {
                return VI_ERROR_TMO;
            }
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

    void abort() override { m_rpc.stream().abort(); }

private:
    static ViStatus askPortmapper(const Address &address, std::uint16_t port, const IoSettings &io,
                                  std::uint16_t *corePort)
    {
        RpcClient portmapper;
        ViStatus status = portmapper.stream().connect(address, port, Deadline::after(io.timeoutMs));
        if (status != VI_SUCCESS) {
            return status;
        }
        std::string results;
        status = portmapper.call(kPortmapProgram, kPortmapVersion, kPortmapGetPort, getPortArguments(),
                                 Deadline::after(io.timeoutMs), &results);
        if (status != VI_SUCCESS) {
            return status == VI_ERROR_TMO ? status : VI_ERROR_RSRC_NFOUND;
        }
        *corePort = decodeGetPort(results);
        if (*corePort == 0) {
            return VI_ERROR_RSRC_NFOUND; // no VXI-11 service there
        }
        return VI_SUCCESS;
    }

    RpcClient m_rpc;
    std::uint32_t m_link = 0;
    ViUInt32 m_maxRecvSize = 1024;
    bool m_linked = false;
};

} // namespace

std::unique_ptr<Channel> openVxi11(const Address &address, std::uint16_t portmapperPort,
                                   const std::string &device, const IoSettings &io, ViStatus *status)
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
