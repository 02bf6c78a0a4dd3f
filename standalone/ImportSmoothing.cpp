#include "standalone/ImportSmoothing.h"

#include <bit>

#include "host/SmoothingPatches.h"

namespace {

void SetBits(ImportedObject& o, const SmoothingPatches& patches) {
    for (int f = 0; f < o.mesh.getNumFaces(); ++f)
        o.mesh.faces[static_cast<size_t>(f)].setSmGroup(patches.faceBits[static_cast<size_t>(f)]);
    o.smoothing.patches = patches.patchCount;
    o.smoothing.bitsUsed = patches.bitsUsed;
    o.smoothing.crowdedVertices = patches.crowdedVertices;
}

void Settle(ImportedObject& o, const SmoothingChoice& choice, std::vector<std::string>& warnings) {
    o.smoothing = SmoothingOutcome{};
    o.smoothing.chosenByAuto = choice.source == SmoothingSource::Auto;
    const SmoothingSource source = o.smoothing.chosenByAuto ? AutoSmoothingSource(o) : choice.source;
    o.smoothing.source = source;
    Mesh& m = o.mesh;
    switch (source) {
        case SmoothingSource::Auto:  // settled above
        case SmoothingSource::Groups: {
            DWORD all = 0;
            for (const Face& f : m.faces) all |= f.getSmGroup();
            o.smoothing.bitsUsed = std::popcount(all);
            return;
        }
        case SmoothingSource::None:
            for (Face& f : m.faces) f.setSmGroup(0);
            return;
        case SmoothingSource::Normals: {
            if (!o.HasCornerNormals() && o.HasFaces())
                warnings.push_back("object \"" + o.name + "\" has no normals: every edge is hard (flat faces)");
            // A polygon's own triangles share its corners' normals, so they join in any case;
            // joining them outright also keeps a polygon without normals in one piece.
            SetBits(o, ColourSmoothingPatches(m, SmoothWhereNormalsAgree(o.cornerNormals, o.cornerHasNormal),
                                              o.polygonOfFace));
            break;
        }
        case SmoothingSource::Angle: {
            const std::vector<Point3> normals = PolygonNormals(m, o.polygonOfFace);
            SetBits(o, ColourSmoothingPatches(m, SmoothWithinAngle(normals, choice.angle), o.polygonOfFace));
            break;
        }
    }
    if (o.smoothing.crowdedVertices > 0)
        warnings.push_back("object \"" + o.name + "\": 32 smoothing bits cannot keep the patches apart at " +
                           std::to_string(o.smoothing.crowdedVertices) +
                           " vertices; patches there share a bit, so their normals blend");
}

}  // namespace

SmoothingSource AutoSmoothingSource(const ImportedObject& object) {
    if (object.usesSmoothing) return SmoothingSource::Groups;
    if (object.HasCornerNormals()) return SmoothingSource::Normals;
    return SmoothingSource::None;
}

void ApplyImportSmoothing(ImportedScene& scene, const SmoothingChoice& choice) {
    for (ImportedObject& o : scene.objects) Settle(o, choice, scene.warnings);
}
