// A mesh file as the standalone host imports it, whatever its format: one host triangle mesh per
// object, with what `info`, `--select-group`, the smoothing and the coloured copies need beside
// it. A format's reader fills the objects with the file's own positions and smoothing groups;
// the import step (SceneImport) then scales the positions and settles the smoothing groups the
// same way for every format.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "host/Mesh.h"
#include "standalone/ImportOptions.h"

// What the import made of an object's smoothing.
struct SmoothingOutcome {
    SmoothingSource source = SmoothingSource::Groups;  // never Auto once settled
    bool chosenByAuto = false;
    // For Normals and Angle: patches of faces joined across smooth edges, the bits they got,
    // and the vertices where 32 bits could not keep the patches around them apart.
    int patches = 0;
    int bitsUsed = 0;
    int crowdedVertices = 0;
};

struct ImportedObject {
    std::string name;
    Mesh mesh;
    // Material ID -> the file's material name; "" is the "no material" entry.
    std::vector<std::string> materialNames;
    // Distinct name lists of the groups this object's faces lie under.
    std::vector<std::vector<std::string>> groupSets;
    // Per mesh face: index into groupSets, -1 when the face lies under no group.
    std::vector<int> faceGroupSet;
    // Per mesh vertex: 0-based index of its vertex in the file (for OBJ, of its `v` line).
    std::vector<int> vertexSource;
    // Per mesh face: the polygon of the file it was fanned from, numbered within the object.
    std::vector<int> polygonOfFace;
    // Per mesh face corner (three per face, in corner order) the file's normal, when some
    // corner of the object carries one; both empty otherwise.
    std::vector<Point3> cornerNormals;
    std::vector<std::uint8_t> cornerHasNormal;
    // The file's own positions when the import scaled them (one per mesh vertex); empty when
    // the mesh's positions are the file's.
    std::vector<Point3> fileVerts;
    int polygonCount = 0;            // the file's faces (polygons)
    int facesWithoutTexCoords = 0;   // mesh faces given the outside map corners
    // For formats with several texture coordinate sets, per map channel (index 0 = channel 1):
    // the set's name ("" where the file names none) and the mesh faces given the outside map
    // corners on it. Empty for OBJ, whose one channel facesWithoutTexCoords describes.
    std::vector<std::string> mapChannelNames;
    std::vector<int> facesWithoutMapCoords;
    bool usesSmoothing = false;      // the file gives some face smoothing groups
    SmoothingOutcome smoothing;

    bool HasFaces() const { return mesh.getNumFaces() > 0; }
    bool HasCornerNormals() const { return !cornerNormals.empty(); }
    // Distinct group names over groupSets, in order of first appearance.
    std::vector<std::string> GroupNames() const;
};

struct ImportedScene {
    std::string path;
    std::string format;  // the reader's name for a format read through Assimp; "" for OBJ
    // An OBJ file's bytes (without a UTF-8 byte-order mark), kept so a coloured copy can be
    // written without reading the file again; empty for other formats.
    std::string text;
    std::vector<ImportedObject> objects;  // in order of first appearance
    int vertexLines = 0;                  // vertices in the file (OBJ: `v` lines)
    int texCoordLines = 0;                // texture coordinates (`vt`)
    int normalLines = 0;                  // normals (`vn`)
    bool hasColours = false;              // every vertex carries a colour
    double scale = 1.0;                   // the import scale the positions carry
    std::vector<std::string> warnings;

    // Index of the object with this name, or -1.
    int FindObject(const std::string& name) const;
    std::vector<std::string> ObjectNames() const;
};

// Selects the faces of `object` that lie under a group naming any of `groups`, and clears the
// rest. Fails, naming the object's groups, when one of the names is not among them.
bool SelectGroupFaces(ImportedObject& object, const std::vector<std::string>& groups, std::string& error);
