#include "tests/common/TestMeshes.h"

#include <tiny_obj_loader.h>

int AddVertex(Mesh& mesh, const Point3& p) {
    mesh.verts.push_back(p);
    return mesh.getNumVerts() - 1;
}

int AddFace(Mesh& mesh, int a, int b, int c, DWORD smGroup) {
    const int index = mesh.getNumFaces();
    mesh.setNumFaces(index + 1);
    Face& f = mesh.faces[static_cast<size_t>(index)];
    f.setVerts(a, b, c);
    f.setSmGroup(smGroup);
    return index;
}

int AddTriangle(Mesh& mesh, const Point3& a, const Point3& b, const Point3& c, DWORD smGroup) {
    const int ia = AddVertex(mesh, a);
    const int ib = AddVertex(mesh, b);
    const int ic = AddVertex(mesh, c);
    return AddFace(mesh, ia, ib, ic, smGroup);
}

void AddQuad(Mesh& mesh, int a, int b, int c, int d, DWORD smGroup) {
    AddFace(mesh, a, b, c, smGroup);
    AddFace(mesh, a, c, d, smGroup);
}

Mesh MakeTriangleMesh(const Point3& a, const Point3& b, const Point3& c, DWORD smGroup) {
    Mesh mesh;
    AddTriangle(mesh, a, b, c, smGroup);
    return mesh;
}

Mesh MakeUnitCube() {
    Mesh mesh;
    // Corner index = x + 2y + 4z.
    for (int i = 0; i < 8; ++i) AddVertex(mesh, {float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1)});
    AddQuad(mesh, 0, 2, 3, 1, 1u << 0);  // z = 0, facing -z
    AddQuad(mesh, 4, 5, 7, 6, 1u << 1);  // z = 1, facing +z
    AddQuad(mesh, 0, 1, 5, 4, 1u << 2);  // y = 0, facing -y
    AddQuad(mesh, 2, 6, 7, 3, 1u << 3);  // y = 1, facing +y
    AddQuad(mesh, 0, 4, 6, 2, 1u << 4);  // x = 0, facing -x
    AddQuad(mesh, 1, 3, 7, 5, 1u << 5);  // x = 1, facing +x
    return mesh;
}

Mesh MakeOpenBox(float size) {
    Mesh mesh;
    for (int i = 0; i < 8; ++i) {
        AddVertex(mesh, {(i & 1) ? size : 0.0f, ((i >> 1) & 1) ? size : 0.0f, ((i >> 2) & 1) ? size : 0.0f});
    }
    // The cube's quads with the winding reversed, so each faces the inside; no lid.
    AddQuad(mesh, 0, 1, 3, 2, 1u << 0);  // floor, facing +z
    AddQuad(mesh, 0, 4, 5, 1, 1u << 1);  // y = 0, facing +y
    AddQuad(mesh, 2, 3, 7, 6, 1u << 1);  // y = size, facing -y
    AddQuad(mesh, 0, 2, 6, 4, 1u << 2);  // x = 0, facing +x
    AddQuad(mesh, 1, 5, 7, 3, 1u << 2);  // x = size, facing -x
    return mesh;
}

bool LoadTestObj(const std::string& path, Mesh& mesh, std::string& error) {
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path.c_str(), nullptr, false)) {
        error = err.empty() ? "cannot read " + path : err;
        return false;
    }
    mesh = Mesh{};
    const int vertCount = static_cast<int>(attrib.vertices.size() / 3);
    for (int i = 0; i < vertCount; ++i) {
        const size_t b = static_cast<size_t>(i) * 3;
        AddVertex(mesh, {attrib.vertices[b], attrib.vertices[b + 1], attrib.vertices[b + 2]});
    }
    for (const tinyobj::shape_t& shape : shapes) {
        size_t offset = 0;
        for (const unsigned char arity : shape.mesh.num_face_vertices) {
            for (unsigned k = 1; k + 1 < arity; ++k) {
                const int a = shape.mesh.indices[offset].vertex_index;
                const int b = shape.mesh.indices[offset + k].vertex_index;
                const int c = shape.mesh.indices[offset + k + 1].vertex_index;
                if (a < 0 || b < 0 || c < 0 || a >= vertCount || b >= vertCount || c >= vertCount) {
                    error = path + ": face refers to a missing vertex";
                    return false;
                }
                AddFace(mesh, a, b, c, 1);
            }
            offset += arity;
        }
    }
    return true;
}
