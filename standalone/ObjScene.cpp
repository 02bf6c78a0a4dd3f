#include "standalone/ObjScene.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <thread>
#include <unordered_map>

#include "standalone/ObjChunk.h"

namespace {

// Map corner given to faces without texture coordinates: outside the texture square.
const Point3 kOutsideMapVertex{-1.0f, -1.0f, 0.0f};

// Stretches of about this many bytes are read in parallel. The stretches do not depend on the
// thread count, so neither does anything read from them.
constexpr size_t kDefaultChunkBytes = size_t(1) << 18;

DWORD SmoothingBits(std::uint32_t group) { return group == 0 ? 0u : DWORD(1) << ((group - 1u) % 32u); }

std::string JoinNames(const std::vector<std::string>& names) {
    std::string joined;
    for (const auto& n : names) joined += (joined.empty() ? "" : " ") + n;
    return joined;
}

// Runs work(i) for every i < count on up to `threads` threads, the caller's among them. `work`
// must not throw.
template <class Work>
void RunParallel(int count, int threads, Work&& work) {
    std::atomic<int> next{0};
    auto worker = [&] {
        for (int i = next++; i < count; i = next++) work(i);
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < std::min(threads, count); ++t) {
        try {
            pool.emplace_back(worker);
        } catch (...) {
            break;  // no more threads to be had: the others share the work
        }
    }
    worker();
    for (auto& t : pool) t.join();
}

int ThreadCount(int requested) {
    if (requested > 0) return requested;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// Cuts `text` into stretches of whole lines of about `bytes` each. A stretch ends after a "\n",
// or after a "\r" that no "\n" follows, so a "\r\n" is never split.
std::vector<std::string_view> SplitIntoLines(std::string_view text, size_t bytes) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t cut = std::min(text.size(), start + std::max<size_t>(bytes, 1));
        while (cut < text.size()) {
            const char c = text[cut - 1];
            if (c == '\n' || (c == '\r' && text[cut] != '\n')) break;
            ++cut;
        }
        pieces.push_back(text.substr(start, cut - start));
        start = cut;
    }
    return pieces;
}

// What the `o`, `g`, `usemtl` and `s` lines before a face leave in force.
struct FaceState {
    int objectLine = -1;  // index into Tables::objectNames; -1 before the first `o`
    int groupSet = -1;    // index into Tables::groupSets; -1 before the first `g`
    int material = -1;    // index into Tables::materialNames; -1 before the first `usemtl`
    std::uint32_t smoothing = 0;
};

struct Tables {
    std::vector<std::string> objectNames;                // distinct `o` names, in order
    std::vector<std::vector<std::string>> groupSets;     // distinct `g` name lists, in order
    std::vector<std::string> materialNames;              // distinct `usemtl` names, in order
    bool hasObjectLines = false;
};

template <class Key>
int IndexOf(std::vector<Key>& table, std::map<Key, int>& lookup, const Key& key) {
    const auto [it, added] = lookup.emplace(key, static_cast<int>(table.size()));
    if (added) table.push_back(key);
    return it->second;
}

// In file order: the state in force at each stretch's start and after each of its changes.
void ResolveStates(const std::vector<ObjChunk>& chunks, Tables& tables, std::vector<FaceState>& startOf,
                   std::vector<std::vector<FaceState>>& afterChange) {
    std::map<std::string, int> objects, materials;
    std::map<std::vector<std::string>, int> groups;
    FaceState state;
    startOf.resize(chunks.size());
    afterChange.resize(chunks.size());
    for (size_t c = 0; c < chunks.size(); ++c) {
        startOf[c] = state;
        afterChange[c].reserve(chunks[c].changes.size());
        for (const ObjStateChange& change : chunks[c].changes) {
            switch (change.kind) {
                case ObjStateChange::Object:
                    tables.hasObjectLines = true;
                    state.objectLine = IndexOf(tables.objectNames, objects, change.name);
                    break;
                case ObjStateChange::Groups:
                    state.groupSet = IndexOf(tables.groupSets, groups, change.names);
                    break;
                case ObjStateChange::Material:
                    state.material = IndexOf(tables.materialNames, materials, change.name);
                    break;
                case ObjStateChange::Smoothing: state.smoothing = change.smoothing; break;
            }
            afterChange[c].push_back(state);
        }
    }
}

