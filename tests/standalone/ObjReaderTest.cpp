// The OBJ reader's honesty and its parallel reading: every number read whole and checked, files
// that are no OBJ text refused, and the same scene whatever the stretches and threads (also on
// the shared real meshes, and against the independent test-only reader).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>

#include "standalone/ObjColourWriter.h"
#include "standalone/ObjScene.h"
#include "tests/common/TestMeshes.h"
#include "tests/common/TestPaths.h"

namespace {

std::string ParseError(const std::string& text, const ObjReadOptions& options = {}) {
    ObjScene scene;
    std::string error;
    EXPECT_FALSE(ParseObjScene(text, "mesh", scene, error, options)) << text;
    return error;
}

ObjScene Parse(const std::string& text, const ObjReadOptions& options = {}) {
    ObjScene scene;
    std::string error;
    EXPECT_TRUE(ParseObjScene(text, "mesh", scene, error, options)) << error;
    return scene;
}

template <class T>
bool SameBytes(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

std::vector<std::array<DWORD, 5>> FaceRecords(const Mesh& m) {
    std::vector<std::array<DWORD, 5>> r;
    for (const Face& f : m.faces) r.push_back({f.v[0], f.v[1], f.v[2], f.smGroup, f.flags});
    return r;
}

std::vector<std::array<DWORD, 3>> MapFaces(const Mesh& m) {
    std::vector<std::array<DWORD, 3>> r;
    for (int f = 0; f < m.getNumMapFaces(1); ++f) r.push_back({m.mapFaces(1)[f].t[0], m.mapFaces(1)[f].t[1], m.mapFaces(1)[f].t[2]});
    return r;
}

// Everything the reader fills, compared exactly (floats bit for bit).
void ExpectSameScene(const ObjScene& a, const ObjScene& b) {
    EXPECT_EQ(a.ObjectNames(), b.ObjectNames());
    EXPECT_EQ(a.vertexLines, b.vertexLines);
    EXPECT_EQ(a.texCoordLines, b.texCoordLines);
    EXPECT_EQ(a.normalLines, b.normalLines);
    EXPECT_EQ(a.hasColours, b.hasColours);
    EXPECT_EQ(a.warnings, b.warnings);
    EXPECT_EQ(a.text, b.text);
    ASSERT_EQ(a.objects.size(), b.objects.size());
    for (size_t i = 0; i < a.objects.size(); ++i) {
        const ObjObject& x = a.objects[i];
        const ObjObject& y = b.objects[i];
        SCOPED_TRACE(x.name);
        EXPECT_TRUE(SameBytes(x.mesh.verts, y.mesh.verts));
        EXPECT_EQ(FaceRecords(x.mesh), FaceRecords(y.mesh));
        EXPECT_EQ(x.mesh.getNumMapVerts(1), y.mesh.getNumMapVerts(1));
        if (x.mesh.getNumMapVerts(1) == y.mesh.getNumMapVerts(1) && x.mesh.getNumMapVerts(1) > 0) {
            EXPECT_EQ(std::memcmp(x.mesh.mapVerts(1), y.mesh.mapVerts(1), sizeof(Point3) * size_t(x.mesh.getNumMapVerts(1))), 0);
        }
        EXPECT_EQ(MapFaces(x.mesh), MapFaces(y.mesh));
        EXPECT_TRUE(SameBytes(x.mesh.vertCol, y.mesh.vertCol));
        EXPECT_EQ(x.mesh.vcFace, y.mesh.vcFace);
        EXPECT_EQ(x.materialNames, y.materialNames);
        EXPECT_EQ(x.groupSets, y.groupSets);
        EXPECT_EQ(x.faceGroupSet, y.faceGroupSet);
        EXPECT_EQ(x.vertexSource, y.vertexSource);
        EXPECT_EQ(x.polygonOfFace, y.polygonOfFace);
        EXPECT_TRUE(SameBytes(x.cornerNormals, y.cornerNormals));
        EXPECT_EQ(x.cornerHasNormal, y.cornerHasNormal);
        EXPECT_EQ(x.polygonCount, y.polygonCount);
        EXPECT_EQ(x.facesWithoutTexCoords, y.facesWithoutTexCoords);
        EXPECT_EQ(x.usesSmoothing, y.usesSmoothing);
    }
}

// Five vertices and three texture coordinates: eight lines, so a bad line added after them is
// line 9.
const char* kHead =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0.5 1.5 0\n"
    "vt 0 0\nvt 1 0\nvn 0 0 1\n";

}  // namespace

TEST(ObjReader, EveryNumberIsReadWholeAndABadOneIsNamedWithItsLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"f 1/1 2/2 4294967299/1", "the index 4294967299 is outside the 32-bit range"},
        {"f 1/1 2/2 99999999999999999999/1", "the index 99999999999999999999 is outside the 32-bit range"},
        {"f 1/1 2/-4294967299 3", "the index -4294967299 is outside the 32-bit range"},
        {"f 1 2 3abc", "malformed face corner \"3abc\""},
        {"f 1 2 3/1/1/1", "malformed face corner \"3/1/1/1\""},
        {"f 1 2.0 3", "malformed face corner \"2.0\""},
        {"f 1 0 3", "malformed face corner \"0\": indices start at 1"},
        {"f 1 2 9", "a vertex that does not exist (index 9; the file defines 5)"},
        {"f 1 2 -6", "a vertex that does not exist (a relative index reaching back before the first one"},
        {"f 1/3 2/1 3/1", "a texture coordinate that does not exist (index 3; the file defines 2)"},
        {"f 1//2 2//1 3//1", "a normal that does not exist (index 2; the file defines 1)"},
        {"v 1x 2 3", "vertex coordinate \"1x\" is not a number"},
        {"v 1,5 2 3", "vertex coordinate \"1,5\" is not a number"},
        {"v nan 0 0", "vertex coordinate \"nan\" is not a finite number"},
        {"v 0 -inf 0", "vertex coordinate \"-inf\" is not a finite number"},
        {"v 1e39 0 0", "vertex coordinate \"1e39\" is too large for a float"},
        {"v 0 0 -3.5e38", "vertex coordinate \"-3.5e38\" is too large for a float"},
        {"v 0 0 1e400", "vertex coordinate \"1e400\" is too large for a float"},
        {"v 1 2", "a vertex line needs x y z, x y z w or x y z r g b (it has 2 numbers)"},
        {"v 1 2 3 4 5", "(it has 5 numbers)"},
        {"v", "(it has 0 numbers)"},
        {"vt 0.5 0.5 0 1", "a texture coordinate line needs u, u v or u v w (it has 4 numbers)"},
        {"vt 0.5 0x1", "texture coordinate \"0x1\" is not a number"},
        {"vn 0 1", "a normal line needs x y z (it has 2 numbers)"},
        {"vn 0 0 1e40", "normal coordinate \"1e40\" is too large for a float"},
        {"s 1.5", "malformed smoothing group \"1.5\""},
        {"s -1", "malformed smoothing group \"-1\""},
        {"s 4294967296", "smoothing group 4294967296 is outside the 32-bit range"},
        {"s", "a smoothing group line needs one value"},
        {"s 1 2", "a smoothing group line needs one value"},
    };
    for (const auto& [line, message] : cases) {
        const std::string error = ParseError(std::string(kHead) + line + "\nf 1 2 3\n");
        EXPECT_EQ(error.rfind("line 9: ", 0), 0u) << line << " -> " << error;
        EXPECT_NE(error.find(message), std::string::npos) << line << " -> " << error;
    }
    // The first bad line is the one named, also when the stretches are single lines read on
    // several threads.
    const std::string twoBad = std::string(kHead) + "f 1 2 3\nv 1 2 x\nv 1 2 y\n";
    for (size_t bytes : {size_t(0), size_t(1), size_t(7)}) {
        ObjReadOptions options;
        options.chunkBytes = bytes;
        options.threads = 3;
        EXPECT_EQ(ParseError(twoBad, options), "line 10: vertex coordinate \"x\" is not a number") << bytes;
    }
}

