// Smoothing-group vertex normals: per vertex a chain of nodes, one per set of faces that share
// smoothing-group bits there. Faces sharing a bit at a vertex get one area-weighted averaged
// normal; faces without a shared bit keep separate normals (a hard edge).
#pragma once
#include <cstdint>

#include "host/Mesh.h"
#include "host/Tab.h"

struct VertexNormalNode {
    Point3 normal;              // running sum while building; unit length afterwards
    std::uint32_t smGroups = 0;  // union of the smoothing bits of the faces added here
    int used = 0;               // 0 until the first normal is added
    VertexNormalNode* next = nullptr;  // owned: freeing a head frees its chain

    VertexNormalNode() = default;
    VertexNormalNode(const VertexNormalNode&) = delete;
    VertexNormalNode& operator=(const VertexNormalNode&) = delete;
    ~VertexNormalNode();
};

// Adds normal n with bits to the first node of the chain that is unused or shares a bit with
// `bits`, or appends a new node.
void AddNormal(VertexNormalNode* head, const Point3& n, std::uint32_t bits);
// Merges each node with the later nodes that share a bit with it, then normalises it.
void NormalizeChain(VertexNormalNode* head);
// The first node sharing a bit with `bits`, else the last node of the chain.
const VertexNormalNode* FindNode(const VertexNormalNode* head, std::uint32_t bits);

class VertexNormalTable {
public:
    VertexNormalTable() = default;
    ~VertexNormalTable() { Clear(); }
    VertexNormalTable(const VertexNormalTable&) = delete;
    VertexNormalTable& operator=(const VertexNormalTable&) = delete;

    // Rebuilds the table from scratch for `mesh`.
    void Build(const Mesh& mesh);
    // The blended (not normalised) normal at barycentric weights w of `face`.
    Point3 Interpolate(const Face& face, const Point3& w) const;
    // Frees every chain and empties the head table.
    void Clear();

    int Count() const { return heads_.Count(); }
    const VertexNormalNode* Head(int vertex) const { return heads_[vertex]; }

private:
    Tab<VertexNormalNode*> heads_;
};
