#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "host/Platform.h"
#include "vertexgrit/WorkerPool.h"

namespace {

// What the test entries share: a gate the test opens per slot, and a record of what ran.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open[4] = {false, false, false, false};
    std::set<int> slotsRun;
    std::set<void*> contextsSeen;
    int entries = 0;

    void Open(int slot) {
        std::lock_guard<std::mutex> lock(m);
        open[slot] = true;
        cv.notify_all();
    }
};

// Blocks until the test opens its slot's gate (or 10 s pass, so a broken test cannot hang).
void GatedEntry(void* arg) {
    auto* job = static_cast<WorkerJob*>(arg);
    auto* gate = static_cast<Gate*>(job->context);
    {
        std::unique_lock<std::mutex> lock(gate->m);
        gate->entries++;
        gate->slotsRun.insert(job->index);
        gate->contextsSeen.insert(job->context);
        gate->cv.wait_for(lock, std::chrono::seconds(10), [&] { return gate->open[job->index]; });
    }
    job->pool->SetFinished(job->index, true);
    delete job;
}

// Runs until the pool's stop flag is raised.
void StopPollingEntry(void* arg) {
    auto* job = static_cast<WorkerJob*>(arg);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!job->pool->StopRequested() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    job->pool->SetFinished(job->index, true);
    delete job;
}

// Restores normal thread starts however the test ends.
struct FailureHookGuard {
    explicit FailureHookGuard(std::function<bool(int)> hook) { SetThreadStartFailureHook(std::move(hook)); }
    ~FailureHookGuard() { SetThreadStartFailureHook({}); }
};

}  // namespace

TEST(WorkerPoolTest, NewAndSizedPoolsRunNothing) {
    Gate gate;
    WorkerPool pool(GatedEntry, &gate);
    EXPECT_EQ(pool.ThreadCount(), 0);
    EXPECT_EQ(pool.RunningCount(), 0);
    EXPECT_FALSE(pool.StopRequested());
    pool.SetThreadCount(2);
    EXPECT_EQ(pool.ThreadCount(), 2);
    EXPECT_EQ(pool.RunningCount(), 0);
    EXPECT_EQ(gate.entries, 0);
}

TEST(WorkerPoolTest, CountsBusyThreadsUntilEachFinishes) {
    Gate gate;
    WorkerPool pool(GatedEntry, &gate);
    pool.SetThreadCount(2);
    pool.Start();
    EXPECT_EQ(pool.RunningCount(), 2);
    EXPECT_FALSE(pool.WaitForIdle(20));

    gate.Open(0);
    // Slot 1 is still held, so the pool never becomes idle; slot 0 does finish.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pool.RunningCount() != 1 && std::chrono::steady_clock::now() < deadline) pool.WaitForIdle(5);
    EXPECT_EQ(pool.RunningCount(), 1);

    gate.Open(1);
    EXPECT_TRUE(pool.WaitForIdle(10000));
    EXPECT_EQ(pool.RunningCount(), 0);
    std::lock_guard<std::mutex> lock(gate.m);
    EXPECT_EQ(gate.slotsRun, (std::set<int>{0, 1}));
    EXPECT_EQ(gate.contextsSeen, (std::set<void*>{&gate}));
}

TEST(WorkerPoolTest, ProgressIsClampedFloatDivision) {
    WorkerPool pool(GatedEntry);
    pool.SetTotal(1000);
    pool.SetDone(500);
    EXPECT_EQ(pool.Progress(), 0.5f);
    pool.AddDone(250);
    pool.AddDone(1);
    EXPECT_EQ(pool.Done(), 751);
    EXPECT_EQ(pool.Progress(), 0.751f);

    pool.SetTotal(0);
    pool.SetDone(0);
    EXPECT_EQ(pool.Progress(), 0.0f);  // 0 of 0 is NaN, shown as 0
    pool.SetDone(3);
    EXPECT_EQ(pool.Progress(), 1.0f);  // positive over zero total

    pool.SetTotal(5);
    pool.SetDone(7);
    EXPECT_EQ(pool.Progress(), 1.0f);
    pool.SetDone(-2);
    EXPECT_EQ(pool.Progress(), 0.0f);
    pool.SetTotal(-4);
    pool.SetDone(2);
    EXPECT_EQ(pool.Progress(), 0.0f);
}

