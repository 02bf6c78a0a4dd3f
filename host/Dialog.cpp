#include "host/Dialog.h"

#include <mutex>

#include "host/CustomControls.h"
#include "host/ModuleResources.h"

namespace {
std::mutex g_driverMutex;
ModalDialogDriver g_driver;

bool IsButton(ControlKind kind) {
    return kind == ControlKind::AutoRadioButton || kind == ControlKind::AutoCheckBox;
}

bool UsesCustomControls(const DialogTemplate& t) {
    for (int i = 0; i < t.itemCount; ++i)
        if (t.items[i].kind == ControlKind::CustomEdit || t.items[i].kind == ControlKind::Spinner) return true;
    return false;
}

RECT Offset(RECT r, int dx, int dy) { return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

// Builds the dialog and its controls without telling the procedure yet.
HWND BuildDialog(HINSTANCE instance, int templateId, HWND parent, DLGPROC proc, bool modal) {
    const DialogTemplate* t = FindDialogTemplate(instance, templateId);
    if (!t || !proc) return nullptr;
    if (UsesCustomControls(*t) && !CustomControlsInitialized()) return nullptr;

    const bool child = (t->style & WS_CHILD) != 0 && !modal;
    RECT origin = kDesktopRect;
    if (const Window* p = FindWindowRecord(parent)) origin = p->rect;

    Window dialog;
    dialog.kind = WindowKind::Dialog;
    dialog.parent = child ? parent : nullptr;
    dialog.owner = child ? nullptr : parent;
    dialog.style = t->style;
    dialog.text = t->caption ? t->caption : "";
    dialog.rect = Offset(MapDialogRect(t->x, t->y, t->cx, t->cy), origin.left, origin.top);
    dialog.proc = proc;
    dialog.templateId = t->id;
    dialog.modal = modal;
    const HWND hDlg = RegisterWindow(std::move(dialog));

    std::vector<HWND> controls;
    for (int i = 0; i < t->itemCount; ++i) {
        const DialogItemTemplate& item = t->items[i];
        Window c;
        c.kind = WindowKind::Control;
        c.parent = hDlg;
        c.id = item.id;
        c.control = item.kind;
        c.style = item.style;
        c.text = item.text ? item.text : "";
        c.rect = Offset(MapDialogRect(item.x, item.y, item.cx, item.cy), 0, 0);
        controls.push_back(RegisterWindow(std::move(c)));
    }
    Window* d = FindWindowRecord(hDlg);
    d->children = controls;
    // Controls are placed relative to the dialog.
    for (HWND c : controls) {
        Window* w = FindWindowRecord(c);
        w->rect = Offset(w->rect, d->rect.left, d->rect.top);
    }
    if (child)
        if (Window* p = FindWindowRecord(parent)) p->children.push_back(hDlg);
    return hDlg;
}

HWND FirstTabStop(HWND hDlg) {
    const Window* d = FindWindowRecord(hDlg);
    if (!d) return nullptr;
    for (HWND c : d->children) {
        const Window* w = FindWindowRecord(c);
        if (w && (w->style & WS_TABSTOP)) return c;
    }
    return d->children.empty() ? nullptr : d->children.front();
}

Window* FindControl(HWND dialog, int id) {
    const Window* d = FindWindowRecord(dialog);
    if (!d || d->kind != WindowKind::Dialog) return nullptr;
    for (HWND c : d->children) {
        Window* w = FindWindowRecord(c);
        if (w && w->id == id) return w;
    }
    return nullptr;
}
}  // namespace

HWND CreateDialogParamA(HINSTANCE instance, int templateId, HWND parent, DLGPROC proc, LPARAM param) {
    const HWND hDlg = BuildDialog(instance, templateId, parent, proc, false);
    if (!hDlg) return nullptr;
    SendMessage(hDlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(FirstTabStop(hDlg)), param);
    return IsWindow(hDlg) ? hDlg : nullptr;
}

INT_PTR DialogBoxParamA(HINSTANCE instance, int templateId, HWND owner, DLGPROC proc, LPARAM param) {
    const HWND hDlg = BuildDialog(instance, templateId, owner, proc, true);
    if (!hDlg) return -1;
    const bool disableOwner = IsWindow(owner) && IsWindowEnabled(owner);
    if (disableOwner) EnableWindow(owner, FALSE);
    const HWND previousActive = SetActiveWindow(hDlg);

    SendMessage(hDlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(FirstTabStop(hDlg)), param);
    for (;;) {
        Window* d = FindWindowRecord(hDlg);
        if (!d || d->ended) break;
        ModalDialogDriver driver;
        {
            std::lock_guard<std::mutex> lock(g_driverMutex);
            driver = g_driver;
        }
        if (!driver || !driver(hDlg)) {
            // Nobody is left to answer the dialog: it goes without a result.
            if (Window* still = FindWindowRecord(hDlg); still && !still->ended) {
                still->ended = true;
                still->result = -1;
            }
        }
    }
    INT_PTR result = -1;
    if (const Window* d = FindWindowRecord(hDlg)) result = d->result;
    DestroyWindow(hDlg);
    if (disableOwner) EnableWindow(owner, TRUE);
    SetActiveWindow(IsWindow(previousActive) ? previousActive : nullptr);
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    Window* d = FindWindowRecord(dialog);
    if (!d || d->kind != WindowKind::Dialog || !d->modal || d->ended) return FALSE;
    d->ended = true;
    d->result = result;
    return TRUE;
}

ModalDialogDriver SetModalDialogDriver(ModalDialogDriver driver) {
    std::lock_guard<std::mutex> lock(g_driverMutex);
    ModalDialogDriver old = std::move(g_driver);
    g_driver = std::move(driver);
    return old;
}

HWND GetDlgItem(HWND dialog, int id) {
    const Window* w = FindControl(dialog, id);
    return w ? w->handle : nullptr;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    Window* w = FindControl(dialog, id);
    if (!w || !IsButton(w->control)) return FALSE;
    w->check = check;
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    const Window* w = FindControl(dialog, id);
    return w && IsButton(w->control) ? w->check : BST_UNCHECKED;
}

BOOL CheckRadioButton(HWND dialog, int first, int last, int check) {
    const Window* d = FindWindowRecord(dialog);
    if (!d || d->kind != WindowKind::Dialog) return FALSE;
    for (HWND c : d->children) {
        Window* w = FindWindowRecord(c);
        if (w && IsButton(w->control) && w->id >= first && w->id <= last)
            w->check = w->id == check ? BST_CHECKED : BST_UNCHECKED;
    }
    return TRUE;
}

RECT MapDialogRect(short x, short y, short cx, short cy) {
    // Rounded to the nearest pixel, as Win32's MulDiv does.
    const auto px = [](int v) { return (v * 6 + 2) / 4; };
    const auto py = [](int v) { return (v * 13 + 4) / 8; };
    return RECT{px(x), py(y), px(x) + px(cx), py(y) + py(cy)};
}

BOOL CenterWindow(HWND window, HWND parent) {
    const Window* w = FindWindowRecord(window);
    if (!w) return FALSE;
    RECT area = kDesktopRect;
    GetWindowRect(parent, &area);
    const int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
    const int x = area.left + ((area.right - area.left) - width) / 2;
    const int y = area.top + ((area.bottom - area.top) - height) / 2;
    return MoveWindow(window, x, y, width, height);
}
