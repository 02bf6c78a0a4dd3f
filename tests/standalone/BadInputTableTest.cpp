// Every kind of bad input that murkwell refuses, one case for each row of the README's "Bad
// input" table. A case writes its input files into a fresh folder, runs the command line (in
// this process, or in a child where a user, a file size limit or a small disk is needed) and
// checks the exit code, the message and what became of the files: an existing output and
// settings file byte for byte, no temporaries left. The last test checks that the table and the
// cases agree, so that neither can change without the other.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "host/AtomicReplace.h"
#include "standalone/Interrupts.h"
#include "hostapp/PluginLibrary.h"
#include "tests/common/TempDir.h"
#include "tests/standalone/CliRunner.h"
#include "tests/standalone/ImageReadBack.h"

namespace fs = std::filesystem;

namespace {

const std::string kExample = std::string(MURKWELL_SOURCE_DIR) + "/examples/grooved_block.obj";
const std::string kOldOutput = "the previous output";
// The settings file every case starts from, unless it says otherwise: small maps, so that the
// cases that do bake are quick.
const std::string kOldSettings = "[Murkwell]\n; the user's own line\nXSiz=64\nYSiz=64\nhorizontalSpread=2\ndist=2\n";
// Seven lines that a bad line 8 follows.
const std::string kHead = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nvn 0 0 1\n";
const fs::path kFixtures = fs::path(MURKWELL_SOURCE_DIR) / "tests" / "standalone" / "fixtures";
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif
const std::string kTwoObjects = "v 0 0 0\nv 1 0 0\nv 0 1 0\no alpha\nf 1 2 3\no beta\nf 3 2 1\n";

// What a case leaves at the output path, and the phrase of the table's "Files" column that says so.
enum class Output { Absent, Kept, Written, Partial, ThroughLink };
enum class Settings { Kept, Saved };
const std::map<Output, std::string> kOutputPhrase = {
    {Output::Absent, "no output"},
    {Output::Kept, "old output kept"},
    {Output::Written, "output written"},
    {Output::Partial, "partial map written"},
    {Output::ThroughLink, "written through the link"},
};
const std::map<Settings, std::string> kSettingsPhrase = {
    {Settings::Kept, "settings file kept"},
    {Settings::Saved, "settings saved"},
};

// What the run needs from its surroundings.
enum class Condition {
    None,
    NotRoot,        // a user whom file permissions bind: a child process as "nobody" under root
    FileSizeLimit,  // a child process with a 16 KiB file size limit
    SmallDisk,      // the output's folder on a full 64 KiB file system
    CtrlC,          // Ctrl-C as soon as the run shows progress
};

struct Sandbox;

struct Case {
    std::string id;
    std::vector<std::string> args;      // placeholders: <input>, <output>, <config>, <root>, ...
    int exit = kExitFailed;
    std::vector<std::string> messages;  // each a whole line of standard error, placeholders filled in
    Output output = Output::Kept;
    Settings settings = Settings::Kept;
    Condition condition = Condition::None;
    std::string inputName;              // in the case's folder; empty: the example mesh
    std::optional<std::string> inputText;  // written to the input when given
    int line = 0;                       // <line>
    std::string outputName = "map.png";
    std::optional<std::string> settingsText = kOldSettings;
    std::map<std::string, std::string> environment;
    bool alsoInfo = false;              // `info <input>` answers the same
    std::function<void(Sandbox&)> setup;
    // Checked where the command runs; false skips the case (the condition cannot be had here).
    std::function<bool(const Sandbox&)> holds;

    Case& Obj(const std::string& text, int badLine) {
        inputName = "bad.obj";
        inputText = text;
        line = badLine;
        alsoInfo = true;
        return *this;
    }
};

struct Sandbox {
    fs::path root, input, output, config;
    std::map<std::string, std::string> vars;

    std::string Fill(std::string text) const {
        for (const auto& [name, value] : vars)
            for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size()))
                text.replace(at, name.size(), value);
        return text;
    }
};

// `murkwell bake <input> -o <output> OPTIONS` with the case's settings directory, quiet.
std::vector<std::string> Bake(std::vector<std::string> options = {}) {
    std::vector<std::string> args = {"bake", "<input>", "-o", "<output>"};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"--config-dir", "<config>", "-q"});
    return args;
}

Case Make(std::string id, std::vector<std::string> args, int exit, std::vector<std::string> messages) {
    Case c;
    c.id = std::move(id);
    c.args = std::move(args);
    c.exit = exit;
    c.messages = std::move(messages);
    return c;
}

Case ObjCase(std::string id, const std::string& text, int line, const std::string& message) {
    Case c = Make(std::move(id), Bake(), kExitFailed, {"Murkwell: <input>: " + message});
    c.Obj(text, line);
    return c;
}

// A usage error: refused before anything is read or written.
Case Usage(std::string id, std::vector<std::string> options, const std::string& message) {
    return Make(std::move(id), Bake(std::move(options)), kExitUsage, {message});
}

template <class F>
Case With(Case c, F change) {
    change(c);
    return c;
}

bool CanRead(const fs::path& p) { return access(p.c_str(), R_OK) == 0; }
bool CanCreateIn(const fs::path& dir) { return access(dir.c_str(), W_OK) == 0; }

// The file the host layer's library was loaded from: a shared library, but no plug-in.
std::string HostLibraryPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&SetReplaceStageHook), &info) == 0 || !info.dli_fname) return "";
    return info.dli_fname;
}

