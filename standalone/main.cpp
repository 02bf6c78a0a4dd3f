// The `murkwell` program: the command line over the standalone host.
#include <iostream>

#include "standalone/Cli.h"

int main(int argc, char** argv) { return RunCli(argc, argv, std::cout, std::cerr, CliEnvironment::FromProcess()); }
