// What the peer comparison shares: a segment, the answer each library gives for it, and the
// libraries' set-up and cast functions. Every library gets the same triangles (nine floats each,
// front face by the corners' order) and the same segments.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "level_geometry.h"

namespace peers {

struct Segment {
    float from[3];
    float to[3];
};

// Nearest front-face hit along the segment, as a distance from its start in world units.
struct Answer {
    bool hit;
    float distance;
};

float SegmentLength(const Segment &s);

constexpr uint32_t kRayCount = 10000;
constexpr uint32_t kRaySeed = 12;

// The levels' segments (issue_rays.cpp): kRayCount starts in [lo, hi] on x and z, half straight
// down onto the ground from 10 above it, half level at chest height in a random direction; every
// segment 20 long.
std::vector<Segment> IssueRays(float lo, float hi, const std::function<float(float, float)> &ground);
// The height of a terrain grid of (side + 1)^2 heights under (x, z), bilinear in its cell.
float TerrainGround(const std::vector<float> &heights, uint32_t side, float x, float z);

// --- vorcollide, loaded by path and driven through its exports only (module_loader.cpp) ---
// Slot 0 is the module under test, slot 1 an optional baseline build. The set-up calls go to the
// slot UseModule chose; each cast names its slot.
bool LoadModule(int slot, const std::string &path, std::string *error);
bool ModuleLoaded(int slot);
// It also has the exports the pressing crowd calls (gravity, overlap recovery, positions).
bool ModuleRunsPressingCrowd(int slot);
void UseModule(int slot);
// StopCollisionVOR.
void VorReset();
// Object 1, type 2, one mesh; its hierarchy built by a first ray.
void VorLevelBuild(const std::vector<float> &xyz);
// RayIntersectObjectVOR (1, mesh).
Answer VorLevelCast(const Segment &s);
Answer BaselineLevelCast(const Segment &s);
// Objects 1.. of type 3, one ellipsoid each, one pass, then a first ray.
void VorCrowdBuild(const std::vector<bench::CrowdBody> &bodies);
// RayIntersectTypeVOR (3, ellipsoids).
Answer VorCrowdCast(const Segment &s);
Answer BaselineCrowdCast(const Segment &s);
// The same after moving body 1 to the ray's start: each ray then follows a change.
Answer VorCrowdCastAfterUpdate(const Segment &s);
Answer BaselineCrowdCastAfterUpdate(const Segment &s);

// A walking crowd: where body k stands in frame f (the same for every library).
void WalkPosition(const bench::CrowdBody &body, uint32_t frame, float *x, float *z);
// Objects 1.. of type 3 under a sliding crowd definition, one pass; with rays, a first ray by type.
void VorWalkingCrowdBuild(const std::vector<bench::CrowdBody> &bodies, bool rays);
// Every body asked to its place in the frame (UpdateObjVOR with sweep), then one pass.
void VorWalkingCrowdStep(const std::vector<bench::CrowdBody> &bodies, uint32_t frame);

// --- Bullet: btBvhTriangleMeshShape (quantized) or capsules in a btCollisionWorld ---
void BulletLevelBuild(const std::vector<float> &xyz);
Answer BulletLevelCast(const Segment &s);
void BulletCrowdBuild(const std::vector<bench::CrowdBody> &bodies);
Answer BulletCrowdCast(const Segment &s);
Answer BulletCrowdCastAfterUpdate(const Segment &s);
// Every capsule moved to its place in the frame; then the broadphase brought up to date, as a
// game's frame does before its rays (timed by the caller).
void BulletWalkingCrowdMove(const std::vector<bench::CrowdBody> &bodies, uint32_t frame);
void BulletUpdateBroadphase();
void BulletFree();

// --- Embree 3: one triangle geometry, back faces dropped by an intersection filter ---
void EmbreeLevelBuild(const std::vector<float> &xyz);
Answer EmbreeLevelCast(const Segment &s);
void EmbreeFree();

// --- Jolt, where a build of it was found (VOR_PEERS_JOLT): a MeshShape on a static body ---
// Once a program, before anything else of Jolt's (and again does nothing).
void StartJolt();
void JoltLevelBuild(const std::vector<float> &xyz);
// NarrowPhaseQuery::CastRay with the default settings (back faces ignored), closest hit.
Answer JoltLevelCast(const Segment &s);
// Its closest-hit CastRay without settings, which hits both faces of a triangle.
Answer JoltLevelCastTwoSided(const Segment &s);
// The MeshShape's own CastRay with the default settings: the narrow phase without the broad.
Answer JoltLevelCastShape(const Segment &s);
void JoltFree();

// A real elevation grid resampled to (side + 1)^2 heights in world units; empty when the file
// cannot be read (terrain_data.cpp).
std::vector<float> LoadTerrainHeights(const std::string &npyPath, uint32_t side,
                                      std::string *description);

} // namespace peers
