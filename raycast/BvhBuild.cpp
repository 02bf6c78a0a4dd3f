// Building the wide tree: a binary tree split by binned surface-area cost down to leaves of a
// few items, then collapsed into wide nodes of up to kBvhWidth slots, chosen to keep the expected
// number of node visits low.
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "raycast/Bvh.h"

BvhBox BvhNode::SlotBox(int slot) const {
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
    int first = 0;  // leaf: its items are order[first, first + count)
    int count = 0;  // 0 for an inner node

    bool IsLeaf() const { return count > 0; }
};

class BinaryBuilder {
public:
    BinaryBuilder(std::span<const BvhBox> boxes, int binCount, int maxDepth, int maxLeafSize)
        : boxes_(boxes), binCount_(std::clamp(binCount, 2, 256)), maxDepth_(maxDepth), maxLeafSize_(maxLeafSize) {
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
    // Afterwards Order() lists the items leaf by leaf: the partitions of a range never touch
    // another's, so each leaf's items end up consecutive.
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
            if (task.end - task.begin <= maxLeafSize_) {
                nodes_[Index(task.node)].first = task.begin;
                nodes_[Index(task.node)].count = task.end - task.begin;
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

    std::vector<int>& Order() { return order_; }

private:
    struct Bin {
        BvhBox box;
        int count = 0;
    };

    static std::size_t Index(int i) { return static_cast<std::size_t>(i); }
    float Center(int item, int axis) const { return centers_[Index(item) * 3 + Index(axis)]; }

    // Items of a range in whole leaves.
    int Blocks(int count) const { return (count + maxLeafSize_ - 1) / maxLeafSize_; }

    // Partitions order_[begin, end) into two non-empty parts and returns where the second starts.
    // The first part always takes whole leaves, so every leaf but the last one is full and
    // starts at a multiple of the leaf size. Keeps depth + CeilLog2(leaves) <= maxDepth_ for both
    // parts, so the tree never gets deeper than maxDepth_: a surface-area split that would break
    // it gives way to a median split.
    int Split(int begin, int end, int depth) {
        float lo[3], hi[3];
        for (int a = 0; a < 3; ++a) lo[a] = hi[a] = Center(order_[Index(begin)], a);
        for (int i = begin + 1; i < end; ++i) {
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], Center(order_[Index(i)], a));
                hi[a] = std::max(hi[a], Center(order_[Index(i)], a));
            }
        }
        const int blocks = Blocks(end - begin);
        const int budget = maxDepth_ - depth - 1;  // levels left below the two parts
        int axis = 0;
        int mid = SurfaceAreaSplit(begin, end, lo, hi, axis);
        if (mid > begin && mid < end) {
            // Round to whole leaves, moving the items nearest the split plane across.
            const int leftBlocks = std::clamp((mid - begin + maxLeafSize_ / 2) / maxLeafSize_, 1, blocks - 1);
            const int rounded = begin + leftBlocks * maxLeafSize_;
            if (rounded != mid) Partition(begin, end, rounded, axis);
            if (CeilLog2(Index(std::max(leftBlocks, blocks - leftBlocks))) <= budget) return rounded;
        }
        // Half the leaves (rounded down) to the first part, along the widest axis of the centres.
        axis = 0;
        for (int a = 1; a < 3; ++a) {
            if (hi[a] - lo[a] > hi[axis] - lo[axis]) axis = a;
        }
        mid = begin + (blocks / 2) * maxLeafSize_;
        Partition(begin, end, mid, axis);
        return mid;
    }

    int BinOf(int item, int axis, float lo, float scale) const {
        const int b = static_cast<int>((Center(item, axis) - lo) * scale);
        return std::clamp(b, 0, binCount_ - 1);
    }

    // Puts the items with the (mid - begin) smallest centres along `axis` first.
    void Partition(int begin, int end, int mid, int axis) {
        std::nth_element(order_.begin() + begin, order_.begin() + mid, order_.begin() + end, [&](int a, int b) {
            const float ca = Center(a, axis), cb = Center(b, axis);
            return ca < cb || (ca == cb && a < b);
        });
    }

    // The binned split of least cost (half area times count on each side), its axis in `axis`;
    // `begin` when no axis separates the centres.
    int SurfaceAreaSplit(int begin, int end, const float lo[3], const float hi[3], int& axisOut) {
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
                // Leaves are tested whole, so a side costs by the leaves it needs.
                const double cost = left.HalfArea() * Blocks(leftCount) + rightArea_[Index(b + 1)] * Blocks(rightCount);
                if (cost < bestCost) {
                    bestCost = cost;
                    bestAxis = axis;
                    bestBin = b;
                }
            }
        }
        if (bestAxis < 0) return begin;
        axisOut = bestAxis;
        const float scale = static_cast<float>(binCount_) / (hi[bestAxis] - lo[bestAxis]);
        const auto split = std::partition(order_.begin() + begin, order_.begin() + end, [&](int item) {
            return BinOf(item, bestAxis, lo[bestAxis], scale) <= bestBin;
        });
        return static_cast<int>(split - order_.begin());
    }

    std::span<const BvhBox> boxes_;
    int binCount_;
    int maxDepth_;
    int maxLeafSize_;
    std::vector<float> centers_;
    std::vector<int> order_;
    std::vector<BinaryNode> nodes_;
    std::vector<Bin> bins_;          // scratch of SurfaceAreaSplit, reused for every node
    std::vector<double> rightArea_;  // likewise
};

