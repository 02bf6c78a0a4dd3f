// The wide tree builder: every item stored once under nested boxes, the depth bound kept
// even where surface-area splits would make a chain, and the memory budget per face.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "raycast/Bvh.h"
#include "tests/common/TestMeshes.h"
#include "tests/common/TestPaths.h"
#include "tests/raycast/RayQueryDiff.h"

namespace {

struct TreeWalk {
    std::vector<int> timesSeen;  // per input position
    int deepestSlot = 0;
    int emptySlots = 0;
    int largestLeaf = 0;
    int shortLeaves = 0;       // leaves with fewer items than the leaf size
    int misalignedLeaves = 0;  // leaves not starting at a multiple of the leaf size
    int badNesting = 0;  // slot boxes that do not hold a box below them
    int badEmpty = 0;    // unused slots whose box is not empty
    int badLeaf = 0;     // leaves reaching outside the item order
};

// Walks every node, checking that each slot's box holds every box in the slot's subtree and
// counting how often each item is reached through the leaves.
TreeWalk Walk(const WideBvh& tree, const std::vector<BvhBox>& boxes, int leafSize = 4) {
    TreeWalk w;
    w.timesSeen.assign(boxes.size(), 0);
    struct Visit {
        int node, depth;
        BvhBox parent;
    };
    BvhBox everything;
    for (int a = 0; a < 3; ++a) {
        everything.lo[a] = -INFINITY;
        everything.hi[a] = INFINITY;
    }
    std::vector<Visit> stack{{0, 0, everything}};
    while (!stack.empty()) {
        const Visit v = stack.back();
        stack.pop_back();
        const BvhNode& node = tree.nodes[static_cast<size_t>(v.node)];
        for (int s = 0; s < kBvhWidth; ++s) {
            const BvhBox box = node.SlotBox(s);
            if (node.child[s] == kBvhEmptySlot) {
                w.emptySlots++;
                if (!(box.lo[0] > box.hi[0] && box.lo[1] > box.hi[1] && box.lo[2] > box.hi[2])) w.badEmpty++;
                continue;
            }
            if (!v.parent.Contains(box)) w.badNesting++;
            if (BvhNode::IsNode(node.child[s])) {
                stack.push_back({node.child[s], v.depth + 1, box});
                continue;
            }
            const int first = BvhNode::LeafFirst(node.child[s]);
            const int count = BvhNode::LeafCount(node.child[s]);
            w.largestLeaf = std::max(w.largestLeaf, count);
            if (count < leafSize) w.shortLeaves++;
            if (first % leafSize != 0) w.misalignedLeaves++;
            w.deepestSlot = std::max(w.deepestSlot, v.depth + 1);
            if (first < 0 || first + count > static_cast<int>(tree.order.size())) {
                w.badLeaf++;
                continue;
            }
            for (int i = first; i < first + count; ++i) {
                const int item = tree.order[static_cast<size_t>(i)];
                if (item < 0 || item >= static_cast<int>(boxes.size())) {
                    w.badLeaf++;
                    continue;
                }
                w.timesSeen[static_cast<size_t>(item)]++;
                if (!box.Contains(boxes[static_cast<size_t>(item)])) w.badNesting++;
            }
        }
    }
    return w;
}

BvhBox UnitBoxAt(float x, float y, float z, float size) {
    BvhBox b;
    b.lo[0] = x;
    b.lo[1] = y;
    b.lo[2] = z;
    b.hi[0] = x + size;
    b.hi[1] = y + size;
    b.hi[2] = z + size;
    return b;
}

void ExpectEveryItemOnceUnderNestedBoxes(const TreeWalk& w) {
    int missing = 0, repeated = 0;
    for (const int seen : w.timesSeen) {
        if (seen == 0) missing++;
        if (seen > 1) repeated++;
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(repeated, 0);
    EXPECT_EQ(w.badNesting, 0);
    EXPECT_EQ(w.badEmpty, 0);
    EXPECT_EQ(w.badLeaf, 0);
}

}  // namespace

TEST(BvhBuild, StoresEveryItemOnceUnderNestedBoxes) {
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> pos(-50.0f, 50.0f), size(0.01f, 3.0f);
    std::vector<BvhBox> boxes;
    for (int i = 0; i < 3000; ++i) boxes.push_back(UnitBoxAt(pos(rng), pos(rng), pos(rng), size(rng)));
    for (const int leafSize : {1, 3, 4}) {
        SCOPED_TRACE(leafSize);
        BvhConfig config;
        config.maxLeafSize = leafSize;
        const WideBvh tree = BuildWideBvh(boxes, config);
        ASSERT_FALSE(tree.nodes.empty());
        ASSERT_EQ(tree.order.size(), boxes.size());
        const TreeWalk w = Walk(tree, boxes, leafSize);
        ExpectEveryItemOnceUnderNestedBoxes(w);
        EXPECT_EQ(w.deepestSlot, tree.depth);
        // Leaves are whole blocks of the order: full, aligned, only the last one short.
        EXPECT_LE(w.largestLeaf, leafSize);
        EXPECT_LE(w.shortLeaves, 1);
        EXPECT_EQ(w.misalignedLeaves, 0);
        // Nodes carry several children each: a collapse that leaves nodes nearly empty costs
        // memory and node visits (a binary tree stored as it is would use two slots a node).
        const double nodes = static_cast<double>(tree.nodes.size());
        const double slots = double(kBvhWidth) * nodes;
        EXPECT_GT((slots - w.emptySlots) / nodes, 4.8);
    }
}

TEST(BvhBuild, KeepsTheDepthBoundWhereSurfaceAreaSplitsWouldChain) {
    // Boxes at exponentially growing distances: the cheapest split always cuts off the farthest
    // box alone, which left unchecked gives a chain as deep as the item count.
    std::vector<BvhBox> boxes;
    for (int i = 0; i < 300; ++i) boxes.push_back(UnitBoxAt(std::pow(1.3f, float(i)), 0.0f, 0.0f, 1.0f));
    BvhConfig config;
    config.maxLeafSize = 1;
    const WideBvh tree = BuildWideBvh(boxes, config);
    TreeWalk w = Walk(tree, boxes, 1);
    ExpectEveryItemOnceUnderNestedBoxes(w);
    EXPECT_LE(w.deepestSlot, kBvhMaxDepth);
    EXPECT_EQ(w.deepestSlot, tree.depth);

    config.maxDepth = 12;
    w = Walk(BuildWideBvh(boxes, config), boxes);
    ExpectEveryItemOnceUnderNestedBoxes(w);
    EXPECT_LE(w.deepestSlot, 12);

    // A bound below what 300 items need (9 levels) is raised to it, not broken.
    config.maxDepth = 3;
    w = Walk(BuildWideBvh(boxes, config), boxes);
    ExpectEveryItemOnceUnderNestedBoxes(w);
    EXPECT_LE(w.deepestSlot, 9);

    // With four items per leaf, 75 leaves need 7 levels.
    config.maxLeafSize = 4;
    w = Walk(BuildWideBvh(boxes, config), boxes, 4);
    ExpectEveryItemOnceUnderNestedBoxes(w);
    EXPECT_LE(w.deepestSlot, 7);
    EXPECT_LE(w.shortLeaves, 1);
}

TEST(BvhBuild, HandlesNoOneAndIdenticalItems) {
    EXPECT_TRUE(BuildWideBvh({}).nodes.empty());

    const std::vector<BvhBox> one{UnitBoxAt(1, 2, 3, 1)};
    const WideBvh single = BuildWideBvh(one);
    ASSERT_EQ(single.nodes.size(), 1u);
    EXPECT_EQ(single.depth, 1);
    TreeWalk w = Walk(single, one);
    ExpectEveryItemOnceUnderNestedBoxes(w);
    EXPECT_EQ(w.emptySlots, kBvhWidth - 1);

    // Centres that no plane separates.
    const std::vector<BvhBox> same(100, UnitBoxAt(0, 0, 0, 1));
    BvhConfig config;
    config.maxLeafSize = 1;
    w = Walk(BuildWideBvh(same, config), same);
    ExpectEveryItemOnceUnderNestedBoxes(w);
    EXPECT_LE(w.deepestSlot, 7);  // balanced halving of 100 items
}

TEST(BvhBuild, AcceleratorStaysWithinSixtyFourBytesPerFace) {
    // A wavy height field of 2 x 100 x 100 faces.
    Mesh grid;
    const int n = 100;
    for (int y = 0; y <= n; ++y) {
        for (int x = 0; x <= n; ++x) {
            AddVertex(grid, {float(x), float(y), 2.0f * std::sin(0.3f * float(x)) * std::cos(0.2f * float(y))});
        }
    }
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) AddQuad(grid, y * (n + 1) + x, y * (n + 1) + x + 1, (y + 1) * (n + 1) + x + 1, (y + 1) * (n + 1) + x);
    }
    const PreparedMesh prepared(std::move(grid));
    ASSERT_TRUE(prepared.Accelerator().Built());
    EXPECT_EQ(prepared.Accelerator().UnboundedFaceCount(), 0);
    EXPECT_LE(prepared.Accelerator().MemoryBytes(), 64u * 20000u);
    EXPECT_GT(prepared.Accelerator().MemoryBytes(), 0u);
}

