// WorkerPool: starts a fixed number of threads that all run one entry function, each with its own
// slot index, and tells its owner how many are still running. It also carries the stop request
// the owner raises and the threads poll, and the total/done counters behind the progress bar.
//
// The pool hands out no work: each thread derives its share from its slot index and the thread
// count. It never joins its threads either; the owner polls RunningCount until it reaches 0 and
// only then destroys the pool, because every thread holds a pointer to it through its job.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class WorkerPool;

// What each thread receives as its argument. Start allocates it; the thread owns it from then on
// and its entry function frees it. `context` is whatever the pool's owner handed the pool, so
// the entry can reach the object it works for without a global.
struct WorkerJob {
    WorkerPool* pool = nullptr;
    int index = 0;
    void* context = nullptr;
};

// A small growable array with contiguous storage: resizing fills new elements with 0, element
// access is unchecked.
template <class T>
class SlotArray {
public:
    SlotArray() = default;
    virtual ~SlotArray() {
        items_.clear();
        items_.shrink_to_fit();
    }
    SlotArray(const SlotArray&) = delete;
    SlotArray& operator=(const SlotArray&) = delete;

    void Resize(int n) { items_.resize(n > 0 ? static_cast<std::size_t>(n) : 0u, T(0)); }
    T& operator[](int i) { return items_[static_cast<std::size_t>(i)]; }
    const T& operator[](int i) const { return items_[static_cast<std::size_t>(i)]; }
    int Count() const { return static_cast<int>(items_.size()); }

private:
    std::vector<T> items_;
};

// A one-byte flag that one thread may write while another reads it. Copying (only done while
// the array is resized, before any thread runs) copies the current value.
class AtomicByte {
public:
    AtomicByte(std::uint8_t v = 0) : v_(v) {}
    AtomicByte(const AtomicByte& o) : v_(o.v_.load()) {}
    AtomicByte& operator=(const AtomicByte& o) {
        v_.store(o.v_.load());
        return *this;
    }
    AtomicByte& operator=(std::uint8_t v) {
        v_.store(v);
        return *this;
    }
    operator std::uint8_t() const { return v_.load(); }

private:
    std::atomic<std::uint8_t> v_;
};

// The exception object Start throws when a thread cannot be started; it carries one text.
class CString {
public:
    explicit CString(const char* text) : text_(text ? text : "") {}
    virtual ~CString() = default;
    CString(const CString&) = default;
    CString& operator=(const CString&) = default;
    const char* c_str() const { return text_.c_str(); }
    const std::string& str() const { return text_; }

private:
    std::string text_;
};

// The text Start's exception carries.
inline constexpr const char* kThreadStartFailedText = "Failed _beginthread call";

class WorkerPool {
public:
    using Entry = void (*)(void*);

    explicit WorkerPool(Entry entry, void* context = nullptr) : entry_(entry), context_(context) {}
    // Neither waits for nor stops any thread: the owner must have seen RunningCount reach 0.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // n slots, none running (every finished flag 1, every handle 0).
    void SetThreadCount(int n);
    int ThreadCount() const { return threadCount_; }

    // Clears the stop request, then starts one thread per slot in slot order. When a thread cannot
    // be started, its slot is left counted as not running, its job is freed and CString is thrown;
    // later slots are not started and threads already started keep running.
    void Start();

    void SetStop(bool flag) { stop_.store(flag); }
    bool StopRequested() const { return stop_.load(); }

    // Called by the thread of slot `index` as its last act on the pool. Wakes WaitForIdle.
    void SetFinished(int index, bool flag);
    // Number of slots started and not yet finished, counted over every slot on each call.
    int RunningCount() const;
    // Waits until RunningCount is 0 or `milliseconds` have passed, whichever comes first; returns
    // whether it is 0. Lets the owner poll on a fixed period yet notice the end at once.
    bool WaitForIdle(int milliseconds);

    // The work counters. The pool does not protect them: the owner and the threads touch them
    // only while holding the owner's lock.
    void SetTotal(int n) { total_ = n; }
    void SetDone(int n) { done_ = n; }
    void AddDone(int n) { done_ += n; }
    int Total() const { return total_; }
    int Done() const { return done_; }
    // done / total in floating point, as a float clamped to 0 ... 1 (0 of 0 gives 0).
    float Progress() const;

private:
    std::atomic<bool> stop_{false};
    int threadCount_ = 0;
    SlotArray<std::uintptr_t> handles_;  // stored for completeness; nothing reads them
    SlotArray<AtomicByte> finished_;     // 1 = not running, 0 = started and not yet done
    int total_ = 0;
    int done_ = 0;
    Entry entry_;
    void* context_;
    // For WaitForIdle's wake-up. SetFinished stores its flag and notifies while holding it, and
    // the destructor takes it once, so a thread that has just set its flag is done with the pool
    // before the pool goes away, however the owner saw the flag.
    std::mutex idleMutex_;
    std::condition_variable idleCondition_;
};
