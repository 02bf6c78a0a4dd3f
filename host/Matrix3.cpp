#include "host/Matrix3.h"

#include <cmath>

void Matrix3::SetAngleAxis(const Point3& axis, float angle) {
    const float c = static_cast<float>(std::cos(static_cast<double>(angle)));
    const float s = static_cast<float>(std::sin(static_cast<double>(angle)));
    const float t = 1.0f - c;
    const float ax = axis.x, ay = axis.y, az = axis.z;
    // R in column-vector form, row by row.
    const float r00 = t * ax * ax + c, r01 = t * ax * ay - s * az, r02 = t * ax * az + s * ay;
    const float r10 = t * ax * ay + s * az, r11 = t * ay * ay + c, r12 = t * ay * az - s * ax;
    const float r20 = t * ax * az - s * ay, r21 = t * ay * az + s * ax, r22 = t * az * az + c;
    // Row-vector storage: p * M = R p, so M is R transposed.
    m[0] = {r00, r10, r20};
    m[1] = {r01, r11, r21};
    m[2] = {r02, r12, r22};
    m[3] = {0.0f, 0.0f, 0.0f};
}

Point3 operator*(const Point3& p, const Matrix3& a) {
    return {p.x * a.m[0].x + p.y * a.m[1].x + p.z * a.m[2].x + a.m[3].x,
            p.x * a.m[0].y + p.y * a.m[1].y + p.z * a.m[2].y + a.m[3].y,
            p.x * a.m[0].z + p.y * a.m[1].z + p.z * a.m[2].z + a.m[3].z};
}

Point3 VectorTransform(const Matrix3& a, const Point3& p) {
    return {p.x * a.m[0].x + p.y * a.m[1].x + p.z * a.m[2].x,
            p.x * a.m[0].y + p.y * a.m[1].y + p.z * a.m[2].y,
            p.x * a.m[0].z + p.y * a.m[1].z + p.z * a.m[2].z};
}

Matrix3 TransposeRotation(const Matrix3& a) {
    Matrix3 r;
    r.m[0] = {a.m[0].x, a.m[1].x, a.m[2].x};
    r.m[1] = {a.m[0].y, a.m[1].y, a.m[2].y};
    r.m[2] = {a.m[0].z, a.m[1].z, a.m[2].z};
    r.m[3] = {0.0f, 0.0f, 0.0f};
    return r;
}

Matrix3 Inverse(const Matrix3& a) {
    const Point3& r0 = a.m[0];
    const Point3& r1 = a.m[1];
    const Point3& r2 = a.m[2];
    // Rows of the inverse of the linear part: cross products of the columns' complements.
    const Point3 c0 = CrossProd(r1, r2);
    const Point3 c1 = CrossProd(r2, r0);
    const Point3 c2 = CrossProd(r0, r1);
    const float det = DotProd(r0, c0);
    Matrix3 inv;
    if (det == 0.0f) {
        inv.IdentityMatrix();
        return inv;
    }
    inv.m[0] = {c0.x / det, c1.x / det, c2.x / det};
    inv.m[1] = {c0.y / det, c1.y / det, c2.y / det};
    inv.m[2] = {c0.z / det, c1.z / det, c2.z / det};
    inv.m[3] = -VectorTransform(inv, a.m[3]);
    return inv;
}
