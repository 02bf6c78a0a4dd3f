// Vector, matrix and barycentric arithmetic: the exact float results the maps depend on.
#include <gtest/gtest.h>

#include <cmath>

#include "host/Matrix3.h"
#include "host/Point2.h"
#include "host/Point3.h"

namespace {

void ExpectNear(const Point3& a, const Point3& b, float tol) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

// The frame of the ray fan: the rotation about normalize(N x Z) by acos(N.Z / |N|), which turns N
// onto +Z.
Matrix3 FrameFor(const Point3& n) {
    const Point3 axis = Normalize(CrossProd(n, ZAxis));
    const float cosTheta = DotProd(n, ZAxis) / (Length(n) * Length(ZAxis));
    Matrix3 m;
    m.SetAngleAxis(axis, static_cast<float>(std::acos(static_cast<double>(cosTheta))));
    return m;
}

}  // namespace

TEST(Point3Ops, DotProdSumsLeftToRight) {
    EXPECT_EQ(DotProd({1, 2, 3}, {4, -5, 6}), 12.0f);
    // 1e8 + 1 rounds back to 1e8 in float, so only the left-to-right sum gives exactly 0.
    EXPECT_EQ(DotProd({1e8f, 1.0f, -1e8f}, {1, 1, 1}), 0.0f);
}

TEST(Point3Ops, CrossProdIsRightHandedAndAntisymmetric) {
    EXPECT_EQ(CrossProd({1, 0, 0}, {0, 1, 0}), Point3(0, 0, 1));
    EXPECT_EQ(CrossProd({0, 1, 0}, {0, 0, 1}), Point3(1, 0, 0));
    EXPECT_EQ(CrossProd({1, 2, 3}, {4, 5, 6}), Point3(-3, 6, -3));
    EXPECT_EQ(CrossProd({4, 5, 6}, {1, 2, 3}), Point3(3, -6, 3));
    EXPECT_EQ(CrossProd({2, -1, 7}, {2, -1, 7}), Point3(0, 0, 0));
}

TEST(Point3Ops, LengthAndNormalize) {
    EXPECT_EQ(Length({3, 4, 12}), 13.0f);
    EXPECT_EQ(Normalize({3, 4, 0}), Point3(0.6f, 0.8f, 0.0f));
    // The zero vector stays zero rather than turning into NaN.
    const Point3 z = Normalize({0, 0, 0});
    EXPECT_EQ(z, Point3(0, 0, 0));
    EXPECT_FALSE(std::isnan(z.x) || std::isnan(z.y) || std::isnan(z.z));
}

TEST(Point3Ops, NormalizeDividesByTheLength) {
    // A vector whose components divided by the length differ from a multiplication by the
    // reciprocal; Normalize must give the quotients.
    const Point3 a(1.5f, 0.5f, 0.5f);
    const float len = Length(a);
    const float recip = 1.0f / len;
    bool differs = false;
    for (int i = 0; i < 3; ++i) differs = differs || (a[i] / len != a[i] * recip);
    ASSERT_TRUE(differs) << "pick a vector where the two roundings differ";
    const Point3 n = Normalize(a);
    EXPECT_EQ(n.x, 1.5f / len);
    EXPECT_EQ(n.y, 0.5f / len);
    EXPECT_EQ(n.z, 0.5f / len);
}

TEST(Point3Ops, MaxComponentPrefersTheFirstAxisOnTies) {
    EXPECT_EQ(MaxComponent({1, -3, 2}), 1);
    EXPECT_EQ(MaxComponent({0, 0, -5}), 2);
    EXPECT_EQ(MaxComponent({1, 1, 0}), 0);
    EXPECT_EQ(MaxComponent({0, -2, 2}), 1);
    EXPECT_EQ(MaxComponent({-4, 2, 4}), 0);
    EXPECT_EQ(MaxComponent({-1, -1, -1}), 0);
    EXPECT_EQ(MaxComponent({0, 0, 0}), 0);
}

TEST(Matrix3Ops, SetAngleAxisIsRightHanded) {
    Matrix3 m;
    m.SetAngleAxis({0, 0, 1}, 1.5707963f);  // 90 degrees about +Z carries +X to +Y
    ExpectNear(Point3(1, 0, 0) * m, {0, 1, 0}, 1e-6f);
    ExpectNear(Point3(0, 1, 0) * m, {-1, 0, 0}, 1e-6f);
    ExpectNear(Point3(0, 0, 1) * m, {0, 0, 1}, 1e-6f);
    m.SetAngleAxis({1, 0, 0}, 1.5707963f);  // about +X: +Y to +Z
    ExpectNear(Point3(0, 1, 0) * m, {0, 0, 1}, 1e-6f);
}

