// The library's entry points: the four functions a host looks up by name to find the plug-in's
// classes, the library entry the loader calls with the module's instance handle, and the
// library's resource strings.
//
// The four lookups have C linkage and are the only symbols the shared library exports; when the
// plug-in is loaded as a shared library its load-time constructor calls LibMain (the platform's
// loader does the same for a Windows DLL).
#pragma once
#include "host/ClassDesc.h"
#include "host/Win32Types.h"

#if defined(_WIN32)
#define MURKWELL_EXPORT extern "C" __declspec(dllexport)
#else
#define MURKWELL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// String 1 of the string table, "Murkwell", in the shared string buffer; null before the
// library entry has run.
MURKWELL_EXPORT const char* LibDescription();
// The number of classes: 1.
MURKWELL_EXPORT int LibNumberClasses();
// The descriptor of class i: the GritClassDesc for 0, null for any other index.
MURKWELL_EXPORT ClassDesc* LibClassDesc(int i);
// The host version the library was built for: release 4200, interface 8, revision 0.
MURKWELL_EXPORT ULONG LibVersion();

constexpr ULONG kLibVersion = 0x10680800u;

// The library entry, for every load, unload, thread start and thread end: keeps `instance` as
// the library's instance handle every time; the first call also initialises the host's custom
// controls and then the platform's common controls. Always succeeds.
BOOL LibMain(HINSTANCE instance, ULONG reason, LPVOID reserved);

// The instance handle the library entry last received (null before the first call).
HINSTANCE LibInstance();

// String `id` of the library's string table, in the one shared 256-character buffer (every call
// overwrites it), or null when the library entry has not run or the string does not exist.
const char* LoadResourceString(int id);
