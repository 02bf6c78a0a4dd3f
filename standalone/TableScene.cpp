#include "standalone/TableScene.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>

namespace {

// Map corner given to faces of a mesh without the channel's set: outside the texture square.
const Point3 kOutsideMapVertex{-1.0f, -1.0f, 0.0f};
// Stands for the outside corner until it has its index.
constexpr DWORD kOutsideMark = ~DWORD(0);
// What Assimp calls the material it makes for files that have none.
constexpr const char* kAssimpStandInMaterial = "DefaultMaterial";
constexpr int kMaxChannels = 99;

bool IsIdentity(const double m[16]) {
    for (int i = 0; i < 16; ++i)
        if (m[i] != (i % 5 == 0 ? 1.0 : 0.0)) return false;
    return true;
}

// A position's coordinates as bits, -0 taken as +0, so that equal positions weld.
struct PositionKey {
    std::uint32_t x, y, z;
    bool operator==(const PositionKey&) const = default;
};

struct PositionHash {
    size_t operator()(const PositionKey& k) const {
        std::uint64_t h = (std::uint64_t(k.x) * 0x9E3779B97F4A7C15ull) ^ k.y;
        h = (h * 0xC2B2AE3D27D4EB4Full) ^ k.z;
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

std::uint32_t Bits(float f) { return f == 0.0f ? 0u : std::bit_cast<std::uint32_t>(f); }

bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

std::string Num(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    return buf;
}

std::string MeshLabel(const SceneTables& t, unsigned index) {
    const char* name = t.meshes[index].name;
    return "mesh " + std::to_string(index + 1) + (name && *name ? " (\"" + std::string(name) + "\")" : "");
}

// The node's transform applied to a file position: in double, rounded once to float.
Point3 ToWorld(const double m[16], bool identity, const float* p) {
    if (identity) return Point3{p[0], p[1], p[2]};
    const double x = p[0], y = p[1], z = p[2];
    double out[4];
    for (int r = 0; r < 4; ++r) out[r] = m[r * 4] * x + m[r * 4 + 1] * y + m[r * 4 + 2] * z + m[r * 4 + 3];
    if (out[3] != 1.0 && out[3] != 0.0)
        for (int r = 0; r < 3; ++r) out[r] /= out[3];
    return Point3{static_cast<float>(out[0]), static_cast<float>(out[1]), static_cast<float>(out[2])};
}

std::string UniqueName(const std::string& base, std::set<std::string>& taken) {
    std::string name = base;
    for (int n = 2; !taken.insert(name).second; ++n) name = base + "." + std::to_string(n);
    return name;
}

// Checks every mesh's faces against its vertices and counts the file's faces by kind.
bool CheckMeshes(const SceneTables& t, std::string& error) {
    for (unsigned m = 0; m < t.meshCount; ++m) {
        const SceneTableMesh& mesh = t.meshes[m];
        if (mesh.vertexCount > 0 && !mesh.positions) {
            error = MeshLabel(t, m) + " has no positions";
            return false;
        }
        if (mesh.material >= t.materialCount) {
            error = MeshLabel(t, m) + " uses material " + std::to_string(mesh.material) + ", which does not exist";
            return false;
        }
        const unsigned* corner = mesh.corners;
        for (unsigned f = 0; f < mesh.faceCount; ++f) {
            for (unsigned k = 0; k < mesh.faceSizes[f]; ++k, ++corner) {
                if (*corner >= mesh.vertexCount) {
                    error = MeshLabel(t, m) + ": face " + std::to_string(f + 1) + " refers to vertex " +
                            std::to_string(*corner + 1) + ", and the mesh has " + std::to_string(mesh.vertexCount);
                    return false;
                }
            }
        }
    }
    return true;
}

struct SkippedFaces {
    std::int64_t points = 0, lines = 0;
};

class ObjectBuilder {
    struct PairLess {
        bool operator()(const std::pair<DWORD, PositionKey>& a, const std::pair<DWORD, PositionKey>& b) const {
            return std::tie(a.first, a.second.x, a.second.y, a.second.z) < std::tie(b.first, b.second.x, b.second.y, b.second.z);
        }
    };

public:
    ObjectBuilder(const SceneTables& t, const SceneTableNode& node, const std::vector<unsigned>& meshBase,
                  ImportedObject& o)
        : t_(t), node_(node), meshBase_(meshBase), o_(o), identity_(IsIdentity(node.transform)) {}

    bool Build(SkippedFaces& skipped, std::vector<std::string>& warnings, std::string& error) {
        // What the object's meshes hold.
        std::int64_t triangles = 0;
        int polygons = 0, channels = 0;
        bool anyNormals = false, allColours = true, anyColours = false, anyFaces = false;
        for (unsigned i = 0; i < node_.meshCount; ++i) {
            const unsigned mi = node_.meshes[i];
            if (mi >= t_.meshCount) {
                error = "node \"" + o_.name + "\" holds mesh " + std::to_string(mi + 1) + ", which does not exist";
                return false;
            }
            const SceneTableMesh& m = t_.meshes[mi];
            bool withFaces = false;
            for (unsigned f = 0; f < m.faceCount; ++f) {
                const unsigned n = m.faceSizes[f];
                if (n == 1) skipped.points++;
                if (n == 2) skipped.lines++;
                if (n < 3) continue;
                withFaces = true;
                polygons++;
                triangles += n - 2;
            }
            if (!withFaces) continue;
            anyFaces = true;
            channels = std::max(channels, static_cast<int>(m.uvSetCount));
            anyNormals = anyNormals || m.normals;
            allColours = allColours && m.colours;
            anyColours = anyColours || m.colours;
        }
        if (triangles > std::numeric_limits<int>::max()) {
            error = "object \"" + o_.name + "\" has too many faces (" + std::to_string(triangles) + " triangles)";
            return false;
        }
        channels = std::min(channels, kMaxChannels);
        const int faceCount = static_cast<int>(triangles);
        o_.polygonCount = polygons;
        if (!anyFaces) return true;  // listed, but nothing to bake

        Mesh& mesh = o_.mesh;
        mesh.setNumFaces(faceCount);
        o_.faceGroupSet.assign(static_cast<size_t>(faceCount), -1);
        o_.polygonOfFace.assign(static_cast<size_t>(faceCount), 0);
        if (anyNormals) {
            o_.cornerNormals.assign(static_cast<size_t>(faceCount) * 3, Point3{});
            o_.cornerHasNormal.assign(static_cast<size_t>(faceCount) * 3, 0);
        }
        if (allColours) cornerColours_.resize(static_cast<size_t>(faceCount) * 3);
        mapVerts_.resize(static_cast<size_t>(channels));
        mapFaces_.assign(static_cast<size_t>(channels), std::vector<TVFace>(static_cast<size_t>(faceCount)));
        o_.mapChannelNames.assign(static_cast<size_t>(channels), std::string());
        o_.facesWithoutMapCoords.assign(static_cast<size_t>(channels), 0);

        int face = 0, polygon = 0;
        for (unsigned i = 0; i < node_.meshCount; ++i)
            if (!AddMesh(node_.meshes[i], channels, anyNormals, allColours, face, polygon, error)) return false;

        FinishMaps(channels);
        o_.facesWithoutTexCoords = channels > 0 ? o_.facesWithoutMapCoords[0] : faceCount;
        if (allColours) SetColours();
        else if (anyColours)
            warnings.push_back("object \"" + o_.name + "\": vertex colours ignored: only some of its meshes have them");
        return true;
    }

private:
    // The mesh vertex of file vertex v of mesh m: welded by position, in order of first use.
    bool Weld(unsigned m, unsigned v, std::vector<int>& weld, int& out, std::string& error) {
        if (weld[v] >= 0) {
            out = weld[v];
            return true;
        }
        const Point3 p = ToWorld(node_.transform, identity_, t_.meshes[m].positions + size_t(v) * 3);
        if (!Finite(p)) {
            error = MeshLabel(t_, m) + ": vertex " + std::to_string(v + 1) + " of object \"" + o_.name +
                    "\" lies at (" + Num(p.x) + ", " + Num(p.y) + ", " + Num(p.z) + "), which is not a finite position";
            return false;
        }
        const PositionKey key{Bits(p.x), Bits(p.y), Bits(p.z)};
        const auto [it, added] = welded_.emplace(key, o_.mesh.getNumVerts());
        if (added) {
            o_.mesh.verts.push_back(Point3{p.x == 0.0f ? 0.0f : p.x, p.y == 0.0f ? 0.0f : p.y, p.z == 0.0f ? 0.0f : p.z});
            o_.vertexSource.push_back(static_cast<int>(meshBase_[m] + v));
        }
        out = weld[v] = it->second;
        return true;
    }

    bool MapVertex(unsigned m, int channel, unsigned v, std::vector<int>& map, DWORD& out, std::string& error) {
        if (map[v] < 0) {
            const float* uvw = t_.meshes[m].uvSets[channel] + size_t(v) * 3;
            const Point3 p{uvw[0], uvw[1], uvw[2]};
            if (!Finite(p)) {
                error = MeshLabel(t_, m) + ": vertex " + std::to_string(v + 1) + " has texture coordinates (" +
                        Num(p.x) + ", " + Num(p.y) + ") in set " + std::to_string(channel + 1) + ", which are not finite";
                return false;
            }
            map[v] = static_cast<int>(mapVerts_[static_cast<size_t>(channel)].size());
            mapVerts_[static_cast<size_t>(channel)].push_back(p);
        }
        out = DWORD(map[v]);
        return true;
    }

    int MaterialId(unsigned material) {
        const auto [it, added] = materialIds_.emplace(material, static_cast<int>(o_.materialNames.size()));
        if (added) {
            std::string name = t_.materialNames[material] ? t_.materialNames[material] : "";
            if (name == kAssimpStandInMaterial) name.clear();
            o_.materialNames.push_back(name);
        }
        return it->second;
    }

    int GroupOf(const char* meshName) {
        if (!meshName || !*meshName) return -1;
        const auto [it, added] = groupIds_.emplace(meshName, static_cast<int>(o_.groupSets.size()));
        if (added) o_.groupSets.push_back({meshName});
        return it->second;
    }

    bool AddMesh(unsigned mi, int channels, bool anyNormals, bool allColours, int& face, int& polygon,
                 std::string& error) {
        const SceneTableMesh& m = t_.meshes[mi];
        bool withFaces = false;
        for (unsigned f = 0; f < m.faceCount && !withFaces; ++f) withFaces = m.faceSizes[f] >= 3;
        if (!withFaces) return true;

        const MtlID material = static_cast<MtlID>(MaterialId(m.material));
        const int group = GroupOf(m.name);
        const int sets = std::min(static_cast<int>(m.uvSetCount), channels);
        for (int c = 0; c < sets; ++c)
            if (o_.mapChannelNames[static_cast<size_t>(c)].empty() && m.uvSetNames && m.uvSetNames[c])
                o_.mapChannelNames[static_cast<size_t>(c)] = m.uvSetNames[c];
        std::vector<int> weld(m.vertexCount, -1);
        std::vector<std::vector<int>> maps(static_cast<size_t>(sets), std::vector<int>(m.vertexCount, -1));
        std::vector<int> corners;
        const unsigned* c = m.corners;
        for (unsigned f = 0; f < m.faceCount; ++f) {
            const unsigned n = m.faceSizes[f];
            const unsigned* fc = c;
            c += n;
            if (n < 3) continue;
            // Every corner in order first, so vertices number in order of first use.
            corners.resize(n);
            for (unsigned k = 0; k < n; ++k)
                if (!Weld(mi, fc[k], weld, corners[k], error)) return false;
            for (unsigned k = 1; k + 1 < n; ++k, ++face) {
                const unsigned fan[3] = {0, k, k + 1};
                Face& out = o_.mesh.faces[static_cast<size_t>(face)];
                out.setVerts(corners[0], corners[k], corners[k + 1]);
                out.setMatID(material);
                o_.faceGroupSet[static_cast<size_t>(face)] = group;
                o_.polygonOfFace[static_cast<size_t>(face)] = polygon;
                for (int ch = 0; ch < channels; ++ch) {
                    TVFace& tf = mapFaces_[static_cast<size_t>(ch)][static_cast<size_t>(face)];
                    if (ch >= sets) {
                        tf = TVFace(kOutsideMark, kOutsideMark, kOutsideMark);
                        o_.facesWithoutMapCoords[static_cast<size_t>(ch)]++;
                        continue;
                    }
                    for (int j = 0; j < 3; ++j)
                        if (!MapVertex(mi, ch, fc[fan[j]], maps[static_cast<size_t>(ch)], tf.t[j], error)) return false;
                }
                for (int j = 0; j < 3; ++j) {
                    const size_t at = static_cast<size_t>(face) * 3 + static_cast<size_t>(j);
                    const size_t v = fc[fan[j]];
                    if (anyNormals && m.normals) {
                        o_.cornerNormals[at] = Point3{m.normals[v * 3], m.normals[v * 3 + 1], m.normals[v * 3 + 2]};
                        o_.cornerHasNormal[at] = 1;
                    }
                    if (allColours) cornerColours_[at] = Point3{m.colours[v * 4], m.colours[v * 4 + 1], m.colours[v * 4 + 2]};
                }
            }
            polygon++;
        }
        return true;
    }

    void FinishMaps(int channels) {
        for (int ch = 0; ch < channels; ++ch) {
            std::vector<Point3>& tv = mapVerts_[static_cast<size_t>(ch)];
            std::vector<TVFace>& tf = mapFaces_[static_cast<size_t>(ch)];
            if (o_.facesWithoutMapCoords[static_cast<size_t>(ch)] > 0) {
                const DWORD outside = DWORD(tv.size());
                tv.push_back(kOutsideMapVertex);
                for (TVFace& f : tf)
                    if (f.t[0] == kOutsideMark) f = TVFace(outside, outside, outside);
            }
            Mesh& mesh = o_.mesh;
            mesh.setNumMapVerts(ch + 1, static_cast<int>(tv.size()));
            std::copy(tv.begin(), tv.end(), mesh.mapVerts(ch + 1));
            mesh.setNumMapFaces(ch + 1, static_cast<int>(tf.size()));
            std::copy(tf.begin(), tf.end(), mesh.mapFaces(ch + 1));
        }
    }

    // One colour per vertex where every vertex's corners agree, else one per (vertex, colour).
    void SetColours() {
        Mesh& mesh = o_.mesh;
        const int nv = mesh.getNumVerts(), nf = mesh.getNumFaces();
        std::vector<Point3> first(static_cast<size_t>(nv));
        std::vector<std::uint8_t> seen(static_cast<size_t>(nv), 0);
        bool agree = true;
        for (int f = 0; f < nf && agree; ++f)
            for (int k = 0; k < 3; ++k) {
                const DWORD v = mesh.faces[static_cast<size_t>(f)].v[k];
                const Point3& c = cornerColours_[static_cast<size_t>(f) * 3 + static_cast<size_t>(k)];
                if (!seen[v]) {
                    seen[v] = 1;
                    first[v] = c;
                } else if (!(first[v] == c)) {
                    agree = false;
                }
            }
        mesh.setNumVCFaces(nf);
        if (agree) {
            mesh.setNumVertCol(nv);
            std::copy(first.begin(), first.end(), mesh.vertCol.begin());
            for (int f = 0; f < nf; ++f) {
                const Face& face = mesh.faces[static_cast<size_t>(f)];
                mesh.vcFace[static_cast<size_t>(f)] = TVFace(face.v[0], face.v[1], face.v[2]);
            }
            return;
        }
        std::map<std::pair<DWORD, PositionKey>, DWORD, PairLess> index;
        std::vector<Point3> colours;
        for (int f = 0; f < nf; ++f)
            for (int k = 0; k < 3; ++k) {
                const DWORD v = mesh.faces[static_cast<size_t>(f)].v[k];
                const Point3& c = cornerColours_[static_cast<size_t>(f) * 3 + static_cast<size_t>(k)];
                const auto [it, added] = index.emplace(std::make_pair(v, PositionKey{Bits(c.x), Bits(c.y), Bits(c.z)}),
                                                       DWORD(colours.size()));
                if (added) colours.push_back(c);
                mesh.vcFace[static_cast<size_t>(f)].t[k] = it->second;
            }
        mesh.setNumVertCol(static_cast<int>(colours.size()));
        std::copy(colours.begin(), colours.end(), mesh.vertCol.begin());
    }

    const SceneTables& t_;
    const SceneTableNode& node_;
    const std::vector<unsigned>& meshBase_;
    ImportedObject& o_;
    const bool identity_;
    std::unordered_map<PositionKey, int, PositionHash> welded_;
    std::map<unsigned, int> materialIds_;
    std::map<std::string, int> groupIds_;
    std::vector<std::vector<Point3>> mapVerts_;
    std::vector<std::vector<TVFace>> mapFaces_;
    std::vector<Point3> cornerColours_;
};

}  // namespace

bool BuildTableScene(const SceneTables& t, const std::string& fileStem, ImportedScene& scene, std::string& error) {
    scene.objects.clear();
    scene.warnings.clear();
    if (!CheckMeshes(t, error)) return false;

    std::vector<unsigned> meshBase(t.meshCount, 0);
    std::int64_t vertices = 0, withUvs = 0, withNormals = 0;
    for (unsigned m = 0; m < t.meshCount; ++m) {
        meshBase[m] = static_cast<unsigned>(std::min<std::int64_t>(vertices, std::numeric_limits<unsigned>::max()));
        vertices += t.meshes[m].vertexCount;
        if (t.meshes[m].uvSetCount > 0) withUvs += t.meshes[m].vertexCount;
        if (t.meshes[m].normals) withNormals += t.meshes[m].vertexCount;
    }
    const auto clampInt = [](std::int64_t n) { return static_cast<int>(std::min<std::int64_t>(n, std::numeric_limits<int>::max())); };
    scene.vertexLines = clampInt(vertices);
    scene.texCoordLines = clampInt(withUvs);
    scene.normalLines = clampInt(withNormals);

    const std::string defaultName = fileStem.empty() ? std::string("default") : fileStem;
    std::set<std::string> taken;
    SkippedFaces skipped;
    scene.objects.resize(t.nodeCount);
    for (unsigned n = 0; n < t.nodeCount; ++n) {
        const SceneTableNode& node = t.nodes[n];
        ImportedObject& o = scene.objects[n];
        o.name = UniqueName(node.name && *node.name ? std::string(node.name) : defaultName, taken);
        ObjectBuilder builder(t, node, meshBase, o);
        if (!builder.Build(skipped, scene.warnings, error)) return false;
    }
    if (skipped.points > 0 || skipped.lines > 0)
        scene.warnings.push_back(std::to_string(skipped.points) + " point(s) and " + std::to_string(skipped.lines) +
                                 " line(s) skipped: only faces are read");

    bool anyFaces = false, allColours = true;
    for (const ImportedObject& o : scene.objects) {
        if (!o.HasFaces()) continue;
        anyFaces = true;
        allColours = allColours && o.mesh.getNumVertCol() > 0;
    }
    if (!anyFaces) {
        error = skipped.points + skipped.lines > 0 ? "holds no faces (only points and lines)" : "holds no faces";
        return false;
    }
    scene.hasColours = allColours;
    return true;
}
