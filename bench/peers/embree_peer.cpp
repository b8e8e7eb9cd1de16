// Embree 3 as a renderer would use it for single rays: one triangle geometry in a scene committed
// before timing, and rtcIntersect1. Embree hits both sides of a triangle, so an intersection
// filter drops every hit on a face the ray meets from behind, which keeps vorcollide's front-face
// rule (front = corners counter-clockwise seen from the front, normal (v1-v0) x (v2-v0)).
#include <embree3/rtcore.h>

#include <cstdio>
#include <cstdlib>

#include "peer_rays.h"

namespace peers {

namespace {

RTCDevice device = nullptr;
RTCScene scene = nullptr;

// Sign that turns Embree's geometric normal into (v1-v0) x (v2-v0); found once by a probe.
float normalSign = 1.0f;

void FrontOnly(const RTCFilterFunctionNArguments *args) {
    for (unsigned int k = 0; k < args->N; ++k) {
        if (args->valid[k] == 0) {
            continue;
        }
        const float nx = RTCHitN_Ng_x(args->hit, args->N, k);
        const float ny = RTCHitN_Ng_y(args->hit, args->N, k);
        const float nz = RTCHitN_Ng_z(args->hit, args->N, k);
        const float dx = RTCRayN_dir_x(args->ray, args->N, k);
        const float dy = RTCRayN_dir_y(args->ray, args->N, k);
        const float dz = RTCRayN_dir_z(args->ray, args->N, k);
        if (!(normalSign * (nx * dx + ny * dy + nz * dz) < 0.0f)) {
            args->valid[k] = 0;
        }
    }
}

RTCScene NewScene(const std::vector<float> &xyz, bool frontOnly) {
    RTCScene built = rtcNewScene(device);
    RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
    const size_t count = xyz.size() / 9;
    float *vertices = static_cast<float *>(rtcSetNewGeometryBuffer(
        geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), count * 3));
    unsigned *indices = static_cast<unsigned *>(rtcSetNewGeometryBuffer(
        geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned), count));
    for (size_t k = 0; k < xyz.size(); ++k) {
        vertices[k] = xyz[k];
    }
    for (size_t k = 0; k < count * 3; ++k) {
        indices[k] = static_cast<unsigned>(k);
    }
    if (frontOnly) {
        rtcSetGeometryIntersectFilterFunction(geometry, FrontOnly);
    }
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(built, geometry);
    rtcReleaseGeometry(geometry);
    rtcCommitScene(built);
    return built;
}

Answer Cast(RTCScene target, const Segment &s) {
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    RTCRayHit query;
    query.ray.org_x = s.from[0];
    query.ray.org_y = s.from[1];
    query.ray.org_z = s.from[2];
    // Unnormalised direction: t runs from 0 at the start to 1 at the end.
    query.ray.dir_x = s.to[0] - s.from[0];
    query.ray.dir_y = s.to[1] - s.from[1];
    query.ray.dir_z = s.to[2] - s.from[2];
    query.ray.tnear = 0.0f;
    query.ray.tfar = 1.0f;
    query.ray.time = 0.0f;
    query.ray.mask = 0xFFFFFFFFu;
    query.ray.id = 0;
    query.ray.flags = 0;
    query.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    query.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(target, &context, &query);
    if (query.hit.geomID == RTC_INVALID_GEOMETRY_ID) {
        return Answer{false, 0.0f};
    }
    return Answer{true, query.ray.tfar * SegmentLength(s)};
}

// One up-facing triangle hit from above tells which way Embree's normal points.
void ProbeNormalSign() {
    const std::vector<float> floor = {-1, 0, -1, 0, 0, 1, 1, 0, -1};
    RTCScene probe = NewScene(floor, false);
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    RTCRayHit query = {};
    query.ray.org_y = 1.0f;
    query.ray.dir_y = -1.0f;
    query.ray.tfar = 2.0f;
    query.ray.mask = 0xFFFFFFFFu;
    query.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(probe, &context, &query);
    if (query.hit.geomID == RTC_INVALID_GEOMETRY_ID) {
        std::fprintf(stderr, "embree: the probe ray missed its triangle\n");
        std::exit(1);
    }
    normalSign = query.hit.Ng_y > 0.0f ? 1.0f : -1.0f;
    rtcReleaseScene(probe);
}

} // namespace

void EmbreeLevelBuild(const std::vector<float> &xyz) {
    EmbreeFree();
    // One build thread: the machine is shared, and single rays never use more than one.
    device = rtcNewDevice("threads=1");
    ProbeNormalSign();
    scene = NewScene(xyz, true);
}

Answer EmbreeLevelCast(const Segment &s) {
    return Cast(scene, s);
}

void EmbreeFree() {
    if (scene != nullptr) {
        rtcReleaseScene(scene);
        scene = nullptr;
    }
    if (device != nullptr) {
        rtcReleaseDevice(device);
        device = nullptr;
    }
}

} // namespace peers
