// Fixed ray sets for the ray query benchmarks: the evaluator's own fans on a shared mesh, as a
// run would cast them.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "host/Mesh.h"
#include "host/Ray.h"
#include "plugin/GritUtility.h"

struct RaySet {
    std::string name;
    Mesh mesh;
    std::unique_ptr<GritUtility> utility;  // face normals, vertex normals and the accelerator
    std::vector<Ray> rays;
    float dist = 0.0f;  // every ray's limit: a tenth of the mesh's bounding-box diagonal
};

enum class FanSamples {
    kSurface,    // UV Map mode: random points on the surface, each fan turned by its random offset
    kCentroids,  // Vertex Colors mode: face centroids, no offset
};

// Loads ../shared/meshes/<meshFile>, prepares the run tables, and fills the fans of `samples`
// sample points with `horizontal` x `vertical` rings. Returns null (with a message on stderr)
// when the mesh cannot be read.
std::unique_ptr<RaySet> MakeRaySet(const std::string& meshFile, FanSamples kind, int horizontal, int vertical,
                                   int samples);
