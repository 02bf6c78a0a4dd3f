// Smoothing-group vertex normals. Chains are walked in loops, never recursively: the table is
// read from worker threads that run on small stacks.
#include "raycast/VertexNormalTable.h"

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

void VertexNormalTable::Build(const Mesh& mesh) {
    Clear();
    const int vertCount = mesh.getNumVerts();
    heads_.SetCount(vertCount);
    for (int v = 0; v < vertCount; ++v) heads_[v] = new VertexNormalNode;

    const int faceCount = mesh.getNumFaces();
    for (int i = 0; i < faceCount; ++i) {
        const Face& f = mesh.faces[static_cast<size_t>(i)];
        // A face with a corner outside the vertex table contributes nothing (the face normal
        // builder reports it).
        if (f.v[0] >= DWORD(vertCount) || f.v[1] >= DWORD(vertCount) || f.v[2] >= DWORD(vertCount)) continue;
        const Point3& c0 = mesh.getVert(int(f.v[0]));
        const Point3& c1 = mesh.getVert(int(f.v[1]));
        const Point3& c2 = mesh.getVert(int(f.v[2]));
        // Unnormalised: its length is twice the face's area, so the sums weight faces by area.
        const Point3 fn = CrossProd(c1 - c0, c2 - c1);
        for (int k = 0; k < 3; ++k) AddNormal(heads_[int(f.v[k])], fn, f.smGroup);
    }
    for (int v = 0; v < vertCount; ++v) NormalizeChain(heads_[v]);
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
    const int count = heads_.Count();
    for (int v = 0; v < count; ++v) delete heads_[v];
    heads_.ZeroCount();
}
