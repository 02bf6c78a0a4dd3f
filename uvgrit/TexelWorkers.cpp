// The texel workers evaluate every covered texel and store its value under workLock, and stop at
// their next texel once the run asks them to cancel. In the even/odd layout two threads deal out
// the rows by parity and the even-row worker publishes the progress; in the shared-row layout any
// number of threads take rows from one queue, each starting a row from the generator state the
// even/odd layout has there, and all of them publish.
#include "uvgrit/TexelWorkers.h"

#include <cmath>
#include <exception>
#include <vector>

#include "host/Assert.h"
#include "host/Noise.h"
#include "host/Rand.h"
#include "host/Ray.h"
#include "plugin/GritUtility.h"

namespace {
bool IsFinite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

void RunTexelThread(void* arg, int evenRows) {
    // Copy the start record first: the run owns it.
    const TexelThreadStart start = *static_cast<const TexelThreadStart*>(arg);
    GritUtility& utility = *start.utility;
    std::atomic<int>& done = evenRows ? utility.evenRowsDone : utility.oddRowsDone;
    done.store(0);
    // A thread the platform reuses would carry an older generator state along.
    SetCrtRandState(start.rngState);
    try {
        // On 0 the worker has raised its flag itself; after that nothing here may touch the
        // utility, because the run may already have ended.
        if (utility.TexelWorker(*start.mesh, utility.texels, utility.gritValues, evenRows) != 0)
            utility.RaiseTexelWorkerDone(done);
    } catch (...) {
        // Nothing in the worker is expected to throw; if something does, end the worker in
        // order rather than take the host down with it.
        if (done.load() == 0) {
            utility.texelWorkerFailed.store(1);
            utility.RaiseTexelWorkerDone(done);
        }
    }
}
}  // namespace

void OddRowThread(void* start) { RunTexelThread(start, 0); }
void EvenRowThread(void* start) { RunTexelThread(start, 1); }

void TexelQueueThread(void* arg) {
    // Copy the start record first: the run owns it.
    const TexelQueueStart start = *static_cast<const TexelQueueStart*>(arg);
    GritUtility& utility = *start.utility;
    std::atomic<int>& done = *start.doneFlag;
    try {
        GritUtility::TexelRowPlan plan;
        plan.publishesProgress = true;
        plan.doneFlag = &done;
        plan.queue = start.rows;
        // On 0 the worker has raised its flag itself; after that nothing here may touch the
        // utility, because the run may already have ended.
        if (utility.TexelRows(*start.mesh, utility.texels, utility.gritValues, plan) != 0)
            utility.RaiseTexelWorkerDone(done);
    } catch (...) {
        if (done.load() == 0) {
            utility.texelWorkerFailed.store(1);
            utility.RaiseTexelWorkerDone(done);
        }
    }
}

std::uint64_t TexelRayCount(int horizontalSpread, int verticalSpread) {
    const std::uint64_t h = horizontalSpread > 0 ? static_cast<std::uint64_t>(horizontalSpread) : 0u;
    const std::uint64_t v = verticalSpread > 0 ? static_cast<std::uint64_t>(verticalSpread) : 0u;
    return h * v + 1u;
}

float ModulateByNoise(float g, float noiseValue) { return (noiseValue + 1.0f) * g; }

float ClampTexelGrit(float g) { return g > 1.0f ? 0.99f : g; }

float TexelGrit(float g, const Point3& p, int noiseOn, float noiseSize) {
    if (noiseOn != 0 && noiseSize != 0.0f) {
        const Point3 q = p / noiseSize;
        if (IsFinite(q)) {
            const float modulated = ModulateByNoise(g, noise3(q));
            if (std::isfinite(modulated)) g = modulated;
        }
    }
    return ClampTexelGrit(g);
}

void GritUtility::RaiseTexelWorkerDone(std::atomic<int>& doneFlag) {
    // Raised and signalled under the mutex, so the run's wait cannot miss the wake-up, and the
    // run cannot see the flag before this thread is done with the mutex and the signal.
    std::lock_guard<std::mutex> lock(texelWorkersDoneMutex);
    doneFlag.store(1);
    texelWorkersDoneSignal.notify_all();
}

