// The mesh's vertex-colour channel as the Vertex Colors run uses it: preparing it before the
// workers start, and writing the averaged grit back into it afterwards.
#pragma once
#include "host/Interface.h"
#include "host/Mesh.h"
#include "vertexgrit/VertexGritSum.h"

// Resets the colours when `accumulate` is false or the mesh has fewer colour vertices than
// vertices: one black colour vertex per vertex, colour face f = the vertex indices of face f, so
// each vertex's colour vertex has the vertex's index. Otherwise leaves the channel as it is.
// Returns whether it reset. The colours and colour faces are filled on up to `threads` threads.
bool PrepareVertexColors(Mesh& mesh, bool accumulate, int threads = 1);

// The grey level of one vertex from its totals: the average (count > 0), clamped to 0 ... 1 with
// NaN as 0, subtracted from 1. The level is stored back into the record's sum.
float VertexColorLevel(VertexGritSum& record);

// Writes the levels into the colours, for colour-vertex index i = 0, 1, ... in order: every
// colour vertex that a face corner of vertex i carries becomes (v, v, v), or in accumulate mode
// is multiplied by v once per vertex however many corners carry that pair. Shows the progress at
// every 100th index and asks for cancel at every index; a cancel leaves index i and the rest
// unwritten. `table` holds `tableCount` records indexed by vertex. Returns the number of indices
// written (the colour-vertex count unless cancelled).
//
// Runs in time linear in faces plus colour vertices: the corners of each vertex are listed once
// up front instead of scanning every face for every index.
int WriteVertexColors(Mesh& mesh, VertexGritSum* table, int tableCount, bool accumulate, Interface& ip);
