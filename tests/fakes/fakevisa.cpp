#include "fakevisa.h"

#include "fakedriver.h"

#include <QMutexLocker>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <optional>

namespace fake {

namespace {

void copyText(ViChar *dst, const QByteArray &text)
{
    const int n = std::min(int(text.size()), VI_FIND_BUFLEN - 1);
    std::memcpy(dst, text.constData(), size_t(n));
    dst[n] = '\0';
}

// Counts the call and holds the lock for the rest of it.
struct Call : QMutexLocker<QMutex>
{
    Call() : QMutexLocker(&visa().mutex) { ++visa().calls; }
};

} // namespace

Visa &Visa::instance()
{
    static Visa visa;
    return visa;
}

void Visa::reset()
{
    QMutexLocker lock(&mutex);
    resources.clear();
    driverSession = Attributes();
    sessions.clear();
    calls = inFlight = peakInFlight = 0;
    onFind = nullptr;
}

void Visa::plugUnit(const sim::UnitOptions &options)
{
    QMutexLocker lock(&mutex);
    unit = std::make_unique<sim::Instrument>(options);
    unitReplies.clear();
}

QByteArray Visa::scpi(const QByteArray &messages)
{
    QMutexLocker lock(&mutex);
    sim::Session session;
    QList<sim::FramedMessage> framed;
    sim::MessageFramer(sim::MessageFramer::Mode::Newline)
        .feed((messages + '\n').constData(), messages.size() + 1, true, framed);
    QByteArrayList replies;
    for (const sim::FramedMessage &message : framed) {
        if (const auto reply = unit->execute(session, message)) {
            replies << *reply;
        }
        if (session.hasErrors()) {
            qFatal("the unit refused %s: %d", message.bytes.constData(), session.takeError());
        }
    }
    return replies.join('\n');
}

} // namespace fake

using namespace fake;

