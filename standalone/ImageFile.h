// Grey-level maps to image files through OpenImageIO. The format follows the file's extension.
// The image is written as it is stored: 16-bit RGBA where the format allows it (.png, .tif);
// 32-bit float RGBA for .exr (half floats would lose the 16-bit steps); other formats get what
// they can hold (OpenImageIO converts, e.g. 8 bits for .jpg), without alpha where they have none.
// Files are written atomically.
#pragma once
#include <string>
#include <vector>

#include "host/Color.h"

// The name of the format OpenImageIO writes for this file name, or false with a reason.
bool ImageFormatForPath(const std::string& path, std::string& formatName, std::string& error);

// Writes width x height pixels (row-major, row 0 at the top) to `path`.
bool WriteImageFile(const std::string& path, int width, int height, const std::vector<BMM_Color_64>& pixels,
                    std::string& error);
