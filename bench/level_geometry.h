// Geometry of the benchmark scenes as plain numbers, with no call into the library: the level's
// triangles and the crowd's layout. The library's benchmarks feed them through the exports, and
// the peer comparison feeds the very same numbers to the other libraries.
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

// A small deterministic generator (xorshift64*), so every run builds the same scene.
struct Random {
    uint64_t state;
    uint64_t Next();
    float Uniform(float lo, float hi);
};

constexpr float kCharacterRadii[3] = {0.25f, 0.45f, 0.25f};
constexpr float kPi = 3.14159265f;

// Height of the rolling ground at (x, z).
float GroundHeight(float x, float z);

// A cells x cells heightfield of unit cells facing up, walls round it facing in and crates on it
// (one per 64 cells): nine floats per triangle, corners in front-face order.
std::vector<float> LevelTriangles(uint32_t cells, uint32_t seed);

// A heightfield over a square grid of (side + 1)^2 heights in row-major order (row = z, column =
// x), one unit per cell, two up-facing triangles per cell: nine floats per triangle.
std::vector<float> GridTriangles(const std::vector<float> &heights, uint32_t side);

// Crowd placement: a jittered lattice in a square arena; x and z per body and a heading.
struct CrowdBody {
    float x, z, heading;
};
std::vector<CrowdBody> CrowdLayout(uint32_t count, uint32_t seed, float *arena);

// Characters' start on a cells x cells level: x and z at least 2 from its edge, and a heading.
std::vector<CrowdBody> CharacterLayout(uint32_t count, uint32_t cells, uint32_t seed);

struct Ray {
    float from[3];
    float to[3];
};
// Rays of about 20 units over the level: half straight down through it, half level with it.
std::vector<Ray> LevelRays(uint32_t count, uint32_t cells, uint32_t seed);
// Level rays across the crowd's arena at body height.
std::vector<Ray> CrowdRays(uint32_t count, float arena, uint32_t seed);

} // namespace bench
