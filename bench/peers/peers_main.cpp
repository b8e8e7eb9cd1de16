// vorcollide beside Bullet and Embree, and Jolt where a build of it was found (VOR_PEERS_JOLT), on
// the same rays, in one run: three levels (a procedural heightfield with walls and crates at about
// 32k and 510k triangles, and a real terrain of 513 x 513 heights), the character scene's own
// level and rays, and rays by type against crowds (not Jolt: its bodies would be capsules as
// Bullet's are, which adds nothing). Every library gets the same triangles and the same segments,
// builds its hierarchy before the clock starts, and the libraries take turns round by round so
// that a busy neighbour on the machine slows all of them alike. Prints the time per ray, the
// ratios and the answers that differ.
//
// With --baseline PATH a second build of the module runs beside the first (say, the main branch
// against a change), timed in the same rounds and checked for the very same answers. LIST is a
// comma-separated choice of small, large, terrain, scene, crowd, walk.
//
// --only press (or press1000, press4000, pressterrain) runs the pressing crowd instead: every
// library moves the same characters frame by frame (pressing_crowd.h), at most 3 rounds. --frames
// shortens the walk; --bullet-allowance sets how far Bullet's sweeps may end inside what they meet
// (its default 0.04 otherwise); --every-pair adds Jolt with its all-pairs character collision,
// whose end must be the grid-fed run's to the bit (the program fails otherwise).
//
//   vorcollide_peers [--module PATH] [--baseline PATH] [--dem PATH] [--rounds N] [--only LIST]
//                    [--frames N] [--every-pair] [--bullet-allowance METRES]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "peer_rays.h"
#include "pressing_crowd.h"

namespace {

using peers::Answer;
using peers::Segment;

using peers::kRayCount;
using peers::kRaySeed;
constexpr uint32_t kRaysAfterUpdate = 500; // each one after a change, so fewer
constexpr float kAgreeDistance = 1e-3f; // answers nearer than 1 mm count as the same hit

struct Options {
    std::string module = VOR_PEERS_MODULE;
    std::string baseline;
    std::string dem = VOR_PEERS_DEM;
    int rounds = 7;
    std::string only;
    int pressFrames = peers::kPressFrames; // frames of the pressing crowd
    bool pressEveryPair = false;           // Jolt's simple all-pairs collision beside its grid
    float pressTerrainOrigin = 8.0f;       // where the crowd stands on the real terrain
    float bulletAllowance = -1;            // Bullet's sweep allowance; negative: its default
};

bool Wanted(const Options &options, const char *name) {
    if (options.only.empty()) {
        return true;
    }
    const std::string list = "," + options.only + ",";
    return list.find("," + std::string(name) + ",") != std::string::npos;
}

std::vector<Segment> FromBench(const std::vector<bench::Ray> &rays) {
    std::vector<Segment> out;
    for (const bench::Ray &r : rays) {
        out.push_back(Segment{{r.from[0], r.from[1], r.from[2]}, {r.to[0], r.to[1], r.to[2]}});
    }
    return out;
}

struct Peer {
    const char *name;
    Answer (*cast)(const Segment &);
};

// The most peers one table times: vorcollide, Bullet, Embree, Jolt's three casts, a baseline.
constexpr int kMaxPeers = 7;

struct Measured {
    double microsPerRay[kMaxPeers] = {};
    std::vector<Answer> answers[kMaxPeers];
};

// Every round runs each peer over all rays once, starting with a different peer each round;
// the figure is the median round.
Measured TimeSideBySide(const Peer *list, int count, const std::vector<Segment> &rays, int rounds) {
    Measured m;
    std::vector<double> times[kMaxPeers];
    for (int p = 0; p < count; ++p) {
        m.answers[p].resize(rays.size());
    }
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < count; ++k) {
            const int p = (k + r) % count;
            Answer *out = m.answers[p].data();
            const auto start = std::chrono::steady_clock::now();
            for (size_t i = 0; i < rays.size(); ++i) {
                out[i] = list[p].cast(rays[i]);
            }
            const auto stop = std::chrono::steady_clock::now();
            times[p].push_back(std::chrono::duration<double, std::micro>(stop - start).count() /
                               static_cast<double>(rays.size()));
        }
    }
    for (int p = 0; p < count; ++p) {
        std::sort(times[p].begin(), times[p].end());
        m.microsPerRay[p] = times[p][times[p].size() / 2];
    }
    return m;
}

