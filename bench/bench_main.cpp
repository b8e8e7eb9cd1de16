// The benchmarks: characters on levels of about 2k, 32k and 512k triangles, a crowd of ellipsoids,
// and rays, each run with the search structures and (where it finishes in reasonable time) with
// the plain scans they replace. Counters give the work per sweep and the memory held.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

#include "body/registry.h"
#include "core/accel_mode.h"
#include "core/module_state.h"
#include "mesh/mesh_accel.h"
#include "pass/overlap_recovery.h"
#include "pass/pair_grid.h"
#include "query/ellipsoid_ray_index.h"
#include "scenes.h"
#include "vorcollide.h"

namespace {

using benchmark::Counter;

constexpr int kWarmUpFrames = 5;
constexpr uint32_t kRaySeed = 11;

// CPU time of this thread: the machine is shared, and wall time would count the neighbours.
double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double PerCount(uint64_t value, uint64_t count) {
    return count == 0 ? 0.0 : static_cast<double>(value) / static_cast<double>(count);
}

// A clean module in the chosen mode, and back to the default afterwards.
struct Session {
    explicit Session(bool reference) {
        StopCollisionVOR();
        vor::ReferenceScans = reference;
    }
    ~Session() {
        StopCollisionVOR();
        vor::ReferenceScans = false;
    }
};

// Characters on a level of cells per side, warmed up, then stepped once an iteration with the
// counters zeroed; answers the level's triangles.
uint32_t StepCharactersOnLevel(benchmark::State &state, uint32_t cells, uint32_t count) {
    const uint32_t triangles = bench::BuildLevel(cells, 1);
    std::vector<bench::Walker> walkers = bench::BuildCharacters(count, cells, 2);
    bench::Random random{7};
    for (int k = 0; k < kWarmUpFrames; ++k) {
        bench::StepCharacters(walkers, cells, random);
    }
    vor::ResetStats();
    for (auto _ : state) {
        bench::StepCharacters(walkers, cells, random);
    }
    state.counters["body_step"] =
        Counter(count, Counter::kIsIterationInvariantRate | Counter::kInvert);
    return triangles;
}

// Args: level cells per side, characters, plain scans (0 or 1).
void BM_Characters(benchmark::State &state) {
    const uint32_t cells = static_cast<uint32_t>(state.range(0));
    const uint32_t count = static_cast<uint32_t>(state.range(1));
    Session session(state.range(2) != 0);
    const uint32_t triangles = StepCharactersOnLevel(state, cells, count);
    const vor::WorkCounters &s = vor::ThreadStats();
    state.counters["triangles"] = triangles;
    state.counters["tested/sweep"] = PerCount(s.trianglesTested, s.meshSweeps);
    state.counters["overlap/sweep"] = PerCount(s.trianglesOverlapped, s.meshSweeps);
    state.counters["sweeps/step"] = PerCount(s.meshSweeps, count * state.iterations());
    state.counters["accel_B"] = static_cast<double>(bench::LevelAccelBytes());
    state.counters["tri_B"] = static_cast<double>(bench::LevelTriangleBytes());
}

// Args: level cells per side, characters, worker threads. BM_Characters on the wall clock.
void BM_CharactersWorkers(benchmark::State &state) {
    const uint32_t cells = static_cast<uint32_t>(state.range(0));
    const uint32_t count = static_cast<uint32_t>(state.range(1));
    Session session(false);
    SetWorkerCountVOR(static_cast<int32_t>(state.range(2)));
    StepCharactersOnLevel(state, cells, count);
    SetWorkerCountVOR(1);
    state.counters["jobs/pass"] = PerCount(vor::ThreadStats().workerJobs, state.iterations());
}

// Args: crowd size, plain scans.
void BM_Crowd(benchmark::State &state) {
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    Session session(state.range(1) != 0);
    float arena = 0;
    std::vector<bench::Walker> walkers = bench::BuildCrowd(count, 3, &arena);
    bench::Random random{9};
    for (int k = 0; k < kWarmUpFrames; ++k) {
        bench::StepCrowd(walkers, arena, random);
    }
    vor::ResetStats();
    for (auto _ : state) {
        bench::StepCrowd(walkers, arena, random);
    }
    const vor::WorkCounters &s = vor::ThreadStats();
    state.counters["body_step"] =
        Counter(count, Counter::kIsIterationInvariantRate | Counter::kInvert);
    state.counters["pairs/pass"] = PerCount(s.pairsTested, state.iterations());
    state.counters["overlap/pass"] = PerCount(s.pairsOverlapped, state.iterations());
    state.counters["grid_B"] = static_cast<double>(vor::PairGridPeakBytes());
    state.counters["plain_src/pass"] = PerCount(s.gridPlainSources, state.iterations());
    state.counters["grids/pass"] = PerCount(s.gridDefinitions, state.iterations());
    state.counters["kept/pass"] = PerCount(s.gridReuses, state.iterations());
    state.counters["iter/pass"] = PerCount(s.passIterations, state.iterations());
}

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One crowd of the blocks a benchmark iteration: built afresh (terrain or flat floor, meeting
// each other or not) with overlap recovery as asked, one pass to build the floor's hierarchy (and
// start any workers), the counters zeroed, then its 120 frames timed by `clock`. Answers the
// seconds of all iterations' frames; *passes counts them, *recoveryBytes takes what the recovery's
// working arrays hold at the end.
double TimeCrowdBlocks(benchmark::State &state, uint32_t count, bool terrain, bool meet,
                       int32_t recover, double (*clock)(), uint64_t *passes,
                       size_t *recoveryBytes) {
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        StopCollisionVOR();
        std::vector<bench::BlockWalker> walkers = bench::BuildCrowdBlocks(count, terrain, meet);
        SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, recover);
        RunCollisionVOR(); // builds the floor's hierarchy, which is not what this measures
        vor::ResetStats();
        state.ResumeTiming();
        const double begin = clock();
        for (int frame = 0; frame < bench::kCrowdBlockFrames; ++frame) {
            bench::StepCrowdBlocks(walkers);
        }
        seconds += clock() - begin;
        *passes += bench::kCrowdBlockFrames;
        *recoveryBytes = vor::RecoveryScratchBytes();
    }
    SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 0);
    return seconds;
}

