// Geometric tests shared by the mesh sweep and the ray test, in unit-sphere space.
#pragma once

#include <cstddef>

#include "core/records.h"
#include "math/float4.h"
#include "math/vec3.h"

namespace vor {

// The half-size of the mesh's bounds cube in the unit-sphere space of radii: the largest scaled
// bound coordinate (rotation is deliberately ignored).
float MeshBoundsHalf(const MeshShape *mesh, const CollisionBody *body, const Vec3 &radii);
// False when the whole segment lies clear of the cube of that half-size around newPosition.
bool MeshBoundsMeet(float half, const Vec3 &s, const Vec3 &e, const CollisionBody *body,
                    const Vec3 &radii);
// False when the whole segment lies clear of the mesh's bounds cube around newPosition.
inline bool MeshBoundsTest(const MeshShape *mesh, const Vec3 &s, const Vec3 &e,
                           const CollisionBody *body, const Vec3 &radii) {
    return MeshBoundsMeet(MeshBoundsHalf(mesh, body, radii), s, e, body, radii);
}
// The faces of a triangle's box grown by 1, as the box test compares them: its corners' least
// coordinate less 1 and greatest plus 1 on each axis (a NaN corner gives way to the others).
struct GrownBox {
    float below[3];
    float above[3];
};
GrownBox TriangleGrownBox(const Vec3 &t1, const Vec3 &t2, const Vec3 &t3);
// False when both ends of the segment lie strictly beyond the same face of the grown box.
bool GrownBoxMeets(const GrownBox &box, const Vec3 &s, const Vec3 &e);
// A box lo..hi that is ordered on every axis (lo <= hi, or NaN on both), held as
// GrownBoxMeetsOrdered compares with it: hi against the below faces, lo against the above ones.
struct OrderedBox {
    Float4 hi; // hi.x, hi.y, hi.z and a lane the test drops
    Float4 lo; // a lane the test drops, then lo.x, lo.y, lo.z
};
inline OrderedBox MakeOrderedBox(const Vec3 &lo, const Vec3 &hi) {
    const float his[4] = {hi.x, hi.y, hi.z, hi.z}, los[4] = {lo.x, lo.x, lo.y, lo.z};
    return OrderedBox{Load4(his), Load4(los)};
}
// GrownBoxMeets(box, lo, hi) for an ordered box, in two four-wide comparisons: lo <= hi, so both
// lie beyond a below face exactly when hi does, and beyond an above face exactly when lo does
// (a NaN fails every comparison either way).
inline bool GrownBoxMeetsOrdered(const GrownBox &box, const OrderedBox &ordered) {
    static_assert(offsetof(GrownBox, above) == 3 * sizeof(float) && sizeof(GrownBox) == 24,
                  "the six faces lie side by side");
    const float *faces = &box.below[0];
    const Float4 belowFirst = Load4(faces);    // below x, y, z, above x
    const Float4 aboveLast = Load4(faces + 2); // below z, above x, y, z
    const uint32_t beyond = (MaskBits4(Greater4(belowFirst, ordered.hi)) & 7u) |
                            (MaskBits4(Less4(aboveLast, ordered.lo)) & 14u);
    return beyond == 0;
}
// False when the whole segment lies clear of the triangle's box grown by 1.
inline bool TriangleBoxTest(const Vec3 &s, const Vec3 &e, const Vec3 &t1, const Vec3 &t2,
                            const Vec3 &t3) {
    return GrownBoxMeets(TriangleGrownBox(t1, t2, t3), s, e);
}
// The unit normal of the triangle t1 t2 t3, wound as its corners run.
inline Vec3 TriangleNormal(const Vec3 &t1, const Vec3 &t2, const Vec3 &t3) {
    return Normalize(Cross(Sub(t2, t1), Sub(t3, t1)));
}
// True inside or on the border. (Inline: the ray and sweep tests run it for every candidate.)
inline bool PointInTriangle(const Vec3 &p, const Vec3 &n, const Vec3 &t1, const Vec3 &t2,
                            const Vec3 &t3) {
    // Inside when p lies on the inner side of every edge; exactly on an edge counts as inside.
    if (DotProduct(Cross(Sub(t2, t1), Sub(p, t1)), n) < 0.0f) {
        return false;
    }
    if (DotProduct(Cross(Sub(t3, t2), Sub(p, t2)), n) < 0.0f) {
        return false;
    }
    if (DotProduct(Cross(Sub(t1, t3), Sub(p, t3)), n) < 0.0f) {
        return false;
    }
    return true;
}
Vec3 ClosestPointOnLine(const Vec3 &a, const Vec3 &b, const Vec3 &s);
// True when X projects strictly between A and B.
bool EdgeInteriorTest(const Vec3 &a, const Vec3 &b, const Vec3 &x);

} // namespace vor
