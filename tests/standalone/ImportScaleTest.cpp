// The import scale: the scale a distance needs, the positions it multiplies, and the reason a
// power of two is the scale to use: the mesh scaled by 2^k, baked at 2^k times the distance,
// gives the very map of the mesh as it stands, while a scale of 100 does not.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "plugin/GritUtility.h"
#include "standalone/ImportScale.h"
#include "standalone/ObjScene.h"
#include "standalone/SceneImport.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPaths.h"
#include "tests/standalone/CliRunner.h"

namespace {

const std::string kExample = std::string(MURKWELL_SOURCE_DIR) + "/examples/grooved_block.obj";

// The value grid a bake left in the plug-in, column by column.
std::vector<float> GritValues() {
    const GritUtility& u = PluginUtility();
    std::vector<float> values;
    for (unsigned x = 0; x < u.gritValues.ColumnCount(); ++x)
        for (unsigned y = 0; y < u.gritValues.RowCount(); ++y) values.push_back(u.gritValues.Get(int(x), int(y)));
    return values;
}

int CountDiffering(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return -1;
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += std::memcmp(&a[i], &b[i], sizeof(float)) != 0;
    return n;
}

class ScaledBake : public ::testing::Test {
protected:
    // A UV bake into `out`; returns the value grid, empty when the bake failed.
    std::vector<float> BakeUv(const std::string& mesh, const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args = {"bake", mesh, "-o", dir.File(out), "--mode", "uv", "--size", "80x80",
                                         "--spread", "6x2", "-q", "--config-dir", dir.File("cfg")};
        args.insert(args.end(), extra.begin(), extra.end());
        const CliResult r = RunMurkwell(args);
        EXPECT_EQ(r.code, kExitDone) << r.err;
        return r.code == kExitDone ? GritValues() : std::vector<float>{};
    }
    ScopedTempDir dir;
};

}  // namespace

TEST(ImportScale, TheFittingScaleIsThePowerOfTwoThatLeavesRoomToHalveOrDouble) {
    EXPECT_EQ(FittingScaleOptions(0.03, 1.0), "--scale 128 --dist 3.84");  // 1.92 would be below 2
    EXPECT_EQ(FittingScaleOptions(0.5, 1.0), "--scale 4 --dist 2");
    EXPECT_EQ(FittingScaleOptions(0.999, 1.0), "--scale 4 --dist 3.996");
    EXPECT_EQ(FittingScaleOptions(0.03, 10.0), "--scale 1280 --dist 3.84");  // times the scale given
    EXPECT_EQ(FittingScaleOptions(200000, 1.0), "--scale 0.25 --dist 50000");
    EXPECT_EQ(FittingScaleOptions(1e6, 0.1), "--scale 0.003125 --dist 31250");
    EXPECT_EQ(FittingScaleOptions(1.0, 1.0), "");
    EXPECT_EQ(FittingScaleOptions(100000.0, 1.0), "");
    EXPECT_EQ(FittingScaleOptions(0.0, 1.0), "");
    EXPECT_EQ(FittingScaleOptions(-3.0, 1.0), "");
    // The distance text reads back as the float the option gets: 0.03f times 128 exactly.
    EXPECT_EQ(3.84f, 0.03f * 128.0f);

    EXPECT_DOUBLE_EQ(SuggestedDistance(0.548), 0.055);
    EXPECT_DOUBLE_EQ(SuggestedDistance(12345.0), 1200.0);
    EXPECT_DOUBLE_EQ(SuggestedDistance(2.47995), 0.25);
    EXPECT_EQ(SuggestedDistance(0.0), 0.0);
}

