#include "standalone/ProgressDisplay.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {
constexpr int kBarWidth = 30;

double SteadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

ProgressDisplay::ProgressDisplay(std::ostream& out, Style style, std::function<double()> clock)
    : out_(out), style_(style), clock_(clock ? std::move(clock) : std::function<double()>(SteadySeconds)) {}

std::string ProgressDisplay::FormatDuration(double seconds) {
    const long s = seconds > 0 ? static_cast<long>(seconds + 0.5) : 0;
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

void ProgressDisplay::Start(const std::string& title) {
    title_ = title;
    startTime_ = clock_();
    lastTenth_ = -1;
    lastPercent_ = 0;
    active_ = true;
    if (style_ == Style::Lines) out_ << title_ << " ..." << std::endl;
    if (style_ == Style::Bar) DrawBar(0);
}

void ProgressDisplay::Update(int percent) {
    if (!active_) return;
    percent = std::clamp(percent, 0, 100);
    lastPercent_ = percent;
    if (style_ == Style::Bar) {
        DrawBar(percent);
    } else if (style_ == Style::Lines) {
        // A run may show several phases, each counting up from 0: a new tenth is any change.
        const int tenth = percent / 10;
        if (tenth != lastTenth_) {
            lastTenth_ = tenth;
            out_ << title_ << ": " << percent << "% (" << FormatDuration(clock_() - startTime_) << " elapsed)"
                 << std::endl;
        }
    }
}

void ProgressDisplay::End() {
    if (!active_) return;
    active_ = false;
    const std::string elapsed = FormatDuration(clock_() - startTime_);
    if (style_ == Style::Bar)
        BreakLine();  // the last bar stays as it was drawn
    else if (style_ == Style::Lines)
        out_ << title_ << ": finished (" << elapsed << " elapsed)" << std::endl;
}

void ProgressDisplay::BreakLine() {
    if (!barOnLine_) return;
    out_ << "\n" << std::flush;
    barOnLine_ = false;
}

void ProgressDisplay::DrawBar(int percent) {
    const double elapsed = clock_() - startTime_;
    // A redraw only when something shown changes: runs report progress far more often than
    // the bar's whole percents and seconds move.
    const long second = static_cast<long>(elapsed);
    if (barOnLine_ && percent == drawnPercent_ && second == drawnSecond_) return;
    drawnPercent_ = percent;
    drawnSecond_ = second;
    const int filled = percent * kBarWidth / 100;
    std::string line = "\r" + title_ + " [" + std::string(static_cast<size_t>(filled), '#') +
                       std::string(static_cast<size_t>(kBarWidth - filled), '-') + "] ";
    char pct[8];
    std::snprintf(pct, sizeof pct, "%3d%%", percent);
    line += pct;
    line += "  " + FormatDuration(elapsed) + " elapsed";
    if (percent > 0 && percent < 100)
        line += ", about " + FormatDuration(elapsed * (100 - percent) / percent) + " left";
    // Pad so a shorter line fully covers the previous one.
    line += "        ";
    out_ << line << std::flush;
    barOnLine_ = true;
}
