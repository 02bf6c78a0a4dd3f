// The settings file: its path, defaults, the exact text a save writes, how values read back, and
// that a save keeps everything else in the file and never damages it.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <string>

#include "host/Profile.h"
#include "settings/GritSettings.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestHost.h"

namespace fs = std::filesystem;

namespace {

// A record with no field at its default, so a load that skips a key shows.
GritSettings Unusual() {
    GritSettings s;
    s.XSiz = 1;
    s.YSiz = 2;
    s.algorithm = 3;
    s.horizontalSpread = 4;
    s.verticalSpread = 5;
    s.mapChannel = 6;
    s.dist = 7.0f;
    s.selectedOnly = 8;
    s.noiseOn = 9;
    s.noiseSize = 10.0f;
    s.mtlIDOn = 11;
    s.mtlID = 12;
    s.addVertexColors = 13;
    return s;
}

void ExpectDefaults(const GritSettings& s) {
    EXPECT_EQ(s.XSiz, 200);
    EXPECT_EQ(s.YSiz, 200);
    EXPECT_EQ(s.algorithm, 1008);
    EXPECT_EQ(s.horizontalSpread, 8);
    EXPECT_EQ(s.verticalSpread, 1);
    EXPECT_EQ(s.mapChannel, 1);
    EXPECT_EQ(s.dist, 30.0f);
    EXPECT_EQ(s.selectedOnly, 0);
    EXPECT_EQ(s.noiseOn, 0);
    EXPECT_EQ(s.noiseSize, 25.0f);
    EXPECT_EQ(s.mtlIDOn, 0);
    EXPECT_EQ(s.mtlID, 1);
    EXPECT_EQ(s.addVertexColors, 0);
}

const char* const kDefaultFile =
    "[Murkwell]\n"
    "algorithm=1008\n"
    "XSiz=200\n"
    "YSiz=200\n"
    "horizontalSpread=8\n"
    "verticalSpread=1\n"
    "mapChannel=1\n"
    "dist=30.000000\n"
    "selectedOnly=0\n"
    "noiseOn=0\n"
    "noiseSize=25.000000\n"
    "mtlID=1\n"
    "mtlIDOn=0\n"
    "addVertexColors=0\n";

// A test host whose configuration directory is a fresh temporary one.
struct SettingsFixture : testing::Test {
    ScopedTempDir dir;
    TestHost host;
    std::string ini;
    void SetUp() override {
        host.pluginConfigDir = dir.Path().string();
        ini = dir.File("Murkwell.ini");
    }
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.Path())) names.insert(e.path().filename().string());
        return names;
    }
};

struct FailureHookGuard {
    ~FailureHookGuard() { SetProfileWriteFailureHook({}); }
};

}  // namespace

TEST(SettingsPath, ConfigDirectoryThenFileName) {
    {
        TestHost host;
        host.pluginConfigDir = "/some/config dir";
        EXPECT_EQ(SettingsFilePath(), "/some/config dir/Murkwell.ini");
        host.pluginConfigDir = "";
        EXPECT_EQ(SettingsFilePath(), "Murkwell.ini");  // never the file-system root
    }
    // Without a host the file lives in the working directory.
    ASSERT_EQ(GetCOREInterface(), nullptr);
    EXPECT_EQ(SettingsFilePath(), "Murkwell.ini");
}

TEST_F(SettingsFixture, NoFileGivesTheDefaults) {
    GritSettings s = Unusual();
    LoadSettings(s);
    ExpectDefaults(s);
    EXPECT_TRUE(Entries().empty());  // loading creates nothing
}

TEST_F(SettingsFixture, SaveCreatesTheFileWithEveryKeyInOrder) {
    ASSERT_TRUE(SaveSettings(GritSettings{}));
    EXPECT_EQ(ReadWholeFile(ini), kDefaultFile);
    EXPECT_EQ(Entries(), std::set<std::string>{"Murkwell.ini"});
    GritSettings s = Unusual();
    LoadSettings(s);
    ExpectDefaults(s);
}

