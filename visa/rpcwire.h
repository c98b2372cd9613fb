// The bytes of ONC RPC over TCP as the VXI-11 client sees them: XDR, record
// marking, reply headers and the results of the procedures we call. Kept
// apart from the sockets so that every decoder can be fed arbitrary input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace tsvisa {

constexpr std::uint32_t kPortmapProgram = 100000;
constexpr std::uint32_t kPortmapVersion = 2;
constexpr std::uint32_t kPortmapGetPort = 3;
constexpr std::uint32_t kCoreProgram = 395183;
constexpr std::uint32_t kCoreVersion = 1;
constexpr std::uint32_t kProtocolTcp = 6;

class XdrWriter
{
public:
    XdrWriter &u32(std::uint32_t v);
    XdrWriter &opaque(const void *data, std::size_t size);
    const std::string &data() const { return m_data; }

private:
    std::string m_data;
};

class XdrReader
{
public:
    explicit XdrReader(const std::string &data, std::size_t from = 0) : m_data(data), m_pos(from) {}
    std::uint32_t u32();
    // Returns where the bytes are in the record; size 0 when malformed.
    std::pair<const char *, std::size_t> opaque();
    bool ok() const { return m_ok; }
    std::size_t position() const { return m_pos; }

private:
    const std::string &m_data;
    std::size_t m_pos;
    bool m_ok = true;
};

// A call message with its record mark, ready to send.
std::string callRecord(std::uint32_t xid, std::uint32_t program, std::uint32_t version,
                       std::uint32_t procedure, const std::string &arguments);

// Received bytes, buffered across receives until a whole record (of one or
// more fragments) is there.
class RecordInbox
{
public:
    explicit RecordInbox(std::size_t maxRecord) : m_maxRecord(maxRecord) {}
    void append(const char *data, std::size_t size) { m_bytes.append(data, size); }
    // Moves the first whole record into *record. Each byte is looked at
    // once, however many calls the record takes to arrive.
    bool take(std::string *record);
    // The fragments, their headers counted, pass maxRecord bytes: the peer
    // is not to be trusted with our memory, the stream is given up.
    bool overflowed() const { return m_overflowed; }

private:
    std::string m_bytes;
    std::size_t m_maxRecord;
    std::size_t m_scanned = 0;     // whole fragments of the record at the front
    std::size_t m_recordBytes = 0; // their size, headers included
    bool m_overflowed = false;
};

enum class ReplyKind {
    Results,  // accepted and successful: *results holds the procedure's results
    OtherXid, // a late reply to an earlier call
    Refused,  // denied, or accepted with an error
    Garbage,  // not a reply at all: the stream cannot be trusted any more
};
ReplyKind decodeReply(const std::string &record, std::uint32_t xid, std::string *results);

struct CreateLinkResult
{
    bool ok = false; // all fields present
    std::uint32_t error = 0;
    std::uint32_t link = 0;
    std::uint32_t maxRecvSize = 0;
};
CreateLinkResult decodeCreateLink(const std::string &results);

struct WriteResult
{
    bool ok = false; // all fields present and no more accepted than sent
    std::uint32_t error = 0;
    std::uint32_t accepted = 0;
};
WriteResult decodeWrite(const std::string &results, std::uint32_t sent);

struct ReadResult
{
    bool ok = false; // all fields present and no more data than asked for
    std::uint32_t error = 0;
    std::uint32_t reason = 0;
    const char *data = nullptr; // inside results
    std::size_t size = 0;
};
ReadResult decodeRead(const std::string &results, std::uint32_t requested);

// GETPORT's arguments: the VXI-11 core channel over TCP.
std::string getPortArguments();
// The core channel's port from a portmapper GETPORT reply; 0 for none.
std::uint16_t decodeGetPort(const std::string &results);

// A datagram that answers our GETPORT call `xid`: the core channel's port,
// 0 when it is no such answer.
std::uint16_t decodeBroadcastReply(const char *data, std::size_t size, std::uint32_t xid);

} // namespace tsvisa
