// The nearest-hit ray query and the point-in-face test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "plugin/GritUtility.h"
#include "raycast/IntersectRay.h"
#include "tests/common/TestHost.h"
#include "tests/common/TestMeshes.h"

namespace {

Ray MakeRay(const Point3& p, const Point3& d) {
    Ray r;
    r.p = p;
    r.dir = d;
    return r;
}

// The unit normals of every face, built the way a run builds them.
Tab<Point3> NormalsOf(const Mesh& mesh) {
    GritUtility utility;
    utility.BuildFaceNormals(mesh);
    Tab<Point3> normals;
    normals.SetCount(utility.faceNormals.Count());
    for (int i = 0; i < normals.Count(); ++i) normals[i] = utility.faceNormals[i];
    return normals;
}

// The triangle (0,0,0), (1,0,0), (0,1,0), whose front faces +Z.
Mesh FloorTriangle() { return MakeTriangleMesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0}); }

constexpr float kUntouched = 123.0f;

}  // namespace

TEST(IntersectRay, HitsTheFrontOfATriangleAndMissesOutsideOrBehind) {
    const Mesh mesh = FloorTriangle();
    const Tab<Point3> normals = NormalsOf(mesh);

    float t = kUntouched;
    EXPECT_EQ(IntersectRay(mesh, MakeRay({0.25f, 0.25f, 1}, {0, 0, -1}), t, 30.0f, normals), 1);
    EXPECT_EQ(t, 1.0f);

    // Outside the triangle: b0 = -0.5.
    t = kUntouched;
    EXPECT_EQ(IntersectRay(mesh, MakeRay({0.75f, 0.75f, 1}, {0, 0, -1}), t, 30.0f, normals), 0);
    EXPECT_EQ(t, kUntouched);
    EXPECT_EQ(BarycentricInFace(mesh, 0, {0.75f, 0.75f, 0}).x, -0.5f);

    // From below, heading up: the back side.
    EXPECT_EQ(IntersectRay(mesh, MakeRay({0.25f, 0.25f, -1}, {0, 0, 1}), t, 30.0f, normals), 0);
    // Heading away from the front.
    EXPECT_EQ(IntersectRay(mesh, MakeRay({0.25f, 0.25f, 1}, {0, 0, 1}), t, 30.0f, normals), 0);
    // A ray leaving the face along its own normal does not see that face.
    EXPECT_EQ(IntersectRay(mesh, MakeRay({0.25f, 0.25f, 0}, {0, 0, 1}), t, 30.0f, normals), 0);
    EXPECT_EQ(t, kUntouched);
}

TEST(IntersectRay, EdgesAndCornersCountAsInside) {
    const Mesh mesh = FloorTriangle();
    const Tab<Point3> normals = NormalsOf(mesh);
    float t = kUntouched;
    // On the hypotenuse, on a corner, and a hair outside that edge.
    EXPECT_EQ(IntersectRay(mesh, MakeRay({0.5f, 0.5f, 2}, {0, 0, -1}), t, 30.0f, normals), 1);
    EXPECT_EQ(t, 2.0f);
    EXPECT_EQ(IntersectRay(mesh, MakeRay({1, 0, 2}, {0, 0, -1}), t, 30.0f, normals), 1);
    t = kUntouched;
    EXPECT_EQ(IntersectRay(mesh, MakeRay({0.5f, 0.50001f, 2}, {0, 0, -1}), t, 30.0f, normals), 0);
    EXPECT_EQ(t, kUntouched);
}

