// Building the wide tree: a binary tree split by binned surface-area cost down to leaves of a
// few items, then collapsed into wide nodes of up to kBvhWidth slots, chosen to keep the expected
// number of node visits low.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <thread>
#include <utility>
#include <vector>

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

// Runs body(i) for i in [0, count) on up to `threads` threads (the calling one included), each
// index exactly once. Where a thread cannot be started, the calling thread does its share.
template <class Body>
void ParallelFor(int count, int threads, const Body& body) {
    const int workers = std::clamp(threads, 1, std::max(count, 1));
    if (workers <= 1) {
        for (int i = 0; i < count; ++i) body(i);
        return;
    }
    std::atomic<int> next{0};
    auto work = [&] {
        for (int i = next.fetch_add(1); i < count; i = next.fetch_add(1)) body(i);
    };
    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(workers - 1));
    for (int t = 1; t < workers; ++t) {
        try {
            pool.emplace_back(work);
        } catch (...) {
            break;  // fewer helpers; the indices are still all taken
        }
    }
    work();
    for (std::thread& th : pool) th.join();
}

class BinaryBuilder {
public:
    BinaryBuilder(std::span<const BvhBox> boxes, int binCount, int maxDepth, int maxLeafSize, int threads)
        : boxes_(boxes),
          binCount_(std::clamp(binCount, 2, 256)),
          maxDepth_(maxDepth),
          maxLeafSize_(maxLeafSize),
          threads_(std::max(threads, 1)) {
        const std::size_t n = boxes.size();
        centers_.resize(n * 3);
        order_.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            order_[i] = static_cast<int>(i);
            for (int a = 0; a < 3; ++a) centers_[i * 3 + a] = 0.5f * boxes[i].lo[a] + 0.5f * boxes[i].hi[a];
        }
    }

    // The binary tree over all items; node 0 is the root. Requires at least one item.
    // Afterwards Order() lists the items leaf by leaf: the partitions of a range never touch
    // another's, so each leaf's items end up consecutive.
    //
    // The top of the tree is split on the calling thread (binning the largest ranges on all
    // threads); ranges of at most kSubtreeItems become subtrees that the threads build side by
    // side into tables of their own, appended afterwards in the order the top created them. Every
    // split depends only on its range, so the tree is the same for any number of threads.
    std::vector<BinaryNode> Build() {
        std::vector<BinaryNode> nodes;
        nodes.reserve(boxes_.size() / static_cast<std::size_t>(maxLeafSize_) * 2 + 1);
        nodes.emplace_back();
        std::vector<Task> subtrees;
        Scratch scratch(binCount_);
        BuildRange(nodes, {0, 0, static_cast<int>(order_.size()), 0}, scratch, &subtrees);

        std::vector<std::vector<BinaryNode>> built(subtrees.size());
        ParallelFor(static_cast<int>(subtrees.size()), threads_, [&](int j) {
            const Task& task = subtrees[static_cast<std::size_t>(j)];
            std::vector<BinaryNode>& local = built[static_cast<std::size_t>(j)];
            local.emplace_back();
            Scratch own(binCount_);
            BuildRange(local, {0, task.begin, task.end, task.depth}, own, nullptr);
        });

        // Each subtree's root takes the place the top left for it; its other nodes follow.
        for (std::size_t j = 0; j < subtrees.size(); ++j) {
            const int offset = static_cast<int>(nodes.size()) - 1;  // local node i > 0 lands at offset + i
            const int root = subtrees[j].node;
            auto place = [&](int local) { return local == 0 ? root : offset + local; };
            std::vector<BinaryNode>& local = built[j];
            for (std::size_t i = 0; i < local.size(); ++i) {
                BinaryNode b = local[i];
                if (!b.IsLeaf()) {
                    b.left = place(b.left);
                    b.right = place(b.right);
                }
                if (i == 0) {
                    nodes[Index(root)] = b;
                } else {
                    nodes.push_back(b);
                }
            }
            std::vector<BinaryNode>().swap(local);
        }
        return nodes;
    }

    std::vector<int>& Order() { return order_; }

