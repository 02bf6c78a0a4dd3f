// Where a face can be hit: a box that holds every point at which the exact per-face ray test
// (TestFace) can accept a hit on that face, for any ray it may be asked about.
//
// The test computes the plane distance and the barycentric inside test in single precision, so
// an accepted hit point can lie a little outside the face: past an edge by the rounding of the
// barycentric weights (large for thin faces), and off the plane by the rounding of the distance.
// The box is the face's own box widened by bounds on both errors, derived from the float
// operations the test performs, with a wide margin. What it does not cover is the rounding that
// depends on the ray's origin, which the traversal adds per ray (RayOriginPad).
#pragma once
#include <cmath>

#include "host/Point3.h"
#include "raycast/Bvh.h"

enum class FaceReach {
    kNever,     // the test can never accept this face (zero normal, zero area, NaN normal)
    kBounded,   // every accepted hit lies in the box
    kAnywhere,  // no useful bound (non-finite or extreme coordinates, extremely thin faces):
                // the face must be tested for every ray
};

// Classifies the face with corners c0, c1, c2 and unit normal n (as the ray query uses them) and,
// for kBounded, writes the box.
FaceReach ConservativeFaceBox(const Point3& c0, const Point3& c1, const Point3& c2, const Point3& n, BvhBox& box);

// How far every box must be widened, in addition, for a ray from `origin`: the test's rounding
// of origin . n and of the hit point grows with the origin's magnitude. The analysis needs about
// 20u |origin| (u = 2^-24); the L1 norm bounds the length from above. Computed in float on every
// ray: its own few roundings are far inside the margin.
inline float RayOriginPad(const Point3& origin) {
    const float l1 = std::fabs(origin.x) + std::fabs(origin.y) + std::fabs(origin.z);
    return l1 * (64.0f * 0x1p-24f) + 1e-30f;
}
