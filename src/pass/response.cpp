// The collision response: where a body goes instead of the planned end of its step. It stops at
// the contact, slides along the surface (on a crease normal at a concave corner), or stands on
// walkable ground; it answers whether the body needs another sweep iteration.
#include "pass/response.h"

#include <cmath>

#include "body/motion_records.h"
#include "core/definitions.h"
#include "core/records.h"
#include "core/settings.h"
#include "core/thresholds.h"
#include "pass/concave_modes.h"

namespace vor {

namespace {

const MotionRecord *Earlier(const MotionRecord *m) {
    return MemberOf<const MotionRecord>(m->link.prev);
}

// The body stays where it touched.
bool Stop(ContactRecord *c) {
    c->outCentre = c->contactCentre;
    c->outPosition = c->contactPosition;
    SetVector(&c->correction, 0.0f, 0.0f, 0.0f);
    return false;
}

// True when an earlier step of the pass already met an ellipsoid as its nearest contact.
bool MetEllipsoidBefore(const MotionRecord *m) {
    for (const MotionRecord *x = Earlier(m); x != nullptr; x = Earlier(x)) {
        const ContactRecord *n = x->nearest;
        if (n != nullptr && n->definition != nullptr && IsEllipsoidDefinition(n->definition)) {
            return true;
        }
    }
    return false;
}

// The latest earlier step whose nearest contact is not report-only, or null.
const MotionRecord *EarlierBlockingStep(const MotionRecord *m) {
    for (const MotionRecord *x = Earlier(m); x != nullptr; x = Earlier(x)) {
        const ContactRecord *n = x->nearest;
        if (n != nullptr && n->definition != nullptr &&
            n->definition->response != kReportOnlyResponse) {
            return x;
        }
    }
    return nullptr;
}

// Takes the remaining motion's component along nn away and applies the rest from the contact.
bool Slide(ContactRecord *c, CollisionBody *b, const CollisionDefinition *d, const Vec3 &nn,
           bool creased) {
    // The second crease of a pass stops the body.
    if (b->creaseCounter > kCreaseLimit) {
        return Stop(c);
    }
    const Vec3 q = c->point;
    const Vec3 pc = c->contactCentre;
    Vec3 r;
    SubtractVectors(&r, c->targetPoint, q);
    bool walkable = nn.y > b->minSlope && pc.y > q.y;

    // Standing on walkable ground with nothing but downward motion left.
    bool standing = d->response == kStandResponse || d->response == kStandDropFallResponse;
    if (standing && walkable && r.y < 0.0f &&
        static_cast<double>(std::fabs(r.x)) < kStandingMotionLimit &&
        static_cast<double>(std::fabs(r.z)) < kStandingMotionLimit) {
        return Stop(c);
    }
    // On walkable ground the downward part of the remaining motion is dropped before the slide.
    if (d->response == kStandDropFallResponse && !creased && walkable && r.y < 0.0f &&
        DotProduct(r, nn) < 0.0f) {
        c->targetPoint.y = q.y;
    }

    const Vec3 t = c->targetPoint;
    Vec3 back, shift, reach;
    float k = DotProduct(*SubtractVectors(&back, q, t), nn);
    ScaleVector(&shift, k, nn);
    AddVectors(&c->outCentre, t, shift);
    SubtractVectors(&reach, q, pc);
    SubtractVectors(&c->outCentre, c->outCentre, reach);
    SubtractVectors(&c->outPosition, c->outCentre, c->offset);
    if (d->dynamicResponse == kDynamicCarryTurn) {
        SubtractVectors(&c->correction, c->outCentre, b->previousPosition);
    } else {
        SubtractVectors(&c->correction, c->outCentre, pc);
    }

    // Stop when the correction is negligible.
    float squared = DotProduct(c->correction, c->correction);
    if (static_cast<double>(squared) > kNegligibleCorrectionSquared) {
        return true;
    }
    return Stop(c);
}

} // namespace

Vec3 CreaseNormal(const ContactRecord *c, const ContactRecord *p) {
    float g2 = -DotProduct(p->normal, c->normal);
    if (g2 == 0.0f) {
        return c->normal;
    }
    // How far c's point lies off p's plane, and c's normal turned into p's surface.
    Vec3 off, along, across, w, nn;
    float h = DotProduct(*SubtractVectors(&off, c->point, p->point), p->normal);
    ScaleVector(&along, h, p->normal);
    ScaleVector(&across, h / g2, c->normal);
    AddVectors(&w, along, across);
    return *NormalizeVector(&nn, w);
}

bool ApplyResponse(ContactRecord *c) {
    MotionRecord *m = c->owner;
    CollisionBody *b = m->body;
    const CollisionDefinition *d = c->definition;
    if (d->response == kReportOnlyResponse) {
        return false;
    }
    if (d->response == kStopResponse) {
        return Stop(c);
    }
    // A body that already met an ellipsoid in this pass stops at the next one.
    if (EllipOptimize == 1 && IsEllipsoidDefinition(d) && MetEllipsoidBefore(m)) {
        return Stop(c);
    }
    if (b->creaseCounter > kCreaseLimit) {
        return Stop(c);
    }

    // At a concave corner with an earlier contact, slide along the crease instead.
    Vec3 nn = c->normal;
    bool creased = false;
    const MotionRecord *r = EarlierBlockingStep(m);
    if (r != nullptr && ShouldCrease(c, r, b)) {
        nn = CreaseNormal(c, r->nearest);
        b->creaseCounter = b->creaseCounter + 1;
        creased = true;
    }
    return Slide(c, b, d, nn, creased);
}

} // namespace vor
