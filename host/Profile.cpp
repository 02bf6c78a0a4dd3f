#include "host/Profile.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "host/AtomicReplace.h"

// The file is handled as a list of lines, each kept with its own line ending, and a write changes
// only the one line it is about (or adds one or two lines). A library that parses the file into a
// model and writes the model back out would reformat every other line, drop or move comments and
// normalise line endings; the user's own edits to the file must survive our saves untouched.
namespace fs = std::filesystem;

namespace {

// One read-modify-write at a time within the process, so that two threads saving at once cannot
// lose each other's change.
std::mutex& ProfileMutex() {
    static std::mutex m;
    return m;
}

std::mutex& HookMutex() {
    static std::mutex m;
    return m;
}
std::function<bool()>& FailureHook() {
    static std::function<bool()> hook;
    return hook;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

struct Line {
    std::string text;  // without its line ending
    std::string eol;   // "\n", "\r\n" or "" (last line without one)
};

enum class Kind { Other, Section, Key };

struct Parsed {
    Kind kind = Kind::Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key lines: the value, trimmed
    size_t valueStart = 0;   // key lines: where the value text begins in the line
};

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

Parsed Classify(const Line& line, bool first) {
    std::string_view text = line.text;
    size_t offset = 0;
    if (first && text.substr(0, kUtf8Bom.size()) == kUtf8Bom) offset = kUtf8Bom.size();
    std::string_view body = text.substr(offset);
    const std::string_view trimmed = Trim(body);
    Parsed p;
    if (trimmed.empty() || trimmed.front() == ';') return p;
    if (trimmed.front() == '[') {
        const size_t close = trimmed.rfind(']');
        if (close == std::string_view::npos) return p;
        p.kind = Kind::Section;
        p.name = Trim(trimmed.substr(1, close - 1));
        return p;
    }
    const size_t eq = text.find('=', offset);
    if (eq == std::string_view::npos) return p;
    p.name = Trim(text.substr(offset, eq - offset));
    if (p.name.empty()) return p;
    p.kind = Kind::Key;
    size_t start = eq + 1;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
    p.valueStart = start;
    p.value = Trim(text.substr(start));
    return p;
}

std::vector<Line> SplitLines(const std::string& content) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < content.size()) {
        const size_t nl = content.find('\n', pos);
        if (nl == std::string::npos) {
            lines.push_back({content.substr(pos), ""});
            break;
        }
        size_t end = nl;
        std::string eol = "\n";
        if (end > pos && content[end - 1] == '\r') {
            --end;
            eol = "\r\n";
        }
        lines.push_back({content.substr(pos, end - pos), eol});
        pos = nl + 1;
    }
    return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
    std::string out;
    for (const auto& l : lines) {
        out += l.text;
        out += l.eol;
    }
    return out;
}

// The line ending new lines get: the file's first one, or "\n" for a file without any.
std::string FileEol(const std::vector<Line>& lines) {
    for (const auto& l : lines)
        if (!l.eol.empty()) return l.eol;
    return "\n";
}

// Section blocks: the header line and the lines up to the next header.
struct Block {
    size_t header;
    size_t end;  // one past the last line of the block
};

std::vector<Block> FindSections(const std::vector<Line>& lines, std::string_view section) {
    constexpr size_t kNone = static_cast<size_t>(-1);
    std::vector<Block> blocks;
    size_t open = kNone;  // header of the matching block being scanned
    for (size_t i = 0; i < lines.size(); ++i) {
        const Parsed p = Classify(lines[i], i == 0);
        if (p.kind != Kind::Section) continue;
        if (open != kNone) blocks.push_back({open, i});
        open = SameName(p.name, section) ? i : kNone;
    }
    if (open != kNone) blocks.push_back({open, lines.size()});
    return blocks;
}

// The first line holding the key in any block of the section, in file order.
std::optional<size_t> FindKey(const std::vector<Line>& lines, const std::vector<Block>& blocks,
                              std::string_view key) {
    for (const auto& b : blocks)
        for (size_t i = b.header + 1; i < b.end; ++i) {
            const Parsed p = Classify(lines[i], i == 0);
            if (p.kind == Kind::Key && SameName(p.name, key)) return i;
        }
    return std::nullopt;
}

enum class ReadResult { Missing, Read, Failed };

// The whole file. A missing file reads as empty; one that exists but cannot be read is a failure
// (a write must then not replace it with a file made from nothing).
ReadResult ReadFile(const fs::path& path, std::string& content) {
    content.clear();
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found) return ReadResult::Missing;
    if (ec || st.type() != fs::file_type::regular) return ReadResult::Failed;
    std::ifstream in(path, std::ios::binary);
    if (!in) return ReadResult::Failed;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return ReadResult::Failed;
    return ReadResult::Read;
}

