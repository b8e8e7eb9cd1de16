// The search structures must never change a result: random scenes (rotated, scaled and moving
// meshes; ellipsoids with random radii, offsets and motions, overlapping at the start; random
// definitions, responses, concave and size modes) run once with the plain scans and once with the
// triangle hierarchy and the pair grid, and every value the host can read back must agree to the
// bit: positions, angles, every contact field, the collision stack and ray results.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/accel_mode.h"
#include "core/module_state.h"
#include "core/thresholds.h"
#include "math/matrix4.h"
#include "math/vec3.h"
#include "mesh/mesh_accel_build.h"
#include "mesh/mesh_accel_layout.h"
#include "query/ellipsoid_ray_index.h"
#include "support/test_support.h"

namespace {

constexpr uint32_t kMeshTypeA = 10;
constexpr uint32_t kMeshTypeB = 11;

// Everything read back, as bit patterns, with a label per value for the failure message.
struct Recording {
    std::vector<uint32_t> values;
    std::vector<std::string> labels;
    void Add(const std::string &label, int32_t v) {
        values.push_back(static_cast<uint32_t>(v));
        labels.push_back(label);
    }
};

struct Scene {
    std::mt19937 rng;
    std::vector<uint32_t> ellipsoids; // object numbers
    std::vector<uint32_t> meshes;
    std::vector<uint32_t> moving; // meshes that move every frame

    float U(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
    uint32_t I(uint32_t lo, uint32_t hi) {
        return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
    }
};

void Pose(Scene &sc, uint32_t n, float spread, bool rotate, uint32_t flag) {
    SetObjPosVOR(sc.U(-spread, spread), sc.U(-2, 2), sc.U(-spread, spread));
    if (rotate) {
        SetObjRotVOR(sc.U(-40, 40), sc.U(-180, 180), sc.U(-40, 40));
    } else {
        SetObjRotVOR(0, 0, 0);
    }
    UpdateObjVOR(n, flag);
}

// A mesh of a wavy ground patch, a few boxes and loose triangles, in random order of parts.
void BuildMesh(Scene &sc, uint32_t n, uint32_t type) {
    NewCollObjVOR(n, type);
    AddObjShapeVOR(n, 2);
    if (sc.I(0, 3) == 0) {
        AddObjShapeVOR(n, 2); // a second mesh shape receives the same triangles
    }
    const uint32_t cells = sc.I(5, 9);
    const float size = sc.U(0.5f, 2.0f);
    const float bump = sc.U(0.0f, 1.5f);
    for (uint32_t i = 0; i < cells; ++i) {
        for (uint32_t j = 0; j < cells; ++j) {
            const float x0 = (i - cells * 0.5f) * size, z0 = (j - cells * 0.5f) * size;
            const float x1 = x0 + size, z1 = z0 + size;
            const float h00 = sc.U(-bump, bump), h01 = sc.U(-bump, bump);
            const float h10 = sc.U(-bump, bump), h11 = sc.U(-bump, bump);
            AddMeshTri(n, x0, h00, z0, x0, h01, z1, x1, h10, z0);
            AddMeshTri(n, x1, h10, z0, x0, h01, z1, x1, h11, z1);
        }
    }
    const uint32_t loose = sc.I(0, 30);
    for (uint32_t k = 0; k < loose; ++k) {
        const float x = sc.U(-6, 6), y = sc.U(-1, 3), z = sc.U(-6, 6);
        AddMeshTri(n, x, y, z, x + sc.U(-2, 2), y + sc.U(-2, 2), z + sc.U(-2, 2), x + sc.U(-2, 2),
                   y + sc.U(-2, 2), z + sc.U(-2, 2));
    }
    // Duplicated triangles make exact ties between list positions.
    if (sc.I(0, 1) == 0) {
        AddMeshTri(n, -1, 0.2f, -1, -1, 0.2f, 1, 1, 0.2f, -1);
        AddMeshTri(n, -1, 0.2f, -1, -1, 0.2f, 1, 1, 0.2f, -1);
    }
    if (sc.I(0, 2) == 0) {
        SetObjScaleVOR(n, sc.U(50, 200), sc.U(50, 200), sc.U(50, 200));
    }
    Pose(sc, n, 3, sc.I(0, 1) == 0, 1);
    ActivateObjVOR(n);
    sc.meshes.push_back(n);
    if (sc.I(0, 2) == 0) {
        sc.moving.push_back(n);
    }
}

void BuildEllipsoid(Scene &sc, uint32_t n, uint32_t type, float spread) {
    NewCollObjVOR(n, type);
    AddObjShapeVOR(n, 1);
    if (sc.I(0, 5) == 0) {
        AddObjShapeVOR(n, 1); // a second ellipsoid of the same body
    }
    if (sc.I(0, 3) == 0) {
        SetObjRadiusVOR(n, sc.U(0.2f, 1.5f), sc.U(0.2f, 1.5f), sc.U(0.2f, 1.5f));
    } else {
        const float r = sc.U(0.2f, 0.8f);
        SetObjRadiusVOR(n, r, r * 1.6f, r);
    }
    if (sc.I(0, 3) == 0) {
        SetEllipOffsetVOR(n, sc.U(-0.5f, 0.5f), sc.U(-0.5f, 0.5f), sc.U(-0.5f, 0.5f));
    }
    if (sc.I(0, 1) == 0) {
        SetObjGravityVOR(n, sc.U(0, 0.3f));
    }
    SetObjPosVOR(sc.U(-spread, spread), sc.U(-0.5f, 3), sc.U(-spread, spread));
    SetObjRotVOR(0, sc.U(-180, 180), 0);
    UpdateObjVOR(n, 1);
    if (sc.I(0, 9) != 0) {
        ActivateObjVOR(n);
    }
    sc.ellipsoids.push_back(n);
}

void RandomDefinitions(Scene &sc) {
    const uint32_t count = sc.I(2, 6);
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t source = sc.I(1, 2);
        if (sc.I(0, 1) == 0) {
            SetCollisionsVOR(source, sc.I(0, 1) == 0 ? kMeshTypeA : kMeshTypeB, 2, sc.I(1, 5),
                             sc.I(1, 4));
        } else {
            SetCollisionsVOR(source, sc.I(1, 2), 1, sc.I(1, 5), sc.I(1, 4));
        }
    }
    // Most scenes get an ellipsoid definition within one type, which the pair grid serves.
    if (sc.I(0, 3) != 0) {
        SetCollisionsVOR(1, 1, 1, sc.I(1, 5), 1);
    }
}

void RecordRay(Recording &rec, const std::string &label, int32_t answer) {
    rec.Add(label + " answer", answer);
    rec.Add(label + " x", RayHitPosX());
    rec.Add(label + " y", RayHitPosY());
    rec.Add(label + " z", RayHitPosZ());
    rec.Add(label + " nx", RayHitNormX());
    rec.Add(label + " ny", RayHitNormY());
    rec.Add(label + " nz", RayHitNormZ());
    rec.Add(label + " dist", RayHitDist());
    rec.Add(label + " obj", RayHitObjVOR());
    rec.Add(label + " type", RayHitTypeVOR());
}

void RecordFrame(Scene &sc, Recording &rec, int frame) {
    const std::string f = "frame " + std::to_string(frame) + " ";
    std::vector<uint32_t> all = sc.ellipsoids;
    all.insert(all.end(), sc.meshes.begin(), sc.meshes.end());
    for (uint32_t n : all) {
        const std::string o = f + "obj " + std::to_string(n) + " ";
        rec.Add(o + "x", PeekObjXVOR(n));
        rec.Add(o + "y", PeekObjYVOR(n));
        rec.Add(o + "z", PeekObjZVOR(n));
        rec.Add(o + "pitch", PeekObjPitch(n));
        rec.Add(o + "yaw", PeekObjYaw(n));
        rec.Add(o + "roll", PeekObjRoll(n));
        const int32_t count = CountCollisionsVOR(n);
        rec.Add(o + "contacts", count);
        for (int32_t i = 1; i <= count; ++i) {
            const std::string c = o + "contact " + std::to_string(i) + " ";
            for (int32_t axis = 1; axis <= 3; ++axis) {
                rec.Add(c + "pos" + std::to_string(axis), CollisionHitPos(n, i, axis));
                rec.Add(c + "norm" + std::to_string(axis), CollisionHitNorm(n, i, axis));
                for (int32_t corner = 1; corner <= 3; ++corner) {
                    rec.Add(c + "corner" + std::to_string(corner) + std::to_string(axis),
                            CollisionTriCorner(n, i, corner, axis));
                }
            }
            rec.Add(c + "obj", CollisionHitObj(n, i));
            rec.Add(c + "type", CollisionHitType(n, i));
            rec.Add(c + "shape", CollisionHitShape(n, i));
            rec.Add(c + "poly", CollisionHitPoly(n, i));
        }
    }
    ResetCollisionStackVOR();
    for (int k = 0; k < 200; ++k) {
        const int32_t next = PeekCollisionStackVOR();
        rec.Add(f + "stack", next);
        if (next == 0) {
            break;
        }
    }
    // Rays: against each mesh object, and against every type and kind.
    for (int k = 0; k < 6; ++k) {
        const float sx = sc.U(-8, 8), sy = sc.U(-3, 6), sz = sc.U(-8, 8);
        const float ex = sc.U(-8, 8), ey = sc.U(-3, 6), ez = sc.U(-8, 8);
        for (uint32_t m : sc.meshes) {
            RecordRay(rec, f + "ray mesh", RayIntersectObjectVOR(m, 2, sx, sy, sz, ex, ey, ez));
        }
        for (uint32_t type = 1; type <= 2; ++type) {
            RecordRay(rec, f + "ray type", RayIntersectTypeVOR(type, 1, sx, sy, sz, ex, ey, ez));
        }
        RecordRay(rec, f + "ray meshes",
                  RayIntersectTypeVOR(kMeshTypeA, 2, sx, sy, sz, ex, ey, ez));
    }
}

// Builds and runs one scene from the seed, recording everything.
Recording RunScene(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Recording rec;
    SetEllipSizeModeVOR(static_cast<int32_t>(sc.I(0, 1)));
    SetConcaveModeVOR(sc.I(1, 7));
    SetEllipOptimizeVOR(static_cast<int32_t>(sc.I(0, 1)));
    const uint32_t meshes = sc.I(1, 3);
    for (uint32_t k = 0; k < meshes; ++k) {
        BuildMesh(sc, 100 + k, k % 2 == 0 ? kMeshTypeA : kMeshTypeB);
    }
    const uint32_t bodies = sc.I(18, 40);
    const float spread = sc.U(2, 7); // small spreads crowd the bodies into each other
    for (uint32_t k = 0; k < bodies; ++k) {
        BuildEllipsoid(sc, 1 + k, sc.I(0, 3) == 0 ? 2 : 1, spread);
    }
    RandomDefinitions(sc);

    const int frames = static_cast<int>(sc.I(3, 5));
    for (int frame = 0; frame < frames; ++frame) {
        for (uint32_t m : sc.moving) {
            Pose(sc, m, 3, true, 0);
        }
        for (uint32_t n : sc.ellipsoids) {
            const float step = sc.I(0, 5) == 0 ? 0.0f : sc.U(0.0f, 1.5f);
            const float x = F(PeekObjXVOR(n)), y = F(PeekObjYVOR(n)), z = F(PeekObjZVOR(n));
            SetObjPosVOR(x + sc.U(-step, step), y + sc.U(-step, step), z + sc.U(-step, step));
            SetObjRotVOR(0, sc.U(-180, 180), 0);
            UpdateObjVOR(n, 0);
        }
        RunCollisionVOR();
        RecordFrame(sc, rec, frame);
    }
    return rec;
}

// A crowd for rays by type: bodies on a lattice, some sharing a position exactly (equal
// distances), a few with out-of-range centres or radii, then rays of every placement with churn
// between them (free, deactivate, reactivate last, place, move through a pass, resize, replace).
Recording RunCrowdRays(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Recording rec;
    const uint32_t count = sc.I(10, 260);
    const uint32_t side = sc.I(2, 16);
    const float pitch = sc.U(0.4f, 2.0f);
    std::vector<vor::Vec3> spots; // lattice positions handed out so far
    auto spot = [&](uint32_t k) {
        if (!spots.empty() && sc.I(0, 5) == 0) {
            return spots[sc.I(0, static_cast<uint32_t>(spots.size()) - 1)];
        }
        const vor::Vec3 p = {static_cast<float>(k % side) * pitch,
                             sc.I(0, 3) == 0 ? sc.U(-1, 1) : 0,
                             static_cast<float>(k / side % side) * pitch};
        spots.push_back(p);
        return p;
    };
    auto place = [&](uint32_t n, uint32_t k) {
        const vor::Vec3 p = spot(k);
        switch (sc.I(0, 40)) {
        case 0:
            SetObjPosVOR(NAN, p.y, p.z);
            break;
        case 1:
            SetObjPosVOR(p.x, 3e19f, p.z);
            break;
        case 2:
            SetObjPosVOR(-INFINITY, p.y, p.z);
            break;
        default:
            SetObjPosVOR(p.x, p.y, p.z);
            break;
        }
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
    };
    auto radius = [&](uint32_t n) {
        switch (sc.I(0, 13)) {
        case 3: // so large that a ray's unit direction can vanish: no nearest-first exit for the
                // type from then on, so only in one scene of four
            if (seed % 4 == 0) {
                SetObjRadiusVOR(n, 1e5f, 2e5f, 1e5f);
            } else {
                SetObjRadiusVOR(n, 0.25f, 0.45f, 0.25f);
            }
            break;
        case 0:
            SetObjRadiusVOR(n, sc.U(0.1f, 2), sc.U(0.1f, 2), sc.U(0.1f, 2));
            break;
        case 1:
            SetObjRadiusVOR(n, 1e-20f, 0.45f, 0.25f);
            break;
        case 2:
            SetObjRadiusVOR(n, 0.25f, INFINITY, 0.25f);
            break;
        default:
            SetObjRadiusVOR(n, 0.25f, 0.45f, 0.25f);
            break;
        }
    };
    auto create = [&](uint32_t n, uint32_t k) {
        NewCollObjVOR(n, sc.I(0, 4) == 0 ? 2 : 1);
        if (sc.I(0, 6) == 0) {
            AddObjShapeVOR(n, 2); // a mesh first: the ellipsoid is still the first of its kind
        }
        if (sc.I(0, 12) != 0) {
            AddObjShapeVOR(n, 1);
        }
        radius(n);
        place(n, k);
        if (sc.I(0, 9) != 0) {
            ActivateObjVOR(n);
        }
    };
    for (uint32_t k = 0; k < count; ++k) {
        create(1 + k, k);
    }
    if (sc.I(0, 1) == 0) {
        SetCollisionsVOR(1, 1, 1, sc.I(1, 5), 1);
    }
    const float extent = side * pitch;
    for (int r = 0; r < 80; ++r) {
        const uint32_t n = sc.I(1, count);
        const vor::Vec3 at = {F(PeekObjXVOR(n)), F(PeekObjYVOR(n)), F(PeekObjZVOR(n))};
        float s[3] = {sc.U(-2, extent + 2), sc.U(-1, 1), sc.U(-2, extent + 2)};
        float e[3] = {sc.U(-2, extent + 2), sc.U(-1, 1), sc.U(-2, extent + 2)};
        switch (sc.I(0, 9)) {
        case 0: // along a lattice row through the centres: ties between shared positions
        case 1:
            s[0] = -3;
            e[0] = extent + 3;
            s[1] = e[1] = 0;
            s[2] = e[2] = static_cast<float>(sc.I(0, side - 1)) * pitch;
            break;
        case 2: // from inside a body, or from its centre
            s[0] = at.x + sc.U(-0.1f, 0.1f);
            s[1] = at.y + sc.U(-0.1f, 0.1f);
            s[2] = at.z;
            break;
        case 3: // no length
            e[0] = s[0], e[1] = s[1], e[2] = s[2];
            break;
        case 4: // NaN, infinite or huge ends
            (sc.I(0, 1) == 0 ? s : e)[sc.I(0, 2)] = sc.I(0, 2) == 0   ? NAN
                                                    : sc.I(0, 1) == 0 ? INFINITY
                                                                      : 2e19f;
            break;
        default:
            break;
        }
        const int32_t type = sc.I(0, 12) == 0 ? static_cast<int32_t>(sc.I(0, 1)) * 300 - 100
                                              : static_cast<int32_t>(sc.I(1, 2));
        RecordRay(rec, "ray " + std::to_string(r),
                  RayIntersectTypeVOR(type, 1, s[0], s[1], s[2], e[0], e[1], e[2]));
        // Churn before the next ray.
        const uint32_t m = sc.I(1, count);
        switch (sc.I(0, 10)) {
        case 0:
            FreeObjVOR(m);
            break;
        case 1:
            DeActivateObjVOR(m);
            break;
        case 2:
            ActivateObjVOR(m);
            break;
        case 3:
            place(m, sc.I(0, count));
            break;
        case 4:
            SetObjPosVOR(at.x + sc.U(-1, 1), at.y, at.z + sc.U(-1, 1));
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(n, 0);
            // A ray between the update and the pass, then the pass moves the body.
            RecordRay(rec, "ray before pass " + std::to_string(r),
                      RayIntersectTypeVOR(type, 1, s[0], s[1], s[2], e[0], e[1], e[2]));
            RunCollisionVOR();
            {
                // Through where the pass left the body: a stale search would miss it.
                const float x = F(PeekObjXVOR(n)), y = F(PeekObjYVOR(n)), z = F(PeekObjZVOR(n));
                RecordRay(rec, "ray after pass " + std::to_string(r),
                          RayIntersectTypeVOR(type, 1, x - 4, y, z - 0.5f, x + 4, y, z + 0.5f));
            }
            break;
        case 5:
            radius(m);
            break;
        case 6:
            create(m, sc.I(0, count));
            break;
        case 7:
            AddObjShapeVOR(m, 1);
            break;
        default:
            break;
        }
    }
    return rec;
}

// Rays whose box holds a whole crowd but whose line meets little of it: sloping down across a
// lattice, level between two rows or along their tops, and grazing one body at about a radius off
// its centre (a few floats either side), near the origin and far from it, for spheres, characters
// and flat bodies. Only bodies the exact test rejects may be left out for missing the line.
Recording RunSlopedRaysScene(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Recording rec;
    const float kRadii[3][3] = {{0.3f, 0.3f, 0.3f}, {0.25f, 0.45f, 0.25f}, {0.6f, 0.05f, 0.6f}};
    const float *r = kRadii[seed % 3];
    const float ox = seed % 2 == 0 ? 0.0f : 1e5f, oz = seed % 2 == 0 ? 0.0f : -2e5f;
    constexpr uint32_t kSide = 30;
    for (uint32_t k = 0; k < kSide * kSide; ++k) {
        NewCollObjVOR(1 + k, 1);
        AddObjShapeVOR(1 + k, 1);
        SetObjRadiusVOR(1 + k, r[0], r[1], r[2]);
        SetObjPosVOR(ox + static_cast<float>(k % kSide), 0, oz + static_cast<float>(k / kSide));
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(1 + k, 1);
        ActivateObjVOR(1 + k);
    }
    const float far = static_cast<float>(kSide);
    const float kGraze[5] = {0.0f, 1.2e-7f, -1.2e-7f, 2e-6f, -2e-6f};
    for (int k = 0; k < 120; ++k) {
        float s[3] = {ox - 1, 3, oz + sc.U(-1, far)};
        float e[3] = {ox + far, -3, oz + sc.U(-1, far)};
        const uint32_t kind = sc.I(0, 2);
        const float row = static_cast<float>(sc.I(0, kSide - 2));
        if (kind == 1) { // level, between two rows or along the tops of one
            const bool between = sc.I(0, 1) == 0;
            s[1] = e[1] = between ? 0.0f : r[1] * (1 + kGraze[sc.I(0, 4)]);
            s[2] = e[2] = oz + row + (between ? 0.5f : 0.0f);
            s[0] = ox - 1, e[0] = ox + far;
        } else if (kind == 2) { // along x past one body's side, about a radius off its centre
            s[1] = e[1] = sc.U(-0.5f, 0.5f) * r[1];
            const float off = std::sqrt(1 - (s[1] / r[1]) * (s[1] / r[1])) * r[2];
            s[2] = e[2] = oz + row + off * (1 + kGraze[sc.I(0, 4)]);
            s[0] = ox - 1, e[0] = ox + far;
        }
        RecordRay(rec, "sloped ray", RayIntersectTypeVOR(1, 1, s[0], s[1], s[2], e[0], e[1], e[2]));
    }
    return rec;
}

// A stack of thin triangles, some closer together than the near-duplicate distance, so that a
// body crossing it piles up report-only records and meets the same points and triangles again.
void BuildStack(Scene &sc, uint32_t n) {
    NewCollObjVOR(n, kMeshTypeA);
    AddObjShapeVOR(n, 2);
    const uint32_t layers = sc.I(20, 60);
    const float gap = sc.U(0.02f, 0.4f);
    const float half = sc.U(1.0f, 4.0f);
    for (uint32_t k = 0; k < layers; ++k) {
        const float y = 2.0f - gap * static_cast<float>(k);
        AddMeshTri(n, -half, y, -half, -half, y, half, half, y, -half);
        if (sc.I(0, 4) == 0) {
            AddMeshTri(n, -half, y, -half, -half, y, half, half, y, -half); // a tie
        }
    }
    SetObjPosVOR(0, 0, 0);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(n, 1);
    ActivateObjVOR(n);
    sc.meshes.push_back(n);
}

// A pile: bodies asked towards one point under report-only and other definitions, a stack they
// fall through, objects freed, replaced and placed between frames, and a grid outlier (a huge
// body, or one thrown far every frame). The per-body record look-ups and the pair grid's
// outlier list are exercised against the plain walks and scans.
Recording RunPileScene(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Recording rec;
    SetEllipSizeModeVOR(static_cast<int32_t>(sc.I(0, 1)));
    SetConcaveModeVOR(sc.I(1, 7));
    BuildStack(sc, 100);
    const uint32_t bodies = sc.I(24, 48);
    for (uint32_t k = 0; k < bodies; ++k) {
        BuildEllipsoid(sc, 1 + k, 1, 1.5f);
    }
    const uint32_t outlier = bodies + 1;
    BuildEllipsoid(sc, outlier, 1, 1.5f);
    const bool huge = sc.I(0, 1) == 0;
    if (huge) {
        SetObjRadiusVOR(outlier, 40, 40, 40);
    }
    ActivateObjVOR(outlier);
    SetCollisionsVOR(1, 1, 1, 5, 1);
    SetCollisionsVOR(1, kMeshTypeA, 2, 5, 1);
    RandomDefinitions(sc);

    const int frames = static_cast<int>(sc.I(3, 4));
    for (int frame = 0; frame < frames; ++frame) {
        for (uint32_t n : sc.ellipsoids) {
            const float x = F(PeekObjXVOR(n)), z = F(PeekObjZVOR(n));
            SetObjPosVOR(x * sc.U(0.0f, 0.5f), sc.U(-3.0f, 0.5f), z * sc.U(0.0f, 0.5f));
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(n, 0);
        }
        if (!huge) {
            SetObjPosVOR(frame % 2 == 0 ? 1e9f : -1e9f, 0, sc.U(-1e6f, 1e6f));
            UpdateObjVOR(outlier, 0);
        }
        RunCollisionVOR();
        RecordFrame(sc, rec, frame);
        // Free, replace or place a few bodies that others may have hit.
        for (uint32_t k = sc.I(1, 3); k > 0; --k) {
            const uint32_t n = sc.I(1, bodies);
            const uint32_t what = sc.I(0, 2);
            if (what == 0) {
                FreeObjVOR(n);
                BuildEllipsoid(sc, n, 1, 1.5f);
                sc.ellipsoids.pop_back();
            } else if (what == 1) {
                NewCollObjVOR(n, 1);
                AddObjShapeVOR(n, 1);
                ActivateObjVOR(n);
            } else {
                SetObjPosVOR(sc.U(-1, 1), sc.U(2, 3), sc.U(-1, 1));
                UpdateObjVOR(n, 1);
            }
        }
        RecordFrame(sc, rec, frame + 100);
    }
    return rec;
}

// A level for rays and long steps: a heightfield of cells x cells with crates, slivers, collinear
// and tiny triangles, and exact duplicates, so that distances tie across list positions.
struct Level {
    uint32_t cells;
    std::vector<float> corners; // 9 per triangle, in list order, local coordinates
};

float LevelHeight(float x, float z, float bump) {
    return bump * (std::sin(x * 0.37f) + std::cos(z * 0.29f));
}

void AddLevelTriangle(Level &lv, uint32_t n, const float *c) {
    AddMeshTri(n, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8]);
    lv.corners.insert(lv.corners.end(), c, c + 9);
}

