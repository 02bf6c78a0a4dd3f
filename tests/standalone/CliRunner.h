// Runs the murkwell command line in-process and keeps what it printed.
#pragma once
#include <string>
#include <vector>

#include "standalone/Cli.h"

struct CliResult {
    int code = -1;
    std::string out, err;
};

CliResult RunMurkwell(const std::vector<std::string>& args, const CliEnvironment& env = CliEnvironment{});

// The utility inside the plug-in library that RunMurkwell loads (not this program's own linked
// copy), reached through the library's class descriptor, to look at the state a bake left.
class GritUtility;
GritUtility& PluginUtility();
