#include "host/Platform.h"

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

void InitializeCriticalSection(CRITICAL_SECTION* cs) { cs->m = new std::recursive_mutex(); }
void EnterCriticalSection(CRITICAL_SECTION* cs) { cs->m->lock(); }
void LeaveCriticalSection(CRITICAL_SECTION* cs) { cs->m->unlock(); }
void DeleteCriticalSection(CRITICAL_SECTION* cs) {
    delete cs->m;
    cs->m = nullptr;
}

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

namespace {
std::mutex g_hookMutex;
std::function<ThreadStartFault(int)> g_faultHook;
int g_attempt = 0;
std::atomic<std::uintptr_t> g_nextHandle{1};

// What a hooked start raises instead of a thread: not a std::exception, like a foreign runtime's.
struct InjectedStartFault {};

ThreadStartFault NextFault() {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    return g_faultHook ? g_faultHook(g_attempt++) : ThreadStartFault::kNone;
}
}  // namespace

void SetThreadStartFaultHook(std::function<ThreadStartFault(int attempt)> hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_faultHook = std::move(hook);
    g_attempt = 0;
}

void SetThreadStartFailureHook(std::function<bool(int attempt)> hook) {
    if (!hook) {
        SetThreadStartFaultHook({});
        return;
    }
    SetThreadStartFaultHook([fails = std::move(hook)](int attempt) {
        return fails(attempt) ? ThreadStartFault::kFail : ThreadStartFault::kNone;
    });
}

std::uintptr_t BeginThread(void (*entry)(void*), unsigned stackSize, void* arg) {
    (void)stackSize;  // std::thread cannot ask for a stack size; the platform default is larger
    try {
        const ThreadStartFault fault = NextFault();
        if (fault == ThreadStartFault::kFail) return BEGINTHREAD_FAILED;
        if (fault == ThreadStartFault::kThrowBadAlloc) throw std::bad_alloc();
        if (fault == ThreadStartFault::kThrowOther) throw InjectedStartFault{};
        std::thread t(entry, arg);
        t.detach();
    } catch (...) {
        // std::thread reports a thread it cannot create with system_error, and the memory for
        // the thread's state with bad_alloc; whatever comes, the caller gets a failed start and
        // knows that `entry` will not run.
        return BEGINTHREAD_FAILED;
    }
    return g_nextHandle.fetch_add(1);
}

std::int64_t HostTime() { return static_cast<std::int64_t>(std::time(nullptr)); }
