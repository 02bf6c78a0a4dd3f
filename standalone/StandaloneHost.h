// The standalone host application: the core interface the plug-in talks to, with progress on a
// ProgressDisplay, Ctrl-C (or any cancel source) as the cancel button, and the engine options of
// the command line; the selection of imported nodes, the plug-in configuration directory and
// the command panel come with every host program (HostApplication).
#pragma once
#include <functional>
#include <string>

#include "hostapp/HostApplication.h"
#include "standalone/ProgressDisplay.h"

class StandaloneHost : public HostApplication {
public:
    // `cancelRequested` answers whether the user has asked to cancel.
    StandaloneHost(ProgressDisplay& progress, std::function<bool()> cancelRequested, std::string configDir);

    // Called with each percentage shown (tests and other front ends may watch the run).
    void SetProgressObserver(std::function<void(int)> observer) { observer_ = std::move(observer); }
    // Whether a cancel query has answered yes.
    bool CancelSeen() const { return cancelSeen_; }
    int ProgressStarts() const { return progressStarts_; }
    // Engine options to offer the plug-in; without a call the host offers none.
    void SetEngineOptions(const RunEngineOptions& options) {
        engine_ = options;
        hasEngine_ = true;
    }

    // ---- Interface ----
    void ProgressStart(const char* title, BOOL dispBar, LPTHREAD_START_ROUTINE fn, LPVOID arg) override;
    void ProgressUpdate(int pct, BOOL showPct, const char* title) override;
    void ProgressEnd() override;
    BOOL GetCancel() override;
    bool GetEngineOptions(RunEngineOptions& options) override {
        if (hasEngine_) options = engine_;
        return hasEngine_;
    }

private:
    ProgressDisplay& progress_;
    std::function<bool()> cancelRequested_;
    std::function<void(int)> observer_;
    bool cancelSeen_ = false;
    int progressStarts_ = 0;
    RunEngineOptions engine_;
    bool hasEngine_ = false;
};
