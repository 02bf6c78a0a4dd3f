#include "blender/BlenderSession.h"

#include <cmath>
#include <exception>
#include <filesystem>

#include "blender/BlenderScene.h"
#include "host/Assert.h"
#include "host/NumberText.h"
#include "host/Win32Types.h"
#include "hostapp/HostInstallation.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

[[noreturn]] void Refuse(int status, std::string message) { throw SessionError{status, std::move(message)}; }

constexpr std::uint32_t kFailureStyle = MB_ICONINFORMATION;

// Installs an assertion sink for its lifetime: the host's assertion reports become messages.
class ScopedAssertSink {
public:
    explicit ScopedAssertSink(HostState& state)
        : previous_(SetAssertSink([&state](int line, const char* file) {
              state.PushMessage({std::string("internal error in ") + (file ? file : "?") + " at line " +
                                     std::to_string(line),
                                 kFailureStyle});
          })) {}
    ~ScopedAssertSink() { SetAssertSink(std::move(previous_)); }
    ScopedAssertSink(const ScopedAssertSink&) = delete;
    ScopedAssertSink& operator=(const ScopedAssertSink&) = delete;

private:
    AssertSink previous_;
};

}  // namespace

BlenderSession& BlenderSession::Instance() {
    static BlenderSession* session = new BlenderSession();
    return *session;
}

void BlenderSession::RequireIdle() const {
    if (state_ == BakeState::Running) Refuse(MW_BUSY, "a bake is running");
    if (state_ == BakeState::Done) Refuse(MW_BUSY, "the last bake has not been collected (mw_bake_finish)");
}

void BlenderSession::Init(const std::string& pluginPath, const std::string& configDir) {
    std::lock_guard<std::mutex> lock(mutex_);
    RequireIdle();
    if (configDir.empty()) Refuse(MW_INVALID_ARGUMENT, "no configuration folder");
    std::error_code ec;
    if (!std::filesystem::is_directory(configDir, ec)) {
        std::filesystem::create_directories(configDir, ec);
        if (ec || !std::filesystem::is_directory(configDir, ec))
            Refuse(MW_ERROR, "cannot create the configuration folder " + configDir + (ec ? ": " + ec.message() : ""));
    }
    if (loaded_) {
        if (pluginPath != library_.path)
            Refuse(MW_ERROR, "the plug-in library " + library_.path + " is loaded already; restart Blender to load " +
                                 pluginPath);
    } else {
        if (!std::filesystem::is_regular_file(pluginPath, ec))
            Refuse(MW_ERROR, "the plug-in library " + pluginPath + " is missing");
        PluginLibrary library;
        std::string error;
        if (!LoadPluginLibrary(pluginPath, library, error)) Refuse(MW_ERROR, error);
        library_ = std::move(library);
        loaded_ = true;
    }
    configDir_ = configDir;
}

void BlenderSession::Shutdown() {
    std::thread bake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (state_ == BakeState::Running) {
            host_.PressCancel();
            host_.Abandon();
        }
        bake = std::move(thread_);
    }
    if (bake.joinable()) bake.join();
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = BakeState::Idle;
    image_.reset();
    colours_.reset();
}

template <class Work>
void BlenderSession::WithPanel(BlenderHost& host, BlenderBitmapManager& bitmaps, Work work) {
    HostInstallation install(&host, &bitmaps, [&](const std::string& text, const std::string&, UINT type) {
        if ((type & 0xFu) == MB_YESNO) return host_.Ask(text) ? IDYES : IDNO;
        host_.PushMessage({text, type});
        return IDOK;
    });
    ScopedAssertSink asserts(host_);
    PanelDriver panel(library_.utility, host);
    std::string error;
    if (!panel.Open(error)) Refuse(MW_ERROR, error);
    work(panel);
    panel.Close();
}

SettingValues BlenderSession::ReadPanel(SettingEnabled* enabled) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!loaded_) Refuse(MW_NOT_INITIALISED, "the plug-in is not loaded (mw_init)");
    RequireIdle();
    host_.Reset();
    BlenderHost host(host_, configDir_);
    BlenderBitmapManager bitmaps;
    SettingValues values{};
    WithPanel(host, bitmaps, [&](PanelDriver& panel) {
        values = panel.Read();
        if (enabled) *enabled = panel.Enabled();
    });
    return values;
}

