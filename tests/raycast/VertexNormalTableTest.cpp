// Smoothing-group vertex normals: chain building, merging, lookup and interpolation.
#include <gtest/gtest.h>

#include <pthread.h>

#include <cmath>
#include <cstdlib>

#include "raycast/VertexNormalTable.h"
#include "tests/common/TestHost.h"
#include "tests/common/TestMeshes.h"

namespace {

int ChainLength(const VertexNormalNode* head) {
    int n = 0;
    for (const VertexNormalNode* node = head; node; node = node->next) ++n;
    return n;
}

void ExpectNear(const Point3& a, const Point3& b, float tolerance = 1e-6f) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

// Two triangles meeting at vertex 0 (the origin): face 0 in the plane z = 0 (normal +Z, area
// 0.5) and face 1 in the plane x = 0 (normal +X, area 2).
Mesh TwoFacesAtTheOrigin(DWORD groupA, DWORD groupB) {
    Mesh mesh;
    const int o = AddVertex(mesh, {0, 0, 0});
    const int a1 = AddVertex(mesh, {1, 0, 0});
    const int a2 = AddVertex(mesh, {0, 1, 0});
    const int b1 = AddVertex(mesh, {0, 2, 0.0f});
    const int b2 = AddVertex(mesh, {0, 0, 2});
    AddFace(mesh, o, a1, a2, groupA);
    AddFace(mesh, o, b1, b2, groupB);
    return mesh;
}

}  // namespace

TEST(VertexNormalTable, FacesSharingAGroupShareOneAreaWeightedNormal) {
    const Mesh mesh = TwoFacesAtTheOrigin(1, 1);
    VertexNormalTable table;
    table.Build(mesh);
    ASSERT_EQ(table.Count(), 5);
    ASSERT_EQ(ChainLength(table.Head(0)), 1);
    // The larger face weighs four times as much: (4, 0, 1) / sqrt(17).
    const float root17 = std::sqrt(17.0f);
    ExpectNear(table.Head(0)->normal, {4 / root17, 0, 1 / root17});
    EXPECT_EQ(table.Head(0)->smGroups, 1u);
    EXPECT_EQ(table.Head(0)->used, 1);
    // Both faces read it at the shared corner.
    ExpectNear(table.Interpolate(mesh.faces[0], {1, 0, 0}), table.Head(0)->normal, 0);
    ExpectNear(table.Interpolate(mesh.faces[1], {1, 0, 0}), table.Head(0)->normal, 0);
}

TEST(VertexNormalTable, FacesWithoutASharedGroupKeepAHardEdge) {
    const Mesh mesh = TwoFacesAtTheOrigin(1, 2);
    VertexNormalTable table;
    table.Build(mesh);
    ASSERT_EQ(ChainLength(table.Head(0)), 2);
    EXPECT_EQ(table.Interpolate(mesh.faces[0], {1, 0, 0}), Point3(0, 0, 1));
    EXPECT_EQ(table.Interpolate(mesh.faces[1], {1, 0, 0}), Point3(1, 0, 0));
    EXPECT_EQ(FindNode(table.Head(0), 2)->normal, Point3(1, 0, 0));
}

TEST(VertexNormalTable, AFaceInTwoGroupsJoinsTheirNodes) {
    // Faces with masks 1, 2 and 3 around the origin, in that order.
    Mesh mesh;
    const int o = AddVertex(mesh, {0, 0, 0});
    const int x = AddVertex(mesh, {1, 0, 0});
    const int y = AddVertex(mesh, {0, 1, 0});
    const int z = AddVertex(mesh, {0, 0, 1});
    AddFace(mesh, o, x, y, 1);  // normal +Z
    AddFace(mesh, o, y, z, 2);  // normal +X
    AddFace(mesh, o, z, x, 3);  // normal +Y

    // The chain before normalisation: the head took masks 1 and 3, the second node mask 2.
    VertexNormalNode head;
    AddNormal(&head, {0, 0, 1}, 1);
    AddNormal(&head, {1, 0, 0}, 2);
    AddNormal(&head, {0, 1, 0}, 3);
    ASSERT_EQ(ChainLength(&head), 2);
    EXPECT_EQ(head.smGroups, 3u);
    EXPECT_EQ(head.normal, Point3(0, 1, 1));
    EXPECT_EQ(head.next->smGroups, 2u);

    VertexNormalTable table;
    table.Build(mesh);
    ASSERT_EQ(ChainLength(table.Head(o)), 1);
    const float third = 1 / std::sqrt(3.0f);
    ExpectNear(table.Head(o)->normal, {third, third, third});
    for (int f = 0; f < 3; ++f) EXPECT_EQ(FindNode(table.Head(o), mesh.faces[f].smGroup), table.Head(o));
}

