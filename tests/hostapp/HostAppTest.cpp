// The pieces every host program shares: the utility's panel driven through the loaded plug-in
// library, the in-memory bitmap manager's hand-over of each write, and the installation of a
// host's hooks.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/Dialog.h"
#include "host/MessageBox.h"
#include "host/Profile.h"
#include "hostapp/HostApplication.h"
#include "hostapp/HostInstallation.h"
#include "hostapp/InMemoryBitmapManager.h"
#include "hostapp/PluginLibrary.h"
#include "hostapp/UtilityPanel.h"
#include "settings/SettingTable.h"
#include "tests/common/TempDir.h"

namespace {

// A host that shows no progress and is never cancelled.
class QuietHost : public HostApplication {
public:
    using HostApplication::HostApplication;
    void ProgressStart(const char*, BOOL, LPTHREAD_START_ROUTINE, LPVOID) override {}
    void ProgressUpdate(int, BOOL, const char*) override {}
    void ProgressEnd() override {}
    BOOL GetCancel() override { return FALSE; }
};

// The panel with its control helpers in reach.
class Panel : public UtilityPanel {
public:
    using UtilityPanel::UtilityPanel;
    using UtilityPanel::Checked;
    using UtilityPanel::EditFloat;
    using UtilityPanel::EditInt;
    using UtilityPanel::IsEnabled;
    using UtilityPanel::TypeFloat;
    using UtilityPanel::TypeInt;
};

UtilityObj* LoadedUtility() {
    PluginLibrary library;
    std::string error;
    EXPECT_TRUE(LoadPluginLibrary(MURKWELL_PLUGIN_MODULE, library, error)) << error;
    return library.utility;
}

class UtilityPanelTest : public ::testing::Test {
protected:
    int SavedInt(const char* key) const {
        return static_cast<int>(GetPrivateProfileIntA("Murkwell", key, -1, dir.File("Murkwell.ini").c_str()));
    }

    ScopedTempDir dir;
    QuietHost host{dir.Path().string()};
    std::vector<std::string> boxes;
    HostInstallation installed{&host, nullptr, [this](const std::string& text, const std::string&, UINT) {
                                   boxes.push_back(text);
                                   return IDOK;
                               }};
    UtilityObj* utility = LoadedUtility();
};

TEST_F(UtilityPanelTest, TypesIntoThePageAndClosingSavesWhatItShows) {
    ASSERT_NE(utility, nullptr);
    {
        Panel panel(utility, host);
        EXPECT_FALSE(panel.PressGenerate());  // nothing to press before the page is up
        EXPECT_TRUE(panel.PressAbout().empty());
        std::string error;
        ASSERT_TRUE(panel.Open(error)) << error;
        ASSERT_TRUE(panel.IsOpen());
        ASSERT_EQ(host.Rollups().Pages().size(), 1u);
        EXPECT_EQ(host.Rollups().Pages()[0].window, panel.Page());
        EXPECT_TRUE(panel.Open(error));  // already open: the same page, not a second one
        EXPECT_EQ(host.Rollups().Pages().size(), 1u);

        EXPECT_EQ(panel.ShownAlgorithm(), IDC_UV_MAP);  // a fresh settings file
        EXPECT_TRUE(panel.Checked(IDC_UV_MAP));
        EXPECT_TRUE(panel.IsEnabled(IDC_XSIZ_EDIT));
        ASSERT_TRUE(panel.TypeInt(IDC_XSIZ_EDIT, 512));
        EXPECT_EQ(panel.EditInt(IDC_XSIZ_EDIT), 512);
        ASSERT_TRUE(panel.TypeFloat(IDC_DIST_EDIT, 12.375f));
        EXPECT_EQ(panel.EditFloat(IDC_DIST_EDIT), 12.375f);
        ASSERT_TRUE(panel.TypeInt(IDC_YSIZ_EDIT, 1 << 20));  // the spinner clamps it to its range
        EXPECT_EQ(panel.EditInt(IDC_YSIZ_EDIT), setting::YSiz.max);
        EXPECT_EQ(panel.EditInt(IDC_GENERATE), std::nullopt);  // a push button holds no number

        panel.Close();
        EXPECT_FALSE(panel.IsOpen());
        EXPECT_TRUE(host.Rollups().Pages().empty());
        EXPECT_EQ(SavedInt(setting::XSiz.key), 512);
        EXPECT_EQ(SavedInt(setting::YSiz.key), setting::YSiz.max);

        // Opening again loads what was saved.
        ASSERT_TRUE(panel.Open(error)) << error;
        EXPECT_EQ(panel.EditInt(IDC_XSIZ_EDIT), 512);
        panel.TypeInt(IDC_XSIZ_EDIT, 256);
    }
    // Going out of scope open, the panel closed the utility: the page went and saved its controls.
    EXPECT_TRUE(host.Rollups().Pages().empty());
    EXPECT_EQ(SavedInt(setting::XSiz.key), 256);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(UtilityPanelTest, AboutReadsTheBoxClosesItAndGivesTheDialogDriverBack) {
    ASSERT_NE(utility, nullptr);
    int ownTurns = 0;
    ModalDialogDriver original = SetModalDialogDriver([&](HWND) {
        ownTurns++;
        return false;
    });
    Panel panel(utility, host);
    std::string error;
    ASSERT_TRUE(panel.Open(error)) << error;
    const std::vector<std::string> texts = panel.PressAbout();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0], "About Murkwell");
    EXPECT_EQ(ownTurns, 0);  // the box was answered by the panel, not by the driver set before
    // The driver set before is back in place.
    ModalDialogDriver previous = SetModalDialogDriver(std::move(original));
    ASSERT_TRUE(previous);
    previous(nullptr);
    EXPECT_EQ(ownTurns, 1);
    EXPECT_TRUE(boxes.empty());
}

