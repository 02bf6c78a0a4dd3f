#include "host/Rollup.h"

#include <algorithm>

#include "host/Dialog.h"
#include "host/Window.h"

RollupPanel::RollupPanel() : panel_(CreateFrameWindow("Command Panel", RECT{1600, 0, 1920, 1080})) {}

RollupPanel::~RollupPanel() {
    DeleteAll();
    DestroyWindow(panel_);
}

HWND RollupPanel::AddPage(HINSTANCE instance, int templateId, DLGPROC proc, const char* title, LPARAM param,
                          DWORD flags, int category) {
    // The title is copied first: a plug-in may hand over a shared buffer that its page's
    // initialisation reuses.
    std::string caption = title ? title : "";
    const HWND page = CreateDialogParamA(instance, templateId, panel_, proc, param);
    if (!page) return nullptr;
    pages_.push_back(Page{page, templateId, std::move(caption), param, flags, category});
    return page;
}

BOOL RollupPanel::DeletePage(HWND page) {
    const auto it = std::find_if(pages_.begin(), pages_.end(), [page](const Page& p) { return p.window == page; });
    if (it == pages_.end() || !page) return FALSE;
    pages_.erase(it);
    DestroyWindow(page);
    return TRUE;
}

void RollupPanel::DeleteAll() {
    while (!pages_.empty()) DeletePage(pages_.back().window);
}
