// Coloured meshes back to OBJ, as `v x y z r g b` lines.
// - When the colours are one per vertex (the usual case for a mesh read from OBJ), the input
//   file's text is copied with only its `v` lines changed: the object's vertices get the mesh's
//   colours, other vertices keep the colour they had or get white (1 1 1), since a reader takes
//   colours only when every vertex has one. Texture coordinates, normals, smoothing groups,
//   groups, materials and comments stay exactly as they were. A `v` line's optional w and a
//   comment after its numbers are dropped, and a UTF-8 byte-order mark is not copied.
// - Otherwise (one vertex with several colours) a new OBJ of the object alone is written with
//   split vertices, its texture coordinates (channel 1), materials, groups and smoothing groups.
#pragma once
#include <string>

#include "standalone/ColouredMesh.h"
#include "standalone/ObjScene.h"

// Shortest text that reads back as exactly this float.
std::string FormatFloat(float value);

// The input text with the object's vertex colours written into its `v` lines. `layout` must not
// be split.
std::string RewriteObjVertexColours(const ObjScene& scene, const ObjObject& object, const ColouredMesh& layout);

// A new OBJ holding the object alone.
std::string EncodeColouredObj(const ObjObject& object, const Mesh& mesh, const ColouredMesh& layout);

// Picks the way above and writes `path` atomically.
bool WriteColouredObj(const std::string& path, const ObjScene& scene, const ObjObject& object, const Mesh& mesh,
                      std::string& error);
