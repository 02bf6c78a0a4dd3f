#include "vertexgrit/VertexGritSum.h"

#include <algorithm>
#include <cstdint>

#include "host/Assert.h"
#include "plugin/WorkerThreads.h"

VertexGritSum* vertexGritSums = nullptr;
int vertexGritSumCount = 0;
float* vertexFaceValues = nullptr;
int vertexFaceValueCount = 0;

namespace {
// Every chunk reads all faces, so chunks are few and large.
constexpr std::int64_t kMinRecordsPerChunk = 4096;
}  // namespace

void SumFaceValues(const Mesh& mesh, const float* faceValues, bool selectedOnly, VertexGritSum* table, int tableCount,
                   int threads) {
    const int faceCount = mesh.getNumFaces();
    if (!table || tableCount <= 0 || faceCount <= 0) {
        if (faceCount > 0 && !table) assert1(__LINE__, "VertexWorker");
        return;
    }
    const int used = RunWorkerThreads(threads, ChunkCount(tableCount, kMinRecordsPerChunk));
    const std::int64_t chunks = used;
    RunPhase({used, {}}, chunks, [&](std::int64_t chunk) {
        const DWORD first = static_cast<DWORD>(tableCount * chunk / chunks);
        const DWORD last = static_cast<DWORD>(tableCount * (chunk + 1) / chunks);
        for (int f = 0; f < faceCount; ++f) {
            if (selectedOnly && !mesh.FaceSel()[f]) continue;
            const Face& face = mesh.faces[static_cast<std::size_t>(f)];
            for (int k = 0; k < 3; ++k) {
                const DWORD v = face.v[k];
                if (v >= first && v < last) {
                    table[v].count += 1;
                    table[v].sum += faceValues[f];
                } else if (chunk == 0 && v >= static_cast<DWORD>(tableCount)) {
                    assert1(__LINE__, "VertexWorker");  // a vertex without a record
                }
            }
        }
    });
}
