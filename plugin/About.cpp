// The About box's dialog procedure: centred over the host's main window, closed by "OK" or the
// close box. The Escape key (IDCANCEL) deliberately does not close it.
#include "host/Dialog.h"
#include "host/WindowMessages.h"
#include "plugin/GritUtility.h"

INT_PTR GritUtility::AboutDialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (message) {
        case WM_INITDIALOG: {
            Interface* core = TheGritUtility().Core();
            CenterWindow(hWnd, core ? core->GetMAXHWnd() : nullptr);
            return TRUE;
        }
        case WM_CLOSE:
            EndDialog(hWnd, 1);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) EndDialog(hWnd, 1);
            return FALSE;
        default:
            return FALSE;
    }
}
