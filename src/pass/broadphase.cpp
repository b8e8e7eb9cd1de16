// The grid behind SweepEllipsoidDefinitionGrid.
//
// Why skipping is exact: the pair sweep compares clipped centres divided by the pair's radii r with
// the other's centres widened by 2, and both of its tests reject only when one axis separates
// them. Each clipped centre is p + (q - p) t for the step's end centres p, q and a t that the
// nearest times of the two bodies bound: in the first test t lies in [min(0, tA, tB), 1], in the
// second it is tB (tA, tB the source's and destination's nearest times, 0 when none). Over
// t in [tLow, 1] (tLow <= 0) those points lie in the hull of p, q and p + (q - p) tLow, up to a
// few float roundings, which a widening by a few millionths of the magnitudes covers. A pair is
// skipped only when, on some axis, the two hulls are further apart than 2 r plus a bound on the
// rounding of the division and of the margin: the box test then rejects both tests.
//
// Destinations whose nearest time lies in [-kStretch, 1] sit in the grid with their hull over
// [-kStretch, 1]; the others (and huge, non-finite or oddly sized ones) are visited by every
// source. A source whose own nearest time drops during its scan searches again for the rest of
// the list with the longer hull; one that leaves every bound scans the rest plainly.
#include "pass/broadphase.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "body/motion_records.h"
#include "core/module_state.h"
#include "core/settings.h"
#include "core/thresholds.h"
#include "pass/pass_driver.h"

