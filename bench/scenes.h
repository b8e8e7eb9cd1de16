// Game-scale scenes for the benchmarks, made in code from a fixed seed and driven through the
// exported functions: a rolling heightfield level with walls and crates, characters walking on it,
// a crowd of ellipsoids moving among each other, and rays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "level_geometry.h"

namespace bench {

constexpr uint32_t kLevelObject = 1;
constexpr uint32_t kLevelType = 2;
constexpr uint32_t kCharacterType = 1;
constexpr uint32_t kCrowdType = 3;

// Level object 1 (type 2): a cells x cells heightfield of unit cells with walls round it and
// crates on it. Answers the number of triangles.
uint32_t BuildLevel(uint32_t cells, uint32_t seed);

struct Walker {
    uint32_t object;
    float heading; // radians about y
};

// Characters 2.. (type 1) on the level, walking under gravity with slide-and-stand (response 3).
std::vector<Walker> BuildCharacters(uint32_t count, uint32_t cells, uint32_t seed);
// One frame: every walker requests a step ahead of where the last pass left it, then one pass.
void StepCharacters(std::vector<Walker> &walkers, uint32_t cells, Random &random);

// A crowd 1..count (type 3) on a jittered lattice in a square arena, sliding off each other.
std::vector<Walker> BuildCrowd(uint32_t count, uint32_t seed, float *arena);
void StepCrowd(std::vector<Walker> &walkers, float arena, Random &random);

// The pressing crowd: count characters (type 1, objects 2..) on a lattice 0.8 m apart, each
// walking 25 mm a frame (1.5 m/s at 60 fps) to the centre of its block of 10 x 10, under gravity,
// slide-and-stand against the floor (level object 1) and, when meetEachOther, against each other.
// The floor is flat (terrain false) or the rolling 512 x 512 terrain (524,288 triangles); the
// crowd stands 8 m in from its corner.
struct BlockWalker {
    uint32_t object;
    float tx, tz; // the centre of its block
};
std::vector<BlockWalker> BuildCrowdBlocks(uint32_t count, bool terrain, bool meetEachOther);
void StepCrowdBlocks(const std::vector<BlockWalker> &walkers);
constexpr int kCrowdBlockFrames = 120;

// Level object 1 (type 2): a plain heightfield of cells x cells unit cells, two triangles each,
// heights `amplitude` times GroundHeight (so LevelRays fit it at amplitude 1).
uint32_t BuildTerrain(uint32_t cells, float amplitude);

// Bytes of the level mesh's hierarchy and of its triangle records.
size_t LevelAccelBytes();
size_t LevelTriangleBytes();

} // namespace bench
