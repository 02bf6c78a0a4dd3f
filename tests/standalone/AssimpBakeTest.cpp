// Bakes of files read through Assimp, through the command line: one mesh as OBJ and as glTF
// gives the very same map, the second texture coordinate set lays out --channel 2, the PLY of
// the shared head gives the vertex colours of its OBJ, and vertex colours go to .glb, .obj and
// .ply.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "standalone/SceneImport.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPaths.h"
#include "tests/standalone/CliRunner.h"
#include "tests/standalone/ImageReadBack.h"

namespace fs = std::filesystem;

namespace {

const std::string kFixtures = std::string(MURKWELL_SOURCE_DIR) + "/tests/standalone/fixtures/";

class AssimpBake : public ::testing::Test {
protected:
    CliResult Bake(std::vector<std::string> args) {
        args.insert(args.begin(), "bake");
        args.insert(args.end(), {"--config-dir", dir.File("cfg"), "-q"});
        return RunMurkwell(args);
    }
    // A map of the tray, on the given channel, with the given extra options.
    std::string Map(const std::string& input, const std::string& name, const std::string& channel,
                    std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {kFixtures + input, "-o", dir.File(name), "--mode", "uv", "--size", "96x96",
                                         "--dist", "1.5", "--spread", "8x2", "--channel", channel, "--threads", "2"};
        args.insert(args.end(), extra.begin(), extra.end());
        const CliResult r = Bake(args);
        EXPECT_EQ(r.code, kExitDone) << r.err;
        return ReadWholeFile(dir.Path() / name);
    }
    ScopedTempDir dir;
};

// `v x y z r g b` lines of an OBJ: colour by position (each number read as a float).
std::map<std::array<float, 3>, std::array<float, 3>> ObjColours(const std::string& path) {
    std::map<std::array<float, 3>, std::array<float, 3>> colours;
    std::istringstream in(ReadWholeFile(path));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("v ", 0) != 0) continue;
        std::istringstream words(line.substr(2));
        std::array<std::string, 6> w;
        for (auto& s : w) words >> s;
        std::array<float, 6> f{};
        for (size_t i = 0; i < 6; ++i) f[i] = std::strtof(w[i].c_str(), nullptr);
        colours[{f[0], f[1], f[2]}] = {f[3], f[4], f[5]};
    }
    return colours;
}

}  // namespace

TEST_F(AssimpBake, OneMeshAsObjAndAsGltfBakesToTheSameMap) {
    // The same triangles in the same order; the glTF splits its vertices at every texture seam
    // and hard edge, which the import welds back.
    for (const std::vector<std::string>& smoothing :
         {std::vector<std::string>{}, {"--smoothing", "none"}, {"--smoothing", "angle:30"}}) {
        const std::string obj = Map("tray.obj", "obj.png", "1", smoothing);
        const std::string gltf = Map("tray.gltf", "gltf.png", "1", smoothing);
        ASSERT_FALSE(obj.empty());
        EXPECT_TRUE(obj == gltf) << (smoothing.empty() ? "auto" : smoothing[1]);
    }
    // Something to compare: the crevices along the walls are grey, not black.
    const ImageReadBack img = ReadPngBack(dir.File("gltf.png"));
    int grey = 0;
    for (std::uint16_t s : img.samples) grey += s > 0 ? 1 : 0;
    EXPECT_GT(grey, 500);
}

TEST_F(AssimpBake, TheSecondUvSetLaysOutTheMapOnChannelTwo) {
    const std::string first = Map("tray.gltf", "first.png", "1");
    const std::string second = Map("tray.gltf", "second.png", "2");
    const std::string objSecond = Map("tray_uv2.obj", "obj_second.png", "1");
    EXPECT_TRUE(second == objSecond);
    EXPECT_FALSE(second == first);
    // A channel beyond the file's sets has no map vertices: nothing is laid out, the map is black.
    Map("tray.gltf", "third.png", "3");
    const ImageReadBack third = ReadPngBack(dir.File("third.png"));
    ASSERT_EQ(third.width, 96);
    for (std::uint16_t s : third.samples) ASSERT_EQ(s, 0);
}

TEST_F(AssimpBake, ThePlyOfTheSharedHeadGivesTheVertexColoursOfItsObj) {
    MURKWELL_REQUIRE_SHARED_MESH(ply, "igea.ply");
    MURKWELL_REQUIRE_SHARED_MESH(obj, "igea.obj");
    // A power-of-two scale brings the head to a distance the panel takes (as the benchmarks do).
    for (const auto& [input, output] : {std::pair{ply, "ply.obj"}, std::pair{obj, "obj.obj"}}) {
        const CliResult r = Bake({input, "-o", dir.File(output), "--mode", "vertex", "--replace", "--scale", "128",
                                  "--dist", "2", "--spread", "8x1", "--threads", "1"});
        ASSERT_EQ(r.code, kExitDone) << r.err;
    }
    const auto fromPly = ObjColours(dir.File("ply.obj"));
    const auto fromObj = ObjColours(dir.File("obj.obj"));
    ASSERT_EQ(fromPly.size(), 134345u);
    ASSERT_EQ(fromObj.size(), fromPly.size());
    int grey = 0, differ = 0;
    for (const auto& [position, colour] : fromObj) {
        const auto it = fromPly.find(position);
        ASSERT_NE(it, fromPly.end()) << "a vertex of the OBJ is not in the PLY";
        if (it->second != colour) differ++;
        if (colour[0] < 1.0f) grey++;
    }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(grey, 1000);
}

