// The VISA C API over TCP/IP: resource managers, searches and sessions in
// one handle table, shared by any number of threads.
//
// The table's lock is held only to look a handle up or change the table;
// I/O runs under the session's own lock, so a slow unit holds up nobody
// else. Handles come from a counter and are not reused while the counter
// has not gone round, so a stale copy of a closed handle is refused.

#pragma GCC visibility push(default)
#include "visa.h"
#pragma GCC visibility pop

#include "channel.h"
#include "discovery.h"
#include "resources.h"
#include "statusdesc.h"
#include "vendor.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>
#include <vector>

namespace tsvisa {
namespace {

constexpr ViUInt32 kDefaultTimeoutMs = 2000;

struct Object
{
    enum Kind { Manager, Search, Session };
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    const Kind kind;
    ViSession manager = VI_NULL; // owner, for searches and sessions
};

struct SearchList : Object
{
    SearchList() : Object(Search) {}
    std::mutex lock;
    std::vector<std::string> names;
    std::size_t next = 0;
};

struct SessionObject : Object
{
    SessionObject() : Object(Session) {}

    IoSettings settings()
    {
        std::lock_guard<std::mutex> guard(attributeLock);
        return io;
    }

    ResourceName resource;
    std::string address; // dotted, as resolved

    std::mutex attributeLock;
    IoSettings io;

    std::mutex ioLock;
    std::unique_ptr<Channel> channel;
    bool closed = false; // under ioLock: a call that found the handle just before it closed
    bool lost = false;   // under ioLock: the connection broke; the next write opens a new one
};

// Connects a session to its resource (again, after a lost connection).
ViStatus openChannel(SessionObject &session, const IoSettings &io)
{
    Address address;
    ViStatus status = resolveHost(session.resource.host, &address);
    if (status != VI_SUCCESS) {
        return status;
    }
    if (session.address.empty()) { // read by viGetAttribute without the I/O lock
        session.address = address.dotted;
    }
    std::unique_ptr<Channel> channel =
        session.resource.kind == ResourceName::Socket
            ? openSocket(address, session.resource.port, io, &status)
            : openVxi11(address, configuredPortmapperPort(), session.resource.device, io, &status);
    if (status == VI_SUCCESS) {
        session.channel = std::move(channel);
    }
    return status;
}

class Table
{
public:
    ViObject add(std::shared_ptr<Object> object)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return insert(std::move(object));
    }

    // Added only while its manager is still open: a session opened while
    // another thread closes the manager must not outlive it.
    ViObject addOwned(std::shared_ptr<Object> object)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto owner = m_objects.find(object->manager);
        if (owner == m_objects.end() || owner->second->kind != Object::Manager) {
            return VI_NULL;
        }
        return insert(std::move(object));
    }

    std::shared_ptr<Object> find(ViObject handle)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto it = m_objects.find(handle);
        return it == m_objects.end() ? nullptr : it->second;
    }

    template <typename T>
    std::shared_ptr<T> find(ViObject handle, Object::Kind kind)
    {
        const std::shared_ptr<Object> object = find(handle);
        return object && object->kind == kind ? std::static_pointer_cast<T>(object) : nullptr;
    }

    // Takes the object out; for a manager, everything it owns too.
    std::vector<std::shared_ptr<Object>> take(ViObject handle)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<std::shared_ptr<Object>> taken;
        const auto it = m_objects.find(handle);
        if (it == m_objects.end()) {
            return taken;
        }
        taken.push_back(it->second);
        m_objects.erase(it);
        if (taken.front()->kind == Object::Manager) {
            for (auto o = m_objects.begin(); o != m_objects.end();) {
                if (o->second->manager == handle) {
                    taken.push_back(o->second);
                    o = m_objects.erase(o);
                } else {
                    ++o;
                }
            }
        }
        return taken;
    }

private:
    ViObject insert(std::shared_ptr<Object> object)
    {
        do {
            ++m_next;
        } while (m_next == VI_NULL || m_objects.count(m_next));
        m_objects.emplace(m_next, std::move(object));
        return m_next;
    }

    std::mutex m_lock;
    std::unordered_map<ViObject, std::shared_ptr<Object>> m_objects;
    ViObject m_next = 0;
};

// Never destroyed: threads may still be in a call while the process exits.
Table &table()
{
    static Table *t = new Table;
    return *t;
}

