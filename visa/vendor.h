// Pass-through to another VISA library named by TS4820_VISA_LIBRARY, for
// interfaces this library does not serve. Decided once, at the first call.
#pragma once

#include "visa.h"

namespace tsvisa {

struct VendorApi
{
    decltype(&::viOpenDefaultRM) viOpenDefaultRM = nullptr;
    decltype(&::viFindRsrc) viFindRsrc = nullptr;
    decltype(&::viFindNext) viFindNext = nullptr;
    decltype(&::viOpen) viOpen = nullptr;
    decltype(&::viClose) viClose = nullptr;
    decltype(&::viGetAttribute) viGetAttribute = nullptr;
    decltype(&::viSetAttribute) viSetAttribute = nullptr;
    decltype(&::viWrite) viWrite = nullptr;
    decltype(&::viRead) viRead = nullptr;
    decltype(&::viStatusDesc) viStatusDesc = nullptr;
};

enum class Backend {
    BuiltIn,     // no vendor library asked for
    Vendor,      // every call goes to vendorApi()
    Unavailable, // asked for but not usable: calls fail with VI_ERROR_LIBRARY_NFOUND
};

Backend backend();
const VendorApi &vendorApi();

} // namespace tsvisa
