// A light pass over the text of an OBJ file for what the geometry reader does not keep per face:
// which object (`o`), groups (`g`) and material (`usemtl`) are in force at each face line, and
// how many corners each face has. Lines are split and recognised exactly as tinyobjloader does,
// so the face lines found here are the faces it returns, in the same order.
#pragma once
#include <string>
#include <string_view>
#include <vector>

struct ObjStructure {
    struct FaceLine {
        int lineNumber = 0;  // 1-based
        int corners = 0;
        int objectLine = -1;  // index into objectNames; -1 before the first `o`
        int groupSet = -1;    // index into groupSets; -1 before the first `g`
        int material = -1;    // index into materialNames; -1 before the first `usemtl`
    };

    // Face lines with at least three corners, in file order.
    std::vector<FaceLine> faces;
    // Distinct `o` names (trimmed) in order of first appearance.
    std::vector<std::string> objectNames;
    // Distinct name lists of `g` lines in order of first appearance (a bare `g ` has none).
    std::vector<std::vector<std::string>> groupSets;
    // Distinct `usemtl` names in order of first appearance.
    std::vector<std::string> materialNames;
    bool hasObjectLines = false;
    bool hasGroupLines = false;
    int vertexLines = 0;
    int vertexLinesWithColour = 0;  // `v` lines with at least six numbers
    // Face lines with fewer than three corners; the geometry reader drops them.
    std::vector<int> shortFaceLines;
};

// Face lines with more corners than this cannot be read (the geometry reader keeps corner
// counts in a byte).
inline constexpr int kMaxFaceCorners = 255;

// The next line of OBJ text from `pos`, read as the geometry reader reads lines: ended by "\n",
// "\r\n" or a lone "\r", and cut at a NUL byte. `pos` moves past the line's end; `contentEnd`
// (when given) receives the index where the line's own text ends, before its terminator.
bool NextObjLine(std::string_view text, size_t& pos, std::string_view& line, size_t* contentEnd = nullptr);

// The blank-separated tokens of a piece of a line.
std::vector<std::string_view> ObjTokens(std::string_view s);

// Scans `text`. Fails, with a message naming the line, only on a face with more than
// kMaxFaceCorners corners.
bool ScanObjStructure(std::string_view text, ObjStructure& out, std::string& error);
