// One stretch of whole lines of an OBJ file, read on its own: the numbers of its `v`, `vt`,
// `vn`, `f` and `s` lines, checked, and the `o`, `g`, `usemtl` and `s` lines in force changes,
// in order. Stretches are read in parallel; what depends on the lines before a stretch (the
// vertex counts that relative indices count back from, the object, groups, material and
// smoothing group in force at its start, the line numbers) is settled afterwards, in file order.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One face corner. `v`, `t` and `n` are 0-based indices into the file's tables, or, where the
// corner's flag says relative, offsets from the count of that table at the stretch's start
// (a relative index -k on a line after m entries of the stretch gives m - k).
struct ObjCorner {
    static constexpr std::uint8_t kHasTexCoord = 1, kHasNormal = 2, kRelativeVertex = 4, kRelativeTexCoord = 8,
                                  kRelativeNormal = 16;
    std::int32_t v = 0, t = 0, n = 0;
    std::uint8_t flags = 0;
};

// A change of what is in force for the faces after it.
struct ObjStateChange {
    enum Kind : std::uint8_t { Object, Groups, Material, Smoothing };
    Kind kind = Object;
    std::string name;                // Object: the trimmed name; Material: the name
    std::vector<std::string> names;  // Groups: the names of the `g` line
    std::uint32_t smoothing = 0;     // Smoothing: the group number, 0 for off
};

struct ObjFaceLine {
    int line = 0;         // line number within the stretch, 1-based
    int firstCorner = 0;  // into ObjChunk::corners
    int corners = 0;      // at least 3
    int lastChange = -1;  // the stretch's last state change before this face; -1: none
};

struct ObjChunk {
    int lines = 0;
    std::vector<float> positions;   // x y z per `v`
    std::vector<float> colours;     // r g b per `v` that carries a colour
    std::vector<float> texCoords;   // u v per `vt`
    std::vector<float> normals;     // x y z per `vn`
    int vertexLinesWithColour = 0;
    std::vector<ObjCorner> corners;
    std::vector<ObjFaceLine> faces;
    std::vector<ObjStateChange> changes;
    std::vector<int> shortFaceLines;  // faces with fewer than three corners (line within the stretch)
    int errorLine = 0;                // the stretch's first error (line within the stretch), 0: none
    std::string error;

    int VertexCount() const { return static_cast<int>(positions.size() / 3); }
    int TexCoordCount() const { return static_cast<int>(texCoords.size() / 2); }
    int NormalCount() const { return static_cast<int>(normals.size() / 3); }
};

// Reads the whole lines of `text` (which ends at a line's end or at the file's end). Stops at
// the first malformed line, leaving its line number and the reason in errorLine and error.
void ReadObjChunk(std::string_view text, ObjChunk& chunk);
