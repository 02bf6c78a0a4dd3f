// The texel worker threads of the UV Map run and the per-texel arithmetic they use: the ray
// buffer's size and the noise modulation with its clamp.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/Mesh.h"
#include "host/Point3.h"

class GritUtility;

// The rows of one run, shared by all its texel workers: the next row nobody has taken yet, and
// the generator state each row starts from (TexelRowStartStates), so that the map is the same for
// any number of workers.
struct TexelRowQueue {
    std::atomic<int> nextRow{0};
    std::vector<std::uint32_t> rowStartStates;
};

// What the run hands one worker: the utility, the mesh, the run's row queue and the worker's own
// done flag. Must stay alive, with everything it points to, until the worker has raised the flag.
struct TexelWorkerStart {
    GritUtility* utility = nullptr;
    const Mesh* mesh = nullptr;
    TexelRowQueue* rows = nullptr;
    std::atomic<int>* doneFlag = nullptr;
};

// Thread entry: runs TexelWorker over the utility's grids, then raises the done flag (also when
// the worker stopped or failed) as its last act.
void TexelWorkerThread(void* start);

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