void AddOddTriangles(Scene &sc, Level &lv, uint32_t n, uint32_t count) {
    const float size = static_cast<float>(lv.cells);
    for (uint32_t k = 0; k < count; ++k) {
        const float x = sc.U(0, size), y = sc.U(-1, 3), z = sc.U(0, size);
        const uint32_t kind = sc.I(0, 3);
        const float l = sc.U(0.5f, 8);
        if (kind == 0) { // a sliver
            const float c[9] = {x, y, z, x + l, y + 1e-4f, z, x + 2 * l, y, z + 1e-5f};
            AddLevelTriangle(lv, n, c);
        } else if (kind == 1) { // collinear corners
            const float c[9] = {x, y, z, x + l, y + l, z + l, x + 2 * l, y + 2 * l, z + 2 * l};
            AddLevelTriangle(lv, n, c);
        } else if (kind == 2) { // tiny
            const float c[9] = {x, y, z, x, y, z + 1e-4f, x + 1e-4f, y, z};
            AddLevelTriangle(lv, n, c);
        } else { // a crate lid, facing up
            const float c[9] = {x, y, z, x, y, z + l, x + l, y, z};
            AddLevelTriangle(lv, n, c);
        }
    }
}

void BuildLevelMesh(Scene &sc, Level &lv, uint32_t n, bool odd = true) {
    NewCollObjVOR(n, kMeshTypeA);
    AddObjShapeVOR(n, 2);
    // One level in four is all but flat: the cross products of its cells are within the unit
    // tolerance of unit length, which the normalisation keeps as they are (others it scales).
    const float bump = sc.I(0, 3) == 0 ? sc.U(0, 0.002f) : sc.U(0, 1.5f);
    for (uint32_t i = 0; i < lv.cells; ++i) {
        for (uint32_t j = 0; j < lv.cells; ++j) {
            const float x0 = static_cast<float>(i), x1 = x0 + 1;
            const float z0 = static_cast<float>(j), z1 = z0 + 1;
            const float a[3] = {x0, LevelHeight(x0, z0, bump), z0};
            const float b[3] = {x0, LevelHeight(x0, z1, bump), z1};
            const float c[3] = {x1, LevelHeight(x1, z0, bump), z0};
            const float d[3] = {x1, LevelHeight(x1, z1, bump), z1};
            const float t1[9] = {a[0], a[1], a[2], b[0], b[1], b[2], c[0], c[1], c[2]};
            const float t2[9] = {c[0], c[1], c[2], b[0], b[1], b[2], d[0], d[1], d[2]};
            AddLevelTriangle(lv, n, t1);
            AddLevelTriangle(lv, n, t2);
        }
    }
    if (odd) {
        AddOddTriangles(sc, lv, n, sc.I(5, 40));
    }
    // Exact duplicates of some ground triangles, later in the list.
    for (uint32_t k = 0; k < 8; ++k) {
        const size_t t = sc.I(0, 2 * lv.cells * lv.cells - 1);
        const std::vector<float> copy(lv.corners.begin() + 9 * t, lv.corners.begin() + 9 * t + 9);
        AddLevelTriangle(lv, n, copy.data());
    }
}

void PoseLevel(Scene &sc, uint32_t n, uint32_t flag) {
    const uint32_t kind = sc.I(0, 3);
    if (kind == 0) {
        SetObjScaleVOR(n, sc.U(50, 200), sc.U(50, 200), sc.U(50, 200));
    } else {
        SetObjScaleVOR(n, 100, 100, 100);
    }
    SetObjPosVOR(kind == 3 ? 0.0f : sc.U(-3, 3), 0, kind == 3 ? 0.0f : sc.U(-3, 3));
    if (kind == 1) {
        SetObjRotVOR(sc.U(-20, 20), sc.U(-180, 180), sc.U(-20, 20));
    } else {
        SetObjRotVOR(0, 0, 0);
    }
    UpdateObjVOR(n, flag);
}

// A point of a corner or an edge of a random triangle, in local coordinates (close enough to world
// for an untransformed level; elsewhere they still graze something).
void FeaturePoint(Scene &sc, const Level &lv, float *p) {
    const size_t t = sc.I(0, static_cast<uint32_t>(lv.corners.size() / 9) - 1);
    const float *c = lv.corners.data() + 9 * t;
    const uint32_t a = sc.I(0, 2), b = (a + 1) % 3;
    const float w = sc.I(0, 1) == 0 ? 0.0f : sc.U(0, 1);
    for (int k = 0; k < 3; ++k) {
        p[k] = c[3 * a + k] + w * (c[3 * b + k] - c[3 * a + k]);
    }
}

// One ray of a random kind: short, long, across the level, along an axis, through a corner or
// an edge, grazing, zero-length, or with a NaN or an infinity in it.
void RandomLevelRay(Scene &sc, const Level &lv, float *f, float *t) {
    const float size = static_cast<float>(lv.cells);
    for (int k = 0; k < 3; ++k) {
        f[k] = k == 1 ? sc.U(-2, 6) : sc.U(-2, size + 2);
        t[k] = k == 1 ? sc.U(-2, 6) : sc.U(-2, size + 2);
    }
    const uint32_t kind = sc.I(0, 9);
    if (kind == 0) { // short
        for (int k = 0; k < 3; ++k) {
            t[k] = f[k] + sc.U(-1, 1);
        }
    } else if (kind == 1) { // across the whole level, corner to corner
        f[0] = -1, f[1] = sc.U(2, 8), f[2] = -1;
        t[0] = size + 1, t[1] = sc.U(-3, 1), t[2] = size + 1;
    } else if (kind == 2) { // straight down, exactly
        t[0] = f[0], t[2] = f[2], f[1] = 8, t[1] = -8;
    } else if (kind == 3) { // level along x or z, exactly
        t[1] = f[1];
        (sc.I(0, 1) == 0 ? t[0] : t[2]) = (sc.I(0, 1) == 0 ? f[0] : f[2]);
    } else if (kind == 4 || kind == 5) { // through a corner or an edge point, from above or aside
        float p[3];
        FeaturePoint(sc, lv, p);
        const float lift[3] = {sc.U(-1, 1), kind == 4 ? 3.0f : sc.U(-0.01f, 0.01f), sc.U(-1, 1)};
        for (int k = 0; k < 3; ++k) {
            f[k] = p[k] + lift[k];
            t[k] = p[k] - lift[k] * sc.U(0.5f, 2);
        }
    } else if (kind == 6) { // zero length
        t[0] = f[0], t[1] = f[1], t[2] = f[2];
    } else if (kind == 7) { // not finite
        const float bad[3] = {std::nanf(""), std::numeric_limits<float>::infinity(), 1e30f};
        (sc.I(0, 1) == 0 ? f : t)[sc.I(0, 2)] = bad[sc.I(0, 2)];
    }
}

// Characters stepping long, diagonal, axis-aligned and short steps over the level.
void StepBodies(Scene &sc, const Level &lv) {
    const float size = static_cast<float>(lv.cells);
    for (uint32_t n : sc.ellipsoids) {
        const float x = F(PeekObjXVOR(n)), y = F(PeekObjYVOR(n)), z = F(PeekObjZVOR(n));
        const uint32_t kind = sc.I(0, 4);
        float to[3] = {x + sc.U(-1, 1), y + sc.U(-1, 0.5f), z + sc.U(-1, 1)};
        if (kind == 0) { // across the level
            to[0] = sc.U(0, size), to[1] = sc.U(-0.5f, 2), to[2] = sc.U(0, size);
        } else if (kind == 1) { // along an axis
            to[0] = x, to[1] = y, to[2] = z;
            to[sc.I(0, 2)] += sc.U(-size, size);
        }
        SetObjPosVOR(to[0], to[1], to[2]);
        SetObjRotVOR(0, sc.U(-180, 180), 0);
        UpdateObjVOR(n, kind == 2 ? 1 : 0);
    }
}

Recording RunLevelScene(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Level lv{sc.I(16, 40), {}};
    Recording rec;
    SetConcaveModeVOR(sc.I(1, 7));
    BuildLevelMesh(sc, lv, 100);
    PoseLevel(sc, 100, 1);
    ActivateObjVOR(100);
    sc.meshes.push_back(100);
    for (uint32_t k = 0; k < 6; ++k) {
        BuildEllipsoid(sc, 1 + k, 1, 3);
        SetObjPosVOR(sc.U(0, lv.cells), 3, sc.U(0, lv.cells));
        UpdateObjVOR(1 + k, 1);
    }
    SetCollisionsVOR(1, kMeshTypeA, 2, sc.I(1, 5), sc.I(1, 4));
    const bool moving = sc.I(0, 2) == 0, adding = sc.I(0, 1) == 0;
    for (int frame = 0; frame < 3; ++frame) {
        if (moving) {
            PoseLevel(sc, 100, 0);
        }
        if (adding) { // triangles added after the hierarchy exists
            AddOddTriangles(sc, lv, 100, sc.I(1, 3));
        }
        StepBodies(sc, lv);
        RunCollisionVOR();
        RecordFrame(sc, rec, frame);
        for (int k = 0; k < 120; ++k) {
            float f[3], t[3];
            RandomLevelRay(sc, lv, f, t);
            const std::string label = "frame " + std::to_string(frame) + " level ray";
            RecordRay(rec, label,
                      RayIntersectObjectVOR(100, 2, f[0], f[1], f[2], t[0], t[1], t[2]));
        }
    }
    return rec;
}

