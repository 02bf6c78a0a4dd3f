// The progress bar of the Vertex Colors run: the worker phase fills 0 ... 90 %, the colour
// write-back 90 ... 99 %.
#pragma once

// The worker phase's percentage for the pool's progress fraction, truncated towards zero.
inline int WorkerPhasePercent(float progress) { return static_cast<int>(progress * 90.0); }

// The write-back's percentage at colour-vertex index `index` of `count` (count > 0), in integer
// arithmetic wide enough for any index.
inline int WriteBackPercent(int index, int count) {
    return 90 + static_cast<int>((static_cast<long long>(index) * 10) / count);
}

// The write-back shows its progress at every index that is a multiple of this.
inline constexpr int kWriteBackProgressStride = 100;
