#include "standalone/ObjColourWriter.h"

#include <charconv>
#include <string_view>

#include "host/AtomicReplace.h"
#include "standalone/ObjLines.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string ColourText(const Point3& c) { return FormatFloat(c.x) + " " + FormatFloat(c.y) + " " + FormatFloat(c.z); }

// Index of the lowest set bit + 1, as an OBJ smoothing group number; 0 when none.
int SmoothingNumber(DWORD bits) {
    for (int b = 0; b < 32; ++b)
        if (bits & (DWORD(1) << b)) return b + 1;
    return 0;
}

}  // namespace

std::string FormatFloat(float value) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

std::string RewriteObjVertexColours(const ObjScene& scene, const ObjObject& object, const ColouredMesh& layout) {
    // `v` line index -> colour, for the object's vertices.
    std::vector<int> outputOf(static_cast<size_t>(scene.vertexLines), -1);
    for (size_t i = 0; i < layout.sourceVertex.size(); ++i) {
        const int mv = layout.sourceVertex[i];
        if (mv >= 0 && static_cast<size_t>(mv) < object.vertexSource.size()) {
            const int line = object.vertexSource[static_cast<size_t>(mv)];
            if (line >= 0 && line < scene.vertexLines) outputOf[static_cast<size_t>(line)] = static_cast<int>(i);
        }
    }
    const std::string_view text = scene.text;
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    size_t pos = 0;
    int vertexLine = 0;
    std::string_view visible;
    size_t start = pos, end = 0;
    // Each line is copied with its own terminator ("\n", "\r\n" or a lone "\r").
    for (; NextObjLine(text, pos, visible, &end); start = pos) {
        size_t k = 0;
        while (k < visible.size() && IsBlank(visible[k])) ++k;
        const bool isVertex = visible.size() > k + 1 && visible[k] == 'v' && IsBlank(visible[k + 1]);
        if (!isVertex) {
            out.append(text.substr(start, pos - start));
            continue;
        }
        auto tokens = ObjTokens(visible.substr(k + 2));
        // A trailing comment is no number of the vertex.
        for (size_t t = 0; t < tokens.size(); ++t)
            if (tokens[t].front() == '#') {
                tokens.resize(t);
                break;
            }
        const int o = vertexLine < scene.vertexLines ? outputOf[static_cast<size_t>(vertexLine)] : -1;
        vertexLine++;
        if (o < 0 && tokens.size() >= 6) {
            out.append(text.substr(start, pos - start));  // another object's coloured vertex
            continue;
        }
        std::string rewritten(visible.substr(0, k));
        rewritten += "v";
        for (size_t t = 0; t < 3; ++t) {
            rewritten += " ";
            rewritten += t < tokens.size() ? std::string(tokens[t]) : std::string("0");
        }
        rewritten += " " + (o >= 0 ? ColourText(layout.colour[static_cast<size_t>(o)]) : std::string("1 1 1"));
        out += rewritten;
        out.append(text.substr(end, pos - end));
    }
    return out;
}

std::string EncodeColouredObj(const ObjObject& object, const Mesh& mesh, const ColouredMesh& layout) {
    std::string out = "# Murkwell vertex grit\no " + object.name + "\n";
    for (size_t i = 0; i < layout.position.size(); ++i) {
        const Point3& p = layout.position[i];
        out += "v " + FormatFloat(p.x) + " " + FormatFloat(p.y) + " " + FormatFloat(p.z) + " " +
               ColourText(layout.colour[i]) + "\n";
    }
    const int nt = mesh.getNumMapVerts(1);
    const Point3* tv = mesh.mapVerts(1);
    const TVFace* tf = mesh.mapFaces(1);
    const bool withMap = nt > 0 && tv && tf;
    if (withMap)
        for (int i = 0; i < nt; ++i) out += "vt " + FormatFloat(tv[i].x) + " " + FormatFloat(tv[i].y) + "\n";

    int material = -1, group = -2, smoothing = -1;
    for (size_t f = 0; f < layout.faces.size(); ++f) {
        const Face& face = mesh.faces[f];
        const int m = face.getMatID();
        if (m != material) {
            material = m;
            const std::string name =
                static_cast<size_t>(m) < object.materialNames.size() ? object.materialNames[static_cast<size_t>(m)] : "";
            out += name.empty() ? "usemtl\n" : "usemtl " + name + "\n";
        }
        const int g = f < object.faceGroupSet.size() ? object.faceGroupSet[f] : -1;
        if (g != group) {
            group = g;
            if (g >= 0) {
                out += "g";
                for (const auto& n : object.groupSets[static_cast<size_t>(g)]) out += " " + n;
                out += "\n";
            }
        }
        const int s = SmoothingNumber(face.getSmGroup());
        if (s != smoothing) {
            smoothing = s;
            out += s == 0 ? "s off\n" : "s " + std::to_string(s) + "\n";
        }
        const bool mapped = withMap && f < static_cast<size_t>(mesh.getNumFaces()) && tf[f].t[0] < DWORD(nt) &&
                            tf[f].t[1] < DWORD(nt) && tf[f].t[2] < DWORD(nt);
        out += "f";
        for (int k = 0; k < 3; ++k) {
            out += " " + std::to_string(layout.faces[f][static_cast<size_t>(k)] + 1);
            if (mapped) out += "/" + std::to_string(tf[f].t[k] + 1);
        }
        out += "\n";
    }
    return out;
}

bool WriteColouredObj(const std::string& path, const ObjScene& scene, const ObjObject& object, const Mesh& mesh,
                      std::string& error) {
    ColouredMesh layout;
    if (!LayOutVertexColours(mesh, layout, error)) {
        error = "cannot write " + path + ": " + error;
        return false;
    }
    const bool rewrite = !layout.split && !scene.text.empty() &&
                         layout.sourceVertex.size() == object.vertexSource.size();
    const std::string text = rewrite ? RewriteObjVertexColours(scene, object, layout)
                                     : EncodeColouredObj(object, mesh, layout);
    return ReplaceFileContents(path, text, error);
}
