// A 4 x 3 transform in the row-vector convention: a point p is carried to p * M, rows 0..2 hold
// the linear part and row 3 the translation.
#pragma once
#include "host/Point3.h"

class Matrix3 {
public:
    Point3 m[4];  // rows

    Matrix3() { IdentityMatrix(); }

    void IdentityMatrix() {
        m[0] = {1.0f, 0.0f, 0.0f};
        m[1] = {0.0f, 1.0f, 0.0f};
        m[2] = {0.0f, 0.0f, 1.0f};
        m[3] = {0.0f, 0.0f, 0.0f};
    }

    Point3& operator[](int row) { return m[row]; }
    const Point3& operator[](int row) const { return m[row]; }

    // Rotation by `angle` radians about the unit `axis`, right-handed, no translation. The
    // Rodrigues terms are formed in float from c = cos(angle), s = sin(angle) (double cos and
    // sin rounded once) and t = 1 - c, so that p * M equals R p for the column-vector matrix R.
    void SetAngleAxis(const Point3& axis, float angle);
};

// p * M including the translation row.
Point3 operator*(const Point3& p, const Matrix3& a);

// p * M without the translation: for directions. Each component is a left-to-right sum of three
// products.
Point3 VectorTransform(const Matrix3& a, const Point3& p);

// General inverse of an affine transform (linear part by cofactors). For a pure rotation use
// TransposeRotation, which gives the inverse exactly.
Matrix3 Inverse(const Matrix3& a);

// The inverse of a rotation matrix: its transpose, exact to the bit.
Matrix3 TransposeRotation(const Matrix3& a);
