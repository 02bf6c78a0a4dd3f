// How the evaluator's rays are cast: the accelerated query when a run has built it, otherwise the
// plain scan. Both give the same answer; the scan stays as the reference.
#include "plugin/GritUtility.h"
#include "raycast/IntersectRay.h"

int GritUtility::CastRay(const Mesh& mesh, const Ray& ray, float& hitDistance, float maxDistance) const {
    if (!engine.reference && rayAccelerator.Matches(mesh, faceNormals)) {
        return rayAccelerator.Intersect(mesh, ray, hitDistance, maxDistance, faceNormals);
    }
    return IntersectRay(mesh, ray, hitDistance, maxDistance, faceNormals);
}

void GritUtility::CastFan(const Mesh& mesh, const Ray* rays, int count, float maxDistance, int* found,
                          float* hitDistance) const {
    if (!engine.reference && rayAccelerator.Matches(mesh, faceNormals)) {
        rayAccelerator.IntersectFan(mesh, rays, count, maxDistance, faceNormals, found, hitDistance);
        return;
    }
    for (int k = 0; k < count; ++k) found[k] = IntersectRay(mesh, rays[k], hitDistance[k], maxDistance, faceNormals);
}

void GritUtility::BuildRayAccelerator(const Mesh& mesh) {
    if (engine.reference) {
        rayAccelerator.Release();
        return;
    }
    BvhConfig config;
    config.threads = engine.threads;  // the same tree for any count, built faster on more
    rayAccelerator.Build(mesh, faceNormals, config);
}

void GritUtility::ReleaseRayAccelerator() { rayAccelerator.Release(); }
