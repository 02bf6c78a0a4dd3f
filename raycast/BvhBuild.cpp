// Building the four-wide tree: a binary tree split by binned surface-area cost (one item per
// leaf), then collapsed so that each wide node takes the four largest pieces below it.
#include <algorithm>
#include <cmath>
#include <utility>

#include "raycast/Bvh.h"

BvhBox BvhNode4::SlotBox(int slot) const {
    BvhBox b;
    b.lo[0] = bounds[kLoX][slot];
    b.hi[0] = bounds[kHiX][slot];
    b.lo[1] = bounds[kLoY][slot];
    b.hi[1] = bounds[kHiY][slot];
    b.lo[2] = bounds[kLoZ][slot];
    b.hi[2] = bounds[kHiZ][slot];
    return b;
}

namespace {

// Levels a median split needs to bring n items down to single items.
int CeilLog2(std::size_t n) {
    int levels = 0;
    while ((std::size_t{1} << levels) < n) ++levels;
    return levels;
}

struct BinaryNode {
    BvhBox box;
    int left = -1;  // both children, or neither for a leaf
    int right = -1;
    int item = -1;  // leaf: position in the input spans
};

class BinaryBuilder {
public:
    BinaryBuilder(std::span<const BvhBox> boxes, int binCount, int maxDepth)
        : boxes_(boxes), binCount_(std::clamp(binCount, 2, 256)), maxDepth_(maxDepth) {
        const std::size_t n = boxes.size();
        centers_.resize(n * 3);
        order_.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            order_[i] = static_cast<int>(i);
            for (int a = 0; a < 3; ++a) centers_[i * 3 + a] = 0.5f * boxes[i].lo[a] + 0.5f * boxes[i].hi[a];
        }
        bins_.resize(static_cast<std::size_t>(binCount_));
        rightArea_.resize(static_cast<std::size_t>(binCount_));
    }

    // The binary tree over all items; node 0 is the root. Requires at least one item.
    std::vector<BinaryNode> Build() {
        struct Task {
            int node, begin, end, depth;
        };
        nodes_.reserve(boxes_.size() * 2);
        nodes_.emplace_back();
        std::vector<Task> tasks{{0, 0, static_cast<int>(order_.size()), 0}};
        while (!tasks.empty()) {
            const Task task = tasks.back();
            tasks.pop_back();
            BvhBox box;
            for (int i = task.begin; i < task.end; ++i) box.Extend(boxes_[Index(order_[Index(i)])]);
            nodes_[Index(task.node)].box = box;
            if (task.end - task.begin == 1) {
                nodes_[Index(task.node)].item = order_[Index(task.begin)];
                continue;
            }
            const int mid = Split(task.begin, task.end, task.depth);
            const int left = static_cast<int>(nodes_.size());
            nodes_.emplace_back();
            nodes_.emplace_back();
            nodes_[Index(task.node)].left = left;
            nodes_[Index(task.node)].right = left + 1;
            tasks.push_back({left, task.begin, mid, task.depth + 1});
            tasks.push_back({left + 1, mid, task.end, task.depth + 1});
        }
        return std::move(nodes_);
    }

private:
    struct Bin {
        BvhBox box;
        int count = 0;
    };

    static std::size_t Index(int i) { return static_cast<std::size_t>(i); }
    float Center(int item, int axis) const { return centers_[Index(item) * 3 + Index(axis)]; }

    // Partitions order_[begin, end) into two non-empty parts and returns where the second starts.
    // Keeps depth + CeilLog2(count) <= maxDepth_ for both parts, so the tree never gets deeper
    // than maxDepth_: a surface-area split that would break it gives way to a median split.
    int Split(int begin, int end, int depth) {
        float lo[3], hi[3];
        for (int a = 0; a < 3; ++a) lo[a] = hi[a] = Center(order_[Index(begin)], a);
        for (int i = begin + 1; i < end; ++i) {
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], Center(order_[Index(i)], a));
                hi[a] = std::max(hi[a], Center(order_[Index(i)], a));
            }
        }
        const int budget = maxDepth_ - depth - 1;  // levels left below the two parts
        const int mid = SurfaceAreaSplit(begin, end, lo, hi);
        if (mid > begin && mid < end && CeilLog2(Index(std::max(mid - begin, end - mid))) <= budget) return mid;
        return MedianSplit(begin, end, lo, hi);
    }

    int BinOf(int item, int axis, float lo, float scale) const {
        const int b = static_cast<int>((Center(item, axis) - lo) * scale);
        return std::clamp(b, 0, binCount_ - 1);
    }

    // The binned split of least cost (half area times count on each side); `begin` when no axis
    // separates the centres.
    int SurfaceAreaSplit(int begin, int end, const float lo[3], const float hi[3]) {
        double bestCost = INFINITY;
        int bestAxis = -1, bestBin = -1;
        for (int axis = 0; axis < 3; ++axis) {
            const float extent = hi[axis] - lo[axis];
            if (!(extent > 0.0f) || !std::isfinite(extent)) continue;
            const float scale = static_cast<float>(binCount_) / extent;
            std::fill(bins_.begin(), bins_.end(), Bin{});
            for (int i = begin; i < end; ++i) {
                const int item = order_[Index(i)];
                Bin& bin = bins_[Index(BinOf(item, axis, lo[axis], scale))];
                bin.box.Extend(boxes_[Index(item)]);
                bin.count++;
            }
            BvhBox right;
            for (int b = binCount_ - 1; b > 0; --b) {
                right.Extend(bins_[Index(b)].box);
                rightArea_[Index(b)] = right.HalfArea();
            }
            BvhBox left;
            int leftCount = 0;
            for (int b = 0; b + 1 < binCount_; ++b) {
                left.Extend(bins_[Index(b)].box);
                leftCount += bins_[Index(b)].count;
                const int rightCount = (end - begin) - leftCount;
                if (leftCount == 0 || rightCount == 0) continue;
                const double cost = left.HalfArea() * leftCount + rightArea_[Index(b + 1)] * rightCount;
                if (cost < bestCost) {
                    bestCost = cost;
                    bestAxis = axis;
                    bestBin = b;
                }
            }
        }
        if (bestAxis < 0) return begin;
        const float scale = static_cast<float>(binCount_) / (hi[bestAxis] - lo[bestAxis]);
        const auto split = std::partition(order_.begin() + begin, order_.begin() + end, [&](int item) {
            return BinOf(item, bestAxis, lo[bestAxis], scale) <= bestBin;
        });
        return static_cast<int>(split - order_.begin());
    }

    // Halves the range by count along the widest axis of the centres; always balanced.
    int MedianSplit(int begin, int end, const float lo[3], const float hi[3]) {
        int axis = 0;
        for (int a = 1; a < 3; ++a) {
            if (hi[a] - lo[a] > hi[axis] - lo[axis]) axis = a;
        }
        const int mid = begin + (end - begin) / 2;
        std::nth_element(order_.begin() + begin, order_.begin() + mid, order_.begin() + end, [&](int a, int b) {
            const float ca = Center(a, axis), cb = Center(b, axis);
            return ca < cb || (ca == cb && a < b);
        });
        return mid;
    }

    std::span<const BvhBox> boxes_;
    int binCount_;
    int maxDepth_;
    std::vector<float> centers_;
    std::vector<int> order_;
    std::vector<BinaryNode> nodes_;
    std::vector<Bin> bins_;          // scratch of SurfaceAreaSplit, reused for every node
    std::vector<double> rightArea_;  // likewise
};

