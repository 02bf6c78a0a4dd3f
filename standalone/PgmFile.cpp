#include "standalone/PgmFile.h"

#include <vector>

bool WritePgm(const ImageSamples& image, FileReplacement& out, std::string& error) {
    if (image.width <= 0 || image.height <= 0 || image.channels != 1 || !image.data) {
        error = "a PGM file holds one grey channel";
        return false;
    }
    const std::string header =
        "P5\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n65535\n";
    out.Write(header);
    const size_t width = static_cast<size_t>(image.width);
    std::vector<unsigned char> row(2 * width);
    for (size_t y = 0; y < static_cast<size_t>(image.height); ++y) {
        const std::uint16_t* s = image.data + y * width;
        for (size_t x = 0; x < width; ++x) {
            row[2 * x] = static_cast<unsigned char>(s[x] >> 8);
            row[2 * x + 1] = static_cast<unsigned char>(s[x] & 0xFF);
        }
        if (!out.Write(row.data(), row.size())) break;  // the reason is reported at commit
    }
    return true;
}