void BlenderSession::WritePanel(const SettingValues& values, SettingEnabled* enabled) {
    CheckSettingValues(values);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!loaded_) Refuse(MW_NOT_INITIALISED, "the plug-in is not loaded (mw_init)");
    RequireIdle();
    host_.Reset();
    BlenderHost host(host_, configDir_);
    BlenderBitmapManager bitmaps;
    std::string error;
    WithPanel(host, bitmaps, [&](PanelDriver& panel) {
        if (!panel.Apply(values, error)) return;
        if (enabled) *enabled = panel.Enabled();
    });
    if (!error.empty()) Refuse(MW_INVALID_ARGUMENT, error);
}

std::vector<std::string> BlenderSession::About() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!loaded_) Refuse(MW_NOT_INITIALISED, "the plug-in is not loaded (mw_init)");
    RequireIdle();
    host_.Reset();
    BlenderHost host(host_, configDir_);
    BlenderBitmapManager bitmaps;
    std::vector<std::string> texts;
    WithPanel(host, bitmaps, [&](PanelDriver& panel) { texts = panel.PressAbout(); });
    if (texts.empty()) Refuse(MW_ERROR, "the About box did not open");
    return texts;
}

void BlenderSession::StartBake(const SettingValues& values, BakeScene scene) {
    CheckSettingValues(values);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!loaded_) Refuse(MW_NOT_INITIALISED, "the plug-in is not loaded (mw_init)");
    RequireIdle();
    host_.Reset();
    image_.reset();
    colours_.reset();
    buildSeconds_ = panelSeconds_ = 0.0;
    state_ = BakeState::Running;
    try {
        thread_ = std::thread(&BlenderSession::RunBake, this, values, std::move(scene));
    } catch (...) {
        state_ = BakeState::Idle;
        throw;
    }
}

void BlenderSession::RunBake(SettingValues values, BakeScene scene) {
    std::optional<BitmapPixels> image;
    std::optional<ColourResult> colours;
    double buildSeconds = 0.0, panelSeconds = 0.0;
    try {
        const Clock::time_point buildStart = Clock::now();
        BlenderSelection selection;
        selection.count = scene.selectedCount;
        if (scene.selectedCount == 1) {
            Mesh mesh = scene.kind == MW_OBJECT_OTHER ? Mesh{} : BuildHostMesh(scene.mesh);
            selection.node = MakeBlenderNode(scene.name, scene.kind, std::move(mesh));
        }
        buildSeconds = SecondsSince(buildStart);

        const Clock::time_point panelStart = Clock::now();
        BlenderHost host(host_, configDir_);
        host.SetSelection(selection.Nodes());
        host.SetThreads(scene.threads);
        BlenderBitmapManager bitmaps;
        bitmaps.outputFile = scene.name + " grit";
        std::string error;
        WithPanel(host, bitmaps, [&](PanelDriver& panel) {
            if (!panel.Apply(values, error)) return;
            if (!panel.PressGenerate()) error = "the panel's \"Generate\" button did not respond";
        });
        panelSeconds = SecondsSince(panelStart);
        if (!error.empty()) host_.PushMessage({error, kFailureStyle});

        if (bitmaps.HasWrite()) image = bitmaps.LastWrite();
        // A cancelled vertex run leaves the colours reset or half written: nothing is offered.
        SceneNode* node = selection.node.get();
        if (node && node->Modified() && node->EditableMesh() && !host_.CancelSeen())
            colours = CollectColours(*node->EditableMesh(), scene.mesh);
    } catch (const SessionError& e) {
        host_.PushMessage({e.message, kFailureStyle});
    } catch (const std::exception& e) {
        host_.PushMessage({std::string("the bake failed: ") + e.what(), kFailureStyle});
    } catch (...) {
        host_.PushMessage({"the bake failed", kFailureStyle});
    }
    host_.ProgressEnd();
    std::lock_guard<std::mutex> lock(mutex_);
    image_ = std::move(image);
    colours_ = std::move(colours);
    buildSeconds_ = buildSeconds;
    panelSeconds_ = panelSeconds;
    state_ = BakeState::Done;
}

BakeState BlenderSession::State() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

const BitmapPixels& BlenderSession::Image() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != BakeState::Done) Refuse(MW_BUSY, state_ == BakeState::Running ? "the bake is running" : "no bake");
    if (!image_) Refuse(MW_NO_RESULT, "the bake wrote no bitmap");
    return *image_;
}

const ColourResult& BlenderSession::Colours() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != BakeState::Done) Refuse(MW_BUSY, state_ == BakeState::Running ? "the bake is running" : "no bake");
    if (!colours_) Refuse(MW_NO_RESULT, "the bake wrote no vertex colours");
    return *colours_;
}

