#include "standalone/AssimpScene.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

#include "standalone/OptionalModule.h"
#include "standalone/PlyFaces.h"
#include "standalone/ReaderCrashGuard.h"
#include "standalone/SceneTables.h"
#include "standalone/TableScene.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kModule = "murkwell-assimp.so";
constexpr const char* kEntry = "MurkwellSceneReader";
constexpr const char* kPly = "PLY, read by murkwell";

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

// Tables over a PLY with strips that the host read itself: one unnamed mesh in one unnamed
// node, without a material.
struct PlyTables {
    SceneTables tables{};
    SceneTableMesh mesh{};
    SceneTableNode node{};
    const float* uvSet = nullptr;
    const char* uvName = "";
    const char* material = "";
    unsigned meshIndex = 0;

    explicit PlyTables(const PlyFaces& ply) {
        mesh.name = "";
        mesh.vertexCount = ply.vertexCount;
        mesh.positions = ply.positions.data();
        mesh.normals = ply.normals.empty() ? nullptr : ply.normals.data();
        uvSet = ply.uvs.empty() ? nullptr : ply.uvs.data();
        mesh.uvSetCount = uvSet ? 1 : 0;
        mesh.uvSets = &uvSet;
        mesh.uvSetNames = &uvName;
        mesh.colours = ply.colours.empty() ? nullptr : ply.colours.data();
        mesh.faceCount = static_cast<unsigned>(ply.faceSizes.size());
        mesh.faceSizes = ply.faceSizes.data();
        mesh.corners = ply.corners.data();
        node.name = "";
        const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        std::copy(std::begin(identity), std::end(identity), node.transform);
        node.meshCount = 1;
        node.meshes = &meshIndex;
        tables = SceneTables{1, &mesh, 1, &node, 1, &material};
    }
    PlyTables(const PlyTables&) = delete;
};

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

    // PLY files are read by the host itself (see PlyFaces.h).
    const bool ownPly = ext == ".ply";
    PlyFaces ply;
    if (ownPly && !ReadPlyFaces(path, ply, error)) {
        error = "cannot read " + path + " (" + kPly + "): " + error;
        return false;
    }
    char why[1024] = {};
    TablesHandle read{reader, nullptr};
    std::optional<PlyTables> plyTables;
    const SceneTables* tables = nullptr;
    if (ownPly) {
        tables = &plyTables.emplace(ply).tables;
    } else {
        {
            const ReaderCrashGuard guard("Murkwell: cannot read " + named +
                                         ": Assimp's reader crashed on the file (it is likely damaged or not what its "
                                         "extension says)");
            read.tables = reader->read(path.c_str(), why, sizeof why);
        }
        if (!read.tables) {
            error = "cannot read " + named + ": " + OneLine(why[0] ? why : "Assimp gave no reason");
            return false;
        }
        tables = read.tables;
    }
    const std::string formatName = ownPly ? std::string(kPly) : std::string(format);
    if (!BuildTableScene(*tables, fs::path(path).stem().string(), scene, error)) {
        error = path + " (" + formatName + "): " + error;
        return false;
    }
    if (ply.stitchTriangles > 0)
        scene.warnings.push_back(std::to_string(ply.stitchTriangles) +
                                 " strip triangle(s) with a repeated vertex (the stitches between strips) left out");
    scene.path = path;
    scene.format = formatName;
    return true;
}
