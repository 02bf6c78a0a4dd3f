// Smoothing groups settled on import: from the file's groups, from its normals, from angles, or
// none; what auto picks; and what the vertex normal table makes of the result (a hard edge must
// give each side its own flat normal, a smooth patch one shared normal per vertex).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <map>
#include <numeric>

#include "host/SmoothingPatches.h"
#include "raycast/VertexNormalTable.h"
#include "standalone/ImportSmoothing.h"
#include "standalone/ObjScene.h"
#include "standalone/SceneImport.h"
#include "tests/common/TestPaths.h"

namespace {

std::string Num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

ObjScene Import(const std::string& text, const std::string& smoothing = "auto") {
    ObjScene scene;
    std::string error;
    EXPECT_TRUE(ParseObjScene(text, "mesh", scene, error)) << error;
    ImportOptions options;
    EXPECT_TRUE(ParseSmoothingText(smoothing, options.smoothing, error)) << error;
    EXPECT_TRUE(FinishImport(scene, options, error)) << error;
    return scene;
}

std::vector<DWORD> Bits(const Mesh& m) {
    std::vector<DWORD> bits;
    for (const Face& f : m.faces) bits.push_back(f.smGroup);
    return bits;
}

Point3 FlatNormal(const Mesh& m, int f) {
    const Face& face = m.faces[static_cast<size_t>(f)];
    return Normalize(CrossProd(m.verts[face.v[1]] - m.verts[face.v[0]], m.verts[face.v[2]] - m.verts[face.v[1]]));
}

// The normal the vertex normal table gives face f at its corner k.
Point3 CornerNormal(const VertexNormalTable& table, const Mesh& m, int f, int k) {
    const Face& face = m.faces[static_cast<size_t>(f)];
    return FindNode(table.Head(static_cast<int>(face.v[k])), face.smGroup)->normal;
}

// A unit cube, each side one quad with its own `vn` (as exporters write flat sides), no `s`.
std::string CubeWithFaceNormals() {
    return "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
           "vn 0 0 -1\nvn 0 0 1\nvn 0 -1 0\nvn 0 1 0\nvn -1 0 0\nvn 1 0 0\n"
           "f 1//1 4//1 3//1 2//1\nf 5//2 6//2 7//2 8//2\nf 1//3 2//3 6//3 5//3\n"
           "f 4//4 8//4 7//4 3//4\nf 1//5 5//5 8//5 4//5\nf 2//6 3//6 7//6 6//6\n";
}

// A closed cylinder of `n` side quads: the side smooth (one radial `vn` per rim position, shared
// by the quads on either side), the caps flat (their own `vn`). `sideGroup`/`capGroup` add `s`
// lines before the side and the caps when not empty.
std::string Cylinder(int n, const std::string& sideGroup = "", const std::string& capGroup = "") {
    std::string t;
    for (int i = 0; i < n; ++i) {
        const double a = 2.0 * 3.14159265358979 * i / n;
        t += "v " + Num(std::cos(a)) + " " + Num(std::sin(a)) + " 0\n";
        t += "v " + Num(std::cos(a)) + " " + Num(std::sin(a)) + " 2\n";
        t += "vn " + Num(std::cos(a)) + " " + Num(std::sin(a)) + " 0\n";
    }
    t += "vn 0 0 -1\nvn 0 0 1\n";
    const auto bottom = [&](int i) { return std::to_string(2 * (i % n) + 1); };
    const auto top = [&](int i) { return std::to_string(2 * (i % n) + 2); };
    const auto radial = [&](int i) { return std::to_string(i % n + 1); };
    if (!sideGroup.empty()) t += "s " + sideGroup + "\n";
    for (int i = 0; i < n; ++i)
        t += "f " + bottom(i) + "//" + radial(i) + " " + bottom(i + 1) + "//" + radial(i + 1) + " " + top(i + 1) + "//" +
             radial(i + 1) + " " + top(i) + "//" + radial(i) + "\n";
    if (!capGroup.empty()) t += "s " + capGroup + "\n";
    const std::string down = std::to_string(n + 1), up = std::to_string(n + 2);
    t += "f";
    for (int i = n; i > 0; --i) t += " " + bottom(i) + "//" + down;
    t += "\nf";
    for (int i = 0; i < n; ++i) t += " " + top(i) + "//" + up;
    return t + "\n";
}

// A UV sphere with one `vn` per position (the position itself), so every edge is smooth.
std::string Sphere(int rings, int segments) {
    std::string t = "v 0 0 1\nvn 0 0 1\n";
    for (int r = 1; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const double th = 3.14159265358979 * r / rings, ph = 2.0 * 3.14159265358979 * s / segments;
            const std::string p = Num(std::sin(th) * std::cos(ph)) + " " + Num(std::sin(th) * std::sin(ph)) + " " + Num(std::cos(th));
            t += "v " + p + "\nvn " + p + "\n";
        }
    t += "v 0 0 -1\nvn 0 0 -1\n";
    const auto at = [&](int r, int s) { const int i = 2 + (r - 1) * segments + (s % segments); return std::to_string(i) + "//" + std::to_string(i); };
    const std::string south = std::to_string(2 + (rings - 1) * segments);
    for (int s = 0; s < segments; ++s) t += "f 1//1 " + at(1, s) + " " + at(1, s + 1) + "\n";
    for (int r = 1; r + 1 < rings; ++r)
        for (int s = 0; s < segments; ++s) t += "f " + at(r, s) + " " + at(r + 1, s) + " " + at(r + 1, s + 1) + " " + at(r, s + 1) + "\n";
    for (int s = 0; s < segments; ++s) t += "f " + at(rings - 1, s + 1) + " " + at(rings - 1, s) + " " + south + "//" + south + "\n";
    return t;
}

// An independent partition of the faces into patches: faces joined across edges that `smooth`
// accepts, and the triangles of one polygon joined outright.
std::vector<int> ReferencePatches(const ObjObject& o, const SmoothEdgeTest& smooth) {
    const Mesh& m = o.mesh;
    std::vector<int> parent(m.faces.size());
    std::iota(parent.begin(), parent.end(), 0);
    const auto find = [&](int f) {
        while (parent[static_cast<size_t>(f)] != f) f = parent[static_cast<size_t>(f)];
        return f;
    };
    const auto join = [&](int a, int b) { parent[static_cast<size_t>(find(a))] = find(b); };
    std::map<std::pair<DWORD, DWORD>, std::vector<EdgeSide>> edges;
    for (int f = 0; f < m.getNumFaces(); ++f)
        for (int k = 0; k < 3; ++k) {
            DWORD a = m.faces[static_cast<size_t>(f)].v[k], b = m.faces[static_cast<size_t>(f)].v[(k + 1) % 3];
            int ca = k, cb = (k + 1) % 3;
            if (a == b) continue;
            if (b < a) std::swap(a, b), std::swap(ca, cb);
            edges[{a, b}].push_back({f, ca, cb});
        }
    for (const auto& [key, sides] : edges)
        for (size_t i = 0; i < sides.size(); ++i)
            for (size_t j = i + 1; j < sides.size(); ++j)
                if (smooth(sides[i], sides[j])) join(sides[i].face, sides[j].face);
    for (size_t f = 1; f < o.polygonOfFace.size(); ++f)
        if (o.polygonOfFace[f] == o.polygonOfFace[f - 1]) join(static_cast<int>(f), static_cast<int>(f - 1));
    std::vector<int> patch(m.faces.size());
    for (size_t f = 0; f < patch.size(); ++f) patch[f] = find(static_cast<int>(f));
    return patch;
}

// Each patch's faces share their one bit, and two patches that share a vertex share no bit.
void ExpectColouringKeepsPatchesApart(const ObjObject& o, const std::vector<int>& patch) {
    const Mesh& m = o.mesh;
    std::map<int, DWORD> bitOfPatch;
    for (size_t f = 0; f < patch.size(); ++f) {
        const auto [it, added] = bitOfPatch.emplace(patch[f], m.faces[f].smGroup);
        EXPECT_EQ(it->second, m.faces[f].smGroup) << "face " << f;
        EXPECT_EQ(std::popcount(m.faces[f].smGroup), 1) << "face " << f;
    }
    EXPECT_EQ(o.smoothing.patches, static_cast<int>(bitOfPatch.size()));
    std::vector<std::map<int, DWORD>> around(m.verts.size());
    for (size_t f = 0; f < patch.size(); ++f)
        for (int k = 0; k < 3; ++k) around[m.faces[f].v[k]][patch[f]] = m.faces[f].smGroup;
    int clashes = 0;
    for (const auto& patches : around) {
        DWORD seen = 0;
        for (const auto& [p, bit] : patches) {
            if (seen & bit) {
                clashes++;  // a crowded vertex
                break;
            }
            seen |= bit;
        }
    }
    EXPECT_EQ(clashes, o.smoothing.crowdedVertices);
}

}  // namespace

