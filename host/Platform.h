// Platform stand-ins the plug-in calls: critical sections, Sleep, the C runtime's thread start
// (asking for a stack size) and time. Portable C++ only, so a Windows build stays possible.
#pragma once
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>

#include "host/Win32Types.h"

// A Win32-style critical section. The plug-in initialises it before its workers start and
// deletes it after they have finished. Like a Win32 one, the thread that holds it may enter it
// again (and leaves it as often as it entered).
struct CRITICAL_SECTION {
    std::recursive_mutex* m = nullptr;
};
void InitializeCriticalSection(CRITICAL_SECTION* cs);
void EnterCriticalSection(CRITICAL_SECTION* cs);
void LeaveCriticalSection(CRITICAL_SECTION* cs);
void DeleteCriticalSection(CRITICAL_SECTION* cs);

void Sleep(DWORD milliseconds);

// The C runtime's _beginthread: starts `entry(arg)` on a new detached thread and returns a
// non-zero handle, or BEGINTHREAD_FAILED when the thread could not be started, whatever the
// reason (no thread resources, no memory for the thread's state, anything else the platform
// throws). It never throws, and after a failed start `entry` never runs. The stack size is a
// request; the platform may give more. A fresh thread's CrtRand starts from seed 1.
constexpr std::uintptr_t BEGINTHREAD_FAILED = static_cast<std::uintptr_t>(-1);
std::uintptr_t BeginThread(void (*entry)(void*), unsigned stackSize, void* arg);

// Test hook: decides, per start attempt (0, 1, 2, ... since the hook was set), how the start
// goes. kFail makes the platform report a failed start; the kThrow kinds make the thread's
// creation throw, as the platform's own thread object does when it runs out of memory or
// resources (kThrowBadAlloc) or for any other reason (kThrowOther). An empty function restores
// normal starts.
enum class ThreadStartFault { kNone, kFail, kThrowBadAlloc, kThrowOther };
void SetThreadStartFaultHook(std::function<ThreadStartFault(int attempt)> hook);
// The same with a yes/no answer: true makes that attempt fail (kFail).
void SetThreadStartFailureHook(std::function<bool(int attempt)> hook);

// Whole seconds since the epoch, like the C runtime's time().
std::int64_t HostTime();
