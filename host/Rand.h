// The C runtime's classic generator, with its state kept per thread and every thread starting
// from seed 1: x = x * 214013 + 2531011 (mod 2^32), result (x >> 16) & 0x7FFF. Reproducing it
// makes our maps the ones the plug-in's original platform produces, byte for byte.
#pragma once
#include <cstdint>

constexpr int CRT_RAND_MAX = 0x7FFF;

// Next value of the calling thread's sequence, 0..32767.
int CrtRand();
// Sets the calling thread's state (srand).
void CrtSrand(std::uint32_t seed);
// The calling thread's raw state, and setting it back (for jumping ahead).
std::uint32_t CrtRandState();
void SetCrtRandState(std::uint32_t state);

// The state after `steps` further draws from `state`, in O(log steps).
std::uint32_t CrtRandJump(std::uint32_t state, std::uint64_t steps);
