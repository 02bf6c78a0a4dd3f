// The utility's rollup page: what it shows when opened, how the algorithm enables the controls,
// how the settings travel between controls and file, and what "Generate" starts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "host/CustomControls.h"
#include "host/Dialog.h"
#include "host/DialogInput.h"
#include "host/MessageBox.h"
#include "plugin/ResourceIds.h"
#include "tests/plugin/PanelFixture.h"

namespace {

// The thirteen controls that depend on the algorithm, and those that never do.
const std::vector<int> kAlgorithmControls = {1490, 1496, 1491, 1497, 1495, 1501, 1006,
                                             1502, 1503, 1007, 1504, 1505, 1011};
const std::vector<int> kAlwaysEnabled = {1008, 1009, 1010, 1492, 1498, 1493, 1499, 1494, 1500, 1002, 1001, 1005};

std::vector<int> Enabled(HWND page, const std::vector<int>& ids) {
    std::vector<int> enabled;
    for (int id : ids)
        if (IsWindowEnabled(GetDlgItem(page, id))) enabled.push_back(id);
    return enabled;
}

UINT Checked(HWND page, int id) { return IsDlgButtonChecked(page, id); }

TEST_F(PanelTest, FirstOpeningWithoutSettingsFile) {
    const int interfacesBefore = LiveCustomControlInterfaces();
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(utility->coreInterface, &host);
    EXPECT_EQ(utility->utilityInterface, &utilityPanel);

    // The page the host added.
    ASSERT_EQ(host.rollups.Pages().size(), 1u);
    const auto& added = host.rollups.Pages()[0];
    EXPECT_EQ(added.window, page);
    EXPECT_EQ(added.templateId, 101);
    EXPECT_EQ(added.title, "Parameters");
    EXPECT_EQ(added.param, 0);
    EXPECT_EQ(added.flags, 0u);
    EXPECT_EQ(added.category, 4000);

    // The record holds the defaults, in field order.
    const GritSettings& s = utility->settings;
    EXPECT_EQ(s.XSiz, 200);
    EXPECT_EQ(s.YSiz, 200);
    EXPECT_EQ(s.algorithm, 1008);
    EXPECT_EQ(s.horizontalSpread, 8);
    EXPECT_EQ(s.verticalSpread, 1);
    EXPECT_EQ(s.mapChannel, 1);
    EXPECT_EQ(s.dist, 30.0f);
    EXPECT_EQ(s.selectedOnly, 0);
    EXPECT_EQ(s.noiseOn, 0);
    EXPECT_EQ(s.noiseSize, 25.0f);
    EXPECT_EQ(s.mtlIDOn, 0);
    EXPECT_EQ(s.mtlID, 1);
    EXPECT_EQ(s.addVertexColors, 0);

    // The controls show them: "UV Map", 200 x 200, distance 30.0, spreads 8 and 1, channel 1,
    // noise off with size 25.0, material filter off with ID 1, both other boxes off.
    EXPECT_EQ(Checked(page, 1008), BST_CHECKED);
    EXPECT_EQ(Checked(page, 1009), BST_UNCHECKED);
    EXPECT_EQ(Checked(page, 1010), BST_UNCHECKED);
    EXPECT_EQ(EditText(1490), "200");
    EXPECT_EQ(EditText(1491), "200");
    EXPECT_EQ(EditText(1492), "30.0");
    EXPECT_EQ(EditText(1494), "8");
    EXPECT_EQ(EditText(1493), "1");
    EXPECT_EQ(EditText(1495), "1");
    EXPECT_EQ(EditText(1502), "25.0");
    EXPECT_EQ(EditText(1504), "1");
    for (int box : {1002, 1006, 1007, 1011}) EXPECT_EQ(Checked(page, box), BST_UNCHECKED) << box;

    // UV Map's controls enabled, "Accumulate vertex colors" not.
    const std::vector<int> uvMap = {1490, 1496, 1491, 1497, 1495, 1501, 1006, 1502, 1503, 1007, 1504, 1505};
    EXPECT_EQ(Enabled(page, kAlgorithmControls), uvMap);
    EXPECT_EQ(Enabled(page, kAlwaysEnabled), kAlwaysEnabled);

    // The sixteen control handles are held while the page is open.
    const GritUtility& u = *utility;
    const std::vector<const void*> handles = {
        u.mapWidthEdit,         u.mapWidthSpin,         u.mapHeightEdit, u.mapHeightSpin,  u.horizontalSpreadEdit,
        u.horizontalSpreadSpin, u.verticalSpreadEdit,   u.verticalSpreadSpin, u.distEdit,  u.distSpin,
        u.mapChannelEdit,       u.mapChannelSpin,       u.noiseSizeEdit, u.noiseSizeSpin,  u.mtlIDEdit,
        u.mtlIDSpin};
    for (const void* handle : handles) EXPECT_NE(handle, nullptr);
    EXPECT_EQ(LiveCustomControlInterfaces(), interfacesBefore + 16);
    EXPECT_FALSE(IniExists());  // opening reads the file, never writes it

    // Closing gives every handle back, takes the page away and forgets the host.
    Close();
    EXPECT_EQ(LiveCustomControlInterfaces(), interfacesBefore);
    EXPECT_EQ(utility->mapWidthEdit, nullptr);
    EXPECT_EQ(utility->mtlIDSpin, nullptr);
    EXPECT_EQ(utility->panelWindow, nullptr);
    EXPECT_EQ(utility->coreInterface, nullptr);
    EXPECT_EQ(utility->utilityInterface, nullptr);
    EXPECT_TRUE(host.rollups.Pages().empty());
    EXPECT_EQ(utilityPanel.closeCalls, 0);
}

TEST_F(PanelTest, AlgorithmDecidesWhichControlsAreEnabled) {
    Open();
    ASSERT_TRUE(ClickDlgButton(page, 1009));
    EXPECT_EQ(utility->settings.algorithm, 1009);  // at once, in the record
    EXPECT_EQ(Enabled(page, kAlgorithmControls), std::vector<int>{1011});
    EXPECT_EQ(Enabled(page, kAlwaysEnabled), kAlwaysEnabled);
    EXPECT_EQ(Checked(page, 1008), BST_UNCHECKED);

    ClickDlgButton(page, 1010);
    EXPECT_EQ(utility->settings.algorithm, 1010);
    EXPECT_TRUE(Enabled(page, kAlgorithmControls).empty());
    EXPECT_EQ(Enabled(page, kAlwaysEnabled), kAlwaysEnabled);

    ClickDlgButton(page, 1008);
    EXPECT_EQ(utility->settings.algorithm, 1008);
    EXPECT_EQ(Enabled(page, kAlgorithmControls).size(), 12u);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, 1011)));
    EXPECT_FALSE(IniExists());  // choosing an algorithm saves nothing

    // Any other value enables none of the thirteen.
    utility->UpdateControlStates(page, 4242);
    EXPECT_TRUE(Enabled(page, kAlgorithmControls).empty());
}

