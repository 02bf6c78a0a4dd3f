#include "host/SmoothingPatches.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numeric>

namespace {

constexpr int kBitCount = 32;

class DisjointSets {
public:
    explicit DisjointSets(int n) : parent_(static_cast<size_t>(n)) { std::iota(parent_.begin(), parent_.end(), 0); }
    int Find(int i) {
        while (parent_[static_cast<size_t>(i)] != i) {
            int& p = parent_[static_cast<size_t>(i)];
            p = parent_[static_cast<size_t>(p)];  // halve the path as it is walked
            i = p;
        }
        return i;
    }
    // The smaller root wins, so a set's root is its first face.
    void Join(int a, int b) {
        a = Find(a);
        b = Find(b);
        if (a == b) return;
        if (b < a) std::swap(a, b);
        parent_[static_cast<size_t>(b)] = a;
    }

private:
    std::vector<int> parent_;
};

bool FaceInRange(const Face& f, DWORD vertexCount) {
    return f.v[0] < vertexCount && f.v[1] < vertexCount && f.v[2] < vertexCount;
}

// One corner-to-corner edge of one face, keyed by its two vertices (lower first).
struct EdgeRecord {
    std::uint64_t key;
    EdgeSide side;
};

void JoinAcrossSmoothEdges(const Mesh& mesh, const SmoothEdgeTest& smooth, DisjointSets& sets) {
    const DWORD vertexCount = static_cast<DWORD>(mesh.getNumVerts());
    std::vector<EdgeRecord> edges;
    edges.reserve(mesh.faces.size() * 3);
    for (int f = 0; f < mesh.getNumFaces(); ++f) {
        const Face& face = mesh.faces[static_cast<size_t>(f)];
        if (!FaceInRange(face, vertexCount)) continue;
        for (int k = 0; k < 3; ++k) {
            const int next = (k + 1) % 3;
            DWORD a = face.v[k], b = face.v[next];
            if (a == b) continue;  // a collapsed edge joins nothing
            int cornerA = k, cornerB = next;
            if (b < a) {
                std::swap(a, b);
                std::swap(cornerA, cornerB);
            }
            edges.push_back({(std::uint64_t(a) << 32) | b, EdgeSide{f, cornerA, cornerB}});
        }
    }
    std::sort(edges.begin(), edges.end(), [](const EdgeRecord& x, const EdgeRecord& y) {
        return x.key != y.key ? x.key < y.key : x.side.face < y.side.face;
    });
    for (size_t begin = 0; begin < edges.size();) {
        size_t end = begin + 1;
        while (end < edges.size() && edges[end].key == edges[begin].key) ++end;
        for (size_t i = begin; i < end; ++i)
            for (size_t j = i + 1; j < end; ++j)
                if (edges[i].side.face != edges[j].side.face && smooth(edges[i].side, edges[j].side))
                    sets.Join(edges[i].side.face, edges[j].side.face);
        begin = end;
    }
}

void JoinPolygons(std::span<const int> polygonOfFace, DisjointSets& sets) {
    std::vector<int> order(polygonOfFace.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return polygonOfFace[static_cast<size_t>(a)] < polygonOfFace[static_cast<size_t>(b)];
    });
    for (size_t i = 1; i < order.size(); ++i)
        if (polygonOfFace[static_cast<size_t>(order[i])] == polygonOfFace[static_cast<size_t>(order[i - 1])])
            sets.Join(order[i - 1], order[i]);
}

// For every vertex, the distinct patches around it, as ranges of one flat array.
struct VertexPatches {
    std::vector<int> start;    // vertexCount + 1 offsets
    std::vector<int> patches;  // patch numbers, ascending within each vertex
};

VertexPatches PatchesAroundVertices(const Mesh& mesh, const std::vector<int>& patchOfFace) {
    const DWORD vertexCount = static_cast<DWORD>(mesh.getNumVerts());
    std::vector<std::uint64_t> pairs;  // vertex << 32 | patch
    pairs.reserve(mesh.faces.size() * 3);
    for (int f = 0; f < mesh.getNumFaces(); ++f) {
        const Face& face = mesh.faces[static_cast<size_t>(f)];
        if (!FaceInRange(face, vertexCount)) continue;
        for (int k = 0; k < 3; ++k)
            pairs.push_back((std::uint64_t(face.v[k]) << 32) | std::uint32_t(patchOfFace[static_cast<size_t>(f)]));
    }
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    VertexPatches out;
    out.start.assign(static_cast<size_t>(vertexCount) + 1, 0);
    out.patches.reserve(pairs.size());
    for (std::uint64_t p : pairs) {
        out.start[static_cast<size_t>(p >> 32) + 1]++;
        out.patches.push_back(static_cast<int>(p & 0xFFFFFFFFu));
    }
    for (size_t v = 1; v < out.start.size(); ++v) out.start[v] += out.start[v - 1];
    return out;
}

}  // namespace

