#include "uvgrit/RasterizeChannel.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "host/Assert.h"
#include "plugin/GritUtility.h"
#include "uvgrit/Rasterizer.h"

namespace {
constexpr std::int64_t kFacesPerChunk = 8192;
// Faces a band looks at, or the run's thread follows, between two tests for a cancel.
constexpr int kFacesBetweenCancelTests = 4096;

// What the run does with a face, and where the face lies on the grid. Map sides are at most
// 65535, so a texel coordinate fits in 16 bits.
enum class FaceFate : std::uint8_t { kLeftOut, kOtherMaterial, kNoArea, kFilled };
struct PlacedFace {
    std::uint16_t x[3];
    std::uint16_t y[3];
    FaceFate fate;

    TexelTriangle Triangle() const { return {x[0], y[0], x[1], y[1], x[2], y[2]}; }
};

// A face is rasterised only when its map face exists and names map vertices of the channel, and
// its corners name vertices of the mesh (the workers read them for the noise point). The run
// cannot assume this of every mesh it is handed; a face that fails is left out.
bool FaceHasUsableMapping(const Mesh& mesh, int face, const TVFace* mapFaces, int mapFaceCount, int mapVertCount) {
    if (face >= mapFaceCount) return false;
    const TVFace& tf = mapFaces[face];
    const DWORD mapVerts = static_cast<DWORD>(mapVertCount);
    if (tf.t[0] >= mapVerts || tf.t[1] >= mapVerts || tf.t[2] >= mapVerts) return false;
    const Face& f = mesh.faces[static_cast<std::size_t>(face)];
    const DWORD verts = static_cast<DWORD>(mesh.getNumVerts());
    return f.v[0] < verts && f.v[1] < verts && f.v[2] < verts;
}

int MaterialOf(const Mesh& mesh, int face) { return mesh.faces[static_cast<std::size_t>(face)].getMatID() + 1; }
}  // namespace

bool RasterizeChannel(GritUtility& u, Interface& core, const Mesh& mesh, const PhaseControl& control) {
    const int channel = u.settings.mapChannel;
    const int mapVertCount = mesh.getNumMapVerts(channel);
    if (mapVertCount < 1) return true;  // no texture coordinates: an all-uncovered grid
    const Point3* mapVerts = mesh.mapVerts(channel);
    const TVFace* mapFaces = mesh.mapFaces(channel);
    const int mapFaceCount = mapFaces ? mesh.getNumMapFaces(channel) : 0;
    if (!mapVerts) return true;

    const int faceCount = mesh.getNumFaces();
    const int width = static_cast<int>(u.texels.ColumnCount());
    const int height = static_cast<int>(u.texels.RowCount());
    const bool selectedOnly = u.settings.selectedOnly != 0;
    const bool byMaterial = u.settings.mtlIDOn != 0;
    const int wantedMaterial = u.settings.mtlID;

    // Where every face lands, in parallel: each face's placement depends on that face alone.
    std::vector<PlacedFace> placed(static_cast<std::size_t>(faceCount));
    const std::int64_t faceChunks = ChunkCount(faceCount, kFacesPerChunk);
    const PhaseControl placing{RunWorkerThreads(control.threads, faceChunks), control.stop};
    const bool allPlaced = RunPhase(placing, faceChunks, [&](std::int64_t chunk) {
        const int end = static_cast<int>(std::min<std::int64_t>((chunk + 1) * kFacesPerChunk, faceCount));
        for (int i = static_cast<int>(chunk * kFacesPerChunk); i < end; ++i) {
            PlacedFace& p = placed[static_cast<std::size_t>(i)];
            p.fate = FaceFate::kLeftOut;
            if (selectedOnly && !mesh.FaceSel()[i]) continue;
            if (byMaterial && MaterialOf(mesh, i) != wantedMaterial) {
                p.fate = FaceFate::kOtherMaterial;
                continue;
            }
            if (!FaceHasUsableMapping(mesh, i, mapFaces, mapFaceCount, mapVertCount)) continue;
            const TVFace& tf = mapFaces[i];
            TexelTriangle t;
            if (!PlaceOnTexelGrid(width, height, mapVerts[tf.t[0]], mapVerts[tf.t[1]], mapVerts[tf.t[2]], t)) continue;
            p.x[0] = static_cast<std::uint16_t>(t.xA), p.y[0] = static_cast<std::uint16_t>(t.yA);
            p.x[1] = static_cast<std::uint16_t>(t.xB), p.y[1] = static_cast<std::uint16_t>(t.yB);
            p.x[2] = static_cast<std::uint16_t>(t.xC), p.y[2] = static_cast<std::uint16_t>(t.yC);
            p.fate = t.HasArea() ? FaceFate::kFilled : FaceFate::kNoArea;
        }
    });
    if (!allPlaced) return false;

    // The fill, in bands of rows: a few bands per thread, so that a band crowded with faces does
    // not leave the other threads idle for long. Every band looks at every face.
    const int threads = RunWorkerThreads(control.threads, height);
    const int bandCount = std::min(height, threads > 1 ? 4 * threads : 1);
    std::atomic<bool> cancelled{false};
    const auto fillBand = [&](std::int64_t band) {
        const int rowFirst = static_cast<int>(static_cast<std::int64_t>(height) * band / bandCount);
        const int rowLast = static_cast<int>(static_cast<std::int64_t>(height) * (band + 1) / bandCount) - 1;
        for (int i = 0; i < faceCount; ++i) {
            if (i % kFacesBetweenCancelTests == 0 && cancelled.load(std::memory_order_relaxed)) return;
            const PlacedFace& p = placed[static_cast<std::size_t>(i)];
            if (p.fate != FaceFate::kFilled) continue;
            if (std::max({p.y[0], p.y[1], p.y[2]}) < rowFirst || std::min({p.y[0], p.y[1], p.y[2]}) > rowLast) continue;
            FillTexelTriangle(u.texels, p.Triangle(), i, rowFirst, rowLast);
        }
    };
    // The run's own part: the faces in index order, with the progress display following them and
    // their debug lines, then the cancel query now and then.
    const auto followFaces = [&] {
        for (int i = 0; i < faceCount; ++i) {
            core.ProgressUpdate(static_cast<int>(100LL * i / faceCount), TRUE, nullptr);
            const PlacedFace& p = placed[static_cast<std::size_t>(i)];
            if (p.fate == FaceFate::kOtherMaterial) {
                DebugPrint("Face %d not included - mtlID %d\n", i, MaterialOf(mesh, i));
            } else if (p.fate == FaceFate::kFilled || p.fate == FaceFate::kNoArea) {
                PrintTexelTriangle(p.Triangle(), i);
            }
            if (control.stop && i % kFacesBetweenCancelTests == 0 && control.stop()) {
                cancelled.store(true);
                return false;
            }
        }
        return true;
    };
    const PhaseControl filling{threads, [&] {
                                   const bool stop = control.stop && control.stop();
                                   if (stop) cancelled.store(true);
                                   return stop;
                               }};
    const bool filled = RunPhase(filling, bandCount, fillBand, followFaces);
    return filled && !cancelled.load();
}
