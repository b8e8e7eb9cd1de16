// The scene script: characters walking scripted paths under gravity through a level, a
// projectile, the per-second table and the final summary. Everything it asks the library goes
// through the recording layer; what happened is kept in a SceneRun for the picture and the
// machine-readable summary.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "geometry.h"
#include "level.h"

namespace vor::scene {

// Character ellipsoids: about 0.5 wide and 0.9 high; the body position is at the feet.
constexpr float kRadiusX = 0.25f, kRadiusY = 0.45f, kRadiusZ = 0.25f;
constexpr float kGravity = 0.02f;    // y units per frame
constexpr float kWalkStep = 0.04f;   // units per frame (2.4 per second)
constexpr float kMinSlope = 0.9f;    // walkable when the contact normal's y exceeds this
constexpr float kGroundProbe = 0.1f; // a ground within this far below the feet counts

struct Waypoint {
    float x, z;
    float notBefore; // seconds; the character waits until then
};

struct CharacterSpec {
    uint32_t number = 0;
    std::string name;
    std::string role; // what it shows, for the legend
    std::string colour;
    Point start;
    std::vector<Waypoint> path;
};

struct ContactSample {
    int frame;
    Point point, normal;
    int32_t object;
};

struct CharacterRun {
    CharacterSpec plan;
    std::vector<Point> track; // feet position after every frame (index 0: the start)
    std::vector<ContactSample> contacts;
    std::vector<int> contactsPerFrame;
    std::vector<char> groundedPerFrame;
    int32_t groundObject = 0; // what the last ground ray hit, or 0
    float yaw = 0;
    float minY = 1e30f;
    size_t waypoint = 0;
};

struct ProjectileRun {
    bool used = false;
    uint32_t number = 120;
    float radius = 0.15f;
    int launchFrame = 0;
    Point velocity;
    std::vector<Point> track;
    bool hit = false;
    int hitFrame = 0;
    int32_t hitObject = 0;
    Point hitPoint;
};

struct SceneOptions {
    int frames = 600;
    bool quiet = false; // no per-second table
};

struct SceneRun {
    Level level;
    bool builtIn = true;
    int frames = 0;
    std::vector<CharacterRun> characters;
    ProjectileRun projectile;
    int libraryReports = 0;
};

// Runs the scene on level (the built-in script when builtIn, else walkers dropped above it).
void RunScene(const Level &level, bool builtIn, const SceneOptions &options, SceneRun *run,
              FILE *out);
void PrintSummary(const SceneRun &run, FILE *out);
bool WriteSummaryJson(const SceneRun &run, const std::string &path, std::string *error);

// Display name of an object number in a run ("floor", "stair climber", ...).
std::string ObjectName(const SceneRun &run, int32_t number);

} // namespace vor::scene
