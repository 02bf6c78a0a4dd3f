#include "tests/standalone/ImageReadBack.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>
#include <png.h>
#include <tiffio.h>

#include <bit>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <filesystem>

#include "tests/common/TempDir.h"

namespace {

// libpng jumps back here on errors; nothing in this frame has a destructor.
bool ReadPngRows(png_structp png, png_infop info, ImageReadBack& img) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    img.width = static_cast<int>(png_get_image_width(png, info));
    img.height = static_cast<int>(png_get_image_height(png, info));
    img.channels = png_get_channels(png, info);
    img.bits = png_get_bit_depth(png, info);
    if (img.bits != 16) return true;
    if constexpr (std::endian::native == std::endian::little) png_set_swap(png);
    img.samples.resize(static_cast<size_t>(img.width) * static_cast<size_t>(img.height) * static_cast<size_t>(img.channels));
    for (int y = 0; y < img.height; ++y)
        png_read_row(png, reinterpret_cast<png_bytep>(&img.samples[static_cast<size_t>(y) * img.width * img.channels]), nullptr);
    png_read_end(png, nullptr);
    return true;
}

}  // namespace

double ImageReadBack::Level(int x, int y, int c) const {
    const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) *
                         static_cast<size_t>(channels) + static_cast<size_t>(c);
    if (bits != 32) return samples[i];
    // A float sample counts only when it is exactly level / 65535 in single precision.
    const double level = std::round(static_cast<double>(floats[i]) * 65535.0);
    return static_cast<float>(level) / 65535.0f == floats[i] ? level : -1.0;
}

ImageReadBack ReadPngBack(const std::string& path) {
    ImageReadBack img;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        img.error = "cannot open " + path;
        return img;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    if (!ReadPngRows(png, info, img)) img.error = "libpng could not read " + path;
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return img;
}

ImageReadBack ReadTiffBack(const std::string& path) {
    ImageReadBack img;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) {
        img.error = "libtiff could not open " + path;
        return img;
    }
    uint32_t w = 0, h = 0;
    uint16_t bits = 0, spp = 0, extraCount = 0;
    uint16_t* extra = nullptr;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount == 1)
        img.tiffUnassociatedAlpha = extra[0] == EXTRASAMPLE_UNASSALPHA;
    img.width = static_cast<int>(w);
    img.height = static_cast<int>(h);
    img.bits = bits;
    img.channels = spp;
    if (bits == 16 && TIFFScanlineSize(tif) == static_cast<tmsize_t>(w) * spp * 2) {
        img.samples.resize(static_cast<size_t>(w) * h * spp);
        for (uint32_t y = 0; y < h && img.error.empty(); ++y)
            if (TIFFReadScanline(tif, &img.samples[static_cast<size_t>(y) * w * spp], y) < 0)
                img.error = "libtiff could not read row " + std::to_string(y);
    }
    TIFFClose(tif);
    return img;
}

ImageReadBack ReadExrBack(const std::string& path) {
    ImageReadBack img;
    try {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i window = file.header().dataWindow();
        img.width = window.max.x - window.min.x + 1;
        img.height = window.max.y - window.min.y + 1;
        img.bits = 32;
        for (auto c = file.header().channels().begin(); c != file.header().channels().end(); ++c) {
            if (c.channel().type != Imf::FLOAT) img.bits = 0;
            img.channelNames.push_back(c.name());
        }
        // Stored channels come in alphabetical order (A, B, G, R); read them as the names given.
        img.channels = static_cast<int>(img.channelNames.size());
        img.floats.resize(static_cast<size_t>(img.width) * img.height * img.channels);
        const size_t xStride = sizeof(float) * img.channels, yStride = xStride * img.width;
        Imf::FrameBuffer frame;
        std::vector<std::string> order = img.channelNames;
        if (img.channels == 4) order = {"R", "G", "B", "A"};
        for (size_t c = 0; c < order.size(); ++c) {
            char* base = reinterpret_cast<char*>(img.floats.data()) + c * sizeof(float) -
                         static_cast<std::ptrdiff_t>(window.min.y) * static_cast<std::ptrdiff_t>(yStride) -
                         static_cast<std::ptrdiff_t>(window.min.x) * static_cast<std::ptrdiff_t>(xStride);
            frame.insert(order[c], Imf::Slice(Imf::FLOAT, base, xStride, yStride));
        }
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
    } catch (const std::exception& e) {
        img.error = e.what();
    }
    return img;
}

ImageReadBack ReadPgmBack(const std::string& path) {
    ImageReadBack img;
    const std::string bytes = ReadWholeFile(path);
    size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < bytes.size() && (bytes[pos] == ' ' || bytes[pos] == '\n' || bytes[pos] == '\r' || bytes[pos] == '\t'))
            ++pos;
    };
    auto number = [&]() -> long {
        skipBlanks();
        long v = 0;
        const size_t start = pos;
        while (pos < bytes.size() && bytes[pos] >= '0' && bytes[pos] <= '9') v = v * 10 + (bytes[pos++] - '0');
        return pos == start ? -1 : v;
    };
    if (bytes.compare(0, 2, "P5") != 0) {
        img.error = "not a binary PGM";
        return img;
    }
    pos = 2;
    const long w = number(), h = number(), maxval = number();
    if (w <= 0 || h <= 0 || maxval <= 0 || pos >= bytes.size()) {
        img.error = "bad PGM header";
        return img;
    }
    ++pos;  // the single blank after maxval
    img.width = static_cast<int>(w);
    img.height = static_cast<int>(h);
    img.channels = 1;
    img.bits = maxval == 65535 ? 16 : 0;
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (img.bits != 16 || bytes.size() - pos != 2 * count) {
        img.error = "PGM data of " + std::to_string(bytes.size() - pos) + " bytes for " + std::to_string(count) +
                    " samples, maxval " + std::to_string(maxval);
        return img;
    }
    img.samples.resize(count);
    for (size_t i = 0; i < count; ++i)
        img.samples[i] = static_cast<std::uint16_t>((static_cast<unsigned char>(bytes[pos + 2 * i]) << 8) |
                                                    static_cast<unsigned char>(bytes[pos + 2 * i + 1]));
    return img;
}

ImageReadBack ReadImageBack(const std::string& path) {
    const std::string ext = std::filesystem::path(path).extension().string();
    if (ext == ".png") return ReadPngBack(path);
    if (ext == ".tif" || ext == ".tiff") return ReadTiffBack(path);
    if (ext == ".exr") return ReadExrBack(path);
    if (ext == ".pgm") return ReadPgmBack(path);
    ImageReadBack img;
    img.error = "no reader for " + path;
    return img;
}
