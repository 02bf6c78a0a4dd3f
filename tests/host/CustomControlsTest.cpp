// The custom edit and the spinner: reading edit text, spinner limits and clamping, how a
// spinner shows its value, notifications, typing, and the interface objects' lifetime.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "host/CustomControls.h"
#include "host/Dialog.h"
#include "host/DialogInput.h"
#include "host/NumberText.h"
#include "tests/host/DialogTestModule.h"

namespace {

class CustomControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitCustomControls(TestDialogModule());
        Recorder() = DialogRecorder{};
        interfacesBefore = LiveCustomControlInterfaces();
        page = CreateDialogParamA(TestDialogModule(), kPageDialog, nullptr, RecordingDialogProc, 0);
        ASSERT_NE(page, nullptr);
        intSpin = SetupIntSpinner(page, kIntSpin, kIntEdit, 50, 4096, 200);
        floatSpin = SetupFloatSpinner(page, kFloatSpin, kFloatEdit, 1.0f, 100000.0f, 30.0f, 1.0f);
        intEdit = GetICustEdit(GetDlgItem(page, kIntEdit));
        floatEdit = GetICustEdit(GetDlgItem(page, kFloatEdit));
        ASSERT_TRUE(intSpin && floatSpin && intEdit && floatEdit);
        Recorder().messages.clear();
    }
    void TearDown() override {
        ReleaseISpinner(intSpin);
        ReleaseISpinner(floatSpin);
        ReleaseICustEdit(intEdit);
        ReleaseICustEdit(floatEdit);
        DestroyWindow(page);
        EXPECT_EQ(LiveCustomControlInterfaces(), interfacesBefore);
        Recorder() = DialogRecorder{};
    }
    std::string EditText(int id) {
        char buffer[64];
        GetWindowTextA(GetDlgItem(page, id), buffer, sizeof buffer);
        return buffer;
    }
    HWND page = nullptr;
    ISpinnerControl* intSpin = nullptr;
    ISpinnerControl* floatSpin = nullptr;
    ICustEdit* intEdit = nullptr;
    ICustEdit* floatEdit = nullptr;
    int interfacesBefore = 0;
};

TEST_F(CustomControlsTest, SetupShowsTheValueInTheLinkedEdit) {
    EXPECT_EQ(intSpin->GetIVal(), 200);
    EXPECT_EQ(EditText(kIntEdit), "200");
    EXPECT_EQ(floatSpin->GetFVal(), 30.0f);
    EXPECT_EQ(EditText(kFloatEdit), "30.0");
    EXPECT_EQ(floatSpin->GetScale(), 1.0f);
    EXPECT_EQ(SpinnerLinkedTo(GetDlgItem(page, kIntEdit)), GetDlgItem(page, kIntSpin));
    EXPECT_EQ(SpinnerLinkedTo(GetDlgItem(page, kButton)), nullptr);
    // Set-up on controls that are not there gives nothing.
    EXPECT_EQ(SetupIntSpinner(page, 999, kIntEdit, 0, 1, 0), nullptr);
    EXPECT_EQ(SetupIntSpinner(page, kIntSpin, 999, 0, 1, 0), nullptr);
    EXPECT_EQ(SetupFloatSpinner(page, kIntEdit, kIntEdit, 0, 1, 0), nullptr);
    EXPECT_EQ(GetICustEdit(GetDlgItem(page, kIntSpin)), nullptr);
    EXPECT_EQ(GetISpinner(GetDlgItem(page, kIntEdit)), nullptr);
}

TEST_F(CustomControlsTest, SpinnersClampWhatTheyAreSetTo) {
    intSpin->SetValue(5000, FALSE);
    EXPECT_EQ(intSpin->GetIVal(), 4096);
    EXPECT_EQ(EditText(kIntEdit), "4096");
    intSpin->SetValue(-3, FALSE);
    EXPECT_EQ(EditText(kIntEdit), "50");
    intSpin->SetValue(123.6f, FALSE);  // a float given to an int spinner is rounded
    EXPECT_EQ(intSpin->GetIVal(), 124);

    floatSpin->SetValue(0.5f, FALSE);
    EXPECT_EQ(floatSpin->GetFVal(), 1.0f);
    floatSpin->SetValue(1e9f, FALSE);
    EXPECT_EQ(EditText(kFloatEdit), "100000.0");
    floatSpin->SetValue(std::numeric_limits<float>::infinity(), FALSE);
    EXPECT_EQ(floatSpin->GetFVal(), 100000.0f);
    floatSpin->SetValue(std::numeric_limits<float>::quiet_NaN(), FALSE);
    EXPECT_EQ(floatSpin->GetFVal(), 1.0f);
    EXPECT_EQ(EditText(kFloatEdit), "1.0");
    floatSpin->SetValue(7, FALSE);  // an int given to a float spinner
    EXPECT_EQ(floatSpin->GetFVal(), 7.0f);

    // New limits clamp the current value only when asked to.
    intSpin->SetValue(300, FALSE);
    intSpin->SetLimits(0, 100, FALSE);
    EXPECT_EQ(intSpin->GetIVal(), 300);
    intSpin->SetLimits(0, 100, TRUE);
    EXPECT_EQ(intSpin->GetIVal(), 100);
    EXPECT_EQ(EditText(kIntEdit), "100");
    floatSpin->SetLimits(2.0f, 3.0f, TRUE);
    EXPECT_EQ(floatSpin->GetFVal(), 3.0f);
}

