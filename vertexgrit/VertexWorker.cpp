#include "vertexgrit/VertexWorker.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <new>

#include "host/Assert.h"
#include "plugin/GritUtility.h"
#include "plugin/WorkerThreads.h"
#include "vertexgrit/VertexGritSum.h"

namespace {
std::mutex g_evaluatorMutex;
VertexFaceEvaluator g_evaluator;

VertexFaceEvaluator CurrentEvaluator() {
    std::lock_guard<std::mutex> lock(g_evaluatorMutex);
    return g_evaluator;
}
}  // namespace

VertexFaceEvaluator SetVertexFaceEvaluator(VertexFaceEvaluator evaluator) {
    std::lock_guard<std::mutex> lock(g_evaluatorMutex);
    VertexFaceEvaluator previous = std::move(g_evaluator);
    g_evaluator = std::move(evaluator);
    return previous;
}

void VertexGritThread(void* arg) {
    auto* job = static_cast<WorkerJob*>(arg);
    if (!job) return;
    try {
        if (auto* utility = static_cast<GritUtility*>(job->context)) utility->ProcessVertexJob(job);
    } catch (...) {
        // An evaluation that failed: this share of the faces stays unevaluated, so the run must
        // not write colours from the rest. Stop it as a cancel would, and report.
        assert1(__LINE__, "VertexWorker");
        job->pool->SetStop(true);
    }
    job->pool->SetFinished(job->index, true);
    delete job;
}

void GritUtility::ProcessVertexJob(WorkerJob* job) {
    if (!job || !job->pool || job->index < 0) return;
    const Mesh* m = currentMesh;
    const int step = job->pool->ThreadCount();
    // Without a mesh or a share there is nothing to do (a step below 1 would never advance).
    if (!m || step < 1) return;

    const VertexFaceEvaluator overrideEvaluator = CurrentEvaluator();
    // One ray buffer for this thread's whole share, not one per face.
    std::unique_ptr<Ray[]> rays;
    try {
        rays = AllocateRayBuffer(static_cast<std::uint64_t>(RayCount()));
    } catch (const std::bad_alloc&) {
        // No memory for the ray spread: the run cannot colour from part of the faces. Stop the
        // other workers and let the run tell the user.
        vertexWorkerFailed.store(1);
        job->pool->SetStop(true);
        return;
    }
    const Point3 centroid(kCentroidWeight, kCentroidWeight, kCentroidWeight);
    constexpr int kDoneBatch = 64;
    int pendingDone = 0;
    const auto flushDone = [&] {
        if (pendingDone == 0) return;
        EnterCriticalSection(&workLock);
        job->pool->AddDone(pendingDone);
        LeaveCriticalSection(&workLock);
        pendingDone = 0;
    };

    // 64-bit, so stepping past the last face cannot overflow.
    for (long long next = job->index; next < m->getNumFaces(); next += step) {
        const int f = static_cast<int>(next);
        // Unselected faces are passed over without looking at the stop flag.
        if (settings.selectedOnly && !m->FaceSel()[f]) continue;
        if (job->pool->StopRequested()) break;

        const float g =
            overrideEvaluator ? overrideEvaluator(*m, f, *job) : EvaluateGrit(*m, f, centroid, rays.get());

        // Each face's value has its own place, written by the one worker that evaluates the face;
        // the run adds the values up per vertex once every worker is done.
        if (vertexFaceValues && f < vertexFaceValueCount) {
            vertexFaceValues[f] = g;
        } else {
            assert1(__LINE__, "VertexWorker");
        }
        // The done count, which the run reads under the lock, grows by whole faces; counted
        // here and added a batch at a time, so the workers do not queue at the lock face by face.
        if (++pendingDone == kDoneBatch) flushDone();
    }
    flushDone();
}
