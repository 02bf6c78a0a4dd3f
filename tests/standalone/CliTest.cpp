// The murkwell command line: usage, refusals before any work, and what a refusal leaves behind
// (nothing new, an existing output untouched).
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/common/TempDir.h"
#include "tests/common/TestPaths.h"
#include "tests/standalone/CliRunner.h"

namespace fs = std::filesystem;

namespace {

const std::string kExample = std::string(MURKWELL_SOURCE_DIR) + "/examples/grooved_block.obj";

// A folder with an existing output file and a configuration directory, to check that a refused
// bake changes nothing.
class CliRefusal : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir.Path() / "cfg");
        WriteWholeFile(dir.Path() / "out.png", "previous output");
        WriteWholeFile(dir.Path() / "out.ply", "previous mesh");
        WriteWholeFile(dir.Path() / "two.obj",
                       "v 0 0 0\nv 1 0 0\nv 0 1 0\no alpha\nf 1 2 3\no beta\nf 3 2 1\n");
    }
    // Runs `bake` with the given arguments plus the configuration directory.
    CliResult Bake(std::vector<std::string> args) {
        args.insert(args.begin(), "bake");
        args.push_back("--config-dir");
        args.push_back(dir.File("cfg"));
        return RunMurkwell(args);
    }
    void ExpectNothingChanged() {
        EXPECT_EQ(ReadWholeFile(dir.Path() / "out.png"), "previous output");
        EXPECT_EQ(ReadWholeFile(dir.Path() / "out.ply"), "previous mesh");
        size_t files = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.Path())) ++files;
        EXPECT_EQ(files, 4u);  // cfg, out.png, out.ply, two.obj
    }
    ScopedTempDir dir;
};

}  // namespace

TEST(Cli, HelpVersionAndUsageErrors) {
    CliResult r = RunMurkwell({"--help"});
    EXPECT_EQ(r.code, kExitDone);
    EXPECT_NE(r.out.find("bake"), std::string::npos);
    r = RunMurkwell({"bake", "--help"});
    EXPECT_EQ(r.code, kExitDone);
    for (const char* option : {"--mode", "--size", "--spread", "--select-group", "--save-partial", "--config-dir"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    r = RunMurkwell({"--version"});
    EXPECT_EQ(r.code, kExitDone);
    EXPECT_NE(r.out.find("murkwell 0.26"), std::string::npos);

    EXPECT_EQ(RunMurkwell({}).code, kExitUsage);
    EXPECT_EQ(RunMurkwell({"paint", "x.obj"}).code, kExitUsage);
    EXPECT_EQ(RunMurkwell({"bake", "x.obj"}).code, kExitUsage);  // no -o
    EXPECT_EQ(RunMurkwell({"bake", "x.obj", "-o", "y.png", "--frobnicate"}).code, kExitUsage);
    r = RunMurkwell({"bake", "x.obj", "-o", "y.png", "--accumulate", "--replace"});
    EXPECT_EQ(r.code, kExitUsage);
    r = RunMurkwell({"bake", "x.obj", "-o", "y.png", "--size", "big"});
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_NE(r.err.find("WIDTHxHEIGHT"), std::string::npos);
    r = RunMurkwell({"bake", "x.obj", "-o", "y.png", "--save-partial", "maybe"});
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_NE(r.err.find("yes or no"), std::string::npos);
}

TEST_F(CliRefusal, OutOfRangeOptionsNameTheirRange) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--size", "30x200"}, "50 ... 4096"},  {{"--size", "200x5000"}, "50 ... 4096"},
        {{"--dist", "0.5"}, "1 ... 100000"},    {{"--spread", "25x1"}, "0 ... 24"},
        {{"--spread", "8x11"}, "0 ... 10"},     {{"--channel", "100"}, "1 ... 99"},
        {{"--mtl-id", "0"}, "1 ... 100"},       {{"--noise", "-1"}, "0 ... 100000"},
    };
    for (const auto& [extra, range] : cases) {
        std::vector<std::string> args = {kExample, "-o", dir.File("out.png")};
        args.insert(args.end(), extra.begin(), extra.end());
        const CliResult r = Bake(args);
        EXPECT_EQ(r.code, kExitUsage) << extra[0];
        EXPECT_NE(r.err.find(range), std::string::npos) << r.err;
    }
    // Nothing ran, so not even the settings were saved.
    EXPECT_FALSE(fs::exists(dir.Path() / "cfg" / "Murkwell.ini"));
    ExpectNothingChanged();
}

