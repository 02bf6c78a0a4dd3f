#include "blender/HostState.h"

void HostState::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    progress_ = ProgressSnapshot{};
    messages_.clear();
    questionPending_ = false;
    question_.clear();
    answer_ = false;
    abandoned_ = false;
    cancelPressed_.store(false);
    cancelSeen_.store(false);
}

void HostState::ProgressStart(const char* title) {
    std::lock_guard<std::mutex> lock(mutex_);
    progress_.shown = true;
    progress_.percent = 0;
    progress_.title = title ? title : "";
}

void HostState::ProgressUpdate(int percent) {
    std::lock_guard<std::mutex> lock(mutex_);
    progress_.percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
}

void HostState::ProgressEnd() {
    std::lock_guard<std::mutex> lock(mutex_);
    progress_.shown = false;
}

bool HostState::CancelQuery() {
    if (cancelPressed_.load()) cancelSeen_.store(true);
    return cancelSeen_.load();
}

void HostState::PushMessage(HostMessage message) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(std::move(message));
}

bool HostState::Ask(const std::string& text) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (abandoned_) return false;
    questionPending_ = true;
    question_ = text;
    answered_.wait(lock, [this] { return !questionPending_; });
    return answer_;
}

ProgressSnapshot HostState::Progress() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
}

int HostState::MessageCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(messages_.size());
}

bool HostState::PopMessage(HostMessage& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (messages_.empty()) return false;
    message = std::move(messages_.front());
    messages_.pop_front();
    return true;
}

bool HostState::PendingQuestion(std::string& text) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!questionPending_) return false;
    text = question_;
    return true;
}

bool HostState::Answer(bool yes) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!questionPending_) return false;
        questionPending_ = false;
        answer_ = yes;
    }
    answered_.notify_all();
    return true;
}

void HostState::Abandon() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        abandoned_ = true;
        if (questionPending_) {
            questionPending_ = false;
            answer_ = false;
        }
    }
    answered_.notify_all();
}
