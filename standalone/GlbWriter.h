// A coloured mesh as binary glTF 2.0 (.glb), for vertex-mode output: the object alone, as one
// node holding one mesh, with
// - POSITION (float VEC3, with its bounds);
// - TEXCOORD_0, TEXCOORD_1, ...: every map channel that has map vertices, in channel order,
//   with t = 1 - v (glTF's texture space starts at the top edge, the host's at the bottom);
// - COLOR_0 (float VEC3): the vertex colours, clamped to 0 ... 1 (glTF reads them as linear);
// - one primitive per material ID, in ID order, with a material named after the object's
//   material (the "no material" entry: a primitive without one); faces in mesh order.
// glTF keeps one texture coordinate and one colour per vertex, so a mesh vertex is written once
// for each distinct combination of its colour vertex and its map vertex in every channel that
// its corners use, in order of first use over the faces.
#pragma once
#include <string>

#include "host/Mesh.h"
#include "standalone/ImportedScene.h"

std::string EncodeGlb(const ImportedObject& object, const Mesh& mesh);

// Encodes and replaces `path` whole. Fails for a mesh whose faces refer to vertices, colours or
// map vertices that do not exist.
bool WriteGlb(const std::string& path, const ImportedObject& object, const Mesh& mesh, std::string& error);

// Checks what EncodeGlb relies on: every face corner's vertex, colour vertex and map vertex exist.
bool CheckGlbMesh(const Mesh& mesh, std::string& error);
