// A third-party reader that crashes on a malformed file must not end the program with a bare
// "Segmentation fault". While a ReaderCrashGuard is alive, and only in a process that asked for it
// with EnableReaderCrashGuards (the murkwell program does; tests and fuzz targets do not, so
// their sanitizers still see the fault), a crash signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL) writes
// the guard's line to standard error and ends the process with exit code 1. Nothing else is done
// in the handler: the process state is unknown, and the reads run before anything is written, so
// no output or settings file is in the middle of a replacement then.
#pragma once
#include <string>

void EnableReaderCrashGuards();

class ReaderCrashGuard {
public:
    // LINE is written as it stands, followed by a newline.
    explicit ReaderCrashGuard(const std::string& line);
    ~ReaderCrashGuard();  // restores the handlers that were there before
    ReaderCrashGuard(const ReaderCrashGuard&) = delete;
    ReaderCrashGuard& operator=(const ReaderCrashGuard&) = delete;

private:
    struct Saved;
    Saved* saved_ = nullptr;
};
