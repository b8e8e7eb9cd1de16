// The grid behind SweepEllipsoidDefinitionGrid.
//
// Why skipping is exact: the pair sweep compares clipped centres divided by the pair's radii r with
// the other's centres widened by 2, both tests rejecting only when the same axis separates them.
// While every nearest time involved lies in [0, 1], each clipped centre lies on its step's segment
// up to about ten float roundings, so the step's box widened by a few millionths of its size holds
// it. A destination is skipped only when, on some axis, the boxes are further apart than 2 r plus
// a bound on the rounding of the division and of the margin: the box test then rejects both tests.
// Bodies outside that regime (a nearest time below 0 or above 1, huge or non-finite coordinates,
// odd radii) are never skipped: as destinations they are always visited, as sources they scan
// every destination. A source that falls out of the regime mid-scan finishes plainly.
#include "pass/broadphase.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "core/settings.h"
#include "core/stats.h"
#include "core/thresholds.h"
#include "pass/motion_records.h"
#include "pass/pass_driver.h"
#include "pass/pass_state.h"

namespace vor {

namespace {

constexpr double kClipSlack = 4e-6;     // relative: rounding of a clipped centre (about 10 ulps)
constexpr double kPairSlack = 1e-6;     // relative: rounding of the division and the margin
constexpr double kTinySlack = 1e-25;    // absolute: quotients that fall into subnormals
constexpr double kSafeMagnitude = 1e15; // coordinates and radii bounds of the regime
constexpr double kSmallestRadius = 1e-15;
constexpr uint64_t kMaxDestinationCells = 64; // a destination box spanning more is always visited
constexpr uint64_t kMaxQueryCells = 4096;     // a source box spanning more scans every destination
constexpr double kCellClamp = 1e9;            // cell coordinates are clamped (monotone) to this

struct Span {
    double lo[3];
    double hi[3];
};

// One destination shape of the definition, by its position in the destination list.
struct Slot {
    ShapeEntry *entry;
    CollisionBody *body;
    Span box;         // world box of its step's centres, widened for rounding
    uint32_t stamp;   // query that last collected it
    uint8_t regular;  // its box and radii are in the regime and its nearest time is in [0, 1]
    uint8_t always;   // in the always-visit list
};

struct BodySlot {
    CollisionBody *body;
    uint32_t slot;
};

struct CellIndex {
    int64_t c[3];
};

// Working arrays, kept between calls and grown as needed.
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

// The grid of one call.
struct Grid {
    double origin[3];
    double cell[3];
    uint64_t bucketMask;
    double reach[3];      // largest destination radius per axis
    double magnitude;     // largest coordinate magnitude over the regular destinations
};

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

float Component(const Vec3 &v, int a) { return a == 0 ? v.x : (a == 1 ? v.y : v.z); }

bool TimeInRegime(const MotionRecord *m) {
    return m->nearest == nullptr || (m->nearest->time >= 0.0 && m->nearest->time <= 1.0);
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

// The widened world box of the shape's centres over its body's latest step, when the body is in
// the regime where that box holds every clipped centre the pair sweep can compute.
bool StepInRegime(const CollisionBody *body, const EllipsoidShape *shape, Span *box) {
    const MotionRecord *m = LatestMotion(body);
    if (m == nullptr || !TimeInRegime(m) || !RadiiInRegime(shape->radii)) {
        return false;
    }
    // The same float sums the sweep makes.
    const Vec3 s0 = Add(m->start, shape->offset);
    const Vec3 s1 = Add(m->end, shape->offset);
    for (int a = 0; a < 3; ++a) {
        const double p = Component(s0, a);
        const double q = Component(s1, a);
        if (!(std::fabs(p) <= kSafeMagnitude && std::fabs(q) <= kSafeMagnitude)) {
            return false;
        }
        const double slack = kClipSlack * std::max(std::fabs(p), std::fabs(q)) + kTinySlack;
        box->lo[a] = std::min(p, q) - slack;
        box->hi[a] = std::max(p, q) + slack;
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

// True when the box test of both pair tests is certain to separate the two boxes on some axis.
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

// Fills the slots and sizes the grid; false when memory runs out.
bool CollectDestinations(IntrusiveList *destinations, uint32_t n, Grid *g) {
    alwaysCount = 0;
    queryStamp = 0;
    double extent[3] = {0, 0, 0};
    double lowest[3] = {0, 0, 0};
    uint32_t regular = 0;
    g->magnitude = 0;
    for (int a = 0; a < 3; ++a) {
        g->reach[a] = 0;
    }
    uint32_t i = 0;
    for (ShapeEntry *t = ListHead<ShapeEntry>(*destinations); t != nullptr;
         t = MemberOf<ShapeEntry>(t->link.next), ++i) {
        Slot &slot = slots[i];
        slot.entry = t;
        slot.body = t->body;
        slot.stamp = 0;
        slot.always = 0;
        slot.regular = t->shape->kind == kEllipsoidKind &&
                       StepInRegime(t->body, AsEllipsoid(t->shape), &slot.box);
        bodySlots[i] = BodySlot{t->body, i};
        if (slot.regular == 0) {
            continue;
        }
        const Vec3 &r = AsEllipsoid(t->shape)->radii;
        for (int a = 0; a < 3; ++a) {
            extent[a] += slot.box.hi[a] - slot.box.lo[a];
            lowest[a] = regular == 0 ? slot.box.lo[a] : std::min(lowest[a], slot.box.lo[a]);
            g->reach[a] = std::max(g->reach[a], static_cast<double>(Component(r, a)));
            g->magnitude = std::max(g->magnitude, std::max(std::fabs(slot.box.lo[a]),
                                                           std::fabs(slot.box.hi[a])));
        }
        regular += 1;
    }
    std::sort(bodySlots, bodySlots + n, BodySlotBefore);
    // Cells about the size of a destination box plus the reach of a pair.
    for (int a = 0; a < 3; ++a) {
        const double mean = regular == 0 ? 0.0 : extent[a] / regular;
        g->origin[a] = lowest[a];
        g->cell[a] = std::max(mean + 2.0 * kEllipsoidContactMargin * g->reach[a], 1e-30);
    }
    return true;
}

// Enters every regular destination in the cells its box covers; wide ones go to the always list.
bool FillGrid(uint32_t n, Grid *g) {
    uint64_t entries = 0;
    for (uint32_t i = 0; i < n; ++i) {
        Slot &slot = slots[i];
        if (slot.regular == 0) {
            AddAlways(i);
            continue;
        }
        CellIndex lo, hi;
        for (int a = 0; a < 3; ++a) {
            lo.c[a] = CellOf(*g, a, slot.box.lo[a]);
            hi.c[a] = CellOf(*g, a, slot.box.hi[a]);
        }
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
            for (int a = 0; a < 3; ++a) {
                lo.c[a] = CellOf(*g, a, slot.box.lo[a]);
                hi.c[a] = CellOf(*g, a, slot.box.hi[a]);
            }
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

// A body whose step left the regime is visited by every later source from now on.
void DemoteBody(CollisionBody *body, uint32_t n) {
    BodySlot key = {body, 0};
    BodySlot *at = std::lower_bound(bodySlots, bodySlots + n, key, BodySlotBefore);
    for (; at != bodySlots + n && at->body == body; ++at) {
        slots[at->slot].regular = 0;
        AddAlways(at->slot);
    }
}

// The destinations one regular source may reach, ascending; count in *count.
uint32_t CollectCandidates(const Grid &g, const Span &src, const EllipsoidShape *shape,
                           uint32_t *count) {
    const Vec3 &rs = shape->radii;
    queryStamp += 1;
    uint32_t k = 0;

    // The grid part: cells within the largest reach of any pair, each destination once.
    CellIndex lo, hi;
    for (int a = 0; a < 3; ++a) {
        const double r = EllipSizeMode == 0 ? Component(rs, a)
                                            : std::max<double>(Component(rs, a), g.reach[a]);
        const double reach = kEllipsoidContactMargin * r * (1.0 + kPairSlack) +
                             kPairSlack * (std::max(std::fabs(src.lo[a]), std::fabs(src.hi[a])) +
                                           g.magnitude) +
                             kTinySlack;
        const double wide = reach * (1.0 + kPairSlack);
        lo.c[a] = CellOf(g, a, src.lo[a] - wide);
        hi.c[a] = CellOf(g, a, src.hi[a] + wide);
    }
    if (CellCount(lo, hi) > kMaxQueryCells) {
        return 0;
    }
    for (int64_t x = lo.c[0]; x <= hi.c[0]; ++x) {
        for (int64_t y = lo.c[1]; y <= hi.c[1]; ++y) {
            for (int64_t z = lo.c[2]; z <= hi.c[2]; ++z) {
                const uint64_t b = BucketOf(g, x, y, z);
                for (uint32_t e = bucketStart[b]; e < bucketStart[b + 1]; ++e) {
                    const uint32_t i = bucketItems[e];
                    Slot &slot = slots[i];
                    if (slot.stamp == queryStamp) {
                        continue;
                    }
                    slot.stamp = queryStamp;
                    if (slot.regular != 0 &&
                        ProvenApart(src, rs, slot.box, AsEllipsoid(slot.entry->shape)->radii)) {
                        continue;
                    }
                    found[k++] = i;
                }
            }
        }
    }
    // Destinations outside the regime or too wide for the grid.
    for (uint32_t j = 0; j < alwaysCount; ++j) {
        Slot &slot = slots[always[j]];
        if (slot.stamp != queryStamp) {
            slot.stamp = queryStamp;
            found[k++] = always[j];
        }
    }
    // List order, so that ties still go to the first destination.
    std::sort(found, found + k);
    *count = k;
    return 1;
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
        if (latest != nullptr && latest->iteration == sweepIteration) {
            ++moving;
        }
    }
    if (moving < kGridMinSources) {
        return false;
    }
    if (!ReserveArray(&slots, &slotCapacity, n) || !ReserveArray(&always, &alwaysCapacity, n) ||
        !ReserveArray(&bodySlots, &bodySlotCapacity, n) ||
        !ReserveArray(&found, &foundCapacity, n)) {
        return false;
    }
    Grid g;
    if (!CollectDestinations(destinations, n, &g) || !FillGrid(n, &g)) {
        return false;
    }
    Stats.gridDefinitions += 1;

    // The driver's source loop, in list order, each source against its candidates in list order.
    for (ShapeEntry *s = ListHead<ShapeEntry>(*sources); s != nullptr;
         s = MemberOf<ShapeEntry>(s->link.next)) {
        CollisionBody *b = s->body;
        const MotionRecord *latest = LatestMotion(b);
        if (latest == nullptr || latest->iteration != sweepIteration) {
            continue;
        }
        Span src;
        uint32_t count = 0;
        const bool searched = s->shape->kind == kEllipsoidKind &&
                              StepInRegime(b, AsEllipsoid(s->shape), &src) &&
                              CollectCandidates(g, src, AsEllipsoid(s->shape), &count) != 0;
        if (!searched) {
            Stats.gridPlainSources += 1;
            ScanDestinations(d, s, 0, n);
        } else {
            for (uint32_t k = 0; k < count; ++k) {
                const uint32_t i = found[k];
                const Slot &t = slots[i];
                if (t.body == b || PairAlreadyHit(b, d, t.body)) {
                    continue;
                }
                SweepShapePair(d, s->shape, t.entry->shape);
                // A contact time outside [0, 1] stretches the clipped motion past the step's box.
                if (!TimeInRegime(latest)) {
                    Stats.gridPlainSources += 1;
                    ScanDestinations(d, s, i + 1, n);
                    break;
                }
            }
        }
        if (!TimeInRegime(latest)) {
            DemoteBody(b, n);
        }
    }
    return true;
}

size_t BroadphaseBytes() {
    return slotCapacity * sizeof(Slot) + alwaysCapacity * sizeof(uint32_t) +
           bodySlotCapacity * sizeof(BodySlot) + bucketCapacity * sizeof(uint32_t) +
           itemCapacity * sizeof(uint32_t) + foundCapacity * sizeof(uint32_t);
}

} // namespace vor
