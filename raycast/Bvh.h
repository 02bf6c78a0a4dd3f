// A sixteen-wide bounding volume hierarchy over axis-aligned boxes, built with binned surface-area
// splits. The builder only sees the items' boxes; what an item is (a mesh face) and how a ray is
// tested against it belong to the caller, so the tree stays a plain spatial index.
//
// Each node holds the boxes of its up to sixteen children side by side (one array per bound), so a
// ray can be tested against all of them with one pass of vector arithmetic. A child is either
// another node or a leaf: a run of up to four consecutive entries of the tree's item order, so
// the caller can lay its per-item data out in that order and test a leaf's items together.
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

    // Written as selects, which compile without branches (the builder extends boxes millions of
    // times, in no predictable pattern).
    void Extend(const BvhBox& b) {
        for (int a = 0; a < 3; ++a) {
            lo[a] = b.lo[a] < lo[a] ? b.lo[a] : lo[a];
            hi[a] = b.hi[a] > hi[a] ? b.hi[a] : hi[a];
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

// Children per node.
constexpr int kBvhWidth = 16;

// The deepest tree the builder makes (edges from the root to the deepest child slot). Queries
// keep a fixed-size stack sized from it, so nothing is allocated per ray.
constexpr int kBvhMaxDepth = 40;

struct BvhConfig {
    // Candidate split planes per axis and node.
    int binCount = 16;
    // Deepest allowed tree; clamped to [ceil(log2(leaf count)), kBvhMaxDepth]. When surface-area
    // splits would go deeper, the builder falls back to median splits, which always fit.
    int maxDepth = kBvhMaxDepth;
    // Items per leaf, 1 to kBvhMaxLeafSize. Every leaf but the last holds exactly this many and
    // starts at a multiple of it in the item order.
    int maxLeafSize = 4;
    // Threads that build large trees; 0 for every hardware thread. The tree is the same whatever
    // the count.
    int threads = 0;
};

// The threads a build with `requested` (as in BvhConfig::threads) uses.
int BuildThreads(int requested);

constexpr int kBvhMaxLeafSize = 4;

// Slot bounds are stored per bound and axis, all slots side by side.
enum BvhBound { kLoX = 0, kHiX, kLoY, kHiY, kLoZ, kHiZ };

struct alignas(64) BvhNode {
    float bounds[6][kBvhWidth];
    // >= 0: index of a child node; kBvhEmptySlot: unused; otherwise a leaf, ~(first * 4 +
    // count - 1) over the tree's item order.
    std::int32_t child[kBvhWidth];

    static bool IsNode(std::int32_t c) { return c >= 0; }
    static std::int32_t LeafFirst(std::int32_t c) { return ~c >> 2; }
    static int LeafCount(std::int32_t c) { return (~c & 3) + 1; }
    static std::int32_t MakeLeaf(std::int32_t first, int count) { return ~(first * 4 + (count - 1)); }
    BvhBox SlotBox(int slot) const;
};

// Unused slots keep an empty box (lo = +inf, hi = -inf), which no ray test accepts.
constexpr std::int32_t kBvhEmptySlot = std::numeric_limits<std::int32_t>::min();

struct WideBvh {
    std::vector<BvhNode> nodes;    // nodes[0] is the root; empty when there are no items
    std::vector<std::int32_t> order;  // input positions of the items, leaf by leaf
    int depth = 0;                  // deepest slot below the root (a single leaf: 1)

    std::size_t MemoryBytes() const {
        return nodes.capacity() * sizeof(BvhNode) + order.capacity() * sizeof(std::int32_t);
    }
};

// Builds the tree over items whose boxes are boxes[i]. Boxes must be non-empty and finite; at
// most 2^29 items.
WideBvh BuildWideBvh(std::span<const BvhBox> boxes, const BvhConfig& config = {});
