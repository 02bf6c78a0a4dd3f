// Files other than OBJ, read through Assimp: the test cube in every format it is written in
// (tests/standalone/fixtures, made by make_fixtures.py) comes out as one surface of 8 vertices
// and 12 faces with its texture coordinates, materials and colours where the format has them;
// node names and transforms, PLY strips, and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "standalone/GlbWriter.h"
#include "standalone/SceneImport.h"
#include "tests/common/TempDir.h"

namespace fs = std::filesystem;

namespace {

const std::string kFixtures = std::string(MURKWELL_SOURCE_DIR) + "/tests/standalone/fixtures/";

// The cube of make_fixtures.py.
const Point3 kCorners[8] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                            {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
const int kQuads[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {0, 4, 7, 3}, {1, 2, 6, 5}};
const Point3 kFaceNormals[6] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
const char* const kFaceMaterial[6] = {"Stone", "Stone", "Stone", "Stone", "Moss", "Moss"};

// The texture coordinates of corner k of face f in layout 0 or 1.
Point3 CellUv(int f, int k, int layout) {
    const int col = f % 3, row = f / 3;
    const float u0 = layout == 0 ? 0.0625f + col * 0.3125f : 0.5f + col * 0.15625f;
    const float v0 = layout == 0 ? 0.125f + row * 0.375f : 0.5f + row * 0.25f;
    const float s = layout == 0 ? 0.25f : 0.125f;
    const float du[4] = {0, s, s, 0}, dv[4] = {0, 0, s, s};
    return {u0 + du[k], v0 + dv[k], 0};
}

ImportedScene Load(const std::string& file, const ImportOptions& options = {}) {
    ImportedScene scene;
    std::string error;
    EXPECT_TRUE(LoadScene(kFixtures + file, options, scene, error)) << error;
    return scene;
}

std::string LoadError(const std::string& path, const ImportOptions& options = {}) {
    ImportedScene scene;
    std::string error;
    EXPECT_FALSE(LoadScene(path, options, scene, error)) << path;
    return error;
}

Point3 Cross(const Point3& a, const Point3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The cube face a triangle lies on, from the direction it faces.
int CubeFaceOf(const Mesh& m, int f, bool turned) {
    const Face& face = m.faces[static_cast<size_t>(f)];
    const Point3 a = m.verts[face.v[0]], b = m.verts[face.v[1]], c = m.verts[face.v[2]];
    Point3 n = Cross(Point3{b.x - a.x, b.y - a.y, b.z - a.z}, Point3{c.x - b.x, c.y - b.y, c.z - b.z});
    if (turned) n = Point3{n.x, -n.z, n.y};
    for (int q = 0; q < 6; ++q)
        if (n.x * kFaceNormals[q].x + n.y * kFaceNormals[q].y + n.z * kFaceNormals[q].z > 0.5f) return q;
    return -1;
}

// Which corner of cube face q the position is.
int QuadCorner(int q, Point3 p, bool turned) {
    if (turned) p = Point3{p.x, -p.z, p.y};
    for (int k = 0; k < 4; ++k)
        if (kCorners[kQuads[q][k]] == p) return k;
    return -1;
}

struct CubeFile {
    const char* file;
    const char* object;
    int polygons;        // the file's faces: 6 quads, or 12 triangles
    int channels;        // texture coordinate sets
    bool materials;      // "Stone" and "Moss"
    int colourVerts;     // 0: no colours; 8: one per vertex; 24: one per face and vertex
    bool turned;         // Assimp turns the file's z-up axes to y up: (x, y, z) -> (x, z, -y)
    float colourStep;    // how far a colour may be off: PLY keeps bytes
};

void ExpectCube(const CubeFile& c) {
    SCOPED_TRACE(c.file);
    const ImportedScene scene = Load(c.file);
    ASSERT_EQ(scene.objects.size(), 1u);
    EXPECT_FALSE(scene.format.empty());
    const ImportedObject& o = scene.objects[0];
    EXPECT_EQ(o.name, c.object);
    const Mesh& m = o.mesh;
    // One surface: the format's vertex splits at the seams are welded back.
    ASSERT_EQ(m.getNumVerts(), 8);
    ASSERT_EQ(m.getNumFaces(), 12);
    EXPECT_EQ(o.polygonCount, c.polygons);
    EXPECT_EQ(static_cast<int>(o.mapChannelNames.size()), c.channels);
    for (int ch = 1; ch <= 2; ++ch) EXPECT_EQ(m.getNumMapVerts(ch) > 0, ch <= c.channels) << ch;

    int perFace[6] = {};
    for (int f = 0; f < 12; ++f) {
        const int q = CubeFaceOf(m, f, c.turned);
        ASSERT_GE(q, 0) << "face " << f;
        perFace[q]++;
        const Face& face = m.faces[static_cast<size_t>(f)];
        if (c.materials) {
            ASSERT_LT(face.getMatID(), o.materialNames.size());
            EXPECT_EQ(o.materialNames[face.getMatID()], kFaceMaterial[q]) << "face " << f;
        }
        for (int k = 0; k < 3; ++k) {
            const int corner = QuadCorner(q, m.verts[face.v[k]], c.turned);
            ASSERT_GE(corner, 0);
            for (int ch = 1; ch <= c.channels; ++ch)
                EXPECT_EQ(m.mapVerts(ch)[m.mapFaces(ch)[f].t[k]], CellUv(q, corner, ch - 1))
                    << "face " << f << " corner " << k << " channel " << ch;
        }
    }
    for (int q = 0; q < 6; ++q) EXPECT_EQ(perFace[q], 2) << "cube face " << q;
    if (!c.materials) EXPECT_EQ(o.materialNames, std::vector<std::string>{""});
    else EXPECT_EQ(o.materialNames, (std::vector<std::string>{"Stone", "Moss"}));

    ASSERT_EQ(m.getNumVertCol(), c.colourVerts);
    EXPECT_EQ(scene.hasColours, c.colourVerts > 0);
    if (c.colourVerts == 8) {
        for (int v = 0; v < 8; ++v) {
            const Point3& p = m.verts[static_cast<size_t>(v)];
            const Point3& col = m.vertCol[static_cast<size_t>(v)];
            EXPECT_NEAR(col.x, p.x < 0 ? 0.25f : 0.75f, c.colourStep) << v;
            EXPECT_NEAR(col.y, p.y < 0 ? 0.25f : 0.75f, c.colourStep) << v;
            EXPECT_NEAR(col.z, p.z < 0 ? 0.25f : 0.75f, c.colourStep) << v;
        }
        for (int f = 0; f < 12; ++f)
            EXPECT_EQ(m.vcFace[static_cast<size_t>(f)], TVFace(m.faces[f].v[0], m.faces[f].v[1], m.faces[f].v[2]));
    }
}

}  // namespace

TEST(AssimpImport, TheCubeIsOneSurfaceWithItsUvsMaterialsAndColoursInEveryFormat) {
    const CubeFile files[] = {
        {"cube.gltf", "Cube", 12, 2, true, 8, false, 0.0f},
        {"cube.fbx", "Cube", 6, 2, true, 8, false, 0.0f},
        {"cube.dae", "Cube", 6, 2, true, 24, false, 0.0f},
        {"cube.3ds", "Cube", 12, 1, true, 0, true, 0.0f},
        {"cube.ply", "cube", 6, 1, false, 8, false, 0.5f / 255},
        {"cube_ascii.stl", "cube", 12, 0, false, 0, false, 0.0f},
        {"cube_binary.stl", "cube_binary", 12, 0, false, 0, false, 0.0f},
    };
    for (const CubeFile& c : files) ExpectCube(c);
}

TEST(AssimpImport, MapChannelsCarryTheNamesTheFileGivesThem) {
    const ImportedScene scene = Load("cube_one_material.fbx");
    ASSERT_EQ(scene.objects.size(), 1u);
    const ImportedObject& o = scene.objects[0];
    EXPECT_EQ(o.mapChannelNames, (std::vector<std::string>{"UVMap", "Detail"}));
    EXPECT_EQ(o.materialNames, std::vector<std::string>{"Stone"});
    EXPECT_EQ(o.mesh.getNumVerts(), 8);
    EXPECT_EQ(o.mesh.getNumFaces(), 12);
}

TEST(AssimpImport, ColoursOnePerFaceSplitIntoOneColourVertexPerVertexAndFace) {
    const ImportedScene scene = Load("cube.dae");
    ASSERT_EQ(scene.objects.size(), 1u);
    const Mesh& m = scene.objects[0].mesh;
    ASSERT_EQ(m.getNumVertCol(), 24);
    const Point3 faceColours[6] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1}, {1, 0, 1}};
    for (int f = 0; f < 12; ++f) {
        const int q = CubeFaceOf(m, f, false);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(m.vertCol[m.vcFace[static_cast<size_t>(f)].t[k]], faceColours[q]) << f;
    }
}

