// Small meshes built in code for tests, and a test-only OBJ reader for the shared real meshes
// (independent of the standalone importer, so geometry tests do not depend on it).
#pragma once
#include <string>

#include "host/Mesh.h"

// Appends a vertex and returns its index.
int AddVertex(Mesh& mesh, const Point3& p);
// Appends the face (a, b, c) over existing vertices, keeping the face selection in step; returns
// its index.
int AddFace(Mesh& mesh, int a, int b, int c, DWORD smGroup = 1);
// Appends three new vertices and the face over them; returns the face index.
int AddTriangle(Mesh& mesh, const Point3& a, const Point3& b, const Point3& c, DWORD smGroup = 1);
// Appends the quad a b c d (counter-clockwise seen from the front) as the faces (a, b, c) and
// (a, c, d).
void AddQuad(Mesh& mesh, int a, int b, int c, int d, DWORD smGroup = 1);

// A mesh of one triangle.
Mesh MakeTriangleMesh(const Point3& a, const Point3& b, const Point3& c, DWORD smGroup = 1);

// The cube [0, 1]^3 with shared corners and outward faces; each side has its own smoothing
// group, so its edges are hard.
Mesh MakeUnitCube();

// A crevice: the floor [0, size]^2 at z = 0 and four walls of height `size`, no lid, every face
// facing into the box. Floor and walls are separate smoothing groups.
Mesh MakeOpenBox(float size);

// Reads an OBJ file's positions and faces; polygons are fan-triangulated (0, k, k + 1) and every
// face gets smoothing group 1. Returns false with a message when the file cannot be read or
// refers to missing vertices.
bool LoadTestObj(const std::string& path, Mesh& mesh, std::string& error);
