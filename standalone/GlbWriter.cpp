#include "standalone/GlbWriter.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "host/AtomicReplace.h"

namespace {

constexpr int kMaxChannels = 99;
constexpr std::uint32_t kFloat = 5126, kUnsignedInt = 5125;
constexpr std::uint32_t kArrayBuffer = 34962, kElementArrayBuffer = 34963;

std::string Number(float v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

template <class T>
void Append(std::string& bin, T value) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    if constexpr (std::endian::native == std::endian::big)
        for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
    bin.append(reinterpret_cast<const char*>(bytes), sizeof(T));
}

float Clamp01(float c) {
    if (!(c > 0.0f)) return 0.0f;  // also NaN
    return c < 1.0f ? c : 1.0f;
}

// The buffer and the JSON lists that describe it.
struct Layout {
    std::string bin;
    std::vector<std::string> views, accessors;

    int Add(size_t start, int count, const char* type, std::uint32_t component, std::uint32_t target,
            const std::string& extra = "") {
        views.push_back("{\"buffer\":0,\"byteOffset\":" + std::to_string(start) +
                        ",\"byteLength\":" + std::to_string(bin.size() - start) + ",\"target\":" + std::to_string(target) + "}");
        accessors.push_back("{\"bufferView\":" + std::to_string(views.size() - 1) + ",\"componentType\":" +
                            std::to_string(component) + ",\"count\":" + std::to_string(count) + ",\"type\":\"" + type +
                            "\"" + extra + "}");
        return static_cast<int>(accessors.size() - 1);
    }
};

std::string Join(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& i : items) out += (out.empty() ? "" : ",") + i;
    return out;
}

std::vector<int> WrittenChannels(const Mesh& mesh) {
    std::vector<int> channels;
    for (int c = 1; c <= kMaxChannels; ++c)
        if (mesh.getNumMapVerts(c) > 0 && mesh.getNumMapFaces(c) >= mesh.getNumFaces()) channels.push_back(c);
    return channels;
}

}  // namespace

bool CheckGlbMesh(const Mesh& mesh, std::string& error) {
    const int nf = mesh.getNumFaces();
    const bool colours = mesh.getNumVertCol() > 0;
    if (colours && mesh.getNumVCFaces() != nf) {
        error = "the mesh has no colour face per face";
        return false;
    }
    const std::vector<int> channels = WrittenChannels(mesh);
    for (int f = 0; f < nf; ++f)
        for (int k = 0; k < 3; ++k) {
            bool ok = mesh.faces[static_cast<size_t>(f)].v[k] < DWORD(mesh.getNumVerts());
            if (colours) ok = ok && mesh.vcFace[static_cast<size_t>(f)].t[k] < DWORD(mesh.getNumVertCol());
            for (int c : channels) ok = ok && mesh.mapFaces(c)[f].t[k] < DWORD(mesh.getNumMapVerts(c));
            if (!ok) {
                error = "face " + std::to_string(f) + " refers to a vertex, colour or map vertex that does not exist";
                return false;
            }
        }
    return true;
}

