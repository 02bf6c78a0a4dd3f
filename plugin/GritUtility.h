// GritUtility: the plug-in's single utility object and the hub of its logic. It owns the
// settings, the run state of both runs (the texel grids, the normal tables, the work lock and
// flags) and, while the panel is open, the panel's window and control handles.
//
// The runs and the evaluator are methods of this class; each subsystem keeps its own logic in
// its folder (raycast/, uvgrit/, vertexgrit/, plugin/) and defines its methods there.
#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "host/Interface.h"
#include "host/Mesh.h"
#include "host/Platform.h"
#include "host/Ray.h"
#include "host/Tab.h"
#include "host/UtilityObj.h"
#include "plugin/WorkerThreads.h"
#include "raycast/RayAccelerator.h"
#include "raycast/VertexNormalTable.h"
#include "settings/GritSettings.h"
#include "support/BArray.h"
#include "uvgrit/TexelRecord.h"

struct TexelRowQueue;
struct WorkerJob;
class ICustEdit;
class ISpinnerControl;

class GritUtility : public UtilityObj {
public:
    GritUtility();
    ~GritUtility() override;
    GritUtility(const GritUtility&) = delete;
    GritUtility& operator=(const GritUtility&) = delete;

    // ---- Utility object (plugin/) ----
    void OpenPanel(Interface* ip, IUtil* iu) override;
    void ClosePanel(Interface* ip, IUtil* iu) override;
    void DeleteThis() override {}  // static: never freed

    // The core interface the runs talk to: the one given to OpenPanel while the panel is open,
    // else the installed host's.
    Interface* Core() const { return coreInterface ? coreInterface : GetCOREInterface(); }

    // ---- Mesh preparation and the evaluator (raycast/) ----
    // faceNormals[i] = normalise((c1 - c0) x (c2 - c1)) for every face, on the threads the
    // engine options allow.
    void BuildFaceNormals(const Mesh& mesh);
    // The same on the threads `control` allows; false when control.stop ended it early (the
    // table is then incomplete).
    bool BuildFaceNormals(const Mesh& mesh, const PhaseControl& control);
    // Grit value of one sample: 0 <= value < 1.
    float EvaluateGrit(const Mesh& mesh, int faceIndex, const Point3& weights, Ray* rayBuffer);
    // The ray query the evaluator casts with: the accelerated query when it is built for this
    // mesh and engine.reference is off, else the plain scan over faceNormals. Same answer, bit for
    // bit, either way.
    int CastRay(const Mesh& mesh, const Ray& ray, float& hitDistance, float maxDistance) const;
    // CastRay for each of `count` rays from one origin (a piece of the evaluator's fan), answered
    // together: found[k] as CastRay returns it, hitDistance[k] written only for a hit.
    void CastFan(const Mesh& mesh, const Ray* rays, int count, float maxDistance, int* found, float* hitDistance) const;
    // Rays one evaluation casts (and the ray buffer must hold): horizontalSpread x
    // verticalSpread + 1, or just the normal ray when either spread is not positive.
    int RayCount() const;
    // Builds the accelerated query for `mesh` over faceNormals: once per run, after
    // BuildFaceNormals and before the workers start. Does nothing when engine.reference is set.
    void BuildRayAccelerator(const Mesh& mesh);
    // Frees it, with the run's other tables.
    void ReleaseRayAccelerator();
    // How rays are cast. reference: always the plain scan. threads: worker threads for a run,
    // 0 for the run's own default.
    struct EngineOptions {
        bool reference = false;
        int threads = 0;
    };
    EngineOptions engine;
    RayAccelerator rayAccelerator;

    // ---- UV Map run (uvgrit/) ----
    void GenerateUvGritMap();
    void RasterizeUvFace(BArray<TexelRecord>& grid, Point3 a, Point3 b, Point3 c, int faceIndex);
    void DrawMarkerLine(int x0, int y0, int x1, int y1, BArray<TexelRecord>& grid, const Point3& marker);
    // One texel worker: takes the next row nobody has taken from `rows` until none is left,
    // starts each row from that row's generator state, evaluates its covered texels into
    // valueGrid (each row is written by the one worker that took it, so without a lock) and
    // raises progressPercent as it starts rows. Returns 1 when the rows ran out, 0 when it stopped
    // on a cancel or could not get its ray buffer (then texelWorkerFailed is set).
    int TexelWorker(const Mesh& mesh, BArray<TexelRecord>& texelGrid, BArray<float>& valueGrid, TexelRowQueue& rows);
    void RepairSpeckles();
    void DilateCoverage();
    void WriteGritBitmap();
    // Raises a worker's done flag and wakes the run's wait. The last thing a worker does: once
    // the flag is up the run may end.
    void RaiseTexelWorkerDone(std::atomic<int>& doneFlag);
    std::mutex texelWorkersDoneMutex;
    std::condition_variable texelWorkersDoneSignal;
    std::atomic<int> texelWorkerFailed{0};  // a worker could not get its ray buffer
    // Test seam: called by the texel workers before the cancel test of every texel (x, y).
    std::function<void(int x, int y)> beforeTexelHook;

    // ---- Vertex Colors run (vertexgrit/) ----
    void BuildVertexGrit();
    void ProcessVertexJob(WorkerJob* job);
    std::atomic<int> vertexWorkerFailed{0};  // a vertex worker could not get its ray buffer

    // ---- Panel (plugin/) ----
    // The dialog procedures of the rollup page and the About box; both work on TheGritUtility().
    static INT_PTR PanelDialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR AboutDialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Copies the panel's controls into settings / shows settings in the controls.
    void ReadControls(HWND hWnd);
    void WriteControls(HWND hWnd);
    // Enables the controls that matter for an algorithm and disables the others.
    void UpdateControlStates(HWND hWnd, int algorithm);
    HWND panelWindow = nullptr;
    IUtil* utilityInterface = nullptr;
    Interface* coreInterface = nullptr;

    // ---- Settings (settings/) ----
    GritSettings settings;

    // ---- Run state ----
    BArray<TexelRecord> texels;
    BArray<float> gritValues;
    CRITICAL_SECTION workLock;
    std::atomic<int> cancelRequested{0};
    int progressPercent = 0;
    Tab<Point3> faceNormals;
    VertexNormalTable vertexNormals;
    Mesh* currentMesh = nullptr;

    // ---- Panel control handles, in pairs of edit and spinner (plugin/) ----
    ICustEdit* mapWidthEdit = nullptr;
    ISpinnerControl* mapWidthSpin = nullptr;
    ICustEdit* mapHeightEdit = nullptr;
    ISpinnerControl* mapHeightSpin = nullptr;
    ICustEdit* horizontalSpreadEdit = nullptr;
    ISpinnerControl* horizontalSpreadSpin = nullptr;
    ICustEdit* verticalSpreadEdit = nullptr;
    ISpinnerControl* verticalSpreadSpin = nullptr;
    ICustEdit* distEdit = nullptr;
    ISpinnerControl* distSpin = nullptr;
    ICustEdit* mapChannelEdit = nullptr;
    ISpinnerControl* mapChannelSpin = nullptr;
    ICustEdit* noiseSizeEdit = nullptr;
    ISpinnerControl* noiseSizeSpin = nullptr;
    ICustEdit* mtlIDEdit = nullptr;
    ISpinnerControl* mtlIDSpin = nullptr;
};

// The library's single GritUtility.
GritUtility& TheGritUtility();
