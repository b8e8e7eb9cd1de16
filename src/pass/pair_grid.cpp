// The pair grid of an ellipsoid definition.
//
// Why skipping is exact: the pair sweep compares clipped centres divided by the pair's radii r with
// the other's centres widened by 2, and both of its tests reject only when one axis separates
// them. Each clipped centre is p + (q - p) t for the step's end centres p, q and a t that the
// nearest times of the two bodies bound: in the first test t lies in [min(0, tA, tB), 1], in the
// second it is tB (tA, tB the source's and destination's nearest times, 0 when none). Over
// t in [tLow, 1] (tLow <= 0) those points lie in the hull of p, q and p + (q - p) tLow, up to a
// few float roundings, which a widening by a few millionths of the magnitudes covers. A pair is
// skipped only when, on some axis, the two hulls are further apart than 2 r plus a bound on the
// rounding of the division and of the margin: the box test then rejects both tests. (The
// division's part, kPairSlack of each end's magnitude, is in the hulls' widening: an end of a hull
// over [tLow, 1] is at most max(|p|, |q|) + (1 - tLow) |q - p|, plus its widening, from 0.)
//
// Destinations whose nearest time lies in [-kStretch, 1] sit in the grid with their box, the hull
// over [-kBoxStretch, 1]; the others (huge or non-finite values, times far outside the step) are
// visited by every source. The grid has levels: level k has cells 2^k times the size of a median
// destination's, and each destination sits in the lowest level whose cells its hull and its reach
// fit (at most two cells an axis), so a body much larger than the crowd, or one that moves far in a
// step, sits in few coarse cells and leaves the crowd's cells as they are. A source searches every
// level that holds destinations, widened by the largest reach of that level's pairs, so the pairs
// it can meet there all lie in the cells it visits; where a level has fewer members than the cells
// the search would visit, it takes that level's members instead, so a level costs the smaller of
// the two. The cells of the levels are laid out whole when they are few for the entries (a crowd),
// else hashed; both hold the same members. A source whose own nearest time drops during its scan
// searches again for the rest of the list with the longer hull; one that leaves every bound scans
// the rest plainly.
//
// Kept over the iterations of a pass (a type meeting its own, whose bodies move on from their
// contacts a few centimetres an iteration). When the grid is built, each member gets an env: its
// hull over [-kListBack, 1] (its deep hull) grown by a sixteenth of a base cell on every side.
// Each body, when it first sweeps, lists the members whose env its own env may meet (ProvenApart
// of the two envs fails). Why that list is enough for a destination whose time, like the
// source's, is no earlier than -kListBack, while both stay within their envs: every span a pairing
// then needs (each body's hull from the earlier of the two times on) lies in that body's deep
// hull, so in its env, and ProvenApart only gets easier for smaller spans; a member left off the
// list is proven apart from the source. At the next sweep of the same definition the grid is taken
// up again: each slot takes its body's new step (a body that did not move keeps its slot), and a
// member whose deep hull left its env, or a slot that was outside the cells, is escaped. The
// members whose env an escaped slot's deep hull may meet take it besides their lists (found through
// the cells, which hold every member's old box, which holds its env less the growth, with the
// growth added to the search). A source that is escaped itself, has no list, or meets a time below
// -kListBack searches the cells with the growth added (and, for a time below -kListBack, the
// stretch of every member's step back to its box or that time, by the levels' step lengths taken
// again) and meets every escaped slot and every slot whose time fell below -kListBack (whose hull,
// after a new step, can reach beyond its old box and the growth). When more than a 32nd of the
// slots escaped, the grid is built anew. Every candidate still goes through MayPair and the sweep
// in list order, so the results are those of a new grid, which are those of the plain scan.
#include "pass/pair_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "body/motion_records.h"
#include "core/definitions.h"
#include "core/module_state.h"
#include "core/scratch_array.h"
#include "core/search_limits.h"
#include "core/settings.h"
#include "core/thresholds.h"
#include "pass/pass_driver.h"

