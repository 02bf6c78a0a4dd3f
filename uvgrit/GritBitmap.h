// Grey levels of the grit bitmap.
#pragma once
#include <cstdint>

// The 16-bit grey level of a grit value: trunc(double(v) x 65535.0), clamped to 0 ... 65535
// (NaN gives 0). 0 is black, 0.5 gives 32767, 1.0 gives 65535.
std::uint16_t GreyLevel(float v);
