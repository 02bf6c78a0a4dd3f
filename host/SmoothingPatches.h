// Smoothing groups made from smooth edges, as an application's importer or its auto smooth
// assigns them to a mesh that carries normals or angles instead of groups.
//
// Faces joined across smooth edges form patches. Each patch gets one smoothing bit, the same on
// all its faces, chosen so that two patches sharing a vertex (not only an edge) have different
// bits: the vertex normal table merges the faces at a vertex that share a bit, so sharing a
// vertex is what would blend two patches. Bits are handed out greedily, patches in the order of
// their first face, each taking the lowest bit that no patch around it holds yet. Where 32 bits
// cannot keep every patch around a vertex apart, the bit used least around the patch is shared
// and the vertex is counted as crowded.
//
// Groups cannot say that a patch is hard against itself: a patch that meets itself across a hard
// edge (a cylinder's side cut open by one hard seam) is smooth there.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "host/Mesh.h"
#include "host/Point3.h"

// One face's side of an edge: the face, and its corners at the edge's two ends. For the two
// sides handed to a SmoothEdgeTest, cornerA of each lies on the same vertex, cornerB on the other.
struct EdgeSide {
    int face;
    int cornerA;
    int cornerB;
};

// Whether the edge that the two faces share is smooth.
using SmoothEdgeTest = std::function<bool(const EdgeSide& a, const EdgeSide& b)>;

struct SmoothingPatches {
    std::vector<DWORD> faceBits;  // one bit per face, in face order
    int patchCount = 0;
    int bitsUsed = 0;         // distinct bits handed out
    int crowdedVertices = 0;  // vertices where two patches had to share a bit
};

// Patches of `mesh` joined across the edges that `smooth` accepts, and their bits. An edge is
// one pair of distinct vertices; where more than two faces share it, every pair of them is
// tested. Faces whose entries in `polygonOfFace` are equal (the triangles of one polygon, when
// given: one entry per face) always join, whatever their edges. Faces with a corner outside the
// vertex table join nothing.
SmoothingPatches ColourSmoothingPatches(const Mesh& mesh, const SmoothEdgeTest& smooth,
                                        std::span<const int> polygonOfFace = {});

// Smooth where both faces carry a normal at both ends of the edge and the normals agree in
// value at each end. `cornerNormals` holds three normals per face (face-major, in corner order);
// `cornerHasNormal` says which corners carry one (same layout).
SmoothEdgeTest SmoothWhereNormalsAgree(std::span<const Point3> cornerNormals,
                                       std::span<const std::uint8_t> cornerHasNormal);

// Smooth where the angle between the two faces' normals is at most `degrees` (0 ... 180).
// `faceNormals` holds one normal per face, of any length; a zero normal (a degenerate face)
// counts as hard against everything, so that a sliver cannot join the two sides of a hard edge.
SmoothEdgeTest SmoothWithinAngle(std::span<const Point3> faceNormals, double degrees);

// The normal of each face's polygon: the sum of the cross products (c1 - c0) x (c2 - c1) of the
// polygon's triangles (so a non-planar polygon gets its area-weighted mean), one per face. Faces
// with equal entries in `polygonOfFace` belong to one polygon; an empty span makes every face a
// polygon of its own.
std::vector<Point3> PolygonNormals(const Mesh& mesh, std::span<const int> polygonOfFace = {});
