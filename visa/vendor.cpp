#include "vendor.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <mutex>

namespace tsvisa {

namespace {

Backend g_backend = Backend::BuiltIn;
VendorApi g_api;
std::once_flag g_once;

// Where this library itself was loaded from: a variable pointing back at
// us would forward every call to itself for ever.
bool isThisLibrary(void *symbol)
{
    Dl_info ours{}, theirs{};
    static const int anchor = 0;
    return dladdr(&anchor, &ours) && dladdr(symbol, &theirs) && ours.dli_fbase == theirs.dli_fbase;
}

template <typename F>
bool resolve(void *library, const char *name, F *slot)
{
    void *symbol = dlsym(library, name);
    if (!symbol || isThisLibrary(symbol)) {
        std::fprintf(stderr, "VISA: %s is missing from the library named by TS4820_VISA_LIBRARY\n", name);
        return false;
    }
    *slot = reinterpret_cast<F>(symbol);
    return true;
}

void load()
{
    const char *path = std::getenv("TS4820_VISA_LIBRARY");
    if (!path || !*path) {
        return;
    }
    g_backend = Backend::Unavailable;
    void *library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char *why = dlerror();
        std::fprintf(stderr, "VISA: cannot load %s: %s\n", path, why ? why : "unknown reason");
        return;
    }
    VendorApi api;
    const bool complete =
        resolve(library, "viOpenDefaultRM", &api.viOpenDefaultRM)
        && resolve(library, "viFindRsrc", &api.viFindRsrc) && resolve(library, "viFindNext", &api.viFindNext)
        && resolve(library, "viOpen", &api.viOpen) && resolve(library, "viClose", &api.viClose)
        && resolve(library, "viGetAttribute", &api.viGetAttribute)
        && resolve(library, "viSetAttribute", &api.viSetAttribute)
        && resolve(library, "viWrite", &api.viWrite) && resolve(library, "viRead", &api.viRead)
        && resolve(library, "viStatusDesc", &api.viStatusDesc);
    if (!complete) {
        dlclose(library);
        return;
    }
    g_api = api;
    g_backend = Backend::Vendor; // the library stays loaded until the process ends
}

} // namespace

Backend backend()
{
    std::call_once(g_once, load);
    return g_backend;
}

const VendorApi &vendorApi()
{
    backend();
    return g_api;
}

} // namespace tsvisa
