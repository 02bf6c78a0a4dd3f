#include "standalone/ObjStructureScan.h"

#include <algorithm>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

template <class T>
int IndexOf(std::vector<T>& table, const T& value) {
    const auto it = std::find(table.begin(), table.end(), value);
    if (it != table.end()) return static_cast<int>(it - table.begin());
    table.push_back(value);
    return static_cast<int>(table.size()) - 1;
}

}  // namespace

std::vector<std::string_view> ObjTokens(std::string_view s) {
    std::vector<std::string_view> tokens;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (IsBlank(s[i]) || s[i] == '\r')) ++i;
        const size_t start = i;
        while (i < s.size() && !IsBlank(s[i]) && s[i] != '\r') ++i;
        if (i > start) tokens.push_back(s.substr(start, i - start));
    }
    return tokens;
}

bool NextObjLine(std::string_view text, size_t& pos, std::string_view& line, size_t* contentEnd) {
    if (pos >= text.size()) return false;
    const size_t start = pos;
    while (pos < text.size() && text[pos] != '\n' && text[pos] != '\r') ++pos;
    line = text.substr(start, pos - start);
    if (contentEnd) *contentEnd = pos;
    if (pos < text.size()) {
        if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
        ++pos;
    }
    // The reader works on C strings: anything after a NUL byte is invisible to it.
    const size_t nul = line.find('\0');
    if (nul != std::string_view::npos) line = line.substr(0, nul);
    return true;
}

bool ScanObjStructure(std::string_view text, ObjStructure& out, std::string& error) {
    out = ObjStructure{};
    int objectLine = -1, groupSet = -1, material = -1;
    size_t pos = 0;
    std::string_view line;
    int lineNumber = 0;
    while (NextObjLine(text, pos, line)) {
        ++lineNumber;
        size_t k = 0;
        while (k < line.size() && IsBlank(line[k])) ++k;
        const std::string_view t = line.substr(k);
        if (t.empty() || t[0] == '#') continue;
        const bool blankAfterFirst = t.size() > 1 && IsBlank(t[1]);

        if (t[0] == 'v' && blankAfterFirst) {
            out.vertexLines++;
            if (ObjTokens(t.substr(2)).size() >= 6) out.vertexLinesWithColour++;
        } else if (t[0] == 'f' && blankAfterFirst) {
            const int corners = static_cast<int>(ObjTokens(t.substr(2)).size());
            if (corners > kMaxFaceCorners) {
                error = "line " + std::to_string(lineNumber) + ": a face with " + std::to_string(corners) +
                        " corners (at most " + std::to_string(kMaxFaceCorners) + " are supported)";
                return false;
            }
            if (corners < 3) {
                out.shortFaceLines.push_back(lineNumber);
                continue;
            }
            out.faces.push_back({lineNumber, corners, objectLine, groupSet, material});
        } else if (t.substr(0, 6) == "usemtl") {
            const auto names = ObjTokens(t.substr(6));
            material = IndexOf(out.materialNames, std::string(names.empty() ? std::string_view{} : names[0]));
        } else if (t[0] == 'g' && blankAfterFirst) {
            out.hasGroupLines = true;
            std::vector<std::string> names;
            for (std::string_view n : ObjTokens(t.substr(2))) names.emplace_back(n);
            groupSet = IndexOf(out.groupSets, names);
        } else if (t[0] == 'o' && blankAfterFirst) {
            out.hasObjectLines = true;
            objectLine = IndexOf(out.objectNames, std::string(Trim(t.substr(2))));
        }
    }
    return true;
}
