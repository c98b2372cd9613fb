#include "net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tsvisa {

Deadline Deadline::after(ViUInt32 ms)
{
    Deadline d;
    if (ms != VI_TMO_INFINITE) {
        d.m_infinite = false;
        d.m_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    }
    return d;
}

bool Deadline::expired() const { return !m_infinite && std::chrono::steady_clock::now() >= m_at; }

int Deadline::pollMs() const
{
    if (m_infinite) {
        return -1;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_at - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        return 0;
    }
    // Rounded up so that a wait does not end just before the deadline.
    return left.count() >= 0x7fffffff ? 0x7fffffff : int(left.count()) + 1;
}

ViStatus resolveHost(const std::string &host, Address *out)
{
    out->ip = sockaddr_in{};
    out->ip.sin_family = AF_INET;
    if (host.empty()) {
        return VI_ERROR_RSRC_NFOUND;
    }
    if (inet_pton(AF_INET, host.c_str(), &out->ip.sin_addr) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
            return VI_ERROR_RSRC_NFOUND;
        }
        out->ip.sin_addr = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr;
        freeaddrinfo(found);
    }
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &out->ip.sin_addr, text, sizeof text);
    out->dotted = text;
    return VI_SUCCESS;
}

namespace {

// Waits for the events or the deadline; false on time-out.
bool waitFor(int fd, short events, const Deadline &deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, deadline.pollMs());
        if (n > 0) {
            return true;
        }
        if (n < 0 && errno != EINTR) {
            return true; // let the following call report the error
        }
        if (n == 0 && deadline.expired()) {
            return false;
        }
    }
}

ViStatus lostOrIo(int error)
{
    switch (error) {
    case EPIPE:
    case ECONNRESET:
    case ECONNABORTED:
    case ENOTCONN:
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN:
    case EBADF:
        return VI_ERROR_CONN_LOST;
    default:
        return VI_ERROR_IO;
    }
}

} // namespace

ViStatus TcpStream::connect(const Address &address, std::uint16_t port, const Deadline &deadline)
{
    close();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return VI_ERROR_SYSTEM_ERROR;
    }
    // Requests and replies are small and strictly alternate: no batching.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in to = address.ip;
    to.sin_port = htons(port);
    int result = ::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    if (result != 0 && (errno == EINPROGRESS || errno == EINTR)) {
        if (!waitFor(fd, POLLOUT, deadline)) {
            ::close(fd);
            return VI_ERROR_TMO;
        }
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        result = error == 0 ? 0 : -1;
    }
    if (result != 0) {
        ::close(fd);
        return VI_ERROR_RSRC_NFOUND;
    }
    m_fd.store(fd);
    return VI_SUCCESS;
}

ViStatus TcpStream::sendAll(const void *data, std::size_t size, const Deadline &deadline, std::size_t *sent)
{
    const int fd = m_fd.load();
    std::size_t done = 0;
    ViStatus status = VI_SUCCESS;
    if (fd < 0) {
        status = VI_ERROR_CONN_LOST;
    }
    while (status == VI_SUCCESS && done < size) {
        const ssize_t n = ::send(fd, static_cast<const char *>(data) + done, size - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += std::size_t(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd, POLLOUT, deadline)) {
                status = VI_ERROR_TMO;
            }
        } else if (n < 0 && errno != EINTR) {
            status = lostOrIo(errno);
        }
    }
    if (sent) {
        *sent = done;
    }
    return status;
}

ViStatus TcpStream::receiveSome(void *data, std::size_t capacity, const Deadline &deadline,
                                std::size_t *received)
{
    *received = 0;
    const int fd = m_fd.load();
    if (fd < 0) {
        return VI_ERROR_CONN_LOST;
    }
    // Also when bytes wait: a peer that never stops sending must not keep
    // a caller's loop from ever ending.
    if (deadline.expired()) {
        return VI_ERROR_TMO;
    }
    for (;;) {
        const ssize_t n = ::recv(fd, data, capacity, 0);
        if (n > 0) {
            *received = std::size_t(n);
            return VI_SUCCESS;
        }
        if (n == 0) {
            return VI_ERROR_CONN_LOST;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!waitFor(fd, POLLIN, deadline)) {
                return VI_ERROR_TMO;
            }
        } else if (errno != EINTR) {
            return lostOrIo(errno);
        }
    }
}

void TcpStream::abort()
{
    const int fd = m_fd.load();
    if (fd >= 0) {
        ::shutdown(fd, SHUT_RDWR);
    }
}

void TcpStream::close()
{
    const int fd = m_fd.exchange(-1);
    if (fd >= 0) {
        ::close(fd);
    }
}

bool TcpStream::peerClosed() const
{
    const int fd = m_fd.load();
    if (fd < 0) {
        return true;
    }
    char byte;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

} // namespace tsvisa