TEST_F(PanelTest, CheckBoxesReachTheRecordOnlyThroughReadingTheControls) {
    Open();
    ClickDlgButton(page, 1002);
    ClickDlgButton(page, 1006);  // noise "On"
    EXPECT_EQ(utility->settings.selectedOnly, 0);
    EXPECT_EQ(utility->settings.noiseOn, 0);
    utility->ReadControls(page);
    EXPECT_EQ(utility->settings.selectedOnly, 1);
    EXPECT_EQ(utility->settings.noiseOn, 1);
}

TEST_F(PanelTest, EverySettingSurvivesClosingAndReopening) {
    Open();
    ASSERT_TRUE(TypeDlgItemText(page, 1490, "640"));
    ASSERT_TRUE(TypeDlgItemText(page, 1491, "480"));
    ASSERT_TRUE(TypeDlgItemText(page, 1492, "12.5"));
    ASSERT_TRUE(TypeDlgItemText(page, 1493, "3"));
    ASSERT_TRUE(TypeDlgItemText(page, 1494, "12"));
    ASSERT_TRUE(TypeDlgItemText(page, 1495, "2"));
    ASSERT_TRUE(TypeDlgItemText(page, 1502, "0.75"));
    ASSERT_TRUE(TypeDlgItemText(page, 1504, "7"));
    for (int box : {1002, 1006, 1007}) ASSERT_TRUE(ClickDlgButton(page, box));
    ASSERT_TRUE(ClickDlgButton(page, 1009));
    ASSERT_TRUE(ClickDlgButton(page, 1011));
    Close();

    EXPECT_EQ(Ini("algorithm"), "1009");
    EXPECT_EQ(Ini("XSiz"), "640");
    EXPECT_EQ(Ini("YSiz"), "480");
    EXPECT_EQ(Ini("dist"), "12.500000");
    EXPECT_EQ(Ini("verticalSpread"), "3");
    EXPECT_EQ(Ini("horizontalSpread"), "12");
    EXPECT_EQ(Ini("mapChannel"), "2");
    EXPECT_EQ(Ini("noiseSize"), "0.750000");
    EXPECT_EQ(Ini("mtlID"), "7");
    for (const char* key : {"selectedOnly", "noiseOn", "mtlIDOn", "addVertexColors"}) EXPECT_EQ(Ini(key), "1") << key;

    // Forget the record, as a new session of the host would start.
    utility->settings = GritSettings{};
    Open();
    EXPECT_EQ(Checked(page, 1009), BST_CHECKED);
    EXPECT_EQ(Checked(page, 1008), BST_UNCHECKED);
    EXPECT_EQ(EditText(1490), "640");
    EXPECT_EQ(EditText(1491), "480");
    EXPECT_EQ(EditText(1492), "12.5");
    EXPECT_EQ(EditText(1493), "3");
    EXPECT_EQ(EditText(1494), "12");
    EXPECT_EQ(EditText(1495), "2");
    EXPECT_EQ(EditText(1502), "0.75");
    EXPECT_EQ(EditText(1504), "7");
    for (int box : {1002, 1006, 1007, 1011}) EXPECT_EQ(Checked(page, box), BST_CHECKED) << box;
    EXPECT_EQ(Enabled(page, kAlgorithmControls), std::vector<int>{1011});
    const GritSettings& s = utility->settings;
    EXPECT_EQ(s.dist, 12.5f);
    EXPECT_EQ(s.noiseSize, 0.75f);
    EXPECT_EQ(s.XSiz, 640);
}

