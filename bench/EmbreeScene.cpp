#include "EmbreeScene.h"

#if defined(MURKWELL_HAVE_EMBREE)
#include <embree3/rtcore.h>

#include <cstdio>
#include <limits>

#include "raycast/IntersectRay.h"

struct EmbreeScene::State {
    RTCDevice device = nullptr;
    RTCScene scene = nullptr;
    const Tab<Point3>* normals = nullptr;
};

namespace {
// Rejects candidates seen from behind or edge-on, by the exact query's own front-face rule.
void FrontFacesOnly(const RTCFilterFunctionNArguments* args) {
    const auto* normals = static_cast<const Tab<Point3>*>(args->geometryUserPtr);
    for (unsigned i = 0; i < args->N; ++i) {
        if (args->valid[i] != -1) continue;
        const unsigned face = RTCHitN_primID(args->hit, args->N, i);
        const Point3 d{RTCRayN_dir_x(args->ray, args->N, i), RTCRayN_dir_y(args->ray, args->N, i),
                       RTCRayN_dir_z(args->ray, args->N, i)};
        if (!(DotProd(d, *normals->Addr(static_cast<int>(face))) <= kFrontFaceLimit)) args->valid[i] = 0;
    }
}
}  // namespace

bool EmbreeScene::Available() { return true; }

EmbreeScene::EmbreeScene(const Mesh& mesh, const Tab<Point3>& faceNormals) : state_(std::make_unique<State>()) {
    state_->normals = &faceNormals;
    state_->device = rtcNewDevice(nullptr);
    state_->scene = rtcNewScene(state_->device);
    RTCGeometry geometry = rtcNewGeometry(state_->device, RTC_GEOMETRY_TYPE_TRIANGLE);
    auto* v = static_cast<float*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                                          3 * sizeof(float), static_cast<size_t>(mesh.getNumVerts())));
    for (int i = 0; i < mesh.getNumVerts(); ++i) {
        v[3 * i] = mesh.verts[static_cast<size_t>(i)].x;
        v[3 * i + 1] = mesh.verts[static_cast<size_t>(i)].y;
        v[3 * i + 2] = mesh.verts[static_cast<size_t>(i)].z;
    }
    auto* idx = static_cast<unsigned*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                                               3 * sizeof(unsigned), static_cast<size_t>(mesh.getNumFaces())));
    for (int f = 0; f < mesh.getNumFaces(); ++f) {
        for (int k = 0; k < 3; ++k) idx[3 * f + k] = mesh.faces[static_cast<size_t>(f)].v[k];
    }
    rtcSetGeometryUserData(geometry, const_cast<Tab<Point3>*>(&faceNormals));
    rtcSetGeometryIntersectFilterFunction(geometry, FrontFacesOnly);
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(state_->scene, geometry);
    rtcReleaseGeometry(geometry);
    rtcCommitScene(state_->scene);
}

EmbreeScene::~EmbreeScene() {
    rtcReleaseScene(state_->scene);
    rtcReleaseDevice(state_->device);
}

int EmbreeScene::Intersect(const Ray& ray, float& hitDistance, float maxDistance) const {
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    RTCRayHit rh;
    rh.ray.org_x = ray.p.x;
    rh.ray.org_y = ray.p.y;
    rh.ray.org_z = ray.p.z;
    rh.ray.dir_x = ray.dir.x;
    rh.ray.dir_y = ray.dir.y;
    rh.ray.dir_z = ray.dir.z;
    rh.ray.tnear = 0.0f;
    rh.ray.tfar = maxDistance;
    rh.ray.time = 0.0f;
    rh.ray.mask = ~0u;
    rh.ray.id = 0;
    rh.ray.flags = 0;
    rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(state_->scene, &context, &rh);
    if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID) return 0;
    hitDistance = rh.ray.tfar;
    return 1;
}

#else

struct EmbreeScene::State {};
bool EmbreeScene::Available() { return false; }
EmbreeScene::EmbreeScene(const Mesh&, const Tab<Point3>&) {}
EmbreeScene::~EmbreeScene() = default;
int EmbreeScene::Intersect(const Ray&, float&, float) const { return 0; }

#endif
