// The nearest-hit ray query against a mesh's own triangles, and the point-in-face test it uses.
//
// Only triangles whose front side faces the ray count (d . n <= -0.0001); the answer is the
// distance of the nearest accepted hit within maxDistance, both ends inclusive. Which face was
// hit is not reported.
#pragma once
#include "host/Mesh.h"
#include "host/Ray.h"
#include "host/Tab.h"

// d . n must be at most this for a face to count as seen from the front; it also keeps a ray
// from hitting the face it starts on, and rejects faces seen nearly edge-on. Any early rejection
// in front of the per-face test must use this same limit.
inline constexpr float kFrontFaceLimit = -9.9999997e-05f;

// Barycentric weights (b0, b1, b2) of `point` with respect to the corners of face `faceIndex`;
// (-1, 1, 1) for a degenerate face, which never passes an inside test.
inline Point3 BarycentricInFace(const Mesh& mesh, int faceIndex, const Point3& point) {
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

// The per-face step of the query, shared by the plain scan and any accelerated traversal so the
// arithmetic cannot drift: tests face `face` (whose unit normal is `n`) against the ray and, when
// the face is accepted, stores its distance in `best` and returns true. `found` says whether an
// earlier face was accepted (then `best` holds its distance). Faces farther than `best` are
// rejected; a face at exactly `best` is accepted again, leaving `best` unchanged.
inline bool TestFace(const Mesh& mesh, int face, const Point3& n, const Ray& ray, float maxDistance, bool found,
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

// The plain scan over every face, in index order. Returns 1 for a hit (and writes the nearest
// distance to hitDistance), 0 for none (hitDistance untouched). faceNormals must hold one unit
// normal per face; a mismatch is reported through assert1 with module "IntersectRay".
int IntersectRay(const Mesh& mesh, const Ray& ray, float& hitDistance, float maxDistance,
                 const Tab<Point3>& faceNormals);