TEST(VertexNormalTable, MergingDoesNotWidenTheReceivingNode) {
    // Chain: head mask 1, then 2, then 4; a face with 6 widens the second node, a face with 3
    // the head. At normalisation the head (3) absorbs the second node (6), but the third (4)
    // shares a bit only with what was absorbed, so it stays separate.
    VertexNormalNode head;
    AddNormal(&head, {1, 0, 0}, 1);
    AddNormal(&head, {0, 1, 0}, 2);
    AddNormal(&head, {0, 0, 1}, 4);
    AddNormal(&head, {0, 2, 0}, 6);
    AddNormal(&head, {1, 0, 0}, 3);
    ASSERT_EQ(ChainLength(&head), 3);

    NormalizeChain(&head);
    ASSERT_EQ(ChainLength(&head), 2);
    EXPECT_EQ(head.smGroups, 3u);
    // (2, 0, 0) + (0, 3, 0), normalised.
    ExpectNear(head.normal, {0.5547002f, 0.8320503f, 0});
    EXPECT_EQ(head.next->smGroups, 4u);
    EXPECT_EQ(head.next->normal, Point3(0, 0, 1));
    EXPECT_EQ(FindNode(&head, 4), head.next);
    EXPECT_EQ(FindNode(&head, 2), &head);
}

TEST(VertexNormalTable, UngroupedFacesGetTheirOwnNodeAndFindTheLastOne) {
    VertexNormalNode head;
    // Into an unused head even without groups.
    AddNormal(&head, {0, 0, 2}, 0);
    EXPECT_EQ(ChainLength(&head), 1);
    EXPECT_EQ(head.used, 1);
    EXPECT_EQ(FindNode(&head, 0), &head);

    // After a grouped face, an ungrouped one appends its own node, and lookups without groups
    // give the last node: its own only while nothing came after it.
    VertexNormalNode grouped;
    AddNormal(&grouped, {0, 0, 1}, 1);
    AddNormal(&grouped, {1, 0, 0}, 0);
    ASSERT_EQ(ChainLength(&grouped), 2);
    const VertexNormalNode* own = grouped.next;
    EXPECT_EQ(own->smGroups, 0u);
    EXPECT_EQ(FindNode(&grouped, 0), own);
    AddNormal(&grouped, {0, 1, 0}, 0);  // another ungrouped face: never shares, appends again
    AddNormal(&grouped, {0, 1, 0}, 8);
    ASSERT_EQ(ChainLength(&grouped), 4);
    EXPECT_EQ(FindNode(&grouped, 0), grouped.next->next->next);
    // No shared bit anywhere: also the last node.
    EXPECT_EQ(FindNode(&grouped, 16), grouped.next->next->next);
    EXPECT_EQ(FindNode(&grouped, 1), &grouped);

    NormalizeChain(&grouped);
    EXPECT_EQ(ChainLength(&grouped), 4);  // groups 0 share nothing, so nothing merges
    EXPECT_EQ(FindNode(nullptr, 1), nullptr);
}

TEST(VertexNormalTable, IsolatedTriangleInterpolatesToItsOwnNormal) {
    // Normal (0, -0.6, 0.8).
    const Mesh mesh = MakeTriangleMesh({0, 0, 0}, {2, 0, 0}, {2, 4, 3});
    VertexNormalTable table;
    table.Build(mesh);
    for (const Point3& w : {Point3(1, 0, 0), Point3(0, 0, 1), Point3(0.2f, 0.3f, 0.5f),
                            Point3(0.33333334f, 0.33333334f, 0.33333334f)}) {
        ExpectNear(table.Interpolate(mesh.faces[0], w), {0, -0.6f, 0.8f});
    }
    // Not normalised: the weights scale it.
    ExpectNear(table.Interpolate(mesh.faces[0], {0.5f, 0, 0}), {0, -0.3f, 0.4f});
}

