// Moving ellipsoid against moving ellipsoid. Both ellipsoids get one common size per axis (the
// smaller or the larger radius, by EllipSizeMode), so dividing by it turns both into unit spheres
// that touch when their centres are 2 apart. Each pair is tested twice: over the part of the step
// before either body's earlier contact, and against a destination already stopped by a contact.
//
// All arithmetic is in 32-bit floats, the closest-approach quantities U, V and W included, so the
// contact time is the same on every platform that rounds float operations the same way.
#include "pass/ellipsoid_sweep.h"

#include <cmath>

#include "body/motion_records.h"
#include "core/module_state.h"
#include "core/settings.h"
#include "core/thresholds.h"
#include "math/swept_boxes.h"

namespace vor {

namespace {

enum SweepTest : uint8_t { kFirstTest = 0, kSecondTest = 1 };

float Smaller(float a, float b) {
    return b < a ? b : a;
}
float Larger(float a, float b) {
    return b > a ? b : a;
}

// p0 + (p1 - p0) * t, the point a fraction t along the segment.
Vec3 PointAlong(const Vec3 &p0, const Vec3 &p1, float t) {
    Vec3 v;
    SubtractVectors(&v, p1, p0);
    ScaleVector(&v, t, v);
    return *AddVectors(&v, p0, v);
}

// p1 - (p1 - p0) * keep, the end of a segment pulled back by the fraction keep.
Vec3 PullBack(const Vec3 &p0, const Vec3 &p1, float keep) {
    Vec3 v;
    SubtractVectors(&v, p1, p0);
    ScaleVector(&v, keep, v);
    return *SubtractVectors(&v, p1, v);
}

// What both tests of a pair read of the two steps: their records and world centres at both ends.
struct PairSteps {
    MotionRecord *a, *b; // the source's and the destination's latest steps
    Vec3 s0, s1, d0, d1;
};

void SweepEllipsoids(CollisionDefinition *d, const PairSteps &steps, EllipsoidShape *s,
                     CollisionBody *destBody, const Vec3 &r, uint8_t test) {
    MotionRecord *a = steps.a;
    MotionRecord *b = steps.b;
    float tEnd = 1.0f;
    float tBegin = 0.0f;
    if (test == kSecondTest) {
        tBegin = static_cast<float>(b->nearest->time);
        if (a->nearest != nullptr && tBegin > a->nearest->time) {
            return;
        }
    }
    const Vec3 &s0 = steps.s0, &s1 = steps.s1, &d0 = steps.d0, &d1 = steps.d1;

    // The first test only looks before either body's earlier contact.
    if (test == kFirstTest) {
        if (a->nearest != nullptr && a->nearest->time < 1.0) {
            tEnd = static_cast<float>(a->nearest->time);
        }
        if (b->nearest != nullptr && tEnd > b->nearest->time) {
            tEnd = static_cast<float>(b->nearest->time);
        }
    }

    // Clip both motions to [tBegin, tEnd]; in the second test the destination stands still.
    Vec3 sa = PointAlong(s0, s1, tBegin);
    Vec3 da = PointAlong(d0, d1, tBegin);
    Vec3 sb = PullBack(sa, s1, 1.0f - tEnd);
    Vec3 db = PullBack(da, d1, 1.0f - tEnd);
    if (test == kSecondTest) {
        db = da;
    }

    // Into the space where both ellipsoids are unit spheres.
    sa = DivideComponents(sa, r);
    sb = DivideComponents(sb, r);
    da = DivideComponents(da, r);
    db = DivideComponents(db, r);
    if (!SweptBoxesOverlap(sa, sb, da, db, kEllipsoidContactMargin)) {
        return;
    }
    Stats.pairsOverlapped += 1;

    // Cheap rejections before the first square root of the solution.
    Vec3 vs, vd, delta, v;
    SubtractVectors(&vs, sb, sa);
    SubtractVectors(&vd, db, da);
    SubtractVectors(&delta, da, sa);
    float dist = std::sqrt(DotProduct(delta, delta));
    SubtractVectors(&v, vs, vd);
    float l2 = DotProduct(v, v);
    float gap = dist - 2.0f;
    if (l2 < gap * gap) {
        return;
    }
    if (l2 <= 0.0f) {
        return;
    }
    if (DotProduct(v, delta) <= 0.0f) {
        return;
    }

    // First touch along the relative motion: closest approach, then back to a distance of 2.
    float len = std::sqrt(l2);
    Vec3 u;
    ScaleVector(&u, 1.0f / len, v);
    float along = DotProduct(u, delta);
    float closest = dist * dist - along * along;
    if (closest > 4.0f) {
        return;
    }
    float touch = along - std::sqrt(4.0f - closest);
    if (touch > len) {
        return;
    }
    float w = touch / len;
    float time = test == kFirstTest ? w * tEnd : tBegin + w * (1.0f - tBegin);
    if (a->nearest != nullptr && !(time < a->nearest->time)) {
        return;
    }

    // Contact geometry in world space from the unclipped centres.
    Vec3 p = PointAlong(s0, s1, time);
    Vec3 pd = test == kSecondTest ? b->nearest->contactCentre : PointAlong(d0, d1, time);
    Vec3 q = PointAlong(p, pd, 0.5f);
    Vec3 n, outward, motion;
    NormalizeVector(&n, *SubtractVectors(&outward, p, q));
    // The source's own motion must head into the contact.
    if (DotProduct(*SubtractVectors(&motion, s1, s0), n) >= 0.0f) {
        return;
    }

    ContactRecord *contact = NewContact(kEllipsoidKind);
    FillContact(contact, d, destBody, s0, s1, p, q, n, s->offset, time);
    AddContact(a, contact);
}

} // namespace

void SweepEllipsoidPair(CollisionDefinition *d, EllipsoidShape *s, EllipsoidShape *t) {
    if (d->sourceKind != kEllipsoidKind || d->destinationKind != kEllipsoidKind) {
        return;
    }
    Stats.pairsTested += 1;
    Vec3 r;
    if (EllipSizeMode == 0) {
        SetVector(&r, Smaller(s->radii.x, t->radii.x), Smaller(s->radii.y, t->radii.y),
                  Smaller(s->radii.z, t->radii.z));
    } else {
        SetVector(&r, Larger(s->radii.x, t->radii.x), Larger(s->radii.y, t->radii.y),
                  Larger(s->radii.z, t->radii.z));
    }
    PairSteps steps;
    steps.a = LatestMotion(s->head.body);
    steps.b = LatestMotion(t->head.body);
    if (steps.a == nullptr || steps.b == nullptr) {
        return;
    }
    // World centres at both ends of the two steps, which a first test's contact leaves as they are.
    AddVectors(&steps.s0, steps.a->start, s->offset);
    AddVectors(&steps.s1, steps.a->end, s->offset);
    AddVectors(&steps.d0, steps.b->start, t->offset);
    AddVectors(&steps.d1, steps.b->end, t->offset);
    // The second test needs a destination already held by a contact of its own. (One call in a
    // loop rather than two: the test is then made inline, without a call's entry and exit each.)
    for (uint8_t test = kFirstTest;; test = kSecondTest) {
        SweepEllipsoids(d, steps, s, t->head.body, r, test);
        if (test == kSecondTest || steps.b->nearest == nullptr) {
            break;
        }
    }
}

} // namespace vor
