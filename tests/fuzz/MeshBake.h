// A small bake of one imported mesh with both of the plug-in's runs, for the importer fuzz
// targets: whatever a reader makes of its input goes through face and vertex normals, the
// accelerated ray query, the UV rasteriser, the texel workers and finishing passes, the bitmap
// writer, and the vertex run with its colour write-back. The work per mesh is capped so that
// every input stays quick. Every importer target (OBJ now, other formats later) hands its meshes
// here.
#pragma once
#include "host/Mesh.h"

// Meshes with more faces than this are not baked: their cost would dominate the fuzzing.
inline constexpr int kBakeMaxFaces = 1024;

// Runs the UV Map run on a 16 x 16 map, evaluating at most a few texels, once with the
// accelerated ray query and once with the plain scan, and the Vertex Colors run on a handful of
// selected faces, through the scripted test host; checks what must hold for any mesh (no
// internal assertion, the progress display ended, one bitmap written, the same map from both
// ray queries, values and colours in range). Aborts on a failed check.
void BakeMesh(const Mesh& mesh);
