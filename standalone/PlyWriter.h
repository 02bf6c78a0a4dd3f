// Coloured meshes to PLY: binary little-endian, per vertex float x, y, z and uchar red, green,
// blue; per face a list (uchar count) of int vertex indices. Vertices are split where one vertex
// carries several colours (see ColouredMesh).
#pragma once
#include <string>

#include "standalone/ColouredMesh.h"

std::string EncodeColouredPly(const ColouredMesh& mesh);

// Lays out the mesh's colours and writes the file atomically.
bool WriteColouredPly(const std::string& path, const Mesh& mesh, std::string& error);
