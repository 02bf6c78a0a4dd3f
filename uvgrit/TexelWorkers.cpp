// The texel workers evaluate every covered texel and store its value, and stop at their next
// texel once the run asks them to cancel. Any number of them take rows from one queue, each
// starting a row from the generator state the two-worker even/odd layout has there, so that the
// map does not depend on how many workers there are or which of them takes which row.
#include "uvgrit/TexelWorkers.h"

#include <cmath>
#include <exception>

#include "host/Assert.h"
#include "host/Noise.h"
#include "host/Rand.h"
#include "host/Ray.h"
#include "plugin/GritUtility.h"
#include "plugin/WorkerThreads.h"

namespace {
bool IsFinite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }
}  // namespace

void TexelWorkerThread(void* arg) {
    // Copy the start record first: the run owns it.
    const TexelWorkerStart start = *static_cast<const TexelWorkerStart*>(arg);
    GritUtility& utility = *start.utility;
    try {
        utility.TexelWorker(*start.mesh, utility.texels, utility.gritValues, *start.rows);
    } catch (...) {
        // Nothing in the worker is expected to throw; if something does, end the worker in
        // order rather than take the host down with it, and let the run tell the user.
        utility.texelWorkerFailed.store(1);
    }
    // After this the run may end at any moment: nothing here touches the utility any more.
    utility.RaiseTexelWorkerDone(*start.doneFlag);
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

int GritUtility::TexelWorker(const Mesh& mesh, BArray<TexelRecord>& texelGrid, BArray<float>& valueGrid,
                             TexelRowQueue& rows) {
    const int height = static_cast<int>(texelGrid.RowCount());
    const int width = static_cast<int>(texelGrid.ColumnCount());

    std::unique_ptr<Ray[]> rayBuffer;
    try {
        rayBuffer = AllocateRayBuffer(TexelRayCount(settings.horizontalSpread, settings.verticalSpread));
    } catch (const std::bad_alloc&) {
        // A spread too large for memory: stop, and let the run tell the user.
        texelWorkerFailed.store(1);
        return 0;
    }

    const int faceCount = mesh.getNumFaces();
    const int vertCount = mesh.getNumVerts();
    // Rows are taken one at a time, in row order across all the workers.
    for (int y = rows.nextRow.fetch_add(1); y < height; y = rows.nextRow.fetch_add(1)) {
        // The state this row starts from in the even/odd layout: every texel of the row gets the
        // same draw there and here.
        if (static_cast<std::size_t>(y) < rows.rowStartStates.size()) {
            SetCrtRandState(rows.rowStartStates[static_cast<std::size_t>(y)]);
        } else {
            assert1(__LINE__, "TexelWorker");  // states for another grid
        }
        const double done = static_cast<double>(static_cast<std::int64_t>(y) * width);
        const double all = static_cast<double>(static_cast<std::int64_t>(width) * height);
        const int percent = static_cast<int>(done * 100.0 / all);
        EnterCriticalSection(&workLock);
        // Rows may be started out of order by a few: the bar only ever rises.
        if (percent > progressPercent) progressPercent = percent;
        LeaveCriticalSection(&workLock);

        for (int x = 0; x < width; ++x) {
            if (beforeTexelHook) beforeTexelHook(x, y);
            if (cancelRequested.load() != 0) return 0;
            const TexelRecord record = texelGrid.Get(x, y);
            if (record.faceIndex < 0) continue;
            if (record.faceIndex >= faceCount) {
                assert1(__LINE__, "TexelWorker");  // coverage from another mesh
                continue;
            }
            float g = EvaluateGrit(mesh, record.faceIndex, record.weights, rayBuffer.get());
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
            // Only this worker writes this row.
            valueGrid.Set(x, y, g);
        }
    }
    return 1;
}
