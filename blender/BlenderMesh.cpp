#include "blender/BlenderMesh.h"

#include <algorithm>

#include "blender/BlenderSmoothing.h"

namespace {

// The largest material ID a face's flag word can carry.
constexpr std::int32_t kLargestMaterial = 0xFFFF;

template <class T>
bool CopyArray(const T* from, std::int64_t count, std::vector<T>& to, const char* what, std::string& error) {
    if (count == 0) {
        to.clear();
        return true;
    }
    if (!from) {
        error = std::string("the mesh has no ") + what;
        return false;
    }
    to.assign(from, from + count);
    return true;
}

// Every index within 0 ... limit - 1; the message names the item (`perItem` indices each) and
// the table, e.g. "triangle 4 names vertex 12, but the mesh has 10 vertices".
bool CheckIndices(const std::vector<std::int32_t>& indices, std::int32_t limit, const char* item, const char* entry,
                  const char* entries, int perItem, std::string& error) {
    for (size_t i = 0; i < indices.size(); ++i) {
        if (indices[i] >= 0 && indices[i] < limit) continue;
        error = std::string(item) + " " + std::to_string(i / static_cast<size_t>(perItem)) + " names " + entry + " " +
                std::to_string(indices[i]) + ", but the mesh has " + std::to_string(limit) + " " + entries;
        return false;
    }
    return true;
}

}  // namespace

bool CopyBlenderMesh(const mw_mesh& in, BlenderMesh& out, std::string& error) {
    if (in.vertex_count < 0 || in.loop_count < 0 || in.polygon_count < 0 || in.triangle_count < 0 ||
        in.sharp_edge_count < 0) {
        error = "the mesh has a negative count";
        return false;
    }
    const std::int64_t tris = in.triangle_count;
    const std::int64_t polys = in.polygon_count;
    const std::int64_t loops = in.loop_count;
    if (!CopyArray(in.positions, std::int64_t{in.vertex_count} * 3, out.positions, "vertex positions", error) ||
        !CopyArray(in.triangle_vertices, tris * 3, out.triangleVertices, "triangle vertices", error) ||
        !CopyArray(in.triangle_loops, tris * 3, out.triangleLoops, "triangle loops", error) ||
        !CopyArray(in.triangle_polygons, tris, out.trianglePolygons, "triangle polygons", error))
        return false;
    out.loopCount = in.loop_count;
    out.polygonCount = in.polygon_count;

    // Per-polygon arrays that may be left out take their defaults.
    auto perPolygon = [&](const auto* from, auto& to, auto fallback, const char* what) {
        if (!from) {
            to.assign(static_cast<size_t>(polys), fallback);
            return true;
        }
        return CopyArray(from, polys, to, what, error);
    };
    if (!perPolygon(in.polygon_materials, out.polygonMaterials, std::int32_t{0}, "polygon materials") ||
        !perPolygon(in.polygon_selected, out.polygonSelected, std::uint8_t{0}, "polygon selection") ||
        !perPolygon(in.polygon_smooth, out.polygonSmooth, std::uint8_t{0}, "polygon shading"))
        return false;

    std::vector<std::int32_t> sharp;
    if (!CopyArray(in.sharp_edges, std::int64_t{in.sharp_edge_count} * 2, sharp, "sharp edges", error)) return false;
    out.sharpEdges.clear();
    for (size_t i = 0; i + 1 < sharp.size(); i += 2) out.sharpEdges.emplace_back(sharp[i], sharp[i + 1]);
    out.smoothAngleDegrees = in.smooth_angle_degrees;

    if (in.loop_uvs && (in.map_channel < 1 || in.map_channel > 99)) {
        error = "map channel " + std::to_string(in.map_channel) + " is outside 1 ... 99";
        return false;
    }
    out.mapChannel = in.map_channel;
    if (in.loop_uvs)
        out.loopUvs.assign(in.loop_uvs, in.loop_uvs + loops * 2);
    else
        out.loopUvs.clear();

    out.colourDomain = in.colour_domain;
    out.colours.clear();
    if (in.colour_domain == MW_COLOURS_POINT || in.colour_domain == MW_COLOURS_CORNER) {
        const std::int64_t n = in.colour_domain == MW_COLOURS_POINT ? in.vertex_count : loops;
        if (!CopyArray(in.colours, n * 4, out.colours, "colours", error)) return false;
    } else if (in.colour_domain != MW_COLOURS_NONE) {
        error = "unknown colour domain " + std::to_string(in.colour_domain);
        return false;
    }

    if (!CheckIndices(out.triangleVertices, in.vertex_count, "triangle", "vertex", "vertices", 3, error) ||
        !CheckIndices(out.triangleLoops, in.loop_count, "triangle", "loop", "loops", 3, error) ||
        !CheckIndices(out.trianglePolygons, in.polygon_count, "triangle", "polygon", "polygons", 1, error) ||
        !CheckIndices(sharp, in.vertex_count, "sharp edge", "vertex", "vertices", 2, error))
        return false;
    for (size_t p = 0; p < out.polygonMaterials.size(); ++p) {
        if (out.polygonMaterials[p] >= 0 && out.polygonMaterials[p] <= kLargestMaterial) continue;
        error = "polygon " + std::to_string(p) + " has material index " + std::to_string(out.polygonMaterials[p]) +
                ", outside 0 ... " + std::to_string(kLargestMaterial);
        return false;
    }
    return true;
}

