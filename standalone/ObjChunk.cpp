#include "standalone/ObjChunk.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The blank-separated tokens of a line after its keyword, up to a token that starts a comment.
class Tokens {
public:
    Tokens(const char* begin, const char* end) : p_(begin), end_(end) {}
    // The next token, or an empty view at the end of the line or of its numbers.
    std::string_view Next() {
        while (p_ < end_ && IsBlank(*p_)) ++p_;
        if (p_ == end_ || *p_ == '#') return {};
        const char* start = p_;
        while (p_ < end_ && !IsBlank(*p_)) ++p_;
        return {start, static_cast<size_t>(p_ - start)};
    }

private:
    const char* p_;
    const char* end_;
};

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

// A coordinate: the whole token must read as a finite number within the float range. A value
// too small for a float reads as the nearest float (zero or a subnormal), as any decimal does.
bool ReadCoordinate(std::string_view token, float& value, const char* what, std::string& error) {
    const char* b = token.data();
    const char* e = b + token.size();
    if (b != e && *b == '+' && e - b > 1 && b[1] != '-' && b[1] != '+') ++b;
    float v = 0.0f;
    const auto r = std::from_chars(b, e, v);
    if (r.ec == std::errc::invalid_argument || r.ptr != e) {
        error = std::string(what) + " " + Quoted(token) + " is not a number";
        return false;
    }
    if (r.ec == std::errc::result_out_of_range) {
        double d = 0.0;
        const auto rd = std::from_chars(b, e, d);
        bool tiny;
        if (rd.ec == std::errc()) {
            tiny = std::fabs(d) < 1.0;
        } else {
            // Beyond even a double: the exponent's sign tells which end.
            const std::string_view t(b, static_cast<size_t>(e - b));
            const size_t x = t.find_last_of("eE");
            tiny = x != std::string_view::npos && x + 1 < t.size() && t[x + 1] == '-';
        }
        if (!tiny) {
            error = std::string(what) + " " + Quoted(token) + " is too large for a float (at most 3.4028235e38)";
            return false;
        }
        v = static_cast<float>(d);
        if (rd.ec != std::errc()) v = (*b == '-') ? -0.0f : 0.0f;
    }
    if (!std::isfinite(v)) {
        error = std::string(what) + " " + Quoted(token) + " is not a finite number";
        return false;
    }
    value = v;
    return true;
}

// The numbers of a `v`, `vt` or `vn` line, up to `keep` of them; returns how many there were.
int ReadCoordinates(Tokens& tokens, float* out, int keep, const char* what, std::string& error) {
    int count = 0;
    for (std::string_view t = tokens.Next(); !t.empty(); t = tokens.Next()) {
        float v = 0.0f;
        if (!ReadCoordinate(t, v, what, error)) return -1;
        if (count < keep) out[count] = v;
        ++count;
    }
    return count;
}

constexpr std::int64_t kMaxIndex = std::numeric_limits<std::int32_t>::max();

enum class IndexRead { Ok, Malformed, Zero, OutOfRange };

// One index of a face corner: a nonzero whole number within the 32-bit range.
IndexRead ReadIndex(std::string_view part, std::int64_t& value) {
    const char* b = part.data();
    const char* e = b + part.size();
    long long v = 0;
    const auto r = std::from_chars(b, e, v);
    if (r.ptr != e || b == e) return IndexRead::Malformed;
    if (r.ec == std::errc::result_out_of_range) return IndexRead::OutOfRange;
    if (r.ec != std::errc()) return IndexRead::Malformed;
    if (v == 0) return IndexRead::Zero;
    if (v > kMaxIndex || v < -kMaxIndex) return IndexRead::OutOfRange;
    value = v;
    return IndexRead::Ok;
}

