#include "standalone/ImportScale.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "settings/SettingTable.h"
#include "standalone/OptionNumbers.h"

bool ApplyImportScale(ImportedScene& scene, double scale, std::string& error) {
    scene.scale = scale;
    if (scale == 1.0) return true;
    long long lost = 0;
    for (ImportedObject& o : scene.objects) {
        o.fileVerts = o.mesh.verts;
        for (size_t i = 0; i < o.mesh.verts.size(); ++i) {
            Point3& p = o.mesh.verts[i];
            for (int a = 0; a < 3; ++a) {
                const float before = p[a];
                const float after = static_cast<float>(static_cast<double>(before) * scale);
                if (!std::isfinite(after)) {
                    static const char kAxis[3] = {'x', 'y', 'z'};
                    error = "--scale " + ShortNumberText(scale) + " takes vertex " + std::to_string(o.vertexSource[i] + 1) +
                            " of object \"" + o.name + "\" beyond the float range (" + kAxis[a] + " " + ShortNumberText(before) +
                            " would become " + ShortNumberText(static_cast<double>(before) * scale) + ")";
                    return false;
                }
                if (before != 0.0f && std::fabs(after) < std::numeric_limits<float>::min()) lost++;
                p[a] = after;
            }
        }
    }
    if (lost > 0)
        scene.warnings.push_back(std::to_string(lost) + " coordinate(s) fall below the smallest normal float under --scale " +
                                 ShortNumberText(scale) + " and lose precision");
    return true;
}

double BoundingBox::Diagonal() const {
    if (empty) return 0.0;
    const double dx = double(hi.x) - lo.x, dy = double(hi.y) - lo.y, dz = double(hi.z) - lo.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

BoundingBox BoundsOf(const Mesh& mesh) {
    BoundingBox box;
    for (const Point3& v : mesh.verts) {
        if (box.empty) {
            box.lo = box.hi = v;
            box.empty = false;
            continue;
        }
        for (int a = 0; a < 3; ++a) {
            box.lo[a] = std::min(box.lo[a], v[a]);
            box.hi[a] = std::max(box.hi[a], v[a]);
        }
    }
    return box;
}

double SuggestedDistance(double diagonal) {
    const double tenth = diagonal / 10.0;
    if (!(tenth > 0.0) || !std::isfinite(tenth)) return 0.0;
    // Two significant digits (0.0548 -> 0.055, 1234 -> 1200), read back from their text so the
    // value is the double nearest to what is printed.
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1e", tenth);
    return std::strtod(buf, nullptr);
}

std::optional<DistanceFit> FitDistance(double dist, double lo, double hi) {
    if (!(dist > 0.0) || !std::isfinite(dist) || (dist >= lo && dist <= hi)) return std::nullopt;
    double factor = 1.0;
    if (dist < lo) {
        while (dist * factor < 2.0 * lo) factor *= 2.0;
    } else {
        while (dist * factor > hi / 2.0) factor /= 2.0;
    }
    return DistanceFit{factor, dist * factor};
}

std::string FittingScaleOptions(double dist, double scale) {
    const auto fit = FitDistance(dist, setting::dist.min, setting::dist.max);
    if (!fit) return "";
    // The distance option is read as a float, and a float times a power of two is a float.
    return "--scale " + ExactNumberText(scale * fit->factor) + " --dist " + ExactNumberText(static_cast<float>(fit->dist));
}