TEST_F(CustomControlsTest, OnlyANotifyingSetValueTellsTheDialog) {
    intSpin->SetValue(300, FALSE);
    floatSpin->SetValue(12.5f, FALSE);
    EXPECT_TRUE(Recorder().messages.empty());
    intSpin->SetValue(301, TRUE);
    ASSERT_EQ(Recorder().messages.size(), 1u);
    EXPECT_EQ(Recorder().messages[0].message, CC_SPINNER_CHANGE);
    EXPECT_EQ(LOWORD(Recorder().messages[0].wParam), kIntSpin);
    EXPECT_EQ(reinterpret_cast<HWND>(Recorder().messages[0].lParam), GetDlgItem(page, kIntSpin));
}

TEST_F(CustomControlsTest, FloatTextReadsBackAsTheSameValue) {
    floatSpin->SetLimits(0.0f, 100000.0f, FALSE);
    const std::pair<float, const char*> shown[] = {
        {30.0f, "30.0"}, {25.0f, "25.0"}, {12.5f, "12.5"}, {0.001f, "0.001"}, {1.0f, "1.0"}, {99999.99f, "99999.99"},
    };
    for (const auto& [value, text] : shown) {
        floatSpin->SetValue(value, FALSE);
        EXPECT_EQ(EditText(kFloatEdit), text);
        EXPECT_EQ(floatEdit->GetFloat(), value) << text;
    }
    // Every float of the range survives showing and reading back, so reopening a panel never
    // drifts a value.
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> uniform(0.0f, 100000.0f);
    std::uniform_real_distribution<float> small(0.0f, 0.01f);
    for (int i = 0; i < 2000; ++i) {
        const float value = i % 2 ? uniform(gen) : small(gen);
        floatSpin->SetValue(value, FALSE);
        ASSERT_EQ(floatEdit->GetFloat(), value) << EditText(kFloatEdit);
    }
}

TEST_F(CustomControlsTest, EditsReadTheirLeadingNumber) {
    BOOL valid = FALSE;
    intEdit->SetText("  -17abc");
    EXPECT_EQ(intEdit->GetInt(&valid), -17);
    EXPECT_TRUE(valid);
    intEdit->SetText("12.9");
    EXPECT_EQ(intEdit->GetInt(), 12);
    intEdit->SetText("abc");
    EXPECT_EQ(intEdit->GetInt(&valid), 0);
    EXPECT_FALSE(valid);
    intEdit->SetText(42);
    EXPECT_EQ(EditText(kIntEdit), "42");

    floatEdit->SetText("12.5abc");
    EXPECT_EQ(floatEdit->GetFloat(&valid), 12.5f);
    EXPECT_TRUE(valid);
    floatEdit->SetText("1e999");
    EXPECT_EQ(floatEdit->GetFloat(), std::numeric_limits<float>::infinity());
    floatEdit->SetText("nan");
    EXPECT_EQ(floatEdit->GetFloat(&valid), 0.0f);
    EXPECT_FALSE(valid);
    floatEdit->SetText(2.25f);
    EXPECT_EQ(EditText(kFloatEdit), "2.25");
    char buffer[4];
    floatEdit->GetText(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "2.2");
}

TEST_F(CustomControlsTest, TypingWithEnterGoesThroughTheSpinner) {
    ASSERT_TRUE(TypeDlgItemText(page, kIntEdit, "9999"));
    EXPECT_EQ(intSpin->GetIVal(), 4096);
    EXPECT_EQ(EditText(kIntEdit), "4096");
    ASSERT_EQ(Recorder().Count(CC_SPINNER_CHANGE), 1);

    TypeDlgItemText(page, kFloatEdit, "0.25");
    EXPECT_EQ(EditText(kFloatEdit), "1.0");
    TypeDlgItemText(page, kFloatEdit, "  77.5 m");
    EXPECT_EQ(floatSpin->GetFVal(), 77.5f);
    EXPECT_EQ(EditText(kFloatEdit), "77.5");

    // No number: the spinner shows its value again.
    TypeDlgItemText(page, kFloatEdit, "far");
    EXPECT_EQ(EditText(kFloatEdit), "77.5");
    EXPECT_EQ(floatSpin->GetFVal(), 77.5f);

    // Without Enter the text stays as typed and the spinner keeps its value.
    TypeDlgItemText(page, kIntEdit, "60abc", false);
    EXPECT_EQ(EditText(kIntEdit), "60abc");
    EXPECT_EQ(intSpin->GetIVal(), 4096);

    // A disabled edit takes no typing; a spinner is not an edit.
    intEdit->Enable(FALSE);
    EXPECT_FALSE(intEdit->IsEnabled());
    EXPECT_FALSE(TypeDlgItemText(page, kIntEdit, "70"));
    EXPECT_EQ(EditText(kIntEdit), "60abc");
    EXPECT_FALSE(TypeDlgItemText(page, kIntSpin, "70"));
}