// Reads one corner token ("v", "v/vt", "v//vn", "v/vt/vn"); `counts` are the stretch's v, vt
// and vn counts so far, which relative indices count back from.
bool ReadCorner(std::string_view token, const int counts[3], ObjCorner& corner, std::string& error) {
    std::string_view parts[3];
    int partCount = 0;
    size_t start = 0;
    for (;;) {
        const size_t slash = token.find('/', start);
        if (partCount == 3) {
            error = "malformed face corner " + Quoted(token) + " (expected v, v/vt, v//vn or v/vt/vn)";
            return false;
        }
        parts[partCount++] = token.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    corner = ObjCorner{};
    static constexpr std::uint8_t kHas[3] = {0, ObjCorner::kHasTexCoord, ObjCorner::kHasNormal};
    static constexpr std::uint8_t kRelative[3] = {ObjCorner::kRelativeVertex, ObjCorner::kRelativeTexCoord,
                                                  ObjCorner::kRelativeNormal};
    std::int32_t* fields[3] = {&corner.v, &corner.t, &corner.n};
    for (int k = 0; k < partCount; ++k) {
        if (parts[k].empty() && k > 0) continue;  // "v//vn", "v/vt/"
        std::int64_t value = 0;
        switch (ReadIndex(parts[k], value)) {
            case IndexRead::Ok: break;
            case IndexRead::Malformed:
                error = "malformed face corner " + Quoted(token) +
                        " (expected v, v/vt, v//vn or v/vt/vn, each a whole number)";
                return false;
            case IndexRead::Zero:
                error = "malformed face corner " + Quoted(token) + ": indices start at 1 (0 refers to nothing)";
                return false;
            case IndexRead::OutOfRange:
                error = "face corner " + Quoted(token) + ": the index " + std::string(parts[k]) +
                        " is outside the 32-bit range (at most 2147483647 either way)";
                return false;
        }
        corner.flags |= kHas[k];
        if (value > 0) {
            *fields[k] = static_cast<std::int32_t>(value - 1);
        } else {
            *fields[k] = static_cast<std::int32_t>(counts[k] + value);
            corner.flags |= kRelative[k];
        }
    }
    return true;
}

bool ReadSmoothing(Tokens& tokens, std::uint32_t& group, std::string& error) {
    const std::string_view t = tokens.Next();
    const std::string_view extra = tokens.Next();
    if (t.empty() || !extra.empty()) {
        error = "a smoothing group line needs one value, a whole number or off";
        return false;
    }
    if (t == "off") {
        group = 0;
        return true;
    }
    unsigned long long v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ptr != t.data() + t.size() || (r.ec != std::errc() && r.ec != std::errc::result_out_of_range)) {
        error = "malformed smoothing group " + Quoted(t) + " (expected a whole number or off)";
        return false;
    }
    if (r.ec == std::errc::result_out_of_range || v > std::numeric_limits<std::uint32_t>::max()) {
        error = "smoothing group " + std::string(t) + " is outside the 32-bit range (at most 4294967295)";
        return false;
    }
    group = static_cast<std::uint32_t>(v);
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::vector<std::string> Names(const char* begin, const char* end) {
    std::vector<std::string> names;
    const char* p = begin;
    while (p < end) {
        while (p < end && IsBlank(*p)) ++p;
        const char* s = p;
        while (p < end && !IsBlank(*p)) ++p;
        if (p > s) names.emplace_back(s, static_cast<size_t>(p - s));
    }
    return names;
}

// Reads one line (without its terminator); false with the reason on a malformed line.
bool ReadLine(const char* p, const char* end, int line, ObjChunk& c, std::string& error) {
    while (p < end && IsBlank(*p)) ++p;
    if (p == end || *p == '#') return true;
    const char* k = p;
    while (p < end && !IsBlank(*p)) ++p;
    const std::string_view keyword(k, static_cast<size_t>(p - k));
    Tokens tokens(p, end);

    if (keyword == "v") {
        float xyz[7];
        const int n = ReadCoordinates(tokens, xyz, 7, "vertex coordinate", error);
        if (n < 0) return false;
        if (n != 3 && n != 4 && n != 6) {
            error = "a vertex line needs x y z, x y z w or x y z r g b (it has " + std::to_string(n) +
                    (n == 1 ? " number)" : " numbers)");
            return false;
        }
        c.positions.insert(c.positions.end(), xyz, xyz + 3);
        if (n == 6) {
            c.colours.insert(c.colours.end(), xyz + 3, xyz + 6);
            c.vertexLinesWithColour++;
        }
    } else if (keyword == "vt") {
        float uvw[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        const int n = ReadCoordinates(tokens, uvw, 4, "texture coordinate", error);
        if (n < 0) return false;
        if (n < 1 || n > 3) {
            error = "a texture coordinate line needs u, u v or u v w (it has " + std::to_string(n) +
                    (n == 1 ? " number)" : " numbers)");
            return false;
        }
        c.texCoords.push_back(uvw[0]);
        c.texCoords.push_back(n >= 2 ? uvw[1] : 0.0f);
    } else if (keyword == "vn") {
        float xyz[4];
        const int n = ReadCoordinates(tokens, xyz, 4, "normal coordinate", error);
        if (n < 0) return false;
        if (n != 3) {
            error = "a normal line needs x y z (it has " + std::to_string(n) + (n == 1 ? " number)" : " numbers)");
            return false;
        }
        c.normals.insert(c.normals.end(), xyz, xyz + 3);
    } else if (keyword == "f") {
        const int counts[3] = {c.VertexCount(), c.TexCoordCount(), c.NormalCount()};
        const size_t first = c.corners.size();
        for (std::string_view t = tokens.Next(); !t.empty(); t = tokens.Next()) {
            ObjCorner corner;
            if (!ReadCorner(t, counts, corner, error)) {
                c.corners.resize(first);
                return false;
            }
            c.corners.push_back(corner);
        }
        const int n = static_cast<int>(c.corners.size() - first);
        if (n < 3) {
            c.corners.resize(first);
            c.shortFaceLines.push_back(line);
            return true;
        }
        c.faces.push_back({line, static_cast<int>(first), n, static_cast<int>(c.changes.size()) - 1});
    } else if (keyword == "s") {
        ObjStateChange change;
        change.kind = ObjStateChange::Smoothing;
        if (!ReadSmoothing(tokens, change.smoothing, error)) return false;
        c.changes.push_back(std::move(change));
    } else if (keyword == "usemtl") {
        const std::vector<std::string> names = Names(p, end);
        ObjStateChange change;
        change.kind = ObjStateChange::Material;
        change.name = names.empty() ? std::string() : names[0];
        c.changes.push_back(std::move(change));
    } else if (keyword == "g" && p < end) {
        ObjStateChange change;
        change.kind = ObjStateChange::Groups;
        change.names = Names(p, end);
        c.changes.push_back(std::move(change));
    } else if (keyword == "o" && p < end) {
        ObjStateChange change;
        change.kind = ObjStateChange::Object;
        change.name = std::string(Trim(std::string_view(p, static_cast<size_t>(end - p))));
        c.changes.push_back(std::move(change));
    }
    // Anything else (mtllib, l, p, vp, curves, ...) describes nothing a mesh keeps.
    return true;
}

// The end of the line starting at `p`: the first "\n" or "\r".
const char* LineEnd(const char* p, const char* end) {
    const void* nl = std::memchr(p, '\n', static_cast<size_t>(end - p));
    const char* stop = nl ? static_cast<const char*>(nl) : end;
    const void* cr = std::memchr(p, '\r', static_cast<size_t>(stop - p));
    return cr ? static_cast<const char*>(cr) : stop;
}

}  // namespace

void ReadObjChunk(std::string_view text, ObjChunk& c) {
    const char* p = text.data();
    const char* const end = p + text.size();
    int line = 0;
    while (p < end) {
        ++line;
        const char* lineEnd = LineEnd(p, end);
        if (!ReadLine(p, lineEnd, line, c, c.error)) {
            c.errorLine = line;
            break;
        }
        p = lineEnd;
        if (p < end) {
            if (*p == '\r' && p + 1 < end && p[1] == '\n') ++p;
            ++p;
        }
    }
    c.lines = line;
}
