// What every importer must hand over, whatever its input: faces, map faces and material IDs that
// name what exists, and one group entry per face and one source entry per vertex.
#pragma once
#include <cstddef>

#include "standalone/ImportedScene.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/MeshBake.h"

inline void CheckImportedObject(const ImportedObject& object) {
    const Mesh& mesh = object.mesh;
    const int faces = mesh.getNumFaces();
    const DWORD verts = static_cast<DWORD>(mesh.getNumVerts());
    for (const Face& f : mesh.faces)
        FUZZ_CHECK(f.v[0] < verts && f.v[1] < verts && f.v[2] < verts, "faces name existing vertices");
    FUZZ_CHECK(object.faceGroupSet.size() == static_cast<std::size_t>(faces), "a group entry per face");
    FUZZ_CHECK(object.vertexSource.size() == static_cast<std::size_t>(verts), "a source entry per vertex");
    for (int channel = 1; channel <= 99; ++channel) {
        if (mesh.getNumMapVerts(channel) <= 0) continue;
        FUZZ_CHECK(mesh.getNumMapFaces(channel) == faces, "a map face per face");
        const DWORD mapVerts = static_cast<DWORD>(mesh.getNumMapVerts(channel));
        for (int i = 0; i < faces; ++i) {
            const TVFace& tf = mesh.mapFaces(channel)[i];
            FUZZ_CHECK(tf.t[0] < mapVerts && tf.t[1] < mapVerts && tf.t[2] < mapVerts,
                       "map faces name existing map vertices");
        }
    }
    if (mesh.getNumVertCol() > 0) {
        FUZZ_CHECK(mesh.getNumVCFaces() == faces, "a colour face per face");
        const DWORD colours = static_cast<DWORD>(mesh.getNumVertCol());
        for (const TVFace& cf : mesh.vcFace)
            FUZZ_CHECK(cf.t[0] < colours && cf.t[1] < colours && cf.t[2] < colours, "colour faces name colours");
    }
    for (const Face& f : mesh.faces)
        FUZZ_CHECK(f.getMatID() < object.materialNames.size(), "material IDs name known materials");
}

// Checks every object of an imported scene and bakes the first few with faces. Objects baked per
// input and faces over all of them are capped: many tiny objects cost a run each.
inline void CheckAndBakeScene(const ImportedScene& scene) {
    constexpr int kMaxObjects = 4;
    constexpr int kMaxFacesPerInput = 2048;
    int baked = 0, faces = 0;
    for (const ImportedObject& object : scene.objects) {
        CheckImportedObject(object);
        if (!object.HasFaces() || baked >= kMaxObjects) continue;
        faces += object.mesh.getNumFaces();
        if (faces > kMaxFacesPerInput) break;
        BakeMesh(object.mesh);
        ++baked;
    }
}