namespace vor {

namespace {

constexpr double kStretch = 4.0;        // destinations' nearest times down to -4 stay in the grid
constexpr double kBoxStretch = 4.04;    // their grid hulls reach back that far, and a little more
constexpr double kListBack = 2.0;       // kept lists hold while no time in the grid is below -2
constexpr double kLongestStretch = 1e6; // a source's time below -1e6 scans plainly
constexpr double kTimeSlack = 1e-6;     // relative: a time narrowed to a float
constexpr double kClipSlack = 4e-6;     // relative: rounding of a clipped centre (about 10 ulps)
constexpr double kPairSlack = 1e-6;     // relative: rounding of the division and the margin
// A hull's widening: the clip's rounding and, a little over, the division's (ProvenApart).
constexpr double kHullSlack = kClipSlack + 1.001 * kPairSlack;
constexpr double kTinySlack = 1e-25;    // absolute: quotients that fall into subnormals
constexpr uint64_t kMaxDestinationCells = 8; // a destination spans at most 2 cells an axis
constexpr double kMaxMemberReachCells = 2.0; // a destination reaches at most 2 cells of its level
// Levels: the regime's extents (up to 2e15 plus reach) over its smallest cells (8e-15) need about
// 2^101, so every regular destination finds its level below this.
constexpr uint32_t kMaxLevels = 128;
// The cells of the members' levels are laid out whole, one bucket a cell, when there are at most
// this many per cell entry (a crowd); beyond, as in bodies strewn over a wide world, they are
// hashed into twice the entries' buckets. Either way a cell costs the same few steps.
constexpr uint64_t kDenseCellsPerEntry = 4;
// Kept lists: a member may move this share of its level-0 cell beyond its box of the grid's build
// (a crowd's bodies move a few centimetres between iterations, the cells are a metre); a sweep
// with more than a 32nd of the destinations beyond that builds the grid anew.
constexpr double kListGrowthShare = 1.0 / 16.0;
constexpr uint32_t kMostEscapedShare = 32;
constexpr uint32_t kNoList = ~0u;

struct Span {
    double lo[3];
    double hi[3];
};

// One destination shape of the definition, by its position in the destination list. (What every
// query reads of a slot it meets comes first, in as few cache lines as it takes; whether the query
// met it already is in PairGridScratch::stamps, so that meeting it again in another cell reads
// only that.)
struct Slot {
    uint8_t regular; // in the grid's regime
    uint8_t hullOk;
    uint8_t always;  // in the always-visit list
    uint8_t level;   // the grid level it sits in
    double tLow;     // min(0, its nearest time)
    Span hull;       // hull over [tLow, 1], which most pairings clip to (when hullOk)
    double reach[3]; // its contact margin on each axis (ContactReach)
    ShapeEntry *entry;
    Vec3 p, q; // centres at the ends of its body's latest step
    CollisionBody *body;
    const Vec3 *radii;
    Span box;                 // hull over [-kBoxStretch, 1]
    Span deep;                // hull over [-kListBack, 1]
    uint8_t member;           // entered in the grid's cells when it was built
    uint8_t early;            // in the early list (kept lists: its time fell below -kListBack)
    uint8_t escaped;          // a kept grid's member whose deep hull left its env
    Span env;                 // kept lists: its deep hull then, grown by the lists' growth
    const MotionRecord *step; // the step it was filled from
};

struct CellIndex {
    int64_t c[3];
};

// One level of the grid: cells 2^k times the base cells.
struct Level {
    double cell[3];
    double reach[3];      // largest radius per axis of its destinations
    double speed[3];      // largest step length per axis of its destinations
    double magnitude;     // largest coordinate magnitude over their hulls
    Span bounds;          // the box of their hulls: no member lies outside it
    uint32_t memberStart; // its destinations in levelItems, ascending
    uint32_t memberCount;
    // Laid out whole (Grid::dense): the cells of its bounds, z fastest, from bucket denseBase on.
    uint64_t denseBase;
    CellIndex denseLo;
    int64_t denseCount[3];
};

// The grid of one call.
struct Grid {
    double origin[3];
    uint64_t bucketMask; // hashed: buckets - 1
    uint8_t dense;       // every level laid out whole instead of hashed
    uint32_t levelCount; // levels up to the highest one in use
    Level levels[kMaxLevels];
    double lowestTime; // min(0, the nearest time of each of them)
};

// When lists are made: a list costs a little more than a search, and pays only when a later
// iteration takes the grid up again (crowds pressing in; not bodies that stop at their first
// contact, nor ones that keep escaping). So a body makes its list when the grid is first taken up,
// or, after a pass that took every grid it kept up again, already at the build. Kept from pass to
// pass; either way the results are the same. (All zero at first: the scratch it lies in stays out
// of the module's data.)
struct ListHabit {
    uint8_t early;          // lists are made at the build
    uint8_t reusedThisPass; // a kept grid was taken up in this pass
    uint8_t failedThisPass; // or found with too many escaped to be taken up
};

// The working set of one definition sweep, allocated by OpenPairGrid and freed by ClosePairGrid.
struct PairGridScratch {
    Grid grid;
    uint32_t count; // destinations, the length of slots and sameBody
    Slot *slots;    // one per destination, in list order
    size_t slotCapacity;
    uint32_t *always; // ascending slot positions visited by every source
    size_t alwaysCapacity;
    uint32_t alwaysCount;
    // A body's slots: bodyTable holds, by its object number, 1 + its last slot (0: none);
    // sameBody[i] holds 1 + the slot of the same body before slot i (0: none).
    uint32_t *bodyTable;
    size_t bodyTableCapacity;
    uint32_t *sameBody;
    size_t sameBodyCapacity;
    uint32_t *bucketStart; // bucketCount + 1 prefix sums into bucketItems
    size_t bucketCapacity;
    uint32_t *bucketItems;
    size_t itemCapacity;
    uint32_t *stamps; // by slot, the query that last collected it
    size_t stampCapacity;
    uint32_t *found; // one source's candidates
    size_t foundCapacity;
    uint32_t *levelItems; // the grid's destinations by level, then ascending
    size_t levelItemCapacity;
    CellIndex *cellRanges; // a member's first and last cell in its level, 2 per slot
    size_t cellRangeCapacity;
    double *values; // one axis of the destinations, to take a median
    size_t valueCapacity;
    uint32_t queryStamp;
    // Candidate lists kept over the iterations of a pass, for a type meeting its own (see above).
    const CollisionDefinition *listsFor; // whose lists these are; null: none
    double growth[3];    // how far a member may move beyond its box of the grid's build
    uint32_t *listBegin; // by slot, where its list starts in listItems (kNoList: none made)
    size_t listBeginCapacity;
    uint32_t *listEnd; // and where it ends
    size_t listEndCapacity;
    uint32_t *listItems; // every list, each ascending
    size_t listItemCapacity;
    uint32_t listItemCount;
    uint8_t reusing;  // this sweep takes the lists instead of a new grid
    uint32_t *escapedList; // in a reused sweep, the escaped slots, ascending
    size_t escapedListCapacity;
    uint32_t escapedCount;
    uint32_t *earlyList; // kept lists: slots whose time is below -kListBack, which lists leave out
    size_t earlyCapacity;
    uint32_t earlyCount;
    uint32_t *extraStart; // by slot, in a reused sweep: where the escaped it may meet start
    size_t extraStartCapacity;
    uint64_t *extraPairs; // (list holder << 32 | escaped slot), then only the escaped slots
    size_t extraCapacity;
    uint32_t extraCount;
    size_t peakBytes; // the largest working set of one sweep so far (kept)
    ListHabit habit;  // whether lists have paid lately (kept)
};

PairGridScratch scratch;

// The entry of body b in the body table: its slots' chain. (Every body's object number is one
// of the table's; a hash of the bodies cost a probe of the slots for every look-up.)
uint32_t *BodyEntry(const CollisionBody *b) {
    return &scratch.bodyTable[b->objectNumber];
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
        if (!(v >= kPairGridSmallestRadius && v <= kPairGridMagnitudeLimit)) {
            return false;
        }
    }
    return true;
}

// The shape's centres at both ends of its body's latest step m, the same float sums the sweep
// makes, when they and the radii are within the regime's magnitudes.
bool StepCentres(const MotionRecord *m, const EllipsoidShape *shape, Vec3 *p, Vec3 *q) {
    if (m == nullptr || !RadiiInRegime(shape->radii)) {
        return false;
    }
    *p = Add(m->start, shape->offset);
    *q = Add(m->end, shape->offset);
    for (int a = 0; a < 3; ++a) {
        if (!(std::fabs(Component(*p, a)) <= kPairGridMagnitudeLimit &&
              std::fabs(Component(*q, a)) <= kPairGridMagnitudeLimit)) {
            return false;
        }
    }
    return true;
}

// The boxes of p + (q - p) t over t in [times[k], 1] (each time <= 0), widened for rounding, for
// Count times at once: one step's ends serve them all. False when one reaches beyond the
// regime's magnitudes.
template <int Count>
bool Hulls(const Vec3 &p, const Vec3 &q, const double *times, Span *const *out) {
    double t[Count], keep[Count];
    for (int k = 0; k < Count; ++k) {
        t[k] = times[k] * (1.0 + kTimeSlack);
        keep[k] = 1.0 - t[k];
    }
    // (Axis by axis from arrays: Component's choice of member cost a branch per axis and call.)
    const float from[3] = {p.x, p.y, p.z}, to[3] = {q.x, q.y, q.z};
    bool inside = true;
    for (int a = 0; a < 3; ++a) {
        const double x = from[a];
        const double y = to[a];
        const double length = std::fabs(y - x);
        const double size = std::max(std::fabs(x), std::fabs(y));
        const double low = std::min(x, y);
        const double high = std::max(x, y);
        for (int k = 0; k < Count; ++k) {
            const double back = x + (y - x) * t[k];
            const double slack = kHullSlack * (size + keep[k] * length) + kTinySlack;
            out[k]->lo[a] = std::min(low, back) - slack;
            out[k]->hi[a] = std::max(high, back) + slack;
            inside = inside && std::fabs(back) <= kPairGridMagnitudeLimit;
        }
    }
    return inside;
}

bool Hull(const Vec3 &p, const Vec3 &q, double tLow, Span *out) {
    return Hulls<1>(p, q, &tLow, &out);
}

// A shape's contact margin on each axis, kEllipsoidContactMargin r (1 + kPairSlack), and
// kTinySlack: a pair's is its two shapes' smaller or larger one, as the pair sweep chooses the
// common radius (taking it before or after the products and the sum gives the same bits, as
// rounding is monotone).
void ContactReach(const Vec3 &r, double reach[3]) {
    const float radii[3] = {r.x, r.y, r.z};
    for (int a = 0; a < 3; ++a) {
        reach[a] = kEllipsoidContactMargin * static_cast<double>(radii[a]) * (1.0 + kPairSlack) +
                   kTinySlack;
    }
}

// True when the box test of both pair tests is certain to separate the two hulls on some axis
// (rs and rt: ContactReach).
inline bool ProvenApart(const Span &src, const double *rs, const Span &dst, const double *rt) {
    const bool larger = EllipSizeMode != 0;
    for (int a = 0; a < 3; ++a) {
        const double m = larger ? (rt[a] > rs[a] ? rt[a] : rs[a]) : (rt[a] < rs[a] ? rt[a] : rs[a]);
        if (dst.lo[a] - src.hi[a] > m || src.lo[a] - dst.hi[a] > m) {
            return true;
        }
    }
    return false;
}

// Monotone in x, so overlapping intervals always share a cell.
int64_t CellOf(const Grid &g, uint32_t level, int a, double x) {
    return ClampedCellNumber((x - g.origin[a]) / g.levels[level].cell[a]);
}

uint64_t BucketOf(const Grid &g, uint32_t level, int64_t x, int64_t y, int64_t z) {
    if (g.dense != 0) {
        const Level &l = g.levels[level];
        return l.denseBase + static_cast<uint64_t>(
                                 ((x - l.denseLo.c[0]) * l.denseCount[1] + (y - l.denseLo.c[1])) *
                                     l.denseCount[2] +
                                 (z - l.denseLo.c[2]));
    }
    uint64_t h = static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ull + level * 0xD6E8FEB86659FD93ull;
    h ^= static_cast<uint64_t>(y) * 0xC2B2AE3D27D4EB4Full + (h >> 29);
    h ^= static_cast<uint64_t>(z) * 0x165667B19E3779F9ull + (h >> 31);
    h ^= h >> 33;
    return h & g.bucketMask;
}

// The cells of the box lo..hi, or cap + 1 when there are more than cap.
uint64_t CellCount(const CellIndex &lo, const CellIndex &hi, uint64_t cap) {
    return CappedCellCount(lo.c, hi.c, cap);
}

void CellRange(const Grid &g, uint32_t level, const Span &box, CellIndex *lo, CellIndex *hi) {
    for (int a = 0; a < 3; ++a) {
        lo->c[a] = CellOf(g, level, a, box.lo[a]);
        hi->c[a] = CellOf(g, level, a, box.hi[a]);
    }
}

// Steps at to the next cell of the box lo..hi, z fastest and x slowest; false past the last. (A
// cell number taken apart by division costs three 64-bit divisions a cell.)
bool NextCell(const CellIndex &lo, const CellIndex &hi, CellIndex *at) {
    for (int a = 2; a >= 0; --a) {
        if (at->c[a] < hi.c[a]) {
            at->c[a] += 1;
            return true;
        }
        at->c[a] = lo.c[a];
    }
    return false;
}

void AddAlways(uint32_t slot) {
    if (scratch.slots[slot].always != 0) {
        return;
    }
    scratch.slots[slot].always = 1;
    uint32_t *end = scratch.always + scratch.alwaysCount;
    uint32_t *at = std::lower_bound(scratch.always, end, slot);
    std::memmove(at + 1, at, sizeof(uint32_t) * static_cast<size_t>(end - at));
    *at = slot;
    scratch.alwaysCount += 1;
}

// The slot's nearest time, and its hull from that time on, kept for the queries that meet it.
void SetLowTime(Slot *slot, double tLow) {
    slot->tLow = tLow;
    slot->hullOk = Hull(slot->p, slot->q, tLow, &slot->hull) ? 1 : 0;
}

// An ellipsoid slot's step: its body's latest, its hulls, and whether it is in the grid's regime.
// (Its shape, radii and reach stay as they are through a pass.)
void FillSlotStep(Slot *slot, const EllipsoidShape *shape) {
    const MotionRecord *latest = LatestMotion(slot->body);
    slot->step = latest;
    slot->regular = 0;
    slot->tLow = 0;
    if (!StepCentres(latest, shape, &slot->p, &slot->q) || !DestinationTimeInRegime(latest)) {
        return;
    }
    // The grid's box, the hull from the slot's own time and the one from -kListBack, together.
    const double times[3] = {-kBoxStretch, LowTime(latest), -kListBack};
    Span *const boxes[3] = {&slot->box, &slot->hull, &slot->deep};
    if (!Hulls<3>(slot->p, slot->q, times, boxes)) {
        return;
    }
    slot->regular = 1;
    slot->tLow = times[1];
    slot->hullOk = 1;
}

// One destination's slot: its step, its hull, and whether it is in the grid's regime.
void FillSlot(Slot *slot, ShapeEntry *t) {
    slot->entry = t;
    slot->body = t->body;
    slot->always = 0;
    slot->regular = 0;
    slot->level = 0;
    slot->member = 0;
    slot->escaped = 0;
    slot->tLow = 0;
    slot->step = nullptr;
    if (t->shape->kind != kEllipsoidKind) {
        return;
    }
    const EllipsoidShape *shape = AsEllipsoid(t->shape);
    slot->radii = &shape->radii;
    ContactReach(shape->radii, slot->reach);
    FillSlotStep(slot, shape);
}

// Fills the slots, in list order, and the body table.
void CollectDestinations(IntrusiveList *destinations) {
    scratch.alwaysCount = 0;
    scratch.queryStamp = 0;
    std::memset(scratch.bodyTable, 0, sizeof(uint32_t) * kObjectSlots);
    std::memset(scratch.stamps, 0, sizeof(uint32_t) * scratch.count);
    uint32_t i = 0;
    for (ShapeEntry *t = ListHead<ShapeEntry>(*destinations); t != nullptr;
         t = MemberOf<ShapeEntry>(t->link.next), ++i) {
        FillSlot(&scratch.slots[i], t);
        uint32_t *entry = BodyEntry(t->body);
        scratch.sameBody[i] = *entry;
        *entry = i + 1;
    }
}

// What a median or minimum is taken of: a hull's middle, or its extent and its pairs' reach.
enum SlotMeasure { kHullMiddle, kHullAndReach };

double SlotValue(const Slot &slot, int a, SlotMeasure what) {
    if (what == kHullAndReach) {
        const double reach = 2.0 * kEllipsoidContactMargin * Component(*slot.radii, a);
        return slot.box.hi[a] - slot.box.lo[a] + reach;
    }
    return 0.5 * slot.box.lo[a] + 0.5 * slot.box.hi[a];
}

// The median over the regular destinations (0 without any).
double MedianOf(int a, SlotMeasure what) {
    uint32_t n = 0;
    for (uint32_t i = 0; i < scratch.count; ++i) {
        if (scratch.slots[i].regular != 0) {
            scratch.values[n++] = SlotValue(scratch.slots[i], a, what);
        }
    }
    if (n == 0) {
        return 0.0;
    }
    std::nth_element(scratch.values, scratch.values + n / 2, scratch.values + n);
    return scratch.values[n / 2];
}

// The smallest value over the regular destinations (0 without any).
double MinimumOf(int a, SlotMeasure what) {
    double least = INFINITY;
    for (uint32_t i = 0; i < scratch.count; ++i) {
        if (scratch.slots[i].regular != 0) {
            least = std::min(least, SlotValue(scratch.slots[i], a, what));
        }
    }
    return least == INFINITY ? 0.0 : least;
}

// The base cells are the size of the smallest destination hull plus its pairs' reach, so that
// every size class finds a level whose cells are within twice its own size: many big bodies do
// not coarsen the cells of a crowd of small ones, nor one small body those of many big ones.
void SizeGrid(Grid *g) {
    for (int a = 0; a < 3; ++a) {
        double cell = std::max(MinimumOf(a, kHullAndReach), 1e-30);
        // The median hull sits mid-cell: a crowd on one floor then fills one layer of cells, where
        // a cell edge through it would double the cells and the entries of every search.
        g->origin[a] = MedianOf(a, kHullMiddle) - 0.5 * cell;
        // Doubling is exact, so level k's cells are exactly 2^k base cells.
        for (Level &level : g->levels) {
            level.cell[a] = cell;
            level.reach[a] = 0;
            level.speed[a] = 0;
            level.magnitude = 0;
            level.bounds.lo[a] = INFINITY;
            level.bounds.hi[a] = -INFINITY;
            level.memberStart = 0;
            level.memberCount = 0;
            cell *= 2.0;
        }
    }
    g->levelCount = 0;
    g->lowestTime = 0;
}

// A regular destination fits a level when its hull spans at most 2 cells an axis and its reach
// at most 2 cells; range receives its cells there.
bool FitsLevel(const Grid &g, uint32_t level, const Slot &slot, uint64_t *cells,
               CellIndex range[2]) {
    CellRange(g, level, slot.box, &range[0], &range[1]);
    *cells = CellCount(range[0], range[1], kMaxDestinationCells);
    if (*cells > kMaxDestinationCells) {
        return false;
    }
    for (int a = 0; a < 3; ++a) {
        const double reach = kEllipsoidContactMargin * Component(*slot.radii, a);
        if (!(reach <= kMaxMemberReachCells * g.levels[level].cell[a])) {
            return false;
        }
    }
    return true;
}

// The lowest level the destination fits (kMaxLevels when none, which the regime rules out).
uint32_t LevelFor(const Grid &g, const Slot &slot, uint64_t *cells, CellIndex range[2]) {
    uint32_t level = 0;
    while (level < kMaxLevels && !FitsLevel(g, level, slot, cells, range)) {
        ++level;
    }
    return level;
}

// The bounds the queries rely on, over the destinations in the grid and in its level.
void AccountMember(Grid *g, const Slot &slot) {
    Level &level = g->levels[slot.level];
    level.memberCount += 1;
    g->levelCount = std::max(g->levelCount, static_cast<uint32_t>(slot.level) + 1);
    g->lowestTime = std::min(g->lowestTime, slot.tLow);
    for (int a = 0; a < 3; ++a) {
        level.reach[a] = std::max(level.reach[a], static_cast<double>(Component(*slot.radii, a)));
        level.speed[a] =
            std::max(level.speed[a],
                     static_cast<double>(std::fabs(Component(slot.q, a) - Component(slot.p, a))));
        level.magnitude = std::max(level.magnitude,
                                   std::max(std::fabs(slot.box.lo[a]), std::fabs(slot.box.hi[a])));
        level.bounds.lo[a] = std::min(level.bounds.lo[a], slot.box.lo[a]);
        level.bounds.hi[a] = std::max(level.bounds.hi[a], slot.box.hi[a]);
    }
}

// Sorts every destination into the grid or the always list; answers the grid's cell entries.
uint64_t AdmitDestinations(Grid *g) {
    uint64_t entries = 0;
    for (uint32_t i = 0; i < scratch.count; ++i) {
        Slot &slot = scratch.slots[i];
        uint64_t cells = 0;
        // (Kept for the counting sort, which meets every member twice.)
        CellIndex *range = &scratch.cellRanges[2 * static_cast<size_t>(i)];
        const uint32_t level = slot.regular == 0 ? kMaxLevels : LevelFor(*g, slot, &cells, range);
        if (level >= kMaxLevels) {
            AddAlways(i);
            continue;
        }
        slot.level = static_cast<uint8_t>(level);
        slot.member = 1;
        AccountMember(g, slot);
        entries += cells;
    }
    return entries;
}

// Each level's destinations, ascending, after one another in levelItems.
void ListLevelMembers(Grid *g) {
    uint32_t start = 0;
    for (uint32_t k = 0; k < g->levelCount; ++k) {
        g->levels[k].memberStart = start;
        start += g->levels[k].memberCount;
        g->levels[k].memberCount = 0;
    }
    for (uint32_t i = 0; i < scratch.count; ++i) {
        const Slot &slot = scratch.slots[i];
        if (slot.regular != 0 && slot.always == 0) {
            Level &level = g->levels[slot.level];
            scratch.levelItems[level.memberStart + level.memberCount++] = i;
        }
    }
}

// Counting sort of the (bucket, slot) pairs of the grid's members: count, then place.
void CountOrPlace(const Grid &g, bool place) {
    for (uint32_t i = 0; i < scratch.count; ++i) {
        const Slot &slot = scratch.slots[i];
        if (slot.regular == 0 || slot.always != 0) {
            continue;
        }
        const CellIndex &lo = scratch.cellRanges[2 * static_cast<size_t>(i)];
        const CellIndex &hi = scratch.cellRanges[2 * static_cast<size_t>(i) + 1];
        // (Admitted members cover at most kMaxDestinationCells cells.)
        CellIndex at = lo;
        do {
            const uint64_t b = BucketOf(g, slot.level, at.c[0], at.c[1], at.c[2]);
            if (place) {
                scratch.bucketItems[scratch.bucketStart[b]++] = i;
            } else {
                scratch.bucketStart[b + 1] += 1;
            }
        } while (NextCell(lo, hi, &at));
    }
}

// Lays every level out whole when their cells are few enough for the entries; answers the buckets
// that takes, or 0 (the grid is hashed).
uint64_t LayOutLevels(Grid *g, uint64_t entries) {
    const uint64_t cap = kDenseCellsPerEntry * entries + 64;
    uint64_t cells = 0;
    for (uint32_t k = 0; k < g->levelCount; ++k) {
        Level &l = g->levels[k];
        l.denseBase = cells;
        if (l.memberCount == 0) {
            continue;
        }
        CellIndex hi;
        CellRange(*g, k, l.bounds, &l.denseLo, &hi);
        for (int a = 0; a < 3; ++a) {
            l.denseCount[a] = hi.c[a] - l.denseLo.c[a] + 1;
        }
        cells += CellCount(l.denseLo, hi, cap);
        if (cells > cap) {
            return 0;
        }
    }
    return cells;
}

// Enters every member destination in the cells its box covers, in slot order within a bucket.
bool FillGrid(Grid *g) {
    const uint64_t entries = AdmitDestinations(g);
    ListLevelMembers(g);
    uint64_t buckets = LayOutLevels(g, entries);
    g->dense = buckets != 0 ? 1 : 0;
    if (g->dense == 0) {
        buckets = 16;
        while (buckets < 2 * entries) {
            buckets *= 2;
        }
        g->bucketMask = buckets - 1;
    }
    if (!ReserveArray(&scratch.bucketStart, &scratch.bucketCapacity, buckets + 1) ||
        !ReserveArray(&scratch.bucketItems, &scratch.itemCapacity, entries + 1)) {
        return false;
    }
    Stats.gridBucketsMost = std::max<uint64_t>(Stats.gridBucketsMost, buckets);
    uint32_t *start = scratch.bucketStart;
    std::memset(start, 0, sizeof(uint32_t) * (buckets + 1));
    CountOrPlace(*g, false);
    for (uint64_t k = 0; k < buckets; ++k) {
        start[k + 1] += start[k];
    }
    CountOrPlace(*g, true);
    // Placing advanced each start to the next bucket's; shift back.
    for (uint64_t k = buckets; k > 0; --k) {
        start[k] = start[k - 1];
    }
    start[0] = 0;
    return true;
}

void ReleaseScratch() {
    std::free(scratch.slots);
    std::free(scratch.always);
    std::free(scratch.bodyTable);
    std::free(scratch.sameBody);
    std::free(scratch.bucketStart);
    std::free(scratch.bucketItems);
    std::free(scratch.stamps);
    std::free(scratch.found);
    std::free(scratch.levelItems);
    std::free(scratch.cellRanges);
    std::free(scratch.values);
    std::free(scratch.listBegin);
    std::free(scratch.listEnd);
    std::free(scratch.listItems);
    std::free(scratch.escapedList);
    std::free(scratch.earlyList);
    std::free(scratch.extraStart);
    std::free(scratch.extraPairs);
    const size_t peak = scratch.peakBytes;
    const ListHabit habit = scratch.habit;
    scratch = PairGridScratch{};
    scratch.peakBytes = peak;
    scratch.habit = habit;
}

size_t ScratchBytes() {
    return scratch.slotCapacity * sizeof(Slot) + scratch.alwaysCapacity * sizeof(uint32_t) +
           scratch.bodyTableCapacity * sizeof(uint32_t) +
           scratch.sameBodyCapacity * sizeof(uint32_t) + scratch.bucketCapacity * sizeof(uint32_t) +
           scratch.itemCapacity * sizeof(uint32_t) + scratch.foundCapacity * sizeof(uint32_t) +
           scratch.stampCapacity * sizeof(uint32_t) + scratch.levelItemCapacity * sizeof(uint32_t) +
           scratch.valueCapacity * sizeof(double) + scratch.cellRangeCapacity * sizeof(CellIndex) +
           (scratch.listBeginCapacity + scratch.listEndCapacity) * sizeof(uint32_t) +
           scratch.listItemCapacity * sizeof(uint32_t) +
           (scratch.escapedListCapacity + scratch.earlyCapacity) * sizeof(uint32_t) +
           scratch.extraStartCapacity * sizeof(uint32_t) + scratch.extraCapacity * sizeof(uint64_t);
}

// A slot whose time falls below -kListBack: every source with a list meets it from now on (the
// lists hold the members from that time on only).
void NoteEarly(uint32_t i) {
    Slot &slot = scratch.slots[i];
    if (scratch.listsFor == nullptr || slot.early != 0 || !(slot.tLow < -kListBack)) {
        return;
    }
    slot.early = 1;
    scratch.earlyList[scratch.earlyCount++] = i;
    Stats.gridEarly += 1;
}

// After a source's scan: its body's slots take its new nearest time, or leave the grid.
void UpdateBody(CollisionBody *body) {
    Grid *g = &scratch.grid;
    const MotionRecord *m = LatestMotion(body);
    const bool inRegime = DestinationTimeInRegime(m);
    const double tLow = LowTime(m);
    for (uint32_t next = *BodyEntry(body); next != 0; next = scratch.sameBody[next - 1]) {
        const uint32_t i = next - 1;
        Slot &slot = scratch.slots[i];
        if (slot.regular == 0) {
            continue;
        }
        if (!inRegime) {
            slot.regular = 0;
            AddAlways(i);
            continue;
        }
        // (Equal times, zeros of either sign included, give the same hull.)
        if (tLow != slot.tLow) {
            SetLowTime(&slot, tLow);
            NoteEarly(i);
        }
        g->lowestTime = std::min(g->lowestTime, tLow);
    }
}

struct Source {
    CollisionBody *body;
    const Vec3 *radii;
    double reach[3]; // its contact margin on each axis (ContactReach)
    Vec3 p, q;
    double tLow; // the source's nearest time the candidates were found for (min with 0)
    Span hull;   // its hull over [tLow, 1]
    Span clip;   // holds its hull from the grid's lowest nearest time (or tLow when lower)
    const Slot *own; // its own slot when it is one of the destinations too (in the grid's regime)
};

// What a search does with each slot it meets: keep the candidates of a source's step, list the
// members a source's env may meet, or note the list holders that may meet an escaped slot.
enum MeetKind : uint8_t { kMeetCandidates, kMeetListing, kMeetHolders };

struct Meeting {
    MeetKind kind;
    uint32_t first;   // candidates: only slots from here on
    uint32_t count;   // candidates found (in found[])
    uint32_t escapee; // holders: the escaped slot
};

const double kNoGrowth[3] = {0, 0, 0};

// The box to search in one level: the hull of every pairing's clip, widened by the largest reach
// of a pair with one of the level's destinations (the pair radius is the smaller of the two radii,
// or the larger in size mode 1), by the destinations' own stretch beyond their grid hulls for
// a source time below it, and by how far members may have moved beyond their cells (grow).
void QueryBox(const Level &level, const Source &src, const Span &clip, const double *grow,
              Span *query) {
    *query = clip;
    double beyond = src.tLow < -kBoxStretch ? -src.tLow * 1.01 : 0.0;
    // A kept grid's members are within their envs from -kListBack on; their boxes reach further.
    if (scratch.reusing != 0 && src.tLow < -kListBack) {
        beyond = std::max(-src.tLow, kBoxStretch) * 1.01;
    }
    for (int a = 0; a < 3; ++a) {
        const double ra = Component(*src.radii, a);
        const double r =
            EllipSizeMode == 0 ? std::min(ra, level.reach[a]) : std::max(ra, level.reach[a]);
        const double stretch = beyond * level.speed[a] + grow[a];
        const double magnitude =
            std::max(std::fabs(clip.lo[a]), std::fabs(clip.hi[a])) + level.magnitude + stretch;
        const double reach = (kEllipsoidContactMargin * r * (1.0 + kPairSlack) +
                              kPairSlack * magnitude + kTinySlack + stretch) *
                             (1.0 + kPairSlack);
        query->lo[a] -= reach;
        query->hi[a] += reach;
    }
}

// A member destination met in a cell: false when the box tests are certain to reject the pair.
bool MayPair(const Source &src, const Slot &slot) {
    // A destination that left the regime during the sweep is no longer described by its slot.
    if (slot.regular == 0) {
        return true;
    }
    // The pairing's own clip range: both hulls from min(tA, tB) on. The side whose own time is the
    // later one takes a hull already made from an earlier time, which holds the hull from min(tA,
    // tB) (the ends and the widening only grow as the time drops, in floats too): the source's
    // clip (the grid's lowest time is at most the slot's), the slot's grid box (from
    // -kBoxStretch, or its hull from -kListBack when the source's time is no earlier). (Making the
    // exact hull there cost more than the few pairs it rejects.)
    const Span *s = slot.tLow < src.tLow ? &src.clip : &src.hull;
    const Span *dst = &slot.hull;
    Span dstFromT;
    if (src.tLow < slot.tLow) {
        dst = src.tLow >= -kListBack ? &slot.deep : &slot.box;
        if (src.tLow < -kBoxStretch) {
            if (!Hull(slot.p, slot.q, src.tLow, &dstFromT)) {
                return true;
            }
            dst = &dstFromT;
        }
    } else if (slot.hullOk == 0) {
        return true;
    }
    return !ProvenApart(*s, src.reach, *dst, slot.reach);
}

// A member that has not moved beyond its env since the lists were made: every list that may
// pair it with its holder holds it.
bool Settled(uint32_t i) {
    return scratch.slots[i].member != 0 && scratch.slots[i].escaped == 0;
}

// A slot met by a search for candidates, taken once a search: kept when its box tests may pass.
inline void Consider(const Source &src, uint32_t i, Meeting *m) {
    if (i < m->first || scratch.stamps[i] == scratch.queryStamp) {
        return;
    }
    scratch.stamps[i] = scratch.queryStamp;
    if (MayPair(src, scratch.slots[i])) {
        scratch.found[m->count++] = i;
    }
}

// A slot met by a search for a source's list, taken once a search: listed when the two envs may
// meet, whatever either step becomes while it stays within its own.
inline void ListMember(const Source &src, uint32_t i) {
    if (scratch.stamps[i] == scratch.queryStamp) {
        return;
    }
    scratch.stamps[i] = scratch.queryStamp;
    const Slot &slot = scratch.slots[i];
    if (slot.member != 0 && !ProvenApart(src.hull, src.reach, slot.env, slot.reach)) {
        scratch.listItems[scratch.listItemCount++] = i;
    }
}

// A slot met by a search for the holders of an escaped slot, taken once a search: a settled
// member whose env the escaped slot's box may meet takes it besides its list.
inline void NoteHolder(const Source &src, uint32_t i, uint32_t escapee) {
    if (scratch.stamps[i] == scratch.queryStamp) {
        return;
    }
    scratch.stamps[i] = scratch.queryStamp;
    const Slot &slot = scratch.slots[i];
    if (Settled(i) && !ProvenApart(slot.env, slot.reach, src.hull, src.reach)) {
        scratch.extraPairs[scratch.extraCount++] = static_cast<uint64_t>(i) << 32 | escapee;
    }
}

// One slot a search meets, taken once a search, as the meeting asks.
void Gather(const Source &src, uint32_t i, Meeting *m) {
    if (m->kind == kMeetCandidates) {
        Consider(src, i, m);
    } else if (m->kind == kMeetListing) {
        ListMember(src, i);
    } else {
        NoteHolder(src, i, m->escapee);
    }
}

// The slots of the buckets first..last, as the meeting asks; answers how many met. (A loop of
// its own for each kind: the candidates' is most of a crowd's searches, the lists' most of the
// rest.)
uint64_t GatherBuckets(const Source &src, uint64_t first, uint64_t last, Meeting *m) {
    const uint32_t begin = scratch.bucketStart[first], end = scratch.bucketStart[last + 1];
    const uint32_t *items = scratch.bucketItems;
    if (m->kind == kMeetCandidates) {
        for (uint32_t e = begin; e < end; ++e) {
            Consider(src, items[e], m);
        }
    } else if (m->kind == kMeetListing) {
        for (uint32_t e = begin; e < end; ++e) {
            ListMember(src, items[e]);
        }
    } else {
        for (uint32_t e = begin; e < end; ++e) {
            NoteHolder(src, items[e], m->escapee);
        }
    }
    return end - begin;
}

// The slots of the level's cells lo..hi, as the meeting asks; answers how many met. Laid out
// whole, each column's cells along z are one run of buckets.
uint64_t GatherCells(const Grid &g, uint32_t level, const CellIndex &lo, const CellIndex &hi,
                     const Source &src, Meeting *m) {
    uint64_t met = 0;
    if (g.dense != 0) {
        for (int64_t x = lo.c[0]; x <= hi.c[0]; ++x) {
            for (int64_t y = lo.c[1]; y <= hi.c[1]; ++y) {
                const uint64_t b = BucketOf(g, level, x, y, lo.c[2]);
                met += GatherBuckets(src, b, b + static_cast<uint64_t>(hi.c[2] - lo.c[2]), m);
            }
        }
        return met;
    }
    CellIndex at = lo;
    do {
        const uint64_t b = BucketOf(g, level, at.c[0], at.c[1], at.c[2]);
        met += GatherBuckets(src, b, b, m);
    } while (NextCell(lo, hi, &at));
    return met;
}

// One level's members that the source's clip may reach (members lying up to grow beyond their
// cells): through the cells its query box covers, or through the level's member list when that is
// shorter.
void GatherLevel(const Grid &g, uint32_t level, const Source &src, const double *grow, Meeting *m) {
    const Level &l = g.levels[level];
    if (l.memberCount == 0) {
        return;
    }
    Span query;
    QueryBox(l, src, src.clip, grow, &query);
    // Every member's hull lies in the level's bounds (grown), so a member the query box meets
    // meets it inside them: the cells outside hold none.
    for (int a = 0; a < 3; ++a) {
        query.lo[a] = std::max(query.lo[a], l.bounds.lo[a] - grow[a]);
        query.hi[a] = std::min(query.hi[a], l.bounds.hi[a] + grow[a]);
        if (!(query.lo[a] <= query.hi[a])) {
            return;
        }
    }
    CellIndex lo, hi;
    CellRange(g, level, query, &lo, &hi);
    // Laid out whole, only the cells of the members' bounds exist (a grown query reaches past).
    for (int a = 0; g.dense != 0 && a < 3; ++a) {
        lo.c[a] = std::max(lo.c[a], l.denseLo.c[a]);
        hi.c[a] = std::min(hi.c[a], l.denseLo.c[a] + l.denseCount[a] - 1);
        if (lo.c[a] > hi.c[a]) {
            return;
        }
    }
    const uint64_t cells = CellCount(lo, hi, l.memberCount);
    if (cells > l.memberCount) {
        for (uint32_t e = l.memberStart; e < l.memberStart + l.memberCount; ++e) {
            Gather(src, scratch.levelItems[e], m);
        }
        Stats.gridSlotsMet += l.memberCount;
        return;
    }
    Stats.gridCellsVisited += cells;
    Stats.gridSlotsMet += GatherCells(g, level, lo, hi, src, m);
}

// Starts a search: a new stamp, and the body's own slots counted as met (a body never meets
// itself).
void StartSearch(const CollisionBody *body) {
    scratch.queryStamp += 1;
    for (uint32_t next = *BodyEntry(body); next != 0; next = scratch.sameBody[next - 1]) {
        scratch.stamps[next - 1] = scratch.queryStamp;
    }
}

// Every level searched as the meeting asks, with the members up to grow beyond their cells.
void GatherLevels(const Grid &g, const Source &src, const double *grow, Meeting *m) {
    Stats.gridQueries += 1;
    for (uint32_t level = 0; level < g.levelCount; ++level) {
        GatherLevel(g, level, src, grow, m);
    }
}

// The source's env (its own member slot's) as the clip of a search that meets the other envs.
Source EnvSource(const Source &src, const Slot &own) {
    Source e = src;
    e.tLow = 0.0; // the env already reaches back as far as the deep hull it grew from
    e.hull = own.env;
    e.clip = own.env;
    return e;
}

// Lists the members the source's env may meet (ascending): while both stay within their envs,
// no other member can pass the pair's box tests.
bool MakeList(const Grid &g, const Source &src) {
    const uint32_t own = static_cast<uint32_t>(src.own - scratch.slots);
    if (!ReserveArray(&scratch.listItems, &scratch.listItemCapacity,
                      static_cast<size_t>(scratch.listItemCount) + scratch.count)) {
        return false;
    }
    StartSearch(src.body);
    Meeting m = {kMeetListing, 0, 0, 0};
    scratch.listBegin[own] = scratch.listItemCount;
    GatherLevels(g, EnvSource(src, *src.own), scratch.growth, &m);
    std::sort(scratch.listItems + scratch.listBegin[own],
              scratch.listItems + scratch.listItemCount);
    scratch.listEnd[own] = scratch.listItemCount;
    Stats.gridListedItems += scratch.listItemCount - scratch.listBegin[own];
    return true;
}

// The source takes its list (made now if it has none and lists are made now): it is a settled
// member whose time keeps its spans within its deep hull, so within its env.
bool TakesList(const Grid &g, const Source &src) {
    if (scratch.listsFor == nullptr || src.own == nullptr || src.tLow < -kListBack) {
        return false;
    }
    const uint32_t own = static_cast<uint32_t>(src.own - scratch.slots);
    if (!Settled(own)) {
        return false;
    }
    if (scratch.listBegin[own] != kNoList) {
        return true;
    }
    return (scratch.reusing != 0 || scratch.habit.early != 0) && MakeList(g, src);
}

// The destinations from position `first` on that the source may reach with its nearest time at
// tLow or later, ascending, in found[]; false when the search would cost more than a plain scan.
bool CollectCandidates(const Grid &g, Source &src, uint32_t first, uint32_t *count) {
    // The source's own hull and a hull every pairing's clip lies in: its slot's, made with the
    // grid, while its time is the slot's (its hull when no time in the grid is earlier, else its
    // box, which reaches back further than any time in the grid's regime); else made here.
    const double times[2] = {src.tLow, std::min(src.tLow, g.lowestTime)};
    if (src.own != nullptr && src.own->hullOk != 0 && src.own->tLow == src.tLow &&
        times[1] >= -kStretch) {
        src.hull = src.own->hull;
        src.clip = times[1] == src.tLow ? src.own->hull : src.own->box;
    } else {
        Span *const hulls[2] = {&src.hull, &src.clip};
        if (!Hulls<2>(src.p, src.q, times, hulls)) {
            return false;
        }
    }
    const bool listed = TakesList(g, src);
    StartSearch(src.body);
    Meeting m = {kMeetCandidates, first, 0, 0};
    uint32_t inOrder = 0; // the candidates found[] holds in list order already: a list's
    if (listed) {
        const uint32_t own = static_cast<uint32_t>(src.own - scratch.slots);
        for (uint32_t e = scratch.listBegin[own]; e < scratch.listEnd[own]; ++e) {
            Consider(src, scratch.listItems[e], &m);
        }
        inOrder = m.count;
        if (scratch.reusing != 0) {
            for (uint32_t e = scratch.extraStart[own]; e < scratch.extraStart[own + 1]; ++e) {
                Consider(src, static_cast<uint32_t>(scratch.extraPairs[e]), &m);
            }
        }
        for (uint32_t e = 0; e < scratch.earlyCount; ++e) {
            Consider(src, scratch.earlyList[e], &m);
        }
    } else {
        GatherLevels(g, src, scratch.reusing != 0 ? scratch.growth : kNoGrowth, &m);
        // Escaped members lie beyond their cells' reach, and so may those whose time fell below
        // -kListBack after they took a new step (their hulls reach back beyond their envs).
        for (uint32_t e = 0; scratch.reusing != 0 && e < scratch.escapedCount; ++e) {
            Consider(src, scratch.escapedList[e], &m);
        }
        for (uint32_t e = 0; scratch.reusing != 0 && e < scratch.earlyCount; ++e) {
            Consider(src, scratch.earlyList[e], &m);
        }
    }
    uint32_t k = m.count;
    // Destinations outside the regime, too wide or too far-reaching for the grid.
    for (uint32_t j = 0; j < scratch.alwaysCount; ++j) {
        const uint32_t i = scratch.always[j];
        if (i >= first && scratch.stamps[i] != scratch.queryStamp) {
            scratch.stamps[i] = scratch.queryStamp;
            scratch.found[k++] = i;
        }
    }
    // List order, so that ties still go to the first destination.
    if (k != inOrder) {
        std::sort(scratch.found, scratch.found + k);
    }
    *count = k;
    return true;
}

// The source's step and radii when it is in the grid's regime.
bool OpenSource(ShapeEntry *s, Source *src) {
    src->tLow = LowTime(LatestMotion(s->body));
    if (s->shape->kind != kEllipsoidKind || !(src->tLow >= -kLongestStretch)) {
        return false;
    }
    src->body = s->body;
    src->radii = &AsEllipsoid(s->shape)->radii;
    src->own = nullptr;
    // A source among the destinations (a type meeting its own) has its step in its slot already.
    for (uint32_t next = *BodyEntry(s->body); next != 0; next = scratch.sameBody[next - 1]) {
        const Slot &slot = scratch.slots[next - 1];
        if (slot.entry == s && slot.regular != 0) {
            src->own = &slot;
            std::memcpy(src->reach, slot.reach, sizeof src->reach);
            src->p = slot.p;
            src->q = slot.q;
            return true;
        }
    }
    ContactReach(*src->radii, src->reach);
    return StepCentres(LatestMotion(s->body), AsEllipsoid(s->shape), &src->p, &src->q);
}

// The rest of the destinations from slot position first on, by the driver's plain loop.
void ScanRest(CollisionDefinition *d, ShapeEntry *s, uint32_t first) {
    Stats.gridPlainSources += 1;
    SweepSourceFrom(d, s, first < scratch.count ? scratch.slots[first].entry : nullptr);
}

// After a build for a type meeting its own: every member's env, its deep hull grown by how far it
// may move in the iterations to come, and no lists yet (each is made when its body first sweeps).
bool StartLists(const CollisionDefinition *d) {
    scratch.listsFor = nullptr;
    if (!ReserveArray(&scratch.listBegin, &scratch.listBeginCapacity, scratch.count) ||
        !ReserveArray(&scratch.listEnd, &scratch.listEndCapacity, scratch.count) ||
        !ReserveArray(&scratch.earlyList, &scratch.earlyCapacity, scratch.count)) {
        return false;
    }
    const Grid &g = scratch.grid;
    for (int a = 0; a < 3; ++a) {
        scratch.growth[a] = kListGrowthShare * g.levels[0].cell[a];
    }
    for (uint32_t i = 0; i < scratch.count; ++i) {
        Slot &slot = scratch.slots[i];
        scratch.listBegin[i] = kNoList;
        slot.early = 0;
        for (int a = 0; a < 3; ++a) {
            slot.env.lo[a] = slot.deep.lo[a] - scratch.growth[a];
            slot.env.hi[a] = slot.deep.hi[a] + scratch.growth[a];
        }
    }
    scratch.listItemCount = 0;
    scratch.earlyCount = 0;
    scratch.listsFor = d;
    for (uint32_t i = 0; i < scratch.count; ++i) {
        NoteEarly(i);
    }
    return true;
}

bool Inside(const Span &outer, const Span &inner) {
    for (int a = 0; a < 3; ++a) {
        if (!(outer.lo[a] <= inner.lo[a] && inner.hi[a] <= outer.hi[a])) {
            return false;
        }
    }
    return true;
}

// The slots take their bodies' steps of this iteration; those beyond their envs (or outside the
// cells since the build) are escaped. False when too many escaped for the lists to pay.
bool RefreshSlots() {
    Grid &g = scratch.grid;
    scratch.alwaysCount = 0;
    scratch.escapedCount = 0;
    scratch.earlyCount = 0;
    g.lowestTime = 0;
    // The members' steps of this iteration, for the searches of sources from far back in theirs.
    for (uint32_t k = 0; k < g.levelCount; ++k) {
        std::fill(g.levels[k].speed, g.levels[k].speed + 3, 0.0);
    }
    for (uint32_t i = 0; i < scratch.count; ++i) {
        Slot &slot = scratch.slots[i];
        // A body that did not move keeps its slot: its time changes only in its own sweeps, which
        // keep the slot up to date (UpdateBody).
        slot.always = 0;
        if (slot.step != LatestMotion(slot.body)) {
            // (Its shape only now: reading it for every slot cost two more records a slot.)
            ShapeHead *shape = slot.entry->shape;
            if (shape->kind == kEllipsoidKind) {
                FillSlotStep(&slot, AsEllipsoid(shape));
            }
        }
        slot.escaped = 0;
        slot.early = 0;
        if (slot.regular == 0) {
            AddAlways(i);
            continue;
        }
        g.lowestTime = std::min(g.lowestTime, slot.tLow);
        NoteEarly(i);
        double *speed = g.levels[slot.level].speed;
        for (int a = 0; a < 3; ++a) {
            speed[a] = std::max(speed[a], static_cast<double>(std::fabs(Component(slot.q, a) -
                                                                        Component(slot.p, a))));
        }
        if (slot.member == 0 || !Inside(slot.env, slot.deep)) {
            slot.escaped = 1;
            scratch.escapedList[scratch.escapedCount++] = i;
            if (scratch.escapedCount > scratch.count / kMostEscapedShare) {
                scratch.habit.failedThisPass = 1;
                Stats.gridRebuilds += 1;
                return false;
            }
        }
    }
    Stats.gridEscapes += scratch.escapedCount;
    return true;
}

// For each escaped slot, the settled members whose env its box may meet: they take it besides
// their lists. Kept as (holder, escaped) pairs, ascending, with where each holder's start.
bool NoteHolders() {
    scratch.extraCount = 0;
    for (uint32_t e = 0; e < scratch.escapedCount; ++e) {
        const uint32_t j = scratch.escapedList[e];
        const Slot &slot = scratch.slots[j];
        if (!ReserveArray(&scratch.extraPairs, &scratch.extraCapacity,
                          static_cast<size_t>(scratch.extraCount) + scratch.count)) {
            return false;
        }
        Source escapee = {};
        escapee.body = slot.body;
        escapee.radii = slot.radii;
        std::memcpy(escapee.reach, slot.reach, sizeof escapee.reach);
        escapee.hull = slot.deep;
        escapee.clip = slot.deep;
        StartSearch(slot.body);
        Meeting m = {kMeetHolders, 0, 0, j};
        GatherLevels(scratch.grid, escapee, scratch.growth, &m);
    }
    std::sort(scratch.extraPairs, scratch.extraPairs + scratch.extraCount);
    Stats.gridHeldEscapes += scratch.extraCount;
    uint32_t *start = scratch.extraStart;
    std::memset(start, 0, sizeof(uint32_t) * (scratch.count + 1));
    for (uint32_t k = 0; k < scratch.extraCount; ++k) {
        start[(scratch.extraPairs[k] >> 32) + 1] += 1;
    }
    for (uint32_t i = 0; i < scratch.count; ++i) {
        start[i + 1] += start[i];
    }
    return true;
}

// The grid and lists of the last sweep of d, taken up again when it has the same destinations
// and few of them moved beyond their envs; false when the grid is to be built anew.
bool ReuseLists(const CollisionDefinition *d, const IntrusiveList *sources,
                const IntrusiveList *destinations, uint32_t n) {
    scratch.reusing = 0;
    if (scratch.listsFor != d || sources != destinations || n != scratch.count) {
        return false;
    }
    uint32_t i = 0;
    for (ListLink *l = destinations->head; l != nullptr; l = l->next, ++i) {
        if (&scratch.slots[i].entry->link != l) {
            return false;
        }
    }
    if (!ReserveArray(&scratch.escapedList, &scratch.escapedListCapacity, n) ||
        !ReserveArray(&scratch.extraStart, &scratch.extraStartCapacity, n + 1) || !RefreshSlots()) {
        return false;
    }
    if (!NoteHolders()) {
        return false;
    }
    scratch.reusing = 1;
    scratch.habit.reusedThisPass = 1;
    Stats.gridReuses += 1;
    return true;
}

} // namespace

