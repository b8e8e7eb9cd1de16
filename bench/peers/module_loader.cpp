// vorcollide as a host sees it: the module is opened by path and every call goes through the
// address its export table gives, so the comparison can point at any build of the library.
#include <dlfcn.h>

#include <cmath>
#include <cstring>

#include "peer_rays.h"
#include "pressing_crowd.h"
#include "vorcollide.h"

namespace peers {

namespace {

struct Exports {
    void (*StopCollision)(void);
    void (*NewCollObj)(uint32_t, uint32_t);
    void (*AddObjShape)(uint32_t, int32_t);
    void (*AddMesh)(uint32_t, const void *);
    void (*SetObjRadius)(uint32_t, float, float, float);
    void (*SetObjPos)(float, float, float);
    void (*SetObjRot)(float, float, float);
    void (*UpdateObj)(uint32_t, int32_t);
    void (*ActivateObj)(uint32_t);
    void (*RunCollision)(void);
    void (*SetCollisions)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
    int32_t (*RayIntersectObject)(uint32_t, int32_t, float, float, float, float, float, float);
    int32_t (*RayIntersectType)(int32_t, int32_t, float, float, float, float, float, float);
    int32_t (*RayHitDist)(void);
    void (*SetObjGravity)(uint32_t, float);
    void (*SetOverlapRecovery)(int32_t, int32_t, int32_t);
    int32_t (*PeekObjX)(uint32_t);
    int32_t (*PeekObjY)(uint32_t);
    int32_t (*PeekObjZ)(uint32_t);
};

// The module under test and, optionally, a baseline build loaded beside it.
Exports modules[2];
bool loaded[2] = {false, false};
// Whether it also has what the pressing crowd calls.
bool pressing[2] = {false, false};
Exports vor; // the one the set-up calls go to

constexpr uint32_t kLevelObject = 1;
constexpr uint32_t kLevelType = 2;
constexpr uint32_t kCrowdType = 3;
// The pressing crowd as vorcollide_crowd_overlap builds it: characters 1.. of type 1, the floor
// the object after them, of type 2; each character falls 0.05 a frame.
constexpr uint32_t kPressType = 1;
constexpr uint32_t kPressFloorType = 2;
constexpr float kPressFall = 0.05f;

template <typename F> bool Find(void *module, const char *name, F *slot, std::string *error) {
    void *address = dlsym(module, name);
    if (address == nullptr) {
        *error = std::string("missing export ") + name;
        return false;
    }
    *slot = reinterpret_cast<F>(address);
    return true;
}

} // namespace

void WalkPosition(const bench::CrowdBody &body, uint32_t frame, float *x, float *z) {
    // Back and forth along the body's heading, 0.05 a frame, turning round every 80 frames.
    const float phase = static_cast<float>(frame % 160);
    const float along = 0.05f * (phase < 80.0f ? phase : 160.0f - phase);
    *x = body.x + std::cos(body.heading) * along;
    *z = body.z + std::sin(body.heading) * along;
}

float SegmentLength(const Segment &s) {
    const float dx = s.to[0] - s.from[0], dy = s.to[1] - s.from[1], dz = s.to[2] - s.from[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

bool LoadModule(int slot, const std::string &path, std::string *error) {
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        *error = dlerror();
        return false;
    }
    Exports &vor = modules[slot];
    loaded[slot] = Find(module, "StopCollisionVOR", &vor.StopCollision, error) &&
                   Find(module, "NewCollObjVOR", &vor.NewCollObj, error) &&
                   Find(module, "AddObjShapeVOR", &vor.AddObjShape, error) &&
                   Find(module, "AddMeshVOR", &vor.AddMesh, error) &&
                   Find(module, "SetObjRadiusVOR", &vor.SetObjRadius, error) &&
                   Find(module, "SetObjPosVOR", &vor.SetObjPos, error) &&
                   Find(module, "SetObjRotVOR", &vor.SetObjRot, error) &&
                   Find(module, "UpdateObjVOR", &vor.UpdateObj, error) &&
                   Find(module, "ActivateObjVOR", &vor.ActivateObj, error) &&
                   Find(module, "RunCollisionVOR", &vor.RunCollision, error) &&
                   Find(module, "SetCollisionsVOR", &vor.SetCollisions, error) &&
                   Find(module, "RayIntersectObjectVOR", &vor.RayIntersectObject, error) &&
                   Find(module, "RayIntersectTypeVOR", &vor.RayIntersectType, error) &&
                   Find(module, "RayHitDist", &vor.RayHitDist, error);
    // The pressing crowd's own: a build from before overlap recovery still runs the rays.
    std::string missing;
    pressing[slot] = Find(module, "SetObjGravityVOR", &vor.SetObjGravity, &missing) &&
                     Find(module, "SetOverlapRecoveryVOR", &vor.SetOverlapRecovery, &missing) &&
                     Find(module, "PeekObjXVOR", &vor.PeekObjX, &missing) &&
                     Find(module, "PeekObjYVOR", &vor.PeekObjY, &missing) &&
                     Find(module, "PeekObjZVOR", &vor.PeekObjZ, &missing);
    UseModule(0);
    return loaded[slot];
}

bool ModuleLoaded(int slot) {
    return loaded[slot];
}

bool ModuleRunsPressingCrowd(int slot) {
    return loaded[slot] && pressing[slot];
}

void UseModule(int slot) {
    vor = modules[slot];
}

void VorReset() {
    vor.StopCollision();
}

namespace {

// One mesh object at the origin holding the triangles.
void AddMeshObject(uint32_t object, uint32_t type, const std::vector<float> &xyz) {
    // The host's vertex block: a word of its own, the vertex size, the count, then x, y, z.
    std::vector<uint32_t> block(3 + xyz.size());
    block[0] = 0;
    block[1] = 12;
    block[2] = static_cast<uint32_t>(xyz.size() / 3);
    std::memcpy(block.data() + 3, xyz.data(), xyz.size() * sizeof(float));
    vor.NewCollObj(object, type);
    vor.AddObjShape(object, 2);
    vor.AddMesh(object, block.data());
    vor.SetObjPos(0, 0, 0);
    vor.SetObjRot(0, 0, 0);
    vor.UpdateObj(object, 1);
    vor.ActivateObj(object);
    // The first ray builds the mesh's hierarchy, so that no timed ray or pass pays for it.
    vor.RayIntersectObject(object, 2, 1, 100, 1, 1, -100, 1);
}

} // namespace

void VorLevelBuild(const std::vector<float> &xyz) {
    AddMeshObject(kLevelObject, kLevelType, xyz);
}

template <int slot> Answer LevelCast(const Segment &s) {
    const Exports &m = modules[slot];
    if (m.RayIntersectObject(kLevelObject, 2, s.from[0], s.from[1], s.from[2], s.to[0], s.to[1],
                             s.to[2]) == 0) {
        return Answer{false, 0.0f};
    }
    return Answer{true, vorFloatFromBits(m.RayHitDist())};
}

Answer VorLevelCast(const Segment &s) {
    return LevelCast<0>(s);
}

Answer BaselineLevelCast(const Segment &s) {
    return LevelCast<1>(s);
}

void VorCrowdBuild(const std::vector<bench::CrowdBody> &bodies) {
    for (uint32_t k = 0; k < bodies.size(); ++k) {
        const uint32_t object = 1 + k;
        vor.NewCollObj(object, kCrowdType);
        vor.AddObjShape(object, 1);
        vor.SetObjRadius(object, bench::kCharacterRadii[0], bench::kCharacterRadii[1],
                         bench::kCharacterRadii[2]);
        vor.SetObjPos(bodies[k].x, 0, bodies[k].z);
        vor.SetObjRot(0, 0, 0);
        vor.UpdateObj(object, 1);
        vor.ActivateObj(object);
    }
    // One pass settles the resolved positions; a first ray builds whatever a ray search keeps.
    vor.RunCollision();
    vor.RayIntersectType(kCrowdType, 1, 0, 0.1f, 0, 1, 0.1f, 1);
}

// One crowd body placed again where it stands (as a host's update would), then the ray: whatever
// a ray search keeps must then be brought up to date first.
template <int slot> Answer CrowdCastAfterUpdate(const Segment &s) {
    const Exports &m = modules[slot];
    m.SetObjPos(s.from[0], 0.0f, s.from[2]);
    m.SetObjRot(0, 0, 0);
    m.UpdateObj(1, 1);
    if (m.RayIntersectType(kCrowdType, 1, s.from[0], s.from[1], s.from[2], s.to[0], s.to[1],
                           s.to[2]) == 0) {
        return Answer{false, 0.0f};
    }
    return Answer{true, vorFloatFromBits(m.RayHitDist())};
}

template <int slot> Answer CrowdCast(const Segment &s) {
    const Exports &m = modules[slot];
    if (m.RayIntersectType(kCrowdType, 1, s.from[0], s.from[1], s.from[2], s.to[0], s.to[1],
                           s.to[2]) == 0) {
        return Answer{false, 0.0f};
    }
    return Answer{true, vorFloatFromBits(m.RayHitDist())};
}

void VorWalkingCrowdBuild(const std::vector<bench::CrowdBody> &bodies, bool rays) {
    for (uint32_t k = 0; k < bodies.size(); ++k) {
        const uint32_t object = 1 + k;
        vor.NewCollObj(object, kCrowdType);
        vor.AddObjShape(object, 1);
        vor.SetObjRadius(object, bench::kCharacterRadii[0], bench::kCharacterRadii[1],
                         bench::kCharacterRadii[2]);
        vor.SetObjPos(bodies[k].x, 0, bodies[k].z);
        vor.SetObjRot(0, 0, 0);
        vor.UpdateObj(object, 1);
        vor.ActivateObj(object);
    }
    // The crowd pushes against itself, sliding, as a game's characters would.
    vor.SetCollisions(kCrowdType, kCrowdType, 1, 2, 1);
    vor.RunCollision();
    if (rays) {
        vor.RayIntersectType(kCrowdType, 1, 0, 0.1f, 0, 1, 0.1f, 1);
    }
}

void VorWalkingCrowdStep(const std::vector<bench::CrowdBody> &bodies, uint32_t frame) {
    for (uint32_t k = 0; k < bodies.size(); ++k) {
        float x = 0, z = 0;
        WalkPosition(bodies[k], frame, &x, &z);
        vor.SetObjPos(x, 0, z);
        vor.SetObjRot(0, 0, 0);
        vor.UpdateObj(1 + k, 0);
    }
    vor.RunCollision();
}

void VorPressBuild(const PressScene &scene, bool recover) {
    vor.StopCollision();
    const uint32_t count = static_cast<uint32_t>(scene.bodies.size());
    vor.SetCollisions(kPressType, kPressType, 1, 3, 1);
    AddMeshObject(count + 1, kPressFloorType, scene.floor);
    vor.SetCollisions(kPressType, kPressFloorType, 2, 3, 1);
    vor.SetOverlapRecovery(VOR_ALL_TYPES, VOR_ALL_TYPES, recover ? 1 : 0);
    for (uint32_t k = 0; k < count; ++k) {
        const PressBody &b = scene.bodies[k];
        vor.NewCollObj(k + 1, kPressType);
        vor.AddObjShape(k + 1, 1);
        vor.SetObjRadius(k + 1, kPressRadius, kPressHalfHeight, kPressRadius);
        vor.SetObjPos(b.x, b.y, b.z);
        vor.SetObjRot(0, 0, 0);
        vor.UpdateObj(k + 1, 1);
        vor.SetObjGravity(k + 1, kPressFall);
        vor.ActivateObj(k + 1);
    }
}

void VorPressFrame(const PressScene &scene) {
    for (uint32_t k = 0; k < scene.bodies.size(); ++k) {
        const float x = vorFloatFromBits(vor.PeekObjX(k + 1));
        const float y = vorFloatFromBits(vor.PeekObjY(k + 1));
        const float z = vorFloatFromBits(vor.PeekObjZ(k + 1));
        float dx = 0, dz = 0;
        PressWalk(scene.bodies[k], x, z, &dx, &dz);
        vor.SetObjPos(x + dx, y, z + dz);
        vor.SetObjRot(0, 0, 0);
        vor.UpdateObj(k + 1, 0);
    }
    vor.RunCollision();
}

std::vector<float> VorPressCentres(const PressScene &scene) {
    std::vector<float> xyz;
    for (uint32_t k = 0; k < scene.bodies.size(); ++k) {
        xyz.push_back(vorFloatFromBits(vor.PeekObjX(k + 1)));
        xyz.push_back(vorFloatFromBits(vor.PeekObjY(k + 1)));
        xyz.push_back(vorFloatFromBits(vor.PeekObjZ(k + 1)));
    }
    return xyz;
}

Answer VorCrowdCast(const Segment &s) {
    return CrowdCast<0>(s);
}

Answer BaselineCrowdCast(const Segment &s) {
    return CrowdCast<1>(s);
}

Answer VorCrowdCastAfterUpdate(const Segment &s) {
    return CrowdCastAfterUpdate<0>(s);
}

Answer BaselineCrowdCastAfterUpdate(const Segment &s) {
    return CrowdCastAfterUpdate<1>(s);
}

} // namespace peers