TEST(WorkerPoolTest, StartClearsAnEarlierStopRequest) {
    Gate gate;
    WorkerPool pool(GatedEntry, &gate);
    pool.SetStop(true);
    EXPECT_TRUE(pool.StopRequested());
    pool.SetThreadCount(1);
    pool.Start();
    EXPECT_FALSE(pool.StopRequested());
    gate.Open(0);
    EXPECT_TRUE(pool.WaitForIdle(10000));
}

TEST(WorkerPoolTest, StopRequestEndsPollingThreads) {
    WorkerPool pool(StopPollingEntry);
    pool.SetThreadCount(2);
    pool.Start();
    pool.SetStop(true);
    EXPECT_TRUE(pool.WaitForIdle(10000));
    EXPECT_EQ(pool.RunningCount(), 0);
    EXPECT_TRUE(pool.StopRequested());
}

TEST(WorkerPoolTest, ZeroThreadsStartNothing) {
    Gate gate;
    WorkerPool pool(GatedEntry, &gate);
    pool.SetThreadCount(0);
    pool.Start();
    EXPECT_EQ(pool.RunningCount(), 0);
    EXPECT_TRUE(pool.WaitForIdle(0));
    EXPECT_EQ(gate.entries, 0);
}

TEST(WorkerPoolTest, RestartAfterAllFinishedRunsEverySlotAgain) {
    Gate gate;
    WorkerPool pool(GatedEntry, &gate);
    pool.SetThreadCount(2);
    gate.Open(0);
    gate.Open(1);
    pool.Start();
    ASSERT_TRUE(pool.WaitForIdle(10000));
    pool.Start();
    ASSERT_TRUE(pool.WaitForIdle(10000));
    std::lock_guard<std::mutex> lock(gate.m);
    EXPECT_EQ(gate.entries, 4);
}

// The second slot's start fails: the first thread keeps running, the failing slot is not counted
// as running (its job is freed, which the leak-checking build verifies), and the text is exact.
TEST(WorkerPoolTest, FailedStartThrowsAndLeavesOnlyRealThreadsRunning) {
    Gate gate;
    WorkerPool pool(GatedEntry, &gate);
    pool.SetThreadCount(3);
    {
        FailureHookGuard hook([](int attempt) { return attempt == 1; });
        try {
            pool.Start();
            ADD_FAILURE() << "Start did not throw";
        } catch (const CString& e) {
            EXPECT_STREQ(e.c_str(), "Failed _beginthread call");
        }
    }
    EXPECT_EQ(pool.RunningCount(), 1);
    gate.Open(0);
    EXPECT_TRUE(pool.WaitForIdle(10000));
    std::lock_guard<std::mutex> lock(gate.m);
    EXPECT_EQ(gate.slotsRun, (std::set<int>{0}));  // slot 2 was never attempted
}

TEST(WorkerPoolTest, FailedFirstStartRunsNothing) {
    Gate gate;
    WorkerPool pool(GatedEntry, &gate);
    pool.SetThreadCount(2);
    FailureHookGuard hook([](int) { return true; });
    EXPECT_THROW(pool.Start(), CString);
    EXPECT_EQ(pool.RunningCount(), 0);
    EXPECT_EQ(gate.entries, 0);
}

// A start that throws, wherever it comes: the threads before it keep running and are counted, the
// throwing slot is not, and Start reports the failure as it does a failed start.
TEST(WorkerPoolTest, StartThatThrowsCountsOnlyTheThreadsThatRun) {
    for (int throwing = 0; throwing < 3; ++throwing) {
        SCOPED_TRACE(throwing);
        Gate gate;
        WorkerPool pool(GatedEntry, &gate);
        pool.SetThreadCount(3);
        SetThreadStartFaultHook([throwing](int attempt) {
            return attempt == throwing ? ThreadStartFault::kThrowBadAlloc : ThreadStartFault::kNone;
        });
        EXPECT_THROW(pool.Start(), CString);
        SetThreadStartFaultHook({});
        EXPECT_EQ(pool.RunningCount(), throwing);
        for (int slot = 0; slot < 3; ++slot) gate.Open(slot);
        EXPECT_TRUE(pool.WaitForIdle(10000));
        std::lock_guard<std::mutex> lock(gate.m);
        EXPECT_EQ(gate.entries, throwing);
    }
}
