#include "vertexgrit/VertexGritSum.h"

VertexGritSum* vertexGritSums = nullptr;
int vertexGritSumCount = 0;
