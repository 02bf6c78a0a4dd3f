// OBJ import: the fixed mapping from OBJ text to host meshes, on small texts and on the shared
// real meshes.
#include <gtest/gtest.h>

#include <filesystem>

#include "standalone/ObjScene.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPaths.h"

namespace {

ObjScene Parse(const std::string& text, const std::string& stem = "mesh") {
    ObjScene scene;
    std::string error;
    EXPECT_TRUE(ParseObjScene(text, stem, scene, error)) << error;
    return scene;
}

std::string ParseError(const std::string& text) {
    ObjScene scene;
    std::string error;
    EXPECT_FALSE(ParseObjScene(text, "mesh", scene, error));
    return error;
}

std::vector<std::array<DWORD, 3>> FaceVerts(const Mesh& m) {
    std::vector<std::array<DWORD, 3>> v;
    for (const Face& f : m.faces) v.push_back({f.v[0], f.v[1], f.v[2]});
    return v;
}

const char* kSquareVerts =
    "v 0 0 0\n"
    "v 1 0 0\n"
    "v 1 1 0\n"
    "v 0 1 0\n"
    "v 0.5 1.5 0\n";

}  // namespace

TEST(ObjImport, PolygonsAreFannedFromTheirFirstCornerInFileOrder) {
    const ObjScene s = Parse(std::string(kSquareVerts) + "f 1 2 3 4 5\nf 3 2 1\n");
    ASSERT_EQ(s.objects.size(), 1u);
    const ObjObject& o = s.objects[0];
    EXPECT_EQ(o.name, "mesh");
    EXPECT_EQ(o.polygonCount, 2);
    using F = std::array<DWORD, 3>;
    EXPECT_EQ(FaceVerts(o.mesh), (std::vector<F>{{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {2, 1, 0}}));
    EXPECT_EQ(o.mesh.getVert(4).y, 1.5f);
    EXPECT_EQ(o.mesh.FaceSel().GetSize(), 4);
    EXPECT_EQ(o.mesh.FaceSel().NumberSet(), 0);
}

TEST(ObjImport, EveryIndexFormAndRelativeIndicesGiveTheSameMesh) {
    const std::string head = std::string(kSquareVerts) + "vt 0 0\nvt 1 0\nvt 1 1\nvn 0 0 1\n";
    const ObjScene plain = Parse(head + "f 1/1 2/2 3/3\n");
    const ObjScene full = Parse(head + "f 1/1/1 2/2/1 3/3/1\n");
    const ObjScene relative = Parse(head + "f -5/-3/-1 -4/-2/-1 -3/-1/-1\n");
    const ObjScene noTex = Parse(head + "f 1//1 2//1 3//1\n");
    for (const ObjScene* s : {&plain, &full, &relative, &noTex}) {
        ASSERT_EQ(s->objects.size(), 1u);
        EXPECT_EQ(FaceVerts(s->objects[0].mesh), FaceVerts(plain.objects[0].mesh));
    }
    // The three texture-mapped forms put the same (u, v, 0) at the corners.
    for (const ObjScene* s : {&plain, &full, &relative}) {
        const Mesh& m = s->objects[0].mesh;
        ASSERT_EQ(m.getNumMapVerts(1), 3);
        const TVFace& tf = m.mapFaces(1)[0];
        EXPECT_EQ(m.mapVerts(1)[tf.t[1]].x, 1.0f);
        EXPECT_EQ(m.mapVerts(1)[tf.t[2]].y, 1.0f);
        EXPECT_EQ(m.mapVerts(1)[tf.t[2]].z, 0.0f);
    }
    // Only vertices the faces use are kept.
    EXPECT_EQ(plain.objects[0].mesh.getNumVerts(), 3);
    EXPECT_EQ(plain.objects[0].vertexSource, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(noTex.objects[0].mesh.getNumMapVerts(1), 0);
}

TEST(ObjImport, SmoothingGroupNumbersBecomeBits) {
    std::string text = kSquareVerts;
    for (const char* s : {"s 1", "s 2", "s 32", "s 33", "s off", "s 0", "s 5"}) text += std::string(s) + "\nf 1 2 3\n";
    const ObjScene scene = Parse(text);
    std::vector<DWORD> bits;
    for (const Face& f : scene.objects[0].mesh.faces) bits.push_back(f.getSmGroup());
    EXPECT_EQ(bits, (std::vector<DWORD>{1u, 2u, 0x80000000u, 1u, 0u, 0u, 16u}));
    EXPECT_TRUE(scene.objects[0].usesSmoothing);
}

TEST(ObjImport, MaterialIdsFollowFirstUsePerObjectWithNoMaterialAsAnEntry) {
    const ObjScene s = Parse(std::string(kSquareVerts) +
                             "o first\n"
                             "f 1 2 3\n"       // no material yet: the "no material" entry, ID 0
                             "usemtl bark\n"
                             "f 1 2 3\n"       // 1
                             "usemtl moss\n"
                             "f 1 2 3\n"       // 2
                             "usemtl bark\n"
                             "f 1 2 3\n"       // 1 again
                             "o second\n"      // material state carries over: moss
                             "usemtl moss\n"
                             "f 1 2 3\n"
                             "usemtl bark\n"
                             "f 1 2 3\n");
    ASSERT_EQ(s.objects.size(), 2u);
    std::vector<int> ids;
    for (const Face& f : s.objects[0].mesh.faces) ids.push_back(f.getMatID());
    EXPECT_EQ(ids, (std::vector<int>{0, 1, 2, 1}));
    EXPECT_EQ(s.objects[0].materialNames, (std::vector<std::string>{"", "bark", "moss"}));
    ids.clear();
    for (const Face& f : s.objects[1].mesh.faces) ids.push_back(f.getMatID());
    EXPECT_EQ(ids, (std::vector<int>{0, 1}));
    EXPECT_EQ(s.objects[1].materialNames, (std::vector<std::string>{"moss", "bark"}));
}

TEST(ObjImport, ObjectsComeFromOLinesThenFromGLines) {
    // With `o`: faces before the first `o` form the file's own object, an `o` without faces is
    // kept, a repeated name continues its object, and `g` only groups.
    const ObjScene withO = Parse(std::string(kSquareVerts) +
                                     "f 1 2 3\n"
                                     "o left\ng a\nf 1 2 3\ng b\nf 2 3 4\n"
                                     "o empty\n"
                                     "o right\nf 3 4 5\n"
                                     "o left\nf 1 3 5\n",
                                 "scene");
    EXPECT_EQ(withO.ObjectNames(), (std::vector<std::string>{"scene", "left", "empty", "right"}));
    EXPECT_EQ(withO.objects[1].mesh.getNumFaces(), 3);
    EXPECT_FALSE(withO.objects[2].HasFaces());
    EXPECT_EQ(withO.objects[1].GroupNames(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(withO.objects[1].vertexSource, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(withO.objects[3].vertexSource, (std::vector<int>{2, 3, 4}));

    // Without `o`: each distinct `g` name list is an object; a `g` without faces makes none.
    const ObjScene withG = Parse(std::string(kSquareVerts) +
                                 "g front cube\nf 1 2 3\ng unused\ng back cube\nf 2 3 4\ng front cube\nf 3 4 5\n");
    EXPECT_EQ(withG.ObjectNames(), (std::vector<std::string>{"front cube", "back cube"}));
    EXPECT_EQ(withG.objects[0].mesh.getNumFaces(), 2);
}

TEST(ObjImport, FacesWithoutTextureCoordinatesPointOutsideTheTextureSquare) {
    const ObjScene s = Parse(std::string(kSquareVerts) + "vt 0.25 0.5\nvt 1 0\nvt 1 1\n" +
                             "f 1/1 2/2 3/3\n"
                             "f 1 3 4\n"
                             "f 1/1 3/3 4\n");  // only partly mapped: treated as unmapped
    const Mesh& m = s.objects[0].mesh;
    ASSERT_EQ(m.getNumMapVerts(1), 4);
    EXPECT_EQ(s.objects[0].facesWithoutTexCoords, 2);
    for (int f : {1, 2})
        for (int k = 0; k < 3; ++k) {
            const Point3& p = m.mapVerts(1)[m.mapFaces(1)[f].t[k]];
            EXPECT_LT(p.x, -0.001f);
            EXPECT_LT(p.y, -0.001f);
        }
    const Point3& first = m.mapVerts(1)[m.mapFaces(1)[0].t[0]];
    EXPECT_EQ(first.x, 0.25f);
    EXPECT_EQ(first.y, 0.5f);
}

TEST(ObjImport, VertexColoursOnlyWhenEveryVertexHasOne) {
    const ObjScene coloured = Parse(
        "v 0 0 0 1 0 0\nv 1 0 0 0 1 0\nv 0 1 0 0 0 1\nv 5 5 5 0.5 0.5 0.5\n"
        "f 4 2 3\n");
    ASSERT_TRUE(coloured.hasColours);
    const Mesh& m = coloured.objects[0].mesh;
    ASSERT_EQ(m.getNumVertCol(), 3);
    ASSERT_EQ(m.getNumVCFaces(), 1);
    EXPECT_EQ(m.vcFace[0], TVFace(m.faces[0].v[0], m.faces[0].v[1], m.faces[0].v[2]));
    // Vertex 0 of the mesh is the file's second vertex (green).
    EXPECT_EQ(m.vertCol[0].y, 1.0f);
    EXPECT_EQ(m.vertCol[2].x, 0.5f);

    const ObjScene partial = Parse("v 0 0 0 1 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    EXPECT_FALSE(partial.hasColours);
    EXPECT_EQ(partial.objects[0].mesh.getNumVertCol(), 0);
    ASSERT_EQ(partial.warnings.size(), 1u);
    EXPECT_NE(partial.warnings[0].find("only 1 of 3"), std::string::npos);
}

TEST(ObjImport, MalformedFilesAreRefusedWithTheLine) {
    EXPECT_NE(ParseError(std::string(kSquareVerts) + "f 1 2 9\n").find("line 6"), std::string::npos);
    EXPECT_NE(ParseError(std::string(kSquareVerts) + "f 1 2 -9\n").find("vertex that does not exist"), std::string::npos);
    EXPECT_NE(ParseError(std::string(kSquareVerts) + "f 1 0 2\n").find("malformed"), std::string::npos);
    EXPECT_NE(ParseError(std::string(kSquareVerts) + "f 1 x 2\n").find("malformed"), std::string::npos);
    EXPECT_NE(ParseError(std::string(kSquareVerts) + "vt 0 0\nf 1/2 2/1 3/1\n").find("texture coordinate"),
              std::string::npos);
    // Any number of corners is read: a polygon of 300 corners fans into 298 triangles.
    std::string huge = std::string(kSquareVerts) + "f";
    for (int i = 0; i < 300; ++i) huge += " " + std::to_string(1 + i % 5);
    EXPECT_EQ(Parse(huge + "\n").objects[0].mesh.getNumFaces(), 298);
    // A face of two corners is skipped with a warning, not an error.
    const ObjScene s = Parse(std::string(kSquareVerts) + "f 1 2\nf 1 2 3\n");
    EXPECT_EQ(s.objects[0].mesh.getNumFaces(), 1);
    EXPECT_EQ(s.warnings.size(), 1u);
}

TEST(ObjImport, LoadingReportsMissingFilesAndIgnoresMissingMaterialLibraries) {
    ScopedTempDir dir;
    ObjScene scene;
    std::string error;
    EXPECT_FALSE(LoadObjScene(dir.File("absent.obj"), scene, error));
    EXPECT_NE(error.find("no such file"), std::string::npos);
    EXPECT_FALSE(LoadObjScene(dir.Path().string(), scene, error));
    EXPECT_NE(error.find("directory"), std::string::npos);

    WriteWholeFile(dir.Path() / "part.obj", "mtllib nowhere.mtl\nusemtl red\nv 0 0 0\r\nv 1 0 0\rv 0 1 0\nf 1 2 3\n");
    ASSERT_TRUE(LoadObjScene(dir.File("part.obj"), scene, error)) << error;
    ASSERT_EQ(scene.objects.size(), 1u);
    EXPECT_EQ(scene.objects[0].name, "part");
    EXPECT_EQ(scene.objects[0].materialNames, (std::vector<std::string>{"red"}));
    EXPECT_EQ(scene.objects[0].mesh.getVert(2).y, 1.0f);  // all three line endings
}

TEST(ObjImport, SelectGroupFacesSelectsEveryFaceUnderANamedGroup) {
    ObjScene s = Parse(std::string(kSquareVerts) +
                       "o thing\nf 1 2 3\ng lid rim\nf 1 2 3 4\ng base\nf 2 3 4\ng rim\nf 3 4 5\n");
    ObjObject& o = s.objects[0];
    std::string error;
    ASSERT_TRUE(SelectGroupFaces(o, {"rim"}, error)) << error;
    std::vector<int> selected;
    for (int f = 0; f < o.mesh.getNumFaces(); ++f) selected.push_back(o.mesh.FaceSel()[f]);
    EXPECT_EQ(selected, (std::vector<int>{0, 1, 1, 0, 1}));
    ASSERT_TRUE(SelectGroupFaces(o, {"base", "lid"}, error));
    EXPECT_EQ(o.mesh.FaceSel().NumberSet(), 3);
    EXPECT_FALSE(SelectGroupFaces(o, {"rim", "roof"}, error));
    EXPECT_NE(error.find("\"roof\""), std::string::npos);
    EXPECT_NE(error.find("lid, rim, base"), std::string::npos);
}

// ---- The shared real meshes ----

TEST(ObjImportSharedMeshes, CornellBoxObjectsAndRelativeIndices) {
    MURKWELL_REQUIRE_SHARED_MESH(path, "cornell_box.obj");
    ObjScene s;
    std::string error;
    ASSERT_TRUE(LoadObjScene(path, s, error)) << error;
    EXPECT_EQ(s.ObjectNames(), (std::vector<std::string>{"floor", "light", "ceiling", "back_wall", "front_wall",
                                                          "green_wall", "red_wall", "short_block", "tall_block"}));
    std::vector<int> faces;
    int total = 0;
    for (const auto& o : s.objects) {
        faces.push_back(o.mesh.getNumFaces());
        total += o.mesh.getNumFaces();
    }
    EXPECT_EQ(faces, (std::vector<int>{6, 2, 2, 2, 0, 2, 2, 10, 10}));
    EXPECT_EQ(total, 36);
    EXPECT_EQ(s.vertexLines, 76);
    // "f -4 -3 -2 -1" of the light: the four vertices just above it, fanned.
    const ObjObject& light = s.objects[1];
    ASSERT_EQ(light.mesh.getNumVerts(), 4);
    EXPECT_EQ(light.vertexSource, (std::vector<int>{12, 13, 14, 15}));
    const Point3& c2 = light.mesh.getVert(static_cast<int>(light.mesh.faces[1].v[2]));
    EXPECT_EQ(c2.x, 213.0f);
    EXPECT_EQ(c2.z, 227.0f);
    EXPECT_EQ(light.materialNames, (std::vector<std::string>{"light"}));
    // short_block: five quads of four fresh vertices each.
    EXPECT_EQ(s.objects[7].mesh.getNumVerts(), 20);
    EXPECT_EQ(s.objects[7].polygonCount, 5);
}

TEST(ObjImportSharedMeshes, SmoothingGroupFileGivesBitsPerFace) {
    MURKWELL_REQUIRE_SHARED_MESH(path, "issue-162-smoothing-group.obj");
    ObjScene s;
    std::string error;
    ASSERT_TRUE(LoadObjScene(path, s, error)) << error;
    ASSERT_EQ(s.ObjectNames(), (std::vector<std::string>{"test1", "test2"}));
    std::vector<DWORD> bits;
    for (const auto& o : s.objects)
        for (const Face& f : o.mesh.faces) bits.push_back(f.getSmGroup());
    // s 1, s off, s 3, s 4, s 0, s 6 over pairs of faces.
    EXPECT_EQ(bits, (std::vector<DWORD>{1, 1, 0, 0, 4, 4, 8, 8, 0, 0, 32, 32}));
    EXPECT_EQ(s.objects[1].materialNames, (std::vector<std::string>{"test2"}));
    EXPECT_EQ(s.objects[1].mesh.getNumMapVerts(1), 4);
}

TEST(ObjImportSharedMeshes, SpiderGroupsBecomeObjects) {
    MURKWELL_REQUIRE_SHARED_MESH(path, "spider.obj");
    ObjScene s;
    std::string error;
    ASSERT_TRUE(LoadObjScene(path, s, error)) << error;
    EXPECT_EQ(s.objects.size(), 19u);
    int total = 0;
    for (const auto& o : s.objects) {
        total += o.mesh.getNumFaces();
        EXPECT_TRUE(o.usesSmoothing) << o.name;
        ASSERT_EQ(o.materialNames.size(), 1u) << o.name;
    }
    EXPECT_EQ(total, 1368);
    EXPECT_EQ(s.objects[s.FindObject("Kopf")].materialNames[0], "Skin");
}

TEST(ObjImportSharedMeshes, SpotAndPirateCounts) {
    MURKWELL_REQUIRE_SHARED_MESH(spot, "spot.obj");
    ObjScene s;
    std::string error;
    ASSERT_TRUE(LoadObjScene(spot, s, error)) << error;
    ASSERT_EQ(s.objects.size(), 1u);
    EXPECT_EQ(s.objects[0].name, "spot");
    EXPECT_EQ(s.objects[0].mesh.getNumFaces(), 5856);
    EXPECT_EQ(s.objects[0].mesh.getNumVerts(), 2930);
    EXPECT_EQ(s.objects[0].mesh.getNumMapVerts(1), 3225);
    EXPECT_EQ(s.objects[0].facesWithoutTexCoords, 0);
    EXPECT_FALSE(s.objects[0].usesSmoothing);

    MURKWELL_REQUIRE_SHARED_MESH(pirate, "pirate.obj");  // its .mtl is missing: still loads
    ASSERT_TRUE(LoadObjScene(pirate, s, error)) << error;
    ASSERT_EQ(s.objects.size(), 1u);
    EXPECT_EQ(s.objects[0].polygonCount, 2527);
    EXPECT_EQ(s.objects[0].mesh.getNumFaces(), 5010);
    EXPECT_EQ(s.objects[0].materialNames.size(), 7u);
}
