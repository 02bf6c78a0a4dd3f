#include "tests/standalone/CliRunner.h"

#include <sstream>

CliResult RunMurkwell(const std::vector<std::string>& args, const CliEnvironment& env) {
    std::vector<std::string> storage;
    storage.push_back("murkwell");
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    std::ostringstream out, err;
    CliResult r;
    r.code = RunCli(static_cast<int>(storage.size()), argv.data(), out, err, env);
    r.out = out.str();
    r.err = err.str();
    return r;
}
