// The plug-in as a host program finds it (the `murkwell` program, the Blender host): a shared
// library loaded at run time and reached only through its four exported functions and the objects
// they hand out, the way the host application loads its plug-ins. The library and the host share
// the host layer (libmurkwell-host.so), so the core interface, the dialog manager and the
// message-box and bitmap hooks that the program installs are the ones the plug-in sees.
#pragma once
#include <string>

#include "host/ClassDesc.h"
#include "host/UtilityObj.h"
#include "host/Win32Types.h"

// The host version these programs drive: release 4200, interface 8, revision 0. A library built
// for another version is refused.
constexpr ULONG kHostVersion = 0x10680800u;

// The environment variable that names the plug-in library instead of the default.
constexpr const char* kPluginVariable = "MURKWELL_PLUGIN";
// The library's file name beside the program.
constexpr const char* kPluginFileName = "murkwell-plugin.so";

struct PluginLibrary {
    std::string path;
    std::string description;       // LibDescription()
    ClassDesc* descriptor = nullptr;  // LibClassDesc(0)
    UtilityObj* utility = nullptr;    // the descriptor's instance
};

// Loads the library at `path`, checks its version and its utility class, and creates the
// utility. A loaded library stays loaded for the life of the process: the plug-in's worker
// threads may still be returning from its code when a run has ended, and loading the same path
// again only finds it. False with an error that names the file.
bool LoadPluginLibrary(const std::string& path, PluginLibrary& library, std::string& error);

// murkwell-plugin.so in the folder of the running program, or "" when that folder is unknown.
std::string PluginBesideProgram();
