// The accelerated ray query: walks the wide tree nearest-first and runs the per-face test on the
// faces of the leaves it reaches, four at a time, from operands laid out in the leaf's block.
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
// The leaf test itself is the per-face test, operation for operation, so it accepts exactly the
// faces the scan accepts.
#include <algorithm>
#include <bit>
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
bool OriginCovered(const Point3& p) {
    return std::fabs(p.x) <= 1e30f && std::fabs(p.y) <= 1e30f && std::fabs(p.z) <= 1e30f;
}
bool DirectionCovered(const Point3& d) {
    const float x = std::fabs(d.x), y = std::fabs(d.y), z = std::fabs(d.z);
    // Bitwise & so that the three tests compile without branches; NaN fails the first of each.
    const bool inRange = (x <= 1e30f) & (y <= 1e30f) & (z <= 1e30f);
    const bool notTiny = ((x == 0.0f) | (x >= 1e-30f)) & ((y == 0.0f) | (y >= 1e-30f)) & ((z == 0.0f) | (z >= 1e-30f));
    return inRange & notTiny;
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

SlabRay MakeSlabRay(const Ray& ray, float pad) {
    SlabRay s;
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
// The same test eight slots at a time, for processors with AVX, and all sixteen at once with
// AVX-512 (chosen at run time). The operations and their NaN behaviour are those of the four-slot
// version.
template <int Octant>
__attribute__((target("avx"))) int SlotHitsAvx(const BvhNode& node, const SlabRay& s, float limit,
                                               float tnear[kBvhWidth]) {
    static_assert(kBvhWidth % 8 == 0);
    int mask = 0;
    for (int half = 0; half < kBvhWidth; half += 8) {
        __m256 tn = _mm256_setzero_ps(), tf = _mm256_set1_ps(limit);
        for (int a = 0; a < 3; ++a) {
            const __m256 inv = _mm256_set1_ps(s.inv[a]);
            const __m256 ta = _mm256_mul_ps(_mm256_sub_ps(_mm256_load_ps(node.bounds[NearBound<Octant>(a)] + half), _mm256_set1_ps(s.nearP[a])), inv);
            const __m256 tb = _mm256_mul_ps(_mm256_sub_ps(_mm256_load_ps(node.bounds[FarBound<Octant>(a)] + half), _mm256_set1_ps(s.farP[a])), inv);
            tn = _mm256_max_ps(ta, tn);
            tf = _mm256_min_ps(tb, tf);
        }
        _mm256_storeu_ps(tnear + half, tn);
        mask |= _mm256_movemask_ps(_mm256_cmp_ps(tn, _mm256_mul_ps(tf, _mm256_set1_ps(kSlack)), _CMP_LE_OQ)) << half;
    }
    return mask;
}
template <int Octant>
__attribute__((target("avx512f"))) int SlotHits512(const BvhNode& node, const SlabRay& s, float limit,
                                               float tnear[kBvhWidth]) {
    __m512 tn = _mm512_setzero_ps(), tf = _mm512_set1_ps(limit);
    for (int a = 0; a < 3; ++a) {
        const __m512 inv = _mm512_set1_ps(s.inv[a]);
        const __m512 ta = _mm512_mul_ps(_mm512_sub_ps(_mm512_load_ps(node.bounds[NearBound<Octant>(a)]), _mm512_set1_ps(s.nearP[a])), inv);
        const __m512 tb = _mm512_mul_ps(_mm512_sub_ps(_mm512_load_ps(node.bounds[FarBound<Octant>(a)]), _mm512_set1_ps(s.farP[a])), inv);
        // Zero-masked forms with every lane kept: the plain ones trip GCC 12's uninitialised-value
        // warning inside its own header. Same instruction, same NaN rule.
        tn = _mm512_maskz_max_ps(0xFFFF, ta, tn);
        tf = _mm512_maskz_min_ps(0xFFFF, tb, tf);
    }
    _mm512_storeu_ps(tnear, tn);
    return static_cast<int>(_mm512_cmp_ps_mask(tn, _mm512_mul_ps(tf, _mm512_set1_ps(kSlack)), _CMP_LE_OQ));
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
    // For a face the per-face test accepted against an earlier limit: kept if it is no farther
    // than the best so far, as the test would have decided with the best at hand.
    void AcceptIfNearer(int f, float t) {
        if (!found || t <= best) Accept(f, t);
    }
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

// The per-face test of the faces of a leaf (the first `count` lanes of block b), four at a time
// with the test's own float operations in its order (front face, plane distance within [0,
// limit], hit point H = P + t d, barycentric weights on the kept axes, all three >= 0): bit l of
// the result set where the test accepts lane l, at distance t[l]. `limit` is the best distance so
// far or the ray's limit, so a lane at exactly the best distance passes, as in the test.
inline int LeafHits(const RayAccelerator::FaceBlock& b, int count, const Ray& ray, float limit, float t[4]) {
#if defined(__SSE2__)
    const __m128 nx = _mm_load_ps(b.normal[0]), ny = _mm_load_ps(b.normal[1]), nz = _mm_load_ps(b.normal[2]);
    const __m128 dx = _mm_set1_ps(ray.dir.x), dy = _mm_set1_ps(ray.dir.y), dz = _mm_set1_ps(ray.dir.z);
    const __m128 px = _mm_set1_ps(ray.p.x), py = _mm_set1_ps(ray.p.y), pz = _mm_set1_ps(ray.p.z);
    // d . n and P . n summed left to right, as DotProd does.
    const __m128 denom = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, nx), _mm_mul_ps(dy, ny)), _mm_mul_ps(dz, nz));
    const __m128 pn = _mm_add_ps(_mm_add_ps(_mm_mul_ps(px, nx), _mm_mul_ps(py, ny)), _mm_mul_ps(pz, nz));
    const __m128 dist = _mm_div_ps(_mm_sub_ps(_mm_load_ps(b.planeOffset), pn), denom);
    // Each comparison is false for NaN, so a NaN lane never passes.
    __m128 ok = _mm_cmple_ps(denom, _mm_set1_ps(kFrontFaceLimit));
    ok = _mm_and_ps(ok, _mm_cmpge_ps(dist, _mm_setzero_ps()));
    ok = _mm_and_ps(ok, _mm_cmple_ps(dist, _mm_set1_ps(limit)));
    // Most leaves a ray reaches face away from it or lie beyond its reach: stop before the
    // inside test's divisions.
    const int planeHits = _mm_movemask_ps(ok) & ((1 << count) - 1);
    if (planeHits == 0) return 0;
    // H = P + t d, then its components on each lane's kept axes.
    const __m128 hx = _mm_add_ps(px, _mm_mul_ps(dist, dx));
    const __m128 hy = _mm_add_ps(py, _mm_mul_ps(dist, dy));
    const __m128 hz = _mm_add_ps(pz, _mm_mul_ps(dist, dz));
    const __m128i axis = _mm_srli_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(b.face)),
                                        RayAccelerator::FaceBlock::kAxisShift);
    const __m128 dropX = _mm_castsi128_ps(_mm_cmpeq_epi32(axis, _mm_setzero_si128()));
    const __m128 dropY = _mm_castsi128_ps(_mm_cmpeq_epi32(axis, _mm_set1_epi32(1)));
    const __m128 dropZ = _mm_castsi128_ps(_mm_cmpeq_epi32(axis, _mm_set1_epi32(2)));
    // (i, j) = (y, z) without x, (z, x) without y, (x, y) without z.
    const __m128 hi = _mm_or_ps(_mm_or_ps(_mm_and_ps(dropX, hy), _mm_and_ps(dropY, hz)), _mm_and_ps(dropZ, hx));
    const __m128 hj = _mm_or_ps(_mm_or_ps(_mm_and_ps(dropX, hz), _mm_and_ps(dropY, hx)), _mm_and_ps(dropZ, hy));
    const __m128 qi = _mm_sub_ps(hi, _mm_load_ps(b.corner[0]));
    const __m128 qj = _mm_sub_ps(hj, _mm_load_ps(b.corner[1]));
    const __m128 area = _mm_load_ps(b.area);
    const __m128 b1 = _mm_div_ps(_mm_sub_ps(_mm_mul_ps(qi, _mm_load_ps(b.edge2[1])), _mm_mul_ps(qj, _mm_load_ps(b.edge2[0]))), area);
    const __m128 b2 = _mm_div_ps(_mm_sub_ps(_mm_mul_ps(qj, _mm_load_ps(b.edge1[0])), _mm_mul_ps(qi, _mm_load_ps(b.edge1[1]))), area);
    const __m128 b0 = _mm_sub_ps(_mm_sub_ps(_mm_set1_ps(1.0f), b1), b2);
    const __m128 zero = _mm_setzero_ps();
    ok = _mm_and_ps(ok, _mm_and_ps(_mm_cmpge_ps(b0, zero), _mm_and_ps(_mm_cmpge_ps(b1, zero), _mm_cmpge_ps(b2, zero))));
    _mm_storeu_ps(t, dist);
    return _mm_movemask_ps(ok) & planeHits;
