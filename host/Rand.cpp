#include "host/Rand.h"

namespace {
constexpr std::uint32_t kMul = 214013u;
constexpr std::uint32_t kAdd = 2531011u;
thread_local std::uint32_t t_state = 1u;
}  // namespace

int CrtRand() {
    t_state = t_state * kMul + kAdd;
    return static_cast<int>((t_state >> 16) & 0x7FFFu);
}

void CrtSrand(std::uint32_t seed) { t_state = seed; }
std::uint32_t CrtRandState() { return t_state; }
void SetCrtRandState(std::uint32_t state) { t_state = state; }

std::uint32_t CrtRandJump(std::uint32_t state, std::uint64_t steps) {
    // Compose the affine map x -> a x + c with itself by squaring: (a, c) o (a, c) = (a a, a c + c).
    std::uint32_t accMul = 1u, accAdd = 0u;
    std::uint32_t curMul = kMul, curAdd = kAdd;
    while (steps != 0) {
        if (steps & 1u) {
            accMul = accMul * curMul;
            accAdd = accAdd * curMul + curAdd;
        }
        curAdd = (curMul + 1u) * curAdd;
        curMul = curMul * curMul;
        steps >>= 1;
    }
    return accMul * state + accAdd;
}
