#include "uvgrit/TexelRowStates.h"

#include "host/Rand.h"

std::uint64_t EvaluatedTexelsInRow(const BArray<TexelRecord>& texels, int y, int faceCount) {
    const unsigned width = texels.ColumnCount();
    std::uint64_t n = 0;
    for (unsigned x = 0; x < width; ++x) {
        const int face = texels.At(x, static_cast<unsigned>(y)).faceIndex;
        if (face >= 0 && face < faceCount) ++n;
    }
    return n;
}

std::vector<std::uint32_t> TexelRowStartStates(const BArray<TexelRecord>& texels, int faceCount) {
    const int height = static_cast<int>(texels.RowCount());
    std::vector<std::uint32_t> states(static_cast<std::size_t>(height), 1u);
    // Each parity is its own sequence from seed 1: a row continues where the row two above it
    // left off.
    for (int y = 2; y < height; ++y) {
        const std::size_t above = static_cast<std::size_t>(y - 2);
        states[static_cast<std::size_t>(y)] = CrtRandJump(states[above], EvaluatedTexelsInRow(texels, y - 2, faceCount));
    }
    return states;
}
