#include "tests/common/TestPaths.h"

#include <filesystem>

std::string SharedMeshPath(const std::string& name) {
    const std::filesystem::path p = std::filesystem::path(MURKWELL_SOURCE_DIR) / ".." / "shared" / "meshes" / name;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(p, ec)) return {};
    return p.lexically_normal().string();
}