// Args: bodies, floor (0 flat, 1 the 512 x 512 terrain), meet each other (0 the same characters
// against the floor alone), overlap recovery (0/1). One iteration is the crowd's 120 frames from
// its lattice; pass_ms is the time of one pass, step_us of one character's step in it.
void BM_CrowdBlocks(benchmark::State &state) {
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    Session session(false);
    uint64_t passes = 0;
    size_t recoveryBytes = 0;
    const double seconds = TimeCrowdBlocks(state, count, state.range(1) != 0, state.range(2) != 0,
                                           static_cast<int32_t>(state.range(3)), ThreadSeconds,
                                           &passes, &recoveryBytes);
    const vor::WorkCounters &s = vor::ThreadStats();
    state.counters["recovery_KB"] = static_cast<double>(recoveryBytes) / 1024.0;
    state.counters["pass_ms"] = seconds * 1e3 / static_cast<double>(passes);
    state.counters["step_us"] = seconds * 1e6 / static_cast<double>(passes * count);
    state.counters["iter/pass"] = PerCount(s.passIterations, bench::kCrowdBlockFrames);
    state.counters["pairs/pass"] = PerCount(s.pairsTested, bench::kCrowdBlockFrames);
    state.counters["mesh_sweeps/pass"] = PerCount(s.meshSweeps, bench::kCrowdBlockFrames);
    state.counters["kept_searches/pass"] = PerCount(s.sweepCacheSearches, bench::kCrowdBlockFrames);
    state.counters["kept_hits/pass"] = PerCount(s.sweepCacheHits, bench::kCrowdBlockFrames);
    state.counters["tested/sweep"] = PerCount(s.trianglesTested, s.meshSweeps);
    state.counters["grids/pass"] = PerCount(s.gridDefinitions, bench::kCrowdBlockFrames);
    state.counters["queries/pass"] = PerCount(s.gridQueries, bench::kCrowdBlockFrames);
    state.counters["cells/query"] = PerCount(s.gridCellsVisited, s.gridQueries);
    state.counters["met/query"] = PerCount(s.gridSlotsMet, s.gridQueries);
    state.counters["overlapped/pass"] = PerCount(s.pairsOverlapped, bench::kCrowdBlockFrames);
    state.counters["listed/pass"] = PerCount(s.gridListedItems, bench::kCrowdBlockFrames);
    state.counters["escaped/pass"] = PerCount(s.gridEscapes, bench::kCrowdBlockFrames);
    state.counters["early/pass"] = PerCount(s.gridEarly, bench::kCrowdBlockFrames);
    state.counters["kept/pass"] = PerCount(s.gridReuses, bench::kCrowdBlockFrames);
    state.counters["pushes/pass"] = PerCount(s.recoveryPushes, bench::kCrowdBlockFrames);
}

