// The windows of a host without a windowing system: every window (a host frame, a dialog, a
// control in a dialog) is a record in one registry and is addressed by its handle. Handles are
// never reused, so a stale handle simply stops resolving; every operation accepts any handle and
// does nothing (answering 0 / null) for one that is not a live window.
//
// Windows belong to the host's user-interface thread; the registry itself is safe to query from
// any thread.
#pragma once
#include <string>
#include <vector>

#include "host/DialogTemplate.h"
#include "host/Win32Types.h"

enum class WindowKind : unsigned char { Frame, Dialog, Control };

// The value state of a spinner control.
enum EditSpinnerType { EDITTYPE_INT, EDITTYPE_FLOAT };
struct SpinnerState {
    EditSpinnerType type = EDITTYPE_INT;
    int intMin = 0, intMax = 100, intValue = 0;
    float floatMin = 0.0f, floatMax = 100.0f, floatValue = 0.0f;
    float scale = 0.1f;
    HWND edit = nullptr;  // the custom edit that shows the value
};

struct Window {
    WindowKind kind = WindowKind::Frame;
    HWND handle = nullptr;
    HWND parent = nullptr;  // the dialog of a control, the frame a child dialog lives in
    HWND owner = nullptr;   // the window a pop-up dialog belongs to
    DWORD style = 0;
    std::string text;       // caption, label or edit text
    RECT rect;              // in pixels, screen coordinates
    bool enabled = true;

    // Controls.
    int id = IDC_STATIC;
    ControlKind control = ControlKind::Label;
    UINT check = 0;
    SpinnerState spinner;

    // Dialogs.
    DLGPROC proc = nullptr;
    int templateId = 0;
    std::vector<HWND> children;  // controls in template order
    bool modal = false;
    bool ended = false;
    INT_PTR result = 0;
};

// Creates a window record and returns its new handle.
HWND RegisterWindow(Window window);
// The live window of a handle, or nullptr. The pointer is valid until the window is destroyed.
Window* FindWindowRecord(HWND hwnd);

// A top-level host window (an application's main window, a command panel).
HWND CreateFrameWindow(const char* title, RECT rect);

// Destroys a window: a dialog first receives WM_DESTROY, then its controls go, then the dialog;
// frames destroy the dialogs that live in them. Returns FALSE for a handle that is not a window.
BOOL DestroyWindow(HWND hwnd);

BOOL IsWindow(HWND hwnd);
HWND GetParent(HWND hwnd);
// Returns non-zero when the window was disabled before the call (Win32's answer).
BOOL EnableWindow(HWND hwnd, BOOL enable);
BOOL IsWindowEnabled(HWND hwnd);
int GetDlgCtrlID(HWND hwnd);
// Copies at most maxCount - 1 characters; returns the number copied.
int GetWindowTextA(HWND hwnd, char* buffer, int maxCount);
BOOL SetWindowTextA(HWND hwnd, const char* text);
BOOL GetWindowRect(HWND hwnd, RECT* rect);
// Moves the window (and its controls with it) to x, y and gives it the size cx, cy.
BOOL MoveWindow(HWND hwnd, int x, int y, int cx, int cy);

// The active window: the host sets its main window; a modal dialog is active while it runs.
HWND GetActiveWindow();
HWND SetActiveWindow(HWND hwnd);

// The number of live windows (for leak checks).
int LiveWindowCount();

// Sends a message to a dialog's procedure and returns its answer; other windows answer 0.
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
