// The two passes the UV run makes over the finished value grid: lifting isolated dark texels to
// their bright neighbours on the same face, and growing the covered areas by one texel so that
// texture filtering across a UV seam does not pull in black. Neither pass depends on the order in
// which it visits the texels, so both share the rows out over the run's threads in bands.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "plugin/GritUtility.h"
#include "plugin/WorkerThreads.h"

namespace {
constexpr float kSpeckleAtMost = 0.1f;
constexpr float kBrightAtLeast = 0.8f;
constexpr int kMinRowsPerBand = 16;

// The clamped 3 x 3 neighbourhood of (x, y), the texel itself included.
struct Neighbourhood {
    int x0, x1, y0, y1;
    Neighbourhood(int x, int y, int width, int height)
        : x0(std::max(x - 1, 0)), x1(std::min(x + 1, width - 1)), y0(std::max(y - 1, 0)), y1(std::min(y + 1, height - 1)) {}
};

// Rows shared out in bands, a few per thread.
struct RowBands {
    int height;
    int count;
    RowBands(int rows, int requestedThreads) : height(rows) {
        const int threads = RunWorkerThreads(requestedThreads, ChunkCount(rows, kMinRowsPerBand));
        count = threads > 1 ? std::min(rows, 4 * threads) : (rows > 0 ? 1 : 0);
    }
    int First(std::int64_t band) const { return static_cast<int>(static_cast<std::int64_t>(height) * band / count); }
    int End(std::int64_t band) const { return First(band + 1); }
    int Threads(int requested) const { return RunWorkerThreads(requested, count); }
};

// The largest value >= 0.8 among the neighbours of (x, y) on `face`, and how many there are.
int BrightNeighbours(const BArray<TexelRecord>& texels, const BArray<float>& values, int x, int y, int width, int height,
                     int face, float& brightest) {
    const Neighbourhood n(x, y, width, height);
    int bright = 0;
    brightest = 0.0f;
    for (int ny = n.y0; ny <= n.y1; ++ny) {
        for (int nx = n.x0; nx <= n.x1; ++nx) {
            if (texels.At(unsigned(nx), unsigned(ny)).faceIndex != face) continue;
            const float v = values.At(unsigned(nx), unsigned(ny));
            if (!(v >= kBrightAtLeast)) continue;
            ++bright;
            if (v > brightest) brightest = v;
        }
    }
    return bright;
}
}  // namespace

void GritUtility::RepairSpeckles() {
    const int width = static_cast<int>(texels.ColumnCount());
    const int height = static_cast<int>(texels.RowCount());
    if (width < 1 || height < 1 || gritValues.ColumnCount() != texels.ColumnCount() ||
        gritValues.RowCount() != texels.RowCount()) {
        if (width >= 1 && height >= 1) assert1(__LINE__, "BArray");  // grids of different shapes
        return;
    }
    const RowBands bands(height, engine.threads);

    // A repaired texel was at most 0.1 and is negative until the end of the pass, so it never
    // counts as a bright neighbour: whether a neighbour has been repaired yet makes no
    // difference. Inside a band the texels are repaired in place; the band's first and last rows
    // are read by the neighbouring bands as well, so their repairs wait until every band is done.
    struct Deferred {
        int x, y;
        float value;
    };
    std::vector<std::vector<Deferred>> deferred(static_cast<std::size_t>(bands.count));
    RunPhase({bands.Threads(engine.threads), {}}, bands.count, [&](std::int64_t band) {
        const int first = bands.First(band), end = bands.End(band);
        std::vector<Deferred>& edge = deferred[static_cast<std::size_t>(band)];
        for (int x = 0; x < width; ++x) {
            for (int y = first; y < end; ++y) {
                const int face = texels.At(unsigned(x), unsigned(y)).faceIndex;
                if (face == -1 || !(gritValues.At(unsigned(x), unsigned(y)) <= kSpeckleAtMost)) continue;
                float brightest = 0.0f;
                if (BrightNeighbours(texels, gritValues, x, y, width, height, face, brightest) < 1) continue;
                if (y == first || y == end - 1)
                    edge.push_back({x, y, -brightest});
                else
                    gritValues.At(unsigned(x), unsigned(y)) = -brightest;
            }
        }
    });
    for (const auto& edge : deferred)
        for (const Deferred& d : edge) gritValues.At(unsigned(d.x), unsigned(d.y)) = d.value;

    RunPhase({bands.Threads(engine.threads), {}}, bands.count, [&](std::int64_t band) {
        const int first = bands.First(band), end = bands.End(band);
        for (int x = 0; x < width; ++x)
            for (int y = first; y < end; ++y) {
                float& v = gritValues.At(unsigned(x), unsigned(y));
                v = std::fabs(v);
            }
    });
}

void GritUtility::DilateCoverage() {
    const int width = static_cast<int>(texels.ColumnCount());
    const int height = static_cast<int>(texels.RowCount());
    if (width < 1 || height < 1 || gritValues.ColumnCount() != texels.ColumnCount() ||
        gritValues.RowCount() != texels.RowCount()) {
        if (width >= 1 && height >= 1) assert1(__LINE__, "BArray");  // grids of different shapes
        return;
    }
    const RowBands bands(height, engine.threads);

    // Only uncovered texels change and only covered ones are read, so no band reads what another
    // writes and the visiting order does not matter; the coverage itself stays as it is.
    RunPhase({bands.Threads(engine.threads), {}}, bands.count, [&](std::int64_t band) {
        const int first = bands.First(band), end = bands.End(band);
        for (int x = 0; x < width; ++x) {
            for (int y = first; y < end; ++y) {
                if (texels.At(unsigned(x), unsigned(y)).faceIndex != -1) continue;
                const Neighbourhood n(x, y, width, height);
                int covered = 0;
                float largest = 0.0f;
                for (int ny = n.y0; ny <= n.y1; ++ny) {
                    for (int nx = n.x0; nx <= n.x1; ++nx) {
                        if (texels.At(unsigned(nx), unsigned(ny)).faceIndex == -1) continue;
                        ++covered;
                        const float v = gritValues.At(unsigned(nx), unsigned(ny));
                        if (v > largest) largest = v;
                    }
                }
                if (covered >= 1) gritValues.At(unsigned(x), unsigned(y)) = largest;
            }
        }
    });
}
