// The UV Map run: from the "Generate" press to the saved bitmap. The faces of one map channel
// are rasterised into the texel grid, worker threads (one per hardware thread unless the engine
// options choose) evaluate every covered texel while this thread drives the host's progress bar
// and cancel button, two finishing passes clean the value grid, and the grid is written as a
// 16-bit grey bitmap to a file the user picks. The phases before and after the workers share
// their work out over the same threads. The map is the same, byte for byte, for every number of
// threads.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <vector>

#include "host/Assert.h"
#include "host/MessageBox.h"
#include "plugin/GritUtility.h"
#include "plugin/WorkerThreads.h"
#include "uvgrit/RasterizeChannel.h"
#include "uvgrit/TexelRowStates.h"
#include "uvgrit/TexelWorkers.h"

namespace {
constexpr const char* kCaption = "Murkwell";
constexpr const char* kProgressTitle = "Building Grit Map";
// The bitmap description carries the size as 16-bit values.
constexpr int kLargestMapSide = 65535;
constexpr unsigned kWorkerStackSize = 8192;
constexpr auto kPollInterval = std::chrono::milliseconds(500);
constexpr std::int64_t kColumnsPerChunk = 16;

DWORD IgnoreProgress(LPVOID) { return 0; }

void ShowCheckFailure(const char* text) { MessageBoxA(nullptr, text, kCaption, MB_OK | MB_ICONINFORMATION); }

// What a run holds that must be given back however it ends: the progress display, the converted
// mesh object it made, the work lock, the vertex normals and the accelerated ray query.
class UvRunResources {
public:
    UvRunResources(GritUtility& utility, Interface* core) : utility_(utility), core_(core) {}
    UvRunResources(const UvRunResources&) = delete;
    UvRunResources& operator=(const UvRunResources&) = delete;
    ~UvRunResources() {
        try {
            DeleteLock();
            EndProgress();
            DeleteOwnedObject();
            ReleaseTables();
        } catch (...) {
            // A host that throws while being given things back: nothing more can be done.
        }
    }

