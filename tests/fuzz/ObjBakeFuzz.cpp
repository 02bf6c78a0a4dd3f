// Fuzz target: OBJ text through the standalone importer, then a small bake of every object it
// yields. The importer must either refuse the text with a reason or produce meshes whose faces
// name existing vertices; each mesh must then survive both runs.
#include <cstddef>
#include <cstdint>
#include <string>

#include "standalone/ObjScene.h"
#include "standalone/SceneImport.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/MeshBake.h"

namespace {
// Objects baked per input and faces over all of them: many tiny objects cost a run each.
constexpr int kMaxObjects = 4;
constexpr int kMaxFacesPerInput = 2048;

void CheckMesh(const ObjObject& object) {
    const Mesh& mesh = object.mesh;
    const int faces = mesh.getNumFaces();
    const DWORD verts = static_cast<DWORD>(mesh.getNumVerts());
    for (const Face& f : mesh.faces)
        FUZZ_CHECK(f.v[0] < verts && f.v[1] < verts && f.v[2] < verts, "faces name existing vertices");
    FUZZ_CHECK(object.faceGroupSet.size() == static_cast<size_t>(faces), "a group entry per face");
    FUZZ_CHECK(object.vertexSource.size() == static_cast<size_t>(verts), "a source line per vertex");
    if (mesh.getNumMapVerts(1) > 0) {
        FUZZ_CHECK(mesh.getNumMapFaces(1) == faces, "a map face per face");
        const DWORD mapVerts = static_cast<DWORD>(mesh.getNumMapVerts(1));
        for (int i = 0; i < faces; ++i) {
            const TVFace& tf = mesh.mapFaces(1)[i];
            FUZZ_CHECK(tf.t[0] < mapVerts && tf.t[1] < mapVerts && tf.t[2] < mapVerts,
                       "map faces name existing map vertices");
        }
    }
    for (const Face& f : mesh.faces)
        FUZZ_CHECK(f.getMatID() < object.materialNames.size(), "material IDs name known materials");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    ObjScene scene;
    std::string error;
    if (!ParseObjScene(std::move(text), "fuzz", scene, error)) {
        FUZZ_CHECK(!error.empty(), "a refused file says why");
        return 0;
    }
    // The import's own steps too, with each smoothing source in turn (chosen by the input's
    // length, so an input always takes the same path): the patch colouring feeds the normal
    // tables the bake builds.
    ImportOptions options;
    const SmoothingSource sources[] = {SmoothingSource::Auto, SmoothingSource::Normals, SmoothingSource::Angle,
                                       SmoothingSource::None};
    options.smoothing.source = sources[size % 4];
    options.smoothing.angle = 30.0;
    options.threads = 1;
    if (!FinishImport(scene, options, error)) {
        FUZZ_CHECK(!error.empty(), "a refused import says why");
        return 0;
    }
    int baked = 0, faces = 0;
    for (const ObjObject& object : scene.objects) {
        CheckMesh(object);
        if (!object.HasFaces() || baked >= kMaxObjects) continue;
        faces += object.mesh.getNumFaces();
        if (faces > kMaxFacesPerInput) break;
        BakeMesh(object.mesh);
        ++baked;
    }
    return 0;
}