TEST_F(PanelTest, DisabledControlsAreStillReadAndSaved) {
    Open();
    TypeDlgItemText(page, 1490, "512");
    TypeDlgItemText(page, 1504, "9");
    ClickDlgButton(page, 1006);
    ClickDlgButton(page, 1009);  // map size, noise and material ID now disabled
    ASSERT_FALSE(IsWindowEnabled(GetDlgItem(page, 1490)));
    Close();
    EXPECT_EQ(Ini("XSiz"), "512");
    EXPECT_EQ(Ini("mtlID"), "9");
    EXPECT_EQ(Ini("noiseOn"), "1");

    // In Spatial mode all thirteen are disabled, and still kept.
    Open();
    ClickDlgButton(page, 1010);
    Close();
    EXPECT_EQ(Ini("algorithm"), "1010");
    EXPECT_EQ(Ini("XSiz"), "512");
    EXPECT_EQ(Ini("noiseOn"), "1");
}

TEST_F(PanelTest, ClosingWithoutGenerateWritesEveryKeyInSaveOrder) {
    Open();
    EXPECT_FALSE(IniExists());
    Close();
    EXPECT_EQ(IniFile(),
              "[Murkwell]\n"
              "algorithm=1008\n"
              "XSiz=200\n"
              "YSiz=200\n"
              "horizontalSpread=8\n"
              "verticalSpread=1\n"
              "mapChannel=1\n"
              "dist=30.000000\n"
              "selectedOnly=0\n"
              "noiseOn=0\n"
              "noiseSize=25.000000\n"
              "mtlID=1\n"
              "mtlIDOn=0\n"
              "addVertexColors=0\n");
}

TEST_F(PanelTest, HandEditedAlgorithmIsShownAsUvMap) {
    WriteIni("[Murkwell]\nalgorithm=1011\n");
    Open();
    EXPECT_EQ(utility->settings.algorithm, 1008);
    EXPECT_EQ(Checked(page, 1008), BST_CHECKED);
    EXPECT_EQ(Checked(page, 1009), BST_UNCHECKED);
    EXPECT_EQ(Checked(page, 1010), BST_UNCHECKED);
    EXPECT_EQ(Enabled(page, kAlgorithmControls).size(), 12u);
    Close();
    EXPECT_EQ(Ini("algorithm"), "1008");
}

TEST_F(PanelTest, HandEditedOutOfRangeValuesAreClampedWhenShown) {
    WriteIni("[Murkwell]\nXSiz=10000\nYSiz=10\nhorizontalSpread=99\nverticalSpread=-2\nmapChannel=500\n"
             "dist=0.5\nnoiseSize=-3\nmtlID=0\n");
    Open();
    EXPECT_EQ(EditText(1490), "4096");
    EXPECT_EQ(EditText(1491), "50");
    EXPECT_EQ(EditText(1494), "24");
    EXPECT_EQ(EditText(1493), "0");
    EXPECT_EQ(EditText(1495), "99");
    EXPECT_EQ(EditText(1492), "1.0");
    EXPECT_EQ(EditText(1502), "0.0");
    EXPECT_EQ(EditText(1504), "1");
    // What the page shows is what it saves.
    Close();
    EXPECT_EQ(Ini("XSiz"), "4096");
    EXPECT_EQ(Ini("YSiz"), "50");
    EXPECT_EQ(Ini("horizontalSpread"), "24");
    EXPECT_EQ(Ini("verticalSpread"), "0");
    EXPECT_EQ(Ini("mapChannel"), "99");
    EXPECT_EQ(Ini("dist"), "1.000000");
    EXPECT_EQ(Ini("noiseSize"), "0.000000");
    EXPECT_EQ(Ini("mtlID"), "1");
}

