#include "hostileunit.h"

#include <QDeadlineTimer>
#include <QHostAddress>

#include <chrono>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

TricklingUnit::TricklingUnit(const QString &address)
{
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(QHostAddress(address).toIPv4Address());
    socklen_t size = sizeof at;
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::bind(m_listener, reinterpret_cast<sockaddr *>(&at), size);
    ::listen(m_listener, 1);
    ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&at), &size);
    m_resource = QStringLiteral("TCPIP::%1::%2::SOCKET").arg(address).arg(ntohs(at.sin_port)).toLatin1();
    m_thread = std::thread([this] { serve(); });
}

TricklingUnit::~TricklingUnit()
{
    ::shutdown(m_listener, SHUT_RDWR); // ends an accept that no client came to
    m_thread.join();
    ::close(m_listener);
}

void TricklingUnit::serve()
{
    const int fd = ::accept(m_listener, nullptr, nullptr);
    const QDeadlineTimer until(30000);
    const std::string piece(4096, '0');
    std::string input;
    char chunk[4096];
    for (ssize_t n; fd >= 0 && !until.hasExpired() && (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;) {
        input.append(chunk, std::size_t(n));
        for (std::size_t end; (end = input.find('\n')) != std::string::npos; input.erase(0, end + 1)) {
            const std::string line = input.substr(0, end);
            const char *reply = line == "*IDN?"             ? "Tarsel Ltd.,Xentra 4820-AA,48200047,2.1.0\n"
                                : line == "ROUT:MATR:ROWS?" ? "96\n"
                                                            : "";
            ::send(fd, reply, std::strlen(reply), MSG_NOSIGNAL);
            while (line == "ROUT:MATR?" && !until.hasExpired()
                   && ::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
        }
    }
    ::close(fd); // -1 when no client came: refused, harmlessly
}
