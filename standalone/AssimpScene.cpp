#include "standalone/AssimpScene.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <vector>

#include "standalone/OptionalModule.h"
#include "standalone/PlyFaces.h"
#include "standalone/SceneTables.h"
#include "standalone/TableScene.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kModule = "murkwell-assimp.so";
constexpr const char* kEntry = "MurkwellSceneReader";

std::string LowerExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

// A message on one line: Assimp's may hold line breaks.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

const SceneReader* Reader(std::string& error) {
    void* address = OptionalModuleEntry(kModule, kEntry, error);
    if (!address) return nullptr;
    const SceneReader* reader = reinterpret_cast<SceneReaderEntry>(address)(kSceneReaderInterface);
    if (!reader) error = std::string("the module ") + kModule + " was built for another version of this program";
    return reader;
}

// "murkwell reads ...": the OBJ reader's format and Assimp's, from the module's list.
std::string KnownFormats(const SceneReader& reader) {
    char list[4096] = {};
    std::string known = "murkwell reads .obj";
    if (!reader.listExtensions(list, sizeof list)) return known;
    std::string through;
    std::string_view rest = list;
    while (!rest.empty()) {
        const size_t end = std::min(rest.find(';'), rest.size());
        std::string_view item = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (item.size() > 1 && item[0] == '*') item.remove_prefix(1);
        if (!item.empty() && item != ".obj") through += (through.empty() ? "" : " ") + std::string(item);
    }
    return known + (through.empty() ? "" : " and, through Assimp, " + through);
}

// Frees the tables when the import is done with them.
struct TablesHandle {
    const SceneReader* reader;
    const SceneTables* tables;
    ~TablesHandle() {
        if (tables) reader->release(tables);
    }
};

// The PLY faces Assimp gets wrong, read by the host, in place of mesh 1's.
bool PatchPlyStrips(const std::string& path, const SceneTables& tables, PlyFaces& faces,
                    std::vector<SceneTableMesh>& meshes, SceneTables& patched, std::string& error) {
    if (!ReadPlyFaces(path, faces, error)) return false;
    if (!faces.hasStrips) return true;
    if (tables.meshCount != 1 || tables.meshes[0].vertexCount != faces.vertexCount) {
        error = "its triangle strips cannot be matched with the vertices Assimp read (" +
                std::to_string(tables.meshCount == 1 ? tables.meshes[0].vertexCount : 0) + " vertices in " +
                std::to_string(tables.meshCount) + " meshes, the file declares " + std::to_string(faces.vertexCount) +
                " in one)";
        return false;
    }
    meshes.assign(tables.meshes, tables.meshes + tables.meshCount);
    meshes[0].faceCount = static_cast<unsigned>(faces.faceSizes.size());
    meshes[0].faceSizes = faces.faceSizes.data();
    meshes[0].corners = faces.corners.data();
    patched = tables;
    patched.meshes = meshes.data();
    return true;
}

}  // namespace

bool LoadAssimpScene(const std::string& path, const ImportOptions& options, ImportedScene& scene, std::string& error) {
    const std::string ext = LowerExtension(path);
    const SceneReader* reader = Reader(error);
    if (!reader) {
        error = "cannot read " + path + ": " + error;
        return false;
    }
    char format[256] = {};
    if (ext.empty() || !reader->describeFormat(ext.c_str(), format, sizeof format)) {
        error = "cannot read " + path + ": " +
                (ext.empty() ? std::string("no file extension") : "unknown mesh format \"" + ext + "\"") + " (" +
                KnownFormats(*reader) + ")";
        return false;
    }
    const std::string named = path + " (" + format + ")";
    if (options.smoothing.source == SmoothingSource::Groups) {
        error = "--smoothing groups: " + named +
                " gives no smoothing groups (only OBJ files do); use auto, normals, angle:DEG or none";
        return false;
    }
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        error = "cannot read " + path + ": no such file";
        return false;
    }
    if (fs::is_directory(path, ec)) {
        error = "cannot read " + path + ": it is a directory";
        return false;
    }

    char why[1024] = {};
    TablesHandle read{reader, reader->read(path.c_str(), why, sizeof why)};
    if (!read.tables) {
        error = "cannot read " + named + ": " + OneLine(why[0] ? why : "Assimp gave no reason");
        return false;
    }
    const SceneTables* tables = read.tables;
    PlyFaces plyFaces;
    std::vector<SceneTableMesh> patchedMeshes;
    SceneTables patched{};
    if (ext == ".ply") {
        if (!PatchPlyStrips(path, *tables, plyFaces, patchedMeshes, patched, error)) {
            error = "cannot read " + named + ": " + error;
            return false;
        }
        if (plyFaces.hasStrips) tables = &patched;
    }
    if (!BuildTableScene(*tables, fs::path(path).stem().string(), scene, error)) {
        error = named + ": " + error;
        return false;
    }
    if (plyFaces.stitchTriangles > 0)
        scene.warnings.push_back(std::to_string(plyFaces.stitchTriangles) +
                                 " strip triangle(s) with a repeated vertex (the stitches between strips) left out");
    scene.path = path;
    scene.format = format;
    return true;
}
