#include "standalone/ColouredMesh.h"

#include <cmath>
#include <map>
#include <utility>

unsigned char ColourByte(float c) {
    if (!(c > 0.0f)) return 0;  // also NaN
    if (c >= 1.0f) return 255;
    return static_cast<unsigned char>(std::lround(static_cast<double>(c) * 255.0));
}

bool LayOutVertexColours(const Mesh& mesh, ColouredMesh& out, std::string& error) {
    out = ColouredMesh{};
    const int nf = mesh.getNumFaces();
    const int nv = mesh.getNumVerts();
    const int nc = mesh.getNumVertCol();
    if (mesh.getNumVCFaces() != nf || (nf > 0 && nc == 0)) {
        error = "the mesh has no vertex colours to write";
        return false;
    }
    bool coincide = true;
    for (int f = 0; f < nf; ++f) {
        for (int k = 0; k < 3; ++k) {
            const DWORD v = mesh.faces[static_cast<size_t>(f)].v[k];
            const DWORD c = mesh.vcFace[static_cast<size_t>(f)].t[k];
            if (v >= DWORD(nv) || c >= DWORD(nc)) {
                error = "face " + std::to_string(f) + " refers to a vertex or colour that does not exist";
                return false;
            }
            if (v != c) coincide = false;
        }
    }
    out.faces.resize(static_cast<size_t>(nf));
    if (coincide) {
        // Colour vertex i is vertex i's colour; a vertex no face uses and no colour covers is white.
        for (int i = 0; i < nv; ++i) {
            out.sourceVertex.push_back(i);
            out.position.push_back(mesh.verts[static_cast<size_t>(i)]);
            out.colour.push_back(i < nc ? mesh.vertCol[static_cast<size_t>(i)] : Point3{1.0f, 1.0f, 1.0f});
        }
        for (int f = 0; f < nf; ++f)
            for (int k = 0; k < 3; ++k)
                out.faces[static_cast<size_t>(f)][static_cast<size_t>(k)] = static_cast<int>(mesh.faces[static_cast<size_t>(f)].v[k]);
        return true;
    }
    // One output vertex per distinct (vertex, colour vertex) pair, in order of first use.
    out.split = true;
    std::map<std::pair<DWORD, DWORD>, int> index;
    for (int f = 0; f < nf; ++f) {
        for (int k = 0; k < 3; ++k) {
            const DWORD v = mesh.faces[static_cast<size_t>(f)].v[k];
            const DWORD c = mesh.vcFace[static_cast<size_t>(f)].t[k];
            auto [it, added] = index.emplace(std::make_pair(v, c), static_cast<int>(out.sourceVertex.size()));
            if (added) {
                out.sourceVertex.push_back(static_cast<int>(v));
                out.position.push_back(mesh.verts[v]);
                out.colour.push_back(mesh.vertCol[c]);
            }
            out.faces[static_cast<size_t>(f)][static_cast<size_t>(k)] = it->second;
        }
    }
    return true;
}
