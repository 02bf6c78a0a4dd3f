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
    // Leaf slots address faces by position in 29 bits; a mesh beyond that keeps the plain scan.
    if (boxes.size() >= (std::size_t{1} << 29)) {
        Release();
        return;
    }

    // Leaves of exactly four faces (the last one excepted) line up with the blocks.
    BvhConfig treeConfig = config;
    treeConfig.maxLeafSize = 4;
    tree_ = BuildWideBvh(boxes, treeConfig);

    // Lay the faces out in leaf order; the order itself is not needed afterwards.
    blocks_.resize((bounded.size() + 3) / 4);
    for (FaceBlock& b : blocks_) {
        for (int lane = 0; lane < 4; ++lane) {
            for (int a = 0; a < 3; ++a) b.normal[a][lane] = b.lo[a][lane] = b.hi[a][lane] = NAN;
            b.planeOffset[lane] = NAN;
            b.face[lane] = -1;
        }
    }
    for (std::size_t i = 0; i < tree_.order.size(); ++i) {
        const std::size_t item = static_cast<std::size_t>(tree_.order[i]);
        const int f = bounded[item];
        const Point3& n = *faceNormals.Addr(f);
        const Point3& c0 = mesh.getVert(int(mesh.faces[static_cast<std::size_t>(f)].v[0]));
        FaceBlock& b = blocks_[i / 4];
        const std::size_t lane = i % 4;
        for (int a = 0; a < 3; ++a) {
            b.normal[a][lane] = n[a];
            b.lo[a][lane] = boxes[item].lo[a];
            b.hi[a][lane] = boxes[item].hi[a];
        }
        b.planeOffset[lane] = DotProd(c0, n);
        b.face[lane] = f;
    }
    std::vector<std::int32_t>().swap(tree_.order);
    alwaysTested_.shrink_to_fit();
    faceCount_ = faceCount;
    built_ = true;
    UseWideSlotTest(true);
}

void RayAccelerator::Release() {
    std::vector<FaceBlock>().swap(blocks_);
    std::vector<std::int32_t>().swap(alwaysTested_);
    tree_ = WideBvh{};
    faceCount_ = 0;
    built_ = false;
    wideSlots_ = false;
}

bool RayAccelerator::Matches(const Mesh& mesh, const Tab<Point3>& faceNormals) const {
    return built_ && mesh.getNumFaces() == faceCount_ && faceNormals.Count() == faceCount_;
}

std::size_t RayAccelerator::MemoryBytes() const {
    return tree_.MemoryBytes() + blocks_.capacity() * sizeof(FaceBlock) + alwaysTested_.capacity() * sizeof(std::int32_t);
}
