// Overlap recovery. The swept tests only stop bodies that approach a contact, so a body can end a
// pass inside another ellipsoid (a crowd pressing in) or inside the ground (an edge contact that
// started overlapping wins over the face it also overlaps, and the face's later contact repeats
// its point). With recovery on, each such body gets a push out (from another ellipsoid only when
// inside it by more than the clearance a push leaves, a thousandth of the radius), worked out
// from where the pass left every body before any moves: out of the deepest triangle along its
// normal, then apart from the other ellipsoids along the line of the centres, pair by pair in the
// order of the object numbers (half each when both recover from each other), in a few rounds, all
// in the unit-sphere space of the body or the pair. So the result does not depend on the order of
// activation. A body's push is held to half its smallest radius a pass, and the driver sweeps it
// against the meshes as a step of its own, in a history of its own, so no push goes through one.
// With worker threads, the ground tests, one an ellipsoid and independent of each other, are
// shared among them (GroundPushTask); everything else runs on the host's thread.
#include "pass/overlap_recovery.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "body/motion_records.h"
#include "body/registry.h"
#include "body/transforms.h"
#include "core/definitions.h"
#include "core/key_sort.h"
#include "core/module_state.h"
#include "core/scratch_array.h"
#include "core/settings.h"
#include "core/thresholds.h"
#include "core/worker_pool.h"
#include "mesh/mesh_accel.h"
#include "mesh/triangle_tests.h"
#include "pass/mesh_sweep.h"
#include "pass/mesh_sweep_cache.h"