std::vector<Case> AllCases() {
    std::vector<Case> cases = {
        // The OBJ reader: the line and the token.
        ObjCase("obj-index-range", kHead + "f 1 2 4294967299\n", 8,
                "line <line>: face corner \"4294967299\": the index 4294967299 is outside the 32-bit range (at most "
                "2147483647 either way)"),
        ObjCase("obj-index-no-vertex", kHead + "f 1 2 7\n", 8,
                "line <line>: a face refers to a vertex that does not exist (index 7; the file defines 3)"),
        ObjCase("obj-index-no-texcoord", kHead + "f 1/1 2/2 3/9\n", 8,
                "line <line>: a face refers to a texture coordinate that does not exist (index 9; the file defines 3)"),
        ObjCase("obj-index-no-normal", kHead + "f 1//1 2//1 3//5\n", 8,
                "line <line>: a face refers to a normal that does not exist (index 5; the file defines 1)"),
        ObjCase("obj-index-relative", kHead + "f -1 -2 -9\n", 8,
                "line <line>: a face refers to a vertex that does not exist (a relative index reaching back before "
                "the first one; the file defines 3)"),
        ObjCase("obj-index-zero", kHead + "f 0 1 2\n", 8,
                "line <line>: malformed face corner \"0\": indices start at 1 (0 refers to nothing)"),
        ObjCase("obj-index-junk", kHead + "f 1 2 3abc\n", 8,
                "line <line>: malformed face corner \"3abc\" (expected v, v/vt, v//vn or v/vt/vn, each a whole number)"),
        ObjCase("obj-corner-parts", kHead + "f 1/1/1/1 2 3\n", 8,
                "line <line>: malformed face corner \"1/1/1/1\" (expected v, v/vt, v//vn or v/vt/vn)"),
        ObjCase("obj-coord-junk", kHead + "v 1x 2 3\nf 1 2 3\n", 8, "line <line>: vertex coordinate \"1x\" is not a number"),
        ObjCase("obj-texcoord-junk", kHead + "vt 0.5 0.5q\nf 1 2 3\n", 8,
                "line <line>: texture coordinate \"0.5q\" is not a number"),
        ObjCase("obj-coord-nan", kHead + "v nan 0 0\nf 1 2 3\n", 8,
                "line <line>: vertex coordinate \"nan\" is not a finite number"),
        ObjCase("obj-normal-inf", kHead + "vn inf 0 0\nf 1 2 3\n", 8,
                "line <line>: normal coordinate \"inf\" is not a finite number"),
        ObjCase("obj-coord-overflow", kHead + "v 1e39 0 0\nf 1 2 3\n", 8,
                "line <line>: vertex coordinate \"1e39\" is too large for a float (at most 3.4028235e38)"),
        ObjCase("obj-v-count", kHead + "v 1 2\nf 1 2 3\n", 8,
                "line <line>: a vertex line needs x y z, x y z w or x y z r g b (it has 2 numbers)"),
        ObjCase("obj-vn-count", kHead + "vn 0 1\nf 1 2 3\n", 8, "line <line>: a normal line needs x y z (it has 2 numbers)"),
        ObjCase("obj-vt-count", kHead + "vt 1 2 3 4\nf 1 2 3\n", 8,
                "line <line>: a texture coordinate line needs u, u v or u v w (it has 4 numbers)"),
        ObjCase("obj-s-malformed", kHead + "s 1x\nf 1 2 3\n", 8,
                "line <line>: malformed smoothing group \"1x\" (expected a whole number or off)"),
        ObjCase("obj-s-range", kHead + "s 4294967296\nf 1 2 3\n", 8,
                "line <line>: smoothing group 4294967296 is outside the 32-bit range (at most 4294967295)"),
        ObjCase("obj-s-count", kHead + "s 1 2\nf 1 2 3\n", 8,
                "line <line>: a smoothing group line needs one value, a whole number or off"),
        // What is no OBJ text, or holds nothing to bake.
        ObjCase("obj-utf16", std::string("\xFF\xFEv\0 \0" "0\0", 8), 0,
                "not a text OBJ file (it starts with a UTF-16 byte-order mark; save it as UTF-8)"),
        ObjCase("obj-utf32", std::string("\xFF\xFE\0\0v\0\0\0", 8), 0,
                "not a text OBJ file (it starts with a UTF-32 byte-order mark; save it as UTF-8)"),
        ObjCase("obj-nul", std::string("v 0 0 0\nv 1\0 0 0\n", 17), 0,
                "not a text OBJ file (it holds NUL bytes, the first at byte 11)"),
        ObjCase("obj-empty", "", 0, "holds no faces"),
        ObjCase("obj-no-faces", "v 0 0 0\nv 1 0 0\nv 0 1 0\n", 0, "holds no faces"),
        ObjCase("obj-short-faces", "v 0 0 0\nv 1 0 0\nf 1 2\n", 0,
                "holds no faces (only faces with fewer than three corners)"),

        // The input file itself.
        With(Make("in-format", Bake(), kExitFailed,
                  {"Murkwell: cannot read <input>: unknown mesh format \".xyz\" (murkwell reads .obj and, through "
                   "Assimp, <reason>"}),
             [](Case& c) {
                 c.alsoInfo = true;
                 c.inputName = "mesh.xyz";
                 c.inputText = kTwoObjects;
             }),
        With(Make("in-no-extension", Bake(), kExitFailed,
                  {"Murkwell: cannot read <input>: no file extension (murkwell reads .obj and, through Assimp, <reason>"}),
             [](Case& c) {
                 c.alsoInfo = true;
                 c.inputName = "mesh";
                 c.inputText = kTwoObjects;
             }),
        // Files of the formats Assimp reads: its name for the format and its reason, on one line.
        With(Make("in-unreadable-format", Bake(), kExitFailed,
                  {"Murkwell: cannot read <input> (Autodesk FBX Importer): <reason>"}),
             [](Case& c) {
                 c.alsoInfo = true;
                 c.inputName = "broken.fbx";
                 c.inputText = "this is no FBX\n";
             }),
        With(Make("in-no-faces-format", Bake(), kExitFailed,
                  {"Murkwell: <input> (glTF Importer): holds no faces (only points and lines)"}),
             [](Case& c) {
                 c.alsoInfo = true;
                 c.inputName = "points.glb";
                 c.inputText = ReadWholeFile(kFixtures / "points.glb");
             }),
        With(Make("in-groups-format", Bake({"--smoothing", "groups"}), kExitFailed,
                  {"Murkwell: --smoothing groups: <input> (glTF Importer) gives no smoothing groups (only OBJ files "
                   "do); use auto, normals, angle:DEG or none"}),
             [](Case& c) {
                 c.inputName = "scene.glb";
                 c.inputText = ReadWholeFile(kFixtures / "scene.glb");
             }),
        With(Make("in-memory-format", Bake(), kExitFailed,
                  {"Murkwell: cannot read <input> (Collada Importer): the file asks for more memory than a file of "
                   "its size can need (over 1024 MiB)"}),
             [](Case& c) {
                 c.inputName = "huge.dae";
                 c.inputText = ReadWholeFile(kFixtures / "huge_counts.dae");
                 // Under the sanitizers the import has no memory ceiling (they reserve address
                 // space of their own), and this file would take tens of gigabytes.
                 c.holds = [](const Sandbox&) { return !kUnderSanitizer; };
             }),
        With(Make("in-missing", Bake(), kExitFailed, {"Murkwell: cannot read <input>: no such file"}),
             [](Case& c) {
                 c.alsoInfo = true;
                 c.inputName = "missing.obj";
             }),
        With(Make("in-directory", Bake(), kExitFailed, {"Murkwell: cannot read <input>: it is a directory"}),
             [](Case& c) {
                 c.alsoInfo = true;
                 c.inputName = "folder.obj";
                 c.setup = [](Sandbox& s) { fs::create_directory(s.input); };
             }),
        With(Make("in-unreadable", Bake(), kExitFailed,
                  {"Murkwell: cannot read <input>: permission denied or unreadable"}),
             [](Case& c) {
                 c.inputName = "locked.obj";
                 c.inputText = kTwoObjects;
                 c.condition = Condition::NotRoot;
                 c.setup = [](Sandbox& s) { fs::permissions(s.input, fs::perms::none); };
                 c.holds = [](const Sandbox& s) { return !CanRead(s.input); };
             }),

        // Option values: usage errors, before anything is read or written.
        Usage("opt-size-range", {"--size", "30x200"}, "Murkwell: --size: the width 30 is outside the range 50 ... 4096"),
        Usage("opt-size-malformed", {"--size", "512"}, "Murkwell: --size 512: expected WIDTHxHEIGHT, e.g. 512x512"),
        Usage("opt-spread-range", {"--spread", "8x11"},
              "Murkwell: --spread: the vertical spread 11 is outside the range 0 ... 10"),
        Usage("opt-spread-malformed", {"--spread", "8"},
              "Murkwell: --spread 8: expected HORIZONTALxVERTICAL, e.g. 8x1"),
        Usage("opt-dist-small", {"--dist", "0.03"},
              "Murkwell: --dist 0.03 is outside the range 1 ... 100000; for a mesh this small, scale it on import: "
              "use --scale 128 --dist 3.84"),
        Usage("opt-dist-large", {"--dist", "300000"},
              "Murkwell: --dist 300000 is outside the range 1 ... 100000; for a mesh this large, scale it on "
              "import: use --scale 0.125 --dist 37500"),
        Usage("opt-dist-malformed", {"--dist", "2m"}, "Murkwell: --dist 2m: expected a number"),
        Usage("opt-channel-range", {"--channel", "100"}, "Murkwell: --channel 100 is outside the range 1 ... 99"),
        Usage("opt-channel-malformed", {"--channel", "1.5"}, "Murkwell: --channel 1.5: expected a whole number"),
        Usage("opt-noise-range", {"--noise", "-1"}, "Murkwell: --noise -1 is outside the range 0 ... 100000"),
        Usage("opt-mtl-id-range", {"--mtl-id", "0"}, "Murkwell: --mtl-id 0 is outside the range 1 ... 100"),
        Usage("opt-threads", {"--threads", "0"}, "Murkwell: --threads 0: expected a whole number of at least 1"),
        Usage("opt-mode", {"--mode", "fancy"}, "Murkwell: --mode fancy: expected uv, vertex or spatial"),
        Usage("opt-save-partial", {"--save-partial", "maybe"}, "Murkwell: --save-partial maybe: expected yes or no"),
        Usage("opt-scale", {"--scale", "0"}, "Murkwell: --scale 0: expected a number above 0"),
        Usage("opt-smoothing", {"--smoothing", "smooth"},
              "Murkwell: --smoothing smooth: expected auto, groups, normals, angle:DEGREES or none"),
        Usage("opt-smoothing-angle", {"--smoothing", "angle:200"},
              "Murkwell: --smoothing angle:200: the angle must lie within 0 ... 180 degrees"),
        Usage("opt-unknown", {"--frobnicate"}, "The following argument was not expected: --frobnicate"),
        Usage("opt-conflict", {"--accumulate", "--replace"}, "--accumulate excludes --replace"),
        Usage("opt-twice", {"--size", "64x64", "--size", "50x50"}, "--size: At Most 1 required but received 2"),
        Make("opt-no-output", {"bake", "<input>", "--config-dir", "<config>"}, kExitUsage, {"--output is required"}),
        Make("cmd-unknown", {"paint", "<input>"}, kExitUsage,
             {"Murkwell: unknown command \"paint\" (the commands are bake, info, panel and about)"}),
        // A scale that takes the mesh beyond the float range is found on import.
        Make("opt-scale-overflow", Bake({"--scale", "1e38"}), kExitFailed,
             {"Murkwell: <input>: --scale 1e+38 takes vertex 13 of object \"grooved_block\" beyond the float range (y 4 "
              "would become 4e+38)"}),

        // The output's type, before anything is done.
        With(Usage("out-type", {}, "Murkwell: cannot write images of type \".xyz\" (<output>); the image types are "
                                   ".png, .tif, .tiff, .exr or .pgm; the mesh types are .ply, .obj and .glb"),
             [](Case& c) { c.outputName = "map.xyz"; }),
        With(Usage("out-no-extension", {}, "Murkwell: the output file <output> has no extension to choose an image "
                                           "format by (.png, .tif, .tiff, .exr or .pgm); the mesh types are .ply, .obj and .glb"),
             [](Case& c) { c.outputName = "map"; }),
        With(Usage("out-rgba-pgm", {"--rgba"}, "Murkwell: --rgba: a .pgm file holds one grey channel (<output>); use "
                                               ".png, .tif or .exr for r, g, b, a"),
             [](Case& c) { c.outputName = "map.pgm"; }),
        With(Usage("out-rgba-mesh", {"--mode", "vertex", "--rgba"},
                   "Murkwell: --rgba is for image files; <output> is a mesh"),
             [](Case& c) { c.outputName = "mesh.ply"; }),
        With(Usage("out-uv-mesh", {"--mode", "uv"}, "Murkwell: --mode uv writes an image: the output must be an image "
                                                    "file such as .png, .tif or .exr (not \"<output>\")"),
             [](Case& c) { c.outputName = "mesh.ply"; }),
        Usage("out-vertex-image", {"--mode", "vertex"},
              "Murkwell: --mode vertex writes a mesh: the output must end in .ply, .obj or .glb (not \"<output>\")"),
        With(Usage("out-mode-from-settings", {},
                   "Murkwell: --mode vertex writes a mesh: the output must end in .ply, .obj or .glb (not \"<output>\") "
                   "(the mode vertex comes from the settings file; give --mode to choose)"),
             [](Case& c) { c.settingsText = kOldSettings + "algorithm=1009\n"; }),

        // Where the output goes, checked before the input is read.
        With(Make("out-directory", Bake(), kExitFailed, {"Murkwell: cannot write <output>: it is a directory"}),
             [](Case& c) {
                 c.output = Output::Absent;
                 c.setup = [](Sandbox& s) { fs::create_directory(s.output); };
             }),
        With(Make("out-no-folder", Bake(), kExitFailed,
                  {"Murkwell: cannot write <output>: the folder <folder> does not exist"}),
             [](Case& c) {
                 c.outputName = "gone/map.png";
                 c.output = Output::Absent;
             }),
        With(Make("out-folder-is-file", Bake(), kExitFailed,
                  {"Murkwell: cannot write <output>: the folder <folder> is not a folder"}),
             [](Case& c) {
                 c.outputName = "plain/map.png";
                 c.output = Output::Absent;
                 c.setup = [](Sandbox& s) { WriteWholeFile(s.output.parent_path(), "a file"); };
             }),
        With(Make("out-folder-readonly", Bake(), kExitFailed,
                  {"Murkwell: cannot write to the folder <folder>: Permission denied"}),
             [](Case& c) {
                 c.outputName = "locked/map.png";
                 c.condition = Condition::NotRoot;
                 c.setup = [](Sandbox& s) {
                     fs::permissions(s.output.parent_path(), fs::perms::owner_read | fs::perms::owner_exec |
                                                                 fs::perms::group_read | fs::perms::group_exec |
                                                                 fs::perms::others_read | fs::perms::others_exec);
                 };
                 c.holds = [](const Sandbox& s) { return !CanCreateIn(s.output.parent_path()); };
             }),
        With(Make("out-link-loop", Bake(), kExitFailed,
                  {"Murkwell: cannot write <output>: Too many levels of symbolic links"}),
             [](Case& c) {
                 c.outputName = "loop.png";
                 c.output = Output::Absent;
                 c.setup = [](Sandbox& s) {
                     fs::create_symlink("loop-back.png", s.output);
                     fs::create_symlink("loop.png", s.root / "loop-back.png");
                 };
             }),
        With(Make("out-symlink", Bake(), kExitDone, {}),
             [](Case& c) {
                 c.outputName = "latest.png";
                 c.output = Output::ThroughLink;
                 c.settings = Settings::Saved;
                 c.setup = [](Sandbox& s) {
                     fs::create_directory(s.root / "maps");
                     WriteWholeFile(s.root / "maps" / "real.png", kOldOutput);
                     fs::create_symlink("maps/real.png", s.output);
                 };
             }),
        // The write itself fails: the old output stays.
        With(Make("out-disk-full", Bake(), kExitFailed, {"Murkwell: cannot write <output>: No space left on device"}),
             [](Case& c) {
                 c.outputName = "small/map.pgm";
                 c.condition = Condition::SmallDisk;
                 c.settings = Settings::Saved;
             }),
        With(Make("out-size-limit", Bake({"--size", "200x200"}), kExitFailed,
                  {"Murkwell: cannot write <output>: File too large"}),
             [](Case& c) {
                 c.outputName = "map.pgm";  // 80 kB of samples
                 c.condition = Condition::FileSizeLimit;
                 c.settings = Settings::Saved;
             }),

        // The settings directory and file.
        With(Make("cfg-is-file", Bake(), kExitFailed,
                  {"Murkwell: cannot create the configuration directory <config>: Not a directory"}),
             [](Case& c) {
                 c.settingsText.reset();
                 c.setup = [](Sandbox& s) { WriteWholeFile(s.config, "a file"); };
             }),
        Make("cfg-no-home", {"bake", "<input>", "-o", "<output>", "-q"}, kExitFailed,
             {"Murkwell: no configuration directory: neither XDG_CONFIG_HOME nor HOME is set; give --config-dir DIR"}),
        With(Make("cfg-out-of-range", Bake(), kExitFailed,
                  {"Murkwell: XSiz 0 is outside the range 50 ... 4096 in the settings file <settings>; give the "
                   "option to override it"}),
             [](Case& c) { c.settingsText = "[Murkwell]\nXSiz=0\n"; }),
        With(Make("cfg-unreadable", Bake(), kExitFailed,
                  {"Murkwell: cannot read the settings file <settings>: Permission denied"}),
             [](Case& c) {
                 c.condition = Condition::NotRoot;
                 c.setup = [](Sandbox& s) { fs::permissions(s.config / "Murkwell.ini", fs::perms::owner_write); };
                 c.holds = [](const Sandbox& s) { return !CanRead(s.config / "Murkwell.ini"); };
             }),
        With(Make("cfg-file-is-directory", Bake(), kExitFailed,
                  {"Murkwell: cannot read the settings file <settings>: it is a directory"}),
             [](Case& c) {
                 c.settingsText.reset();
                 c.setup = [](Sandbox& s) { fs::create_directories(s.config / "Murkwell.ini"); };
             }),
        // The settings file is replaced through a temporary in its folder, so its own mode does
        // not stop the save (and stays as it was).
        With(Make("cfg-read-only", Bake(), kExitDone, {}),
             [](Case& c) {
                 c.output = Output::Written;
                 c.settings = Settings::Saved;
                 c.setup = [](Sandbox& s) {
                     fs::permissions(s.config / "Murkwell.ini",
                                     fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
                 };
             }),
        With(Make("cfg-not-saved", Bake(), kExitDone,
                  {"Murkwell: warning: could not save the settings to <settings>"}),
             [](Case& c) {
                 c.output = Output::Written;
                 c.condition = Condition::NotRoot;
                 c.setup = [](Sandbox& s) {
                     fs::permissions(s.config, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                                   fs::perms::group_exec | fs::perms::others_read |
                                                   fs::perms::others_exec);
                 };
                 c.holds = [](const Sandbox& s) { return !CanCreateIn(s.config); };
             }),

        // The object and the selection.
        With(Make("run-several-objects", Bake(), kExitFailed,
                  {"Murkwell: Select exactly one node",
                   "Murkwell: <input> holds 2 objects; choose one with --object NAME: \"alpha\", \"beta\""}),
             [](Case& c) {
                 c.inputName = "two.obj";
                 c.inputText = kTwoObjects;
                 c.settings = Settings::Saved;
             }),
        With(Make("run-unknown-object", Bake({"--object", "gamma"}), kExitFailed,
                  {"Murkwell: <input> has no object \"gamma\"; its objects: \"alpha\", \"beta\""}),
             [](Case& c) {
                 c.inputName = "two.obj";
                 c.inputText = kTwoObjects;
             }),
        With(Make("run-hollow-object", Bake({"--object", "hollow"}), kExitFailed, {"Murkwell: Could not get TriObject"}),
             [](Case& c) {
                 c.inputName = "hollow.obj";
                 c.inputText = "v 0 0 0\nv 1 0 0\nv 0 1 0\no alpha\nf 1 2 3\no hollow\n";
                 c.settings = Settings::Saved;
             }),
        With(Make("run-group-several-objects", Bake({"--select-group", "g"}), kExitFailed,
                  {"Murkwell: --select-group needs one object, and <input> has 2; choose one with --object NAME"}),
             [](Case& c) {
                 c.inputName = "two.obj";
                 c.inputText = kTwoObjects;
             }),
        Make("run-unknown-group", Bake({"--selected-only", "--select-group", "roof"}), kExitFailed,
             {"Murkwell: object \"grooved_block\" has no group \"roof\" (its groups: top, walls)"}),

        // The plug-in library, loaded before anything else.
        With(Make("plugin-missing", Bake(), kExitFailed,
                  {"Murkwell: the plug-in library <plugin> is missing (the library is looked for beside the murkwell "
                   "program; MURKWELL_PLUGIN=PATH names another)"}),
             [](Case& c) { c.environment = {{kPluginVariable, "<root>/absent.so"}}; }),
        With(Make("plugin-broken", Bake(), kExitFailed,
                  {"Murkwell: the plug-in library <plugin> cannot be loaded: <reason>"}),
             [](Case& c) {
                 c.environment = {{kPluginVariable, "<root>/broken.so"}};
                 c.setup = [](Sandbox& s) { WriteWholeFile(s.root / "broken.so", "no shared library"); };
             }),
        With(Make("plugin-not-a-plugin", Bake(), kExitFailed,
                  {"Murkwell: the plug-in library <plugin> is not a plug-in: it lacks LibDescription, "
                   "LibNumberClasses, LibClassDesc or LibVersion"}),
             [](Case& c) { c.environment = {{kPluginVariable, "<host-library>"}}; }),

        // Ctrl-C.
        With(Make("cancel-no", Bake({"--size", "512x512", "--spread", "24x10", "--save-partial", "no"}),
                  kExitCancelled, {"Murkwell: cancelled; nothing written"}),
             [](Case& c) {
                 c.condition = Condition::CtrlC;
                 c.settings = Settings::Saved;
             }),
        With(Make("cancel-keep-partial", Bake({"--size", "512x512", "--spread", "24x10"}), kExitPartial,
                  {"Murkwell: Save Partial Bitmap? yes (no answer; use --save-partial to choose)"}),
             [](Case& c) {
                 c.condition = Condition::CtrlC;
                 c.output = Output::Partial;
                 c.settings = Settings::Saved;
             }),
    };
    return cases;
}

// The file at `path` as it stands: its bytes, or what else is there.
std::string Snapshot(const fs::path& path) {
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    if (st.type() == fs::file_type::not_found) return "(absent)";
    if (fs::is_directory(st)) return "(directory)";
    if (fs::is_symlink(st)) return "(link to " + fs::read_symlink(path, ec).string() + ")";
    return ReadWholeFile(path);
}

// Whether `text` holds the whole line `message`; a message that ends in "<reason>" (the system's
// own words) needs only to start a line.
bool HasLine(const std::string& text, const std::string& message) {
    const std::string reason = "<reason>";
    const bool prefix = message.size() >= reason.size() &&
                        message.compare(message.size() - reason.size(), reason.size(), reason) == 0;
    const std::string fixed = prefix ? message.substr(0, message.size() - reason.size()) : message;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (prefix ? line.rfind(fixed, 0) == 0 && line.size() > fixed.size() : line == fixed) return true;
    return false;
}

std::vector<std::string> Temporaries(const fs::path& root) {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.find(".murkwell-") != std::string::npos && name.size() > 4 && name.substr(name.size() - 4) == ".tmp")
            found.push_back(it->path().string());
    }
    return found;
}

