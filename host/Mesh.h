// The host's triangle mesh: vertex positions, faces (three vertex indices, smoothing-group bits,
// a flag word whose upper 16 bits carry the 0-based material ID), the face selection, texture map
// channels and the vertex-colour set (colour vertices plus one colour face per face).
#pragma once
#include <cstdint>
#include <vector>

#include "host/BitArray.h"
#include "host/Point3.h"
#include "host/Win32Types.h"

using MtlID = std::uint16_t;

class Face {
public:
    DWORD v[3] = {0, 0, 0};
    DWORD smGroup = 0;
    DWORD flags = 0;

    void setVerts(int a, int b, int c) { v[0] = DWORD(a); v[1] = DWORD(b); v[2] = DWORD(c); }
    void setSmGroup(DWORD bits) { smGroup = bits; }
    DWORD getSmGroup() const { return smGroup; }
    MtlID getMatID() const { return MtlID(flags >> 16); }
    void setMatID(MtlID id) { flags = (flags & 0xFFFFu) | (DWORD(id) << 16); }
    DWORD getVert(int k) const { return v[k]; }
};

// Three indices into a channel's map vertices (or the colour vertices), in face corner order.
class TVFace {
public:
    DWORD t[3] = {0, 0, 0};
    TVFace() = default;
    TVFace(DWORD a, DWORD b, DWORD c) { t[0] = a; t[1] = b; t[2] = c; }
    void setTVerts(int a, int b, int c) { t[0] = DWORD(a); t[1] = DWORD(b); t[2] = DWORD(c); }
    DWORD getTVert(int k) const { return t[k]; }
    bool operator==(const TVFace& o) const { return t[0] == o.t[0] && t[1] == o.t[1] && t[2] == o.t[2]; }
};

// One texture map channel: its map vertices (u, v, w) and one map face per mesh face.
struct MeshMap {
    std::vector<Point3> tv;
    std::vector<TVFace> tf;
};

class Mesh {
public:
    // Geometry.
    std::vector<Point3> verts;
    std::vector<Face> faces;
    BitArray faceSel;

    // Vertex colours: colour vertices (r, g, b with 1.0 full) and one colour face per face.
    std::vector<Point3> vertCol;
    std::vector<TVFace> vcFace;

    int getNumVerts() const { return static_cast<int>(verts.size()); }
    int getNumFaces() const { return static_cast<int>(faces.size()); }
    void setNumVerts(int n) { verts.resize(Clamp0(n)); }
    // Resizes the faces and the face selection together.
    void setNumFaces(int n) {
        faces.resize(Clamp0(n));
        faceSel.SetSize(n, 1);
    }
    Point3& getVert(int i) { return verts[static_cast<size_t>(i)]; }
    const Point3& getVert(int i) const { return verts[static_cast<size_t>(i)]; }
    BitArray& FaceSel() { return faceSel; }
    const BitArray& FaceSel() const { return faceSel; }

    // Map channels 1..99 carry texture coordinates. A channel without map vertices has none.
    void setMapSupport(int channel, bool support = true);
    bool mapSupport(int channel) const;
    int getNumMapVerts(int channel) const;
    // Map faces of the channel (normally one per mesh face; 0 for a channel without support).
    int getNumMapFaces(int channel) const;
    void setNumMapVerts(int channel, int n);
    void setNumMapFaces(int channel, int n);
    Point3* mapVerts(int channel);
    TVFace* mapFaces(int channel);
    const Point3* mapVerts(int channel) const;
    const TVFace* mapFaces(int channel) const;

    int getNumVertCol() const { return static_cast<int>(vertCol.size()); }
    int getNumVCFaces() const { return static_cast<int>(vcFace.size()); }
    // keep = 0 drops the old contents (new entries are zero); keep != 0 keeps what still fits.
    void setNumVertCol(int n, int keep = 0);
    void setNumVCFaces(int n, int keep = 0);

private:
    static size_t Clamp0(int n) { return n > 0 ? static_cast<size_t>(n) : 0u; }
    std::vector<MeshMap> maps_;  // index = channel number
};
