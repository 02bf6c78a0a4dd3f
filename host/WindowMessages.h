// The window messages and notification codes that dialogs and their procedures exchange, with the
// values they have on Windows so that plug-in code reads the same on every platform.
#pragma once
#include "host/Win32Types.h"

constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_INITDIALOG = 0x0110;  // wParam: control to focus, lParam: creation parameter
constexpr UINT WM_COMMAND = 0x0111;     // LOWORD(wParam): control id, HIWORD(wParam): notification
constexpr UINT WM_MOUSEMOVE = 0x0200;   // wParam: key state, lParam: MAKELPARAM(x, y)
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_USER = 0x0400;

// A button's WM_COMMAND notification: it was clicked.
constexpr WORD BN_CLICKED = 0;

// Mouse key-state bit in wParam.
constexpr WPARAM MK_LBUTTON = 0x0001;

// Button check states.
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;

// A spinner's value changed through the user or a notifying SetValue: sent to the dialog with
// LOWORD(wParam) the spinner's id and lParam its window.
constexpr UINT CC_SPINNER_CHANGE = WM_USER + 0x600;
