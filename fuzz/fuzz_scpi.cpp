// The simulated unit's input side: framing of a byte stream (newline or END
// mode, chosen by the first byte) and every message run by a fresh unit.
#include "instrument.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const bool endFlag = data[0] & 1;
    sim::UnitOptions options;
    options.subtype = data[0] & 2 ? "AA" : "AB";
    options.voltageReference = !(data[0] & 4);
    sim::Instrument unit(options);
    sim::Session session;
    sim::MessageFramer framer(endFlag ? sim::MessageFramer::Mode::EndFlag
                                      : sim::MessageFramer::Mode::Newline);
    QList<sim::FramedMessage> messages;
    // Fed in pieces of varying size, as the network delivers it.
    size_t at = 1;
    while (at < size) {
        const size_t piece = 1 + data[at] % 61;
        const size_t n = piece < size - at ? piece : size - at;
        framer.feed(reinterpret_cast<const char *>(data + at), qsizetype(n), at + n >= size, messages);
        at += n;
    }
    for (const sim::FramedMessage &message : messages) {
        unit.execute(session, message);
    }
    return 0;
}