namespace vor {

namespace {

constexpr double kStretch = 4.0;        // destinations' nearest times down to -4 stay in the grid
constexpr double kBoxStretch = 4.04;    // their grid hulls reach back that far, and a little more
constexpr double kLongestStretch = 1e6; // a source's time below -1e6 scans plainly
constexpr double kTimeSlack = 1e-6;     // relative: a time narrowed to a float
constexpr double kClipSlack = 4e-6;     // relative: rounding of a clipped centre (about 10 ulps)
constexpr double kPairSlack = 1e-6;     // relative: rounding of the division and the margin
constexpr double kTinySlack = 1e-25;    // absolute: quotients that fall into subnormals
constexpr double kSafeMagnitude = 1e15; // coordinates and radii bounds of the regime
constexpr double kSmallestRadius = 1e-15;
constexpr uint64_t kMaxDestinationCells = 64; // a destination hull spanning more is always visited
constexpr uint64_t kMaxQueryCells = 4096;     // a source query spanning more scans plainly
constexpr double kCellClamp = 1e9;            // cell coordinates are clamped (monotone) to this

struct Span {
    double lo[3];
    double hi[3];
};

// One destination shape of the definition, by its position in the destination list.
struct Slot {
    ShapeEntry *entry;
    CollisionBody *body;
    const Vec3 *radii;
    Vec3 p, q;       // centres at the ends of its body's latest step
    Span box;        // hull over [-kBoxStretch, 1]
    double tLow;     // min(0, its nearest time)
    uint32_t stamp;  // query that last collected it
    uint8_t regular; // in the grid's regime
    uint8_t always;  // in the always-visit list
};

struct BodySlot {
    CollisionBody *body;
    uint32_t slot;
};

struct CellIndex {
    int64_t c[3];
};

// The grid of one call.
struct Grid {
    double origin[3];
    double cell[3];
    uint64_t bucketMask;
    double reach[3];   // largest destination radius per axis
    double speed[3];   // largest destination step length per axis
    double magnitude;  // largest coordinate magnitude over the regular destination hulls
    double lowestTime; // min(0, every regular destination's nearest time)
};

// Working arrays of the current call (freed at its end).
Slot *slots = nullptr;
size_t slotCapacity = 0;
uint32_t *always = nullptr; // ascending slot positions visited by every source
size_t alwaysCapacity = 0;
uint32_t alwaysCount = 0;
BodySlot *bodySlots = nullptr; // sorted by body, to find a body's slots
size_t bodySlotCapacity = 0;
uint32_t *bucketStart = nullptr; // bucketCount + 1 prefix sums into bucketItems
size_t bucketCapacity = 0;
uint32_t *bucketItems = nullptr;
size_t itemCapacity = 0;
uint32_t *found = nullptr;
size_t foundCapacity = 0;
uint32_t queryStamp = 0;
size_t peakBytes = 0; // the largest working set of one call so far

bool Reserve(void **array, size_t *capacity, size_t n, size_t size) {
    if (n <= *capacity) {
        return true;
    }
    size_t grown = std::max(n, *capacity * 2);
    void *p = std::realloc(*array, grown * size);
    if (p == nullptr) {
        return false;
    }
    *array = p;
    *capacity = grown;
    return true;
}

template <typename T> bool ReserveArray(T **array, size_t *capacity, size_t n) {
    void *p = *array;
    bool ok = Reserve(&p, capacity, n, sizeof(T));
    *array = static_cast<T *>(p);
    return ok;
}

// By body, then by slot: a body's slots sit together, in list order.
bool BodySlotBefore(const BodySlot &x, const BodySlot &y) {
    return std::less<CollisionBody *>()(x.body, y.body) || (x.body == y.body && x.slot < y.slot);
}

float Component(const Vec3 &v, int a) {
    return a == 0 ? v.x : (a == 1 ? v.y : v.z);
}

// min(0, the step's nearest time); NaN when that time is not a number.
double LowTime(const MotionRecord *m) {
    if (m->nearest == nullptr) {
        return 0.0;
    }
    const double t = m->nearest->time;
    return t < 0.0 ? t : (t >= 0.0 ? 0.0 : t);
}

bool DestinationTimeInRegime(const MotionRecord *m) {
    return m->nearest == nullptr || (m->nearest->time >= -kStretch && m->nearest->time <= 1.0);
}

bool RadiiInRegime(const Vec3 &r) {
    for (int a = 0; a < 3; ++a) {
        const double v = Component(r, a);
        if (!(v >= kSmallestRadius && v <= kSafeMagnitude)) {
            return false;
        }
    }
    return true;
}

// The shape's centres at both ends of its body's latest step, the same float sums the sweep makes,
// when they and the radii are within the regime's magnitudes.
bool StepCentres(const CollisionBody *body, const EllipsoidShape *shape, Vec3 *p, Vec3 *q) {
    const MotionRecord *m = LatestMotion(body);
    if (m == nullptr || !RadiiInRegime(shape->radii)) {
        return false;
    }
    *p = Add(m->start, shape->offset);
    *q = Add(m->end, shape->offset);
    for (int a = 0; a < 3; ++a) {
        if (!(std::fabs(Component(*p, a)) <= kSafeMagnitude &&
              std::fabs(Component(*q, a)) <= kSafeMagnitude)) {
            return false;
        }
    }
    return true;
}

// The box of p + (q - p) t over t in [tLow, 1] (tLow <= 0), widened for rounding; false when it
// reaches beyond the regime's magnitudes.
bool Hull(const Vec3 &p, const Vec3 &q, double tLow, Span *out) {
    const double t = tLow * (1.0 + kTimeSlack);
    for (int a = 0; a < 3; ++a) {
        const double x = Component(p, a);
        const double y = Component(q, a);
        const double back = x + (y - x) * t;
        const double slack =
            kClipSlack * (std::max(std::fabs(x), std::fabs(y)) + (1.0 - t) * std::fabs(y - x)) +
            kTinySlack;
        out->lo[a] = std::min(std::min(x, y), back) - slack;
        out->hi[a] = std::max(std::max(x, y), back) + slack;
        if (!(std::fabs(back) <= kSafeMagnitude)) {
            return false;
        }
    }
    return true;
}

// The pair's common radius on one axis, as the pair sweep chooses it.
double PairRadius(float s, float t) {
    if (EllipSizeMode == 0) {
        return t < s ? t : s;
    }
    return t > s ? t : s;
}

// True when the box test of both pair tests is certain to separate the two hulls on some axis.
bool ProvenApart(const Span &src, const Vec3 &rs, const Span &dst, const Vec3 &rt) {
    for (int a = 0; a < 3; ++a) {
        const double m = kEllipsoidContactMargin * PairRadius(Component(rs, a), Component(rt, a)) *
                         (1.0 + kPairSlack);
        if (dst.lo[a] - src.hi[a] >
            m + kPairSlack * (std::fabs(src.hi[a]) + std::fabs(dst.lo[a])) + kTinySlack) {
            return true;
        }
        if (src.lo[a] - dst.hi[a] >
            m + kPairSlack * (std::fabs(src.lo[a]) + std::fabs(dst.hi[a])) + kTinySlack) {
            return true;
        }
    }
    return false;
}

// Monotone in x, so overlapping intervals always share a cell.
int64_t CellOf(const Grid &g, int a, double x) {
    double c = std::floor((x - g.origin[a]) / g.cell[a]);
    c = std::min(std::max(c, -kCellClamp), kCellClamp);
    return static_cast<int64_t>(c);
}

uint64_t BucketOf(const Grid &g, int64_t x, int64_t y, int64_t z) {
    uint64_t h = static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint64_t>(y) * 0xC2B2AE3D27D4EB4Full + (h >> 29);
    h ^= static_cast<uint64_t>(z) * 0x165667B19E3779F9ull + (h >> 31);
    h ^= h >> 33;
    return h & g.bucketMask;
}

uint64_t CellCount(const CellIndex &lo, const CellIndex &hi) {
    uint64_t n = 1;
    for (int a = 0; a < 3; ++a) {
        n *= static_cast<uint64_t>(hi.c[a] - lo.c[a] + 1);
        if (n > kMaxQueryCells) {
            return kMaxQueryCells + 1;
        }
    }
    return n;
}

void CellRange(const Grid &g, const Span &box, CellIndex *lo, CellIndex *hi) {
    for (int a = 0; a < 3; ++a) {
        lo->c[a] = CellOf(g, a, box.lo[a]);
        hi->c[a] = CellOf(g, a, box.hi[a]);
    }
}

void AddAlways(uint32_t slot) {
    if (slots[slot].always != 0) {
        return;
    }
    slots[slot].always = 1;
    uint32_t *at = std::lower_bound(always, always + alwaysCount, slot);
    std::memmove(at + 1, at, sizeof(uint32_t) * static_cast<size_t>(always + alwaysCount - at));
    *at = slot;
    alwaysCount += 1;
}

// The driver's inner loop over destinations first..n-1, in list order.
void ScanDestinations(CollisionDefinition *d, ShapeEntry *s, uint32_t first, uint32_t n) {
    CollisionBody *b = s->body;
    for (uint32_t i = first; i < n; ++i) {
        const Slot &t = slots[i];
        if (t.body == b || PairAlreadyHit(b, d, t.body)) {
            continue;
        }
        SweepShapePair(d, s->shape, t.entry->shape);
    }
}

// Fills the slots and sizes the grid.
void CollectDestinations(IntrusiveList *destinations, uint32_t n, Grid *g) {
    alwaysCount = 0;
    queryStamp = 0;
    double extent[3] = {0, 0, 0};
    double lowest[3] = {0, 0, 0};
    uint32_t regular = 0;
    g->magnitude = 0;
    g->lowestTime = 0;
    for (int a = 0; a < 3; ++a) {
        g->reach[a] = 0;
        g->speed[a] = 0;
    }
    uint32_t i = 0;
    for (ShapeEntry *t = ListHead<ShapeEntry>(*destinations); t != nullptr;
         t = MemberOf<ShapeEntry>(t->link.next), ++i) {
        Slot &slot = slots[i];
        slot.entry = t;
        slot.body = t->body;
        slot.stamp = 0;
        slot.always = 0;
        slot.regular = 0;
        slot.tLow = 0;
        bodySlots[i] = BodySlot{t->body, i};
        if (t->shape->kind != kEllipsoidKind) {
            continue;
        }
        const EllipsoidShape *shape = AsEllipsoid(t->shape);
        slot.radii = &shape->radii;
        if (!StepCentres(t->body, shape, &slot.p, &slot.q) ||
            !DestinationTimeInRegime(LatestMotion(t->body)) ||
            !Hull(slot.p, slot.q, -kBoxStretch, &slot.box)) {
            continue;
        }
        slot.regular = 1;
        slot.tLow = LowTime(LatestMotion(t->body));
        g->lowestTime = std::min(g->lowestTime, slot.tLow);
        for (int a = 0; a < 3; ++a) {
            extent[a] += slot.box.hi[a] - slot.box.lo[a];
            lowest[a] = regular == 0 ? slot.box.lo[a] : std::min(lowest[a], slot.box.lo[a]);
            g->reach[a] = std::max(g->reach[a], static_cast<double>(Component(shape->radii, a)));
            g->speed[a] = std::max(g->speed[a], static_cast<double>(std::fabs(
                                                    Component(slot.q, a) - Component(slot.p, a))));
            g->magnitude = std::max(g->magnitude,
                                    std::max(std::fabs(slot.box.lo[a]), std::fabs(slot.box.hi[a])));
        }
        regular += 1;
    }
    std::sort(bodySlots, bodySlots + n, BodySlotBefore);
    // Cells about the size of a destination hull plus the reach of a pair.
    for (int a = 0; a < 3; ++a) {
        const double mean = regular == 0 ? 0.0 : extent[a] / regular;
        g->origin[a] = lowest[a];
        g->cell[a] = std::max(mean + 2.0 * kEllipsoidContactMargin * g->reach[a], 1e-30);
    }
}

// Enters every regular destination in the cells its hull covers; wide ones go to the always list.
bool FillGrid(uint32_t n, Grid *g) {
    uint64_t entries = 0;
    for (uint32_t i = 0; i < n; ++i) {
        Slot &slot = slots[i];
        if (slot.regular == 0) {
            AddAlways(i);
            continue;
        }
        CellIndex lo, hi;
        CellRange(*g, slot.box, &lo, &hi);
        const uint64_t cells = CellCount(lo, hi);
        if (cells > kMaxDestinationCells) {
            AddAlways(i);
            continue;
        }
        entries += cells;
    }
    uint64_t buckets = 16;
    while (buckets < 2 * entries) {
        buckets *= 2;
    }
    g->bucketMask = buckets - 1;
    if (!ReserveArray(&bucketStart, &bucketCapacity, buckets + 1) ||
        !ReserveArray(&bucketItems, &itemCapacity, entries + 1)) {
        return false;
    }
    std::memset(bucketStart, 0, sizeof(uint32_t) * (buckets + 1));

    // Counting sort of the (bucket, slot) pairs: count, prefix sums, place in slot order.
    for (int pass = 0; pass < 2; ++pass) {
        for (uint32_t i = 0; i < n; ++i) {
            const Slot &slot = slots[i];
            if (slot.regular == 0 || slot.always != 0) {
                continue;
            }
            CellIndex lo, hi;
            CellRange(*g, slot.box, &lo, &hi);
            for (int64_t x = lo.c[0]; x <= hi.c[0]; ++x) {
                for (int64_t y = lo.c[1]; y <= hi.c[1]; ++y) {
                    for (int64_t z = lo.c[2]; z <= hi.c[2]; ++z) {
                        const uint64_t k = BucketOf(*g, x, y, z);
                        if (pass == 0) {
                            bucketStart[k + 1] += 1;
                        } else {
                            bucketItems[bucketStart[k]++] = i;
                        }
                    }
                }
            }
        }
        if (pass == 0) {
            for (uint64_t k = 0; k < buckets; ++k) {
                bucketStart[k + 1] += bucketStart[k];
            }
        }
    }
    // Placing advanced each start to the next bucket's; shift back.
    for (uint64_t k = buckets; k > 0; --k) {
        bucketStart[k] = bucketStart[k - 1];
    }
    bucketStart[0] = 0;
    return true;
}

// The working arrays live for one call only, so that a stopped module holds nothing.
void ReleaseScratch() {
    std::free(slots);
    std::free(always);
    std::free(bodySlots);
    std::free(bucketStart);
    std::free(bucketItems);
    std::free(found);
    slots = nullptr;
    always = nullptr;
    bodySlots = nullptr;
    bucketStart = nullptr;
    bucketItems = nullptr;
    found = nullptr;
    slotCapacity = alwaysCapacity = bodySlotCapacity = bucketCapacity = itemCapacity = 0;
    foundCapacity = 0;
    alwaysCount = 0;
}

// After a source's scan: its body's slots take its new nearest time, or leave the grid.
void UpdateBody(CollisionBody *body, uint32_t n, Grid *g) {
    const MotionRecord *m = LatestMotion(body);
    const bool inRegime = DestinationTimeInRegime(m);
    const double tLow = LowTime(m);
    BodySlot key = {body, 0};
    BodySlot *at = std::lower_bound(bodySlots, bodySlots + n, key, BodySlotBefore);
    for (; at != bodySlots + n && at->body == body; ++at) {
        Slot &slot = slots[at->slot];
        if (slot.regular == 0) {
            continue;
        }
        if (!inRegime) {
            slot.regular = 0;
            AddAlways(at->slot);
            continue;
        }
        slot.tLow = tLow;
        g->lowestTime = std::min(g->lowestTime, tLow);
    }
}

struct Source {
    const Vec3 *radii;
    Vec3 p, q;
    double tLow; // the source's nearest time the candidates were found for (min with 0)
    Span hull;   // its hull over [tLow, 1]
};

// The destinations from position `first` on that the source may reach with its nearest time at
// tLow or later, ascending, in found[]; false when the search would cost more than a plain scan.
bool CollectCandidates(const Grid &g, Source &src, uint32_t first, uint32_t *count) {
    queryStamp += 1;
    uint32_t k = 0;
    if (!Hull(src.p, src.q, src.tLow, &src.hull)) {
        return false;
    }
    // The grid part: the hull of every pairing's clip, widened by the largest reach of any pair,
    // and by the destinations' own stretch beyond their grid hulls for a source time below it.
    Span query;
    if (!Hull(src.p, src.q, std::min(src.tLow, g.lowestTime), &query)) {
        return false;
    }
    const double beyond = src.tLow < -kBoxStretch ? -src.tLow * 1.01 : 0.0;
    for (int a = 0; a < 3; ++a) {
        const double ra = Component(*src.radii, a);
        const double r = EllipSizeMode == 0 ? ra : std::max(ra, g.reach[a]);
        const double stretch = beyond * g.speed[a];
        const double magnitude =
            std::max(std::fabs(query.lo[a]), std::fabs(query.hi[a])) + g.magnitude + stretch;
        const double reach = (kEllipsoidContactMargin * r * (1.0 + kPairSlack) +
                              kPairSlack * magnitude + kTinySlack + stretch) *
                             (1.0 + kPairSlack);
        query.lo[a] -= reach;
        query.hi[a] += reach;
    }
    CellIndex lo, hi;
    CellRange(g, query, &lo, &hi);
    if (CellCount(lo, hi) > kMaxQueryCells) {
        return false;
    }
    for (int64_t x = lo.c[0]; x <= hi.c[0]; ++x) {
        for (int64_t y = lo.c[1]; y <= hi.c[1]; ++y) {
            for (int64_t z = lo.c[2]; z <= hi.c[2]; ++z) {
                const uint64_t b = BucketOf(g, x, y, z);
                for (uint32_t e = bucketStart[b]; e < bucketStart[b + 1]; ++e) {
                    const uint32_t i = bucketItems[e];
                    Slot &slot = slots[i];
                    if (i < first || slot.stamp == queryStamp) {
                        continue;
                    }
                    slot.stamp = queryStamp;
                    if (slot.regular != 0) {
                        // The pairing's own clip range: both hulls from min(tA, tB) on.
                        const double t = std::min(src.tLow, slot.tLow);
                        Span s = src.hull, dst;
                        if ((t == src.tLow || Hull(src.p, src.q, t, &s)) &&
                            Hull(slot.p, slot.q, t, &dst) &&
                            ProvenApart(s, *src.radii, dst, *slot.radii)) {
                            continue;
                        }
                    }
                    found[k++] = i;
                }
            }
        }
    }
    // Destinations outside the regime or too wide for the grid.
    for (uint32_t j = 0; j < alwaysCount; ++j) {
        Slot &slot = slots[always[j]];
        if (always[j] >= first && slot.stamp != queryStamp) {
            slot.stamp = queryStamp;
            found[k++] = always[j];
        }
    }
    // List order, so that ties still go to the first destination.
    std::sort(found, found + k);
    *count = k;
    return true;
}

// One source against its candidates, in list order, searching again when its time drops.
void SweepSource(CollisionDefinition *d, ShapeEntry *s, const Grid &g, uint32_t n) {
    CollisionBody *b = s->body;
    const MotionRecord *latest = LatestMotion(b);
    Source src;
    src.tLow = LowTime(latest);
    uint32_t count = 0;
    if (s->shape->kind != kEllipsoidKind || !(src.tLow >= -kLongestStretch) ||
        !StepCentres(b, AsEllipsoid(s->shape), &src.p, &src.q)) {
        Stats.gridPlainSources += 1;
        ScanDestinations(d, s, 0, n);
        return;
    }
    src.radii = &AsEllipsoid(s->shape)->radii;
    if (!CollectCandidates(g, src, 0, &count)) {
        Stats.gridPlainSources += 1;
        ScanDestinations(d, s, 0, n);
        return;
    }
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t i = found[k];
        const Slot &t = slots[i];
        if (t.body == b || PairAlreadyHit(b, d, t.body)) {
            continue;
        }
        SweepShapePair(d, s->shape, t.entry->shape);
        // An earlier time stretches the clipped motion further back: search the rest again.
        const double now = LowTime(latest);
        if (now >= src.tLow) {
            continue;
        }
        src.tLow = now;
        if (!(now >= -kLongestStretch) || !CollectCandidates(g, src, i + 1, &count)) {
            Stats.gridPlainSources += 1;
            ScanDestinations(d, s, i + 1, n);
            return;
        }
        k = static_cast<uint32_t>(-1); // the loop's increment starts the new list at 0
    }
}

} // namespace