TEST(Matrix3Ops, FrameTurnsTheNormalOntoZAndBack) {
    const Point3 normals[] = {{1, 0, 0}, {0, 1, 0}, {1, 2, 3}, {-0.3f, 0.2f, -0.9f}, {0.1f, -0.7f, 0.2f},
                              {0, 0, -1}};
    for (const Point3& n : normals) {
        SCOPED_TRACE(testing::Message() << "N = (" << n.x << ", " << n.y << ", " << n.z << ")");
        const Matrix3 r = FrameFor(n);
        const Point3 unit = Normalize(n);
        ExpectNear(VectorTransform(r, unit), ZAxis, 2e-6f);
        // The transpose takes local +Z (the fan's axis) to the normal.
        const Matrix3 back = TransposeRotation(r);
        ExpectNear(VectorTransform(back, ZAxis), unit, 2e-6f);
        // Transpose times rotation is the identity within rounding.
        for (const Point3& d : {Point3(1, 0, 0), Point3(0, 1, 0), Point3(0, 0, 1), Point3(0.3f, -0.5f, 0.8f)})
            ExpectNear(VectorTransform(back, VectorTransform(r, d)), d, 2e-6f);
    }
}

TEST(Matrix3Ops, NormalAlongZGivesTheExactIdentity) {
    const Matrix3 r = FrameFor({0, 0, 1});
    const Matrix3 id;
    for (int row = 0; row < 4; ++row) EXPECT_EQ(r[row], id[row]) << "row " << row;
    const Point3 d(0.123f, -0.456f, 0.789f);
    EXPECT_EQ(VectorTransform(TransposeRotation(r), d), d);
}

TEST(Matrix3Ops, NormalAlongMinusZGivesMinusIdentity) {
    const Matrix3 r = FrameFor({0, 0, -1});
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) EXPECT_EQ(r[row][col], row == col ? -1.0f : 0.0f);
    }
    EXPECT_EQ(VectorTransform(TransposeRotation(r), ZAxis), Point3(0, 0, -1));
}

TEST(Matrix3Ops, PointTimesMatrixAddsTheTranslation) {
    Matrix3 m;
    m[3] = {10, 20, 30};
    EXPECT_EQ(Point3(1, 2, 3) * m, Point3(11, 22, 33));
    EXPECT_EQ(VectorTransform(m, {1, 2, 3}), Point3(1, 2, 3));
}

TEST(Matrix3Ops, InverseUndoesAGeneralAffineTransform) {
    Matrix3 m;
    m[0] = {2, 0, 1};
    m[1] = {1, 3, 0};
    m[2] = {0, 1, 4};
    m[3] = {5, -2, 7};
    const Matrix3 inv = Inverse(m);
    for (const Point3& p : {Point3(0, 0, 0), Point3(1, 2, 3), Point3(-4, 0.5f, 9), Point3(100, -50, 25)}) {
        ExpectNear((p * m) * inv, p, 1e-4f);
        ExpectNear((p * inv) * m, p, 1e-4f);
    }
    // The origin goes to minus the translation carried through the inverse linear part.
    ExpectNear(Point3(5, -2, 7) * inv, {0, 0, 0}, 1e-5f);
}

TEST(BaryCoordsOps, CornersCentreAndOutsidePoints) {
    const Point2 p0(0, 0), p1(4, 0), p2(0, 4);
    EXPECT_EQ(BaryCoords(p0, p1, p2, {0, 0}), Point3(1, 0, 0));
    EXPECT_EQ(BaryCoords(p0, p1, p2, {4, 0}), Point3(0, 1, 0));
    EXPECT_EQ(BaryCoords(p0, p1, p2, {0, 4}), Point3(0, 0, 1));
    EXPECT_EQ(BaryCoords(p0, p1, p2, {1, 1}), Point3(0.5f, 0.25f, 0.25f));
    EXPECT_EQ(BaryCoords(p0, p1, p2, {2, 0}), Point3(0.5f, 0.5f, 0.0f));
    // Outside the triangle a weight goes negative; the three still sum to 1.
    EXPECT_EQ(BaryCoords(p0, p1, p2, {4, 4}), Point3(-1, 1, 1));
}

TEST(BaryCoordsOps, WindingDoesNotChangeTheWeights) {
    // Clockwise corners: the signed sub-areas and the whole area change sign together.
    EXPECT_EQ(BaryCoords({0, 0}, {0, 4}, {4, 0}, {1, 1}), Point3(0.5f, 0.25f, 0.25f));
}

TEST(BaryCoordsOps, WeightsReproduceThePoint) {
    const Point2 p0(3, 7), p1(41, 12), p2(17, 33);
    for (const Point2& p : {Point2(20, 15), Point2(10, 10), Point2(30, 20), Point2(50, 50)}) {
        const Point3 b = BaryCoords(p0, p1, p2, p);
        EXPECT_NEAR(b.x + b.y + b.z, 1.0f, 1e-5f);
        EXPECT_NEAR(b.x * p0.x + b.y * p1.x + b.z * p2.x, p.x, 1e-4f);
        EXPECT_NEAR(b.x * p0.y + b.y * p1.y + b.z * p2.y, p.y, 1e-4f);
    }
}