void ClearSlot(BvhNode4& node, int slot) {
    node.bounds[kLoX][slot] = node.bounds[kLoY][slot] = node.bounds[kLoZ][slot] = INFINITY;
    node.bounds[kHiX][slot] = node.bounds[kHiY][slot] = node.bounds[kHiZ][slot] = -INFINITY;
    node.child[slot] = kBvhEmptySlot;
}

void SetSlotBox(BvhNode4& node, int slot, const BvhBox& b) {
    node.bounds[kLoX][slot] = b.lo[0];
    node.bounds[kHiX][slot] = b.hi[0];
    node.bounds[kLoY][slot] = b.lo[1];
    node.bounds[kHiY][slot] = b.hi[1];
    node.bounds[kLoZ][slot] = b.lo[2];
    node.bounds[kHiZ][slot] = b.hi[2];
}

}  // namespace

Bvh4 BuildBvh4(std::span<const BvhBox> boxes, std::span<const std::int32_t> ids, const BvhConfig& config) {
    Bvh4 tree;
    const std::size_t count = std::min(boxes.size(), ids.size());
    if (count == 0) return tree;
    const int maxDepth = std::clamp(config.maxDepth, CeilLog2(count), kBvhMaxDepth);
    const std::vector<BinaryNode> binary = BinaryBuilder(boxes.first(count), config.binCount, maxDepth).Build();

    // Collapse: each wide node opens the largest binary nodes below it until it has four slots.
    struct Task {
        int binary, wide, depth;
    };
    std::vector<Task> tasks{{0, 0, 0}};
    tree.nodes.emplace_back();
    while (!tasks.empty()) {
        const Task task = tasks.back();
        tasks.pop_back();
        int slots[4];
        int used = 0;
        const BinaryNode& top = binary[static_cast<std::size_t>(task.binary)];
        if (top.item >= 0) {
            slots[used++] = task.binary;  // a tree of one item
        } else {
            slots[used++] = top.left;
            slots[used++] = top.right;
        }
        while (used < 4) {
            int open = -1;
            double openArea = -1.0;
            for (int s = 0; s < used; ++s) {
                const BinaryNode& b = binary[static_cast<std::size_t>(slots[s])];
                if (b.item < 0 && b.box.HalfArea() > openArea) {
                    open = s;
                    openArea = b.box.HalfArea();
                }
            }
            if (open < 0) break;
            const BinaryNode& b = binary[static_cast<std::size_t>(slots[open])];
            slots[open] = b.left;
            slots[used++] = b.right;
        }
        for (int s = 0; s < 4; ++s) {
            BvhNode4& node = tree.nodes[static_cast<std::size_t>(task.wide)];
            if (s >= used) {
                ClearSlot(node, s);
                continue;
            }
            const BinaryNode& b = binary[static_cast<std::size_t>(slots[s])];
            SetSlotBox(node, s, b.box);
            if (b.item >= 0) {
                node.child[s] = ~ids[static_cast<std::size_t>(b.item)];
                tree.depth = std::max(tree.depth, task.depth + 1);
            } else {
                const int wide = static_cast<int>(tree.nodes.size());
                node.child[s] = wide;
                tasks.push_back({slots[s], wide, task.depth + 1});
                tree.nodes.emplace_back();  // invalidates `node`, which is not used after this
            }
        }
    }
    tree.nodes.shrink_to_fit();
    return tree;
}