// Slow walkers on a level take the triangles an earlier search kept for them (mesh_sweep_cache.h)
// while, between passes, triangles are added under their feet, the level moves, a walker changes
// size, or the level is freed and another made in its place (or, calm, none of these). Wide
// walkers (radius 4 over cells of 0.5 to 2) find more triangles than a list keeps; jumpy ones,
// which only report what they meet (one sweep a pass), jump up a staircase, leaving what they
// kept behind.
enum class Walk { kEvents, kCalm, kWide, kJumpy };

Recording KeptSweeps(uint32_t seed, Walk walk) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Level lv{sc.I(12, 24), {}};
    Recording rec;
    BuildLevelMesh(sc, lv, 100);
    PoseLevel(sc, 100, 1);
    ActivateObjVOR(100);
    for (uint32_t k = 0; k < 8; ++k) {
        BuildEllipsoid(sc, 1 + k, 1, 3);
        const float middle = 0.5f * static_cast<float>(lv.cells);
        if (walk == Walk::kWide) { // over the middle of the level, whatever its pose
            SetObjRadiusVOR(1 + k, 4, 4, 4);
            SetObjPosVOR(middle + sc.U(-1, 1), 2.5f, middle + sc.U(-1, 1));
        } else if (walk == Walk::kJumpy) { // from a corner, so as to stay on the level
            SetObjRadiusVOR(1 + k, 0.2f, 0.2f, 0.2f);
            SetObjPosVOR(sc.U(1, 2), 2.5f, sc.U(1, 2));
        } else {
            SetObjPosVOR(sc.U(2, lv.cells - 2), 2.5f, sc.U(2, lv.cells - 2));
        }
        UpdateObjVOR(1 + k, 1);
    }
    const bool jumping = walk == Walk::kJumpy;
    const uint32_t response = jumping ? VOR_RESPONSE_REPORT_ONLY : sc.I(1, 5);
    SetCollisionsVOR(1, kMeshTypeA, 2, response, sc.I(1, 4));
    for (int frame = 0; frame < 24; ++frame) {
        const uint32_t event = walk == Walk::kEvents ? sc.I(0, 11) : 11;
        const uint32_t n = sc.ellipsoids[sc.I(0, 7)];
        const float x = F(PeekObjXVOR(n)), y = F(PeekObjYVOR(n)), z = F(PeekObjZVOR(n));
        if (event < 3) { // a lid just under a walker, inside what its last search kept
            const float c[9] = {x - 0.6f, y - 0.3f, z - 0.6f, x - 0.6f, y - 0.3f,
                                z + 0.6f, x + 0.6f, y - 0.3f, z - 0.6f};
            AddLevelTriangle(lv, 100, c);
        } else if (event == 3) {
            PoseLevel(sc, 100, 0);
        } else if (event == 4) {
            SetObjRadiusVOR(n, sc.U(0.2f, 0.8f), sc.U(0.2f, 1.2f), sc.U(0.2f, 0.8f));
        } else if (event == 5) { // another level under the same number, maybe at the same address
            FreeObjVOR(100);
            lv.corners.clear();
            BuildLevelMesh(sc, lv, 100, false);
            PoseLevel(sc, 100, 1);
            ActivateObjVOR(100);
        }
        for (uint32_t e : sc.ellipsoids) {
            // Jumps of 0.3 up a staircase, along x then z, each leaving the box kept for the last
            // (the step's own grown by one radius, 0.2).
            const float dx = jumping ? (frame % 2 == 0 ? 0.3f : 0.0f) : sc.U(-0.08f, 0.08f);
            const float dz = jumping ? (frame % 2 == 1 ? 0.3f : 0.0f) : sc.U(-0.08f, 0.08f);
            SetObjPosVOR(F(PeekObjXVOR(e)) + dx, F(PeekObjYVOR(e)) - sc.U(0, 0.1f),
                         F(PeekObjZVOR(e)) + dz);
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(e, 0);
        }
        RunCollisionVOR();
        RecordFrame(sc, rec, frame);
    }
    return rec;
}

Recording RunKeptSweepsScene(uint32_t seed) {
    return KeptSweeps(seed, Walk::kEvents);
}
Recording RunCalmWalkersScene(uint32_t seed) {
    return KeptSweeps(seed, Walk::kCalm);
}
Recording RunWideWalkersScene(uint32_t seed) {
    return KeptSweeps(seed, Walk::kWide);
}
Recording RunJumpyWalkersScene(uint32_t seed) {
    return KeptSweeps(seed, Walk::kJumpy);
}

// Size mixes and far bodies in one type, with rays by type between passes: a walking crowd of
// characters, big still bodies above it (some low enough to be met), bodies thrown far every
// frame, and now and then a body freed, replaced or given a new size. What the pair grid and the
// ray trees must handle without visiting every big or far body from every source.
constexpr uint32_t kMixedType = 1;

struct MixedCrowd {
    uint32_t small = 0, big = 0, far = 0;
    uint32_t Count() const { return small + big + far; }
};

void MixedRays(Scene &sc, Recording &rec, const MixedCrowd &m, float extent, int frame) {
    const uint32_t rays = sc.I(1, 16);
    for (uint32_t r = 0; r < rays; ++r) {
        const uint32_t n = sc.I(1, m.Count());
        const vor::Vec3 at = {F(PeekObjXVOR(n)), F(PeekObjYVOR(n)), F(PeekObjZVOR(n))};
        float s[3] = {at.x - sc.U(0.5f, 3), at.y + sc.U(-0.3f, 0.3f), at.z + sc.U(-1, 1)};
        float e[3] = {at.x + sc.U(0.5f, 3), at.y + sc.U(-0.3f, 0.3f), at.z + sc.U(-1, 1)};
        if (sc.I(0, 5) == 0) { // across the whole crowd along a row: many ties and hits
            s[0] = -2, e[0] = extent + 2, s[1] = e[1] = 0;
            s[2] = e[2] = at.z;
        } else if (sc.I(0, 5) == 0) { // down through a big body into the crowd
            s[1] = 80, e[1] = -5, s[0] = e[0] = at.x, s[2] = e[2] = at.z;
        }
        RecordRay(rec, "frame " + std::to_string(frame) + " ray " + std::to_string(r),
                  RayIntersectTypeVOR(kMixedType, 1, s[0], s[1], s[2], e[0], e[1], e[2]));
    }
}