// Turns a stretch's relative indices into indices of the file's tables and checks that every
// index refers to an entry; the first failure is left in the chunk's error.
void ResolveCorners(ObjChunk& chunk, const int base[3], const int total[3]) {
    static const char* const kWhat[3] = {"vertex", "texture coordinate", "normal"};
    static constexpr std::uint8_t kHas[3] = {0, ObjCorner::kHasTexCoord, ObjCorner::kHasNormal};
    static constexpr std::uint8_t kRelative[3] = {ObjCorner::kRelativeVertex, ObjCorner::kRelativeTexCoord,
                                                  ObjCorner::kRelativeNormal};
    for (const ObjFaceLine& face : chunk.faces) {
        for (int k = 0; k < face.corners; ++k) {
            ObjCorner& c = chunk.corners[static_cast<size_t>(face.firstCorner + k)];
            std::int32_t* field[3] = {&c.v, &c.t, &c.n};
            for (int i = 0; i < 3; ++i) {
                if (kHas[i] && !(c.flags & kHas[i])) continue;
                const bool relative = (c.flags & kRelative[i]) != 0;
                const std::int64_t index = std::int64_t(*field[i]) + (relative ? base[i] : 0);
                if (index < 0 || index >= total[i]) {
                    chunk.errorLine = face.line;
                    chunk.error = std::string("a face refers to a ") + kWhat[i] + " that does not exist (" +
                                  (relative ? std::string("a relative index reaching back before the first one")
                                            : "index " + std::to_string(index + 1)) +
                                  "; the file defines " + std::to_string(total[i]) + ")";
                    return;
                }
                *field[i] = static_cast<std::int32_t>(index);
            }
        }
    }
}

// One polygon of the file, as read, with what is in force for it.
struct Polygon {
    const ObjFaceLine* line;
    const ObjCorner* corners;
    FaceState state;
};

bool HasAllTexCoords(const Polygon& p, int a, int b, int c) {
    const auto has = [&](int k) { return (p.corners[k].flags & ObjCorner::kHasTexCoord) != 0; };
    return has(a) && has(b) && has(c);
}

// The file's tables, gathered from all stretches in order.
struct FileTables {
    std::vector<float> positions, colours, texCoords, normals;
};

// Scratch space shared by the objects, which are built one after the other: per file entry,
// the object that last used it (`stamp`) and its index in that object's mesh (`local`).
struct UseMarks {
    std::vector<int> stamp, local;
    explicit UseMarks(int n) : stamp(static_cast<size_t>(n), -1), local(static_cast<size_t>(n), -1) {}

    // The entries object `id` uses, in file order, each numbered in `local`.
    template <class ForEachIndex>
    std::vector<int> Collect(int id, ForEachIndex&& forEach) {
        std::vector<int> used;
        forEach([&](int i) {
            if (stamp[static_cast<size_t>(i)] != id) {
                stamp[static_cast<size_t>(i)] = id;
                used.push_back(i);
            }
        });
        // File order: a walk over the marks when the object uses much of the file, else a sort.
        if (used.size() * 16 >= stamp.size()) {
            used.clear();
            for (size_t i = 0; i < stamp.size(); ++i)
                if (stamp[i] == id) used.push_back(static_cast<int>(i));
        } else {
            std::sort(used.begin(), used.end());
        }
        for (size_t k = 0; k < used.size(); ++k) local[static_cast<size_t>(used[k])] = static_cast<int>(k);
        return used;
    }
};

// What an object's polygon gives its triangles, settled in file order (IDs by first use).
struct PolygonPlan {
    int firstFace;
    int materialId;
    int groupIndex;
};

// Polygons per piece of the parallel fill.
constexpr int kPolygonsPerPiece = 8192;