TEST(IntersectRay, DistanceLimitAndZeroDistanceAreInclusive) {
    const Mesh mesh = FloorTriangle();
    const Tab<Point3> normals = NormalsOf(mesh);
    const Ray down = MakeRay({0.25f, 0.25f, 1}, {0, 0, -1});

    float t = kUntouched;
    EXPECT_EQ(IntersectRay(mesh, down, t, 1.0f, normals), 1);
    EXPECT_EQ(t, 1.0f);
    t = kUntouched;
    EXPECT_EQ(IntersectRay(mesh, down, t, std::nextafter(1.0f, 0.0f), normals), 0);
    EXPECT_EQ(t, kUntouched);

    // Starting on the plane, inside the face, heading into its front side: a hit at 0.
    EXPECT_EQ(IntersectRay(mesh, MakeRay({0.25f, 0.25f, 0}, {0, 0, -1}), t, 30.0f, normals), 1);
    EXPECT_EQ(t, 0.0f);
    // Starting just behind the plane the face lies behind the origin.
    t = kUntouched;
    EXPECT_EQ(IntersectRay(mesh, MakeRay({0.25f, 0.25f, -0.001f}, {0, 0, -1}), t, 30.0f, normals), 0);
    EXPECT_EQ(t, kUntouched);
}

TEST(IntersectRay, GrazingRaysAreNotHits) {
    // A large floor, so that every ray below meets the plane inside the face.
    const Mesh mesh = MakeTriangleMesh({-1000, -1000, 0}, {1000, -1000, 0}, {0, 1000, 0});
    const Tab<Point3> normals = NormalsOf(mesh);
    float t = kUntouched;

    // d . n = -0.00005: too flat.
    const float shallow = 0.00005f;
    const Point3 grazing{std::sqrt(1.0f - shallow * shallow), 0, -shallow};
    EXPECT_EQ(IntersectRay(mesh, MakeRay({0, 0, 0.001f}, grazing), t, 1000.0f, normals), 0);
    EXPECT_EQ(t, kUntouched);

    // d . n = -0.0002 is steep enough, so the miss above is the front-face limit at work.
    const float steep = 0.0002f;
    const Point3 glancing{std::sqrt(1.0f - steep * steep), 0, -steep};
    EXPECT_EQ(IntersectRay(mesh, MakeRay({0, 0, 0.001f}, glancing), t, 1000.0f, normals), 1);
    EXPECT_NEAR(t, 5.0f, 1e-3f);
}

TEST(IntersectRay, NearestOfSeveralFacesWinsInAnyIndexOrder) {
    // Three parallel squares-worth of triangles facing down at heights 1, 2 and 3 above the
    // origin; every order of them in the mesh must give the nearest.
    const float heights[3] = {2.0f, 1.0f, 3.0f};
    int order[3] = {0, 1, 2};
    do {
        Mesh mesh;
        for (const int k : order) {
            const float z = heights[k];
            AddTriangle(mesh, {-1, -1, z}, {-1, 1, z}, {1, -1, z});  // faces -Z
        }
        const Tab<Point3> normals = NormalsOf(mesh);
        float t = kUntouched;
        ASSERT_EQ(IntersectRay(mesh, MakeRay({-0.5f, -0.5f, 0}, {0, 0, 1}), t, 30.0f, normals), 1);
        EXPECT_EQ(t, 1.0f) << "order " << order[0] << order[1] << order[2];
        // Limited to 1.5 only the nearest remains; limited to 0.5 none.
        EXPECT_EQ(IntersectRay(mesh, MakeRay({-0.5f, -0.5f, 0}, {0, 0, 1}), t, 1.5f, normals), 1);
        EXPECT_EQ(t, 1.0f);
        EXPECT_EQ(IntersectRay(mesh, MakeRay({-0.5f, -0.5f, 0}, {0, 0, 1}), t, 0.5f, normals), 0);
    } while (std::next_permutation(order, order + 3));
}

TEST(IntersectRay, EmptyMeshAndInvalidNumbersGiveNoHit) {
    TestHost host;
    Mesh empty;
    Tab<Point3> none;
    float t = kUntouched;
    EXPECT_EQ(IntersectRay(empty, MakeRay({0, 0, 0}, {0, 0, 1}), t, 30.0f, none), 0);
    EXPECT_EQ(t, kUntouched);
    EXPECT_TRUE(host.assertions.empty());

    const Mesh mesh = FloorTriangle();
    const Tab<Point3> normals = NormalsOf(mesh);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(IntersectRay(mesh, MakeRay({0.25f, 0.25f, 1}, {0, 0, nan}), t, 30.0f, normals), 0);
    EXPECT_EQ(IntersectRay(mesh, MakeRay({0.25f, 0.25f, nan}, {0, 0, -1}), t, 30.0f, normals), 0);
    // A NaN limit accepts nothing rather than everything.
    EXPECT_EQ(IntersectRay(mesh, MakeRay({0.25f, 0.25f, 1}, {0, 0, -1}), t, nan, normals), 0);
    EXPECT_EQ(t, kUntouched);
    EXPECT_TRUE(host.assertions.empty());
}