TEST_F(PanelTest, GenerateWithSpatialSavesThenSaysItIsNotImplemented) {
    Open();
    TypeDlgItemText(page, 1490, "300");
    ClickDlgButton(page, 1010);
    // Look at the file at the moment the message appears.
    std::string fileWhenShown;
    const MessageBoxHandler recording = SetMessageBoxHandler(nullptr);
    SetMessageBoxHandler([&](const std::string& text, const std::string& caption, UINT type) {
        fileWhenShown = IniFile();
        return recording(text, caption, type);
    });
    ASSERT_TRUE(ClickDlgButton(page, 1001));
    SetMessageBoxHandler(recording);

    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "This Grit type is not implemented yet");
    EXPECT_EQ(host.boxes[0].caption, "Murkwell");
    EXPECT_EQ(host.boxes[0].type, MB_OK | MB_ICONINFORMATION);
    EXPECT_NE(fileWhenShown.find("algorithm=1010\n"), std::string::npos);
    EXPECT_NE(fileWhenShown.find("XSiz=300\n"), std::string::npos);
    EXPECT_EQ(utility->settings.XSiz, 300);
    EXPECT_TRUE(host.progressTitles.empty());
    EXPECT_EQ(utility->panelWindow, page);  // the page stays open
}

TEST_F(PanelTest, GenerateWithUvMapRunsTheUvMapRun) {
    Open();
    TypeDlgItemText(page, 1490, "64");
    TypeDlgItemText(page, 1491, "80");
    ASSERT_TRUE(ClickDlgButton(page, 1001));
    // With nothing selected the run answers at once; it has already sized its grids to the map
    // the panel set.
    EXPECT_EQ(host.BoxTexts(), std::vector<std::string>{"Select exactly one node"});
    EXPECT_EQ(utility->texels.ColumnCount(), 64u);
    EXPECT_EQ(utility->texels.RowCount(), 80u);
    EXPECT_EQ(Ini("XSiz"), "64");
    EXPECT_EQ(Ini("algorithm"), "1008");
}

TEST_F(PanelTest, GenerateWithVertexColorsRunsTheVertexColorsRun) {
    Open();
    ClickDlgButton(page, 1009);
    ClickDlgButton(page, 1001);
    EXPECT_EQ(host.BoxTexts(), std::vector<std::string>{"Select exactly one node"});
    EXPECT_EQ(Ini("algorithm"), "1009");

    // An object that only converts to a mesh: the Vertex Colors run refuses it (the UV Map run
    // would take it).
    TestConvertibleObject object;
    TestNode node("box", &object);
    host.selection = {&node};
    host.boxes.clear();
    ClickDlgButton(page, 1001);
    EXPECT_EQ(host.BoxTexts(), std::vector<std::string>{"Object must be unmodified Editable Mesh"});
    EXPECT_EQ(object.copiesMade, 1);
    EXPECT_EQ(object.copiesDeleted, 1);
}

TEST_F(PanelTest, AboutBoxClosesWithOkButNotWithEscape) {
    Open();
    RECT aboutRect{}, mainRect{};
    HWND owner = nullptr, about = nullptr;
    bool openAfterEscape = false;
    host.modalSteps.push_back([&](HWND dialog) {
        about = dialog;
        GetWindowRect(dialog, &aboutRect);
        owner = FindWindowRecord(dialog)->owner;
        EXPECT_EQ(GetActiveWindow(), dialog);
        PressEscape(dialog);
    });
    host.modalSteps.push_back([&](HWND dialog) {
        openAfterEscape = IsWindow(dialog) != FALSE;
        ClickDlgButton(dialog, IDOK);
    });
    host.modalSteps.push_back([](HWND) { ADD_FAILURE() << "the About box outlived OK"; });
    ASSERT_TRUE(ClickDlgButton(page, 1005));

    EXPECT_EQ(host.modalDialogsShown, std::vector<int>{102});
    EXPECT_TRUE(openAfterEscape);
    EXPECT_EQ(host.modalSteps.size(), 1u);
    EXPECT_FALSE(IsWindow(about));
    EXPECT_EQ(owner, host.mainWindow);  // the active window when "About..." was pressed
    EXPECT_EQ(GetActiveWindow(), host.mainWindow);
    // Centred over the host's main window.
    GetWindowRect(host.mainWindow, &mainRect);
    EXPECT_LE(std::abs((aboutRect.left + aboutRect.right) - (mainRect.left + mainRect.right)), 1);
    EXPECT_LE(std::abs((aboutRect.top + aboutRect.bottom) - (mainRect.top + mainRect.bottom)), 1);
    EXPECT_GT(aboutRect.right - aboutRect.left, 0);
    EXPECT_FALSE(IniExists());  // the About box saves nothing
}