// Bodies that creep a little each frame towards a face of their box in the ray tree, and now and
// then grow or shrink in place, with rays by type grazing the leading side of each (where a box
// left behind in the tree would let a ray pass the body by).
Recording RunCreepingBodiesScene(uint32_t seed) {
    Scene sc;
    sc.rng.seed(seed);
    Recording rec;
    constexpr uint32_t kBodies = 24;
    float radius[kBodies + 1];
    vor::Vec3 at[kBodies + 1], pace[kBodies + 1];
    for (uint32_t n = 1; n <= kBodies; ++n) {
        radius[n] = sc.U(0.2f, 0.6f);
        at[n] = vor::Vec3{4.0f * static_cast<float>(n), sc.U(-1, 1), sc.U(-1, 1)};
        // Along one axis, a fiftieth to a fifth of the radius a frame.
        const float step = radius[n] * sc.U(0.02f, 0.2f) * (sc.I(0, 1) == 0 ? 1.0f : -1.0f);
        const uint32_t axis = sc.I(0, 2);
        pace[n] =
            vor::Vec3{axis == 0 ? step : 0.0f, axis == 1 ? step : 0.0f, axis == 2 ? step : 0.0f};
        NewCollObjVOR(n, kMixedType);
        AddObjShapeVOR(n, 1);
        SetObjRadiusVOR(n, radius[n], radius[n], radius[n]);
        SetObjPosVOR(at[n].x, at[n].y, at[n].z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
        ActivateObjVOR(n);
    }
    RayIntersectTypeVOR(kMixedType, 1, -10, 0, 0, 200, 0, 0); // makes the tree
    for (uint32_t frame = 1; frame <= 40; ++frame) {
        for (uint32_t n = 1; n <= kBodies; ++n) {
            if (sc.I(0, 5) == 0) {
                radius[n] *= sc.U(0.8f, 1.25f);
                SetObjRadiusVOR(n, radius[n], radius[n], radius[n]);
            }
            at[n] = vor::Vec3{at[n].x + pace[n].x, at[n].y + pace[n].y, at[n].z + pace[n].z};
            SetObjPosVOR(at[n].x, at[n].y, at[n].z);
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(n, 1);
        }
        // Rays across the body's leading side, a thousandth of its radius inside it, along the two
        // axes it does not move on.
        for (uint32_t n = 1; n <= kBodies; ++n) {
            const float lead = radius[n] * 0.999f;
            const float c[3] = {at[n].x + (pace[n].x > 0   ? lead
                                           : pace[n].x < 0 ? -lead
                                                           : 0.0f),
                                at[n].y + (pace[n].y > 0   ? lead
                                           : pace[n].y < 0 ? -lead
                                                           : 0.0f),
                                at[n].z + (pace[n].z > 0   ? lead
                                           : pace[n].z < 0 ? -lead
                                                           : 0.0f)};
            const float moving[3] = {pace[n].x, pace[n].y, pace[n].z};
            for (int axis = 0; axis < 3; ++axis) {
                if (moving[axis] != 0) {
                    continue;
                }
                float from[3] = {c[0], c[1], c[2]}, to[3] = {c[0], c[1], c[2]};
                from[axis] -= 3.0f;
                to[axis] += 3.0f;
                RecordRay(rec, "creep ray",
                          RayIntersectTypeVOR(kMixedType, 1, from[0], from[1], from[2], to[0],
                                              to[1], to[2]));
            }
        }
    }
    return rec;
}

Recording RunMixedCrowd(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Recording rec;
    SetEllipSizeModeVOR(static_cast<int32_t>(sc.I(0, 1)));
    MixedCrowd m;
    m.small = sc.I(150, 300);
    m.big = sc.I(200, 300);
    m.far = sc.I(2, 12);
    const uint32_t side = 16;
    const float pitch = sc.U(0.9f, 1.3f);
    const float extent = side * pitch;
    for (uint32_t n = 1; n <= m.Count(); ++n) {
        NewCollObjVOR(n, kMixedType);
        AddObjShapeVOR(n, 1);
        const uint32_t k = n - 1;
        if (n <= m.small) {
            SetObjRadiusVOR(n, 0.25f, 0.45f, 0.25f);
            SetObjPosVOR((k % side) * pitch, 0, (k / side) * pitch);
        } else if (n <= m.small + m.big) {
            const float r = sc.U(2, 8);
            SetObjRadiusVOR(n, r, r, r);
            // Most far above the crowd and apart; a few low enough to meet it.
            if (sc.I(0, 7) == 0) {
                SetObjPosVOR(sc.U(0, extent), r + 0.2f, sc.U(0, extent));
            } else {
                SetObjPosVOR(sc.U(-150, 150), sc.U(40, 200), sc.U(-150, 150));
            }
        } else {
            SetObjRadiusVOR(n, sc.U(0.2f, 2), sc.U(0.2f, 2), sc.U(0.2f, 2));
            SetObjPosVOR(sc.U(-1e6f, 1e6f), sc.U(-1e4f, 1e4f), sc.U(-1e6f, 1e6f));
        }
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
        ActivateObjVOR(n);
        sc.ellipsoids.push_back(n);
    }
    SetCollisionsVOR(kMixedType, kMixedType, 1, sc.I(1, 5), 1);
    const int frames = 4;
    for (int frame = 0; frame < frames; ++frame) {
        MixedRays(sc, rec, m, extent, frame * 10);
        for (uint32_t n = 1; n <= m.small; ++n) {
            SetObjPosVOR(F(PeekObjXVOR(n)) + sc.U(-0.15f, 0.15f), 0,
                         F(PeekObjZVOR(n)) + sc.U(-0.15f, 0.15f));
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(n, 0);
        }
        for (uint32_t n = m.small + m.big + 1; n <= m.Count(); ++n) {
            SetObjPosVOR(F(PeekObjXVOR(n)) + sc.U(-1e4f, 1e4f), F(PeekObjYVOR(n)),
                         F(PeekObjZVOR(n)) + sc.U(-1e4f, 1e4f));
            UpdateObjVOR(n, 0);
        }
        RunCollisionVOR();
        MixedRays(sc, rec, m, extent, frame * 10 + 1);
        RecordFrame(sc, rec, frame);
        // Churn between passes that the ray trees must take in.
        const uint32_t n = sc.I(1, m.Count());
        switch (sc.I(0, 3)) {
        case 0:
            SetObjRadiusVOR(n, sc.U(0.2f, 6), sc.U(0.2f, 6), sc.U(0.2f, 6));
            break;
        case 1:
            DeActivateObjVOR(n);
            ActivateObjVOR(n); // now last in activation order
            break;
        case 2:
            SetObjPosVOR(sc.U(0, extent), 0, sc.U(0, extent));
            UpdateObjVOR(n, 1);
            break;
        default:
            break;
        }
        MixedRays(sc, rec, m, extent, frame * 10 + 2);
    }
    return rec;
}

// Many triangles at one distance from a ray: exact copies of one lid, or copies a float or a few
// apart, listed nearest first or farthest first, among a small level; rays straight down through
// them, slanted through them, from below and far past them.
constexpr uint32_t kTieCopies[3] = {1, 65, 400};

Recording RunEqualHitsScene(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Level lv{sc.I(12, 24), {}};
    Recording rec;
    BuildLevelMesh(sc, lv, 100);
    const uint32_t copies = kTieCopies[seed % 3];
    const uint32_t pattern = sc.I(0, 2); // 0 exact copies, 1 rising, 2 falling
    const float x = sc.U(2, lv.cells - 6), y = sc.U(2, 3), z = sc.U(2, lv.cells - 6);
    for (uint32_t k = 0; k < copies; ++k) {
        const uint32_t step = pattern == 0 ? 0 : (pattern == 1 ? k % 7 : 6 - k % 7);
        const float h = y + static_cast<float>(step) * 2.4e-7f; // a float apart per step
        const float c[9] = {x, h, z, x, h, z + 3, x + 3, h, z};
        AddLevelTriangle(lv, 100, c);
    }
    PoseLevel(sc, 100, 1);
    ActivateObjVOR(100);
    for (int k = 0; k < 60; ++k) {
        const float px = x + sc.U(0.1f, 1.4f), pz = z + sc.U(0.1f, 1.4f);
        const uint32_t kind = sc.I(0, 3);
        float f[3] = {px, 8, pz}, t[3] = {px, -8, pz};
        if (kind == 1) { // slanted
            f[0] -= 3, t[0] += 3;
        } else if (kind == 2) { // from below, through the backs
            f[1] = -8, t[1] = 8;
        } else if (kind == 3) { // far past them
            t[1] = -1e6f;
        }
        RecordRay(rec, "tie ray",
                  RayIntersectObjectVOR(100, 2, f[0], f[1], f[2], t[0], t[1], t[2]));
    }
    return rec;
}

// Slivers whose sharp corner is the second or third, not the first: the float inside-the-triangle
// test blurs its edges by a few roundings of the long edges' products, and past a needle's tip
// that blur reaches as far as its width over the rounding (far more than the length times the
// rounding that the first corner's angle alone would say). Rays down and up just past the tips,
// some offset sideways within the width; the hits they find (all past a tip) are counted.
uint32_t TipRayHits = 0;

Recording RunTipSliversScene(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Level lv{8, {}};
    Recording rec;
    BuildLevelMesh(sc, lv, 100, false);
    struct Tip {
        float x, y, z, dx, dz;
    };
    std::vector<Tip> tips;
    for (int k = 0; k < 12; ++k) {
        const float x = sc.U(0, 6), y = sc.U(1, 3), z = sc.U(0, 6);
        const float l = sc.U(2, 30), w = l * std::pow(10.0f, -sc.U(3, 7));
        const float a = sc.U(0, 6.2831853f), dx = std::cos(a), dz = std::sin(a);
        // Far corners at the base (w apart across the needle), the tip l along it.
        const float bx = -dz * w / 2, bz = dx * w / 2;
        const float b1[3] = {x + bx, y, z + bz}, b2[3] = {x - bx, y, z - bz};
        const float tip[3] = {x + l * dx, y, z + l * dz};
        const bool second = sc.I(0, 1) == 0;
        const float *c1 = second ? b1 : b2, *c2 = second ? tip : b1, *c3 = second ? b2 : tip;
        const float c[9] = {c1[0], c1[1], c1[2], c2[0], c2[1], c2[2], c3[0], c3[1], c3[2]};
        AddLevelTriangle(lv, 100, c);
        tips.push_back(Tip{tip[0], y, tip[2], dx, dz});
    }
    // Where it was built: the tips' world places are known.
    SetObjPosVOR(0, 0, 0);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(100, 1);
    ActivateObjVOR(100);
    for (int k = 0; k < 400; ++k) {
        const Tip &t = tips[sc.I(0, static_cast<uint32_t>(tips.size()) - 1)];
        const float r = std::pow(10.0f, -sc.U(0, 6)), side = sc.U(-1, 1) * r * 1e-4f;
        const float px = t.x + r * t.dx - side * t.dz, pz = t.z + r * t.dz + side * t.dx;
        const bool down = sc.I(0, 1) == 0;
        const int32_t hit = RayIntersectObjectVOR(100, 2, px, down ? t.y + 5 : t.y - 5, pz, px,
                                                  down ? t.y - 5 : t.y + 5, pz);
        TipRayHits += hit != 0 && F(RayHitPosY()) > t.y - 0.5f ? 1 : 0;
        RecordRay(rec, "tip ray", hit);
    }
    return rec;
}

// Copies of a prop over a small level: a lid, or a lid and the other half of its square (the two
// share a box), or those two and a tilted one, each copied whole `copies` times. How they come:
// 0 all before the first ray (the build finds the twins), 1 after it, a few at a time with rays
// between (insertions), now and then with a lid that is no copy among them, 2 the same with the
// level moved between rays and standing still again at the end (refits between own and world
// corners). Rays down, slanted and from below through them.
constexpr uint32_t kTwinCopies[3] = {1, 40, 300};
constexpr int kTwinRays = 60;
uint32_t TwinCopiesOverride = 0; // set: every scene makes this many copies

void TwinRays(Scene &sc, Recording &rec, const float *at, int count) {
    for (int k = 0; k < count; ++k) {
        const float px = at[0] + sc.U(0.1f, 1.9f), pz = at[2] + sc.U(0.1f, 1.9f);
        float f[3] = {px, 9, pz}, t[3] = {px, -9, pz};
        const uint32_t kind = sc.I(0, 2);
        if (kind == 1) {
            f[0] -= 2, t[0] += 2;
        } else if (kind == 2) {
            f[1] = -9, t[1] = 9;
        }
        RecordRay(rec, "twin ray",
                  RayIntersectObjectVOR(100, 2, f[0], f[1], f[2], t[0], t[1], t[2]));
    }
}

Recording RunTwinsScene(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Level lv{sc.I(12, 24), {}};
    Recording rec;
    BuildLevelMesh(sc, lv, 100, false);
    const uint32_t copies = TwinCopiesOverride != 0 ? TwinCopiesOverride : kTwinCopies[seed % 3];
    const uint32_t how = (seed / 3) % 3;
    const float at[3] = {sc.U(2, lv.cells - 6), sc.U(2, 3), sc.U(2, lv.cells - 6)};
    const float x = at[0], y = at[1], z = at[2];
    const float prop[3][9] = {{x, y, z, x, y, z + 2, x + 2, y, z},
                              {x + 2, y, z, x, y, z + 2, x + 2, y, z + 2},
                              {x, y + 0.5f, z, x + 2, y - 0.3f, z + 1, x + 1, y + 0.2f, z + 2}};
    const uint32_t parts = sc.I(1, 3);
    auto addCopy = [&]() {
        for (uint32_t p = 0; p < parts; ++p) {
            AddLevelTriangle(lv, 100, prop[p]);
        }
    };
    addCopy(); // the original, listed first
    const bool early = how == 0;
    for (uint32_t k = 1; early && k < copies; ++k) {
        addCopy();
    }
    PoseLevel(sc, 100, 1);
    ActivateObjVOR(100);
    TwinRays(sc, rec, at, 4);
    for (uint32_t k = 1; !early && k < copies;) {
        for (uint32_t batch = sc.I(1, 30); batch > 0 && k < copies; --batch, ++k) {
            addCopy();
        }
        // Now and then a lid a little above the copies, taken in among them: no twin, the first
        // hit from above.
        if (sc.I(0, 3) == 0) {
            const float h = y + sc.U(1e-4f, 1e-2f);
            const float lid[9] = {x, h, z, x, h, z + 2, x + 2, h, z};
            AddLevelTriangle(lv, 100, lid);
        }
        if (how == 2) {
            SetObjPosVOR(sc.U(-0.01f, 0.01f), 0, sc.U(-0.01f, 0.01f));
            UpdateObjVOR(100, 1);
        }
        TwinRays(sc, rec, at, 2);
    }
    if (how == 2) {
        SetObjPosVOR(0, 0, 0);
        UpdateObjVOR(100, 1);
    }
    vor::ResetStats();
    TwinRays(sc, rec, at, kTwinRays);
    return rec;
}

// The same rays over a level (no slivers, whose margins are unbounded) at lengths from 1e3 to
// past the float length's overflow: one recording per length, in order kLongRayLengths.
constexpr float kLongRayLengths[6] = {1e3f, 1e9f, 1e12f, 1e19f, 1.8e19f, 3e19f};
constexpr int kLongRays = 40;

Recording RunLongRaysScene(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Level lv{sc.I(16, 32), {}};
    Recording rec;
    BuildLevelMesh(sc, lv, 100, false);
    PoseLevel(sc, 100, 1);
    ActivateObjVOR(100);
    std::vector<float> rays;
    for (int k = 0; k < kLongRays; ++k) {
        float f[3], t[3];
        RandomLevelRay(sc, lv, f, t);
        rays.insert(rays.end(), {f[0], f[1], f[2], t[0], t[1], t[2]});
    }
    for (int l = 0; l < 6; ++l) {
        vor::ResetStats();
        for (int k = 0; k < kLongRays; ++k) {
            const float *f = &rays[6 * k], *t = f + 3;
            const float d[3] = {t[0] - f[0], t[1] - f[1], t[2] - f[2]};
            const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            const float s = len > 0 && std::isfinite(len) ? kLongRayLengths[l] / len : 1.0f;
            RecordRay(rec, "long ray " + std::to_string(l),
                      RayIntersectObjectVOR(100, 2, f[0], f[1], f[2], f[0] + s * d[0],
                                            f[1] + s * d[1], f[2] + s * d[2]));
        }
        rec.Add("items " + std::to_string(l),
                static_cast<int32_t>(vor::ThreadStats().accelRayItems));
        rec.Add("fallbacks " + std::to_string(l),
                static_cast<int32_t>(vor::ThreadStats().accelRayFallbacks));
    }
    return rec;
}

// Triangles added one by one to a level whose hierarchy exists, a ray after each: the same lid
// again and again, lids clustered within a unit, or lids scattered over the level (pattern =
// seed % 3).
constexpr int kAdditions = 600;

Recording RunAdditionsScene(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Level lv{sc.I(40, 56), {}};
    Recording rec;
    BuildLevelMesh(sc, lv, 100);
    PoseLevel(sc, 100, 1);
    ActivateObjVOR(100);
    const float x = sc.U(4, lv.cells - 8), z = sc.U(4, lv.cells - 8);
    const uint32_t pattern = seed % 3;
    std::vector<float> addedAt;
    for (int k = 0; k < kAdditions; ++k) {
        float cx = x, cz = z;
        if (pattern == 1) {
            cx += sc.U(0, 1), cz += sc.U(0, 1);
        } else if (pattern == 2) {
            cx = sc.U(1, lv.cells - 4), cz = sc.U(1, lv.cells - 4);
        }
        const float y = pattern == 0 ? 2.25f : sc.U(2, 2.5f);
        const float c[9] = {cx, y, cz, cx, y, cz + 2, cx + 2, y, cz};
        AddLevelTriangle(lv, 100, c);
        const float px = x + sc.U(0.1f, 1.4f), pz = z + sc.U(0.1f, 1.4f);
        RecordRay(rec, "addition ray", RayIntersectObjectVOR(100, 2, px, 8, pz, px, -8, pz));
        // Down through the triangle just added, wherever it went: its path's boxes must hold it
        // in whichever array the hierarchy reads (the arrays move as the additions fill them).
        const float ax = cx + 0.5f, az = cz + 0.5f;
        RecordRay(rec, "added ray", RayIntersectObjectVOR(100, 2, ax, 8, az, ax, -8, az));
        addedAt.insert(addedAt.end(), {ax, az});
    }
    // Through every one again, once the arrays have moved on (a node left behind by a move loses
    // the triangles below it).
    for (size_t k = 0; k < addedAt.size(); k += 2) {
        const float ax = addedAt[k], az = addedAt[k + 1];
        RecordRay(rec, "again ray", RayIntersectObjectVOR(100, 2, ax, 8, az, ax, -8, az));
    }
    return rec;
}

// Flat and tall bodies (radii a factor of 5 to 8 apart) taking long steps across a level, most
// diagonal, some along an axis, under every response. Two per scene, recorded after each pass.
// Radii 5, 8, 7, 6, 20, 75 and 120 times apart: the last three need the margins' higher sine
// classes to be skipped by distance.
constexpr float kFlatRadii[7][3] = {{2, 0.4f, 2},       {1, 0.15f, 1.2f}, {0.1f, 0.7f, 0.1f},
                                    {1.2f, 0.2f, 1.2f}, {4, 0.2f, 4},     {3, 0.04f, 3},
                                    {0.05f, 6, 0.05f}};

Recording RunFlatBodiesScene(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Level lv{sc.I(24, 40), {}};
    Recording rec;
    SetConcaveModeVOR(sc.I(1, 7));
    BuildLevelMesh(sc, lv, 100);
    PoseLevel(sc, 100, 1);
    ActivateObjVOR(100);
    sc.meshes.push_back(100);
    rec.Add("level triangles", static_cast<int32_t>(lv.corners.size() / 9));
    for (uint32_t k = 0; k < 2; ++k) {
        const float *r = kFlatRadii[sc.I(0, 6)];
        NewCollObjVOR(1 + k, 1);
        AddObjShapeVOR(1 + k, 1);
        SetObjRadiusVOR(1 + k, r[0], r[1], r[2]);
        SetObjPosVOR(sc.U(1, 4), 3, sc.U(1, 4));
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(1 + k, 1);
        ActivateObjVOR(1 + k);
        sc.ellipsoids.push_back(1 + k);
    }
    SetCollisionsVOR(1, kMeshTypeA, 2, sc.I(1, 5), sc.I(1, 4));
    const float size = static_cast<float>(lv.cells);
    for (int frame = 0; frame < 4; ++frame) {
        for (uint32_t n : sc.ellipsoids) {
            const bool diagonal = sc.I(0, 3) != 0;
            const float x = F(PeekObjXVOR(n)), z = F(PeekObjZVOR(n));
            const float tx = diagonal ? size - x : x, tz = size - z;
            SetObjPosVOR(tx, sc.U(-0.5f, 2), tz);
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(n, 0);
        }
        RunCollisionVOR();
        RecordFrame(sc, rec, frame);
    }
    return rec;
}

// A level that turns and slides a little every frame with characters stepping on it, rays near
// them between moves, then frames where it stands still while rays keep coming (it goes back to
// world corners) and moves again. The long rays' own-frame work is kept apart: their boxes may
// hold the whole level, and only the short queries' work is bounded; they come only while it
// stands still. A move after which the searches in the level's own frame do more work than its
// triangles (a busy move) may send it back to world corners before the next.
uint64_t LongRayOwnItems = 0;
uint32_t BusyMoves = 0, Moves = 0;

Recording RunTurningLevelScene(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Level lv{sc.I(40, 56), {}};
    Recording rec;
    SetConcaveModeVOR(sc.I(1, 7));
    BuildLevelMesh(sc, lv, 100);
    PoseLevel(sc, 100, 1);
    ActivateObjVOR(100);
    sc.meshes.push_back(100);
    rec.Add("level triangles", static_cast<int32_t>(lv.corners.size() / 9));
    for (uint32_t k = 0; k < 2; ++k) {
        BuildEllipsoid(sc, 1 + k, 1, 3);
        SetObjPosVOR(sc.U(8, lv.cells - 8), 1, sc.U(8, lv.cells - 8));
        UpdateObjVOR(1 + k, 1);
    }
    SetCollisionsVOR(1, kMeshTypeA, 2, sc.I(1, 5), sc.I(1, 4));
    float yaw = sc.U(-180, 180);
    for (int frame = 0; frame < 12; ++frame) {
        const bool still = frame >= 6 && frame < 9;
        const uint64_t workBefore =
            vor::ThreadStats().accelMovedItems + vor::ThreadStats().accelMovedNodes;
        if (!still) {
            yaw += sc.U(-2, 2);
            SetObjPosVOR(sc.U(-0.2f, 0.2f), sc.U(-0.1f, 0.1f), sc.U(-0.2f, 0.2f));
            SetObjRotVOR(sc.U(-1, 1), yaw, sc.U(-1, 1));
            UpdateObjVOR(100, 0);
        }
        for (uint32_t n : sc.ellipsoids) {
            SetObjPosVOR(F(PeekObjXVOR(n)) + sc.U(-0.4f, 0.4f),
                         F(PeekObjYVOR(n)) + sc.U(-0.3f, 0.1f),
                         F(PeekObjZVOR(n)) + sc.U(-0.4f, 0.4f));
            SetObjRotVOR(0, sc.U(-180, 180), 0);
            UpdateObjVOR(n, 0);
        }
        RunCollisionVOR();
        RecordFrame(sc, rec, frame);
        const uint32_t rays = still ? 24 : sc.I(1, 3);
        for (uint32_t r = 0; r < rays; ++r) {
            const uint32_t n = sc.ellipsoids[sc.I(0, 1)];
            const float x = F(PeekObjXVOR(n)), y = F(PeekObjYVOR(n)), z = F(PeekObjZVOR(n));
            RecordRay(rec, "frame " + std::to_string(frame) + " short ray",
                      RayIntersectObjectVOR(100, 2, x + sc.U(-1, 1), y + 1.5f, z + sc.U(-1, 1),
                                            x + sc.U(-1, 1), y - 1.5f, z + sc.U(-1, 1)));
        }
        if (!still) {
            Moves += 1;
            const uint64_t work = vor::ThreadStats().accelMovedItems +
                                  vor::ThreadStats().accelMovedNodes - workBefore;
            BusyMoves += work > lv.corners.size() / 9 ? 1 : 0;
            continue;
        }
        const uint64_t before = vor::ThreadStats().accelMovedItems;
        float f[3], t[3];
        RandomLevelRay(sc, lv, f, t);
        RecordRay(rec, "frame " + std::to_string(frame) + " level ray",
                  RayIntersectObjectVOR(100, 2, f[0], f[1], f[2], t[0], t[1], t[2]));
        LongRayOwnItems += vor::ThreadStats().accelMovedItems - before;
    }
    return rec;
}

// A pressing crowd on a bumpy level: bodies on a jittered lattice walk to the centres of their
// blocks under gravity, with random responses and modes; most scenes recover overlaps (per
// definition or system-wide), so the pushes, their ground tests against the level's hierarchy and
// their sweeps are compared too.
Recording RunCrowdBlocksScene(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Recording rec;
    SetEllipSizeModeVOR(static_cast<int32_t>(sc.I(0, 1)));
    SetConcaveModeVOR(sc.I(1, 7));
    SetEllipOptimizeVOR(static_cast<int32_t>(sc.I(0, 1)));
    Level lv{sc.I(8, 14), {}};
    BuildLevelMesh(sc, lv, 100);
    SetObjPosVOR(0, 0, 0);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(100, 1);
    ActivateObjVOR(100);
    sc.meshes.push_back(100);
    const uint32_t side = sc.I(4, 9);
    const float pitch = sc.U(0.3f, 0.9f), size = static_cast<float>(lv.cells);
    const uint32_t block = sc.I(2, 5);
    std::vector<float> targets;
    for (uint32_t k = 0; k < side * side; ++k) {
        const uint32_t n = 1 + k, column = k % side, row = k / side;
        const float x = 1 + column * pitch + sc.U(-0.1f, 0.1f);
        const float z = 1 + row * pitch + sc.U(-0.1f, 0.1f);
        targets.push_back(1 + (column / block * block + 0.5f * (block - 1)) * pitch);
        targets.push_back(1 + (row / block * block + 0.5f * (block - 1)) * pitch);
        NewCollObjVOR(n, 1);
        AddObjShapeVOR(n, 1);
        SetObjRadiusVOR(n, sc.U(0.2f, 0.3f), sc.U(0.3f, 0.6f), sc.U(0.2f, 0.3f));
        if (k % 4 == 1) {
            // A body whose two shapes each meet the crowd: the first raised, the second added
            // after, so that it keeps the unit radii and no offset.
            SetEllipOffsetVOR(n, 0, 0.3f, 0);
            AddObjShapeVOR(n, 1);
        }
        SetObjGravityVOR(n, sc.U(0, 0.1f));
        SetObjPosVOR(std::fmin(x, size - 1), LevelHeight(x, z, 1.5f) + sc.U(0.2f, 1.0f),
                     std::fmin(z, size - 1));
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
        ActivateObjVOR(n);
        sc.ellipsoids.push_back(n);
    }
    // Some bodies start in exactly the same place.
    for (uint32_t k = 0; k < 3; ++k) {
        const uint32_t a = sc.I(1, side * side), b = sc.I(1, side * side);
        SetObjPosVOR(F(PeekObjXVOR(a)), F(PeekObjYVOR(a)), F(PeekObjZVOR(a)));
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(b, 1);
    }
    SetCollisionsVOR(1, kMeshTypeA, 2, sc.I(2, 4), 1);
    SetCollisionsVOR(1, 1, 1, sc.I(1, 4), 1);
    const uint32_t recovery = sc.I(0, 3);
    if (recovery == 1) {
        SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 1);
    } else if (recovery >= 2) {
        SetOverlapRecoveryVOR(1, 1, 1);
        SetOverlapRecoveryVOR(1, static_cast<int32_t>(kMeshTypeA), recovery == 3 ? 1 : 0);
    }
    const float step = sc.U(0.02f, 0.2f);
    const int frames = static_cast<int>(sc.I(4, 8));
    for (int frame = 0; frame < frames; ++frame) {
        for (uint32_t n : sc.ellipsoids) {
            const float x = F(PeekObjXVOR(n)), y = F(PeekObjYVOR(n)), z = F(PeekObjZVOR(n));
            const float dx = targets[2 * (n - 1)] - x, dz = targets[2 * (n - 1) + 1] - z;
            const float d = std::sqrt(dx * dx + dz * dz);
            const float s = d > step ? step / d : 1.0f;
            SetObjPosVOR(x + dx * s, y, z + dz * s);
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(n, 0);
        }
        RunCollisionVOR();
        RecordFrame(sc, rec, frame);
    }
    SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 0);
    return rec;
}

