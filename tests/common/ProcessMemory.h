// The test process's resident memory as the system counts it (Linux: /proc/self): what is
// resident now, and the most that was resident since the peak was last reset.
#pragma once
#include <cstddef>

// Starts a new peak from what is resident now; false where the system cannot.
bool ResetPeakResident();
// Bytes resident now, and the peak since the last reset (0 when unknown).
std::size_t ResidentBytes();
std::size_t PeakResidentBytes();
