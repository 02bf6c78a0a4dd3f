// Smoothing bits from smooth edges: patches, their bits, and what the vertex normal table makes
// of them (a hard edge must give each side its own flat normal, a smooth one a shared normal).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "host/SmoothingPatches.h"
#include "raycast/VertexNormalTable.h"

namespace {

Mesh MakeMesh(const std::vector<Point3>& verts, const std::vector<std::array<int, 3>>& tris) {
    Mesh m;
    m.setNumVerts(static_cast<int>(verts.size()));
    for (size_t i = 0; i < verts.size(); ++i) m.verts[i] = verts[i];
    m.setNumFaces(static_cast<int>(tris.size()));
    for (size_t i = 0; i < tris.size(); ++i) m.faces[i].setVerts(tris[i][0], tris[i][1], tris[i][2]);
    return m;
}

// A unit cube, outward winding, two triangles per side (sides in the order -z, +z, -y, +y, -x, +x).
Mesh Cube() {
    return MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
                    {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                     {3, 7, 6}, {3, 6, 2}, {0, 4, 7}, {0, 7, 3}, {1, 2, 6}, {1, 6, 5}});
}

// A closed cylinder of `segments` side quads (two triangles each) with fan caps around a centre
// vertex at each end. Faces: the side first, then the bottom cap, then the top cap.
Mesh Cylinder(int segments) {
    std::vector<Point3> v;
    std::vector<std::array<int, 3>> t;
    for (int i = 0; i < segments; ++i) {
        const double a = 2.0 * 3.14159265358979 * i / segments;
        v.push_back({static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), 0.0f});
        v.push_back({static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), 2.0f});
    }
    const int bottom = static_cast<int>(v.size()), top = bottom + 1;
    v.push_back({0, 0, 0});
    v.push_back({0, 0, 2});
    for (int i = 0; i < segments; ++i) {
        const int j = (i + 1) % segments;
        t.push_back({2 * i, 2 * j, 2 * j + 1});
        t.push_back({2 * i, 2 * j + 1, 2 * i + 1});
    }
    for (int i = 0; i < segments; ++i) t.push_back({bottom, 2 * ((i + 1) % segments), 2 * i});
    for (int i = 0; i < segments; ++i) t.push_back({top, 2 * i + 1, 2 * ((i + 1) % segments) + 1});
    return MakeMesh(v, t);
}

SmoothingPatches ByAngle(Mesh& mesh, double degrees, std::span<const int> polygons = {}) {
    const std::vector<Point3> normals = PolygonNormals(mesh, polygons);
    SmoothingPatches p = ColourSmoothingPatches(mesh, SmoothWithinAngle(normals, degrees), polygons);
    for (int f = 0; f < mesh.getNumFaces(); ++f) mesh.faces[static_cast<size_t>(f)].setSmGroup(p.faceBits[static_cast<size_t>(f)]);
    return p;
}

// No two distinct patches that share a vertex may share a bit (else the normal table blends them).
// Patches are told apart by `patchOf`, a reference partition of the faces.
void ExpectPatchesApartAtEveryVertex(const Mesh& mesh, const std::vector<int>& patchOf) {
    for (int v = 0; v < mesh.getNumVerts(); ++v) {
        std::vector<std::pair<int, DWORD>> seen;
        for (int f = 0; f < mesh.getNumFaces(); ++f) {
            const Face& face = mesh.faces[static_cast<size_t>(f)];
            if (face.v[0] != DWORD(v) && face.v[1] != DWORD(v) && face.v[2] != DWORD(v)) continue;
            for (const auto& [patch, bits] : seen) {
                if (patch != patchOf[static_cast<size_t>(f)]) {
                    EXPECT_EQ(bits & face.smGroup, 0u) << "vertex " << v << " face " << f;
                }
            }
            seen.push_back({patchOf[static_cast<size_t>(f)], face.smGroup});
        }
    }
}

Point3 FlatNormal(const Mesh& m, int f) {
    const Face& face = m.faces[static_cast<size_t>(f)];
    return Normalize(CrossProd(m.verts[face.v[1]] - m.verts[face.v[0]], m.verts[face.v[2]] - m.verts[face.v[1]]));
}

}  // namespace

