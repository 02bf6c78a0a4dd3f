// The host application inside Blender, as the plug-in sees it: the core interface with the
// progress display and cancel button of HostState and the worker threads Blender's user chose;
// the selection Blender handed over, the plug-in configuration folder under Blender's user
// configuration and the command panel come with every host program (HostApplication).
#pragma once
#include <string>
#include <utility>

#include "blender/HostState.h"
#include "hostapp/HostApplication.h"

class BlenderHost : public HostApplication {
public:
    BlenderHost(HostState& state, std::string configDir) : HostApplication(std::move(configDir)), state_(state) {}

    // Worker threads for the plug-in's runs; 0 lets the run choose.
    void SetThreads(int threads) { threads_ = threads; }

    // ---- Interface ----
    void ProgressStart(const char* title, BOOL, LPTHREAD_START_ROUTINE, LPVOID) override { state_.ProgressStart(title); }
    void ProgressUpdate(int pct, BOOL, const char*) override { state_.ProgressUpdate(pct); }
    void ProgressEnd() override { state_.ProgressEnd(); }
    BOOL GetCancel() override { return state_.CancelQuery() ? TRUE : FALSE; }
    // Always answered, so that a run never keeps the thread count of an earlier one.
    bool GetEngineOptions(RunEngineOptions& options) override {
        options.threads = threads_ > 0 ? threads_ : 0;
        options.reference = false;
        return true;
    }

private:
    HostState& state_;
    int threads_ = 0;
};
