// A four-wide bounding volume hierarchy over axis-aligned boxes, built with binned surface-area
// splits. The builder only sees boxes and the ids to store; what an id means (a mesh face) and
// how a ray is tested against it belong to the caller, so the tree stays a plain spatial index.
//
// Each node holds the boxes of its up to four children side by side (one array per bound), so a
// ray can be tested against all four with one pass of vector arithmetic. A child is either
// another node or a single stored id: every id gets its own box slot, which makes the node test
// the per-item test as well.
#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

// An axis-aligned box; lo > hi on an axis means empty.
struct BvhBox {
    float lo[3] = {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity(),
                   std::numeric_limits<float>::infinity()};
    float hi[3] = {-std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                   -std::numeric_limits<float>::infinity()};

    void Extend(const BvhBox& b) {
        for (int a = 0; a < 3; ++a) {
            if (b.lo[a] < lo[a]) lo[a] = b.lo[a];
            if (b.hi[a] > hi[a]) hi[a] = b.hi[a];
        }
    }
    bool Contains(const BvhBox& b) const {
        for (int a = 0; a < 3; ++a) {
            if (b.lo[a] < lo[a] || b.hi[a] > hi[a]) return false;
        }
        return true;
    }
    // Half the surface area, in double so that large boxes do not overflow; 0 for an empty box.
    double HalfArea() const {
        const double dx = double(hi[0]) - lo[0], dy = double(hi[1]) - lo[1], dz = double(hi[2]) - lo[2];
        if (dx < 0.0 || dy < 0.0 || dz < 0.0) return 0.0;
        return dx * dy + dy * dz + dz * dx;
    }
};

// The deepest tree the builder makes (edges from the root to the deepest child slot). Queries
// keep a fixed-size stack sized from it, so nothing is allocated per ray.
constexpr int kBvhMaxDepth = 48;

struct BvhConfig {
    // Candidate split planes per axis and node.
    int binCount = 16;
    // Deepest allowed tree; clamped to [ceil(log2(item count)), kBvhMaxDepth]. When surface-area
    // splits would go deeper, the builder falls back to median splits, which always fit.
    int maxDepth = kBvhMaxDepth;
};

// Slot bounds are stored per bound and axis, four slots side by side.
enum BvhBound { kLoX = 0, kHiX, kLoY, kHiY, kLoZ, kHiZ };

struct alignas(16) BvhNode4 {
    float bounds[6][4];
    // >= 0: index of a child node; kBvhEmptySlot: unused; otherwise ~id of a stored item.
    std::int32_t child[4];

    static bool IsNode(std::int32_t c) { return c >= 0; }
    static std::int32_t ItemOf(std::int32_t c) { return ~c; }
    BvhBox SlotBox(int slot) const;
};

// Unused slots keep an empty box (lo = +inf, hi = -inf), which no ray test accepts.
constexpr std::int32_t kBvhEmptySlot = std::numeric_limits<std::int32_t>::min();

struct Bvh4 {
    std::vector<BvhNode4> nodes;  // nodes[0] is the root; empty when there are no items
    int depth = 0;                // deepest slot below the root (a single item: 1)

    std::size_t MemoryBytes() const { return nodes.capacity() * sizeof(BvhNode4); }
};

// Builds the tree over items whose boxes are boxes[i] and whose stored ids are ids[i] (ids must be
// >= 0). Boxes must be non-empty and finite.
Bvh4 BuildBvh4(std::span<const BvhBox> boxes, std::span<const std::int32_t> ids, const BvhConfig& config = {});
