#include "standalone/ObjScene.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "standalone/ObjStructureScan.h"

namespace {

// Map corner given to faces without texture coordinates: outside the texture square.
const Point3 kOutsideMapVertex{-1.0f, -1.0f, 0.0f};

std::string FirstLine(const std::string& s) {
    std::string line = s.substr(0, s.find('\n'));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '.')) line.pop_back();
    return line;
}

DWORD SmoothingBits(unsigned int group) { return group == 0 ? 0u : DWORD(1) << ((group - 1u) % 32u); }

std::string JoinNames(const std::vector<std::string>& names, const char* separator = " ") {
    std::string joined;
    for (const auto& n : names) joined += (joined.empty() ? "" : separator) + n;
    return joined;
}

// One polygon as read: its structure line and its corners' indices into the file's tables.
struct Polygon {
    const ObjStructure::FaceLine* line;
    const tinyobj::index_t* corners;
    unsigned int smoothing;
};

bool CheckIndices(const Polygon& p, const tinyobj::attrib_t& attrib, std::string& error) {
    const int nv = static_cast<int>(attrib.vertices.size() / 3);
    const int nt = static_cast<int>(attrib.texcoords.size() / 2);
    for (int k = 0; k < p.line->corners; ++k) {
        const tinyobj::index_t& c = p.corners[k];
        if (c.vertex_index < 0 || c.vertex_index >= nv) {
            error = "line " + std::to_string(p.line->lineNumber) + ": a face refers to a vertex that does not exist (" +
                    "the file defines " + std::to_string(nv) + ")";
            return false;
        }
        if (c.texcoord_index < -1 || c.texcoord_index >= nt) {
            error = "line " + std::to_string(p.line->lineNumber) +
                    ": a face refers to a texture coordinate that does not exist (the file defines " +
                    std::to_string(nt) + ")";
            return false;
        }
    }
    return true;
}

bool HasAllTexCoords(const Polygon& p, int a, int b, int c) {
    return p.corners[a].texcoord_index >= 0 && p.corners[b].texcoord_index >= 0 && p.corners[c].texcoord_index >= 0;
}

