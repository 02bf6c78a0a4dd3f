// The accelerated ray query: walks the wide tree nearest-first, screens the faces of the leaves
// it reaches four at a time, and hands the survivors to the per-face test.
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
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

#include "host/Assert.h"
#include "raycast/FaceBounds.h"
#include "raycast/IntersectRay.h"
#include "raycast/RayAccelerator.h"

namespace {

constexpr float kSlack = 1.0f + 0x1p-20f;
// Each node walks on into one child and leaves at most kBvhWidth - 1 waiting; nodes lie at most
// kBvhMaxDepth - 1 levels below the root.
constexpr int kStackSize = (kBvhWidth - 1) * kBvhMaxDepth + 1;

struct StackEntry {
    std::int32_t node;
    float tnear;
};

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

// The octant of a direction: bit a set when component a is negative (or -0). It fixes, per axis,
// which bound of a box the ray enters through, so the walk is compiled once per octant.
int OctantOf(const Point3& d) {
    return (std::signbit(d.x) ? 1 : 0) | (std::signbit(d.y) ? 2 : 0) | (std::signbit(d.z) ? 4 : 0);
}

// The ray as the slab tests use it.
struct SlabRay {
    float inv[3];    // 1 / d per axis (+-inf for a zero component)
    float nearP[3];  // origin shifted so that the near planes are widened by the ray's pad
    float farP[3];   // likewise for the far planes
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
    }
    return s;
}

template <int Octant>
constexpr int NearBound(int axis) {
    return 2 * axis + ((Octant >> axis) & 1);
}
template <int Octant>
constexpr int FarBound(int axis) {
    return 2 * axis + 1 - ((Octant >> axis) & 1);
}

// Bit s set when the ray meets slot s's box within [0, limit]; tnear[s] its entry distance.
template <int Octant>
int SlotHits(const BvhNode& node, const SlabRay& s, float limit, float tnear[kBvhWidth]) {
#if defined(__SSE2__)
    const __m128 zero = _mm_setzero_ps(), lim = _mm_set1_ps(limit), slack = _mm_set1_ps(kSlack);
    int mask = 0;
    // Four slots at a time.
    for (int half = 0; half < kBvhWidth; half += 4) {
        __m128 tn = zero, tf = lim;
        for (int a = 0; a < 3; ++a) {
            const __m128 inv = _mm_set1_ps(s.inv[a]);
            const __m128 ta = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(node.bounds[NearBound<Octant>(a)] + half), _mm_set1_ps(s.nearP[a])), inv);
            const __m128 tb = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(node.bounds[FarBound<Octant>(a)] + half), _mm_set1_ps(s.farP[a])), inv);
            // max/min return their second operand when either is NaN: a NaN distance is ignored.
            tn = _mm_max_ps(ta, tn);
            tf = _mm_min_ps(tb, tf);
        }
        _mm_storeu_ps(tnear + half, tn);
        mask |= _mm_movemask_ps(_mm_cmple_ps(tn, _mm_mul_ps(tf, slack))) << half;
    }
    return mask;
#else
    int mask = 0;
    for (int slot = 0; slot < kBvhWidth; ++slot) {
        float tn = 0.0f, tf = limit;
        for (int a = 0; a < 3; ++a) {
            const float ta = (node.bounds[NearBound<Octant>(a)][slot] - s.nearP[a]) * s.inv[a];
            const float tb = (node.bounds[FarBound<Octant>(a)][slot] - s.farP[a]) * s.inv[a];
            if (ta > tn) tn = ta;  // false for NaN: ignored
            if (tb < tf) tf = tb;
        }
        tnear[slot] = tn;
        if (tn <= tf * kSlack) mask |= 1 << slot;
    }
    return mask;
#endif
}

