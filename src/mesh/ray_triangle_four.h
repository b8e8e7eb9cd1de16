// The ray test of RayTriangleTestPastBox on up to four triangles of a leaf side by side: four
// lanes run the very same float operations in the same order (IEEE rounding is per lane, the
// square root and the division included), so every value is the scalar test's to the bit.
#pragma once

#include <cstdint>

#include "core/records.h"
#include "math/float4.h"
#include "math/math_thresholds.h"
#include "mesh/mesh_accel_layout.h"
#include "mesh/ray_triangle.h"

namespace vor {

// x, y and z of four vectors, one in each lane.
struct FourVec3 {
    Float4 x, y, z;
};

inline FourVec3 FourFrom(const Vec3 &v) {
    return FourVec3{Splat4(v.x), Splat4(v.y), Splat4(v.z)};
}
inline FourVec3 FourSub(const FourVec3 &a, const FourVec3 &b) {
    return FourVec3{Sub4(a.x, b.x), Sub4(a.y, b.y), Sub4(a.z, b.z)};
}
inline FourVec3 FourScale(Float4 f, const FourVec3 &v) {
    return FourVec3{Mul4(f, v.x), Mul4(f, v.y), Mul4(f, v.z)};
}
inline FourVec3 FourAdd(const FourVec3 &a, const FourVec3 &b) {
    return FourVec3{Add4(a.x, b.x), Add4(a.y, b.y), Add4(a.z, b.z)};
}
// DotProduct: (a.x * b.x + a.y * b.y) + a.z * b.z.
inline Float4 FourDot(const FourVec3 &a, const FourVec3 &b) {
    return Add4(Add4(Mul4(a.x, b.x), Mul4(a.y, b.y)), Mul4(a.z, b.z));
}
inline FourVec3 FourCross(const FourVec3 &u, const FourVec3 &v) {
    return FourVec3{Sub4(Mul4(u.y, v.z), Mul4(u.z, v.y)), Sub4(Mul4(u.z, v.x), Mul4(u.x, v.z)),
                    Sub4(Mul4(u.x, v.y), Mul4(u.y, v.x))};
}
// NormalizeVector lane by lane: a vector within the tolerance of unit length kept, a tiny one
// made zero, any other multiplied by 1 / sqrt of its squared length (summed y, z, x).
inline FourVec3 FourNormalize(const FourVec3 &v) {
    const Float4 s = Add4(Add4(Mul4(v.y, v.y), Mul4(v.z, v.z)), Mul4(v.x, v.x));
    const Float4 offUnit = Sub4(s, Splat4(1.0f));
    const Mask4 unit = MaskAnd4(GreaterEqual4(offUnit, Splat4(-kUnitTolerance)),
                                LessEqual4(offUnit, Splat4(kUnitTolerance)));
    const Mask4 tiny = LessEqual4(s, Splat4(kTinySquaredLength));
    const Float4 f = Div4(Splat4(1.0f), Sqrt4(s));
    const Float4 zero = Zero4();
    return FourVec3{Select4(unit, v.x, Select4(tiny, zero, Mul4(v.x, f))),
                    Select4(unit, v.y, Select4(tiny, zero, Mul4(v.y, f))),
                    Select4(unit, v.z, Select4(tiny, zero, Mul4(v.z, f)))};
}
// Corner c of the first count (1 to 4) items, lanes past count repeating the first item.
inline FourVec3 FourCorners(const AccelItem *items, uint32_t count, int c) {
    Float4 row[4];
    for (uint32_t k = 0; k < 4; ++k) {
        row[k] = Load4(&items[k < count ? k : 0].corner[c].x); // the fourth lane goes unused
    }
    Transpose4(row[0], row[1], row[2], row[3]);
    return FourVec3{row[0], row[1], row[2]};
}
// The point-in-triangle test's edge from a to b: false lanes where p lies outside it.
inline Mask4 FourInsideEdge(const FourVec3 &p, const FourVec3 &n, const FourVec3 &a,
                            const FourVec3 &b) {
    return NotLess4(FourDot(FourCross(FourSub(b, a), FourSub(p, a)), n), Zero4());
}

// RayTriangleTestPastBox(from, dir, corners of item k, &hits[k]) for each item k of the first
// count (1 to 4) whose bit is set in `lanes`; bit k of the answer is set where it answers true.
inline uint32_t RayTrianglesFour(const Vec3 &from, const Vec3 &dir, const AccelItem *items,
                                 uint32_t count, uint32_t lanes, RayTriangleHit hits[4]) {
    const FourVec3 t1 = FourCorners(items, count, 0);
    const FourVec3 t2 = FourCorners(items, count, 1);
    const FourVec3 t3 = FourCorners(items, count, 2);
    const FourVec3 start = FourFrom(from), direction = FourFrom(dir);
    const Float4 zero = Zero4();
    // The start in front of the plane, the ray approaching it, the hit point inside.
    const FourVec3 n = FourNormalize(FourCross(FourSub(t2, t1), FourSub(t3, t1)));
    const Float4 d = FourDot(FourSub(start, t1), n);
    const Float4 approach = FourDot(n, direction);
    const Float4 t = Abs4(Div4(d, approach));
    const FourVec3 p = FourAdd(start, FourScale(t, direction));
    const Mask4 passed =
        MaskAnd4(MaskAnd4(Greater4(d, zero), Less4(approach, zero)),
                 MaskAnd4(MaskAnd4(FourInsideEdge(p, n, t1, t2), FourInsideEdge(p, n, t2, t3)),
                          FourInsideEdge(p, n, t3, t1)));
    const uint32_t answer = MaskBits4(passed) & lanes;
    if (answer == 0) {
        return 0;
    }
    // The hits, lane by lane: key is the larger of d and t.
    const Float4 key = Select4(Greater4(d, t), d, t);
    const Float4 columns[8] = {t, key, p.x, p.y, p.z, n.x, n.y, n.z};
    float values[8][4];
    for (int v = 0; v < 8; ++v) {
        Store4(values[v], columns[v]);
    }
    for (uint32_t left = answer; left != 0; left &= left - 1) {
        const uint32_t k = LowestBit(left);
        hits[k] = RayTriangleHit{values[0][k],
                                 values[1][k],
                                 {values[2][k], values[3][k], values[4][k]},
                                 {values[5][k], values[6][k], values[7][k]}};
    }
    return answer;
}

} // namespace vor
