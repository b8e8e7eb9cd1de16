// The concave-corner decision of the response: whether a contact slides on its own normal or on
// the crease it forms with an earlier contact of the same pass, by ConcaveMode.
#pragma once

namespace vor {

struct CollisionBody;
struct ContactRecord;
struct MotionRecord;

// True when contact c (the nearest of body b's latest step) creases with the history that begins
// at record r: r is the latest earlier step whose contact is not report-only, and the walks go
// from r towards the head of b's currentMotion.
bool ShouldCrease(const ContactRecord *c, const MotionRecord *r, const CollisionBody *b);

} // namespace vor
