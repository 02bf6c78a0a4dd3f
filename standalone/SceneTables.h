// A mesh file's scene as plain C tables: what the scene reader module (murkwell-assimp.so, see
// OptionalModule.h) hands over. The tables say what the file holds, the way the reader found
// it: per-vertex attributes, faces as corner lists, and the nodes that place the meshes. The
// host makes objects of them (TableScene.h); nothing here is the host's own mapping yet.
#pragma once
#include <cstddef>

extern "C" {

// One mesh of the file: per-vertex attributes and faces over its vertices.
struct SceneTableMesh {
    const char* name;              // "" when the file names none
    unsigned material;             // index into SceneTables::materialNames
    unsigned vertexCount;
    const float* positions;        // x, y, z per vertex, in the mesh's own space
    const float* normals;          // x, y, z per vertex, or null
    unsigned uvSetCount;           // texture coordinate sets
    const float* const* uvSets;    // per set: u, v, w per vertex
    const char* const* uvSetNames; // per set: its name, "" where the file names none
    const float* colours;          // the first colour set: r, g, b, a per vertex, or null
    unsigned faceCount;
    const unsigned* faceSizes;     // corners per face: 1 a point, 2 a line, 3 or more a polygon
    const unsigned* corners;       // every face's vertex indices, face after face
};

// A node that holds meshes.
struct SceneTableNode {
    const char* name;              // "" when the file names none
    double transform[16];          // to world space: row-major, acting on column vectors (x, y, z, 1)
    unsigned meshCount;
    const unsigned* meshes;        // indices into SceneTables::meshes, in the node's order
};

struct SceneTables {
    unsigned meshCount;
    const SceneTableMesh* meshes;
    unsigned nodeCount;
    const SceneTableNode* nodes;   // the nodes that hold meshes, parents before children
    unsigned materialCount;
    const char* const* materialNames;  // "" where the file names none
};

// What the module offers.
struct SceneReader {
    // The reader's name for the format of files with this extension (".fbx"), written into
    // `name`; 0 when it reads no such files.
    int (*describeFormat)(const char* extension, char* name, std::size_t nameSize);
    // Reads the file. Null with the reason in `error` (a terminated text of at most errorSize
    // bytes). The tables stay valid until released.
    const SceneTables* (*read)(const char* path, char* error, std::size_t errorSize);
    void (*release)(const SceneTables* tables);
    // The extensions it reads, as "*.fbx;*.dae;...".
    int (*listExtensions)(char* list, std::size_t listSize);
};

// The module's entry: its reader when it was built for this interface version, else null.
typedef const SceneReader* (*SceneReaderEntry)(int interfaceVersion);
}

// Raised whenever the structures above change.
constexpr int kSceneReaderInterface = 1;
