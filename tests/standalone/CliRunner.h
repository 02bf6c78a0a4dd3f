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
