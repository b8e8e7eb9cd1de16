// Writes the scenes of the native peer comparison (bench/peers) as files for the web benchmark, so
// that every library in Node gets the very triangles, segments and starts the native programs use:
// made by the same code, not written again in JavaScript.
//   level_files OUT_DIR DEM_NPY CHARACTERS
// One file per scene, little-endian: five 32-bit words (format 1, triangles, segments, bodies, and
// the scene's extent as a float: cells a side or the crowd's arena), then nine floats a triangle
// (corners in front-face order), six a segment (from, to) and four a body (x, y, z, heading).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "level_geometry.h"
#include "peer_rays.h"

namespace {

constexpr uint32_t kFormat = 1;
constexpr uint32_t kCharacterSeed = 2; // as the native character benchmarks
constexpr uint32_t kCrowdSeed = 3;
constexpr uint32_t kLevelRaySeed = 11;
constexpr float kStartAboveGround = bench::kCharacterRadii[1] + 0.05f;

bool Write(const std::string &path, const std::vector<float> &triangles,
           const std::vector<peers::Segment> &rays, const std::vector<float> &bodies, float extent) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    const uint32_t head[4] = {kFormat, static_cast<uint32_t>(triangles.size() / 9),
                              static_cast<uint32_t>(rays.size()),
                              static_cast<uint32_t>(bodies.size() / 4)};
    bool ok = std::fwrite(head, sizeof head, 1, f) == 1 && std::fwrite(&extent, 4, 1, f) == 1;
    ok = ok && std::fwrite(triangles.data(), 4, triangles.size(), f) == triangles.size();
    for (const peers::Segment &s : rays) {
        ok = ok && std::fwrite(s.from, 4, 3, f) == 3 && std::fwrite(s.to, 4, 3, f) == 3;
    }
    ok = ok && std::fwrite(bodies.data(), 4, bodies.size(), f) == bodies.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
    }
    return ok;
}

// Characters standing just above the ground of a cells x cells level.
std::vector<float> Characters(uint32_t count, uint32_t cells,
                              const std::function<float(float, float)> &ground) {
    std::vector<float> out;
    for (const bench::CrowdBody &b : bench::CharacterLayout(count, cells, kCharacterSeed)) {
        out.insert(out.end(), {b.x, ground(b.x, b.z) + kStartAboveGround, b.z, b.heading});
    }
    return out;
}

std::vector<peers::Segment> FromBench(const std::vector<bench::Ray> &rays) {
    std::vector<peers::Segment> out;
    for (const bench::Ray &r : rays) {
        out.push_back(peers::Segment{{r.from[0], r.from[1], r.from[2]}, {r.to[0], r.to[1], r.to[2]}});
    }
    return out;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s OUT_DIR DEM_NPY CHARACTERS\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    const uint32_t characters = static_cast<uint32_t>(std::atoi(argv[3]));
    bool ok = true;
    for (const auto &[name, cells] : {std::pair<const char *, uint32_t>{"small", 119}, {"large", 481}}) {
        ok = ok && Write(out + "/" + name + ".bin", bench::LevelTriangles(cells, 1),
                         peers::IssueRays(1, cells - 1.0f, bench::GroundHeight),
                         Characters(characters, cells, bench::GroundHeight), cells);
    }
    constexpr uint32_t kSide = 512;
    std::string description;
    const std::vector<float> heights = peers::LoadTerrainHeights(argv[2], kSide, &description);
    if (heights.empty()) {
        std::fprintf(stderr, "terrain skipped: %s\n", description.c_str());
    } else {
        auto ground = [&](float x, float z) { return peers::TerrainGround(heights, kSide, x, z); };
        ok = ok && Write(out + "/terrain.bin", bench::GridTriangles(heights, kSide),
                         peers::IssueRays(1, kSide - 1.0f, ground), Characters(characters, kSide, ground),
                         kSide);
    }
    ok = ok && Write(out + "/scene.bin", bench::LevelTriangles(kSide, 1),
                     FromBench(bench::LevelRays(peers::kRayCount, kSide, kLevelRaySeed)),
                     Characters(characters, kSide, bench::GroundHeight), kSide);
    for (uint32_t count : {10u, 1000u, 4000u}) {
        float arena = 0;
        std::vector<float> bodies;
        for (const bench::CrowdBody &b : bench::CrowdLayout(count, kCrowdSeed, &arena)) {
            bodies.insert(bodies.end(), {b.x, 0.0f, b.z, b.heading});
        }
        ok = ok && Write(out + "/crowd" + std::to_string(count) + ".bin", {},
                         FromBench(bench::CrowdRays(peers::kRayCount, arena, peers::kRaySeed)), bodies,
                         arena);
    }
    return ok ? 0 : 1;
}
