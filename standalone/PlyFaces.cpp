#include "standalone/PlyFaces.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>

namespace {

// A PLY header is read from at most this many bytes at first.

enum class Type { Int8, UInt8, Int16, UInt16, Int32, UInt32, Float32, Float64 };

std::optional<Type> TypeNamed(std::string_view n) {
    if (n == "char" || n == "int8") return Type::Int8;
    if (n == "uchar" || n == "uint8") return Type::UInt8;
    if (n == "short" || n == "int16") return Type::Int16;
    if (n == "ushort" || n == "uint16") return Type::UInt16;
    if (n == "int" || n == "int32") return Type::Int32;
    if (n == "uint" || n == "uint32") return Type::UInt32;
    if (n == "float" || n == "float32") return Type::Float32;
    if (n == "double" || n == "float64") return Type::Float64;
    return std::nullopt;
}

size_t SizeOf(Type t) {
    switch (t) {
        case Type::Int8: case Type::UInt8: return 1;
        case Type::Int16: case Type::UInt16: return 2;
        case Type::Int32: case Type::UInt32: case Type::Float32: return 4;
        case Type::Float64: return 8;
    }
    return 0;
}

bool IsInteger(Type t) { return t != Type::Float32 && t != Type::Float64; }

struct Property {
    std::string name;
    bool isList = false;
    Type countType = Type::UInt8;
    Type type = Type::Int32;  // the value's, or the list items'
};

struct Element {
    std::string name;
    std::uint64_t count = 0;
    std::vector<Property> properties;
    bool HasLists() const {
        for (const auto& p : properties)
            if (p.isList) return true;
        return false;
    }
};

enum class Format { Ascii, BinaryLittle, BinaryBig };

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

bool ParseHeader(std::string_view bytes, Format& format, std::vector<Element>& elements, size_t& bodyStart,
                 std::string& error) {
    size_t pos = 0;
    bool first = true, sawFormat = false;
    while (true) {
        const size_t end = bytes.find('\n', pos);
        if (end == std::string_view::npos) {
            error = first ? "not a PLY file" : "the PLY header has no end_header line";
            return false;
        }
        const std::string_view line = bytes.substr(pos, end - pos);
        pos = end + 1;
        const auto w = Words(line);
        if (first) {
            if (w.size() != 1 || w[0] != "ply") {
                error = "not a PLY file (it does not start with \"ply\")";
                return false;
            }
            first = false;
            continue;
        }
        if (w.empty() || w[0] == "comment" || w[0] == "obj_info") continue;
        if (w[0] == "end_header") break;
        if (w[0] == "format" && w.size() >= 2) {
            if (w[1] == "ascii") format = Format::Ascii;
            else if (w[1] == "binary_little_endian") format = Format::BinaryLittle;
            else if (w[1] == "binary_big_endian") format = Format::BinaryBig;
            else {
                error = "unknown PLY format \"" + std::string(w[1]) + "\"";
                return false;
            }
            sawFormat = true;
        } else if (w[0] == "element" && w.size() == 3) {
            Element e;
            e.name = std::string(w[1]);
            const auto r = std::from_chars(w[2].data(), w[2].data() + w[2].size(), e.count);
            if (r.ec != std::errc() || r.ptr != w[2].data() + w[2].size()) {
                error = "the PLY element " + e.name + " has no valid count";
                return false;
            }
            elements.push_back(std::move(e));
        } else if (w[0] == "property" && !elements.empty()) {
            Property p;
            std::optional<Type> t, c;
            if (w.size() == 5 && w[1] == "list") {
                p.isList = true;
                c = TypeNamed(w[2]);
                t = TypeNamed(w[3]);
                p.name = std::string(w[4]);
            } else if (w.size() == 3) {
                t = TypeNamed(w[1]);
                p.name = std::string(w[2]);
            }
            if (!t || (p.isList && (!c || !IsInteger(*c)))) {
                error = "the PLY header has a property it cannot read: " + std::string(line);
                return false;
            }
            p.type = *t;
            if (c) p.countType = *c;
            elements.back().properties.push_back(std::move(p));
        } else {
            error = "the PLY header has a line it cannot read: " + std::string(line);
            return false;
        }
    }
    if (!sawFormat) {
        error = "the PLY header names no format";
        return false;
    }
    bodyStart = pos;
    return true;
}

// Reads the body's values one after the other.
class BodyReader {
public:
    BodyReader(std::string_view body, Format format) : body_(body), format_(format) {}

