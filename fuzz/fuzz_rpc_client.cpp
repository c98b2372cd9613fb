// ONC RPC as the VISA's VXI-11 client receives it: records arriving in
// pieces of any size, reply headers, and the results of create_link,
// device_write, device_read and the portmapper's GETPORT.
#include "rpcwire.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    // The first byte sets how the bytes arrive, the second the size of the
    // read request the results answer.
    const std::size_t piece = std::size_t(data[0]) + 1;
    const std::uint32_t requested = std::uint32_t(data[1]) * 16;
    const char *bytes = reinterpret_cast<const char *>(data) + 2;
    size -= 2;

    const std::size_t maxRecord = 4096;
    tsvisa::RecordInbox inbox(maxRecord);
    std::string record;
    std::size_t received = 0;
    while (received < size && !inbox.overflowed()) {
        const std::size_t n = std::min(piece, size - received);
        inbox.append(bytes + received, n);
        received += n;
        while (inbox.take(&record)) {
            if (record.size() > maxRecord) {
                std::abort();
            }
            std::string results;
            if (tsvisa::decodeReply(record, 1, &results) != tsvisa::ReplyKind::Results) {
                continue;
            }
            tsvisa::decodeCreateLink(results);
            tsvisa::decodeWrite(results, requested);
            tsvisa::decodeGetPort(results);
            const tsvisa::ReadResult read = tsvisa::decodeRead(results, requested);
            if (read.ok
                && (read.size > requested || read.data < results.data()
                    || read.data + read.size > results.data() + results.size())) {
                std::abort();
            }
        }
    }

    // What we send must come back whole through the same framing.
    const std::string call = tsvisa::callRecord(7, 395183, 1, 11, std::string(bytes, size));
    tsvisa::RecordInbox echo(call.size());
    echo.append(call.data(), call.size());
    if (!echo.take(&record) || record != call.substr(4)) {
        std::abort();
    }
    return 0;
}
