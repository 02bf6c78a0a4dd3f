// The two passes the UV run makes over the finished value grid on its own thread: lifting
// isolated dark texels to their bright neighbours on the same face, and growing the covered
// areas by one texel so that texture filtering across a UV seam does not pull in black.
#include <algorithm>
#include <cmath>

#include "plugin/GritUtility.h"

namespace {
constexpr float kSpeckleAtMost = 0.1f;
constexpr float kBrightAtLeast = 0.8f;

// The clamped 3 x 3 neighbourhood of (x, y), the texel itself included.
struct Neighbourhood {
    int x0, x1, y0, y1;
    Neighbourhood(int x, int y, int width, int height)
        : x0(std::max(x - 1, 0)), x1(std::min(x + 1, width - 1)), y0(std::max(y - 1, 0)), y1(std::min(y + 1, height - 1)) {}
};
}  // namespace

void GritUtility::RepairSpeckles() {
    const int width = static_cast<int>(texels.ColumnCount());
    const int height = static_cast<int>(texels.RowCount());

    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const TexelRecord record = texels.Get(x, y);
            const float value = gritValues.Get(x, y);
            if (record.faceIndex == -1 || !(value <= kSpeckleAtMost)) continue;

            const Neighbourhood n(x, y, width, height);
            int bright = 0;
            float brightest = 0.0f;
            for (int ny = n.y0; ny <= n.y1; ++ny) {
                for (int nx = n.x0; nx <= n.x1; ++nx) {
                    if (texels.Get(nx, ny).faceIndex != record.faceIndex) continue;
                    const float v = gritValues.Get(nx, ny);
                    if (!(v >= kBrightAtLeast)) continue;
                    ++bright;
                    if (v > brightest) brightest = v;
                }
            }
            // Stored negated for the rest of the pass: a repaired texel was at most 0.1 and
            // must not count as a bright neighbour of the texels visited after it.
            if (bright >= 1) gritValues.Set(x, y, -brightest);
        }
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) gritValues.Set(x, y, std::fabs(gritValues.Get(x, y)));
}

void GritUtility::DilateCoverage() {
    const int width = static_cast<int>(texels.ColumnCount());
    const int height = static_cast<int>(texels.RowCount());

    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (texels.Get(x, y).faceIndex != -1) continue;

            const Neighbourhood n(x, y, width, height);
            int covered = 0;
            float largest = 0.0f;
            for (int ny = n.y0; ny <= n.y1; ++ny) {
                for (int nx = n.x0; nx <= n.x1; ++nx) {
                    if (texels.Get(nx, ny).faceIndex == -1) continue;
                    ++covered;
                    const float v = gritValues.Get(nx, ny);
                    if (v > largest) largest = v;
                }
            }
            // Only uncovered texels change and only covered ones are read, so the visiting
            // order does not matter; the coverage itself stays as it is.
            if (covered >= 1) gritValues.Set(x, y, largest);
        }
    }
}
