// A mesh's vertex colours laid out for file formats that keep one colour per vertex. Where the
// colour faces match the faces corner for corner (colour vertex i belongs to vertex i), the
// vertices stay as they are. Otherwise a vertex whose corners carry different colour vertices is
// split into one output vertex per colour, so no colour is lost.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "host/Mesh.h"

struct ColouredMesh {
    std::vector<int> sourceVertex;           // per output vertex: the mesh vertex it copies
    std::vector<Point3> position;            // per output vertex
    std::vector<Point3> colour;              // per output vertex (r, g, b; 1.0 full)
    std::vector<std::array<int, 3>> faces;   // per mesh face: output vertices of its corners
    bool split = false;                      // output vertices differ from the mesh's vertices
};

// Fails when the mesh has no colour face per face or a colour face refers to a colour vertex
// that does not exist.
bool LayOutVertexColours(const Mesh& mesh, ColouredMesh& out, std::string& error);

// A colour channel as a byte: clamped to [0, 1], then rounded to the nearest of 0 ... 255
// (not a number gives 0).
unsigned char ColourByte(float c);
