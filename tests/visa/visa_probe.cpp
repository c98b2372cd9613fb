// Runs one fixed sequence of VISA calls and prints each call's status and
// results, one line each. The pass-through test runs it with different
// TS4820_VISA_LIBRARY values: whichever library the variable names is
// chosen at the first call, once per process.
#include "visa.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Non-printing bytes as \xNN, so that every result fits on its line.
std::string shown(const char *data, std::size_t size)
{
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        if (c >= 0x20 && c < 0x7f) {
            text += char(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            text += escaped;
        }
    }
    return text;
}

} // namespace

int main()
{
    ViSession rm = VI_NULL, vi = VI_NULL;
    ViFindList list = VI_NULL;
    ViUInt32 count = 0;
    char desc[VI_FIND_BUFLEN] = {};

    ViStatus s = viOpenDefaultRM(&rm);
    std::printf("viOpenDefaultRM %08x\n", unsigned(s));
    s = viFindRsrc(rm, "?*INSTR", &list, &count, desc);
    std::printf("viFindRsrc %08x %u %s\n", unsigned(s), count, desc);
    s = viOpen(rm, desc, VI_NULL, VI_NULL, &vi);
    std::printf("viOpen %08x\n", unsigned(s));
    s = viWrite(vi, reinterpret_cast<ViConstBuf>("*IDN?"), 5, &count);
    std::printf("viWrite %08x %u\n", unsigned(s), count);
    char reply[256] = {};
    count = 0;
    s = viRead(vi, reinterpret_cast<ViPBuf>(reply), 255, &count);
    std::printf("viRead %08x %s\n", unsigned(s), shown(reply, count).c_str());
    ViUInt16 type = 0;
    s = viGetAttribute(vi, VI_ATTR_INTF_TYPE, &type);
    std::printf("viGetAttribute %08x %u\n", unsigned(s), type);
    s = viSetAttribute(vi, VI_ATTR_TMO_VALUE, 500);
    std::printf("viSetAttribute %08x\n", unsigned(s));
    s = viFindNext(list, desc);
    std::printf("viFindNext %08x\n", unsigned(s));
    char text[VI_FIND_BUFLEN] = {};
    s = viStatusDesc(vi, VI_ERROR_TMO, text);
    std::printf("viStatusDesc %08x %s\n", unsigned(s), text);
    std::printf("viClose %08x\n", unsigned(viClose(vi)));
    std::printf("viClose %08x\n", unsigned(viClose(rm)));
    return 0;
}
