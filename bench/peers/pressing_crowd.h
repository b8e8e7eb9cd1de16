// The pressing crowd run by every library: characters of radii 0.25 x 0.45 x 0.25 on a lattice
// 0.8 apart, each walking 25 mm a frame (1.5 m/s at 60 fps) to the centre of its block of 10 x 10
// so that clusters of 100 press together, under gravity, sliding against the floor and each other,
// one pass or step a frame. The scene, the walk and the overlap measure are shared here, so that
// only the libraries' own calls differ (pressing_crowd.cpp runs and times them).
#pragma once

#include <cstdint>
#include <vector>

namespace peers {

constexpr float kPressRadius = 0.25f;     // horizontal radius of every character
constexpr float kPressHalfHeight = 0.45f; // half its height: the capsules are 0.9 tall in all
constexpr float kPressPitch = 0.8f;       // lattice spacing
constexpr float kPressStep = 0.025f;      // walk a frame
constexpr float kPressFrameSeconds = 1.0f / 60.0f;
constexpr float kPressGravity = 9.81f; // m/s^2 for the peers (vorcollide: 0.05 a frame)
constexpr int kPressFrames = 120;

struct PressBody {
    float x, y, z; // where its centre starts, 2 cm above the ground round it
    float tx, tz;  // the centre of its block, where it walks to
};

struct PressScene {
    std::vector<float> floor; // triangles, nine floats each, facing up
    std::vector<PressBody> bodies;
    // The terrain's (side + 1)^2 heights, or empty for the flat floor at height 0.
    std::vector<float> heights;
    uint32_t side = 0;
};

// Two triangles at height 0 under everything (the floor of vorcollide_crowd_overlap), and the
// crowd from the origin, as that program lays it out.
PressScene FlatPressScene(uint32_t count);
// The real terrain's triangles and the crowd from (origin, origin), each body over the ground.
PressScene TerrainPressScene(uint32_t count, const std::vector<float> &heights, uint32_t side,
                             float origin);

// The height of the scene's ground under (x, z): the very triangle surface, not an interpolation.
float PressGround(const PressScene &scene, float x, float z);

// The move a body standing at (x, z) asks for this frame: towards its target, at most kPressStep.
void PressWalk(const PressBody &body, float x, float z, float *dx, float *dz);

// What the crowd looks like after the last frame, from the centres alone, the same measure for
// every library. Side by side: two bodies whose heights overlap are inside each other by 2 x 0.25
// less the horizontal distance of their centres (upright bodies of the same extent, whatever their
// shape); and, as vorcollide_crowd_overlap counts it, by 0.25 x (2 less the distance of their
// centres in the space where the ellipsoids are unit spheres), which allows for one standing
// higher than the other as ellipsoids do.
struct PressOverlap {
    uint32_t inside = 0;          // bodies more than 1 mm inside another, horizontally
    float deepest = 0;            // deepest such overlap, metres
    uint32_t insideEllipsoid = 0; // the same in the ellipsoids' measure
    float deepestEllipsoid = 0;
    uint32_t samePlace = 0; // pairs of centres within 1 mm of each other
    uint32_t inGround = 0;  // bodies whose lowest point is more than 1 mm under the ground below it
    float deepestInGround = 0;
    float highest = 0; // the most any body's lowest point stands above the ground below it
};
PressOverlap MeasurePressOverlap(const PressScene &scene, const std::vector<float> &centres);

// Every library in turn on the scene, `rounds` times, starting with a different one each round:
// a row per run with its times a frame and the overlap measure. everyPair adds Jolt with every
// other character offered to each (its simple collision), checked against the grid-fed run: false
// when the two end anywhere apart.
bool RunPressingCrowd(const char *name, const PressScene &scene, int rounds, int frames,
                      bool everyPair);

// --- vorcollide through its exports (module_loader.cpp): the floor as object 1 of type 2, the
// characters as objects 2.. of type 3, response 3 (slide) against both; gravity 0.05 a frame. ---
void VorPressBuild(const PressScene &scene, bool recover);
void VorPressFrame(const PressScene &scene);
std::vector<float> VorPressCentres(const PressScene &scene);

// --- Bullet: a btKinematicCharacterController per body (bullet_characters.cpp) ---
// How far its sweeps may end inside what they meet (the dispatch info's allowed CCD penetration,
// 0.04 by default); negative leaves Bullet's default.
void SetBulletPressAllowance(float metres);
void BulletPressBuild(const PressScene &scene);
void BulletPressFrame(const PressScene &scene);
std::vector<float> BulletPressCentres();
void BulletPressFree();

// --- Jolt: a CharacterVirtual per body (jolt_characters.cpp); with gridPairs each character is
// offered only the characters of the grid cells round it, else every other one. ---
void JoltPressBuild(const PressScene &scene, bool gridPairs);
void JoltPressFrame(const PressScene &scene);
std::vector<float> JoltPressCentres();
void JoltPressFree();

} // namespace peers
