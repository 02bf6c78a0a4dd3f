// The C runtime's generator: its sequence, its per-thread state and the jump ahead.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "host/Rand.h"

namespace {

// Restores the calling thread's generator state when a test ends.
class RandStateGuard {
public:
    RandStateGuard() : saved_(CrtRandState()) {}
    ~RandStateGuard() { SetCrtRandState(saved_); }

private:
    std::uint32_t saved_;
};

}  // namespace

TEST(CrtRandSequence, FirstValuesFromSeedOne) {
    RandStateGuard guard;
    CrtSrand(1);
    const int expected[] = {41, 18467, 6334, 26500, 19169};
    for (int e : expected) EXPECT_EQ(CrtRand(), e);
}

TEST(CrtRandSequence, ValuesStayWithinRandMax) {
    RandStateGuard guard;
    CrtSrand(12345);
    int lo = CRT_RAND_MAX, hi = 0;
    for (int i = 0; i < 100000; ++i) {
        const int v = CrtRand();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, CRT_RAND_MAX);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_LT(lo, 10);
    EXPECT_GT(hi, CRT_RAND_MAX - 10);
}

TEST(CrtRandThread, NewThreadStartsAtSeedOne) {
    RandStateGuard guard;
    // Move this thread's state well away from the start first: the new thread must not inherit it.
    CrtSrand(987654321);
    for (int i = 0; i < 10; ++i) CrtRand();
    std::vector<int> fromThread;
    std::thread t([&] {
        for (int i = 0; i < 3; ++i) fromThread.push_back(CrtRand());
    });
    t.join();
    EXPECT_EQ(fromThread, (std::vector<int>{41, 18467, 6334}));
}

TEST(CrtRandJump, EqualsSingleSteps) {
    RandStateGuard guard;
    for (std::uint32_t start : {1u, 0u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
        std::uint32_t stepped = start;
        std::uint64_t done = 0;
        for (std::uint64_t k : {0ull, 1ull, 2ull, 1000ull, 123457ull}) {
            SetCrtRandState(stepped);
            for (; done < k; ++done) CrtRand();
            stepped = CrtRandState();
            EXPECT_EQ(CrtRandJump(start, k), stepped) << "start " << start << ", k " << k;
        }
    }
}

TEST(CrtRandJump, ResumesTheSequence) {
    RandStateGuard guard;
    // Jumping 3 draws ahead from seed 1 continues with the fourth and fifth values.
    SetCrtRandState(CrtRandJump(1u, 3));
    EXPECT_EQ(CrtRand(), 26500);
    EXPECT_EQ(CrtRand(), 19169);
}