struct RunOutcome {
    bool ran = false;
    std::string skipped;  // why not, when it did not run
    CliResult result;
};

// Runs the command in a child process, which first calls `prepare` (false: skip, with the reason
// in `why`).
template <class Prepare>
RunOutcome RunInChild(const std::vector<std::string>& args, const CliEnvironment& env, Prepare prepare) {
    int fds[2];
    if (pipe(fds) != 0) return {false, "no pipe", {}};
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        std::string why, report;
        if (!prepare(why)) {
            report = "skip " + why;
        } else {
            const CliResult r = RunMurkwell(args, env);
            report = "code " + std::to_string(r.code) + "\n" + r.err;
        }
        for (size_t done = 0; done < report.size();) {
            const ssize_t n = write(fds[1], report.data() + done, report.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        _exit(0);
    }
    close(fds[1]);
    std::string report;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) report.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    RunOutcome outcome;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        outcome.skipped = "the child process did not finish";
        ADD_FAILURE() << outcome.skipped;
        return outcome;
    }
    if (report.rfind("skip ", 0) == 0) {
        outcome.skipped = report.substr(5);
        return outcome;
    }
    const size_t nl = report.find('\n');
    outcome.ran = report.rfind("code ", 0) == 0 && nl != std::string::npos;
    if (!outcome.ran) {
        outcome.skipped = "no report from the child process";
        ADD_FAILURE() << outcome.skipped;
        return outcome;
    }
    outcome.result.code = std::stoi(report.substr(5, nl - 5));
    outcome.result.err = report.substr(nl + 1);
    return outcome;
}

