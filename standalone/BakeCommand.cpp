// `murkwell bake`: loads the plug-in library, checks everything that can be checked before any
// work (option ranges, the settings file's values, the output's type and folder, the input file,
// the object), then plays the user at the plug-in's panel: opens the utility (its page loads the
// settings file), sets the controls the options name, presses "Generate" and closes the utility
// (its page saves the settings file). The run happens inside the plug-in, through the standalone
// host; this reports how it ended.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "host/AtomicReplace.h"
#include "host/MessageBox.h"
#include "hostapp/HostInstallation.h"
#include "hostapp/PluginLibrary.h"
#include "settings/GritSettings.h"
#include "standalone/Cli.h"
#include "standalone/GlbWriter.h"
#include "standalone/ImageBitmapManager.h"
#include "standalone/ImageFile.h"
#include "standalone/Interrupts.h"
#include "standalone/ObjColourWriter.h"
#include "standalone/PanelSession.h"
#include "standalone/PlyWriter.h"
#include "standalone/ProgressDisplay.h"
#include "standalone/SceneImport.h"
#include "standalone/SceneNodes.h"
#include "standalone/StandaloneHost.h"

namespace {

std::string LowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

bool IsMeshExtension(const std::string& ext) { return ext == ".ply" || ext == ".obj" || ext == ".glb"; }

// The panel saves the settings file when it closes and, like the application, does not say
// whether that worked; the host looks at the file afterwards. The file is replaced through a
// temporary beside it, so what decides is whether its folder takes a new file, not the file's
// own permissions (a read-only settings file is replaced all the same and stays read-only).
void WarnIfSettingsNotSaved(std::ostream& err) {
    const std::string path = SettingsFilePath();
    std::error_code ec;
    std::string why;
    if (!std::filesystem::is_regular_file(path, ec) || !CheckOutputPath(path, why))
        err << "Murkwell: warning: could not save the settings to " << path << "\n";
}

std::string NameList(const std::vector<std::string>& names) {
    std::string list;
    for (const auto& n : names) list += (list.empty() ? "" : ", ") + ("\"" + n + "\"");
    return list;
}

// Checks that OUTPUT's extension suits the run; the error is a usage error.
bool CheckOutputKind(int algorithm, const std::string& output, std::string& error) {
    const std::string ext = LowerExtension(output);
    if (algorithm == ALGORITHM_VERTEX_COLORS) {
        if (IsMeshExtension(ext)) return true;
        error = "--mode vertex writes a mesh: the output must end in .ply, .obj or .glb (not \"" + output + "\")";
        return false;
    }
    if (IsMeshExtension(ext)) {
        error = "--mode uv writes an image: the output must be an image file such as .png, .tif or .exr (not \"" +
                output + "\")";
        return false;
    }
    return true;  // the image type was checked first
}

}  // namespace