#if defined(__GNUC__) && defined(__x86_64__)
#define MURKWELL_AVX_SLOTS 1
// The same test on all eight slots at once, for processors with AVX (chosen at run time). The
// operations and their NaN behaviour are those of the four-slot version.
template <int Octant>
__attribute__((target("avx"))) int SlotHitsAvx(const BvhNode& node, const SlabRay& s, float limit,
                                               float tnear[kBvhWidth]) {
    static_assert(kBvhWidth == 8);
    __m256 tn = _mm256_setzero_ps(), tf = _mm256_set1_ps(limit);
    for (int a = 0; a < 3; ++a) {
        const __m256 inv = _mm256_set1_ps(s.inv[a]);
        const __m256 ta = _mm256_mul_ps(_mm256_sub_ps(_mm256_load_ps(node.bounds[NearBound<Octant>(a)]), _mm256_set1_ps(s.nearP[a])), inv);
        const __m256 tb = _mm256_mul_ps(_mm256_sub_ps(_mm256_load_ps(node.bounds[FarBound<Octant>(a)]), _mm256_set1_ps(s.farP[a])), inv);
        tn = _mm256_max_ps(ta, tn);
        tf = _mm256_min_ps(tb, tf);
    }
    _mm256_storeu_ps(tnear, tn);
    return _mm256_movemask_ps(_mm256_cmp_ps(tn, _mm256_mul_ps(tf, _mm256_set1_ps(kSlack)), _CMP_LE_OQ));
}
#endif

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

// What one query reads.
struct Query {
    const Mesh& mesh;
    const Ray& ray;
    float maxDistance;
    const RayAccelerator& accel;
    const BvhNode* nodes;
};

// Runs the per-face test on face f (normal n) and keeps its distance when it is accepted.
void TestCandidate(const Query& q, int f, const Point3& n, Nearest& nearest) {
    float t = nearest.best;
    if (TestFace(q.mesh, f, n, q.ray, q.maxDistance, nearest.found, t)) nearest.Accept(f, t);
}

// The faces of a leaf (the first `count` lanes of block b) that the per-face test could accept,
// as a bit per lane. Repeats the test's first steps with its own float operations, lane by lane
// (front face, plane distance within [0, limit], the hit point H = P + t d), and then asks only
// that H lies in the face's box, which holds every hit the test accepts; `pad` widens the box by
// the rounding that grows with the ray's origin.
inline int LeafCandidates(const RayAccelerator::FaceBlock& b, int count, const Ray& ray, float limit, float pad) {
#if defined(__SSE2__)
    const __m128 nx = _mm_load_ps(b.normal[0]), ny = _mm_load_ps(b.normal[1]), nz = _mm_load_ps(b.normal[2]);
    const __m128 dx = _mm_set1_ps(ray.dir.x), dy = _mm_set1_ps(ray.dir.y), dz = _mm_set1_ps(ray.dir.z);
    const __m128 px = _mm_set1_ps(ray.p.x), py = _mm_set1_ps(ray.p.y), pz = _mm_set1_ps(ray.p.z);
    // d . n and P . n summed left to right, as DotProd does.
    const __m128 denom = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, nx), _mm_mul_ps(dy, ny)), _mm_mul_ps(dz, nz));
    const __m128 pn = _mm_add_ps(_mm_add_ps(_mm_mul_ps(px, nx), _mm_mul_ps(py, ny)), _mm_mul_ps(pz, nz));
    const __m128 t = _mm_div_ps(_mm_sub_ps(_mm_load_ps(b.planeOffset), pn), denom);
    // Each comparison is false for NaN, so a NaN lane never passes.
    __m128 ok = _mm_cmple_ps(denom, _mm_set1_ps(kFrontFaceLimit));
    ok = _mm_and_ps(ok, _mm_cmpge_ps(t, _mm_setzero_ps()));
    ok = _mm_and_ps(ok, _mm_cmple_ps(t, _mm_set1_ps(limit)));
    const __m128 vpad = _mm_set1_ps(pad);
    const __m128 hx = _mm_add_ps(px, _mm_mul_ps(t, dx));
    const __m128 hy = _mm_add_ps(py, _mm_mul_ps(t, dy));
    const __m128 hz = _mm_add_ps(pz, _mm_mul_ps(t, dz));
    ok = _mm_and_ps(ok, _mm_cmpge_ps(_mm_add_ps(hx, vpad), _mm_load_ps(b.lo[0])));
    ok = _mm_and_ps(ok, _mm_cmpge_ps(_mm_add_ps(hy, vpad), _mm_load_ps(b.lo[1])));
    ok = _mm_and_ps(ok, _mm_cmpge_ps(_mm_add_ps(hz, vpad), _mm_load_ps(b.lo[2])));
    ok = _mm_and_ps(ok, _mm_cmple_ps(_mm_sub_ps(hx, vpad), _mm_load_ps(b.hi[0])));
    ok = _mm_and_ps(ok, _mm_cmple_ps(_mm_sub_ps(hy, vpad), _mm_load_ps(b.hi[1])));
    ok = _mm_and_ps(ok, _mm_cmple_ps(_mm_sub_ps(hz, vpad), _mm_load_ps(b.hi[2])));
    return _mm_movemask_ps(ok) & ((1 << count) - 1);