// Args: bodies, floor (0 flat, 1 the terrain), worker threads. The crowd of BM_CrowdBlocks meeting
// each other, timed by the wall clock (the workers' time is not the host thread's): pass_ms is one
// pass, jobs/pass the jobs handed to the workers.
void BM_CrowdBlocksWorkers(benchmark::State &state) {
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    Session session(false);
    SetWorkerCountVOR(static_cast<int32_t>(state.range(2)));
    uint64_t passes = 0;
    size_t recoveryBytes = 0;
    const double seconds = TimeCrowdBlocks(state, count, state.range(1) != 0, true, 0, WallSeconds,
                                           &passes, &recoveryBytes);
    SetWorkerCountVOR(1);
    state.counters["pass_ms"] = seconds * 1e3 / static_cast<double>(passes);
    state.counters["jobs/pass"] = PerCount(vor::ThreadStats().workerJobs, bench::kCrowdBlockFrames);
}

// The three kinds of level rays are cast at: 0 the heightfield with walls and crates of 128 x 128
// cells (36,864 triangles), 1 the same at 512 x 512 (577,536), 2 a bare 512 x 512 terrain
// (524,288).
uint32_t BuildRayLevel(int64_t kind, uint32_t *cells) {
    *cells = kind == 0 ? 128 : 512;
    return kind == 2 ? bench::BuildTerrain(*cells, 1.0f) : bench::BuildLevel(*cells, 1);
}

// Args: plain scans, rays per iteration, level kind (above).
void BM_RaysLevel(benchmark::State &state) {
    Session session(state.range(0) != 0);
    uint32_t cells = 0;
    const uint32_t triangles = BuildRayLevel(state.range(2), &cells);
    const std::vector<bench::Ray> rays =
        bench::LevelRays(static_cast<uint32_t>(state.range(1)), cells, kRaySeed);
    RayIntersectObjectVOR(bench::kLevelObject, 2, 1, 5, 1, 1, -5, 1); // builds the hierarchy
    vor::ResetStats();
    int64_t hits = 0;
    for (auto _ : state) {
        for (const bench::Ray &r : rays) {
            hits += RayIntersectObjectVOR(bench::kLevelObject, 2, r.from[0], r.from[1], r.from[2],
                                          r.to[0], r.to[1], r.to[2]);
        }
    }
    const vor::WorkCounters &s = vor::ThreadStats();
    state.counters["ray"] = Counter(static_cast<double>(rays.size()),
                                    Counter::kIsIterationInvariantRate | Counter::kInvert);
    state.counters["triangles"] = triangles;
    state.counters["hit_rate"] = PerCount(hits, rays.size() * state.iterations());
    state.counters["tested/ray"] = PerCount(s.rayTriangles, s.meshRays);
    state.counters["nodes/ray"] = PerCount(s.accelRayNodes, s.meshRays);
    state.counters["leaves/ray"] = PerCount(s.accelRayLeaves, s.meshRays);
    state.counters["items/ray"] = PerCount(s.accelRayItems, s.meshRays);
    state.counters["accel_B"] = static_cast<double>(bench::LevelAccelBytes());
    state.counters["tri_B"] = static_cast<double>(bench::LevelTriangleBytes());
}

