// Meshes in Blender's terms for the host library's tests: vertices, polygons (each a list of
// vertex indices), one loop per polygon corner in polygon order, and the polygons' triangles
// fanned from their first corner, with the per-polygon and per-loop arrays Blender's Python hands
// over.
#pragma once
#include <cstdint>
#include <vector>

#include "blender/murkwell_blender.h"

struct PolyMesh {
    std::vector<float> positions;
    std::vector<std::vector<int>> polygons;
    std::vector<float> loopUvs;  // 2 per loop, or empty
    std::vector<std::int32_t> materials;
    std::vector<std::uint8_t> selected;
    std::vector<std::uint8_t> smooth;
    std::vector<std::int32_t> sharpEdges;
    double smoothAngle = -1.0;
    int channel = 1;
    int colourDomain = MW_COLOURS_NONE;
    std::vector<float> colours;

    // Derived by Record().
    std::vector<std::int32_t> triangleVertices, triangleLoops, trianglePolygons;
    int loopCount = 0;

    int AddVertex(float x, float y, float z);
    // Adds a polygon; `uvs` holds 2 per corner (or nothing). Smooth shading by default.
    int AddPolygon(std::vector<int> corners, std::vector<float> uvs = {}, int material = 0, bool smoothShaded = true);
    int VertexCount() const { return static_cast<int>(positions.size() / 3); }

    // The record the C interface takes, pointing into this object.
    mw_mesh Record();
};

// An open box of side `size`: the floor (polygon 0) and four walls (polygons 1 ... 4) as quads
// facing into the box, sharing their edges, no lid. The UV layout tiles the whole unit square:
// the floor takes the left half, the walls a quarter each of the right half's height.
PolyMesh OpenBox(float size);