// Clusters of overlapping bodies pressing together: one around the origin (cells of both signs),
// others out along the axes, one so far out that the recovery's cells clamp there, and now and
// then a body many times the others' size, which coarsens the cells. With plain scans the
// recovery takes its candidates from all pairs, so the comparison holds the cell search to every
// pair it must find.
Recording RunRecoveryAcrossCellsScene(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Recording rec;
    SetEllipSizeModeVOR(static_cast<int32_t>(sc.I(0, 1)));
    const float size = sc.U(0.05f, 0.4f);
    const float reach = sc.U(2.0f, 40.0f) * size;
    const float far = 1e8f * size * (sc.I(0, 1) == 0 ? 1.0f : -1.0f);
    const float centres[5][3] = {
        {0, 0, 0}, {reach, 0, 0}, {0, -reach, 0}, {0, 0, reach}, {far, far * 0.5f, -far}};
    std::vector<float> targets;
    uint32_t n = 1;
    for (const auto &c : centres) {
        const uint32_t count = sc.I(6, 24);
        for (uint32_t k = 0; k < count; ++k, ++n) {
            NewCollObjVOR(n, 1);
            AddObjShapeVOR(n, 1);
            const float grow = sc.I(0, 15) == 0 ? sc.U(5, 20) : 1.0f;
            SetObjRadiusVOR(n, grow * sc.U(0.7f, 1.0f) * size, grow * sc.U(0.7f, 1.6f) * size,
                            grow * sc.U(0.7f, 1.0f) * size);
            if (k % 5 == 2) {
                SetEllipOffsetVOR(n, 0, size, 0);
                AddObjShapeVOR(n, 1);
            }
            const float spread = 2.5f * size;
            SetObjPosVOR(c[0] + sc.U(-spread, spread), c[1] + sc.U(-spread, spread),
                         c[2] + sc.U(-spread, spread));
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(n, 1);
            ActivateObjVOR(n);
            sc.ellipsoids.push_back(n);
            targets.insert(targets.end(), {c[0], c[1], c[2]});
        }
    }
    SetCollisionsVOR(1, 1, 1, sc.I(1, 4), 1);
    SetOverlapRecoveryVOR(1, 1, 1);
    const int frames = static_cast<int>(sc.I(3, 6));
    for (int frame = 0; frame < frames; ++frame) {
        for (uint32_t b : sc.ellipsoids) {
            const float *t = &targets[3 * (b - 1)];
            const float x = F(PeekObjXVOR(b)), y = F(PeekObjYVOR(b)), z = F(PeekObjZVOR(b));
            SetObjPosVOR(x + 0.1f * (t[0] - x), y + 0.1f * (t[1] - y), z + 0.1f * (t[2] - z));
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(b, 0);
        }
        RunCollisionVOR();
        RecordFrame(sc, rec, frame);
    }
    SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 0);
    return rec;
}

// Body n of a ray-tree layout: 0 sorted along a line, 1 all in one spot, 2 seven far clusters,
// 3 a grid of sizes from 0.01 to 20; active, of kMixedType. Answers its x.
float AddLayoutBody(uint32_t n, uint32_t layout) {
    NewCollObjVOR(n, kMixedType);
    AddObjShapeVOR(n, 1);
    const float r = layout == 3 ? static_cast<float>(1u << (n % 12)) * 0.01f : 0.5f;
    SetObjRadiusVOR(n, r, r, r);
    const float x = layout == 0   ? static_cast<float>(n)
                    : layout == 1 ? 5.0f
                    : layout == 2 ? static_cast<float>(n % 7) * 1e5f
                                  : static_cast<float>(n % 50);
    SetObjPosVOR(x, 0, layout == 3 ? static_cast<float>(n / 50) : 0.0f);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(n, 1);
    ActivateObjVOR(n);
    return x;
}

class AccelDifferentialTest : public HostTest {
  protected:
    void TearDown() override {
        vor::ReferenceScans = false;
        HostTest::TearDown();
    }
    // The plain scan always runs on one thread; the searching run on `workers` threads.
    Recording Run(uint32_t seed, bool reference, Recording (*scene)(uint32_t) = RunScene) {
        StopCollisionVOR();
        vor::ReferenceScans = reference;
        SetWorkerCountVOR(reference ? 1 : workers);
        Recording rec = scene(seed);
        StopCollisionVOR();
        SetWorkerCountVOR(1);
        vor::ReferenceScans = false;
        return rec;
    }
    int32_t workers = 1;
    // Runs one seed both ways (the fast run's work counted from zero), compares every value, and
    // answers how many of the rays labelled `ray` hit in the plain run.
    uint32_t CompareRays(uint32_t seed, Recording (*scene)(uint32_t), const std::string &ray) {
        const Recording plain = Run(seed, true, scene);
        vor::ResetStats();
        const Recording fast = Run(seed, false, scene);
        EXPECT_EQ(plain.values.size(), fast.values.size()) << "seed " << seed;
        if (plain.values.size() != fast.values.size()) {
            return 0;
        }
        uint32_t hits = 0;
        for (size_t k = 0; k < plain.values.size(); ++k) {
            if (plain.values[k] != fast.values[k]) {
                ADD_FAILURE() << "seed " << seed << ": " << plain.labels[k];
                return 0;
            }
            hits += plain.labels[k] == ray + " answer" && plain.values[k] != 0 ? 1 : 0;
        }
        return hits;
    }
    // Runs each seed both ways, compares every value, answers the contacts recorded. The pairs
    // whose box test passes are counted alike too: the search structures leave out only pairs that
    // test rejects, which the values alone cannot show where a skipped pair could not have won.
    uint64_t Compare(uint32_t scenes, Recording (*scene)(uint32_t)) {
        uint64_t contacts = 0;
        for (uint32_t seed = 1; seed <= scenes; ++seed) {
            const uint64_t before = vor::ThreadStats().pairsOverlapped;
            const Recording plain = Run(seed, true, scene);
            const uint64_t between = vor::ThreadStats().pairsOverlapped;
            const Recording fast = Run(seed, false, scene);
            EXPECT_EQ(between - before, vor::ThreadStats().pairsOverlapped - between)
                << "scene " << seed;
            EXPECT_EQ(plain.values.size(), fast.values.size()) << "scene " << seed;
            if (plain.values.size() != fast.values.size()) {
                return contacts;
            }
            for (size_t k = 0; k < plain.values.size(); ++k) {
                if (plain.values[k] != fast.values[k]) {
                    ADD_FAILURE() << "scene " << seed << ": " << plain.labels[k];
                    return contacts;
                }
                if (plain.labels[k].find("contacts") != std::string::npos) {
                    contacts += plain.values[k];
                }
            }
        }
        return contacts;
    }
};

TEST_F(AccelDifferentialTest, RandomScenesGiveTheSameResultsWithAndWithoutTheSearchStructures) {
    constexpr uint32_t kScenes = 250;
    uint64_t contacts = 0;
    for (uint32_t seed = 1; seed <= kScenes; ++seed) {
        const Recording plain = Run(seed, true);
        vor::ResetStats();
        const Recording fast = Run(seed, false);
        ASSERT_EQ(plain.values.size(), fast.values.size()) << "scene " << seed;
        for (size_t k = 0; k < plain.values.size(); ++k) {
            ASSERT_EQ(plain.values[k], fast.values[k])
                << "scene " << seed << ": " << plain.labels[k];
        }
        for (size_t k = 0; k < plain.values.size(); ++k) {
            if (plain.labels[k].find("contacts") != std::string::npos) {
                contacts += plain.values[k];
            }
        }
    }
    // The scenes must actually collide, or the comparison proves little.
    EXPECT_GT(contacts, 1000u);
}

TEST_F(AccelDifferentialTest, RaysByTypeAgainstChurningCrowdsGiveTheSameAnswersInBothModes) {
    constexpr uint32_t kScenes = 120;
    uint64_t hits = 0;
    for (uint32_t seed = 1; seed <= kScenes; ++seed) {
        const Recording plain = Run(seed, true, RunCrowdRays);
        const Recording fast = Run(seed, false, RunCrowdRays);
        ASSERT_EQ(plain.values.size(), fast.values.size()) << "crowd " << seed;
        for (size_t k = 0; k < plain.values.size(); ++k) {
            ASSERT_EQ(plain.values[k], fast.values[k])
                << "crowd " << seed << ": " << plain.labels[k];
        }
        for (size_t k = 0; k < plain.values.size(); ++k) {
            if (plain.labels[k].find(" answer") != std::string::npos) {
                hits += plain.values[k];
            }
        }
    }
    // The crowds must actually be hit, or the comparison proves little.
    EXPECT_GT(hits, 2000u);
}

TEST_F(AccelDifferentialTest, RaysAndStepsAcrossALevelGiveTheSameResultsInBothModes) {
    constexpr uint32_t kScenes = 30;
    uint64_t hits = 0;
    for (uint32_t seed = 1; seed <= kScenes; ++seed) {
        const Recording plain = Run(seed, true, RunLevelScene);
        vor::ResetStats();
        const Recording fast = Run(seed, false, RunLevelScene);
        // Most rays are answered nearest first; the rest (NaN, infinity) by the candidate scan,
        // as are those at a moving level whose hierarchy is in its own frame.
        EXPECT_GT(vor::ThreadStats().accelRays,
                  5 * (vor::ThreadStats().accelRayFallbacks - vor::ThreadStats().accelOwnFrameRays))
            << "scene " << seed;
        ASSERT_EQ(plain.values.size(), fast.values.size()) << "scene " << seed;
        for (size_t k = 0; k < plain.values.size(); ++k) {
            ASSERT_EQ(plain.values[k], fast.values[k])
                << "scene " << seed << ": " << plain.labels[k] << " (value " << k << ")";
            if (plain.labels[k].find("level ray answer") != std::string::npos) {
                hits += plain.values[k];
            }
        }
    }
    // A good share of the rays must hit something, or the comparison proves little.
    EXPECT_GT(hits, kScenes * 3 * 120 / 5);
}

TEST_F(AccelDifferentialTest, TheSearchStructuresAreActuallyUsedByTheFastRun) {
    vor::ResetStats();
    Run(3, false);
    EXPECT_GT(vor::ThreadStats().accelBuilds, 0u);
    EXPECT_GT(vor::ThreadStats().gridDefinitions, 0u);
    EXPECT_GT(vor::ThreadStats().typeRayIndexBuilds, 0u);
    vor::ResetStats();
    Run(3, true);
    EXPECT_EQ(vor::ThreadStats().accelBuilds, 0u);
    EXPECT_EQ(vor::ThreadStats().gridDefinitions, 0u);
    EXPECT_EQ(vor::ThreadStats().typeRayIndexBuilds, 0u);
}

TEST_F(AccelDifferentialTest, PilesStacksFreedBodiesAndOutliersGiveTheSameResults) {
    const uint64_t contacts = Compare(30, RunPileScene);
    EXPECT_GT(contacts, 5000u);
}

TEST_F(AccelDifferentialTest, PileScenesUseTheRecordLookUps) {
    vor::ResetStats();
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        Run(seed, false, RunPileScene);
    }
    EXPECT_GT(vor::ThreadStats().motionIndexBuilds, 0u);
    EXPECT_GT(vor::ThreadStats().gridDefinitions, 0u);
    vor::ResetStats();
    Run(1, true, RunPileScene);
    EXPECT_EQ(vor::ThreadStats().motionIndexBuilds, 0u);
    EXPECT_EQ(vor::ThreadStats().gridDefinitions, 0u);
}

// Each seed both ways, bit for bit, and in the fast run the work bounded by the answer's size:
// pairs and grid slots met per source swept (not per source and big body), ray tree nodes per ray
// (not per body of the type), tree height within the balanced bound, one tree ever made.
TEST_F(AccelDifferentialTest, SizeMixesFarBodiesAndRaysBetweenPassesStayExactWithinWorkBounds) {
    constexpr uint32_t kScenes = 12;
    for (uint32_t seed = 1; seed <= kScenes; ++seed) {
        const Recording plain = Run(seed, true, RunMixedCrowd);
        vor::ResetStats();
        const Recording fast = Run(seed, false, RunMixedCrowd);
        const vor::WorkCounters work = vor::ThreadStats();
        ASSERT_EQ(plain.values.size(), fast.values.size()) << "mix " << seed;
        for (size_t k = 0; k < plain.values.size(); ++k) {
            ASSERT_EQ(plain.values[k], fast.values[k]) << "mix " << seed << ": " << plain.labels[k];
        }
        uint64_t rays = 0, hits = 0;
        for (size_t k = 0; k < plain.labels.size(); ++k) {
            if (plain.labels[k].find(" ray ") != std::string::npos &&
                plain.labels[k].find(" answer") != std::string::npos) {
                rays += 1;
                hits += plain.values[k];
            }
        }
        EXPECT_GT(hits, 0u) << "mix " << seed;
        // A source meets the neighbours in a few cells of each level (about 50 here) and a few
        // times the pairs its box tests pass (the answer); an outlier list met by every source
        // would add the 200 to 300 big bodies for each of the crowd.
        EXPECT_LE(work.gridSlotsMet, 128 * work.gridQueries + 8 * work.pairsTested)
            << "mix " << seed;
        EXPECT_LE(work.gridCellsVisited, 512 * work.gridQueries) << "mix " << seed;
        // Far bodies stretch a level's cells past what laying them out whole may take.
        EXPECT_GT(work.gridHashedSweeps, 0u) << "mix " << seed;
        EXPECT_LE(work.pairsTested, 2 * work.pairsOverlapped + work.gridQueries) << "mix " << seed;
        // One tree for each type rays ask for (1, and 2 in RecordFrame), never made again; a ray
        // opens a few paths of it, not every body of the type.
        EXPECT_LE(work.typeRayIndexBuilds, 2u) << "mix " << seed;
        EXPECT_LE(work.typeRayNodes, 64 * (rays + work.typeRayEllipsoids)) << "mix " << seed;
    }
}

