// Concave modes 1 to 7 of the response. A crease needs an earlier contact; mode 1 never creases,
// mode 7 always does, and modes 2 to 6 crease when no earlier normal faces the current one, or
// by their own test of the step direction S (the way the body was heading along the surface)
// against the earlier contacts' normals.
#include "pass/concave_modes.h"

#include <cmath>

#include "body/motion_records.h"
#include "core/records.h"
#include "core/settings.h"
#include "core/thresholds.h"

namespace vor {

namespace {

const MotionRecord *Earlier(const MotionRecord *m) {
    return MemberOf<const MotionRecord>(m->link.prev);
}

// True when some record from r back has a nearest normal with a positive dot product with n.
bool AnyNormalFacing(const MotionRecord *r, const Vec3 &n) {
    for (const MotionRecord *x = r; x != nullptr; x = Earlier(x)) {
        if (x->nearest != nullptr && DotProduct(x->nearest->normal, n) > 0.0f) {
            return true;
        }
    }
    return false;
}

// 10*n - (10/g)*vn: the part of vn in the contact plane, scaled by 10/|g| (sign by the caller).
Vec3 HeadingAlongSurface(const Vec3 &n, const Vec3 &vn, float g) {
    Vec3 a, b;
    ScaleVector(&a, kStepDirectionScale, n);
    ScaleVector(&b, kStepDirectionScale / g, vn);
    return *SubtractVectors(&a, a, b);
}

// S of modes 3 to 6: zero for a step in the contact plane, else the heading, negated for g > 0.
Vec3 StepDirection(const Vec3 &n, const Vec3 &vn, float g) {
    Vec3 s;
    if (g == 0.0f) {
        return *SetVector(&s, 0.0f, 0.0f, 0.0f);
    }
    s = HeadingAlongSurface(n, vn, g);
    if (g > 0.0f) {
        NegateVector(&s, s);
    }
    return s;
}

// Modes 3 and 4 on a face or corner contact: crease against face or corner contacts of the
// history unless the body heads away from one of them.
bool CreaseAtFaces(const MotionRecord *r, const Vec3 &s) {
    bool sawFace = false;
    for (const MotionRecord *x = r; x != nullptr; x = Earlier(x)) {
        const ContactRecord *qx = x->nearest;
        if (qx == nullptr || qx->edgeHit != 0) {
            continue;
        }
        sawFace = true;
        if (DotProduct(s, qx->normal) > 0.0f) {
            return false;
        }
    }
    return sawFace;
}

// Mode 4 on an edge contact: crease when the edge point lies off the plane of an earlier face and
// the recomputed heading does not point away from it. A zero divisor (step in the contact plane)
// gives a zero heading, as S is zero then, and so creases.
bool CreaseAtEdge(const ContactRecord *c, const MotionRecord *r, const Vec3 &vn, float g) {
    float divisor = g;
    for (const MotionRecord *x = r; x != nullptr; x = Earlier(x)) {
        const ContactRecord *qx = x->nearest;
        if (qx == nullptr || qx->edgeHit != 0) {
            continue;
        }
        Vec3 off;
        SubtractVectors(&off, c->point, qx->point);
        float height = DotProduct(off, qx->normal);
        if (!(static_cast<double>(std::fabs(height)) > kCreasePlaneDistance)) {
            continue;
        }
        Vec3 heading;
        if (divisor == 0.0f) {
            SetVector(&heading, 0.0f, 0.0f, 0.0f);
        } else {
            heading = HeadingAlongSurface(c->normal, vn, divisor);
        }
        float d = DotProduct(heading, qx->normal);
        if (!(d > 0.0f)) {
            return true;
        }
        divisor = d;
    }
    return false;
}

} // namespace

bool ShouldCrease(const ContactRecord *c, const MotionRecord *r, const CollisionBody *b) {
    uint32_t mode = ConcaveMode;
    if (mode == kConcaveAlways) {
        return true;
    }
    if (mode < kConcaveUnlessLeaning || mode > kConcaveFoldFirst) {
        return false;
    }
    // No earlier surface faces this one: a concave corner in every mode from 2 on.
    if (!AnyNormalFacing(r, c->normal)) {
        return true;
    }
    if (mode == kConcaveUnlessLeaning) {
        return false;
    }

    // The body's whole step of this pass, and the way it headed along the surface.
    Vec3 v, vn;
    SubtractVectors(&v, b->newPosition, b->previousPosition);
    NormalizeVector(&vn, v);
    float g = DotProduct(vn, c->normal);
    Vec3 s = StepDirection(c->normal, vn, g);

    if (mode == kConcaveFaces || mode == kConcaveFacesEdges) {
        if (c->edgeHit == 0) {
            return CreaseAtFaces(r, s);
        }
        if (mode == kConcaveFaces) {
            return false;
        }
        return CreaseAtEdge(c, r, vn, g);
    }
    for (const MotionRecord *x = r; x != nullptr; x = Earlier(x)) {
        if (x->nearest == nullptr) {
            continue;
        }
        float facing = DotProduct(s, x->nearest->normal);
        if (mode == kConcaveSlideFirst && facing > 0.0f) {
            return false;
        }
        if (mode == kConcaveFoldFirst && facing < 0.0f) {
            return true;
        }
    }
    return mode == kConcaveSlideFirst;
}

} // namespace vor