void BuildObject(ObjObject& obj, const std::vector<Polygon>& polygons, const ObjStructure& structure,
                 const tinyobj::attrib_t& attrib, bool withColours) {
    // Vertices and texture vertices this object uses, in file order.
    std::vector<int> usedV, usedT;
    int triangles = 0;
    bool anyWithoutTexCoords = false;
    for (const Polygon& p : polygons) {
        for (int k = 0; k < p.line->corners; ++k) {
            usedV.push_back(p.corners[k].vertex_index);
            if (p.corners[k].texcoord_index >= 0) usedT.push_back(p.corners[k].texcoord_index);
        }
        for (int k = 1; k + 1 < p.line->corners; ++k) {
            if (!HasAllTexCoords(p, 0, k, k + 1)) anyWithoutTexCoords = true;
        }
        triangles += p.line->corners - 2;
    }
    std::sort(usedV.begin(), usedV.end());
    usedV.erase(std::unique(usedV.begin(), usedV.end()), usedV.end());
    std::sort(usedT.begin(), usedT.end());
    usedT.erase(std::unique(usedT.begin(), usedT.end()), usedT.end());
    // File index -> this mesh's index.
    std::vector<int> localV(attrib.vertices.size() / 3, -1), localT(attrib.texcoords.size() / 2, -1);
    for (size_t i = 0; i < usedV.size(); ++i) localV[static_cast<size_t>(usedV[i])] = static_cast<int>(i);
    for (size_t i = 0; i < usedT.size(); ++i) localT[static_cast<size_t>(usedT[i])] = static_cast<int>(i);
    auto vertexOf = [&](const tinyobj::index_t& c) { return localV[static_cast<size_t>(c.vertex_index)]; };

    Mesh& mesh = obj.mesh;
    mesh.setNumVerts(static_cast<int>(usedV.size()));
    for (size_t i = 0; i < usedV.size(); ++i) {
        const size_t s = static_cast<size_t>(usedV[i]) * 3;
        mesh.verts[i] = Point3{attrib.vertices[s], attrib.vertices[s + 1], attrib.vertices[s + 2]};
    }
    obj.vertexSource = usedV;
    mesh.setNumFaces(triangles);
    obj.faceGroupSet.assign(static_cast<size_t>(triangles), -1);

    const bool hasMap = !usedT.empty();
    const int outsideIndex = static_cast<int>(usedT.size());
    if (hasMap) {
        mesh.setNumMapVerts(1, static_cast<int>(usedT.size()) + (anyWithoutTexCoords ? 1 : 0));
        mesh.setNumMapFaces(1, triangles);
        Point3* tv = mesh.mapVerts(1);
        for (size_t i = 0; i < usedT.size(); ++i) {
            const size_t s = static_cast<size_t>(usedT[i]) * 2;
            tv[i] = Point3{attrib.texcoords[s], attrib.texcoords[s + 1], 0.0f};
        }
        if (anyWithoutTexCoords) tv[outsideIndex] = kOutsideMapVertex;
    }

    std::map<int, int> materialIds;  // file material index (-1 = none) -> this object's ID
    std::map<int, int> groupIds;     // file group set -> index into obj.groupSets
    int f = 0;
    for (const Polygon& p : polygons) {
        auto m = materialIds.find(p.line->material);
        if (m == materialIds.end()) {
            m = materialIds.emplace(p.line->material, static_cast<int>(obj.materialNames.size())).first;
            obj.materialNames.push_back(p.line->material < 0 ? std::string()
                                                              : structure.materialNames[static_cast<size_t>(p.line->material)]);
        }
        int groupIndex = -1;
        if (p.line->groupSet >= 0) {
            auto g = groupIds.find(p.line->groupSet);
            if (g == groupIds.end()) {
                g = groupIds.emplace(p.line->groupSet, static_cast<int>(obj.groupSets.size())).first;
                obj.groupSets.push_back(structure.groupSets[static_cast<size_t>(p.line->groupSet)]);
            }
            groupIndex = g->second;
        }
        const DWORD bits = SmoothingBits(p.smoothing);
        if (bits) obj.usesSmoothing = true;
        for (int k = 1; k + 1 < p.line->corners; ++k, ++f) {
            const int corner[3] = {0, k, k + 1};
            Face& face = mesh.faces[static_cast<size_t>(f)];
            face.setVerts(vertexOf(p.corners[0]), vertexOf(p.corners[k]), vertexOf(p.corners[k + 1]));
            face.setSmGroup(bits);
            face.setMatID(static_cast<MtlID>(m->second));
            obj.faceGroupSet[static_cast<size_t>(f)] = groupIndex;
            const bool mapped = HasAllTexCoords(p, 0, k, k + 1);
            if (!mapped) obj.facesWithoutTexCoords++;
            if (hasMap) {
                TVFace& tf = mesh.mapFaces(1)[f];
                if (mapped) {
                    for (int c = 0; c < 3; ++c)
                        tf.t[c] = DWORD(localT[static_cast<size_t>(p.corners[corner[c]].texcoord_index)]);
                } else {
                    tf = TVFace(DWORD(outsideIndex), DWORD(outsideIndex), DWORD(outsideIndex));
                }
            }
        }
    }
    obj.polygonCount = static_cast<int>(polygons.size());

    if (withColours && !usedV.empty()) {
        mesh.setNumVertCol(mesh.getNumVerts());
        for (size_t i = 0; i < usedV.size(); ++i) {
            const size_t s = static_cast<size_t>(usedV[i]) * 3;
            mesh.vertCol[i] = Point3{attrib.colors[s], attrib.colors[s + 1], attrib.colors[s + 2]};
        }
        mesh.setNumVCFaces(mesh.getNumFaces());
        for (int i = 0; i < mesh.getNumFaces(); ++i) {
            const Face& face = mesh.faces[static_cast<size_t>(i)];
            mesh.vcFace[static_cast<size_t>(i)] = TVFace(face.v[0], face.v[1], face.v[2]);
        }
    }
}

}  // namespace

std::vector<std::string> ObjObject::GroupNames() const {
    std::vector<std::string> names;
    for (const auto& set : groupSets)
        for (const auto& n : set)
            if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
    return names;
}

int ObjScene::FindObject(const std::string& name) const {
    for (size_t i = 0; i < objects.size(); ++i)
        if (objects[i].name == name) return static_cast<int>(i);
    return -1;
}

std::vector<std::string> ObjScene::ObjectNames() const {
    std::vector<std::string> names;
    for (const auto& o : objects) names.push_back(o.name);
    return names;
}