TEST(SmoothingPatches, CubeByAngleGivesSixHardSidesWithExactlyFlatNormals) {
    Mesh cube = Cube();
    const SmoothingPatches p = ByAngle(cube, 30.0);
    EXPECT_EQ(p.patchCount, 6);
    EXPECT_EQ(p.crowdedVertices, 0);
    EXPECT_LE(p.bitsUsed, 6);
    for (int f = 0; f < 12; f += 2) EXPECT_EQ(p.faceBits[static_cast<size_t>(f)], p.faceBits[static_cast<size_t>(f) + 1]);
    ExpectPatchesApartAtEveryVertex(cube, {0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5});

    // Every corner of every face reads back its own side's normal, exactly.
    VertexNormalTable table;
    table.Build(cube);
    for (int f = 0; f < 12; ++f) {
        const Face& face = cube.faces[static_cast<size_t>(f)];
        for (int k = 0; k < 3; ++k) {
            const VertexNormalNode* node = FindNode(table.Head(static_cast<int>(face.v[k])), face.smGroup);
            EXPECT_EQ(node->normal, FlatNormal(cube, f)) << "face " << f << " corner " << k;
        }
    }
}

TEST(SmoothingPatches, CylinderHasASmoothSideAndTwoHardCaps) {
    Mesh cyl = Cylinder(16);
    const SmoothingPatches p = ByAngle(cyl, 30.0);
    ASSERT_EQ(p.patchCount, 3);
    // The caps share no vertex, so they may share a bit; both differ from the side.
    EXPECT_EQ(p.bitsUsed, 2);
    const DWORD side = p.faceBits[0], bottom = p.faceBits[32], top = p.faceBits[48];
    EXPECT_NE(side & bottom, side);
    EXPECT_NE(side & top, side);
    std::vector<int> patchOf(64);
    for (int f = 0; f < 64; ++f) patchOf[static_cast<size_t>(f)] = f < 32 ? 0 : (f < 48 ? 1 : 2);
    ExpectPatchesApartAtEveryVertex(cyl, patchOf);

    // A rim vertex: the side's normal there is radial (smooth), the cap's is straight down (hard).
    VertexNormalTable table;
    table.Build(cyl);
    const VertexNormalNode* sideNode = FindNode(table.Head(0), side);
    const VertexNormalNode* capNode = FindNode(table.Head(0), bottom);
    EXPECT_GT(sideNode->normal.x, 0.99f);
    EXPECT_NEAR(sideNode->normal.z, 0.0f, 1e-6f);
    EXPECT_NEAR(capNode->normal.z, -1.0f, 1e-6f);
    // At 60 degrees the side's 22.5-degree creases are smooth too; at 20 every side quad is hard.
    EXPECT_EQ(ByAngle(cyl, 60.0).patchCount, 3);
    EXPECT_EQ(ByAngle(cyl, 20.0).patchCount, 16 + 2);
}

TEST(SmoothingPatches, AngleLimitIsInclusiveAndSliversJoinNothing) {
    // Two triangles folded at exactly 90 degrees along the edge (0, 1), and a collapsed one (its
    // corners on one line) on the same edge.
    Mesh m = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {2, 0, 0}},
                      {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}});
    const SmoothingPatches smooth = ByAngle(m, 90.0);
    EXPECT_EQ(smooth.patchCount, 2);
    EXPECT_EQ(smooth.faceBits[0], smooth.faceBits[1]);
    // The sliver keeps a patch of its own, so it cannot join the two sides of a hard edge.
    const SmoothingPatches hard = ByAngle(m, 89.9);
    EXPECT_EQ(hard.patchCount, 3);
    EXPECT_EQ(hard.bitsUsed, 3);
    // Three faces on one edge (a fin): each pair is tested.
    EXPECT_EQ(ByAngle(m, 180.0).patchCount, 2);
    EXPECT_EQ(ByAngle(m, 0.0).patchCount, 3);
}

TEST(SmoothingPatches, TrianglesOfOnePolygonAlwaysJoin) {
    // A quad folded by 90 degrees along its diagonal (0, 2), fanned into two triangles.
    Mesh m = MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 1}}, {{0, 1, 2}, {0, 2, 3}});
    EXPECT_EQ(ByAngle(m, 30.0).patchCount, 2);
    const std::vector<int> onePolygon{7, 7};
    EXPECT_EQ(ByAngle(m, 30.0, onePolygon).patchCount, 1);
    // The polygon's normal is the sum of its triangles' cross products.
    const std::vector<Point3> n = PolygonNormals(m, onePolygon);
    EXPECT_EQ(n[0], n[1]);
    EXPECT_EQ(n[0], CrossProd(m.verts[1] - m.verts[0], m.verts[2] - m.verts[1]) +
                        CrossProd(m.verts[2] - m.verts[0], m.verts[3] - m.verts[2]));
}

