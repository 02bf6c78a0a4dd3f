// Small textured meshes and grid helpers for the UV Map tests.
#pragma once
#include <utility>
#include <vector>

#include "host/Mesh.h"
#include "support/BArray.h"
#include "uvgrit/TexelRecord.h"

// A flat sheet of cellsX x cellsY unit squares in the plane z = 0, facing +z, two faces per
// square. Channel 1 maps it onto the whole unit square: u = x / cellsX, v = y / cellsY, map
// vertex i belonging to vertex i.
Mesh MakeUvSheet(int cellsX, int cellsY);

// A crevice: the floor [0, size]^2 at z = 0 and four walls of height `size`, every face looking
// into the box. Channel 1 projects it from above: u = x / size, v = y / size (the walls land on
// the map's border lines and have no area there).
Mesh MakeUvOpenBox(float size);

// The cells (x, y) of the grid that hold face `face`, in column-major order.
std::vector<std::pair<int, int>> CellsOfFace(const BArray<TexelRecord>& grid, int face);
// Number of cells whose face index is not -1.
int CoveredCount(const BArray<TexelRecord>& grid);
// A w x h grid of empty records.
BArray<TexelRecord> EmptyGrid(int w, int h);

struct GritSettings;
// The value grid of a UV Map run over `texels`, worked out on the calling thread without the
// run's workers, as two workers with the generator at seed 1 give it: the even rows in order in
// one sequence, the odd rows in order in another, one draw per evaluated texel. With `finish`
// the finishing passes follow. `accelerated` chooses the ray query.
BArray<float> SequentialTexelValues(const GritSettings& settings, const Mesh& mesh, const BArray<TexelRecord>& texels,
                                    bool accelerated, bool finish);
