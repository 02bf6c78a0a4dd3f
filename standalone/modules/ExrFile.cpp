// The OpenEXR writer, built as its own module (murkwell-exr.so) so that OpenEXR and the libraries
// it pulls in are loaded only when an EXR is written.
// 32-bit float samples, each the 16-bit value / 65535 (half floats would lose 16-bit steps): one
// luminance channel "Y", or "R", "G", "B", "A"; ZIP compression, scan lines converted in batches
// so that a large map is never held as floats whole.
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfIO.h>
#include <OpenEXR/ImfOutputFile.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <vector>

#include "standalone/ImageSamples.h"

namespace {

constexpr int kBatchRows = 64;  // a multiple of the 16 scan lines ZIP compresses together

// The caller's file as an OpenEXR stream; the first error is kept, since the last writes happen
// in the output file's destructor, which swallows exceptions.
class FileStream : public Imf::OStream {
public:
    explicit FileStream(std::FILE* f) : Imf::OStream("image"), f_(f) {}
    void write(const char c[], int n) override {
        if (n > 0 && std::fwrite(c, 1, static_cast<size_t>(n), f_) != static_cast<size_t>(n)) Failed();
    }
    uint64_t tellp() override {
        const off_t p = ftello(f_);
        if (p < 0) Failed();
        return static_cast<uint64_t>(p);
    }
    void seekp(uint64_t pos) override {
        if (fseeko(f_, static_cast<off_t>(pos), SEEK_SET) != 0) Failed();
    }
    int Error() const { return error_; }

private:
    [[noreturn]] void Failed() {
        if (error_ == 0) error_ = errno ? errno : EIO;
        throw std::runtime_error(std::strerror(error_));
    }
    std::FILE* f_;
    int error_ = 0;
};

void WriteScanLines(const ImageSamples& image, FileStream& stream) {
    static const char* const kGrey[] = {"Y"};
    static const char* const kRgba[] = {"R", "G", "B", "A"};
    const char* const* names = image.channels == 1 ? kGrey : kRgba;
    const size_t channels = static_cast<size_t>(image.channels);
    const size_t width = static_cast<size_t>(image.width);

    Imf::Header header(image.width, image.height);
    header.compression() = Imf::ZIP_COMPRESSION;
    for (size_t c = 0; c < channels; ++c) header.channels().insert(names[c], Imf::Channel(Imf::FLOAT));
    Imf::OutputFile file(stream, header);

    std::vector<float> batch(width * channels * kBatchRows);
    const size_t xStride = sizeof(float) * channels, yStride = xStride * width;
    for (int first = 0; first < image.height; first += kBatchRows) {
        const int rows = std::min(kBatchRows, image.height - first);
        const std::uint16_t* s = image.data + static_cast<size_t>(first) * width * channels;
        for (size_t k = 0; k < static_cast<size_t>(rows) * width * channels; ++k)
            batch[k] = static_cast<float>(s[k]) / 65535.0f;
        // The slices address the batch as if it held the whole image (OpenEXR finds scan line y
        // at base + y * yStride).
        char* base = reinterpret_cast<char*>(batch.data()) - static_cast<std::ptrdiff_t>(first) * static_cast<std::ptrdiff_t>(yStride);
        Imf::FrameBuffer frame;
        for (size_t c = 0; c < channels; ++c)
            frame.insert(names[c], Imf::Slice(Imf::FLOAT, base + c * sizeof(float), xStride, yStride));
        file.setFrameBuffer(frame);
        file.writePixels(rows);
    }
}

int EncodeExr(const ImageSamples* image, std::FILE* out, char* error, std::size_t errorSize) {
    if (errorSize > 0) error[0] = '\0';
    if (!image || !out || !image->data || image->width <= 0 || image->height <= 0 ||
        (image->channels != 1 && image->channels != 4)) {
        std::snprintf(error, errorSize, "no image to write");
        return 0;
    }
    FileStream stream(out);
    try {
        WriteScanLines(*image, stream);
    } catch (const std::exception& e) {
        std::snprintf(error, errorSize, "%s", stream.Error() ? std::strerror(stream.Error()) : e.what());
        return 0;
    } catch (...) {
        std::snprintf(error, errorSize, "OpenEXR failed");
        return 0;
    }
    if (stream.Error() || std::ferror(out)) {
        std::snprintf(error, errorSize, "%s", std::strerror(stream.Error() ? stream.Error() : EIO));
        return 0;
    }
    return 1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) ImageEncodeFunction MurkwellExrEncoder(int interfaceVersion) {
    return interfaceVersion == kImageEncoderInterface ? &EncodeExr : nullptr;
}