int GritUtility::TexelWorker(const Mesh& mesh, BArray<TexelRecord>& texelGrid, BArray<float>& valueGrid, int evenRows) {
    TexelRowPlan plan;
    plan.firstRow = evenRows ? 0 : 1;
    plan.rowStep = 2;
    plan.publishesProgress = evenRows != 0;
    plan.doneFlag = evenRows ? &evenRowsDone : &oddRowsDone;
    return TexelRows(mesh, texelGrid, valueGrid, plan);
}

int GritUtility::TexelRows(const Mesh& mesh, BArray<TexelRecord>& texelGrid, BArray<float>& valueGrid,
                           const TexelRowPlan& plan) {
    const int height = static_cast<int>(texelGrid.RowCount());
    const int width = static_cast<int>(texelGrid.ColumnCount());
    const int rowStep = plan.rowStep > 0 ? plan.rowStep : 1;

    // The run's thread reads the percentage under the lock, so it is reset under it too. Workers
    // sharing a queue leave that to the run: one starting late would set the bar back.
    TexelRowQueue* const queue = plan.queue;
    if (!queue) {
        EnterCriticalSection(&workLock);
        progressPercent = 0;
        LeaveCriticalSection(&workLock);
    }

    std::vector<Ray> rayBuffer;
    try {
        rayBuffer.resize(static_cast<std::size_t>(TexelRayCount(settings.horizontalSpread, settings.verticalSpread)));
    } catch (const std::exception&) {
        // A spread too large for memory: stop, and let the run tell the user.
        texelWorkerFailed.store(1);
        RaiseTexelWorkerDone(*plan.doneFlag);
        return 0;
    }

    const int faceCount = mesh.getNumFaces();
    const int vertCount = mesh.getNumVerts();
    // Rows from the queue are taken one at a time, in row order across all its workers.
    auto takeRow = [&](int previous) { return queue ? queue->nextRow.fetch_add(1) : previous + rowStep; };
    for (int y = queue ? takeRow(0) : plan.firstRow; y < height; y = takeRow(y)) {
        if (queue) {
            // The state this row starts from in the even/odd layout: every texel of the row gets
            // the same draw there and here.
            if (static_cast<std::size_t>(y) < queue->rowStartStates.size()) {
                SetCrtRandState(queue->rowStartStates[static_cast<std::size_t>(y)]);
            } else {
                assert1(__LINE__, "TexelWorker");  // states for another grid
            }
        }
        if (plan.publishesProgress) {
            const double done = static_cast<double>(static_cast<std::int64_t>(y) * width);
            const double all = static_cast<double>(static_cast<std::int64_t>(width) * height);
            const int percent = static_cast<int>(done * 100.0 / all);
            EnterCriticalSection(&workLock);
            // Shared rows may be started out of order by a few: the bar only ever rises.
            progressPercent = queue && progressPercent > percent ? progressPercent : percent;
            LeaveCriticalSection(&workLock);
        }
        for (int x = 0; x < width; ++x) {
            if (beforeTexelHook) beforeTexelHook(x, y);
            if (cancelRequested.load() != 0) {
                std::vector<Ray>().swap(rayBuffer);
                RaiseTexelWorkerDone(*plan.doneFlag);
                return 0;
            }
            const TexelRecord record = texelGrid.Get(x, y);
            if (record.faceIndex < 0) continue;
            if (record.faceIndex >= faceCount) {
                assert1(__LINE__, "TexelWorker");  // coverage from another mesh
                continue;
            }
            float g = EvaluateGrit(mesh, record.faceIndex, record.weights, rayBuffer.data());
            if (settings.noiseOn != 0) {
                const Face& face = mesh.faces[static_cast<std::size_t>(record.faceIndex)];
                Point3 p;
                if (face.v[0] < DWORD(vertCount) && face.v[1] < DWORD(vertCount) && face.v[2] < DWORD(vertCount)) {
                    const Point3& a = mesh.getVert(static_cast<int>(face.v[0]));
                    const Point3& b = mesh.getVert(static_cast<int>(face.v[1]));
                    const Point3& c = mesh.getVert(static_cast<int>(face.v[2]));
                    const Point3& r = record.rawWeights;
                    p = (a * r.x + b * r.y) + c * r.z;
                }
                g = TexelGrit(g, p, settings.noiseOn, settings.noiseSize);
            } else {
                g = ClampTexelGrit(g);
            }
            EnterCriticalSection(&workLock);
            valueGrid.Set(x, y, g);
            LeaveCriticalSection(&workLock);
        }
    }
    return 1;
}