    // One value of type t; false at the end of the body or on a malformed ASCII value. A float
    // is read as a float, so that it is the file's own float whichever encoding holds it.
    bool Number(Type t, double& value) {
        if (format_ == Format::Ascii) {
            std::string_view word;
            if (!NextWord(word)) return false;
            const char* end = word.data() + word.size();
            if (t == Type::Float32) {
                float f = 0.0f;
                const auto r = std::from_chars(word.data(), end, f);
                value = f;
                return r.ec == std::errc() && r.ptr == end;
            }
            const auto r = std::from_chars(word.data(), end, value);
            return r.ec == std::errc() && r.ptr == end;
        }
        const size_t size = SizeOf(t);
        if (body_.size() - pos_ < size) return false;
        unsigned char b[8];
        std::memcpy(b, body_.data() + pos_, size);
        pos_ += size;
        if (format_ == Format::BinaryBig)
            for (size_t i = 0; i < size / 2; ++i) std::swap(b[i], b[size - 1 - i]);
        switch (t) {
            case Type::Int8: { std::int8_t v; std::memcpy(&v, b, 1); value = v; break; }
            case Type::UInt8: value = b[0]; break;
            case Type::Int16: { std::int16_t v; std::memcpy(&v, b, 2); value = v; break; }
            case Type::UInt16: { std::uint16_t v; std::memcpy(&v, b, 2); value = v; break; }
            case Type::Int32: { std::int32_t v; std::memcpy(&v, b, 4); value = v; break; }
            case Type::UInt32: { std::uint32_t v; std::memcpy(&v, b, 4); value = v; break; }
            case Type::Float32: { float v; std::memcpy(&v, b, 4); value = v; break; }
            case Type::Float64: { double v; std::memcpy(&v, b, 8); value = v; break; }
        }
        return true;
    }

    bool SkipBytes(std::uint64_t bytes) {
        if (body_.size() - pos_ < bytes) return false;
        pos_ += static_cast<size_t>(bytes);
        return true;
    }

private:
    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    bool NextWord(std::string_view& word) {
        while (pos_ < body_.size() && IsSpace(body_[pos_])) ++pos_;
        const size_t start = pos_;
        while (pos_ < body_.size() && !IsSpace(body_[pos_])) ++pos_;
        word = body_.substr(start, pos_ - start);
        return !word.empty();
    }