TEST(AssimpImport, SmoothingComesFromTheFilesNormalsAndGroupsAreRefused) {
    for (const char* file : {"cube.gltf", "cube.fbx", "cube.ply", "cube_ascii.stl", "cube.3ds"}) {
        const ImportedScene scene = Load(file);
        ASSERT_EQ(scene.objects.size(), 1u) << file;
        const SmoothingOutcome& s = scene.objects[0].smoothing;
        EXPECT_EQ(s.source, SmoothingSource::Normals) << file;
        EXPECT_TRUE(s.chosenByAuto) << file;
        EXPECT_EQ(s.patches, 6) << file;  // flat faces: each side of the cube is a patch of its own
    }
    ImportOptions angle;
    angle.smoothing = {SmoothingSource::Angle, 100.0};
    const ImportedScene stl = Load("cube_binary.stl", angle);
    ASSERT_EQ(stl.objects.size(), 1u);
    EXPECT_EQ(stl.objects[0].smoothing.patches, 1);
    ImportOptions groups;
    groups.smoothing = {SmoothingSource::Groups, 0.0};
    EXPECT_EQ(LoadError(kFixtures + "cube.fbx", groups),
              "--smoothing groups: " + kFixtures +
                  "cube.fbx (Autodesk FBX Importer) gives no smoothing groups (only OBJ files do); use auto, normals, "
                  "angle:DEG or none");
}