TEST(ObjReader, NumbersThatAreFineAreReadAsTheirNearestFloat) {
    const ObjScene s = Parse(
        "v +1.5 -0 1e-50   # a comment after the numbers\n"
        "v 0.1 1e-40 3.4028234e38 0.5\n"  // w dropped
        "v 1 1. .5\n"
        "vt 0.25\n"                        // v defaults to 0
        "vt 0.5 0.75 1\n"                  // w dropped
        "f 1/1 2/2 3/1 # triangle\n");
    const Mesh& m = s.objects[0].mesh;
    EXPECT_EQ(m.verts[0].x, 1.5f);
    EXPECT_EQ(m.verts[0].z, 0.0f);
    EXPECT_EQ(m.verts[1].x, 0.1f);
    EXPECT_EQ(m.verts[1].y, 1e-40f);  // subnormal, the nearest float
    EXPECT_EQ(m.verts[1].z, 3.4028234e38f);
    EXPECT_EQ(m.verts[2].y, 1.0f);
    EXPECT_EQ(m.verts[2].z, 0.5f);
    ASSERT_EQ(m.getNumMapVerts(1), 2);
    EXPECT_EQ(m.mapVerts(1)[0].y, 0.0f);
    EXPECT_EQ(m.mapVerts(1)[1].y, 0.75f);
    EXPECT_FALSE(s.hasColours);
}

