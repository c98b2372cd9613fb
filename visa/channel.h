// What a session talks through: a VXI-11 link or a raw socket.
#pragma once

#include "net.h"
#include "visa.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tsvisa {

// The session's attributes that shape one operation, taken when it starts.
struct IoSettings
{
    ViUInt32 timeoutMs = 2000;
    bool termCharEnabled = false;
    ViUInt8 termChar = '\n';
};

class Channel
{
public:
    virtual ~Channel() = default;
    virtual ViStatus write(const ViByte *data, ViUInt32 count, ViUInt32 *written, const IoSettings &io) = 0;
    virtual ViStatus read(ViByte *data, ViUInt32 count, ViUInt32 *got, const IoSettings &io) = 0;
    // Orderly end (VXI-11 destroy_link); errors are of no use to anyone here.
    virtual void close(const IoSettings &io) = 0;
    // From another thread: makes a blocked write or read return at once.
    virtual void abort() = 0;
    // The unit has gone away (closed or reset the connection).
    virtual bool peerClosed() const = 0;
};

std::unique_ptr<Channel> openVxi11(const Address &address, std::uint16_t portmapperPort,
                                   const std::string &device, const IoSettings &io, ViStatus *status);
std::unique_ptr<Channel> openSocket(const Address &address, std::uint16_t port, const IoSettings &io,
                                    ViStatus *status);

} // namespace tsvisa
