// Mesh files other than OBJ, read through Assimp in the scene reader module murkwell-assimp.so
// (loaded on first use: see OptionalModule.h) and made into objects by the fixed mapping of
// TableScene.h. A PLY with triangle strips, which Assimp 5.2 reads as one triangle, is read by
// the host itself (PlyFaces.h) and goes through the same mapping.
#pragma once
#include <string>

#include "standalone/ImportOptions.h"
#include "standalone/ImportedScene.h"

// Reads `path`. On failure returns false with a one-line reason in `error` that names the file,
// the format (Assimp's name for it) and the reason (Assimp's own, where Assimp refused it).
// The smoothing choice is checked against what the format can give (no smoothing groups).
bool LoadAssimpScene(const std::string& path, const ImportOptions& options, ImportedScene& scene, std::string& error);
