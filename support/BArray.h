// BArray: a resizable two-dimensional grid of cells of one element type, addressed by column x
// and row y, with bounds-checked access. A vector of columns, each a vector of cells; Resize is
// the only way to change the shape, so all columns always have the same length.
//
// Out-of-range access is an internal error: it is reported through assert1 with the module name
// "BArray" and the line, and no cell outside the grid is read or written (a read yields the
// default element).
#pragma once
#include <vector>

#include "host/Assert.h"

template <class T>
class BArray {
public:
    // The default element of the instantiation: a value-initialised T (the element types give
    // their "empty" value through default member initialisers).
    static T DefaultElement() { return T{}; }

    BArray() : columns_(1, std::vector<T>(1, DefaultElement())) {}
    virtual ~BArray() {
        SetAll(DefaultElement());
        std::vector<std::vector<T>>().swap(columns_);
    }
    BArray(const BArray&) = default;
    BArray& operator=(const BArray&) = default;

    // Sets the number of columns (new ones start empty, surplus ones go from the end), then every
    // column's length (new cells take `fill`, surplus cells go from the end). Cells whose indices
    // stay valid keep their contents.
    void Resize(unsigned columns, unsigned rows, const T& fill) {
        columns_.resize(columns);
        for (auto& column : columns_) column.resize(rows, fill);
    }

    void SetAll(const T& value) {
        for (auto& column : columns_)
            for (auto& cell : column) cell = value;
    }

    unsigned ColumnCount() const { return static_cast<unsigned>(columns_.size()); }
    unsigned RowCount() const { return columns_.empty() ? 0u : static_cast<unsigned>(columns_[0].size()); }

    // Bounds-checked store; returns the stored cell (or a scratch cell after a failed check).
    T& Set(int x, int y, const T& value) {
        if (!InRange(x, y)) {
            assert1(__LINE__, "BArray");
            scratch_ = value;
            return scratch_;
        }
        T& cell = columns_[static_cast<unsigned>(x)][static_cast<unsigned>(y)];
        cell = value;
        return cell;
    }

    // Bounds-checked read of a copy of the cell.
    T Get(int x, int y) const {
        if (!InRange(x, y)) {
            assert1(__LINE__, "BArray");
            return DefaultElement();
        }
        return columns_[static_cast<unsigned>(x)][static_cast<unsigned>(y)];
    }

    // Unchecked access for loops that have checked the shape once.
    const T& At(unsigned x, unsigned y) const { return columns_[x][y]; }
    T& At(unsigned x, unsigned y) { return columns_[x][y]; }

private:
    // x against the column count, then y against that column's length, both unsigned so that a
    // negative index fails too.
    bool InRange(int x, int y) const {
        const unsigned ux = static_cast<unsigned>(x), uy = static_cast<unsigned>(y);
        return ux < columns_.size() && uy < columns_[ux].size();
    }

    std::vector<std::vector<T>> columns_;
    T scratch_{};
};
