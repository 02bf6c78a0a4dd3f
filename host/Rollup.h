// The command panel's rollup pages for a host without a real command panel: a panel window
// holding pages, each a modeless child dialog created from a plug-in's template. A host's
// AddRollupPage and DeleteRollupPage come here.
#pragma once
#include <string>
#include <vector>

#include "host/Win32Types.h"

class RollupPanel {
public:
    struct Page {
        HWND window;
        int templateId;
        std::string title;
        LPARAM param;
        DWORD flags;
        int category;
    };

    RollupPanel();
    // Destroys the pages still open (each receives WM_DESTROY), then the panel window.
    ~RollupPanel();
    RollupPanel(const RollupPanel&) = delete;
    RollupPanel& operator=(const RollupPanel&) = delete;

    // Creates the page from template `templateId` of the module; nullptr when it cannot.
    HWND AddPage(HINSTANCE instance, int templateId, DLGPROC proc, const char* title, LPARAM param, DWORD flags,
                 int category);
    // Destroys a page of this panel (its procedure receives WM_DESTROY). FALSE for any other window.
    BOOL DeletePage(HWND page);
    // Destroys every page, last first.
    void DeleteAll();

    const std::vector<Page>& Pages() const { return pages_; }
    // The command panel window the pages live in.
    HWND Frame() const { return panel_; }

private:
    HWND panel_;
    std::vector<Page> pages_;
};
