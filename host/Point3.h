// Three single-precision floats: positions, directions, barycentric weights and (u, v, w).
// Every operation is plain float arithmetic evaluated left to right, so that results are the
// same on every build (see the compile options: no contraction, no fast-math).
#pragma once
#include <cmath>

class Point3 {
public:
    float x = 0.0f, y = 0.0f, z = 0.0f;

    constexpr Point3() = default;
    constexpr Point3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

    float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

    constexpr Point3 operator+(const Point3& b) const { return {x + b.x, y + b.y, z + b.z}; }
    constexpr Point3 operator-(const Point3& b) const { return {x - b.x, y - b.y, z - b.z}; }
    constexpr Point3 operator-() const { return {-x, -y, -z}; }
    constexpr Point3 operator*(float s) const { return {x * s, y * s, z * s}; }
    constexpr Point3 operator/(float s) const { return {x / s, y / s, z / s}; }
    Point3& operator+=(const Point3& b) { x += b.x; y += b.y; z += b.z; return *this; }
    Point3& operator-=(const Point3& b) { x -= b.x; y -= b.y; z -= b.z; return *this; }
    Point3& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
    constexpr bool operator==(const Point3& b) const { return x == b.x && y == b.y && z == b.z; }
    constexpr bool operator!=(const Point3& b) const { return !(*this == b); }
};

constexpr Point3 operator*(float s, const Point3& a) { return {s * a.x, s * a.y, s * a.z}; }

inline constexpr Point3 ZAxis{0.0f, 0.0f, 1.0f};

// a.x*b.x + a.y*b.y + a.z*b.z, left to right.
constexpr float DotProd(const Point3& a, const Point3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
constexpr float operator%(const Point3& a, const Point3& b) { return DotProd(a, b); }

constexpr Point3 CrossProd(const Point3& a, const Point3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
constexpr Point3 operator^(const Point3& a, const Point3& b) { return CrossProd(a, b); }

inline float Length(const Point3& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

// Each component divided by the length (a division, not a multiplication by the reciprocal);
// the zero vector stays the zero vector instead of becoming NaN.
inline Point3 Normalize(const Point3& a) {
    const float len = Length(a);
    if (len == 0.0f) return Point3{};
    return {a.x / len, a.y / len, a.z / len};
}

// Index of the largest absolute component; on a tie the first axis wins (x, then y, then z).
inline int MaxComponent(const Point3& a) {
    const float ax = std::fabs(a.x), ay = std::fabs(a.y), az = std::fabs(a.z);
    if (ax >= ay && ax >= az) return 0;
    return ay >= az ? 1 : 2;
}