SmoothingPatches ColourSmoothingPatches(const Mesh& mesh, const SmoothEdgeTest& smooth,
                                        std::span<const int> polygonOfFace) {
    const int faceCount = mesh.getNumFaces();
    SmoothingPatches out;
    out.faceBits.assign(static_cast<size_t>(faceCount), 0);
    if (faceCount == 0) return out;

    DisjointSets sets(faceCount);
    JoinAcrossSmoothEdges(mesh, smooth, sets);
    if (polygonOfFace.size() == static_cast<size_t>(faceCount)) JoinPolygons(polygonOfFace, sets);

    // Patches numbered by their first face; the faces of each patch listed together.
    std::vector<int> patchOfFace(static_cast<size_t>(faceCount));
    std::vector<int> patchOfRoot(static_cast<size_t>(faceCount), -1);
    for (int f = 0; f < faceCount; ++f) {
        int& patch = patchOfRoot[static_cast<size_t>(sets.Find(f))];
        if (patch < 0) patch = out.patchCount++;
        patchOfFace[static_cast<size_t>(f)] = patch;
    }
    std::vector<int> faceStart(static_cast<size_t>(out.patchCount) + 1, 0), facesByPatch(static_cast<size_t>(faceCount));
    for (int p : patchOfFace) faceStart[static_cast<size_t>(p) + 1]++;
    for (size_t p = 1; p < faceStart.size(); ++p) faceStart[p] += faceStart[p - 1];
    {
        std::vector<int> fill(faceStart.begin(), faceStart.end() - 1);
        for (int f = 0; f < faceCount; ++f) facesByPatch[static_cast<size_t>(fill[static_cast<size_t>(patchOfFace[static_cast<size_t>(f)])]++)] = f;
    }

    const VertexPatches around = PatchesAroundVertices(mesh, patchOfFace);
    const DWORD vertexCount = static_cast<DWORD>(mesh.getNumVerts());
    std::vector<DWORD> patchBit(static_cast<size_t>(out.patchCount), 0);
    for (int p = 0; p < out.patchCount; ++p) {
        // How many patches already coloured around this one hold each bit.
        std::array<int, kBitCount> holders{};
        DWORD taken = 0;
        for (int i = faceStart[static_cast<size_t>(p)]; i < faceStart[static_cast<size_t>(p) + 1]; ++i) {
            const Face& face = mesh.faces[static_cast<size_t>(facesByPatch[static_cast<size_t>(i)])];
            if (!FaceInRange(face, vertexCount)) continue;
            for (int k = 0; k < 3; ++k) {
                const size_t v = face.v[k];
                for (int j = around.start[v]; j < around.start[v + 1]; ++j) {
                    const int q = around.patches[static_cast<size_t>(j)];
                    if (q >= p) continue;  // not coloured yet (or this patch)
                    const DWORD bit = patchBit[static_cast<size_t>(q)];
                    taken |= bit;
                    holders[static_cast<size_t>(std::countr_zero(bit))]++;
                }
            }
        }
        int chosen = 0;
        if (taken != 0xFFFFFFFFu) {
            chosen = std::countr_zero(~taken);
        } else {
            for (int b = 1; b < kBitCount; ++b)
                if (holders[static_cast<size_t>(b)] < holders[static_cast<size_t>(chosen)]) chosen = b;
        }
        patchBit[static_cast<size_t>(p)] = DWORD(1) << chosen;
    }

    DWORD used = 0;
    for (int f = 0; f < faceCount; ++f) {
        out.faceBits[static_cast<size_t>(f)] = patchBit[static_cast<size_t>(patchOfFace[static_cast<size_t>(f)])];
        used |= out.faceBits[static_cast<size_t>(f)];
    }
    out.bitsUsed = std::popcount(used);
    for (size_t v = 0; v + 1 < around.start.size(); ++v) {
        DWORD seen = 0;
        for (int j = around.start[v]; j < around.start[v + 1]; ++j) {
            const DWORD bit = patchBit[static_cast<size_t>(around.patches[static_cast<size_t>(j)])];
            if (seen & bit) {
                out.crowdedVertices++;
                break;
            }
            seen |= bit;
        }
    }
    return out;
}

