#include "plugin/WorkerThreads.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

int RunWorkerThreads(int requested, long long workItems) {
    long long n = requested;
    if (n <= 0) n = static_cast<long long>(std::thread::hardware_concurrency());  // 0 when unknown
    n = std::min(n, workItems);
    return static_cast<int>(std::max(n, 1LL));
}

std::int64_t ChunkCount(std::int64_t items, std::int64_t itemsPerChunk) {
    if (items <= 0) return 0;
    if (itemsPerChunk < 1) itemsPerChunk = 1;
    return (items + itemsPerChunk - 1) / itemsPerChunk;
}

namespace {

// What the threads of one phase share; lives on the calling thread's stack until every helper
// has been joined.
class PhaseChunks {
public:
    PhaseChunks(std::int64_t count, const std::function<void(std::int64_t)>& work) : count_(count), work_(work) {}

    // Runs the next chunk not yet taken; false when none is left or the phase was halted.
    bool RunNext() {
        if (halted_.load(std::memory_order_acquire)) return false;
        const std::int64_t chunk = next_.fetch_add(1, std::memory_order_relaxed);
        if (chunk >= count_) return false;
        try {
            work_(chunk);
        } catch (...) {
            Fail(std::current_exception());
            return false;
        }
        return true;
    }
    void RunAll() {
        while (RunNext()) {
        }
    }
    void Halt() { halted_.store(true, std::memory_order_release); }
    bool Halted() const { return halted_.load(std::memory_order_acquire); }
    void Fail(std::exception_ptr e) {
        {
            std::lock_guard<std::mutex> lock(errorMutex_);
            if (!error_) error_ = std::move(e);
        }
        Halt();
    }
    std::exception_ptr Error() {
        std::lock_guard<std::mutex> lock(errorMutex_);
        return error_;
    }

private:
    const std::int64_t count_;
    const std::function<void(std::int64_t)>& work_;
    std::atomic<std::int64_t> next_{0};
    std::atomic<bool> halted_{false};
    std::mutex errorMutex_;
    std::exception_ptr error_;
};

bool RunPhaseImpl(const PhaseControl& control, std::int64_t chunkCount, const std::function<void(std::int64_t)>& work,
                  const std::function<bool()>* foreground) {
    PhaseChunks chunks(std::max<std::int64_t>(chunkCount, 0), work);
    bool stopped = false;
    const auto askStop = [&] {
        if (!control.stop) return;
        try {
            if (control.stop()) {
                stopped = true;
                chunks.Halt();
            }
        } catch (...) {
            chunks.Fail(std::current_exception());
        }
    };
    const auto runForeground = [&] {
        if (!foreground || !*foreground) return;
        try {
            if (!(*foreground)()) {
                stopped = true;
                chunks.Halt();
            }
        } catch (...) {
            chunks.Fail(std::current_exception());
        }
    };

    const long long helperCount = std::min<long long>(std::max(control.threads, 1), std::max<std::int64_t>(chunkCount, 1)) - 1;
    std::vector<std::thread> helpers;
    for (long long i = 0; i < helperCount; ++i) {
        try {
            if (helpers.empty()) helpers.reserve(static_cast<std::size_t>(helperCount));
            helpers.emplace_back([&chunks] { chunks.RunAll(); });
        } catch (...) {
            break;  // no thread (or no memory for one): the threads already going share the rest
        }
    }
    if (!helpers.empty()) runForeground();
    while (!chunks.Halted()) {
        askStop();
        if (!chunks.RunNext()) break;
    }
    for (std::thread& helper : helpers) helper.join();
    if (helpers.empty()) runForeground();
    if (const std::exception_ptr error = chunks.Error()) std::rethrow_exception(error);
    return !stopped;
}

}  // namespace

std::function<bool()> ThrottledStop(std::function<bool()> ask, std::chrono::steady_clock::duration interval) {
    struct State {
        std::function<bool()> ask;
        std::chrono::steady_clock::duration interval;
        std::chrono::steady_clock::time_point next;
        bool stopped = false;
    };
    auto state = std::make_shared<State>(State{std::move(ask), interval, std::chrono::steady_clock::now() + interval});
    return [state] {
        if (state->stopped || !state->ask) return state->stopped;
        const auto now = std::chrono::steady_clock::now();
        if (now < state->next) return false;
        state->next = now + state->interval;
        state->stopped = state->ask();
        return state->stopped;
    };
}

namespace {

std::mutex g_rayHookMutex;
std::function<bool(int)> g_rayHook;
int g_rayAttempt = 0;

}  // namespace

bool RunPhase(const PhaseControl& control, std::int64_t chunkCount, const std::function<void(std::int64_t)>& work) {
    return RunPhaseImpl(control, chunkCount, work, nullptr);
}

bool RunPhase(const PhaseControl& control, std::int64_t chunkCount, const std::function<void(std::int64_t)>& work,
              const std::function<bool()>& foreground) {
    return RunPhaseImpl(control, chunkCount, work, &foreground);
}

std::unique_ptr<Ray[]> AllocateRayBuffer(std::uint64_t count) {
    {
        std::lock_guard<std::mutex> lock(g_rayHookMutex);
        if (g_rayHook && g_rayHook(g_rayAttempt++)) throw std::bad_alloc();
    }
    if (count > SIZE_MAX / sizeof(Ray)) throw std::bad_array_new_length();
    return std::unique_ptr<Ray[]>(new Ray[static_cast<std::size_t>(count)]);
}

void SetRayBufferFailureHook(std::function<bool(int attempt)> hook) {
    std::lock_guard<std::mutex> lock(g_rayHookMutex);
    g_rayHook = std::move(hook);
    g_rayAttempt = 0;
}
