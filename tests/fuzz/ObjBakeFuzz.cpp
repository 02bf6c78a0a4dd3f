// Fuzz target: OBJ text through the standalone importer, then a small bake of every object it
// yields. The importer must either refuse the text with a reason or produce meshes whose faces
// name existing vertices; each mesh must then survive both runs.
#include <cstddef>
#include <cstdint>
#include <string>

#include "standalone/ObjScene.h"
#include "standalone/SceneImport.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/ImportCheck.h"

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
    CheckAndBakeScene(scene);
    return 0;
}
