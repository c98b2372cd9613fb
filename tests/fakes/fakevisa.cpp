#include "fakevisa.h"

#include "fakedriver.h"

#include <QMutexLocker>
#include <QRegularExpression>
#include <QThread>

#include <cstring>

namespace fake {

namespace {

void copyText(ViChar *dst, const QByteArray &text, int size = VI_FIND_BUFLEN)
{
    const int n = std::min(int(text.size()), size - 1);
    std::memcpy(dst, text.constData(), size_t(n));
    dst[n] = '\0';
}

QString hex(ViAttr attribute) { return QStringLiteral("0x%1").arg(attribute, 8, 16, QLatin1Char('0')); }

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
    openDefaultRMStatus = VI_SUCCESS;
    findStatus = VI_SUCCESS;
    foreignSession = SessionAttributes();
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

int Visa::count(const QString &prefix) const
{
    QMutexLocker lock(&m_mutex);
    int n = 0;
    for (const QString &call : m_calls) {
        n += call.startsWith(prefix) ? 1 : 0;
    }
    return n;
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

void Visa::log(const QString &entry) { m_calls << entry; }

QString Visa::nameOf(ViObject vi) const
{
    const auto it = m_sessions.constFind(vi);
    if (it == m_sessions.cend()) {
        return QString::number(vi);
    }
    switch (it->kind) {
    case Kind::ResourceManager:
        return QStringLiteral("rm");
    case Kind::FindList:
        return QStringLiteral("findlist");
    case Kind::Instrument:
        return resources.value(it->resource).descriptor;
    case Kind::Unit:
        break;
    }
    return QString::number(vi);
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

ViStatus Visa::openDefaultRM(ViPSession vi)
{
    QMutexLocker lock(&m_mutex);
    log(QStringLiteral("viOpenDefaultRM()"));
    if (openDefaultRMStatus < 0) {
        *vi = 0;
        return openDefaultRMStatus;
    }
    *vi = m_nextSession++;
    m_sessions.insert(*vi, Session{Kind::ResourceManager});
    return openDefaultRMStatus;
}

ViStatus Visa::findRsrc(ViSession rm, ViConstString expr, ViPFindList list, ViPUInt32 count, ViChar desc[])
{
    QMutexLocker lock(&m_mutex);
    log(QStringLiteral("viFindRsrc(%1, %2)").arg(nameOf(rm), QString::fromLatin1(expr)));
    if (findStatus < 0) {
        return findStatus;
    }
    const QRegularExpression pattern =
        QRegularExpression::fromWildcard(QString::fromLatin1(expr), Qt::CaseInsensitive);
    QList<int> matches;
    for (int i = 0; i < resources.size(); ++i) {
        if (pattern.match(resources.at(i).descriptor).hasMatch()) {
            matches << i;
        }
    }
    *list = m_nextSession++;
    Session session{Kind::FindList};
    session.nextFound = 1;
    m_sessions.insert(*list, session);
    *count = ViUInt32(matches.size());
    copyText(desc, matches.isEmpty() ? QByteArray() : resources.at(matches.first()).descriptor.toLatin1());
    return VI_SUCCESS;
}

ViStatus Visa::findNext(ViFindList list, ViChar desc[])
{
    QMutexLocker lock(&m_mutex);
    log(QStringLiteral("viFindNext()"));
    auto it = m_sessions.find(list);
    if (it == m_sessions.end() || it->kind != Kind::FindList) {
        return VI_ERROR_INV_OBJECT;
    }
    if (it->nextFound >= resources.size()) {
        return VI_ERROR_RSRC_NFOUND;
    }
    copyText(desc, resources.at(it->nextFound++).descriptor.toLatin1());
    return VI_SUCCESS;
}

ViStatus Visa::open(ViSession rm, ViConstRsrc name, ViPSession vi)
{
    QMutexLocker lock(&m_mutex);
    const QString descriptor = QString::fromLatin1(name);
    log(QStringLiteral("viOpen(%1)").arg(descriptor));
    if (!m_sessions.contains(rm)) {
        return VI_ERROR_INV_OBJECT;
    }
    if (driverRunning) {
        *vi = driver().nextSession++;
        m_sessions.insert(*vi, Session{Kind::Unit});
        return VI_SUCCESS;
    }
    for (int i = 0; i < resources.size(); ++i) {
        if (resources.at(i).descriptor != descriptor) {
            continue;
        }
        if (resources.at(i).openStatus < 0) {
            return resources.at(i).openStatus;
        }
        *vi = m_nextSession++;
        Session session{Kind::Instrument};
        session.resource = i;
        m_sessions.insert(*vi, session);
        m_peakInFlight = std::max(m_peakInFlight, ++m_inFlight);
        return resources.at(i).openStatus;
    }
    return VI_ERROR_RSRC_NFOUND;
}

ViStatus Visa::close(ViObject vi)
{
    QMutexLocker lock(&m_mutex);
    log(QStringLiteral("viClose(%1)").arg(nameOf(vi)));
    const auto it = m_sessions.constFind(vi);
    if (it == m_sessions.cend()) {
        return VI_ERROR_INV_OBJECT;
    }
    if (it->kind == Kind::Instrument) {
        --m_inFlight;
    }
    m_sessions.erase(it);
    return VI_SUCCESS;
}

ViStatus Visa::getAttribute(ViObject vi, ViAttr attribute, void *value)
{
    QMutexLocker lock(&m_mutex);
    log(QStringLiteral("viGetAttribute(%1, %2)").arg(nameOf(vi), hex(attribute)));
    const auto it = m_sessions.constFind(vi);
    SessionAttributes answer = foreignSession;
    QString deviceName = QStringLiteral("inst0");
    if (it != m_sessions.cend() && it->kind == Kind::Instrument) {
        const VisaResource &resource = resources.at(it->resource);
        answer.intfType = resource.intfType;
        answer.slot = resource.slot;
        answer.host = resource.host;
        answer.status = attribute == VI_ATTR_INTF_TYPE ? resource.intfStatus : VI_SUCCESS;
        deviceName = resource.deviceName;
    }
    if (answer.status < 0) {
        return answer.status;
    }
    switch (attribute) {
    case VI_ATTR_INTF_TYPE:
        *static_cast<ViUInt16 *>(value) = answer.intfType;
        return answer.status;
    case VI_ATTR_SLOT:
        *static_cast<ViInt16 *>(value) = ViInt16(answer.slot);
        return answer.status;
    case VI_ATTR_TCPIP_HOSTNAME:
        copyText(static_cast<ViChar *>(value), answer.host.toLatin1());
        return answer.status;
    case VI_ATTR_TCPIP_DEVICE_NAME:
        copyText(static_cast<ViChar *>(value), deviceName.toLatin1());
        return answer.status;
    default:
        return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus Visa::write(ViSession vi, ViConstBuf buf, ViUInt32 count, ViPUInt32 written)
{
    QMutexLocker lock(&m_mutex);
    const QByteArray data(reinterpret_cast<const char *>(buf), int(count));
    log(QStringLiteral("viWrite(%1, %2)").arg(nameOf(vi), QString::fromLatin1(data)));
    auto it = m_sessions.find(vi);
    if (it != m_sessions.end() && it->kind == Kind::Unit) {
        QList<sim::FramedMessage> messages;
        it->framer.feed(data.constData(), data.size(), false, messages);
        for (const sim::FramedMessage &message : messages) {
            const auto reply = unitReplies.contains(message.bytes)
                                   ? unitReplies.value(message.bytes)
                                   : m_unit->execute(it->unitSession, message);
            it->replies += reply ? *reply + '\n' : QByteArray();
        }
        *written = count;
        return VI_SUCCESS;
    }
    if (it == m_sessions.end() || it->kind != Kind::Instrument) {
        return VI_ERROR_INV_OBJECT;
    }
    const ViStatus status = resources.at(it->resource).writeStatus;
    if (status >= 0) {
        it->queried = data == "*IDN?";
        if (written) {
            *written = count;
        }
    }
    return status;
}

ViStatus Visa::read(ViSession vi, ViPBuf buf, ViUInt32 count, ViPUInt32 got)
{
    VisaResource resource;
    bool queried = false;
    {
        QMutexLocker lock(&m_mutex);
        log(QStringLiteral("viRead(%1, %2)").arg(nameOf(vi)).arg(count));
        const auto it = m_sessions.find(vi);
        if (it != m_sessions.end() && it->kind == Kind::Unit) {
            // Nothing to read is a unit that never answers.
            *got = std::min(count, ViUInt32(it->replies.size()));
            std::memcpy(buf, it->replies.constData(), *got);
            it->replies.remove(0, int(*got));
            return *got == 0 ? VI_ERROR_TMO : it->replies.isEmpty() ? VI_SUCCESS : VI_SUCCESS_MAX_CNT;
        }
        if (it == m_sessions.end() || it->kind != Kind::Instrument) {
            return VI_ERROR_INV_OBJECT;
        }
        resource = resources.at(it->resource);
        queried = it->queried;
    }
    // Outside the lock, so that slow units overlap as they would on a network.
    if (resource.replyDelayMs > 0) {
        QThread::msleep(ulong(resource.replyDelayMs));
    }
    if (resource.readStatus < 0) {
        return resource.readStatus;
    }
    if (!queried) {
        return VI_ERROR_TMO;
    }
    const QByteArray reply = resource.idnReply;
    const ViUInt32 n = std::min(count, ViUInt32(reply.size()));
    std::memcpy(buf, reply.constData(), n);
    if (got) {
        *got = n;
    }
    if (resource.readStatus > 0) {
        return resource.readStatus;
    }
    // As a real VISA: a reply that fills the buffer ends with "more to come".
    return ViUInt32(reply.size()) > count ? VI_SUCCESS_MAX_CNT : VI_SUCCESS;
}

} // namespace fake

using fake::visa;

extern "C" {

ViStatus _VI_FUNC viOpenDefaultRM(ViPSession vi) { return visa().openDefaultRM(vi); }

ViStatus _VI_FUNC viFindRsrc(ViSession sesn, ViConstString expr, ViPFindList vi, ViPUInt32 retCnt,
                             ViChar desc[])
{
    return visa().findRsrc(sesn, expr, vi, retCnt, desc);
}

ViStatus _VI_FUNC viFindNext(ViFindList vi, ViChar desc[]) { return visa().findNext(vi, desc); }

ViStatus _VI_FUNC viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode, ViUInt32, ViPSession vi)
{
    return visa().open(sesn, name, vi);
}

ViStatus _VI_FUNC viClose(ViObject vi) { return visa().close(vi); }

ViStatus _VI_FUNC viGetAttribute(ViObject vi, ViAttr attrName, void *attrValue)
{
    return visa().getAttribute(vi, attrName, attrValue);
}

ViStatus _VI_FUNC viSetAttribute(ViObject, ViAttr, ViAttrState) { return VI_SUCCESS; }

ViStatus _VI_FUNC viStatusDesc(ViObject, ViStatus status, ViChar desc[])
{
    fake::copyText(
        desc,
        QStringLiteral("Fake VISA status 0x%1").arg(quint32(status), 8, 16, QLatin1Char('0')).toLatin1());
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt)
{
    return visa().write(vi, buf, cnt, retCnt);
}

ViStatus _VI_FUNC viRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt)
{
    return visa().read(vi, buf, cnt, retCnt);
}

} // extern "C"
