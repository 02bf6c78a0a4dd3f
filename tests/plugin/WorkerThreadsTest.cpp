// How runs use the machine's threads: the worker count, the phases that share chunks of work out
// over threads, and the ray buffer each worker takes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "plugin/WorkerThreads.h"

namespace {
// Waits, at most five seconds, until `flag` is set.
bool WaitFor(const std::atomic<bool>& flag) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!flag.load()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
}  // namespace

TEST(WorkerThreads, CountFollowsTheRequestTheMachineAndTheWork) {
    const int machine = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    EXPECT_EQ(RunWorkerThreads(3, 100), 3);
    EXPECT_EQ(RunWorkerThreads(0, 100000), machine);
    EXPECT_EQ(RunWorkerThreads(-4, 100000), machine);
    EXPECT_EQ(RunWorkerThreads(8, 5), 5);  // no worker without a row or face
    EXPECT_EQ(RunWorkerThreads(8, 0), 1);  // but always one, so the run ends the usual way
    EXPECT_EQ(RunWorkerThreads(1, 0), 1);
}

// The suite can be run with the machine's thread count forced (scripts/test.sh does, at 1 and at
// 16): then the default must be that count, or the forced runs would test nothing.
TEST(WorkerThreads, DefaultIsTheForcedHardwareThreadCountWhenOneIsForced) {
    const char* forced = std::getenv("MURKWELL_HARDWARE_THREADS");
    if (!forced || !*forced) GTEST_SKIP() << "the machine's thread count is not forced";
    const int n = std::atoi(forced);
    ASSERT_GE(n, 1);
    EXPECT_EQ(static_cast<int>(std::thread::hardware_concurrency()), n);
    EXPECT_EQ(RunWorkerThreads(0, 1000000), n);
}

TEST(WorkerThreads, ChunksCoverTheItems) {
    EXPECT_EQ(ChunkCount(0, 10), 0);
    EXPECT_EQ(ChunkCount(1, 10), 1);
    EXPECT_EQ(ChunkCount(10, 10), 1);
    EXPECT_EQ(ChunkCount(11, 10), 2);
    EXPECT_EQ(ChunkCount(5, 0), 5);
}

TEST(WorkerThreadsPhase, RunsEveryChunkExactlyOnceOnAnyNumberOfThreads) {
    for (int threads : {1, 2, 3, 8}) {
        for (int chunks : {0, 1, 7, 200}) {
            SCOPED_TRACE(testing::Message() << threads << " threads, " << chunks << " chunks");
            std::vector<std::atomic<int>> runs(static_cast<size_t>(chunks));
            EXPECT_TRUE(RunPhase({threads, {}}, chunks, [&](std::int64_t c) { runs[static_cast<size_t>(c)]++; }));
            for (int c = 0; c < chunks; ++c) EXPECT_EQ(runs[static_cast<size_t>(c)].load(), 1) << c;
        }
    }
}

TEST(WorkerThreadsPhase, SharesTheChunksOutOverThreadsThatRunAtOnce) {
    // Each of the two chunks waits for the other to have started: only two threads at once can
    // finish them both.
    std::atomic<bool> started[2] = {false, false};
    std::atomic<bool> sawOther[2] = {false, false};
    std::mutex m;
    std::set<std::thread::id> threads;
    EXPECT_TRUE(RunPhase({2, {}}, 2, [&](std::int64_t c) {
        {
            std::lock_guard<std::mutex> lock(m);
            threads.insert(std::this_thread::get_id());
        }
        started[c].store(true);
        sawOther[c].store(WaitFor(started[1 - c]));
    }));
    EXPECT_TRUE(sawOther[0].load());
    EXPECT_TRUE(sawOther[1].load());
    EXPECT_EQ(threads.size(), 2u);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 1u);  // the caller takes chunks too
}

