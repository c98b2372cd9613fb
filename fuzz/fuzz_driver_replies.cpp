// Every reply parser of the driver over arbitrary replies, and the copy into
// a bounded buffer that follows.
#include "replies.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using namespace ts4820::reply;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string reply(reinterpret_cast<const char *>(data), size);
    int code = 0;
    std::string text;
    parseError(reply, &code, &text);
    parseQuoted(reply, &text);
    std::vector<std::uint32_t> words;
    parseHexWords(reply, 18, &words);
    parseHexWords(reply, 36, &words);
    if (parseBlock(reply, &text)) {
        char buffer[64];
        copyBounded(buffer, sizeof buffer, text);
    }
    long long n = 0;
    parseInt(reply, 0, 100, &n);
    double v = 0;
    parseReal(reply, &v);
    std::vector<double> volts;
    parseVoltageTable(reply, &volts);
    identificationRevision(reply, &text);
    replyComplete(reply, reply.size(), !reply.empty() && reply.back() == '\n');
    isPresetName(reply.c_str());
    isQuotable(reply.c_str());
    return 0;
}
