// One zlib stream compressed in pieces on several threads. The input is cut into pieces of a
// fixed size, each piece is deflated on its own (ending on a byte boundary, so the pieces join
// into one valid stream) and the checksums are combined. The pieces are cut by size alone, so
// the output is the same bytes whatever the thread count. Starting each piece without the
// previous piece's window costs a fraction of a percent at a quarter megabyte a piece.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct DeflateJob {
    size_t pieces = 0;
    // Fills the uncompressed bytes of piece i (called on a worker thread; `raw` is reused).
    std::function<void(size_t i, std::string& raw)> fill;
    int level = 1;    // zlib level
    int threads = 1;  // at most this many threads, the caller's included
};

// The compressed stream as one string per piece, in order: the first begins with the zlib
// header, the last ends with the checksum; concatenated they are the whole stream. False with
// a reason when zlib fails.
bool DeflateInPieces(const DeflateJob& job, std::vector<std::string>& out, std::string& error);
