#include "plugin/Library.h"

#include <atomic>

#include "host/CustomControls.h"
#include "host/ModuleResources.h"
#include "plugin/GritClassDesc.h"
#include "plugin/ResourceIds.h"

namespace {
std::atomic<HINSTANCE> g_instance{nullptr};
std::atomic<bool> g_controlsInitialised{false};
// The one buffer every resource string is loaded into.
char g_stringBuffer[256];
}  // namespace

BOOL LibMain(HINSTANCE instance, ULONG reason, LPVOID reserved) {
    (void)reason;
    (void)reserved;
    // The handle is taken on every call, whatever the reason; the controls only once.
    g_instance.store(instance);
    if (!g_controlsInitialised.exchange(true)) {
        InitCustomControls(instance);
        InitCommonControls();
    }
    return TRUE;
}

HINSTANCE LibInstance() { return g_instance.load(); }

const char* LoadResourceString(int id) {
    const HINSTANCE instance = g_instance.load();
    if (!instance || id < 0) return nullptr;
    return LoadStringA(instance, static_cast<UINT>(id), g_stringBuffer, sizeof g_stringBuffer) ? g_stringBuffer
                                                                                              : nullptr;
}

const char* LibDescription() { return LoadResourceString(IDS_LIBDESCRIPTION); }

int LibNumberClasses() { return 1; }

ClassDesc* LibClassDesc(int i) { return i == 0 ? &TheGritClassDesc() : nullptr; }

ULONG LibVersion() { return kLibVersion; }
