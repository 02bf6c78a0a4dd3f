// A Blender mesh as the host library takes it: the checks on the arrays, the host mesh it becomes
// (faces in triangle order, materials, selection, one map vertex per loop, colours), and the
// smoothing bits made from Blender's shading.
#include <gtest/gtest.h>

#include <set>

#include "blender/BlenderMesh.h"
#include "blender/BlenderSmoothing.h"
#include "tests/blender/PolyMesh.h"

namespace {

BlenderMesh Copied(PolyMesh& poly) {
    const mw_mesh record = poly.Record();
    BlenderMesh out;
    std::string error;
    EXPECT_TRUE(CopyBlenderMesh(record, out, error)) << error;
    return out;
}

std::vector<DWORD> Bits(PolyMesh& poly) {
    const BlenderMesh b = Copied(poly);
    return BlenderSmoothingBits(b, BuildHostMesh(b));
}

// Two quads sharing the edge 1-4 as a roof: both rise to the ridge, steeply (folded by 90 degrees)
// or gently (by about 11.4 degrees).
PolyMesh Roof(bool steep) {
    PolyMesh m;
    const float h = steep ? 1.0f : 0.1f;
    m.AddVertex(0, 0, 0), m.AddVertex(1, 0, h), m.AddVertex(2, 0, 0);
    m.AddVertex(0, 1, 0), m.AddVertex(1, 1, h), m.AddVertex(2, 1, 0);
    m.AddPolygon({0, 1, 4, 3});
    m.AddPolygon({1, 2, 5, 4});
    return m;
}

}  // namespace

TEST(BlenderMesh, RefusesIndicesOutsideTheirTables) {
    PolyMesh poly = OpenBox(10.0f);
    mw_mesh record = poly.Record();
    BlenderMesh out;
    std::string error;

    poly.triangleVertices[7] = 8;  // triangle 2, corner 1: the box has 8 vertices (0 ... 7)
    EXPECT_FALSE(CopyBlenderMesh(record, out, error));
    EXPECT_EQ(error, "triangle 2 names vertex 8, but the mesh has 8 vertices");

    record = poly.Record();
    poly.trianglePolygons[3] = -1;
    EXPECT_FALSE(CopyBlenderMesh(record, out, error));
    EXPECT_EQ(error, "triangle 3 names polygon -1, but the mesh has 5 polygons");

    record = poly.Record();
    record.triangle_loops = nullptr;
    EXPECT_FALSE(CopyBlenderMesh(record, out, error));
    EXPECT_EQ(error, "the mesh has no triangle loops");

    record = poly.Record();
    poly.materials[1] = 70000;
    EXPECT_FALSE(CopyBlenderMesh(record, out, error));
    EXPECT_NE(error.find("polygon 1 has material index 70000"), std::string::npos) << error;

    record = poly.Record();
    record.map_channel = 100;
    EXPECT_FALSE(CopyBlenderMesh(record, out, error));
    EXPECT_NE(error.find("map channel 100"), std::string::npos) << error;
}

TEST(BlenderMesh, HostMeshKeepsBlenderOrderAndPerPolygonData) {
    PolyMesh poly = OpenBox(10.0f);
    poly.materials = {0, 1, 1, 2, 2};
    poly.selected = {0, 1, 0, 0, 1};
    const BlenderMesh b = Copied(poly);
    const Mesh mesh = BuildHostMesh(b);

    ASSERT_EQ(mesh.getNumVerts(), 8);
    EXPECT_EQ(mesh.verts[6], Point3(10, 10, 10));
    ASSERT_EQ(mesh.getNumFaces(), 10);
    for (int t = 0; t < 10; ++t) {
        const int polygon = t / 2;
        for (int k = 0; k < 3; ++k) EXPECT_EQ(mesh.faces[t].v[k], DWORD(poly.triangleVertices[t * 3 + k]));
        EXPECT_EQ(mesh.faces[t].getMatID(), poly.materials[polygon]);
        EXPECT_EQ(mesh.FaceSel()[t], poly.selected[polygon]) << "face " << t;
    }

    // One map vertex per loop; map face t lists the triangle's loops.
    ASSERT_EQ(mesh.getNumMapVerts(1), 20);
    ASSERT_EQ(mesh.getNumMapFaces(1), 10);
    EXPECT_EQ(mesh.mapVerts(1)[5], Point3(1.0f, 0.0f, 0.0f));  // loop 5: the first wall's second corner
    EXPECT_EQ(mesh.mapFaces(1)[3], TVFace(4, 6, 7));
    EXPECT_EQ(mesh.getNumMapVerts(2), 0);

    // No texture coordinates: the channel stays empty.
    poly.loopUvs.clear();
    EXPECT_EQ(BuildHostMesh(Copied(poly)).getNumMapVerts(1), 0);
}

