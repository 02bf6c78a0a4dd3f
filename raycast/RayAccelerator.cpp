// Building and releasing the accelerated ray query's tables.
#include "raycast/RayAccelerator.h"

#include <cmath>

#include "raycast/FaceBounds.h"

void RayAccelerator::Build(const Mesh& mesh, const Tab<Point3>& faceNormals, const BvhConfig& config) {
    Release();
    const int faceCount = mesh.getNumFaces();
    const int vertCount = mesh.getNumVerts();
    std::vector<BvhBox> boxes;
    std::vector<std::int32_t> bounded;
    for (int f = 0; f < faceCount && f < faceNormals.Count(); ++f) {
        const Face& face = mesh.faces[static_cast<std::size_t>(f)];
        if (face.v[0] >= DWORD(vertCount) || face.v[1] >= DWORD(vertCount) || face.v[2] >= DWORD(vertCount)) {
            // Corners outside the vertex table: leave the face to the per-face test, as the scan
            // does (a run gives such a face a zero normal, which the test rejects first).
            alwaysTested_.push_back(f);
            continue;
        }
        BvhBox box;
        switch (ConservativeFaceBox(mesh.getVert(int(face.v[0])), mesh.getVert(int(face.v[1])),
                                    mesh.getVert(int(face.v[2])), *faceNormals.Addr(f), box)) {
            case FaceReach::kNever:
                break;
            case FaceReach::kAnywhere:
                alwaysTested_.push_back(f);
                break;
            case FaceReach::kBounded:
                boxes.push_back(box);
                bounded.push_back(f);
                break;
        }
    }
    tree_ = BuildBvh4(boxes, config);

    // Lay the faces out in leaf order; the order itself is not needed afterwards.
    boundedCount_ = static_cast<int>(bounded.size());
    stride_ = bounded.size() + (kBvhMaxLeafSize - 1);
    fields_.assign(stride_ * kFieldCount, NAN);
    faces_.assign(stride_, -1);
    for (std::size_t i = 0; i < tree_.order.size(); ++i) {
        const std::size_t item = static_cast<std::size_t>(tree_.order[i]);
        const int f = bounded[item];
        const Point3& n = *faceNormals.Addr(f);
        const Point3& c0 = mesh.getVert(int(mesh.faces[static_cast<std::size_t>(f)].v[0]));
        const float values[kFieldCount] = {n.x, n.y, n.z, DotProd(c0, n), boxes[item].lo[0], boxes[item].lo[1],
                                           boxes[item].lo[2], boxes[item].hi[0], boxes[item].hi[1], boxes[item].hi[2]};
        for (int k = 0; k < kFieldCount; ++k) fields_[static_cast<std::size_t>(k) * stride_ + i] = values[k];
        faces_[i] = f;
    }
    std::vector<std::int32_t>().swap(tree_.order);
    alwaysTested_.shrink_to_fit();
    faceCount_ = faceCount;
    built_ = true;
}

void RayAccelerator::Release() {
    std::vector<float>().swap(fields_);
    std::vector<std::int32_t>().swap(faces_);
    std::vector<std::int32_t>().swap(alwaysTested_);
    tree_ = Bvh4{};
    stride_ = 0;
    boundedCount_ = 0;
    faceCount_ = 0;
    built_ = false;
}

bool RayAccelerator::Matches(const Mesh& mesh, const Tab<Point3>& faceNormals) const {
    return built_ && mesh.getNumFaces() == faceCount_ && faceNormals.Count() == faceCount_;
}

std::size_t RayAccelerator::MemoryBytes() const {
    return tree_.MemoryBytes() + fields_.capacity() * sizeof(float) + faces_.capacity() * sizeof(std::int32_t) +
           alwaysTested_.capacity() * sizeof(std::int32_t);
}