void closeSession(SessionObject &s)
{
    const IoSettings io = s.settings();
    std::unique_lock<std::mutex> guard(s.ioLock, std::try_to_lock);
    if (!guard.owns_lock()) {
        // Another thread is in a read or write: end it rather than wait
        // out its time-out, which may be infinite.
        s.channel->abort();
        guard.lock();
    }
    s.channel->close(io);
    s.closed = true;
}

void copyText(const std::string &text, ViChar desc[])
{
    std::size_t n = std::min<std::size_t>(text.size(), VI_FIND_BUFLEN - 1);
    std::memcpy(desc, text.data(), n);
    desc[n] = '\0';
}

ViStatus getSessionAttribute(SessionObject &s, ViAttr attribute, void *value)
{
    const bool socket = s.resource.kind == ResourceName::Socket;
    switch (attribute) {
    case VI_ATTR_INTF_TYPE:
        *static_cast<ViUInt16 *>(value) = VI_INTF_TCPIP;
        return VI_SUCCESS;
    case VI_ATTR_INTF_NUM:
        *static_cast<ViUInt16 *>(value) = s.resource.board;
        return VI_SUCCESS;
    case VI_ATTR_SLOT:
        *static_cast<ViInt16 *>(value) = VI_UNKNOWN_SLOT;
        return VI_SUCCESS;
    case VI_ATTR_RSRC_NAME:
        copyText(s.resource.canonical, static_cast<ViChar *>(value));
        return VI_SUCCESS;
    case VI_ATTR_TCPIP_HOSTNAME:
        copyText(s.resource.host, static_cast<ViChar *>(value));
        return VI_SUCCESS;
    case VI_ATTR_TCPIP_ADDR:
        copyText(s.address, static_cast<ViChar *>(value));
        return VI_SUCCESS;
    case VI_ATTR_TCPIP_DEVICE_NAME:
        if (socket) {
            return VI_ERROR_NSUP_ATTR;
        }
        copyText(s.resource.device, static_cast<ViChar *>(value));
        return VI_SUCCESS;
    case VI_ATTR_TCPIP_PORT:
        if (!socket) {
            return VI_ERROR_NSUP_ATTR;
        }
        *static_cast<ViUInt16 *>(value) = s.resource.port;
        return VI_SUCCESS;
    default:
        break;
    }
    const IoSettings io = s.settings();
    switch (attribute) {
    case VI_ATTR_TMO_VALUE:
        *static_cast<ViUInt32 *>(value) = io.timeoutMs;
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR:
        *static_cast<ViUInt8 *>(value) = io.termChar;
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR_EN:
        *static_cast<ViBoolean *>(value) = io.termCharEnabled ? VI_TRUE : VI_FALSE;
        return VI_SUCCESS;
    default:
        return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus setSessionAttribute(SessionObject &s, ViAttr attribute, ViAttrState value)
{
    std::lock_guard<std::mutex> guard(s.attributeLock);
    switch (attribute) {
    case VI_ATTR_TMO_VALUE:
        if (value > VI_TMO_INFINITE) {
            return VI_ERROR_NSUP_ATTR_STATE;
        }
        s.io.timeoutMs = ViUInt32(value);
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR:
        if (value > 0xFF) {
            return VI_ERROR_NSUP_ATTR_STATE;
        }
        s.io.termChar = ViUInt8(value);
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR_EN:
        if (value != VI_TRUE && value != VI_FALSE) {
            return VI_ERROR_NSUP_ATTR_STATE;
        }
        s.io.termCharEnabled = value == VI_TRUE;
        return VI_SUCCESS;
    case VI_ATTR_INTF_TYPE:
    case VI_ATTR_INTF_NUM:
    case VI_ATTR_SLOT:
    case VI_ATTR_RSRC_NAME:
    case VI_ATTR_TCPIP_HOSTNAME:
    case VI_ATTR_TCPIP_ADDR:
        return VI_ERROR_ATTR_READONLY;
    case VI_ATTR_TCPIP_DEVICE_NAME:
        return s.resource.kind == ResourceName::Instr ? VI_ERROR_ATTR_READONLY : VI_ERROR_NSUP_ATTR;
    case VI_ATTR_TCPIP_PORT:
        return s.resource.kind == ResourceName::Socket ? VI_ERROR_ATTR_READONLY : VI_ERROR_NSUP_ATTR;
    default:
        return VI_ERROR_NSUP_ATTR;
    }
}

// What viWrite and viRead share: the session under its I/O lock, and a
// lost connection remembered. A write first reconnects a session whose unit
// went away (restarted since the last call): its old connection is gone.
template <typename Buffer, typename Io>
ViStatus transfer(ViSession vi, Buffer buf, ViUInt32 cnt, ViPUInt32 retCnt, bool reconnect, Io io)
{
    if (retCnt) {
        *retCnt = 0;
    }
    const auto session = table().find<SessionObject>(vi, Object::Session);
    if (!session) {
        return VI_ERROR_INV_OBJECT;
    }
    if (!buf && cnt > 0) {
        return VI_ERROR_INV_PARAMETER;
    }
    const IoSettings settings = session->settings();
    std::lock_guard<std::mutex> guard(session->ioLock);
    if (session->closed) {
        return VI_ERROR_INV_OBJECT;
    }
    if (reconnect && (session->lost || session->channel->peerClosed())) {
        if (openChannel(*session, settings) != VI_SUCCESS) {
            return VI_ERROR_CONN_LOST;
        }
        session->lost = false;
    }
    ViUInt32 done = 0;
    const ViStatus status = io(*session->channel, &done, settings);
    session->lost = status == VI_ERROR_CONN_LOST;
    if (retCnt) {
        *retCnt = done;
    }
    return status;
}

} // namespace
} // namespace tsvisa