private:
    struct Bin {
        BvhBox box;
        int count = 0;

        void Merge(const Bin& b) {
            box.Extend(b.box);
            count += b.count;
        }
    };
    struct Task {
        int node, begin, end, depth;
    };
    // Per-thread scratch of SurfaceAreaSplit, reused for every node.
    struct Scratch {
        explicit Scratch(int binCount)
            : bins(static_cast<std::size_t>(3 * binCount)), rightArea(static_cast<std::size_t>(binCount)) {}
        std::vector<Bin> bins;  // three axes side by side
        std::vector<double> rightArea;
    };

    // Ranges at most this large are built as separate subtrees; larger ones bin on all threads
    // from kParallelBinning items. Both are fixed, never derived from the thread count.
    static constexpr int kSubtreeItems = 8192;
    static constexpr int kParallelBinning = 65536;

    static std::size_t Index(int i) { return static_cast<std::size_t>(i); }
    float Center(int item, int axis) const { return centers_[Index(item) * 3 + Index(axis)]; }

    // Items of a range in whole leaves.
    int Blocks(int count) const { return (count + maxLeafSize_ - 1) / maxLeafSize_; }

    // Builds the subtree of `first`, whose node is already in `nodes`. With `subtrees`, ranges of
    // at most kSubtreeItems are left unbuilt and listed there instead.
    void BuildRange(std::vector<BinaryNode>& nodes, const Task& first, Scratch& scratch, std::vector<Task>* subtrees) {
        std::vector<Task> tasks{first};
        while (!tasks.empty()) {
            const Task task = tasks.back();
            tasks.pop_back();
            if (subtrees && task.end - task.begin <= kSubtreeItems) {
                subtrees->push_back(task);
                continue;
            }
            BvhBox box;
            for (int i = task.begin; i < task.end; ++i) box.Extend(boxes_[Index(order_[Index(i)])]);
            nodes[Index(task.node)].box = box;
            if (task.end - task.begin <= maxLeafSize_) {
                nodes[Index(task.node)].first = task.begin;
                nodes[Index(task.node)].count = task.end - task.begin;
                continue;
            }
            const int mid = Split(task.begin, task.end, task.depth, scratch);
            const int left = static_cast<int>(nodes.size());
            nodes.emplace_back();
            nodes.emplace_back();
            nodes[Index(task.node)].left = left;
            nodes[Index(task.node)].right = left + 1;
            tasks.push_back({left, task.begin, mid, task.depth + 1});
            tasks.push_back({left + 1, mid, task.end, task.depth + 1});
        }
    }

    // Partitions order_[begin, end) into two non-empty parts and returns where the second starts.
    // The first part always takes whole leaves, so every leaf but the last one is full and
    // starts at a multiple of the leaf size. Keeps depth + CeilLog2(leaves) <= maxDepth_ for both
    // parts, so the tree never gets deeper than maxDepth_: a surface-area split that would break
    // it gives way to a median split.
    int Split(int begin, int end, int depth, Scratch& scratch) {
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
        int mid = SurfaceAreaSplit(begin, end, lo, hi, axis, scratch);
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

    // Bins order_[begin, end) on every axis that has a scale (scale[a] > 0) into bins[a * binCount_ + b].
    void BinItems(int begin, int end, const float lo[3], const float scale[3], Bin* bins) const {
        for (int i = begin; i < end; ++i) {
            const int item = order_[Index(i)];
            const BvhBox& box = boxes_[Index(item)];
            for (int axis = 0; axis < 3; ++axis) {
                if (!(scale[axis] > 0.0f)) continue;
                Bin& bin = bins[axis * binCount_ + BinOf(item, axis, lo[axis], scale[axis])];
                bin.box.Extend(box);
                bin.count++;
            }
        }
    }

    // The binned split of least cost (half area times count on each side), its axis in `axis`;
    // `begin` when no axis separates the centres.
    int SurfaceAreaSplit(int begin, int end, const float lo[3], const float hi[3], int& axisOut, Scratch& scratch) {
        float scale[3];
        for (int axis = 0; axis < 3; ++axis) {
            const float extent = hi[axis] - lo[axis];
            scale[axis] = (extent > 0.0f && std::isfinite(extent)) ? static_cast<float>(binCount_) / extent : 0.0f;
        }
        std::vector<Bin>& bins = scratch.bins;
        std::fill(bins.begin(), bins.end(), Bin{});
        const int count = end - begin;
        if (threads_ > 1 && count >= kParallelBinning) {
            // Bins are boxes and counts, whose merges are exact in any order: the same bins as one
            // pass would fill.
            const int chunks = std::min(threads_ * 4, count / (kParallelBinning / 8));
            std::vector<std::vector<Bin>> partial(static_cast<std::size_t>(chunks));
            ParallelFor(chunks, threads_, [&](int c) {
                std::vector<Bin>& own = partial[static_cast<std::size_t>(c)];
                own.assign(bins.size(), Bin{});
                const int b = begin + static_cast<int>(static_cast<long long>(count) * c / chunks);
                const int e = begin + static_cast<int>(static_cast<long long>(count) * (c + 1) / chunks);
                BinItems(b, e, lo, scale, own.data());
            });
            for (const std::vector<Bin>& own : partial) {
                for (std::size_t b = 0; b < bins.size(); ++b) bins[b].Merge(own[b]);
            }
        } else {
            BinItems(begin, end, lo, scale, bins.data());
        }

        double bestCost = INFINITY;
        int bestAxis = -1, bestBin = -1;
        std::vector<double>& rightArea = scratch.rightArea;
        for (int axis = 0; axis < 3; ++axis) {
            if (!(scale[axis] > 0.0f)) continue;
            const Bin* axisBins = bins.data() + axis * binCount_;
            BvhBox right;
            for (int b = binCount_ - 1; b > 0; --b) {
                right.Extend(axisBins[b].box);
                rightArea[Index(b)] = right.HalfArea();
            }
            BvhBox left;
            int leftCount = 0;
            for (int b = 0; b + 1 < binCount_; ++b) {
                left.Extend(axisBins[b].box);
                leftCount += axisBins[b].count;
                const int rightCount = count - leftCount;
                if (leftCount == 0 || rightCount == 0) continue;
                // Leaves are tested whole, so a side costs by the leaves it needs.
                const double cost = left.HalfArea() * Blocks(leftCount) + rightArea[Index(b + 1)] * Blocks(rightCount);
                if (cost < bestCost) {
                    bestCost = cost;
                    bestAxis = axis;
                    bestBin = b;
                }
            }
        }
        if (bestAxis < 0) return begin;
        axisOut = bestAxis;
        const auto split = std::partition(order_.begin() + begin, order_.begin() + end, [&](int item) {
            return BinOf(item, bestAxis, lo[bestAxis], scale[bestAxis]) <= bestBin;
        });
        return static_cast<int>(split - order_.begin());
    }

    std::span<const BvhBox> boxes_;
    int binCount_;
    int maxDepth_;
    int maxLeafSize_;
    int threads_;
    std::vector<float> centers_;
    std::vector<int> order_;
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

int BuildThreads(int requested) {
    if (requested > 0) return requested;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

WideBvh BuildWideBvh(std::span<const BvhBox> boxes, const BvhConfig& config) {
    WideBvh tree;
    const std::size_t count = boxes.size();
    if (count == 0) return tree;
    const int leafSize = std::clamp(config.maxLeafSize, 1, kBvhMaxLeafSize);
    const int maxDepth = std::clamp(config.maxDepth, CeilLog2((count + leafSize - 1) / leafSize), kBvhMaxDepth);
    BinaryBuilder builder(boxes, config.binCount, maxDepth, leafSize, BuildThreads(config.threads));
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