// Rays whose answers are not the same to the bit (a baseline build must give none).
uint32_t NotIdentical(const std::vector<Answer> &a, const std::vector<Answer> &b) {
    uint32_t n = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].hit != b[i].hit || std::memcmp(&a[i].distance, &b[i].distance, 4) != 0) {
            n += 1;
        }
    }
    return n;
}

struct Disagreement {
    uint32_t hitOnlyOne = 0; // one library hits, the other does not
    uint32_t distance = 0;   // both hit, more than 1 mm apart
    uint32_t hits = 0;       // rays the first library hits
};

Disagreement Compare(const std::vector<Answer> &a, const std::vector<Answer> &b) {
    Disagreement d;
    for (size_t i = 0; i < a.size(); ++i) {
        d.hits += a[i].hit ? 1 : 0;
        if (a[i].hit != b[i].hit) {
            d.hitOnlyOne += 1;
        } else if (a[i].hit && std::fabs(a[i].distance - b[i].distance) > kAgreeDistance) {
            d.distance += 1;
        }
    }
    return d;
}

#ifdef VOR_PEERS_JOLT
constexpr bool kWithJolt = true;
#else
constexpr bool kWithJolt = false;
#endif

void PrintHeader() {
    std::printf("%-44s %9s %10s %9s %9s", "level (10,000 rays)", "triangles", "vorcollide",
                "Bullet", "Embree");
    if (kWithJolt) {
        std::printf(" %9s", "Jolt");
    }
    std::printf(" %9s %9s", "vor/Bul", "vor/Emb");
    if (kWithJolt) {
        std::printf(" %9s", "vor/Jolt");
    }
    std::printf("  differ from vorcollide: Bullet, Embree%s (hit/miss + distance)\n",
                kWithJolt ? ", Jolt" : "");
}

// The baseline's figure, its ratio and its differences, when one is loaded.
void PrintBaseline(const Measured &m, int slot) {
    if (!peers::ModuleLoaded(1)) {
        return;
    }
    std::printf("%-44s %9s %8.2fus   this build / baseline: %.2fx; answers not identical: %u\n",
                "  baseline build of vorcollide", "", m.microsPerRay[slot],
                m.microsPerRay[0] / m.microsPerRay[slot],
                NotIdentical(m.answers[0], m.answers[slot]));
}

#ifdef VOR_PEERS_JOLT
// One of Jolt's other casts beside its narrow phase query: its time, the ratio and its differences.
void PrintJoltOther(const char *name, const Measured &m, int slot) {
    const Disagreement d = Compare(m.answers[0], m.answers[slot]);
    std::printf("%-44s %9s %8.2fus   vor/this: %.2fx; differ from vorcollide: %u+%u\n", name, "",
                m.microsPerRay[slot], m.microsPerRay[0] / m.microsPerRay[slot], d.hitOnlyOne,
                d.distance);
}
#endif

