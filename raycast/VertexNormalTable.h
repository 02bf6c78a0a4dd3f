// Smoothing-group vertex normals: per vertex a chain of nodes, one per set of faces that share
// smoothing-group bits there. Faces sharing a bit at a vertex get one area-weighted averaged
// normal; faces without a shared bit keep separate normals (a hard edge).
#pragma once
#include <cstdint>
#include <vector>

#include "host/Mesh.h"
#include "host/Tab.h"
#include "plugin/WorkerThreads.h"

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

    // Rebuilds the table from scratch for `mesh`. The vertices are shared out over the threads
    // `control` allows, each thread taking every face in index order for the vertices of its
    // share, so every chain is built exactly as one thread builds it. Returns false, with the
    // table cleared, when control.stop ended the build early.
    bool Build(const Mesh& mesh, const PhaseControl& control = {});
    // The blended (not normalised) normal at barycentric weights w of `face`.
    Point3 Interpolate(const Face& face, const Point3& w) const;
    // Frees every chain and empties the head table.
    void Clear();

    int Count() const { return heads_.Count(); }
    const VertexNormalNode* Head(int vertex) const { return heads_[vertex]; }

private:
    // Builds and normalises the chains of the vertices [first, last).
    void BuildRange(const Mesh& mesh, int first, int last);
    // Gives back the heads of a build that did not finish: those of the chunks marked built.
    void DestroyHeads(const std::vector<std::uint8_t>& built, std::int64_t chunks);

    Tab<VertexNormalNode*> heads_;
    // Every vertex's head node, in one allocation; heads_[v] points at headBlock_[v]. The nodes a
    // chain grows by are allocated one by one and owned by their chain.
    VertexNormalNode* headBlock_ = nullptr;
    int constructed_ = 0;  // heads in headBlock_ that are alive: all of them after a build
};
