// The command-line parser: turns `murkwell bake|info|panel|about ...` into BakeOptions, an input
// path or a settings directory and hands them to the commands. Every value is checked here or in CheckOptionRanges before any work.
#include "standalone/Cli.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <iostream>

#include "standalone/TerminalPrompt.h"

namespace {

constexpr const char* kVersion = "murkwell 0.26";
constexpr const char* kInputHelp =
    "the mesh file to read: .obj, or through Assimp .gltf, .glb, .fbx, .ply, .dae, .3ds, .stl and more";

struct RawBakeArgs {
    std::string mode, size, dist, spread, channel, noise, mtlId, savePartial, threads;
};

// The import options' texts, which bake and info share.
struct RawImportArgs {
    std::string scale, smoothing;
};

bool ConvertImportArgs(const RawImportArgs& raw, CLI::App& command, ImportOptions& o, std::string& error) {
    auto given = [&](const char* name) { return command.get_option(name)->count() > 0; };
    if (given("--scale") && !ParseScaleText(raw.scale, o.scale)) {
        error = "--scale " + raw.scale + ": expected a number above 0";
        return false;
    }
    if (given("--smoothing") && !ParseSmoothingText(raw.smoothing, o.smoothing, error)) return false;
    return true;
}

void AddImportOptions(CLI::App& command, RawImportArgs& raw) {
    command.add_option("--scale", raw.scale,
                       "multiply every position by S on import (a power of two keeps the map exact; see README)");
    command.add_option("--smoothing", raw.smoothing,
                       "smoothing groups from: auto (default), groups (OBJ `s` lines), normals (the file's normals), angle:DEG or none");
}

// Converts the option texts; false with a usage error.
bool ConvertBakeArgs(const RawBakeArgs& raw, CLI::App& bake, BakeOptions& o, std::string& error) {
    auto given = [&](const char* name) { return bake.get_option(name)->count() > 0; };
    auto bad = [&](const std::string& option, const std::string& text, const char* expected) {
        error = option + " " + text + ": expected " + expected;
        return false;
    };
    int a = 0, b = 0;
    float f = 0.0f;
    if (given("--mode")) {
        if (!ParseModeText(raw.mode, a)) return bad("--mode", raw.mode, "uv, vertex or spatial");
        o.algorithm = a;
    }
    if (given("--size")) {
        if (!ParsePairText(raw.size, a, b)) return bad("--size", raw.size, "WIDTHxHEIGHT, e.g. 512x512");
        o.size = {a, b};
    }
    if (given("--spread")) {
        if (!ParsePairText(raw.spread, a, b)) return bad("--spread", raw.spread, "HORIZONTALxVERTICAL, e.g. 8x1");
        o.spread = {a, b};
    }
    if (given("--dist")) {
        if (!ParseFloatText(raw.dist, f)) return bad("--dist", raw.dist, "a number");
        o.dist = f;
    }
    if (given("--channel")) {
        if (!ParseIntText(raw.channel, a)) return bad("--channel", raw.channel, "a whole number");
        o.channel = a;
    }
    if (given("--noise")) {
        if (!ParseFloatText(raw.noise, f)) return bad("--noise", raw.noise, "a number (the noise size)");
        o.noiseOn = true;
        o.noiseSize = f;
    }
    if (given("--no-noise")) o.noiseOn = false;
    if (given("--mtl-id")) {
        if (!ParseIntText(raw.mtlId, a)) return bad("--mtl-id", raw.mtlId, "a whole number (the material ID)");
        o.mtlIDOn = true;
        o.mtlID = a;
    }
    if (given("--no-mtl-id")) o.mtlIDOn = false;
    if (given("--selected-only")) o.selectedOnly = true;
    if (given("--no-selected-only")) o.selectedOnly = false;
    if (given("--accumulate")) o.accumulate = true;
    if (given("--replace")) o.accumulate = false;
    if (given("--threads")) {
        if (!ParseIntText(raw.threads, a) || a < 1) return bad("--threads", raw.threads, "a whole number of at least 1");
        o.threads = a;
    }
    if (given("--save-partial")) {
        if (raw.savePartial != "yes" && raw.savePartial != "no") return bad("--save-partial", raw.savePartial, "yes or no");
        o.savePartial = raw.savePartial == "yes";
    }
    return true;
}

}  // namespace

