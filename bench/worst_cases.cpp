// Worst cases a host can reach through the exports, so that each figure the README gives for them
// can be measured again: report-only contacts piling up on one body (a stack of thin triangles,
// a crowd asked to one point, and the free and stop that follow), one outlier in a crowd's pair
// grid (a huge body, a body moved far), bodies sliding round a ring wall until the iteration
// bound, and definitions re-declared every frame. Only exported functions are called.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/module_state.h"
#include "scenes.h"
#include "vorcollide.h"

namespace {

constexpr uint32_t kPileObjects = 5000;
const float kPi = 3.14159265f;

void Place(uint32_t object, float x, float y, float z) {
    SetObjPosVOR(x, y, z);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(object, 1);
}

void Move(uint32_t object, float x, float y, float z) {
    SetObjPosVOR(x, y, z);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(object, 0);
}

// A mesh (object 1, type 2) of n thin triangles stacked 1 mm apart, and a unit ellipsoid (object
// 2, type 1) under a report-only mesh definition. Answers the height under the stack.
float BuildStack(uint32_t n) {
    SetCollisionsVOR(1, 2, 2, 5, 1);
    NewCollObjVOR(1, 2);
    AddObjShapeVOR(1, 2);
    float y = 0;
    for (uint32_t k = 0; k < n; ++k) {
        y = -0.001f * static_cast<float>(k);
        AddMeshTri(1, -5, y, -5, -5, y, 5, 5, y, -5);
    }
    Place(1, 0, 0, 0);
    ActivateObjVOR(1);
    NewCollObjVOR(2, 1);
    AddObjShapeVOR(2, 1);
    ActivateObjVOR(2);
    return y;
}

// Args: triangles. One pass moving the ellipsoid from above the stack to below it in one step.
void BM_ReportStack(benchmark::State &state) {
    StopCollisionVOR();
    const float bottom = BuildStack(static_cast<uint32_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        Place(2, -1, 2, -1);
        Move(2, -1, bottom - 2, -1);
        state.ResumeTiming();
        RunCollisionVOR();
    }
    state.counters["collisions"] = CountCollisionsVOR(2);
    StopCollisionVOR();
}

// Bodies 1..n of radii (0.25, 0.45, 0.25), type 1, under one definition of the given response
// (5: report only) against each other, all asked from a circle to one point.
void BuildPile(uint32_t n, uint32_t response = 5) {
    SetCollisionsVOR(1, 1, 1, response, 1);
    for (uint32_t k = 1; k <= n; ++k) {
        NewCollObjVOR(k, 1);
        AddObjShapeVOR(k, 1);
        SetObjRadiusVOR(k, 0.25f, 0.45f, 0.25f);
        const float a = 2 * kPi * static_cast<float>(k) / static_cast<float>(n);
        Place(k, 10 * std::cos(a), 0, 10 * std::sin(a));
        ActivateObjVOR(k);
    }
    for (uint32_t k = 1; k <= n; ++k) {
        Move(k, 0, 0, 0);
    }
}

// Args: bodies. The pass that piles them up.
void BM_ReportPilePass(benchmark::State &state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        StopCollisionVOR();
        BuildPile(n);
        state.ResumeTiming();
        RunCollisionVOR();
    }
    state.counters["collisions/body"] = CountCollisionsVOR(1);
    StopCollisionVOR();
}

// Args: bodies. The same pile with slide (response 2): every body meets every other in every
// iteration. Counters: the collisions of the first body, the iterations and the pair sweeps.
void BM_DensePilePass(benchmark::State &state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        StopCollisionVOR();
        BuildPile(n, 2);
        vor::ResetStats();
        state.ResumeTiming();
        RunCollisionVOR();
    }
    state.counters["collisions/body"] = CountCollisionsVOR(1);
    state.counters["iterations"] = static_cast<double>(vor::ThreadStats().passIterations);
    state.counters["pairs"] = static_cast<double>(vor::ThreadStats().pairsTested);
    StopCollisionVOR();
}

// Args: bodies. Freeing one body of the pile after the pass.
void BM_ReportPileFree(benchmark::State &state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        StopCollisionVOR();
        BuildPile(n);
        RunCollisionVOR();
        state.ResumeTiming();
        FreeObjVOR(n / 2);
    }
    StopCollisionVOR();
}

// Args: bodies. Stopping the module after the pass (what unloading it at exit does).
void BM_ReportPileStop(benchmark::State &state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        StopCollisionVOR();
        BuildPile(n);
        RunCollisionVOR();
        state.ResumeTiming();
        StopCollisionVOR();
    }
}