// Groups of bodies the ray meets at nearly one distance, where the nearest-first search must not
// leave out the winner: copies at one place (the first activated wins the tie, and activation here
// runs against creation now and then), copies moved along the ray by a float to a tenth, and a
// wide flat body whose box the ray enters first but whose surface it meets later than a small
// sphere's behind it. The tree takes the bodies in an order unrelated to their activation. Rays
// are short, straight and slanted, so that the search's allowance stays small beside the bodies
// (long rays and very flat bodies widen it, and it leaves out less).
Recording RunNearHitsScene(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Recording rec;
    const float kShift[5] = {0.0f, 1e-6f, 1e-4f, 1e-2f, 0.1f};
    uint32_t n = 0;
    std::vector<vor::Vec3> groups, places;
    for (uint32_t g = 0; g < 40; ++g) {
        const vor::Vec3 at = {sc.U(0, 60), 0, sc.U(0, 60)};
        groups.push_back(at);
        const uint32_t copies = sc.I(2, 5);
        for (uint32_t k = 0; k < copies; ++k) {
            n += 1;
            NewCollObjVOR(n, 1);
            AddObjShapeVOR(n, 1);
            const bool flat = sc.I(0, 4) == 0;
            SetObjRadiusVOR(n, flat ? 0.6f : 0.3f, flat ? 0.2f : 0.3f, flat ? 0.6f : 0.3f);
            places.push_back({at.x + kShift[sc.I(0, 4)], flat ? 0.1f : 0.0f, at.z});
            // Far apart at first (see below).
            SetObjPosVOR(static_cast<float>(n) * 10, 50, 0);
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(n, 1);
        }
    }
    // Activated in creation order, or last first, or in a shuffled order.
    std::vector<uint32_t> order(n);
    for (uint32_t k = 0; k < n; ++k) {
        order[k] = seed % 3 == 1 ? n - k : 1 + k;
    }
    if (seed % 3 == 2) {
        std::shuffle(order.begin(), order.end(), sc.rng);
    }
    for (uint32_t k : order) {
        ActivateObjVOR(k);
    }
    // The tree made with the bodies far apart, then each moved to its group in a shuffled order:
    // the tree's order then owes nothing to activation, so the search meets copies in any order.
    RayIntersectTypeVOR(1, 1, 0, 0, 0, 1, 0, 0);
    std::shuffle(order.begin(), order.end(), sc.rng);
    for (uint32_t k : order) {
        SetObjPosVOR(places[k - 1].x, places[k - 1].y, places[k - 1].z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(k, 1);
        RayIntersectTypeVOR(1, 1, 0, 0, 0, 1, 0, 0); // each taken into the tree on its own
    }
    for (int k = 0; k < 200; ++k) {
        const vor::Vec3 &at = groups[sc.I(0, static_cast<uint32_t>(groups.size()) - 1)];
        const float back = sc.U(0.5f, 3);
        const float y = sc.I(0, 2) == 0 ? sc.U(0.1f, 1.0f) : sc.U(-0.2f, 0.2f);
        const float side = sc.I(0, 1) == 0 ? 0.0f : sc.U(-0.25f, 0.25f);
        const float s[3] = {at.x - back, y, at.z + side};
        const float e[3] = {at.x + sc.U(1, 4), sc.I(0, 1) == 0 ? y : -y,
                            at.z + side * sc.U(-1, 1)};
        RecordRay(rec, "near ray", RayIntersectTypeVOR(1, 1, s[0], s[1], s[2], e[0], e[1], e[2]));
    }
    return rec;
}

TEST_F(AccelDifferentialTest, RaysByTypeThroughNearlyEqualHitsMatchTheScan) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        // Most of the 200 rays meet their group.
        EXPECT_GT(CompareRays(seed, RunNearHitsScene, "near ray"), 100u) << "seed " << seed;
    }
}

// A ray starting exactly where it touches a sphere's top, along the tangent, and so short beside
// the radius that its squared length in the sphere's unit space underflows to 0: the entry passes
// (its square is 0 too) and the distance the scan records is -infinity. Two bodies touching there
// (two sizes, or copies) both give -infinity, and the scan keeps the first activated. Seeds 1 and
// 2: just those two; seed 3: forty more far off, so that the tree is past 32 leaves.
Recording RunTangentShortRaysScene(uint32_t seed) {
    Recording rec;
    const float radius2 = seed == 2 ? 1000.0f : 2000.0f;
    const float centre2 = seed == 2 ? 0.0f : -1000.0f; // its top at y = 1000 too
    const float radii[2] = {1000.0f, radius2}, ys[2] = {0.0f, centre2};
    uint32_t n = 0;
    for (uint32_t k = 0; k < 2; ++k) {
        n += 1;
        NewCollObjVOR(n, kMixedType);
        AddObjShapeVOR(n, 1);
        SetObjRadiusVOR(n, radii[k], radii[k], radii[k]);
        SetObjPosVOR(0, ys[k], 0);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
        ActivateObjVOR(n);
    }
    for (uint32_t k = 0; seed == 3 && k < 40; ++k) {
        n += 1;
        NewCollObjVOR(n, kMixedType);
        AddObjShapeVOR(n, 1);
        SetObjRadiusVOR(n, 1, 1, 1);
        SetObjPosVOR(5000.0f + 10.0f * static_cast<float>(k), 0, 0);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
        ActivateObjVOR(n);
    }
    // Along +x, -x, +z and -z from the common top point (moved off it by 1e-20 against the ray).
    RecordRay(rec, "tangent ray",
              RayIntersectTypeVOR(kMixedType, 1, 1e-20f, 1000, 0, 1.1e-20f, 1000, 0));
    RecordRay(rec, "tangent ray",
              RayIntersectTypeVOR(kMixedType, 1, -1e-20f, 1000, 0, -1.1e-20f, 1000, 0));
    RecordRay(rec, "tangent ray",
              RayIntersectTypeVOR(kMixedType, 1, 0, 1000, 1e-20f, 0, 1000, 1.1e-20f));
    RecordRay(rec, "tangent ray",
              RayIntersectTypeVOR(kMixedType, 1, 0, 1000, -1e-20f, 0, 1000, -1.1e-20f));
    return rec;
}

TEST_F(AccelDifferentialTest, RaysByTypeTooShortForTheirUnitSpaceFromATouchingPointMatchTheScan) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        // Every one of the four rays hits (at -infinity) in the scan.
        EXPECT_EQ(CompareRays(seed, RunTangentShortRaysScene, "tangent ray"), 4u)
            << "seed " << seed;
    }
}

// A body that creeps to the edge of its box in the ray tree, or grows in place, moves in the tree
// before any part of it leaves that box (its box in the tree keeps every ray that can hit it).
TEST_F(AccelDifferentialTest, RaysByTypeGrazingCreepingAndGrowingBodiesMatchTheScan) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        // 24 bodies, 40 frames, two rays each: most hit.
        EXPECT_GT(CompareRays(seed, RunCreepingBodiesScene, "creep ray"), 1200u) << "seed " << seed;
        EXPECT_GT(vor::ThreadStats().typeRayLeafMoves, 24u) << "seed " << seed;
    }
}

// The ray tree opens what the ray's line passes up to the nearest hit, not everything in its box:
// hundreds of bodies lie in the box of a sloping ray here, a few dozen near its line.
TEST_F(AccelDifferentialTest, RaysByTypeOpenWhatTheirLinePassesFirstAndMatchTheScan) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        EXPECT_GT(CompareRays(seed, RunSlopedRaysScene, "sloped ray"), 20u) << "seed " << seed;
        // 55 to 100 nodes and 1 to 6 bodies tested a ray; with the line but not nearest first,
        // 100 to 175 and up to 15; with neither, 340 to 500 nodes.
        EXPECT_LE(vor::ThreadStats().typeRayNodes, 120u * 130u) << "seed " << seed;
        EXPECT_LE(vor::ThreadStats().typeRayEllipsoids, 120u * 8u) << "seed " << seed;
    }
}

// The tree records its survivors from the entries its walk made: bodies of three sizes mixed
// (the walk's last radii are seldom a survivor's), activated in shuffled order and some again
// (activation order unlike the walk's), packed so that rays start inside several, some with the
// ellipsoid moved off the body; moved between rays with and without a pass. Rays from centres,
// from just off the surface, zero-length, and from 1e-3 down to 1e-20 long. Seed 1: one body
// (the root a leaf), seed 2: two, the rest 48.
Recording RunSharedEntryScene(uint32_t seed) {
    Recording rec;
    Scene sc{std::mt19937(seed * 7919u), {}, {}, {}};
    const float radii[3][3] = {{0.5f, 0.8f, 0.5f}, {0.3f, 0.3f, 0.3f}, {1.2f, 0.4f, 0.9f}};
    const uint32_t count = seed == 1 ? 1u : seed == 2 ? 2u : 48u;
    std::vector<uint32_t> order;
    for (uint32_t n = 1; n <= count; ++n) {
        NewCollObjVOR(n, kMixedType);
        AddObjShapeVOR(n, 1);
        const float *r = radii[sc.I(0, 2)];
        SetObjRadiusVOR(n, r[0], r[1], r[2]);
        if (sc.I(0, 4) == 0) {
            SetEllipOffsetVOR(n, sc.U(-0.3f, 0.3f), 0, sc.U(-0.3f, 0.3f));
        }
        // Every fifth at the origin: equal distances, where the first activated wins.
        const float x = sc.U(-3, 3), y = sc.U(-1, 1), z = sc.U(-3, 3);
        const bool twin = n % 5 == 0;
        SetObjPosVOR(twin ? 0.0f : x, twin ? 0.0f : y, twin ? 0.0f : z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
        order.push_back(n);
    }
    std::shuffle(order.begin(), order.end(), sc.rng);
    for (uint32_t n : order) {
        ActivateObjVOR(n);
    }
    for (int frame = 0; frame < 8; ++frame) {
        for (int k = 0; k < 40; ++k) {
            const uint32_t b = sc.I(1, count);
            const float c[3] = {vorFloatFromBits(PeekObjXVOR(b)), vorFloatFromBits(PeekObjYVOR(b)),
                                vorFloatFromBits(PeekObjZVOR(b))};
            float f[3] = {sc.U(-5, 5), sc.U(-2, 2), sc.U(-5, 5)};
            float t[3] = {sc.U(-5, 5), sc.U(-2, 2), sc.U(-5, 5)};
            const uint32_t kind = sc.I(0, 5);
            if (kind == 1 || kind == 3) { // from a centre
                std::copy(c, c + 3, f);
            }
            if (kind == 2) { // from just above the top of the largest radii
                f[0] = c[0];
                f[1] = c[1] + 0.8f + sc.U(-1e-5f, 1e-5f);
                f[2] = c[2];
            }
            if (kind == 3 || kind == 2) { // short, 1e-3 down to 1e-20
                const float len = std::pow(10.0f, -static_cast<float>(sc.I(3, 20)));
                for (int a = 0; a < 3; ++a) {
                    t[a] = f[a] + len * sc.U(-1, 1);
                }
            }
            if (kind == 4) { // zero length
                std::copy(f, f + 3, t);
            }
            RecordRay(rec, "entry ray",
                      RayIntersectTypeVOR(kMixedType, 1, f[0], f[1], f[2], t[0], t[1], t[2]));
        }
        // Some bodies move; every other frame a pass runs before the next rays.
        for (uint32_t k = 0; k < count / 4 + 1; ++k) {
            const uint32_t n = sc.I(1, count);
            SetObjPosVOR(sc.U(-3, 3), sc.U(-1, 1), sc.U(-3, 3));
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(n, 1);
        }
        if (frame % 3 == 1) { // one to the end of the activation order
            ActivateObjVOR(sc.I(1, count));
        }
        if (frame % 2 == 0) {
            RunCollisionVOR();
        }
    }
    return rec;
}

TEST_F(AccelDifferentialTest, RaysByTypeRecordTheirWalksEntriesAsTheScanWould) {
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        // 320 rays a seed; many start inside a body or miss.
        EXPECT_GT(CompareRays(seed, RunSharedEntryScene, "entry ray"), seed <= 2 ? 20u : 90u)
            << "seed " << seed;
    }
}

// Bodies walking a steady course leave their box in the ray tree, and move in it, once in many
// frames: their boxes reach ahead of them. A body that jumps far gets no box reaching that far
// ahead: a ray crossing where another such jump would take it opens no node.
TEST_F(AccelDifferentialTest, WalkingBodiesMoveInTheRayTreeOnceInManyFrames) {
    constexpr uint32_t kWalkers = 50, kFrames = 160;
    for (uint32_t n = 1; n <= kWalkers; ++n) {
        NewCollObjVOR(n, kMixedType);
        AddObjShapeVOR(n, 1);
        SetObjRadiusVOR(n, 0.5f, 0.5f, 0.5f);
        SetObjPosVOR(10.0f * static_cast<float>(n), 0, 0);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
        ActivateObjVOR(n);
    }
    vor::ResetStats();
    for (uint32_t frame = 1; frame <= kFrames; ++frame) {
        for (uint32_t n = 1; n <= kWalkers; ++n) {
            SetObjPosVOR(10.0f * static_cast<float>(n), 0, 0.05f * static_cast<float>(frame));
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(n, 0);
        }
        RunCollisionVOR();
        RayIntersectTypeVOR(kMixedType, 1, 0, 0, -5, 600, 0, 200);
    }
    // 0.05 a frame: a box a radius wider than the body's own (radius 0.5), and sixteen steps (0.8)
    // ahead, lasts 26 frames (300 moves here); without reaching ahead, 10 (750).
    EXPECT_LE(vor::ThreadStats().typeRayLeafMoves, kWalkers * (kFrames / 24 + 1));
    EXPECT_GE(vor::ThreadStats().typeRayLeafMoves, kWalkers * (kFrames / 32));
    // One jump of 1,000 along z, then a ray across z = 1,060 misses the root's box.
    const float z = 0.05f * static_cast<float>(kFrames);
    SetObjPosVOR(10, 0, z + 1000);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(1, 0);
    RunCollisionVOR();
    vor::ResetStats();
    EXPECT_EQ(RayIntersectTypeVOR(kMixedType, 1, 0, 0, z + 1060, 600, 0, z + 1060), 0);
    EXPECT_EQ(vor::ThreadStats().typeRayNodes, 0u);
}

// Sorted, repeated and clustered insertions of every size keep the ray tree balanced.
// A tree made by the first ray by type over bodies already there is built at once, split at
// medians: as shallow as a binary tree can be, whatever the layout (ties, all in one spot, far
// clusters, mixed sizes), and the walks through it answer what the scan answers.
TEST_F(AccelDifferentialTest, ARayTreeMadeOverExistingBodiesIsBuiltBalanced) {
    for (uint32_t layout = 0; layout < 4; ++layout) {
        StopCollisionVOR();
        const uint32_t count = 2000;
        for (uint32_t n = 1; n <= count; ++n) {
            AddLayoutBody(n, layout);
        }
        for (int k = 0; k < 50; ++k) {
            const float x = static_cast<float>(k * 41 % 2000) - 3.0f,
                        z = static_cast<float>(k % 40);
            const int32_t fast =
                RayIntersectTypeVOR(kMixedType, 1, x, 0.1f, z - 30, x + 7, 0.2f, z + 30);
            const int32_t distance = RayHitDist(), object = RayHitObjVOR();
            vor::ReferenceScans = true;
            EXPECT_EQ(RayIntersectTypeVOR(kMixedType, 1, x, 0.1f, z - 30, x + 7, 0.2f, z + 30),
                      fast)
                << layout << " ray " << k;
            EXPECT_EQ(RayHitDist(), distance) << layout << " ray " << k;
            EXPECT_EQ(RayHitObjVOR(), object) << layout << " ray " << k;
            vor::ReferenceScans = false;
        }
        // 2000 leaves: 11 levels of splits, where bodies taken in one at a time leave it 12 to 18.
        EXPECT_EQ(vor::EllipsoidRayIndexHeight(kMixedType), 11u) << layout;
    }
}

TEST_F(AccelDifferentialTest, TheRayTreeStaysBalancedWhateverTheOrderOfItsBodies) {
    for (uint32_t layout = 0; layout < 4; ++layout) {
        StopCollisionVOR();
        const uint32_t count = 2000;
        // The tree exists before the bodies, so each is taken in one at a time.
        RayIntersectTypeVOR(kMixedType, 1, 0, 0, 0, 1, 0, 0);
        for (uint32_t n = 1; n <= count; ++n) {
            const float x = AddLayoutBody(n, layout);
            if (n % 97 == 0) {
                RayIntersectTypeVOR(kMixedType, 1, x - 1, 0, 0, x + 1, 0, 0); // takes them in
            }
        }
        vor::ResetStats();
        EXPECT_EQ(RayIntersectTypeVOR(kMixedType, 1, -1e6f, 0, 0, 2e6f, 0, 0), 1) << layout;
        const uint32_t height = vor::EllipsoidRayIndexHeight(kMixedType);
        // 2000 leaves: a balanced tree is about 11 high; AVL keeps it under 1.44 log2 + 2.
        EXPECT_GE(height, 11u) << layout;
        EXPECT_LE(height, 18u) << layout;
        EXPECT_EQ(vor::ThreadStats().typeRayIndexBuilds, 0u) << layout;
    }
}

// One type of characters spread three ways, walking at random for a few frames: a lattice crowd,
// strewn over a square 400 m wide, and along a rising diagonal (the cells of its box, laid out
// whole, would number the cube of its length).
constexpr uint32_t kSpreadBodies = 300;

// A crowd on a lattice, strewn or on a diagonal (by seed); on one level floor, every body at one
// height and stepping along the floor only.
Recording SpreadCrowd(uint32_t seed, bool level) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Recording rec;
    const uint32_t layout = level ? 0 : seed % 3;
    const float height = level ? sc.U(-50, 50) : 0.0f;
    for (uint32_t k = 0; k < kSpreadBodies; ++k) {
        const uint32_t n = 1 + k;
        const float t = static_cast<float>(k);
        NewCollObjVOR(n, 1);
        AddObjShapeVOR(n, 1);
        SetObjRadiusVOR(n, 0.25f, 0.45f, 0.25f);
        if (layout == 0) {
            SetObjPosVOR(static_cast<float>(k % 20) * 0.8f, height,
                         static_cast<float>(k / 20) * 0.8f);
        } else if (layout == 1) {
            SetObjPosVOR(sc.U(-200, 200), sc.U(0, 2), sc.U(-200, 200));
        } else {
            SetObjPosVOR(t * 1.7f, t * 0.9f, t * 1.3f);
        }
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
        ActivateObjVOR(n);
        sc.ellipsoids.push_back(n);
    }
    SetCollisionsVOR(1, 1, 1, sc.I(1, 4), 1);
    const float reach = level ? 0.1f : 0.6f;
    for (int frame = 0; frame < 4; ++frame) {
        for (uint32_t n : sc.ellipsoids) {
            const float x = F(PeekObjXVOR(n)) + sc.U(-reach, reach);
            const float y = level ? height : F(PeekObjYVOR(n)) + sc.U(-0.2f, 0.2f);
            SetObjPosVOR(x, y, F(PeekObjZVOR(n)) + sc.U(-reach, reach));
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(n, 0);
        }
        RunCollisionVOR();
        RecordFrame(sc, rec, frame);
    }
    return rec;
}

