// Differential checking of the accelerated ray query against the plain scan, and the ray sets
// the accelerated-query tests share.
#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "host/Mesh.h"
#include "host/Ray.h"
#include "host/Tab.h"
#include "plugin/GritUtility.h"
#include "raycast/RayAccelerator.h"

struct RayCase {
    Ray ray;
    float maxDistance = 1.0f;
};

// A mesh with its run tables (face normals, vertex normals, accelerator), built as a run builds
// them, and copies of the accelerator that test node slots four and (where the processor can)
// eight at a time.
class PreparedMesh {
public:
    explicit PreparedMesh(Mesh m);
    Mesh mesh;
    GritUtility utility;  // faceNormals, vertexNormals, rayAccelerator
    RayAccelerator fourWide;
    RayAccelerator eightWide;
    const Tab<Point3>& Normals() const { return utility.faceNormals; }
    const RayAccelerator& Accelerator() const { return utility.rayAccelerator; }
};

struct DiffReport {
    int rays = 0;
    int hits = 0;        // rays the scan reports a hit for
    int mismatches = 0;  // rays whose found flag or distance bits differ
    std::string firstMismatches;  // up to a few, described
};

// Casts every case through the scan and the accelerated query (every slot test, one ray at a time
// and as fans: runs of cases with one origin and limit together) and compares the found flag and
// the distance's bits.
DiffReport CompareQueries(const PreparedMesh& prepared, const std::vector<RayCase>& cases);
// Expects no mismatch, and at least minHits hits, so that the comparison means something.
void ExpectSameAnswers(const PreparedMesh& prepared, const std::vector<RayCase>& cases, int minHits);

// Bits of a float, so +0 and -0 (and every other pair) are told apart.
std::uint32_t FloatBits(float v);
Ray MakeRay(const Point3& p, const Point3& d);
Point3 UnitDirection(std::mt19937& rng);
Point3 RandomPointOnFace(const Mesh& mesh, int face, std::mt19937& rng);

// Ray sets over a mesh (deterministic for a given seed).
// Origins anywhere in the mesh's box grown by half its size, most aimed near the surface, some
// in any direction; limits up to the diagonal.
std::vector<RayCase> RandomRays(const Mesh& mesh, int count, unsigned seed);
// From random points on the surface, any direction, limit `limit`.
std::vector<RayCase> SurfaceRays(const Mesh& mesh, int count, float limit, unsigned seed);
// Aimed exactly at corners and at points on edges, from random origins, and along edges from
// corners; limits up to the diagonal.
std::vector<RayCase> EdgeAndCornerRays(const Mesh& mesh, int count, unsigned seed);
// The evaluator's own fans at random surface samples (UV mode, so each fan is turned by its own
// random offset): every ray of each fan with the run's distance limit `dist`.
std::vector<RayCase> FanRays(PreparedMesh& prepared, int samples, int horizontal, int vertical, float dist,
                             unsigned seed);
// Each case again with the limit set exactly to the scan's hit distance, and to the floats just
// below and above it (only cases the scan hits).
std::vector<RayCase> LimitAtHitRays(const PreparedMesh& prepared, const std::vector<RayCase>& cases);

float BoxDiagonal(const Mesh& mesh);
