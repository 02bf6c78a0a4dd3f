// The command line through the plug-in's shared library: the library is found and checked, a
// bake is a user at the utility's panel (controls set by clicks and typing, "Generate", closing
// saves the settings), and `panel` and `about` show the page and the About box.
#include <gtest/gtest.h>

#include <filesystem>

#include "hostapp/PluginLibrary.h"
#include "plugin/GritUtility.h"
#include "tests/common/TempDir.h"
#include "tests/standalone/CliRunner.h"

namespace fs = std::filesystem;

namespace {

const std::string kExample = std::string(MURKWELL_SOURCE_DIR) + "/examples/grooved_block.obj";

// The page on a fresh configuration directory: the defaults, "UV Map" chosen, so only
// "Accumulate vertex colors" is disabled.
constexpr const char* kDefaultPanel =
    "Parameters\n"
    "  Algorithm\n"
    "    (*) UV Map\n"
    "    ( ) Vertex Colors\n"
    "    ( ) Spatial\n"
    "  Map Size\n"
    "    [200] x [200]\n"
    "  Distance : [30.0]\n"
    "  Ray Spread\n"
    "    Vertical [1]\n"
    "    Horizontal : [8]\n"
    "  Map Channel [1]\n"
    "  [ ] Selected Faces Only\n"
    "  Noise\n"
    "    [ ] On\n"
    "    Size [25.0]\n"
    "  Filter by Material ID\n"
    "    [ ] On\n"
    "    ID [1]\n"
    "  <Generate>\n"
    "  <About...>\n"
    "  Murkwell BETA V0.26b\n"
    "  [ ] Accumulate vertex colors (disabled)\n";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class PanelCli : public ::testing::Test {
protected:
    std::string Cfg() const { return dir.File("cfg"); }
    std::string Ini() const { return ReadWholeFile(dir.Path() / "cfg" / "Murkwell.ini"); }
    void WriteIni(const std::string& text) const {
        fs::create_directories(dir.Path() / "cfg");
        WriteWholeFile(dir.Path() / "cfg" / "Murkwell.ini", text);
    }
    CliResult Bake(std::vector<std::string> extra) {
        std::vector<std::string> args = {"bake", kExample, "--config-dir", Cfg(), "-q"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunMurkwell(args);
    }
    ScopedTempDir dir;
};

TEST_F(PanelCli, BakeRunsInsideTheLoadedLibraryAndItsPanelSavesTheSettingsOnClosing) {
    const CliResult r = Bake({"-o", dir.File("map.png"), "--mode", "uv", "--size", "64x52", "--spread", "5x2",
                              "--dist", "2.5", "--noise", "0.75", "--mtl-id", "2"});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_GT(fs::file_size(dir.File("map.png")), 500u);

    // The library's own utility ran: it holds the typed values and its panel is closed again.
    GritUtility& plugin = PluginUtility();
    EXPECT_NE(&plugin, &TheGritUtility());
    EXPECT_EQ(plugin.settings.XSiz, 64);
    EXPECT_EQ(plugin.settings.YSiz, 52);
    EXPECT_EQ(plugin.settings.horizontalSpread, 5);
    EXPECT_EQ(plugin.settings.verticalSpread, 2);
    EXPECT_EQ(plugin.settings.dist, 2.5f);
    EXPECT_EQ(plugin.settings.noiseSize, 0.75f);
    EXPECT_EQ(plugin.panelWindow, nullptr);
    EXPECT_EQ(plugin.coreInterface, nullptr);
    EXPECT_EQ(plugin.gritValues.ColumnCount(), 64u);

    const std::string ini = Ini();
    for (const char* line : {"algorithm=1008", "XSiz=64", "YSiz=52", "horizontalSpread=5", "verticalSpread=2",
                             "dist=2.500000", "noiseOn=1", "noiseSize=0.750000", "mtlID=2", "mtlIDOn=1",
                             "selectedOnly=0", "addVertexColors=0"})
        EXPECT_TRUE(Has(ini, std::string(line) + "\n")) << line << "\n" << ini;
}

TEST_F(PanelCli, ControlsTheShownAlgorithmDisablesAreStillSetAndOptionsNotGivenKeepTheFileValues) {
    // Vertex Colors disables map size, noise and the material filter; the options still reach them.
    WriteIni("[Murkwell]\nalgorithm=1009\ndist=3.5\nselectedOnly=1\naddVertexColors=1\nmapChannel=4\n");
    CliResult r = Bake({"-o", dir.File("out.ply"), "--size", "80x90", "--noise", "5", "--mtl-id", "3", "--replace"});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_TRUE(fs::exists(dir.File("out.ply")));
    std::string ini = Ini();
    for (const char* line : {"algorithm=1009", "XSiz=80", "YSiz=90", "noiseOn=1", "noiseSize=5.000000", "mtlIDOn=1",
                             "mtlID=3", "addVertexColors=0", "dist=3.500000", "selectedOnly=1", "mapChannel=4"})
        EXPECT_TRUE(Has(ini, std::string(line) + "\n")) << line << "\n" << ini;

    // And the other way: Accumulate is set while UV Map is chosen, which disables it.
    r = Bake({"-o", dir.File("map.png"), "--mode", "uv", "--accumulate", "--no-selected-only", "--size", "50x50",
              "--spread", "2x1"});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    ini = Ini();
    for (const char* line : {"algorithm=1008", "addVertexColors=1", "selectedOnly=0", "noiseOn=1", "mtlID=3"})
        EXPECT_TRUE(Has(ini, std::string(line) + "\n")) << line << "\n" << ini;
}

TEST_F(PanelCli, SpatialIsAnsweredByThePanelAndOutOfRangeValuesAreRefusedBeforeItOpens) {
    CliResult r = Bake({"-o", dir.File("map.png"), "--size", "10x60"});
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_TRUE(Has(r.err, "--size")) << r.err;
    EXPECT_FALSE(fs::exists(dir.Path() / "cfg" / "Murkwell.ini"));  // no panel opened, nothing saved

    r = Bake({"-o", dir.File("map.png"), "--mode", "spatial", "--dist", "7"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_TRUE(Has(r.err, "This Grit type is not implemented yet")) << r.err;
    EXPECT_FALSE(fs::exists(dir.File("map.png")));
    // "Generate" read and saved the controls before answering.
    EXPECT_TRUE(Has(Ini(), "algorithm=1010\n")) << Ini();
    EXPECT_TRUE(Has(Ini(), "dist=7.000000\n")) << Ini();
}

TEST_F(PanelCli, PanelShowsTheDefaultsOnAFreshConfigurationAndTheFileOtherwise) {
    CliResult r = RunMurkwell({"panel", "--config-dir", Cfg()});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_EQ(r.out, kDefaultPanel);

    WriteIni("[Murkwell]\nalgorithm=1009\nXSiz=512\nnoiseOn=1\nnoiseSize=12.5abc\nmtlID=250\n");
    r = RunMurkwell({"panel", "--config-dir", Cfg()});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_TRUE(Has(r.out, "    ( ) UV Map\n    (*) Vertex Colors\n    ( ) Spatial\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "    [512] x [200] (disabled)\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "    [x] On (disabled)\n    Size [12.5] (disabled)\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "    ID [100] (disabled)\n")) << r.out;  // the spinner's limit
    EXPECT_TRUE(Has(r.out, "  Distance : [30.0]\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "  [ ] Accumulate vertex colors\n")) << r.out;
}

TEST_F(PanelCli, UnknownAlgorithmInTheFileShowsUvMapAndTheClosingPanelWritesThatBack) {
    WriteIni("[Murkwell]\nalgorithm=1011\n");
    const CliResult r = RunMurkwell({"panel", "--config-dir", Cfg()});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_TRUE(Has(r.out, "    (*) UV Map\n    ( ) Vertex Colors\n    ( ) Spatial\n")) << r.out;
    EXPECT_TRUE(Has(Ini(), "algorithm=1008\n")) << Ini();
}

TEST_F(PanelCli, AboutShowsTheAboutBoxTextsAndClosesIt) {
    const CliResult r = RunMurkwell({"about", "--config-dir", Cfg()});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_EQ(r.out,
              "About Murkwell\n"
              "  Murkwell V0.26b [BETA]\n"
              "  Written by the Murkwell team at Velmora Software.\n"
              "  More plug-ins are on the Velmora Software web site.\n");
    EXPECT_EQ(PluginUtility().panelWindow, nullptr);
}

TEST_F(PanelCli, MissingOrBrokenLibraryIsAClearErrorNamingTheFileAndNothingIsTouched) {
    const std::string missing = dir.File("nowhere/murkwell-plugin.so");
    CliEnvironment env;
    env.pluginPath = missing;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"bake", kExample, "-o", dir.File("map.png"), "--config-dir", Cfg()},
          std::vector<std::string>{"panel", "--config-dir", Cfg()}, std::vector<std::string>{"about"}}) {
        SCOPED_TRACE(args.front());
        const CliResult r = RunMurkwell(args, env);
        EXPECT_EQ(r.code, kExitFailed);
        EXPECT_TRUE(Has(r.err, missing)) << r.err;
        EXPECT_TRUE(Has(r.err, "missing")) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(fs::exists(dir.File("map.png")));
    EXPECT_FALSE(fs::exists(dir.Path() / "cfg"));

    // A file that is no shared library, named by the environment variable over the default.
    WriteWholeFile(dir.Path() / "fake.so", "not a library\n");
    const std::string fake = dir.File("fake.so");
    env.pluginPath.clear();
    env.getenv = [&](const char* name) -> const char* { return std::string(name) == kPluginVariable ? fake.c_str() : nullptr; };
    const CliResult r = RunMurkwell({"panel", "--config-dir", Cfg()}, env);
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_TRUE(Has(r.err, fake + " cannot be loaded")) << r.err;
}

TEST(PluginLibraryLoad, ChecksTheExportsTheVersionAndTheUtilityClass) {
    PluginLibrary library;
    std::string error;
    ASSERT_TRUE(LoadPluginLibrary(MURKWELL_PLUGIN_MODULE, library, error)) << error;
    EXPECT_EQ(library.description, "Murkwell");
    ASSERT_NE(library.descriptor, nullptr);
    EXPECT_EQ(library.descriptor->SuperClassID(), UTILITY_CLASS_ID);
    EXPECT_EQ(library.utility, library.descriptor->Create(TRUE));
    // Loading again finds the same library and the same single utility.
    PluginLibrary again;
    ASSERT_TRUE(LoadPluginLibrary(MURKWELL_PLUGIN_MODULE, again, error)) << error;
    EXPECT_EQ(again.utility, library.utility);

    // A shared library without the four functions: the host layer the plug-in links.
    const std::string host = (fs::path(MURKWELL_PLUGIN_MODULE).parent_path().parent_path() / "libmurkwell-host.so").string();
    ASSERT_TRUE(fs::exists(host)) << host;
    EXPECT_FALSE(LoadPluginLibrary(host, again, error));
    EXPECT_TRUE(Has(error, host + " is not a plug-in")) << error;
}

}  // namespace
