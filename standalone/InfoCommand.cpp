// `murkwell info`: what the host makes of a mesh file, object by object: faces, map channels,
// materials, smoothing and where it comes from, groups, colours, and the size with a first ray
// length (in the units of the import scale).
#include <algorithm>
#include <cstdio>
#include <limits>

#include "settings/SettingTable.h"
#include "standalone/BakeOptions.h"
#include "standalone/Cli.h"
#include "standalone/ImportScale.h"
#include "standalone/ImportSmoothing.h"
#include "standalone/SceneImport.h"

namespace {

std::string Num(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    return buf;
}

std::string Num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

void DescribeSize(const ImportedObject& o, double scale, std::ostream& out) {
    const BoundingBox box = BoundsOf(o.mesh);
    if (box.empty) return;
    const double diagonal = box.Diagonal();
    out << "  bounding box: x " << Num(box.lo.x) << " ... " << Num(box.hi.x) << ", y " << Num(box.lo.y) << " ... "
        << Num(box.hi.y) << ", z " << Num(box.lo.z) << " ... " << Num(box.hi.z) << " (diagonal " << Num(diagonal) << ")\n";
    const double dist = SuggestedDistance(diagonal);
    if (dist <= 0.0) return;
    out << "  suggested --dist " << Num(dist) << " (a tenth of the diagonal)";
    const std::string fit = FittingScaleOptions(dist, scale);
    if (!fit.empty()) out << ", outside the range " << RangeText(setting::dist) << ": use " << fit;
    out << "\n";
}

void DescribeSmoothing(const ImportedObject& o, std::ostream& out) {
    const SmoothingOutcome& s = o.smoothing;
    const Mesh& m = o.mesh;
    const char* why = "";
    if (s.chosenByAuto) {
        switch (s.source) {
            case SmoothingSource::Groups: why = " (auto: the faces carry smoothing groups)"; break;
            case SmoothingSource::Normals: why = " (auto: no smoothing groups, the faces carry normals)"; break;
            default: why = " (auto: no smoothing groups and no normals; --smoothing angle:30 smooths edges up to 30 degrees)";
        }
    }
    switch (s.source) {
        case SmoothingSource::Auto:
        case SmoothingSource::Groups: {
            out << "  smoothing: groups, from the file" << why << "\n";
            int smooth = 0;
            for (const Face& f : m.faces) smooth += f.getSmGroup() ? 1 : 0;
            if (smooth > 0)
                out << "  smoothing groups: " << s.bitsUsed << " in use, on " << smooth << " of " << m.getNumFaces()
                    << " faces\n";
            else
                out << "  smoothing groups: none\n";
            return;
        }
        case SmoothingSource::Normals: out << "  smoothing: normals, where the faces' normals agree" << why << "\n"; break;
        case SmoothingSource::Angle: out << "  smoothing: angle, edges up to the given angle" << why << "\n"; break;
        case SmoothingSource::None: out << "  smoothing: none" << why << "\n  smoothing groups: none\n"; return;
    }
    out << "  smoothing groups: " << s.patches << (s.patches == 1 ? " patch" : " patches") << ", " << s.bitsUsed
        << (s.bitsUsed == 1 ? " bit" : " bits") << " in use";
    if (s.crowdedVertices > 0) out << " (bits shared at " << s.crowdedVertices << " crowded vertices)";
    out << "\n";
}

// The UV range over the map vertices that the channel's faces use with real coordinates (the
// outside corner, the last map vertex when some faces lack coordinates, left out).
std::string UvRange(const Mesh& m, int channel, int facesWithout) {
    const int nt = m.getNumMapVerts(channel);
    float lo[2] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max()};
    float hi[2] = {std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest()};
    const Point3* tv = m.mapVerts(channel);
    const TVFace* tf = m.mapFaces(channel);
    for (int f = 0; f < m.getNumFaces() && f < m.getNumMapFaces(channel); ++f)
        for (int k = 0; k < 3; ++k) {
            const DWORD t = tf[f].t[k];
            if ((facesWithout > 0 && t == DWORD(nt - 1)) || t >= DWORD(nt)) continue;  // the outside corner
            lo[0] = std::min(lo[0], tv[t].x), hi[0] = std::max(hi[0], tv[t].x);
            lo[1] = std::min(lo[1], tv[t].y), hi[1] = std::max(hi[1], tv[t].y);
        }
    if (!(lo[0] <= hi[0])) return "";
    const bool inside = lo[0] >= 0.0f && hi[0] <= 1.0f && lo[1] >= 0.0f && hi[1] <= 1.0f;
    return "UV range: u " + Num(lo[0]) + " ... " + Num(hi[0]) + ", v " + Num(lo[1]) + " ... " + Num(hi[1]) +
           (inside ? "" : " (partly outside 0 ... 1: such faces are left out of a map)");
}

