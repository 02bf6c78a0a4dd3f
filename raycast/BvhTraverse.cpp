// The accelerated ray query: walks the four-wide tree nearest-first and hands the faces whose
// boxes the ray meets to the per-face test.
//
// Box tests never cull a face the per-face test could accept:
// - the boxes hold every accepted hit of their face (FaceBounds), widened per ray for the
//   rounding that grows with the origin (RayOriginPad), folded into two shifted origins;
// - the slab distances are computed in float, each off by at most about 3 roundings, so the
//   comparisons allow a relative slack (kSlack) far above that;
// - a NaN slab distance (a direction component of zero with the origin on a slab plane) means
//   no constraint from that axis and is ignored, never culls;
// - distances are clamped at 0 and compared against the limit inclusively, as the test accepts
//   0 and the limit.
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "host/Assert.h"
#include "raycast/FaceBounds.h"
#include "raycast/IntersectRay.h"
#include "raycast/RayAccelerator.h"

namespace {

// The per-face test's front-face limit on d . n; the early rejection below must use the same.
constexpr float kFrontFaceLimit = -9.9999997e-05f;
constexpr float kSlack = 1.0f + 0x1p-20f;
// Each node pushes at most four children and pops itself; nodes lie at most kBvhMaxDepth - 1
// levels below the root.
constexpr int kStackSize = 3 * kBvhMaxDepth + 1;

// Rays whose values keep every slab rounding relative: finite, direction components zero or of
// moderate size (so 1 / d neither overflows nor loses bits), origin far from overflow.
bool WalkCovers(const Ray& ray, float maxDistance) {
    if (std::isnan(maxDistance)) return false;
    for (int a = 0; a < 3; ++a) {
        const float p = std::fabs(ray.p[a]);
        const float d = std::fabs(ray.dir[a]);
        if (!(p <= 1e30f)) return false;
        if (!(d <= 1e30f) || (d != 0.0f && d < 1e-30f)) return false;
    }
    return true;
}

struct StackEntry {
    std::int32_t node;
    float tnear;
};

// The ray as the slab tests use it.
struct SlabRay {
    float inv[3];      // 1 / d per axis (+-inf for a zero component)
    float nearP[3];    // origin shifted so that the near planes are widened by the ray's pad
    float farP[3];     // likewise for the far planes
    int nearBound[3];  // BvhBound of the plane the ray enters through, per axis
    int farBound[3];
};

SlabRay MakeSlabRay(const Ray& ray) {
    SlabRay s;
    const float pad = RayOriginPad(ray.p);
    for (int a = 0; a < 3; ++a) {
        const bool negative = std::signbit(ray.dir[a]);
        s.inv[a] = 1.0f / ray.dir[a];
        // Entering through lo - pad (or leaving through hi + pad) along +d is entering lo from an
        // origin moved forward by pad; mirrored for -d.
        s.nearP[a] = negative ? ray.p[a] - pad : ray.p[a] + pad;
        s.farP[a] = negative ? ray.p[a] + pad : ray.p[a] - pad;
        s.nearBound[a] = 2 * a + (negative ? 1 : 0);
        s.farBound[a] = 2 * a + (negative ? 0 : 1);
    }
    return s;
}

// Bit s set when the ray meets slot s's box within [0, limit]; tnear[s] its entry distance.
int SlotHits(const BvhNode4& node, const SlabRay& s, float limit, float tnear[4]) {
#if defined(__SSE2__)
    __m128 tn = _mm_setzero_ps();
    __m128 tf = _mm_set1_ps(limit);
    for (int a = 0; a < 3; ++a) {
        const __m128 inv = _mm_set1_ps(s.inv[a]);
        const __m128 ta = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(node.bounds[s.nearBound[a]]), _mm_set1_ps(s.nearP[a])), inv);
        const __m128 tb = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(node.bounds[s.farBound[a]]), _mm_set1_ps(s.farP[a])), inv);
        // max/min return their second operand when either is NaN: a NaN distance is ignored.
        tn = _mm_max_ps(ta, tn);
        tf = _mm_min_ps(tb, tf);
    }
    _mm_storeu_ps(tnear, tn);
    return _mm_movemask_ps(_mm_cmple_ps(tn, _mm_mul_ps(tf, _mm_set1_ps(kSlack))));
