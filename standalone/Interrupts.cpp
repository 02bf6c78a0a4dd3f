#include "standalone/Interrupts.h"

#include <atomic>
#include <csignal>

#include <signal.h>

namespace {
// Lock-free, so the signal handler may touch it.
std::atomic<int> g_interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnInterrupt(int) { g_interrupts.fetch_add(1, std::memory_order_relaxed); }
}  // namespace

int InterruptCount() { return g_interrupts.load(std::memory_order_relaxed); }
void NoteInterrupt() { g_interrupts.fetch_add(1, std::memory_order_relaxed); }
void ResetInterrupts() { g_interrupts.store(0, std::memory_order_relaxed); }

struct InterruptScope::Saved {
    struct sigaction previous;
};

InterruptScope::InterruptScope() : saved_(new Saved{}) {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking read at the partial-save prompt returns, so a second Ctrl-C is
    // seen at once.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, &saved_->previous);
}

InterruptScope::~InterruptScope() {
    sigaction(SIGINT, &saved_->previous, nullptr);
    delete saved_;
}
