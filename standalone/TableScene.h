// Objects made from a scene reader's tables (SceneTables.h): how every format read through
// Assimp becomes the scene. The mapping is fixed, so that results compare across tools:
// - each node that holds meshes is one object, named by the node (by the file's stem where the
//   node has no name), made unique with ".2", ".3", ... where names repeat; all its meshes form
//   the one object: faces in the node's mesh order, each mesh's faces in file order;
// - positions in world space, the node's global transform applied (in double, each coordinate
//   rounded once to float; an identity transform leaves the file's floats untouched); a
//   position that is not finite is refused;
// - polygons are fanned from their first corner: (c0, c1, c2), (c0, c2, c3), ...; points and
//   lines are skipped, with a warning;
// - one surface: the vertices of an object with equal positions (-0 and +0 count as equal)
//   become one mesh vertex, in order of first use over the faces' corners, so that the splits
//   a format makes at texture seams and hard edges do not crack it; texture coordinates,
//   normals and colours stay per corner;
// - map channel N is the meshes' Nth texture coordinate set, (u, v, w) as read, with one map
//   vertex per file vertex used; the faces of a mesh without that set get the map corners
//   (-1, -1, 0), outside the texture square, so a UV run leaves them out; a channel's name is
//   the first one a mesh gives it;
// - material IDs are given per object by first use of the meshes' materials over its faces; an
//   unnamed material, or Assimp's stand-in "DefaultMaterial" for files without materials, is
//   the "no material" entry (an empty name);
// - each face lies under the group named after its mesh, for --select-group (faces of unnamed
//   meshes lie under none);
// - the normals at each face corner are kept for smoothing from normals; smoothing compares
//   them for equality, which the transform does not change, so they stay as read;
// - colours come from the first colour set (r, g, b; alpha is dropped), when every mesh of the
//   object with faces has one: one colour vertex per vertex where all the corners of every
//   vertex agree (colour faces equal to the faces), else one per distinct (vertex, colour).
#pragma once
#include <string>

#include "standalone/ImportedScene.h"
#include "standalone/SceneTables.h"

// Fills `scene` from the tables; `fileStem` names the objects of unnamed nodes. False with a
// one-line reason (naming the mesh and the face or vertex) for tables that refer outside
// themselves, a position that is not finite, or a file without a single face.
bool BuildTableScene(const SceneTables& tables, const std::string& fileStem, ImportedScene& scene, std::string& error);
