// Whole bakes through the command line: maps and vertex colours written, settings saved,
// Ctrl-C as cancel, and the real-mesh check that crevices come out brighter than open surface.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <algorithm>
#include <map>

#include "plugin/GritUtility.h"
#include "standalone/Interrupts.h"
#include "standalone/ObjScene.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPaths.h"
#include "tests/standalone/CliRunner.h"
#include "tests/standalone/ImageReadBack.h"

namespace fs = std::filesystem;

namespace {

const std::string kExample = std::string(MURKWELL_SOURCE_DIR) + "/examples/grooved_block.obj";

struct GreyImage : ImageReadBack {
    std::uint16_t Grey(int x, int y) const {
        return samples[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) *
                       static_cast<size_t>(channels)];
    }
};

GreyImage ReadImage(const std::string& path) {
    GreyImage img;
    static_cast<ImageReadBack&>(img) = ReadImageBack(path);
    return img;
}

// The texel holding texture coordinate (u, v) in a W x H map (row 0 is v = 1).
std::uint16_t GreyAt(const GreyImage& img, double u, double v) {
    return img.Grey(static_cast<int>(u * img.width), static_cast<int>((1.0 - v) * img.height));
}

// The example block's texture coordinates of a point (x, y) on its top surface.
double TopU(double x) { return 0.02 + 0.96 * x / 12.0; }
double TopV(double y) { return 0.32 + 0.66 * y / 8.0; }

class Bake : public ::testing::Test {
protected:
    CliResult Run(std::vector<std::string> args, const CliEnvironment& env = CliEnvironment{}) {
        args.insert(args.begin(), "bake");
        args.push_back("--config-dir");
        args.push_back(dir.File("cfg"));
        return RunMurkwell(args, env);
    }
    ScopedTempDir dir;
};

}  // namespace

