// The pixels an image writer gets, as plain C data: the writers for some formats live in modules
// of their own that are loaded on first use (see OptionalModule.h), and this is what crosses
// into them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

extern "C" {

struct ImageSamples {
    int width;
    int height;
    int channels;               // 1: grey; 4: r, g, b, a
    const std::uint16_t* data;  // width x height x channels samples, row 0 (the top) first
};

// Writes the image to `out`, a new empty file open for update. Returns 1, or 0 with a message in
// `error` (a terminated text of at most errorSize bytes).
typedef int (*ImageEncodeFunction)(const ImageSamples* image, std::FILE* out, char* error, std::size_t errorSize);

// A writer module's entry: its encoder when it was built for this interface version, else null.
typedef ImageEncodeFunction (*ImageEncoderEntry)(int interfaceVersion);
}

// Raised whenever ImageSamples or ImageEncodeFunction change.
constexpr int kImageEncoderInterface = 1;
