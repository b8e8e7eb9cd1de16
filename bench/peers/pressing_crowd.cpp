// The pressing crowd's scene, walk and overlap measure, and the run that times every library on it
// frame by frame: processor time of this thread and wall time, the mean over the frames and the
// slowest frame, then the overlap measure over the final centres.
#include "pressing_crowd.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "peer_rays.h"

namespace peers {

namespace {

// Lattice places in the crowd's square, row by row, each walking to the centre of its block.
std::vector<PressBody> Lattice(uint32_t count, float origin) {
    const uint32_t side = static_cast<uint32_t>(std::ceil(std::sqrt(static_cast<double>(count))));
    std::vector<PressBody> bodies;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t column = i % side, row = i / side;
        bodies.push_back(PressBody{origin + column * kPressPitch, 0, origin + row * kPressPitch,
                                   origin + (column / 10 * 10 + 4.5f) * kPressPitch,
                                   origin + (row / 10 * 10 + 4.5f) * kPressPitch});
    }
    return bodies;
}

constexpr float kStartClearance = 0.02f; // start height above the ground round a body
constexpr float kInside = 0.001f;        // an overlap or a depth in the ground that counts

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One library on the crowd: built before the clock starts, then stepped frame by frame.
struct PressPeer {
    const char *name;
    void (*build)(const PressScene &);
    void (*frame)(const PressScene &);
    std::vector<float> (*centres)(const PressScene &);
    void (*free)();
};

struct FrameTimes {
    double meanCpu = 0, slowestCpu = 0, meanWall = 0, slowestWall = 0; // ms a frame
};

FrameTimes RunFrames(const PressPeer &peer, const PressScene &scene, int frames) {
    FrameTimes t;
    for (int f = 0; f < frames; ++f) {
        const double cpu = ThreadSeconds(), wall = WallSeconds();
        peer.frame(scene);
        const double cpuMs = 1e3 * (ThreadSeconds() - cpu), wallMs = 1e3 * (WallSeconds() - wall);
        t.meanCpu += cpuMs / frames;
        t.meanWall += wallMs / frames;
        t.slowestCpu = std::max(t.slowestCpu, cpuMs);
        t.slowestWall = std::max(t.slowestWall, wallMs);
    }
    return t;
}

const PressPeer kVor = {"vorcollide", [](const PressScene &s) { VorPressBuild(s, false); },
                        VorPressFrame, VorPressCentres, VorReset};
const PressPeer kVorRecover = {"vorcollide, recovery on",
                               [](const PressScene &s) { VorPressBuild(s, true); }, VorPressFrame,
                               VorPressCentres, VorReset};
const PressPeer kBullet = {"Bullet", BulletPressBuild, BulletPressFrame,
                           [](const PressScene &) { return BulletPressCentres(); },
                           BulletPressFree};
#ifdef VOR_PEERS_JOLT
const PressPeer kJoltGrid = {"Jolt, grid-fed pairs",
                             [](const PressScene &s) { JoltPressBuild(s, true); }, JoltPressFrame,
                             [](const PressScene &) { return JoltPressCentres(); }, JoltPressFree};
const PressPeer kJoltSimple = {
    "Jolt, every pair", [](const PressScene &s) { JoltPressBuild(s, false); }, JoltPressFrame,
    [](const PressScene &) { return JoltPressCentres(); }, JoltPressFree};
#endif

// Bodies whose final centres are not the same to the bit in the two runs.
uint32_t CentresDiffer(const std::vector<float> &a, const std::vector<float> &b) {
    uint32_t n = 0;
    for (size_t k = 0; k + 3 <= a.size() && k + 3 <= b.size(); k += 3) {
        n += a[k] != b[k] || a[k + 1] != b[k + 1] || a[k + 2] != b[k + 2];
    }
    return n;
}

} // namespace

PressScene FlatPressScene(uint32_t count) {
    PressScene scene;
    scene.floor = {-100, 0, -100, -100, 0, 200, 200, 0, 200,
                   -100, 0, -100, 200,  0, 200, 200, 0, -100};
    scene.bodies = Lattice(count, 0.0f);
    for (PressBody &b : scene.bodies) {
        b.y = kPressHalfHeight + kStartClearance;
    }
    return scene;
}

PressScene TerrainPressScene(uint32_t count, const std::vector<float> &heights, uint32_t side,
                             float origin) {
    PressScene scene;
    scene.floor = bench::GridTriangles(heights, side);
    scene.heights = heights;
    scene.side = side;
    scene.bodies = Lattice(count, origin);
    for (PressBody &b : scene.bodies) {
        // The highest ground under the body's centre and the four ends of its horizontal radii.
        float top = PressGround(scene, b.x, b.z);
        for (const float d : {-kPressRadius, kPressRadius}) {
            top = std::max(
                top, std::max(PressGround(scene, b.x + d, b.z), PressGround(scene, b.x, b.z + d)));
        }
        b.y = top + kPressHalfHeight + kStartClearance;
    }
    return scene;
}

