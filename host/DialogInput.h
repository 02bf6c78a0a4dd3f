// The presses a user makes in a dialog, for hosts without a user (test hosts, a command line
// playing the panel): each does what the control would do under the mouse or keyboard and sends
// the dialog what Windows would send. Disabled controls take no input.
#pragma once
#include "host/Win32Types.h"

// Clicks button `id`: an auto check box toggles; an auto radio button checks itself and
// unchecks the other radio buttons of its group (the run of radio buttons around it in template
// order); then the dialog receives WM_COMMAND (id, BN_CLICKED). FALSE when the control is
// missing, not a button, or disabled.
BOOL ClickDlgButton(HWND dialog, int id);

// Types `text` into custom edit `id`, replacing its text. With `pressEnter`, the spinner linked
// to the edit then takes the typed value (clamped to its limits, shown again in the edit, the
// dialog notified with CC_SPINNER_CHANGE), or shows its old value again when the text holds no
// number. FALSE when the control is missing, not a custom edit, or disabled.
BOOL TypeDlgItemText(HWND dialog, int id, const char* text, bool pressEnter = true);

// The Escape key: the dialog receives WM_COMMAND (IDCANCEL, BN_CLICKED).
BOOL PressEscape(HWND dialog);

// The close box of the caption: the dialog receives WM_CLOSE. FALSE when the dialog has no
// system menu (and so no close box).
BOOL ClickCloseBox(HWND dialog);
