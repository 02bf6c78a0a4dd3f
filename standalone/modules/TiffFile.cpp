// The TIFF writer, built as its own module (murkwell-tiff.so) so that libtiff and the libraries
// it pulls in are loaded only when a TIFF is written.
// 16-bit unsigned samples: one grey channel (min-is-black), or r, g, b and an unassociated alpha;
// Deflate at its fastest level in strips of about 256 KiB, without a predictor (grit maps are
// too noisy at 16 bits for differencing to pay).
#include <tiffio.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "standalone/ImageSamples.h"

namespace {

constexpr size_t kStripBytes = 256 * 1024;

// The file, and the first write error on it (libtiff's own message for it says less).
struct Io {
    std::FILE* file;
    int writeError;
};

std::FILE* FileOf(thandle_t h) { return static_cast<Io*>(h)->file; }

// Keeps errno of the first failure on the file: a buffered write may fail in a later seek or
// flush rather than in the write itself.
void NoteError(thandle_t h) {
    auto* io = static_cast<Io*>(h);
    if (io->writeError == 0 && std::ferror(io->file)) io->writeError = errno ? errno : EIO;
}

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
    return static_cast<tmsize_t>(std::fread(buf, 1, static_cast<size_t>(n), FileOf(h)));
}
tmsize_t WriteProc(thandle_t h, void* buf, tmsize_t n) {
    const size_t written = std::fwrite(buf, 1, static_cast<size_t>(n), FileOf(h));
    NoteError(h);
    return static_cast<tmsize_t>(written);
}
toff_t SeekProc(thandle_t h, toff_t offset, int whence) {
    const int failed = fseeko(FileOf(h), static_cast<off_t>(offset), whence);
    NoteError(h);
    if (failed != 0) return static_cast<toff_t>(-1);
    return static_cast<toff_t>(ftello(FileOf(h)));
}
int CloseProc(thandle_t) { return 0; }  // the file belongs to the caller
toff_t SizeProc(thandle_t h) {
    std::fflush(FileOf(h));
    NoteError(h);
    struct stat st;
    return fstat(fileno(FileOf(h)), &st) == 0 ? static_cast<toff_t>(st.st_size) : 0;
}
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

struct Message {
    char* text;
    size_t size;
};

int OnError(TIFF*, void* user, const char* module, const char* format, va_list args) {
    auto* m = static_cast<Message*>(user);
    if (m->size == 0 || m->text[0] != '\0') return 1;  // keep the first error
    char detail[256];
    std::vsnprintf(detail, sizeof detail, format, args);
    std::snprintf(m->text, m->size, "libtiff: %s%s%s", module ? module : "", module ? ": " : "", detail);
    return 1;
}
int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

bool WriteStrips(TIFF* tif, const ImageSamples& image) {
    const uint16_t channels = static_cast<uint16_t>(image.channels);
    const size_t rowSamples = static_cast<size_t>(image.width) * channels;
    const size_t rowsPerStrip = std::max<size_t>(1, kStripBytes / (2 * rowSamples));
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width)) &&
              TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height)) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16) && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, channels) &&
              TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, channels == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB) &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
              TIFFSetField(tif, TIFFTAG_ZIPQUALITY, 1) &&
              TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(rowsPerStrip));
    if (ok && channels == 4) {
        const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
        ok = TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    // The codec may change the strip buffer in place, so each strip is a copy.
    std::vector<std::uint16_t> strip;
    const size_t height = static_cast<size_t>(image.height);
    for (size_t first = 0, s = 0; ok && first < height; first += rowsPerStrip, ++s) {
        const size_t rows = std::min(rowsPerStrip, height - first);
        strip.assign(image.data + first * rowSamples, image.data + (first + rows) * rowSamples);
        ok = TIFFWriteEncodedStrip(tif, static_cast<uint32_t>(s), strip.data(),
                                   static_cast<tmsize_t>(strip.size() * 2)) >= 0;
    }
    return ok && TIFFWriteDirectory(tif);
}

int EncodeTiff(const ImageSamples* image, std::FILE* out, char* error, std::size_t errorSize) {
    Message message{error, errorSize};
    if (errorSize > 0) error[0] = '\0';
    if (!image || !out || !image->data || image->width <= 0 || image->height <= 0 ||
        (image->channels != 1 && image->channels != 4)) {
        std::snprintf(error, errorSize, "no image to write");
        return 0;
    }
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) {
        std::snprintf(error, errorSize, "out of memory");
        return 0;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &message);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, nullptr);
    Io io{out, 0};
    TIFF* tif = TIFFClientOpenExt("image", "w", &io, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                                  UnmapProc, options);
    bool ok = tif != nullptr;
    try {
        if (ok) ok = WriteStrips(tif, *image);
    } catch (...) {  // the strip copy's allocation
        ok = false;
        std::snprintf(error, errorSize, "out of memory");
    }
    if (tif) TIFFClose(tif);
    TIFFOpenOptionsFree(options);
    if (io.writeError != 0 || std::ferror(out)) {
        ok = false;
        std::snprintf(error, errorSize, "%s", std::strerror(io.writeError ? io.writeError : EIO));
    }
    if (!ok && errorSize > 0 && error[0] == '\0') std::snprintf(error, errorSize, "libtiff failed");
    return ok ? 1 : 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) ImageEncodeFunction MurkwellTiffEncoder(int interfaceVersion) {
    return interfaceVersion == kImageEncoderInterface ? &EncodeTiff : nullptr;
}
