// The plug-in inside Blender for the life of the process: the loaded plug-in library and its
// utility, the plug-in configuration folder, the panel operations Blender's Python asks for, and
// at most one bake at a time on a thread of its own, with the results it leaves (the bitmap the
// run wrote, the vertex colours it wrote) until Python collects them.
#pragma once
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "blender/BlenderBitmapManager.h"
#include "blender/BlenderHost.h"
#include "blender/BlenderMesh.h"
#include "blender/HostState.h"
#include "blender/PanelDriver.h"
#include "hostapp/PluginLibrary.h"

enum class BakeState { Idle, Running, Done };

// Thrown by the session for a caller's mistake or a state that refuses the call; the C interface
// turns it into its status code.
struct SessionError {
    int status;
    std::string message;
};

// What a bake hands over besides the settings.
struct BakeScene {
    int selectedCount = 0;
    std::string name;
    int kind = 0;
    BlenderMesh mesh;
    int threads = 0;  // worker threads for the run; 0: the plug-in's own choice
};

// The colours a vertex run wrote, per loop and per vertex (r, g, b, a).
struct ColourResult {
    std::vector<float> perLoop;
    std::vector<float> perVertex;
    bool onePerVertex = true;
};

class BlenderSession {
public:
    // The process's one session; never destroyed (a bake thread may outlive static destructors).
    static BlenderSession& Instance();

    void Init(const std::string& pluginPath, const std::string& configDir);
    void Shutdown();

    // Panel operations: each opens the utility and closes it again.
    SettingValues ReadPanel(SettingEnabled* enabled);
    void WritePanel(const SettingValues& values, SettingEnabled* enabled);
    std::vector<std::string> About();

    void StartBake(const SettingValues& values, BakeScene scene);
    BakeState State() const;
    HostState& Host() { return host_; }
    // The results of a finished bake (SessionError with MW_NO_RESULT when there is none).
    const BitmapPixels& Image() const;
    const ColourResult& Colours() const;
    void Timings(double& buildSeconds, double& panelSeconds) const;
    void FinishBake();

private:
    BlenderSession() = default;
    void RequireIdle() const;  // holding mutex_
    void RunBake(SettingValues values, BakeScene scene);
    // Runs `work` with an open panel on a host installed for this thread.
    template <class Work>
    void WithPanel(BlenderHost& host, BlenderBitmapManager& bitmaps, Work work);

    mutable std::mutex mutex_;
    bool loaded_ = false;
    PluginLibrary library_;
    std::string configDir_;
    HostState host_;
    BakeState state_ = BakeState::Idle;
    std::thread thread_;

    std::optional<BitmapPixels> image_;
    std::optional<ColourResult> colours_;
    double buildSeconds_ = 0.0;
    double panelSeconds_ = 0.0;
};

// Throws SessionError (MW_INVALID_ARGUMENT) naming the first value that is not a whole number
// where the setting needs one, or lies outside the setting's range.
void CheckSettingValues(const SettingValues& values);

// The colours of `mesh` after a vertex run, per loop and per vertex of the Blender mesh it was
// built from. A vertex that no triangle uses keeps its own colour vertex where colour vertices are
// the vertices, and is white otherwise.
ColourResult CollectColours(const Mesh& mesh, const BlenderMesh& blender);

// The bitmap's pixels the way Blender keeps an image: r, g, b, a floats (channel / 65535), the
// bottom row first.
void BlenderImagePixels(const BitmapPixels& image, float* out);
