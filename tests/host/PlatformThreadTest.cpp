// Thread starts, the start-failure hook and critical sections.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "host/Platform.h"
#include "host/Rand.h"

namespace {

// Polls until `count` reaches `target` or five seconds pass.
bool WaitFor(const std::atomic<int>& count, int target) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (count.load() < target) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(1);
    }
    return true;
}

struct StartRecord {
    std::atomic<int> ran{0};
    std::atomic<int> firstRand{-1};
    std::atomic<int> finished{0};
};

void RecordStart(void* arg) {
    auto* rec = static_cast<StartRecord*>(arg);
    rec->firstRand.store(CrtRand());
    rec->ran.fetch_add(1);
    rec->finished.fetch_add(1);  // last touch of the record
}

// Clears the failure hook however a test ends.
struct HookGuard {
    ~HookGuard() { SetThreadStartFailureHook({}); }
};

}  // namespace

TEST(PlatformThread, BeginThreadRunsTheEntryWithSeedOne) {
    // This thread's generator is elsewhere; the new one must start from seed 1 (first value 41).
    CrtRand();
    CrtRand();
    StartRecord rec;
    const std::uintptr_t handle = BeginThread(RecordStart, 8192, &rec);
    EXPECT_NE(handle, BEGINTHREAD_FAILED);
    EXPECT_NE(handle, 0u);
    ASSERT_TRUE(WaitFor(rec.finished, 1));
    EXPECT_EQ(rec.ran.load(), 1);
    EXPECT_EQ(rec.firstRand.load(), 41);
}

TEST(PlatformThread, FailureHookFailsTheChosenStart) {
    HookGuard guard;
    SetThreadStartFailureHook([](int attempt) { return attempt == 1; });
    StartRecord a, b, c;
    const std::uintptr_t ha = BeginThread(RecordStart, 8192, &a);
    const std::uintptr_t hb = BeginThread(RecordStart, 8192, &b);
    const std::uintptr_t hc = BeginThread(RecordStart, 8192, &c);
    EXPECT_NE(ha, BEGINTHREAD_FAILED);
    EXPECT_EQ(hb, BEGINTHREAD_FAILED);
    EXPECT_NE(hc, BEGINTHREAD_FAILED);
    ASSERT_TRUE(WaitFor(a.finished, 1));
    ASSERT_TRUE(WaitFor(c.finished, 1));
    EXPECT_NE(ha, hc);
    // The failed start never ran its entry.
    Sleep(20);
    EXPECT_EQ(b.ran.load(), 0);

    // Setting the hook again restarts the attempt count; clearing it restores normal starts.
    SetThreadStartFailureHook([](int attempt) { return attempt == 0; });
    StartRecord d, e;
    EXPECT_EQ(BeginThread(RecordStart, 8192, &d), BEGINTHREAD_FAILED);
    SetThreadStartFailureHook({});
    EXPECT_NE(BeginThread(RecordStart, 8192, &e), BEGINTHREAD_FAILED);
    ASSERT_TRUE(WaitFor(e.finished, 1));
    EXPECT_EQ(d.ran.load(), 0);
}

TEST(PlatformThread, StartThatThrowsIsAFailedStartThatRunsNothing) {
    HookGuard guard;
    // The platform's thread object throws bad_alloc without memory for the thread's state, and a
    // foreign runtime may throw anything: BeginThread reports each as a failed start.
    SetThreadStartFaultHook([](int attempt) {
        switch (attempt) {
            case 0: return ThreadStartFault::kThrowBadAlloc;
            case 1: return ThreadStartFault::kThrowOther;
            case 2: return ThreadStartFault::kFail;
            default: return ThreadStartFault::kNone;
        }
    });
    StartRecord bad, other, failed, fine;
    EXPECT_EQ(BeginThread(RecordStart, 8192, &bad), BEGINTHREAD_FAILED);
    EXPECT_EQ(BeginThread(RecordStart, 8192, &other), BEGINTHREAD_FAILED);
    EXPECT_EQ(BeginThread(RecordStart, 8192, &failed), BEGINTHREAD_FAILED);
    EXPECT_NE(BeginThread(RecordStart, 8192, &fine), BEGINTHREAD_FAILED);
    ASSERT_TRUE(WaitFor(fine.finished, 1));
    Sleep(20);
    EXPECT_EQ(bad.ran.load(), 0);
    EXPECT_EQ(other.ran.load(), 0);
    EXPECT_EQ(failed.ran.load(), 0);
}

namespace {

struct Shared {
    CRITICAL_SECTION cs;
    long counter = 0;  // guarded by cs only
    std::atomic<bool> inside{false};
    std::atomic<int> overlaps{0};
    std::atomic<int> finished{0};
};

void Increment(void* arg) {
    auto* s = static_cast<Shared*>(arg);
    for (int i = 0; i < 20000; ++i) {
        EnterCriticalSection(&s->cs);
        if (s->inside.exchange(true)) s->overlaps.fetch_add(1);
        s->counter = s->counter + 1;
        s->inside.store(false);
        LeaveCriticalSection(&s->cs);
    }
    s->finished.fetch_add(1);
}

}  // namespace

TEST(PlatformThread, CriticalSectionExcludes) {
    Shared s;
    InitializeCriticalSection(&s.cs);
    ASSERT_NE(BeginThread(Increment, 8192, &s), BEGINTHREAD_FAILED);
    ASSERT_NE(BeginThread(Increment, 8192, &s), BEGINTHREAD_FAILED);
    Increment(&s);
    ASSERT_TRUE(WaitFor(s.finished, 3));
    EXPECT_EQ(s.overlaps.load(), 0);
    EXPECT_EQ(s.counter, 60000);
    DeleteCriticalSection(&s.cs);
    EXPECT_EQ(s.cs.m, nullptr);
}

namespace {

struct Reentry {
    CRITICAL_SECTION* cs;
    std::atomic<int> stage{0};
};

void EnterTwice(void* arg) {
    auto* r = static_cast<Reentry*>(arg);
    EnterCriticalSection(r->cs);
    EnterCriticalSection(r->cs);  // the owner may enter again
    r->stage.store(1);
    LeaveCriticalSection(r->cs);
    LeaveCriticalSection(r->cs);
    r->stage.store(2);
}

void EnterOnce(void* arg) {
    auto* r = static_cast<Reentry*>(arg);
    EnterCriticalSection(r->cs);
    LeaveCriticalSection(r->cs);
    r->stage.store(3);
}

}  // namespace

TEST(PlatformThread, OwnerMayReenterTheCriticalSection) {
    // Static so that a thread stuck by a broken lock never outlives what it points at.
    static CRITICAL_SECTION cs;
    static Reentry r{&cs};
    InitializeCriticalSection(&cs);
    ASSERT_NE(BeginThread(EnterTwice, 8192, &r), BEGINTHREAD_FAILED);
    ASSERT_TRUE(WaitFor(r.stage, 2));
    // Left as often as entered: another thread gets in.
    ASSERT_NE(BeginThread(EnterOnce, 8192, &r), BEGINTHREAD_FAILED);
    ASSERT_TRUE(WaitFor(r.stage, 3));
    DeleteCriticalSection(&cs);
}
