// The scene reader over Assimp, built as its own module (murkwell-assimp.so) so that Assimp and
// the libraries it pulls in (Draco, minizip) are loaded only when a file other than OBJ is read.
// It reads the file and lays out what Assimp made of it as SceneTables (SceneTables.h), pointing
// into Assimp's own arrays where their layout is the tables' layout; the host does the mapping.
//
// Post-processing is kept to aiProcess_ValidateDataStructure, which refuses a scene whose
// indices point outside its tables, with a message. Left out on purpose:
// - aiProcess_Triangulate: polygons stay polygons where the format keeps them, and the host fans
//   them from their first corner as it fans OBJ polygons;
// - aiProcess_JoinIdenticalVertices: the host welds by position alone, which Assimp's joining
//   (vertices equal in every attribute) does not do;
// - aiProcess_SortByPType: points and lines stay in their meshes and the host skips them;
// - aiProcess_PreTransformVertices: the host applies each node's transform and keeps the node
//   as one object.
// FBX pivots are not preserved, so no helper nodes stand between a model and its parent, and
// animations, cameras, lights and embedded textures are not read at all.
#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/importerdesc.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "standalone/SceneTables.h"

static_assert(sizeof(ai_real) == sizeof(float), "the tables hand over Assimp's vectors as floats");
static_assert(sizeof(aiVector3D) == 3 * sizeof(float) && sizeof(aiColor4D) == 4 * sizeof(float));

namespace {

void Put(const std::string& text, char* out, std::size_t size) {
    if (!out || size == 0) return;
    std::snprintf(out, size, "%s", text.c_str());
}

struct ReadScene;

// What the host holds: the tables, first, so that the host's pointer to them leads back here.
struct Handle {
    SceneTables tables;
    ReadScene* owner;
};

// A read scene and the tables over it.
struct ReadScene {
    Handle handle{{}, this};
    Assimp::Importer importer;
    std::vector<SceneTableMesh> meshes;
    std::vector<SceneTableNode> nodes;
    std::deque<std::vector<unsigned>> nodeMeshes, faceSizes, corners;
    std::deque<std::vector<const float*>> uvSets;
    std::deque<std::vector<const char*>> uvSetNames;
    std::deque<std::string> materialNames;
    std::vector<const char*> materialNamePointers;
};

const float* Floats(const aiVector3D* v) { return v ? reinterpret_cast<const float*>(v) : nullptr; }

void LayOutMesh(ReadScene& s, const aiMesh& m) {
    SceneTableMesh t{};
    t.name = m.mName.C_Str();
    t.material = m.mMaterialIndex;
    t.vertexCount = m.mNumVertices;
    t.positions = Floats(m.mVertices);
    t.normals = Floats(m.mNormals);
    auto& sets = s.uvSets.emplace_back();
    auto& names = s.uvSetNames.emplace_back();
    for (unsigned c = 0; c < AI_MAX_NUMBER_OF_TEXTURECOORDS && m.mTextureCoords[c]; ++c) {
        sets.push_back(Floats(m.mTextureCoords[c]));
        names.push_back(m.HasTextureCoordsName(c) ? m.GetTextureCoordsName(c)->C_Str() : "");
    }
    t.uvSetCount = static_cast<unsigned>(sets.size());
    t.uvSets = sets.data();
    t.uvSetNames = names.data();
    t.colours = m.mColors[0] ? reinterpret_cast<const float*>(m.mColors[0]) : nullptr;
    auto& sizes = s.faceSizes.emplace_back();
    auto& corners = s.corners.emplace_back();
    sizes.reserve(m.mNumFaces);
    for (unsigned f = 0; f < m.mNumFaces; ++f) {
        const aiFace& face = m.mFaces[f];
        sizes.push_back(face.mNumIndices);
        corners.insert(corners.end(), face.mIndices, face.mIndices + face.mNumIndices);
    }
    t.faceCount = m.mNumFaces;
    t.faceSizes = sizes.data();
    t.corners = corners.data();
    s.meshes.push_back(t);
}

// The nodes that hold meshes, depth first, each with its global transform: the product of the
// local transforms from the root down, in double.
void LayOutNode(ReadScene& s, const aiNode& node, const double parent[16]) {
    const aiMatrix4x4& l = node.mTransformation;
    const double local[16] = {l.a1, l.a2, l.a3, l.a4, l.b1, l.b2, l.b3, l.b4,
                              l.c1, l.c2, l.c3, l.c4, l.d1, l.d2, l.d3, l.d4};
    double global[16];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += parent[r * 4 + k] * local[k * 4 + c];
            global[r * 4 + c] = sum;
        }
    if (node.mNumMeshes > 0) {
        SceneTableNode t{};
        t.name = node.mName.C_Str();
        std::memcpy(t.transform, global, sizeof global);
        auto& meshes = s.nodeMeshes.emplace_back(node.mMeshes, node.mMeshes + node.mNumMeshes);
        t.meshCount = node.mNumMeshes;
        t.meshes = meshes.data();
        s.nodes.push_back(t);
    }
    for (unsigned c = 0; c < node.mNumChildren; ++c)
        if (node.mChildren[c]) LayOutNode(s, *node.mChildren[c], global);
}

// A file's counts decide how much Assimp's readers allocate, and they trust them: a few
// kilobytes of COLLADA declaring a huge array made one reader touch 20 GB before it gave up. While
// a file is read, the process's address space is held to what it uses now plus a generous
// multiple of the file's size, so such a file fails with an allocation error instead of taking
// the machine's memory. Only where the platform reports the address space in use, and not under
// the sanitizers, which reserve vast address ranges of their own.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MURKWELL_NO_MEMORY_CEILING 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define MURKWELL_NO_MEMORY_CEILING 1
#endif
#endif

