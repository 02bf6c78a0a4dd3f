#include "standalone/ObjLines.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

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
    const size_t nul = line.find('\0');
    if (nul != std::string_view::npos) line = line.substr(0, nul);
    return true;
}
