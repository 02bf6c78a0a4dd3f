// The engine options of `murkwell bake`: --threads and --reference choose how the run computes,
// never what it writes.
#include <gtest/gtest.h>

#include <filesystem>

#include "plugin/GritUtility.h"
#include "tests/common/TempDir.h"
#include "tests/standalone/CliRunner.h"

namespace {

const std::string kExample = std::string(MURKWELL_SOURCE_DIR) + "/examples/grooved_block.obj";

class CliThreads : public ::testing::Test {
protected:
    CliResult Bake(const std::string& output, const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"bake", kExample, "-o", dir.File(output), "--config-dir", dir.File("cfg"), "-q"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunMurkwell(args);
    }
    ScopedTempDir dir;
};

TEST_F(CliThreads, ThreadCountBelowOneOrNotANumberIsAUsageError) {
    for (const char* bad : {"0", "-2", "two", "1.5", ""}) {
        SCOPED_TRACE(bad);
        const CliResult r = Bake("map.png", {"--threads", bad});
        EXPECT_EQ(r.code, kExitUsage);
        EXPECT_NE(r.err.find("--threads"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir.File("map.png")));
    }
}

TEST_F(CliThreads, MapIsTheSameForEveryThreadCountAndForThePlainScan) {
    const std::vector<std::string> common = {"--mode", "uv", "--size", "64x50", "--spread", "6x1", "--dist", "2"};
    auto bake = [&](const std::string& out, std::vector<std::string> engine) {
        engine.insert(engine.begin(), common.begin(), common.end());
        const CliResult r = Bake(out, engine);
        EXPECT_EQ(r.code, kExitDone) << r.err;
        return ReadWholeFile(dir.Path() / out);
    };
    const std::string one = bake("one.png", {"--threads", "1"});
    EXPECT_EQ(PluginUtility().engine.threads, 1);
    EXPECT_FALSE(PluginUtility().engine.reference);
    ASSERT_GT(one.size(), 1000u);
    EXPECT_EQ(bake("three.png", {"--threads", "3"}), one);
    EXPECT_EQ(PluginUtility().engine.threads, 3);
    EXPECT_EQ(bake("scan.png", {"--reference", "--threads", "2"}), one);
    EXPECT_TRUE(PluginUtility().engine.reference);
    // Without the options: the default engine again, not what the last bake chose.
    EXPECT_EQ(bake("default.png", {}), one);
    EXPECT_EQ(PluginUtility().engine.threads, 0);
    EXPECT_FALSE(PluginUtility().engine.reference);
    // The options are not settings: the settings file knows nothing of them.
    const std::string ini = ReadWholeFile(dir.Path() / "cfg" / "Murkwell.ini");
    EXPECT_EQ(ini.find("thread"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("reference"), std::string::npos) << ini;
}

}  // namespace
