// The hemisphere grit evaluator: a fan of rays around the smoothed normal at one surface sample,
// turned into one value from 0 (open) to just under 1 (crevice).
#include <algorithm>
#include <climits>
#include <cmath>

#include "host/Assert.h"
#include "host/Matrix3.h"
#include "host/Rand.h"
#include "plugin/GritUtility.h"
#include "raycast/IntersectRay.h"

namespace {
constexpr float kDegToRad = 0.017453292f;
// Returned instead of any raw value of 1 or more; raw values just below 1 pass unchanged.
constexpr float kSaturatedGrit = 0.99f;
// Rays cast together: small enough to keep the answers on the stack.
constexpr int kFanPiece = 32;

// (i + 1) * 90 or (j + 1) * 360 as an exact integer, then one rounding to float.
float StepDegrees(int index, int degrees) { return static_cast<float>(static_cast<long long>(index + 1) * degrees); }
}  // namespace

int GritUtility::RayCount() const {
    const int h = settings.horizontalSpread;
    const int v = settings.verticalSpread;
    // Negative spreads (a hand-edited settings file) would make a positive product of loops that
    // never run; they mean no fan, like 0.
    if (h <= 0 || v <= 0) return 1;
    const long long n = static_cast<long long>(h) * v + 1;
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

float GritUtility::EvaluateGrit(const Mesh& mesh, int faceIndex, const Point3& weights, Ray* rayBuffer) {
    // The random azimuth offset. Drawn first, so that every evaluation consumes exactly one
    // number of the thread's sequence, whatever the fan size and even when it returns early.
    float phi0 = 0.0f;
    if (settings.algorithm != ALGORITHM_VERTEX_COLORS) {
        const int r = CrtRand();
        const float phi0Degrees = static_cast<float>((2 * r - 32767) * 45) / 32767.0f;
        phi0 = phi0Degrees * kDegToRad;
    }

    // A distance that is not positive and finite has no meaning (only a hand-edited settings
    // file can produce one): nothing counts as near.
    const float dist = settings.dist;
    if (!(dist > 0.0f) || std::isinf(dist)) return 0.0f;

    if (faceIndex < 0 || faceIndex >= mesh.getNumFaces()) {
        assert1(__LINE__, "IntersectRay");
        return 0.0f;
    }
    const Face& face = mesh.faces[static_cast<size_t>(faceIndex)];
    const DWORD vertCount = static_cast<DWORD>(mesh.getNumVerts());
    if (face.v[0] >= vertCount || face.v[1] >= vertCount || face.v[2] >= vertCount) {
        assert1(__LINE__, "IntersectRay");
        return 0.0f;
    }

    const Point3& c0 = mesh.getVert(static_cast<int>(face.v[0]));
    const Point3& c1 = mesh.getVert(static_cast<int>(face.v[1]));
    const Point3& c2 = mesh.getVert(static_cast<int>(face.v[2]));
    const Point3 origin = (weights.x * c0 + weights.y * c1) + weights.z * c2;

    const Point3 normal = Normalize(vertexNormals.Interpolate(face, weights));
    // Without a direction there is no hemisphere to sample (opposed smooth normals cancelling,
    // or a face whose corners only touch degenerate faces).
    if (!(Length(normal) > 0.0f)) return 0.0f;

    const int rayCount = RayCount();
    rayBuffer[0].p = origin;
    rayBuffer[0].dir = normal;

    if (rayCount > 1) {
        // The rotation that turns the normal onto +Z; its transpose carries the local fan, whose
        // pole is +Z, into the hemisphere around the normal. Opposite +Z the axis is the zero
        // vector and the matrix becomes -I, which still turns +Z onto the normal.
        const Point3 axis = Normalize(CrossProd(normal, ZAxis));
        // |normal.z| <= Length(normal) holds in float (the correctly rounded root of a correctly
        // rounded square gives back |z|, and adding squares only raises it), so the cosine stays
        // within [-1, 1] and acos never sees a value outside its domain.
        const float cosTheta = DotProd(normal, ZAxis) / (Length(normal) * Length(ZAxis));
        const float theta = static_cast<float>(std::acos(static_cast<double>(cosTheta)));
        Matrix3 rotation;
        rotation.SetAngleAxis(axis, theta);
        const Matrix3 toWorld = TransposeRotation(rotation);

        const int h = settings.horizontalSpread;
        const int v = settings.verticalSpread;
        const float ringCount = static_cast<float>(static_cast<long long>(v) + 1);
        const float azimuthSlots = static_cast<float>(static_cast<long long>(h) + 1);
        int k = 1;
        for (int i = 0; i < v && k < rayCount; ++i) {
            const float elevation = StepDegrees(i, 90) / ringCount * kDegToRad;
            const double cosE = std::cos(static_cast<double>(elevation));
            const double sinE = std::sin(static_cast<double>(elevation));
            for (int j = 0; j < h && k < rayCount; ++j, ++k) {
                const float azimuth = StepDegrees(j, 360) / azimuthSlots * kDegToRad + phi0;
                const double cosA = std::cos(static_cast<double>(azimuth));
                const double sinA = std::sin(static_cast<double>(azimuth));
                const Point3 local{static_cast<float>(cosA * cosE), static_cast<float>(sinA * cosE),
                                   static_cast<float>(sinE)};
                rayBuffer[k].p = origin;
                rayBuffer[k].dir = VectorTransform(toWorld, local);
            }
        }
    }

    // Each hit weighs (D - t) / D: 1 at the sample, 0 at the distance limit. The fan is cast a
    // piece at a time (its rays share the origin), and the hits are added in ray order.
    float sum = 0.0f;
    for (int first = 0; first < rayCount; first += kFanPiece) {
        const int count = std::min(kFanPiece, rayCount - first);
        int found[kFanPiece];
        float t[kFanPiece];
        CastFan(mesh, rayBuffer + first, count, dist, found, t);
        for (int k = 0; k < count; ++k) {
            if (found[k]) sum += dist - std::min(t[k], dist);
        }
    }
    // Half the rays hitting at the sample already saturate the value.
    const float value = (2.0f * sum) / (static_cast<float>(rayCount) * dist);
    return value >= 1.0f ? kSaturatedGrit : value;
}