    void StartProgress() {
        core_->ProgressStart(kProgressTitle, TRUE, IgnoreProgress, nullptr);
        progressShown_ = true;
    }
    void EndProgress() {
        if (!progressShown_) return;
        progressShown_ = false;
        core_->ProgressEnd();
    }
    void OwnObject(Object* object) { ownedObject_ = object; }
    void DeleteOwnedObject() {
        Object* object = ownedObject_;
        ownedObject_ = nullptr;
        if (object) object->DeleteThis();
    }
    // The tables built for this run's mesh; the accelerated query must not outlive the mesh.
    void ReleaseTables() {
        utility_.vertexNormals.Clear();
        utility_.ReleaseRayAccelerator();
    }
    void InitLock() {
        InitializeCriticalSection(&utility_.workLock);
        lockLive_ = true;
    }
    void DeleteLock() {
        if (!lockLive_) return;
        lockLive_ = false;
        DeleteCriticalSection(&utility_.workLock);
    }

private:
    GritUtility& utility_;
    Interface* core_;
    Object* ownedObject_ = nullptr;
    bool progressShown_ = false;
    bool lockLive_ = false;
};

// A W x H grid with no covered texel and all values 0, whatever the last run left. A map
// size that cannot make a bitmap (a hand-edited settings file) is refused and leaves empty grids.
bool ResetUvGrids(GritUtility& u, int width, int height) {
    const bool tooSmall = width < 1 || height < 1;
    const bool tooLarge = width > kLargestMapSide || height > kLargestMapSide;
    if (tooSmall || tooLarge) {
        u.texels.Resize(0, 0, TexelRecord{});
        u.gritValues.Resize(0, 0, 0.0f);
        ShowCheckFailure(tooSmall ? "Map size must be at least 1 x 1" : "Map size must be at most 65535 x 65535");
        return false;
    }
    try {
        u.texels.Resize(static_cast<unsigned>(width), static_cast<unsigned>(height), TexelRecord{});
        u.gritValues.Resize(static_cast<unsigned>(width), static_cast<unsigned>(height), 0.0f);
    } catch (const std::bad_alloc&) {
        u.texels.Resize(0, 0, TexelRecord{});
        u.gritValues.Resize(0, 0, 0.0f);
        char text[96];
        std::snprintf(text, sizeof text, "Not enough memory for a %d x %d map", width, height);
        ShowCheckFailure(text);
        return false;
    }
    // The grids are stored by columns: the threads clear whole columns each.
    const std::int64_t chunks = ChunkCount(width, kColumnsPerChunk);
    RunPhase({RunWorkerThreads(u.engine.threads, chunks), {}}, chunks, [&](std::int64_t chunk) {
        const unsigned end = static_cast<unsigned>(std::min<std::int64_t>((chunk + 1) * kColumnsPerChunk, width));
        for (unsigned x = static_cast<unsigned>(chunk * kColumnsPerChunk); x < end; ++x) {
            for (unsigned y = 0; y < static_cast<unsigned>(height); ++y) {
                u.texels.At(x, y) = TexelRecord{};
                u.gritValues.At(x, y) = 0.0f;
            }
        }
    });
    return true;
}

// The accelerated ray query for this mesh. Without memory for it the run casts with the plain
// scan, which gives the same values, only more slowly.
void BuildRayQuery(GritUtility& u, const Mesh& mesh) {
    try {
        u.BuildRayAccelerator(mesh);
    } catch (const std::exception&) {
        u.ReleaseRayAccelerator();
    }
}

// The done flags of one run's workers, one per worker.
class WorkerDoneFlags {
public:
    explicit WorkerDoneFlags(int count) : flags_(new std::atomic<int>[static_cast<std::size_t>(count)]), count_(count) {
        for (int i = 0; i < count_; ++i) flags_[static_cast<std::size_t>(i)].store(0);
    }
    std::atomic<int>& operator[](int i) { return flags_[static_cast<std::size_t>(i)]; }
    int Count() const { return count_; }
    bool AllRaised() const {
        for (int i = 0; i < count_; ++i)
            if (flags_[static_cast<std::size_t>(i)].load() == 0) return false;
        return true;
    }

private:
    std::unique_ptr<std::atomic<int>[]> flags_;
    int count_;
};

// Until every worker is done, every 500 ms show the workers' percentage and turn a host cancel
// into cancelRequested, all under workLock. Returns at once when the workers finish. A host call
// that throws ends the polling and stops the workers; the exception is handed back only after
// they are done, since they work on this run's mesh and grids.
std::exception_ptr WaitForTexelWorkers(GritUtility& u, Interface* core, const WorkerDoneFlags& done) {
    std::exception_ptr hostError;
    for (;;) {
        {
            // The flags are read only under the mutex the workers raise them under: a worker
            // still signalling has not released it yet, so once this sees every flag no worker
            // touches the utility any more.
            std::unique_lock<std::mutex> lock(u.texelWorkersDoneMutex);
            if (done.AllRaised()) break;
            if (u.texelWorkersDoneSignal.wait_for(lock, kPollInterval, [&done] { return done.AllRaised(); })) break;
        }
        EnterCriticalSection(&u.workLock);
        if (!hostError) {
            try {
                core->ProgressUpdate(u.progressPercent, TRUE, nullptr);
                if (core->GetCancel()) u.cancelRequested.store(1);
            } catch (...) {
                hostError = std::current_exception();
                u.cancelRequested.store(1);
            }
        }
        // A worker that could not get its ray buffer has stopped: the map cannot be complete,
        // so the others are stopped too.
        if (u.texelWorkerFailed.load() != 0) u.cancelRequested.store(1);
        LeaveCriticalSection(&u.workLock);
    }
    return hostError;
}

void RunUvGritMap(GritUtility& u, Interface* core) {
    // Reset the grids, before any check.
    if (!ResetUvGrids(u, u.settings.XSiz, u.settings.YSiz)) return;

    // Exactly one node, and a triangle mesh from its evaluated state.
    if (core->GetSelNodeCount() != 1) {
        ShowCheckFailure("Select exactly one node");
        return;
    }
    INode* node = core->GetSelNode(0);
    if (!node) {
        ShowCheckFailure("Select exactly one node");
        return;
    }
    UvRunResources resources(u, core);
    Object* evaluated = node->EvalWorldState(core->GetTime(), TRUE).obj;
    TriObject* triObject = nullptr;
    if (evaluated && evaluated->CanConvertToType(triObjectClassID)) {
        Object* converted = evaluated->ConvertToType(core->GetTime(), triObjectClassID);
        if (converted && converted != evaluated) resources.OwnObject(converted);
        triObject = dynamic_cast<TriObject*>(converted);
    }
    if (!triObject) {
        resources.DeleteOwnedObject();
        ShowCheckFailure("Could not get TriObject");
        return;
    }

    // Progress display, face normals, coverage, vertex normals and the rows' generator states, on
    // the run's threads. A long preparation asks the host for a cancel now and then; a cancel
    // there ends the run as one before the workers' first texel does.
    const Mesh& mesh = triObject->GetMesh();
    resources.StartProgress();
    u.cancelRequested.store(0);
    const PhaseControl prep{u.engine.threads, ThrottledStop([&u, core] {
                                if (core->GetCancel()) u.cancelRequested.store(1);
                                return u.cancelRequested.load() != 0;
                            })};
    bool prepared = u.BuildFaceNormals(mesh, prep);
    if (prepared) BuildRayQuery(u, mesh);
    prepared = prepared && RasterizeChannel(u, *core, mesh, prep);
    prepared = prepared && u.vertexNormals.Build(mesh, prep);

    // The rows the workers share, each with the generator state it starts from.
    const int height = static_cast<int>(u.texels.RowCount());
    TexelRowQueue rows;
    if (prepared) rows.rowStartStates = TexelRowStartStates(u.texels, mesh.getNumFaces(), u.engine.threads);
    const int workerCount = prepared ? RunWorkerThreads(u.engine.threads, height) : 0;
    WorkerDoneFlags done(workerCount);
    std::vector<TexelWorkerStart> starts(static_cast<std::size_t>(workerCount));
    for (int i = 0; i < workerCount; ++i) starts[static_cast<std::size_t>(i)] = {&u, &mesh, &rows, &done[i]};

    // The lock, the flags, the start time and the workers.
    resources.InitLock();
    u.texelWorkerFailed.store(0);
    u.progressPercent = 0;
    const std::int64_t startTime = HostTime();

    bool startFailed = false;
    for (int i = 0; i < workerCount; ++i) {
        std::uintptr_t handle = BEGINTHREAD_FAILED;
        try {
            handle = BeginThread(TexelWorkerThread, kWorkerStackSize, &starts[static_cast<std::size_t>(i)]);
        } catch (...) {
            // A start that throws has started nothing, as one that fails.
        }
        if (handle != BEGINTHREAD_FAILED) continue;
        // The workers not started have nothing to wait for; those that run are stopped and
        // waited for below, while the rows, the flags and the start records they use stay.
        startFailed = true;
        for (int j = i; j < workerCount; ++j) done[j].store(1);
        u.cancelRequested.store(1);
        break;
    }

    // Poll until every worker is done; then the lock goes.
    const std::exception_ptr hostError = WaitForTexelWorkers(u, core, done);
    resources.DeleteLock();
    if (hostError) std::rethrow_exception(hostError);

    if (startFailed || u.texelWorkerFailed.load() != 0) {
        // An incomplete map is not offered: end the run in order and say why.
        resources.EndProgress();
        resources.DeleteOwnedObject();
        resources.ReleaseTables();
        ShowCheckFailure(startFailed ? "Could not start a worker thread" : "Not enough memory for the ray spread");
        return;
    }

    // Elapsed time, also after a cancel.
    const std::int64_t endTime = HostTime();
    char text[64];
    std::snprintf(text, sizeof text, "elapsed time = %d secs", static_cast<int>(endTime - startTime));
    MessageBoxA(nullptr, text, kCaption, MB_OK);

    // Finishing passes, then give back what the run held. faceNormals stay.
    u.RepairSpeckles();
    u.DilateCoverage();
    resources.EndProgress();
    resources.DeleteOwnedObject();
    resources.ReleaseTables();

    // A cancelled map is written only when the user wants the partial result.
    if (u.cancelRequested.load() != 0 &&
        MessageBoxA(nullptr, "Save Partial Bitmap?", kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    u.WriteGritBitmap();
}
}  // namespace

void GritUtility::GenerateUvGritMap() {
    Interface* core = Core();
    if (!core) return;  // no host to run in
    // Nothing may escape into the host. What is held has been given back by the time a handler
    // runs.
    try {
        RunUvGritMap(*this, core);
    } catch (const std::bad_alloc&) {
        ShowCheckFailure("Not enough memory to build the grit map");
    } catch (...) {
        ShowCheckFailure("The grit map could not be built");
    }
}
