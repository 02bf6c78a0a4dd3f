// The per-vertex totals of the Vertex Colors run: how many face values each vertex received and
// their sum. The workers store one value per face; once they have all finished, the run forms the
// totals from those values in face order, and the write-back turns each record into an average
// and a grey level.
#pragma once
#include "host/Mesh.h"

struct VertexGritSum {
    int count = 0;
    float sum = 0.0f;
};

// The tables of the run in progress and their record counts; null and 0 between runs. Published
// before the workers start and left in place until they have all finished: the totals, one
// record per colour vertex (never fewer than the vertices), and the face values, one per face.
extern VertexGritSum* vertexGritSums;
extern int vertexGritSumCount;
extern float* vertexFaceValues;
extern int vertexFaceValueCount;

// Adds the face values into the totals: for every face in ascending index order (only the
// selected ones when `selectedOnly`), each corner's record gets count + 1 and sum + the face's
// value, as a float. Every vertex therefore receives its values in face order, and its sum comes
// out bit for bit the same however many threads evaluated the faces. The vertices are shared out
// over up to `threads` threads. A corner naming a vertex without a record is reported through
// assert1 and skipped.
void SumFaceValues(const Mesh& mesh, const float* faceValues, bool selectedOnly, VertexGritSum* table, int tableCount,
                   int threads);
