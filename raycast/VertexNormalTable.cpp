// Smoothing-group vertex normals. Chains are walked in loops, never recursively: the table is
// read from worker threads that run on small stacks.
#include "raycast/VertexNormalTable.h"

#include <algorithm>
#include <new>
#include <vector>

VertexNormalNode::~VertexNormalNode() {
    // Free the rest of the chain one node at a time; each node is detached first so its own
    // destructor has nothing left to free.
    VertexNormalNode* node = next;
    next = nullptr;
    while (node) {
        VertexNormalNode* following = node->next;
        node->next = nullptr;
        delete node;
        node = following;
    }
}

void AddNormal(VertexNormalNode* head, const Point3& n, std::uint32_t bits) {
    for (VertexNormalNode* node = head; node; node = node->next) {
        // The first node that is empty or shares a group takes the normal.
        if (!node->used || (node->smGroups & bits) != 0) {
            node->normal += n;
            node->smGroups |= bits;
            node->used = 1;
            return;
        }
        if (!node->next) {
            auto* added = new VertexNormalNode;
            added->normal = n;
            added->smGroups = bits;
            added->used = 1;
            node->next = added;
            return;
        }
    }
}

void NormalizeChain(VertexNormalNode* head) {
    for (VertexNormalNode* x = head; x; x = x->next) {
        // Fold into x every later node that shares a group with x's own groups. x's groups are
        // deliberately not widened by what it absorbs.
        VertexNormalNode* prev = x;
        VertexNormalNode* y = x->next;
        while (y) {
            if ((y->smGroups & x->smGroups) != 0) {
                x->normal += y->normal;
                prev->next = y->next;
                y->next = nullptr;  // free y alone; its successors stay in the chain
                delete y;
                y = prev->next;
            } else {
                prev = y;
                y = y->next;
            }
        }
        // A node that received only degenerate faces stays the zero vector.
        x->normal = Normalize(x->normal);
    }
}

const VertexNormalNode* FindNode(const VertexNormalNode* head, std::uint32_t bits) {
    for (const VertexNormalNode* node = head; node; node = node->next) {
        if ((node->smGroups & bits) != 0 || !node->next) return node;
    }
    return nullptr;  // no chain at all
}

namespace {
// Vertices per chunk of the build. Every chunk reads all faces, so chunks are few and large.
constexpr std::int64_t kMinVerticesPerChunk = 4096;
}  // namespace

bool VertexNormalTable::Build(const Mesh& mesh, const PhaseControl& control) {
    Clear();
    const int vertCount = mesh.getNumVerts();
    if (vertCount <= 0) return true;
    // Raw storage: each chunk constructs its own heads, on the thread that builds their chains.
    headBlock_ = static_cast<VertexNormalNode*>(::operator new(sizeof(VertexNormalNode) * static_cast<size_t>(vertCount)));
    try {
        heads_.SetCount(vertCount);
    } catch (...) {
        ::operator delete(headBlock_);
        headBlock_ = nullptr;
        throw;
    }

    const int threads = RunWorkerThreads(control.threads, ChunkCount(vertCount, kMinVerticesPerChunk));
    // Twice the threads, so a share with many faces does not hold up the rest for long.
    const std::int64_t chunks = threads > 1 ? std::min<std::int64_t>(2 * threads, vertCount) : 1;
    std::vector<std::uint8_t> built(static_cast<size_t>(chunks), 0);
    const auto bounds = [&](std::int64_t chunk) { return static_cast<int>(vertCount * chunk / chunks); };
    bool complete = false;
    try {
        complete = RunPhase({threads, control.stop}, chunks, [&](std::int64_t chunk) {
            const int first = bounds(chunk), last = bounds(chunk + 1);
            for (int v = first; v < last; ++v) heads_[v] = new (headBlock_ + v) VertexNormalNode;
            built[static_cast<size_t>(chunk)] = 1;
            BuildRange(mesh, first, last);
        });
    } catch (...) {
        DestroyHeads(built, chunks);
        throw;
    }
    if (!complete) {
        DestroyHeads(built, chunks);
        return false;
    }
    constructed_ = vertCount;
    return true;
}

void VertexNormalTable::DestroyHeads(const std::vector<std::uint8_t>& built, std::int64_t chunks) {
    const int vertCount = heads_.Count();
    for (std::int64_t chunk = 0; chunk < chunks; ++chunk) {
        if (!built[static_cast<size_t>(chunk)]) continue;
        const int first = static_cast<int>(vertCount * chunk / chunks), last = static_cast<int>(vertCount * (chunk + 1) / chunks);
        for (int v = first; v < last; ++v) headBlock_[v].~VertexNormalNode();
    }
    ::operator delete(headBlock_);
    headBlock_ = nullptr;
    constructed_ = 0;
    heads_.ZeroCount();
}

void VertexNormalTable::BuildRange(const Mesh& mesh, int first, int last) {
    const int vertCount = mesh.getNumVerts();
    const DWORD lo = static_cast<DWORD>(first), hi = static_cast<DWORD>(last);
    const int faceCount = mesh.getNumFaces();
    for (int i = 0; i < faceCount; ++i) {
        const Face& f = mesh.faces[static_cast<size_t>(i)];
        const bool mine = (f.v[0] >= lo && f.v[0] < hi) || (f.v[1] >= lo && f.v[1] < hi) || (f.v[2] >= lo && f.v[2] < hi);
        if (!mine) continue;
        // A face with a corner outside the vertex table contributes nothing (the face normal
        // builder reports it).
        if (f.v[0] >= DWORD(vertCount) || f.v[1] >= DWORD(vertCount) || f.v[2] >= DWORD(vertCount)) continue;
        const Point3& c0 = mesh.getVert(int(f.v[0]));
        const Point3& c1 = mesh.getVert(int(f.v[1]));
        const Point3& c2 = mesh.getVert(int(f.v[2]));
        // Unnormalised: its length is twice the face's area, so the sums weight faces by area.
        const Point3 fn = CrossProd(c1 - c0, c2 - c1);
        for (int k = 0; k < 3; ++k) {
            if (f.v[k] >= lo && f.v[k] < hi) AddNormal(headBlock_ + f.v[k], fn, f.smGroup);
        }
    }
    for (int v = first; v < last; ++v) NormalizeChain(headBlock_ + v);
}

Point3 VertexNormalTable::Interpolate(const Face& face, const Point3& w) const {
    Point3 u[3];
    for (int k = 0; k < 3; ++k) {
        // An index outside the table is reported by the Tab and yields no chain: a zero normal.
        const VertexNormalNode* node = FindNode(heads_[static_cast<int>(face.v[k])], face.smGroup);
        if (node) u[k] = node->normal;
    }
    return (w.x * u[0] + w.y * u[1]) + w.z * u[2];
}

void VertexNormalTable::Clear() {
    // Each head frees the rest of its chain.
    for (int v = 0; v < constructed_; ++v) headBlock_[v].~VertexNormalNode();
    ::operator delete(headBlock_);
    headBlock_ = nullptr;
    constructed_ = 0;
    heads_.ZeroCount();
}