void RunLevel(const char *name, const std::vector<float> &xyz, const std::vector<Segment> &rays,
              int rounds) {
    const bool withBaseline = peers::ModuleLoaded(1);
    if (withBaseline) {
        peers::UseModule(1);
        peers::VorReset();
        peers::VorLevelBuild(xyz);
        peers::UseModule(0);
    }
    peers::VorReset();
    peers::VorLevelBuild(xyz);
    peers::BulletLevelBuild(xyz);
    peers::EmbreeLevelBuild(xyz);
    Peer list[kMaxPeers] = {{"vorcollide", peers::VorLevelCast},
                            {"Bullet", peers::BulletLevelCast},
                            {"Embree", peers::EmbreeLevelCast}};
    int count = 3;
#ifdef VOR_PEERS_JOLT
    peers::JoltLevelBuild(xyz);
    const int jolt = count;
    list[count++] = {"Jolt", peers::JoltLevelCast};
    list[count++] = {"Jolt both faces", peers::JoltLevelCastTwoSided};
    list[count++] = {"Jolt shape", peers::JoltLevelCastShape};
#endif
    const int baseline = count;
    if (withBaseline) {
        list[count++] = {"baseline", peers::BaselineLevelCast};
    }
    const Measured m = TimeSideBySide(list, count, rays, rounds);
    const Disagreement b = Compare(m.answers[0], m.answers[1]);
    const Disagreement e = Compare(m.answers[0], m.answers[2]);
    std::printf("%-44s %9zu %8.2fus %7.2fus %7.2fus", name, xyz.size() / 9, m.microsPerRay[0],
                m.microsPerRay[1], m.microsPerRay[2]);
#ifdef VOR_PEERS_JOLT
    const Disagreement j = Compare(m.answers[0], m.answers[jolt]);
    std::printf(" %7.2fus %8.2fx %8.2fx %8.2fx  %u+%u, %u+%u, %u+%u (of %u hits)\n",
                m.microsPerRay[jolt], m.microsPerRay[0] / m.microsPerRay[1],
                m.microsPerRay[0] / m.microsPerRay[2], m.microsPerRay[0] / m.microsPerRay[jolt],
                b.hitOnlyOne, b.distance, e.hitOnlyOne, e.distance, j.hitOnlyOne, j.distance,
                b.hits);
    PrintJoltOther("  Jolt's closest-hit CastRay, both faces", m, jolt + 1);
    PrintJoltOther("  Jolt's MeshShape::CastRay, no broad phase", m, jolt + 2);
    peers::JoltFree();
#else
    std::printf(" %8.2fx %8.2fx  %u+%u, %u+%u (of %u hits)\n",
                m.microsPerRay[0] / m.microsPerRay[1], m.microsPerRay[0] / m.microsPerRay[2],
                b.hitOnlyOne, b.distance, e.hitOnlyOne, e.distance, b.hits);
#endif
    PrintBaseline(m, baseline);
    std::fflush(stdout);
    peers::BulletFree();
    peers::EmbreeFree();
    peers::VorReset();
    if (withBaseline) {
        peers::UseModule(1);
        peers::VorReset();
        peers::UseModule(0);
    }
}

void RunCrowd(uint32_t count, int rounds) {
    float arena = 0;
    const std::vector<bench::CrowdBody> bodies = bench::CrowdLayout(count, 3, &arena);
    const std::vector<Segment> rays = FromBench(bench::CrowdRays(kRayCount, arena, kRaySeed));
    const bool withBaseline = peers::ModuleLoaded(1);
    if (withBaseline) {
        peers::UseModule(1);
        peers::VorReset();
        peers::VorCrowdBuild(bodies);
        peers::UseModule(0);
    }
    peers::VorReset();
    peers::VorCrowdBuild(bodies);
    peers::BulletCrowdBuild(bodies);
    const Peer list[3] = {{"vorcollide", peers::VorCrowdCast},
                          {"Bullet", peers::BulletCrowdCast},
                          {"baseline", peers::BaselineCrowdCast}};
    const Measured m = TimeSideBySide(list, withBaseline ? 3 : 2, rays, rounds);
    const Disagreement b = Compare(m.answers[0], m.answers[1]);
    char name[64];
    std::snprintf(name, sizeof name, "crowd of %u, rays by type", count);
    // Jolt's and Embree's columns stay empty: Bullet alone is timed on the crowds.
    const char *joltCell = kWithJolt ? "         -" : "";
    std::printf("%-44s %9s %8.2fus %7.2fus %9s%s %8.2fx %9s%s  %u+%u (of %u hits; capsules are "
                "not ellipsoids)\n",
                name, "-", m.microsPerRay[0], m.microsPerRay[1], "-", joltCell,
                m.microsPerRay[0] / m.microsPerRay[1], "-", joltCell, b.hitOnlyOne, b.distance,
                b.hits);
    PrintBaseline(m, 2);
    // Every ray after a change (one body moved): what the first ray of a frame pays.
    const std::vector<Segment> few(rays.begin(), rays.begin() + kRaysAfterUpdate);
    const Peer moved[3] = {{"vorcollide", peers::VorCrowdCastAfterUpdate},
                           {"Bullet", peers::BulletCrowdCastAfterUpdate},
                           {"baseline", peers::BaselineCrowdCastAfterUpdate}};
    const Measured after = TimeSideBySide(moved, withBaseline ? 3 : 2, few, rounds);
    std::printf("%-44s %9s %8.2fus %7.2fus %9s%s %8.2fx\n", "  each ray right after a body moved",
                "", after.microsPerRay[0], after.microsPerRay[1], "", kWithJolt ? "          " : "",
                after.microsPerRay[0] / after.microsPerRay[1]);
    PrintBaseline(after, 2);
    std::fflush(stdout);
    peers::BulletFree();
    peers::VorReset();
    if (withBaseline) {
        peers::UseModule(1);
        peers::VorReset();
        peers::UseModule(0);
    }
}