TEST_F(CliRefusal, BadInputFilesAreRefused) {
    CliResult r = Bake({dir.File("missing.obj"), "-o", dir.File("out.png"), "--mode", "uv"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("no such file"), std::string::npos) << r.err;

    WriteWholeFile(dir.Path() / "bad.obj", "v 0 0 0\nv 1 0 0\nf 1 2 7\n");
    r = Bake({dir.File("bad.obj"), "-o", dir.File("out.png"), "--mode", "uv"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("line 3"), std::string::npos) << r.err;
    fs::remove(dir.Path() / "bad.obj");
    ExpectNothingChanged();
}

TEST_F(CliRefusal, UnusableOutputsAreRefusedBeforeAnyWork) {
    CliResult r = Bake({kExample, "-o", dir.File("nofolder/out.png"), "--mode", "uv"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("does not exist"), std::string::npos) << r.err;
    if (fs::is_directory("/proc")) {  // a folder where nobody may create files
        r = Bake({kExample, "-o", "/proc/murkwell-out.png", "--mode", "uv"});
        EXPECT_EQ(r.code, kExitFailed);
        EXPECT_NE(r.err.find("cannot write to the folder /proc"), std::string::npos) << r.err;
    }
    r = Bake({kExample, "-o", dir.File("out.xyz"), "--mode", "uv"});
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_NE(r.err.find(".xyz"), std::string::npos) << r.err;
    r = Bake({kExample, "-o", dir.File("out.png"), "--mode", "vertex"});
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_NE(r.err.find(".ply, .obj or .glb"), std::string::npos) << r.err;
    r = Bake({kExample, "-o", dir.File("out.ply"), "--mode", "uv"});
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_NE(r.err.find("image"), std::string::npos) << r.err;
    ExpectNothingChanged();
}

TEST_F(CliRefusal, SeveralObjectsNeedAChoice) {
    CliResult r = Bake({dir.File("two.obj"), "-o", dir.File("out.png"), "--mode", "uv", "--size", "50x50"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("Murkwell: Select exactly one node\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\"alpha\", \"beta\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--object"), std::string::npos) << r.err;

    r = Bake({dir.File("two.obj"), "-o", dir.File("out.png"), "--mode", "uv", "--object", "gamma"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("no object \"gamma\""), std::string::npos) << r.err;

    r = Bake({dir.File("two.obj"), "-o", dir.File("out.png"), "--mode", "uv", "--select-group", "g"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("--select-group needs one object"), std::string::npos) << r.err;

    r = Bake({kExample, "-o", dir.File("out.png"), "--mode", "uv", "--select-group", "roof"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("has no group \"roof\" (its groups: top, walls)"), std::string::npos) << r.err;
    ExpectNothingChanged();
}

TEST_F(CliRefusal, AnObjectWithoutFacesCannotBeBaked) {
    WriteWholeFile(dir.Path() / "two.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\no alpha\nf 1 2 3\no hollow\n");
    const CliResult r = Bake({dir.File("two.obj"), "-o", dir.File("out.ply"), "--mode", "vertex", "--object", "hollow"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("Murkwell: Could not get TriObject"), std::string::npos) << r.err;
    ExpectNothingChanged();
}

TEST_F(CliRefusal, SpatialAnswersNotImplementedAfterSavingTheSettings) {
    const CliResult r = Bake({kExample, "-o", dir.File("out.png"), "--mode", "spatial", "--dist", "12.5"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_EQ(r.err, "Murkwell: This Grit type is not implemented yet\n");
    const std::string ini = ReadWholeFile(dir.Path() / "cfg" / "Murkwell.ini");
    EXPECT_NE(ini.find("algorithm=1010"), std::string::npos) << ini;
    EXPECT_NE(ini.find("dist=12.500000"), std::string::npos) << ini;
    ExpectNothingChanged();
}

TEST_F(CliRefusal, OutOfRangeSettingsFileValuesAreRefusedUnlessOverridden) {
    WriteWholeFile(dir.Path() / "cfg" / "Murkwell.ini", "[Murkwell]\nXSiz=0\nalgorithm=1009\n");
    CliResult r = Bake({kExample, "-o", dir.File("out.png")});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("XSiz 0 is outside the range 50 ... 4096"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Murkwell.ini"), std::string::npos) << r.err;
    // Overridden, the mode still comes from the file: vertex does not write images.
    r = Bake({kExample, "-o", dir.File("out.png"), "--size", "64x64"});
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_NE(r.err.find("comes from the settings file"), std::string::npos) << r.err;
    ExpectNothingChanged();
}

TEST_F(CliRefusal, FilesThatCannotBeReadHonestlyAreRefusedNamingTheLineAndToken) {
    const std::string head = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {head + "f 1/1 2/2 4294967299/3\n", "line 7: face corner \"4294967299/3\": the index 4294967299 is outside"},
        {head + "f 1/1 2/2 99999999999999999999/3\n", "line 7: face corner \"99999999999999999999/3\""},
        {head + "f 1 2 3abc\n", "line 7: malformed face corner \"3abc\""},
        {"v 1x 2 3\n" + head + "f 1 2 3\n", "line 1: vertex coordinate \"1x\" is not a number"},
        {head + "v nan 0 0\nf 1 2 3\n", "line 7: vertex coordinate \"nan\" is not a finite number"},
        {head + "v 1e39 0 0\nf 1 2 3\n", "line 7: vertex coordinate \"1e39\" is too large for a float"},
        {"", "holds no faces"},
        {std::string("\xFF\xFEv\0 \0", 6), "not a text OBJ file (it starts with a UTF-16 byte-order mark"},
    };
    for (const auto& [text, message] : cases) {
        WriteWholeFile(dir.Path() / "bad.obj", text);
        for (const char* command : {"bake", "info"}) {
            const CliResult r = std::string(command) == "bake"
                                    ? Bake({dir.File("bad.obj"), "-o", dir.File("out.png"), "--mode", "uv"})
                                    : RunMurkwell({"info", dir.File("bad.obj")});
            EXPECT_EQ(r.code, kExitFailed) << command << ": " << message;
            EXPECT_NE(r.err.find("Murkwell: " + dir.File("bad.obj") + ": " + message), std::string::npos) << r.err;
            EXPECT_TRUE(r.out.empty()) << r.out;
        }
    }
    fs::remove(dir.Path() / "bad.obj");
    CliResult r = Bake({dir.File("two.xyz"), "-o", dir.File("out.png"), "--mode", "uv"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("unknown mesh format \".xyz\""), std::string::npos) << r.err;
    ExpectNothingChanged();
}

TEST_F(CliRefusal, ImportOptionsAreCheckedAndASmallDistanceIsShownItsScale) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> usage = {
        {{"--scale", "0"}, "--scale 0: expected a number above 0"},
        {{"--scale", "-2"}, "--scale -2: expected a number above 0"},
        {{"--scale", "inf"}, "--scale inf: expected a number above 0"},
        {{"--scale", "2x"}, "--scale 2x: expected a number above 0"},
        {{"--smoothing", "smooth"}, "expected auto, groups, normals, angle:DEGREES or none"},
        {{"--smoothing", "angle:200"}, "the angle must lie within 0 ... 180 degrees"},
        {{"--smoothing", "angle:"}, "expected angle:DEGREES"},
        {{"--dist", "0.03"}, "--dist 0.03 is outside the range 1 ... 100000; for a mesh this small, scale it on "
                             "import: use --scale 128 --dist 3.84"},
        {{"--dist", "0.03", "--scale", "0.5"}, "use --scale 64 --dist 3.84"},
        {{"--dist", "300000"}, "for a mesh this large, scale it on import: use --scale 0.125 --dist 37500"},
    };
    for (const auto& [extra, message] : usage) {
        std::vector<std::string> args = {kExample, "-o", dir.File("out.png"), "--mode", "uv"};
        args.insert(args.end(), extra.begin(), extra.end());
        const CliResult r = Bake(args);
        EXPECT_EQ(r.code, kExitUsage) << extra[0] << " " << extra[1];
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    const CliResult info = RunMurkwell({"info", kExample, "--smoothing", "sharp"});
    EXPECT_EQ(info.code, kExitUsage);
    EXPECT_NE(info.err.find("--smoothing sharp"), std::string::npos) << info.err;
    // A scale taking a coordinate beyond the float range: bad input, refused before any work.
    const CliResult r = Bake({kExample, "-o", dir.File("out.png"), "--mode", "uv", "--scale", "1e38"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("beyond the float range"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.Path() / "cfg" / "Murkwell.ini"));
    ExpectNothingChanged();
}

TEST(CliInfo, SaysWhereTheSmoothingComesFromAndHowBigEachObjectIs) {
    ScopedTempDir dir;
    // One object with groups, one with normals only, one with neither.
    WriteWholeFile(dir.Path() / "three.obj",
                   "v 0 0 0\nv 0.3 0 0\nv 0 0.2 0\nv 0.3 0.2 0.1\nvn 0 0 1\nvn 0 0.6 0.8\n"
                   "o grouped\ns 2\nf 1 2 3\n"
                   "o normal\ns off\nf 1//1 2//1 3//1\nf 2//2 4//2 3//2\n"
                   "o bare\nf 1 2 3\n");
    CliResult r = RunMurkwell({"info", dir.File("three.obj")});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_NE(r.out.find("object \"grouped\": 1 faces, 3 vertices\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  smoothing: groups, from the file (auto: the faces carry smoothing groups)\n"
                         "  smoothing groups: 1 in use, on 1 of 1 faces\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  smoothing: normals, where the faces' normals agree (auto: no smoothing groups, the faces "
                         "carry normals)\n  smoothing groups: 2 patches, 2 bits in use\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  smoothing: none (auto: no smoothing groups and no normals; --smoothing angle:30"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  bounding box: x 0 ... 0.3, y 0 ... 0.2, z 0 ... 0 (diagonal 0.360555)\n"
                         "  suggested --dist 0.036 (a tenth of the diagonal), outside the range 1 ... 100000: use "
                         "--scale 64 --dist 2.304\n"),
              std::string::npos)
        << r.out;

    // The given choice and scale: sizes in scaled units.
    r = RunMurkwell({"info", dir.File("three.obj"), "--smoothing", "angle:30", "--scale", "64"});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_NE(r.out.find("positions scaled by 64 (sizes below are in scaled units)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  smoothing: angle, edges up to the given angle\n  smoothing groups: 1 patch, 1 bit in use\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("(diagonal 23.0755)\n  suggested --dist 2.3 (a tenth of the diagonal)\n"), std::string::npos)
        << r.out;
}

TEST(CliInfo, DescribesObjectsAsImported) {
    MURKWELL_REQUIRE_SHARED_MESH(path, "cornell_box.obj");
    CliResult r = RunMurkwell({"info", path});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_NE(r.out.find("9 objects, 76 vertices"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("object \"short_block\": 10 faces (from 5 polygons), 20 vertices"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("object \"front_wall\": 0 faces, 0 vertices\n  no faces"), std::string::npos) << r.out;

    r = RunMurkwell({"info", kExample});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_NE(r.out.find("material IDs: 0 \"stone\" (192 faces), 1 \"trim\" (160 faces)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("smoothing groups: 2 in use"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("UV range: u 0.02 ... 0.98"), std::string::npos) << r.out;

    r = RunMurkwell({"info", "/nonexistent/x.obj"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_TRUE(r.out.empty());
}
