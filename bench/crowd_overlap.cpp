// Measures how far a crowd of characters ends up inside each other: bodies that already overlap
// are not held apart by the swept test, which only stops bodies approaching a contact. It runs
// the crowd through the exports as a host would and counts, after the last frame, the bodies
// whose centre lies nearer than --near to another's (horizontally) and the pairs at the same
// position. --separate adds the host-side remedy described in docs/reference.md: after each
// pass, overlapping pairs are pushed apart through the next frame's requested moves, and a body
// that overlapped waits instead of walking on for that frame.
//
//   vorcollide_crowd_overlap [--bodies N] [--frames N] [--step METRES] [--near METRES]
//                            [--layout converge|headon|blocks|walkers] [--separate] [--recover]
//
// converge: the bodies stand on a square lattice and all walk towards its centre; headon: two
// blocks walk into each other along x; blocks: the pressing crowd of the benchmarks (lattice
// 0.8 m apart, each walking 25 mm a frame to the centre of its block of 10 x 10, gravity, response
// 3 against a flat floor and each other, 120 frames by default); walkers: 64 characters of radii
// 0.25 x 0.9 x 0.25 walking 2 m/s over a 256 x 256-cell heightfield y = 2 sin(x/9) cos(z/7), with
// gravity folded into the requested move, 600 frames, measuring how deep they go into the ground.
// --recover turns the library's overlap recovery on (SetOverlapRecoveryVOR).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vorcollide.h"

namespace {

constexpr float kRadius = 0.25f, kHeight = 0.45f; // character radii 0.25 x 0.45 x 0.25
constexpr float kPitch = 0.7f;                    // lattice spacing: 0.2 m between bodies

struct Body {
    float x, z;           // position
    float tx, tz;         // where it walks to
    float y = 0;          // height (blocks: on the floor, under gravity)
    float px = 0, pz = 0; // host push for the next frame (--separate)
    bool held = false;    // overlapped another after the last pass: waits a frame (--separate)
};

float Peek(int32_t bits) {
    return vorFloatFromBits(bits);
}

std::vector<Body> Layout(const std::string &layout, int count) {
    std::vector<Body> bodies;
    if (layout == "blocks") {
        // Lattice 0.8 m apart; each walks to the centre of its block of 10 x 10 places.
        constexpr float kBlockPitch = 0.8f;
        const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
        for (int i = 0; i < count; ++i) {
            const int column = i % side, row = i / side;
            bodies.push_back({column * kBlockPitch, row * kBlockPitch,
                              (column / 10 * 10 + 4.5f) * kBlockPitch,
                              (row / 10 * 10 + 4.5f) * kBlockPitch, kHeight + 0.02f});
        }
    } else if (layout == "headon") {
        // Two blocks of half the crowd, 2 m apart, walking 12 m towards each other's side.
        const int half = count / 2, rows = static_cast<int>(std::ceil(std::sqrt(half / 2.0)));
        for (int i = 0; i < count; ++i) {
            const int k = i % half, side = i < half ? -1 : 1;
            const float x = side * (1.0f + (k / rows) * kPitch), z = (k % rows) * kPitch;
            bodies.push_back({x, z, x - side * 12.0f, z});
        }
    } else {
        const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
        const float centre = (side - 1) * kPitch * 0.5f;
        for (int i = 0; i < count; ++i) {
            const float x = (i % side) * kPitch, z = (i / side) * kPitch;
            bodies.push_back({x, z, centre, centre});
        }
    }
    return bodies;
}

} // namespace

// One triangle of the walkers' heightfield, corners in front-face order (facing up).
struct Tri {
    float a[3], b[3], c[3];
};

float Ground(float x, float z) {
    return 2.0f * std::sin(x / 9.0f) * std::cos(z / 7.0f);
}

constexpr int kField = 256;
constexpr float kWalkerRadii[3] = {0.25f, 0.9f, 0.25f};

// The two triangles of cell (i, k), facing up.
void CellTriangles(int i, int k, Tri out[2]) {
    const float x0 = static_cast<float>(i), x1 = x0 + 1, z0 = static_cast<float>(k), z1 = z0 + 1;
    const float h00 = Ground(x0, z0), h10 = Ground(x1, z0), h01 = Ground(x0, z1),
                h11 = Ground(x1, z1);
    out[0] = Tri{{x0, h00, z0}, {x0, h01, z1}, {x1, h11, z1}};
    out[1] = Tri{{x0, h00, z0}, {x1, h11, z1}, {x1, h10, z0}};
}

