// In-memory stand-in for the VISA library.
//
// The panel's tests link this instead of a real VISA. Tests list the
// resources the search finds, run the panel code, then look at how many
// calls were made, how many sessions were open at once and what was left
// open. Safe to call from many threads at once.
//
// Every session but the resource manager's and the find lists' is one kind:
// its messages run on the simulated unit, which driver().reset() plugs in
// (fakedriver.h), and its reads hand out the replies, each with its LF, the
// last piece with the end flag; nothing to read is a unit that never
// answers (VI_ERROR_TMO). A session opened on a listed resource takes each
// write as one message, as VXI-11 does, answers "*IDN?" with the resource's
// reply instead of the unit's, spends its delay in every read and gives the
// resource's attributes. One opened while the real driver runs, whatever
// its descriptor, is numbered by driver().nextSession, cuts its writes at
// LF, as a raw socket does, and gives `driverSession`'s attributes.
#pragma once

#include "instrument.h"
#include "visa.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>

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
