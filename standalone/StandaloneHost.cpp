#include "standalone/StandaloneHost.h"

StandaloneHost::StandaloneHost(ProgressDisplay& progress, std::function<bool()> cancelRequested, std::string configDir)
    : progress_(progress), cancelRequested_(std::move(cancelRequested)), configDir_(std::move(configDir)) {}

INode* StandaloneHost::GetSelNode(int i) {
    return i >= 0 && i < GetSelNodeCount() ? selection_[static_cast<size_t>(i)] : nullptr;
}

void StandaloneHost::ProgressStart(const char* title, BOOL, LPTHREAD_START_ROUTINE, LPVOID) {
    progressStarts_++;
    progress_.Start(title ? title : "");
    if (observer_) observer_(0);
}

void StandaloneHost::ProgressUpdate(int pct, BOOL, const char*) {
    progress_.Update(pct);
    if (observer_) observer_(pct);
}

void StandaloneHost::ProgressEnd() { progress_.End(); }

BOOL StandaloneHost::GetCancel() {
    if (cancelRequested_ && cancelRequested_()) cancelSeen_ = true;
    return cancelSeen_ ? TRUE : FALSE;
}

const char* StandaloneHost::GetDir(int which) { return which == APP_PLUGCFG_DIR ? configDir_.c_str() : ""; }

HostInstallation::HostInstallation(Interface* core, BitmapManager* manager, MessageBoxHandler boxes)
    : prevCore_(SetCOREInterface(core)),
      prevManager_(SetTheManager(manager)),
      prevBoxes_(SetMessageBoxHandler(std::move(boxes))) {}

HostInstallation::~HostInstallation() {
    SetMessageBoxHandler(std::move(prevBoxes_));
    SetTheManager(prevManager_);
    SetCOREInterface(prevCore_);
}
