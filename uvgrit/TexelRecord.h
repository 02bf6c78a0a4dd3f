// What the UV rasteriser records per texel: the covering face and the texel's barycentric
// weights in it. The default value is the empty record.
#pragma once
#include "host/Point3.h"

struct TexelRecord {
    int faceIndex = -1;  // -1: uncovered (empty and marker records)
    Point3 weights;      // raised to at least 0.01 and renormalised; the evaluator's weights
    Point3 rawWeights;   // as computed; may be slightly negative on edges; used for the noise point

    bool IsMarker() const { return weights.x < -0.9f; }
    bool IsCovered() const { return faceIndex != -1; }
};