#else
    int mask = 0;
    for (int i = 0; i < count; ++i) {
        const Point3 n{b.normal[0][i], b.normal[1][i], b.normal[2][i]};
        const float denom = DotProd(ray.dir, n);
        const float t = (b.planeOffset[i] - DotProd(ray.p, n)) / denom;
        if (!(denom <= kFrontFaceLimit) || !(t >= 0.0f) || !(t <= limit)) continue;
        const Point3 h = ray.p + t * ray.dir;
        bool inside = true;
        for (int a = 0; a < 3; ++a) inside = inside && h[a] + pad >= b.lo[a][i] && h[a] - pad <= b.hi[a][i];
        if (inside) mask |= 1 << i;
    }
    return mask;
#endif
}

// Walks the tree for a ray in octant Octant. Returns false if the stack would overflow (the
// builder's depth bound rules that out).
template <int Octant, bool Avx>
[[gnu::always_inline]] inline bool Walk(const Query& q, Nearest& result) {
    const SlabRay slab = MakeSlabRay(q.ray);
    const float pad = RayOriginPad(q.ray.p);
    // Kept in locals so they stay in registers across the per-face test's calls.
    Nearest nearest = result;
    float limit = nearest.Limit(q.maxDistance);
    float cull = limit * kSlack;  // entry distances beyond this cannot lead to a nearer hit
    StackEntry stack[kStackSize];
    int top = 0;
    std::int32_t current = 0;
    for (;;) {
        const BvhNode& node = q.nodes[current];
        float tnear[kBvhWidth];
#if defined(MURKWELL_AVX_SLOTS)
        int mask = Avx ? SlotHitsAvx<Octant>(node, slab, limit, tnear) : SlotHits<Octant>(node, slab, limit, tnear);
#else
        int mask = SlotHits<Octant>(node, slab, limit, tnear);
#endif
        // Ask for every child's memory before looking at any of them, so the loads overlap.
        for (int m = mask; m != 0; m &= m - 1) {
            const std::int32_t child = node.child[__builtin_ctz(static_cast<unsigned>(m))];
            const char* at;
            int bytes;
            if (BvhNode::IsNode(child)) {
                at = reinterpret_cast<const char*>(q.nodes + child);
                bytes = sizeof(BvhNode);
            } else {
                at = reinterpret_cast<const char*>(q.accel.Blocks() + BvhNode::LeafFirst(child) / 4);
                bytes = sizeof(RayAccelerator::FaceBlock);
            }
            for (int offset = 0; offset < bytes; offset += 64) __builtin_prefetch(at + offset);
        }
        // Leaves are tested at once; of the child nodes hit, the nearest is walked next and the
        // others wait on the stack with their entry distances.
        std::int32_t next = -1;
        float nextNear = 0.0f;
        for (; mask != 0; mask &= mask - 1) {
            const int s = __builtin_ctz(static_cast<unsigned>(mask));
            const std::int32_t child = node.child[s];
            if (BvhNode::IsNode(child)) {
                if (top + 1 >= kStackSize) return false;
                if (next < 0) {
                    next = child;
                    nextNear = tnear[s];
                } else if (tnear[s] < nextNear) {
                    stack[top++] = {next, nextNear};
                    next = child;
                    nextNear = tnear[s];
                } else {
                    stack[top++] = {child, tnear[s]};
                }
                continue;
            }
            if (tnear[s] > cull) continue;
            const RayAccelerator::FaceBlock& block = q.accel.Blocks()[BvhNode::LeafFirst(child) / 4];
            int candidates = LeafCandidates(block, BvhNode::LeafCount(child), q.ray, limit, pad);
            for (; candidates != 0; candidates &= candidates - 1) {
                const int lane = __builtin_ctz(static_cast<unsigned>(candidates));
                const Point3 n{block.normal[0][lane], block.normal[1][lane], block.normal[2][lane]};
                TestCandidate(q, block.face[lane], n, nearest);
                limit = nearest.Limit(q.maxDistance);
                cull = limit * kSlack;
            }
        }
        if (next >= 0) {
            current = next;
            continue;
        }
        // Resume with the nearest waiting node that can still hold a nearer hit.
        while (top > 0 && stack[top - 1].tnear > cull) --top;
        if (top == 0) break;
        current = stack[--top].node;
    }
    result = nearest;
    return true;
}