// The distance from p to the nearest point of triangle abc (plain closest-point construction).
float DistanceToTriangle(const float p[3], const Tri &t) {
    auto sub = [](const float *u, const float *v, float *o) {
        o[0] = u[0] - v[0], o[1] = u[1] - v[1], o[2] = u[2] - v[2];
    };
    auto dot = [](const float *u, const float *v) {
        return u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
    };
    float ab[3], ac[3], ap[3], bp[3], cp[3], q[3];
    sub(t.b, t.a, ab), sub(t.c, t.a, ac), sub(p, t.a, ap), sub(p, t.b, bp), sub(p, t.c, cp);
    const float d1 = dot(ab, ap), d2 = dot(ac, ap), d3 = dot(ab, bp), d4 = dot(ac, bp);
    const float d5 = dot(ab, cp), d6 = dot(ac, cp);
    const float vc = d1 * d4 - d3 * d2, vb = d5 * d2 - d1 * d6, va = d3 * d6 - d5 * d4;
    float u = 0, v = 0; // q = a + u ab + v ac
    if (d1 <= 0 && d2 <= 0) {
    } else if (d3 >= 0 && d4 <= d3) {
        u = 1;
    } else if (vc <= 0 && d1 >= 0 && d3 <= 0) {
        u = d1 / (d1 - d3);
    } else if (d6 >= 0 && d5 <= d6) {
        v = 1;
    } else if (vb <= 0 && d2 >= 0 && d6 <= 0) {
        v = d2 / (d2 - d6);
    } else if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) {
        const float w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
        u = 1 - w, v = w;
    } else {
        const float den = 1 / (va + vb + vc);
        u = vb * den, v = vc * den;
    }
    for (int a = 0; a < 3; ++a) {
        q[a] = t.a[a] + u * ab[a] + v * ac[a] - p[a];
    }
    return std::sqrt(dot(q, q));
}

// How deep a walker centred at (x, y, z) is inside the ground: (1 - its unit-sphere distance to
// the nearest triangle) times its height radius, over the cells round it; 0 when clear.
float DepthInGround(float x, float y, float z) {
    const int ci = static_cast<int>(std::floor(x)), ck = static_cast<int>(std::floor(z));
    float nearest = 1e30f;
    for (int i = ci - 1; i <= ci + 1; ++i) {
        for (int k = ck - 1; k <= ck + 1; ++k) {
            if (i < 0 || k < 0 || i >= kField || k >= kField)
                continue;
            Tri t[2];
            CellTriangles(i, k, t);
            for (Tri &tri : t) {
                for (float *corner : {tri.a, tri.b, tri.c})
                    for (int a = 0; a < 3; ++a)
                        corner[a] /= kWalkerRadii[a];
                const float p[3] = {x / kWalkerRadii[0], y / kWalkerRadii[1], z / kWalkerRadii[2]};
                nearest = std::fmin(nearest, DistanceToTriangle(p, tri));
            }
        }
    }
    return nearest < 1 ? (1 - nearest) * kWalkerRadii[1] : 0.0f;
}

