// Paths of test data: the shared real meshes beside the project, which tests skip cleanly when
// they are absent.
#pragma once
#include <string>

// ../shared/meshes/<name> relative to the project root, or "" when that file does not exist.
std::string SharedMeshPath(const std::string& name);

// Skips the calling test when the shared mesh is absent; otherwise yields its path.
#define MURKWELL_REQUIRE_SHARED_MESH(var, name)                                  \
    const std::string var = SharedMeshPath(name);                                \
    if (var.empty()) GTEST_SKIP() << "shared mesh " << (name) << " not present"
