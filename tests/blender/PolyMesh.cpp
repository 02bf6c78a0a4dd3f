#include "tests/blender/PolyMesh.h"

#include <cstddef>

int PolyMesh::AddVertex(float x, float y, float z) {
    positions.insert(positions.end(), {x, y, z});
    return VertexCount() - 1;
}

int PolyMesh::AddPolygon(std::vector<int> corners, std::vector<float> uvs, int material, bool smoothShaded) {
    polygons.push_back(std::move(corners));
    loopUvs.insert(loopUvs.end(), uvs.begin(), uvs.end());
    materials.push_back(material);
    selected.push_back(0);
    smooth.push_back(smoothShaded ? 1 : 0);
    return static_cast<int>(polygons.size()) - 1;
}

mw_mesh PolyMesh::Record() {
    triangleVertices.clear();
    triangleLoops.clear();
    trianglePolygons.clear();
    loopCount = 0;
    for (std::size_t p = 0; p < polygons.size(); ++p) {
        const std::vector<int>& c = polygons[p];
        for (std::size_t k = 1; k + 1 < c.size(); ++k) {
            triangleVertices.insert(triangleVertices.end(), {c[0], c[k], c[k + 1]});
            triangleLoops.insert(triangleLoops.end(), {loopCount, loopCount + static_cast<int>(k),
                                                       loopCount + static_cast<int>(k) + 1});
            trianglePolygons.push_back(static_cast<std::int32_t>(p));
        }
        loopCount += static_cast<int>(c.size());
    }
    mw_mesh m{};
    m.vertex_count = VertexCount();
    m.positions = positions.data();
    m.loop_count = loopCount;
    m.polygon_count = static_cast<int32_t>(polygons.size());
    m.triangle_count = static_cast<int32_t>(trianglePolygons.size());
    m.triangle_vertices = triangleVertices.data();
    m.triangle_loops = triangleLoops.data();
    m.triangle_polygons = trianglePolygons.data();
    m.polygon_materials = materials.data();
    m.polygon_selected = selected.data();
    m.polygon_smooth = smooth.data();
    m.sharp_edge_count = static_cast<int32_t>(sharpEdges.size() / 2);
    m.sharp_edges = sharpEdges.empty() ? nullptr : sharpEdges.data();
    m.smooth_angle_degrees = smoothAngle;
    m.map_channel = channel;
    m.loop_uvs = loopUvs.size() == static_cast<std::size_t>(loopCount) * 2 && loopCount > 0 ? loopUvs.data() : nullptr;
    m.colour_domain = colourDomain;
    m.colours = colours.empty() ? nullptr : colours.data();
    return m;
}

PolyMesh OpenBox(float s) {
    PolyMesh m;
    // Floor corners 0-3, rim corners 4-7 above them.
    m.AddVertex(0, 0, 0), m.AddVertex(s, 0, 0), m.AddVertex(s, s, 0), m.AddVertex(0, s, 0);
    m.AddVertex(0, 0, s), m.AddVertex(s, 0, s), m.AddVertex(s, s, s), m.AddVertex(0, s, s);
    // The floor faces up (+z): counter-clockwise seen from above.
    m.AddPolygon({0, 1, 2, 3}, {0.0f, 0.0f, 0.5f, 0.0f, 0.5f, 1.0f, 0.0f, 1.0f});
    // The walls face into the box; each takes a band of the right half.
    auto wall = [&](int a, int b, int band) {
        const float v0 = 0.25f * static_cast<float>(band), v1 = v0 + 0.25f;
        m.AddPolygon({a, b, b + 4, a + 4}, {0.5f, v0, 1.0f, v0, 1.0f, v1, 0.5f, v1});
    };
    wall(1, 0, 0);  // y = 0, facing +y
    wall(2, 1, 1);  // x = s, facing -x
    wall(3, 2, 2);  // y = s, facing -y
    wall(0, 3, 3);  // x = 0, facing +x
    return m;
}
