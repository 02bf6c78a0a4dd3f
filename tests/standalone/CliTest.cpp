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
    EXPECT_NE(r.err.find(".ply or .obj"), std::string::npos) << r.err;
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