TEST(BvhBuild, AcceleratorStaysWithinSixtyFourBytesPerFaceOnSpot) {
    MURKWELL_REQUIRE_SHARED_MESH(path, "spot.obj");
    Mesh mesh;
    std::string error;
    ASSERT_TRUE(LoadTestObj(path, mesh, error)) << error;
    const PreparedMesh prepared(std::move(mesh));
    const size_t faces = static_cast<size_t>(prepared.mesh.getNumFaces());
    EXPECT_LE(prepared.Accelerator().MemoryBytes(), 64u * faces);
    EXPECT_LE(prepared.Accelerator().Tree().depth, kBvhMaxDepth);

    GritUtility& utility = const_cast<PreparedMesh&>(prepared).utility;
    utility.ReleaseRayAccelerator();
    EXPECT_FALSE(utility.rayAccelerator.Built());
    EXPECT_EQ(utility.rayAccelerator.MemoryBytes(), 0u);
}

namespace {

bool SameNodes(const WideBvh& a, const WideBvh& b) {
    return a.nodes.size() == b.nodes.size() &&
           std::memcmp(a.nodes.data(), b.nodes.data(), a.nodes.size() * sizeof(BvhNode)) == 0;
}

}  // namespace

TEST(BvhBuild, TheTreeIsTheSameForAnyNumberOfThreads) {
    // Enough items that the top ranges are binned on several threads and the rest is built as
    // many subtrees side by side; clustered, with repeated centres, so that ties arise.
    std::mt19937 rng(21);
    std::normal_distribution<float> around(0.0f, 1.0f);
    std::uniform_real_distribution<float> size(0.001f, 0.05f);
    std::vector<BvhBox> boxes;
    const Point3 clusters[3] = {{0, 0, 0}, {5, 1, -2}, {-3, 4, 8}};
    for (int i = 0; i < 150000; ++i) {
        const Point3& c = clusters[i % 3];
        if (i % 50 == 7 && !boxes.empty()) {
            boxes.push_back(boxes[boxes.size() / 2]);  // an exact duplicate
            continue;
        }
        boxes.push_back(UnitBoxAt(c.x + around(rng), c.y + around(rng), c.z + around(rng), size(rng)));
    }
    BvhConfig config;
    config.threads = 1;
    const WideBvh one = BuildWideBvh(boxes, config);
    ExpectEveryItemOnceUnderNestedBoxes(Walk(one, boxes));
    for (const int threads : {2, 3, 8}) {
        config.threads = threads;
        const WideBvh other = BuildWideBvh(boxes, config);
        EXPECT_TRUE(SameNodes(one, other)) << threads << " threads";
        EXPECT_EQ(one.order, other.order) << threads << " threads";
        EXPECT_EQ(one.depth, other.depth) << threads << " threads";
    }
}

