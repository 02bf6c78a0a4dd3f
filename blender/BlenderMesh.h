// A mesh as Blender hands it over (vertices, loops, polygons and the polygons' triangles, with
// per-polygon materials, selection and shading, sharp edges, one UV map and existing colours),
// copied out of the caller's arrays, checked, and turned into the host's triangle mesh: one face
// per triangle in Blender's order, smoothing bits from the shading, map vertices and colour
// vertices one per loop or vertex.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "blender/murkwell_blender.h"
#include "host/Mesh.h"

struct BlenderMesh {
    std::vector<float> positions;  // 3 per vertex
    int loopCount = 0;
    int polygonCount = 0;
    std::vector<std::int32_t> triangleVertices;  // 3 per triangle
    std::vector<std::int32_t> triangleLoops;     // 3 per triangle
    std::vector<std::int32_t> trianglePolygons;  // 1 per triangle
    std::vector<std::int32_t> polygonMaterials;  // 1 per polygon
    std::vector<std::uint8_t> polygonSelected;   // 1 per polygon
    std::vector<std::uint8_t> polygonSmooth;     // 1 per polygon
    std::vector<std::pair<std::int32_t, std::int32_t>> sharpEdges;
    double smoothAngleDegrees = -1.0;
    int mapChannel = 1;
    std::vector<float> loopUvs;  // 2 per loop, or empty
    int colourDomain = MW_COLOURS_NONE;
    std::vector<float> colours;  // 4 per vertex or loop, or empty

    int VertexCount() const { return static_cast<int>(positions.size() / 3); }
    int TriangleCount() const { return static_cast<int>(trianglePolygons.size()); }
};

// Copies and checks the arrays: counts not negative, every array that a count needs present,
// every index within its table. False with a message naming the first problem.
bool CopyBlenderMesh(const mw_mesh& in, BlenderMesh& out, std::string& error);

// The host mesh: face t is triangle t with its polygon's material (0-based) and selection and
// the smoothing bits of its polygon's patch; map channel `mapChannel` holds one map vertex
// (u, v, 0) per loop and map face t the triangle's loops; the colours become one colour vertex
// per vertex or per loop (r, g, b), colour face t the triangle's vertices or loops, with white
// colour vertices added where there are fewer loops than vertices so the run keeps the colours.
Mesh BuildHostMesh(const BlenderMesh& blender);
