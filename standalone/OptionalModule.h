// Libraries that only some runs need (the TIFF and OpenEXR libraries; later mesh importers) are
// not linked into the program. Each sits behind a small module of our own: a shared library,
// built beside the program's own shared libraries, that links the third-party library and
// exports one C entry taking an interface version. The module is loaded the first time it is
// needed, so the library and everything it pulls in cost nothing at start-up and nothing to the
// runs that do not use it.
//
// To add one:
//  1. Its sources go under standalone/modules/. It exports one extern "C" entry that takes the
//     interface version it is asked for and returns a function or a table of plain C types, or
//     null for a version it was not built for. No C++ object and no exception crosses the entry.
//  2. standalone/CMakeLists.txt: murkwell_optional_module(murkwell-xyz SOURCES modules/Xyz.cpp
//     LIBRARIES <the third-party targets>).
//  3. Where it is needed: OptionalModuleEntry("murkwell-xyz.so", "MurkwellXyzEntry", error),
//     cast to the entry's type, call it with the version, and turn a null answer or a failed
//     load into a clear error for the user.
#pragma once
#include <string>

// The address of `entry` in the module `fileName`. The module is loaded once per process and
// stays loaded; it is looked for where the program's own shared libraries are found, then beside
// the program. nullptr with an error naming the module and the reason.
void* OptionalModuleEntry(const std::string& fileName, const char* entry, std::string& error);