Recording RunSpreadCrowdScene(uint32_t seed) {
    return SpreadCrowd(seed, false);
}

Recording RunLevelCrowdScene(uint32_t seed) {
    return SpreadCrowd(seed, true);
}

// Whatever the spread, the grid gives the plain scan's results and takes buckets in proportion to
// its destinations (at most 8 cell entries each, at most 4 buckets an entry): laid out whole for
// the crowd, hashed for the strewn and the diagonal ones, whose whole layouts would be huge.
TEST_F(AccelDifferentialTest, SpreadCrowdsMatchTheScanWithBucketsInProportionToTheirBodies) {
    EXPECT_GT(Compare(6, RunSpreadCrowdScene), 100u);
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        vor::ResetStats();
        Run(seed, false, RunSpreadCrowdScene);
        const vor::WorkCounters work = vor::ThreadStats();
        EXPECT_GT(work.gridDefinitions, 0u) << "scene " << seed;
        EXPECT_LE(work.gridBucketsMost, 32u * kSpreadBodies + 64u) << "scene " << seed;
        EXPECT_EQ(work.gridHashedSweeps == 0, seed % 3 == 0) << "scene " << seed;
    }
}

// A pressing crowd whose pair grid is kept over the iterations of each pass: bodies on a lattice
// just apart walk to the centres of their blocks on a floor while sprinters dash through them 1
// to 3 m a frame (two or fewer, or by seed an eighth of the crowd, so that the kept grid meets
// escaped bodies or is built anew), some pairs start in one place (times far below zero), and
// some scenes add a second type meeting the first (a definition whose sources are not its
// destinations, and two grids in turn).
constexpr int kKeptGridFrames = 8;

Recording RunKeptGridScene(uint32_t seed) {
    Scene sc{std::mt19937(seed), {}, {}, {}};
    Recording rec;
    SetEllipSizeModeVOR(static_cast<int32_t>(sc.I(0, 1)));
    NewCollObjVOR(100, kMeshTypeA);
    AddObjShapeVOR(100, 2);
    const float size = 9, tilt = sc.U(0, 0.3f);
    AddMeshTri(100, 0, 0, 0, 0, 0, size, size, tilt, 0);
    AddMeshTri(100, size, tilt, 0, 0, 0, size, size, tilt, size);
    SetObjPosVOR(0, 0, 0);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(100, 1);
    ActivateObjVOR(100);
    sc.meshes.push_back(100);
    const uint32_t side = 12, count = side * side;
    const uint32_t sprinters = seed % 3 == 0 ? count / 8 : sc.I(0, 2);
    const uint32_t every = count / (sprinters + 1);
    const bool twoTypes = seed % 5 == 2;
    std::vector<float> targets;
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t n = 1 + k, column = k % side, row = k / side;
        const float x = 1 + column * 0.52f, z = 1 + row * 0.52f;
        targets.push_back(1 + (column / 4 * 4 + 1.5f) * 0.52f);
        targets.push_back(1 + (row / 4 * 4 + 1.5f) * 0.52f);
        NewCollObjVOR(n, twoTypes && k % 5 == 0 ? 2 : 1);
        AddObjShapeVOR(n, 1);
        SetObjRadiusVOR(n, 0.25f, 0.45f, 0.25f);
        SetObjPosVOR(x, x * tilt / size + 0.46f, z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
        ActivateObjVOR(n);
        sc.ellipsoids.push_back(n);
    }
    for (uint32_t k = 0; k < 2; ++k) {
        const uint32_t a = sc.I(1, count), b = sc.I(1, count);
        SetObjPosVOR(F(PeekObjXVOR(a)), F(PeekObjYVOR(a)), F(PeekObjZVOR(a)));
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(b, 1);
    }
    SetCollisionsVOR(1, kMeshTypeA, 2, 3, 1);
    SetCollisionsVOR(1, 1, 1, sc.I(2, 4), 1);
    if (twoTypes) {
        SetCollisionsVOR(2, kMeshTypeA, 2, 3, 1);
        SetCollisionsVOR(2, 1, 1, sc.I(2, 4), 1);
        SetCollisionsVOR(1, 2, 1, sc.I(2, 4), 1);
    }
    for (int frame = 0; frame < kKeptGridFrames; ++frame) {
        for (uint32_t n : sc.ellipsoids) {
            const float x = F(PeekObjXVOR(n)), y = F(PeekObjYVOR(n)), z = F(PeekObjZVOR(n));
            float dx = targets[2 * (n - 1)] - x, dz = targets[2 * (n - 1) + 1] - z;
            const float d = std::sqrt(dx * dx + dz * dz);
            const float step = n % every == 0 && n / every <= sprinters ? sc.U(1.0f, 3.0f) : 0.03f;
            dx = d > 0 ? dx / d * step : 0;
            dz = d > 0 ? dz / d * step : 0;
            SetObjPosVOR(std::fmin(std::fmax(x + dx, 1.0f), size - 1), y - 0.05f,
                         std::fmin(std::fmax(z + dz, 1.0f), size - 1));
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(n, 0);
        }
        RunCollisionVOR();
        RecordFrame(sc, rec, frame);
    }
    return rec;
}

// Crowds of one or two types pressing into blocks, with or without a floor: mixed radii, bodies
// with two shapes, bodies started partly inside others, still ones, a few sprinters and sideways
// steps, sometimes overlap recovery. Pairs start at times far back, escape their kept grids'
// envs and sit in other bodies' lists by every way the kept grid has.
Recording RunMixedPressScene(uint32_t seed) {
    Scene sc{std::mt19937(seed * 7919u + 13u), {}, {}, {}};
    Recording rec;
    SetEllipSizeModeVOR(static_cast<int32_t>(sc.I(0, 1)));
    const bool floor = sc.I(0, 1) == 0;
    if (floor) {
        NewCollObjVOR(4000, kMeshTypeA);
        AddObjShapeVOR(4000, 2);
        const float size = 30;
        AddMeshTri(4000, -size, 0, -size, -size, 0, size, size, 0, -size);
        AddMeshTri(4000, size, 0, -size, -size, 0, size, size, 0, size);
        SetObjPosVOR(0, 0, 0);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(4000, 1);
        ActivateObjVOR(4000);
        sc.meshes.push_back(4000);
    }
    const uint32_t count = sc.I(40, 220);
    const uint32_t side = static_cast<uint32_t>(std::sqrt(static_cast<float>(count))) + 1;
    const float pitch = sc.U(0.35f, 0.9f);
    const bool twoTypes = sc.I(0, 3) == 0;
    const float baseR = sc.U(0.15f, 0.35f);
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t n = 1 + k;
        NewCollObjVOR(n, twoTypes && sc.I(0, 4) == 0 ? 2 : 1);
        AddObjShapeVOR(n, 1);
        if (sc.I(0, 7) == 0) {
            SetObjRadiusVOR(n, sc.U(0.1f, 0.6f), sc.U(0.1f, 0.6f), sc.U(0.1f, 0.6f));
        } else {
            SetObjRadiusVOR(n, baseR, baseR * 1.5f, baseR);
        }
        if (sc.I(0, 12) == 0) {
            SetEllipOffsetVOR(n, sc.U(-0.2f, 0.2f), 0.1f, sc.U(-0.2f, 0.2f));
            AddObjShapeVOR(n, 1);
        }
        if (sc.I(0, 2) == 0) {
            SetObjGravityVOR(n, sc.U(0, 0.05f));
        }
        float x = (k % side) * pitch, z = (k / side) * pitch;
        if (sc.I(0, 5) == 0 && k > 0) { // partly inside an earlier body
            const uint32_t o = sc.I(1, k);
            x = F(PeekObjXVOR(o)) + sc.U(-0.2f, 0.2f);
            z = F(PeekObjZVOR(o)) + sc.U(-0.2f, 0.2f);
        }
        SetObjPosVOR(x, (floor ? baseR * 1.5f + 0.02f : 0) + sc.U(0, 0.1f), z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
        ActivateObjVOR(n);
        sc.ellipsoids.push_back(n);
    }
    if (floor) {
        SetCollisionsVOR(1, kMeshTypeA, 2, sc.I(1, 4), 1);
    }
    SetCollisionsVOR(1, 1, 1, sc.I(1, 4), sc.I(1, 4));
    if (twoTypes) {
        if (floor) {
            SetCollisionsVOR(2, kMeshTypeA, 2, sc.I(1, 4), 1);
        }
        SetCollisionsVOR(2, 2, 1, sc.I(1, 4), 1);
        if (sc.I(0, 1) == 0) {
            SetCollisionsVOR(1, 2, 1, sc.I(1, 4), 1);
        }
        if (sc.I(0, 1) == 0) {
            SetCollisionsVOR(2, 1, 1, sc.I(1, 4), 1);
        }
    }
    const uint32_t recovery = sc.I(0, 3);
    if (recovery == 1) {
        SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 1);
    }
    const int frames = static_cast<int>(sc.I(5, 10));
    const uint32_t sprinters = sc.I(0, count / 32 + 1);
    const float small = sc.U(0.005f, 0.06f);
    const uint32_t block = sc.I(2, 6);
    const uint32_t still = sc.I(0, 30);
    for (int frame = 0; frame < frames; ++frame) {
        for (uint32_t n : sc.ellipsoids) {
            const uint32_t k = n - 1;
            const float tx = ((k % side) / block * block + 0.5f * block) * pitch;
            const float tz = ((k / side) / block * block + 0.5f * block) * pitch;
            const float x = F(PeekObjXVOR(n)), y = F(PeekObjYVOR(n)), z = F(PeekObjZVOR(n));
            float dx = tx - x, dz = tz - z;
            const float d = std::sqrt(dx * dx + dz * dz);
            float step = sc.I(0, 99) < still ? 0.0f : small * sc.U(0.3f, 1.0f);
            if (n % 37 == 0 && n / 37 <= sprinters) {
                step = sc.U(1.0f, 3.0f);
            }
            if (sc.I(0, 9) == 0) { // sideways
                const float t = dx;
                dx = -dz;
                dz = t;
            }
            dx = d > 0 ? dx / d * step : 0;
            dz = d > 0 ? dz / d * step : 0;
            SetObjPosVOR(x + dx, y - (floor ? 0.03f : 0.0f), z + dz);
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(n, 0);
        }
        RunCollisionVOR();
        RecordFrame(sc, rec, frame);
    }
    SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 0);
    return rec;
}

// The grid's cells hold a crowd on one floor in one layer, wherever that floor is: a search looks
// into the few cells around a body on the floor (2 x 2, at most 3 x 3), never into two layers.
TEST_F(AccelDifferentialTest, ACrowdOnOneFloorIsSearchedInOneLayerOfCells) {
    EXPECT_GT(Compare(6, RunLevelCrowdScene), 100u);
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        vor::ResetStats();
        Run(seed, false, RunLevelCrowdScene);
        const vor::WorkCounters work = vor::ThreadStats();
        EXPECT_GT(work.gridQueries, 0u) << "scene " << seed;
        // (A search for a kept list reaches a little further; cells laid across the crowd's
        // layer made it 12 a search.)
        EXPECT_LE(work.gridCellsVisited, 8 * work.gridQueries) << "scene " << seed;
    }
}

// The kept grid against the plain scan, bit for bit, through each of its ways: lists taken up
// again, escaped bodies met through the lists of those near them, times far below zero met by
// every list, and grids built anew when sprinters by the dozen escape.
TEST_F(AccelDifferentialTest, AKeptPairGridGivesTheScansResultsThroughEscapesAndRebuilds) {
    EXPECT_GT(Compare(16, RunKeptGridScene), 2000u);
    vor::WorkCounters all{};
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        vor::ResetStats();
        Run(seed, false, RunKeptGridScene);
        const vor::WorkCounters work = vor::ThreadStats();
        vor::AddStats(&all, work);
        if (seed % 3 == 0) {
            EXPECT_GT(work.gridRebuilds, 0u) << "scene " << seed;
        } else if (seed % 5 != 2) {
            EXPECT_LT(work.gridDefinitions, work.passIterations) << "scene " << seed;
            EXPECT_GT(work.gridReuses, 0u) << "scene " << seed;
            // Fewer searches of the cells than one for each of the 144 bodies an iteration: a
            // body taking a kept grid up searches its list instead (once it has made it).
            EXPECT_LT(work.gridQueries, 144 * work.passIterations) << "scene " << seed;
        }
    }
    EXPECT_GT(all.gridReuses, 10u);
    EXPECT_GT(all.gridEscapes, 0u);
    EXPECT_GT(all.gridEarly, 0u);
}

// (Of these 200 scenes, 182 is the one where a list must meet a body whose time fell far back,
// and several where an escaped body must reach the lists near it: each fails with that left out.)
TEST_F(AccelDifferentialTest, MixedPressingCrowdsGiveTheScansResultsThroughTheKeptGrid) {
    vor::ResetStats();
    EXPECT_GT(Compare(200, RunMixedPressScene), 2000u);
    const vor::WorkCounters work = vor::ThreadStats();
    EXPECT_GT(work.gridReuses, 20u);
    EXPECT_GT(work.gridEscapes, 20u);
    EXPECT_GT(work.gridEarly, 20u);
    // Escaped bodies met through the lists of those near them, and lists made through the cells:
    // each search walks the cells in a loop of its own, which this comparison must reach.
    EXPECT_GT(work.gridHeldEscapes, 1000u);
    EXPECT_GT(work.gridListedItems, 100000u);
}

TEST_F(AccelDifferentialTest, RecoveryFindsThePairsOfAllPairsInItsCells) {
    vor::ResetStats();
    Compare(16, RunRecoveryAcrossCellsScene);
    // The clusters must actually be pushed apart, or the comparison proves little.
    EXPECT_GT(vor::ThreadStats().recoveryPushes, 1000u);
}

TEST_F(AccelDifferentialTest, PressingCrowdsWithOverlapRecoveryGiveTheSameResults) {
    vor::ResetStats();
    const uint64_t contacts = Compare(24, RunCrowdBlocksScene);
    EXPECT_GT(contacts, 2000u);
    // The recovery must actually push bodies, or the comparison proves little about it.
    EXPECT_GT(vor::ThreadStats().recoveryPushes, 200u);
    // Pressed bodies end steps at earlier and negative times, which lengthen the hulls a pairing
    // is tested over; the grid's filter must still let through few pairs whose boxes stay apart.
    uint64_t keptGroundTests = 0;
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        vor::ResetStats();
        Run(seed, false, RunCrowdBlocksScene);
        const vor::WorkCounters work = vor::ThreadStats();
        EXPECT_GT(work.gridQueries, 0u) << "scene " << seed;
        keptGroundTests += work.recoveryKeptTests;
        EXPECT_LE(work.pairsTested, 2 * work.pairsOverlapped + work.gridQueries)
            << "scene " << seed;
    }
    // Where bodies recover from the ground, its tests take the triangles their sweeps kept.
    EXPECT_GT(keptGroundTests, 100u);
}

} // namespace

TEST_F(AccelDifferentialTest, RaysThroughManyEqualHitsStayInTheHierarchyAndMatchTheScan) {
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        const Recording plain = Run(seed, true, RunEqualHitsScene);
        vor::ResetStats();
        const Recording fast = Run(seed, false, RunEqualHitsScene);
        ASSERT_EQ(plain.values.size(), fast.values.size()) << "scene " << seed;
        for (size_t k = 0; k < plain.values.size(); ++k) {
            ASSERT_EQ(plain.values[k], fast.values[k])
                << "scene " << seed << ": " << plain.labels[k];
        }
        // Every ray answered inside the hierarchy, ties held in a handful of entries, and the
        // triangles tested about the copies the ray meets plus a small level's worth of leaves.
        // The 32-bit build tests up to 2.5 times as many beside the copies (320 a ray at most,
        // seen; not yet explained, its answers are the same), still short of a scan of a level.
        const uint64_t copies = kTieCopies[seed % 3];
        EXPECT_EQ(vor::ThreadStats().accelRayFallbacks, 0u) << "scene " << seed;
        EXPECT_EQ(vor::ThreadStats().accelRays, 60u) << "scene " << seed;
        EXPECT_LE(vor::ThreadStats().accelRayFoundMost, 16u) << "scene " << seed;
        const uint64_t leaves = sizeof(void *) == 4 ? 340u : 200u;
        EXPECT_LE(vor::ThreadStats().rayTriangles, 60u * (copies + leaves)) << "scene " << seed;
    }
}

