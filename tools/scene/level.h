// The level of a scene: its mesh objects (each its own collision object with its triangles in
// local coordinates), how each one moves, and the built-in level's layout. Building a level
// into the library goes through the recording layer like every other call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry.h"

namespace vor::scene {

enum class Motion { Static, Elevator, Turntable };

struct LevelObject {
    uint32_t number = 0;             // object number in the library
    uint32_t type = 0;               // collision type
    std::string name;                // shown in the table, the summary and the picture
    std::string note;                // what it is there for, shown in the picture's legend
    std::string colour;              // SVG fill colour
    std::vector<Triangle> triangles; // local coordinates
    Point position;                  // body position at the start
    Motion motion = Motion::Static;
    bool solidBlock = false;  // a wall or pillar that no body may end inside
    bool byTriangles = false; // filled with AddMeshTri instead of a host vertex block
};

// Collision types of the scenes.
constexpr uint32_t kCharacterType = 1;
constexpr uint32_t kStaticLevelType = 2;
constexpr uint32_t kElevatorType = 3;
constexpr uint32_t kTurntableType = 4;
constexpr uint32_t kProjectileType = 5;

// Elevator: body height of its deck at the bottom and the top, and its path over time.
constexpr float kElevatorLow = 0.1f;
constexpr float kElevatorHigh = 2.1f;
float ElevatorHeight(float seconds);
// Turntable: yaw in degrees over time.
float TurntableYaw(float seconds);

struct Level {
    std::vector<LevelObject> objects;
    std::string source; // "built-in" or the level file's path
    std::string up;     // a level file's up axis and why, e.g. "+z (--up)"; empty when built in
};

Level BuiltInLevel();
Level FileLevel(const std::vector<Triangle> &triangles, const std::string &path);

// World triangles of an object at a body position and yaw (for the picture and bounds).
std::vector<Triangle> WorldTriangles(const LevelObject &object, Point position, float yawDegrees);
Bounds LevelBounds(const Level &level);

// Creates, fills, places and activates every object of the level in the library.
void BuildLevel(const Level &level);

} // namespace vor::scene
