// The per-body look-up over sealed records: a hash set of (body hit, triangle) keys and a hash
// grid of contact points.
//
// Why the point grid is exact: the walk drops a contact when fl(dx)^2 + fl(dy)^2 + fl(dz)^2,
// summed in float, is below 0.1. Every term is at most the sum, so each |fl(d)| is below 0.3163,
// and the difference d itself (a float difference rounds by at most half an ulp) is below 0.5.
// Cells of 0.5 (a power of two, so floor(2x) is exact in double) then put both points in the same
// or neighbouring cells on every axis; clamping the cell numbers keeps neighbours neighbours. A
// point with an infinite or NaN coordinate never passes the float test, so it is never entered
// and never looked for.
#include "body/motion_index.h"

#include <cmath>
#include <cstdlib>

#include "body/motion_records.h"
#include "core/definitions.h"
#include "core/module_state.h"
#include "core/search_limits.h"
#include "core/thresholds.h"

namespace vor {

namespace {

constexpr int64_t kPairCode = INT64_MIN; // code of an ellipsoid-definition hit (no triangle)
constexpr uint32_t kNoPoint = UINT32_MAX;
constexpr double kCellsPerUnit = 2.0;          // cells of 0.5: above the largest near-duplicate gap
constexpr uint32_t kFirstCapacity = 64;

struct HitKey {
    const CollisionBody *body; // null: empty slot
    int64_t code;              // polygon for a mesh hit, kPairCode for an ellipsoid hit
};

struct IndexPoint {
    int64_t cell[3];
    Vec3 point;
    uint32_t next; // next point of the same bucket, or kNoPoint
};

} // namespace

struct MotionIndex {
    HitKey *hits; // open addressing, hitMask + 1 slots
    uint32_t hitMask;
    uint32_t hitCount;
    IndexPoint *points; // in sealing order
    uint32_t pointCount;
    uint32_t pointCapacity;
    uint32_t *buckets; // first point of each bucket, bucketMask + 1 of them
    uint32_t bucketMask;
};

namespace {

uint64_t Mix(uint64_t h) {
    h ^= h >> 30;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 27;
    h *= 0x94D049BB133111EBull;
    h ^= h >> 31;
    return h;
}

uint64_t HashHit(const CollisionBody *body, int64_t code) {
    return Mix(reinterpret_cast<uintptr_t>(body) ^ Mix(static_cast<uint64_t>(code)));
}

uint64_t HashCell(const int64_t cell[3]) {
    return Mix(static_cast<uint64_t>(cell[0]) ^
               Mix(static_cast<uint64_t>(cell[1]) ^ Mix(static_cast<uint64_t>(cell[2]))));
}

bool FiniteVec(const Vec3 &v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

int64_t CellOf(float x) {
    return ClampedCellNumber(static_cast<double>(x) * kCellsPerUnit);
}

void FreeIndex(MotionIndex *index) {
    std::free(index->hits);
    std::free(index->points);
    std::free(index->buckets);
    std::free(index);
}

bool FindHit(const MotionIndex *index, const CollisionBody *body, int64_t code) {
    for (uint64_t i = HashHit(body, code);; ++i) {
        const HitKey &k = index->hits[i & index->hitMask];
        if (k.body == nullptr) {
            return false;
        }
        if (k.body == body && k.code == code) {
            return true;
        }
    }
}

void PlaceHit(HitKey *hits, uint32_t mask, const HitKey &key) {
    for (uint64_t i = HashHit(key.body, key.code);; ++i) {
        HitKey &k = hits[i & mask];
        if (k.body == nullptr) {
            k = key;
            return;
        }
    }
}

bool AddHit(MotionIndex *index, const CollisionBody *body, int64_t code) {
    if (FindHit(index, body, code)) {
        return true;
    }
    // Keep the table at most half full.
    if (2 * (index->hitCount + 1) > index->hitMask + 1) {
        const uint32_t mask = 2 * index->hitMask + 1;
        HitKey *grown = static_cast<HitKey *>(std::calloc(mask + 1, sizeof(HitKey)));
        if (grown == nullptr) {
            return false;
        }
        for (uint32_t i = 0; i <= index->hitMask; ++i) {
            if (index->hits[i].body != nullptr) {
                PlaceHit(grown, mask, index->hits[i]);
            }
        }
        std::free(index->hits);
        index->hits = grown;
        index->hitMask = mask;
    }
    PlaceHit(index->hits, index->hitMask, HitKey{body, code});
    index->hitCount += 1;
    return true;
}

// Threads every point into the bucket of its cell, for a table of mask + 1 buckets.
bool Rebucket(MotionIndex *index, uint32_t mask) {
    uint32_t *buckets = static_cast<uint32_t *>(std::malloc((mask + 1) * sizeof(uint32_t)));
    if (buckets == nullptr) {
        return false;
    }
    for (uint32_t i = 0; i <= mask; ++i) {
        buckets[i] = kNoPoint;
    }
    for (uint32_t i = 0; i < index->pointCount; ++i) {
        IndexPoint &p = index->points[i];
        const uint32_t b = static_cast<uint32_t>(HashCell(p.cell) & mask);
        p.next = buckets[b];
        buckets[b] = i;
    }
    std::free(index->buckets);
    index->buckets = buckets;
    index->bucketMask = mask;
    return true;
}

bool AddPoint(MotionIndex *index, const Vec3 &point) {
    if (!FiniteVec(point)) {
        return true;
    }
    if (index->pointCount == index->pointCapacity) {
        const uint32_t capacity = 2 * index->pointCapacity;
        void *grown = std::realloc(index->points, capacity * sizeof(IndexPoint));
        if (grown == nullptr) {
            return false;
        }
        index->points = static_cast<IndexPoint *>(grown);
        index->pointCapacity = capacity;
    }
    IndexPoint &p = index->points[index->pointCount];
    p.cell[0] = CellOf(point.x);
    p.cell[1] = CellOf(point.y);
    p.cell[2] = CellOf(point.z);
    p.point = point;
    index->pointCount += 1;
    if (index->pointCount > index->bucketMask + 1) {
        return Rebucket(index, 2 * index->bucketMask + 1);
    }
    const uint32_t b = static_cast<uint32_t>(HashCell(p.cell) & index->bucketMask);
    p.next = index->buckets[b];
    index->buckets[b] = index->pointCount - 1;
    return true;
}

// Enters what the walks would look at in record's nearest contact.
bool Enter(MotionIndex *index, const MotionRecord *record) {
    const ContactRecord *c = record->nearest;
    if (c == nullptr) {
        return true;
    }
    if (c->otherBody != nullptr && c->definition != nullptr) {
        if (IsEllipsoidDefinition(c->definition) && !AddHit(index, c->otherBody, kPairCode)) {
            return false;
        }
        if (IsMeshDefinition(c->definition) && !AddHit(index, c->otherBody, c->polygon)) {
            return false;
        }
    }
    return AddPoint(index, c->point);
}

bool CellHasNearPoint(const MotionIndex *index, const int64_t cell[3], const Vec3 &point) {
    const uint32_t b = static_cast<uint32_t>(HashCell(cell) & index->bucketMask);
    for (uint32_t i = index->buckets[b]; i != kNoPoint; i = index->points[i].next) {
        const IndexPoint &p = index->points[i];
        if (p.cell[0] == cell[0] && p.cell[1] == cell[1] && p.cell[2] == cell[2] &&
            NearDuplicatePoints(p.point, point)) {
            return true;
        }
    }
    return false;
}

MotionIndex *NewIndex() {
    MotionIndex *index = static_cast<MotionIndex *>(std::calloc(1, sizeof(MotionIndex)));
    if (index == nullptr) {
        return nullptr;
    }
    index->hitMask = kFirstCapacity - 1;
    index->hits = static_cast<HitKey *>(std::calloc(kFirstCapacity, sizeof(HitKey)));
    index->pointCapacity = kFirstCapacity;
    index->points = static_cast<IndexPoint *>(std::malloc(kFirstCapacity * sizeof(IndexPoint)));
    if (index->hits == nullptr || index->points == nullptr ||
        !Rebucket(index, kFirstCapacity - 1)) {
        FreeIndex(index);
        return nullptr;
    }
    return index;
}

// The index over every record of body's currentMotion but the last.
MotionIndex *BuildIndex(const CollisionBody *body) {
    MotionIndex *index = NewIndex();
    if (index == nullptr) {
        return nullptr;
    }
    const MotionRecord *last = LatestMotion(body);
    for (const MotionRecord *m = ListHead<MotionRecord>(body->currentMotion); m != last;
         m = MemberOf<MotionRecord>(m->link.next)) {
        if (!Enter(index, m)) {
            FreeIndex(index);
            return nullptr;
        }
    }
    return index;
}

} // namespace

bool NearDuplicatePoints(const Vec3 &earlier, const Vec3 &point) {
    Vec3 gap;
    SubtractVectors(&gap, earlier, point);
    const float squared = DotProduct(gap, gap);
    return static_cast<double>(squared) < kNearDuplicateSquared;
}

void SealMotionRecord(CollisionBody *body, const MotionRecord *record) {
    body->sealedRecords += 1;
    if (body->motionIndex != nullptr && !Enter(body->motionIndex, record)) {
        DropMotionIndex(body);
    }
}

void DropMotionIndex(CollisionBody *body) {
    if (body->motionIndex != nullptr) {
        FreeIndex(body->motionIndex);
        body->motionIndex = nullptr;
    }
}

const MotionIndex *BuiltMotionIndex(CollisionBody *body) {
    if (body->motionIndex == nullptr) {
        body->motionIndex = BuildIndex(body);
        Stats.motionIndexBuilds += 1;
    }
    return body->motionIndex;
}

bool IndexNamesBody(const MotionIndex *index, const CollisionBody *other) {
    return FindHit(index, other, kPairCode);
}

bool IndexNamesPolygon(const MotionIndex *index, const CollisionBody *meshBody, int32_t polygon) {
    return FindHit(index, meshBody, polygon);
}

bool IndexHasNearPoint(const MotionIndex *index, const Vec3 &point) {
    if (!FiniteVec(point)) {
        return false;
    }
    const int64_t centre[3] = {CellOf(point.x), CellOf(point.y), CellOf(point.z)};
    // The point's cell and its 26 neighbours.
    for (int64_t k = 0; k < 27; ++k) {
        const int64_t cell[3] = {centre[0] + k / 9 - 1, centre[1] + k / 3 % 3 - 1,
                                 centre[2] + k % 3 - 1};
        if (CellHasNearPoint(index, cell, point)) {
            return true;
        }
    }
    return false;
}

} // namespace vor
