// The edge and corner tests of the mesh sweep: the unit sphere moving along D against the segment
// between two triangle corners and against one corner point. Both run only for a step that moves
// and only after the face test found its touch point outside the triangle.
#include <cmath>

#include "mesh/triangle_tests.h"
#include "pass/mesh_sweep_steps.h"

namespace vor {

namespace {

// The centre of a sphere already cutting the line, pushed out along the perpendicular from its
// closest point F until it touches. False for a centre on the line itself: no outward direction.
bool PushedOffLine(const Vec3 &S, const Vec3 &F, Vec3 *H) {
    const Vec3 sf = Sub(S, F);
    const float len = std::sqrt(DotProduct(sf, sf));
    if (!(len > 0.0f)) {
        return false;
    }
    const Vec3 out = Scale(1.0f - len, sf);
    *H = Add(S, Vec3{out.x / len, out.y / len, out.z / len});
    return true;
}

} // namespace

void SweepEdge(MeshSweep &sweep, const Vec3 &a, const Vec3 &b) {
    // Without motion there is no direction to sweep along.
    const float L = sweep.length;
    if (!(L > 0.0f)) {
        return;
    }
    const Vec3 &S = sweep.start;
    const Vec3 &D = sweep.direction;

    // n: across the edge, in the plane of edge and motion, facing against the motion.
    const Vec3 e = Sub(a, b);
    const Vec3 u = Cross(D, e);
    const Vec3 n = Normalize(Cross(u, e));
    const float d = DotProduct(n, Sub(S, a));
    if (!(d > 0.0f)) {
        return;
    }
    if (!(d - 1.0f < L)) {
        return;
    }
    const float nd = DotProduct(n, D);
    if (!(nd < 0.0f)) {
        return;
    }

    // Does the sphere pass close enough to the line to touch it at all?
    const Vec3 F = ClosestPointOnLine(a, b, S);
    const Vec3 G = Add(F, Scale(d, n));
    const Vec3 h = Sub(G, S);
    const float hh = DotProduct(h, h);
    if (!(hh < 1.0f)) {
        return;
    }
    const float s = std::sqrt(1.0f - hh);
    const float t = -(d - s) / nd;
    if (t > L) {
        return;
    }

    // Centre and touch point: along the motion, or pushed out from the line if already touching.
    const float f = t / L;
    Vec3 H;
    Vec3 Q;
    if (t > 0.0f) {
        H = Add(S, Scale(t, D));
        Q = Add(Sub(G, Scale(s, n)), Scale(t, D));
    } else {
        if (!PushedOffLine(S, F, &H)) {
            return;
        }
        Q = F;
    }
    if (NotEarlierThanNearest(sweep, f)) {
        return;
    }
    // Beyond the edge's ends the corner tests take over.
    if (!EdgeInteriorTest(a, b, H)) {
        return;
    }
    RecordMeshContact(sweep, H, Q, f, 1);
}

void SweepCorner(MeshSweep &sweep, const Vec3 &v) {
    const float L = sweep.length;
    if (!(L > 0.0f)) {
        return;
    }
    const Vec3 &S = sweep.start;
    const Vec3 &D = sweep.direction;

    // The corner must lie ahead, within reach, and within 1 of the line of motion.
    const Vec3 w = Sub(v, S);
    const float p = DotProduct(w, D);
    if (!(p > 0.0f)) {
        return;
    }
    if (!(p - 1.0f < L)) {
        return;
    }
    const float q = DotProduct(w, w) - p * p;
    if (!(q < 1.0f)) {
        return;
    }
    // No lower bound: a sphere already containing the corner gives a negative time.
    const float t = p - std::sqrt(1.0f - q);
    if (!(t < L)) {
        return;
    }
    const float f = t / L;
    if (NotEarlierThanNearest(sweep, f)) {
        return;
    }
    RecordMeshContact(sweep, Add(S, Scale(t, D)), v, f, 0);
}

} // namespace vor
