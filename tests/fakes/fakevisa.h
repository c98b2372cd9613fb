// In-memory stand-in for the VISA library.
//
// Unit tests link this instead of a real VISA. Tests list the resources the
// search finds (interface type, host and device names, "*IDN?" reply,
// statuses, reply delay), run the panel code, then assert on the call log,
// on the peak number of calls in flight at once and on what was opened and
// closed. Safe to call from many threads at once.
//
// Sessions opened on a resource answer VI_ATTR_INTF_TYPE, VI_ATTR_SLOT,
// VI_ATTR_TCPIP_HOSTNAME and VI_ATTR_TCPIP_DEVICE_NAME from the resource.
// Any other session (such as one the driver opened) answers from
// `foreignSession`.
//
// The unit: a session opened while the real driver runs, whatever its
// descriptor, is one on a simulated unit (numbered by driver().nextSession,
// see fakedriver.h). Its writes are cut into messages at LF, as a raw socket
// cuts them, and run on the unit; its reads hand out the replies, each with
// its LF, the last piece with the end flag (VI_SUCCESS).
#pragma once

#include "instrument.h"
#include "visa.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

namespace fake {

inline thread_local bool driverRunning = false; // set by the recording entry points

struct VisaResource
{
    QString descriptor;
    ViUInt16 intfType = VI_INTF_TCPIP;
    ViUInt16 slot = 0;
    QString host;
    QString deviceName = QStringLiteral("inst0");
    QByteArray idnReply; // the whole reply to "*IDN?"
    ViStatus openStatus = VI_SUCCESS;
    ViStatus intfStatus = VI_SUCCESS; // of reading VI_ATTR_INTF_TYPE
    ViStatus writeStatus = VI_SUCCESS;
    ViStatus readStatus = VI_SUCCESS;
    int replyDelayMs = 0; // spent inside viRead
};

struct SessionAttributes
{
    ViUInt16 intfType = VI_INTF_TCPIP;
    ViUInt16 slot = 0;
    QString host;
    ViStatus status = VI_SUCCESS; // of every attribute read
};

class Visa
{
public:
    static Visa &instance();
    void reset(); // no resources, empty log, default statuses

    QList<VisaResource> resources;
    ViStatus openDefaultRMStatus = VI_SUCCESS;
    ViStatus findStatus = VI_SUCCESS; // VI_ERROR_RSRC_NFOUND when no resource
    SessionAttributes foreignSession;

    // The log: "viOpen(TCPIP0::1.2.3.4::INSTR)", "viWrite(TCPIP0::..., *IDN?)",
    // "viRead(TCPIP0::...)", "viClose(TCPIP0::...)", "viGetAttribute(<session
    // or descriptor>, 0x3fff0171)" and so on, in call order.
    QStringList calls() const;
    int count(const QString &prefix) const; // calls starting with prefix
    int peakInFlight() const;               // most viOpen..viClose spans open at once
    int openSessions() const;               // sessions not yet closed (rm and lists included)

    void plugUnit(const sim::UnitOptions &options); // a new unit: driver().reset() calls it
    // Runs messages (ended by LF) on the unit outside any session and gives
    // their replies joined by LF; a message the unit refuses stops the test.
    QByteArray scpi(const QByteArray &messages);
    // Replies given instead of the unit's, by message ("MEM:PRES:NAME? 0"): a
    // unit that says what the simulated one never would. Cleared by plugUnit.
    QMap<QByteArray, QByteArray> unitReplies;

    // Used by the vi* entry points.
    ViStatus openDefaultRM(ViPSession vi);
    ViStatus findRsrc(ViSession rm, ViConstString expr, ViPFindList list, ViPUInt32 count, ViChar desc[]);
    ViStatus findNext(ViFindList list, ViChar desc[]);
    ViStatus open(ViSession rm, ViConstRsrc name, ViPSession vi);
    ViStatus close(ViObject vi);
    ViStatus getAttribute(ViObject vi, ViAttr attribute, void *value);
    ViStatus write(ViSession vi, ViConstBuf buf, ViUInt32 count, ViPUInt32 written);
    ViStatus read(ViSession vi, ViPBuf buf, ViUInt32 count, ViPUInt32 got);

private:
    enum class Kind { ResourceManager, FindList, Instrument, Unit };
    struct Session
    {
        explicit Session(Kind kind = Kind::Instrument) : kind(kind) {}
        Kind kind;
        int resource = -1; // instrument sessions
        int nextFound = 0; // find lists
        bool queried = false;
        sim::MessageFramer framer{sim::MessageFramer::Mode::Newline}; // unit sessions
        sim::Session unitSession;
        QByteArray replies;
    };
    void log(const QString &entry);
    QString nameOf(ViObject vi) const;

    mutable QMutex m_mutex;
    QStringList m_calls;
    QMap<ViObject, Session> m_sessions;
    ViObject m_nextSession = 1000;
    int m_inFlight = 0;
    int m_peakInFlight = 0;
    std::unique_ptr<sim::Instrument> m_unit = std::make_unique<sim::Instrument>(sim::UnitOptions());
};

inline Visa &visa() { return Visa::instance(); }

} // namespace fake
