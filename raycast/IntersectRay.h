// The nearest-hit ray query against a mesh's own triangles, and the point-in-face test it uses.
//
// Only triangles whose front side faces the ray count (d . n <= -0.0001); the answer is the
// distance of the nearest accepted hit within maxDistance, both ends inclusive. Which face was
// hit is not reported.
#pragma once
#include "host/Mesh.h"
#include "host/Ray.h"
#include "host/Tab.h"

// Barycentric weights (b0, b1, b2) of `point` with respect to the corners of face `faceIndex`;
// (-1, 1, 1) for a degenerate face, which never passes an inside test.
Point3 BarycentricInFace(const Mesh& mesh, int faceIndex, const Point3& point);

// The per-face step of the query, shared by the plain scan and any accelerated traversal so the
// arithmetic cannot drift: tests face `face` (whose unit normal is `n`) against the ray and, when
// the face is accepted, stores its distance in `best` and returns true. `found` says whether an
// earlier face was accepted (then `best` holds its distance). Faces farther than `best` are
// rejected; a face at exactly `best` is accepted again, leaving `best` unchanged.
bool TestFace(const Mesh& mesh, int face, const Point3& n, const Ray& ray, float maxDistance, bool found,
              float& best);

// The plain scan over every face, in index order. Returns 1 for a hit (and writes the nearest
// distance to hitDistance), 0 for none (hitDistance untouched). faceNormals must hold one unit
// normal per face; a mismatch is reported through assert1 with module "IntersectRay".
int IntersectRay(const Mesh& mesh, const Ray& ray, float& hitDistance, float maxDistance,
                 const Tab<Point3>& faceNormals);