void BuildObject(int id, ObjObject& obj, const std::vector<Polygon>& polygons, const std::vector<int>& members,
                 const Tables& tables, const FileTables& file, bool withColours, UseMarks& vertexMarks,
                 UseMarks& texMarks, int threads) {
    // In file order: where each polygon's triangles start, and its material ID and group set
    // (each numbered in order of first use over the object's faces). Consecutive polygons mostly
    // share both, so the last ones are kept at hand.
    std::vector<PolygonPlan> plan(members.size());
    std::map<int, int> materialIds, groupIds;
    int lastMaterial = -2, lastMaterialId = 0, lastGroupSet = -2, lastGroupIndex = -1;
    int triangles = 0;
    bool anyWithoutTexCoords = false, anyNormal = false;
    for (size_t i = 0; i < members.size(); ++i) {
        const Polygon& p = polygons[static_cast<size_t>(members[i])];
        if (p.state.material != lastMaterial) {
            auto it = materialIds.find(p.state.material);
            if (it == materialIds.end()) {
                it = materialIds.emplace(p.state.material, static_cast<int>(obj.materialNames.size())).first;
                obj.materialNames.push_back(p.state.material < 0
                                                ? std::string()
                                                : tables.materialNames[static_cast<size_t>(p.state.material)]);
            }
            lastMaterial = p.state.material;
            lastMaterialId = it->second;
        }
        if (p.state.groupSet != lastGroupSet) {
            int index = -1;
            if (p.state.groupSet >= 0) {
                auto it = groupIds.find(p.state.groupSet);
                if (it == groupIds.end()) {
                    it = groupIds.emplace(p.state.groupSet, static_cast<int>(obj.groupSets.size())).first;
                    obj.groupSets.push_back(tables.groupSets[static_cast<size_t>(p.state.groupSet)]);
                }
                index = it->second;
            }
            lastGroupSet = p.state.groupSet;
            lastGroupIndex = index;
        }
        plan[i] = {triangles, lastMaterialId, lastGroupIndex};
        if (p.state.smoothing != 0) obj.usesSmoothing = true;
        for (int k = 1; k + 1 < p.line->corners; ++k)
            if (!HasAllTexCoords(p, 0, k, k + 1)) {
                anyWithoutTexCoords = true;
                obj.facesWithoutTexCoords++;
            }
        for (int k = 0; k < p.line->corners && !anyNormal; ++k)
            if (p.corners[k].flags & ObjCorner::kHasNormal) anyNormal = true;
        triangles += p.line->corners - 2;
    }
    obj.polygonCount = static_cast<int>(members.size());

    const std::vector<int> usedV = vertexMarks.Collect(id, [&](auto&& use) {
        for (int m : members) {
            const Polygon& p = polygons[static_cast<size_t>(m)];
            for (int k = 0; k < p.line->corners; ++k) use(p.corners[k].v);
        }
    });
    const std::vector<int> usedT = texMarks.Collect(id, [&](auto&& use) {
        for (int m : members) {
            const Polygon& p = polygons[static_cast<size_t>(m)];
            for (int k = 0; k < p.line->corners; ++k)
                if (p.corners[k].flags & ObjCorner::kHasTexCoord) use(p.corners[k].t);
        }
    });

    Mesh& mesh = obj.mesh;
    mesh.setNumVerts(static_cast<int>(usedV.size()));
    for (size_t i = 0; i < usedV.size(); ++i) {
        const size_t s = static_cast<size_t>(usedV[i]) * 3;
        mesh.verts[i] = Point3{file.positions[s], file.positions[s + 1], file.positions[s + 2]};
    }
    obj.vertexSource = usedV;
    mesh.setNumFaces(triangles);
    obj.faceGroupSet.assign(static_cast<size_t>(triangles), -1);
    obj.polygonOfFace.assign(static_cast<size_t>(triangles), 0);
    if (anyNormal) {
        obj.cornerNormals.assign(static_cast<size_t>(triangles) * 3, Point3{});
        obj.cornerHasNormal.assign(static_cast<size_t>(triangles) * 3, 0);
    }

    const bool hasMap = !usedT.empty();
    const int outsideIndex = static_cast<int>(usedT.size());
    if (hasMap) {
        mesh.setNumMapVerts(1, static_cast<int>(usedT.size()) + (anyWithoutTexCoords ? 1 : 0));
        mesh.setNumMapFaces(1, triangles);
        Point3* tv = mesh.mapVerts(1);
        for (size_t i = 0; i < usedT.size(); ++i) {
            const size_t s = static_cast<size_t>(usedT[i]) * 2;
            tv[i] = Point3{file.texCoords[s], file.texCoords[s + 1], 0.0f};
        }
        if (anyWithoutTexCoords) tv[outsideIndex] = kOutsideMapVertex;
    }

    // Each triangle depends on its own polygon alone, so pieces of polygons fill in parallel.
    TVFace* const mapFaces = hasMap ? mesh.mapFaces(1) : nullptr;
    const int pieces = static_cast<int>((members.size() + kPolygonsPerPiece - 1) / kPolygonsPerPiece);
    RunParallel(pieces, threads, [&](int piece) {
        const size_t begin = static_cast<size_t>(piece) * kPolygonsPerPiece;
        const size_t end = std::min(members.size(), begin + kPolygonsPerPiece);
        for (size_t i = begin; i < end; ++i) {
            const Polygon& p = polygons[static_cast<size_t>(members[i])];
            const DWORD bits = SmoothingBits(p.state.smoothing);
            int f = plan[i].firstFace;
            for (int k = 1; k + 1 < p.line->corners; ++k, ++f) {
                const int corner[3] = {0, k, k + 1};
                Face& face = mesh.faces[static_cast<size_t>(f)];
                face.setVerts(vertexMarks.local[static_cast<size_t>(p.corners[0].v)],
                              vertexMarks.local[static_cast<size_t>(p.corners[k].v)],
                              vertexMarks.local[static_cast<size_t>(p.corners[k + 1].v)]);
                face.setSmGroup(bits);
                face.setMatID(static_cast<MtlID>(plan[i].materialId));
                obj.faceGroupSet[static_cast<size_t>(f)] = plan[i].groupIndex;
                obj.polygonOfFace[static_cast<size_t>(f)] = static_cast<int>(i);
                if (mapFaces) {
                    TVFace& tf = mapFaces[f];
                    if (HasAllTexCoords(p, 0, k, k + 1)) {
                        for (int c = 0; c < 3; ++c)
                            tf.t[c] = DWORD(texMarks.local[static_cast<size_t>(p.corners[corner[c]].t)]);
                    } else {
                        tf = TVFace(DWORD(outsideIndex), DWORD(outsideIndex), DWORD(outsideIndex));
                    }
                }
                if (anyNormal) {
                    for (int c = 0; c < 3; ++c) {
                        const ObjCorner& oc = p.corners[corner[c]];
                        if (!(oc.flags & ObjCorner::kHasNormal)) continue;
                        const size_t s = static_cast<size_t>(oc.n) * 3;
                        const size_t at = static_cast<size_t>(f) * 3 + static_cast<size_t>(c);
                        obj.cornerNormals[at] = Point3{file.normals[s], file.normals[s + 1], file.normals[s + 2]};
                        obj.cornerHasNormal[at] = 1;
                    }
                }
            }
        }
    });

    if (withColours && !usedV.empty()) {
        mesh.setNumVertCol(mesh.getNumVerts());
        for (size_t i = 0; i < usedV.size(); ++i) {
            const size_t s = static_cast<size_t>(usedV[i]) * 3;
            mesh.vertCol[i] = Point3{file.colours[s], file.colours[s + 1], file.colours[s + 2]};
        }
        mesh.setNumVCFaces(mesh.getNumFaces());
        for (int i = 0; i < mesh.getNumFaces(); ++i) {
            const Face& face = mesh.faces[static_cast<size_t>(i)];
            mesh.vcFace[static_cast<size_t>(i)] = TVFace(face.v[0], face.v[1], face.v[2]);
        }
    }
}