using namespace tsvisa;

// Every entry point first asks whether the calls belong to a vendor library.
#define PASS_THROUGH(function, ...)                                                                          \
    do {                                                                                                     \
        switch (backend()) {                                                                                 \
        case Backend::Vendor:                                                                                \
            return vendorApi().function(__VA_ARGS__);                                                        \
        case Backend::Unavailable:                                                                           \
            return VI_ERROR_LIBRARY_NFOUND;                                                                  \
        case Backend::BuiltIn:                                                                               \
            break;                                                                                           \
        }                                                                                                    \
    } while (0)

ViStatus _VI_FUNC viOpenDefaultRM(ViPSession vi)
{
    if (vi && backend() == Backend::Unavailable) {
        *vi = VI_NULL;
    }
    PASS_THROUGH(viOpenDefaultRM, vi);
    if (!vi) {
        return VI_ERROR_INV_PARAMETER;
    }
    *vi = table().add(std::make_shared<Object>(Object::Manager));
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viFindRsrc(ViSession sesn, ViConstString expr, ViPFindList vi, ViPUInt32 retCnt,
                             ViChar desc[])
{
    PASS_THROUGH(viFindRsrc, sesn, expr, vi, retCnt, desc);
    if (vi) {
        *vi = VI_NULL;
    }
    if (retCnt) {
        *retCnt = 0;
    }
    if (desc) {
        desc[0] = '\0';
    }
    if (!table().find<Object>(sesn, Object::Manager)) {
        return VI_ERROR_INV_OBJECT;
    }
    ResourceExpression expression;
    if (!expr || !expression.compile(expr)) {
        return VI_ERROR_INV_EXPR;
    }

    // The configured resources first, in their order; then the units that
    // answer on the network, when the expression could match one of them.
    const Configuration config = loadConfiguration();
    std::vector<std::string> names = config.resources;
    if (expression.mayMatchLongerThan("TCPIP")) {
        // Found units are named by address in canonical form, as a configured
        // address is: one unit configured and found is listed once.
        std::set<std::string> known(names.begin(), names.end());
        for (const std::string &name : discoverUnits(config.discovery)) {
            if (known.insert(name).second) {
                names.push_back(name);
            }
        }
    }
    auto list = std::make_shared<SearchList>();
    for (const std::string &name : names) {
        if (expression.matches(name)) {
            list->names.push_back(name);
        }
    }
    if (list->names.empty()) {
        return VI_ERROR_RSRC_NFOUND;
    }
    if (retCnt) {
        *retCnt = ViUInt32(list->names.size());
    }
    if (desc) {
        copyText(list->names.front(), desc);
    }
    list->next = 1;
    list->manager = sesn;
    if (vi) {
        *vi = table().addOwned(list);
        if (*vi == VI_NULL) {
            return VI_ERROR_INV_OBJECT; // the manager was closed meanwhile
        }
    }
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viFindNext(ViFindList vi, ViChar desc[])
{
    PASS_THROUGH(viFindNext, vi, desc);
    const auto list = table().find<SearchList>(vi, Object::Search);
    if (!list) {
        return VI_ERROR_INV_OBJECT;
    }
    std::lock_guard<std::mutex> guard(list->lock);
    if (list->next >= list->names.size()) {
        return VI_ERROR_RSRC_NFOUND;
    }
    if (desc) {
        copyText(list->names[list->next], desc);
    }
    ++list->next;
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout, ViPSession vi)
{
    PASS_THROUGH(viOpen, sesn, name, mode, timeout, vi);
    (void)timeout; // the time to wait for a lock: no locks are taken
    if (vi) {
        *vi = VI_NULL;
    }
    if (!table().find<Object>(sesn, Object::Manager)) {
        return VI_ERROR_INV_OBJECT;
    }
    if (!vi) {
        return VI_ERROR_INV_PARAMETER;
    }
    if (!name) {
        return VI_ERROR_INV_RSRC_NAME;
    }
    if ((mode & ~ViAccessMode(VI_LOAD_CONFIG)) != 0) {
        return VI_ERROR_INV_ACC_MODE;
    }

    auto session = std::make_shared<SessionObject>();
    session->manager = sesn;
    session->io.timeoutMs = kDefaultTimeoutMs;
    ViStatus status = parseResourceName(name, &session->resource);
    if (status != VI_SUCCESS) {
        return status;
    }
    status = openChannel(*session, session->io);
    if (status != VI_SUCCESS) {
        return status;
    }
    const ViSession handle = table().addOwned(session);
    if (handle == VI_NULL) {
        session->channel->close(session->io);
        return VI_ERROR_INV_OBJECT;
    }
    *vi = handle;
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viClose(ViObject vi)
{
    PASS_THROUGH(viClose, vi);
    if (vi == VI_NULL) {
        return VI_WARN_NULL_OBJECT;
    }
    const std::vector<std::shared_ptr<Object>> taken = table().take(vi);
    if (taken.empty()) {
        return VI_ERROR_INV_OBJECT;
    }
    for (const std::shared_ptr<Object> &object : taken) {
        if (object->kind == Object::Session) {
            closeSession(static_cast<SessionObject &>(*object));
        }
    }
    return VI_SUCCESS;
}

ViStatus _VI_FUNC viGetAttribute(ViObject vi, ViAttr attrName, void *attrValue)
{
    PASS_THROUGH(viGetAttribute, vi, attrName, attrValue);
    const auto object = table().find(vi);
    if (!object) {
        return VI_ERROR_INV_OBJECT;
    }
    if (!attrValue) {
        return VI_ERROR_INV_PARAMETER;
    }
    if (object->kind != Object::Session) {
        return VI_ERROR_NSUP_ATTR;
    }
    return getSessionAttribute(static_cast<SessionObject &>(*object), attrName, attrValue);
}

ViStatus _VI_FUNC viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue)
{
    PASS_THROUGH(viSetAttribute, vi, attrName, attrValue);
    const auto object = table().find(vi);
    if (!object) {
        return VI_ERROR_INV_OBJECT;
    }
    if (object->kind != Object::Session) {
        return VI_ERROR_NSUP_ATTR;
    }
    return setSessionAttribute(static_cast<SessionObject &>(*object), attrName, attrValue);
}

ViStatus _VI_FUNC viStatusDesc(ViObject vi, ViStatus status, ViChar desc[])
{
    if (backend() == Backend::Vendor) {
        return vendorApi().viStatusDesc(vi, status, desc);
    }
    // Also without a usable library: the caller wants to know why.
    if (!desc) {
        return VI_ERROR_INV_PARAMETER;
    }
    return describeStatus(status, desc);
}

ViStatus _VI_FUNC viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt)
{
    PASS_THROUGH(viWrite, vi, buf, cnt, retCnt);
    return transfer(vi, buf, cnt, retCnt, true, [&](Channel &channel, ViUInt32 *done, const IoSettings &io) {
        return channel.write(buf, cnt, done, io);
    });
}

ViStatus _VI_FUNC viRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt)
{
    PASS_THROUGH(viRead, vi, buf, cnt, retCnt);
    return transfer(vi, buf, cnt, retCnt, false, [&](Channel &channel, ViUInt32 *done, const IoSettings &io) {
        return channel.read(buf, cnt, done, io);
    });
}