Mesh BuildHostMesh(const BlenderMesh& b) {
    Mesh mesh;
    const int vertexCount = b.VertexCount();
    const int triangleCount = b.TriangleCount();
    mesh.setNumVerts(vertexCount);
    for (int v = 0; v < vertexCount; ++v) {
        const size_t i = static_cast<size_t>(v) * 3;
        mesh.verts[static_cast<size_t>(v)] = Point3(b.positions[i], b.positions[i + 1], b.positions[i + 2]);
    }
    mesh.setNumFaces(triangleCount);
    for (int t = 0; t < triangleCount; ++t) {
        const size_t i = static_cast<size_t>(t) * 3;
        Face& f = mesh.faces[static_cast<size_t>(t)];
        f.setVerts(b.triangleVertices[i], b.triangleVertices[i + 1], b.triangleVertices[i + 2]);
        const size_t polygon = static_cast<size_t>(b.trianglePolygons[static_cast<size_t>(t)]);
        f.setMatID(static_cast<MtlID>(b.polygonMaterials[polygon]));
        if (b.polygonSelected[polygon]) mesh.FaceSel().Set(t);
    }
    const std::vector<DWORD> bits = BlenderSmoothingBits(b, mesh);
    for (int t = 0; t < triangleCount; ++t) mesh.faces[static_cast<size_t>(t)].setSmGroup(bits[static_cast<size_t>(t)]);

    if (!b.loopUvs.empty() && b.loopCount > 0) {
        mesh.setNumMapVerts(b.mapChannel, b.loopCount);
        mesh.setNumMapFaces(b.mapChannel, triangleCount);
        Point3* tv = mesh.mapVerts(b.mapChannel);
        for (int l = 0; l < b.loopCount; ++l)
            tv[l] = Point3(b.loopUvs[static_cast<size_t>(l) * 2], b.loopUvs[static_cast<size_t>(l) * 2 + 1], 0.0f);
        TVFace* tf = mesh.mapFaces(b.mapChannel);
        for (int t = 0; t < triangleCount; ++t) {
            const size_t i = static_cast<size_t>(t) * 3;
            tf[t] = TVFace(static_cast<DWORD>(b.triangleLoops[i]), static_cast<DWORD>(b.triangleLoops[i + 1]),
                           static_cast<DWORD>(b.triangleLoops[i + 2]));
        }
    }

    if (!b.colours.empty()) {
        const bool perVertex = b.colourDomain == MW_COLOURS_POINT;
        const int given = perVertex ? vertexCount : b.loopCount;
        // The run keeps existing colours only when there are at least as many colour vertices as
        // vertices; loose vertices can leave a mesh with fewer loops.
        mesh.setNumVertCol(std::max(given, vertexCount));
        for (int c = 0; c < mesh.getNumVertCol(); ++c) {
            const size_t i = static_cast<size_t>(c) * 4;
            mesh.vertCol[static_cast<size_t>(c)] =
                c < given ? Point3(b.colours[i], b.colours[i + 1], b.colours[i + 2]) : Point3(1.0f, 1.0f, 1.0f);
        }
        const std::vector<std::int32_t>& corners = perVertex ? b.triangleVertices : b.triangleLoops;
        mesh.setNumVCFaces(triangleCount);
        for (int t = 0; t < triangleCount; ++t) {
            const size_t i = static_cast<size_t>(t) * 3;
            mesh.vcFace[static_cast<size_t>(t)] = TVFace(static_cast<DWORD>(corners[i]), static_cast<DWORD>(corners[i + 1]),
                                                         static_cast<DWORD>(corners[i + 2]));
        }
    }
    return mesh;
}
