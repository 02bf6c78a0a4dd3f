// Bitmaps for Blender: the file selection always succeeds with `outputFile` (the image
// datablock stands in for the file), and a write keeps a copy of the pixels for Blender to take.
#pragma once
#include <string>

#include "hostapp/InMemoryBitmapManager.h"

class BlenderBitmapManager : public InMemoryBitmapManager {
public:
    bool HasWrite() const { return hasWrite_; }
    const BitmapPixels& LastWrite() const { return written_; }

    // Keeps a copy of a bitmap open for output.
    int WriteOutput(const std::string& target, bool opened, const BitmapPixels& image) override;

private:
    BitmapPixels written_;
    bool hasWrite_ = false;
};