void BlenderSession::Timings(double& buildSeconds, double& panelSeconds) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != BakeState::Done) Refuse(MW_BUSY, state_ == BakeState::Running ? "the bake is running" : "no bake");
    buildSeconds = buildSeconds_;
    panelSeconds = panelSeconds_;
}

void BlenderSession::FinishBake() {
    std::thread bake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (state_ == BakeState::Running) Refuse(MW_BUSY, "the bake is running");
        bake = std::move(thread_);
    }
    // The thread has set Done as its last step; joining only waits for it to return.
    if (bake.joinable()) bake.join();
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = BakeState::Idle;
    image_.reset();
    colours_.reset();
}

void CheckSettingValues(const SettingValues& values) {
    const auto& entries = SettingEntries();
    for (size_t i = 0; i < entries.size(); ++i) {
        const SettingEntry& e = entries[i];
        const double v = values[i];
        const bool whole = e.type != SettingType::Float;
        auto text = [](double x) { return FormatSpinnerFloat(static_cast<float>(x)); };
        if (!std::isfinite(v) || (whole && v != std::floor(v)))
            Refuse(MW_INVALID_ARGUMENT, std::string(e.key) + " = " + text(v) + " is not " +
                                            (whole ? "a whole number" : "a number"));
        if (v < e.min || v > e.max) {
            const std::string range = whole ? std::to_string(static_cast<long long>(e.min)) + " ... " +
                                                  std::to_string(static_cast<long long>(e.max))
                                            : text(e.min) + " ... " + text(e.max);
            Refuse(MW_INVALID_ARGUMENT, std::string(e.key) + " = " + text(v) + " is outside " + range);
        }
    }
}

ColourResult CollectColours(const Mesh& mesh, const BlenderMesh& blender) {
    ColourResult out;
    const int vertexCount = blender.VertexCount();
    const int triangleCount = blender.TriangleCount();
    const int colourCount = mesh.getNumVertCol();
    out.perLoop.assign(static_cast<size_t>(blender.loopCount) * 4, 1.0f);
    out.perVertex.assign(static_cast<size_t>(vertexCount) * 4, 1.0f);
    std::vector<char> seen(static_cast<size_t>(vertexCount), 0);
    bool coloursAreVertices = mesh.getNumVCFaces() == triangleCount;
    auto put = [](std::vector<float>& to, size_t at, const Point3& c) {
        to[at * 4] = c.x;
        to[at * 4 + 1] = c.y;
        to[at * 4 + 2] = c.z;
        to[at * 4 + 3] = 1.0f;
    };
    for (int t = 0; t < triangleCount && t < mesh.getNumVCFaces(); ++t) {
        for (int k = 0; k < 3; ++k) {
            const size_t corner = static_cast<size_t>(t) * 3 + static_cast<size_t>(k);
            const DWORD c = mesh.vcFace[static_cast<size_t>(t)].t[k];
            if (c >= static_cast<DWORD>(colourCount)) continue;
            const Point3& colour = mesh.vertCol[c];
            const auto v = static_cast<size_t>(blender.triangleVertices[corner]);
            if (c != v) coloursAreVertices = false;
            put(out.perLoop, static_cast<size_t>(blender.triangleLoops[corner]), colour);
            if (!seen[v]) {
                seen[v] = 1;
                put(out.perVertex, v, colour);
            } else if (out.perVertex[v * 4] != colour.x || out.perVertex[v * 4 + 1] != colour.y ||
                       out.perVertex[v * 4 + 2] != colour.z) {
                out.onePerVertex = false;
            }
        }
    }
    if (coloursAreVertices)
        for (int v = 0; v < vertexCount && v < colourCount; ++v)
            if (!seen[static_cast<size_t>(v)]) put(out.perVertex, static_cast<size_t>(v), mesh.vertCol[static_cast<size_t>(v)]);
    return out;
}

void BlenderImagePixels(const BitmapPixels& image, float* out) {
    const size_t w = static_cast<size_t>(image.width);
    const size_t h = static_cast<size_t>(image.height);
    for (size_t row = 0; row < h; ++row) {
        // Blender's row 0 is the bottom of the image, the map's last row.
        const BMM_Color_64* from = image.pixels.data() + (h - 1 - row) * w;
        float* to = out + row * w * 4;
        for (size_t x = 0; x < w; ++x) {
            to[x * 4] = float(from[x].r) / 65535.0f;
            to[x * 4 + 1] = float(from[x].g) / 65535.0f;
            to[x * 4 + 2] = float(from[x].b) / 65535.0f;
            to[x * 4 + 3] = float(from[x].a) / 65535.0f;
        }
    }
}