TEST_F(PanelTest, AboutBoxClosesWithTheCloseBox) {
    Open();
    char caption[64] = "";
    host.modalSteps.push_back([&](HWND dialog) {
        GetWindowTextA(dialog, caption, sizeof caption);
        EXPECT_TRUE(ClickCloseBox(dialog));
    });
    host.modalSteps.push_back([](HWND) { ADD_FAILURE() << "the About box outlived its close box"; });
    ClickDlgButton(page, 1005);
    EXPECT_STREQ(caption, "About Murkwell");
    EXPECT_EQ(host.modalSteps.size(), 1u);
}

TEST_F(PanelTest, AboutProcedureAnswers) {
    // Only WM_INITDIALOG and WM_CLOSE count as handled; the OK command ends the box but is not.
    EXPECT_EQ(GritUtility::AboutDialogProc(nullptr, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0), FALSE);
    EXPECT_EQ(GritUtility::AboutDialogProc(nullptr, WM_CLOSE, 0, 0), TRUE);
    EXPECT_EQ(GritUtility::AboutDialogProc(nullptr, WM_MOUSEMOVE, 0, 0), FALSE);
}

TEST_F(PanelTest, MouseMessagesGoToTheHostUnchanged) {
    Open();
    EXPECT_EQ(SendMessage(page, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 4)), TRUE);
    EXPECT_EQ(SendMessage(page, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 6)), TRUE);
    EXPECT_EQ(SendMessage(page, WM_LBUTTONUP, 0, MAKELPARAM(7, 8)), TRUE);
    EXPECT_EQ(SendMessage(page, WM_USER + 1, 1, 2), FALSE);  // not the panel's business
    ASSERT_EQ(host.rollupMouse.size(), 3u);
    EXPECT_EQ(host.rollupMouse[0].page, page);
    EXPECT_EQ(host.rollupMouse[0].message, WM_LBUTTONDOWN);
    EXPECT_EQ(host.rollupMouse[0].wParam, MK_LBUTTON);
    EXPECT_EQ(host.rollupMouse[0].lParam, MAKELPARAM(3, 4));
    EXPECT_EQ(host.rollupMouse[1].message, WM_MOUSEMOVE);
    EXPECT_EQ(host.rollupMouse[2].message, WM_LBUTTONUP);
    EXPECT_EQ(host.rollupMouse[2].lParam, MAKELPARAM(7, 8));

    // With the panel closed there is no host to tell; the message is still taken.
    Close();
    EXPECT_EQ(GritUtility::PanelDialogProc(nullptr, WM_MOUSEMOVE, 0, 0), TRUE);
    EXPECT_EQ(host.rollupMouse.size(), 3u);
}

TEST_F(PanelTest, PageTakenDownByTheHostStillSavesAndIsForgotten) {
    Open();
    TypeDlgItemText(page, 1490, "256");
    host.rollups.DeleteAll();  // without ClosePanel
    EXPECT_EQ(Ini("XSiz"), "256");
    EXPECT_EQ(utility->panelWindow, nullptr);
    EXPECT_EQ(utility->coreInterface, nullptr);
    EXPECT_EQ(utility->utilityInterface, nullptr);
    EXPECT_EQ(utility->mapWidthEdit, nullptr);
}

TEST_F(PanelTest, OpeningAgainReloadsTheFile) {
    Open();
    Close();
    // Another program (or the user) changes the file between two openings.
    WriteIni("[Murkwell]\nXSiz=1024\nalgorithm=1010\n");
    Open();
    EXPECT_EQ(EditText(1490), "1024");
    EXPECT_EQ(Checked(page, 1010), BST_CHECKED);
}

}  // namespace
