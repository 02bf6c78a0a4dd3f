// Objects from a reader's tables, without any file: welding the splits a format makes, fanning
// polygons, node transforms and names, material IDs, map channels, colours, groups and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "standalone/TableScene.h"

namespace {

// Tables as a reader would hand them over, kept in vectors the C views point into.
struct TestMesh {
    std::string name;
    unsigned material = 0;
    std::vector<float> positions, normals, colours;
    std::vector<std::vector<float>> uvSets;  // u, v, w per vertex
    std::vector<std::string> uvNames;
    std::vector<unsigned> sizes, corners;

    void Face(std::initializer_list<unsigned> c) {
        sizes.push_back(static_cast<unsigned>(c.size()));
        corners.insert(corners.end(), c);
    }
};

struct TestNode {
    std::string name;
    std::vector<unsigned> meshes;
    double transform[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

class TestTables {
public:
    std::vector<TestMesh> meshes;
    std::vector<TestNode> nodes;
    std::vector<std::string> materials{""};

    const SceneTables& Build() {
        meshViews_.clear();
        uvPointers_.assign(meshes.size(), {});
        uvNamePointers_.assign(meshes.size(), {});
        for (size_t i = 0; i < meshes.size(); ++i) {
            const TestMesh& m = meshes[i];
            for (const auto& s : m.uvSets) uvPointers_[i].push_back(s.data());
            for (const auto& n : m.uvNames) uvNamePointers_[i].push_back(n.c_str());
            SceneTableMesh v{};
            v.name = m.name.c_str();
            v.material = m.material;
            v.vertexCount = static_cast<unsigned>(m.positions.size() / 3);
            v.positions = m.positions.data();
            v.normals = m.normals.empty() ? nullptr : m.normals.data();
            v.uvSetCount = static_cast<unsigned>(m.uvSets.size());
            v.uvSets = uvPointers_[i].data();
            v.uvSetNames = uvNamePointers_[i].data();
            v.colours = m.colours.empty() ? nullptr : m.colours.data();
            v.faceCount = static_cast<unsigned>(m.sizes.size());
            v.faceSizes = m.sizes.data();
            v.corners = m.corners.data();
            meshViews_.push_back(v);
        }
        nodeViews_.clear();
        for (const TestNode& n : nodes) {
            SceneTableNode v{};
            v.name = n.name.c_str();
            std::copy(std::begin(n.transform), std::end(n.transform), v.transform);
            v.meshCount = static_cast<unsigned>(n.meshes.size());
            v.meshes = n.meshes.data();
            nodeViews_.push_back(v);
        }
        materialPointers_.clear();
        for (const auto& m : materials) materialPointers_.push_back(m.c_str());
        tables_ = SceneTables{static_cast<unsigned>(meshViews_.size()), meshViews_.data(),
                              static_cast<unsigned>(nodeViews_.size()), nodeViews_.data(),
                              static_cast<unsigned>(materialPointers_.size()), materialPointers_.data()};
        return tables_;
    }

private:
    std::vector<SceneTableMesh> meshViews_;
    std::vector<SceneTableNode> nodeViews_;
    std::vector<std::vector<const float*>> uvPointers_;
    std::vector<std::vector<const char*>> uvNamePointers_;
    std::vector<const char*> materialPointers_;
    SceneTables tables_{};
};

// A unit square in z = 0 as two triangles with a vertex per corner (six vertices), the way a
// format splits vertices at a texture seam between the triangles.
TestMesh SeamedSquare(const std::string& name = "Square", unsigned material = 0) {
    TestMesh m;
    m.name = name;
    m.material = material;
    m.positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, /**/ 0, 0, 0, 1, 1, 0, 0, 1, 0};
    m.uvSets = {{0, 0, 0, 0.5f, 0, 0, 0.5f, 0.5f, 0, /**/ 0.5f, 0.5f, 0, 1, 1, 0, 0.5f, 1, 0}};
    m.Face({0, 1, 2});
    m.Face({3, 4, 5});
    return m;
}

ImportedScene Build(TestTables& t, const std::string& stem = "file") {
    ImportedScene scene;
    std::string error;
    EXPECT_TRUE(BuildTableScene(t.Build(), stem, scene, error)) << error;
    return scene;
}

std::string BuildError(TestTables& t) {
    ImportedScene scene;
    std::string error;
    EXPECT_FALSE(BuildTableScene(t.Build(), "file", scene, error));
    return error;
}

std::vector<DWORD> FaceVerts(const Mesh& m) {
    std::vector<DWORD> v;
    for (const Face& f : m.faces) v.insert(v.end(), {f.v[0], f.v[1], f.v[2]});
    return v;
}

}  // namespace

TEST(TableScene, SplitVerticesWeldBackByPositionInOrderOfFirstUse) {
    TestTables t;
    t.meshes = {SeamedSquare()};
    t.nodes = {{"Square", {0}}};
    const ImportedScene scene = Build(t);
    ASSERT_EQ(scene.objects.size(), 1u);
    const ImportedObject& o = scene.objects[0];
    const Mesh& m = o.mesh;
    ASSERT_EQ(m.getNumVerts(), 4);
    EXPECT_EQ(m.verts[0], Point3(0, 0, 0));
    EXPECT_EQ(m.verts[1], Point3(1, 0, 0));
    EXPECT_EQ(m.verts[2], Point3(1, 1, 0));
    EXPECT_EQ(m.verts[3], Point3(0, 1, 0));
    EXPECT_EQ(FaceVerts(m), (std::vector<DWORD>{0, 1, 2, 0, 2, 3}));
    // The texture coordinates stay per corner: the seam's two sides keep their own.
    ASSERT_EQ(m.getNumMapVerts(1), 6);
    const TVFace* tf = m.mapFaces(1);
    const Point3* tv = m.mapVerts(1);
    EXPECT_EQ(tv[tf[0].t[0]], Point3(0, 0, 0));
    EXPECT_EQ(tv[tf[1].t[0]], Point3(0.5f, 0.5f, 0));
    EXPECT_EQ(tv[tf[1].t[1]], Point3(1, 1, 0));
    EXPECT_EQ(o.vertexSource, (std::vector<int>{0, 1, 2, 5}));
    EXPECT_EQ(o.polygonOfFace, (std::vector<int>{0, 1}));
    EXPECT_EQ(o.polygonCount, 2);
    EXPECT_EQ(o.facesWithoutTexCoords, 0);
}

TEST(TableScene, PolygonsAreFannedAndPointsAndLinesSkippedWithAWarning) {
    TestTables t;
    TestMesh m;
    m.positions = {0, 0, 0, 2, 0, 0, 3, 1, 0, 1, 2, 0, -1, 1, 0};
    m.Face({4});        // a point
    m.Face({0, 1, 2, 3, 4});
    m.Face({1, 2});     // a line
    m.Face({4, 3, 2});  // a triangle over the same corners, wound the other way
    t.meshes = {m};
    t.nodes = {{"Pentagon", {0}}};
    const ImportedScene scene = Build(t);
    const ImportedObject& o = scene.objects[0];
    // Vertices in order of first use: the point is no use.
    EXPECT_EQ(FaceVerts(o.mesh), (std::vector<DWORD>{0, 1, 2, 0, 2, 3, 0, 3, 4, 4, 3, 2}));
    EXPECT_EQ(o.polygonOfFace, (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(o.polygonCount, 2);
    ASSERT_EQ(scene.warnings.size(), 1u);
    EXPECT_EQ(scene.warnings[0], "1 point(s) and 1 line(s) skipped: only faces are read");
}

TEST(TableScene, NodeTransformsGiveWorldPositionsAndEqualPositionsWeldWhateverTheSignOfZero) {
    TestTables t;
    TestMesh m;
    m.positions = {0.0f, 0, 0, 1, 0, 0, 0, 1, 0, -0.0f, -0.0f, 0};  // vertex 3 is vertex 0 with -0
    m.Face({0, 1, 2});
    m.Face({3, 2, 1});
    t.meshes = {m};
    TestNode moved{"Moved", {0}};
    // Scale by 2 and translate by (10, 0.1, 0), in double: 0.1 is no float, so the float of
    // 1 * 2 + 0.1 is the one rounding of the double sum.
    const double transform[16] = {2, 0, 0, 10, 0, 2, 0, 0.1, 0, 0, 2, 0, 0, 0, 0, 1};
    std::copy(std::begin(transform), std::end(transform), moved.transform);
    t.nodes = {{"Still", {0}}, moved};
    const ImportedScene scene = Build(t);
    ASSERT_EQ(scene.objects.size(), 2u);
    const Mesh& still = scene.objects[0].mesh;
    ASSERT_EQ(still.getNumVerts(), 3);
    EXPECT_FALSE(std::signbit(still.verts[0].x));
    EXPECT_EQ(FaceVerts(still), (std::vector<DWORD>{0, 1, 2, 0, 2, 1}));
    const Mesh& moved3 = scene.objects[1].mesh;
    ASSERT_EQ(moved3.getNumVerts(), 3);
    EXPECT_EQ(moved3.verts[0], Point3(10.0f, 0.1f, 0.0f));
    EXPECT_EQ(moved3.verts[1], Point3(12.0f, 0.1f, 0.0f));
    EXPECT_EQ(moved3.verts[2], Point3(10.0f, static_cast<float>(2.0 + 0.1), 0.0f));
}

TEST(TableScene, EachNodeIsOneObjectNamedUniquelyWithItsMeshesInNodeOrder) {
    TestTables t;
    t.meshes = {SeamedSquare("First"), SeamedSquare("Second")};
    t.meshes[1].positions[2] = t.meshes[1].positions[5] = t.meshes[1].positions[8] = 1;  // lifted to z = 1
    t.meshes[1].positions[11] = t.meshes[1].positions[14] = t.meshes[1].positions[17] = 1;
    t.nodes = {{"A", {1, 0}}, {"A", {0}}, {"", {0}}, {"A.2", {0}}, {"B", {}}};
    const ImportedScene scene = Build(t, "scan");
    EXPECT_EQ(scene.ObjectNames(), (std::vector<std::string>{"A", "A.2", "scan", "A.2.2", "B"}));
    const ImportedObject& a = scene.objects[0];
    ASSERT_EQ(a.mesh.getNumFaces(), 4);
    ASSERT_EQ(a.mesh.getNumVerts(), 8);
    EXPECT_EQ(a.mesh.verts[0].z, 1.0f);  // the node's first mesh comes first
    EXPECT_EQ(a.mesh.verts[4].z, 0.0f);
    EXPECT_EQ(a.vertexSource[4], 0);     // vertex 0 of the file's first mesh
    EXPECT_EQ(a.vertexSource[0], 6);     // the second mesh's vertices follow the first's six
    EXPECT_FALSE(scene.objects[4].HasFaces());
    // Groups are the meshes' names, for --select-group.
    EXPECT_EQ(a.GroupNames(), (std::vector<std::string>{"Second", "First"}));
    ImportedObject selected = a;
    std::string error;
    ASSERT_TRUE(SelectGroupFaces(selected, {"First"}, error)) << error;
    EXPECT_FALSE(selected.mesh.FaceSel()[0]);
    EXPECT_TRUE(selected.mesh.FaceSel()[2]);
    EXPECT_TRUE(selected.mesh.FaceSel()[3]);
}

TEST(TableScene, MaterialIdsFollowFirstUseAndAnUnnamedOrStandInMaterialIsNoMaterial) {
    TestTables t;
    t.materials = {"DefaultMaterial", "Stone", "Moss", ""};
    t.meshes = {SeamedSquare("a", 2), SeamedSquare("b", 0), SeamedSquare("c", 2), SeamedSquare("d", 3)};
    t.nodes = {{"Tiles", {0, 1, 2, 3}}};
    const ImportedScene scene = Build(t);
    const ImportedObject& o = scene.objects[0];
    EXPECT_EQ(o.materialNames, (std::vector<std::string>{"Moss", "", ""}));
    std::vector<int> ids;
    for (const Face& f : o.mesh.faces) ids.push_back(f.getMatID());
    EXPECT_EQ(ids, (std::vector<int>{0, 0, 1, 1, 0, 0, 2, 2}));
}

TEST(TableScene, MapChannelsFollowTheUvSetsAndMeshesWithoutASetGetTheOutsideCorner) {
    TestTables t;
    TestMesh two = SeamedSquare("two");
    two.uvSets.push_back({0, 0, 0, 0.25f, 0, 0, 0.25f, 0.25f, 0, 0, 0, 0, 0.25f, 0.25f, 0, 0, 0.25f, 0});
    two.uvNames = {"", "Detail"};
    TestMesh one = SeamedSquare("one");
    one.uvNames = {"UVMap"};
    t.meshes = {two, one};
    t.nodes = {{"Both", {0, 1}}};
    const ImportedScene scene = Build(t);
    const ImportedObject& o = scene.objects[0];
    EXPECT_EQ(o.mapChannelNames, (std::vector<std::string>{"UVMap", "Detail"}));
    EXPECT_EQ(o.facesWithoutMapCoords, (std::vector<int>{0, 2}));
    EXPECT_EQ(o.facesWithoutTexCoords, 0);
    const Mesh& m = o.mesh;
    ASSERT_EQ(m.getNumMapVerts(2), 7);  // six of the first mesh's corners and the outside corner
    EXPECT_EQ(m.mapVerts(2)[6], Point3(-1, -1, 0));
    EXPECT_EQ(m.mapFaces(2)[0], TVFace(0, 1, 2));
    EXPECT_EQ(m.mapFaces(2)[2], TVFace(6, 6, 6));
    EXPECT_EQ(m.mapFaces(2)[3], TVFace(6, 6, 6));
    EXPECT_EQ(m.mapVerts(2)[m.mapFaces(2)[1].t[1]], Point3(0.25f, 0.25f, 0));
    EXPECT_EQ(m.getNumMapVerts(3), 0);
}

TEST(TableScene, ColoursAreOnePerVertexWhereTheCornersAgreeElseOnePerVertexAndColour) {
    const std::vector<float> agreeing = {1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 1, /**/ 1, 0, 0, 1, 0, 0, 1, 1, 1, 1, 1, 1};
    std::vector<float> perFace(24, 0.5f);
    for (int k = 12; k < 24; k += 4) perFace[static_cast<size_t>(k)] = 0.25f;  // the second triangle's red
    {
        TestTables t;
        t.meshes = {SeamedSquare()};
        t.meshes[0].colours = agreeing;
        t.nodes = {{"Square", {0}}};
        const ImportedScene scene = Build(t);
        const Mesh& m = scene.objects[0].mesh;
        EXPECT_TRUE(scene.hasColours);
        ASSERT_EQ(m.getNumVertCol(), 4);
        EXPECT_EQ(m.vertCol[0], Point3(1, 0, 0));
        EXPECT_EQ(m.vertCol[2], Point3(0, 0, 1));
        EXPECT_EQ(m.vertCol[3], Point3(1, 1, 1));
        ASSERT_EQ(m.getNumVCFaces(), 2);
        EXPECT_EQ(m.vcFace[1], TVFace(0, 2, 3));
    }
    {
        TestTables t;
        t.meshes = {SeamedSquare()};
        t.meshes[0].colours = perFace;
        t.nodes = {{"Square", {0}}};
        const ImportedScene scene = Build(t);
        const Mesh& m = scene.objects[0].mesh;
        // Vertices 0 and 2 carry both colours: six colour vertices, one per corner here.
        ASSERT_EQ(m.getNumVertCol(), 6);
        EXPECT_EQ(m.vcFace[0], TVFace(0, 1, 2));
        EXPECT_EQ(m.vcFace[1], TVFace(3, 4, 5));
        EXPECT_EQ(m.vertCol[3], Point3(0.25f, 0.5f, 0.5f));
    }
    {
        TestTables t;
        t.meshes = {SeamedSquare("a"), SeamedSquare("b")};
        t.meshes[0].colours = agreeing;
        t.nodes = {{"Half", {0, 1}}};
        const ImportedScene scene = Build(t);
        EXPECT_EQ(scene.objects[0].mesh.getNumVertCol(), 0);
        EXPECT_FALSE(scene.hasColours);
        ASSERT_EQ(scene.warnings.size(), 1u);
        EXPECT_EQ(scene.warnings[0], "object \"Half\": vertex colours ignored: only some of its meshes have them");
    }
}

TEST(TableScene, NormalsStayPerCornerAndMeshesWithoutThemLeaveTheirCornersEmpty) {
    TestTables t;
    TestMesh flat = SeamedSquare("flat");
    for (int v = 0; v < 6; ++v) flat.normals.insert(flat.normals.end(), {0, 0, v < 3 ? 1.0f : -1.0f});
    t.meshes = {flat, SeamedSquare("bare")};
    t.nodes = {{"Mixed", {0, 1}}};
    const ImportedScene scene = Build(t);
    const ImportedObject& o = scene.objects[0];
    ASSERT_EQ(o.cornerNormals.size(), 12u);
    EXPECT_EQ(o.cornerNormals[0], Point3(0, 0, 1));
    EXPECT_EQ(o.cornerNormals[3], Point3(0, 0, -1));
    EXPECT_EQ(o.cornerHasNormal, (std::vector<std::uint8_t>{1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0}));
}

TEST(TableScene, TablesThatReferOutsideThemselvesOrHoldNoFacesAreRefused) {
    {
        TestTables t;
        t.meshes = {SeamedSquare("Broken")};
        t.meshes[0].corners[4] = 6;
        t.nodes = {{"Square", {0}}};
        EXPECT_EQ(BuildError(t), "mesh 1 (\"Broken\"): face 2 refers to vertex 7, and the mesh has 6");
    }
    {
        TestTables t;
        t.meshes = {SeamedSquare()};
        t.meshes[0].positions[4] = std::numeric_limits<float>::quiet_NaN();
        t.nodes = {{"Square", {0}}};
        EXPECT_EQ(BuildError(t),
                  "mesh 1 (\"Square\"): vertex 2 of object \"Square\" lies at (1, nan, 0), which is not a finite position");
    }
    {
        TestTables t;
        t.meshes = {SeamedSquare()};
        t.meshes[0].uvSets[0][3] = std::numeric_limits<float>::infinity();
        t.nodes = {{"Square", {0}}};
        EXPECT_EQ(BuildError(t),
                  "mesh 1 (\"Square\"): vertex 2 has texture coordinates (inf, 0) in set 1, which are not finite");
    }
    {
        TestTables t;
        t.meshes = {SeamedSquare()};
        t.nodes = {{"Square", {3}}};
        EXPECT_EQ(BuildError(t), "node \"Square\" holds mesh 4, which does not exist");
    }
    {
        TestTables t;
        TestMesh dots;
        dots.positions = {0, 0, 0, 1, 0, 0};
        dots.Face({0});
        dots.Face({0, 1});
        t.meshes = {dots};
        t.nodes = {{"Dots", {0}}};
        EXPECT_EQ(BuildError(t), "holds no faces (only points and lines)");
        t.nodes.clear();
        EXPECT_EQ(BuildError(t), "holds no faces");
    }
}
