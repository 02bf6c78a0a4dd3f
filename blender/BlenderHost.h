// The host application inside Blender, as the plug-in sees it: the core interface with the
// selection Blender handed over, the progress display and cancel button of HostState, the
// plug-in configuration folder under Blender's user configuration, and a command panel for the
// utility's rollup page. The bitmap manager keeps written bitmaps in memory for Blender to take.
#pragma once
#include <string>
#include <vector>

#include "blender/HostState.h"
#include "host/Bitmap.h"
#include "host/Interface.h"
#include "host/MessageBox.h"
#include "host/Rollup.h"

class BlenderHost : public Interface {
public:
    BlenderHost(HostState& state, std::string configDir) : state_(state), configDir_(std::move(configDir)) {}

    void SetSelection(std::vector<INode*> nodes) { selection_ = std::move(nodes); }
    // Worker threads for the plug-in's runs; 0 lets the run choose.
    void SetThreads(int threads) { threads_ = threads; }
    const RollupPanel& Rollups() const { return rollups_; }

    // ---- Interface ----
    int GetSelNodeCount() override { return static_cast<int>(selection_.size()); }
    INode* GetSelNode(int i) override;
    TimeValue GetTime() override { return 0; }
    void ProgressStart(const char* title, BOOL, LPTHREAD_START_ROUTINE, LPVOID) override { state_.ProgressStart(title); }
    void ProgressUpdate(int pct, BOOL, const char*) override { state_.ProgressUpdate(pct); }
    void ProgressEnd() override { state_.ProgressEnd(); }
    BOOL GetCancel() override { return state_.CancelQuery() ? TRUE : FALSE; }
    HWND GetMAXHWnd() override { return nullptr; }
    const char* GetDir(int which) override { return which == APP_PLUGCFG_DIR ? configDir_.c_str() : ""; }
    HWND AddRollupPage(HINSTANCE hInst, int dialogId, DLGPROC proc, const char* title, LPARAM param, DWORD flags,
                       int category) override {
        return rollups_.AddPage(hInst, dialogId, proc, title, param, flags, category);
    }
    void DeleteRollupPage(HWND page) override { rollups_.DeletePage(page); }
    // Blender draws its own panel; the headless page has nothing to scroll.
    void RollupMouseMessage(HWND, UINT, WPARAM, LPARAM) override {}
    // Always answered, so that a run never keeps the thread count of an earlier one.
    bool GetEngineOptions(RunEngineOptions& options) override {
        options.threads = threads_ > 0 ? threads_ : 0;
        options.reference = false;
        return true;
    }

private:
    HostState& state_;
    std::string configDir_;
    std::vector<INode*> selection_;
    int threads_ = 0;
    // Last member: its pages go (and save their settings) while the rest of the host stands.
    RollupPanel rollups_;
};

// A written bitmap: width x height pixels, row 0 the top row.
struct WrittenBitmap {
    int width = 0;
    int height = 0;
    std::vector<BMM_Color_64> pixels;
};

// Bitmaps in memory. The file selection always succeeds with `outputName` (the image datablock
// stands in for the file), and a write keeps a copy of the pixels.
class MemoryBitmapManager : public BitmapManager {
public:
    std::string outputName;

    Bitmap* Create(BitmapInfo* bi) override;
    BOOL SelectFileOutput(BitmapInfo* bi, HWND parent, const char* title, int flags) override;

    bool HasWrite() const { return hasWrite_; }
    const WrittenBitmap& LastWrite() const { return written_; }
    void Keep(WrittenBitmap bitmap) {
        written_ = std::move(bitmap);
        hasWrite_ = true;
    }
    int LiveBitmaps() const { return live_; }
    void Released() { live_--; }

private:
    WrittenBitmap written_;
    bool hasWrite_ = false;
    int live_ = 0;
};

// Installs a core interface, a bitmap manager and a message-box handler for its lifetime and
// restores the previous ones afterwards.
class ScopedHostInstall {
public:
    ScopedHostInstall(Interface* core, BitmapManager* manager, MessageBoxHandler boxes);
    ~ScopedHostInstall();
    ScopedHostInstall(const ScopedHostInstall&) = delete;
    ScopedHostInstall& operator=(const ScopedHostInstall&) = delete;

private:
    Interface* prevCore_;
    BitmapManager* prevManager_;
    MessageBoxHandler prevBoxes_;
};
