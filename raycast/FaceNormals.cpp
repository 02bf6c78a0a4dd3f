// The unit face normals the ray query tests against.
#include "host/Assert.h"
#include "plugin/GritUtility.h"
#include "plugin/WorkerThreads.h"

namespace {
constexpr std::int64_t kFacesPerChunk = 16384;
}  // namespace

void GritUtility::BuildFaceNormals(const Mesh& mesh) { BuildFaceNormals(mesh, PhaseControl{engine.threads, {}}); }

bool GritUtility::BuildFaceNormals(const Mesh& mesh, const PhaseControl& control) {
    const int faceCount = mesh.getNumFaces();
    const int vertCount = mesh.getNumVerts();
    faceNormals.SetCount(faceCount);
    Point3* normals = faceNormals.Addr(0);
    const std::int64_t chunks = ChunkCount(faceCount, kFacesPerChunk);
    // Each face's normal depends on that face alone, so the faces can be shared out in any way.
    return RunPhase({RunWorkerThreads(control.threads, chunks), control.stop}, chunks, [&](std::int64_t chunk) {
        const int end = static_cast<int>(std::min<std::int64_t>((chunk + 1) * kFacesPerChunk, faceCount));
        for (int i = static_cast<int>(chunk * kFacesPerChunk); i < end; ++i) {
            const Face& f = mesh.faces[static_cast<size_t>(i)];
            if (f.v[0] >= DWORD(vertCount) || f.v[1] >= DWORD(vertCount) || f.v[2] >= DWORD(vertCount)) {
                // A corner outside the vertex table: the face gets no normal, so the ray query's
                // front-face test rejects it without ever reading its corners.
                assert1(__LINE__, "IntersectRay");
                normals[i] = Point3{};
                continue;
            }
            const Point3& c0 = mesh.getVert(int(f.v[0]));
            const Point3& c1 = mesh.getVert(int(f.v[1]));
            const Point3& c2 = mesh.getVert(int(f.v[2]));
            // Counter-clockwise c0 -> c1 -> c2 seen from the front. A degenerate face keeps the
            // zero vector, which never passes the front-face test.
            normals[i] = Normalize(CrossProd(c1 - c0, c2 - c1));
        }
    });
}