using WalkFunction = bool (*)(const Query&, Nearest&);
template <int Octant>
bool WalkSse(const Query& q, Nearest& result) {
    return Walk<Octant, false>(q, result);
}
#if defined(MURKWELL_AVX_SLOTS)
// Compiled for AVX as a whole, so the eight-slot test inlines into the walk.
template <int Octant>
__attribute__((target("avx"))) bool WalkAvx(const Query& q, Nearest& result) {
    return Walk<Octant, true>(q, result);
}
#else
template <int Octant>
bool WalkAvx(const Query& q, Nearest& result) {
    return Walk<Octant, false>(q, result);
}
#endif

constexpr WalkFunction kWalks[2][8] = {
    {WalkSse<0>, WalkSse<1>, WalkSse<2>, WalkSse<3>, WalkSse<4>, WalkSse<5>, WalkSse<6>, WalkSse<7>},
    {WalkAvx<0>, WalkAvx<1>, WalkAvx<2>, WalkAvx<3>, WalkAvx<4>, WalkAvx<5>, WalkAvx<6>, WalkAvx<7>}};

bool ProcessorHasAvx() {
#if defined(MURKWELL_AVX_SLOTS)
    static const bool avx = __builtin_cpu_supports("avx");
    return avx;
#else
    return false;
#endif
}

}  // namespace

int RayAccelerator::Intersect(const Mesh& mesh, const Ray& ray, float& hitDistance, float maxDistance,
                              const Tab<Point3>& faceNormals) const {
    if (!Matches(mesh, faceNormals) || !WalkCovers(ray, maxDistance)) {
        return IntersectRay(mesh, ray, hitDistance, maxDistance, faceNormals);
    }
    const Query q{mesh, ray, maxDistance, *this, tree_.nodes.data()};
    Nearest nearest;
    for (const std::int32_t f : alwaysTested_) TestCandidate(q, f, *faceNormals.Addr(f), nearest);
    if (!tree_.nodes.empty() && !kWalks[wideSlots_ ? 1 : 0][OctantOf(ray.dir)](q, nearest)) {
        assert1(__LINE__, "IntersectRay");
        return IntersectRay(mesh, ray, hitDistance, maxDistance, faceNormals);
    }
    if (nearest.found) hitDistance = nearest.best;
    return nearest.found ? 1 : 0;
}

void RayAccelerator::UseWideSlotTest(bool on) { wideSlots_ = on && ProcessorHasAvx(); }