CliEnvironment CliEnvironment::FromProcess() {
    CliEnvironment env;
    env.stderrIsTerminal = StderrIsTerminal();
    env.stdinIsTerminal = StdinIsTerminal() && env.stderrIsTerminal;
    env.catchInterrupts = true;
    env.getenv = [](const char* name) -> const char* { return std::getenv(name); };
    env.ask = [](const std::string& question, int interruptsBefore) {
        return AskYesNoOnTerminal(question, std::cerr, interruptsBefore);
    };
    return env;
}

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    return RunCli(argc, argv, out, err, CliEnvironment{});
}

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err, const CliEnvironment& env) {
    try {
        CLI::App app{"Murkwell: grit maps and grit vertex colours for meshes", "murkwell"};
        app.set_version_flag("--version", kVersion);
        app.require_subcommand(1);

        BakeOptions o;
        RawBakeArgs raw;
        CLI::App* bake = app.add_subcommand("bake", "compute grit over one object of INPUT and write OUTPUT");
        bake->add_option("INPUT", o.input, kInputHelp)->required();
        bake->add_option("-o,--output", o.output, "the file to write: an image (uv) or .ply/.obj/.glb (vertex)")->required();
        bake->add_option("--mode", raw.mode, "uv (a grey map), vertex (vertex colours) or spatial");
        bake->add_option("--size", raw.size, "map size WxH in texels (" + RangeText(setting::XSiz) + " each)");
        bake->add_option("--dist", raw.dist, "ray length in the mesh's units, after --scale (" + RangeText(setting::dist) + ")");
        bake->add_option("--spread", raw.spread, "rays per ring x rings, HxV (" + RangeText(setting::horizontalSpread) + " x " +
                                               RangeText(setting::verticalSpread) + ")");
        bake->add_option("--channel", raw.channel, "map channel of the texture coordinates (" + RangeText(setting::mapChannel) + ")");
        auto* sel = bake->add_flag("--selected-only")->description("only the selected faces (see --select-group)");
        auto* nosel = bake->add_flag("--no-selected-only")->description("all faces");
        auto* noise = bake->add_option("--noise", raw.noise, "modulate by 3-D noise of this size (" + RangeText(setting::noiseSize) + ")");
        auto* nonoise = bake->add_flag("--no-noise")->description("no noise");
        auto* mtl = bake->add_option("--mtl-id", raw.mtlId, "only faces of this material ID (" + RangeText(setting::mtlID) + ")");
        auto* nomtl = bake->add_flag("--no-mtl-id")->description("faces of every material");
        auto* acc = bake->add_flag("--accumulate")->description("vertex mode: multiply the existing vertex colours");
        auto* rep = bake->add_flag("--replace")->description("vertex mode: replace the vertex colours");
        bake->add_option("--object", o.object, "the object to bake (needed when INPUT has several)");
        bake->add_option("--select-group", o.selectGroups, "select the faces of this group: OBJ `g` name, or mesh name in other formats (repeatable)");
        bake->add_option("--config-dir", o.configDir, "settings directory (default $XDG_CONFIG_HOME/murkwell)");
        bake->add_option("--save-partial", raw.savePartial, "after Ctrl-C: save the partial map, yes or no");
        bake->add_option("--threads", raw.threads, "worker threads (at least 1; default one per hardware thread)");
        bake->add_flag("--reference", o.reference, "cast every ray against every face (slow; same result)");
        bake->add_flag("-q,--quiet", o.quiet, "no progress and no reports; failures still go to stderr");
        bake->add_flag("--rgba", o.rgba, "images: write r, g, b, a (r = g = b = grey, a = full) instead of one grey channel");
        RawImportArgs bakeImport;
        AddImportOptions(*bake, bakeImport);
        sel->excludes(nosel);
        noise->excludes(nonoise);
        mtl->excludes(nomtl);
        acc->excludes(rep);

        std::string infoInput;
        CLI::App* info = app.add_subcommand("info", "describe the objects of a mesh file as Murkwell reads them");
        info->add_option("INPUT", infoInput, kInputHelp)->required();
        RawImportArgs infoImport;
        AddImportOptions(*info, infoImport);

        std::string panelConfigDir;
        CLI::App* panel = app.add_subcommand("panel", "show the plug-in's panel as the settings file leaves it");
        panel->add_option("--config-dir", panelConfigDir, "settings directory (default $XDG_CONFIG_HOME/murkwell)");
        std::string aboutConfigDir;
        CLI::App* about = app.add_subcommand("about", "show the plug-in's About box");
        about->add_option("--config-dir", aboutConfigDir, "settings directory (default $XDG_CONFIG_HOME/murkwell)");

        // A mistyped command would otherwise be answered with "A subcommand is required".
        if (argc > 1 && argv[1][0] != '-') {
            bool known = false;
            for (const CLI::App* command : {bake, info, panel, about}) known = known || command->check_name(argv[1]);
            if (!known) {
                err << "Murkwell: unknown command \"" << argv[1] << "\" (the commands are bake, info, panel and about)\n";
                return kExitUsage;
            }
        }
        try {
            app.parse(argc, argv);
        } catch (const CLI::ParseError& e) {
            const int code = app.exit(e, out, err);
            return code == 0 ? kExitDone : kExitUsage;
        }

        std::string error;
        if (info->parsed()) {
            ImportOptions import;
            if (!ConvertImportArgs(infoImport, *info, import, error)) {
                err << "Murkwell: " << error << "\n";
                return kExitUsage;
            }
            return RunInfo(infoInput, import, out, err);
        }
        if (panel->parsed()) return RunPanel(panelConfigDir, env, out, err);
        if (about->parsed()) return RunAbout(aboutConfigDir, env, out, err);
        if (!ConvertBakeArgs(raw, *bake, o, error) || !ConvertImportArgs(bakeImport, *bake, o.import, error)) {
            err << "Murkwell: " << error << "\n";
            return kExitUsage;
        }
        return RunBake(o, env, out, err);
    } catch (const std::exception& e) {
        err << "Murkwell: " << e.what() << "\n";
        return kExitFailed;
    } catch (...) {
        err << "Murkwell: unexpected failure\n";
        return kExitFailed;
    }
}
