// What the plug-in shows while it runs, kept for Blender to poll: its progress display, the
// message boxes it raised, the Yes/No question it waits on, and the cancel button. The plug-in
// reaches these from the thread its run is on; Blender's Python reads and answers them from its
// own thread, so every member is behind one mutex and nothing here calls Blender.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

struct HostMessage {
    std::string text;
    std::uint32_t style = 0;  // the message box's style bits
};

struct ProgressSnapshot {
    bool shown = false;
    int percent = 0;
    std::string title;
};

class HostState {
public:
    // Forgets everything of the last bake.
    void Reset();

    // ---- The plug-in's side ----
    void ProgressStart(const char* title);
    void ProgressUpdate(int percent);
    void ProgressEnd();
    // Whether the cancel button has been pressed; a yes is remembered as seen.
    bool CancelQuery();
    void PushMessage(HostMessage message);
    // Puts the question and waits until it is answered (or abandoned, which answers no).
    bool Ask(const std::string& text);

    // ---- Blender's side ----
    ProgressSnapshot Progress() const;
    void PressCancel() { cancelPressed_.store(true); }
    bool CancelSeen() const { return cancelSeen_.load(); }
    int MessageCount() const;
    bool PopMessage(HostMessage& message);
    // The pending question's text; false when none is pending.
    bool PendingQuestion(std::string& text) const;
    // Answers the pending question; false when none is pending.
    bool Answer(bool yes);
    // From now on every question is answered no at once, and a pending one is answered no.
    void Abandon();

private:
    mutable std::mutex mutex_;
    std::condition_variable answered_;
    ProgressSnapshot progress_;
    std::deque<HostMessage> messages_;
    bool questionPending_ = false;
    std::string question_;
    bool answer_ = false;
    bool abandoned_ = false;
    std::atomic<bool> cancelPressed_{false};
    std::atomic<bool> cancelSeen_{false};
};
