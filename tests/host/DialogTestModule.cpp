#include "tests/host/DialogTestModule.h"

#include "host/DialogTemplate.h"

namespace {
using K = ControlKind;
constexpr DialogItemTemplate kPageItems[] = {
    {IDC_STATIC, K::GroupBox, "Pick", 4, 4, 80, 50},
    {kRadioA, K::AutoRadioButton, "A", 8, 10, 40, 10},
    {kRadioB, K::AutoRadioButton, "B", 8, 22, 40, 10},
    {kRadioC, K::AutoRadioButton, "C", 8, 34, 40, 10},
    {kCheck, K::AutoCheckBox, "Check", 8, 60, 60, 10, WS_TABSTOP},
    {kRadioOther, K::AutoRadioButton, "Other", 8, 72, 40, 10},
    {kButton, K::PushButton, "Press", 8, 84, 40, 14},
    {kIntEdit, K::CustomEdit, "", 8, 100, 25, 10},
    {kIntSpin, K::Spinner, "", 34, 100, 7, 10},
    {kFloatEdit, K::CustomEdit, "", 8, 112, 25, 10},
    {kFloatSpin, K::Spinner, "", 34, 112, 7, 10},
    {IDC_STATIC, K::Label, "Label", 50, 100, 30, 10},
};
constexpr DialogTemplate kPage = {kPageDialog, WS_CHILD, "", 0, 0, 100, 130, "MS Sans Serif", 8,
                                  kPageItems, static_cast<int>(sizeof kPageItems / sizeof kPageItems[0])};

constexpr DialogItemTemplate kModalItems[] = {
    {IDC_STATIC, K::CentredLabel, "Hello", 10, 10, 100, 10},
    {IDOK, K::DefPushButton, "OK", 40, 40, 50, 14, WS_TABSTOP},
};
constexpr DialogTemplate kModal = {kModalDialog, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, "Modal",
                                   10, 20, 120, 60, "MS Sans Serif", 8, kModalItems, 2};
constexpr DialogTemplate kNoMenu = {kNoMenuDialog, WS_POPUP | WS_CAPTION, "No menu", 0, 0, 120, 60,
                                    "MS Sans Serif", 8, kModalItems, 2};
constexpr DialogTemplate kPlain = {kPlainDialog, WS_CHILD, "", 0, 0, 120, 60, "MS Sans Serif", 8, kModalItems, 2};

constexpr const DialogTemplate* kDialogs[] = {&kPage, &kModal, &kNoMenu, &kPlain};
constexpr StringResource kStrings[] = {{7, "Seven"}, {8, ""}};
HINSTANCE__ g_module = {"dialog-test", kDialogs, 4, kStrings, 2, nullptr};
}  // namespace

HINSTANCE TestDialogModule() { return &g_module; }

std::vector<UINT> DialogRecorder::Kinds() const {
    std::vector<UINT> kinds;
    for (const auto& m : messages) kinds.push_back(m.message);
    return kinds;
}

int DialogRecorder::Count(UINT message) const {
    int n = 0;
    for (const auto& m : messages) n += m.message == message;
    return n;
}

DialogRecorder& Recorder() {
    static DialogRecorder recorder;
    return recorder;
}

INT_PTR RecordingDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Recorder().messages.push_back({hwnd, message, wParam, lParam});
    const auto handler = Recorder().handler;  // a copy: the handler may replace itself
    return handler ? handler(hwnd, message, wParam, lParam) : FALSE;
}
