// The host's bitmap manager, bitmaps and their description. The runs create an in-memory bitmap
// of 16-bit r, g, b, a pixels, fill it row by row, let the user pick an output file, and have the
// host write it.
#pragma once
#include <string>

#include "host/Color.h"
#include "host/Win32Types.h"

class BitmapInfo {
public:
    void SetType(int type) { type_ = type; }
    void SetWidth(WORD w) { width_ = w; }
    void SetHeight(WORD h) { height_ = h; }
    void SetFlags(DWORD flags) { flags_ = flags; }
    void SetCustomFlag(DWORD flags) { customFlags_ = flags; }
    void SetName(const char* name) { name_ = name ? name : ""; }
    int Type() const { return type_; }
    WORD Width() const { return width_; }
    WORD Height() const { return height_; }
    DWORD Flags() const { return flags_; }
    DWORD CustomFlags() const { return customFlags_; }
    const char* Name() const { return name_.c_str(); }

private:
    int type_ = 0;
    WORD width_ = 0, height_ = 0;
    DWORD flags_ = 0, customFlags_ = 0;
    std::string name_;
};

class Bitmap {
public:
    virtual ~Bitmap() = default;
    // Pixel counts (0 when the bitmap has no storage).
    virtual int Width() = 0;
    virtual int Height() = 0;
    // Stores `count` pixels from `pixels` into row y starting at column x; returns count stored.
    virtual int PutPixels(int x, int y, int count, const BMM_Color_64* pixels) = 0;
    virtual int OpenOutput(BitmapInfo* bi) = 0;
    virtual int Write(BitmapInfo* bi, int frame) = 0;
    virtual int Close(BitmapInfo* bi, int flag) = 0;
    // Releases the bitmap.
    virtual void DeleteThis() = 0;
};

class BitmapManager {
public:
    virtual ~BitmapManager() = default;
    // A new in-memory bitmap of the description's size, or nullptr.
    virtual Bitmap* Create(BitmapInfo* bi) = 0;
    // Lets the user choose the output file; records it in `bi` and returns non-zero, or 0 when no
    // file was chosen.
    virtual BOOL SelectFileOutput(BitmapInfo* bi, HWND parent, const char* title = nullptr, int flags = 0) = 0;
};
