// The standalone host's bitmap manager: in-memory bitmaps of 16-bit r, g, b, a pixels, a file
// choice made in advance (the command line's output file), and image files written through
// ImageFile. The runs do not look at the results of writing, so the manager records every
// write for the host to check and report.
#pragma once
#include <string>
#include <vector>

#include "host/Bitmap.h"
#include "standalone/ImageFile.h"

class ImageBitmapManager : public BitmapManager {
public:
    struct WriteResult {
        std::string path;
        bool ok = false;
        std::string error;
    };

    // The file the "file selection" answers with; empty declines it.
    std::string outputFile;
    // One grey channel, or the four stored channels.
    ImageLayout layout = ImageLayout::Grey;

    Bitmap* Create(BitmapInfo* bi) override;
    BOOL SelectFileOutput(BitmapInfo* bi, HWND parent, const char* title, int flags) override;

    const std::vector<WriteResult>& Writes() const { return writes_; }
    int FileSelections() const { return fileSelections_; }
    int LiveBitmaps() const { return live_; }

    // Used by the bitmaps.
    void RecordWrite(WriteResult result) { writes_.push_back(std::move(result)); }
    void BitmapReleased() { live_--; }

private:
    std::vector<WriteResult> writes_;
    int fileSelections_ = 0;
    int live_ = 0;
};