float PressGround(const PressScene &scene, float x, float z) {
    if (scene.heights.empty()) {
        return 0.0f;
    }
    // Cell (i, j) is split from (i, j + 1) to (i + 1, j), as bench::GridTriangles splits it.
    const float last = static_cast<float>(scene.side) - 1e-3f;
    const float cx = std::min(std::max(x, 0.0f), last), cz = std::min(std::max(z, 0.0f), last);
    const uint32_t i = static_cast<uint32_t>(cx), j = static_cast<uint32_t>(cz);
    const float fx = cx - static_cast<float>(i), fz = cz - static_cast<float>(j);
    const uint32_t pitch = scene.side + 1;
    const float a = scene.heights[j * pitch + i], b = scene.heights[(j + 1) * pitch + i];
    const float c = scene.heights[j * pitch + i + 1], d = scene.heights[(j + 1) * pitch + i + 1];
    if (fx + fz <= 1.0f) {
        return a + (c - a) * fx + (b - a) * fz;
    }
    return d + (b - d) * (1.0f - fx) + (c - d) * (1.0f - fz);
}

void PressWalk(const PressBody &body, float x, float z, float *dx, float *dz) {
    const float ex = body.tx - x, ez = body.tz - z, d = std::sqrt(ex * ex + ez * ez);
    const float s = d > kPressStep ? kPressStep / d : (d > 0 ? 1.0f : 0.0f);
    *dx = ex * s;
    *dz = ez * s;
}

PressOverlap MeasurePressOverlap(const PressScene &scene, const std::vector<float> &centres) {
    PressOverlap o;
    const size_t count = centres.size() / 3;
    const float touch = 2 * kPressRadius, tall = 2 * kPressHalfHeight;
    std::vector<bool> inside(count, false), insideEllipsoid(count, false);
    for (size_t i = 0; i < count; ++i) {
        const float *p = &centres[3 * i];
        for (size_t k = i + 1; k < count; ++k) {
            const float *q = &centres[3 * k];
            const float dx = q[0] - p[0], dy = q[1] - p[1], dz = q[2] - p[2];
            if (std::sqrt(dx * dx + dy * dy + dz * dz) < kInside) {
                ++o.samePlace;
            }
            const float ux = dx / kPressRadius, uy = dy / kPressHalfHeight, uz = dz / kPressRadius;
            const float unit = (2 - std::sqrt(ux * ux + uy * uy + uz * uz)) * kPressRadius;
            o.deepestEllipsoid = std::max(o.deepestEllipsoid, unit);
            if (unit > kInside) {
                insideEllipsoid[i] = insideEllipsoid[k] = true;
            }
            if (std::fabs(dy) >= tall) {
                continue; // one stands above the other
            }
            const float depth = touch - std::sqrt(dx * dx + dz * dz);
            o.deepest = std::max(o.deepest, depth);
            if (depth > kInside) {
                inside[i] = inside[k] = true;
            }
        }
        const float under = PressGround(scene, p[0], p[2]) - (p[1] - kPressHalfHeight);
        o.inGround += under > kInside;
        o.deepestInGround = std::max(o.deepestInGround, under);
        o.highest = std::max(o.highest, -under);
    }
    o.inside = static_cast<uint32_t>(std::count(inside.begin(), inside.end(), true));
    o.insideEllipsoid =
        static_cast<uint32_t>(std::count(insideEllipsoid.begin(), insideEllipsoid.end(), true));
    return o;
}

bool RunPressingCrowd(const char *name, const PressScene &scene, int rounds, int frames,
                      bool everyPair) {
    std::vector<PressPeer> list = {kVor, kVorRecover, kBullet};
#ifdef VOR_PEERS_JOLT
    list.push_back(kJoltGrid);
    if (everyPair) {
        list.push_back(kJoltSimple);
    }
#else
    (void)everyPair;
#endif
    std::printf("%s: %zu bodies, %d frames\n", name, scene.bodies.size(), frames);
    std::printf("  %-24s %5s %8s %8s %8s %8s  %6s %8s  %6s %8s %5s  %6s %8s %8s\n", "library",
                "round", "cpu ms", "slowest", "wall ms", "slowest", "inside", "deepest", "ellip.",
                "deepest", "1 mm", "ground", "deepest", "highest");
    const size_t jolt = 3; // Jolt's grid-fed run, and its run with every pair after it
    bool same = true;
    for (int r = 0; r < rounds; ++r) {
        std::vector<std::vector<float>> ended(list.size());
        for (size_t k = 0; k < list.size(); ++k) {
            const size_t p = (k + r) % list.size();
            const PressPeer &peer = list[p];
            peer.build(scene);
            const FrameTimes t = RunFrames(peer, scene, frames);
            ended[p] = peer.centres(scene);
            peer.free();
            const PressOverlap o = MeasurePressOverlap(scene, ended[p]);
            std::printf("  %-24s %5d %8.2f %8.2f %8.2f %8.2f  %6u %7.4fm  %6u %7.4fm %5u  %6u "
                        "%7.4fm %7.4fm\n",
                        peer.name, r + 1, t.meanCpu, t.slowestCpu, t.meanWall, t.slowestWall,
                        o.inside, o.deepest, o.insideEllipsoid, o.deepestEllipsoid, o.samePlace,
                        o.inGround, o.deepestInGround, o.highest);
            std::fflush(stdout);
        }
        // The grid only chooses whom to offer: every pair must end in the very same places.
        if (list.size() > jolt + 1) {
            const uint32_t differ = CentresDiffer(ended[jolt], ended[jolt + 1]);
            std::printf("  Jolt's final centres, grid-fed against every pair: %u of %zu differ%s\n",
                        differ, ended[jolt].size() / 3, differ != 0 ? " (FAILED)" : "");
            same = same && differ == 0;
        }
    }
    return same;
}

} // namespace peers
