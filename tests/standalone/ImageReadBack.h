// Image files read back with each format's own library (libpng, libtiff, OpenEXR) and, for PGM,
// a reader of our own, to check what the writers put in them sample by sample.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ImageReadBack {
    int width = 0, height = 0, channels = 0;
    int bits = 0;                          // bits per sample as stored: 16, or 32 for float
    std::vector<std::uint16_t> samples;    // 16-bit formats, channels interleaved, top row first
    std::vector<float> floats;             // EXR
    std::vector<std::string> channelNames; // EXR
    std::string error;                     // empty when the file was read
    bool tiffUnassociatedAlpha = false;    // TIFF: the fourth channel is marked as plain alpha

    // Sample c of pixel (x, y) as a 16-bit level. EXR: the level whose level / 65535 in single
    // precision the sample is exactly, or -1 when it is no such value.
    double Level(int x, int y, int c = 0) const;
};

ImageReadBack ReadPngBack(const std::string& path);
ImageReadBack ReadTiffBack(const std::string& path);
ImageReadBack ReadExrBack(const std::string& path);
ImageReadBack ReadPgmBack(const std::string& path);
// By the file's extension.
ImageReadBack ReadImageBack(const std::string& path);
