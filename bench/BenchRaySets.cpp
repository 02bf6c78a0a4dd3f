#include "BenchRaySets.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>

#include "host/Rand.h"
#include "standalone/ObjScene.h"

namespace {

float BoxDiagonal(const Mesh& mesh) {
    Point3 lo = mesh.verts.empty() ? Point3{} : mesh.verts[0], hi = lo;
    for (const Point3& v : mesh.verts) {
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], v[a]);
            hi[a] = std::max(hi[a], v[a]);
        }
    }
    return Length(hi - lo);
}

}  // namespace

std::unique_ptr<RaySet> MakeRaySet(const std::string& meshFile, FanSamples kind, int horizontal, int vertical,
                                   int samples) {
    const std::filesystem::path path =
        std::filesystem::path(MURKWELL_SOURCE_DIR) / ".." / "shared" / "meshes" / meshFile;
    ObjScene scene;
    std::string error;
    if (!LoadObjScene(path.lexically_normal().string(), scene, error) || scene.objects.empty()) {
        std::fprintf(stderr, "%s: %s\n", meshFile.c_str(), error.empty() ? "no objects" : error.c_str());
        return nullptr;
    }
    auto set = std::make_unique<RaySet>();
    set->name = meshFile;
    set->mesh = std::move(scene.objects[0].mesh);
    set->utility = std::make_unique<GritUtility>();
    GritUtility& utility = *set->utility;
    utility.BuildFaceNormals(set->mesh);
    utility.vertexNormals.Build(set->mesh);
    utility.BuildRayAccelerator(set->mesh);
    set->dist = 0.1f * BoxDiagonal(set->mesh);

    utility.settings.algorithm = kind == FanSamples::kSurface ? ALGORITHM_UV_MAP : ALGORITHM_VERTEX_COLORS;
    utility.settings.horizontalSpread = horizontal;
    utility.settings.verticalSpread = vertical;
    utility.settings.dist = set->dist;
    std::vector<Ray> fan(static_cast<size_t>(utility.RayCount()));
    const int faces = set->mesh.getNumFaces();
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> anyFace(0, faces - 1);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    CrtSrand(1);
    for (int i = 0; i < samples; ++i) {
        int face;
        Point3 weights;
        if (kind == FanSamples::kSurface) {
            face = anyFace(rng);
            float a = u(rng), b = u(rng);
            if (a + b > 1.0f) {
                a = 1.0f - a;
                b = 1.0f - b;
            }
            weights = {1.0f - a - b, a, b};
        } else {
            // Centroids of faces spread evenly over the index range.
            face = static_cast<int>(static_cast<long long>(i) * faces / samples);
            weights = {0.33333334f, 0.33333334f, 0.33333334f};
        }
        // The evaluator lays its fan into the buffer before casting it.
        utility.EvaluateGrit(set->mesh, face, weights, fan.data());
        set->rays.insert(set->rays.end(), fan.begin(), fan.end());
    }
    return set;
}
