#include "tests/uvgrit/UvTestSupport.h"

#include "host/Platform.h"
#include "host/Rand.h"
#include "plugin/GritUtility.h"
#include "uvgrit/TexelWorkers.h"

namespace {
int Vertex(Mesh& mesh, const Point3& p) {
    mesh.verts.push_back(p);
    return mesh.getNumVerts() - 1;
}

void AddTestFace(Mesh& mesh, int a, int b, int c, DWORD smGroup) {
    const int n = mesh.getNumFaces();
    mesh.setNumFaces(n + 1);
    mesh.faces[static_cast<size_t>(n)].setVerts(a, b, c);
    mesh.faces[static_cast<size_t>(n)].setSmGroup(smGroup);
}

// Channel 1 as the projection onto the xy plane scaled by 1 / size, one map vertex per vertex.
void ProjectChannel1(Mesh& mesh, float sizeX, float sizeY) {
    mesh.setNumMapVerts(1, mesh.getNumVerts());
    mesh.setNumMapFaces(1, mesh.getNumFaces());
    Point3* tv = mesh.mapVerts(1);
    TVFace* tf = mesh.mapFaces(1);
    for (int i = 0; i < mesh.getNumVerts(); ++i) tv[i] = Point3(mesh.verts[size_t(i)].x / sizeX, mesh.verts[size_t(i)].y / sizeY, 0.0f);
    for (int i = 0; i < mesh.getNumFaces(); ++i) {
        const auto& f = mesh.faces[size_t(i)];
        tf[i] = TVFace(f.v[0], f.v[1], f.v[2]);
    }
}
}  // namespace

Mesh MakeUvSheet(int cellsX, int cellsY) {
    Mesh mesh;
    for (int y = 0; y <= cellsY; ++y)
        for (int x = 0; x <= cellsX; ++x) Vertex(mesh, Point3(float(x), float(y), 0.0f));
    const int row = cellsX + 1;
    for (int y = 0; y < cellsY; ++y) {
        for (int x = 0; x < cellsX; ++x) {
            const int a = y * row + x, b = a + 1, c = a + row + 1, d = a + row;
            AddTestFace(mesh, a, b, c, 1);
            AddTestFace(mesh, a, c, d, 1);
        }
    }
    ProjectChannel1(mesh, float(cellsX), float(cellsY));
    return mesh;
}

Mesh MakeUvOpenBox(float s) {
    Mesh mesh;
    // Floor, seen from above (+z).
    const int f0 = Vertex(mesh, {0, 0, 0}), f1 = Vertex(mesh, {s, 0, 0}), f2 = Vertex(mesh, {s, s, 0}),
              f3 = Vertex(mesh, {0, s, 0});
    AddTestFace(mesh, f0, f1, f2, 1);
    AddTestFace(mesh, f0, f2, f3, 1);
    // Walls, each seen from inside the box.
    const int t0 = Vertex(mesh, {0, 0, s}), t1 = Vertex(mesh, {s, 0, s}), t2 = Vertex(mesh, {s, s, s}),
              t3 = Vertex(mesh, {0, s, s});
    AddTestFace(mesh, f0, t0, t1, 2);  // y = 0, facing +y
    AddTestFace(mesh, f0, t1, f1, 2);
    AddTestFace(mesh, f1, t1, t2, 4);  // x = s, facing -x
    AddTestFace(mesh, f1, t2, f2, 4);
    AddTestFace(mesh, f2, t2, t3, 8);  // y = s, facing -y
    AddTestFace(mesh, f2, t3, f3, 8);
    AddTestFace(mesh, f3, t3, t0, 16);  // x = 0, facing +x
    AddTestFace(mesh, f3, t0, f0, 16);
    ProjectChannel1(mesh, s, s);
    return mesh;
}

std::vector<std::pair<int, int>> CellsOfFace(const BArray<TexelRecord>& grid, int face) {
    std::vector<std::pair<int, int>> cells;
    for (unsigned x = 0; x < grid.ColumnCount(); ++x)
        for (unsigned y = 0; y < grid.RowCount(); ++y)
            if (grid.At(x, y).faceIndex == face) cells.emplace_back(int(x), int(y));
    return cells;
}

int CoveredCount(const BArray<TexelRecord>& grid) {
    int n = 0;
    for (unsigned x = 0; x < grid.ColumnCount(); ++x)
        for (unsigned y = 0; y < grid.RowCount(); ++y) n += grid.At(x, y).faceIndex != -1 ? 1 : 0;
    return n;
}

BArray<TexelRecord> EmptyGrid(int w, int h) {
    BArray<TexelRecord> grid;
    grid.Resize(unsigned(w), unsigned(h), TexelRecord{});
    grid.SetAll(TexelRecord{});
    return grid;
}

BArray<float> SequentialTexelValues(const GritSettings& settings, const Mesh& mesh, const BArray<TexelRecord>& texels,
                                    bool accelerated, bool finish) {
    GritUtility ref;
    ref.settings = settings;
    ref.engine.threads = 1;
    ref.texels = texels;
    ref.gritValues.Resize(texels.ColumnCount(), texels.RowCount(), 0.0f);
    ref.gritValues.SetAll(0.0f);
    ref.BuildFaceNormals(mesh);
    if (accelerated) ref.BuildRayAccelerator(mesh);
    ref.vertexNormals.Build(mesh);
    std::vector<Ray> rays(static_cast<size_t>(TexelRayCount(settings.horizontalSpread, settings.verticalSpread)));
    const int w = int(texels.ColumnCount()), h = int(texels.RowCount());
    for (int parity : {0, 1}) {
        SetCrtRandState(1);
        for (int y = parity; y < h; y += 2) {
            for (int x = 0; x < w; ++x) {
                const TexelRecord& r = texels.At(unsigned(x), unsigned(y));
                if (r.faceIndex < 0 || r.faceIndex >= mesh.getNumFaces()) continue;
                const float g = ref.EvaluateGrit(mesh, r.faceIndex, r.weights, rays.data());
                const Face& f = mesh.faces[size_t(r.faceIndex)];
                const Point3 p = (mesh.verts[f.v[0]] * r.rawWeights.x + mesh.verts[f.v[1]] * r.rawWeights.y) +
                                 mesh.verts[f.v[2]] * r.rawWeights.z;
                ref.gritValues.Set(x, y, TexelGrit(g, p, settings.noiseOn, settings.noiseSize));
            }
        }
    }
    if (finish) {
        ref.RepairSpeckles();
        ref.DilateCoverage();
    }
    ref.vertexNormals.Clear();
    ref.ReleaseRayAccelerator();
    return ref.gritValues;
}
