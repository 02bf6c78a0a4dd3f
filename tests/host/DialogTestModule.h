// A small module of dialog templates for the dialog manager's tests, and a dialog procedure that
// records every message it receives and can be given a behaviour per message.
#pragma once
#include <functional>
#include <vector>

#include "host/ModuleResources.h"
#include "host/Win32Types.h"

// Dialog ids of the test module.
constexpr int kPageDialog = 200;     // child page: radios, check box, push button, edit + spinner
constexpr int kModalDialog = 201;    // pop-up with system menu and an OK button
constexpr int kNoMenuDialog = 202;   // pop-up without system menu
constexpr int kPlainDialog = 203;    // child page without custom controls

// Control ids of the page.
constexpr int kRadioA = 10, kRadioB = 11, kRadioC = 12;  // one group
constexpr int kCheck = 20;
constexpr int kRadioOther = 13;  // a radio of another group (after the check box)
constexpr int kButton = 30;
constexpr int kIntEdit = 40, kIntSpin = 41;
constexpr int kFloatEdit = 42, kFloatSpin = 43;

HINSTANCE TestDialogModule();

struct ReceivedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// What the recording procedure saw, and what it does: a handler for a message, when set, runs
// and gives the answer; otherwise the procedure answers FALSE.
struct DialogRecorder {
    std::vector<ReceivedMessage> messages;
    std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> handler;
    std::vector<UINT> Kinds() const;
    int Count(UINT message) const;
};
DialogRecorder& Recorder();  // reset by each test's fixture
INT_PTR RecordingDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