extern "C" {

ViStatus _VI_FUNC viOpenDefaultRM(ViPSession vi)
{
    Call call;
    *vi = visa().nextSession++;
    visa().sessions[*vi];
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viFindRsrc(ViSession, ViConstString expr, ViPFindList list, ViPUInt32 count, ViChar desc[])
{
    if (visa().onFind) {
        visa().onFind();
    }
    Call call;
    Visa &v = visa();
    const QRegularExpression pattern =
        QRegularExpression::fromWildcard(QString::fromLatin1(expr), Qt::CaseInsensitive);
    QStringList matches;
    for (const VisaResource &resource : v.resources) {
        if (pattern.match(resource.descriptor).hasMatch()) {
            matches << resource.descriptor;
        }
    }
    *list = v.nextSession++;
    v.sessions[*list];
    *count = ViUInt32(matches.size());
    copyText(desc, matches.value(0).toLatin1());
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viFindNext(ViFindList list, ViChar desc[])
{
    Call call;
    Visa &v = visa();
    auto it = v.sessions.find(list);
    if (it == v.sessions.end() || it->nextFound >= v.resources.size()) {
        return VI_ERROR_RSRC_NFOUND;
    }
    copyText(desc, v.resources.at(it->nextFound++).descriptor.toLatin1());
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viOpen(ViSession rm, ViConstRsrc name, ViAccessMode, ViUInt32, ViPSession vi)
{
    Call call;
    Visa &v = visa();
    if (!v.sessions.contains(rm)) {
        return VI_ERROR_INV_OBJECT;
    }
    const auto listed = std::find_if(v.resources.cbegin(), v.resources.cend(),
                                     [&](const VisaResource &r) { return r.descriptor == name; });
    const int resource = driverRunning ? -1 : int(listed - v.resources.cbegin());
    if (resource == v.resources.size()) {
        return VI_ERROR_RSRC_NFOUND;
    }
    if (resource >= 0 && listed->openStatus < 0) {
        return listed->openStatus;
    }
    *vi = driverRunning ? driver().nextSession++ : v.nextSession++;
    Visa::Session &session = v.sessions[*vi];
    session.resource = resource;
    if (resource >= 0) {
        session.framer = sim::MessageFramer(sim::MessageFramer::Mode::EndFlag);
        v.peakInFlight = std::max(v.peakInFlight, ++v.inFlight);
    }
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viClose(ViObject vi)
{
    Call call;
    Visa &v = visa();
    const auto it = v.sessions.constFind(vi);
    if (it == v.sessions.cend()) {
        return VI_ERROR_INV_OBJECT;
    }
    v.inFlight -= it->resource >= 0 ? 1 : 0;
    v.sessions.erase(it);
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viGetAttribute(ViObject vi, ViAttr attribute, void *value)
{
    Call call;
    Visa &v = visa();
    const int resource = v.sessions.value(vi).resource;
    const Attributes answer = resource >= 0 ? v.resources.at(resource).attributes : v.driverSession;
    switch (attribute) {
    case VI_ATTR_INTF_TYPE:
        *static_cast<ViUInt16 *>(value) = answer.intfType;
        return VI_SUCCESS;
    case VI_ATTR_SLOT:
        *static_cast<ViInt16 *>(value) = ViInt16(answer.slot);
        return VI_SUCCESS;
    case VI_ATTR_TCPIP_HOSTNAME:
        copyText(static_cast<ViChar *>(value), answer.host.toLatin1());
        return VI_SUCCESS;
    case VI_ATTR_TCPIP_DEVICE_NAME:
        copyText(static_cast<ViChar *>(value), "inst0");
        return VI_SUCCESS;
    default:
        return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus _VI_FUNC viWrite(ViSession vi, ViConstBuf buf, ViUInt32 count, ViPUInt32 written)
{
    Call call;
    Visa &v = visa();
    auto it = v.sessions.find(vi);
    if (it == v.sessions.end()) {
        return VI_ERROR_INV_OBJECT;
    }
    QList<sim::FramedMessage> messages;
    it->framer.feed(reinterpret_cast<const char *>(buf), int(count), it->resource >= 0, messages);
    for (const sim::FramedMessage &message : messages) {
        std::optional<QByteArray> reply;
        if (it->resource >= 0 && message.bytes == "*IDN?") {
            const QByteArray idn = v.resources.at(it->resource).idnReply;
            reply = idn.isEmpty() ? std::nullopt : std::optional<QByteArray>(idn);
        } else if (v.unitReplies.contains(message.bytes)) {
            reply = v.unitReplies.value(message.bytes);
        } else {
            reply = v.unit->execute(it->unitSession, message);
        }
        it->replies += reply ? *reply + '\n' : QByteArray();
    }
    *written = count;
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viRead(ViSession vi, ViPBuf buf, ViUInt32 count, ViPUInt32 got)
{
    Visa &v = visa();
    int delayMs = 0;
    {
        Call call;
        const int resource = v.sessions.value(vi).resource;
        delayMs = resource >= 0 ? v.resources.at(resource).replyDelayMs : 0;
    }
    // Outside the lock, so that slow units overlap as they would on a network.
    QThread::msleep(ulong(delayMs));
    QMutexLocker lock(&v.mutex);
    const auto it = v.sessions.find(vi);
    if (it == v.sessions.end()) {
        return VI_ERROR_INV_OBJECT;
    }
    *got = std::min(count, ViUInt32(it->replies.size()));
    std::memcpy(buf, it->replies.constData(), *got);
    it->replies.remove(0, int(*got));
    return *got == 0 ? VI_ERROR_TMO : it->replies.isEmpty() ? VI_SUCCESS : VI_SUCCESS_MAX_CNT;
}

ViStatus _VI_FUNC viSetAttribute(ViObject, ViAttr, ViAttrState) { return VI_SUCCESS; }

ViStatus _VI_FUNC viStatusDesc(ViObject, ViStatus status, ViChar desc[])
{
    copyText(
        desc,
        QStringLiteral("Fake VISA status 0x%1").arg(quint32(status), 8, 16, QLatin1Char('0')).toLatin1());
    return VI_SUCCESS;
}

} // extern "C"
