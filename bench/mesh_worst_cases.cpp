// Worst cases of the mesh searches, through the exports as a host drives them: a ray through many
// equal hits, rays of growing length, triangles added one by one with a ray after each, a level
// growing past a sixteenth of itself, and a flat body's long step, each on a level of about 500k
// triangles.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <vector>

#include "core/module_state.h"
#include "scenes.h"
#include "vorcollide.h"

namespace {

constexpr uint32_t kCells = 500;
constexpr float kLidX = 100.0f, kLidZ = 100.0f;

// This thread's processor time in ms: on a loaded machine, what a call costs apart from waiting.
double ThreadMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

void MeshRay(const float f[3], const float t[3]) {
    RayIntersectObjectVOR(bench::kLevelObject, 2, f[0], f[1], f[2], t[0], t[1], t[2]);
}

// Args: copies of one lid 3 units over the ground. A ray straight down through all of them.
void BM_RayThroughEqualHits(benchmark::State &state) {
    StopCollisionVOR();
    bench::BuildLevel(kCells, 1);
    const float h = bench::GroundHeight(kLidX, kLidZ) + 3;
    for (int64_t k = 0; k < state.range(0); ++k) {
        AddMeshTri(bench::kLevelObject, kLidX, h, kLidZ, kLidX, h, kLidZ + 2, kLidX + 2, h, kLidZ);
    }
    const float f[3] = {kLidX + 0.3f, h + 10, kLidZ + 0.6f},
                t[3] = {kLidX + 0.3f, h - 20, kLidZ + 0.6f};
    MeshRay(f, t); // builds the hierarchy
    vor::ResetStats();
    for (auto _ : state) {
        MeshRay(f, t);
    }
    state.counters["hit"] = RayHitObjVOR();
    state.counters["triangles/ray"] = static_cast<double>(vor::ThreadStats().rayTriangles) /
                                      static_cast<double>(state.iterations());
    state.counters["nodes/ray"] = static_cast<double>(vor::ThreadStats().accelRayNodes) /
                                  static_cast<double>(state.iterations());
    state.counters["leaf_items/ray"] = static_cast<double>(vor::ThreadStats().accelRayItems) /
                                       static_cast<double>(state.iterations());
    StopCollisionVOR();
}

// Args: the ray's length as a power of ten. The same ray, from 20 units up, down onto the ground.
void BM_LongRay(benchmark::State &state) {
    StopCollisionVOR();
    bench::BuildLevel(kCells, 1);
    const float length = std::pow(10.0f, static_cast<float>(state.range(0)));
    const float d[3] = {0.6f, -0.1f, 0.79f};
    const float n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    const float f[3] = {30.2f, 20, 40.7f};
    const float t[3] = {f[0] + length * d[0] / n, f[1] + length * d[1] / n,
                        f[2] + length * d[2] / n};
    MeshRay(f, t);
    for (auto _ : state) {
        MeshRay(f, t);
    }
    state.counters["hit"] = RayHitObjVOR();
    StopCollisionVOR();
}

// Args: 0 the same triangle again and again, 1 triangles scattered over the level. 600 additions,
// a ray after each; the counters give the slowest and the total of those calls (processor time).
void BM_AddTrianglesWithRays(benchmark::State &state) {
    for (auto _ : state) {
        state.PauseTiming();
        StopCollisionVOR();
        bench::BuildLevel(kCells, 1);
        const float f[3] = {kLidX + 0.3f, 20, kLidZ + 0.6f},
                    t[3] = {kLidX + 0.3f, -20, kLidZ + 0.6f};
        MeshRay(f, t);
        bench::Random random{5};
        vor::ResetStats();
        double worst = 0, total = 0, worstAt = 0;
        for (int k = 0; k < 600; ++k) {
            const float x = state.range(0) == 0 ? kLidX : random.Uniform(2, kCells - 4);
            const float z = state.range(0) == 0 ? kLidZ : random.Uniform(2, kCells - 4);
            const float y = bench::GroundHeight(x, z) + 3;
            const double start = ThreadMs();
            AddMeshTri(bench::kLevelObject, x, y, z, x, y, z + 2, x + 2, y, z);
            MeshRay(f, t);
            const double ms = ThreadMs() - start;
            worstAt = ms > worst ? k : worstAt;
            worst = std::max(worst, ms);
            total += ms;
        }
        state.counters["builds"] = static_cast<double>(vor::ThreadStats().accelBuilds);
        state.counters["growths"] = static_cast<double>(vor::ThreadStats().accelArrayGrowths);
        state.counters["subtree items"] = static_cast<double>(vor::ThreadStats().accelSubtreeItems);
        state.counters["depth"] = static_cast<double>(vor::ThreadStats().accelInsertDepthMost);
        state.counters["worst ms"] = worst;
        state.counters["worst at"] = worstAt;
        state.counters["total ms"] = total;
        state.ResumeTiming();
    }
    StopCollisionVOR();
}

// Args: triangles added a frame, characters walking. A level that grows past a sixteenth of
// itself: frames of scattered additions and four rays down at random places (and a pass of the
// characters), each frame timed (processor time). The counters give the slowest and the mean
// frame, the whole builds after the first and the rebuilds done in slices and put in place.
void BM_GrowingLevel(benchmark::State &state) {
    const int perFrame = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        StopCollisionVOR();
        const uint32_t triangles = bench::BuildLevel(kCells, 1);
        bench::Random random{17};
        std::vector<bench::Walker> walkers =
            bench::BuildCharacters(static_cast<uint32_t>(state.range(1)), kCells, 2);
        const float f[3] = {kLidX, 20, kLidZ}, t[3] = {kLidX, -20, kLidZ};
        MeshRay(f, t);
        bench::StepCharacters(walkers, kCells, random);
        vor::ResetStats();
        const int frames = static_cast<int>(triangles / 16 * 5 / 4) / perFrame + 200;
        double worst = 0, total = 0;
        for (int k = 0; k < frames; ++k) {
            const double start = ThreadMs();
            for (int a = 0; a < perFrame; ++a) {
                const float x = random.Uniform(2, kCells - 4), z = random.Uniform(2, kCells - 4);
                const float y = bench::GroundHeight(x, z) + 1;
                AddMeshTri(bench::kLevelObject, x, y, z, x, y, z + 1, x + 1, y, z);
            }
            for (int r = 0; r < 4; ++r) {
                const float x = random.Uniform(2, kCells - 4), z = random.Uniform(2, kCells - 4);
                const float from[3] = {x, 20, z}, to[3] = {x, -20, z};
                MeshRay(from, to);
            }
            if (!walkers.empty()) {
                bench::StepCharacters(walkers, kCells, random);
            }
            const double ms = ThreadMs() - start;
            worst = std::max(worst, ms);
            total += ms;
        }
        state.counters["frames"] = frames;
        state.counters["worst ms"] = worst;
        state.counters["mean ms"] = total / frames;
        state.counters["builds"] = static_cast<double>(vor::ThreadStats().accelBuilds);
        state.counters["spread"] = static_cast<double>(vor::ThreadStats().accelSpreadRebuilds);
        state.counters["growths"] = static_cast<double>(vor::ThreadStats().accelArrayGrowths);
        state.counters["moves"] = static_cast<double>(vor::ThreadStats().accelArrayMoves);
        state.ResumeTiming();
    }
    StopCollisionVOR();
}

