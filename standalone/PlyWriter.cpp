#include "standalone/PlyWriter.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "host/AtomicReplace.h"

namespace {

template <class T>
void AppendLittleEndian(std::string& out, T value) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) {
        for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
    }
    out.append(reinterpret_cast<const char*>(bytes), sizeof(T));
}

}  // namespace

std::string EncodeColouredPly(const ColouredMesh& mesh) {
    std::string out =
        "ply\n"
        "format binary_little_endian 1.0\n"
        "comment Murkwell vertex grit\n"
        "element vertex " + std::to_string(mesh.position.size()) + "\n"
        "property float x\n"
        "property float y\n"
        "property float z\n"
        "property uchar red\n"
        "property uchar green\n"
        "property uchar blue\n"
        "element face " + std::to_string(mesh.faces.size()) + "\n"
        "property list uchar int vertex_indices\n"
        "end_header\n";
    out.reserve(out.size() + mesh.position.size() * 15 + mesh.faces.size() * 13);
    for (size_t i = 0; i < mesh.position.size(); ++i) {
        const Point3& p = mesh.position[i];
        const Point3& c = mesh.colour[i];
        AppendLittleEndian(out, p.x);
        AppendLittleEndian(out, p.y);
        AppendLittleEndian(out, p.z);
        out += static_cast<char>(ColourByte(c.x));
        out += static_cast<char>(ColourByte(c.y));
        out += static_cast<char>(ColourByte(c.z));
    }
    for (const auto& f : mesh.faces) {
        out += static_cast<char>(3);
        for (int v : f) AppendLittleEndian(out, static_cast<std::int32_t>(v));
    }
    return out;
}

bool WriteColouredPly(const std::string& path, const Mesh& mesh, std::string& error) {
    ColouredMesh layout;
    if (!LayOutVertexColours(mesh, layout, error)) {
        error = "cannot write " + path + ": " + error;
        return false;
    }
    return ReplaceFileContents(path, EncodeColouredPly(layout), error);
}