TEST(IntersectRay, NormalTableOfTheWrongSizeIsReportedOncePerQueryAndTheQueryGoesOn) {
    TestHost host;
    Mesh mesh = FloorTriangle();
    AddTriangle(mesh, {0, 0, -5}, {1, 0, -5}, {0, 1, -5});  // a second floor, further down
    const Tab<Point3> full = NormalsOf(mesh);
    const Ray down = MakeRay({0.25f, 0.25f, 1}, {0, 0, -1});

    // One entry too many: one report per query, and the answer is unaffected.
    Tab<Point3> extra = full;
    extra.Append({0, 0, 1});
    float t = kUntouched;
    EXPECT_EQ(IntersectRay(mesh, down, t, 30.0f, extra), 1);
    EXPECT_EQ(t, 1.0f);
    ASSERT_EQ(host.assertions.size(), 1u);
    EXPECT_EQ(host.assertions[0].second, "IntersectRay");
    EXPECT_EQ(IntersectRay(mesh, down, t, 30.0f, extra), 1);
    EXPECT_EQ(host.assertions.size(), 2u);

    // One entry short: the size report, then the face without a normal is reported and skipped
    // while face 0 is still tested.
    host.assertions.clear();
    Tab<Point3> shortTable;
    shortTable.Append(full[0]);
    t = kUntouched;
    EXPECT_EQ(IntersectRay(mesh, down, t, 30.0f, shortTable), 1);
    EXPECT_EQ(t, 1.0f);
    ASSERT_EQ(host.assertions.size(), 2u);
    EXPECT_EQ(host.assertions[0].second, "IntersectRay");
    EXPECT_EQ(host.assertions[1].second, "IntersectRay");
    EXPECT_NE(host.assertions[0].first, host.assertions[1].first);

    // Only the second face has a normal entry missing, and only it would be hit.
    host.assertions.clear();
    t = kUntouched;
    EXPECT_EQ(IntersectRay(mesh, MakeRay({0.25f, 0.25f, -1}, {0, 0, -1}), t, 30.0f, shortTable), 0);
    EXPECT_EQ(t, kUntouched);
    EXPECT_EQ(host.assertions.size(), 2u);
}

TEST(BarycentricInFace, WeightsOfPointsInTheFace) {
    // Normal along +x: the projection drops x.
    const Mesh side = MakeTriangleMesh({0, 0, 0}, {0, 1, 0}, {0, 0, 1});
    const Point3 b = BarycentricInFace(side, 0, {0, 0.25f, 0.5f});
    EXPECT_EQ(b, Point3(0.25f, 0.25f, 0.5f));
    EXPECT_EQ(BarycentricInFace(side, 0, {0, 1, 0}), Point3(0, 1, 0));
    EXPECT_EQ(BarycentricInFace(side, 0, {0, 0, 1}), Point3(0, 0, 1));
    EXPECT_EQ(BarycentricInFace(side, 0, {0, 0, 0}), Point3(1, 0, 0));

    // Normal along y and along z.
    const Mesh facingY = MakeTriangleMesh({0, 0, 0}, {0, 0, 2}, {2, 0, 0});
    EXPECT_EQ(BarycentricInFace(facingY, 0, {1, 0, 0.5f}), Point3(0.25f, 0.25f, 0.5f));
    const Mesh facingZ = MakeTriangleMesh({1, 1, 3}, {3, 1, 3}, {1, 5, 3});
    EXPECT_EQ(BarycentricInFace(facingZ, 0, {1.5f, 3, 3}), Point3(0.25f, 0.25f, 0.5f));

    // The plane x = -y: the cross product of the edges is (1, 1, 0), a tie between x and y.
    const Mesh tie = MakeTriangleMesh({0, 0, 0}, {0, 0, 1}, {1, -1, 0});
    const Point3 bt = BarycentricInFace(tie, 0, {0.5f, -0.5f, 0.25f});
    EXPECT_FLOAT_EQ(bt.x, 0.25f);
    EXPECT_FLOAT_EQ(bt.y, 0.25f);
    EXPECT_FLOAT_EQ(bt.z, 0.5f);
}

