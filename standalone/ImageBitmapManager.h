// The standalone host's bitmap manager: in-memory bitmaps, a file choice made in advance (the
// command line's output file), and image files written through ImageFile. The runs do not look
// at the results of writing, so the manager records every write for the host to check and report.
#pragma once
#include <string>
#include <vector>

#include "hostapp/InMemoryBitmapManager.h"
#include "standalone/ImageFile.h"

class ImageBitmapManager : public InMemoryBitmapManager {
public:
    struct WriteResult {
        std::string path;
        bool ok = false;
        std::string error;
    };

    // One grey channel, or the four stored channels.
    ImageLayout layout = ImageLayout::Grey;

    const std::vector<WriteResult>& Writes() const { return writes_; }

    // Writes the image file `target`.
    int WriteOutput(const std::string& target, bool opened, const BitmapPixels& image) override;

private:
    std::vector<WriteResult> writes_;
};
