// The host's progress display on a text stream: on a terminal a bar that redraws in place with
// the percentage, the elapsed time and an estimate of the time left; elsewhere plain lines, one
// each time the percentage enters a new tenth; nothing at all when quiet.
#pragma once
#include <functional>
#include <ostream>
#include <string>

class ProgressDisplay {
public:
    enum class Style { Bar, Lines, Quiet };
    // `clock` gives seconds from any fixed origin; the default is a steady clock.
    ProgressDisplay(std::ostream& out, Style style, std::function<double()> clock = {});

    void Start(const std::string& title);
    void Update(int percent);
    void End();
    bool Active() const { return active_; }
    // Ends the bar's line so that other output can follow; the next update draws a fresh bar.
    void BreakLine();

    // "m:ss", or "h:mm:ss" from an hour on.
    static std::string FormatDuration(double seconds);

private:
    void DrawBar(int percent);

    std::ostream& out_;
    Style style_;
    std::function<double()> clock_;
    std::string title_;
    double startTime_ = 0.0;
    int lastTenth_ = -1;
    int lastPercent_ = 0;
    bool active_ = false;
    bool barOnLine_ = false;
    int drawnPercent_ = -1;
    long drawnSecond_ = -1;
};
