// The host's growable table: a count and contiguous storage. Indexing outside the count is
// reported through assert1 with the module name "Tab" and is not carried out (a read yields a
// scratch default element, a write lands in it).
#pragma once
#include <vector>

#include "host/Assert.h"

// Shared by all Tab instantiations so the module name and line stay in one place.
void TabReportOutOfRange(int line);

template <class T>
class Tab {
public:
    int Count() const { return static_cast<int>(items_.size()); }

    // Sets the count; new entries are value-initialised, surplus ones dropped.
    void SetCount(int n) { TBSetCount(n); }
    void TBSetCount(int n) { items_.resize(n > 0 ? static_cast<size_t>(n) : 0u); }
    // Empties the table and releases its storage.
    void ZeroCount() { zfree(); }
    void zfree() { std::vector<T>().swap(items_); }

    void Append(const T& v) { items_.push_back(v); }

    T& operator[](int i) {
        if (i < 0 || i >= Count()) {
            TabReportOutOfRange(__LINE__);
            scratch_ = T{};
            return scratch_;
        }
        return items_[static_cast<size_t>(i)];
    }
    const T& operator[](int i) const {
        if (i < 0 || i >= Count()) {
            TabReportOutOfRange(__LINE__);
            return empty_;
        }
        return items_[static_cast<size_t>(i)];
    }

    // Unchecked access to the storage, for hot loops that have checked the count once.
    T* Addr(int i) { return items_.data() + i; }
    const T* Addr(int i) const { return items_.data() + i; }

private:
    std::vector<T> items_;
    T scratch_{};
    static inline const T empty_{};
};
