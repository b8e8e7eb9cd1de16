// The boxes of the ray trees by type on their own: a centre inside a body's keep window always
// passes the test in doubles that its box still lies in the leaf's grown box, at every scale and
// right at the window's edges, and the window leaves out only a sliver of the room a body has.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "math/float_steps.h"
#include "query/ray_box.h"

namespace {

using vor::Vec3;

// Floats a few steps either side of x.
std::vector<float> Around(float x) {
    std::vector<float> out = {x};
    float up = x, down = x;
    for (int k = 0; k < 3; ++k) {
        up = vor::NextFloatUp(up);
        down = vor::NextFloatDown(down);
        out.push_back(up);
        out.push_back(down);
    }
    return out;
}

// Every centre at or next to the window's corners and faces, and inside it, is checked: in the
// window implies still in the grown box. Answers how many centres were in the window.
uint32_t CheckWindowEdges(const Vec3 &centre, const Vec3 &radii, const Vec3 &step) {
    const vor::RayIndexBox grown = vor::GrownRayBox(centre, radii, step);
    const vor::KeepWindow w = vor::KeepWindowOf(grown, centre, radii);
    uint32_t inside = 0;
    const float mid[3] = {centre.x, centre.y, centre.z};
    for (int axis = 0; axis < 3; ++axis) {
        for (const float edge : {w.lo[axis], w.hi[axis]}) {
            for (const float x : Around(edge)) {
                float c[3] = {mid[0], mid[1], mid[2]};
                c[axis] = x;
                const Vec3 at = {c[0], c[1], c[2]};
                if (vor::InKeepWindow(w, at)) {
                    inside += 1;
                    EXPECT_TRUE(vor::StillInGrownBox(grown, at, radii))
                        << "axis " << axis << " centre " << centre.x << " radius " << radii.x
                        << " at " << x;
                }
            }
        }
    }
    // The corners, and just outside them.
    for (const float x : {w.lo[0], w.hi[0], vor::NextFloatDown(w.lo[0])}) {
        for (const float y : {w.lo[1], w.hi[1], vor::NextFloatUp(w.hi[1])}) {
            for (const float z : {w.lo[2], w.hi[2]}) {
                const Vec3 at = {x, y, z};
                if (vor::InKeepWindow(w, at)) {
                    inside += 1;
                    EXPECT_TRUE(vor::StillInGrownBox(grown, at, radii));
                }
            }
        }
    }
    return inside;
}

TEST(KeepWindow, EveryCentreInItStillLiesInTheGrownBoxAtEveryScale) {
    std::mt19937 rng(7);
    const auto magnitude = [&](double lo, double hi) {
        return static_cast<float>(
            std::pow(10.0, std::uniform_real_distribution<double>(lo, hi)(rng)));
    };
    const auto sign = [&]() { return rng() % 2 == 0 ? 1.0f : -1.0f; };
    uint32_t inside = 0;
    for (int k = 0; k < 4000; ++k) {
        const Vec3 centre = {sign() * magnitude(-3, 17.9), sign() * magnitude(-3, 8),
                             sign() * magnitude(-3, 3)};
        const float r = magnitude(-17, 6);
        const Vec3 radii = {r, r * magnitude(0, 1), r};
        const Vec3 step = {sign() * r * magnitude(-3, 1), 0.0f, sign() * r * magnitude(-6, 0)};
        inside += CheckWindowEdges(centre, radii, step);
    }
    // Most edge centres lie in their windows (the others, just past them, are not checked).
    EXPECT_GT(inside, 4000u * 20u);
}

TEST(KeepWindow, BodiesNearTheCoordinateLimitKeepWithinIt) {
    for (const float c : {9.9e17f, 1e18f, vor::NextFloatDown(1e18f), -1e18f, 5e17f}) {
        for (const float r : {1.0f, 1e12f, 1e16f, 3e17f}) {
            CheckWindowEdges(Vec3{c, 0, 0}, Vec3{r, r, r}, Vec3{r, 0, 0});
            const vor::KeepWindow w =
                vor::KeepWindowOf(vor::GrownRayBox(Vec3{c, 0, 0}, Vec3{r, r, r}, Vec3{r, 0, 0}),
                                  Vec3{c, 0, 0}, Vec3{r, r, r});
            EXPECT_LE(w.hi[0], 1e18f);
            EXPECT_GE(w.lo[0], -1e18f);
        }
    }
}

TEST(KeepWindow, IsEmptyWhereNothingIsKnown) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Vec3 r = {0.5f, 0.5f, 0.5f};
    const Vec3 none = {0, 0, 0};
    // Outside the limits (the box is all of space), a NaN or infinite centre, radii out of range.
    for (const Vec3 c : {Vec3{2e18f, 0, 0}, Vec3{nan, 0, 0}, Vec3{0, inf, 0}}) {
        const vor::KeepWindow w = vor::KeepWindowOf(vor::GrownRayBox(c, r, none), c, r);
        EXPECT_FALSE(vor::InKeepWindow(w, Vec3{0, 0, 0}));
        EXPECT_FALSE(vor::InKeepWindow(w, c));
    }
    const Vec3 tiny = {1e-20f, 1e-20f, 1e-20f};
    const vor::KeepWindow w =
        vor::KeepWindowOf(vor::GrownRayBox(Vec3{1, 1, 1}, tiny, none), Vec3{1, 1, 1}, tiny);
    EXPECT_FALSE(vor::InKeepWindow(w, Vec3{1, 1, 1}));
    // A window yet to be made holds no centre, not even one it would hold once made.
    const vor::KeepWindow later = vor::KeepWindowNotMade();
    EXPECT_FALSE(vor::KeepWindowMade(later));
    EXPECT_FALSE(vor::InKeepWindow(later, Vec3{0, 0, 0}));
    EXPECT_TRUE(vor::KeepWindowMade(w));
    // A finite box taken with a centre now outside the limits knows nothing either.
    const vor::RayIndexBox box = vor::GrownRayBox(Vec3{1, 1, 1}, r, none);
    EXPECT_FALSE(vor::InKeepWindow(vor::KeepWindowOf(box, Vec3{3e18f, 1, 1}, r), Vec3{1, 1, 1}));
}

TEST(KeepWindow, LeavesOutOnlyASliverOfTheRoomABodyHas) {
    // A walker of radii 0.25, 0.45, 0.25 at 100 m: room of its largest radius on every side.
    const Vec3 c = {100.0f, 0.45f, -250.0f}, r = {0.25f, 0.45f, 0.25f};
    const vor::RayIndexBox grown = vor::GrownRayBox(c, r, Vec3{0, 0, 0});
    const vor::KeepWindow w = vor::KeepWindowOf(grown, c, r);
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_NEAR(w.hi[axis] - w.lo[axis], 2 * 0.45f, 1e-3f) << "axis " << axis;
    }
    EXPECT_TRUE(vor::InKeepWindow(w, c));
    EXPECT_TRUE(vor::InKeepWindow(w, Vec3{c.x + 0.449f, c.y - 0.449f, c.z + 0.449f}));
    EXPECT_FALSE(vor::InKeepWindow(w, Vec3{c.x + 0.451f, c.y, c.z}));
}

} // namespace
