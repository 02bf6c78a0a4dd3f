#include "standalone/ImageFile.h"

#include <OpenImageIO/imageio.h>

#include <cstdio>
#include <filesystem>

#include "standalone/AtomicFile.h"

namespace {

std::string OiioMessage(const std::string& fallback) {
    std::string m = OIIO::geterror();  // also clears it
    while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
    return m.empty() ? fallback : m;
}

bool IsFloatFormat(const std::string& format) { return format == "openexr" || format == "hdr"; }

}  // namespace

bool ImageFormatForPath(const std::string& path, std::string& formatName, std::string& error) {
    const std::string ext = std::filesystem::path(path).extension().string();
    if (ext.empty() || ext == ".") {
        error = "the output file " + path + " has no extension to choose an image format by (e.g. .png, .tif, .exr)";
        return false;
    }
    auto out = OIIO::ImageOutput::create(path);
    if (!out) {
        OiioMessage("");
        error = "cannot write images of type \"" + ext + "\" (" + path + "); use e.g. .png, .tif or .exr";
        return false;
    }
    formatName = out->format_name();
    return true;
}

bool WriteImageFile(const std::string& path, int width, int height, const std::vector<BMM_Color_64>& pixels,
                    std::string& error) {
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        error = "cannot write " + path + ": the image is empty";
        return false;
    }
    auto out = OIIO::ImageOutput::create(path);
    if (!out) {
        error = "cannot write " + path + ": " + OiioMessage("no writer for this file type");
        return false;
    }
    const std::string format = out->format_name();
    const bool asFloat = IsFloatFormat(format);
    const int channels = out->supports("alpha") ? 4 : 3;
    OIIO::ImageSpec layout(width, height, channels, asFloat ? OIIO::TypeDesc::FLOAT : OIIO::TypeDesc::UINT16);
    if (channels == 4) layout.alpha_channel = 3;

    // The pixels in the layout handed to the writer.
    const size_t count = pixels.size();
    std::vector<std::uint16_t> ints;
    std::vector<float> floats;
    if (asFloat)
        floats.reserve(count * static_cast<size_t>(channels));
    else
        ints.reserve(count * static_cast<size_t>(channels));
    for (const BMM_Color_64& p : pixels) {
        const std::uint16_t c[4] = {p.r, p.g, p.b, p.a};
        for (int k = 0; k < channels; ++k) {
            if (asFloat)
                floats.push_back(static_cast<float>(c[k]) / 65535.0f);
            else
                ints.push_back(c[k]);
        }
    }

    const std::string temp = TempPathBeside(path);
    bool ok = out->open(temp, layout);
    if (ok)
        ok = asFloat ? out->write_image(OIIO::TypeDesc::FLOAT, floats.data())
                     : out->write_image(OIIO::TypeDesc::UINT16, ints.data());
    if (!out->close()) ok = false;
    if (!ok) {
        std::string reason = out->geterror();
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
        error = "cannot write " + path + ": " + (reason.empty() ? OiioMessage("write failed") : reason);
        OiioMessage("");
        std::remove(temp.c_str());
        return false;
    }
    return CommitTempFile(temp, path, error);
}