// The walkers on the heightfield: prints how many went more than 1 cm and 2 mm into the ground
// at some frame, and the deepest.
int RunWalkers(int frames, bool recover) {
    NewCollObjVOR(1, 2);
    AddObjShapeVOR(1, 2);
    for (int i = 0; i < kField; ++i) {
        for (int k = 0; k < kField; ++k) {
            Tri t[2];
            CellTriangles(i, k, t);
            for (const Tri &tri : t)
                AddMeshTri(1, tri.a[0], tri.a[1], tri.a[2], tri.b[0], tri.b[1], tri.b[2], tri.c[0],
                           tri.c[1], tri.c[2]);
        }
    }
    SetObjPosVOR(0, 0, 0);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(1, 1);
    ActivateObjVOR(1);
    SetCollisionsVOR(1, 2, 2, 3, 1);
    if (recover)
        SetOverlapRecoveryVOR(1, 2, 1);
    constexpr int kWalkers = 64;
    constexpr float kSpeed = 2.0f / 60.0f, kFall = 0.1f;
    float heading[kWalkers];
    for (int w = 0; w < kWalkers; ++w) {
        const uint32_t obj = static_cast<uint32_t>(w + 2);
        const float x = 16.0f + (w % 8) * 28.0f, z = 16.0f + (w / 8) * 28.0f;
        heading[w] = 0.7f * static_cast<float>(w);
        NewCollObjVOR(obj, 1);
        AddObjShapeVOR(obj, 1);
        SetObjRadiusVOR(obj, kWalkerRadii[0], kWalkerRadii[1], kWalkerRadii[2]);
        SetObjPosVOR(x, Ground(x, z) + kWalkerRadii[1] + 0.01f, z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(obj, 1);
        ActivateObjVOR(obj);
    }
    float deepest[kWalkers] = {};
    for (int frame = 0; frame < frames; ++frame) {
        for (int w = 0; w < kWalkers; ++w) {
            const uint32_t obj = static_cast<uint32_t>(w + 2);
            const float x = Peek(PeekObjXVOR(obj)), y = Peek(PeekObjYVOR(obj)),
                        z = Peek(PeekObjZVOR(obj));
            if (x < 4 || z < 4 || x > kField - 4 || z > kField - 4)
                heading[w] = std::atan2(kField * 0.5f - z, kField * 0.5f - x);
            SetObjPosVOR(x + std::cos(heading[w]) * kSpeed, y - kFall,
                         z + std::sin(heading[w]) * kSpeed);
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(obj, 0);
        }
        RunCollisionVOR();
        for (int w = 0; w < kWalkers; ++w) {
            const uint32_t obj = static_cast<uint32_t>(w + 2);
            const float depth = DepthInGround(Peek(PeekObjXVOR(obj)), Peek(PeekObjYVOR(obj)),
                                              Peek(PeekObjZVOR(obj)));
            deepest[w] = std::fmax(deepest[w], depth);
        }
    }
    int over1cm = 0, over2mm = 0;
    float worst = 0;
    for (float d : deepest) {
        over1cm += d > 0.01f;
        over2mm += d > 0.002f;
        worst = std::fmax(worst, d);
    }
    std::printf("walkers: 64 of radii 0.25 x 0.9 x 0.25 on a 256 x 256 heightfield, %d frames, "
                "response 3%s\n",
                frames, recover ? ", overlap recovery on" : "");
    std::printf("walkers more than 1 cm inside the ground at some frame: %d; more than 2 mm: %d\n",
                over1cm, over2mm);
    std::printf("deepest: %.4f m\n", worst);
    StopCollisionVOR();
    return 0;
}

int main(int argc, char **argv) {
    int count = 1000, frames = -1;
    float step = 0.025f, nearDistance = 0.49f;
    std::string layout = "converge";
    bool separate = false, recover = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--bodies" && ++i < argc)
            count = std::atoi(v);
        else if (a == "--frames" && ++i < argc)
            frames = std::atoi(v);
        else if (a == "--step" && ++i < argc)
            step = std::strtof(v, nullptr);
        else if (a == "--near" && ++i < argc)
            nearDistance = std::strtof(v, nullptr);
        else if (a == "--layout" && ++i < argc)
            layout = v;
        else if (a == "--separate")
            separate = true;
        else if (a == "--recover")
            recover = true;
        else {
            std::fprintf(stderr,
                         "usage: %s [--bodies N] [--frames N] [--step M] [--near M] "
                         "[--layout converge|headon|blocks|walkers] [--separate] [--recover]\n",
                         argv[0]);
            return 2;
        }
    }
    if (frames < 0)
        frames = layout == "walkers" ? 600 : layout == "blocks" ? 120 : 240;
    if (layout == "walkers")
        return RunWalkers(frames, recover);
    if (count < 2 || count > 5000 || frames < 1 || !(step > 0)) {
        std::fprintf(stderr, "bodies 2..5000, frames >= 1, step > 0\n");
        return 2;
    }

    std::vector<Body> bodies = Layout(layout, count);
    // One type, ellipsoids against ellipsoids, slide and stand (response 3).
    SetCollisionsVOR(1, 1, 1, 3, 1);
    const bool blocks = layout == "blocks";
    if (blocks) {
        // A flat floor (object count + 1, type 2) under the whole crowd, and gravity.
        const uint32_t floor = static_cast<uint32_t>(count + 1);
        NewCollObjVOR(floor, 2);
        AddObjShapeVOR(floor, 2);
        AddMeshTri(floor, -100, 0, -100, -100, 0, 200, 200, 0, 200);
        AddMeshTri(floor, -100, 0, -100, 200, 0, 200, 200, 0, -100);
        SetObjPosVOR(0, 0, 0);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(floor, 1);
        ActivateObjVOR(floor);
        SetCollisionsVOR(1, 2, 2, 3, 1);
    }
    if (recover)
        SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 1);
    for (int i = 0; i < count; ++i) {
        const uint32_t obj = static_cast<uint32_t>(i + 1);
        NewCollObjVOR(obj, 1);
        AddObjShapeVOR(obj, 1);
        SetObjRadiusVOR(obj, kRadius, kHeight, kRadius);
        SetObjPosVOR(bodies[i].x, bodies[i].y, bodies[i].z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(obj, 1);
        if (blocks)
            SetObjGravityVOR(obj, 0.05f);
        ActivateObjVOR(obj);
    }

    const float touch = 2 * kRadius;
    long contacts = 0;
    for (int frame = 0; frame < frames; ++frame) {
        for (int i = 0; i < count; ++i) {
            Body &b = bodies[i];
            const float dx = b.tx - b.x, dz = b.tz - b.z, d = std::sqrt(dx * dx + dz * dz);
            const float s = b.held ? 0.0f : d > step ? step / d : (d > 0 ? 1.0f : 0.0f);
            SetObjPosVOR(b.x + dx * s + b.px, b.y, b.z + dz * s + b.pz);
            SetObjRotVOR(0, 0, 0);
            UpdateObjVOR(static_cast<uint32_t>(i + 1), 0);
            b.px = b.pz = 0;
            b.held = false;
        }
        RunCollisionVOR();
        for (int i = 0; i < count; ++i) {
            const uint32_t obj = static_cast<uint32_t>(i + 1);
            bodies[i].x = Peek(PeekObjXVOR(obj));
            bodies[i].z = Peek(PeekObjZVOR(obj));
            bodies[i].y = Peek(PeekObjYVOR(obj));
            contacts += CountCollisionsVOR(obj);
        }
        if (!separate)
            continue;
        // The host's remedy: half the overlap of each pair goes to each body, as part of the
        // next requested move, so the sweep still stops it at walls and other bodies, and a body
        // that overlapped does not walk on in that move.
        for (int i = 0; i < count; ++i) {
            for (int k = i + 1; k < count; ++k) {
                float dx = bodies[k].x - bodies[i].x, dz = bodies[k].z - bodies[i].z;
                const float d = std::sqrt(dx * dx + dz * dz);
                if (d >= touch)
                    continue;
                if (d == 0) { // same place: any direction will do, the same one every run
                    dx = 1;
                    dz = 0;
                } else {
                    dx /= d;
                    dz /= d;
                }
                const float half = 0.5f * (touch - d) + 0.001f;
                bodies[i].px -= dx * half;
                bodies[i].pz -= dz * half;
                bodies[k].px += dx * half;
                bodies[k].pz += dz * half;
                bodies[i].held = bodies[k].held = true;
            }
        }
    }

    int nearBodies = 0, samePairs = 0, closePairs = 0, millimetrePairs = 0, overlapping = 0;
    float nearest = 1e30f, deepestOverlap = 0;
    for (int i = 0; i < count; ++i) {
        bool isNear = false, overlaps = false;
        for (int k = 0; k < count; ++k) {
            if (k == i)
                continue;
            // In the space where both are unit spheres: overlapping below a centre distance of 2.
            const float dx = (bodies[k].x - bodies[i].x) / kRadius,
                        dy = (bodies[k].y - bodies[i].y) / kHeight,
                        dz = (bodies[k].z - bodies[i].z) / kRadius;
            const float u = std::sqrt(dx * dx + dy * dy + dz * dz);
            const float depth = (2 - u) * kRadius; // metres, measured across
            overlaps = overlaps || depth > 0.001f;
            deepestOverlap = std::fmax(deepestOverlap, depth);
            const float wx = bodies[k].x - bodies[i].x, wy = bodies[k].y - bodies[i].y,
                        wz = bodies[k].z - bodies[i].z;
            if (k > i && std::sqrt(wx * wx + wy * wy + wz * wz) < 0.001f)
                ++millimetrePairs;
        }
        overlapping += overlaps;
        for (int k = 0; k < count; ++k) {
            if (k == i)
                continue;
            const float dx = bodies[k].x - bodies[i].x, dz = bodies[k].z - bodies[i].z;
            const float d = std::sqrt(dx * dx + dz * dz);
            isNear = isNear || d < nearDistance;
            nearest = std::fmin(nearest, d);
            if (k > i && d < nearDistance)
                ++closePairs;
            if (k > i && bodies[k].x == bodies[i].x && bodies[k].z == bodies[i].z)
                ++samePairs;
        }
        nearBodies += isNear;
    }
    std::printf("layout %s, %d bodies (radii %.2f x %.2f x %.2f), %d frames of %.3f m, "
                "response 3%s\n",
                layout.c_str(), count, kRadius, kHeight, kRadius, frames, step,
                separate  ? ", host pushes overlapping pairs apart"
                : recover ? ", overlap recovery on"
                          : "");
    std::printf("bodies inside another by more than 1 mm: %d (deepest %.4f m); pairs with centres "
                "closer than 1 mm: %d\n",
                overlapping, deepestOverlap, millimetrePairs);
    std::printf("bodies closer than %.2f m to another: %d\n", nearDistance, nearBodies);
    std::printf("pairs closer than %.2f m: %d\n", nearDistance, closePairs);
    std::printf("pairs at the same position: %d\n", samePairs);
    std::printf("nearest centres: %.4f m; contacts reported over the run: %ld\n", nearest,
                contacts);
    StopCollisionVOR();
    return 0;
}
