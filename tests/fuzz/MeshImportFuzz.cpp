// Fuzz target: a mesh file of any format but OBJ through the standalone importer (Assimp's
// readers in their module, and our own for PLY triangle strips), then a small bake of every
// object it yields. The input's first byte picks the file's extension, so one corpus covers every
// format; the rest is the file. The importer must refuse with a reason or produce meshes whose
// faces, map faces, colour faces and material IDs name what exists; each must survive both runs.
#include <cstddef>
#include <cstdint>
#include <string>

#include "standalone/SceneImport.h"
#include "tests/common/TempDir.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/ImportCheck.h"

namespace {
constexpr const char* kExtensions[] = {".ply", ".stl", ".glb", ".gltf", ".dae", ".3ds", ".fbx"};
constexpr std::size_t kExtensionCount = sizeof kExtensions / sizeof kExtensions[0];
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // One directory for the whole process: the readers take a file, and a fresh directory per
    // input would cost more than the read.
    static ScopedTempDir dir;
    const std::string path = dir.File(std::string("input") + kExtensions[data[0] % kExtensionCount]);
    WriteWholeFile(path, std::string(reinterpret_cast<const char*>(data) + 1, size - 1));

    ImportOptions options;
    const SmoothingSource sources[] = {SmoothingSource::Auto, SmoothingSource::Angle, SmoothingSource::None};
    options.smoothing.source = sources[(data[0] / kExtensionCount) % 3];
    options.smoothing.angle = 30.0;
    options.threads = 1;
    ImportedScene scene;
    std::string error;
    if (!LoadScene(path, options, scene, error)) {
        FUZZ_CHECK(!error.empty(), "a refused file says why");
        return 0;
    }
    CheckAndBakeScene(scene);
    return 0;
}