TEST(AssimpImport, NodesAreObjectsInWorldSpaceNamedUniquelyAndPointsAndLinesAreSkipped) {
    const ImportedScene scene = Load("scene.glb");
    ASSERT_EQ(scene.ObjectNames(), (std::vector<std::string>{"Panel", "Panel.2", "Marks", "Dots"}));
    ASSERT_EQ(scene.warnings, std::vector<std::string>{"6 point(s) and 2 line(s) skipped: only faces are read"});
    // Inside a group moved by (0, 5, 0): scaled by 2 and moved by (10, 0, 0).
    const Mesh& moved = scene.objects[0].mesh;
    ASSERT_EQ(moved.getNumVerts(), 4);
    EXPECT_EQ(moved.verts[0], Point3(10, 5, 0));
    EXPECT_EQ(moved.verts[2], Point3(12, 7, 0));
    // The same mesh placed by a node of its own without a transform.
    const Mesh& still = scene.objects[1].mesh;
    EXPECT_EQ(still.verts[2], Point3(1, 1, 0));
    EXPECT_EQ(still.mapVerts(1)[still.mapFaces(1)[0].t[2]], Point3(1, 1, 0));
    EXPECT_EQ(scene.objects[2].mesh.getNumFaces(), 1);
    EXPECT_FALSE(scene.objects[3].HasFaces());
    EXPECT_EQ(scene.objects[0].GroupNames(), std::vector<std::string>{"Plate"});
}

TEST(AssimpImport, PlyTriangleStripsAreReadWithTheirAlternatingWinding) {
    const ImportedScene scene = Load("strips.ply");
    ASSERT_EQ(scene.objects.size(), 1u);
    const Mesh& m = scene.objects[0].mesh;
    ASSERT_EQ(m.getNumFaces(), 16);  // 4 x 2 squares
    ASSERT_EQ(m.getNumVerts(), 15);
    double area = 0.0;
    for (int f = 0; f < 16; ++f) {
        const Face& face = m.faces[static_cast<size_t>(f)];
        const Point3 a = m.verts[face.v[0]], b = m.verts[face.v[1]], c = m.verts[face.v[2]];
        const Point3 n = Cross(Point3{b.x - a.x, b.y - a.y, 0}, Point3{c.x - a.x, c.y - a.y, 0});
        EXPECT_GT(n.z, 0.0f) << "face " << f << " faces away";
        area += 0.5 * n.z;
    }
    EXPECT_EQ(area, 8.0);
}

