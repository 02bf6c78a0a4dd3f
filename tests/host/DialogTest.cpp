// The dialog manager: dialogs built from templates, the messages their procedures receive,
// button state, modal dialogs and the presses a headless user makes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "host/CustomControls.h"
#include "host/Dialog.h"
#include "host/DialogInput.h"
#include "host/ModuleResources.h"
#include "host/Rollup.h"
#include "tests/host/DialogTestModule.h"

namespace {

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitCustomControls(TestDialogModule());
        Recorder() = DialogRecorder{};
        frame = CreateFrameWindow("frame", RECT{100, 50, 900, 650});
        windowsBefore = LiveWindowCount();
    }
    void TearDown() override {
        DestroyWindow(frame);
        Recorder() = DialogRecorder{};
        SetModalDialogDriver(nullptr);
        SetActiveWindow(nullptr);
    }
    HWND Page(LPARAM param = 0) { return CreateDialogParamA(TestDialogModule(), kPageDialog, frame, RecordingDialogProc, param); }
    std::string Text(HWND hwnd) {
        char buffer[128];
        GetWindowTextA(hwnd, buffer, sizeof buffer);
        return buffer;
    }
    HWND frame = nullptr;
    int windowsBefore = 0;
};

TEST_F(DialogTest, BuildsTheControlsOfTheTemplateAndInitialisesTheDialog) {
    const HWND page = Page(1234);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(LiveWindowCount(), windowsBefore + 1 + 12);
    EXPECT_EQ(GetParent(page), frame);

    // The first message is WM_INITDIALOG with the creation parameter and the first tab stop.
    ASSERT_FALSE(Recorder().messages.empty());
    const ReceivedMessage& init = Recorder().messages.front();
    EXPECT_EQ(init.message, WM_INITDIALOG);
    EXPECT_EQ(init.window, page);
    EXPECT_EQ(init.lParam, 1234);
    EXPECT_EQ(reinterpret_cast<HWND>(init.wParam), GetDlgItem(page, kCheck));

    // Controls by id, with their text, an initial enabled and unchecked state, and positions in
    // pixels relative to the dialog, which sits at the frame's corner.
    const HWND b = GetDlgItem(page, kRadioB);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(GetDlgCtrlID(b), kRadioB);
    EXPECT_EQ(Text(b), "B");
    EXPECT_TRUE(IsWindowEnabled(b));
    EXPECT_EQ(IsDlgButtonChecked(page, kRadioB), BST_UNCHECKED);
    RECT r{};
    ASSERT_TRUE(GetWindowRect(b, &r));
    EXPECT_EQ(r.left, 100 + 12);       // 8 dialog units across: 12 pixels
    EXPECT_EQ(r.top, 50 + 36);         // 22 dialog units down: 35.75 pixels, rounded
    EXPECT_EQ(r.right - r.left, 60);   // 40 units wide
    EXPECT_EQ(r.bottom - r.top, 16);   // 10 units high: 16.25 pixels
    EXPECT_EQ(GetDlgItem(page, 999), nullptr);
    EXPECT_EQ(GetParent(b), page);

    DestroyWindow(page);
    EXPECT_EQ(LiveWindowCount(), windowsBefore);
}

TEST_F(DialogTest, MissingTemplateOrProcedureCreatesNothing) {
    EXPECT_EQ(CreateDialogParamA(TestDialogModule(), 999, frame, RecordingDialogProc, 0), nullptr);
    EXPECT_EQ(CreateDialogParamA(nullptr, kPageDialog, frame, RecordingDialogProc, 0), nullptr);
    EXPECT_EQ(CreateDialogParamA(TestDialogModule(), kPageDialog, frame, nullptr, 0), nullptr);
    EXPECT_EQ(DialogBoxParamA(TestDialogModule(), 999, frame, RecordingDialogProc, 0), -1);
    EXPECT_EQ(LiveWindowCount(), windowsBefore);
    EXPECT_TRUE(Recorder().messages.empty());
}

TEST_F(DialogTest, DestroyingSendsWmDestroyWhileTheControlsStillExist) {
    const HWND page = Page();
    const HWND edit = GetDlgItem(page, kIntEdit);
    bool editAliveDuringDestroy = false;
    Recorder().handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_DESTROY) {
            editAliveDuringDestroy = IsWindow(GetDlgItem(hwnd, kIntEdit)) != FALSE;
            DestroyWindow(hwnd);  // a procedure destroying itself again must not recurse
        }
        return TRUE;
    };
    EXPECT_TRUE(DestroyWindow(page));
    EXPECT_TRUE(editAliveDuringDestroy);
    EXPECT_EQ(Recorder().Count(WM_DESTROY), 1);
    EXPECT_FALSE(IsWindow(page));
    EXPECT_FALSE(IsWindow(edit));
    EXPECT_EQ(LiveWindowCount(), windowsBefore);

    // A stale handle does nothing and answers nothing.
    EXPECT_FALSE(DestroyWindow(page));
    EXPECT_EQ(GetDlgItem(page, kIntEdit), nullptr);
    EXPECT_FALSE(CheckDlgButton(page, kCheck, BST_CHECKED));
    EXPECT_FALSE(EnableWindow(edit, FALSE));
    EXPECT_FALSE(ClickDlgButton(page, kButton));
    EXPECT_EQ(SendMessage(page, WM_COMMAND, 0, 0), 0);
}