TEST(BarycentricInFace, DegenerateFacesNeverContainAPointOrGetHit) {
    TestHost host;
    Mesh mesh;
    AddTriangle(mesh, {0, 0, 0}, {1, 1, 1}, {2, 2, 2});  // collinear
    AddTriangle(mesh, {3, 3, 3}, {3, 3, 3}, {3, 3, 3});  // a point
    EXPECT_EQ(BarycentricInFace(mesh, 0, {1, 1, 1}), Point3(-1, 1, 1));
    EXPECT_EQ(BarycentricInFace(mesh, 1, {3, 3, 3}), Point3(-1, 1, 1));

    GritUtility utility;
    utility.BuildFaceNormals(mesh);
    ASSERT_EQ(utility.faceNormals.Count(), 2);
    EXPECT_EQ(utility.faceNormals[0], Point3());
    EXPECT_EQ(utility.faceNormals[1], Point3());
    // Even a ray straight through the shared point finds nothing.
    float t = kUntouched;
    for (const Point3& d : {Point3(0, 0, -1), Point3(0, 0, 1), Point3(1, 0, 0), Point3(-1, 0, 0)}) {
        EXPECT_EQ(utility.CastRay(mesh, MakeRay(Point3(3, 3, 3) - d, d), t, 30.0f), 0);
    }
    EXPECT_EQ(t, kUntouched);
    EXPECT_TRUE(host.assertions.empty());
}

TEST(BuildFaceNormals, UnitNormalsFacingTheCounterClockwiseSide) {
    TestHost host;
    GritUtility utility;
    const Mesh cube = MakeUnitCube();
    utility.BuildFaceNormals(cube);
    ASSERT_EQ(utility.faceNormals.Count(), 12);
    const Point3 expected[6] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(utility.faceNormals[i], expected[i / 2]) << "face " << i;

    // A tilted face: normalise((c1 - c0) x (c2 - c1)) = (0, -3, 4) / 5.
    const Mesh tilted = MakeTriangleMesh({0, 0, 0}, {2, 0, 0}, {2, 4, 3});
    utility.BuildFaceNormals(tilted);
    ASSERT_EQ(utility.faceNormals.Count(), 1);  // resized, not appended
    EXPECT_FLOAT_EQ(utility.faceNormals[0].x, 0.0f);
    EXPECT_FLOAT_EQ(utility.faceNormals[0].y, -0.6f);
    EXPECT_FLOAT_EQ(utility.faceNormals[0].z, 0.8f);
    EXPECT_TRUE(host.assertions.empty());
}

TEST(BuildFaceNormals, FaceWithAMissingCornerIsReportedAndNeverHit) {
    TestHost host;
    Mesh mesh = FloorTriangle();
    AddFace(mesh, 0, 1, 7);  // vertex 7 does not exist
    GritUtility utility;
    utility.BuildFaceNormals(mesh);
    ASSERT_EQ(utility.faceNormals.Count(), 2);
    EXPECT_EQ(utility.faceNormals[1], Point3());
    ASSERT_EQ(host.assertions.size(), 1u);
    EXPECT_EQ(host.assertions[0].second, "IntersectRay");
    float t = kUntouched;
    EXPECT_EQ(utility.CastRay(mesh, MakeRay({0.25f, 0.25f, 1}, {0, 0, -1}), t, 30.0f), 1);
    EXPECT_EQ(t, 1.0f);
    EXPECT_EQ(host.assertions.size(), 1u);
}