// Args: crowd size, outlier (0 none, 1 an ellipsoid of radius 50 far off, 2 a body moved 1e9
// units every frame). The outlier has the crowd's type and touches nothing.
void BM_CrowdOutlier(benchmark::State &state) {
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    const int64_t outlier = state.range(1);
    StopCollisionVOR();
    float arena = 0;
    std::vector<bench::Walker> walkers = bench::BuildCrowd(count, 3, &arena);
    const uint32_t odd = count + 1;
    if (outlier != 0) {
        NewCollObjVOR(odd, bench::kCrowdType);
        AddObjShapeVOR(odd, 1);
        if (outlier == 1) {
            SetObjRadiusVOR(odd, 50, 50, 50);
        }
        Place(odd, -2000, 0, -2000);
        ActivateObjVOR(odd);
    }
    bench::Random random{9};
    float far = 1e9f;
    for (auto _ : state) {
        if (outlier == 2) {
            Move(odd, far, 0, -2000);
            far = -far;
        }
        bench::StepCrowd(walkers, arena, random);
    }
    StopCollisionVOR();
}

// Args: crowd size, big bodies. A walking crowd (radii 0.25, 0.45, 0.25) with still bodies of
// radius 6 of its own type 50 units above, in layers 12.5 apart that touch nothing. A crowd of 1
// measures the big bodies' own pairs: every body is swept in a pass's first iteration.
void BM_CrowdBigBodies(benchmark::State &state) {
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    const uint32_t big = static_cast<uint32_t>(state.range(1));
    StopCollisionVOR();
    float arena = 0;
    bench::CrowdLayout(3000, 3, &arena);
    float crowdArena = 0;
    std::vector<bench::Walker> walkers = bench::BuildCrowd(count, 3, &crowdArena);
    const uint32_t perRow = static_cast<uint32_t>(arena / 12.5f) + 1;
    for (uint32_t k = 0; k < big; ++k) {
        const uint32_t n = count + 1 + k;
        NewCollObjVOR(n, bench::kCrowdType);
        AddObjShapeVOR(n, 1);
        SetObjRadiusVOR(n, 6, 6, 6);
        Place(n, static_cast<float>(k % perRow) * 12.5f,
              50.0f + static_cast<float>(k / perRow / perRow) * 12.5f,
              static_cast<float>(k / perRow % perRow) * 12.5f);
        ActivateObjVOR(n);
    }
    bench::Random random{9};
    bench::StepCrowd(walkers, crowdArena, random);
    vor::ResetStats();
    for (auto _ : state) {
        bench::StepCrowd(walkers, crowdArena, random);
    }
    state.counters["pairs/pass"] = static_cast<double>(vor::ThreadStats().pairsTested) /
                                   static_cast<double>(state.iterations());
    StopCollisionVOR();
}

// Args: crowd size, rays by type a frame (0: none, so no ray structure exists). The walking
// crowd's pass and its rays between passes; under callgrind with --toggle-collect on
// RunCollisionVOR the two settings give what keeping the ray structure costs the pass.
void BM_WalkingCrowdRays(benchmark::State &state) {
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    const uint32_t k = static_cast<uint32_t>(state.range(1));
    StopCollisionVOR();
    float arena = 0;
    std::vector<bench::Walker> walkers = bench::BuildCrowd(count, 3, &arena);
    const std::vector<bench::Ray> rays = bench::CrowdRays(1000, arena, 12);
    bench::Random random{9};
    uint32_t next = 0;
    for (auto _ : state) {
        bench::StepCrowd(walkers, arena, random);
        for (uint32_t j = 0; j < k; ++j, ++next) {
            const bench::Ray &r = rays[next % rays.size()];
            RayIntersectTypeVOR(bench::kCrowdType, 1, r.from[0], r.from[1], r.from[2], r.to[0],
                                r.to[1], r.to[2]);
        }
    }
    StopCollisionVOR();
}

// A wall ring of the given radius round (cx, cz), its facets facing in, as object obj of type 2.
void AddRing(uint32_t obj, uint32_t facets, float radius, float cx, float cz) {
    NewCollObjVOR(obj, 2);
    AddObjShapeVOR(obj, 2);
    for (uint32_t k = 0; k < facets; ++k) {
        const float a0 = 2 * kPi * static_cast<float>(k) / static_cast<float>(facets);
        const float a1 = 2 * kPi * static_cast<float>(k + 1) / static_cast<float>(facets);
        const float x0 = cx + radius * std::cos(a0), z0 = cz + radius * std::sin(a0);
        const float x1 = cx + radius * std::cos(a1), z1 = cz + radius * std::sin(a1);
        AddMeshTri(obj, x0, -5, z0, x1, 5, z1, x0, 5, z0);
        AddMeshTri(obj, x0, -5, z0, x1, -5, z1, x1, 5, z1);
    }
    Place(obj, 0, 0, 0);
    ActivateObjVOR(obj);
}

