#include "standalone/PngFile.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "standalone/ParallelDeflate.h"

namespace {

// About this much uncompressed data per compressed piece.
constexpr size_t kPieceBytes = 256 * 1024;

struct PngSink {
    FileReplacement* out = nullptr;
    char message[256] = {};
};

void WriteBytes(png_structp png, png_bytep data, png_size_t size) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    sink->out->Write(data, size);  // a failure is kept by the replacement and reported at commit
}

void FlushBytes(png_structp) {}

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    auto* sink = static_cast<PngSink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message ? message : "libpng failed");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// The file around the compressed image data: signature, header, the data as one chunk per
// piece, end. libpng reports errors by a long jump back into this function, so nothing in its
// frame has a destructor.
bool WriteChunks(png_structp png, png_infop info, const ImageSamples& image, const std::vector<std::string>& data) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 16,
                 image.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    static const png_byte kIdat[5] = "IDAT";
    static const png_byte kIend[5] = "IEND";
    for (size_t i = 0; i < data.size(); ++i)
        png_write_chunk(png, kIdat, reinterpret_cast<png_const_bytep>(data[i].data()), data[i].size());
    png_write_chunk(png, kIend, nullptr, 0);
    return true;
}

}  // namespace

bool WritePng(const ImageSamples& image, FileReplacement& out, int threads, std::string& error) {
    if (image.width <= 0 || image.height <= 0 || (image.channels != 1 && image.channels != 4) || !image.data) {
        error = "no image to write";
        return false;
    }
    // Each row: the filter type byte (0, none), then the samples, most significant byte first.
    const size_t rowSamples = static_cast<size_t>(image.width) * static_cast<size_t>(image.channels);
    const size_t rowBytes = 1 + 2 * rowSamples;
    const size_t rowsPerPiece = std::max<size_t>(1, kPieceBytes / rowBytes);
    const size_t height = static_cast<size_t>(image.height);
    DeflateJob job;
    job.pieces = (height + rowsPerPiece - 1) / rowsPerPiece;
    job.level = 1;
    job.threads = threads;
    job.fill = [&](size_t piece, std::string& raw) {
        const size_t first = piece * rowsPerPiece, last = std::min(height, first + rowsPerPiece);
        raw.resize((last - first) * rowBytes);
        char* p = raw.data();
        for (size_t y = first; y < last; ++y) {
            const std::uint16_t* s = image.data + y * rowSamples;
            *p++ = 0;
            for (size_t k = 0; k < rowSamples; ++k) {
                *p++ = static_cast<char>(s[k] >> 8);
                *p++ = static_cast<char>(s[k] & 0xFF);
            }
        }
    };
    std::vector<std::string> data;
    if (!DeflateInPieces(job, data, error)) return false;

    PngSink sink;
    sink.out = &out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnError, OnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        error = "libpng could not start";
        return false;
    }
    png_set_write_fn(png, &sink, WriteBytes, FlushBytes);
    const bool ok = WriteChunks(png, info, image, data);
    png_destroy_write_struct(&png, &info);
    if (!ok) {
        error = sink.message;
        out.Fail(error);
        return false;
    }
    return true;
}
