#include "oncrpc.h"

#include <QtEndian>

namespace sim::rpc {

RecordReader::Result RecordReader::next(QByteArray *record)
{
    qsizetype pos = 0;
    Result result = NeedMore;
    while (m_buffer.size() - pos >= 4) {
        const quint32 mark = qFromBigEndian<quint32>(m_buffer.constData() + pos);
        const qsizetype length = mark & 0x7fffffff;
        // Headers count: endless empty fragments end like one huge record.
        if (m_recordBytes + 4 + length > m_maxRecord) {
            return Broken;
        }
        if (m_buffer.size() - pos < 4 + length) {
            break;
        }
        m_record.append(m_buffer.constData() + pos + 4, length);
        m_recordBytes += 4 + length;
        pos += 4 + length;
        if (mark & 0x80000000u) {
            *record = m_record;
            m_record.clear();
            m_recordBytes = 0;
            result = Record;
            break;
        }
    }
    m_buffer.remove(0, pos); // once per call: many tiny fragments cost no more than one
    return result;
}

QByteArray recordMark(const QByteArray &record)
{
    QByteArray out(4, 0);
    qToBigEndian<quint32>(0x80000000u | quint32(record.size()), out.data());
    return out + record;
}

quint32 XdrReader::u32()
{
    if (!m_ok || m_data.size() - m_pos < 4) {
        m_ok = false;
        return 0;
    }
    const quint32 v = qFromBigEndian<quint32>(m_data.constData() + m_pos);
    m_pos += 4;
    return v;
}

QByteArray XdrReader::opaque(quint32 maxLength)
{
    const quint32 length = u32();
    const qsizetype padded = (qsizetype(length) + 3) & ~qsizetype(3);
    if (!m_ok || length > maxLength || m_data.size() - m_pos < padded) {
        m_ok = false;
        return {};
    }
    const QByteArray v = m_data.mid(m_pos, length);
    m_pos += padded;
    return v;
}

XdrWriter &XdrWriter::u32(quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    m_data.append(bytes, 4);
    return *this;
}

XdrWriter &XdrWriter::opaque(const QByteArray &data)
{
    u32(quint32(data.size()));
    m_data += data;
    m_data.append((4 - data.size() % 4) % 4, '\0');
    return *this;
}

Decoded decodeCall(const QByteArray &record, Call *call)
{
    XdrReader r(record);
    call->xid = r.u32();
    if (r.u32() != 0 || !r.ok()) {
        return Decoded::NotACall;
    }
    if (r.u32() != 2) {
        return r.ok() ? Decoded::WrongRpcVersion : Decoded::NotACall;
    }
    call->program = r.u32();
    call->version = r.u32();
    call->procedure = r.u32();
    for (int auth = 0; auth < 2; ++auth) { // credentials, verifier
        r.u32();
        r.opaque(400);
    }
    call->argumentsAt = r.position();
    return r.ok() ? Decoded::Call : Decoded::NotACall;
}

namespace {
XdrWriter acceptedHeader(quint32 xid, AcceptStat stat)
{
    XdrWriter w;
    w.u32(xid).u32(1).u32(0); // REPLY, MSG_ACCEPTED
    w.u32(0).u32(0);          // AUTH_NONE verifier
    w.u32(stat);
    return w;
}
} // namespace

QByteArray acceptedReply(quint32 xid, AcceptStat stat, const QByteArray &results)
{
    return acceptedHeader(xid, stat).data() + results;
}

QByteArray mismatchReply(quint32 xid, quint32 low, quint32 high)
{
    return acceptedHeader(xid, ProgMismatch).u32(low).u32(high).data();
}

QByteArray rpcVersionMismatch(quint32 xid)
{
    XdrWriter w;
    w.u32(xid).u32(1).u32(1); // REPLY, MSG_DENIED
    w.u32(0).u32(2).u32(2);   // RPC_MISMATCH, low, high
    return w.data();
}

} // namespace sim::rpc
