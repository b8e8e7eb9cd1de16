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

// Characters are ellipsoids 1.8 times as high as wide; the body position is at the feet. On the
// built-in level they are 0.5 wide and 0.9 high, walk 2.4 units a second and fall 1.2.
constexpr float kBuiltInRadius = 0.25f;
constexpr float kBuiltInStep = 0.04f;    // units per frame
constexpr float kBuiltInGravity = 0.02f; // y units per frame
constexpr float kHeightPerRadius = 1.8f;
constexpr float kMinSlope = 0.9f; // walkable when the contact normal's y exceeds this
// A loaded level's characters are 1/100 of its width across (about as on the built-in level),
// and walk and fall in proportion to their size.
constexpr float kLevelWidthPerRadius = 100.0f;
// Walkers of a loaded level start where a downward ray meets it, looked for first below their
// planned start, then on a grid of this many points a side over the level's bounds.
constexpr int kSurfaceGridSize = 15;
// A placed walker's feet start this many radii above the surface hit.
constexpr float kStartLiftPerRadius = 0.05f;

// The characters' size, speed and gravity, and how each was chosen (for the summary).
struct CharacterScale {
    float radius = kBuiltInRadius;   // horizontal radii x and z
    float step = kBuiltInStep;       // walking, units per frame
    float gravity = kBuiltInGravity; // steady fall, y units per frame
    float arrive = 0.05f;            // a waypoint this near is reached
    std::string radiusHow = "the built-in level's", stepHow = "the built-in level's",
                gravityHow = "the built-in level's";
    float RadiusY() const { return radius * kHeightPerRadius; }
};

// What the command line asked for; 0 leaves the choice to the level.
struct ScaleRequest {
    float radius = 0, speed = 0, gravity = 0; // speed and gravity in units per second
};

// Options win; else the built-in level's values, or a loaded level's from its width.
CharacterScale ChooseScale(const Bounds &level, bool builtIn, const ScaleRequest &request);

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
    std::string placement; // how the start was found on a loaded level
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
    ScaleRequest scale;
    bool quiet = false;   // no per-second table
    bool recover = false; // overlap recovery on for every definition
};

struct SceneRun {
    Level level;
    bool builtIn = true;
    int frames = 0;
    CharacterScale scale;
    std::vector<CharacterRun> characters; // those placed: on a level file, only over a surface
    int planned = 0;                      // characters the script has
    ProjectileRun projectile;
    int libraryReports = 0;
};

// Runs the scene on level (the built-in script when builtIn, else walkers put on its surface).
void RunScene(const Level &level, bool builtIn, const SceneOptions &options, SceneRun *run,
              FILE *out);
void PrintSummary(const SceneRun &run, FILE *out);
// One line: how many walkers of a level file found a surface to start on.
void PrintPlacement(const SceneRun &run, FILE *out);
// One line: the characters' size, speed and fall, and how each was chosen.
void PrintScale(const SceneRun &run, FILE *out);
bool WriteSummaryJson(const SceneRun &run, const std::string &path, std::string *error);

// Display name of an object number in a run ("floor", "stair climber", ...).
std::string ObjectName(const SceneRun &run, int32_t number);

} // namespace vor::scene