TEST_F(SettingsFixture, EveryFieldRoundTrips) {
    GritSettings out;
    out.XSiz = 1024;
    out.YSiz = 512;
    out.algorithm = ALGORITHM_VERTEX_COLORS;
    out.horizontalSpread = 24;
    out.verticalSpread = 10;
    out.mapChannel = 99;
    out.dist = 123.456f;
    out.selectedOnly = 1;
    out.noiseOn = 1;
    out.noiseSize = 0.5f;
    out.mtlIDOn = 1;
    out.mtlID = 100;
    out.addVertexColors = 1;
    ASSERT_TRUE(SaveSettings(out));
    EXPECT_NE(ReadWholeFile(ini).find("dist=123.456001\n"), std::string::npos);
    EXPECT_NE(ReadWholeFile(ini).find("noiseSize=0.500000\n"), std::string::npos);
    GritSettings in = Unusual();
    LoadSettings(in);
    EXPECT_EQ(in.XSiz, 1024);
    EXPECT_EQ(in.YSiz, 512);
    EXPECT_EQ(in.algorithm, 1009);
    EXPECT_EQ(in.horizontalSpread, 24);
    EXPECT_EQ(in.verticalSpread, 10);
    EXPECT_EQ(in.mapChannel, 99);
    EXPECT_EQ(in.dist, 123.456f);
    EXPECT_EQ(in.selectedOnly, 1);
    EXPECT_EQ(in.noiseOn, 1);
    EXPECT_EQ(in.noiseSize, 0.5f);
    EXPECT_EQ(in.mtlIDOn, 1);
    EXPECT_EQ(in.mtlID, 100);
    EXPECT_EQ(in.addVertexColors, 1);
}

TEST_F(SettingsFixture, FlagsAndMaterialIdAreDistinctKeys) {
    // mtlIDOn and mtlID are read and written separately, whatever their order.
    GritSettings out;
    out.mtlIDOn = 1;
    out.mtlID = 42;
    ASSERT_TRUE(SaveSettings(out));
    GritSettings in = Unusual();
    LoadSettings(in);
    EXPECT_EQ(in.mtlIDOn, 1);
    EXPECT_EQ(in.mtlID, 42);
}

TEST_F(SettingsFixture, LoadedValuesAreNotCheckedOrClamped) {
    WriteWholeFile(ini,
                   "[Murkwell]\n"
                   "algorithm=1011\n"
                   "XSiz=abc\n"
                   "YSiz=99999\n"
                   "horizontalSpread=-3\n"
                   "dist=12.5abc\n"
                   "noiseSize=abc\n"
                   "mtlID=0\n");
    GritSettings s = Unusual();
    LoadSettings(s);
    EXPECT_EQ(s.algorithm, 1011);
    EXPECT_EQ(s.XSiz, 0);  // present without digits: 0, not the default 200
    EXPECT_EQ(s.YSiz, 99999);
    EXPECT_EQ(s.horizontalSpread, -3);
    EXPECT_EQ(s.dist, 12.5f);
    EXPECT_EQ(s.noiseSize, 0.0f);
    EXPECT_EQ(s.mtlID, 0);
    // Keys the file lacks take their defaults.
    EXPECT_EQ(s.verticalSpread, 1);
    EXPECT_EQ(s.mapChannel, 1);
    EXPECT_EQ(s.addVertexColors, 0);
}

TEST_F(SettingsFixture, FloatTextIsReadThroughAnEightyByteBuffer) {
    // 83 characters: only the first 79 are converted, so the exponent is cut off.
    const std::string longText = "1" + std::string(78, '0') + "e-70";
    WriteWholeFile(ini, "[Murkwell]\ndist=" + longText + "\nnoiseSize=  2.5e1  \n");
    GritSettings s;
    LoadSettings(s);
    EXPECT_TRUE(std::isinf(s.dist)) << s.dist;
    EXPECT_EQ(s.noiseSize, 25.0f);
}

TEST_F(SettingsFixture, SaveKeepsOtherSectionsKeysAndComments) {
    WriteWholeFile(ini,
                   "; Murkwell settings\n"
                   "[Other]\n"
                   "dist=999\n"
                   "\n"
                   "[Murkwell]\n"
                   "; user note\n"
                   "XSiz=64\n"
                   "custom = keep me\n"
                   "\n"
                   "[Tail]\n"
                   "x=1\n");
    GritSettings s;
    s.XSiz = 300;
    ASSERT_TRUE(SaveSettings(s));
    EXPECT_EQ(ReadWholeFile(ini),
              "; Murkwell settings\n"
              "[Other]\n"
              "dist=999\n"
              "\n"
              "[Murkwell]\n"
              "; user note\n"
              "XSiz=300\n"
              "custom = keep me\n"
              "algorithm=1008\n"
              "YSiz=200\n"
              "horizontalSpread=8\n"
              "verticalSpread=1\n"
              "mapChannel=1\n"
              "dist=30.000000\n"
              "selectedOnly=0\n"
              "noiseOn=0\n"
              "noiseSize=25.000000\n"
              "mtlID=1\n"
              "mtlIDOn=0\n"
              "addVertexColors=0\n"
              "\n"
              "[Tail]\n"
              "x=1\n");
    GritSettings in = Unusual();
    LoadSettings(in);
    EXPECT_EQ(in.XSiz, 300);
    EXPECT_EQ(in.dist, 30.0f);  // not the other section's 999
}

