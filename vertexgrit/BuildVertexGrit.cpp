// The Vertex Colors run: one grit value at the centroid of every face of the selected mesh,
// evaluated on worker threads (one per hardware thread unless the engine options choose, faces
// dealt out by index modulo the thread count), averaged per vertex and written into the mesh's
// own vertex colours as 1 - average (open surface white, crevices dark), replacing or
// multiplying the old colours. Runs on the host's user-interface thread, polling the workers
// every 500 ms to drive the progress bar and the cancel button. The workers keep one value per
// face and the run adds them up per vertex in face order afterwards, so the colours are the same,
// bit for bit, for every number of threads; the phases before and after the workers share their
// work out over the same threads.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>

#include "host/MessageBox.h"
#include "host/Platform.h"
#include "plugin/GritUtility.h"
#include "plugin/WorkerThreads.h"
#include "vertexgrit/VertexColors.h"
#include "vertexgrit/VertexGritProgress.h"
#include "vertexgrit/VertexGritSum.h"
#include "vertexgrit/VertexGritTarget.h"
#include "vertexgrit/VertexWorker.h"
#include "vertexgrit/WorkerPool.h"

namespace {

constexpr const char* kCaption = "Murkwell";
constexpr int kPollMilliseconds = 500;

DWORD NoProgressCallback(LPVOID) { return 0; }

// Holds a critical section for one scope, so that nothing leaving the scope early can leave the
// workers blocked on it.
class ScopedCriticalSection {
public:
    explicit ScopedCriticalSection(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
    ~ScopedCriticalSection() { LeaveCriticalSection(&cs_); }
    ScopedCriticalSection(const ScopedCriticalSection&) = delete;
    ScopedCriticalSection& operator=(const ScopedCriticalSection&) = delete;

private:
    CRITICAL_SECTION& cs_;
};

// Tells the node's dependents, over all time, that its geometry and then its topology changed,
// so the host shows the new colours.
void NotifyColoursChanged(INode& node) {
    node.NotifyDependents(FOREVER, PART_GEOM, REFMSG_CHANGE, NOTIFY_ALL, TRUE, nullptr);
    node.NotifyDependents(FOREVER, PART_TOPO, REFMSG_CHANGE, NOTIFY_ALL, TRUE, nullptr);
}

// What a run has set up and must take down, each step done at most once. The run takes each
// step down itself at its proper point; whatever is still up when the run leaves early (an
// exception from the host or an allocation) is taken down here, in an order that is safe while
// worker threads may still be running: first stop them and wait until none runs, and only then
// free what they read.
class VertexRunResources {
public:
    VertexRunResources(GritUtility& utility, Interface& ip, WorkerPool& pool, INode& node)
        : utility_(utility), ip_(ip), pool_(pool), node_(node) {}
    VertexRunResources(const VertexRunResources&) = delete;
    VertexRunResources& operator=(const VertexRunResources&) = delete;

    ~VertexRunResources() {
        try {
            StopWorkers();
            DeleteLock();
            EndProgress();
            Release();
            Notify();
        } catch (...) {
            // The host failed while being told the run is over; nothing more can be undone.
        }
    }

    void ProgressStarted() { progressUp_ = true; }
    void ColoursMayChange() { noticesDue_ = true; }
    void LockInitialised() { lockUp_ = true; }
    void WorkersStarting() { workersMayRun_ = true; }
    VertexGritSum* AllocateTable(int count) {
        table_.reset(new VertexGritSum[static_cast<size_t>(count > 0 ? count : 0)]());
        vertexGritSums = table_.get();
        vertexGritSumCount = count > 0 ? count : 0;
        return table_.get();
    }
    // One value per face; a face the workers pass over keeps no value, and nothing reads it.
    float* AllocateFaceValues(int count) {
        faceValues_.reset(new float[static_cast<size_t>(count > 0 ? count : 0)]);
        vertexFaceValues = faceValues_.get();
        vertexFaceValueCount = count > 0 ? count : 0;
        return faceValues_.get();
    }

