// The open/close expression an operator types, against both unit sizes.
#include "relayexpression.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    evaluateRelayExpression(text, 96);
    evaluateRelayExpression(text, 192);
    return 0;
}