    std::string_view body_;
    Format format_;
    size_t pos_ = 0;
};

bool IsIndexList(const Property& p) { return p.isList && (p.name == "vertex_indices" || p.name == "vertex_index"); }

unsigned VertexCount(const std::vector<Element>& elements) {
    for (const Element& e : elements)
        if (e.name == "vertex") return static_cast<unsigned>(std::min<std::uint64_t>(e.count, std::numeric_limits<unsigned>::max()));
    return 0;
}

std::string Where(const Element& e, std::uint64_t record) {
    return "element " + e.name + " record " + std::to_string(record + 1);
}

// Where a vertex property goes: the attribute and its component, as Assimp reads them.
enum class Slot { None, Position, Normal, Uv, Colour };

std::pair<Slot, int> SlotOf(const std::string& name) {
    static const std::pair<const char*, std::pair<Slot, int>> kNames[] = {
        {"x", {Slot::Position, 0}},         {"y", {Slot::Position, 1}},         {"z", {Slot::Position, 2}},
        {"nx", {Slot::Normal, 0}},          {"ny", {Slot::Normal, 1}},          {"nz", {Slot::Normal, 2}},
        {"u", {Slot::Uv, 0}},               {"v", {Slot::Uv, 1}},               {"s", {Slot::Uv, 0}},
        {"t", {Slot::Uv, 1}},               {"texture_u", {Slot::Uv, 0}},       {"texture_v", {Slot::Uv, 1}},
        {"texture_s", {Slot::Uv, 0}},       {"texture_t", {Slot::Uv, 1}},       {"red", {Slot::Colour, 0}},
        {"green", {Slot::Colour, 1}},       {"blue", {Slot::Colour, 2}},        {"alpha", {Slot::Colour, 3}},
        {"diffuse_red", {Slot::Colour, 0}}, {"diffuse_green", {Slot::Colour, 1}}, {"diffuse_blue", {Slot::Colour, 2}},
    };
    for (const auto& [n, slot] : kNames)
        if (name == n) return slot;
    return {Slot::None, 0};
}

// A colour value on 0 ... 1: whole numbers over their type's largest value.
double ColourValue(Type t, double v) {
    switch (t) {
        case Type::UInt8: return v / 255.0;
        case Type::UInt16: return v / 65535.0;
        case Type::UInt32: return v / 4294967295.0;
        case Type::Int8: return v / 127.0;
        case Type::Int16: return v / 32767.0;
        case Type::Int32: return v / 2147483647.0;
        default: return v;
    }
}

bool ReadVertices(BodyReader& body, const Element& e, PlyFaces& out, std::string& error) {
    std::vector<std::pair<Slot, int>> slots;
    bool has[5] = {};
    for (const Property& p : e.properties) {
        slots.push_back(p.isList ? std::pair{Slot::None, 0} : SlotOf(p.name));
        has[static_cast<int>(slots.back().first)] = true;
    }
    const size_t n = static_cast<size_t>(e.count);
    out.positions.assign(n * 3, 0.0f);
    if (has[static_cast<int>(Slot::Normal)]) out.normals.assign(n * 3, 0.0f);
    if (has[static_cast<int>(Slot::Uv)]) out.uvs.assign(n * 3, 0.0f);
    if (has[static_cast<int>(Slot::Colour)]) {
        out.colours.assign(n * 4, 0.0f);
        for (size_t v = 0; v < n; ++v) out.colours[v * 4 + 3] = 1.0f;
    }
    for (size_t v = 0; v < n; ++v) {
        for (size_t k = 0; k < e.properties.size(); ++k) {
            const Property& p = e.properties[k];
            double value = 0.0;
            if (p.isList) {
                if (!body.Number(p.countType, value) || value < 0) {
                    error = "the PLY " + Where(e, v) + " has no valid list length";
                    return false;
                }
                for (std::int64_t i = 0, count = static_cast<std::int64_t>(value); i < count; ++i)
                    if (!body.Number(p.type, value)) {
                        error = "the file ends inside the PLY " + Where(e, v);
                        return false;
                    }
                continue;
            }
            if (!body.Number(p.type, value)) {
                error = "the file ends inside the PLY element vertex";
                return false;
            }
            const auto [slot, c] = slots[k];
            switch (slot) {
                case Slot::None: break;
                case Slot::Position: out.positions[v * 3 + size_t(c)] = static_cast<float>(value); break;
                case Slot::Normal: out.normals[v * 3 + size_t(c)] = static_cast<float>(value); break;
                case Slot::Uv: out.uvs[v * 3 + size_t(c)] = static_cast<float>(value); break;
                case Slot::Colour: out.colours[v * 4 + size_t(c)] = static_cast<float>(ColourValue(p.type, value)); break;
            }
        }
    }
    return true;
}

// Reads a `face` or `tristrips` element's index lists into faces.
bool ReadFaces(BodyReader& body, const Element& e, PlyFaces& faces, std::string& error) {
    const bool strips = e.name == "tristrips";
    std::vector<std::int64_t> list;
    for (std::uint64_t r = 0; r < e.count; ++r) {
        for (const Property& p : e.properties) {
            double value = 0.0;
            if (!p.isList) {
                if (!body.Number(p.type, value)) {
                    error = "the file ends inside the PLY " + Where(e, r);
                    return false;
                }
                continue;
            }
            if (!body.Number(p.countType, value) || value < 0 || value != std::floor(value)) {
                error = "the PLY " + Where(e, r) + " has no valid list length";
                return false;
            }
            const bool wanted = IsIndexList(p);
            const auto n = static_cast<std::int64_t>(value);
            list.clear();
            for (std::int64_t k = 0; k < n; ++k) {
                if (!body.Number(p.type, value)) {
                    error = "the file ends inside the PLY " + Where(e, r);
                    return false;
                }
                if (!wanted) continue;
                const auto v = static_cast<std::int64_t>(value);
                if (value != static_cast<double>(v) || (v < 0 && !(strips && v == -1)) || v >= std::int64_t(faces.vertexCount)) {
                    error = "the PLY " + Where(e, r) + " refers to vertex " + std::to_string(v) + " (the file has " +
                            std::to_string(faces.vertexCount) + ")";
                    return false;
                }
                list.push_back(v);
            }
            if (!wanted) continue;
            if (!strips) {
                faces.faceSizes.push_back(static_cast<unsigned>(list.size()));
                for (std::int64_t v : list) faces.corners.push_back(static_cast<unsigned>(v));
                continue;
            }
            // Runs between the -1 restarts, each wound like its first triangle.
            size_t start = 0;
            while (start < list.size()) {
                size_t end = start;
                while (end < list.size() && list[end] != -1) ++end;
                for (size_t k = start; k + 2 < end; ++k) {
                    const bool even = (k - start) % 2 == 0;
                    const unsigned a = static_cast<unsigned>(list[even ? k : k + 1]);
                    const unsigned b = static_cast<unsigned>(list[even ? k + 1 : k]);
                    const unsigned c = static_cast<unsigned>(list[k + 2]);
                    if (a == b || b == c || a == c) {
                        faces.stitchTriangles++;
                        continue;
                    }
                    faces.faceSizes.push_back(3);
                    faces.corners.insert(faces.corners.end(), {a, b, c});
                }
                start = end + 1;
            }
        }
    }
    return true;
}

}  // namespace