// Chooses which binary nodes become wide nodes. A ray reaches a wide node about as often as it
// meets the node's box, so the collapse that minimises the summed half areas of the wide nodes
// is found by dynamic programming over the binary tree: best[v][k] is the least cost of covering
// v's subtree with at most k slots (v itself as one slot, or its children sharing the k).
class CollapsePlan {
public:
    explicit CollapsePlan(const std::vector<BinaryNode>& binary) : binary_(binary), best_(binary.size()), split_(binary.size()) {
        // Children always come after their parent, so a backward pass sees them first.
        for (std::size_t v = binary.size(); v-- > 0;) {
            const BinaryNode& b = binary[v];
            if (b.IsLeaf()) {
                best_[v].fill(0.0);
                split_[v].fill(0);
                continue;
            }
            const double asNode = NodeCost(v);
            best_[v][0] = asNode;  // one slot: v itself, a wide node of its own
            split_[v][0] = 0;
            for (int k = 2; k <= kBvhWidth; ++k) {
                double cost = asNode;
                int split = 0;
                for (int i = 1; i < k; ++i) {
                    const double c = Best(b.left, i) + Best(b.right, k - i);
                    if (c < cost) {
                        cost = c;
                        split = i;
                    }
                }
                best_[v][static_cast<std::size_t>(k - 1)] = cost;
                split_[v][static_cast<std::size_t>(k - 1)] = split;
            }
        }
    }

    // The slots of the wide node made from internal binary node v (two to kBvhWidth binary nodes).
    int Slots(int v, int out[kBvhWidth]) const {
        const BinaryNode& b = binary_[static_cast<std::size_t>(v)];
        const int i = RootSplit(v);
        int n = Emit(b.left, i, out);
        n += Emit(b.right, kBvhWidth - i, out + n);
        return n;
    }

private:
    double Best(int v, int k) const { return best_[static_cast<std::size_t>(v)][static_cast<std::size_t>(k - 1)]; }

    // How many of a wide node's slots go to v's left subtree.
    int RootSplit(int v) const {
        const BinaryNode& b = binary_[static_cast<std::size_t>(v)];
        int bestSplit = 1;
        double bestCost = INFINITY;
        for (int i = 1; i < kBvhWidth; ++i) {
            const double c = Best(b.left, i) + Best(b.right, kBvhWidth - i);
            if (c < bestCost) {
                bestCost = c;
                bestSplit = i;
            }
        }
        return bestSplit;
    }