TEST_F(DialogTest, DestroyingTheFrameDestroysTheDialogsInIt) {
    Page();
    const HWND second = Page();
    DestroyWindow(frame);
    EXPECT_EQ(Recorder().Count(WM_DESTROY), 2);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(LiveWindowCount(), windowsBefore - 1);
}

TEST_F(DialogTest, ButtonStateFunctions) {
    const HWND page = Page();
    EXPECT_TRUE(CheckDlgButton(page, kCheck, BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(page, kCheck), BST_CHECKED);
    EXPECT_FALSE(CheckDlgButton(page, kButton, BST_CHECKED));  // not a check box or radio
    EXPECT_EQ(IsDlgButtonChecked(page, kButton), BST_UNCHECKED);

    // Only the buttons within the id range change.
    CheckDlgButton(page, kRadioOther, BST_CHECKED);
    EXPECT_TRUE(CheckRadioButton(page, kRadioA, kRadioC, kRadioB));
    EXPECT_EQ(IsDlgButtonChecked(page, kRadioB), BST_CHECKED);
    EXPECT_TRUE(CheckRadioButton(page, kRadioA, kRadioC, kRadioC));
    EXPECT_EQ(IsDlgButtonChecked(page, kRadioB), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(page, kRadioC), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(page, kRadioOther), BST_CHECKED);

    // EnableWindow answers whether the window was disabled before.
    const HWND button = GetDlgItem(page, kButton);
    EXPECT_FALSE(EnableWindow(button, FALSE));
    EXPECT_FALSE(IsWindowEnabled(button));
    EXPECT_TRUE(EnableWindow(button, FALSE));
    EXPECT_TRUE(EnableWindow(button, TRUE));
    EXPECT_TRUE(IsWindowEnabled(button));
}

TEST_F(DialogTest, ClicksChangeButtonsAndSendCommands) {
    const HWND page = Page();
    Recorder().messages.clear();

    // A check box toggles, then the dialog hears of it.
    bool checkedWhenTold = false;
    Recorder().handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND) checkedWhenTold = IsDlgButtonChecked(hwnd, kCheck) == BST_CHECKED;
        return TRUE;
    };
    ASSERT_TRUE(ClickDlgButton(page, kCheck));
    EXPECT_TRUE(checkedWhenTold);
    ASSERT_EQ(Recorder().messages.size(), 1u);
    const ReceivedMessage& m = Recorder().messages[0];
    EXPECT_EQ(m.message, WM_COMMAND);
    EXPECT_EQ(LOWORD(m.wParam), kCheck);
    EXPECT_EQ(HIWORD(m.wParam), BN_CLICKED);
    EXPECT_EQ(reinterpret_cast<HWND>(m.lParam), GetDlgItem(page, kCheck));
    ClickDlgButton(page, kCheck);
    EXPECT_EQ(IsDlgButtonChecked(page, kCheck), BST_UNCHECKED);

    // A radio button takes the check from the others of its group only.
    CheckDlgButton(page, kRadioA, BST_CHECKED);
    CheckDlgButton(page, kRadioOther, BST_CHECKED);
    ClickDlgButton(page, kRadioC);
    EXPECT_EQ(IsDlgButtonChecked(page, kRadioA), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(page, kRadioC), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(page, kRadioOther), BST_CHECKED);
    ClickDlgButton(page, kRadioC);  // clicking the checked one keeps it checked
    EXPECT_EQ(IsDlgButtonChecked(page, kRadioC), BST_CHECKED);

    // Push buttons just send; disabled controls and labels take no click.
    Recorder().messages.clear();
    EXPECT_TRUE(ClickDlgButton(page, kButton));
    EnableWindow(GetDlgItem(page, kCheck), FALSE);
    EXPECT_FALSE(ClickDlgButton(page, kCheck));
    EXPECT_EQ(IsDlgButtonChecked(page, kCheck), BST_UNCHECKED);
    EXPECT_FALSE(ClickDlgButton(page, IDC_STATIC));
    EXPECT_FALSE(ClickDlgButton(page, kIntEdit));
    ASSERT_EQ(Recorder().messages.size(), 1u);
    EXPECT_EQ(LOWORD(Recorder().messages[0].wParam), kButton);
}

