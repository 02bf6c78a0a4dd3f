// 16-bit PNG files: one grey channel (colour type 0) or r, g, b, a (colour type 6).
// Grit maps are noisy at 16 bits, so PNG's row filters make them larger, not smaller, and zlib's
// default level takes four times as long as its fastest for files 5-10 % smaller: rows are
// written unfiltered at the fastest level, compressed in pieces on several threads.
#pragma once
#include <string>

#include "host/AtomicReplace.h"
#include "standalone/ImageSamples.h"

// Writes the whole file to `out`. `threads` bounds the threads used (the file's bytes do not
// depend on it).
bool WritePng(const ImageSamples& image, FileReplacement& out, int threads, std::string& error);
