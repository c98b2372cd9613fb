// ONC RPC as the simulated unit receives it: record marking, the call
// header and XDR values of arbitrary bytes.
#include "oncrpc.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    sim::rpc::RecordReader reader;
    reader.append(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    QByteArray record;
    while (reader.next(&record) == sim::rpc::RecordReader::Record) {
        sim::rpc::Call call;
        if (sim::rpc::decodeCall(record, &call) != sim::rpc::Decoded::Call) {
            continue;
        }
        sim::rpc::XdrReader args(record, call.argumentsAt);
        while (args.ok()) {
            args.opaque(args.u32() % 70000);
        }
    }
    return 0;
}