// Args: ring facets, bodies, floor cells per side (0: no floor), concave mode, ring radius,
// standing (1: on the floor under slide-and-stand). Bodies of radius 0.5
// just inside the ring, above the floor, asked to slide 400 units round it in one step (slide
// response): the wall turns each body facet after facet. Counter: the collisions of the first body,
// one per corrected step, and the iterations of the pass.
void BM_RingSlide(benchmark::State &state) {
    const uint32_t facets = static_cast<uint32_t>(state.range(0));
    const uint32_t bodies = static_cast<uint32_t>(state.range(1));
    const uint32_t cells = static_cast<uint32_t>(state.range(2));
    StopCollisionVOR();
    SetConcaveModeVOR(static_cast<uint32_t>(state.range(3)));
    const float radius = static_cast<float>(state.range(4));
    const bool standing = state.range(5) != 0;
    const float inside = radius - 1;
    const float step = radius * 20;
    float c = 0;
    if (cells != 0) {
        bench::BuildLevel(cells, 1); // object 1, type 2
        c = static_cast<float>(cells) * 0.5f;
        AddRing(kPileObjects, facets, radius, c, c);
    } else {
        AddRing(1, facets, radius, 0, 0);
    }
    SetCollisionsVOR(1, 2, 2, standing ? 3 : 2, 1);
    std::vector<float> start(bodies);
    for (uint32_t k = 0; k < bodies; ++k) {
        const uint32_t object = 10 + k;
        NewCollObjVOR(object, 1);
        AddObjShapeVOR(object, 1);
        SetObjRadiusVOR(object, 0.5f, 0.5f, 0.5f);
        start[k] = 2 * kPi * static_cast<float>(k) / static_cast<float>(bodies);
        ActivateObjVOR(object);
    }
    int32_t collisions = 0;
    uint64_t iterations = 0;
    const float y = 4.5f; // above the level's ground and crates
    for (auto _ : state) {
        state.PauseTiming();
        for (uint32_t k = 0; k < bodies; ++k) {
            const float ca = std::cos(start[k]), sa = std::sin(start[k]);
            const float x0 = c + inside * ca, z0 = c + inside * sa;
            // Standing: on the level's ground under gravity, slide-and-stand.
            const float y0 = standing ? bench::GroundHeight(x0, z0) + 0.5f : y;
            Place(10 + k, x0, y0, z0);
            Move(10 + k, x0 - step * sa, standing ? y0 - 0.5f : y, z0 + step * ca);
        }
        vor::ResetStats();
        state.ResumeTiming();
        RunCollisionVOR();
        collisions = CountCollisionsVOR(10);
        iterations = vor::ThreadStats().passIterations;
    }
    state.counters["collisions_body1"] = collisions;
    state.counters["iterations"] = static_cast<double>(iterations);
    StopCollisionVOR();
    SetConcaveModeVOR(3);
}

// Args: frames. A host that declares its one definition again every frame: the cost of the pass
// after that many frames.
void BM_RedeclaredDefinitions(benchmark::State &state) {
    const int64_t frames = state.range(0);
    StopCollisionVOR();
    float arena = 0;
    std::vector<bench::Walker> walkers = bench::BuildCrowd(100, 3, &arena);
    bench::Random random{9};
    for (int64_t k = 0; k < frames; ++k) {
        SetCollisionsVOR(bench::kCrowdType, bench::kCrowdType, 1, 2, 1);
    }
    for (auto _ : state) {
        bench::StepCrowd(walkers, arena, random);
    }
    StopCollisionVOR();
}

} // namespace

BENCHMARK(BM_ReportStack)
    ->ArgNames({"triangles"})
    ->Arg(8000)
    ->Arg(32000)
    ->Arg(64000)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportPilePass)
    ->ArgNames({"bodies"})
    ->Arg(1000)
    ->Arg(2000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DensePilePass)
    ->ArgNames({"bodies"})
    ->Arg(250)
    ->Arg(1000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportPileFree)
    ->ArgNames({"bodies"})
    ->Arg(1000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportPileStop)
    ->ArgNames({"bodies"})
    ->Arg(1000)
    ->Arg(2000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrowdOutlier)
    ->ArgNames({"bodies", "outlier"})
    ->Args({4000, 0})
    ->Args({4000, 1})
    ->Args({4000, 2})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrowdBigBodies)
    ->ArgNames({"crowd", "big"})
    ->Args({3000, 0})
    ->Args({3000, 300})
    ->Args({1, 300})
    ->Args({3000, 3000})
    ->Args({1, 3000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkingCrowdRays)
    ->ArgNames({"crowd", "rays"})
    ->ArgsProduct({{1000, 4000}, {0, 1, 16}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RingSlide)
    ->ArgNames({"facets", "bodies", "cells", "concave", "radius", "standing"})
    ->ArgsProduct({{600}, {20}, {0}, {1, 3}, {20, 100}, {0}})
    ->Args({600, 20, 300, 3, 100, 0})
    ->Args({600, 20, 300, 3, 20, 1})
    ->Args({600, 20, 300, 3, 100, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedeclaredDefinitions)
    ->ArgNames({"frames"})
    ->Arg(1)
    ->Arg(3000)
    ->Unit(benchmark::kMillisecond);