bool ParsePlyFaces(std::string_view bytes, PlyFaces& faces, std::string& error) {
    faces = PlyFaces{};
    Format format = Format::Ascii;
    std::vector<Element> elements;
    size_t bodyStart = 0;
    if (!ParseHeader(bytes, format, elements, bodyStart, error)) return false;
    faces.vertexCount = VertexCount(elements);
    for (const Element& e : elements)
        if (e.name == "tristrips") faces.hasStrips = true;

    BodyReader body(bytes.substr(bodyStart), format);
    for (const Element& e : elements) {
        if (e.count > bytes.size() - bodyStart) {  // every record takes a byte at least
            error = "the file ends inside the PLY element " + e.name;
            return false;
        }
        if (e.name == "vertex") {
            if (!ReadVertices(body, e, faces, error)) return false;
        } else if (e.name == "tristrips" || e.name == "face") {
            if (!ReadFaces(body, e, faces, error)) return false;
        } else if (format != Format::Ascii && !e.HasLists()) {
            std::uint64_t recordSize = 0;
            for (const auto& p : e.properties) recordSize += SizeOf(p.type);
            if (recordSize > 0 && e.count > std::numeric_limits<std::uint64_t>::max() / recordSize) {
                error = "the PLY element " + e.name + " is larger than any file";
                return false;
            }
            if (!body.SkipBytes(e.count * recordSize)) {
                error = "the file ends inside the PLY element " + e.name;
                return false;
            }
        } else {
            PlyFaces ignored;  // another element: read through and dropped
            ignored.vertexCount = std::numeric_limits<unsigned>::max();
            Element other = e;
            for (Property& p : other.properties) p.name = "";
            if (!ReadFaces(body, other, ignored, error)) return false;
        }
    }
    return true;
}

bool ReadPlyFaces(const std::string& path, PlyFaces& faces, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open the file";
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "read error";
        return false;
    }
    return ParsePlyFaces(bytes, faces, error);
}
