// The 3-D noise field: bounded, smooth, centred on 0, and the same value for the same point on
// every call and every thread.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "host/Noise.h"

namespace {

// A spread of sample points with varied fractional parts, negative coordinates included.
std::vector<Point3> SamplePoints(int n) {
    std::vector<Point3> pts;
    pts.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const float t = static_cast<float>(i);
        pts.push_back({std::fmod(t * 0.37f, 97.0f) - 48.5f, std::fmod(t * 0.61f, 89.0f) - 40.25f,
                       std::fmod(t * 0.13f, 83.0f) - 30.75f});
    }
    return pts;
}

}  // namespace

TEST(Noise3, StaysWithinPlusMinusOneAndIsNotFlat) {
    float lo = 0.0f, hi = 0.0f;
    for (const Point3& p : SamplePoints(200000)) {
        const float v = noise3(p);
        ASSERT_TRUE(v >= -1.0f && v <= 1.0f) << v << " at (" << p.x << ", " << p.y << ", " << p.z << ")";
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_LT(lo, -0.4f);
    EXPECT_GT(hi, 0.4f);
}

TEST(Noise3, IsCentredOnZero) {
    double sum = 0.0;
    int positive = 0;
    const std::vector<Point3> pts = SamplePoints(100000);
    for (const Point3& p : pts) {
        const float v = noise3(p);
        sum += v;
        positive += v > 0.0f ? 1 : 0;
    }
    EXPECT_NEAR(sum / static_cast<double>(pts.size()), 0.0, 0.02);
    EXPECT_NEAR(static_cast<double>(positive) / static_cast<double>(pts.size()), 0.5, 0.05);
}

TEST(Noise3, IsZeroOnTheLattice) {
    for (int x = -3; x <= 3; ++x)
        for (int y = -3; y <= 3; ++y)
            for (int z = -3; z <= 3; ++z)
                EXPECT_EQ(noise3(Point3(float(x), float(y), float(z))), 0.0f) << x << ", " << y << ", " << z;
}

TEST(Noise3, IsContinuous) {
    // The field's slope is bounded, so a step of 1e-3 moves the value by well under 0.01, across
    // cell boundaries and across zero as well.
    const Point3 steps[] = {{1e-3f, 0, 0}, {0, 1e-3f, 0}, {0, 0, 1e-3f}, {6e-4f, -6e-4f, 6e-4f}};
    std::vector<Point3> pts = SamplePoints(20000);
    pts.push_back({-0.0005f, 0.3f, 0.7f});
    pts.push_back({2.9995f, 4.9995f, -1.0005f});
    for (const Point3& p : pts)
        for (const Point3& s : steps) {
            const float d = std::fabs(noise3(p + s) - noise3(p));
            ASSERT_LT(d, 0.01f) << "at (" << p.x << ", " << p.y << ", " << p.z << ")";
        }
}

TEST(Noise3, RepeatsEvery256Cells) {
    // The lattice hash wraps at 256 cells, negative cells included.
    const Point3 p(0.5f, 0.25f, 0.75f);
    const float v = noise3(p);
    EXPECT_NE(v, 0.0f);
    EXPECT_EQ(noise3(p + Point3(256, 0, 0)), v);
    EXPECT_EQ(noise3(p + Point3(0, -256, 512)), v);
    EXPECT_EQ(noise3(p + Point3(-256, -256, -256)), v);
}

TEST(Noise3, SameValueOnEveryCallAndThread) {
    const std::vector<Point3> pts = SamplePoints(2000);
    std::vector<float> here, there(pts.size());
    for (const Point3& p : pts) here.push_back(noise3(p));
    std::thread t([&] {
        for (size_t i = 0; i < pts.size(); ++i) there[i] = noise3(pts[i]);
    });
    t.join();
    for (size_t i = 0; i < pts.size(); ++i) {
        ASSERT_EQ(noise3(pts[i]), here[i]);
        ASSERT_EQ(there[i], here[i]);
    }
}

TEST(Noise3, ExtremeInputsStayInRange) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(noise3({inf, 0.5f, 0.5f}), 0.0f);
    EXPECT_EQ(noise3({0.5f, -inf, 0.5f}), 0.0f);
    EXPECT_EQ(noise3({0.5f, 0.5f, nan}), 0.0f);
    // Coordinates far beyond the int range (a tiny noise size) still give a value in range.
    for (const Point3& p : {Point3(1e30f, -3e20f, 7e12f), Point3(-3.4e38f, 3.4e38f, 2.5e9f), Point3(1e7f + 0.5f, 0.25f, 0.5f)}) {
        const float v = noise3(p);
        EXPECT_TRUE(v >= -1.0f && v <= 1.0f) << v;
    }
}