// The output's folder as a 64 KiB file system, full once the case's files are in it; unmounted
// when done.
class SmallDisk {
public:
    bool Mount(const fs::path& at, std::string& why) {
        fs::create_directories(at);
        if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", at.c_str(), "tmpfs", 0, "size=64k") != 0) {
            why = "cannot mount a small file system here";
            return false;
        }
        at_ = at;
        return true;
    }
    void Fill() const {
        std::FILE* filler = std::fopen((at_ / "filler").c_str(), "wb");
        if (!filler) return;
        const std::string block(4096, 'f');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
        }
        std::fclose(filler);
    }
    ~SmallDisk() {
        if (!at_.empty()) umount(at_.c_str());
    }

private:
    fs::path at_;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.id; }

std::string ParamName(const ::testing::TestParamInfo<Case>& info) {
    std::string name = info.param.id;
    for (char& ch : name)
        if (ch == '-') ch = '_';
    return name;
}

class BadInput : public ::testing::TestWithParam<Case> {};

TEST_P(BadInput, IsRefusedAsTheTableSays) {
    const Case& c = GetParam();
    ScopedTempDir dir;
    Sandbox s;
    s.root = dir.Path();
    s.input = c.inputName.empty() ? fs::path(kExample) : s.root / c.inputName;
    s.output = s.root / c.outputName;
    s.config = s.root / "cfg";
    const std::string hostLibrary = HostLibraryPath();
    s.vars = {{"<input>", s.input.string()},   {"<output>", s.output.string()},
              {"<folder>", s.output.parent_path().string()},
              {"<config>", s.config.string()}, {"<settings>", (s.config / "Murkwell.ini").string()},
              {"<root>", s.root.string()},     {"<line>", std::to_string(c.line)},
              {"<host-library>", hostLibrary}};
    if (c.environment.count(kPluginVariable)) {
        if (hostLibrary.empty()) GTEST_SKIP() << "the host library's file is unknown";
        s.vars["<plugin>"] = s.Fill(c.environment.at(kPluginVariable));
    }

    SmallDisk disk;
    std::string why;
    if (c.condition == Condition::SmallDisk && !disk.Mount(s.output.parent_path(), why)) GTEST_SKIP() << why;
    if (c.inputText) WriteWholeFile(s.input, *c.inputText);
    if (c.output != Output::Absent && c.output != Output::ThroughLink) {
        fs::create_directories(s.output.parent_path());
        WriteWholeFile(s.output, kOldOutput);
    }
    if (c.settingsText) {
        fs::create_directories(s.config);
        WriteWholeFile(s.config / "Murkwell.ini", *c.settingsText);
    }
    if (c.setup) c.setup(s);
    if (c.condition == Condition::SmallDisk) disk.Fill();
    const std::string settingsBefore = Snapshot(s.config / "Murkwell.ini");
    const std::string outputBefore = Snapshot(s.output);

    std::vector<std::string> args;
    for (const auto& a : c.args) args.push_back(s.Fill(a));
    std::map<std::string, std::string> environment;
    for (const auto& [name, value] : c.environment) environment[name] = s.Fill(value);
    CliEnvironment env;
    env.getenv = [&environment](const char* name) -> const char* {
        const auto it = environment.find(name);
        return it == environment.end() ? nullptr : it->second.c_str();
    };
    auto holds = [&](std::string& reason) {
        if (c.holds && !c.holds(s)) {
            reason = "the condition of this row cannot be had here";
            return false;
        }
        return true;
    };

    // A row that runs as another user checks its condition as that user; the others here.
    if (c.condition != Condition::NotRoot) {
        std::string reason;
        if (!holds(reason)) GTEST_SKIP() << reason;
    }
    RunOutcome run;
    switch (c.condition) {
        case Condition::None:
        case Condition::SmallDisk:
            run.ran = true;
            run.result = RunMurkwell(args, env);
            break;
        case Condition::CtrlC:
            ResetInterrupts();
            env.catchInterrupts = true;
            env.progressObserver = [](int) {
                if (InterruptCount() == 0) std::raise(SIGINT);
            };
            run.ran = true;
            run.result = RunMurkwell(args, env);
            ResetInterrupts();
            break;
        case Condition::FileSizeLimit:
            run = RunInChild(args, env, [](std::string& reason) {
                std::signal(SIGXFSZ, SIG_IGN);  // a failed write instead of a killed process
                const rlimit limit{16384, 16384};
                if (setrlimit(RLIMIT_FSIZE, &limit) == 0) return true;
                reason = "cannot set a file size limit";
                return false;
            });
            break;
        case Condition::NotRoot:
            if (geteuid() != 0) {
                run.ran = holds(run.skipped);
                if (run.ran) run.result = RunMurkwell(args, env);
                break;
            }
            // Root reads and writes whatever it likes: the command runs as "nobody", who may write
            // the test's folder but nothing the case made read-only.
            fs::permissions(s.root, fs::perms::all);
            run = RunInChild(args, env, [&](std::string& reason) {
                const uid_t nobody = 65534;
                if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) {
                    reason = "cannot run as another user";
                    return false;
                }
                return holds(reason);
            });
            break;
    }
    if (!run.ran) GTEST_SKIP() << run.skipped;

    const CliResult& r = run.result;
    std::error_code ec;
    EXPECT_EQ(r.code, c.exit) << r.err;
    for (const auto& m : c.messages) EXPECT_TRUE(HasLine(r.err, s.Fill(m))) << "expected: " << s.Fill(m) << "\ngot: " << r.err;
    if (c.messages.empty()) {
        EXPECT_EQ(r.err, "");
    }
    if (c.exit != kExitDone && c.exit != kExitPartial) {
        EXPECT_EQ(r.out, "");
    }

    switch (c.output) {
        case Output::Absent:
            EXPECT_FALSE(fs::is_regular_file(s.output, ec));
            EXPECT_EQ(Snapshot(s.output), outputBefore);
            break;
        case Output::Kept:
            EXPECT_EQ(Snapshot(s.output), kOldOutput);
            break;
        case Output::Written:
        case Output::Partial: {
            const ImageReadBack image = ReadImageBack(s.output.string());
            EXPECT_TRUE(image.error.empty()) << image.error;
            EXPECT_EQ(image.width, c.output == Output::Partial ? 512 : 64);
            break;
        }
        case Output::ThroughLink: {
            EXPECT_TRUE(fs::is_symlink(s.output));
            EXPECT_EQ(Snapshot(s.output), outputBefore);  // the same link
            EXPECT_EQ(ReadPngBack((s.root / "maps" / "real.png").string()).width, 64);
            break;
        }
    }
    const std::string settingsAfter = Snapshot(s.config / "Murkwell.ini");
    if (c.settings == Settings::Kept) {
        EXPECT_EQ(settingsAfter, settingsBefore);
    } else {
        EXPECT_NE(settingsAfter, settingsBefore);
        EXPECT_NE(settingsAfter.find("; the user's own line\n"), std::string::npos) << settingsAfter;
        EXPECT_NE(settingsAfter.find("addVertexColors=0"), std::string::npos) << settingsAfter;
    }
    EXPECT_EQ(Temporaries(s.root), std::vector<std::string>{});

    if (c.alsoInfo) {
        const CliResult info = RunMurkwell({"info", s.input.string()}, env);
        EXPECT_EQ(info.code, c.exit) << info.err;
        for (const auto& m : c.messages) EXPECT_TRUE(HasLine(info.err, s.Fill(m))) << info.err;
        EXPECT_EQ(info.out, "");
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, BadInput, ::testing::ValuesIn(AllCases()), ParamName);

