// Generator states that let any number of texel workers produce the map of the classic layout,
// in which one worker takes the even rows and the other the odd rows, each drawing its own
// sequence from seed 1 and visiting its rows in order. Every evaluated texel draws exactly one
// number, so the state a texel sees there depends only on how many texels of its own row parity
// come before it; a worker that starts row y from that state gives every texel of the row the
// draw it gets in the classic layout, whichever thread takes the row and when.
#pragma once
#include <cstdint>
#include <vector>

#include "plugin/WorkerThreads.h"
#include "support/BArray.h"
#include "uvgrit/TexelRecord.h"

// Texels of row y that a worker evaluates: covered by a face the mesh has (0 <= faceIndex <
// faceCount). Coverage naming a face outside the mesh is skipped without an evaluation, so it
// draws nothing.
std::uint64_t EvaluatedTexelsInRow(const BArray<TexelRecord>& texels, int y, int faceCount);

// One state per row: the state at the start of row y is the seed-1 state advanced by the
// evaluated texels of the rows y - 2, y - 4, ... above it. The rows are counted on up to
// `threads` threads.
std::vector<std::uint32_t> TexelRowStartStates(const BArray<TexelRecord>& texels, int faceCount, int threads = 1);