int RunBake(const BakeOptions& o, const CliEnvironment& env, std::ostream& out, std::ostream& err) {
    auto fail = [&](int code, const std::string& message) {
        err << "Murkwell: " << message << "\n" << std::flush;
        return code;
    };
    std::string error;
    if (!CheckOptionRanges(o, error)) return fail(kExitUsage, error);
    // An output type that nothing writes is refused before anything else happens.
    if (IsMeshExtension(LowerExtension(o.output))) {
        if (o.rgba) return fail(kExitUsage, "--rgba is for image files; " + o.output + " is a mesh");
    } else {
        // An unknown type may have been meant as a mesh; --rgba with .pgm is about images alone.
        ImageFormat format;
        if (!ImageFormatForPath(o.output, format, error))
            return fail(kExitUsage, error + "; the mesh types are .ply, .obj and .glb");
        if (!CheckImageOutput(o.output, o.rgba ? ImageLayout::Rgba : ImageLayout::Grey, error))
            return fail(kExitUsage, error);
    }
    PluginLibrary library;
    if (!LoadPluginLibrary(PluginPathFor(env), library, error)) return fail(kExitFailed, error);

    std::string configDir;
    if (!ResolveConfigDir(o.configDir, env.getenv, configDir, error)) return fail(kExitFailed, error);

    // The host, installed for the whole command so the settings file is found through it.
    const auto style = o.quiet ? ProgressDisplay::Style::Quiet
                               : env.stderrIsTerminal ? ProgressDisplay::Style::Bar : ProgressDisplay::Style::Lines;
    ProgressDisplay progress(err, style, env.clock);
    ImageBitmapManager bitmaps;
    bitmaps.outputFile = o.output;
    bitmaps.layout = o.rgba ? ImageLayout::Rgba : ImageLayout::Grey;
    StandaloneHost host(progress, [] { return InterruptCount() > 0; }, configDir);
    host.SetProgressObserver(env.progressObserver);
    int failureBoxes = 0;
    auto answerQuestion = [&](const std::string& text) {
        if (o.savePartial) return *o.savePartial ? IDYES : IDNO;
        if (InterruptCount() >= 2) return IDNO;  // a second Ctrl-C answers No
        if (env.stdinIsTerminal && env.ask) {
            const std::optional<bool> a = env.ask(text, InterruptCount());
            if (a) return *a ? IDYES : IDNO;
        }
        // Nobody to ask: keep what was computed.
        err << "Murkwell: " << text << " yes (no answer; use --save-partial to choose)\n" << std::flush;
        return IDYES;
    };
    HostInstallation installation(&host, &bitmaps, [&](const std::string& text, const std::string&, UINT type) {
        progress.BreakLine();
        if ((type & 0xFu) == MB_YESNO) return answerQuestion(text);
        if (type & MB_ICONINFORMATION) {
            failureBoxes++;
            err << "Murkwell: " << text << "\n" << std::flush;
        } else if (!o.quiet) {
            out << text << "\n" << std::flush;
        }
        return IDOK;
    });

    // What the panel will show once the options are set: the settings file's values with the
    // options over them. Read here, before the panel opens, so that a refused bake leaves the
    // settings file as it was.
    if (!CheckSettingsFileReadable(SettingsFilePath(), error)) return fail(kExitFailed, error);
    GritSettings settings;
    LoadSettings(settings);
    ApplyBakeOptions(o, settings);
    if (!CheckSettingsRanges(settings, error))
        return fail(kExitFailed, error + " in the settings file " + SettingsFilePath() + "; give the option to override it");
    // The panel shows an unknown algorithm as "UV Map", in the record as well.
    if (settings.algorithm != ALGORITHM_UV_MAP && settings.algorithm != ALGORITHM_VERTEX_COLORS &&
        settings.algorithm != ALGORITHM_SPATIAL)
        settings.algorithm = ALGORITHM_UV_MAP;
    const int algorithm = settings.algorithm;

    // The user at the panel: set the controls, press "Generate", close the utility.
    auto atThePanel = [&]() {
        PanelSession panel(library, host);
        if (!panel.Open(error) || !panel.ApplyOptions(o, error)) return false;
        host.SetEngineOptions(RunEngineOptions{o.threads.value_or(0), o.reference});
        const bool pressed = panel.PressGenerate();
        progress.BreakLine();
        panel.Close();
        if (!pressed) error = "the panel's \"Generate\" button did not respond";
        WarnIfSettingsNotSaved(err);
        return pressed;
    };

    if (algorithm == ALGORITHM_SPATIAL) {
        // The panel answers for itself ("This Grit type is not implemented yet").
        if (!atThePanel()) return fail(kExitFailed, error);
        return kExitFailed;
    }
    if (!CheckOutputKind(algorithm, o.output, error)) {
        if (!o.algorithm)
            error += std::string(" (the mode ") + (algorithm == ALGORITHM_VERTEX_COLORS ? "vertex" : "uv") +
                     " comes from the settings file; give --mode to choose)";
        return fail(kExitUsage, error);
    }
    if (!CheckOutputPath(o.output, error)) return fail(kExitFailed, error);

    ImportedScene scene;
    ImportOptions import = o.import;
    import.threads = o.threads.value_or(0);
    if (!LoadScene(o.input, import, scene, error)) return fail(kExitFailed, error);
    for (const auto& w : scene.warnings) err << "Murkwell: warning: " << o.input << ": " << w << "\n";
    // An OBJ file's text is kept only to write its coloured copy; any other output frees it
    // before the run, which would otherwise carry the whole file through its peak.
    if (algorithm != ALGORITHM_VERTEX_COLORS || LowerExtension(o.output) != ".obj") std::string().swap(scene.text);

    int chosen = -1;
    if (!o.object.empty()) {
        chosen = scene.FindObject(o.object);
        if (chosen < 0)
            return fail(kExitFailed, o.input + " has no object \"" + o.object + "\"; its objects: " + NameList(scene.ObjectNames()));
    } else if (scene.objects.size() == 1) {
        chosen = 0;
    }
    if (!o.selectGroups.empty()) {
        if (chosen < 0)
            return fail(kExitFailed, "--select-group needs one object, and " + o.input + " has " +
                                         std::to_string(scene.objects.size()) + "; choose one with --object NAME");
        if (!SelectGroupFaces(scene.objects[static_cast<size_t>(chosen)], o.selectGroups, error))
            return fail(kExitFailed, error);
    } else if (settings.selectedOnly) {
        err << "Murkwell: warning: selected faces only, but no --select-group: no face is selected\n";
    }
    if (!o.selectGroups.empty() && !settings.selectedOnly)
        err << "Murkwell: warning: --select-group has no effect while selected faces only is off "
               "(give --selected-only)\n";
    if (algorithm == ALGORITHM_VERTEX_COLORS && settings.addVertexColors && chosen >= 0 &&
        scene.objects[static_cast<size_t>(chosen)].mesh.getNumVertCol() < scene.objects[static_cast<size_t>(chosen)].mesh.getNumVerts())
        err << "Murkwell: warning: " << o.input
            << " has no vertex colours to accumulate onto; the run resets them, so the colours start from black\n";

    std::vector<std::unique_ptr<SceneNode>> nodes = MakeSceneNodes(scene);
    SceneNode* node = chosen >= 0 ? nodes[static_cast<size_t>(chosen)].get() : nullptr;
    host.SetSelection(node ? std::vector<INode*>{node} : std::vector<INode*>{});

    ResetInterrupts();
    // From here on Ctrl-C cancels instead of ending the process, also while the output is
    // written, so no temporary file is left behind.
    std::optional<InterruptScope> interrupts;
    if (env.catchInterrupts) interrupts.emplace();
    // The engine options (--threads, --reference) say how the run computes, not what: they are
    // no settings, and the host hands them to the plug-in when the run starts.
    if (!atThePanel()) return fail(kExitFailed, error);

    const bool cancelled = host.CancelSeen();
    auto noOutput = [&]() {
        if (cancelled) return fail(kExitCancelled, "cancelled; nothing written");
        if (!node && scene.objects.size() != 1)
            err << "Murkwell: " << o.input << " holds " << scene.objects.size()
                << " objects; choose one with --object NAME: " << NameList(scene.ObjectNames()) << "\n";
        if (failureBoxes == 0) err << "Murkwell: nothing was written\n";
        return static_cast<int>(kExitFailed);
    };

    if (algorithm == ALGORITHM_UV_MAP) {
        if (bitmaps.Writes().empty()) return noOutput();
        const auto& written = bitmaps.Writes().back();
        if (!written.ok) return fail(kExitFailed, written.error);
        if (!o.quiet) out << "wrote " << written.path << (cancelled ? " (partial map)" : "") << "\n";
        return cancelled ? kExitPartial : kExitDone;
    }

    // Vertex colours: the host writes out the node the run modified. A cancelled run leaves the
    // colours reset or half written, so nothing is written then.
    if (cancelled || !node || !node->Modified() || !node->EditableMesh()) return noOutput();
    const ImportedObject& object = scene.objects[static_cast<size_t>(chosen)];
    // The written mesh carries the file's own positions: the import scale only serves the run.
    const Mesh* written = node->EditableMesh();
    Mesh unscaled;
    if (!object.fileVerts.empty() && object.fileVerts.size() == written->verts.size()) {
        unscaled = *written;
        unscaled.verts = object.fileVerts;
        written = &unscaled;
    }
    const std::string outputExt = LowerExtension(o.output);
    const bool ok = outputExt == ".ply"   ? WriteColouredPly(o.output, *written, error)
                    : outputExt == ".glb" ? WriteGlb(o.output, object, *written, error)
                                          : WriteColouredObj(o.output, scene, object, *written, error);
    if (!ok) return fail(kExitFailed, error);
    if (!o.quiet) out << "wrote " << o.output << "\n";
    return kExitDone;
}
