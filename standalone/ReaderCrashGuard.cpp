#include "standalone/ReaderCrashGuard.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "standalone/Cli.h"

#if defined(__unix__) || defined(__APPLE__)
#include <signal.h>
#include <unistd.h>
#define MURKWELL_HAS_SIGACTION 1
#endif

namespace {
std::atomic<bool> gEnabled{false};

#if defined(MURKWELL_HAS_SIGACTION)
constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

// The line the handler writes: set before the handlers go in, never freed while they are in.
char gLine[2048];
std::size_t gLineLength = 0;

void OnCrash(int) {
    std::size_t done = 0;
    while (done < gLineLength) {
        const ssize_t n = write(STDERR_FILENO, gLine + done, gLineLength - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    _exit(kExitFailed);
}
#endif
}  // namespace

void EnableReaderCrashGuards() { gEnabled.store(true); }

struct ReaderCrashGuard::Saved {
#if defined(MURKWELL_HAS_SIGACTION)
    struct sigaction old[kSignalCount];
    bool installed[kSignalCount] = {};
    // The line of a guard this one sits inside, written again once this one goes.
    char line[sizeof gLine];
    std::size_t lineLength = 0;
#endif
};

ReaderCrashGuard::ReaderCrashGuard(const std::string& line) {
#if defined(MURKWELL_HAS_SIGACTION)
    if (!gEnabled.load()) return;
    saved_ = new Saved;
    std::memcpy(saved_->line, gLine, gLineLength);
    saved_->lineLength = gLineLength;
    const std::size_t n = std::min(line.size(), sizeof gLine - 2);
    std::memcpy(gLine, line.data(), n);
    gLine[n] = '\n';
    gLineLength = n + 1;
    struct sigaction action {};
    action.sa_handler = OnCrash;
    sigemptyset(&action.sa_mask);
    // SA_NODEFER | SA_RESETHAND: a fault inside the handler itself ends the process by default.
    action.sa_flags = SA_NODEFER | SA_RESETHAND;
    for (int i = 0; i < kSignalCount; ++i)
        saved_->installed[i] = sigaction(kSignals[i], &action, &saved_->old[i]) == 0;
#else
    (void)line;
#endif
}

ReaderCrashGuard::~ReaderCrashGuard() {
#if defined(MURKWELL_HAS_SIGACTION)
    if (!saved_) return;
    for (int i = 0; i < kSignalCount; ++i)
        if (saved_->installed[i]) sigaction(kSignals[i], &saved_->old[i], nullptr);
    std::memcpy(gLine, saved_->line, saved_->lineLength);
    gLineLength = saved_->lineLength;
    delete saved_;
#endif
}
