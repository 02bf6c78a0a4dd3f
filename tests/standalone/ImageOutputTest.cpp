// Bakes to every image type: the same grey levels in each, one channel unless --rgba asks for
// the four stored ones, and refused types refused before anything is written.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "tests/common/TempDir.h"
#include "tests/standalone/CliRunner.h"
#include "tests/standalone/ImageReadBack.h"

namespace fs = std::filesystem;

namespace {

const std::string kExample = std::string(MURKWELL_SOURCE_DIR) + "/examples/grooved_block.obj";

class ImageOutput : public ::testing::Test {
protected:
    CliResult Bake(const std::string& output, std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"bake", kExample, "-o", dir.File(output), "--mode", "uv", "--size", "56x50",
                                         "--spread", "4x1", "--dist", "2", "-q", "--config-dir", dir.File("cfg")};
        args.insert(args.end(), more.begin(), more.end());
        return RunMurkwell(args);
    }
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.Path())) names.insert(e.path().filename().string());
        return names;
    }
    ScopedTempDir dir;
};

}  // namespace

TEST_F(ImageOutput, EveryTypeHoldsTheSameGreyLevelsAsOneChannelOrAsRgba) {
    ASSERT_EQ(Bake("map.pgm").code, kExitDone);
    const ImageReadBack reference = ReadPgmBack(dir.File("map.pgm"));  // our own reader
    ASSERT_EQ(reference.error, "");
    ASSERT_EQ(reference.width, 56);
    ASSERT_EQ(reference.height, 50);
    std::set<double> levels(reference.samples.begin(), reference.samples.end());
    EXPECT_GT(levels.size(), 3u) << "a map with grooves has more than a few grey levels";

    for (const std::string name : {"map.png", "map.tif", "map.exr"}) {
        for (const bool rgba : {false, true}) {
            const std::string file = (rgba ? "rgba-" : "") + name;
            const CliResult r = Bake(file, rgba ? std::vector<std::string>{"--rgba"} : std::vector<std::string>{});
            ASSERT_EQ(r.code, kExitDone) << file << ": " << r.err;
            const ImageReadBack back = ReadImageBack(dir.File(file));
            ASSERT_EQ(back.error, "") << file;
            ASSERT_EQ(back.width, 56) << file;
            ASSERT_EQ(back.height, 50) << file;
            ASSERT_EQ(back.channels, rgba ? 4 : 1) << file;
            for (int y = 0; y < back.height; ++y)
                for (int x = 0; x < back.width; ++x) {
                    const double grey = reference.samples[static_cast<size_t>(y) * 56 + x];
                    ASSERT_EQ(back.Level(x, y, 0), grey) << file << " at " << x << ", " << y;
                    if (!rgba) continue;
                    ASSERT_EQ(back.Level(x, y, 1), grey) << file;
                    ASSERT_EQ(back.Level(x, y, 2), grey) << file;
                    ASSERT_EQ(back.Level(x, y, 3), 65535) << file;
                }
        }
    }
    EXPECT_EQ(Entries(), (std::set<std::string>{"cfg", "map.pgm", "map.png", "map.tif", "map.exr", "rgba-map.png",
                                                "rgba-map.tif", "rgba-map.exr"}));
}

TEST_F(ImageOutput, RefusedTypesAreUsageErrorsThatLeaveNothingBehind) {
    struct Case {
        std::string output;
        std::vector<std::string> more;
        std::string says;
    };
    const Case cases[] = {
        {"map.jpg", {}, "\".jpg\""},
        {"map.bmp", {}, ".png, .tif, .tiff, .exr or .pgm"},
        {"map", {}, "no extension"},
        {"map.pgm", {"--rgba"}, "one grey channel"},
        {"mesh.ply", {"--rgba"}, "--rgba is for image files"},
    };
    for (const Case& c : cases) {
        const CliResult r = Bake(c.output, c.more);
        EXPECT_EQ(r.code, kExitUsage) << c.output;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.output << ": " << r.err;
        // Not even the settings folder was made.
        EXPECT_TRUE(Entries().empty()) << c.output;
    }
}