TEST_F(AccelDifferentialTest, RaysPastTheTipsOfNeedlesMatchTheScan) {
    TipRayHits = 0;
    Compare(60, RunTipSliversScene);
    // Some rays past the tips do hit the needles (in both runs), or nothing was put to the test.
    EXPECT_GT(TipRayHits, 0u);
}

TEST_F(AccelDifferentialTest, RaysPassCopiesOfATriangleByAndMatchTheScan) {
    for (uint32_t seed = 1; seed <= 27; ++seed) {
        const Recording plain = Run(seed, true, RunTwinsScene);
        const Recording fast = Run(seed, false, RunTwinsScene);
        ASSERT_EQ(plain.values.size(), fast.values.size()) << "scene " << seed;
        for (size_t k = 0; k < plain.values.size(); ++k) {
            ASSERT_EQ(plain.values[k], fast.values[k])
                << "scene " << seed << ": " << plain.labels[k];
        }
        // The last rays: the copies' leaves and subtrees are passed by, so a ray tests a few
        // props' worth of triangles however many copies there are (every copy tested would be
        // 18,000 and more for 300).
        if ((seed / 3) % 3 != 2) { // a level that moved may answer from its own frame for a while
            EXPECT_EQ(vor::ThreadStats().accelRays, static_cast<uint64_t>(kTwinRays))
                << "scene " << seed;
            EXPECT_LE(vor::ThreadStats().rayTriangles, kTwinRays * 40u) << "scene " << seed;
        }
    }
}

// Copies built in with the rest of a level (the first rays after they all came) lie apart from it:
// rays open about the nodes and leaves they open with the original alone, where the copies mixed
// in had taken them down every part that the splits cut the copies' run into.
TEST_F(AccelDifferentialTest, RaysThroughCopiesBuiltInOpenWhatTheOriginalAloneOpens) {
    for (uint32_t seed = 2; seed <= 27; seed += 9) { // built before the first ray
        for (uint32_t copies : {100u, 300u}) {
            TwinCopiesOverride = 1;
            Run(seed, false, RunTwinsScene);
            const uint64_t nodes = vor::ThreadStats().accelRayNodes;
            const uint64_t leaves = vor::ThreadStats().accelRayLeaves;
            TwinCopiesOverride = copies;
            Run(seed, false, RunTwinsScene);
            TwinCopiesOverride = 0;
            // The root that joins the copies' child adds a node a ray, and the others' hierarchy,
            // over fewer triangles, is cut elsewhere (up to 72 more nodes in 60 rays, seen). Mixed
            // in, the copies had cost 139 to 479 more nodes and 82 to 187 more leaves here.
            EXPECT_LE(vor::ThreadStats().accelRayNodes, nodes + 2 * kTwinRays) << "scene " << seed;
            EXPECT_LE(vor::ThreadStats().accelRayLeaves, leaves) << "scene " << seed;
        }
    }
}

TEST_F(AccelDifferentialTest, LongAndOverflowingRaysCostWhatTheyCrossAndMatchTheScan) {
    uint64_t hits = 0;
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        const Recording plain = Run(seed, true, RunLongRaysScene);
        const Recording fast = Run(seed, false, RunLongRaysScene);
        ASSERT_EQ(plain.values.size(), fast.values.size()) << "scene " << seed;
        std::vector<uint32_t> items, fallbacks;
        for (size_t k = 0; k < plain.values.size(); ++k) {
            const std::string &label = plain.labels[k];
            if (label.rfind("items", 0) == 0) {
                items.push_back(fast.values[k]);
            } else if (label.rfind("fallbacks", 0) == 0) {
                fallbacks.push_back(fast.values[k]);
            } else {
                ASSERT_EQ(plain.values[k], fast.values[k]) << "scene " << seed << ": " << label;
                hits += label.find("answer") != std::string::npos ? plain.values[k] : 0;
            }
        }
        ASSERT_EQ(items.size(), 6u);
        // A long ray opens about what the same ray of length 1e3 opens (which already leaves
        // these levels), and only the rays with a NaN or an infinity leave the hierarchy.
        for (size_t l = 1; l < 6; ++l) {
            EXPECT_LE(items[l], 2 * items[0] + 64 * kLongRays)
                << "scene " << seed << " length " << l;
            EXPECT_LE(fallbacks[l], fallbacks[0]) << "scene " << seed << " length " << l;
        }
    }
    EXPECT_GT(hits, 12u * kLongRays);
}

TEST_F(AccelDifferentialTest, RepeatedAndClusteredAdditionsKeepTheHierarchyShallowAndMatchTheScan) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        const Recording plain = Run(seed, true, RunAdditionsScene);
        vor::ResetStats();
        const Recording fast = Run(seed, false, RunAdditionsScene);
        ASSERT_EQ(plain.values.size(), fast.values.size()) << "scene " << seed;
        for (size_t k = 0; k < plain.values.size(); ++k) {
            ASSERT_EQ(plain.values[k], fast.values[k])
                << "scene " << seed << ": " << plain.labels[k];
        }
        // Levels of 3,200 to 6,300 triangles: a build is 4 or 5 levels deep (8 a leaf), and no
        // insertion may leave a leaf more than 6 below that; the subtrees built afresh to keep it
        // so cost a few dozen triangles an addition, and no addition makes a ray fall back.
        EXPECT_LE(vor::ThreadStats().accelInsertDepthMost, 5u + 6u) << "scene " << seed;
        EXPECT_LE(vor::ThreadStats().accelSubtreeItems, 64u * kAdditions) << "scene " << seed;
        EXPECT_EQ(vor::ThreadStats().accelRayFallbacks, 0u) << "scene " << seed;
        EXPECT_GT(vor::ThreadStats().accelInserts, static_cast<uint64_t>(kAdditions / 2))
            << "scene " << seed;
        // The additions pass a sixteenth of the level: it is rebuilt a slice per query and put in
        // place (at least once), never whole in one query after the first build, and no slice
        // works longer than its share (a query's and one added triangle's) and one indivisible
        // step.
        EXPECT_EQ(vor::ThreadStats().accelBuilds, 1u) << "scene " << seed;
        EXPECT_GE(vor::ThreadStats().accelSpreadRebuilds, 1u) << "scene " << seed;
        EXPECT_LE(vor::ThreadStats().accelSpreadWorkMost, vor::kAccelSpreadSliceWork +
                                                              vor::kAccelSpreadWorkPerAddition +
                                                              vor::kBuildStepMost)
            << "scene " << seed;
        // The arrays that fill are moved into larger ones a slice an addition, never copied whole.
        EXPECT_GE(vor::ThreadStats().accelArrayMoves, 1u) << "scene " << seed;
        EXPECT_EQ(vor::ThreadStats().accelArrayGrowths, 0u) << "scene " << seed;
    }
}

TEST_F(AccelDifferentialTest, FlatBodiesLongStepsTestAStripOfTheLevelAndMatchTheScan) {
    uint64_t contacts = 0;
    for (uint32_t seed = 1; seed <= 16; ++seed) {
        const Recording plain = Run(seed, true, RunFlatBodiesScene);
        vor::ResetStats();
        const Recording fast = Run(seed, false, RunFlatBodiesScene);
        ASSERT_EQ(plain.values.size(), fast.values.size()) << "scene " << seed;
        for (size_t k = 0; k < plain.values.size(); ++k) {
            ASSERT_EQ(plain.values[k], fast.values[k])
                << "scene " << seed << ": " << plain.labels[k];
            contacts += plain.labels[k].find("contacts") != std::string::npos ? plain.values[k] : 0;
        }
        // Diagonal steps whose boxes hold the whole level: the reach test leaves each sweep a
        // strip along the step, under a quarter of the level, for radii up to 120 apart (the
        // level's ground is of the highest sine class).
        ASSERT_EQ(plain.labels[0], "level triangles");
        ASSERT_GT(vor::ThreadStats().meshSweeps, 0u);
        const double perSweep = static_cast<double>(vor::ThreadStats().trianglesTested) /
                                static_cast<double>(vor::ThreadStats().meshSweeps);
        EXPECT_LT(perSweep, 0.25 * plain.values[0]) << "scene " << seed;
    }
    EXPECT_GT(contacts, 16u);
}

TEST_F(AccelDifferentialTest, TurningLevelsCostWhatTheirQueriesReachAndMatchTheScan) {
    uint64_t contacts = 0, ownNodes = 0, busy = 0, moves = 0;
    for (uint32_t seed = 1; seed <= 16; ++seed) {
        const Recording plain = Run(seed, true, RunTurningLevelScene);
        vor::ResetStats();
        LongRayOwnItems = 0;
        BusyMoves = Moves = 0;
        const Recording fast = Run(seed, false, RunTurningLevelScene);
        ASSERT_EQ(plain.values.size(), fast.values.size()) << "scene " << seed;
        for (size_t k = 0; k < plain.values.size(); ++k) {
            ASSERT_EQ(plain.values[k], fast.values[k])
                << "scene " << seed << ": " << plain.labels[k];
            contacts += plain.labels[k].find("contacts") != std::string::npos ? plain.values[k] : 0;
        }
        // Nine moves: one refit into the level's own frame, perhaps one back to world corners
        // while it stands still and one into its own frame again, and only a busy move may add
        // a refit back and forth.
        EXPECT_GE(vor::ThreadStats().accelRefits, 1u) << "scene " << seed;
        EXPECT_LE(vor::ThreadStats().accelRefits, 3u + 2u * BusyMoves) << "scene " << seed;
        busy += BusyMoves;
        moves += Moves;
        // The steps' sweeps and the short rays reach a few cells each: the triangles made into
        // world corners stay a few leaves a query, whatever the level's 3,200 to 6,272 triangles.
        const uint64_t queries = vor::ThreadStats().meshSweeps + vor::ThreadStats().meshRays;
        ASSERT_GT(queries, 0u);
        const double itemsPerQuery =
            static_cast<double>(vor::ThreadStats().accelMovedItems - LongRayOwnItems) /
            static_cast<double>(queries);
        EXPECT_LT(itemsPerQuery, 160.0) << "scene " << seed;
        EXPECT_LT(static_cast<double>(vor::ThreadStats().accelMovedNodes) /
                      static_cast<double>(queries),
                  64.0)
            << "scene " << seed;
        ownNodes += vor::ThreadStats().accelMovedNodes;
    }
    EXPECT_GT(contacts, 16u);
    EXPECT_GT(ownNodes, 0u);
    std::printf("[ turning  ] %llu of %llu moves busy\n", static_cast<unsigned long long>(busy),
                static_cast<unsigned long long>(moves));
    EXPECT_LT(busy * 2, moves); // most moves cost no refit at all
}

TEST(OwnFrameBoxes, HoldEveryTransformedCornerUnderTurnsScalesAndFarOffsets) {
    std::mt19937 rng(7);
    auto u = [&rng](float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(rng);
    };
    for (int k = 0; k < 2000; ++k) {
        vor::Matrix4 m = {};
        const float a = u(-3.2f, 3.2f), b = u(-1.5f, 1.5f), s = k % 4 == 0 ? u(0.01f, 300) : 1.0f;
        const float far = k % 3 == 0 ? 1e6f : 10.0f;
        const float r[9] = {std::cos(a) * s,
                            0,
                            -std::sin(a) * s,
                            std::sin(a) * std::sin(b) * s,
                            std::cos(b) * s,
                            std::cos(a) * std::sin(b) * s,
                            std::sin(a) * std::cos(b) * s,
                            -std::sin(b) * s,
                            std::cos(a) * std::cos(b) * s};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                m.m[4 * i + j] = r[3 * i + j];
            }
            m.m[12 + i] = u(-far, far);
        }
        m.m[15] = 1.0f;
        vor::AccelBox box;
        for (int i = 0; i < 3; ++i) {
            const float c = u(-far, far), h = k % 5 == 0 ? 0.0f : u(0, 40);
            box.lo[i] = c - h;
            box.hi[i] = c + h;
        }
        const vor::AccelBox w = vor::WorldBoxOf(box, m);
        for (int corner = 0; corner < 8; ++corner) {
            const vor::Vec3 p = {corner & 1 ? box.hi[0] : box.lo[0],
                                 corner & 2 ? box.hi[1] : box.lo[1],
                                 corner & 4 ? box.hi[2] : box.lo[2]};
            vor::Vec3 q;
            vor::TransformPoint(&q, p, m);
            const float at[3] = {q.x, q.y, q.z};
            for (int i = 0; i < 3; ++i) {
                ASSERT_LE(w.lo[i], at[i]) << "case " << k;
                ASSERT_GE(w.hi[i], at[i]) << "case " << k;
            }
        }
    }
    vor::Matrix4 m = {};
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1.0f;
    const vor::AccelBox open = {{-std::numeric_limits<float>::infinity(), 0, 0}, {1, 1, 1}};
    const vor::AccelBox w = vor::WorldBoxOf(open, m);
    EXPECT_EQ(w.lo[1],
              -std::numeric_limits<float>::infinity()); // a side that is not finite: no box
    EXPECT_EQ(w.hi[2], std::numeric_limits<float>::infinity());
}

// Threads change nothing: scenes of every kind of mesh sweep (random definitions with set-aside
// contacts and moving meshes, levels, pressing crowds with recovery, turning levels in their own
// frame) run on 2, 3 and 8 threads and are compared value by value with the plain scan on one.
// Every scene hands its mesh sweeps to the workers, small ones included.
TEST_F(AccelDifferentialTest, SlowWalkersSweepKeptTrianglesThroughAdditionsMovesAndNewLevels) {
    EXPECT_GT(Compare(30, RunKeptSweepsScene), 100u);
    // Left alone, most sweeps take kept triangles and few search the hierarchy (some walkers are
    // too wide for the unit cells to keep what they meet).
    vor::ResetStats();
    Run(3, false, RunCalmWalkersScene);
    const vor::WorkCounters &s = vor::ThreadStats();
    EXPECT_GT(s.sweepCacheHits, s.meshSweeps / 2);
    EXPECT_LT(s.sweepCacheSearches, s.meshSweeps / 4);
}

// A search made to be kept costs more than a plain one; where it cannot be kept (a wide body) or
// serves nothing (a jumpy one), the next ones are plain, soon only one sweep in 16 searching to
// keep, and the results stay the plain scan's.
TEST_F(AccelDifferentialTest, WideAndJumpyWalkersBackOffFromKeepingAndMatchTheScan) {
    constexpr uint64_t kWalkers = 8;
    for (Recording (*scene)(uint32_t) : {RunWideWalkersScene, RunJumpyWalkersScene}) {
        EXPECT_GT(Compare(6, scene), 0u);
        vor::ResetStats();
        Run(5, false, scene);
        const vor::WorkCounters &s = vor::ThreadStats();
        EXPECT_GT(s.meshSweeps, 150u);
        // Each ellipsoid's back-off: searches at its sweeps 1, 2, 4, 8 and 16, then one in 16 (some
        // walkers have two ellipsoids, each backing off alone: the sixteenth covers them).
        EXPECT_EQ(s.sweepCacheHits, 0u) << s.meshSweeps;
        EXPECT_LE(s.sweepCacheSearches, s.meshSweeps / 16 + 5 * kWalkers) << s.meshSweeps;
    }
}

TEST_F(AccelDifferentialTest, EveryWorkerCountGivesTheResultsOfThePlainScanOnOneThread) {
    vor::MinBodiesOnWorkers = 2;
    for (const int32_t count : {2, 3, 8}) {
        workers = count;
        vor::ResetStats();
        const uint64_t contacts = Compare(40, RunScene) + Compare(6, RunLevelScene) +
                                  Compare(6, RunCrowdBlocksScene) +
                                  Compare(4, RunTurningLevelScene) + Compare(6, RunPileScene);
        EXPECT_GT(contacts, 1000u) << count << " workers";
        EXPECT_GT(vor::ThreadStats().workerJobs, 100u) << count << " workers";
        // The recovering crowds' ground tests ran on the workers too.
        EXPECT_GT(vor::ThreadStats().recoveryGroundJobs, 10u) << count << " workers";
    }
}

// The workers' counts join the host's: with the same hierarchies searched, every counter of the
// mesh sweeps adds up to what one thread counts.
TEST_F(AccelDifferentialTest, WorkersCountTheSameMeshWorkAsOneThread) {
    vor::MinBodiesOnWorkers = 2;
    vor::ResetStats();
    Run(3, false, RunLevelScene);
    const vor::WorkCounters one = vor::ThreadStats();
    workers = 3;
    vor::ResetStats();
    Run(3, false, RunLevelScene);
    const vor::WorkCounters three = vor::ThreadStats();
    EXPECT_EQ(one.workerJobs, 0u);
    EXPECT_GT(three.workerJobs, 0u);
    EXPECT_GT(one.meshSweeps, 0u);
    EXPECT_EQ(three.meshSweeps, one.meshSweeps);
    EXPECT_EQ(three.trianglesTested, one.trianglesTested);
    EXPECT_EQ(three.trianglesOverlapped, one.trianglesOverlapped);
    EXPECT_EQ(three.accelRays, one.accelRays);
}