#else
    int mask = 0;
    for (int slot = 0; slot < 4; ++slot) {
        float tn = 0.0f, tf = limit;
        for (int a = 0; a < 3; ++a) {
            const float ta = (node.bounds[s.nearBound[a]][slot] - s.nearP[a]) * s.inv[a];
            const float tb = (node.bounds[s.farBound[a]][slot] - s.farP[a]) * s.inv[a];
            if (ta > tn) tn = ta;  // false for NaN: ignored
            if (tb < tf) tf = tb;
        }
        tnear[slot] = tn;
        if (tn <= tf * kSlack) mask |= 1 << slot;
    }
    return mask;
#endif
}

// The running answer, kept as the scan keeps it: the smallest accepted distance and, among
// faces accepted at an equal distance, the bits of the highest-numbered one (equal distances
// differ only as +0 and -0).
struct Nearest {
    bool found = false;
    float best = 0.0f;
    int face = -1;

    float Limit(float maxDistance) const { return found ? best : maxDistance; }
    void Accept(int f, float t) {
        if (!found || t < best || f > face) {
            best = t;
            face = f;
        }
        found = true;
    }
};

}  // namespace

int RayAccelerator::Intersect(const Mesh& mesh, const Ray& ray, float& hitDistance, float maxDistance,
                              const Tab<Point3>& faceNormals) const {
    if (!Matches(mesh, faceNormals) || !WalkCovers(ray, maxDistance)) {
        return IntersectRay(mesh, ray, hitDistance, maxDistance, faceNormals);
    }
    const Point3* normals = faceNormals.Addr(0);
    Nearest nearest;

    // Runs the per-face test on face f and keeps its distance when it is accepted.
    const auto test = [&](int f) {
        float t = nearest.best;
        if (!TestFace(mesh, f, normals[f], ray, maxDistance, nearest.found, t)) return;
        nearest.Accept(f, t);
    };
    for (const std::int32_t f : alwaysTested_) test(f);

    if (!tree_.nodes.empty()) {
        const SlabRay slab = MakeSlabRay(ray);
        StackEntry stack[kStackSize];
        int top = 0;
        stack[top++] = {0, 0.0f};
        while (top > 0) {
            const StackEntry entry = stack[--top];
            if (entry.tnear > nearest.Limit(maxDistance) * kSlack) continue;
            const BvhNode4& node = tree_.nodes[static_cast<std::size_t>(entry.node)];
            float tnear[4];
            int mask = SlotHits(node, slab, nearest.Limit(maxDistance), tnear);
            if (mask == 0) continue;

            // Hit slots, nearest first.
            int order[4];
            int count = 0;
            for (; mask != 0; mask &= mask - 1) {
                const int s = __builtin_ctz(static_cast<unsigned>(mask));
                int i = count++;
                while (i > 0 && tnear[order[i - 1]] > tnear[s]) {
                    order[i] = order[i - 1];
                    --i;
                }
                order[i] = s;
            }
            if (top + count > kStackSize) {
                // The builder bounds the depth, so this cannot happen; answer by the scan.
                assert1(__LINE__, "IntersectRay");
                return IntersectRay(mesh, ray, hitDistance, maxDistance, faceNormals);
            }
            // Faces at once (nearest first, so later ones can be rejected on distance), child
            // nodes pushed farthest first so the nearest is walked next.
            for (int i = 0; i < count; ++i) {
                const std::int32_t child = node.child[order[i]];
                if (BvhNode4::IsNode(child)) continue;
                if (tnear[order[i]] > nearest.Limit(maxDistance) * kSlack) break;
                const int f = BvhNode4::ItemOf(child);
                const Point3& n = normals[f];
                // The first steps of the per-face test with its own float operations: front face,
                // then the plane distance against 0, the limit and the best so far.
                const float denom = DotProd(ray.dir, n);
                if (!(denom <= kFrontFaceLimit)) continue;
                const float t = (planeOffsets_[static_cast<std::size_t>(f)] - DotProd(ray.p, n)) / denom;
                if (!(t >= 0.0f) || !(t <= maxDistance) || (nearest.found && t > nearest.best)) continue;
                test(f);
            }
            for (int i = count - 1; i >= 0; --i) {
                const std::int32_t child = node.child[order[i]];
                if (BvhNode4::IsNode(child)) stack[top++] = {child, tnear[order[i]]};
            }
        }
    }
    if (nearest.found) hitDistance = nearest.best;
    return nearest.found ? 1 : 0;
}