TEST(ImportSmoothing, CubeWithFaceNormalsGetsSixHardSidesWithExactlyFlatNormals) {
    const ObjScene s = Import(CubeWithFaceNormals());  // auto: no `s` lines, the faces carry normals
    const ObjObject& o = s.objects[0];
    EXPECT_EQ(o.smoothing.source, SmoothingSource::Normals);
    EXPECT_TRUE(o.smoothing.chosenByAuto);
    EXPECT_EQ(o.smoothing.patches, 6);
    EXPECT_EQ(o.smoothing.crowdedVertices, 0);
    VertexNormalTable table;
    table.Build(o.mesh);
    for (int f = 0; f < o.mesh.getNumFaces(); ++f)
        for (int k = 0; k < 3; ++k) EXPECT_EQ(CornerNormal(table, o.mesh, f, k), FlatNormal(o.mesh, f)) << f << " " << k;

    // The same cube as the file gives it (no groups: every face 0) takes a neighbour's normal at
    // some corners, which is what smoothing from normals repairs.
    const ObjScene groups = Import(CubeWithFaceNormals(), "groups");
    EXPECT_EQ(Bits(groups.objects[0].mesh), std::vector<DWORD>(12, 0u));
    VertexNormalTable flat;
    flat.Build(groups.objects[0].mesh);
    int tilted = 0;
    for (int f = 0; f < 12; ++f)
        for (int k = 0; k < 3; ++k) tilted += CornerNormal(flat, groups.objects[0].mesh, f, k) != FlatNormal(groups.objects[0].mesh, f);
    EXPECT_GT(tilted, 0);
}

