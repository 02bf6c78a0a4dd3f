// The nearest-hit ray query: a scan over every face of the mesh in index order.
#include "raycast/IntersectRay.h"

#include "host/Assert.h"

int IntersectRay(const Mesh& mesh, const Ray& ray, float& hitDistance, float maxDistance,
                 const Tab<Point3>& faceNormals) {
    const int faceCount = mesh.getNumFaces();
    const int normalCount = faceNormals.Count();
    if (normalCount != faceCount) assert1(__LINE__, "IntersectRay");

    // Every face is a candidate, in increasing index order. Walking the index range directly
    // visits the same faces in the same order as a gathered list would, without allocating on
    // this hot path.
    bool found = false;
    float best = 0.0f;
    for (int c = 0; c < faceCount; ++c) {
        if (c >= normalCount) {
            // No normal for this face: it cannot be tested.
            assert1(__LINE__, "IntersectRay");
            continue;
        }
        if (TestFace(mesh, c, *faceNormals.Addr(c), ray, maxDistance, found, best)) found = true;
    }
    if (found) hitDistance = best;
    return found ? 1 : 0;
}
