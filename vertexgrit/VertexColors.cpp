#include "vertexgrit/VertexColors.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "host/Assert.h"
#include "plugin/WorkerThreads.h"
#include "vertexgrit/VertexGritProgress.h"

namespace {
constexpr std::int64_t kItemsPerChunk = 65536;
}  // namespace

bool PrepareVertexColors(Mesh& mesh, bool accumulate, int threads) {
    const int vertCount = mesh.getNumVerts();
    if (accumulate && mesh.getNumVertCol() >= vertCount) return false;

    const int faceCount = mesh.getNumFaces();
    mesh.setNumVertCol(vertCount, 0);
    mesh.setNumVCFaces(faceCount, 0);
    // Every colour vertex and colour face is its own: the threads fill ranges of them.
    const std::int64_t items = std::max(vertCount, faceCount);
    const std::int64_t chunks = ChunkCount(items, kItemsPerChunk);
    RunPhase({RunWorkerThreads(threads, chunks), {}}, chunks, [&](std::int64_t chunk) {
        const std::int64_t first = chunk * kItemsPerChunk, end = first + kItemsPerChunk;
        for (std::int64_t i = first; i < std::min<std::int64_t>(end, vertCount); ++i)
            mesh.vertCol[static_cast<size_t>(i)] = Point3(0.0f, 0.0f, 0.0f);
        for (std::int64_t f = first; f < std::min<std::int64_t>(end, faceCount); ++f) {
            const Face& face = mesh.faces[static_cast<size_t>(f)];
            mesh.vcFace[static_cast<size_t>(f)] = TVFace(face.v[0], face.v[1], face.v[2]);
        }
    });
    return true;
}

float VertexColorLevel(VertexGritSum& record) {
    float sum = record.sum;
    if (record.count > 0) sum = sum / static_cast<float>(record.count);
    if (sum > 1.0f) sum = 1.0f;
    if (sum < 0.0f || std::isnan(sum)) sum = 0.0f;
    const float level = 1.0f - sum;
    record.sum = level;
    return level;
}

namespace {

// For every vertex index below `colourCount`, the colour-vertex indices that its face corners
// carry, face by face and corner by corner (compressed rows: the entries of vertex i are
// colours[first[i]] ... colours[first[i + 1] - 1]).
struct CornerColours {
    std::vector<int> first;
    std::vector<int> colours;
};

CornerColours ListCornerColours(const Mesh& mesh, int colourCount) {
    CornerColours list;
    list.first.assign(static_cast<size_t>(colourCount) + 1, 0);
    const int faceCount = mesh.getNumFaces();
    const int colourFaceCount = std::min(faceCount, mesh.getNumVCFaces());
    // A colour face missing for a face, or naming a colour vertex that does not exist, is a
    // broken colour channel: those corners are left alone and the fault is reported once.
    if (colourFaceCount < faceCount) assert1(__LINE__, "VertexColors");
    bool badColourIndex = false;

    const auto usable = [&](int f, int k) {
        const DWORD v = mesh.faces[static_cast<size_t>(f)].v[k];
        const DWORD c = mesh.vcFace[static_cast<size_t>(f)].t[k];
        if (v >= static_cast<DWORD>(colourCount)) return false;  // no such index in the loop
        if (c >= static_cast<DWORD>(colourCount)) {
            badColourIndex = true;
            return false;
        }
        return true;
    };
    for (int f = 0; f < colourFaceCount; ++f) {
        for (int k = 0; k < 3; ++k) {
            if (usable(f, k)) list.first[mesh.faces[static_cast<size_t>(f)].v[k] + 1]++;
        }
    }
    if (badColourIndex) assert1(__LINE__, "VertexColors");
    for (int i = 0; i < colourCount; ++i) list.first[static_cast<size_t>(i) + 1] += list.first[static_cast<size_t>(i)];

    list.colours.resize(static_cast<size_t>(list.first[static_cast<size_t>(colourCount)]));
    std::vector<int> cursor(list.first.begin(), list.first.end() - 1);
    for (int f = 0; f < colourFaceCount; ++f) {
        for (int k = 0; k < 3; ++k) {
            if (!usable(f, k)) continue;
            const DWORD v = mesh.faces[static_cast<size_t>(f)].v[k];
            list.colours[static_cast<size_t>(cursor[v]++)] = static_cast<int>(mesh.vcFace[static_cast<size_t>(f)].t[k]);
        }
    }
    return list;
}

}  // namespace

int WriteVertexColors(Mesh& mesh, VertexGritSum* table, int tableCount, bool accumulate, Interface& ip) {
    // Only this thread touches the colour channel now, so the count stays as read here.
    const int colourCount = mesh.getNumVertCol();
    const CornerColours corners = ListCornerColours(mesh, colourCount);
    // Which colour vertices vertex i has already multiplied; cleared again after each index.
    std::vector<std::uint8_t> multiplied(accumulate ? static_cast<size_t>(colourCount) : 0u, 0);
    // The table has one record per colour vertex; indices without one are left unwritten.
    const int records = table ? std::min(tableCount, colourCount) : 0;
    if (records < colourCount) assert1(__LINE__, "VertexColors");

    for (int i = 0; i < colourCount; ++i) {
        if (i % kWriteBackProgressStride == 0) ip.ProgressUpdate(WriteBackPercent(i, colourCount), TRUE, nullptr);
        if (ip.GetCancel()) return i;

        if (i >= records) continue;
        const float level = VertexColorLevel(table[i]);
        const int* begin = corners.colours.data() + corners.first[static_cast<size_t>(i)];
        const int* end = corners.colours.data() + corners.first[static_cast<size_t>(i) + 1];
        if (accumulate) {
            for (const int* c = begin; c != end; ++c) {
                if (multiplied[static_cast<size_t>(*c)]) continue;
                mesh.vertCol[static_cast<size_t>(*c)] *= level;
                multiplied[static_cast<size_t>(*c)] = 1;
            }
            for (const int* c = begin; c != end; ++c) multiplied[static_cast<size_t>(*c)] = 0;
        } else {
            for (const int* c = begin; c != end; ++c) mesh.vertCol[static_cast<size_t>(*c)] = Point3(level, level, level);
        }
    }
    return colourCount;
}