TEST(ImportSmoothing, CylinderHasASmoothSideAndHardCaps) {
    const int n = 12;
    const ObjScene s = Import(Cylinder(n));
    const ObjObject& o = s.objects[0];
    ASSERT_EQ(o.smoothing.source, SmoothingSource::Normals);
    EXPECT_EQ(o.smoothing.patches, 3);
    const DWORD side = o.mesh.faces[0].smGroup;
    const DWORD bottom = o.mesh.faces[2 * n].smGroup;
    const DWORD top = o.mesh.faces[static_cast<size_t>(2 * n + n - 2)].smGroup;
    EXPECT_EQ(side & bottom, 0u);
    EXPECT_EQ(side & top, 0u);
    VertexNormalTable table;
    table.Build(o.mesh);
    // Vertex 0 is the rim vertex (1, 0, 0) at the bottom: radial on the side, straight down on the cap.
    const VertexNormalNode* sideNode = FindNode(table.Head(0), side);
    const VertexNormalNode* capNode = FindNode(table.Head(0), bottom);
    EXPECT_GT(sideNode->normal.x, 0.99f);  // the blend of the side faces there (area-weighted)
    EXPECT_EQ(sideNode->normal.z, 0.0f);
    EXPECT_EQ(capNode->normal, Point3(0, 0, -1));
}

TEST(ImportSmoothing, SphereWithSharedNormalsIsOneSmoothPatch) {
    const ObjScene s = Import(Sphere(8, 12));
    const ObjObject& o = s.objects[0];
    EXPECT_EQ(o.smoothing.patches, 1);
    EXPECT_EQ(o.smoothing.bitsUsed, 1);
    VertexNormalTable table;
    table.Build(o.mesh);
    for (int v = 0; v < table.Count(); ++v) EXPECT_EQ(table.Head(v)->next, nullptr) << "vertex " << v;  // one normal each
}

TEST(ImportSmoothing, GroupsAndNormalsThatAgreeGiveTheSameSmoothing) {
    // As exporters write it: `s 1` on the side, `s 2` on both caps (they share no vertex), and
    // normals that say the same.
    const std::string text = Cylinder(10, "1", "2");
    const ObjScene byGroups = Import(text);  // auto: the faces carry groups
    const ObjScene byNormals = Import(text, "normals");
    EXPECT_EQ(byGroups.objects[0].smoothing.source, SmoothingSource::Groups);
    EXPECT_EQ(byNormals.objects[0].smoothing.source, SmoothingSource::Normals);
    EXPECT_EQ(Bits(byGroups.objects[0].mesh), Bits(byNormals.objects[0].mesh));
    EXPECT_EQ(Bits(byGroups.objects[0].mesh)[0], 1u);
}

TEST(ImportSmoothing, AutoPicksGroupsThenNormalsThenNone) {
    // `s off` everywhere with flat normals (a flat-shaded export): no groups to use, so normals.
    const ObjScene off = Import("s off\n" + CubeWithFaceNormals());
    EXPECT_EQ(off.objects[0].smoothing.source, SmoothingSource::Normals);
    EXPECT_EQ(off.objects[0].smoothing.patches, 6);
    // Per object: one with groups, one with normals, one with neither.
    const ObjScene three = Import(
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\n"
        "o grouped\ns 3\nf 1 2 3\no normal\ns off\nf 1//1 2//1 3//1\no bare\nf 1 2 3\n");
    ASSERT_EQ(three.objects.size(), 3u);
    EXPECT_EQ(three.objects[0].smoothing.source, SmoothingSource::Groups);
    EXPECT_EQ(three.objects[0].mesh.faces[0].smGroup, 4u);
    EXPECT_EQ(three.objects[1].smoothing.source, SmoothingSource::Normals);
    EXPECT_EQ(three.objects[2].smoothing.source, SmoothingSource::None);
    // A choice given overrides the file; none clears its groups.
    const ObjScene none = Import(Cylinder(6, "1", "2"), "none");
    EXPECT_EQ(Bits(none.objects[0].mesh), std::vector<DWORD>(none.objects[0].mesh.faces.size(), 0u));
    EXPECT_FALSE(none.objects[0].smoothing.chosenByAuto);
}

