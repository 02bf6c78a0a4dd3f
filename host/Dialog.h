// The dialog manager of a host without a windowing system. It creates dialogs from a module's
// templates (each control with its id, kind, text, enabled and checked state and position),
// sends their procedures the dialog messages, and runs modal dialogs. A headless host has no
// user to press buttons in a modal dialog; it installs a modal driver that plays the user's
// part (see DialogInput.h for the presses it can make).
#pragma once
#include <functional>

#include "host/Win32Types.h"
#include "host/Window.h"
#include "host/WindowMessages.h"

// The screen a window without a parent is centred on.
constexpr RECT kDesktopRect{0, 0, 1920, 1080};

// Creates a modeless dialog from template `templateId` of the module: a child of `parent` when
// the template has WS_CHILD, else a pop-up owned by `parent`. Its procedure receives
// WM_INITDIALOG (wParam: the first tab-stop control, lParam: `param`) before this returns.
// Returns nullptr when the template is missing, or uses custom controls before the host's
// InitCustomControls.
HWND CreateDialogParamA(HINSTANCE instance, int templateId, HWND parent, DLGPROC proc, LPARAM param);

// Runs template `templateId` as a modal dialog owned by `owner`: creates it, sends WM_INITDIALOG,
// disables the owner and makes the dialog the active window, then lets the modal driver act
// until a call of EndDialog. Destroys the dialog (WM_DESTROY), restores the owner and the active
// window and returns the EndDialog result. Returns -1 when the dialog cannot be created, or when
// the driver has no more input (or none is installed) while the dialog is still open.
INT_PTR DialogBoxParamA(HINSTANCE instance, int templateId, HWND owner, DLGPROC proc, LPARAM param);

// Ends a running modal dialog with `result`; the dialog goes when its procedure returns.
// FALSE for a window that is not a running modal dialog.
BOOL EndDialog(HWND dialog, INT_PTR result);

// The modal driver: called with the running modal dialog, it makes one or more presses and
// returns true, or returns false when it has nothing more to do. Returns the previous driver.
using ModalDialogDriver = std::function<bool(HWND dialog)>;
ModalDialogDriver SetModalDialogDriver(ModalDialogDriver driver);

HWND GetDlgItem(HWND dialog, int id);
// Check state of a radio button or check box (BST_CHECKED / BST_UNCHECKED).
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
// Checks button `check` and unchecks every other button with an id in first ... last.
BOOL CheckRadioButton(HWND dialog, int first, int last, int check);

// Dialog units to pixels, with the fixed base units of the dialog font (6 x 13 pixels per
// 4 x 8 dialog units).
RECT MapDialogRect(short x, short y, short cx, short cy);

// Moves `window` so that its centre lies on the centre of `parent`, or of the desktop when
// `parent` is not a window.
BOOL CenterWindow(HWND window, HWND parent);