namespace vor {

namespace {

// Which (source type, destination type) pairs recover, by destination kind (1 ellipsoids, 2
// meshes).
struct RecoveryTable {
    uint8_t recovers[3][kCollisionTypeCount][kCollisionTypeCount];
    // For each source type, the mesh types it recovers from, ascending: what GroundPush walks for
    // every ellipsoid, which a walk of all the types made a third of the recovery's work.
    uint8_t groundTypes[kCollisionTypeCount][kCollisionTypeCount];
    uint8_t groundTypeCount[kCollisionTypeCount];
    // Whether either of two types recovers from the other's ellipsoids: what makes a candidate.
    uint8_t eitherRecovers[kCollisionTypeCount][kCollisionTypeCount];
};

// One active ellipsoid where the pass left it.
struct Placed {
    EllipsoidShape *shape;
    Vec3 centre;    // world centre where the pass left it
    Vec3 radii;     // the shape's, kept here for the pair rounds
    uint32_t order; // the shape's place among its body's shapes
    uint32_t mover; // its body's place in movers
    int32_t object; // its body's object number and collision type, kept here for the pair scan
    int32_t type;
};

// A placed ellipsoid as the search for candidates reads it, in the order of the cells.
struct Scanned {
    uint64_t cell;    // packed cell coordinates of the centre
    double centre[3]; // the centre, widened once here rather than for every neighbour
    int32_t object;
    int32_t type;
    uint32_t place; // in placed
    uint32_t order; // placed's, kept here for the candidates
    uint32_t mover;
};

// Two ellipsoids that may overlap once pushed, the lower object number first.
struct Candidate {
    uint32_t first, second; // places in placed
    int32_t firstObject, secondObject;
    uint32_t firstOrder, secondOrder;
    uint32_t firstMover, secondMover; // their bodies' places in movers
};

// A candidate as the rounds read it: all that SeparatePair needs of the two ellipsoids, side by
// side, made once after the sort (a pair is tested about three times).
struct Pair {
    Vec3 firstCentre, secondCentre; // where the pass left them
    Vec3 radii;                     // their common radii, as the pair sweep chooses them
    uint32_t firstMover, secondMover;
    uint8_t firstMoves, secondMoves; // whether each recovers from the other's ellipsoids
};

// An active body and its push so far.
struct Mover {
    CollisionBody *body;
    Vec3 push;           // out of the ground, then apart from the others
    float lowest;        // the lowest push.y the crowd may leave: the ground push's
    Vec3 ground;         // unit normal (world) of the ground it stands on; zero: none
    uint32_t groundKnown; // 1 once ground is found (on the first push)
    uint32_t first;       // 1 + the place of its first ellipsoid in placed (0: none)
    Vec3 base;           // its push out of that ground
    float lift;          // how far off that ground the crowd's pushes keep it
    float limit;         // the longest push of this pass
    IntrusiveList aside; // its records of the pass while its push is swept
};

// One ellipsoid's push out of the ground and that ground's normal.
struct GroundResult {
    Vec3 push;
    Vec3 ground;
};

// The working set of one recovery. Its arrays keep their room from pass to pass (a crowd's
// recovery asked for a few hundred kilobytes of fresh pages every pass); FreeRecoveryScratch
// frees them.
struct RecoveryScratch {
    Mover *movers;
    uint32_t moverCount;
    uint32_t *moverOf; // by object number, 1 + its body's place in movers (0: none)
    Placed *placed;
    uint32_t placedCount;
    Scanned *byPlace; // placed as the search reads them, then
    Scanned *scanned; // sorted by cell
    KeyedItem *keys;  // their cell keys and room to sort them
    Candidate *candidates;
    uint32_t candidateCount;
    Candidate *sorted;    // the candidates' next order
    uint32_t *firstOfRun; // by object number, where its candidates start in sorted
    Pair *pairs;          // the candidates as the rounds read them, in their order
    uint32_t *pushed; // movers given a push step
    uint32_t pushedCount;
    float *longest;         // by mover, its longest ground push so far (squared)
    uint32_t *longestShape; // and the shape order of that push
    GroundResult *grounds;  // by place, each ellipsoid's push out of the ground
    double cell[3];    // neighbour cell size per axis
    double perCell[3]; // its inverse
    double reach[3];   // how far apart two centres may start on an axis and still meet
    uint32_t *pairsStart; // by mover, where its candidates start in pairsOf (moverCount + 1)
    uint32_t *pairsOf;    // each mover's candidates, by their place in candidates
    uint64_t *due;        // a bit a candidate: to be tested (again), one of its pushes changed
    float overlapSquared; // OverlapSquared()
    // The room of each array above, in its order.
    size_t moverRoom, moverOfRoom, placedRoom, byPlaceRoom, scannedRoom, keyRoom, candidateRoom,
        sortedRoom, firstOfRunRoom, pairRoom, pushedRoom, longestRoom, longestShapeRoom, groundRoom,
        pairsStartRoom, pairsOfRoom, dueRoom;
};

RecoveryScratch scratch;
RecoveryTable table;

constexpr int64_t kCellClamp = (1 << 20) - 2; // with a neighbour step, 21 bits a coordinate

bool IsFinite(const Vec3 &v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool IsZero(const Vec3 &v) {
    return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

float Component(const Vec3 &v, int a) {
    return a == 0 ? v.x : (a == 1 ? v.y : v.z);
}

bool AnyDefinitionRecovers() {
    for (ListLink *l = DefinitionList.head; l != nullptr; l = l->next) {
        if (RecoversOverlap(MemberOf<CollisionDefinition>(l))) {
            return true;
        }
    }
    return false;
}

// Fills the table from the definitions; false when nothing recovers (the common case, which
// costs one walk of the definitions). Only the rows the definitions name are worked out: a walk of
// every pair of types took about 140,000 instructions a pass.
bool FillTable() {
    if (!AnyDefinitionRecovers()) {
        return false;
    }
    std::fill(&table.recovers[0][0][0], &table.recovers[0][0][0] + sizeof table.recovers, 0);
    std::fill(&table.eitherRecovers[0][0],
              &table.eitherRecovers[0][0] + sizeof table.eitherRecovers, 0);
    std::fill(table.groundTypeCount, table.groundTypeCount + kCollisionTypeCount, 0);
    for (ListLink *l = DefinitionList.head; l != nullptr; l = l->next) {
        const CollisionDefinition *d = MemberOf<CollisionDefinition>(l);
        if (RecoversOverlap(d)) {
            table.recovers[d->destinationKind][d->sourceType][d->destinationType] = 1;
            if (d->destinationKind == kEllipsoidKind) {
                table.eitherRecovers[d->sourceType][d->destinationType] = 1;
                table.eitherRecovers[d->destinationType][d->sourceType] = 1;
            }
        }
    }
    // Each type that recovers from meshes: their types, ascending (a type's row once).
    for (ListLink *l = DefinitionList.head; l != nullptr; l = l->next) {
        const CollisionDefinition *d = MemberOf<CollisionDefinition>(l);
        const int32_t own = d->sourceType;
        if (!RecoversOverlap(d) || d->destinationKind != kMeshKind ||
            table.groundTypeCount[own] != 0) {
            continue;
        }
        uint8_t count = 0;
        for (uint32_t type = 0; type < kCollisionTypeCount; ++type) {
            if (table.recovers[kMeshKind][own][type] != 0) {
                table.groundTypes[own][count++] = static_cast<uint8_t>(type);
            }
        }
        table.groundTypeCount[own] = count;
    }
    return true;
}

bool RecoversFromEllipsoidTypes(int32_t own, int32_t other) {
    return table.recovers[kEllipsoidKind][own][other] != 0;
}

// True when the body recovers from the meshes of some type: it walks on ground.
bool StandsOnMeshes(const CollisionBody *b) {
    return table.groundTypeCount[b->collisionType] > 0;
}

// Monotone in x (clamped far out), so centres less than a cell apart (the cells carry a
// relative slack for the rounding of the product) lie in neighbouring cells.
int64_t CellOf(double x, int a) {
    const double c = std::floor(x * scratch.perCell[a]);
    return static_cast<int64_t>(
        std::min(std::max(c, -static_cast<double>(kCellClamp)), static_cast<double>(kCellClamp)));
}

// The key of the cell of clamped coordinates x, y, z: 21 bits each, from 1 to 2^21 - 3.
uint64_t CellKey(int64_t x, int64_t y, int64_t z) {
    return (static_cast<uint64_t>(x + kCellClamp + 1) << 42) |
           (static_cast<uint64_t>(y + kCellClamp + 1) << 21) |
           static_cast<uint64_t>(z + kCellClamp + 1);
}

// The key of the cell (dx, dy, dz) away (each -1, 0 or 1) from the cell of `key`: a step either
// way keeps each field within its 21 bits, so the steps add to the key without carry or borrow.
uint64_t NeighbourKey(uint64_t key, int dx, int dy, int dz) {
    return key + (static_cast<uint64_t>(int64_t{dx}) << 42) +
           (static_cast<uint64_t>(int64_t{dy}) << 21) + static_cast<uint64_t>(int64_t{dz});
}

bool FindMover(const CollisionBody *body, uint32_t *mover) {
    const int32_t n = body->objectNumber;
    if (n <= 0 || n >= static_cast<int32_t>(kObjectSlots) || scratch.moverOf[n] == 0) {
        return false;
    }
    *mover = scratch.moverOf[n] - 1;
    return scratch.movers[*mover].body == body;
}

// The body's smallest radius over its ellipsoids.
float SmallestRadius(const CollisionBody *b) {
    float smallest = INFINITY;
    for (ListLink *l = b->shapes.head; l != nullptr; l = l->next) {
        ShapeHead *h = MemberOf<ShapeHead>(l);
        if (h->kind == kEllipsoidKind) {
            const Vec3 &r = AsEllipsoid(h)->radii;
            smallest = std::min(smallest, std::min(r.x, std::min(r.y, r.z)));
        }
    }
    return smallest;
}

// Every active body, in list order, and the look-up from body to its place.
bool CollectMovers() {
    uint32_t n = 0;
    for (ListLink *l = ActiveBodyList.head; l != nullptr; l = l->next) {
        ++n;
    }
    // Set one by one below: a crowd's movers are a third of a megabyte.
    if (!ReserveArray(&scratch.movers, &scratch.moverRoom, n + 1) ||
        !ReserveZeroed(&scratch.moverOf, &scratch.moverOfRoom, kObjectSlots) ||
        !ReserveArray(&scratch.pushed, &scratch.pushedRoom, n + 1)) {
        return false;
    }
    uint32_t i = 0;
    for (ListLink *l = ActiveBodyList.head; l != nullptr; l = l->next, ++i) {
        Mover &m = scratch.movers[i];
        m = Mover{};
        m.body = MemberOf<ActiveBodyEntry>(l)->body;
        const float smallest = SmallestRadius(m.body);
        m.limit = kRecoveryStepLimit * smallest;
        m.lift = kRecoveryClearance * smallest;
        m.lowest = StandsOnMeshes(m.body) ? 0.0f : -INFINITY;
        const int32_t number = m.body->objectNumber;
        if (number > 0 && number < static_cast<int32_t>(kObjectSlots)) {
            scratch.moverOf[number] = i + 1;
        }
    }
    scratch.moverCount = n;
    return true;
}

// The place of shape s among its body's shapes.
uint32_t ShapeOrder(const EllipsoidShape *s) {
    uint32_t order = 0;
    for (const ListLink *h = s->head.body->shapes.head; h != &s->head.link; h = h->next) {
        ++order;
    }
    return order;
}

// Each body's first ellipsoid, whose ground it stands on.
void FindFirstEllipsoids() {
    for (uint32_t i = 0; i < scratch.placedCount; ++i) {
        const Placed &p = scratch.placed[i];
        Mover &m = scratch.movers[p.mover];
        if (m.first == 0 || p.order < scratch.placed[m.first - 1].order) {
            m.first = i + 1;
        }
    }
}

// Every active ellipsoid with a finite centre, and the cells of the candidate search. A pair can
// meet once pushed only when its centres start less than twice the largest radius plus the two
// longest pushes apart on every axis; cells that wide keep every such pair in neighbouring cells,
// whatever the sizes: a huge ellipsoid coarsens the grid, it never hides a pair.
bool PlaceEllipsoids() {
    uint32_t n = 0;
    for (int32_t type = 0; type < static_cast<int32_t>(kCollisionTypeCount); ++type) {
        for (ListLink *l = ShapeListFor(kEllipsoidKind, type)->head; l != nullptr; l = l->next) {
            ++n;
        }
    }
    if (!ReserveArray(&scratch.placed, &scratch.placedRoom, n + 1)) {
        return false;
    }
    double largest[3] = {0, 0, 0};
    double longestPush = 0;
    uint32_t k = 0;
    for (int32_t type = 0; type < static_cast<int32_t>(kCollisionTypeCount); ++type) {
        for (ListLink *l = ShapeListFor(kEllipsoidKind, type)->head; l != nullptr; l = l->next) {
            ShapeEntry *e = MemberOf<ShapeEntry>(l);
            EllipsoidShape *s = AsEllipsoid(e->shape);
            const Vec3 centre = Add(ResolvedPosition(e->body), s->offset);
            uint32_t mover = 0;
            if (!IsFinite(centre) || !IsFinite(s->radii) || !FindMover(e->body, &mover)) {
                continue;
            }
            Placed &placed = scratch.placed[k++];
            placed = Placed{};
            placed.shape = s;
            placed.radii = s->radii;
            placed.centre = centre;
            placed.order = ShapeOrder(s);
            placed.mover = mover;
            placed.object = e->body->objectNumber;
            placed.type = e->body->collisionType;
            longestPush = std::max(longestPush, static_cast<double>(scratch.movers[mover].limit));
            for (int a = 0; a < 3; ++a) {
                largest[a] = std::max(largest[a], static_cast<double>(Component(s->radii, a)));
            }
        }
    }
    scratch.placedCount = k;
    for (int a = 0; a < 3; ++a) {
        scratch.reach[a] =
            (kEllipsoidContactMargin * largest[a] + 2.0 * longestPush) * (1.0 + 1e-6);
        scratch.cell[a] = std::max(scratch.reach[a] * (1.0 + 1e-6), 1e-30);
        scratch.perCell[a] = 1.0 / scratch.cell[a];
    }
    FindFirstEllipsoids();
    return true;
}

bool ScanInCellOrder() {
    const uint32_t n = scratch.placedCount;
    if (!ReserveArray(&scratch.byPlace, &scratch.byPlaceRoom, n + 1) ||
        !ReserveArray(&scratch.keys, &scratch.keyRoom, 2 * size_t{n} + 1) ||
        !ReserveArray(&scratch.scanned, &scratch.scannedRoom, n + 1)) {
        return false;
    }
    Scanned *byPlace = scratch.byPlace;
    KeyedItem *keys = scratch.keys;
    for (uint32_t i = 0; i < n; ++i) {
        const Placed &p = scratch.placed[i];
        Scanned &e = byPlace[i];
        int64_t at[3];
        for (int a = 0; a < 3; ++a) {
            e.centre[a] = static_cast<double>(Component(p.centre, a));
            at[a] = CellOf(e.centre[a], a);
        }
        e.cell = CellKey(at[0], at[1], at[2]);
        e.object = p.object;
        e.type = p.type;
        e.place = i;
        e.order = p.order;
        e.mover = p.mover;
        keys[i] = KeyedItem{e.cell, i};
    }
    SortByKey(keys, keys + n, n);
    for (uint32_t k = 0; k < n; ++k) {
        scratch.scanned[k] = byPlace[keys[k].item];
    }
    return true;
}

bool AddCandidate(const Candidate &c) {
    if (!ReserveArray(&scratch.candidates, &scratch.candidateRoom,
                      size_t{scratch.candidateCount} + 1)) {
        return false;
    }
    scratch.candidates[scratch.candidateCount++] = c;
    return true;
}

bool CandidateBefore(const Candidate &a, const Candidate &b) {
    if (a.firstObject != b.firstObject) {
        return a.firstObject < b.firstObject;
    }
    if (a.secondObject != b.secondObject) {
        return a.secondObject < b.secondObject;
    }
    return a.firstOrder != b.firstOrder ? a.firstOrder < b.firstOrder
                                        : a.secondOrder < b.secondOrder;
}

// Runs longer than this (a large body among many) are sorted by their keys, shorter by insertion.
constexpr uint32_t kInsertedRunMost = 16;

// One object's run of n candidates in CandidateBefore's order, by two stable key sorts: by the
// shape orders, then by the second object number; false when memory runs out.
bool SortLongRun(Candidate *run, uint32_t n) {
    if (!ReserveArray(&scratch.keys, &scratch.keyRoom, 2 * size_t{n})) {
        return false;
    }
    KeyedItem *keys = scratch.keys;
    for (uint32_t k = 0; k < n; ++k) {
        keys[k] = KeyedItem{uint64_t{run[k].firstOrder} << 32 | run[k].secondOrder, k};
    }
    SortByKey(keys, keys + n, n);
    for (uint32_t k = 0; k < n; ++k) {
        keys[k].key = static_cast<uint32_t>(run[keys[k].item].secondObject);
    }
    SortByKey(keys, keys + n, n);
    ArrangeAsSorted(run, keys, n);
    return true;
}

// The candidates in the order of the object numbers: counted out by the first object number (at
// most kObjectSlots), then each object's run sorted. A sort of the whole list took a tenth of the
// recovery.
bool SortCandidates() {
    const uint32_t n = scratch.candidateCount;
    // As much room as the candidates have, which the two swap below: neither grows again.
    if (!ReserveZeroed(&scratch.firstOfRun, &scratch.firstOfRunRoom, kObjectSlots + 1) ||
        !ReserveArray(&scratch.sorted, &scratch.sortedRoom, scratch.candidateRoom)) {
        return false;
    }
    uint32_t *start = scratch.firstOfRun;
    Candidate *sorted = scratch.sorted;
    // Every placed body has a mover, found by its object number, so each number is in range.
    for (uint32_t k = 0; k < n; ++k) {
        start[scratch.candidates[k].firstObject + 1] += 1;
    }
    for (uint32_t number = 0; number < kObjectSlots; ++number) {
        start[number + 1] += start[number];
    }
    for (uint32_t k = 0; k < n; ++k) {
        const Candidate &c = scratch.candidates[k];
        sorted[start[c.firstObject]++] = c;
    }
    // Then each object's run: a handful of neighbours, which an insertion sort puts in order in
    // place (a large body among many has a longer run, which two key sorts take).
    for (uint32_t begin = 0, end = 0; begin < n; begin = end) {
        while (end < n && sorted[end].firstObject == sorted[begin].firstObject) {
            ++end;
        }
        if (end - begin > kInsertedRunMost) {
            if (!SortLongRun(sorted + begin, end - begin)) {
                return false;
            }
            continue;
        }
        for (uint32_t k = begin + 1; k < end; ++k) {
            const Candidate c = sorted[k];
            uint32_t j = k;
            for (; j > begin && CandidateBefore(c, sorted[j - 1]); --j) {
                sorted[j] = sorted[j - 1];
            }
            sorted[j] = c;
        }
    }
    std::swap(scratch.candidates, scratch.sorted);
    std::swap(scratch.candidateRoom, scratch.sortedRoom);
    return true;
}

// p and q are a candidate when either recovers from the other and their centres start within
// reach on every axis.
bool MayMeet(const Scanned &p, const Scanned &q) {
    if (table.eitherRecovers[p.type][q.type] == 0) {
        return false;
    }
    for (int axis = 0; axis < 3; ++axis) {
        if (!(std::fabs(p.centre[axis] - q.centre[axis]) < scratch.reach[axis])) {
            return false;
        }
    }
    return true;
}

// The neighbour columns whose cells come after a cell's own in the order of the keys, besides its
// own column: the next row's and the next plane's three. With the own column's later cells, each
// pair of neighbouring cells is walked once.
constexpr int kLaterColumns[4][2] = {{0, 1}, {1, -1}, {1, 0}, {1, 1}};

// The candidates of p among the scanned entries from..to.
bool AddPairsIn(const Scanned &p, const Scanned *from, const Scanned *to) {
    for (const Scanned *q = from; q != to; ++q) {
        if (q->object == p.object || !MayMeet(p, *q)) {
            continue;
        }
        const Candidate c = p.object < q->object ? Candidate{p.place, q->place, p.object, q->object,
                                                             p.order, q->order, p.mover,  q->mover}
                                                 : Candidate{q->place, p.place, q->object, p.object,
                                                             q->order, p.order, q->mover,  p.mover};
        if (!AddCandidate(c)) {
            return false;
        }
    }
    return true;
}

// The first entry from `from` on whose cell key is `key` or above.
const Scanned *FirstFrom(const Scanned *from, const Scanned *end, uint64_t key) {
    while (from != end && from->cell < key) {
        ++from;
    }
    return from;
}

// The first entry from `from` on whose cell key is above `key` (no key reaches 2^63).
const Scanned *FirstAfter(const Scanned *from, const Scanned *end, uint64_t key) {
    return FirstFrom(from, end, key + 1);
}

// Every candidate pair, once, by a plain walk of all pairs: what the cell search stands for,
// taken when the host asks for plain scans (the tests compare the two).
bool CollectAllPairs() {
    const Scanned *byPlace = scratch.byPlace;
    for (uint32_t i = 0; i < scratch.placedCount; ++i) {
        if (!AddPairsIn(byPlace[i], byPlace + i + 1, byPlace + scratch.placedCount)) {
            return false;
        }
    }
    return true;
}

// Every candidate pair, once. Each column of neighbouring cells along z is one run of the sorted
// entries; every entry of a cell has the same columns, found once for the cell.
bool CollectInCells() {
    const Scanned *end = scratch.scanned + scratch.placedCount;
    // Where each later column starts and ends rises with the cell: the entries are sorted by cell,
    // and a key keeps the order of its cell's coordinates. So two cursors a column walk the
    // entries once in all, instead of a search of them all for every column of every cell.
    const Scanned *columnFrom[4], *columnTo[4];
    std::fill(columnFrom, columnFrom + 4, scratch.scanned);
    std::fill(columnTo, columnTo + 4, scratch.scanned);
    for (const Scanned *cellFrom = scratch.scanned; cellFrom != end;) {
        const uint64_t cell = cellFrom->cell;
        const Scanned *cellTo = FirstAfter(cellFrom, end, cell);
        // Its own column: the rest of its own cell and the next cell along z.
        const Scanned *ownTo = FirstAfter(cellTo, end, NeighbourKey(cell, 0, 0, 1));
        for (int k = 0; k < 4; ++k) {
            const int dx = kLaterColumns[k][0], dy = kLaterColumns[k][1];
            columnFrom[k] = FirstFrom(columnFrom[k], end, NeighbourKey(cell, dx, dy, -1));
            columnTo[k] = FirstAfter(std::max(columnTo[k], columnFrom[k]), end,
                                     NeighbourKey(cell, dx, dy, 1));
        }
        for (const Scanned *p = cellFrom; p != cellTo; ++p) {
            if (!AddPairsIn(*p, p + 1, ownTo)) {
                return false;
            }
            for (int k = 0; k < 4; ++k) {
                if (!AddPairsIn(*p, columnFrom[k], columnTo[k])) {
                    return false;
                }
            }
        }
        cellFrom = cellTo;
    }
    return true;
}

// Every candidate pair, once, in the order of the object numbers (the order of the pairs found
// makes no difference: the sort's keys tell any two pairs apart).
bool CollectCandidates() {
    // A pressed crowd has three or four candidates an ellipsoid: room for four from the start.
    if (!ReserveArray(&scratch.candidates, &scratch.candidateRoom,
                      4 * size_t{scratch.placedCount} + 64)) {
        return false;
    }
    const bool found = ReferenceScans ? CollectAllPairs() : CollectInCells();
    return found && SortCandidates();
}

// The pair's common radii, as the pair sweep chooses them.
Vec3 PairRadii(const Vec3 &a, const Vec3 &b) {
    if (EllipSizeMode == 0) {
        return Vec3{std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
    }
    return Vec3{std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
}

// A push held to the body's limit.
Vec3 HeldToLimit(const Mover &m, const Vec3 &push) {
    const float length = std::sqrt(DotProduct(push, push));
    return length > m.limit ? Scale(m.limit / length, push) : push;
}

Vec3 StandingNormal(const Placed &p);

// Adds move to a body's push, held to its limit. Apart from others a body is never pressed into
// the ground it stands on (it slides along it instead, kept a clearance off it) nor down below its
// push out of the ground: the ground would stop the swept push there, and a short push with any
// fall in it ends as standing, so the pair would stay inside each other.
bool PushBy(Mover &m, const Vec3 &move) {
    if (m.groundKnown == 0) {
        m.ground = m.first != 0 ? StandingNormal(scratch.placed[m.first - 1]) : m.ground;
        m.groundKnown = 1;
    }
    Vec3 sum = Add(m.push, move);
    if (!IsZero(m.ground)) {
        const float below = DotProduct(Sub(sum, m.base), m.ground) - m.lift;
        if (below < 0.0f) {
            sum = Sub(sum, Scale(below, m.ground));
        }
    }
    sum.y = sum.y < m.lowest ? m.lowest : sum.y;
    sum = HeldToLimit(m, sum);
    const bool changed = sum.x != m.push.x || sum.y != m.push.y || sum.z != m.push.z;
    m.push = sum;
    return changed;
}

// A mover's push changed: its pairs are due to be tested again.
void PairsDue(uint32_t mover) {
    for (uint32_t k = scratch.pairsStart[mover]; k < scratch.pairsStart[mover + 1]; ++k) {
        const uint32_t pair = scratch.pairsOf[k];
        scratch.due[pair / 64] |= uint64_t{1} << (pair % 64);
    }
}

// The least squared distance whose square root reaches the distance below which a pair is
// pushed apart: as the square root rounds correctly, and so monotonically, a squared distance is
// below it exactly when its root is below that distance. (Most pairs tested are apart, and the
// root was the longest step of their test.)
float OverlapSquared() {
    const float pushedBelow = kEllipsoidContactMargin - kRecoveryClearance;
    float least = pushedBelow * pushedBelow;
    while (std::sqrt(least) >= pushedBelow) {
        least = std::nextafter(least, 0.0f);
    }
    while (std::sqrt(least) < pushedBelow) {
        least = std::nextafter(least, INFINITY);
    }
    return least;
}

// One pair as the two bodies now stand (where the pass left them plus their pushes so far):
// when they overlap by more than the clearance a push leaves (less is touching, give or take the
// rounding of the sweeps: a pressing crowd would otherwise be pushed a little every frame), each
// body that recovers from the other moves away along the line of the centres, by half the depth
// when both do; answers whether anything moved.
bool SeparatePair(const Pair &c) {
    Mover &a = scratch.movers[c.firstMover], &b = scratch.movers[c.secondMover];
    const Vec3 &r = c.radii;
    const Vec3 apart =
        DivideComponents(Sub(Add(c.firstCentre, a.push), Add(c.secondCentre, b.push)), r);
    const float squared = DotProduct(apart, apart);
    if (!(squared < scratch.overlapSquared)) {
        return false;
    }
    const float distance = std::sqrt(squared);
    // Centres at the same place: apart along x, the lower object number towards -x.
    Vec3 direction = Vec3{-1.0f, 0.0f, 0.0f};
    if (distance > 0.0f) {
        direction = Scale(1.0f / distance, apart);
    }
    const bool aMoves = c.firstMoves != 0;
    const bool bMoves = c.secondMoves != 0;
    float depth = kEllipsoidContactMargin + kRecoveryClearance - distance;
    if (aMoves && bMoves) {
        depth = 0.5f * depth;
    }
    const Vec3 move = MultiplyComponents(Scale(depth, direction), r);
    if (aMoves && PushBy(a, move)) {
        PairsDue(c.firstMover);
    }
    if (bMoves && PushBy(b, Scale(-1.0f, move))) {
        PairsDue(c.secondMover);
    }
    return true;
}

// How far along the unit normal n the unit sphere at c must move to clear the point x of a
// triangle (|c - x| < 1 assumed): the positive root of |c - x + t n| = 1 + clearance.
float ClearAlong(const Vec3 &c, const Vec3 &x, const Vec3 &n) {
    const Vec3 w = Sub(c, x);
    const float b = DotProduct(w, n);
    const float reach = 1.0f + kRecoveryClearance;
    const float disc = b * b - DotProduct(w, w) + reach * reach;
    return -b + std::sqrt(disc);
}

// The point of triangle t1 t2 t3 nearest to p (all in unit-sphere space).
Vec3 NearestOnTriangle(const Vec3 &p, const Vec3 &a, const Vec3 &b, const Vec3 &c) {
    const Vec3 ab = Sub(b, a), ac = Sub(c, a), ap = Sub(p, a);
    const float d1 = DotProduct(ab, ap), d2 = DotProduct(ac, ap);
    if (d1 <= 0.0f && d2 <= 0.0f) {
        return a;
    }
    const Vec3 bp = Sub(p, b);
    const float d3 = DotProduct(ab, bp), d4 = DotProduct(ac, bp);
    if (d3 >= 0.0f && d4 <= d3) {
        return b;
    }
    const float vc = d1 * d4 - d3 * d2;
    if (vc <= 0.0f && d1 >= 0.0f && d3 <= 0.0f) {
        return Add(a, Scale(d1 / (d1 - d3), ab));
    }
    const Vec3 cp = Sub(p, c);
    const float d5 = DotProduct(ab, cp), d6 = DotProduct(ac, cp);
    if (d6 >= 0.0f && d5 <= d6) {
        return c;
    }
    const float vb = d5 * d2 - d1 * d6;
    if (vb <= 0.0f && d2 >= 0.0f && d6 <= 0.0f) {
        return Add(a, Scale(d2 / (d2 - d6), ac));
    }
    const float va = d3 * d6 - d5 * d4;
    if (va <= 0.0f && (d4 - d3) >= 0.0f && (d5 - d6) >= 0.0f) {
        return Add(b, Scale((d4 - d3) / ((d4 - d3) + (d5 - d6)), Sub(c, b)));
    }
    const float denom = 1.0f / (va + vb + vc);
    return Add(a, Add(Scale(vb * denom, ab), Scale(vc * denom, ac)));
}

// The deepest triangle so far: how far to move along its normal, in unit-sphere space.
struct Deepest {
    float along;
    Vec3 normal;
    int32_t object; // the mesh's object number: equal depths go to the lowest
};

// The nearest triangle a body stands on so far, within kRecoveryStandReach.
struct Nearest {
    float distance; // squared, in unit-sphere space
    Vec3 normal;
    int32_t object; // the mesh's object number: equal distances go to the lowest
};

// What a ground search looks for: the deepest triangle (margin 0), or the nearest stood on
// (margin kRecoveryStandReach - 1).
struct GroundSearch {
    float margin;
    Deepest deepest;
    Nearest nearest;
};

// One triangle (t1 t2 t3 and its unit normal n, in the unit-sphere space of the body) against the
// unit sphere at c: when the centre lies in front of it and the sphere reaches it, a candidate for
// the deepest. (Unlike the pairs, touching counts: leaving bodies within the clearance of the
// ground left more of a crowd on rolling ground inside each other, as the crowd's pushes may not
// press a body down.)
void TestDeepest(const Vec3 &c, const Vec3 &t1, const Vec3 &t2, const Vec3 &t3, const Vec3 &n,
                 int32_t object, Deepest *deepest) {
    const float d = DotProduct(Sub(c, t1), n);
    if (!(d > 0.0f) || !(d < 1.0f)) {
        return;
    }
    const Vec3 x = NearestOnTriangle(c, t1, t2, t3);
    const Vec3 w = Sub(c, x);
    if (!(DotProduct(w, w) < 1.0f)) {
        return;
    }
    const float along = ClearAlong(c, x, n);
    if (along > deepest->along || (along == deepest->along && object < deepest->object)) {
        *deepest = Deepest{along, n, object};
    }
}

// The same triangle as ground stood on: when the centre lies in front of it and the sphere reaches
// it or stands just clear of it, a candidate for the nearest.
void TestNearest(const Vec3 &c, const Vec3 &t1, const Vec3 &t2, const Vec3 &t3, const Vec3 &n,
                 int32_t object, Nearest *nearest) {
    const float d = DotProduct(Sub(c, t1), n);
    if (!(d > 0.0f) || !(d < kRecoveryStandReach)) {
        return;
    }
    const Vec3 w = Sub(c, NearestOnTriangle(c, t1, t2, t3));
    const float distance = DotProduct(w, w);
    if (distance < kRecoveryStandReach * kRecoveryStandReach &&
        (distance < nearest->distance ||
         (distance == nearest->distance && object < nearest->object))) {
        *nearest = Nearest{distance, n, object};
    }
}

// One triangle for the search: a candidate for the deepest or for the nearest.
void TestTriangle(const Vec3 &c, const Vec3 &t1, const Vec3 &t2, const Vec3 &t3, const Vec3 &n,
                  int32_t object, GroundSearch *search) {
    if (search->margin == 0.0f) {
        TestDeepest(c, t1, t2, t3, n, object, &search->deepest);
    } else {
        TestNearest(c, t1, t2, t3, n, object, &search->nearest);
    }
}

// Every triangle of one mesh that may lie within 1 + margin of the ellipsoid at centre (world),
// tested for the search in unit-sphere space. Such triangles have grown boxes that meet the
// centre's box widened by the margin: the hierarchy's, or the triangles the ellipsoid's sweeps
// kept when their box holds that box (mesh_sweep_cache.cpp), which are those and more, in list
// order.
void TestMesh(EllipsoidShape *s, const Vec3 &centre, MeshShape *mesh, GroundSearch *search) {
    const float margin = search->margin;
    const CollisionBody *meshBody = mesh->head.body;
    const int32_t object = meshBody->objectNumber;
    const Vec3 &r = s->radii;
    const Vec3 c = DivideComponents(centre, r);
    const Vec3 lo = Sub(c, Vec3{margin, margin, margin}), hi = Add(c, Vec3{margin, margin, margin});
    const Matrix4 &world = MeshWorldMatrix(meshBody);
    // The kept triangles first, when the ellipsoid has them (a crowd's all do): the mesh's bounds
    // test is an early out for meshes too far for any triangle to count, which the list's box test
    // already is triangle by triangle. It took a seventh of the ground searches' work.
    const MeshSweepCache *kept =
        ReferenceScans ? nullptr : TakeKeptCandidates(s, mesh, world, lo, hi);
    if (kept != nullptr) {
        Stats.recoveryKeptTests += 1;
        // c less and plus the same margin (>= 0): lo <= hi, as the ordered test needs.
        const OrderedBox ordered = MakeOrderedBox(lo, hi);
        for (uint32_t k = 0; k < kept->count; ++k) {
            if (GrownBoxMeetsOrdered(kept->boxes[k], ordered)) {
                const KeptTriangle &t = kept->kept[k];
                TestTriangle(c, t.unit[0], t.unit[1], t.unit[2], t.normal, object, search);
            }
        }
        return;
    }
    const Vec3 reach = Scale(margin, r);
    if (!PassMeshBoundsTest(mesh, Sub(centre, reach), Add(centre, reach), meshBody, r)) {
        return;
    }
    const auto testWorld = [&](const Vec3 *w) {
        const Vec3 t1 = DivideComponents(w[0], r), t2 = DivideComponents(w[1], r),
                   t3 = DivideComponents(w[2], r);
        TestTriangle(c, t1, t2, t3, TriangleNormal(t1, t2, t3), object, search);
    };
    uint32_t count = 0;
    const AccelCandidate *candidates =
        ReferenceScans ? nullptr : MeshAccelQuery(mesh, world, lo, hi, r, &count);
    if (candidates != nullptr) {
        for (uint32_t k = 0; k < count; ++k) {
            testWorld(candidates[k].corners);
        }
        return;
    }
    for (ListLink *l = mesh->triangles.head; l != nullptr; l = l->next) {
        const MeshTriangle *t = MemberOf<MeshTriangle>(l);
        const Vec3 w[3] = {Transform(t->corner1, world), Transform(t->corner2, world),
                           Transform(t->corner3, world)};
        testWorld(w);
    }
}

// TestMesh on every mesh p's body recovers from but its own.
void TestGround(const Placed &p, GroundSearch *search) {
    const uint8_t *types = table.groundTypes[p.type];
    for (uint32_t k = 0; k < table.groundTypeCount[p.type]; ++k) {
        for (ListLink *l = ShapeListFor(kMeshKind, types[k])->head; l != nullptr; l = l->next) {
            ShapeEntry *e = MemberOf<ShapeEntry>(l);
            if (e->body != p.shape->head.body) {
                TestMesh(p.shape, p.centre, AsMesh(e->shape), search);
            }
        }
    }
}

// A unit-sphere normal of p's space as a unit normal in the world.
Vec3 WorldNormal(const Placed &p, const Vec3 &n) {
    return Normalize(DivideComponents(n, p.shape->radii));
}

// The push out of the deepest triangle of every mesh p's body recovers from (of a tie, the mesh
// with the lowest object number, whatever the activation order), from where the pass left it;
// and that triangle's world normal (zero without a push).
Vec3 GroundPush(const Placed &p, Vec3 *ground) {
    GroundSearch search = {};
    TestGround(p, &search);
    const Deepest &deepest = search.deepest;
    *ground = deepest.along > 0.0f ? WorldNormal(p, deepest.normal) : Vec3{0.0f, 0.0f, 0.0f};
    return MultiplyComponents(Scale(deepest.along, deepest.normal), p.shape->radii);
}

// The world normal of the nearest triangle p stands on, of the meshes its body recovers from (of
// a tie, the mesh with the lowest object number); zero when none is within reach.
Vec3 StandingNormal(const Placed &p) {
    GroundSearch search = {};
    search.margin = kRecoveryStandReach - 1.0f;
    search.nearest.distance = INFINITY;
    TestGround(p, &search);
    const Nearest &nearest = search.nearest;
    return nearest.distance < INFINITY ? WorldNormal(p, nearest.normal) : Vec3{0.0f, 0.0f, 0.0f};
}

// Ellipsoids a task of the ground job takes.
constexpr uint32_t kGroundTaskEllipsoids = 64;

// Why the ground job's results cannot depend on the threads: an ellipsoid's ground push reads the
// meshes, their hierarchies (made current before the job) and poses, and that ellipsoid's own
// kept triangles, which only its own test reads or writes (it counts its use of them); each
// ellipsoid is in one task, and its result goes to its own place in results (the context).
void GroundPushTask(void *results, uint32_t k) {
    GroundResult *out = static_cast<GroundResult *>(results);
    const uint32_t begin = k * kGroundTaskEllipsoids;
    const uint32_t end = std::min(scratch.placedCount, begin + kGroundTaskEllipsoids);
    for (uint32_t i = begin; i < end; ++i) {
        out[i].push = GroundPush(scratch.placed[i], &out[i].ground);
    }
}

// The hierarchies of every mesh some type recovers from, made current: in a job they are only
// read.
void PrepareGround() {
    for (uint32_t type = 0; type < kCollisionTypeCount; ++type) {
        bool recovered = false;
        for (uint32_t own = 0; own < kCollisionTypeCount && !recovered; ++own) {
            recovered = table.recovers[kMeshKind][own][type] != 0;
        }
        if (recovered) {
            PrepareMeshHierarchies(*ShapeListFor(kMeshKind, static_cast<int32_t>(type)));
        }
    }
}

// Every ellipsoid's ground push, on the workers when the host asked for them and there are enough
// ellipsoids to share.
void WorkOutGroundPushes(GroundResult *results) {
    const uint32_t tasks =
        (scratch.placedCount + kGroundTaskEllipsoids - 1) / kGroundTaskEllipsoids;
    if (WorkerThreads() > 1 && scratch.placedCount >= MinBodiesOnWorkers) {
        PrepareGround();
        Stats.recoveryGroundJobs += 1;
        RunTasks(tasks, GroundPushTask, nullptr, results);
        return;
    }
    for (uint32_t k = 0; k < tasks; ++k) {
        GroundPushTask(results, k);
    }
}

// Each body starts from its push out of the ground: the longest of its ellipsoids' (of a tie,
// its first shape's). It stands on that push's ground; a body without one finds what it stands on
// when the crowd first pushes it (most bodies are never pushed).
void GroundPushes() {
    const bool room =
        ReserveZeroed(&scratch.longest, &scratch.longestRoom, scratch.moverCount + 1) &&
        ReserveZeroed(&scratch.longestShape, &scratch.longestShapeRoom, scratch.moverCount + 1) &&
        ReserveArray(&scratch.grounds, &scratch.groundRoom, scratch.placedCount + 1);
    const uint32_t count = room ? scratch.placedCount : 0;
    float *longest = scratch.longest;
    uint32_t *shape = scratch.longestShape;
    GroundResult *results = scratch.grounds;
    if (count > 0) {
        WorkOutGroundPushes(results);
    }
    for (uint32_t i = 0; i < count; ++i) {
        const Placed &p = scratch.placed[i];
        const Vec3 &g = results[i].push;
        const float size = DotProduct(g, g);
        Mover &m = scratch.movers[p.mover];
        if (size > longest[p.mover] ||
            (size == longest[p.mover] && size > 0.0f && p.order < shape[p.mover])) {
            longest[p.mover] = size;
            shape[p.mover] = p.order;
            m.push = HeldToLimit(m, g);
            m.lowest = std::max(m.push.y, 0.0f);
            m.ground = results[i].ground;
            m.groundKnown = 1;
            m.base = m.push;
        }
    }
}

// The candidate as the rounds read it.
Pair PairOf(const Candidate &c) {
    const Placed &p = scratch.placed[c.first], &q = scratch.placed[c.second];
    return Pair{p.centre,
                q.centre,
                PairRadii(p.radii, q.radii),
                c.firstMover,
                c.secondMover,
                RecoversFromEllipsoidTypes(p.type, q.type) ? uint8_t{1} : uint8_t{0},
                RecoversFromEllipsoidTypes(q.type, p.type) ? uint8_t{1} : uint8_t{0}};
}

// Each candidate as the rounds read it; each mover's candidates, for marking them due when its
// push changes; every candidate due.
bool ListPairsOfMovers() {
    const uint32_t n = scratch.candidateCount, words = (n + 63) / 64;
    if (!ReserveZeroed(&scratch.pairsStart, &scratch.pairsStartRoom, scratch.moverCount + 2) ||
        !ReserveArray(&scratch.pairsOf, &scratch.pairsOfRoom, 2 * size_t{n} + 1) ||
        !ReserveArray(&scratch.due, &scratch.dueRoom, words + 1) ||
        !ReserveArray(&scratch.pairs, &scratch.pairRoom, size_t{n} + 1)) {
        return false;
    }
    for (uint32_t k = 0; k < n; ++k) {
        scratch.pairs[k] = PairOf(scratch.candidates[k]);
    }
    uint32_t *start = scratch.pairsStart;
    for (uint32_t k = 0; k < n; ++k) {
        start[scratch.candidates[k].firstMover + 2] += 1;
        start[scratch.candidates[k].secondMover + 2] += 1;
    }
    for (uint32_t m = 0; m < scratch.moverCount; ++m) {
        start[m + 2] += start[m + 1];
    }
    // Placing moves each start[m + 1] to the end of m's list, which is where m + 1's begins.
    for (uint32_t k = 0; k < n; ++k) {
        scratch.pairsOf[start[scratch.candidates[k].firstMover + 1]++] = k;
        scratch.pairsOf[start[scratch.candidates[k].secondMover + 1]++] = k;
    }
    std::fill(scratch.due, scratch.due + words, ~uint64_t{0});
    if (n % 64 != 0) {
        scratch.due[words - 1] = (uint64_t{1} << (n % 64)) - 1;
    }
    return true;
}

// Pushes apart, pair by pair in candidate order, in rounds until nothing overlaps or the rounds
// run out. A pair is tested only when due: in the first round, and after one of its two pushes
// changed (later in the same round when it comes after the pair that changed it, else in the
// next); a pair whose pushes have not changed gives what it gave when last tested.
void SeparateCrowd() {
    const uint32_t words = (scratch.candidateCount + 63) / 64;
    scratch.overlapSquared = OverlapSquared();
    for (uint32_t round = 0; round < kRecoveryRounds; ++round) {
        bool moved = false;
        for (uint32_t w = 0; w < words; ++w) {
            uint64_t after = ~uint64_t{0}; // the bits past the pair just tested
            for (uint64_t due = scratch.due[w]; due != 0; due = scratch.due[w] & after) {
                const uint32_t bit = static_cast<uint32_t>(__builtin_ctzll(due));
                scratch.due[w] &= ~(uint64_t{1} << bit);
                after = (~uint64_t{0} << bit) << 1; // in two shifts: none left past bit 63
                moved = SeparatePair(scratch.pairs[64 * w + bit]) || moved;
            }
        }
        if (!moved) {
            return;
        }
    }
}

// The recovery of this pass is over; its arrays stay for the next.
void EndRecovery() {
    scratch.moverCount = 0;
    scratch.placedCount = 0;
    scratch.candidateCount = 0;
    scratch.pushedCount = 0;
}

} // namespace

void FreeRecoveryScratchWhenOff() {
    if (!AnyDefinitionRecovers()) {
        FreeRecoveryScratch();
    }
}

size_t RecoveryScratchBytes() {
    const RecoveryScratch &r = scratch;
    return r.moverRoom * sizeof(Mover) + r.moverOfRoom * sizeof(uint32_t) +
           r.placedRoom * sizeof(Placed) + (r.byPlaceRoom + r.scannedRoom) * sizeof(Scanned) +
           r.keyRoom * sizeof(KeyedItem) + (r.candidateRoom + r.sortedRoom) * sizeof(Candidate) +
           r.firstOfRunRoom * sizeof(uint32_t) + r.pairRoom * sizeof(Pair) +
           r.pushedRoom * sizeof(uint32_t) + r.longestRoom * sizeof(float) +
           r.longestShapeRoom * sizeof(uint32_t) + r.groundRoom * sizeof(GroundResult) +
           r.pairsStartRoom * sizeof(uint32_t) + r.pairsOfRoom * sizeof(uint32_t) +
           r.dueRoom * sizeof(uint64_t);
}

void FreeRecoveryScratch() {
    // The movers are the first array a recovery holds: without them it holds none.
    if (scratch.movers == nullptr) {
        return;
    }
    std::free(scratch.movers);
    std::free(scratch.moverOf);
    std::free(scratch.placed);
    std::free(scratch.byPlace);
    std::free(scratch.scanned);
    std::free(scratch.keys);
    std::free(scratch.candidates);
    std::free(scratch.sorted);
    std::free(scratch.firstOfRun);
    std::free(scratch.pairs);
    std::free(scratch.pushed);
    std::free(scratch.longest);
    std::free(scratch.longestShape);
    std::free(scratch.grounds);
    std::free(scratch.pairsStart);
    std::free(scratch.pairsOf);
    std::free(scratch.due);
    scratch = RecoveryScratch{};
}

uint32_t OpenRecoverySteps() {
    if (!FillTable()) {
        FreeRecoveryScratch(); // recovery is off everywhere
        return 0;
    }
    if (!CollectMovers() || !PlaceEllipsoids() || !ScanInCellOrder() || !CollectCandidates() ||
        !ListPairsOfMovers()) {
        EndRecovery();
        return 0;
    }
    // Every push from the positions the pass left, before any body moves.
    GroundPushes();
    SeparateCrowd();
    // Each pushed body starts a history of its own with its push as the first step.
    Pass.sweepIteration = Pass.sweepIteration + 1;
    for (uint32_t i = 0; i < scratch.moverCount; ++i) {
        Mover &m = scratch.movers[i];
        if (LatestMotion(m.body) == nullptr || !IsFinite(m.push) || IsZero(m.push)) {
            continue;
        }
        scratch.pushed[scratch.pushedCount++] = i;
        const Vec3 from = ResolvedPosition(m.body);
        SetAsideCurrentMotion(m.body, &m.aside);
        m.body->creaseCounter = 0;
        MotionRecord *step = CreateMotionRecord(m.body);
        step->start = from;
        step->end = Add(from, m.push);
    }
    Stats.recoveryPushes += scratch.pushedCount;
    const uint32_t pushed = scratch.pushedCount;
    if (pushed == 0) {
        EndRecovery();
    }
    return pushed;
}

void CloseRecoverySteps() {
    for (uint32_t k = 0; k < scratch.pushedCount; ++k) {
        Mover &m = scratch.movers[scratch.pushed[k]];
        RestoreCurrentMotion(m.body, &m.aside);
    }
    EndRecovery();
}

} // namespace vor