// A crowd walking every frame, K rays by type cast between its passes. vorcollide brings its ray
// structure up to date in the pass; Bullet's capsules are moved and its broadphase updated each
// frame, as a game would before its rays, and that update is counted with Bullet's rays. The pass
// is timed with and without rays (no ray: no structure to keep), for what keeping it costs.
struct WalkTimes {
    double rays = 0;      // us a frame: the K rays (Bullet: its update and the K rays)
    double pass = 0;      // us a frame: the pass, with the structure kept
    double passAlone = 0; // us a frame: the pass without any ray by type
};

constexpr uint32_t kWalkFrames = 30;

double Micros(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double, std::micro>(b - a).count();
}

WalkTimes WalkVor(int slot, const std::vector<bench::CrowdBody> &bodies,
                  const std::vector<Segment> &rays, uint32_t k) {
    Answer (*cast)(const Segment &) = slot == 0 ? peers::VorCrowdCast : peers::BaselineCrowdCast;
    WalkTimes t;
    peers::UseModule(slot);
    for (int withRays = 1; withRays >= 0; --withRays) {
        peers::VorReset();
        peers::VorWalkingCrowdBuild(bodies, withRays != 0);
        for (uint32_t f = 1; f <= kWalkFrames; ++f) {
            const auto a = std::chrono::steady_clock::now();
            peers::VorWalkingCrowdStep(bodies, f);
            const auto b = std::chrono::steady_clock::now();
            (withRays != 0 ? t.pass : t.passAlone) += Micros(a, b);
            if (withRays != 0) {
                for (uint32_t j = 0; j < k; ++j) {
                    cast(rays[(f * k + j) % rays.size()]);
                }
                t.rays += Micros(b, std::chrono::steady_clock::now());
            }
        }
    }
    peers::VorReset();
    peers::UseModule(0);
    t.rays /= kWalkFrames;
    t.pass /= kWalkFrames;
    t.passAlone /= kWalkFrames;
    return t;
}