std::string EncodeGlb(const ImportedObject& object, const Mesh& mesh) {
    const int nf = mesh.getNumFaces();
    const bool colours = mesh.getNumVertCol() > 0 && mesh.getNumVCFaces() == nf;
    const std::vector<int> channels = WrittenChannels(mesh);

    // Output vertices: one per distinct (vertex, colour vertex, map vertex per channel).
    std::map<std::vector<DWORD>, std::uint32_t> index;
    std::vector<std::vector<DWORD>> keys;
    std::vector<std::uint32_t> corners(static_cast<size_t>(nf) * 3);
    std::vector<DWORD> key(2 + channels.size());
    for (int f = 0; f < nf; ++f)
        for (int k = 0; k < 3; ++k) {
            key[0] = mesh.faces[static_cast<size_t>(f)].v[k];
            key[1] = colours ? mesh.vcFace[static_cast<size_t>(f)].t[k] : 0;
            for (size_t c = 0; c < channels.size(); ++c) key[2 + c] = mesh.mapFaces(channels[c])[f].t[k];
            const auto [it, added] = index.emplace(key, static_cast<std::uint32_t>(keys.size()));
            if (added) keys.push_back(key);
            corners[static_cast<size_t>(f) * 3 + static_cast<size_t>(k)] = it->second;
        }
    const int count = static_cast<int>(keys.size());

    Layout layout;
    std::vector<std::string> attributes;
    {
        size_t start = layout.bin.size();
        Point3 lo{0, 0, 0}, hi{0, 0, 0};
        for (size_t i = 0; i < keys.size(); ++i) {
            const Point3& p = mesh.verts[keys[i][0]];
            if (i == 0) lo = hi = p;
            lo = Point3{std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = Point3{std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
            Append(layout.bin, p.x);
            Append(layout.bin, p.y);
            Append(layout.bin, p.z);
        }
        const std::string bounds = ",\"min\":[" + Number(lo.x) + "," + Number(lo.y) + "," + Number(lo.z) + "],\"max\":[" +
                                   Number(hi.x) + "," + Number(hi.y) + "," + Number(hi.z) + "]";
        attributes.push_back("\"POSITION\":" + std::to_string(layout.Add(start, count, "VEC3", kFloat, kArrayBuffer, bounds)));
        for (size_t c = 0; c < channels.size(); ++c) {
            start = layout.bin.size();
            const Point3* tv = mesh.mapVerts(channels[c]);
            for (const auto& k : keys) {
                Append(layout.bin, tv[k[2 + c]].x);
                Append(layout.bin, 1.0f - tv[k[2 + c]].y);
            }
            attributes.push_back("\"TEXCOORD_" + std::to_string(c) + "\":" +
                                 std::to_string(layout.Add(start, count, "VEC2", kFloat, kArrayBuffer)));
        }
        if (colours) {
            start = layout.bin.size();
            for (const auto& k : keys) {
                const Point3& col = mesh.vertCol[k[1]];
                Append(layout.bin, Clamp01(col.x));
                Append(layout.bin, Clamp01(col.y));
                Append(layout.bin, Clamp01(col.z));
            }
            attributes.push_back("\"COLOR_0\":" + std::to_string(layout.Add(start, count, "VEC3", kFloat, kArrayBuffer)));
        }
    }

    // A primitive per material ID, in ID order.
    std::map<MtlID, std::vector<int>> facesOf;
    for (int f = 0; f < nf; ++f) facesOf[mesh.faces[static_cast<size_t>(f)].getMatID()].push_back(f);
    std::vector<std::string> primitives, materials;
    for (const auto& [id, faces] : facesOf) {
        const size_t start = layout.bin.size();
        for (int f : faces)
            for (int k = 0; k < 3; ++k) Append(layout.bin, corners[static_cast<size_t>(f) * 3 + static_cast<size_t>(k)]);
        const int indices = layout.Add(start, static_cast<int>(faces.size()) * 3, "SCALAR", kUnsignedInt, kElementArrayBuffer);
        std::string primitive = "{\"attributes\":{" + Join(attributes) + "},\"indices\":" + std::to_string(indices) + ",\"mode\":4";
        const std::string name = id < object.materialNames.size() ? object.materialNames[id] : "";
        if (!name.empty()) {
            primitive += ",\"material\":" + std::to_string(materials.size());
            materials.push_back("{\"name\":" + Quoted(name) + "}");
        }
        primitives.push_back(primitive + "}");
    }

    std::string json = "{\"asset\":{\"version\":\"2.0\",\"generator\":\"Murkwell vertex grit\"},\"scene\":0,"
                       "\"scenes\":[{\"nodes\":[0]}],\"nodes\":[{\"name\":" + Quoted(object.name) + ",\"mesh\":0}],"
                       "\"meshes\":[{\"name\":" + Quoted(object.name) + ",\"primitives\":[" + Join(primitives) + "]}]";
    if (!materials.empty()) json += ",\"materials\":[" + Join(materials) + "]";
    json += ",\"buffers\":[{\"byteLength\":" + std::to_string(layout.bin.size()) + "}],\"bufferViews\":[" +
            Join(layout.views) + "],\"accessors\":[" + Join(layout.accessors) + "]}";
    json.append((4 - json.size() % 4) % 4, ' ');
    std::string& bin = layout.bin;
    bin.append((4 - bin.size() % 4) % 4, '\0');

    std::string out;
    Append(out, std::uint32_t{0x46546C67});  // "glTF"
    Append(out, std::uint32_t{2});
    Append(out, static_cast<std::uint32_t>(12 + 8 + json.size() + 8 + bin.size()));
    Append(out, static_cast<std::uint32_t>(json.size()));
    Append(out, std::uint32_t{0x4E4F534A});  // "JSON"
    out += json;
    Append(out, static_cast<std::uint32_t>(bin.size()));
    Append(out, std::uint32_t{0x004E4942});  // "BIN\0"
    out += bin;
    return out;
}

bool WriteGlb(const std::string& path, const ImportedObject& object, const Mesh& mesh, std::string& error) {
    if (!CheckGlbMesh(mesh, error)) {
        error = "cannot write " + path + ": " + error;
        return false;
    }
    return ReplaceFileContents(path, EncodeGlb(object, mesh), error);
}
