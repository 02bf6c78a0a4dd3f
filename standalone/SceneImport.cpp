#include "standalone/SceneImport.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "standalone/AssimpScene.h"
#include "standalone/ImportScale.h"
#include "standalone/ImportSmoothing.h"
#include "standalone/ObjScene.h"

namespace {

std::string LowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

}  // namespace

bool FinishImport(ImportedScene& scene, const ImportOptions& options, std::string& error) {
    if (!ApplyImportScale(scene, options.scale, error)) return false;
    ApplyImportSmoothing(scene, options.smoothing);
    return true;
}

bool LoadScene(const std::string& path, const ImportOptions& options, ImportedScene& scene, std::string& error) {
    const std::string ext = LowerExtension(path);
    if (ext == ".obj") {
        ObjReadOptions read;
        read.threads = options.threads;
        if (!LoadObjScene(path, scene, error, read)) return false;
    } else if (!LoadAssimpScene(path, options, scene, error)) {  // every other format
        return false;
    }
    if (!FinishImport(scene, options, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}
