// The per-vertex totals of the Vertex Colors run: how many face values each vertex received and
// their sum. The run allocates one record per colour vertex (never fewer than the vertices), the
// workers add at each face's three vertex indices under the run's lock, and the write-back turns
// each record into an average and a grey level.
#pragma once

struct VertexGritSum {
    int count = 0;
    float sum = 0.0f;
};

// The table of the run in progress and its record count; null and 0 between runs. Published
// before the workers start and left alone until they have all finished.
extern VertexGritSum* vertexGritSums;
extern int vertexGritSumCount;