TEST_F(SettingsFixture, MatchesNamesWhateverTheirCaseAndSpacing) {
    WriteWholeFile(ini, "[MURKWELL]\r\nxsiz = 77\r\nDIST\t=\t12.5\r\n");
    GritSettings s;
    LoadSettings(s);
    EXPECT_EQ(s.XSiz, 77);
    EXPECT_EQ(s.dist, 12.5f);
    s.XSiz = 78;
    ASSERT_TRUE(SaveSettings(s));
    const std::string text = ReadWholeFile(ini);
    const std::string head = "[MURKWELL]\r\nxsiz = 78\r\nDIST\t=\t12.500000\r\nalgorithm=1008\r\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.find("XSiz"), std::string::npos);  // replaced, not added a second time
    size_t bare = 0;
    for (size_t i = 0; i < text.size(); ++i) bare += text[i] == '\n' && (i == 0 || text[i - 1] != '\r') ? 1 : 0;
    EXPECT_EQ(bare, 0u);  // every line keeps the file's CRLF ending
}

TEST_F(SettingsFixture, UnwritableDirectoryFailsWithoutTraces) {
    // The configuration "directory" is a regular file: nothing can be created under it.
    WriteWholeFile(dir.Path() / "cfg", "not a directory");
    host.pluginConfigDir = (dir.Path() / "cfg").string();
    EXPECT_FALSE(SaveSettings(GritSettings{}));
    EXPECT_EQ(ReadWholeFile(dir.Path() / "cfg"), "not a directory");
    EXPECT_EQ(Entries(), std::set<std::string>{"cfg"});
    GritSettings s = Unusual();
    LoadSettings(s);
    ExpectDefaults(s);
}

TEST_F(SettingsFixture, ReadOnlyDirectoryFailsAndLeavesNoTemporary) {
    const fs::path sub = dir.Path() / "ro";
    fs::create_directory(sub);
    fs::permissions(sub, fs::perms::owner_read | fs::perms::owner_exec);
    std::FILE* probe = std::fopen((sub / "probe").string().c_str(), "wb");
    if (probe) {
        std::fclose(probe);
        fs::remove(sub / "probe");
        GTEST_SKIP() << "directory permissions are not enforced for this user";
    }
    host.pluginConfigDir = sub.string();
    EXPECT_FALSE(SaveSettings(GritSettings{}));
    EXPECT_TRUE(fs::is_empty(sub));
}

TEST_F(SettingsFixture, FailedWritesNeverDamageAnExistingFile) {
    FailureHookGuard guard;
    const std::string before = "; keep\n[Murkwell]\nXSiz=64\n[Other]\ny=2\n";
    WriteWholeFile(ini, before);
    SetProfileWriteFailureHook([] { return true; });
    GritSettings s;
    s.XSiz = 500;
    s.YSiz = 321;
    s.horizontalSpread = 12;
    EXPECT_FALSE(SaveSettings(s));
    EXPECT_EQ(ReadWholeFile(ini), before);
    EXPECT_EQ(Entries(), std::set<std::string>{"Murkwell.ini"});

    // One failed write among the thirteen: the save reports it, the others are kept, and the file
    // is whole.
    int call = 0;
    SetProfileWriteFailureHook([&call] { return ++call == 3; });  // the third file replacement
    EXPECT_FALSE(SaveSettings(s));
    GritSettings in = Unusual();
    LoadSettings(in);
    EXPECT_EQ(in.XSiz, 500);
    EXPECT_EQ(in.algorithm, 1008);
    EXPECT_EQ(in.YSiz, 200);  // the failed write: the key is still missing
    EXPECT_EQ(in.horizontalSpread, 12);
    EXPECT_EQ(in.addVertexColors, 0);
    const std::string after = ReadWholeFile(ini);
    EXPECT_EQ(after.substr(0, 7), "; keep\n");
    EXPECT_NE(after.find("[Other]\ny=2\n"), std::string::npos);
    EXPECT_EQ(Entries(), std::set<std::string>{"Murkwell.ini"});
}
