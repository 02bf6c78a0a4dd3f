// The accelerated ray query: the same answer as the plain scan over every face (IntersectRay),
// bit for bit, found by walking a wide tree of conservative face boxes instead.
//
// The tree only gathers candidates; every candidate goes through the scan's per-face test
// (TestFace), or through the leaf test that repeats its float operations one for one on four faces
// at once (processors with SSE2). The scan's answer is the smallest accepted distance, whatever the face order, so
// the walk may visit faces in any order as long as it never skips a face that the test could
// accept at a distance no greater than the best so far. Two accepted distances that compare equal
// differ in their bits only as +0 and -0; there the scan keeps the later face's, and so does this.
//
// Built once per run after the face normals, read-only while the workers cast rays.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/Mesh.h"
#include "host/Ray.h"
#include "host/Tab.h"
#include "raycast/Bvh.h"

enum class SlotTest { kFour = 0, kEight = 1, kSixteen = 2 };

class RayAccelerator {
public:
    // Builds the tree for `mesh` with its unit face normals (one per face). Replaces any earlier
    // build.
    void Build(const Mesh& mesh, const Tab<Point3>& faceNormals, const BvhConfig& config = {});
    // Frees everything; Built() is false afterwards.
    void Release();

    bool Built() const { return built_; }
    // Whether this build can answer for `mesh` with `faceNormals`: same face count as built.
    bool Matches(const Mesh& mesh, const Tab<Point3>& faceNormals) const;

    // The nearest accepted hit, exactly as IntersectRay(mesh, ray, hitDistance, maxDistance,
    // faceNormals) answers it. `mesh` and `faceNormals` must be those of the build, unchanged.
    // Rays outside what the walk's error bounds cover (non-finite or extreme values) are passed to
    // the plain scan. Allocates nothing.
    int Intersect(const Mesh& mesh, const Ray& ray, float& hitDistance, float maxDistance,
                  const Tab<Point3>& faceNormals) const;

    // The answers for `count` rays that share one origin (the evaluator's fan), each exactly as
    // Intersect answers it: found[k] is 1 or 0, and hitDistance[k] is written only for a hit.
    // What depends only on the origin is checked and computed once for the fan. Rays with
    // differing origins are cast one by one. Allocates nothing.
    void IntersectFan(const Mesh& mesh, const Ray* rays, int count, float maxDistance, const Tab<Point3>& faceNormals,
                      int* found, float* hitDistance) const;

    // Bytes held by the tree and the per-face tables.
    std::size_t MemoryBytes() const;
    int FaceCount() const { return faceCount_; }
    // Faces no box bounds, tested for every ray.
    int UnboundedFaceCount() const { return static_cast<int>(alwaysTested_.size()); }
    const WideBvh& Tree() const { return tree_; }

    // How many of a node's sixteen slots the walk tests in one pass: SSE four at a time, AVX
    // eight, AVX-512 all sixteen. A build picks the widest the processor has; asking for more
    // than it has gives the widest it has. Same answers either way; tests switch to cover them.
    void UseSlotTest(SlotTest width);
    SlotTest UsedSlotTest() const { return slotTest_; }

    // What a leaf's test reads: its four faces (in the tree's leaf order), one array of four per
    // field, so they load as vectors from one place. It holds the per-face test's own operands,
    // computed by the same float operations the test performs, so the leaf test can repeat the
    // test exactly, four faces at a time, without reading the mesh. The inside test drops axis k
    // (the largest component of M = e1 x e2) and keeps axes (i, j) = (y, z), (z, x) or (x, y).
    // Lanes past the last face hold NaN normals, which no test accepts.
    struct alignas(64) FaceBlock {
        float normal[3][4];
        float planeOffset[4];  // c0 . n
        float corner[2][4];    // c0 on axes i and j
        float edge1[2][4];     // e1 = c1 - c0 on axes i and j
        float edge2[2][4];     // e2 = c2 - c0 on axes i and j
        float area[4];         // M_k
        std::uint32_t face[4];  // face number | k << kAxisShift; 0 in unused lanes

        static constexpr int kAxisShift = 30;
        static int Face(std::uint32_t word) { return static_cast<int>(word & ((1u << kAxisShift) - 1)); }
    };
    const FaceBlock* Blocks() const { return blocks_.data(); }
    std::size_t BlockCount() const { return blocks_.size(); }

private:
    // One ray's walk (pad: RayOriginPad of its origin), after the checks that the walk covers it.
    int Cast(const Mesh& mesh, const Ray& ray, float& hitDistance, float maxDistance, const Tab<Point3>& faceNormals,
             float pad) const;

    std::vector<FaceBlock> blocks_;
    std::vector<std::int32_t> alwaysTested_;
    WideBvh tree_;
    int faceCount_ = 0;
    bool built_ = false;
    SlotTest slotTest_ = SlotTest::kFour;
};
