// The standalone host application: the core interface the plug-in talks to, with a scene of
// imported nodes, a selection, progress on a ProgressDisplay, Ctrl-C (or any cancel source) as the
// cancel button, a plug-in configuration directory, a command panel for the utility's rollup
// page, and the engine options of the command line.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "host/Interface.h"
#include "host/MessageBox.h"
#include "host/Rollup.h"
#include "standalone/ProgressDisplay.h"

class StandaloneHost : public Interface {
public:
    // `cancelRequested` answers whether the user has asked to cancel.
    StandaloneHost(ProgressDisplay& progress, std::function<bool()> cancelRequested, std::string configDir);

    void SetSelection(std::vector<INode*> nodes) { selection_ = std::move(nodes); }
    // Called with each percentage shown (tests and other front ends may watch the run).
    void SetProgressObserver(std::function<void(int)> observer) { observer_ = std::move(observer); }
    // Whether a cancel query has answered yes.
    bool CancelSeen() const { return cancelSeen_; }
    int ProgressStarts() const { return progressStarts_; }
    // The command panel that holds the rollup pages plug-ins add.
    const RollupPanel& Rollups() const { return rollups_; }
    // Engine options to offer the plug-in; without a call the host offers none.
    void SetEngineOptions(const RunEngineOptions& options) {
        engine_ = options;
        hasEngine_ = true;
    }

    // ---- Interface ----
    int GetSelNodeCount() override { return static_cast<int>(selection_.size()); }
    INode* GetSelNode(int i) override;
    TimeValue GetTime() override { return 0; }
    void ProgressStart(const char* title, BOOL dispBar, LPTHREAD_START_ROUTINE fn, LPVOID arg) override;
    void ProgressUpdate(int pct, BOOL showPct, const char* title) override;
    void ProgressEnd() override;
    BOOL GetCancel() override;
    HWND GetMAXHWnd() override { return nullptr; }
    const char* GetDir(int which) override;
    HWND AddRollupPage(HINSTANCE hInst, int dialogId, DLGPROC proc, const char* title, LPARAM param, DWORD flags,
                       int category) override {
        return rollups_.AddPage(hInst, dialogId, proc, title, param, flags, category);
    }
    void DeleteRollupPage(HWND page) override { rollups_.DeletePage(page); }
    // Mouse messages let a user drag the command panel by a page; a panel nobody sees has no
    // scrolling to do.
    void RollupMouseMessage(HWND, UINT, WPARAM, LPARAM) override {}
    bool GetEngineOptions(RunEngineOptions& options) override {
        if (hasEngine_) options = engine_;
        return hasEngine_;
    }

private:
    ProgressDisplay& progress_;
    std::function<bool()> cancelRequested_;
    std::string configDir_;
    std::vector<INode*> selection_;
    std::function<void(int)> observer_;
    bool cancelSeen_ = false;
    int progressStarts_ = 0;
    RunEngineOptions engine_;
    bool hasEngine_ = false;
    // Last member: its pages go (and save their settings) while the rest of the host still stands.
    RollupPanel rollups_;
};

// Installs a core interface, a bitmap manager and a message-box handler for its lifetime and
// restores the previous ones afterwards.
class HostInstallation {
public:
    HostInstallation(Interface* core, BitmapManager* manager, MessageBoxHandler boxes);
    ~HostInstallation();
    HostInstallation(const HostInstallation&) = delete;
    HostInstallation& operator=(const HostInstallation&) = delete;

private:
    Interface* prevCore_;
    BitmapManager* prevManager_;
    MessageBoxHandler prevBoxes_;
};