// A line of sight across a 500 x 500 heightfield (500,000 triangles), corner to corner.
void BM_LongRay(benchmark::State &state) {
    Session session(state.range(0) != 0);
    bench::BuildTerrain(500, 0.2f);
    RayIntersectObjectVOR(bench::kLevelObject, 2, 1, 5, 1, 1, -5, 1); // builds the hierarchy
    int64_t hits = 0;
    for (auto _ : state) {
        hits +=
            RayIntersectObjectVOR(bench::kLevelObject, 2, 0.5f, 8.5f, 0.5f, 499.5f, -0.5f, 499.5f);
    }
    state.counters["hit"] = PerCount(hits, state.iterations());
    state.counters["dist"] = vorFloatFromBits(RayHitDist());
}

// One character (0.25, 0.45, 0.25) asked across the same heightfield in one frame, from
// (1, 8.5, 1) to (499, 0.5, 499), slide-and-stand: the time of that one pass.
void BM_LongStep(benchmark::State &state) {
    Session session(state.range(0) != 0);
    bench::BuildTerrain(500, 0.2f);
    constexpr uint32_t kBody = bench::kLevelObject + 1;
    NewCollObjVOR(kBody, bench::kCharacterType);
    AddObjShapeVOR(kBody, 1);
    SetObjRadiusVOR(kBody, 0.25f, 0.45f, 0.25f);
    ActivateObjVOR(kBody);
    SetCollisionsVOR(bench::kCharacterType, bench::kLevelType, 2, 3, 1);
    const auto teleportToStart = [] {
        SetObjPosVOR(1, 8.5f, 1);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(kBody, 1);
        RunCollisionVOR();
    };
    const auto stepAcross = [] {
        SetObjPosVOR(499, 0.5f, 499);
        UpdateObjVOR(kBody, 0);
        RunCollisionVOR();
    };
    // Once untimed: the first step builds the hierarchy, which is not what this measures.
    teleportToStart();
    stepAcross();
    for (auto _ : state) {
        state.PauseTiming();
        teleportToStart();
        state.ResumeTiming();
        stepAcross();
    }
    state.counters["x"] = vorFloatFromBits(PeekObjXVOR(kBody));
    state.counters["y"] = vorFloatFromBits(PeekObjYVOR(kBody));
    state.counters["contacts"] = CountCollisionsVOR(kBody);
}

// A frame of a host that adds one triangle (a decal, debris) to a 512 x 512 terrain (524,288
// triangles) and then runs a pass with 64 characters on it. Arg: add a triangle each frame (0/1).
void BM_AddTrianglePerFrame(benchmark::State &state) {
    constexpr uint32_t kCells = 512;
    Session session(false);
    bench::BuildTerrain(kCells, 1.0f);
    std::vector<bench::Walker> walkers = bench::BuildCharacters(64, kCells, 2);
    bench::Random random{13};
    for (int k = 0; k < kWarmUpFrames; ++k) {
        bench::StepCharacters(walkers, kCells, random);
    }
    vor::ResetStats();
    double worst = 0;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        if (state.range(0) != 0) {
            const float x = random.Uniform(1, kCells - 1), z = random.Uniform(1, kCells - 1);
            const float y = bench::GroundHeight(x, z) + 0.01f;
            AddMeshTri(bench::kLevelObject, x, y, z, x, y, z + 0.5f, x + 0.5f, y, z);
        }
        bench::StepCharacters(walkers, kCells, random);
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - begin;
        worst = std::max(worst, took.count());
    }
    state.counters["worst_ms"] = worst;
    state.counters["builds"] = static_cast<double>(vor::ThreadStats().accelBuilds);
    state.counters["accel_B"] = static_cast<double>(bench::LevelAccelBytes());
    state.counters["tri_B"] = static_cast<double>(bench::LevelTriangleBytes());
}

