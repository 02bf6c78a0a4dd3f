// How the runs use the machine's threads: how many worker threads a run starts, the phases
// before and after the workers that share their work out over the same number of threads, and
// the ray buffer each worker takes.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "host/Ray.h"

// `requested` when it is positive, otherwise one per hardware thread of the machine (at least
// 1); never more than there are work items (rows, faces or chunks), but always at least 1, so
// that a run with nothing to do still starts and ends its workers the usual way.
int RunWorkerThreads(int requested, long long workItems);

// How one phase of a run may use threads. `threads` is the most it uses, the calling thread
// included. `stop`, when set, is asked on the calling thread only (so it may call the host),
// before each chunk that thread takes; when it answers true the phase starts no further chunk.
// It is asked often: a stop that asks the host goes through ThrottledStop.
struct PhaseControl {
    int threads = 1;
    std::function<bool()> stop;
};

// How often a run's preparation asks the host whether the user has cancelled.
inline constexpr std::chrono::milliseconds kPhasePollInterval{100};

// A stop for PhaseControl that asks `ask` (the host) at most once per `interval`, the first time
// one interval after it was made, and keeps answering true once `ask` has. Short preparations
// therefore never ask at all; long ones see a cancel within about one interval, across all their
// phases.
std::function<bool()> ThrottledStop(std::function<bool()> ask,
                                    std::chrono::steady_clock::duration interval = kPhasePollInterval);

// Runs work(chunk) once for every chunk 0 ... chunkCount - 1 on up to control.threads threads:
// the calling thread and helpers it starts and joins, each taking the next chunk not yet taken.
// Work on different chunks must touch different data, so that the result does not depend on
// which thread ran which chunk. A helper that cannot be started leaves its share to the others.
// Returns true when every chunk ran, false when `stop` ended the phase early (the chunks under
// way are finished first). An exception from a chunk or from `stop` ends the phase the same way
// and is rethrown here once no helper runs any more.
bool RunPhase(const PhaseControl& control, std::int64_t chunkCount, const std::function<void(std::int64_t chunk)>& work);

// The same, with a task of its own for the calling thread: it runs `foreground` while the helpers
// start on the chunks, then takes chunks too. `foreground` answers false to end the phase early.
// With one thread the chunks run first, then `foreground`.
bool RunPhase(const PhaseControl& control, std::int64_t chunkCount, const std::function<void(std::int64_t chunk)>& work,
              const std::function<bool()>& foreground);

// Chunks of `itemsPerChunk` items that cover `items` items (the last one may be shorter).
std::int64_t ChunkCount(std::int64_t items, std::int64_t itemsPerChunk);

// A worker's ray buffer of `count` default rays, taken in one allocation. Throws std::bad_alloc
// (or a type derived from it) when there is no memory for it.
std::unique_ptr<Ray[]> AllocateRayBuffer(std::uint64_t count);
// Test hook: decides, per ray buffer taken (0, 1, 2, ... since the hook was set), whether the
// allocation fails as if there were no memory. An empty function restores normal allocations.
void SetRayBufferFailureHook(std::function<bool(int attempt)> hook);
