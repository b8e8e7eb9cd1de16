// A per-body look-up over the sealed records of a pass: every record of currentMotion but the
// last, whose nearest contacts no longer change. It answers the three look-backs of a pass (has
// an earlier step an ellipsoid contact with this body, a mesh contact on this triangle, a contact
// point near this one) without walking the records, so that a body piling up hundreds of
// report-only records does not make every sweep quadratic. It is a cache: built once a body has
// kIndexedRecords sealed records, kept up to date as records are sealed, and dropped whenever
// the records change in any other way. The walks stay as the reference and give the same answers.
#pragma once

#include <cstdint>

#include "core/module_state.h"
#include "core/records.h"

namespace vor {

struct MotionRecord;
struct MotionIndex;

// Bodies with fewer sealed records than this walk them; the walk is cheaper than the upkeep.
constexpr uint32_t kIndexedRecords = 16;

// record (of body's currentMotion, before its last) has been sealed: enter its nearest contact.
void SealMotionRecord(CollisionBody *body, const MotionRecord *record);
// The records changed otherwise (freed, retired, a named body forgotten): forget the index.
void DropMotionIndex(CollisionBody *body);
// body's index, built on first use; null when the walk is to be used (few records, or the plain
// reference scans are selected). Inline: every pair and triangle a sweep meets asks, and most
// bodies have few records.
const MotionIndex *BuiltMotionIndex(CollisionBody *body);
inline const MotionIndex *MotionIndexOf(CollisionBody *body) {
    if (ReferenceScans || body->sealedRecords < kIndexedRecords) {
        return nullptr;
    }
    return BuiltMotionIndex(body);
}

// Some sealed record's nearest contact came from an ellipsoid definition and names other.
bool IndexNamesBody(const MotionIndex *index, const CollisionBody *other);
// Some sealed record's nearest contact came from a mesh definition, on polygon of meshBody.
bool IndexNamesPolygon(const MotionIndex *index, const CollisionBody *meshBody, int32_t polygon);
// Some sealed record's nearest contact point lies within the near-duplicate distance of point,
// by exactly the float test of the walk.
bool IndexHasNearPoint(const MotionIndex *index, const Vec3 &point);

// The near-duplicate test itself: squared float distance, compared in double.
bool NearDuplicatePoints(const Vec3 &a, const Vec3 &b);

} // namespace vor