TEST(VertexNormalTable, UnusedVerticesDegenerateFacesAndRebuilds) {
    TestHost host;
    Mesh mesh = MakeTriangleMesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    const int lonely = AddVertex(mesh, {5, 5, 5});
    AddTriangle(mesh, {7, 7, 7}, {8, 8, 8}, {9, 9, 9});  // zero area

    VertexNormalTable table;
    table.Clear();  // on an empty table: nothing to do
    EXPECT_EQ(table.Count(), 0);

    table.Build(mesh);
    ASSERT_EQ(table.Count(), mesh.getNumVerts());
    const VertexNormalNode* unused = table.Head(lonely);
    EXPECT_EQ(unused->used, 0);
    EXPECT_EQ(unused->normal, Point3());
    EXPECT_EQ(unused->smGroups, 0u);
    EXPECT_EQ(unused->next, nullptr);
    // The degenerate face marks its corners used, with its groups, and leaves them zero.
    const VertexNormalNode* flat = table.Head(lonely + 1);
    EXPECT_EQ(flat->used, 1);
    EXPECT_EQ(flat->smGroups, 1u);
    EXPECT_EQ(flat->normal, Point3());
    EXPECT_EQ(table.Interpolate(mesh.faces[1], {0.2f, 0.3f, 0.5f}), Point3());

    // Building again starts from scratch instead of adding to the old sums.
    table.Build(mesh);
    ASSERT_EQ(table.Count(), mesh.getNumVerts());
    EXPECT_EQ(ChainLength(table.Head(0)), 1);
    EXPECT_EQ(table.Head(0)->normal, Point3(0, 0, 1));
    table.Clear();
    EXPECT_EQ(table.Count(), 0);
    EXPECT_TRUE(host.assertions.empty());
}

TEST(VertexNormalTable, OutOfRangeCornersAreSkippedAndReported) {
    TestHost host;
    Mesh mesh = MakeTriangleMesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    AddFace(mesh, 0, 2, 9);  // vertex 9 does not exist
    VertexNormalTable table;
    table.Build(mesh);  // the bad face adds nothing
    EXPECT_EQ(table.Head(0)->normal, Point3(0, 0, 1));
    EXPECT_TRUE(host.assertions.empty());
    // Looking it up reports the missing vertex and treats its normal as zero.
    EXPECT_EQ(table.Interpolate(mesh.faces[1], {0, 0, 1}), Point3());
    ASSERT_EQ(host.assertions.size(), 1u);
    EXPECT_EQ(host.assertions[0].second, "Tab");
}

namespace {

// Builds a chain of `count` nodes after a head: masks alternate 1, 2, 1, ... starting with the
// head, and each node carries (1, 0, 0) for mask 1 and (0, 1, 0) for mask 2.
VertexNormalNode* AlternatingChain(int count) {
    auto* head = new VertexNormalNode;
    VertexNormalNode* tail = head;
    for (int i = 0; i <= count; ++i) {
        VertexNormalNode* node = i == 0 ? head : new VertexNormalNode;
        node->smGroups = (i % 2 == 0) ? 1u : 2u;
        node->normal = (i % 2 == 0) ? Point3(1, 0, 0) : Point3(0, 1, 0);
        node->used = 1;
        if (node != head) {
            tail->next = node;
            tail = node;
        }
    }
    return head;
}

// Runs fn on a thread with a small stack, as the workers that read the table have.
void OnSmallStack(void (*fn)()) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 * 1024);
    pthread_t thread;
    if (pthread_create(&thread, &attr, [](void* arg) -> void* {
            reinterpret_cast<void (*)()>(arg)();
            return nullptr;
        }, reinterpret_cast<void*>(fn)) != 0) {
        std::_Exit(2);
    }
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

}  // namespace

TEST(VertexNormalTable, LongChainsAreMergedAndFreedWithoutRecursion) {
    // 200001 nodes: merging folds every mask-1 node into the head and every mask-2 node into the
    // second, each freed alone.
    VertexNormalNode* head = AlternatingChain(200000);
    NormalizeChain(head);
    ASSERT_EQ(ChainLength(head), 2);
    EXPECT_EQ(head->normal, Point3(1, 0, 0));
    EXPECT_EQ(head->next->normal, Point3(0, 1, 0));
    delete head;

    // Freeing a long chain from a small stack: a destructor that recursed down the chain would
    // overflow it and kill the process. The child re-runs this test alone, so no thread of the
    // parent is caught mid-way by the fork.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            OnSmallStack([] { delete AlternatingChain(200000); });
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
