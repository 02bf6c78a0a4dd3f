#include "standalone/ImageBitmapManager.h"

int ImageBitmapManager::WriteOutput(const std::string& target, bool opened, const BitmapPixels& image) {
    WriteResult result;
    result.path = target;
    if (!opened)
        result.error = "the bitmap was not opened for output";
    else
        result.ok = WriteImageFile(target, image.width, image.height, image.pixels, layout, result.error);
    const int status = result.ok ? 1 : 0;
    writes_.push_back(std::move(result));
    return status;
}