TEST(ImportSmoothing, AngleSmoothingJoinsEachPolygonAndSplitsAtSharpEdges) {
    EXPECT_EQ(Import(CubeWithFaceNormals(), "angle:30").objects[0].smoothing.patches, 6);
    EXPECT_EQ(Import(CubeWithFaceNormals(), "angle:90").objects[0].smoothing.patches, 1);
    // A quad bent along its fan diagonal stays one patch even at 0 degrees: it is one polygon.
    const ObjScene bent = Import("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 1\nf 1 2 3 4\n", "angle:0");
    EXPECT_EQ(bent.objects[0].smoothing.patches, 1);
    // Normals asked of a file without any: flat polygons, and a warning.
    const ObjScene bare = Import("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 1\nf 1 2 3 4\nf 1 3 2\n", "normals");
    EXPECT_EQ(bare.objects[0].smoothing.patches, 2);
    ASSERT_EQ(bare.warnings.size(), 1u);
    EXPECT_NE(bare.warnings[0].find("has no normals"), std::string::npos);
}

TEST(ImportSmoothing, ThirtyThreeHardPatchesAroundAVertexWarnOnceWithTheCount) {
    // A fan of 40 triangles around one vertex, each with its own normal: 40 patches meet there.
    std::string t = "v 0 0 0\n";
    for (int i = 0; i < 40; ++i) {
        const double a = 2.0 * 3.14159265358979 * i / 40;
        t += "v " + Num(std::cos(a)) + " " + Num(std::sin(a)) + " " + Num(0.1 * (i % 2)) + "\nvn 0 0 " +
             std::to_string(i + 1) + "\n";
    }
    for (int i = 0; i < 40; ++i) {
        const std::string n = "//" + std::to_string(i + 1);
        t += "f 1" + n + " " + std::to_string(2 + i) + n + " " + std::to_string(2 + (i + 1) % 40) + n + "\n";
    }
    const ObjScene s = Import(t);
    EXPECT_EQ(s.objects[0].smoothing.patches, 40);
    EXPECT_EQ(s.objects[0].smoothing.crowdedVertices, 1);
    ASSERT_EQ(s.warnings.size(), 1u);
    EXPECT_NE(s.warnings[0].find("cannot keep the patches apart at 1 vertices"), std::string::npos) << s.warnings[0];
}

// On the shared meshes with normals: every patch one bit, no two patches at a vertex sharing one.
class ImportSmoothingSharedMeshes : public ::testing::TestWithParam<const char*> {};

TEST_P(ImportSmoothingSharedMeshes, ColouringKeepsPatchesMeetingAtAVertexApart) {
    MURKWELL_REQUIRE_SHARED_MESH(path, GetParam());
    for (const char* choice : {"normals", "angle:30"}) {
        SCOPED_TRACE(choice);
        ImportOptions options;
        std::string error;
        ASSERT_TRUE(ParseSmoothingText(choice, options.smoothing, error));
        ImportedScene scene;
        ASSERT_TRUE(LoadScene(path, options, scene, error)) << error;
        for (const ObjObject& o : scene.objects) {
            SCOPED_TRACE(o.name);
            if (!o.HasFaces()) continue;
            const std::vector<Point3> polygonNormals = PolygonNormals(o.mesh, o.polygonOfFace);
            const SmoothEdgeTest test = options.smoothing.source == SmoothingSource::Normals
                                            ? SmoothWhereNormalsAgree(o.cornerNormals, o.cornerHasNormal)
                                            : SmoothWithinAngle(polygonNormals, 30.0);
            ExpectColouringKeepsPatchesApart(o, ReferencePatches(o, test));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(, ImportSmoothingSharedMeshes,
                         ::testing::Values("pirate.obj", "spider.obj", "map-bump.obj", "issue-162-smoothing-group.obj"),
                         [](const ::testing::TestParamInfo<const char*>& mesh) {
                             std::string name = mesh.param;
                             name = name.substr(0, name.find('.'));
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });
