#include "vertexgrit/VertexWorker.h"

#include <memory>
#include <mutex>

#include "host/Assert.h"
#include "plugin/GritUtility.h"
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
        // No ray buffer (out of memory): this share of the faces stays unevaluated, so the run
        // must not write colours from the rest. Stop it as a cancel would, and report.
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
    const std::unique_ptr<Ray[]> rays(new Ray[static_cast<size_t>(RayCount())]);
    const Point3 centroid(kCentroidWeight, kCentroidWeight, kCentroidWeight);

    // 64-bit, so stepping past the last face cannot overflow.
    for (long long next = job->index; next < m->getNumFaces(); next += step) {
        const int f = static_cast<int>(next);
        // Unselected faces are passed over without looking at the stop flag.
        if (settings.selectedOnly && !m->FaceSel()[f]) continue;
        if (job->pool->StopRequested()) break;

        const float g =
            overrideEvaluator ? overrideEvaluator(*m, f, *job) : EvaluateGrit(*m, f, centroid, rays.get());

        const Face& face = m->faces[static_cast<size_t>(f)];
        EnterCriticalSection(&workLock);
        for (int k = 0; k < 3; ++k) {
            const DWORD v = face.v[k];
            if (!vertexGritSums || v >= static_cast<DWORD>(vertexGritSumCount)) {
                assert1(__LINE__, "VertexWorker");
                continue;
            }
            vertexGritSums[v].count += 1;
            vertexGritSums[v].sum += g;
        }
        job->pool->AddDone(1);
        LeaveCriticalSection(&workLock);
    }
}