// Args: 0 a character (0.25, 0.45, 0.25), 1 a flat body (2, 0.4, 2), 2 a disc (4, 0.2, 4), its
// radii 20 times apart. One step diagonally across the level, the pass timed.
void BM_LongStepAcrossLevel(benchmark::State &state) {
    StopCollisionVOR();
    bench::BuildLevel(kCells, 1);
    SetCollisionsVOR(bench::kCharacterType, bench::kLevelType, 2, 3, 1);
    const uint32_t body = 2;
    NewCollObjVOR(body, bench::kCharacterType);
    AddObjShapeVOR(body, 1);
    if (state.range(0) == 0) {
        SetObjRadiusVOR(body, 0.25f, 0.45f, 0.25f);
    } else if (state.range(0) == 1) {
        SetObjRadiusVOR(body, 2, 0.4f, 2);
    } else {
        SetObjRadiusVOR(body, 4, 0.2f, 4);
    }
    ActivateObjVOR(body);
    // Built before the clock runs: a step that teleports sweeps nothing, so the first timed pass
    // would otherwise pay for the whole level's hierarchy.
    const float f[3] = {kLidX, 20, kLidZ}, t[3] = {kLidX, -20, kLidZ};
    MeshRay(f, t);
    for (auto _ : state) {
        state.PauseTiming();
        SetObjPosVOR(20, bench::GroundHeight(20, 20) + 0.5f, 20);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(body, 1);
        RunCollisionVOR();
        const float far = static_cast<float>(kCells - 20);
        SetObjPosVOR(far, bench::GroundHeight(far, far) + 0.5f, far);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(body, 0);
        vor::ResetStats();
        state.ResumeTiming();
        RunCollisionVOR();
    }
    state.counters["sweeps"] = static_cast<double>(vor::ThreadStats().meshSweeps);
    state.counters["triangles"] = static_cast<double>(vor::ThreadStats().trianglesTested);
    state.counters["builds"] =
        static_cast<double>(vor::ThreadStats().accelBuilds + vor::ThreadStats().accelRefits);
    StopCollisionVOR();
}

