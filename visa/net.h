// TCP with time-outs for the VISA sessions: every connect, send and receive
// ends by a deadline, so no call can hang on a silent unit.
#pragma once

#include "visa.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include <netinet/in.h>

namespace tsvisa {

class Deadline
{
public:
    // VI_TMO_INFINITE never expires.
    static Deadline after(ViUInt32 ms);
    static Deadline never() { return Deadline(); }

    bool expired() const;
    // Milliseconds for poll(): -1 for no deadline, 0 once expired.
    int pollMs() const;

private:
    bool m_infinite = true;
    std::chrono::steady_clock::time_point m_at;
};

struct Address
{
    sockaddr_in ip{};
    std::string dotted;
};

// IPv4 only. A name that does not resolve gives VI_ERROR_RSRC_NFOUND.
ViStatus resolveHost(const std::string &host, Address *out);

class TcpStream
{
public:
    TcpStream() = default;
    ~TcpStream() { close(); }
    TcpStream(const TcpStream &) = delete;
    TcpStream &operator=(const TcpStream &) = delete;

    // Refused or unreachable: VI_ERROR_RSRC_NFOUND; no answer in time: VI_ERROR_TMO.
    ViStatus connect(const Address &address, std::uint16_t port, const Deadline &deadline);
    // Sends everything or fails; *sent counts what went out.
    ViStatus sendAll(const void *data, std::size_t size, const Deadline &deadline,
                     std::size_t *sent = nullptr);
    // Waits for at least one byte. The peer closing gives VI_ERROR_CONN_LOST;
    // a deadline that has passed gives VI_ERROR_TMO, even when bytes wait.
    ViStatus receiveSome(void *data, std::size_t capacity, const Deadline &deadline, std::size_t *received);
    // True when the peer has closed or reset the connection (nothing waits
    // unread); does not block.
    bool peerClosed() const;
    // Safe from another thread while this one waits: wakes it with an error.
    void abort();
    void close();
    bool isOpen() const { return m_fd.load() >= 0; }

private:
    std::atomic<int> m_fd{-1};
};

} // namespace tsvisa
