// TCPIP::host::port::SOCKET: bytes as they come, framed only by the
// termination character when the session asks for it.
#include "channel.h"

#include <algorithm>
#include <cstring>

namespace tsvisa {

namespace {

class SocketChannel : public Channel
{
public:
    ViStatus open(const Address &address, std::uint16_t port, const IoSettings &io)
    {
        return m_stream.connect(address, port, Deadline::after(io.timeoutMs));
    }

    ViStatus write(const ViByte *data, ViUInt32 count, ViUInt32 *written, const IoSettings &io) override
    {
        std::size_t sent = 0;
        const ViStatus status = m_stream.sendAll(data, count, Deadline::after(io.timeoutMs), &sent);
        *written = ViUInt32(sent);
        return status;
    }

    ViStatus read(ViByte *data, ViUInt32 count, ViUInt32 *got, const IoSettings &io) override
    {
        *got = 0;
        const Deadline deadline = Deadline::after(io.timeoutMs);
        for (;;) {
            // Bytes beyond what the caller takes stay for the next read.
            std::size_t n = std::min<std::size_t>(m_inbox.size(), count - *got);
            bool atTerm = false;
            if (io.termCharEnabled) {
                const void *term = std::memchr(m_inbox.data(), io.termChar, n);
                if (term) {
                    n = std::size_t(static_cast<const char *>(term) - m_inbox.data()) + 1;
                    atTerm = true;
                }
            }
            std::memcpy(data + *got, m_inbox.data(), n);
            m_inbox.erase(0, n);
            *got += ViUInt32(n);
            if (atTerm) {
                return VI_SUCCESS_TERM_CHAR;
            }
            if (*got == count) {
                return VI_SUCCESS_MAX_CNT;
            }
            char chunk[65536];
            std::size_t received = 0;
            const ViStatus status = m_stream.receiveSome(chunk, sizeof chunk, deadline, &received);
            if (status != VI_SUCCESS) {
                return status;
            }
            m_inbox.append(chunk, received);
        }
    }

    void close(const IoSettings &) override { m_stream.close(); }
    void abort() override { m_stream.abort(); }
    bool peerClosed() const override { return m_stream.peerClosed(); }

private:
    TcpStream m_stream;
    std::string m_inbox;
};

} // namespace

std::unique_ptr<Channel> openSocket(const Address &address, std::uint16_t port, const IoSettings &io,
                                    ViStatus *status)
{
    auto channel = std::make_unique<SocketChannel>();
    *status = channel->open(address, port, io);
    if (*status != VI_SUCCESS) {
        return nullptr;
    }
    return channel;
}

} // namespace tsvisa