    // v as a wide node: its own box plus the best way to fill its slots. The small constant
    // prefers fewer nodes where boxes have no area.
    double NodeCost(std::size_t v) const {
        const BinaryNode& b = binary_[v];
        double children = INFINITY;
        for (int i = 1; i < kBvhWidth; ++i) children = std::min(children, Best(b.left, i) + Best(b.right, kBvhWidth - i));
        return b.box.HalfArea() * (1.0 + 1e-9) + 1e-30 + children;
    }

    int Emit(int v, int k, int* out) const {
        const BinaryNode& b = binary_[static_cast<std::size_t>(v)];
        const int split = b.IsLeaf() ? 0 : split_[static_cast<std::size_t>(v)][static_cast<std::size_t>(k - 1)];
        if (split == 0) {
            out[0] = v;
            return 1;
        }
        const int n = Emit(b.left, split, out);
        return n + Emit(b.right, k - split, out + n);
    }

    const std::vector<BinaryNode>& binary_;
    std::vector<std::array<double, kBvhWidth>> best_;
    std::vector<std::array<int, kBvhWidth>> split_;
};

void ClearSlot(BvhNode& node, int slot) {
    node.bounds[kLoX][slot] = node.bounds[kLoY][slot] = node.bounds[kLoZ][slot] = INFINITY;
    node.bounds[kHiX][slot] = node.bounds[kHiY][slot] = node.bounds[kHiZ][slot] = -INFINITY;
    node.child[slot] = kBvhEmptySlot;
}

void SetSlotBox(BvhNode& node, int slot, const BvhBox& b) {
    node.bounds[kLoX][slot] = b.lo[0];
    node.bounds[kHiX][slot] = b.hi[0];
    node.bounds[kLoY][slot] = b.lo[1];
    node.bounds[kHiY][slot] = b.hi[1];
    node.bounds[kLoZ][slot] = b.lo[2];
    node.bounds[kHiZ][slot] = b.hi[2];
}

}  // namespace

WideBvh BuildWideBvh(std::span<const BvhBox> boxes, const BvhConfig& config) {
    WideBvh tree;
    const std::size_t count = boxes.size();
    if (count == 0) return tree;
    const int leafSize = std::clamp(config.maxLeafSize, 1, kBvhMaxLeafSize);
    const int maxDepth = std::clamp(config.maxDepth, CeilLog2((count + leafSize - 1) / leafSize), kBvhMaxDepth);
    BinaryBuilder builder(boxes, config.binCount, maxDepth, leafSize);
    const std::vector<BinaryNode> binary = builder.Build();
    tree.order.assign(builder.Order().begin(), builder.Order().end());

    // Collapse: each wide node takes the slots the plan chose for it.
    const CollapsePlan plan(binary);
    struct Task {
        int binary, wide, depth;
    };
    std::vector<Task> tasks{{0, 0, 0}};
    tree.nodes.emplace_back();
    while (!tasks.empty()) {
        const Task task = tasks.back();
        tasks.pop_back();
        int slots[kBvhWidth];
        int used;
        if (binary[static_cast<std::size_t>(task.binary)].IsLeaf()) {
            slots[0] = task.binary;  // a tree of one leaf
            used = 1;
        } else {
            used = plan.Slots(task.binary, slots);
        }
        for (int s = 0; s < kBvhWidth; ++s) {
            BvhNode& node = tree.nodes[static_cast<std::size_t>(task.wide)];
            if (s >= used) {
                ClearSlot(node, s);
                continue;
            }
            const BinaryNode& b = binary[static_cast<std::size_t>(slots[s])];
            SetSlotBox(node, s, b.box);
            if (b.IsLeaf()) {
                node.child[s] = BvhNode::MakeLeaf(b.first, b.count);
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
