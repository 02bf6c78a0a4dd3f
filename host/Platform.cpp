#include "host/Platform.h"

#include <atomic>
#include <chrono>
#include <system_error>
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
std::function<bool(int)> g_failHook;
int g_attempt = 0;
std::atomic<std::uintptr_t> g_nextHandle{1};
}  // namespace

void SetThreadStartFailureHook(std::function<bool(int attempt)> hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_failHook = std::move(hook);
    g_attempt = 0;
}

std::uintptr_t BeginThread(void (*entry)(void*), unsigned stackSize, void* arg) {
    (void)stackSize;  // std::thread cannot ask for a stack size; the platform default is larger
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        if (g_failHook && g_failHook(g_attempt++)) return BEGINTHREAD_FAILED;
    }
    try {
        std::thread t(entry, arg);
        t.detach();
    } catch (const std::system_error&) {
        return BEGINTHREAD_FAILED;
    }
    return g_nextHandle.fetch_add(1);
}

std::int64_t HostTime() { return static_cast<std::int64_t>(std::time(nullptr)); }