TEST_F(Bake, UvMapOfTheExampleIsSixteenBitWithGroovesBrighterThanOpenTop) {
    const CliResult r = Run({kExample, "-o", dir.File("grit.png"), "--mode", "uv", "--size", "64x64", "--spread",
                             "6x1", "--dist", "2"});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_NE(r.out.find("elapsed time = "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("wrote " + dir.File("grit.png")), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Building Grit Map: finished"), std::string::npos) << r.err;

    const GreyImage img = ReadImage(dir.File("grit.png"));
    ASSERT_EQ(img.width, 64);
    ASSERT_EQ(img.height, 64);
    EXPECT_EQ(img.channels, 1);  // one grey channel
    EXPECT_EQ(img.bits, 16);
    const std::uint16_t groove = GreyAt(img, TopU(3.5), TopV(2.5));
    const std::uint16_t open = GreyAt(img, TopU(2.5), TopV(0.5));
    EXPECT_GT(groove, 10000) << "groove";
    EXPECT_EQ(open, 0) << "open top";

    // The settings of this bake were saved and serve the next one.
    const std::string ini = ReadWholeFile(dir.Path() / "cfg" / "Murkwell.ini");
    for (const char* line : {"XSiz=64", "YSiz=64", "horizontalSpread=6", "verticalSpread=1", "dist=2.000000"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << "\n" << ini;
    const CliResult again = Run({kExample, "-o", dir.File("again.png"), "-q"});
    ASSERT_EQ(again.code, kExitDone) << again.err;
    EXPECT_TRUE(again.out.empty());
    EXPECT_TRUE(again.err.empty());
    EXPECT_EQ(ReadWholeFile(dir.Path() / "again.png"), ReadWholeFile(dir.Path() / "grit.png"));
}

TEST_F(Bake, GroupSelectionAndMaterialFilterChooseTheFaces) {
    // Sum of the grey levels of the top surface's part of the map (v 0.32 ... 0.98) and of the
    // walls' part (v 0.02 ... 0.30), leaving out the rows between, which the finishing passes may
    // fill from either side.
    auto sums = [](const GreyImage& img) {
        double top = 0, walls = 0;
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) {
                const double v = 1.0 - (y + 0.5) / img.height;
                if (v > 0.33) top += img.Grey(x, y);
                if (v < 0.29) walls += img.Grey(x, y);
            }
        return std::make_pair(top, walls);
    };
    const std::vector<std::string> common = {kExample, "--mode", "uv", "--size", "64x64", "--spread", "6x1",
                                             "--dist", "2", "-q"};
    auto bake = [&](const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args = common;
        args.insert(args.end(), {"-o", dir.File(out)});
        args.insert(args.end(), extra.begin(), extra.end());
        const CliResult r = Run(args);
        EXPECT_EQ(r.code, kExitDone) << r.err;
        return sums(ReadImage(dir.File(out)));
    };
    const auto all = bake("all.png", {});
    ASSERT_GT(all.first, 0);
    ASSERT_GT(all.second, 0);
    const auto top = bake("top.png", {"--selected-only", "--select-group", "top"});
    EXPECT_GT(top.first, 0.5 * all.first);
    EXPECT_EQ(top.second, 0);
    const auto trim = bake("trim.png", {"--no-selected-only", "--mtl-id", "2"});  // "trim" is material ID 1
    EXPECT_EQ(trim.first, 0);
    EXPECT_GT(trim.second, 0.5 * all.second);
}

TEST_F(Bake, AWriteThatFailsAtTheEndIsReportedNotCalledDone) {
    fs::create_directory(dir.Path() / "outdir");
    CliEnvironment env;
    // The output folder disappears while the run works.
    env.progressObserver = [&](int) { fs::remove_all(dir.Path() / "outdir"); };
    CliResult r = Run({kExample, "--mode", "uv", "--size", "50x50", "--spread", "2x1", "-o", dir.File("outdir/m.png")},
                      env);
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("Murkwell: cannot write " + dir.File("outdir/m.png")), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("wrote"), std::string::npos) << r.out;

    fs::create_directory(dir.Path() / "outdir");
    r = Run({kExample, "--mode", "vertex", "--spread", "2x1", "-o", dir.File("outdir/m.ply")}, env);
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("Murkwell: cannot write " + dir.File("outdir/m.ply")), std::string::npos) << r.err;
}

TEST_F(Bake, CtrlCCancelsAndTheAnswerDecidesWhatIsWritten) {
    ResetInterrupts();
    CliEnvironment env;
    env.catchInterrupts = true;
    int interruptsPerRun = 1;
    env.progressObserver = [&](int) {
        // Ctrl-C as soon as the progress display starts (and again for a second press).
        while (InterruptCount() < interruptsPerRun) std::raise(SIGINT);
    };
    // A long run (if it went to the end), so the host's cancel query is sure to come.
    const std::vector<std::string> common = {kExample, "--mode", "uv", "--size", "512x512", "--spread", "24x10",
                                             "--dist", "2"};
    auto run = [&](const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args = common;
        args.insert(args.end(), {"-o", dir.File(out)});
        args.insert(args.end(), extra.begin(), extra.end());
        return Run(args, env);
    };

    CliResult r = run("no.png", {"--save-partial", "no"});
    EXPECT_EQ(r.code, kExitCancelled) << r.err;
    EXPECT_NE(r.err.find("cancelled; nothing written"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("elapsed time"), std::string::npos);  // reported after a cancel as well
    EXPECT_FALSE(fs::exists(dir.Path() / "no.png"));

    // Nobody to ask: the partial map is kept.
    r = run("partial.png", {});
    EXPECT_EQ(r.code, kExitPartial) << r.err;
    EXPECT_NE(r.err.find("Save Partial Bitmap? yes"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("(partial map)"), std::string::npos) << r.out;
    EXPECT_EQ(ReadImage(dir.File("partial.png")).width, 512);

    // A second Ctrl-C answers No, whatever --save-partial would default to.
    interruptsPerRun = 2;
    r = run("second.png", {});
    EXPECT_EQ(r.code, kExitCancelled) << r.err;
    EXPECT_FALSE(fs::exists(dir.Path() / "second.png"));

    // The terminal's answer counts when there is a terminal.
    interruptsPerRun = 1;
    env.stdinIsTerminal = true;
    std::vector<std::string> asked;
    env.ask = [&](const std::string& q, int) {
        asked.push_back(q);
        return std::optional<bool>(false);
    };
    r = run("asked.png", {});
    EXPECT_EQ(r.code, kExitCancelled) << r.err;
    EXPECT_EQ(asked, (std::vector<std::string>{"Save Partial Bitmap?"}));
    ResetInterrupts();
}

TEST_F(Bake, VertexColoursToPlyAndObj) {
    const std::vector<std::string> common = {kExample, "--mode", "vertex", "--spread", "6x1", "--dist", "2",
                                             "--replace"};
    auto args = [&](const std::string& out) {
        std::vector<std::string> a = common;
        a.insert(a.end(), {"-o", dir.File(out)});
        return a;
    };
    const std::string input = ReadWholeFile(kExample);
    CliResult r = Run(args("block.obj"));
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_NE(r.out.find("Grit calculation complete\nelapsed time = "), std::string::npos) << r.out;

    // The OBJ is the input with coloured vertex lines; everything else is as it was.
    ObjScene in, out;
    std::string error;
    ASSERT_TRUE(LoadObjScene(kExample, in, error)) << error;
    ASSERT_TRUE(LoadObjScene(dir.File("block.obj"), out, error)) << error;
    ASSERT_TRUE(out.hasColours);
    const Mesh& m = out.objects[0].mesh;
    ASSERT_EQ(m.getNumVerts(), in.objects[0].mesh.getNumVerts());
    EXPECT_EQ(m.getNumMapVerts(1), in.objects[0].mesh.getNumMapVerts(1));
    EXPECT_EQ(out.objects[0].materialNames, in.objects[0].materialNames);
    float lowest = 1.0f;
    for (const Point3& c : m.vertCol) {
        EXPECT_GT(c.x, 0.0f);
        EXPECT_LE(c.x, 1.0f);
        EXPECT_EQ(c.x, c.y);
        lowest = std::min(lowest, c.x);
    }
    EXPECT_LT(lowest, 0.9f);  // some vertex sits in a crevice

    r = Run(args("block.ply"));
    ASSERT_EQ(r.code, kExitDone) << r.err;
    const std::string ply = ReadWholeFile(dir.Path() / "block.ply");
    EXPECT_EQ(ply.rfind("ply\nformat binary_little_endian 1.0\n", 0), 0u);
    EXPECT_NE(ply.find("element vertex 202\n"), std::string::npos);
    EXPECT_NE(ply.find("element face 352\n"), std::string::npos);

    // Accumulating onto the coloured copy multiplies: no vertex gets lighter.
    r = Run({dir.File("block.obj"), "--mode", "vertex", "--accumulate", "-o", dir.File("twice.obj")});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
    ObjScene twice;
    ASSERT_TRUE(LoadObjScene(dir.File("twice.obj"), twice, error)) << error;
    for (int i = 0; i < m.getNumVertCol(); ++i) EXPECT_LE(twice.objects[0].mesh.vertCol[i].x, m.vertCol[i].x);

    // Accumulating onto a file without colours warns that they start from black.
    r = Run({kExample, "--mode", "vertex", "--accumulate", "-o", dir.File("black.ply")});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_NE(r.err.find("start from black"), std::string::npos) << r.err;
    EXPECT_EQ(ReadWholeFile(kExample), input);  // the input is never written
}

TEST_F(Bake, CancelledVertexRunWritesNothing) {
    ResetInterrupts();
    CliEnvironment env;
    env.catchInterrupts = true;
    env.progressObserver = [](int) {
        if (InterruptCount() == 0) std::raise(SIGINT);
    };
    WriteWholeFile(dir.Path() / "keep.ply", "old");
    const CliResult r = Run({kExample, "--mode", "vertex", "-o", dir.File("keep.ply")}, env);
    EXPECT_EQ(r.code, kExitCancelled) << r.err;
    EXPECT_EQ(ReadWholeFile(dir.Path() / "keep.ply"), "old");
    ResetInterrupts();
}

// The real mesh: faces in the most concave places (neighbours across the edges rise above the
// face's plane) score higher on average than faces in the most convex places.
TEST_F(Bake, SpotCrevicesAreBrighterThanConvexSurface) {
    MURKWELL_REQUIRE_SHARED_MESH(spot, "spot.obj");
    const CliResult r = Run({spot, "-o", dir.File("spot.png"), "--mode", "uv", "--size", "50x50", "--spread", "4x1",
                             "--dist", "1", "-q"});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    const GreyImage img = ReadImage(dir.File("spot.png"));
    ASSERT_EQ(img.width, 50);
    ASSERT_EQ(img.height, 50);
    EXPECT_EQ(img.bits, 16);

    ObjScene scene;
    std::string error;
    ASSERT_TRUE(LoadObjScene(spot, scene, error)) << error;
    const Mesh& m = scene.objects[0].mesh;
    const int nf = m.getNumFaces();
    // Concavity of a face: the heights of its neighbours' far corners over its plane, each
    // relative to the shared edge's length, summed.
    std::map<std::pair<DWORD, DWORD>, std::vector<int>> edges;
    for (int f = 0; f < nf; ++f)
        for (int k = 0; k < 3; ++k) {
            const DWORD a = m.faces[f].v[k], b = m.faces[f].v[(k + 1) % 3];
            edges[{std::min(a, b), std::max(a, b)}].push_back(f);
        }
    std::vector<float> concavity(static_cast<size_t>(nf), 0.0f);
    for (int f = 0; f < nf; ++f) {
        const Point3 p0 = m.verts[m.faces[f].v[0]], p1 = m.verts[m.faces[f].v[1]], p2 = m.verts[m.faces[f].v[2]];
        const Point3 n = Normalize(CrossProd(p1 - p0, p2 - p1));
        for (int k = 0; k < 3; ++k) {
            const DWORD a = m.faces[f].v[k], b = m.faces[f].v[(k + 1) % 3];
            const float len = Length(m.verts[a] - m.verts[b]);
            for (int g : edges[{std::min(a, b), std::max(a, b)}]) {
                if (g == f) continue;
                for (int c = 0; c < 3; ++c) {
                    const DWORD w = m.faces[g].v[c];
                    if (w != a && w != b) concavity[static_cast<size_t>(f)] += DotProd(m.verts[w] - p0, n) / len;
                }
            }
        }
    }
    // The tenth of the covered texels whose faces are most concave against the tenth whose faces
    // are most convex.
    const GritUtility& utility = PluginUtility();
    std::vector<std::pair<float, std::uint16_t>> samples;  // (concavity, grey) per covered texel
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 50; ++x) {
            const int f = utility.texels.Get(x, y).faceIndex;
            if (f >= 0 && f < nf) samples.push_back({concavity[static_cast<size_t>(f)], img.Grey(x, y)});
        }
    ASSERT_GT(samples.size(), 500u);
    std::sort(samples.begin(), samples.end());
    const size_t tenth = samples.size() / 10;
    double convex = 0, concave = 0;
    for (size_t i = 0; i < tenth; ++i) {
        convex += samples[i].second;
        concave += samples[samples.size() - 1 - i].second;
    }
    convex /= static_cast<double>(tenth);
    concave /= static_cast<double>(tenth);
    EXPECT_GT(concave, 1.4 * convex) << "concave mean " << concave << ", convex mean " << convex;
}

TEST_F(Bake, SameSettingsGiveByteIdenticalMaps) {
    MURKWELL_REQUIRE_SHARED_MESH(cage, "spot_control_mesh.obj");
    for (const char* name : {"a.png", "b.png"}) {
        const CliResult r = Run({cage, "-o", dir.File(name), "--mode", "uv", "--size", "96x96", "--spread", "8x2",
                                 "--dist", "1", "--noise", "0.3", "-q"});
        ASSERT_EQ(r.code, kExitDone) << r.err;
    }
    const std::string a = ReadWholeFile(dir.Path() / "a.png");
    EXPECT_GT(a.size(), 100u);
    EXPECT_EQ(a, ReadWholeFile(dir.Path() / "b.png"));
}
