#include "rpcwire.h"

namespace tsvisa {

namespace {

std::uint32_t bigEndian(const char *at)
{
    const auto *p = reinterpret_cast<const unsigned char *>(at);
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

} // namespace

XdrWriter &XdrWriter::u32(std::uint32_t v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    m_data.append(b, 4);
    return *this;
}

XdrWriter &XdrWriter::opaque(const void *data, std::size_t size)
{
    u32(std::uint32_t(size));
    m_data.append(static_cast<const char *>(data), size);
    m_data.append((4 - size % 4) % 4, '\0');
    return *this;
}

std::uint32_t XdrReader::u32()
{
    if (m_pos + 4 > m_data.size()) {
        m_ok = false;
        return 0;
    }
    const std::uint32_t v = bigEndian(m_data.data() + m_pos);
    m_pos += 4;
    return v;
}

std::pair<const char *, std::size_t> XdrReader::opaque()
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

std::string callRecord(std::uint32_t xid, std::uint32_t program, std::uint32_t version,
                       std::uint32_t procedure, const std::string &arguments)
{
    XdrWriter message;
    message.u32(0); // record mark, filled in below
    message.u32(xid).u32(0 /* call */).u32(2 /* RPC version */).u32(program).u32(version);
    message.u32(procedure).u32(0).u32(0).u32(0).u32(0); // no credentials, no verifier
    std::string record = message.data() + arguments;
    const std::uint32_t mark = 0x80000000u | std::uint32_t(record.size() - 4);
    for (int i = 0; i < 4; ++i) {
        record[std::size_t(i)] = char(mark >> (24 - 8 * i));
    }
    return record;
}

bool RecordInbox::take(std::string *record)
{
    for (;;) {
        if (m_overflowed || m_bytes.size() - m_scanned < 4) {
            return false;
        }
        const std::uint32_t mark = bigEndian(m_bytes.data() + m_scanned);
        const std::size_t length = mark & 0x7fffffffu;
        // Headers count: endless empty fragments end like one huge record.
        if (m_recordBytes + 4 + length > m_maxRecord) {
            m_overflowed = true;
            return false;
        }
        if (m_bytes.size() - m_scanned - 4 < length) {
            return false;
        }
        m_scanned += 4 + length;
        m_recordBytes += 4 + length;
        if (mark & 0x80000000u) {
            break;
        }
    }
    record->clear();
    record->reserve(m_recordBytes);
    for (std::size_t at = 0; at < m_scanned;) {
        const std::size_t length = bigEndian(m_bytes.data() + at) & 0x7fffffffu;
        record->append(m_bytes, at + 4, length);
        at += 4 + length;
    }
    m_bytes.erase(0, m_scanned);
    m_scanned = m_recordBytes = 0;
    return true;
}

ReplyKind decodeReply(const std::string &record, std::uint32_t xid, std::string *results)
{
    XdrReader in(record);
    const std::uint32_t replyXid = in.u32();
    const std::uint32_t type = in.u32();
    if (!in.ok() || type != 1) {
        return ReplyKind::Garbage;
    }
    if (replyXid != xid) {
        return ReplyKind::OtherXid;
    }
    if (in.u32() != 0) { // MSG_DENIED
        return ReplyKind::Refused;
    }
    in.u32();                        // verifier flavour
    in.opaque();                     // verifier body
    if (in.u32() != 0 || !in.ok()) { // accept_stat other than SUCCESS
        return ReplyKind::Refused;
    }
    *results = record.substr(in.position());
    return ReplyKind::Results;
}

CreateLinkResult decodeCreateLink(const std::string &results)
{
    XdrReader out(results);
    CreateLinkResult r;
    r.error = out.u32();
    r.link = out.u32();
    out.u32(); // abort port: aborts are not offered
    r.maxRecvSize = out.u32();
    r.ok = out.ok();
    return r;
}

WriteResult decodeWrite(const std::string &results, std::uint32_t sent)
{
    XdrReader out(results);
    WriteResult r;
    r.error = out.u32();
    r.accepted = out.u32();
    r.ok = out.ok() && r.accepted <= sent;
    return r;
}

ReadResult decodeRead(const std::string &results, std::uint32_t requested)
{
    XdrReader out(results);
    ReadResult r;
    r.error = out.u32();
    r.reason = out.u32();
    const auto [bytes, size] = out.opaque();
    r.ok = out.ok() && size <= requested;
    if (r.ok) {
        r.data = bytes;
        r.size = size;
    }
    return r;
}

std::string getPortArguments()
{
    XdrWriter args;
    args.u32(kCoreProgram).u32(kCoreVersion).u32(kProtocolTcp).u32(0);
    return args.data();
}

std::uint16_t decodeGetPort(const std::string &results)
{
    XdrReader out(results);
    const std::uint32_t found = out.u32();
    return out.ok() && found <= 65535 ? std::uint16_t(found) : 0;
}

std::uint16_t decodeBroadcastReply(const char *data, std::size_t size, std::uint32_t xid)
{
    std::string results;
    return decodeReply(std::string(data, size), xid, &results) == ReplyKind::Results ? decodeGetPort(results)
                                                                                     : 0;
}

} // namespace tsvisa
