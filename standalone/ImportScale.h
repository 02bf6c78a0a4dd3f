// The import scale: every position multiplied by one factor as the file is read, as an
// application's importer does, and the scale a distance needs to fit the panel's range.
//
// A power of two is the scale of choice: multiplying by 2^k changes only the exponents of the
// positions, and the run's arithmetic carries it through exactly (the front-face test works on
// unit normals, the hit weights and barycentric weights on ratios), so the mesh scaled by 2^k,
// baked at 2^k times the distance, gives the very map of the mesh as it stands.
#pragma once
#include <optional>
#include <string>

#include "host/Mesh.h"
#include "standalone/ImportedScene.h"

// Multiplies every position of every object by `scale` (each product rounded once to float),
// keeping the file's own positions in the object's fileVerts. Fails, naming the object, the
// vertex and the coordinate, when a product is beyond the float range. A coordinate that the
// scale takes below the smallest normal float loses precision: a warning says how many did.
bool ApplyImportScale(ImportedScene& scene, double scale, std::string& error);

struct BoundingBox {
    Point3 lo, hi;
    bool empty = true;
    double Diagonal() const;
};
BoundingBox BoundsOf(const Mesh& mesh);

// A tenth of `diagonal`, to two significant digits: a first ray length for a mesh that size.
double SuggestedDistance(double diagonal);

// For a distance outside [lo, hi]: the power of two to scale the mesh by, and the distance in
// the scaled units. Below lo, the smallest power that takes the distance to 2·lo or more (so it
// can still be halved); above hi, the smallest that takes it to hi/2 or less. Nothing for a
// distance within the range or not above 0.
struct DistanceFit {
    double factor;  // 2^k, to multiply the scale by
    double dist;    // the distance times factor
};
std::optional<DistanceFit> FitDistance(double dist, double lo, double hi);

// For a distance outside the panel's range, in the units of the import scale `scale`: the
// options that fit it, "--scale S --dist D" (S the given scale times the fitting power of two,
// each number in the shortest text that reads back exactly); "" when nothing needs to change.
std::string FittingScaleOptions(double dist, double scale);
