#include "blender/BlenderBitmapManager.h"

int BlenderBitmapManager::WriteOutput(const std::string&, bool opened, const BitmapPixels& image) {
    if (!opened) return 0;
    written_ = image;
    hasWrite_ = true;
    return 1;
}
