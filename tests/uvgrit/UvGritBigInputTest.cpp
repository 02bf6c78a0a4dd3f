// The UV Map run at the largest map the panel allows, 4096 x 4096 with the widest ray fan
// (24 x 10): it starts, shows its progress, stops within a second of the user's cancel and stays
// within its memory figure (the two grids, 64 bytes per triangle and 40 MiB); a map too large for
// the memory there is (16384 x 16384, 8 GiB of grids) gets a clear message.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "plugin/GritUtility.h"
#include "tests/common/ProcessMemory.h"
#include "tests/common/TestHost.h"
#include "tests/uvgrit/UvTestSupport.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr std::size_t kMiB = 1024 * 1024;
constexpr int kSide = 4096;

// Presses cancel `delay` after the first progress update of the workers' phase: the rasteriser
// shows one update per face before it.
class CancellingHost : public TestHost {
public:
    CancellingHost(int rasterUpdates, std::chrono::milliseconds delay) : rasterUpdates_(rasterUpdates), delay_(delay) {
        cancelWhen = [this] { return pressAt_.load() != Clock::time_point{} && Clock::now() >= pressAt_.load(); };
    }
    void ProgressUpdate(int pct, BOOL show, const char* title) override {
        TestHost::ProgressUpdate(pct, show, title);
        if (static_cast<int>(progressUpdates.size()) == rasterUpdates_ + 1) pressAt_.store(Clock::now() + delay_);
    }
    Clock::time_point PressedAt() const { return pressAt_.load(); }
    Clock::time_point stoppedAt{};  // when the elapsed-time report came: the workers had stopped

private:
    int rasterUpdates_;
    std::chrono::milliseconds delay_;
    std::atomic<Clock::time_point> pressAt_{Clock::time_point{}};
};

// A bumpy sheet over the whole unit square of channel 1, so that rays meet it.
Mesh BumpySheet() {
    Mesh mesh = MakeUvSheet(64, 64);
    for (Point3& p : mesh.verts) p.z = 0.6f * std::sin(0.9f * p.x) * std::cos(0.8f * p.y);
    return mesh;
}

bool SkipUnderSanitizers() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#else
    return false;
#endif
}

// Virtual memory of this process now, in bytes.
std::size_t VirtualBytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    std::size_t kib = 0;
    while (status >> key) {
        if (key == "VmSize:") {
            status >> kib;
            return kib * 1024;
        }
    }
    return 0;
}
}  // namespace

TEST(BigUvMap, ShowsProgressAndStopsWithinASecondOfACancelInItsMemory) {
    if (SkipUnderSanitizers()) GTEST_SKIP() << "a 4096 x 4096 map is too heavy for a sanitizer build";
    GritUtility utility;
    GritSettings& s = utility.settings;
    s.XSiz = kSide;
    s.YSiz = kSide;
    s.horizontalSpread = 24;
    s.verticalSpread = 10;
    s.dist = 2.0f;
    s.mapChannel = 1;
    utility.engine.threads = 2;
    TestTriObject object;
    object.mesh = BumpySheet();
    const std::size_t triangles = object.mesh.faces.size();
    TestNode node("sheet", &object);

    CancellingHost host(static_cast<int>(triangles), std::chrono::milliseconds(300));
    host.selection = {&node};
    host.answers = {IDNO};
    // The workers have stopped by the time the elapsed time is reported.
    const MessageBoxHandler record = SetMessageBoxHandler([&](const std::string& text, const std::string& caption, UINT type) {
        if (text.rfind("elapsed time", 0) == 0) host.stoppedAt = Clock::now();
        host.boxes.push_back({text, caption, type});
        return text == "Save Partial Bitmap?" ? IDNO : IDOK;
    });
    // Memory an earlier test in this process freed must not hide what this run takes.
    malloc_trim(0);
    ASSERT_TRUE(ResetPeakResident());
    const std::size_t before = ResidentBytes();
    utility.GenerateUvGritMap();
    const Clock::time_point end = Clock::now();
    const std::size_t peak = PeakResidentBytes();
    SetMessageBoxHandler(record);

    ASSERT_NE(host.PressedAt(), Clock::time_point{}) << "the workers' progress never came";
    ASSERT_EQ(host.BoxTexts().size(), 2u);
    EXPECT_EQ(host.BoxTexts()[1], "Save Partial Bitmap?");
    EXPECT_TRUE(host.written.empty());
    // One update per face while rasterising, then the workers' percentage.
    EXPECT_GT(host.progressUpdates.size(), triangles);
    const double toStop = std::chrono::duration<double>(host.stoppedAt - host.PressedAt()).count();
    const double toEnd = std::chrono::duration<double>(end - host.PressedAt()).count();
    EXPECT_LT(toStop, 1.0);
    EXPECT_LT(toEnd, 1.0);

    const std::size_t grids = std::size_t(kSide) * kSide * (sizeof(TexelRecord) + sizeof(float));
    const std::size_t budget = grids + 64 * triangles + 40 * kMiB;
    ASSERT_GT(peak, before);
    EXPECT_LE(peak - before, budget) << (peak - before) / kMiB << " MiB, budget " << budget / kMiB << " MiB";
    std::printf("[ measure  ] %d x %d, %zu triangles: workers stopped %.0f ms and run ended %.0f ms after the cancel; "
                "%zu MiB (grids %zu MiB)\n",
                kSide, kSide, triangles, toStop * 1000.0, toEnd * 1000.0, (peak - before) / kMiB, grids / kMiB);
}

TEST(BigUvMap, MapBeyondTheMemoryThereIsGetsAClearMessage) {
    if (SkipUnderSanitizers()) GTEST_SKIP() << "an address-space limit breaks the sanitizers' own memory";
    // In a child process whose address space leaves room for a small part of the grids, whatever
    // memory earlier tests left to this process.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{VirtualBytes() + 1024 * kMiB, VirtualBytes() + 1024 * kMiB};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(10);
        int code = 0;
        {
            TestHost host;
            GritUtility utility;
            utility.settings.XSiz = 4 * kSide;
            utility.settings.YSiz = 4 * kSide;
            TestTriObject object;
            object.mesh = MakeUvSheet(2, 2);
            TestNode node("sheet", &object);
            host.selection = {&node};
            utility.GenerateUvGritMap();
            if (host.BoxTexts() != std::vector<std::string>{"Not enough memory for a 16384 x 16384 map"}) code = 11;
            else if (!host.progressTitles.empty()) code = 12;  // refused before anything started
            else if (utility.texels.ColumnCount() != 0 || utility.gritValues.ColumnCount() != 0) code = 13;
        }
        _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no limit, 11: wrong message, 12: progress shown, 13: grids kept";
}
