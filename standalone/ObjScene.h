// A Wavefront OBJ file read into host triangle meshes, one per object. The mapping is fixed so
// that results compare across tools:
// - positions as they stand; `vt` (u, v) is map channel 1 with w = 0; `v x y z r g b` colours
//   become colour vertices, one per vertex, with colour faces equal to the faces (only when every
//   `v` line carries a colour); a `v` line's w is dropped;
// - every `f` form and negative (relative) indices; a polygon is fanned from its first corner:
//   (c0, c1, c2), (c0, c2, c3), ... in file order;
// - `s N` (N >= 1) gives smoothing bits 1 << ((N - 1) mod 32); `s off` and `s 0` give none;
// - material IDs are given per object in order of first use over its faces in file order; faces
//   before any `usemtl` use the "no material" entry (an empty name), which takes the next ID
//   when first met;
// - objects come from `o` lines, or from `g` lines in a file without `o`; faces outside any named
//   object form one named after the file. An `o` without faces is kept (it has no mesh); a `g`
//   without faces makes no object;
// - a mesh keeps only the vertices (and texture vertices) its faces use, in file order;
// - a face without texture coordinates on every corner gets map corners at (-1, -1, 0), outside
//   the texture square, so the UV run leaves it out;
// - the `vn` normals at each face corner are kept beside the mesh, for smoothing from normals.
// The .mtl files are not read: material IDs and names come from the `usemtl` lines alone.
//
// Every number is read whole and checked: a coordinate must be a finite float, an index a
// nonzero 32-bit whole number referring to an entry of the file, a smoothing group a 32-bit
// whole number or `off`. Anything else is refused, naming the line and the token. The text is
// read in stretches of whole lines on several threads; the result does not depend on how many.
#pragma once
#include <cstddef>
#include <string>

#include "standalone/ImportedScene.h"

// The names the OBJ-only code uses for what the OBJ reader fills.
using ObjScene = ImportedScene;
using ObjObject = ImportedObject;

struct ObjReadOptions {
    int threads = 0;        // 0: one per hardware thread
    size_t chunkBytes = 0;  // length of the stretches read in parallel; 0: the default
};

// Reads the OBJ file at `path`. On failure returns false with a one-line reason in `error`.
bool LoadObjScene(const std::string& path, ObjScene& scene, std::string& error, const ObjReadOptions& options = {});

// Reads OBJ text; `fileStem` names the object of faces outside any named object.
bool ParseObjScene(std::string text, const std::string& fileStem, ObjScene& scene, std::string& error,
                   const ObjReadOptions& options = {});
