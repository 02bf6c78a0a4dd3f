#include "host/Mesh.h"

void Mesh::setMapSupport(int channel, bool support) {
    if (channel < 0) return;
    if (support) {
        if (static_cast<size_t>(channel) >= maps_.size()) maps_.resize(static_cast<size_t>(channel) + 1);
    } else if (static_cast<size_t>(channel) < maps_.size()) {
        maps_[static_cast<size_t>(channel)] = MeshMap{};
    }
}

bool Mesh::mapSupport(int channel) const {
    return channel >= 0 && static_cast<size_t>(channel) < maps_.size() &&
           !maps_[static_cast<size_t>(channel)].tv.empty();
}

int Mesh::getNumMapVerts(int channel) const {
    if (channel < 0 || static_cast<size_t>(channel) >= maps_.size()) return 0;
    return static_cast<int>(maps_[static_cast<size_t>(channel)].tv.size());
}

int Mesh::getNumMapFaces(int channel) const {
    if (channel < 0 || static_cast<size_t>(channel) >= maps_.size()) return 0;
    return static_cast<int>(maps_[static_cast<size_t>(channel)].tf.size());
}

void Mesh::setNumMapVerts(int channel, int n) {
    if (channel < 0) return;
    setMapSupport(channel, true);
    maps_[static_cast<size_t>(channel)].tv.resize(Clamp0(n));
}

void Mesh::setNumMapFaces(int channel, int n) {
    if (channel < 0) return;
    setMapSupport(channel, true);
    maps_[static_cast<size_t>(channel)].tf.resize(Clamp0(n));
}

Point3* Mesh::mapVerts(int channel) {
    if (channel < 0 || static_cast<size_t>(channel) >= maps_.size()) return nullptr;
    auto& tv = maps_[static_cast<size_t>(channel)].tv;
    return tv.empty() ? nullptr : tv.data();
}

TVFace* Mesh::mapFaces(int channel) {
    if (channel < 0 || static_cast<size_t>(channel) >= maps_.size()) return nullptr;
    auto& tf = maps_[static_cast<size_t>(channel)].tf;
    return tf.empty() ? nullptr : tf.data();
}

const Point3* Mesh::mapVerts(int channel) const { return const_cast<Mesh*>(this)->mapVerts(channel); }
const TVFace* Mesh::mapFaces(int channel) const { return const_cast<Mesh*>(this)->mapFaces(channel); }

void Mesh::setNumVertCol(int n, int keep) {
    if (!keep) vertCol.clear();
    vertCol.resize(Clamp0(n), Point3{});
}

void Mesh::setNumVCFaces(int n, int keep) {
    if (!keep) vcFace.clear();
    vcFace.resize(Clamp0(n), TVFace{});
}
