// The parts of the core interface that every host program answers alike: the selection it hands
// the plug-in, the plug-in configuration folder, a command panel for the utility's rollup page
// that nobody sees, and time standing at 0. What differs between hosts (how progress is shown,
// where a cancel comes from, which engine options the user chose) each host adds.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "host/Interface.h"
#include "host/Rollup.h"

class HostApplication : public Interface {
public:
    explicit HostApplication(std::string configDir) : configDir_(std::move(configDir)) {}

    void SetSelection(std::vector<INode*> nodes) { selection_ = std::move(nodes); }
    // The command panel that holds the rollup pages plug-ins add.
    const RollupPanel& Rollups() const { return rollups_; }

    // ---- Interface ----
    int GetSelNodeCount() override { return static_cast<int>(selection_.size()); }
    INode* GetSelNode(int i) override;
    TimeValue GetTime() override { return 0; }
    HWND GetMAXHWnd() override { return nullptr; }
    const char* GetDir(int which) override { return which == APP_PLUGCFG_DIR ? configDir_.c_str() : ""; }
    HWND AddRollupPage(HINSTANCE hInst, int dialogId, DLGPROC proc, const char* title, LPARAM param, DWORD flags,
                       int category) override {
        return rollups_.AddPage(hInst, dialogId, proc, title, param, flags, category);
    }
    void DeleteRollupPage(HWND page) override { rollups_.DeletePage(page); }
    // Mouse messages let a user drag the command panel by a page; a panel nobody sees has no
    // scrolling to do.
    void RollupMouseMessage(HWND, UINT, WPARAM, LPARAM) override {}

private:
    std::string configDir_;
    std::vector<INode*> selection_;
    // Last member: its pages go (and save their settings, in the configuration folder) while the
    // folder and the selection still stand. A page going only reads its controls and the folder.
    RollupPanel rollups_;
};
