// In-memory stand-in for the VISA library, safe to call from many threads.
//
// Tests list the resources the search finds. A session opened on one takes
// each write as one message (as VXI-11 does), answers "*IDN?" with the
// resource's reply, spends its delay in every read and gives the resource's
// attributes. A session the real driver opens, whatever its descriptor, is
// numbered by driver().nextSession, cuts its writes at LF (as a raw socket
// does) and gives `driverSession`'s attributes. Other messages run on the
// simulated unit that driver().reset() plugs in; reads hand out the replies,
// each with its LF; nothing to read is a unit that never answers (VI_ERROR_TMO).
#pragma once

#include "instrument.h"
#include "visa.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>

#include <functional>
#include <memory>

namespace fake {

inline thread_local bool driverRunning = false; // set by the recording entry points

struct Attributes
{
    ViUInt16 intfType = VI_INTF_TCPIP;
    ViUInt16 slot = 0;
    QString host; // the device name is always inst0
};

struct VisaResource
{
    QString descriptor;
    Attributes attributes;
    QByteArray idnReply; // empty: never answers
    ViStatus openStatus = VI_SUCCESS;
    int replyDelayMs = 0; // spent inside viRead
};

class Visa
{
public:
    static Visa &instance();
    void reset(); // no resources, nothing counted

    QList<VisaResource> resources;
    Attributes driverSession;

    void plugUnit(const sim::UnitOptions &options); // a new unit: driver().reset() calls it
    // Runs messages (ended by LF) on the unit outside any session and gives
    // their replies joined by LF; a message the unit refuses stops the test.
    QByteArray scpi(const QByteArray &messages);
    // Replies given instead of the unit's, by message ("MEM:PRES:NAME? 0"): a
    // unit that says what the simulated one never would. Cleared by plugUnit.
    QMap<QByteArray, QByteArray> unitReplies;

    // What a test reads once the calls are done: vi* calls made, most
    // sessions on listed resources open at once, sessions not yet closed.
    int calls = 0;
    std::function<void()> onFind; // called as a search begins
    int peakInFlight = 0;
    int openSessions() const { return int(sessions.size()); }

    // The vi* entry points' state, under `mutex`.
    struct Session
    {
        int resource = -1; // on a listed resource
        int nextFound = 1; // find lists
        sim::MessageFramer framer{sim::MessageFramer::Mode::Newline};
        sim::Session unitSession;
        QByteArray replies;
    };
    QMutex mutex;
    QMap<ViObject, Session> sessions;
    ViObject nextSession = 1000;
    int inFlight = 0;
    std::unique_ptr<sim::Instrument> unit = std::make_unique<sim::Instrument>(sim::UnitOptions());
};

inline Visa &visa() { return Visa::instance(); }

} // namespace fake