TEST(ImportScale, PositionsAreMultipliedAndTheFileOnesKept) {
    ObjScene s;
    std::string error;
    ASSERT_TRUE(ParseObjScene("v 0.1 -2 3\nv 1 0 0\nv 0 1e-39 0\nf 1 2 3\n", "m", s, error)) << error;
    ImportOptions options;
    options.scale = 0.5;
    ASSERT_TRUE(FinishImport(s, options, error)) << error;
    const ObjObject& o = s.objects[0];
    EXPECT_EQ(o.mesh.verts[0], Point3(0.05f, -1.0f, 1.5f));
    ASSERT_EQ(o.fileVerts.size(), 3u);
    EXPECT_EQ(o.fileVerts[0], Point3(0.1f, -2.0f, 3.0f));
    // 1e-39 is already below the smallest normal float: halving it loses a bit.
    ASSERT_EQ(s.warnings.size(), 1u);
    EXPECT_NE(s.warnings[0].find("1 coordinate(s) fall below the smallest normal float"), std::string::npos);
    EXPECT_EQ(s.scale, 0.5);

    // A scale taking a coordinate beyond the float range is refused, naming it.
    ObjScene big;
    ASSERT_TRUE(ParseObjScene("v 0 0 0\nv 3e30 0 0\nv 0 1 0\nf 1 2 3\n", "m", big, error)) << error;
    options.scale = 1e10;
    EXPECT_FALSE(FinishImport(big, options, error));
    EXPECT_EQ(error, "--scale 1e+10 takes vertex 2 of object \"m\" beyond the float range (x 3e+30 would become 3e+40)");

    // A scale of 1 changes nothing and keeps no copy.
    ObjScene one;
    ASSERT_TRUE(ParseObjScene("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "m", one, error)) << error;
    ASSERT_TRUE(FinishImport(one, ImportOptions{}, error)) << error;
    EXPECT_TRUE(one.objects[0].fileVerts.empty());
}

TEST_F(ScaledBake, APowerOfTwoGivesTheVeryMapOfTheUnscaledMesh) {
    const std::vector<float> plain = BakeUv(kExample, "plain.png", {"--dist", "2", "--no-noise"});
    ASSERT_FALSE(plain.empty());
    const std::vector<float> scaled = BakeUv(kExample, "scaled.png", {"--dist", "256", "--scale", "128", "--no-noise"});
    EXPECT_EQ(CountDiffering(plain, scaled), 0);
    EXPECT_EQ(ReadWholeFile(dir.Path() / "plain.png"), ReadWholeFile(dir.Path() / "scaled.png"));
    // The noise point is the position over the noise size: scaled with the mesh, it is the same.
    const std::vector<float> noisy = BakeUv(kExample, "noisy.png", {"--dist", "2", "--noise", "0.7"});
    const std::vector<float> noisyScaled =
        BakeUv(kExample, "noisy-scaled.png", {"--dist", "256", "--noise", "89.6", "--scale", "128"});
    EXPECT_EQ(CountDiffering(noisy, noisyScaled), 0);
    EXPECT_GT(CountDiffering(plain, noisy), 0);  // the noise did something

    // Scaled by 100, the same bake is close but not the same: the products are rounded.
    const std::vector<float> hundred = BakeUv(kExample, "hundred.png", {"--dist", "200", "--scale", "100", "--no-noise"});
    const int differing = CountDiffering(plain, hundred);
    EXPECT_GT(differing, 0);
    EXPECT_LT(differing, static_cast<int>(plain.size()) / 4) << differing << " of " << plain.size();
}

TEST_F(ScaledBake, APowerOfTwoGivesTheSameMapOfARealMeshAndTheSameVertexColours) {
    MURKWELL_REQUIRE_SHARED_MESH(pirate, "pirate.obj");  // 2.5 units across: 8 is the least scale for a tenth
    const std::vector<float> eight = BakeUv(pirate, "eight.png", {"--dist", "2", "--scale", "8", "--no-noise"});
    ASSERT_FALSE(eight.empty());
    const std::vector<float> big = BakeUv(pirate, "big.png", {"--dist", "256", "--scale", "1024", "--no-noise"});
    EXPECT_EQ(CountDiffering(eight, big), 0);

    // Vertex colours through PLY: the written positions are the file's, whatever the scale.
    for (const char* scale : {"8", "1024"}) {
        const std::string dist = std::string(scale) == "8" ? "2" : "256";
        const CliResult r = RunMurkwell({"bake", pirate, "-o", dir.File(std::string("v") + scale + ".ply"), "--mode",
                                         "vertex", "--spread", "4x1", "--dist", dist, "--scale", scale, "-q",
                                         "--config-dir", dir.File("cfg")});
        ASSERT_EQ(r.code, kExitDone) << r.err;
    }
    const std::string ply8 = ReadWholeFile(dir.Path() / "v8.ply");
    EXPECT_GT(ply8.size(), 1000u);
    EXPECT_EQ(ply8, ReadWholeFile(dir.Path() / "v1024.ply"));
}
