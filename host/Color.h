// A pixel of the host's bitmaps: four 16-bit unsigned channels in the order r, g, b, a.
#pragma once
#include <cstdint>

struct BMM_Color_64 {
    std::uint16_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const BMM_Color_64& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};
