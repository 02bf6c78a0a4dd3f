// The smoothing groups of an imported object, settled from one source for every file format:
// the file's own groups, its per-corner normals, the angle between faces, or none. From normals
// and from angles, faces joined across smooth edges form patches, and each patch gets a bit that
// no patch sharing a vertex with it has (see host/SmoothingPatches.h): the vertex normal table
// then blends each patch's faces and keeps patches apart, which is the file's smoothing.
#pragma once
#include "standalone/ImportOptions.h"
#include "standalone/ImportedScene.h"

// What auto picks for an object: the file's groups when some of its faces carry one, else its
// normals when some face corner carries one, else none.
SmoothingSource AutoSmoothingSource(const ImportedObject& object);

// Sets every face's smoothing bits from the chosen source and records the outcome in the
// object. Adds a warning to the scene for each object where 32 bits could not keep the patches
// around some vertex apart, and where normals are asked of an object that has none.
void ApplyImportSmoothing(ImportedScene& scene, const SmoothingChoice& choice);
