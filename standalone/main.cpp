// The `murkwell` program: the command line over the standalone host.
#include <iostream>

#include "standalone/Cli.h"
#include "standalone/ReaderCrashGuard.h"

int main(int argc, char** argv) {
    EnableReaderCrashGuards();
    return RunCli(argc, argv, std::cout, std::cerr, CliEnvironment::FromProcess());
}
