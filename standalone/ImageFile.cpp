#include "standalone/ImageFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <new>
#include <thread>

#include "host/AtomicReplace.h"
#include "standalone/ImageSamples.h"
#include "standalone/OptionalModule.h"
#include "standalone/PgmFile.h"
#include "standalone/PngFile.h"

namespace {

struct FormatName {
    const char* extension;
    ImageFormat format;
};
constexpr FormatName kFormats[] = {
    {".png", ImageFormat::Png}, {".tif", ImageFormat::Tiff}, {".tiff", ImageFormat::Tiff},
    {".exr", ImageFormat::Exr}, {".pgm", ImageFormat::Pgm},
};
constexpr const char* kFormatList = ".png, .tif, .tiff, .exr or .pgm";

std::string LowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

// A writer that lives in a module: loads it and calls its encoder on the open file.
bool WriteThroughModule(const char* module, const char* entry, const ImageSamples& image, FileReplacement& out,
                        std::string& error) {
    void* address = OptionalModuleEntry(module, entry, error);
    if (!address) return false;
    const auto encoder = reinterpret_cast<ImageEncoderEntry>(address)(kImageEncoderInterface);
    if (!encoder) {
        error = std::string("the module ") + module + " was built for another version of this program";
        return false;
    }
    char message[512] = {};
    if (encoder(&image, out.Stream(), message, sizeof message)) return true;
    error = message[0] ? message : "the writer failed";
    out.Fail(error);
    return false;
}

int EncoderThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(std::min(n, 256u));
}

}  // namespace

bool ImageFormatForPath(const std::string& path, ImageFormat& format, std::string& error) {
    const std::string ext = LowerExtension(path);
    for (const FormatName& f : kFormats)
        if (ext == f.extension) {
            format = f.format;
            return true;
        }
    if (ext.empty() || ext == ".")
        error = "the output file " + path + " has no extension to choose an image format by (" + kFormatList + ")";
    else
        error = "cannot write images of type \"" + ext + "\" (" + path + "); the image types are " + kFormatList;
    return false;
}

bool CheckImageOutput(const std::string& path, ImageLayout layout, std::string& error) {
    ImageFormat format;
    if (!ImageFormatForPath(path, format, error)) return false;
    if (format == ImageFormat::Pgm && layout == ImageLayout::Rgba) {
        error = "--rgba: a .pgm file holds one grey channel (" + path + "); use .png, .tif or .exr for r, g, b, a";
        return false;
    }
    return true;
}

bool WriteImageFile(const std::string& path, int width, int height, const std::vector<BMM_Color_64>& pixels,
                    ImageLayout layout, std::string& error) {
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        error = "cannot write " + path + ": the image is empty";
        return false;
    }
    if (!CheckImageOutput(path, layout, error)) return false;
    ImageFormat format = ImageFormat::Png;
    ImageFormatForPath(path, format, error);

    std::vector<std::uint16_t> samples;
    try {
        if (layout == ImageLayout::Grey) {
            samples.resize(pixels.size());
            for (size_t i = 0; i < pixels.size(); ++i) samples[i] = pixels[i].r;
        } else {
            samples.resize(pixels.size() * 4);
            for (size_t i = 0; i < pixels.size(); ++i) {
                samples[4 * i] = pixels[i].r;
                samples[4 * i + 1] = pixels[i].g;
                samples[4 * i + 2] = pixels[i].b;
                samples[4 * i + 3] = pixels[i].a;
            }
        }
    } catch (const std::bad_alloc&) {
        error = "cannot write " + path + ": out of memory";
        return false;
    }
    const ImageSamples image{width, height, layout == ImageLayout::Grey ? 1 : 4, samples.data()};

    FileReplacement out(path);
    if (!out.Begin(error)) return false;
    std::string why;
    bool ok = false;
    switch (format) {
        case ImageFormat::Png: ok = WritePng(image, out, EncoderThreads(), why); break;
        case ImageFormat::Pgm: ok = WritePgm(image, out, why); break;
        case ImageFormat::Tiff: ok = WriteThroughModule("murkwell-tiff.so", "MurkwellTiffEncoder", image, out, why); break;
        case ImageFormat::Exr: ok = WriteThroughModule("murkwell-exr.so", "MurkwellExrEncoder", image, out, why); break;
    }
    if (!ok) {
        out.Abandon();
        error = "cannot write " + path + ": " + why;
        return false;
    }
    return out.Commit(error);
}