TEST(AssimpImport, UnreadableUnknownAndEmptyFilesAreRefusedInOneLine) {
    ScopedTempDir dir;
    WriteWholeFile(dir.Path() / "broken.fbx", "this is no FBX\n");
    const std::string broken = LoadError(dir.File("broken.fbx"));
    EXPECT_EQ(broken.rfind("cannot read " + dir.File("broken.fbx") + " (Autodesk FBX Importer): ", 0), 0u) << broken;
    EXPECT_GT(broken.size(), ("cannot read " + dir.File("broken.fbx") + " (Autodesk FBX Importer): ").size());
    EXPECT_EQ(broken.find('\n'), std::string::npos);

    WriteWholeFile(dir.Path() / "empty.glb", "");
    EXPECT_EQ(LoadError(dir.File("empty.glb")).rfind("cannot read " + dir.File("empty.glb") + " (glTF Importer): ", 0), 0u);

    const std::string unknown = LoadError(dir.File("mesh.xyz"));
    EXPECT_EQ(unknown.rfind("cannot read " + dir.File("mesh.xyz") + ": unknown mesh format \".xyz\" (murkwell reads .obj and, through Assimp, ", 0), 0u) << unknown;
    EXPECT_NE(unknown.find(" .fbx "), std::string::npos) << unknown;
    EXPECT_EQ(LoadError(dir.File("mesh")).rfind("cannot read " + dir.File("mesh") + ": no file extension (", 0), 0u);
    EXPECT_EQ(LoadError(dir.File("missing.ply")), "cannot read " + dir.File("missing.ply") + ": no such file");
    EXPECT_EQ(LoadError(kFixtures + "points.glb"), kFixtures + "points.glb (glTF Importer): holds no faces (only points and lines)");
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif

TEST(AssimpImport, AFileWhoseCountsAskForGigabytesIsRefusedWithinBoundedMemory) {
    // Under the sanitizers the import runs without its memory ceiling, and this file would take
    // tens of gigabytes before Assimp gives up.
    if (kUnderSanitizer) GTEST_SKIP() << "the memory ceiling is off under the sanitizers";
    // A fuzzing find: five kilobytes of COLLADA whose declared array sizes make the reader
    // allocate without bound.
    const std::string huge = kFixtures + "huge_counts.dae";
    EXPECT_EQ(LoadError(huge), "cannot read " + huge +
                                   " (Collada Importer): the file asks for more memory than a file of its size can need (over 1024 MiB)");
}

TEST(GlbWriter, AWrittenFileReadsBackWithEveryChannelColourAndMaterial) {
    ImportedScene scene = Load("cube.gltf");
    ASSERT_EQ(scene.objects.size(), 1u);
    ImportedObject& o = scene.objects[0];
    Mesh& m = o.mesh;
    // New colours, one per vertex, and a third map channel (its own vertices, not shared).
    for (int v = 0; v < m.getNumVerts(); ++v) m.vertCol[static_cast<size_t>(v)] = Point3(0.125f * v, 1.0f - 0.0625f * v, 0.5f);
    m.setNumMapVerts(3, 36);
    m.setNumMapFaces(3, 12);
    for (int f = 0; f < 12; ++f)
        for (int k = 0; k < 3; ++k) {
            m.mapVerts(3)[f * 3 + k] = Point3(0.03125f * f, 0.25f * k, 0);
            m.mapFaces(3)[f].t[k] = DWORD(f * 3 + k);
        }
    ScopedTempDir dir;
    std::string error;
    ASSERT_TRUE(WriteGlb(dir.File("out.glb"), o, m, error)) << error;

    ImportedScene back;
    ASSERT_TRUE(LoadScene(dir.File("out.glb"), {}, back, error)) << error;
    ASSERT_EQ(back.objects.size(), 1u);
    const ImportedObject& b = back.objects[0];
    EXPECT_EQ(b.name, "Cube");
    EXPECT_EQ(b.materialNames, (std::vector<std::string>{"Stone", "Moss"}));
    const Mesh& r = b.mesh;
    ASSERT_EQ(r.getNumVerts(), 8);
    ASSERT_EQ(r.getNumFaces(), 12);
    ASSERT_EQ(b.mapChannelNames.size(), 3u);
    for (int f = 0; f < 12; ++f) {  // the materials' faces were in order already, so faces keep theirs
        for (int k = 0; k < 3; ++k) {
            const Point3& p = r.verts[r.faces[f].v[k]];
            EXPECT_EQ(p, m.verts[m.faces[f].v[k]]) << f;
            for (int ch = 1; ch <= 3; ++ch)
                EXPECT_EQ(r.mapVerts(ch)[r.mapFaces(ch)[f].t[k]], m.mapVerts(ch)[m.mapFaces(ch)[f].t[k]]) << f << " " << ch;
            EXPECT_EQ(r.vertCol[r.vcFace[static_cast<size_t>(f)].t[k]], m.vertCol[m.vcFace[static_cast<size_t>(f)].t[k]]);
        }
        EXPECT_EQ(r.faces[f].getMatID(), m.faces[f].getMatID());
    }
}

TEST(GlbWriter, AMeshReferringOutsideItsTablesWritesNothing) {
    ImportedScene scene = Load("cube.gltf");
    ASSERT_EQ(scene.objects.size(), 1u);
    Mesh& m = scene.objects[0].mesh;
    m.mapFaces(2)[5].t[1] = 99;
    ScopedTempDir dir;
    std::string error;
    EXPECT_FALSE(WriteGlb(dir.File("out.glb"), scene.objects[0], m, error));
    EXPECT_EQ(error, "cannot write " + dir.File("out.glb") + ": face 5 refers to a vertex, colour or map vertex that does not exist");
    EXPECT_FALSE(fs::exists(dir.Path() / "out.glb"));
}
