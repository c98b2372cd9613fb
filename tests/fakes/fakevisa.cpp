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

} // namespace

Visa &Visa::instance()
{
    static Visa visa;
    return visa;
}

void Visa::reset()
{
    QMutexLocker lock(&m_mutex);
    resources.clear();
    driverSession = Attributes();
    m_calls.clear();
    m_sessions.clear();
    m_inFlight = 0;
    m_peakInFlight = 0;
}

QStringList Visa::calls() const
{
    QMutexLocker lock(&m_mutex);
    return m_calls;
}

int Visa::peakInFlight() const
{
    QMutexLocker lock(&m_mutex);
    return m_peakInFlight;
}

int Visa::openSessions() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_sessions.size());
}

void Visa::log(const char *function, ViObject vi, const QString &rest)
{
    const QString name = m_sessions.contains(vi) ? m_sessions.value(vi).name : QString::number(vi);
    m_calls << QStringLiteral("%1(%2%3)").arg(QLatin1String(function), name, rest.isNull() ? "" : ", " + rest);
}

void Visa::plugUnit(const sim::UnitOptions &options)
{
    QMutexLocker lock(&m_mutex);
    m_unit = std::make_unique<sim::Instrument>(options);
    unitReplies.clear();
}

QByteArray Visa::scpi(const QByteArray &messages)
{
    QMutexLocker lock(&m_mutex);
    sim::Session session;
    QList<sim::FramedMessage> framed;
    sim::MessageFramer(sim::MessageFramer::Mode::Newline)
        .feed((messages + '\n').constData(), messages.size() + 1, true, framed);
    QByteArrayList replies;
    for (const sim::FramedMessage &message : framed) {
        if (const auto reply = m_unit->execute(session, message)) {
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
    Visa &v = visa();
    QMutexLocker lock(&v.m_mutex);
    v.m_calls << QStringLiteral("viOpenDefaultRM()");
    *vi = v.m_nextSession++;
    v.m_sessions[*vi].name = QStringLiteral("rm");
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viFindRsrc(ViSession rm, ViConstString expr, ViPFindList list, ViPUInt32 count,
                             ViChar desc[])
{
    Visa &v = visa();
    QMutexLocker lock(&v.m_mutex);
    v.log("viFindRsrc", rm, QString::fromLatin1(expr));
    const QRegularExpression pattern =
        QRegularExpression::fromWildcard(QString::fromLatin1(expr), Qt::CaseInsensitive);
    QStringList matches;
    for (const VisaResource &resource : v.resources) {
        if (pattern.match(resource.descriptor).hasMatch()) {
            matches << resource.descriptor;
        }
    }
    *list = v.m_nextSession++;
    v.m_sessions[*list].name = QStringLiteral("findlist");
    *count = ViUInt32(matches.size());
    copyText(desc, matches.value(0).toLatin1());
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viFindNext(ViFindList list, ViChar desc[])
{
    Visa &v = visa();
    QMutexLocker lock(&v.m_mutex);
    v.log("viFindNext", list);
    auto it = v.m_sessions.find(list);
    if (it == v.m_sessions.end() || it->nextFound >= v.resources.size()) {
        return VI_ERROR_RSRC_NFOUND;
    }
    copyText(desc, v.resources.at(it->nextFound++).descriptor.toLatin1());
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viOpen(ViSession rm, ViConstRsrc name, ViAccessMode, ViUInt32, ViPSession vi)
{
    Visa &v = visa();
    QMutexLocker lock(&v.m_mutex);
    const QString descriptor = QString::fromLatin1(name);
    v.m_calls << QStringLiteral("viOpen(%1)").arg(descriptor);
    if (!v.m_sessions.contains(rm)) {
        return VI_ERROR_INV_OBJECT;
    }
    int resource = -1;
    if (!driverRunning) {
        resource = int(std::find_if(v.resources.cbegin(), v.resources.cend(),
                                    [&](const VisaResource &r) { return r.descriptor == descriptor; })
                       - v.resources.cbegin());
        if (resource == v.resources.size()) {
            return VI_ERROR_RSRC_NFOUND;
        }
    }
    if (resource >= 0 && v.resources.at(resource).openStatus < 0) {
        return v.resources.at(resource).openStatus;
    }
    *vi = driverRunning ? driver().nextSession++ : v.m_nextSession++;
    Visa::Session &session = v.m_sessions[*vi];
    session.name = descriptor;
    session.resource = resource;
    if (resource >= 0) {
        session.framer = sim::MessageFramer(sim::MessageFramer::Mode::EndFlag);
        v.m_peakInFlight = std::max(v.m_peakInFlight, ++v.m_inFlight);
    }
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viClose(ViObject vi)
{
    Visa &v = visa();
    QMutexLocker lock(&v.m_mutex);
    v.log("viClose", vi);
    const auto it = v.m_sessions.constFind(vi);
    if (it == v.m_sessions.cend()) {
        return VI_ERROR_INV_OBJECT;
    }
    v.m_inFlight -= it->resource >= 0 ? 1 : 0;
    v.m_sessions.erase(it);
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viGetAttribute(ViObject vi, ViAttr attribute, void *value)
{
    Visa &v = visa();
    QMutexLocker lock(&v.m_mutex);
    v.log("viGetAttribute", vi, QStringLiteral("0x%1").arg(attribute, 8, 16, QLatin1Char('0')));
    const int resource = v.m_sessions.value(vi).resource;
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
    Visa &v = visa();
    QMutexLocker lock(&v.m_mutex);
    const QByteArray data(reinterpret_cast<const char *>(buf), int(count));
    v.log("viWrite", vi, QString::fromLatin1(data));
    auto it = v.m_sessions.find(vi);
    if (it == v.m_sessions.end()) {
        return VI_ERROR_INV_OBJECT;
    }
    QList<sim::FramedMessage> messages;
    it->framer.feed(data.constData(), data.size(), it->resource >= 0, messages);
    for (const sim::FramedMessage &message : messages) {
        std::optional<QByteArray> reply;
        if (it->resource >= 0 && message.bytes == "*IDN?") {
            const QByteArray idn = v.resources.at(it->resource).idnReply;
            reply = idn.isEmpty() ? std::nullopt : std::optional<QByteArray>(idn);
        } else if (v.unitReplies.contains(message.bytes)) {
            reply = v.unitReplies.value(message.bytes);
        } else {
            reply = v.m_unit->execute(it->unitSession, message);
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
        QMutexLocker lock(&v.m_mutex);
        v.log("viRead", vi, QString::number(count));
        const auto it = v.m_sessions.constFind(vi);
        if (it == v.m_sessions.cend()) {
            return VI_ERROR_INV_OBJECT;
        }
        delayMs = it->resource >= 0 ? v.resources.at(it->resource).replyDelayMs : 0;
    }
    // Outside the lock, so that slow units overlap as they would on a network.
    QThread::msleep(ulong(delayMs));
    QMutexLocker lock(&v.m_mutex);
    const auto it = v.m_sessions.find(vi);
    if (it == v.m_sessions.end()) {
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
    copyText(desc, QStringLiteral("Fake VISA status 0x%1").arg(quint32(status), 8, 16, QLatin1Char('0')).toLatin1());
    return VI_SUCCESS;
}

} // extern "C"
