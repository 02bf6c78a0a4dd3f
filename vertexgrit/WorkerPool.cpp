#include "vertexgrit/WorkerPool.h"

#include <chrono>
#include <cmath>

#include "host/Platform.h"

namespace {
// The stack each worker asks for; the platform may give more.
constexpr unsigned kWorkerStackBytes = 8192;
}  // namespace

WorkerPool::~WorkerPool() {
    // The owner may have seen the last finished flag through RunningCount while that thread was
    // still notifying under the mutex; wait for it to let go before the condition is destroyed.
    std::lock_guard<std::mutex> lock(idleMutex_);
}

void WorkerPool::SetThreadCount(int n) {
    threadCount_ = n;
    handles_.Resize(n);
    finished_.Resize(n);
    for (int i = 0; i < n; ++i) {
        handles_[i] = 0;
        finished_[i] = 1;
    }
}

void WorkerPool::Start() {
    stop_.store(false);
    for (int i = 0; i < threadCount_; ++i) {
        auto* job = new WorkerJob{this, i, context_};
        // Cleared before the thread exists, so a thread that ends at once still leaves its 1.
        finished_[i] = 0;
        std::uintptr_t handle = BEGINTHREAD_FAILED;
        try {
            handle = BeginThread(entry_, kWorkerStackBytes, job);
        } catch (...) {
            // A start that throws has started nothing, as one that fails.
        }
        if (handle == BEGINTHREAD_FAILED) {
            // No thread owns this job and nothing runs in this slot.
            delete job;
            finished_[i] = 1;
            throw CString(kThreadStartFailedText);
        }
        handles_[i] = handle;
    }
}

void WorkerPool::SetFinished(int index, bool flag) {
    std::lock_guard<std::mutex> lock(idleMutex_);
    finished_[index] = flag ? 1 : 0;
    idleCondition_.notify_all();
}

int WorkerPool::RunningCount() const {
    int running = 0;
    for (int i = 0; i < finished_.Count(); ++i) {
        if (finished_[i] == 0) running++;
    }
    return running;
}

bool WorkerPool::WaitForIdle(int milliseconds) {
    std::unique_lock<std::mutex> lock(idleMutex_);
    return idleCondition_.wait_for(lock, std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds),
                                   [this] { return RunningCount() == 0; });
}

float WorkerPool::Progress() const {
    float f = static_cast<float>(static_cast<double>(done_) / static_cast<double>(total_));
    if (f < 0.0f || std::isnan(f)) f = 0.0f;
    if (f > 1.0f) f = 1.0f;
    return f;
}
