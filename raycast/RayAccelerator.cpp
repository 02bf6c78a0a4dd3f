// Building and releasing the accelerated ray query's tables.
#include "raycast/RayAccelerator.h"

#include "raycast/FaceBounds.h"

void RayAccelerator::Build(const Mesh& mesh, const Tab<Point3>& faceNormals, const BvhConfig& config) {
    Release();
    const int faceCount = mesh.getNumFaces();
    const int vertCount = mesh.getNumVerts();
    std::vector<BvhBox> boxes;
    std::vector<std::int32_t> ids;
    boxes.reserve(static_cast<std::size_t>(faceCount));
    ids.reserve(static_cast<std::size_t>(faceCount));
    planeOffsets_.assign(static_cast<std::size_t>(faceCount), 0.0f);
    for (int f = 0; f < faceCount && f < faceNormals.Count(); ++f) {
        const Face& face = mesh.faces[static_cast<std::size_t>(f)];
        const Point3& n = *faceNormals.Addr(f);
        if (face.v[0] >= DWORD(vertCount) || face.v[1] >= DWORD(vertCount) || face.v[2] >= DWORD(vertCount)) {
            // Corners outside the vertex table: leave the face to the per-face test, as the scan
            // does (a run gives such a face a zero normal, which the test rejects first).
            alwaysTested_.push_back(f);
            continue;
        }
        const Point3& c0 = mesh.getVert(int(face.v[0]));
        planeOffsets_[static_cast<std::size_t>(f)] = DotProd(c0, n);
        BvhBox box;
        switch (ConservativeFaceBox(c0, mesh.getVert(int(face.v[1])), mesh.getVert(int(face.v[2])), n, box)) {
            case FaceReach::kNever:
                break;
            case FaceReach::kAnywhere:
                alwaysTested_.push_back(f);
                break;
            case FaceReach::kBounded:
                boxes.push_back(box);
                ids.push_back(f);
                break;
        }
    }
    tree_ = BuildBvh4(boxes, ids, config);
    alwaysTested_.shrink_to_fit();
    faceCount_ = faceCount;
    built_ = true;
}

void RayAccelerator::Release() {
    std::vector<float>().swap(planeOffsets_);
    std::vector<std::int32_t>().swap(alwaysTested_);
    tree_ = Bvh4{};
    faceCount_ = 0;
    built_ = false;
}

bool RayAccelerator::Matches(const Mesh& mesh, const Tab<Point3>& faceNormals) const {
    return built_ && mesh.getNumFaces() == faceCount_ && faceNormals.Count() == faceCount_;
}

std::size_t RayAccelerator::MemoryBytes() const {
    return tree_.MemoryBytes() + planeOffsets_.capacity() * sizeof(float) +
           alwaysTested_.capacity() * sizeof(std::int32_t);
}
