// `murkwell info`: what the host makes of an OBJ file, object by object.
#include <algorithm>
#include <cstdio>
#include <limits>

#include "standalone/Cli.h"
#include "standalone/ObjScene.h"

namespace {

std::string Num(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    return buf;
}

void DescribeObject(const ObjObject& o, std::ostream& out) {
    const Mesh& m = o.mesh;
    out << "object \"" << o.name << "\": " << m.getNumFaces() << " faces";
    if (o.polygonCount != m.getNumFaces())
        out << " (from " << o.polygonCount << (o.polygonCount == 1 ? " polygon)" : " polygons)");
    out << ", " << m.getNumVerts() << " vertices\n";
    if (!o.HasFaces()) {
        out << "  no faces: cannot be baked\n";
        return;
    }

    const int nt = m.getNumMapVerts(1);
    if (nt == 0) {
        out << "  map channels: none (no texture coordinates)\n";
    } else {
        // The range over the map vertices the faces use with real coordinates.
        float lo[2] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max()};
        float hi[2] = {std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest()};
        const Point3* tv = m.mapVerts(1);
        const TVFace* tf = m.mapFaces(1);
        for (int f = 0; f < m.getNumFaces(); ++f)
            for (int k = 0; k < 3; ++k) {
                const DWORD t = tf[f].t[k];
                if (o.facesWithoutTexCoords > 0 && t == DWORD(nt - 1)) continue;  // the outside corner
                lo[0] = std::min(lo[0], tv[t].x), hi[0] = std::max(hi[0], tv[t].x);
                lo[1] = std::min(lo[1], tv[t].y), hi[1] = std::max(hi[1], tv[t].y);
            }
        out << "  map channels: 1 (" << (o.facesWithoutTexCoords > 0 ? nt - 1 : nt) << " map vertices)\n";
        if (lo[0] <= hi[0]) {
            const bool inside = lo[0] >= 0.0f && hi[0] <= 1.0f && lo[1] >= 0.0f && hi[1] <= 1.0f;
            out << "  UV range: u " << Num(lo[0]) << " ... " << Num(hi[0]) << ", v " << Num(lo[1]) << " ... "
                << Num(hi[1]) << (inside ? "" : " (partly outside 0 ... 1: such faces are left out of a map)") << "\n";
        }
        if (o.facesWithoutTexCoords > 0)
            out << "  " << o.facesWithoutTexCoords << " faces without texture coordinates (left out of a map)\n";
    }

    std::vector<int> perMaterial(o.materialNames.size(), 0);
    for (const Face& f : m.faces)
        if (f.getMatID() < perMaterial.size()) perMaterial[f.getMatID()]++;
    out << "  material IDs:";
    for (size_t i = 0; i < o.materialNames.size(); ++i)
        out << (i ? "," : "") << " " << i << " "
            << (o.materialNames[i].empty() ? std::string("(no material)") : "\"" + o.materialNames[i] + "\"") << " ("
            << perMaterial[i] << " faces)";
    out << "\n";

    if (o.usesSmoothing) {
        DWORD all = 0;
        int smooth = 0;
        for (const Face& f : m.faces) {
            all |= f.getSmGroup();
            smooth += f.getSmGroup() ? 1 : 0;
        }
        int groups = 0;
        for (int b = 0; b < 32; ++b) groups += (all >> b) & 1u;
        out << "  smoothing groups: " << groups << " in use, on " << smooth << " of " << m.getNumFaces() << " faces\n";
    } else {
        out << "  smoothing groups: none\n";
    }

    const auto groups = o.GroupNames();
    if (!groups.empty()) {
        out << "  groups (for --select-group):";
        for (size_t i = 0; i < groups.size(); ++i) out << (i ? "," : "") << " \"" << groups[i] << "\"";
        out << "\n";
    }
    out << "  vertex colours: " << (m.getNumVertCol() > 0 ? "yes" : "no") << "\n";
}

}  // namespace

int RunInfo(const std::string& input, std::ostream& out, std::ostream& err) {
    ObjScene scene;
    std::string error;
    if (!LoadObjScene(input, scene, error)) {
        err << "Murkwell: " << error << "\n";
        return kExitFailed;
    }
    for (const auto& w : scene.warnings) err << "Murkwell: warning: " << input << ": " << w << "\n";
    out << input << ": " << scene.objects.size() << (scene.objects.size() == 1 ? " object" : " objects") << ", "
        << scene.vertexLines << " vertices, " << scene.texCoordLines << " texture coordinates, " << scene.normalLines
        << " normals, vertex colours: " << (scene.hasColours ? "yes" : "no") << "\n";
    for (const ObjObject& o : scene.objects) DescribeObject(o, out);
    return kExitDone;
}