class MemoryCeiling {
public:
    explicit MemoryCeiling(const char* path) {
#if defined(__linux__) && !defined(MURKWELL_NO_MEMORY_CEILING)
        std::error_code ec;
        const std::uintmax_t fileSize = std::filesystem::file_size(path, ec);
        std::FILE* statm = std::fopen("/proc/self/statm", "r");
        unsigned long pages = 0;
        const bool known = statm && std::fscanf(statm, "%lu", &pages) == 1;
        if (statm) std::fclose(statm);
        if (ec || !known || getrlimit(RLIMIT_AS, &old_) != 0) return;
        const rlim_t inUse = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
        const rlim_t headroom = (rlim_t(1) << 30) + 64 * static_cast<rlim_t>(fileSize);
        rlimit lower = old_;
        lower.rlim_cur = inUse + headroom;
        if (old_.rlim_cur != RLIM_INFINITY && old_.rlim_cur < lower.rlim_cur) return;  // already lower
        active_ = setrlimit(RLIMIT_AS, &lower) == 0;
        limitBytes_ = headroom;
#else
        (void)path;
#endif
    }
    ~MemoryCeiling() {
#if defined(__linux__) && !defined(MURKWELL_NO_MEMORY_CEILING)
        if (active_) setrlimit(RLIMIT_AS, &old_);
#endif
    }
    MemoryCeiling(const MemoryCeiling&) = delete;
    MemoryCeiling& operator=(const MemoryCeiling&) = delete;
    bool Active() const { return active_; }
    std::uintmax_t HeadroomMiB() const { return limitBytes_ >> 20; }

private:
#if defined(__linux__) && !defined(MURKWELL_NO_MEMORY_CEILING)
    rlimit old_{};
#endif
    bool active_ = false;
    std::uintmax_t limitBytes_ = 0;
};

const SceneTables* Read(const char* path, char* error, std::size_t errorSize) {
    try {
        const MemoryCeiling ceiling(path);
        auto s = std::make_unique<ReadScene>();
        Assimp::Importer& importer = s->importer;
        importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
        importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_READ_ANIMATIONS, false);
        importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_READ_CAMERAS, false);
        importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_READ_LIGHTS, false);
        importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_READ_TEXTURES, false);
        const aiScene* scene = importer.ReadFile(path, aiProcess_ValidateDataStructure);
        if (!scene) {
            const char* why = importer.GetErrorString();
            std::string reason = why && *why ? why : "Assimp read nothing";
            if (ceiling.Active() && reason.find("bad_alloc") != std::string::npos)
                reason = "the file asks for more memory than a file of its size can need (over " +
                         std::to_string(ceiling.HeadroomMiB()) + " MiB)";
            Put(reason, error, errorSize);
            return nullptr;
        }
        for (unsigned m = 0; m < scene->mNumMeshes; ++m) LayOutMesh(*s, *scene->mMeshes[m]);
        for (unsigned m = 0; m < scene->mNumMaterials; ++m) {
            aiString name;
            if (scene->mMaterials[m]->Get(AI_MATKEY_NAME, name) != AI_SUCCESS) name.Clear();
            s->materialNames.emplace_back(name.C_Str());
        }
        for (const std::string& n : s->materialNames) s->materialNamePointers.push_back(n.c_str());
        const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        if (scene->mRootNode) LayOutNode(*s, *scene->mRootNode, identity);

        SceneTables& t = s->handle.tables;
        t.meshCount = static_cast<unsigned>(s->meshes.size());
        t.meshes = s->meshes.data();
        t.nodeCount = static_cast<unsigned>(s->nodes.size());
        t.nodes = s->nodes.data();
        t.materialCount = static_cast<unsigned>(s->materialNamePointers.size());
        t.materialNames = s->materialNamePointers.data();
        return &s.release()->handle.tables;
    } catch (const std::exception& e) {
        Put(std::string("Assimp failed: ") + e.what(), error, errorSize);
    } catch (...) {
        Put("Assimp failed", error, errorSize);
    }
    return nullptr;
}

void Release(const SceneTables* tables) {
    if (!tables) return;
    static_assert(std::is_standard_layout_v<Handle>, "a pointer to the tables is a pointer to their handle");
    delete reinterpret_cast<const Handle*>(tables)->owner;
}

int DescribeFormat(const char* extension, char* name, std::size_t nameSize) {
    try {
        Assimp::Importer importer;
        const size_t index = importer.GetImporterIndex(extension);
        const aiImporterDesc* desc = index == static_cast<size_t>(-1) ? nullptr : importer.GetImporterInfo(index);
        if (!desc) return 0;
        Put(desc->mName ? desc->mName : "", name, nameSize);
        return 1;
    } catch (...) {
        return 0;
    }
}

int ListExtensions(char* list, std::size_t listSize) {
    try {
        Assimp::Importer importer;
        std::string extensions;
        importer.GetExtensionList(extensions);
        Put(extensions, list, listSize);
        return 1;
    } catch (...) {
        return 0;
    }
}

const SceneReader kReader = {DescribeFormat, Read, Release, ListExtensions};

}  // namespace

extern "C" __attribute__((visibility("default"))) const SceneReader* MurkwellSceneReader(int interfaceVersion) {
    return interfaceVersion == kSceneReaderInterface ? &kReader : nullptr;
}