TEST(SmoothingPatches, NormalsAgreeOnlyWhereBothEndsCarryEqualNormals) {
    // Two triangles sharing the edge (1, 2): corners 1 and 2 of face 0, corners 0 and 2 of face 1.
    Mesh m = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {1, 3, 2}});
    const Point3 up{0, 0, 1}, tilted{0, 0.6f, 0.8f};
    std::vector<Point3> normals(6, up);
    std::vector<std::uint8_t> has(6, 1);
    EXPECT_EQ(ColourSmoothingPatches(m, SmoothWhereNormalsAgree(normals, has)).patchCount, 1);
    normals[5] = tilted;  // face 1 at vertex 2: differs at one end of the shared edge
    EXPECT_EQ(ColourSmoothingPatches(m, SmoothWhereNormalsAgree(normals, has)).patchCount, 2);
    normals[5] = up;
    normals[4] = tilted;  // face 1 at vertex 3: not on the shared edge
    EXPECT_EQ(ColourSmoothingPatches(m, SmoothWhereNormalsAgree(normals, has)).patchCount, 1);
    has[1] = 0;  // face 0 at vertex 1 carries no normal: hard
    EXPECT_EQ(ColourSmoothingPatches(m, SmoothWhereNormalsAgree(normals, has)).patchCount, 2);
}

TEST(SmoothingPatches, ThirtyThreeHardFacesAroundOneVertexReuseABitThereOnly) {
    // A closed fan of 40 triangles around vertex 0, every edge hard.
    const int n = 40;
    std::vector<Point3> v{{0, 0, 0}};
    std::vector<std::array<int, 3>> t;
    for (int i = 0; i < n; ++i) {
        const double a = 2.0 * 3.14159265358979 * i / n;
        v.push_back({static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), 0.0f});
        t.push_back({0, 1 + i, 1 + (i + 1) % n});
    }
    Mesh m = MakeMesh(v, t);
    const SmoothingPatches p = ColourSmoothingPatches(m, [](const EdgeSide&, const EdgeSide&) { return false; });
    EXPECT_EQ(p.patchCount, n);
    EXPECT_EQ(p.bitsUsed, 32);
    // Only the centre is crowded: neighbours on the rim still differ.
    EXPECT_EQ(p.crowdedVertices, 1);
    for (int i = 0; i < n; ++i) EXPECT_NE(p.faceBits[static_cast<size_t>(i)], p.faceBits[static_cast<size_t>((i + 1) % n)]);
}

TEST(SmoothingPatches, APatchThatMeetsItselfAcrossAHardEdgeStaysSmoothThere) {
    // The cylinder's side with one seam edge (vertices 0, 1) hard: the side is still one patch,
    // joined the other way round, so the seam is smooth.
    Mesh cyl = Cylinder(16);
    const std::vector<Point3> normals = PolygonNormals(cyl);
    const SmoothEdgeTest angle = SmoothWithinAngle(normals, 30.0);
    const SmoothingPatches p = ColourSmoothingPatches(cyl, [&](const EdgeSide& a, const EdgeSide& b) {
        const Face& fa = cyl.faces[static_cast<size_t>(a.face)];
        const bool seam = (fa.v[a.cornerA] == 0 && fa.v[a.cornerB] == 1) || (fa.v[a.cornerA] == 1 && fa.v[a.cornerB] == 0);
        return !seam && angle(a, b);
    });
    EXPECT_EQ(p.patchCount, 3);
}

TEST(SmoothingPatches, FacesOutsideTheVertexTableJoinNothingAndEmptyMeshesGiveNothing) {
    Mesh m = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 1, 9}});
    const SmoothingPatches p = ByAngle(m, 180.0);
    EXPECT_EQ(p.patchCount, 2);
    EXPECT_NE(p.faceBits[1], 0u);
    const SmoothingPatches none = ColourSmoothingPatches(Mesh{}, [](const EdgeSide&, const EdgeSide&) { return true; });
    EXPECT_EQ(none.patchCount, 0);
    EXPECT_TRUE(none.faceBits.empty());
}