// Records what each bitmap hands over when it is written.
class RecordingBitmaps : public InMemoryBitmapManager {
public:
    struct Write {
        std::string target;
        bool opened;
        BitmapPixels image;
    };
    int WriteOutput(const std::string& target, bool opened, const BitmapPixels& image) override {
        writes.push_back({target, opened, image});
        return opened ? 1 : 0;
    }
    std::vector<Write> writes;
};

TEST(InMemoryBitmapManager, HandsEachWriteItsPixelsTheLastTargetAndWhetherItIsOpen) {
    RecordingBitmaps bitmaps;
    BitmapInfo bi;
    bi.SetWidth(0);
    bi.SetHeight(2);
    EXPECT_EQ(bitmaps.Create(&bi), nullptr);  // no pixels, no bitmap
    EXPECT_EQ(bitmaps.Create(nullptr), nullptr);
    EXPECT_EQ(bitmaps.LiveBitmaps(), 0);

    bi.SetWidth(3);
    Bitmap* bm = bitmaps.Create(&bi);
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(bitmaps.LiveBitmaps(), 1);
    EXPECT_EQ(bm->Width(), 3);
    EXPECT_EQ(bm->Height(), 2);
    const BMM_Color_64 px[4] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}};
    EXPECT_EQ(bm->PutPixels(1, 1, 4, px), 2);  // clipped at the right edge
    EXPECT_EQ(bm->PutPixels(0, 2, 1, px), 0);  // below the bottom row
    EXPECT_EQ(bm->PutPixels(-1, 0, 1, px), 0);
    EXPECT_EQ(bm->PutPixels(0, 0, 1, nullptr), 0);

    EXPECT_EQ(bm->Write(&bi, 0), 0);  // never opened

    EXPECT_FALSE(bitmaps.SelectFileOutput(&bi, nullptr, nullptr, 0));  // no output chosen
    bitmaps.outputFile = "grit.png";
    ASSERT_TRUE(bitmaps.SelectFileOutput(&bi, nullptr, nullptr, 0));
    EXPECT_STREQ(bi.Name(), "grit.png");
    EXPECT_EQ(bitmaps.FileSelections(), 2);
    EXPECT_EQ(bm->OpenOutput(&bi), 1);
    EXPECT_EQ(bm->Write(&bi, 0), 1);
    bm->Close(&bi, 0);
    EXPECT_EQ(bm->Write(&bi, 0), 0);  // closed again: still its target, no longer open
    bi.SetName("");
    EXPECT_EQ(bm->OpenOutput(&bi), 0);
    bm->DeleteThis();
    EXPECT_EQ(bitmaps.LiveBitmaps(), 0);

    ASSERT_EQ(bitmaps.writes.size(), 3u);
    EXPECT_EQ(bitmaps.writes[0].target, "");
    EXPECT_FALSE(bitmaps.writes[0].opened);
    EXPECT_EQ(bitmaps.writes[1].target, "grit.png");
    EXPECT_TRUE(bitmaps.writes[1].opened);
    EXPECT_EQ(bitmaps.writes[2].target, "grit.png");
    EXPECT_FALSE(bitmaps.writes[2].opened);
    const BitmapPixels& image = bitmaps.writes[1].image;
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    ASSERT_EQ(image.pixels.size(), 6u);
    EXPECT_EQ(image.pixels[0].r, 0);  // row 0 untouched
    EXPECT_EQ(image.pixels[4].r, 1);  // row 1, column 1
    EXPECT_EQ(image.pixels[5].a, 8);  // row 1, column 2
}

TEST(HostInstallation, InstallsTheHooksAndRestoresTheOuterOnes) {
    ScopedTempDir dir;
    QuietHost outer(dir.Path().string()), inner("");
    RecordingBitmaps outerBitmaps, innerBitmaps;
    std::vector<std::string> said;
    HostInstallation first(&outer, &outerBitmaps, [&](const std::string& text, const std::string&, UINT) {
        said.push_back("outer: " + text);
        return IDOK;
    });
    {
        HostInstallation second(&inner, &innerBitmaps, [&](const std::string& text, const std::string&, UINT) {
            said.push_back("inner: " + text);
            return IDOK;
        });
        EXPECT_EQ(GetCOREInterface(), &inner);
        EXPECT_EQ(TheManager(), &innerBitmaps);
        MessageBoxA(nullptr, "a", "", MB_OK);
    }
    EXPECT_EQ(GetCOREInterface(), &outer);
    EXPECT_EQ(TheManager(), &outerBitmaps);
    EXPECT_STREQ(GetCOREInterface()->GetDir(APP_PLUGCFG_DIR), dir.Path().string().c_str());
    EXPECT_STREQ(GetCOREInterface()->GetDir(APP_PLUGCFG_DIR + 1), "");
    MessageBoxA(nullptr, "b", "", MB_OK);
    EXPECT_EQ(said, (std::vector<std::string>{"inner: a", "outer: b"}));
}

}  // namespace
