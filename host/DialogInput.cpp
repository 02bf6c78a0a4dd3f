#include "host/DialogInput.h"

#include <vector>

#include "host/CustomControls.h"
#include "host/Dialog.h"
#include "host/Window.h"
#include "host/WindowMessages.h"

namespace {
bool IsRadio(const Window* w) { return w && w->control == ControlKind::AutoRadioButton; }

// Unchecks the radio buttons next to `button` in template order, up to the first non-radio
// control on either side.
void UncheckGroup(const Window& dialog, HWND button) {
    const std::vector<HWND>& c = dialog.children;
    size_t at = 0;
    while (at < c.size() && c[at] != button) ++at;
    if (at == c.size()) return;
    for (size_t i = at; i-- > 0;) {
        Window* w = FindWindowRecord(c[i]);
        if (!IsRadio(w)) break;
        w->check = BST_UNCHECKED;
    }
    for (size_t i = at + 1; i < c.size(); ++i) {
        Window* w = FindWindowRecord(c[i]);
        if (!IsRadio(w)) break;
        w->check = BST_UNCHECKED;
    }
}
}  // namespace

BOOL ClickDlgButton(HWND dialog, int id) {
    const HWND hwnd = GetDlgItem(dialog, id);
    Window* w = FindWindowRecord(hwnd);
    const Window* d = FindWindowRecord(dialog);
    if (!w || !d || !w->enabled || !d->enabled) return FALSE;
    switch (w->control) {
        case ControlKind::AutoCheckBox:
            w->check = w->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
            break;
        case ControlKind::AutoRadioButton:
            UncheckGroup(*d, hwnd);
            w->check = BST_CHECKED;
            break;
        case ControlKind::PushButton:
        case ControlKind::DefPushButton:
            break;
        default:
            return FALSE;
    }
    SendMessage(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
    return TRUE;
}

BOOL TypeDlgItemText(HWND dialog, int id, const char* text, bool pressEnter) {
    const HWND edit = GetDlgItem(dialog, id);
    const Window* w = FindWindowRecord(edit);
    const Window* d = FindWindowRecord(dialog);
    if (!w || !d || w->control != ControlKind::CustomEdit || !w->enabled || !d->enabled) return FALSE;
    SetWindowTextA(edit, text);
    if (!pressEnter) return TRUE;
    const HWND spinnerWindow = SpinnerLinkedTo(edit);
    const Window* s = FindWindowRecord(spinnerWindow);
    if (!s) return TRUE;
    // The spinner reads the edit the way the edit reads itself.
    ISpinnerControl* spinner = GetISpinner(spinnerWindow);
    ICustEdit* e = GetICustEdit(edit);
    BOOL valid = FALSE;
    if (s->spinner.type == EDITTYPE_INT) {
        const int value = e->GetInt(&valid);
        spinner->SetValue(valid ? value : spinner->GetIVal(), valid);
    } else {
        const float value = e->GetFloat(&valid);
        spinner->SetValue(valid ? value : spinner->GetFVal(), valid);
    }
    ReleaseICustEdit(e);
    ReleaseISpinner(spinner);
    return TRUE;
}

BOOL PressEscape(HWND dialog) {
    if (!IsWindow(dialog)) return FALSE;
    SendMessage(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(IDCANCEL), BN_CLICKED), 0);
    return TRUE;
}

BOOL ClickCloseBox(HWND dialog) {
    const Window* d = FindWindowRecord(dialog);
    if (!d || d->kind != WindowKind::Dialog || !(d->style & WS_SYSMENU)) return FALSE;
    SendMessage(dialog, WM_CLOSE, 0, 0);
    return TRUE;
}
