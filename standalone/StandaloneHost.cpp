#include "standalone/StandaloneHost.h"

StandaloneHost::StandaloneHost(ProgressDisplay& progress, std::function<bool()> cancelRequested, std::string configDir)
    : HostApplication(std::move(configDir)), progress_(progress), cancelRequested_(std::move(cancelRequested)) {}

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