// `panel` and `about` load the settings file as a bake does, and refuse one they cannot read.
TEST(BadInputPanel, PanelAndAboutRefuseASettingsFileTheyCannotRead) {
    ScopedTempDir dir;
    fs::create_directories(dir.Path() / "cfg" / "Murkwell.ini");
    for (const char* command : {"panel", "about"}) {
        const CliResult r = RunMurkwell({command, "--config-dir", dir.File("cfg")});
        EXPECT_EQ(r.code, kExitFailed) << command;
        EXPECT_EQ(r.err, "Murkwell: cannot read the settings file " + dir.File("cfg") + "/Murkwell.ini: it is a directory\n")
            << command;
        EXPECT_EQ(r.out, "") << command;
        EXPECT_TRUE(fs::is_directory(dir.Path() / "cfg" / "Murkwell.ini"));
    }
}

// The README's "Bad input" table, row by row: id, input, message, exit code, files.
struct TableRow {
    std::string id, input, message, exit, files;
};

std::vector<std::string> Cells(const std::string& line) {
    std::vector<std::string> cells;
    std::string cell;
    std::istringstream in(line.substr(1));
    while (std::getline(in, cell, '|')) {
        const size_t b = cell.find_first_not_of(' ');
        const size_t e = cell.find_last_not_of(' ');
        cells.push_back(b == std::string::npos ? "" : cell.substr(b, e - b + 1));
    }
    return cells;
}