bool ParseObjScene(std::string text, const std::string& fileStem, ObjScene& scene, std::string& error) {
    scene.objects.clear();
    scene.warnings.clear();
    ObjStructure structure;
    if (!ScanObjStructure(text, structure, error)) return false;

    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    {
        std::istringstream in(text);
        // No material reader: .mtl files are never opened. Polygons are kept whole (we fan them
        // ourselves), and colours are kept only when every vertex has one.
        if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, &in, nullptr, false, false)) {
            error = "malformed OBJ: " + FirstLine(err.empty() ? std::string("unreadable") : err);
            return false;
        }
    }

    // The reader's faces, shape by shape, are the file's face lines in order.
    std::vector<Polygon> polygons;
    polygons.reserve(structure.faces.size());
    for (const auto& shape : shapes) {
        size_t offset = 0;
        for (size_t f = 0; f < shape.mesh.num_face_vertices.size(); ++f) {
            const size_t n = shape.mesh.num_face_vertices[f];
            const size_t i = polygons.size();
            if (i >= structure.faces.size() || structure.faces[i].corners != static_cast<int>(n) ||
                offset + n > shape.mesh.indices.size()) {
                error = "could not read the faces consistently (near line " +
                        std::to_string(i < structure.faces.size() ? structure.faces[i].lineNumber : 0) + ")";
                return false;
            }
            polygons.push_back({&structure.faces[i], &shape.mesh.indices[offset], shape.mesh.smoothing_group_ids[f]});
            offset += n;
        }
    }
    if (polygons.size() != structure.faces.size()) {
        error = "could not read the faces consistently (" + std::to_string(polygons.size()) + " of " +
                std::to_string(structure.faces.size()) + " faces)";
        return false;
    }
    for (const Polygon& p : polygons)
        if (!CheckIndices(p, attrib, error)) return false;

    const int nv = static_cast<int>(attrib.vertices.size() / 3);
    scene.vertexLines = nv;
    scene.texCoordLines = static_cast<int>(attrib.texcoords.size() / 2);
    scene.normalLines = static_cast<int>(attrib.normals.size() / 3);
    scene.hasColours = nv > 0 && attrib.colors.size() == attrib.vertices.size();
    if (!scene.hasColours && structure.vertexLinesWithColour > 0)
        scene.warnings.push_back("vertex colours ignored: only " + std::to_string(structure.vertexLinesWithColour) +
                                 " of " + std::to_string(structure.vertexLines) + " vertices have one");
    if (!structure.shortFaceLines.empty())
        scene.warnings.push_back(std::to_string(structure.shortFaceLines.size()) +
                                 " face(s) with fewer than three corners skipped (first on line " +
                                 std::to_string(structure.shortFaceLines.front()) + ")");

    // Objects: by `o` name, else by `g` names, else one for the whole file.
    const std::string defaultName = fileStem.empty() ? std::string("default") : fileStem;
    std::vector<std::string> names;
    std::vector<std::vector<Polygon>> members;
    auto objectIndex = [&](const std::string& name) {
        const auto it = std::find(names.begin(), names.end(), name);
        if (it != names.end()) return static_cast<size_t>(it - names.begin());
        names.push_back(name);
        members.emplace_back();
        return names.size() - 1;
    };
    auto keyOf = [&](const ObjStructure::FaceLine& line) -> std::string {
        std::string key;
        if (structure.hasObjectLines) {
            if (line.objectLine >= 0) key = structure.objectNames[static_cast<size_t>(line.objectLine)];
        } else if (line.groupSet >= 0) {
            key = JoinNames(structure.groupSets[static_cast<size_t>(line.groupSet)]);
        }
        return key.empty() ? defaultName : key;
    };
    if (structure.hasObjectLines) {
        // Faces before the first `o` come first; every `o` is an object, with faces or not.
        if (!polygons.empty() && polygons.front().line->objectLine < 0) objectIndex(defaultName);
        for (const auto& n : structure.objectNames) objectIndex(n.empty() ? defaultName : n);
    }
    for (const Polygon& p : polygons) members[objectIndex(keyOf(*p.line))].push_back(p);

    scene.objects.resize(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        scene.objects[i].name = names[i];
        BuildObject(scene.objects[i], members[i], structure, attrib, scene.hasColours);
    }
    scene.text = std::move(text);
    return true;
}

bool LoadObjScene(const std::string& path, ObjScene& scene, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        error = "cannot read " + path + ": no such file";
        return false;
    }
    if (std::filesystem::is_directory(path, ec)) {
        error = "cannot read " + path + ": it is a directory";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path + ": permission denied or unreadable";
        return false;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read " + path + ": read error";
        return false;
    }
    if (!ParseObjScene(std::move(text), std::filesystem::path(path).stem().string(), scene, error)) {
        error = path + ": " + error;
        return false;
    }
    scene.path = path;
    return true;
}

bool SelectGroupFaces(ObjObject& object, const std::vector<std::string>& groups, std::string& error) {
    const std::vector<std::string> known = object.GroupNames();
    for (const auto& g : groups) {
        if (std::find(known.begin(), known.end(), g) == known.end()) {
            error = "object \"" + object.name + "\" has no group \"" + g + "\"";
            error += known.empty() ? " (it has no groups)" : " (its groups: " + JoinNames(known, ", ") + ")";
            return false;
        }
    }
    BitArray& sel = object.mesh.FaceSel();
    sel.SetSize(object.mesh.getNumFaces());
    sel.ClearAll();
    for (int f = 0; f < object.mesh.getNumFaces(); ++f) {
        const int set = object.faceGroupSet[static_cast<size_t>(f)];
        if (set < 0) continue;
        for (const auto& name : object.groupSets[static_cast<size_t>(set)])
            if (std::find(groups.begin(), groups.end(), name) != groups.end()) sel.Set(f);
    }
    return true;
}