TEST(BvhBuild, TheAcceleratorIsTheSameForAnyNumberOfThreads) {
    // 2 x 240 x 240 faces of a wavy height field, some of them zero-area.
    Mesh grid;
    const int n = 240;
    for (int y = 0; y <= n; ++y) {
        for (int x = 0; x <= n; ++x) {
            const float h = (x % 37 == 0) ? 0.0f : 3.0f * std::sin(0.11f * float(x)) * std::cos(0.07f * float(y));
            AddVertex(grid, {float(x), float(y), h});
        }
    }
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) AddQuad(grid, y * (n + 1) + x, y * (n + 1) + x + 1, (y + 1) * (n + 1) + x + 1, (y + 1) * (n + 1) + x);
    }
    AddTriangle(grid, {1, 1, 1}, {2, 2, 2}, {3, 3, 3});  // collinear: never hit, never in the tree
    GritUtility utility;
    utility.BuildFaceNormals(grid);
    BvhConfig config;
    config.threads = 1;
    RayAccelerator one;
    one.Build(grid, utility.faceNormals, config);
    ASSERT_TRUE(one.Built());
    ASSERT_GT(one.BlockCount(), 20000u);
    for (const int threads : {2, 3}) {
        config.threads = threads;
        RayAccelerator other;
        other.Build(grid, utility.faceNormals, config);
        EXPECT_TRUE(SameNodes(one.Tree(), other.Tree())) << threads << " threads";
        ASSERT_EQ(one.BlockCount(), other.BlockCount());
        EXPECT_EQ(std::memcmp(one.Blocks(), other.Blocks(), one.BlockCount() * sizeof(RayAccelerator::FaceBlock)), 0)
            << threads << " threads";
        EXPECT_EQ(one.UnboundedFaceCount(), other.UnboundedFaceCount());
    }
}