TEST(ObjReader, TextThatIsNoObjOrHoldsNoFacesIsSaidSo) {
    const std::string utf16("\xFF\xFEv\0 \0" "1\0", 8);
    EXPECT_NE(ParseError(utf16).find("not a text OBJ file (it starts with a UTF-16 byte-order mark"), std::string::npos);
    EXPECT_NE(ParseError(std::string("\xFE\xFF\0v", 4)).find("UTF-16"), std::string::npos);
    EXPECT_NE(ParseError(std::string("\xFF\xFE\0\0v\0\0\0", 8)).find("UTF-32 byte-order mark"), std::string::npos);
    EXPECT_NE(ParseError(std::string("\0\0\xFE\xFF", 4)).find("UTF-32"), std::string::npos);
    EXPECT_EQ(ParseError(std::string(kHead) + std::string("f 1 2 3\0\n", 9)),
              "not a text OBJ file (it holds NUL bytes, the first at byte 74)");
    EXPECT_EQ(ParseError(""), "holds no faces");
    EXPECT_EQ(ParseError("# nothing\no empty\n"), "holds no faces");
    EXPECT_EQ(ParseError(kHead), "holds no faces");
    EXPECT_EQ(ParseError(std::string(kHead) + "f 1 2\n"), "holds no faces (only faces with fewer than three corners)");

    // A UTF-8 byte-order mark is skipped, and the kept text (for the coloured copy) goes without it.
    const ObjScene s = Parse("\xEF\xBB\xBFv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    EXPECT_EQ(s.vertexLines, 3);
    EXPECT_EQ(s.text, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
}

TEST(ObjReader, CornerNormalsAreKeptForEveryFanTriangle) {
    const ObjScene s = Parse(std::string(kHead) +
                             "vn 1 0 0\nvn 0 1 0\n"
                             "f 1//1 2//2 3//3 4\n"  // the fourth corner has none
                             "f 3 4 5\n"
                             "f 2//-1 3//-2 5//-3\n");  // relative: 3, 2, 1
    const ObjObject& o = s.objects[0];
    ASSERT_EQ(o.mesh.getNumFaces(), 4);
    ASSERT_EQ(o.cornerNormals.size(), 12u);
    EXPECT_EQ(o.cornerHasNormal, (std::vector<std::uint8_t>{1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(o.cornerNormals[1], Point3(1, 0, 0));  // triangle (c0, c1, c2): c1 has vn 2
    EXPECT_EQ(o.cornerNormals[4], Point3(0, 1, 0));  // triangle (c0, c2, c3): c2 has vn 3
    EXPECT_EQ(o.cornerNormals[9], Point3(0, 1, 0));
    EXPECT_EQ(o.cornerNormals[11], Point3(0, 0, 1));
    EXPECT_EQ(o.polygonOfFace, (std::vector<int>{0, 0, 1, 2}));

    // Without any `vn` on its faces an object keeps no corner normals.
    EXPECT_FALSE(Parse(std::string(kHead) + "f 1 2 3\n").objects[0].HasCornerNormals());
}

TEST(ObjReader, StretchesAndThreadsDoNotChangeTheScene) {
    // Objects, groups, materials and smoothing changing between faces, relative indices reaching
    // back over earlier lines, every line ending, colours on every vertex.
    std::string text;
    for (int i = 0; i < 40; ++i) {
        text += "v " + std::to_string(i) + " " + std::to_string(i % 7) + " 0." + std::to_string(i) + " 0.5 0.25 1\r\n";
        text += "vt 0." + std::to_string(i) + " 0.5\r";
        text += "vn 0 0 1\n";
        if (i % 9 == 0) text += "o part" + std::to_string(i % 2) + "\n";
        if (i % 5 == 0) text += "g g" + std::to_string(i % 3) + " side\n";
        if (i % 4 == 0) text += "usemtl m" + std::to_string(i % 3) + "\n";
        if (i % 6 == 0) text += "s " + std::to_string(i % 4) + "\n";
        if (i >= 3) text += "f -1/-1/-1 -2/-2 -3//-3 " + std::to_string(i - 2) + "\n";
        if (i == 20) text += "f 1 2\n";
    }
    const ObjScene whole = Parse(text);
    ASSERT_EQ(whole.ObjectNames(), (std::vector<std::string>{"part0", "part1"}));
    ASSERT_TRUE(whole.hasColours);
    for (int threads : {1, 2, 5})
        for (size_t bytes : {size_t(1), size_t(16), size_t(100), size_t(1000)}) {
            SCOPED_TRACE(std::to_string(threads) + " threads, stretches of " + std::to_string(bytes));
            ObjReadOptions options;
            options.threads = threads;
            options.chunkBytes = bytes;
            ExpectSameScene(Parse(text, options), whole);
        }
}

TEST(ObjReader, ACommentAfterTheNumbersIsNoColourOfACopiedVertex) {
    // The second object's vertex has a comment of three words after its numbers: it must not
    // pass for a coloured vertex when the first object's colours are written.
    ObjScene s = Parse("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 5 5 5 # far a way\no a\nf 1 2 3\no b\nf 1 2 4\n");
    ObjObject& a = s.objects[0];
    ColouredMesh layout;
    layout.sourceVertex = {0, 1, 2};
    layout.colour = {{0.5f, 0.5f, 0.5f}, {0.25f, 0.25f, 0.25f}, {1, 1, 1}};
    const std::string out = RewriteObjVertexColours(s, a, layout);
    ObjScene back = Parse(out);
    EXPECT_TRUE(back.hasColours) << out;
    EXPECT_NE(out.find("v 5 5 5 1 1 1\n"), std::string::npos) << out;
}

// ---- The shared real meshes ----

class ObjReaderSharedMeshes : public ::testing::TestWithParam<const char*> {};

TEST_P(ObjReaderSharedMeshes, SameSceneForEveryThreadCountAndStretchLength) {
    MURKWELL_REQUIRE_SHARED_MESH(path, GetParam());
    ObjScene reference;
    std::string error;
    ObjReadOptions one;
    one.threads = 1;
    ASSERT_TRUE(LoadObjScene(path, reference, error, one)) << error;
    for (int threads : {2, 4, 7}) {
        ObjReadOptions options;
        options.threads = threads;
        options.chunkBytes = 4096;
        ObjScene scene;
        ASSERT_TRUE(LoadObjScene(path, scene, error, options)) << error;
        SCOPED_TRACE(std::to_string(threads) + " threads");
        ExpectSameScene(scene, reference);
    }
}

// The test-only reader (tinyobjloader, independent of ours) gives every position bit for bit
// and the same triangles over the file's vertices.
TEST_P(ObjReaderSharedMeshes, PositionsAndFacesAgreeWithTheIndependentReader) {
    MURKWELL_REQUIRE_SHARED_MESH(path, GetParam());
    ObjScene scene;
    std::string error;
    ASSERT_TRUE(LoadObjScene(path, scene, error)) << error;
    Mesh independent;
    ASSERT_TRUE(LoadTestObj(path, independent, error)) << error;
    ASSERT_EQ(scene.vertexLines, independent.getNumVerts());
    std::vector<std::array<int, 3>> ours, theirs;
    int differing = 0;
    for (const ObjObject& o : scene.objects) {
        for (size_t i = 0; i < o.vertexSource.size(); ++i) {
            const Point3& p = independent.verts[static_cast<size_t>(o.vertexSource[i])];
            if (std::memcmp(&p, &o.mesh.verts[i], sizeof p) != 0) differing++;
        }
        for (const Face& f : o.mesh.faces)
            ours.push_back({o.vertexSource[f.v[0]], o.vertexSource[f.v[1]], o.vertexSource[f.v[2]]});
    }
    for (const Face& f : independent.faces) theirs.push_back({int(f.v[0]), int(f.v[1]), int(f.v[2])});
    EXPECT_EQ(differing, 0);
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    EXPECT_EQ(ours, theirs);
}

INSTANTIATE_TEST_SUITE_P(, ObjReaderSharedMeshes,
                         ::testing::Values("cornell_box.obj", "issue-162-smoothing-group.obj", "smoothing-normal.obj",
                                           "map-bump.obj", "spider.obj", "pirate.obj", "spot_control_mesh.obj",
                                           "spot.obj", "pizza.obj", "igea.obj"),
                         [](const ::testing::TestParamInfo<const char*>& mesh) {
                             std::string name = mesh.param;
                             name = name.substr(0, name.find('.'));
                             std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                             return name;
                         });