// Args: 0 the level still, 1 the level turning a little about y each frame. A 300 x 300 terrain
// (180,000 triangles) and one character standing on it, a step and a pass a frame, the pass timed.
void BM_TurningLevel(benchmark::State &state) {
    StopCollisionVOR();
    bench::BuildTerrain(300, 1);
    SetCollisionsVOR(bench::kCharacterType, bench::kLevelType, 2, 3, 1);
    const uint32_t body = 2;
    NewCollObjVOR(body, bench::kCharacterType);
    AddObjShapeVOR(body, 1);
    SetObjRadiusVOR(body, 0.25f, 0.45f, 0.25f);
    SetObjPosVOR(150, bench::GroundHeight(150, 150) + 0.5f, 150);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(body, 1);
    ActivateObjVOR(body);
    RunCollisionVOR();
    vor::ResetStats();
    int64_t frame = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (state.range(0) != 0) {
            const float yaw = 0.001f * static_cast<float>(frame % 200 - 100);
            SetObjPosVOR(0, 0, 0);
            SetObjRotVOR(0, yaw, 0);
            UpdateObjVOR(bench::kLevelObject, 0);
        }
        const float x = 150.0f + 0.02f * static_cast<float>(frame % 50);
        SetObjPosVOR(x, bench::GroundHeight(x, 150) + 0.4f, 150);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(body, 0);
        frame += 1;
        state.ResumeTiming();
        RunCollisionVOR();
    }
    const double passes = static_cast<double>(state.iterations());
    state.counters["triangles/pass"] =
        static_cast<double>(vor::ThreadStats().trianglesTested) / passes;
    state.counters["refits"] = static_cast<double>(vor::ThreadStats().accelRefits);
    state.counters["builds"] = static_cast<double>(vor::ThreadStats().accelBuilds);
    StopCollisionVOR();
}

} // namespace

BENCHMARK(BM_RayThroughEqualHits)
    ->ArgNames({"copies"})
    ->Arg(1)
    ->Arg(64)
    ->Arg(65)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LongRay)
    ->ArgNames({"log10 length"})
    ->Arg(3)
    ->Arg(9)
    ->Arg(12)
    ->Arg(19)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddTrianglesWithRays)
    ->ArgNames({"scattered"})
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrowingLevel)
    ->ArgNames({"per_frame", "walkers"})
    ->Args({16, 0})
    ->Args({256, 0})
    ->Args({256, 64})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LongStepAcrossLevel)
    ->ArgNames({"flat"})
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(50)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TurningLevel)->ArgNames({"turning"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
