// The bitmap manager of a host program: bitmaps of 16-bit r, g, b, a pixels held in memory, and
// a file selection answered in advance with the output the host's user chose. Where a written
// bitmap goes (an image file, an image the host takes over) is the host's: it derives from this
// and answers WriteOutput.
#pragma once
#include <string>
#include <vector>

#include "host/Bitmap.h"

// A bitmap's pixels: width x height, row-major, row 0 the top row.
struct BitmapPixels {
    int width = 0;
    int height = 0;
    std::vector<BMM_Color_64> pixels;
};

class InMemoryBitmapManager : public BitmapManager {
public:
    // The output the file selection answers with; empty declines it.
    std::string outputFile;

    Bitmap* Create(BitmapInfo* bi) override;
    BOOL SelectFileOutput(BitmapInfo* bi, HWND parent, const char* title, int flags) override;

    int FileSelections() const { return fileSelections_; }
    // Bitmaps created and not yet released.
    int LiveBitmaps() const { return live_; }

    // A bitmap's Write: `target` is the name it was last opened for output with ("" when never),
    // `opened` whether it is open for output now. Returns the bitmap's write status (1 written,
    // 0 not).
    virtual int WriteOutput(const std::string& target, bool opened, const BitmapPixels& image) = 0;
    // A bitmap's DeleteThis.
    void BitmapReleased() { live_--; }

private:
    int fileSelections_ = 0;
    int live_ = 0;
};