std::string StripQuotes(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

// The value of the key, or nothing when the file, the section or the key is missing.
std::optional<std::string> LookUp(const char* section, const char* key, const char* path) {
    if (!section || !key || !path || !*path) return std::nullopt;
    std::string content;
    {
        std::lock_guard<std::mutex> lock(ProfileMutex());
        if (ReadFile(fs::path(path), content) != ReadResult::Read) return std::nullopt;
    }
    const std::vector<Line> lines = SplitLines(content);
    const auto found = FindKey(lines, FindSections(lines, section), key);
    if (!found) return std::nullopt;
    return StripQuotes(Classify(lines[*found], *found == 0).value);
}

// Writes the content through a replacement of the whole file; on any failure the target is left
// as it was. The failure hook is consulted once the temporary is partly written.
bool ReplaceFile(const fs::path& target, const std::string& content) {
    FileReplacement file(target.string());
    std::string error;
    if (!file.Begin(error)) return false;
    const size_t half = content.size() / 2;
    bool ok = file.Write(content.data(), half);
    {
        std::lock_guard<std::mutex> lock(HookMutex());
        if (ok && FailureHook() && FailureHook()()) ok = false;
    }
    if (!ok) return false;  // the replacement is abandoned
    return file.Write(content.data() + half, content.size() - half) && file.Commit(error);
}

// Names and values that would not read back as written are refused.
bool ValidName(std::string_view name) {
    if (name.empty() || Trim(name).size() != name.size()) return false;
    return name.find_first_of("\r\n") == std::string_view::npos;
}
bool ValidSection(const char* section) {
    return section && ValidName(section) && std::string_view(section).find(']') == std::string_view::npos;
}
bool ValidKey(const char* key) {
    if (!ValidName(key)) return false;
    const std::string_view k = key;
    return k.find('=') == std::string_view::npos && k.front() != '[' && k.front() != ';';
}
bool ValidValue(const char* value) { return std::string_view(value).find_first_of("\r\n") == std::string_view::npos; }

// Applies the change to the lines; false when there is nothing to change.
bool Apply(std::vector<Line>& lines, const char* section, const char* key, const char* value) {
    const std::vector<Block> blocks = FindSections(lines, section);

    if (!key) {  // delete the section: every block of that name, back to front
        for (auto b = blocks.rbegin(); b != blocks.rend(); ++b)
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(b->header),
                        lines.begin() + static_cast<std::ptrdiff_t>(b->end));
        return !blocks.empty();
    }

    const auto found = FindKey(lines, blocks, key);
    if (!value) {  // delete the key
        if (!found) return false;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*found));
        return true;
    }

    if (found) {  // replace the value, keeping the key, its spacing and the line ending
        Line& line = lines[*found];
        const Parsed p = Classify(line, *found == 0);
        line.text = line.text.substr(0, p.valueStart) + value;
        return true;
    }

    const std::string eol = FileEol(lines);
    const Line entry{std::string(key) + "=" + value, eol};
    if (!blocks.empty()) {
        // After the section's last non-blank line, so blank lines before the next section stay
        // where they are.
        size_t after = blocks.front().header;
        for (size_t i = after + 1; i < blocks.front().end; ++i)
            if (!Trim(lines[i].text).empty()) after = i;
        if (lines[after].eol.empty()) lines[after].eol = eol;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(after) + 1, entry);
        return true;
    }

    if (!lines.empty() && lines.back().eol.empty()) lines.back().eol = eol;
    lines.push_back({"[" + std::string(section) + "]", eol});
    lines.push_back(entry);
    return true;
}

}  // namespace

UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue, const char* path) {
    const std::optional<std::string> value = LookUp(section, key, path);
    if (!value || value->empty()) return static_cast<UINT>(defaultValue);
    size_t i = 0;
    while (i < value->size() && IsBlank((*value)[i])) ++i;
    bool negative = false;
    if (i < value->size() && ((*value)[i] == '-' || (*value)[i] == '+')) negative = (*value)[i++] == '-';
    UINT result = 0;  // unsigned, so that an overlong number wraps instead of overflowing
    for (; i < value->size() && (*value)[i] >= '0' && (*value)[i] <= '9'; ++i)
        result = result * 10u + static_cast<UINT>((*value)[i] - '0');
    return negative ? 0u - result : result;
}

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buf,
                               DWORD size, const char* path) {
    if (!buf || size == 0) return 0;
    std::string text;
    if (const std::optional<std::string> value = LookUp(section, key, path)) {
        text = *value;
    } else {
        text = defaultValue ? defaultValue : "";
        while (!text.empty() && IsBlank(text.back())) text.pop_back();
    }
    const size_t n = text.size() < size - 1 ? text.size() : size - 1;
    text.copy(buf, n);
    buf[n] = '\0';
    return static_cast<DWORD>(n);
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* path) {
    if (!path || !*path || !ValidSection(section)) return FALSE;
    if (key && !ValidKey(key)) return FALSE;
    if (key && value && !ValidValue(value)) return FALSE;

    std::lock_guard<std::mutex> lock(ProfileMutex());
    // A symbolic link is written through (the replacement follows it); reads follow it anyway.
    const fs::path target(path);
    std::string content;
    const ReadResult read = ReadFile(target, content);
    if (read == ReadResult::Failed) return FALSE;
    std::vector<Line> lines = SplitLines(content);
    if (!Apply(lines, section, key, value)) return TRUE;  // nothing to delete
    const std::string updated = JoinLines(lines);
    if (read == ReadResult::Read && updated == content) return TRUE;
    return ReplaceFile(target, updated) ? TRUE : FALSE;
}

void SetProfileWriteFailureHook(std::function<bool()> hook) {
    std::lock_guard<std::mutex> lock(HookMutex());
    FailureHook() = std::move(hook);
}