TEST_F(CustomControlsTest, InterfacesAreCountedAndOutliveTheirWindows) {
    ICustEdit* extra = GetICustEdit(GetDlgItem(page, kIntEdit));
    ISpinnerControl* extraSpin = GetISpinner(GetDlgItem(page, kIntSpin));
    EXPECT_EQ(LiveCustomControlInterfaces(), interfacesBefore + 6);
    DestroyWindow(page);
    // Calls on interfaces of windows that are gone do nothing.
    extra->SetText("1");
    EXPECT_EQ(extra->GetInt(), 0);
    extraSpin->SetValue(3, TRUE);
    EXPECT_EQ(extraSpin->GetIVal(), 0);
    EXPECT_EQ(extraSpin->GetFVal(), 0.0f);
    EXPECT_EQ(Recorder().Count(CC_SPINNER_CHANGE), 0);
    ReleaseICustEdit(extra);
    ReleaseISpinner(extraSpin);
    EXPECT_EQ(LiveCustomControlInterfaces(), interfacesBefore + 4);
}

TEST(NumberTextTest, LeadingIntegerLikeAtoi) {
    bool found = false;
    EXPECT_EQ(LeadingInt("123", &found), 123);
    EXPECT_TRUE(found);
    EXPECT_EQ(LeadingInt(" \t+8x"), 8);
    EXPECT_EQ(LeadingInt("-0"), 0);
    EXPECT_EQ(LeadingInt("- 5", &found), 0);
    EXPECT_FALSE(found);
    EXPECT_EQ(LeadingInt("", &found), 0);
    EXPECT_FALSE(found);
    EXPECT_EQ(LeadingInt(nullptr, &found), 0);
    EXPECT_EQ(LeadingInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(LeadingInt("-2147483648"), INT_MIN);
    EXPECT_EQ(LeadingInt("-99999999999"), INT_MIN);
}

TEST(NumberTextTest, LeadingDecimalNumberLikeAtof) {
    bool found = false;
    EXPECT_EQ(LeadingDouble("12.5abc", &found), 12.5);
    EXPECT_TRUE(found);
    EXPECT_EQ(LeadingDouble(".5"), 0.5);
    EXPECT_EQ(LeadingDouble("7."), 7.0);
    EXPECT_EQ(LeadingDouble("-2.5e2x"), -250.0);
    EXPECT_EQ(LeadingDouble("3e"), 3.0);    // an exponent without digits is not part of it
    EXPECT_EQ(LeadingDouble("3e+"), 3.0);
    EXPECT_EQ(LeadingDouble("1E3"), 1000.0);
    EXPECT_EQ(LeadingDouble(".", &found), 0.0);
    EXPECT_FALSE(found);
    EXPECT_EQ(LeadingDouble("inf", &found), 0.0);
    EXPECT_FALSE(found);
    EXPECT_EQ(LeadingDouble("0x10"), 0.0);  // hexadecimal is not decimal: the 0 only
    EXPECT_EQ(LeadingDouble("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(LeadingDouble("-1e400"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(LeadingDouble("1e-400"), 0.0);
    EXPECT_EQ(LeadingDouble("0.000001e-400"), 0.0);
    EXPECT_EQ(LeadingDouble("1000000e-400"), 0.0);
    EXPECT_EQ(LeadingDouble(std::string(400, '9').c_str()), std::numeric_limits<double>::infinity());
    EXPECT_EQ(LeadingDouble(("0." + std::string(400, '0') + "1").c_str()), 0.0);
}

TEST(NumberTextTest, SpinnerFloatTextHasAtLeastOneDecimal) {
    EXPECT_EQ(FormatSpinnerFloat(0.0f), "0.0");
    EXPECT_EQ(FormatSpinnerFloat(100000.0f), "100000.0");
    EXPECT_EQ(FormatSpinnerFloat(-2.5f), "-2.5");
    EXPECT_EQ(FormatSpinnerFloat(1e-7f), "0.0000001");
    EXPECT_EQ(static_cast<float>(LeadingDouble(FormatSpinnerFloat(3.4e38f).c_str())), 3.4e38f);
}

}  // namespace