void DescribeMapChannels(const ImportedObject& o, std::ostream& out) {
    const Mesh& m = o.mesh;
    if (o.mapChannelNames.empty()) {  // OBJ: one channel, from the `vt` lines
        const int nt = m.getNumMapVerts(1);
        if (nt == 0) {
            out << "  map channels: none (no texture coordinates)\n";
            return;
        }
        out << "  map channels: 1 (" << (o.facesWithoutTexCoords > 0 ? nt - 1 : nt) << " map vertices)\n";
        const std::string range = UvRange(m, 1, o.facesWithoutTexCoords);
        if (!range.empty()) out << "  " << range << "\n";
        if (o.facesWithoutTexCoords > 0)
            out << "  " << o.facesWithoutTexCoords << " faces without texture coordinates (left out of a map)\n";
        return;
    }
    // One line per texture coordinate set, channel 1 the first.
    const int channels = static_cast<int>(o.mapChannelNames.size());
    out << "  map channels: " << channels;
    if (channels > 1) out << " (--channel 1 ... " << channels << ")";
    out << "\n";
    for (int c = 1; c <= channels; ++c) {
        const std::string& name = o.mapChannelNames[static_cast<size_t>(c - 1)];
        const int without = static_cast<size_t>(c - 1) < o.facesWithoutMapCoords.size()
                                ? o.facesWithoutMapCoords[static_cast<size_t>(c - 1)]
                                : 0;
        const int nt = m.getNumMapVerts(c);
        out << "  channel " << c << (name.empty() ? std::string(" (unnamed)") : " \"" + name + "\"") << ": "
            << (without > 0 ? nt - 1 : nt) << " map vertices";
        const std::string range = UvRange(m, c, without);
        if (!range.empty()) out << ", " << range;
        out << "\n";
        if (without > 0) out << "    " << without << " faces without texture coordinates in this channel (left out of its map)\n";
    }
}

void DescribeObject(const ImportedObject& o, double scale, std::ostream& out) {
    const Mesh& m = o.mesh;
    out << "object \"" << o.name << "\": " << m.getNumFaces() << " faces";
    if (o.polygonCount != m.getNumFaces())
        out << " (from " << o.polygonCount << (o.polygonCount == 1 ? " polygon)" : " polygons)");
    out << ", " << m.getNumVerts() << " vertices\n";
    if (!o.HasFaces()) {
        out << "  no faces: cannot be baked\n";
        return;
    }

    DescribeMapChannels(o, out);

    std::vector<int> perMaterial(o.materialNames.size(), 0);
    for (const Face& f : m.faces)
        if (f.getMatID() < perMaterial.size()) perMaterial[f.getMatID()]++;
    out << "  material IDs:";
    for (size_t i = 0; i < o.materialNames.size(); ++i)
        out << (i ? "," : "") << " " << i << " "
            << (o.materialNames[i].empty() ? std::string("(no material)") : "\"" + o.materialNames[i] + "\"") << " ("
            << perMaterial[i] << " faces)";
    out << "\n";

    DescribeSmoothing(o, out);
    const auto groups = o.GroupNames();
    if (!groups.empty()) {
        out << "  groups (for --select-group):";
        for (size_t i = 0; i < groups.size(); ++i) out << (i ? "," : "") << " \"" << groups[i] << "\"";
        out << "\n";
    }
    out << "  vertex colours: " << (m.getNumVertCol() > 0 ? "yes" : "no") << "\n";
    DescribeSize(o, scale, out);
}

}  // namespace

int RunInfo(const std::string& input, const ImportOptions& import, std::ostream& out, std::ostream& err) {
    ImportedScene scene;
    std::string error;
    if (!LoadScene(input, import, scene, error)) {
        err << "Murkwell: " << error << "\n";
        return kExitFailed;
    }
    for (const auto& w : scene.warnings) err << "Murkwell: warning: " << input << ": " << w << "\n";
    const char* objects = scene.objects.size() == 1 ? " object" : " objects";
    if (scene.format.empty())
        out << input << ": " << scene.objects.size() << objects << ", " << scene.vertexLines << " vertices, "
            << scene.texCoordLines << " texture coordinates, " << scene.normalLines
            << " normals, vertex colours: " << (scene.hasColours ? "yes" : "no") << "\n";
    else  // the vertex counts of the file's meshes, split where any attribute differs
        out << input << " (" << scene.format << "): " << scene.objects.size() << objects << ", " << scene.vertexLines
            << " vertices in the file's meshes (" << scene.texCoordLines << " with texture coordinates, "
            << scene.normalLines << " with normals), vertex colours: " << (scene.hasColours ? "yes" : "no") << "\n";
    if (scene.scale != 1.0) out << "positions scaled by " << Num(scene.scale) << " (sizes below are in scaled units)\n";
    for (const ImportedObject& o : scene.objects) DescribeObject(o, scene.scale, out);
    return kExitDone;
}