TEST_F(DialogTest, ModalDialogRunsUntilEndDialogAndRestoresTheOwner) {
    SetActiveWindow(frame);
    HWND shown = nullptr;
    bool ownerDisabledWhileShown = false, activeWhileShown = false;
    Recorder().handler = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) EndDialog(hwnd, 5);
        return FALSE;
    };
    int turns = 0;
    SetModalDialogDriver([&](HWND dialog) {
        ++turns;
        shown = dialog;
        ownerDisabledWhileShown = !IsWindowEnabled(frame);
        activeWhileShown = GetActiveWindow() == dialog;
        if (turns == 1) return PressEscape(dialog) != FALSE;  // not handled: stays open
        return ClickDlgButton(dialog, IDOK) != FALSE;
    });
    EXPECT_EQ(DialogBoxParamA(TestDialogModule(), kModalDialog, frame, RecordingDialogProc, 77), 5);
    EXPECT_EQ(turns, 2);
    EXPECT_TRUE(ownerDisabledWhileShown);
    EXPECT_TRUE(activeWhileShown);
    EXPECT_FALSE(IsWindow(shown));
    EXPECT_TRUE(IsWindowEnabled(frame));
    EXPECT_EQ(GetActiveWindow(), frame);
    const std::vector<UINT> expected = {WM_INITDIALOG, WM_COMMAND, WM_COMMAND, WM_DESTROY};
    EXPECT_EQ(Recorder().Kinds(), expected);
    EXPECT_EQ(Recorder().messages[0].lParam, 77);
    EXPECT_EQ(LOWORD(Recorder().messages[1].wParam), IDCANCEL);
    EXPECT_EQ(LiveWindowCount(), windowsBefore);
}

TEST_F(DialogTest, ModalDialogWithoutInputEndsWithMinusOne) {
    EXPECT_EQ(DialogBoxParamA(TestDialogModule(), kModalDialog, frame, RecordingDialogProc, 0), -1);
    EXPECT_EQ(Recorder().Count(WM_DESTROY), 1);
    int turns = 0;
    SetModalDialogDriver([&](HWND) { return ++turns < 3; });
    EXPECT_EQ(DialogBoxParamA(TestDialogModule(), kModalDialog, frame, RecordingDialogProc, 0), -1);
    EXPECT_EQ(turns, 3);
    EXPECT_EQ(LiveWindowCount(), windowsBefore);
}

TEST_F(DialogTest, EndDialogDuringInitialisationNeedsNoInput) {
    Recorder().handler = [](HWND hwnd, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            EXPECT_TRUE(EndDialog(hwnd, 9));
        }
        return TRUE;
    };
    EXPECT_EQ(DialogBoxParamA(TestDialogModule(), kModalDialog, frame, RecordingDialogProc, 0), 9);
    // EndDialog belongs to modal dialogs only.
    Recorder().handler = nullptr;
    const HWND page = Page();
    EXPECT_FALSE(EndDialog(page, 1));
    EXPECT_TRUE(IsWindow(page));
}

TEST_F(DialogTest, CloseBoxOnlyWithSystemMenu) {
    Recorder().handler = [](HWND hwnd, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_CLOSE) EndDialog(hwnd, 3);
        return TRUE;
    };
    bool noMenuRefused = false;
    SetModalDialogDriver([&](HWND dialog) {
        if (ClickCloseBox(dialog)) return true;
        noMenuRefused = true;
        return false;
    });
    EXPECT_EQ(DialogBoxParamA(TestDialogModule(), kModalDialog, frame, RecordingDialogProc, 0), 3);
    EXPECT_FALSE(noMenuRefused);
    EXPECT_EQ(DialogBoxParamA(TestDialogModule(), kNoMenuDialog, frame, RecordingDialogProc, 0), -1);
    EXPECT_TRUE(noMenuRefused);
}

