// The unit face normals the ray query tests against.
#include "host/Assert.h"
#include "plugin/GritUtility.h"

void GritUtility::BuildFaceNormals(const Mesh& mesh) {
    const int faceCount = mesh.getNumFaces();
    const int vertCount = mesh.getNumVerts();
    faceNormals.SetCount(faceCount);
    for (int i = 0; i < faceCount; ++i) {
        const Face& f = mesh.faces[static_cast<size_t>(i)];
        if (f.v[0] >= DWORD(vertCount) || f.v[1] >= DWORD(vertCount) || f.v[2] >= DWORD(vertCount)) {
            // A corner outside the vertex table: the face gets no normal, so the ray query's
            // front-face test rejects it without ever reading its corners.
            assert1(__LINE__, "IntersectRay");
            faceNormals[i] = Point3{};
            continue;
        }
        const Point3& c0 = mesh.getVert(int(f.v[0]));
        const Point3& c1 = mesh.getVert(int(f.v[1]));
        const Point3& c2 = mesh.getVert(int(f.v[2]));
        // Counter-clockwise c0 -> c1 -> c2 seen from the front. A degenerate face keeps the zero
        // vector, which never passes the front-face test.
        faceNormals[i] = Normalize(CrossProd(c1 - c0, c2 - c1));
    }
}