TEST(BlenderMesh, ColoursBecomeColourVerticesPerVertexOrPerLoop) {
    PolyMesh poly = OpenBox(10.0f);
    poly.colourDomain = MW_COLOURS_POINT;
    for (int v = 0; v < 8; ++v) poly.colours.insert(poly.colours.end(), {0.1f * float(v), 0.5f, 1.0f, 1.0f});
    Mesh mesh = BuildHostMesh(Copied(poly));
    ASSERT_EQ(mesh.getNumVertCol(), 8);
    EXPECT_EQ(mesh.vertCol[3], Point3(0.1f * 3.0f, 0.5f, 1.0f));
    ASSERT_EQ(mesh.getNumVCFaces(), 10);
    EXPECT_EQ(mesh.vcFace[4], TVFace(2, 1, 5));  // the colour faces are the faces

    poly.colourDomain = MW_COLOURS_CORNER;
    poly.colours.clear();
    for (int l = 0; l < 20; ++l) poly.colours.insert(poly.colours.end(), {0.05f * float(l), 0.0f, 0.0f, 1.0f});
    mesh = BuildHostMesh(Copied(poly));
    ASSERT_EQ(mesh.getNumVertCol(), 20);
    EXPECT_EQ(mesh.vcFace[3], TVFace(4, 6, 7));  // the colour faces are the loops
    EXPECT_EQ(mesh.vertCol[7], Point3(0.05f * 7.0f, 0.0f, 0.0f));

    // Loose vertices leave fewer loops than vertices; white colour vertices fill up to the vertex
    // count, so an accumulating run keeps the colours instead of resetting them.
    PolyMesh loose;
    loose.AddVertex(0, 0, 0), loose.AddVertex(1, 0, 0), loose.AddVertex(0, 1, 0);
    loose.AddVertex(5, 5, 5), loose.AddVertex(6, 6, 6);
    loose.AddPolygon({0, 1, 2});
    loose.colourDomain = MW_COLOURS_CORNER;
    loose.colours = {0.2f, 0.2f, 0.2f, 1, 0.3f, 0.3f, 0.3f, 1, 0.4f, 0.4f, 0.4f, 1};
    mesh = BuildHostMesh(Copied(loose));
    ASSERT_EQ(mesh.getNumVertCol(), 5);
    EXPECT_EQ(mesh.vertCol[2], Point3(0.4f, 0.4f, 0.4f));
    EXPECT_EQ(mesh.vertCol[4], Point3(1, 1, 1));
}

TEST(BlenderSmoothing, SmoothPolygonsBlendAcrossEdgesUnlessMarkedSharp) {
    PolyMesh roof = Roof(true);
    std::vector<DWORD> bits = Bits(roof);
    ASSERT_EQ(bits.size(), 4u);
    EXPECT_NE(bits[0], 0u);
    for (DWORD b : bits) EXPECT_EQ(b, bits[0]);  // one patch

    roof.sharpEdges = {4, 1};  // the ridge, listed either way round
    bits = Bits(roof);
    EXPECT_NE(bits[0], 0u);
    EXPECT_EQ(bits[0], bits[1]);  // a polygon's triangles stay together
    EXPECT_EQ(bits[2], bits[3]);
    EXPECT_NE(bits[0], bits[2]);  // the two patches meet at the ridge's vertices

    roof.sharpEdges.clear();
    roof.smooth[1] = 0;  // the second polygon shaded flat keeps its own normal
    bits = Bits(roof);
    EXPECT_NE(bits[0], 0u);
    EXPECT_EQ(bits[2], 0u);
    EXPECT_EQ(bits[3], 0u);
}

TEST(BlenderSmoothing, AutoSmoothAngleSplitsSteepEdgesOnly) {
    // The steep roof folds by 90 degrees at its ridge, the flat one by about 11.4.
    PolyMesh steep = Roof(true);
    steep.smoothAngle = 30.0;
    std::vector<DWORD> bits = Bits(steep);
    EXPECT_EQ(bits[0], bits[1]);
    EXPECT_NE(bits[0], bits[2]);
    steep.smoothAngle = 90.0;
    bits = Bits(steep);
    EXPECT_EQ(bits[0], bits[2]);

    PolyMesh gentle = Roof(false);
    gentle.smoothAngle = 30.0;
    bits = Bits(gentle);
    EXPECT_EQ(bits[0], bits[2]);

    // A bent quad's own two triangles belong together whatever the angle between them.
    PolyMesh bent;
    bent.AddVertex(0, 0, 0), bent.AddVertex(1, 0, 0), bent.AddVertex(1, 1, 1), bent.AddVertex(0, 1, 0);
    bent.AddPolygon({0, 1, 2, 3});
    bent.smoothAngle = 0.0;
    bits = Bits(bent);
    EXPECT_NE(bits[0], 0u);
    EXPECT_EQ(bits[0], bits[1]);
}

TEST(BlenderSmoothing, FlatPolygonsTakeNoBitFromTheirNeighbours) {
    // A fan of 40 flat triangles around one vertex and a smooth quad beside them: with the flat
    // ones left out of the colouring the smooth patch still gets the first bit.
    PolyMesh fan;
    const int centre = fan.AddVertex(0, 0, 0);
    for (int i = 0; i <= 40; ++i) fan.AddVertex(float(i), 1.0f, 0.0f);
    for (int i = 0; i < 40; ++i) fan.AddPolygon({centre, 1 + i, 2 + i}, {}, 0, false);
    const int far = fan.AddVertex(0, 2, 0);
    fan.AddPolygon({centre, far, 1}, {}, 0, true);
    const std::vector<DWORD> bits = Bits(fan);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(bits[i], 0u);
    EXPECT_EQ(bits[40], 1u);
}
