#include "uvgrit/TexelRowStates.h"

#include <algorithm>

#include "host/Rand.h"

namespace {
constexpr std::int64_t kRowsPerChunk = 64;

bool Evaluated(const TexelRecord& r, int faceCount) { return r.faceIndex >= 0 && r.faceIndex < faceCount; }
}  // namespace

std::uint64_t EvaluatedTexelsInRow(const BArray<TexelRecord>& texels, int y, int faceCount) {
    const unsigned width = texels.ColumnCount();
    std::uint64_t n = 0;
    for (unsigned x = 0; x < width; ++x) n += Evaluated(texels.At(x, static_cast<unsigned>(y)), faceCount) ? 1 : 0;
    return n;
}

std::vector<std::uint32_t> TexelRowStartStates(const BArray<TexelRecord>& texels, int faceCount, int threads) {
    const int height = static_cast<int>(texels.RowCount());
    const unsigned width = texels.ColumnCount();
    // The counts of a few rows at a time, column by column: the grid is stored by columns.
    std::vector<std::uint64_t> counts(static_cast<std::size_t>(height), 0);
    const std::int64_t chunks = ChunkCount(height, kRowsPerChunk);
    RunPhase({RunWorkerThreads(threads, chunks), {}}, chunks, [&](std::int64_t chunk) {
        const unsigned first = static_cast<unsigned>(chunk * kRowsPerChunk);
        const unsigned last = static_cast<unsigned>(std::min<std::int64_t>((chunk + 1) * kRowsPerChunk, height));
        for (unsigned x = 0; x < width; ++x)
            for (unsigned y = first; y < last; ++y) counts[y] += Evaluated(texels.At(x, y), faceCount) ? 1 : 0;
    });

    std::vector<std::uint32_t> states(static_cast<std::size_t>(height), 1u);
    // Each parity is its own sequence from seed 1: a row continues where the row two above it
    // left off.
    for (int y = 2; y < height; ++y) {
        const std::size_t above = static_cast<std::size_t>(y - 2);
        states[static_cast<std::size_t>(y)] = CrtRandJump(states[above], counts[above]);
    }
    return states;
}