TEST_F(AssimpBake, VertexColoursOfAGltfGoToGlbObjAndPlyAtTheFilesOwnScale) {
    // Scaled by 4 for the run; the outputs keep the file's positions.
    for (const char* name : {"tray.glb", "tray.obj", "tray.ply"}) {
        const CliResult r = Bake({kFixtures + "tray.gltf", "-o", dir.File(name), "--mode", "vertex", "--replace",
                                  "--scale", "4", "--dist", "6", "--spread", "8x2", "--threads", "1"});
        ASSERT_EQ(r.code, kExitDone) << name << ": " << r.err;
    }
    // The OBJ is written afresh for the object alone (there is no OBJ text to rewrite).
    const std::string obj = ReadWholeFile(dir.Path() / "tray.obj");
    EXPECT_EQ(obj.rfind("# Murkwell vertex grit\no Tray\n", 0), 0u);
    const auto colours = ObjColours(dir.File("tray.obj"));
    ASSERT_EQ(colours.size(), 43u);

    ImportedScene back;
    std::string error;
    ASSERT_TRUE(LoadScene(dir.File("tray.glb"), {}, back, error)) << error;
    ASSERT_EQ(back.objects.size(), 1u);
    const ImportedObject& o = back.objects[0];
    EXPECT_EQ(o.name, "Tray");
    EXPECT_EQ(o.mapChannelNames.size(), 2u);
    const Mesh& m = o.mesh;
    ASSERT_EQ(m.getNumVerts(), 43);
    ASSERT_EQ(m.getNumFaces(), 64);
    ASSERT_EQ(m.getNumVertCol(), 43);
    int grey = 0;
    for (int v = 0; v < 43; ++v) {
        const Point3& p = m.verts[static_cast<size_t>(v)];
        const auto it = colours.find({p.x, p.y, p.z});
        ASSERT_NE(it, colours.end()) << "no vertex at (" << p.x << ", " << p.y << ", " << p.z << ") in the OBJ";
        const Point3& c = m.vertCol[static_cast<size_t>(v)];
        EXPECT_EQ((std::array<float, 3>{c.x, c.y, c.z}), it->second);
        grey += c.x < 0.99f ? 1 : 0;
    }
    EXPECT_GT(grey, 5);

    ImportedScene ply;
    ASSERT_TRUE(LoadScene(dir.File("tray.ply"), {}, ply, error)) << error;
    ASSERT_EQ(ply.objects.size(), 1u);
    EXPECT_EQ(ply.objects[0].mesh.getNumVerts(), 43);
    EXPECT_EQ(ply.objects[0].mesh.getNumVertCol(), 43);
}

TEST_F(AssimpBake, AFileThatCannotBeReadWritesNothing) {
    WriteWholeFile(dir.Path() / "broken.dae", "<COLLADA>");
    CliResult r = Bake({dir.File("broken.dae"), "-o", dir.File("out.png"), "--mode", "uv"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_EQ(r.err.rfind("Murkwell: cannot read " + dir.File("broken.dae") + " (Collada Importer): ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    r = Bake({kFixtures + "points.glb", "-o", dir.File("out.ply"), "--mode", "vertex"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_EQ(r.err, "Murkwell: " + kFixtures + "points.glb (glTF Importer): holds no faces (only points and lines)\n");
    r = Bake({kFixtures + "cube.gltf", "-o", dir.File("out.png"), "--mode", "uv", "--selected-only", "--select-group",
              "Lid"});
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("object \"Cube\" has no group \"Lid\" (its groups: CubeMesh-0, CubeMesh-1)"), std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir.Path() / "out.png"));
    EXPECT_FALSE(fs::exists(dir.Path() / "out.ply"));
}

TEST_F(AssimpBake, InfoListsEveryMapChannelAndTheFormat) {
    const CliResult r = RunMurkwell({"info", kFixtures + "cube.gltf"});
    ASSERT_EQ(r.code, kExitDone) << r.err;
    for (const char* line : {"cube.gltf (glTF Importer): 1 object, 24 vertices in the file's meshes",
                             "object \"Cube\": 12 faces, 8 vertices\n", "  map channels: 2 (--channel 1 ... 2)\n",
                             "  channel 1 (unnamed): 24 map vertices, UV range: u 0.0625 ... 0.9375, v 0.125 ... 0.75\n",
                             "  channel 2 (unnamed): 24 map vertices, UV range: u 0.5 ... 0.9375, v 0.5 ... 0.875\n",
                             "  material IDs: 0 \"Stone\" (8 faces), 1 \"Moss\" (4 faces)\n",
                             "  groups (for --select-group): \"CubeMesh-0\", \"CubeMesh-1\"\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    const CliResult named = RunMurkwell({"info", kFixtures + "cube_one_material.fbx"});
    EXPECT_NE(named.out.find("  channel 1 \"UVMap\": 24 map vertices"), std::string::npos) << named.out;
    EXPECT_NE(named.out.find("  channel 2 \"Detail\": 24 map vertices"), std::string::npos) << named.out;
    const CliResult scene = RunMurkwell({"info", kFixtures + "scene.glb"});
    ASSERT_EQ(scene.code, kExitDone) << scene.err;
    EXPECT_NE(scene.out.find("object \"Dots\": 0 faces, 0 vertices\n  no faces: cannot be baked\n"), std::string::npos)
        << scene.out;
    EXPECT_NE(scene.err.find("warning: " + kFixtures + "scene.glb: 6 point(s) and 2 line(s) skipped"), std::string::npos)
        << scene.err;
}
