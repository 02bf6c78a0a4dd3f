// The nearest-hit ray query: a scan over every face of the mesh in index order.
#include "raycast/IntersectRay.h"

#include "host/Assert.h"

namespace {
// d . n must be at most this for a face to count as seen from the front; it also keeps a ray
// from hitting the face it starts on, and rejects faces seen nearly edge-on.
constexpr float kFrontFaceLimit = -9.9999997e-05f;
}  // namespace

Point3 BarycentricInFace(const Mesh& mesh, int faceIndex, const Point3& point) {
    const Face& f = mesh.faces[static_cast<size_t>(faceIndex)];
    const Point3& c0 = mesh.getVert(int(f.v[0]));
    const Point3& c1 = mesh.getVert(int(f.v[1]));
    const Point3& c2 = mesh.getVert(int(f.v[2]));
    const Point3 e1 = c1 - c0;
    const Point3 e2 = c2 - c0;
    const Point3 q = point - c0;
    const Point3 m = CrossProd(e1, e2);

    // Project onto the coordinate plane where the face is largest, dropping axis k.
    const int k = MaxComponent(m);
    if (m[k] == 0.0f) return {-1.0f, 1.0f, 1.0f};  // zero area: can never be inside

    float b1, b2;
    switch (k) {
        case 0:
            b1 = (q.y * e2.z - q.z * e2.y) / m.x;
            b2 = (q.z * e1.y - q.y * e1.z) / m.x;
            break;
        case 1:
            b1 = (q.z * e2.x - q.x * e2.z) / m.y;
            b2 = (q.x * e1.z - q.z * e1.x) / m.y;
            break;
        default:
            b1 = (q.x * e2.y - q.y * e2.x) / m.z;
            b2 = (q.y * e1.x - q.x * e1.y) / m.z;
            break;
    }
    return {1.0f - b1 - b2, b1, b2};
}

bool TestFace(const Mesh& mesh, int face, const Point3& n, const Ray& ray, float maxDistance, bool found,
              float& best) {
    const float denom = DotProd(ray.dir, n);
    // Written so that a NaN fails each test: NaN compares false.
    if (!(denom <= kFrontFaceLimit)) return false;

    const Face& f = mesh.faces[static_cast<size_t>(face)];
    const Point3& c0 = mesh.getVert(int(f.v[0]));
    const float t = (DotProd(c0, n) - DotProd(ray.p, n)) / denom;
    if (!(t >= 0.0f)) return false;            // behind the origin; exactly 0 counts
    if (!(t <= maxDistance)) return false;     // beyond the limit; exactly the limit counts
    if (found && t > best) return false;       // an equal distance is accepted again

    const Point3 hit = ray.p + t * ray.dir;
    const Point3 b = BarycentricInFace(mesh, face, hit);
    // Edges and corners are inside; no tolerance.
    if (b.x >= 0.0f && b.y >= 0.0f && b.z >= 0.0f) {
        best = t;
        return true;
    }
    return false;
}

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
