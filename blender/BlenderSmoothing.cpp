#include "blender/BlenderSmoothing.h"

#include <algorithm>
#include <cstdint>

#include "host/SmoothingPatches.h"

namespace {

std::uint64_t EdgeKey(std::int32_t a, std::int32_t b) {
    if (b < a) std::swap(a, b);
    return (std::uint64_t(std::uint32_t(a)) << 32) | std::uint32_t(b);
}

}  // namespace

std::vector<DWORD> BlenderSmoothingBits(const BlenderMesh& blender, const Mesh& mesh) {
    const int faceCount = mesh.getNumFaces();
    std::vector<int> polygonOfFace(blender.trianglePolygons.begin(), blender.trianglePolygons.end());
    auto smoothFace = [&](int face) {
        return blender.polygonSmooth[static_cast<size_t>(polygonOfFace[static_cast<size_t>(face)])] != 0;
    };

    // Flat polygons take no part in the patches: their faces are handed to the colouring with a
    // corner outside the vertex table, which keeps them out of every vertex's neighbourhood, so
    // they neither join a patch nor hold a bit that a smooth patch around them must avoid.
    Mesh colouring;
    colouring.verts = mesh.verts;
    colouring.faces = mesh.faces;
    const DWORD outside = static_cast<DWORD>(mesh.getNumVerts());
    for (int f = 0; f < faceCount; ++f)
        if (!smoothFace(f)) colouring.faces[static_cast<size_t>(f)].v[0] = outside;

    std::vector<std::uint64_t> sharp;
    sharp.reserve(blender.sharpEdges.size());
    for (const auto& [a, b] : blender.sharpEdges) sharp.push_back(EdgeKey(a, b));
    std::sort(sharp.begin(), sharp.end());

    SmoothEdgeTest withinAngle;
    std::vector<Point3> polygonNormals;
    if (blender.smoothAngleDegrees >= 0.0) {
        polygonNormals = PolygonNormals(mesh, polygonOfFace);
        withinAngle = SmoothWithinAngle(polygonNormals, std::min(blender.smoothAngleDegrees, 180.0));
    }

    const SmoothEdgeTest smooth = [&](const EdgeSide& a, const EdgeSide& b) {
        if (!smoothFace(a.face) || !smoothFace(b.face)) return false;
        const Face& face = mesh.faces[static_cast<size_t>(a.face)];
        const std::uint64_t key =
            EdgeKey(static_cast<std::int32_t>(face.v[a.cornerA]), static_cast<std::int32_t>(face.v[a.cornerB]));
        if (std::binary_search(sharp.begin(), sharp.end(), key)) return false;
        return !withinAngle || withinAngle(a, b);
    };
    SmoothingPatches patches = ColourSmoothingPatches(colouring, smooth, polygonOfFace);
    for (int f = 0; f < faceCount; ++f)
        if (!smoothFace(f)) patches.faceBits[static_cast<size_t>(f)] = 0;
    return std::move(patches.faceBits);
}