// Bullet's broadphase update and its K rays, us a frame each.
void WalkBullet(const std::vector<bench::CrowdBody> &bodies, const std::vector<Segment> &rays,
                uint32_t k, double *update, double *cast) {
    peers::BulletCrowdBuild(bodies);
    *update = *cast = 0;
    for (uint32_t f = 1; f <= kWalkFrames; ++f) {
        peers::BulletWalkingCrowdMove(bodies, f);
        const auto a = std::chrono::steady_clock::now();
        peers::BulletUpdateBroadphase();
        const auto b = std::chrono::steady_clock::now();
        for (uint32_t j = 0; j < k; ++j) {
            peers::BulletCrowdCast(rays[(f * k + j) % rays.size()]);
        }
        *update += Micros(a, b);
        *cast += Micros(b, std::chrono::steady_clock::now());
    }
    peers::BulletFree();
    *update /= kWalkFrames;
    *cast /= kWalkFrames;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void RunWalkingCrowd(uint32_t count, int rounds) {
    float arena = 0;
    const std::vector<bench::CrowdBody> bodies = bench::CrowdLayout(count, 3, &arena);
    const std::vector<Segment> rays = FromBench(bench::CrowdRays(kRayCount, arena, kRaySeed));
    const bool withBaseline = peers::ModuleLoaded(1);
    for (uint32_t k : {1u, 4u, 16u, 64u}) {
        std::vector<double> vor, bullet, bulletRays, pass, alone, base, basePass, baseAlone;
        for (int r = 0; r < rounds; ++r) {
            const WalkTimes v = WalkVor(0, bodies, rays, k);
            double update = 0, cast = 0;
            WalkBullet(bodies, rays, k, &update, &cast);
            bullet.push_back(update + cast);
            bulletRays.push_back(cast);
            vor.push_back(v.rays);
            pass.push_back(v.pass);
            alone.push_back(v.passAlone);
            if (withBaseline) {
                const WalkTimes b = WalkVor(1, bodies, rays, k);
                base.push_back(b.rays);
                basePass.push_back(b.pass);
                baseAlone.push_back(b.passAlone);
            }
        }
        const double perRay = Median(vor) / k, bulletPerRay = Median(bullet) / k;
        std::printf("walking crowd of %-5u K=%-3u  rays %8.2fus  Bullet %8.2fus  vor/Bul %5.2fx  "
                    "pass %8.1fus (no rays %8.1fus, %+5.1f%%)  Bullet's rays alone %7.2fus\n",
                    count, k, perRay, bulletPerRay, perRay / bulletPerRay, Median(pass),
                    Median(alone), 100.0 * (Median(pass) / Median(alone) - 1.0),
                    Median(bulletRays) / k);
        if (withBaseline) {
            std::printf(
                "  baseline                      rays %8.2fus  Bullet %8.2fus  vor/Bul %5.2fx  "
                "pass %8.1fus (no rays %8.1fus, %+5.1f%%)\n",
                Median(base) / k, bulletPerRay, Median(base) / k / bulletPerRay, Median(basePass),
                Median(baseAlone), 100.0 * (Median(basePass) / Median(baseAlone) - 1.0));
        }
        std::fflush(stdout);
    }
}

// The pressing crowd: 1,000 and 4,000 on the flat floor, 4,000 on the real terrain; each library
// in turn, --rounds times (at most 3: a run is the crowd's whole walk).
int RunPress(const Options &options) {
    if (!peers::ModuleRunsPressingCrowd(0)) {
        std::printf("pressing crowd skipped: %s lacks SetOverlapRecoveryVOR or another export it "
                    "calls\n",
                    options.module.c_str());
        return 1;
    }
    const int rounds = std::min(options.rounds, 3);
    bool same = true; // Jolt's grid-fed runs ended where its all-pairs runs did
    peers::SetBulletPressAllowance(options.bulletAllowance);
    if (options.bulletAllowance >= 0) {
        std::printf("Bullet's sweeps may end %.4f inside what they meet (its default: 0.04)\n",
                    options.bulletAllowance);
    }
    std::printf("pressing crowd: ms a frame (this thread's processor time, and wall), the mean "
                "over the frames and the slowest; at the end, bodies more than 1 mm inside "
                "another, the deepest, pairs of centres within 1 mm, bodies more than 1 mm in the "
                "ground, the deepest\n");
    if (Wanted(options, "press") || Wanted(options, "press1000")) {
        same = peers::RunPressingCrowd("1,000 on the flat floor", peers::FlatPressScene(1000),
                                       rounds, options.pressFrames, options.pressEveryPair) &&
               same;
    }
    if (Wanted(options, "press") || Wanted(options, "press4000")) {
        same = peers::RunPressingCrowd("4,000 on the flat floor", peers::FlatPressScene(4000),
                                       rounds, options.pressFrames, options.pressEveryPair) &&
               same;
    }
    if (Wanted(options, "press") || Wanted(options, "pressterrain")) {
        constexpr uint32_t kSide = 512;
        std::string description;
        const std::vector<float> heights =
            peers::LoadTerrainHeights(options.dem, kSide, &description);
        if (heights.empty()) {
            std::printf("4,000 on the real terrain skipped: %s\n", description.c_str());
            return same ? 0 : 1;
        }
        std::printf("terrain: %s (%s), the crowd from (%.0f, %.0f)\n", options.dem.c_str(),
                    description.c_str(), options.pressTerrainOrigin, options.pressTerrainOrigin);
        same = peers::RunPressingCrowd(
                   "4,000 on the real terrain (524,288 triangles)",
                   peers::TerrainPressScene(4000, heights, kSide, options.pressTerrainOrigin),
                   rounds, options.pressFrames, options.pressEveryPair) &&
               same;
    }
    return same ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    Options options;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        const bool more = k + 1 < argc;
        if (arg == "--module" && more) {
            options.module = argv[++k];
        } else if (arg == "--baseline" && more) {
            options.baseline = argv[++k];
        } else if (arg == "--dem" && more) {
            options.dem = argv[++k];
        } else if (arg == "--rounds" && more) {
            options.rounds = std::max(1, std::atoi(argv[++k]));
        } else if (arg == "--only" && more) {
            options.only = argv[++k];
        } else if (arg == "--frames" && more) {
            options.pressFrames = std::max(1, std::atoi(argv[++k]));
        } else if (arg == "--bullet-allowance" && more) {
            options.bulletAllowance = std::strtof(argv[++k], nullptr);
        } else if (arg == "--every-pair") {
            options.pressEveryPair = true;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--module PATH] [--baseline PATH] [--dem PATH] [--rounds N] "
                         "[--only small,large,terrain,scene,crowd,walk,press,press1000,"
                         "press4000,pressterrain] [--frames N] [--every-pair] "
                         "[--bullet-allowance M]\n",
                         argv[0]);
            return 2;
        }
    }
    std::string error;
    if (!peers::LoadModule(0, options.module, &error)) {
        std::fprintf(stderr, "cannot load %s: %s\n", options.module.c_str(), error.c_str());
        return 1;
    }
    if (!options.baseline.empty() && !peers::LoadModule(1, options.baseline, &error)) {
        std::fprintf(stderr, "cannot load %s: %s\n", options.baseline.c_str(), error.c_str());
        return 1;
    }
    if (!options.baseline.empty()) {
        std::printf("baseline %s\n", options.baseline.c_str());
    }
    std::printf("module %s; median of %d rounds, peers alternated; time per ray\n",
                options.module.c_str(), options.rounds);
    if (!options.only.empty() && options.only.rfind("press", 0) == 0) {
        return RunPress(options);
    }
    PrintHeader();

    if (Wanted(options, "small")) {
        constexpr uint32_t kCells = 119;
        RunLevel("heightfield, walls, crates (119 cells)", bench::LevelTriangles(kCells, 1),
                 peers::IssueRays(1, kCells - 1, bench::GroundHeight), options.rounds);
    }
    if (Wanted(options, "large")) {
        constexpr uint32_t kCells = 481;
        RunLevel("the same, 481 cells (16x the area)", bench::LevelTriangles(kCells, 1),
                 peers::IssueRays(1, kCells - 1, bench::GroundHeight), options.rounds);
    }
    if (Wanted(options, "terrain")) {
        constexpr uint32_t kSide = 512;
        std::string description;
        const std::vector<float> heights =
            peers::LoadTerrainHeights(options.dem, kSide, &description);
        if (heights.empty()) {
            std::printf("%-44s skipped: %s\n", "real terrain 513 x 513", description.c_str());
        } else {
            auto ground = [&](float x, float z) {
                return peers::TerrainGround(heights, kSide, x, z);
            };
            std::printf("terrain: %s (%s)\n", options.dem.c_str(), description.c_str());
            RunLevel("real terrain, 513 x 513 heights", bench::GridTriangles(heights, kSide),
                     peers::IssueRays(1, kSide - 1, ground), options.rounds);
        }
    }
    if (Wanted(options, "scene")) {
        constexpr uint32_t kCells = 512;
        RunLevel("character scene level (512), its own rays", bench::LevelTriangles(kCells, 1),
                 FromBench(bench::LevelRays(kRayCount, kCells, 11)), options.rounds);
    }
    if (Wanted(options, "crowd")) {
        for (uint32_t count : {10u, 1000u, 4000u}) {
            RunCrowd(count, options.rounds);
        }
    }
    if (Wanted(options, "walk")) {
        for (uint32_t count : {1000u, 4000u}) {
            RunWalkingCrowd(count, std::max(1, options.rounds / 2));
        }
    }
    return 0;
}
