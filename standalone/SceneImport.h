// Reading a mesh file into the scene: the format's reader chosen by the file's extension, then
// the steps that are the same for every format: the import scale and the smoothing groups.
#pragma once
#include <string>

#include "standalone/ImportOptions.h"
#include "standalone/ImportedScene.h"

// Reads `path` with the reader its extension names (".obj", in any case, by our own OBJ reader;
// every other extension through Assimp), scales the positions and settles the smoothing. On
// failure returns false with a one-line reason in `error`.
bool LoadScene(const std::string& path, const ImportOptions& options, ImportedScene& scene, std::string& error);

// The steps after a reader, for a scene a reader has filled.
bool FinishImport(ImportedScene& scene, const ImportOptions& options, std::string& error);