TEST_F(DialogTest, CenterWindowCentresOverTheParentOrTheDesktop) {
    RECT dialogRect{}, frameRect{};
    Recorder().handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            EXPECT_TRUE(CenterWindow(hwnd, frame));
            GetWindowRect(hwnd, &dialogRect);
            EndDialog(hwnd, 1);
        }
        return TRUE;
    };
    DialogBoxParamA(TestDialogModule(), kModalDialog, frame, RecordingDialogProc, 0);
    GetWindowRect(frame, &frameRect);
    EXPECT_EQ(dialogRect.right - dialogRect.left, 180);  // 120 dialog units
    EXPECT_LE(std::abs((dialogRect.left + dialogRect.right) - (frameRect.left + frameRect.right)), 1);
    EXPECT_LE(std::abs((dialogRect.top + dialogRect.bottom) - (frameRect.top + frameRect.bottom)), 1);

    // The controls move with the dialog.
    Recorder().handler = nullptr;
    const HWND page = Page();
    RECT before{}, after{}, pageRect{};
    GetWindowRect(GetDlgItem(page, kButton), &before);
    ASSERT_TRUE(CenterWindow(page, nullptr));
    GetWindowRect(page, &pageRect);
    GetWindowRect(GetDlgItem(page, kButton), &after);
    EXPECT_LE(std::abs((pageRect.left + pageRect.right) - kDesktopRect.right), 1);
    EXPECT_LE(std::abs((pageRect.top + pageRect.bottom) - kDesktopRect.bottom), 1);
    EXPECT_EQ(after.left - before.left, pageRect.left - 100);
    EXPECT_EQ(after.top - before.top, pageRect.top - 50);
}

TEST_F(DialogTest, RollupPanelCreatesAndDeletesPages) {
    std::string title = "Parameters";
    {
        RollupPanel panel;
        // The title buffer is the plug-in's and may change while the page initialises.
        Recorder().handler = [&](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR {
            if (message == WM_INITDIALOG) title = "overwritten";
            return TRUE;
        };
        const HWND page = panel.AddPage(TestDialogModule(), kPageDialog, RecordingDialogProc, title.c_str(), 5, 0, 4000);
        ASSERT_NE(page, nullptr);
        ASSERT_EQ(panel.Pages().size(), 1u);
        EXPECT_EQ(panel.Pages()[0].title, "Parameters");
        EXPECT_EQ(panel.Pages()[0].category, 4000);
        EXPECT_EQ(panel.Pages()[0].templateId, kPageDialog);
        EXPECT_EQ(GetParent(page), panel.Frame());
        EXPECT_EQ(panel.AddPage(TestDialogModule(), 999, RecordingDialogProc, "x", 0, 0, 4000), nullptr);
        EXPECT_EQ(panel.Pages().size(), 1u);

        EXPECT_FALSE(panel.DeletePage(frame));  // not one of its pages
        EXPECT_TRUE(panel.DeletePage(page));
        EXPECT_EQ(Recorder().Count(WM_DESTROY), 1);
        EXPECT_TRUE(panel.Pages().empty());
        panel.AddPage(TestDialogModule(), kPageDialog, RecordingDialogProc, "second", 0, 0, 4000);
    }
    // The panel's end takes the page still open with it.
    EXPECT_EQ(Recorder().Count(WM_DESTROY), 2);
    EXPECT_EQ(LiveWindowCount(), windowsBefore);
}

TEST(ModuleResourcesTest, StringsAndTemplatesOfAModule) {
    char buffer[8];
    EXPECT_EQ(LoadStringA(TestDialogModule(), 7, buffer, sizeof buffer), 5);
    EXPECT_STREQ(buffer, "Seven");
    EXPECT_EQ(LoadStringA(TestDialogModule(), 7, buffer, 4), 3);  // truncated, terminated
    EXPECT_STREQ(buffer, "Sev");
    EXPECT_EQ(LoadStringA(TestDialogModule(), 8, buffer, sizeof buffer), 0);   // empty string
    EXPECT_EQ(LoadStringA(TestDialogModule(), 99, buffer, sizeof buffer), 0);  // no such string
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(LoadStringA(nullptr, 7, buffer, sizeof buffer), 0);
    EXPECT_EQ(LoadStringA(TestDialogModule(), 7, buffer, 0), 0);
    ASSERT_NE(FindDialogTemplate(TestDialogModule(), kModalDialog), nullptr);
    EXPECT_STREQ(FindDialogTemplate(TestDialogModule(), kModalDialog)->caption, "Modal");
    EXPECT_EQ(FindDialogTemplate(TestDialogModule(), 5), nullptr);
}

// In a fresh process (the test binary run again for this test alone): nothing has registered
// the custom controls yet.
TEST(DialogManagerDeathTest, CustomControlsMustBeRegisteredBeforeTheirDialogs) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const bool refused = !CustomControlsInitialized() &&
                                 !CreateDialogParamA(TestDialogModule(), kPageDialog, nullptr, RecordingDialogProc, 0);
            const bool plainAllowed = CreateDialogParamA(TestDialogModule(), kPlainDialog, nullptr, RecordingDialogProc, 0);
            InitCustomControls(TestDialogModule());
            const bool allowedAfter = CreateDialogParamA(TestDialogModule(), kPageDialog, nullptr, RecordingDialogProc, 0);
            std::exit(refused && plainAllowed && allowedAfter ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