TEST(WorkerThreadsPhase, StopIsAskedOnTheCallingThreadOnlyAndEndsThePhase) {
    const auto caller = std::this_thread::get_id();
    std::atomic<int> asked{0}, otherThread{0}, ran{0};
    const PhaseControl control{3, [&] {
                                   if (std::this_thread::get_id() != caller) otherThread++;
                                   return ++asked >= 5;
                               }};
    // Chunks of 2 ms: the phase would take well over a second were it not stopped.
    const bool complete = RunPhase(control, 1200, [&](std::int64_t) {
        ran++;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    EXPECT_FALSE(complete);
    EXPECT_GE(asked.load(), 5);
    EXPECT_EQ(otherThread.load(), 0);
    EXPECT_LT(ran.load(), 1200);
    EXPECT_GT(ran.load(), 0);
}

TEST(WorkerThreadsPhase, ThrottledStopAsksAtMostOncePerIntervalAndRemembersAYes) {
    int asked = 0;
    bool answer = false;
    const auto start = std::chrono::steady_clock::now();
    const std::function<bool()> stop = ThrottledStop([&] {
        ++asked;
        return answer;
    }, std::chrono::milliseconds(50));
    // Not before the first interval has passed, however often it is called.
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(40)) EXPECT_FALSE(stop());
    EXPECT_EQ(asked, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(stop());
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(stop());  // within the next interval: not asked again
    EXPECT_EQ(asked, 1);
    answer = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_TRUE(stop());
    EXPECT_EQ(asked, 2);
    answer = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_TRUE(stop());  // a cancel stays a cancel
    EXPECT_EQ(asked, 2);
}

TEST(WorkerThreadsPhase, AFailingChunkEndsThePhaseAndItsErrorComesBackOnceAllHaveLeft) {
    for (int threads : {1, 4}) {
        SCOPED_TRACE(threads);
        std::atomic<int> inside{0}, ran{0};
        try {
            RunPhase({threads, {}}, 1000, [&](std::int64_t c) {
                inside++;
                ran++;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                inside--;
                if (c == 10) throw std::runtime_error("chunk 10");
            });
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "chunk 10");
        }
        EXPECT_EQ(inside.load(), 0);  // no helper still working
        EXPECT_LT(ran.load(), 1000);
    }
}

TEST(WorkerThreadsPhase, ForegroundRunsOnTheCallerBesideTheHelpers) {
    const auto caller = std::this_thread::get_id();
    std::atomic<bool> chunkStarted{false};
    std::atomic<int> ran{0};
    bool foregroundOnCaller = false, sawChunkMeanwhile = false;
    const std::function<bool()> foreground = [&] {
        foregroundOnCaller = std::this_thread::get_id() == caller;
        sawChunkMeanwhile = WaitFor(chunkStarted);  // a helper works while the caller is here
        return true;
    };
    EXPECT_TRUE(RunPhase({2, {}}, 50, [&](std::int64_t) {
        chunkStarted.store(true);
        ran++;
    }, foreground));
    EXPECT_TRUE(foregroundOnCaller);
    EXPECT_TRUE(sawChunkMeanwhile);
    EXPECT_EQ(ran.load(), 50);

    // A foreground that answers false ends the phase; with one thread it comes after the chunks.
    ran.store(0);
    EXPECT_FALSE(RunPhase({1, {}}, 50, [&](std::int64_t) { ran++; }, [] { return false; }));
    EXPECT_EQ(ran.load(), 50);
}

TEST(WorkerThreadsRayBuffer, HoldsTheRaysAndFailsAsOutOfMemoryWhenItCannot) {
    const std::unique_ptr<Ray[]> rays = AllocateRayBuffer(241);
    ASSERT_NE(rays, nullptr);
    EXPECT_EQ(rays[240].dir, Point3());
    EXPECT_THROW(AllocateRayBuffer(UINT64_MAX / 2), std::bad_alloc);

    SetRayBufferFailureHook([](int attempt) { return attempt == 1; });
    EXPECT_NO_THROW(AllocateRayBuffer(9));
    EXPECT_THROW(AllocateRayBuffer(9), std::bad_alloc);
    EXPECT_NO_THROW(AllocateRayBuffer(9));
    SetRayBufferFailureHook({});
}
