// The geometric tests shared by the mesh sweep and the ray test: the coarse rejections (mesh bounds
// cube, grown triangle box), the point-in-triangle test and the two edge helpers. All of them work
// in unit-sphere space (world coordinates divided by the moving ellipsoid's radii) and only read.
#include "mesh/triangle_tests.h"

#include <cmath>

namespace vor {

namespace {

float LargestMagnitude(const Vec3 &a, const Vec3 &b) {
    float m = std::fabs(a.x);
    const float values[5] = {std::fabs(a.y), std::fabs(a.z), std::fabs(b.x), std::fabs(b.y),
                             std::fabs(b.z)};
    for (float v : values) {
        if (v > m) {
            m = v;
        }
    }
    return m;
}

// std::fmin and std::fmax without the library call: a NaN gives way to the other value. Their
// results are only compared, so which zero a tie of -0 and +0 gives does not matter. Written as
// a minimum and a NaN check so that it compiles without a branch.
float Smaller(float a, float b) {
    const float least = a < b ? a : b;
    return b == b ? least : a;
}
float Larger(float a, float b) {
    const float most = a > b ? a : b;
    return b == b ? most : a;
}

// Per-axis access in x, y, z order.
float Axis(const Vec3 &v, int a) {
    return a == 0 ? v.x : (a == 1 ? v.y : v.z);
}

} // namespace

float MeshBoundsHalf(const MeshShape *mesh, const CollisionBody *body, const Vec3 &radii) {
    const Vec3 hi = DivideComponents(Transform(mesh->boundsMax, body->scaleMatrix), radii);
    const Vec3 lo = DivideComponents(Transform(mesh->boundsMin, body->scaleMatrix), radii);
    return LargestMagnitude(hi, lo);
}

bool MeshBoundsMeet(float half, const Vec3 &s, const Vec3 &e, const CollisionBody *body,
                    const Vec3 &radii) {
    // Both segment ends relative to the mesh centre, in unit-sphere space.
    const Vec3 sl = DivideComponents(Sub(s, body->newPosition), radii);
    const Vec3 el = DivideComponents(Sub(e, body->newPosition), radii);
    const float m = half;

    // Reject when both ends lie beyond the same face of the cube grown by the unit radius.
    for (int a = 0; a < 3; ++a) {
        if (Axis(sl, a) - 1.0f > m && Axis(el, a) - 1.0f > m) {
            return false;
        }
    }
    for (int a = 0; a < 3; ++a) {
        if (Axis(sl, a) + 1.0f < -m && Axis(el, a) + 1.0f < -m) {
            return false;
        }
    }
    return true;
}

GrownBox TriangleGrownBox(const Vec3 &t1, const Vec3 &t2, const Vec3 &t3) {
    GrownBox box;
    for (int a = 0; a < 3; ++a) {
        box.below[a] = Smaller(Smaller(Axis(t1, a), Axis(t2, a)), Axis(t3, a)) - 1.0f;
        box.above[a] = Larger(Larger(Axis(t1, a), Axis(t2, a)), Axis(t3, a)) + 1.0f;
    }
    return box;
}

bool GrownBoxMeets(const GrownBox &box, const Vec3 &s, const Vec3 &e) {
    for (int a = 0; a < 3; ++a) {
        if (box.below[a] > Axis(s, a) && box.below[a] > Axis(e, a)) {
            return false;
        }
        if (box.above[a] < Axis(s, a) && box.above[a] < Axis(e, a)) {
            return false;
        }
    }
    return true;
}

Vec3 ClosestPointOnLine(const Vec3 &a, const Vec3 &b, const Vec3 &s) {
    const Vec3 u = Normalize(Sub(b, a));
    return Add(a, Scale(DotProduct(Sub(s, a), u), u));
}

bool EdgeInteriorTest(const Vec3 &a, const Vec3 &b, const Vec3 &x) {
    const Vec3 edge = Sub(b, a);
    const float len = std::sqrt(DotProduct(edge, edge));
    // A zero-length edge has no direction: nothing lies strictly inside it.
    if (!(len > 0.0f)) {
        return false;
    }
    const Vec3 u = Scale(1.0f / len, edge);
    const float k = DotProduct(Sub(x, a), u);
    return k > 0.0f && k < len;
}

} // namespace vor