bool OpenPairGrid(CollisionDefinition *d, IntrusiveList *sources, IntrusiveList *destinations) {
    if (!IsEllipsoidDefinition(d)) {
        return false;
    }
    uint32_t n = 0;
    for (ListLink *l = destinations->head; l != nullptr; l = l->next) {
        ++n;
    }
    if (n < kGridMinDestinations ||
        CountMovingSources(sources, kGridMinSources) < kGridMinSources) {
        return false;
    }
    if (ReuseLists(d, sources, destinations, n)) {
        return true;
    }
    scratch.listsFor = nullptr;
    scratch.count = n;
    if (!ReserveArray(&scratch.slots, &scratch.slotCapacity, n) ||
        !ReserveArray(&scratch.always, &scratch.alwaysCapacity, n) ||
        !ReserveArray(&scratch.sameBody, &scratch.sameBodyCapacity, n) ||
        !ReserveArray(&scratch.bodyTable, &scratch.bodyTableCapacity, kObjectSlots) ||
        !ReserveArray(&scratch.found, &scratch.foundCapacity, n) ||
        !ReserveArray(&scratch.stamps, &scratch.stampCapacity, n) ||
        !ReserveArray(&scratch.levelItems, &scratch.levelItemCapacity, n) ||
        !ReserveArray(&scratch.cellRanges, &scratch.cellRangeCapacity,
                      2 * static_cast<size_t>(n)) ||
        !ReserveArray(&scratch.values, &scratch.valueCapacity, n)) {
        ReleaseScratch();
        return false;
    }
    CollectDestinations(destinations);
    SizeGrid(&scratch.grid);
    if (!FillGrid(&scratch.grid)) {
        ReleaseScratch();
        return false;
    }
    // A type meeting its own keeps its grid for the iterations to come (bodies stopped by a
    // contact move on from it, a few centimetres).
    // (Not again in a pass where too many escaped.)
    if (sources == destinations && scratch.habit.failedThisPass == 0 && !StartLists(d)) {
        scratch.listsFor = nullptr;
    }
    Stats.gridDefinitions += 1;
    Stats.gridOutsiders += scratch.alwaysCount;
    Stats.gridHashedSweeps += scratch.grid.dense == 0 ? 1 : 0;
    return true;
}

