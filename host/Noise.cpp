#include "host/Noise.h"

#include <array>
#include <cmath>

// Gradient noise on the integer lattice (Perlin's "improved noise"): every lattice corner carries
// one of twelve edge-direction gradients picked by hashing its coordinates through a fixed
// permutation; a point's value blends the eight corner contributions with a quintic fade, so the
// field is smooth, zero at every lattice point and symmetric about 0. The permutation is a
// constant table and the arithmetic is plain double precision in a fixed order, so the field is
// identical on every build and every thread.
namespace {

constexpr std::array<unsigned char, 256> kPermutation = {
    151, 160, 137, 91,  90,  15,  131, 13,  201, 95,  96,  53,  194, 233, 7,   225, 140, 36,  103, 30,  69,  142,
    8,   99,  37,  240, 21,  10,  23,  190, 6,   148, 247, 120, 234, 75,  0,   26,  197, 62,  94,  252, 219, 203,
    117, 35,  11,  32,  57,  177, 33,  88,  237, 149, 56,  87,  174, 20,  125, 136, 171, 168, 68,  175, 74,  165,
    71,  134, 139, 48,  27,  166, 77,  146, 158, 231, 83,  111, 229, 122, 60,  211, 133, 230, 220, 105, 92,  41,
    55,  46,  245, 40,  244, 102, 143, 54,  65,  25,  63,  161, 1,   216, 80,  73,  209, 76,  132, 187, 208, 89,
    18,  169, 200, 196, 135, 130, 116, 188, 159, 86,  164, 100, 109, 198, 173, 186, 3,   64,  52,  217, 226, 250,
    124, 123, 5,   202, 38,  147, 118, 126, 255, 82,  85,  212, 207, 206, 59,  227, 47,  16,  58,  17,  182, 189,
    28,  42,  223, 183, 170, 213, 119, 248, 152, 2,   44,  154, 163, 70,  221, 153, 101, 155, 167, 43,  172, 9,
    129, 22,  39,  253, 19,  98,  108, 110, 79,  113, 224, 232, 178, 185, 112, 104, 218, 246, 97,  228, 251, 34,
    242, 193, 238, 210, 144, 12,  191, 179, 162, 241, 81,  51,  145, 235, 249, 14,  239, 107, 49,  192, 214, 31,
    181, 199, 106, 157, 184, 84,  204, 176, 115, 121, 50,  45,  127, 4,   150, 254, 138, 236, 205, 93,  222, 114,
    67,  29,  24,  72,  243, 141, 128, 195, 78,  66,  215, 61,  156, 180};

// The permutation indexed modulo 256, so that p(i + 1) needs no wrap at 255.
int Perm(int i) { return kPermutation[static_cast<unsigned>(i) & 255u]; }

double Fade(double t) { return t * t * t * (t * (t * 6.0 - 15.0) + 10.0); }

double Lerp(double t, double a, double b) { return a + t * (b - a); }

// Dot product of (x, y, z) with the gradient chosen by the low four bits of the hash: the twelve
// cube-edge directions, four of them repeated to fill sixteen slots.
double Grad(int hash, double x, double y, double z) {
    const int h = hash & 15;
    const double u = h < 8 ? x : y;
    const double v = h < 4 ? y : (h == 12 || h == 14 ? x : z);
    return ((h & 1) == 0 ? u : -u) + ((h & 2) == 0 ? v : -v);
}

// The lattice cell of one coordinate, modulo 256, without converting a huge value to int (which
// would overflow): fmod is exact.
int LatticeIndex(double cell) {
    double m = std::fmod(cell, 256.0);
    if (m < 0.0) m += 256.0;
    return static_cast<int>(m);
}

}  // namespace

float noise3(const Point3& p) {
    const double px = p.x, py = p.y, pz = p.z;
    // A non-finite point has no lattice cell; the field's neutral value keeps callers' results
    // finite.
    if (!std::isfinite(px) || !std::isfinite(py) || !std::isfinite(pz)) return 0.0f;

    const double cx = std::floor(px), cy = std::floor(py), cz = std::floor(pz);
    const int X = LatticeIndex(cx), Y = LatticeIndex(cy), Z = LatticeIndex(cz);
    const double x = px - cx, y = py - cy, z = pz - cz;
    const double u = Fade(x), v = Fade(y), w = Fade(z);

    const int A = Perm(X) + Y, AA = Perm(A) + Z, AB = Perm(A + 1) + Z;
    const int B = Perm(X + 1) + Y, BA = Perm(B) + Z, BB = Perm(B + 1) + Z;

    const double value =
        Lerp(w,
             Lerp(v, Lerp(u, Grad(Perm(AA), x, y, z), Grad(Perm(BA), x - 1.0, y, z)),
                  Lerp(u, Grad(Perm(AB), x, y - 1.0, z), Grad(Perm(BB), x - 1.0, y - 1.0, z))),
             Lerp(v, Lerp(u, Grad(Perm(AA + 1), x, y, z - 1.0), Grad(Perm(BA + 1), x - 1.0, y, z - 1.0)),
                  Lerp(u, Grad(Perm(AB + 1), x, y - 1.0, z - 1.0), Grad(Perm(BB + 1), x - 1.0, y - 1.0, z - 1.0))));

    // The blend can overshoot 1 slightly in rare corners of a cell; the field promises [-1, 1].
    const float f = static_cast<float>(value);
    return f > 1.0f ? 1.0f : (f < -1.0f ? -1.0f : f);
}
