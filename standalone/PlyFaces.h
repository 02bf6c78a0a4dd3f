// PLY files, read by the host itself rather than by Assimp: Assimp 5.2 reads a `tristrips`
// element (the triangle strips that scanners store, runs of vertex indices separated by -1) as
// one single triangle and leaks the rest, and spins for minutes on some malformed headers. A
// PLY is read here whole: its vertices (x y z, nx ny nz, u v or s t, red green blue alpha) and
// the faces of its `face` and `tristrips` elements.
//
// A strip s0 s1 s2 s3 ... gives the triangles (s0, s1, s2), (s2, s1, s3), (s2, s3, s4), ...:
// triangle k is (s[k], s[k+1], s[k+2]) for even k and (s[k+1], s[k], s[k+2]) for odd k, so that
// every triangle of the strip has the winding of the first. A triangle with a repeated vertex
// (how strips are stitched together) is no surface and is left out.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct PlyFaces {
    bool hasStrips = false;         // the header declares a `tristrips` element
    unsigned vertexCount = 0;       // the `vertex` element's count
    // One entry per vertex: x, y, z; nx, ny, nz and u, v, 0
    // when the file has them; r, g, b, a on 0 ... 1 (whole numbers over their type's largest).
    std::vector<float> positions, normals, uvs, colours;
    // Faces in file order: the polygons of `face` elements as they stand, the strips' triangles.
    std::vector<unsigned> faceSizes;
    std::vector<unsigned> corners;
    std::size_t stitchTriangles = 0;  // strip triangles left out for a repeated vertex
};

// Reads the PLY file at `path` (ASCII or binary of either byte order). False with a one-line reason naming the
// element and record for a file that is malformed or ends early.
bool ReadPlyFaces(const std::string& path, PlyFaces& faces, std::string& error);

// The same from the file's bytes.
bool ParsePlyFaces(std::string_view bytes, PlyFaces& faces, std::string& error);
