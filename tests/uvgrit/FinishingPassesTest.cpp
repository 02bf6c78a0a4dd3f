// The finishing passes over the value grid: speckle repair within a face and one texel of
// dilation around the covered areas.
#include <gtest/gtest.h>

#include "plugin/GritUtility.h"
#include "tests/common/TestHost.h"
#include "tests/uvgrit/UvTestSupport.h"

namespace {
class FinishingPasses : public testing::Test {
protected:
    void Grid(int w, int h) {
        utility.texels = EmptyGrid(w, h);
        utility.gritValues.Resize(unsigned(w), unsigned(h), 0.0f);
        utility.gritValues.SetAll(0.0f);
    }
    void Cover(int x, int y, int face, float value) {
        TexelRecord r;
        r.faceIndex = face;
        r.weights = r.rawWeights = Point3(0.2f, 0.3f, 0.5f);
        utility.texels.Set(x, y, r);
        utility.gritValues.Set(x, y, value);
    }
    float V(int x, int y) const { return utility.gritValues.Get(x, y); }

    TestHost host;
    GritUtility utility;
};

TEST_F(FinishingPasses, DarkTexelTakesItsBrightestNeighbourOnTheSameFace) {
    Grid(3, 3);
    Cover(1, 1, 0, 0.05f);
    Cover(0, 1, 0, 0.85f);
    Cover(2, 2, 0, 0.95f);
    Cover(2, 0, 0, 0.5f);  // same face, not bright enough to count
    utility.RepairSpeckles();
    EXPECT_EQ(V(1, 1), 0.95f);
    EXPECT_EQ(V(0, 1), 0.85f);
    EXPECT_EQ(V(2, 2), 0.95f);
    EXPECT_EQ(V(2, 0), 0.5f);
    EXPECT_TRUE(host.assertions.empty());
}

TEST_F(FinishingPasses, BrightNeighboursOfAnotherFaceDoNotCount) {
    Grid(3, 3);
    Cover(1, 1, 0, 0.05f);
    Cover(0, 1, 1, 0.85f);
    Cover(2, 2, 1, 0.95f);
    utility.RepairSpeckles();
    EXPECT_EQ(V(1, 1), 0.05f);
}

TEST_F(FinishingPasses, ThresholdsAreInclusiveAndUncoveredTexelsAreNotRepaired) {
    Grid(4, 1);
    Cover(0, 0, 0, 0.1f);  // at most 0.1: repaired
    Cover(1, 0, 0, 0.8f);  // at least 0.8: bright
    Cover(3, 0, 0, 0.9f);  // next to the uncovered (2, 0)
    utility.RepairSpeckles();
    EXPECT_EQ(V(0, 0), 0.8f);
    EXPECT_EQ(V(2, 0), 0.0f);

    Grid(2, 1);
    Cover(0, 0, 0, 0.100001f);  // just above 0.1
    Cover(1, 0, 0, 0.9f);
    utility.RepairSpeckles();
    EXPECT_EQ(V(0, 0), 0.100001f);
}

TEST_F(FinishingPasses, RepairedTexelsNeverServeAsBrightNeighbours) {
    // A row of dark texels with one bright texel at its left end: only the direct neighbour is
    // lifted, whichever order the texels are visited in.
    Grid(4, 1);
    Cover(0, 0, 0, 0.9f);
    Cover(1, 0, 0, 0.0f);
    Cover(2, 0, 0, 0.0f);
    Cover(3, 0, 0, 0.0f);
    utility.RepairSpeckles();
    EXPECT_EQ(V(0, 0), 0.9f);
    EXPECT_EQ(V(1, 0), 0.9f);
    EXPECT_EQ(V(2, 0), 0.0f);
    EXPECT_EQ(V(3, 0), 0.0f);
}

TEST_F(FinishingPasses, NegativeValuesComeOutPositive) {
    // Noise outside [-1, 1] can leave a negative value; the pass leaves magnitudes.
    Grid(2, 1);
    Cover(0, 0, 0, -0.3f);
    Cover(1, 0, 1, 0.9f);
    utility.RepairSpeckles();
    EXPECT_EQ(V(0, 0), 0.3f);
}

TEST_F(FinishingPasses, UncoveredCornerTakesItsBrightestCoveredNeighbour) {
    Grid(3, 3);
    Cover(1, 0, 0, 0.3f);
    Cover(1, 1, 0, 0.6f);
    utility.DilateCoverage();
    EXPECT_EQ(V(0, 0), 0.6f);
    EXPECT_EQ(V(0, 1), 0.6f);
    EXPECT_EQ(V(2, 2), 0.6f);
    EXPECT_EQ(V(1, 0), 0.3f);  // covered texels keep their values
    EXPECT_FALSE(utility.texels.Get(0, 0).IsCovered());  // the coverage does not grow
}

TEST_F(FinishingPasses, DilationReachesOneTexelOnlyAndReadsOnlyCoveredValues) {
    Grid(5, 1);
    Cover(0, 0, 0, 0.4f);
    utility.DilateCoverage();
    EXPECT_EQ(V(1, 0), 0.4f);
    EXPECT_EQ(V(2, 0), 0.0f);  // its only neighbours were uncovered before the pass
    EXPECT_EQ(V(4, 0), 0.0f);
}

TEST_F(FinishingPasses, GridWithoutCoverageStaysBlack) {
    Grid(4, 3);
    utility.RepairSpeckles();
    utility.DilateCoverage();
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 3; ++y) EXPECT_EQ(V(x, y), 0.0f);
    EXPECT_TRUE(host.assertions.empty());
}
}  // namespace
