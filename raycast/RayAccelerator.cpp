// Building and releasing the accelerated ray query's tables.
#include "raycast/RayAccelerator.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#include "raycast/FaceBounds.h"

namespace {

// Runs body(begin, end) over [0, count) in pieces of about `grain`, on up to `threads` threads.
// The pieces never depend on the thread count, only which thread runs which.
template <class Body>
void ForRanges(std::size_t count, std::size_t grain, int threads, const Body& body) {
    const std::size_t pieces = (count + grain - 1) / grain;
    const int workers = static_cast<int>(std::min<std::size_t>(pieces, static_cast<std::size_t>(std::max(threads, 1))));
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t p = next.fetch_add(1); p < pieces; p = next.fetch_add(1)) {
            body(p * grain, std::min(count, (p + 1) * grain));
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < workers; ++t) {
        try {
            pool.emplace_back(work);
        } catch (...) {
            break;  // the pieces are still all taken, by fewer threads
        }
    }
    work();
    for (std::thread& th : pool) th.join();
}

constexpr std::size_t kFacesPerPiece = 16384;

}  // namespace

void RayAccelerator::Build(const Mesh& mesh, const Tab<Point3>& faceNormals, const BvhConfig& config) {
    Release();
    const int faceCount = mesh.getNumFaces();
    const int vertCount = mesh.getNumVerts();
    const int threads = BuildThreads(config.threads);
    const std::size_t tested = static_cast<std::size_t>(std::max(0, std::min(faceCount, faceNormals.Count())));

    // Each face's box and reach, in parallel; then gathered in face order.
    std::vector<BvhBox> faceBoxes(tested);
    std::vector<FaceReach> reach(tested);
    ForRanges(tested, kFacesPerPiece, threads, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const Face& face = mesh.faces[i];
            if (face.v[0] >= DWORD(vertCount) || face.v[1] >= DWORD(vertCount) || face.v[2] >= DWORD(vertCount)) {
                // Corners outside the vertex table: leave the face to the per-face test, as the
                // scan does (a run gives such a face a zero normal, which the test rejects first).
                reach[i] = FaceReach::kAnywhere;
                continue;
            }
            reach[i] = ConservativeFaceBox(mesh.getVert(int(face.v[0])), mesh.getVert(int(face.v[1])),
                                           mesh.getVert(int(face.v[2])), *faceNormals.Addr(static_cast<int>(i)),
                                           faceBoxes[i]);
        }
    });
    // The bounded faces' boxes move to the front of the same table.
    std::vector<BvhBox>& boxes = faceBoxes;
    std::vector<std::int32_t> bounded;
    for (std::size_t i = 0; i < tested; ++i) {
        const int f = static_cast<int>(i);
        switch (reach[i]) {
            case FaceReach::kNever:
                break;
            case FaceReach::kAnywhere:
                alwaysTested_.push_back(f);
                break;
            case FaceReach::kBounded:
                boxes[bounded.size()] = faceBoxes[i];
                bounded.push_back(f);
                break;
        }
    }
    boxes.resize(bounded.size());
    std::vector<FaceReach>().swap(reach);
    // Leaf slots address faces by position in 29 bits, and blocks hold face numbers in 30; a mesh
    // beyond that keeps the plain scan.
    if (boxes.size() >= (std::size_t{1} << 29) || tested >= (std::size_t{1} << FaceBlock::kAxisShift)) {
        Release();
        return;
    }

    // Leaves of exactly four faces (the last one excepted) line up with the blocks.
    BvhConfig treeConfig = config;
    treeConfig.maxLeafSize = 4;
    treeConfig.threads = threads;
    tree_ = BuildWideBvh(boxes, treeConfig);

    // Lay the faces out in leaf order; the order itself is not needed afterwards.
    blocks_.resize((bounded.size() + 3) / 4);
    ForRanges(blocks_.size(), kFacesPerPiece / 4, threads, [&](std::size_t begin, std::size_t end) {
        for (std::size_t bi = begin; bi < end; ++bi) {
            FaceBlock& b = blocks_[bi];
            for (std::size_t lane = 0; lane < 4; ++lane) {
                const std::size_t i = bi * 4 + lane;
                if (i >= tree_.order.size()) {
                    for (int a = 0; a < 3; ++a) b.normal[a][lane] = NAN;
                    for (int a = 0; a < 2; ++a) b.corner[a][lane] = b.edge1[a][lane] = b.edge2[a][lane] = NAN;
                    b.planeOffset[lane] = b.area[lane] = NAN;
                    b.face[lane] = 0;
                    continue;
                }
                const int f = bounded[static_cast<std::size_t>(tree_.order[i])];
                const Point3& n = *faceNormals.Addr(f);
                const Face& face = mesh.faces[static_cast<std::size_t>(f)];
                const Point3& c0 = mesh.getVert(int(face.v[0]));
                // As BarycentricInFace computes them.
                const Point3 e1 = mesh.getVert(int(face.v[1])) - c0;
                const Point3 e2 = mesh.getVert(int(face.v[2])) - c0;
                const Point3 m = CrossProd(e1, e2);
                const int k = MaxComponent(m);
                const int axisI = k == 0 ? 1 : (k == 1 ? 2 : 0);
                const int axisJ = k == 0 ? 2 : (k == 1 ? 0 : 1);
                for (int a = 0; a < 3; ++a) b.normal[a][lane] = n[a];
                b.planeOffset[lane] = DotProd(c0, n);
                b.corner[0][lane] = c0[axisI];
                b.corner[1][lane] = c0[axisJ];
                b.edge1[0][lane] = e1[axisI];
                b.edge1[1][lane] = e1[axisJ];
                b.edge2[0][lane] = e2[axisI];
                b.edge2[1][lane] = e2[axisJ];
                b.area[lane] = m[k];
                b.face[lane] = static_cast<std::uint32_t>(f) | (static_cast<std::uint32_t>(k) << FaceBlock::kAxisShift);
            }
        }
    });
    std::vector<std::int32_t>().swap(tree_.order);
    alwaysTested_.shrink_to_fit();
    faceCount_ = faceCount;
    built_ = true;
    UseSlotTest(SlotTest::kSixteen);
}

void RayAccelerator::Release() {
    std::vector<FaceBlock>().swap(blocks_);
    std::vector<std::int32_t>().swap(alwaysTested_);
    tree_ = WideBvh{};
    faceCount_ = 0;
    built_ = false;
    slotTest_ = SlotTest::kFour;
}

bool RayAccelerator::Matches(const Mesh& mesh, const Tab<Point3>& faceNormals) const {
    return built_ && mesh.getNumFaces() == faceCount_ && faceNormals.Count() == faceCount_;
}

std::size_t RayAccelerator::MemoryBytes() const {
    return tree_.MemoryBytes() + blocks_.capacity() * sizeof(FaceBlock) + alwaysTested_.capacity() * sizeof(std::int32_t);
}
