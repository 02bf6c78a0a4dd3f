// A fixed-size set of bits, used for face selection and per-vertex flags.
#pragma once
#include <cstddef>
#include <vector>

class BitArray {
public:
    BitArray() = default;
    explicit BitArray(int n) { SetSize(n); }

    int GetSize() const { return static_cast<int>(bits_.size()); }
    // Resizes; new bits are clear, surplus bits dropped (keep = kept either way).
    void SetSize(int n, int keep = 0) {
        (void)keep;
        bits_.resize(n > 0 ? static_cast<size_t>(n) : 0u, false);
    }
    void ClearAll() { bits_.assign(bits_.size(), false); }
    void SetAll() { bits_.assign(bits_.size(), true); }
    // Out-of-range indices are ignored on write and read as clear.
    void Set(int i) { if (In(i)) bits_[static_cast<size_t>(i)] = true; }
    void Set(int i, int value) { if (In(i)) bits_[static_cast<size_t>(i)] = value != 0; }
    void Clear(int i) { if (In(i)) bits_[static_cast<size_t>(i)] = false; }
    int operator[](int i) const { return In(i) && bits_[static_cast<size_t>(i)] ? 1 : 0; }
    int NumberSet() const {
        int n = 0;
        for (bool b : bits_) n += b ? 1 : 0;
        return n;
    }

private:
    bool In(int i) const { return i >= 0 && i < GetSize(); }
    std::vector<bool> bits_;
};
