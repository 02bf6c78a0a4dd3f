// The texel coverage of one UV Map run: every face of the chosen map channel that passes the
// selection and material filters is rasterised into the run's texel grid, on the run's threads.
#pragma once
#include "host/Interface.h"
#include "host/Mesh.h"
#include "plugin/WorkerThreads.h"

class GritUtility;

// Rasterises the faces into u.texels as one thread rasterising them in index order would: the
// faces are placed on the grid first, then the grid is filled in bands of rows, each band taking
// every face that reaches it in index order, so that the higher face index still wins wherever
// faces overlap. Meanwhile the run's thread follows the faces in index order, showing the
// percentage of faces visited and writing each face's debug lines, so they come out in face
// order. Returns false when control.stop cancelled it; the grid then holds a partial coverage.
bool RasterizeChannel(GritUtility& u, Interface& core, const Mesh& mesh, const PhaseControl& control);