// Args: crowd size, plain scans. Rays against every ellipsoid of the crowd's type.
void BM_RaysCrowd(benchmark::State &state) {
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    Session session(state.range(1) != 0);
    float arena = 0;
    std::vector<bench::Walker> walkers = bench::BuildCrowd(count, 3, &arena);
    bench::Random random{9};
    bench::StepCrowd(walkers, arena, random);
    const std::vector<bench::Ray> rays = bench::CrowdRays(10000, arena, kRaySeed);
    int64_t hits = 0;
    RayIntersectTypeVOR(bench::kCrowdType, 1, 0, 0.1f, 0, 1, 0.1f, 0); // makes the type's tree
    vor::ResetStats();
    for (auto _ : state) {
        for (const bench::Ray &r : rays) {
            hits += RayIntersectTypeVOR(bench::kCrowdType, 1, r.from[0], r.from[1], r.from[2],
                                        r.to[0], r.to[1], r.to[2]);
        }
    }
    state.counters["ray"] = Counter(static_cast<double>(rays.size()),
                                    Counter::kIsIterationInvariantRate | Counter::kInvert);
    state.counters["hit_rate"] = PerCount(hits, rays.size() * state.iterations());
    state.counters["index_B"] = static_cast<double>(vor::EllipsoidRayIndexBytes());
    const double cast = static_cast<double>(rays.size() * state.iterations());
    state.counters["nodes/ray"] = static_cast<double>(vor::ThreadStats().typeRayNodes) / cast;
    state.counters["tested/ray"] = static_cast<double>(vor::ThreadStats().typeRayEllipsoids) / cast;
}

// Args: level cells per side. Building the hierarchy from scratch (first sweep after a change).
void BM_HierarchyBuild(benchmark::State &state) {
    const uint32_t cells = static_cast<uint32_t>(state.range(0));
    Session session(false);
    const uint32_t triangles = bench::BuildLevel(cells, 1);
    vor::MeshShape *mesh = nullptr;
    for (vor::ListLink *l = vor::ObjectTable[bench::kLevelObject]->body->shapes.head; l != nullptr;
         l = l->next) {
        mesh = vor::AsMesh(vor::MemberOf<vor::ShapeHead>(l));
    }
    const vor::Matrix4 identity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    const vor::Vec3 p = {1, 1, 1}, r = {1, 1, 1};
    uint32_t n = 0;
    for (auto _ : state) {
        vor::MeshAccelInvalidate(mesh);
        benchmark::DoNotOptimize(vor::MeshAccelQuery(mesh, identity, p, p, r, &n));
    }
    state.counters["triangles"] = triangles;
    state.counters["accel_B"] = static_cast<double>(vor::MeshAccelBytes(mesh));
    state.counters["tri_B"] = static_cast<double>(vor::MeshTriangleBytes(mesh));
}

} // namespace

BENCHMARK(BM_Characters)
    ->ArgNames({"cells", "chars", "plain"})
    ->ArgsProduct({{32, 128, 512}, {1, 64, 1024}, {0}})
    ->Args({32, 1, 1})
    ->Args({32, 64, 1})
    ->Args({32, 1024, 1})
    ->Args({128, 1, 1})
    ->Args({128, 64, 1})
    ->Args({512, 1, 1})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CharactersWorkers)
    ->ArgNames({"cells", "chars", "workers"})
    ->ArgsProduct({{128, 512}, {8, 16, 64, 1024}, {1, 2}})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Crowd)
    ->ArgNames({"bodies", "plain"})
    ->ArgsProduct({{100, 1000, 4000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrowdBlocks)
    ->ArgNames({"bodies", "terrain", "meet", "recover"})
    ->ArgsProduct({{1000, 4000}, {0, 1}, {1, 0}, {0}})
    ->Args({1000, 0, 1, 1})
    ->Args({4000, 0, 1, 1})
    ->Args({4000, 1, 1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrowdBlocksWorkers)
    ->ArgNames({"bodies", "terrain", "workers"})
    ->ArgsProduct({{64, 1000, 4000}, {0, 1}, {1, 2}})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RaysLevel)
    ->ArgNames({"plain", "rays", "level"})
    ->ArgsProduct({{0}, {10000}, {0, 1, 2}})
    ->Args({1, 100, 0})
    ->Args({1, 100, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LongRay)->ArgNames({"plain"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LongStep)->ArgNames({"plain"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddTrianglePerFrame)
    ->ArgNames({"add"})
    ->Arg(0)
    ->Arg(1)
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RaysCrowd)
    ->ArgNames({"bodies", "plain"})
    ->Args({1000, 0})
    ->Args({4000, 0})
    ->Args({4000, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HierarchyBuild)
    ->ArgNames({"cells"})
    ->Arg(32)
    ->Arg(128)
    ->Arg(512)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