    // Raises the stop flag and waits until no worker runs. Each finishes at most the face it is
    // evaluating.
    void StopWorkers() {
        if (!workersMayRun_) return;
        pool_.SetStop(true);
        while (pool_.RunningCount() > 0) pool_.WaitForIdle(kPollMilliseconds);
        workersMayRun_ = false;
    }
    // The workers have all set their finished flags.
    void WorkersFinished() { workersMayRun_ = false; }
    void DeleteLock() {
        if (!lockUp_) return;
        lockUp_ = false;
        DeleteCriticalSection(&utility_.workLock);
    }
    void EndProgress() {
        if (!progressUp_) return;
        progressUp_ = false;
        ip_.ProgressEnd();
    }
    // The tables only the workers read. Once they are done these go before the write-back, so
    // that its own tables do not come on top of them.
    void ReleaseWorkerTables() {
        utility_.vertexNormals.Clear();
        utility_.ReleaseRayAccelerator();
    }
    void ReleaseFaceValues() {
        vertexFaceValues = nullptr;
        vertexFaceValueCount = 0;
        faceValues_.reset();
    }
    void Release() {
        utility_.currentMesh = nullptr;
        ReleaseWorkerTables();
        ReleaseFaceValues();
        vertexGritSums = nullptr;
        vertexGritSumCount = 0;
        table_.reset();
    }
    void Notify() {
        if (!noticesDue_) return;
        noticesDue_ = false;
        NotifyColoursChanged(node_);
    }

private:
    GritUtility& utility_;
    Interface& ip_;
    WorkerPool& pool_;
    INode& node_;
    std::unique_ptr<VertexGritSum[]> table_;
    std::unique_ptr<float[]> faceValues_;
    bool progressUp_ = false;
    bool noticesDue_ = false;
    bool lockUp_ = false;
    bool workersMayRun_ = false;
};

void RunVertexGrit(GritUtility& utility) {
    Interface* ip = utility.Core();
    if (!ip) return;
    const VertexGritTarget target = FindVertexGritTarget(*ip);
    if (!target.object) return;
    Mesh& mesh = target.object->GetMesh();
    const bool accumulate = utility.settings.addVertexColors != 0;

    // The pool outlives `run`, whose clean-up waits for the pool's threads.
    WorkerPool pool(VertexGritThread, &utility);
    VertexRunResources run(utility, *ip, pool, *target.node);

    utility.currentMesh = &mesh;
    ip->ProgressStart("Building Vertex Grit", TRUE, NoProgressCallback, nullptr);
    run.ProgressStarted();
    // From here on the change notices go out however the run ends, a cancel included.
    run.ColoursMayChange();

    // The preparation, on the run's threads; when it takes long the host is asked for a cancel
    // now and then, which ends the run as a cancel of the workers does.
    bool cancelled = false;
    const PhaseControl prep{utility.engine.threads, ThrottledStop([&] {
                                cancelled = cancelled || ip->GetCancel();
                                return cancelled;
                            })};
    bool prepared = utility.BuildFaceNormals(mesh, prep);
    if (prepared) {
        try {
            utility.BuildRayAccelerator(mesh);
        } catch (const std::exception&) {
            // Without memory for the accelerated query the workers cast with the plain scan: the
            // same values, only more slowly.
            utility.ReleaseRayAccelerator();
        }
    }
    prepared = prepared && utility.vertexNormals.Build(mesh, prep);
    if (!prepared) {
        // Cancelled before the workers: the colours are untouched, nothing is reported.
        run.EndProgress();
        run.Release();
        run.Notify();
        return;
    }

    PrepareVertexColors(mesh, accumulate, utility.engine.threads);

    // One record per colour vertex as the channel now stands (never fewer than the vertices), and
    // one value per face.
    const int colourCount = mesh.getNumVertCol();
    VertexGritSum* table = run.AllocateTable(colourCount);
    const float* faceValues = run.AllocateFaceValues(mesh.getNumFaces());

    pool.SetTotal(mesh.getNumFaces());
    pool.SetDone(0);
    pool.SetThreadCount(RunWorkerThreads(utility.engine.threads, mesh.getNumFaces()));
    utility.vertexWorkerFailed.store(0);

    const std::int64_t startTime = HostTime();
    InitializeCriticalSection(&utility.workLock);
    run.LockInitialised();

    run.WorkersStarting();
    try {
        pool.Start();
    } catch (const CString&) {
        // A thread that did start still reads the mesh, the tables and the lock: stop it and
        // wait for it before anything is taken down. The colours stay as prepared above.
        run.StopWorkers();
        run.DeleteLock();
        run.EndProgress();
        MessageBoxA(nullptr, "Could not start a worker thread", kCaption, MB_OK | MB_ICONINFORMATION);
        run.Release();
        run.Notify();
        return;
    }

    // Poll until the workers are done. The wait returns early when they finish, so a short run
    // does not sit out the whole period; the lock keeps the workers from counting a face while
    // the host draws, so the bar always shows whole faces.
    while (pool.RunningCount() > 0) {
        pool.WaitForIdle(kPollMilliseconds);
        ScopedCriticalSection lock(utility.workLock);
        ip->ProgressUpdate(WorkerPhasePercent(pool.Progress()), TRUE, nullptr);
        if (ip->GetCancel()) pool.SetStop(true);
    }
    run.WorkersFinished();
    run.DeleteLock();
    run.ReleaseWorkerTables();

    if (utility.vertexWorkerFailed.load() != 0) {
        // Part of the faces has no value: nothing is written, and the user learns why.
        run.EndProgress();
        MessageBoxA(nullptr, "Not enough memory for the ray spread", kCaption, MB_OK | MB_ICONINFORMATION);
        run.Release();
        run.Notify();
        return;
    }

    if (!pool.StopRequested()) {
        SumFaceValues(mesh, faceValues, utility.settings.selectedOnly != 0, table, colourCount, utility.engine.threads);
        run.ReleaseFaceValues();
        WriteVertexColors(mesh, table, colourCount, accumulate, *ip);
    }

    run.EndProgress();
    // A cancel during the write-back still reports: only the workers' stop flag suppresses it.
    if (!pool.StopRequested()) {
        char text[96];
        std::snprintf(text, sizeof text, "Grit calculation complete\nelapsed time = %d secs",
                      static_cast<int>(HostTime() - startTime));
        MessageBoxA(nullptr, text, kCaption, MB_OK);
    }
    run.Release();
    run.Notify();
}

}  // namespace

void GritUtility::BuildVertexGrit() {
    // Nothing may escape into the host: by the time a failure arrives here the run's clean-up
    // has already stopped the workers and taken everything down.
    try {
        RunVertexGrit(*this);
    } catch (const std::exception& e) {
        char text[256];
        std::snprintf(text, sizeof text, "Vertex grit failed: %s", e.what());
        MessageBoxA(nullptr, text, kCaption, MB_OK | MB_ICONINFORMATION);
    } catch (...) {
        MessageBoxA(nullptr, "Vertex grit failed", kCaption, MB_OK | MB_ICONINFORMATION);
    }
}