bool SweepEllipsoidDefinitionGrid(CollisionDefinition *d, IntrusiveList *sources,
                                  IntrusiveList *destinations) {
    if (d->sourceKind != kEllipsoidKind || d->destinationKind != kEllipsoidKind) {
        return false;
    }
    uint32_t n = 0;
    for (ListLink *l = destinations->head; l != nullptr; l = l->next) {
        ++n;
    }
    if (n < kGridMinDestinations) {
        return false;
    }
    uint32_t moving = 0;
    for (ShapeEntry *s = ListHead<ShapeEntry>(*sources); s != nullptr;
         s = MemberOf<ShapeEntry>(s->link.next)) {
        const MotionRecord *latest = LatestMotion(s->body);
        if (latest != nullptr && latest->iteration == Pass.sweepIteration) {
            ++moving;
        }
    }
    if (moving < kGridMinSources) {
        return false;
    }
    if (!ReserveArray(&slots, &slotCapacity, n) || !ReserveArray(&always, &alwaysCapacity, n) ||
        !ReserveArray(&bodySlots, &bodySlotCapacity, n) ||
        !ReserveArray(&found, &foundCapacity, n)) {
        ReleaseScratch();
        return false;
    }
    Grid g;
    CollectDestinations(destinations, n, &g);
    if (!FillGrid(n, &g)) {
        ReleaseScratch();
        return false;
    }
    Stats.gridDefinitions += 1;

    // The driver's source loop, in list order, each source against its candidates in list order.
    for (ShapeEntry *s = ListHead<ShapeEntry>(*sources); s != nullptr;
         s = MemberOf<ShapeEntry>(s->link.next)) {
        const MotionRecord *latest = LatestMotion(s->body);
        if (latest == nullptr || latest->iteration != Pass.sweepIteration) {
            continue;
        }
        SweepSource(d, s, g, n);
        UpdateBody(s->body, n, &g);
    }
    const size_t bytes = slotCapacity * sizeof(Slot) + alwaysCapacity * sizeof(uint32_t) +
                         bodySlotCapacity * sizeof(BodySlot) + bucketCapacity * sizeof(uint32_t) +
                         itemCapacity * sizeof(uint32_t) + foundCapacity * sizeof(uint32_t);
    peakBytes = std::max(peakBytes, bytes);
    ReleaseScratch();
    return true;
}

size_t BroadphasePeakBytes() {
    return peakBytes;
}

} // namespace vor
