#include "tests/standalone/CliRunner.h"

#include <gtest/gtest.h>

#include <sstream>

#include "hostapp/PluginLibrary.h"
#include "plugin/GritUtility.h"

CliResult RunMurkwell(const std::vector<std::string>& args, const CliEnvironment& env) {
    std::vector<std::string> storage;
    storage.push_back("murkwell");
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    std::ostringstream out, err;
    CliResult r;
    // The plug-in library this build made, unless the test names another.
    CliEnvironment withPlugin = env;
    if (withPlugin.pluginPath.empty()) withPlugin.pluginPath = MURKWELL_PLUGIN_MODULE;
    r.code = RunCli(static_cast<int>(storage.size()), argv.data(), out, err, withPlugin);
    r.out = out.str();
    r.err = err.str();
    return r;
}

GritUtility& PluginUtility() {
    PluginLibrary library;
    std::string error;
    // The same library stays loaded, so this finds the one the command line uses.
    if (!LoadPluginLibrary(MURKWELL_PLUGIN_MODULE, library, error)) {
        ADD_FAILURE() << error;
        return TheGritUtility();
    }
    // The descriptor's instance is the library's GritUtility.
    return *static_cast<GritUtility*>(library.utility);
}