void SweepSourceThroughGrid(CollisionDefinition *d, ShapeEntry *s) {
    Source src;
    uint32_t count = 0;
    if (!OpenSource(s, &src) || !CollectCandidates(scratch.grid, src, 0, &count)) {
        ScanRest(d, s, 0);
        UpdateBody(s->body);
        return;
    }
    const MotionRecord *latest = LatestMotion(s->body);
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t i = scratch.found[k];
        SweepCandidate(d, s, scratch.slots[i].entry);
        // An earlier time stretches the clipped motion further back: search the rest again.
        const double now = LowTime(latest);
        if (now >= src.tLow) {
            continue;
        }
        src.tLow = now;
        if (!(now >= -kLongestStretch) || !CollectCandidates(scratch.grid, src, i + 1, &count)) {
            ScanRest(d, s, i + 1);
            break;
        }
        k = static_cast<uint32_t>(-1); // the loop's increment starts the new list at 0
    }
    UpdateBody(s->body);
}

void ClosePairGrid() {
    scratch.peakBytes = std::max(scratch.peakBytes, ScratchBytes());
    scratch.reusing = 0;
    if (scratch.listsFor == nullptr) {
        ReleaseScratch();
    }
}

void ReleasePairGrid() {
    ListHabit &habit = scratch.habit;
    habit.early = habit.reusedThisPass != 0 && habit.failedThisPass == 0 ? 1 : 0;
    habit.reusedThisPass = 0;
    habit.failedThisPass = 0;
    ReleaseScratch();
}

void ForgetPairGridHabit() {
    scratch.habit = ListHabit{};
}

size_t PairGridPeakBytes() {
    return scratch.peakBytes;
}

} // namespace vor
