// Smoothing bits from Blender's shading: polygons flagged smooth blend their normals across the
// edges they share, unless the edge is marked sharp or the angle between the two polygons
// exceeds the auto-smooth angle; polygons shaded flat keep their own normal. Triangles of one
// polygon always belong together.
#pragma once
#include <vector>

#include "blender/BlenderMesh.h"
#include "host/Mesh.h"

// One smoothing-bit word per face of `mesh` (face t = triangle t of `blender`): flat polygons get
// none, each patch of smooth polygons one bit that no patch meeting it at a vertex holds.
std::vector<DWORD> BlenderSmoothingBits(const BlenderMesh& blender, const Mesh& mesh);
