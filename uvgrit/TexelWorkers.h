// The texel worker threads of the UV Map run (the even/odd pair, and the shared-row workers the
// run starts) and the per-texel arithmetic they share: the ray buffer's size and the noise
// modulation with its clamp.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/Mesh.h"
#include "host/Point3.h"

class GritUtility;

// What the run hands a worker thread: the utility whose grids and flags it works on, the mesh,
// and the generator state the thread starts from (every worker starts from seed 1, so a run's
// map does not depend on which threads the platform reuses).
struct TexelThreadStart {
    GritUtility* utility = nullptr;
    const Mesh* mesh = nullptr;
    std::uint32_t rngState = 1u;
};

// Thread entries: the odd-row worker and the even-row worker. The argument is a TexelThreadStart
// that must stay alive until the worker has raised its done flag.
void OddRowThread(void* start);
void EvenRowThread(void* start);

// The rows of one run, shared by all its texel workers: the next row nobody has taken yet, and
// the generator state each row starts from (TexelRowStartStates), so that the map is the same for
// any number of workers.
struct TexelRowQueue {
    std::atomic<int> nextRow{0};
    std::vector<std::uint32_t> rowStartStates;
};

// What the run hands one worker of the shared-row layout: the utility, the mesh, the run's row
// queue and the worker's own done flag. Must stay alive until the worker has raised the flag.
struct TexelQueueStart {
    GritUtility* utility = nullptr;
    const Mesh* mesh = nullptr;
    TexelRowQueue* rows = nullptr;
    std::atomic<int>* doneFlag = nullptr;
};

// Thread entry of the shared-row layout: takes rows from the queue until none is left, publishing
// progress as it starts each row, and raises its done flag when it has finished or stopped.
void TexelQueueThread(void* start);

// Rays in one worker's buffer: horizontalSpread x verticalSpread + 1, a negative spread (from a
// hand-edited settings file) counting as 0. Computed in 64 bits so that it cannot overflow.
std::uint64_t TexelRayCount(int horizontalSpread, int verticalSpread);

// (noise + 1) x g: the noise field scales the grit value.
float ModulateByNoise(float g, float noiseValue);

// A value above 1 becomes 0.99; exactly 1 stays 1.
float ClampTexelGrit(float g);

// The value stored for a texel whose evaluator result is g and whose surface point is p. With
// the noise on, g is modulated by noise3(p / noiseSize); a noise size of 0, or a noise point or
// product that is not finite, leaves g unmodulated, so that no invalid value reaches the grid.
// Then the clamp above.
float TexelGrit(float g, const Point3& p, int noiseOn, float noiseSize);
