// Grey-level maps to image files. The format follows the file's extension:
//   .png          16-bit PNG
//   .tif, .tiff   16-bit TIFF, Deflate-compressed
//   .exr          32-bit float OpenEXR (value = grey / 65535; half floats would lose 16-bit steps)
//   .pgm          16-bit binary PGM (P5, maxval 65535), grey only
// A map is written as one grey channel, or with ImageLayout::Rgba as the four stored channels
// r, g, b, a. The grey channel is the pixels' r (the runs write r = g = b). Files are replaced
// atomically (host/AtomicReplace.h). TIFF and OpenEXR are written by modules loaded on first use.
#pragma once
#include <string>
#include <vector>

#include "host/Color.h"

enum class ImageFormat { Png, Tiff, Exr, Pgm };
enum class ImageLayout { Grey, Rgba };

// The format for this file name (the extension, in any case), or false with an error that
// names the extension and lists the formats.
bool ImageFormatForPath(const std::string& path, ImageFormat& format, std::string& error);

// Checks, before any work, that `path` names a format that holds the layout.
bool CheckImageOutput(const std::string& path, ImageLayout layout, std::string& error);

// Writes width x height pixels (row-major, row 0 at the top) to `path`.
bool WriteImageFile(const std::string& path, int width, int height, const std::vector<BMM_Color_64>& pixels,
                    ImageLayout layout, std::string& error);