#else
    (void)b, (void)count, (void)ray, (void)limit, (void)t;
    return -1;  // not used: without SSE2 the walk runs the per-face test itself
#endif
}

// Slots whose child is a leaf: the sign bits of the child words (empty slots are negative too,
// but their boxes never pass a ray test).
inline int LeafSlots(const BvhNode& node) {
#if defined(__SSE2__)
    int mask = 0;
    for (int q = 0; q < kBvhWidth; q += 4) {
        mask |= _mm_movemask_ps(_mm_castsi128_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(node.child + q)))) << q;
    }
    return mask;
#else
    int mask = 0;
    for (int s = 0; s < kBvhWidth; ++s) mask |= (node.child[s] < 0 ? 1 : 0) << s;
    return mask;
#endif
}

// Walks the tree for a ray in octant Octant; `pad` is RayOriginPad of its origin. Returns false
// if the stack would overflow (the builder's depth bound rules that out).
template <int Octant, SlotTest Width>
[[gnu::always_inline]] inline bool Walk(const Query& q, float pad, Nearest& result) {
    const SlabRay slab = MakeSlabRay(q.ray, pad);
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
        const int mask = Width == SlotTest::kSixteen ? SlotHits512<Octant>(node, slab, limit, tnear)
                         : Width == SlotTest::kEight ? SlotHitsAvx<Octant>(node, slab, limit, tnear)
                                                     : SlotHits<Octant>(node, slab, limit, tnear);
#else
        const int mask = SlotHits<Octant>(node, slab, limit, tnear);
#endif
        const int leaves = LeafSlots(node);
        // The faces of the leaves hit are tested at once, nearest hit or not.
        for (int m = mask & leaves; m != 0; m &= m - 1) {
            const int s = __builtin_ctz(static_cast<unsigned>(m));
            if (tnear[s] > cull) continue;
            const std::int32_t child = node.child[s];
            const RayAccelerator::FaceBlock& block = q.accel.Blocks()[BvhNode::LeafFirst(child) / 4];
#if defined(__SSE2__)
            float t[4];
            int hits = LeafHits(block, BvhNode::LeafCount(child), q.ray, limit, t);
            if (hits == 0) continue;
            for (; hits != 0; hits &= hits - 1) {
                const int lane = __builtin_ctz(static_cast<unsigned>(hits));
                nearest.AcceptIfNearer(RayAccelerator::FaceBlock::Face(block.face[lane]), t[lane]);
            }
#else
            for (int lane = 0; lane < BvhNode::LeafCount(child); ++lane) {
                const Point3 n{block.normal[0][lane], block.normal[1][lane], block.normal[2][lane]};
                TestCandidate(q, RayAccelerator::FaceBlock::Face(block.face[lane]), n, nearest);
            }
#endif
            limit = nearest.Limit(q.maxDistance);
            cull = limit * kSlack;
        }
        // Of the child nodes hit, the nearest is walked next and the others wait on the stack
        // with their entry distances.
        int nodes = mask & ~leaves;
        if (nodes != 0) {
            int s = __builtin_ctz(static_cast<unsigned>(nodes));
            nodes &= nodes - 1;
            std::int32_t next = node.child[s];
            if (nodes == 0) {
                current = next;
                continue;
            }
            if (top + kBvhWidth >= kStackSize) return false;
            float nextNear = tnear[s];
            for (; nodes != 0; nodes &= nodes - 1) {
                s = __builtin_ctz(static_cast<unsigned>(nodes));
                const std::int32_t child = node.child[s];
                if (tnear[s] < nextNear) {
                    stack[top++] = {next, nextNear};
                    next = child;
                    nextNear = tnear[s];
                } else {
                    stack[top++] = {child, tnear[s]};
                }
            }
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

using WalkFunction = bool (*)(const Query&, float, Nearest&);
template <int Octant>
bool WalkFour(const Query& q, float pad, Nearest& result) {
    return Walk<Octant, SlotTest::kFour>(q, pad, result);
}
#if defined(MURKWELL_AVX_SLOTS)
// Compiled for the wider instruction sets as a whole, so the slot tests inline into the walk.
template <int Octant>
__attribute__((target("avx"))) bool WalkEight(const Query& q, float pad, Nearest& result) {
    return Walk<Octant, SlotTest::kEight>(q, pad, result);
}
template <int Octant>
__attribute__((target("avx,avx512f"))) bool WalkSixteen(const Query& q, float pad, Nearest& result) {
    return Walk<Octant, SlotTest::kSixteen>(q, pad, result);
}
#else
template <int Octant>
bool WalkEight(const Query& q, float pad, Nearest& result) {
    return WalkFour<Octant>(q, pad, result);
}
template <int Octant>
bool WalkSixteen(const Query& q, float pad, Nearest& result) {
    return WalkFour<Octant>(q, pad, result);
}
#endif

constexpr WalkFunction kWalks[3][8] = {
    {WalkFour<0>, WalkFour<1>, WalkFour<2>, WalkFour<3>, WalkFour<4>, WalkFour<5>, WalkFour<6>, WalkFour<7>},
    {WalkEight<0>, WalkEight<1>, WalkEight<2>, WalkEight<3>, WalkEight<4>, WalkEight<5>, WalkEight<6>, WalkEight<7>},
    {WalkSixteen<0>, WalkSixteen<1>, WalkSixteen<2>, WalkSixteen<3>, WalkSixteen<4>, WalkSixteen<5>, WalkSixteen<6>,
     WalkSixteen<7>}};

// The widest slot test this processor runs.
SlotTest WidestSlotTest() {
#if defined(MURKWELL_AVX_SLOTS)
    static const SlotTest widest = __builtin_cpu_supports("avx512f") ? SlotTest::kSixteen
                                   : __builtin_cpu_supports("avx")   ? SlotTest::kEight
                                                                     : SlotTest::kFour;
    return widest;
#else
    return SlotTest::kFour;
#endif
}

}  // namespace

int RayAccelerator::Intersect(const Mesh& mesh, const Ray& ray, float& hitDistance, float maxDistance,
                              const Tab<Point3>& faceNormals) const {
    if (!Matches(mesh, faceNormals) || std::isnan(maxDistance) || !OriginCovered(ray.p) || !DirectionCovered(ray.dir)) {
        return IntersectRay(mesh, ray, hitDistance, maxDistance, faceNormals);
    }
    return Cast(mesh, ray, hitDistance, maxDistance, faceNormals, RayOriginPad(ray.p));
}

int RayAccelerator::Cast(const Mesh& mesh, const Ray& ray, float& hitDistance, float maxDistance,
                         const Tab<Point3>& faceNormals, float pad) const {
    const Query q{mesh, ray, maxDistance, *this, tree_.nodes.data()};
    Nearest nearest;
    for (const std::int32_t f : alwaysTested_) TestCandidate(q, f, *faceNormals.Addr(f), nearest);
    if (!tree_.nodes.empty() && !kWalks[static_cast<int>(slotTest_)][OctantOf(ray.dir)](q, pad, nearest)) {
        assert1(__LINE__, "IntersectRay");
        return IntersectRay(mesh, ray, hitDistance, maxDistance, faceNormals);
    }
    if (nearest.found) hitDistance = nearest.best;
    return nearest.found ? 1 : 0;
}

void RayAccelerator::IntersectFan(const Mesh& mesh, const Ray* rays, int count, float maxDistance,
                                  const Tab<Point3>& faceNormals, int* found, float* hitDistance) const {
    if (count <= 0) return;
    const Point3 origin = rays[0].p;
    bool shared = Matches(mesh, faceNormals) && !std::isnan(maxDistance) && OriginCovered(origin);
    for (int k = 1; k < count && shared; ++k) {
        // The same origin, bit for bit.
        const Point3& p = rays[k].p;
        shared = std::bit_cast<std::uint32_t>(p.x) == std::bit_cast<std::uint32_t>(origin.x) &&
                 std::bit_cast<std::uint32_t>(p.y) == std::bit_cast<std::uint32_t>(origin.y) &&
                 std::bit_cast<std::uint32_t>(p.z) == std::bit_cast<std::uint32_t>(origin.z);
    }
    if (!shared) {
        for (int k = 0; k < count; ++k) found[k] = Intersect(mesh, rays[k], hitDistance[k], maxDistance, faceNormals);
        return;
    }
    // What depends on the origin alone is checked and computed once.
    const float pad = RayOriginPad(origin);
    for (int k = 0; k < count; ++k) {
        found[k] = DirectionCovered(rays[k].dir)
                       ? Cast(mesh, rays[k], hitDistance[k], maxDistance, faceNormals, pad)
                       : IntersectRay(mesh, rays[k], hitDistance[k], maxDistance, faceNormals);
    }
}

void RayAccelerator::UseSlotTest(SlotTest width) { slotTest_ = std::min(width, WidestSlotTest()); }