std::vector<TableRow> ReadmeTable() {
    std::istringstream readme(ReadWholeFile(fs::path(MURKWELL_SOURCE_DIR) / "README.md"));
    std::vector<TableRow> rows;
    bool inSection = false, header = true;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("#", 0) == 0) {
            if (inSection) break;
            inSection = line == "### Bad input";
            continue;
        }
        if (!inSection || line.rfind("|", 0) != 0) continue;
        if (header || line.rfind("|---", 0) == 0) {
            header = false;
            continue;
        }
        const std::vector<std::string> cells = Cells(line);
        if (cells.size() < 5) {
            ADD_FAILURE() << "a row of the bad input table with fewer than five cells: " << line;
            continue;
        }
        std::string id = cells[0];
        if (id.size() > 2 && id.front() == '`' && id.back() == '`') id = id.substr(1, id.size() - 2);
        rows.push_back({id, cells[1], cells[2], cells[3], cells[4]});
    }
    return rows;
}

TEST(BadInputTable, TheReadmeRowsAndTheCasesAgree) {
    const std::vector<TableRow> rows = ReadmeTable();
    ASSERT_FALSE(rows.empty()) << "README.md has no \"### Bad input\" table";
    std::map<std::string, TableRow> byId;
    for (const auto& row : rows) EXPECT_TRUE(byId.emplace(row.id, row).second) << "row id twice: " << row.id;

    std::set<std::string> caseIds;
    for (const Case& c : AllCases()) {
        EXPECT_TRUE(caseIds.insert(c.id).second) << "case id twice: " << c.id;
        const auto it = byId.find(c.id);
        if (it == byId.end()) {
            ADD_FAILURE() << "no README row for the case " << c.id;
            continue;
        }
        const TableRow& row = it->second;
        EXPECT_EQ(row.exit, std::to_string(c.exit)) << c.id;
        for (const auto& m : c.messages) EXPECT_NE(row.message.find(m), std::string::npos) << c.id << ": " << m;
        if (c.messages.empty()) {
            EXPECT_EQ(row.message, "(none)") << c.id;
        }
        // Exactly the phrases of the case's outcome, and no other.
        for (const auto& [state, phrase] : kOutputPhrase)
            EXPECT_EQ(row.files.find(phrase) != std::string::npos, state == c.output) << c.id << ": " << phrase;
        for (const auto& [state, phrase] : kSettingsPhrase)
            EXPECT_EQ(row.files.find(phrase) != std::string::npos, state == c.settings) << c.id << ": " << phrase;
    }
    for (const auto& row : rows) EXPECT_TRUE(caseIds.count(row.id)) << "no case for the README row " << row.id;
}

}  // namespace
