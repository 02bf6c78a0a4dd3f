// A Wavefront OBJ file read into host triangle meshes, one per object. The mapping is fixed so
// that results compare across tools:
// - positions as they stand; `vt` (u, v) is map channel 1 with w = 0; `v x y z r g b` colours
//   become colour vertices, one per vertex, with colour faces equal to the faces (only when every
//   `v` line carries a colour);
// - every `f` form and negative (relative) indices; a polygon is fanned from its first corner:
//   (c0, c1, c2), (c0, c2, c3), ... in file order;
// - `s N` (N >= 1) gives smoothing bits 1 << ((N - 1) mod 32); `s off` and `s 0` give none;
// - material IDs are given per object in order of first use over its faces in file order; faces
//   before any `usemtl` use the "no material" entry (an empty name), which takes the next ID
//   when first met;
// - objects come from `o` lines, or from `g` lines in a file without `o`; faces outside any named
//   object form one named after the file. An `o` without faces is kept (it has no mesh); a `g`
//   without faces makes no object;
// - a mesh keeps only the vertices (and texture vertices) its faces use, in file order;
// - a face without texture coordinates on every corner gets map corners at (-1, -1, 0), outside
//   the texture square, so the UV run leaves it out.
// The .mtl files are not read: material IDs and names come from the `usemtl` lines alone.
#pragma once
#include <string>
#include <vector>

#include "host/Mesh.h"

struct ObjObject {
    std::string name;
    Mesh mesh;
    // Material ID -> `usemtl` name; "" is the "no material" entry.
    std::vector<std::string> materialNames;
    // Distinct name lists of the `g` lines this object's faces lie under.
    std::vector<std::vector<std::string>> groupSets;
    // Per mesh face: index into groupSets, -1 when the face lies under no `g`.
    std::vector<int> faceGroupSet;
    // Per mesh vertex: 0-based index of its `v` line in the file.
    std::vector<int> vertexSource;
    int polygonCount = 0;            // `f` lines
    int facesWithoutTexCoords = 0;   // mesh faces given the outside map corners
    bool usesSmoothing = false;      // some face has smoothing bits

    bool HasFaces() const { return mesh.getNumFaces() > 0; }
    // Distinct group names over groupSets, in order of first appearance.
    std::vector<std::string> GroupNames() const;
};

struct ObjScene {
    std::string path;
    // The file's bytes, kept so a coloured copy can be written without reading the file again.
    std::string text;
    std::vector<ObjObject> objects;  // in order of first appearance
    int vertexLines = 0;             // `v` lines in the file
    int texCoordLines = 0;           // `vt` lines
    int normalLines = 0;             // `vn` lines
    bool hasColours = false;         // every `v` line carries r g b
    std::vector<std::string> warnings;

    // Index of the object with this name, or -1.
    int FindObject(const std::string& name) const;
    std::vector<std::string> ObjectNames() const;
};

// Reads the OBJ file at `path`. On failure returns false with a one-line reason in `error`.
bool LoadObjScene(const std::string& path, ObjScene& scene, std::string& error);

// Reads OBJ text; `fileStem` names the object of faces outside any named object.
bool ParseObjScene(std::string text, const std::string& fileStem, ObjScene& scene, std::string& error);

// Selects the faces of `object` that lie under a `g` line naming any of `groups`, and clears the
// rest. Fails, naming the object's groups, when one of the names is not among them.
bool SelectGroupFaces(ObjObject& object, const std::vector<std::string>& groups, std::string& error);
