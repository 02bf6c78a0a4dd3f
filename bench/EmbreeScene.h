// Embree 3 over a mesh's own triangles, for comparison in the benchmarks. Hits are limited to
// front faces by a filter using the same face normals and limit as the exact query, which is as
// close to its rule as Embree allows; distances still come from Embree's own arithmetic.
#pragma once
#include <memory>

#include "host/Mesh.h"
#include "host/Ray.h"
#include "host/Tab.h"

class EmbreeScene {
public:
    // False when Embree is not available in this build.
    static bool Available();
    EmbreeScene(const Mesh& mesh, const Tab<Point3>& faceNormals);
    ~EmbreeScene();
    EmbreeScene(const EmbreeScene&) = delete;
    EmbreeScene& operator=(const EmbreeScene&) = delete;

    // 1 and the distance of the nearest front-facing hit within [0, maxDistance], or 0.
    int Intersect(const Ray& ray, float& hitDistance, float maxDistance) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
