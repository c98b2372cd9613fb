// ONC RPC over TCP as the unit's VXI-11 side needs it: record marking,
// XDR values and call/reply messages. No I/O.
#pragma once

#include <QByteArray>

namespace sim::rpc {

constexpr quint32 kPortmapProgram = 100000;
constexpr quint32 kCoreProgram = 395183;
constexpr quint32 kCoreVersion = 1;
constexpr quint32 kProtocolTcp = 6;
// The largest records each side takes, fragment headers included: a core
// channel call carries at most one program message with its block; a
// portmapper call a few short fields.
constexpr qsizetype kMaxCoreRecord = 96 * 1024;
constexpr qsizetype kMaxPortmapRecord = 2048;

enum AcceptStat : quint32 {
    Success = 0,
    ProgUnavail = 1,
    ProgMismatch = 2,
    ProcUnavail = 3,
    GarbageArgs = 4,
};

// Joins record-marked fragments into records.
class RecordReader
{
public:
    enum Result { NeedMore, Record, Broken };
    explicit RecordReader(qsizetype maxRecord = kMaxCoreRecord) : m_maxRecord(maxRecord) {}
    void append(const QByteArray &bytes) { m_buffer += bytes; }
    // Takes the next complete record out of the buffer. Broken: the record
    // would pass the limit; the connection cannot go on.
    Result next(QByteArray *record);
    // Part of a record has arrived and its end not yet.
    bool midRecord() const { return m_buffer.size() > 0 || m_recordBytes > 0; }

private:
    qsizetype m_maxRecord;
    QByteArray m_buffer;
    QByteArray m_record;
    qsizetype m_recordBytes = 0; // of the record so far, headers included
};

QByteArray recordMark(const QByteArray &record); // one last fragment

class XdrReader
{
public:
    explicit XdrReader(const QByteArray &data, qsizetype from = 0) : m_data(data), m_pos(from) {}
    quint32 u32();
    qint32 i32() { return qint32(u32()); }
    QByteArray opaque(quint32 maxLength);
    bool ok() const { return m_ok; }
    qsizetype position() const { return m_pos; }

private:
    const QByteArray &m_data;
    qsizetype m_pos;
    bool m_ok = true;
};

class XdrWriter
{
public:
    XdrWriter &u32(quint32 value);
    XdrWriter &opaque(const QByteArray &data);
    const QByteArray &data() const { return m_data; }

private:
    QByteArray m_data;
};

struct Call
{
    quint32 xid = 0, program = 0, version = 0, procedure = 0;
    qsizetype argumentsAt = 0; // offset of the arguments in the record
};

enum class Decoded { Call, NotACall, WrongRpcVersion };
Decoded decodeCall(const QByteArray &record, Call *call);

QByteArray acceptedReply(quint32 xid, AcceptStat stat, const QByteArray &results = {});
QByteArray mismatchReply(quint32 xid, quint32 low, quint32 high); // PROG_MISMATCH
QByteArray rpcVersionMismatch(quint32 xid);                       // MSG_DENIED

} // namespace sim::rpc
