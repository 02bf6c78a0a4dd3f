// The colour write-back as a direct loop: for every colour-vertex index, a fresh flag set and a
// scan over every face corner. Quadratic, so only for small meshes: the reference the linear
// write-back must match bit for bit.
#pragma once
#include "host/Interface.h"
#include "host/Mesh.h"
#include "vertexgrit/VertexGritSum.h"

// Same contract as WriteVertexColors; `table` has one record per colour vertex.
int LiteralWriteVertexColors(Mesh& mesh, VertexGritSum* table, bool accumulate, Interface& ip);