SmoothEdgeTest SmoothWhereNormalsAgree(std::span<const Point3> cornerNormals,
                                       std::span<const std::uint8_t> cornerHasNormal) {
    return [cornerNormals, cornerHasNormal](const EdgeSide& a, const EdgeSide& b) {
        const auto at = [](const EdgeSide& s, int corner) { return static_cast<size_t>(s.face) * 3 + static_cast<size_t>(corner); };
        const size_t a0 = at(a, a.cornerA), a1 = at(a, a.cornerB), b0 = at(b, b.cornerA), b1 = at(b, b.cornerB);
        const size_t last = std::max({a0, a1, b0, b1});
        if (last >= cornerNormals.size() || last >= cornerHasNormal.size()) return false;
        if (!cornerHasNormal[a0] || !cornerHasNormal[a1] || !cornerHasNormal[b0] || !cornerHasNormal[b1]) return false;
        return cornerNormals[a0] == cornerNormals[b0] && cornerNormals[a1] == cornerNormals[b1];
    };
}

SmoothEdgeTest SmoothWithinAngle(std::span<const Point3> faceNormals, double degrees) {
    return [faceNormals, degrees](const EdgeSide& a, const EdgeSide& b) {
        const size_t fa = static_cast<size_t>(a.face), fb = static_cast<size_t>(b.face);
        if (fa >= faceNormals.size() || fb >= faceNormals.size()) return false;
        const Point3& na = faceNormals[fa];
        const Point3& nb = faceNormals[fb];
        // The angle from the cross and dot products in double: exact enough near 0 and 180
        // degrees, where the arc cosine of a dot product is not.
        const double cx = double(na.y) * nb.z - double(na.z) * nb.y;
        const double cy = double(na.z) * nb.x - double(na.x) * nb.z;
        const double cz = double(na.x) * nb.y - double(na.y) * nb.x;
        const double dot = double(na.x) * nb.x + double(na.y) * nb.y + double(na.z) * nb.z;
        const double cross = std::sqrt(cx * cx + cy * cy + cz * cz);
        // A degenerate face has no direction to compare. Joining it to everything would let a
        // sliver along a hard edge (common in exported CAD meshes) merge the two sides, so it
        // stays a patch of its own.
        if (cross == 0.0 && dot == 0.0) return false;
        const double angle = std::atan2(cross, dot) * (180.0 / 3.14159265358979323846);
        return angle <= degrees;
    };
}

std::vector<Point3> PolygonNormals(const Mesh& mesh, std::span<const int> polygonOfFace) {
    const int faceCount = mesh.getNumFaces();
    const DWORD vertexCount = static_cast<DWORD>(mesh.getNumVerts());
    std::vector<Point3> own(static_cast<size_t>(faceCount));
    for (int f = 0; f < faceCount; ++f) {
        const Face& face = mesh.faces[static_cast<size_t>(f)];
        if (!FaceInRange(face, vertexCount)) continue;
        const Point3& c0 = mesh.verts[face.v[0]];
        const Point3& c1 = mesh.verts[face.v[1]];
        const Point3& c2 = mesh.verts[face.v[2]];
        own[static_cast<size_t>(f)] = CrossProd(c1 - c0, c2 - c1);
    }
    if (polygonOfFace.size() != static_cast<size_t>(faceCount)) return own;

    // Sum per polygon, in face order, then hand each face its polygon's sum.
    std::vector<int> order(static_cast<size_t>(faceCount));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return polygonOfFace[static_cast<size_t>(a)] < polygonOfFace[static_cast<size_t>(b)];
    });
    std::vector<Point3> out(static_cast<size_t>(faceCount));
    for (size_t begin = 0; begin < order.size();) {
        size_t end = begin + 1;
        const int polygon = polygonOfFace[static_cast<size_t>(order[begin])];
        while (end < order.size() && polygonOfFace[static_cast<size_t>(order[end])] == polygon) ++end;
        Point3 sum;
        for (size_t i = begin; i < end; ++i) sum += own[static_cast<size_t>(order[i])];
        for (size_t i = begin; i < end; ++i) out[static_cast<size_t>(order[i])] = sum;
        begin = end;
    }
    return out;
}
