// The grit bitmap: grey levels, orientation, alpha, and what happens when the user declines the
// file or the host cannot make the bitmap.
#include <gtest/gtest.h>

#include <limits>

#include "plugin/GritUtility.h"
#include "tests/common/TestHost.h"
#include "uvgrit/GritBitmap.h"

namespace {
TEST(GreyLevel, FullScaleTruncatedAndClamped) {
    EXPECT_EQ(GreyLevel(0.0f), 0);
    EXPECT_EQ(GreyLevel(0.5f), 32767);
    EXPECT_EQ(GreyLevel(0.99f), 64879);  // 0.99f * 65535 = 64879.65...
    EXPECT_EQ(GreyLevel(1.0f), 65535);
    EXPECT_EQ(GreyLevel(1.35f), 65535);
    EXPECT_EQ(GreyLevel(-0.2f), 0);
    EXPECT_EQ(GreyLevel(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(GreyLevel(std::numeric_limits<float>::infinity()), 65535);
}

class GritBitmap : public testing::Test {
protected:
    void Values(int w, int h) {
        utility.settings.XSiz = w;
        utility.settings.YSiz = h;
        utility.gritValues.Resize(unsigned(w), unsigned(h), 0.0f);
        utility.gritValues.SetAll(0.0f);
    }
    TestHost host;
    GritUtility utility;
};

TEST_F(GritBitmap, EveryValueBecomesAnOpaqueGreyPixelAtItsColumnAndRow) {
    Values(3, 2);
    utility.gritValues.Set(0, 0, 0.5f);
    utility.gritValues.Set(2, 0, 1.0f);
    utility.gritValues.Set(1, 1, 0.99f);
    host.outputFile = "grit.png";
    utility.WriteGritBitmap();

    ASSERT_EQ(host.written.size(), 1u);
    const WrittenBitmap& bmp = host.written[0];
    EXPECT_EQ(bmp.file, "grit.png");
    ASSERT_EQ(bmp.width, 3);
    ASSERT_EQ(bmp.height, 2);
    auto grey = [](std::uint16_t g) { return BMM_Color_64{g, g, g, 65535}; };
    EXPECT_EQ(bmp.At(0, 0), grey(32767));
    EXPECT_EQ(bmp.At(1, 0), grey(0));
    EXPECT_EQ(bmp.At(2, 0), grey(65535));
    EXPECT_EQ(bmp.At(0, 1), grey(0));
    EXPECT_EQ(bmp.At(1, 1), grey(64879));
    EXPECT_EQ(bmp.At(2, 1), grey(0));
    EXPECT_EQ(host.bitmapsCreated, 1);
    EXPECT_EQ(host.bitmapsDeleted, 1);
    EXPECT_EQ(host.fileSelections, 1);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(GritBitmap, AllZeroGridGivesAnOpaqueBlackBitmap) {
    Values(4, 4);
    utility.WriteGritBitmap();
    ASSERT_EQ(host.written.size(), 1u);
    for (const BMM_Color_64& px : host.written[0].pixels) EXPECT_EQ(px, (BMM_Color_64{0, 0, 0, 65535}));
}

TEST_F(GritBitmap, DeclinedFileWritesNothingAndReleasesTheBitmap) {
    Values(2, 2);
    host.outputFile.clear();
    utility.WriteGritBitmap();
    EXPECT_TRUE(host.written.empty());
    EXPECT_EQ(host.fileSelections, 1);
    EXPECT_EQ(host.bitmapsCreated, 1);
    EXPECT_EQ(host.bitmapsDeleted, 1);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(GritBitmap, BitmapTheHostCannotMakeIsReportedAndNothingIsWritten) {
    Values(2, 2);
    host.bitmapCreateFails = true;
    utility.WriteGritBitmap();
    EXPECT_TRUE(host.written.empty());
    EXPECT_EQ(host.fileSelections, 0);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Could not create the grit bitmap");
    EXPECT_EQ(host.boxes[0].caption, "Murkwell");
    EXPECT_EQ(host.boxes[0].type, MB_OK | MB_ICONINFORMATION);
}
}  // namespace