// Refuses what is no OBJ text at all: a UTF-16 or UTF-32 byte-order mark, or NUL bytes.
bool CheckIsText(const std::string& text, std::string& error) {
    const auto startsWith = [&](const char* bytes, size_t n) { return text.size() >= n && std::memcmp(text.data(), bytes, n) == 0; };
    const char* mark = nullptr;
    if (startsWith("\xFF\xFE\x00\x00", 4) || startsWith("\x00\x00\xFE\xFF", 4)) mark = "UTF-32";
    else if (startsWith("\xFF\xFE", 2) || startsWith("\xFE\xFF", 2)) mark = "UTF-16";
    if (mark) {
        error = std::string("not a text OBJ file (it starts with a ") + mark + " byte-order mark; save it as UTF-8)";
        return false;
    }
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        error = "not a text OBJ file (it holds NUL bytes, the first at byte " + std::to_string(nul) + ")";
        return false;
    }
    return true;
}

}  // namespace

bool ParseObjScene(std::string text, const std::string& fileStem, ObjScene& scene, std::string& error,
                   const ObjReadOptions& options) {
    scene.objects.clear();
    scene.warnings.clear();
    if (!CheckIsText(text, error)) return false;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);  // a UTF-8 byte-order mark

    const std::vector<std::string_view> pieces =
        SplitIntoLines(text, options.chunkBytes > 0 ? options.chunkBytes : kDefaultChunkBytes);
    const int chunkCount = static_cast<int>(pieces.size());
    const int threads = ThreadCount(options.threads);
    std::vector<ObjChunk> chunks(pieces.size());
    RunParallel(chunkCount, threads, [&](int c) {
        try {
            ReadObjChunk(pieces[static_cast<size_t>(c)], chunks[static_cast<size_t>(c)]);
        } catch (const std::exception& e) {
            chunks[static_cast<size_t>(c)].errorLine = 0;
            chunks[static_cast<size_t>(c)].error = std::string("could not be read: ") + e.what();
        }
    });

    // Line numbers, and the counts before each stretch, in file order.
    std::vector<int> lineBase(pieces.size()), base[3];
    for (auto& b : base) b.resize(pieces.size());
    int total[3] = {0, 0, 0}, lines = 0;
    for (size_t c = 0; c < chunks.size(); ++c) {
        const ObjChunk& chunk = chunks[c];
        lineBase[c] = lines;
        base[0][c] = total[0];
        base[1][c] = total[1];
        base[2][c] = total[2];
        if (!chunk.error.empty()) {
            error = chunk.errorLine > 0 ? "line " + std::to_string(lines + chunk.errorLine) + ": " + chunk.error
                                        : chunk.error;
            return false;
        }
        lines += chunk.lines;
        total[0] += chunk.VertexCount();
        total[1] += chunk.TexCoordCount();
        total[2] += chunk.NormalCount();
    }

    RunParallel(chunkCount, threads, [&](int c) {
        const size_t i = static_cast<size_t>(c);
        const int chunkBase[3] = {base[0][i], base[1][i], base[2][i]};
        ResolveCorners(chunks[i], chunkBase, total);
    });
    for (size_t c = 0; c < chunks.size(); ++c) {
        if (!chunks[c].error.empty()) {
            error = "line " + std::to_string(lineBase[c] + chunks[c].errorLine) + ": " + chunks[c].error;
            return false;
        }
    }

    Tables tables;
    std::vector<FaceState> startOf;
    std::vector<std::vector<FaceState>> afterChange;
    ResolveStates(chunks, tables, startOf, afterChange);

    FileTables file;
    int colouredLines = 0;
    std::int64_t triangles = 0;
    std::vector<Polygon> polygons;
    {
        size_t faceCount = 0;
        for (const ObjChunk& chunk : chunks) faceCount += chunk.faces.size();
        polygons.reserve(faceCount);
        file.positions.reserve(static_cast<size_t>(total[0]) * 3);
        file.texCoords.reserve(static_cast<size_t>(total[1]) * 2);
        file.normals.reserve(static_cast<size_t>(total[2]) * 3);
    }
    int firstShortLine = 0, shortLines = 0;
    for (size_t c = 0; c < chunks.size(); ++c) {
        const ObjChunk& chunk = chunks[c];
        file.positions.insert(file.positions.end(), chunk.positions.begin(), chunk.positions.end());
        file.colours.insert(file.colours.end(), chunk.colours.begin(), chunk.colours.end());
        file.texCoords.insert(file.texCoords.end(), chunk.texCoords.begin(), chunk.texCoords.end());
        file.normals.insert(file.normals.end(), chunk.normals.begin(), chunk.normals.end());
        colouredLines += chunk.vertexLinesWithColour;
        if (!chunk.shortFaceLines.empty()) {
            if (shortLines == 0) firstShortLine = lineBase[c] + chunk.shortFaceLines.front();
            shortLines += static_cast<int>(chunk.shortFaceLines.size());
        }
        for (const ObjFaceLine& face : chunk.faces) {
            const FaceState state = face.lastChange < 0 ? startOf[c] : afterChange[c][static_cast<size_t>(face.lastChange)];
            polygons.push_back({&face, &chunk.corners[static_cast<size_t>(face.firstCorner)], state});
            triangles += face.corners - 2;
        }
    }
    if (triangles > std::numeric_limits<int>::max()) {
        error = "too many faces (" + std::to_string(triangles) + " triangles; at most " +
                std::to_string(std::numeric_limits<int>::max()) + ")";
        return false;
    }

    scene.vertexLines = total[0];
    scene.texCoordLines = total[1];
    scene.normalLines = total[2];
    scene.hasColours = total[0] > 0 && colouredLines == total[0];
    if (!scene.hasColours && colouredLines > 0)
        scene.warnings.push_back("vertex colours ignored: only " + std::to_string(colouredLines) + " of " +
                                 std::to_string(total[0]) + " vertices have one");
    if (shortLines > 0)
        scene.warnings.push_back(std::to_string(shortLines) + " face(s) with fewer than three corners skipped (first on line " +
                                 std::to_string(firstShortLine) + ")");
    if (polygons.empty()) {
        error = shortLines > 0 ? "holds no faces (only faces with fewer than three corners)" : "holds no faces";
        return false;
    }

    // Objects: by `o` name, else by `g` names, else one for the whole file. Each distinct `o`
    // line or `g` name list is looked up once.
    const std::string defaultName = fileStem.empty() ? std::string("default") : fileStem;
    std::vector<std::string> names;
    std::unordered_map<std::string, int> objectByName;
    std::vector<std::vector<int>> members;
    auto objectIndex = [&](const std::string& name) {
        const auto [it, added] = objectByName.emplace(name.empty() ? defaultName : name, static_cast<int>(names.size()));
        if (added) {
            names.push_back(it->first);
            members.emplace_back();
        }
        return it->second;
    };
    if (tables.hasObjectLines) {
        // Faces before the first `o` come first; every `o` is an object, with faces or not.
        if (polygons.front().state.objectLine < 0) objectIndex(defaultName);
        for (const auto& n : tables.objectNames) objectIndex(n);
    }
    std::vector<int> objectOfKey(
        (tables.hasObjectLines ? tables.objectNames.size() : tables.groupSets.size()) + 1, -1);
    for (size_t i = 0; i < polygons.size(); ++i) {
        const FaceState& s = polygons[i].state;
        const int key = tables.hasObjectLines ? s.objectLine : s.groupSet;
        int& object = objectOfKey[static_cast<size_t>(key + 1)];
        if (object < 0) {
            object = key < 0 ? objectIndex(defaultName)
                             : objectIndex(tables.hasObjectLines ? tables.objectNames[static_cast<size_t>(key)]
                                                                 : JoinNames(tables.groupSets[static_cast<size_t>(key)]));
        }
        members[static_cast<size_t>(object)].push_back(static_cast<int>(i));
    }

    scene.objects.resize(names.size());
    UseMarks vertexMarks(total[0]), texMarks(total[1]);
    for (size_t i = 0; i < names.size(); ++i) {
        scene.objects[i].name = names[i];
        BuildObject(static_cast<int>(i), scene.objects[i], polygons, members[i], tables, file, scene.hasColours,
                    vertexMarks, texMarks, threads);
    }
    scene.text = std::move(text);
    return true;
}

bool LoadObjScene(const std::string& path, ObjScene& scene, std::string& error, const ObjReadOptions& options) {
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
    std::string text;
    {
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        in.seekg(0, std::ios::beg);
        if (size > 0) {
            text.resize(static_cast<size_t>(size));
            in.read(text.data(), size);
            text.resize(static_cast<size_t>(in.gcount()));
        } else {
            text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    if (in.bad()) {
        error = "cannot read " + path + ": read error";
        return false;
    }
    if (!ParseObjScene(std::move(text), std::filesystem::path(path).stem().string(), scene, error, options)) {
        error = path + ": " + error;
        return false;
    }
    scene.path = path;
    return true;
}
