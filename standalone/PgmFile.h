// Binary PGM files (P5) with 16-bit samples: maxval 65535, each sample most significant byte
// first. One grey channel only.
#pragma once
#include <string>

#include "host/AtomicReplace.h"
#include "standalone/ImageSamples.h"

bool WritePgm(const ImageSamples& image, FileReplacement& out, std::string& error);
