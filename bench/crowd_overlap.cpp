// Measures how far a crowd of characters ends up inside each other: bodies that already overlap
// are not held apart by the swept test, which only stops bodies approaching a contact. It runs
// the crowd through the exports as a host would and counts, after the last frame, the bodies
// whose centre lies nearer than --near to another's (horizontally) and the pairs at the same
// position. --separate adds the host-side remedy described in docs/reference.md: after each
// pass, overlapping pairs are pushed apart through the next frame's requested moves, and a body
// that overlapped waits instead of walking on for that frame.
//
//   vorcollide_crowd_overlap [--bodies N] [--frames N] [--step METRES] [--near METRES]
//                            [--layout converge|headon] [--separate]
//
// converge: the bodies stand on a square lattice and all walk towards its centre; headon: two
// blocks walk into each other along x.
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
    float px = 0, pz = 0; // host push for the next frame (--separate)
    bool held = false;    // overlapped another after the last pass: waits a frame (--separate)
};

float Peek(int32_t bits) {
    return vorFloatFromBits(bits);
}

std::vector<Body> Layout(const std::string &layout, int count) {
    std::vector<Body> bodies;
    if (layout == "headon") {
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

int main(int argc, char **argv) {
    int count = 1000, frames = 240;
    float step = 0.025f, nearDistance = 0.49f;
    std::string layout = "converge";
    bool separate = false;
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
        else {
            std::fprintf(stderr,
                         "usage: %s [--bodies N] [--frames N] [--step M] [--near M] "
                         "[--layout converge|headon] [--separate]\n",
                         argv[0]);
            return 2;
        }
    }
    if (count < 2 || count > 5000 || frames < 1 || !(step > 0)) {
        std::fprintf(stderr, "bodies 2..5000, frames >= 1, step > 0\n");
        return 2;
    }

    std::vector<Body> bodies = Layout(layout, count);
    // One type, ellipsoids against ellipsoids, slide and stand (response 3).
    SetCollisionsVOR(1, 1, 1, 3, 1);
    for (int i = 0; i < count; ++i) {
        const uint32_t obj = static_cast<uint32_t>(i + 1);
        NewCollObjVOR(obj, 1);
        AddObjShapeVOR(obj, 1);
        SetObjRadiusVOR(obj, kRadius, kHeight, kRadius);
        SetObjPosVOR(bodies[i].x, 0, bodies[i].z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(obj, 1);
        ActivateObjVOR(obj);
    }

    const float touch = 2 * kRadius;
    long contacts = 0;
    for (int frame = 0; frame < frames; ++frame) {
        for (int i = 0; i < count; ++i) {
            Body &b = bodies[i];
            const float dx = b.tx - b.x, dz = b.tz - b.z, d = std::sqrt(dx * dx + dz * dz);
            const float s = b.held ? 0.0f : d > step ? step / d : (d > 0 ? 1.0f : 0.0f);
            SetObjPosVOR(b.x + dx * s + b.px, 0, b.z + dz * s + b.pz);
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

    int nearBodies = 0, samePairs = 0, closePairs = 0;
    float nearest = 1e30f;
    for (int i = 0; i < count; ++i) {
        bool isNear = false;
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
                separate ? ", host pushes overlapping pairs apart" : "");
    std::printf("bodies closer than %.2f m to another: %d\n", nearDistance, nearBodies);
    std::printf("pairs closer than %.2f m: %d\n", nearDistance, closePairs);
    std::printf("pairs at the same position: %d\n", samePairs);
    std::printf("nearest centres: %.4f m; contacts reported over the run: %ld\n", nearest,
                contacts);
    StopCollisionVOR();
    return 0;
}
