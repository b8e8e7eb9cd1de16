// The sweep's search over a mesh's hierarchy: the triangles whose box test a segment in
// unit-sphere space can pass, and for the mesh sweep only those that a unit sphere moving along it
// can touch at all, handed back by ascending list position. The hierarchy and the triangles'
// rounding margins (why skipping by distance is exact) are in mesh_accel.cpp; the ray's search is
// in mesh_accel_ray.cpp.
//
// Why skipping by the box test is exact: a triangle's box test compares lo/r - 1 and hi/r + 1 (lo,
// hi the per-axis extremes of its world corners, r the radii) with the segment's ends. Division
// by a positive r and the subtraction or addition of 1 are monotone under rounding, so a node box
// that contains the triangle's world box gives node values on the same side of every comparison:
// a node rejected by the same comparisons holds only triangles that the box test rejects. The
// world corners are the very TransformPoint results the test uses, so the boxes are the
// triangles' own to the bit; a NaN extreme, which never rejects, becomes an infinite node face.
#include "mesh/mesh_accel_sweep.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "core/key_sort.h"
#include "core/module_state.h"
#include "core/search_limits.h"
#include "core/thresholds.h"
#include "math/matrix4.h"
#include "mesh/mesh_accel.h"

namespace vor {

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr double kReachMinStep = 4.0; // unit-sphere lengths: the reach test only for longer steps
// The squared radii ratio over which a triangle's corners may be squashed in unit-sphere space,
// per unit of its sharpest corner's sine (mesh_accel.cpp): 64 at the lowest class's 1e-3.
constexpr double kMaxSquash = 64.0 / kSineClassFloor[0];

AccelBox UnitBox(const AccelBox &box, const float *r) {
    AccelBox u;
    for (int a = 0; a < 3; ++a) {
        u.lo[a] = box.lo[a] / r[a];
        u.hi[a] = box.hi[a] / r[a];
    }
    return u;
}

} // namespace

// The box test's own comparisons on a box's faces.
bool BoxTestRejects(const CandidateSearch &q, const AccelBox &box) {
    const AccelBox u = UnitBox(box, q.r);
    for (int a = 0; a < 3; ++a) {
        if (u.lo[a] - 1.0f > q.s[a] && u.lo[a] - 1.0f > q.e[a]) {
            return true;
        }
        if (u.hi[a] + 1.0f < q.s[a] && u.hi[a] + 1.0f < q.e[a]) {
            return true;
        }
    }
    return false;
}

// The box test's own comparisons on a box's faces, then the sweep's reach.
bool Rejected(const CandidateSearch &q, const AccelBox &box, float margin) {
    const AccelBox u = UnitBox(box, q.r);
    for (int a = 0; a < 3; ++a) {
        if (u.lo[a] - 1.0f > q.s[a] && u.lo[a] - 1.0f > q.e[a]) {
            return true;
        }
        if (u.hi[a] + 1.0f < q.s[a] && u.hi[a] + 1.0f < q.e[a]) {
            return true;
        }
    }
    if (!q.reach) {
        return false;
    }
    float entry = 0.0f;
    return !SegmentReachesBox(q.probe, u, q.radius + ReachMargin(q, margin) * q.marginScale, 1.0f,
                              &entry);
}

// The sweep's reach: a contact's touch point lies within 1 of the segment s..e, give or take the
// rounding of the face, edge and corner tests. The corner test's q = |w|^2 - p^2 loses up to
// about 12u |w|^2 (|w| <= L + 2 for any corner it accepts), which the first term covers eight
// times over; the rest are errors of a few u times the coordinates of s and e and the step
// (terms in the triangle's size are inside its margin), covered here thirtyfold. Only while every
// number is finite and not huge; triangles whose sine class is too low for the radii are not
// skipped by distance (mesh_accel.cpp), and with radii over 179 times apart none is.
bool SetUpReach(CandidateSearch &q, const Vec3 &s, const Vec3 &e) {
    const Vec3 move = {e.x - s.x, e.y - s.y, e.z - s.z};
    const double l =
        std::sqrt(double(move.x) * move.x + double(move.y) * move.y + double(move.z) * move.z);
    // A short step's box, grown by 1, is nearly its reach already: the test would not pay. (Most
    // steps are short: asked first.)
    if (!(l > kReachMinStep)) {
        return false;
    }
    const float rmin = std::min(q.r[0], std::min(q.r[1], q.r[2]));
    const float rmax = std::max(q.r[0], std::max(q.r[1], q.r[2]));
    const double ratio = static_cast<double>(rmax) / rmin;
    q.minSineClass = 0;
    while (!(ratio * ratio <= kMaxSquash * kSineClassFloor[q.minSineClass])) {
        if (++q.minSineClass == kSineClasses) {
            return false;
        }
    }
    double m = 0.0;
    for (int a = 0; a < 3; ++a) {
        m = std::max({m, std::fabs(double(q.s[a])), std::fabs(double(q.e[a]))});
    }
    if (!SetUpProbe(&q.probe, s, move) || !(m < kProbeLimit)) {
        return false;
    }
    const double u = kUnitRoundoff;
    const double radius =
        std::sqrt(1.0 + 100.0 * u * (l + 3.0) * (l + 3.0)) + 256.0 * u * (1.0 + 2.0 * m + l);
    q.radius = static_cast<float>(radius * (1.0 + 1e-6));
    q.marginScale = static_cast<float>(ratio * ratio / rmin * (1.0 + 1e-6));
    return true;
}

namespace {

// Room for n more entries after the first `used` of an array (*capacity of them, each `size`
// bytes), growing by doubling up to the item count.
bool ReserveEntries(void **array, uint32_t *capacity, size_t size, uint32_t itemCount,
                    uint32_t used, uint32_t n) {
    if (used + n <= *capacity) {
        return true;
    }
    uint32_t grownCapacity = std::max<uint32_t>(64, *capacity);
    while (grownCapacity < used + n) {
        grownCapacity = grownCapacity > itemCount / 2 ? itemCount : grownCapacity * 2;
    }
    void *grown = std::realloc(*array, size * grownCapacity);
    if (grown == nullptr) {
        return false;
    }
    *array = grown;
    *capacity = grownCapacity;
    return true;
}

// The calling thread's candidate list, with room for n more after the first `used`; null when
// memory runs out.
AccelCandidate *ReserveCandidates(const MeshAccel *accel, uint32_t used, uint32_t n) {
    SearchBuffers &b = SearchScratch;
    return ReserveEntries(&b.candidates, &b.candidateCapacity, sizeof(AccelCandidate),
                          accel->itemCount, used, n)
               ? static_cast<AccelCandidate *>(b.candidates)
               : nullptr;
}

// The same for the world corners a search of a hierarchy in its mesh's own frame makes.
AccelItem *ReserveWorldItems(const MeshAccel *accel, uint32_t used, uint32_t n) {
    SearchBuffers &b = SearchScratch;
    return ReserveEntries(&b.worldItems, &b.worldCapacity, sizeof(AccelItem), accel->itemCount,
                          used, n)
               ? static_cast<AccelItem *>(b.worldItems)
               : nullptr;
}

// Searches that find more candidates than this put them in list order by their keys; fewer, the
// most searches find, by insertion, which is quicker for so few and takes no memory.
constexpr uint32_t kInsertedCandidatesMost = 32;

// The n candidates in list order (their positions differ), or false when memory runs out.
bool PutInListOrder(const MeshAccel *accel, AccelCandidate *candidates, uint32_t n) {
    if (n <= kInsertedCandidatesMost) {
        for (uint32_t k = 1; k < n; ++k) {
            const AccelCandidate c = candidates[k];
            uint32_t at = k;
            for (; at > 0 && c.position < candidates[at - 1].position; --at) {
                candidates[at] = candidates[at - 1];
            }
            candidates[at] = c;
        }
        return true;
    }
    SearchBuffers &b = SearchScratch;
    if (!ReserveEntries(&b.sortKeys, &b.sortKeyCapacity, sizeof(KeyedItem), 2 * accel->itemCount, 0,
                        2 * n)) {
        return false;
    }
    KeyedItem *keys = static_cast<KeyedItem *>(b.sortKeys);
    for (uint32_t k = 0; k < n; ++k) {
        keys[k] = KeyedItem{candidates[k].position, k};
    }
    SortByKey(keys, keys + n, n);
    ArrangeAsSorted(candidates, keys, n);
    return true;
}

// The children of a node that q keeps: bit k for child k (never an empty slot).
uint32_t KeptChildren(const CandidateSearch &q, const AccelNode &node) {
    uint32_t kept = 0;
    for (uint32_t g = 0; g < kAccelWidth; g += 4) {
        Float4 lo[3], hi[3];
        const uint32_t occupied = LoadChildGroup(node, g, lo, hi);
        kept |= (KeptFour(q, lo, hi, ChildMargins4(node, g)) & occupied) << g;
    }
    return kept;
}

// The items of a leaf that q keeps, from `first`, at most four: bit k for item first + k.
uint32_t KeptItems(const CandidateSearch &q, const AccelItem *items, uint32_t count, float margin) {
    // A finite leaf margin means finite corners in every item (ItemMargin).
    if (margin < kInfinity) {
        Float4 lo[4], hi[4];
        ItemBoxesFour(items, count, lo, hi);
        return KeptFour(q, lo, hi, Splat4(margin)) & ((1u << count) - 1u);
    }
    uint32_t kept = 0;
    for (uint32_t k = 0; k < count; ++k) {
        if (!Rejected(q, ItemBox(items[k]), margin)) {
            kept |= 1u << k;
        }
    }
    return kept;
}

// Appends the items that pass of the leaf `ref` (of that margin); false when memory runs out.
bool EmitLeaf(MeshAccel *accel, const CandidateSearch &q, uint32_t ref, float margin,
              uint32_t *found) {
    const uint32_t first = ref >> kChildCountBits, count = ref & kChildCountMask;
    AccelCandidate *candidates = ReserveCandidates(accel, *found, count);
    if (candidates == nullptr) {
        return false;
    }
    const uint32_t end = first + count;
    const uint8_t finite = margin < kInfinity ? 1 : 0; // finite corners, kept four-wide
    for (uint32_t group = first; group < end; group += 4) {
        const uint32_t count = std::min<uint32_t>(4, end - group);
        const uint32_t kept = KeptItems(q, &accel->items[group], count, margin);
        for (uint32_t k = 0; k < count; ++k) {
            if ((kept >> k & 1u) != 0) {
                const AccelItem &item = accel->items[group + k];
                candidates[(*found)++] = AccelCandidate{item.position, finite, item.corner};
            }
        }
    }
    return true;
}

// One child q does not reject, named by its ref and margin: a leaf's items into the list, an
// inner node onto the stack. False when memory runs out or the stack is full (deeper than any
// tree this builds).
bool VisitChild(MeshAccel *accel, const CandidateSearch &q, uint32_t ref, float margin,
                uint32_t *found, uint32_t *stack, uint32_t *depth) {
    if ((ref & kChildCountMask) > 0) {
        return EmitLeaf(accel, q, ref, margin, found);
    }
    if (*depth == kAccelStackDepth) {
        return false;
    }
    stack[(*depth)++] = ref >> kChildCountBits;
    return true;
}

// Depth first over the nodes q does not reject; false when the plain scan must answer instead.
bool CollectCandidates(MeshAccel *accel, const CandidateSearch &q, uint32_t *found) {
    if (Rejected(q, accel->root.box, accel->root.margin)) {
        return true;
    }
    uint32_t stack[kAccelStackDepth];
    uint32_t depth = 0;
    if (!VisitChild(accel, q, accel->root.ref, accel->root.margin, found, stack, &depth)) {
        return false;
    }
    while (depth > 0) {
        const AccelNode &node = accel->nodes[stack[--depth]];
        for (uint32_t kept = KeptChildren(q, node); kept != 0; kept &= kept - 1) {
            const uint32_t k = LowestBit(kept);
            if (!VisitChild(accel, q, node.ref[k], std::fabs(node.margin[k]), found, stack,
                            &depth)) {
                return false;
            }
        }
    }
    return true;
}

// What a search in a mesh's own frame did: nodes opened and triangles made into world corners.
struct OwnFrameWork {
    uint64_t nodes;
    uint64_t items;
};

// A hierarchy kept in its mesh's own frame (a moving mesh), searched for the triangles of a world
// matrix m. Why the answer is the same to the bit: a node is left out only when the box test's
// comparisons reject a box (WorldBoxOf) that holds the TransformPoint image of every point of its
// own box, so the world box of every triangle below, which the box test then rejects as well (the
// argument at the top of the file). The triangles of each leaf not left out get their world corners
// by TransformPoint, the very floats the world hierarchy would hold, and from them the same item
// decisions as there, with the leaf's margin taken over those world corners (ItemMargin): every
// triangle the exact tests can record is kept, by the arguments that hold for world hierarchies.
// So a search costs what its box reaches, whatever the mesh's size and however it moved; only the
// skipping by distance waits for the leaves. Candidates point into the thread's world items.
bool EmitOwnLeaf(MeshAccel *accel, const CandidateSearch &q, const ChildRef &leaf,
                 const Matrix4 &m, uint32_t *found, OwnFrameWork *work) {
    const uint32_t n = ChildCount(leaf);
    AccelCandidate *candidates = ReserveCandidates(accel, *found, n);
    AccelItem *worldItems = ReserveWorldItems(accel, *found, n);
    if (candidates == nullptr || worldItems == nullptr) {
        return false;
    }
    AccelItem *world = worldItems + *found; // made here, then kept ones moved down
    float margin = kNoMargin;
    for (uint32_t i = 0; i < n; ++i) {
        const AccelItem &own = accel->items[ChildIndex(leaf) + i];
        world[i] = AccelItem{{Transform(own.corner[0], m), Transform(own.corner[1], m),
                              Transform(own.corner[2], m)},
                             own.position};
        margin = JoinMargins(margin, ItemMargin(world[i]));
    }
    work->items += n;
    for (uint32_t group = 0; group < n; group += 4) {
        const uint32_t count = std::min<uint32_t>(4, n - group);
        const uint32_t kept = KeptItems(q, &world[group], count, margin);
        for (uint32_t k = 0; k < count; ++k) {
            if ((kept >> k & 1u) != 0) {
                // Never past the item read: a leaf's kept items stay in their order.
                worldItems[*found] = world[group + k];
                candidates[*found] =
                    AccelCandidate{world[group + k].position, margin < kInfinity, nullptr};
                *found += 1;
            }
        }
    }
    return true;
}

bool VisitOwnChild(MeshAccel *accel, const CandidateSearch &q, const ChildRef &c,
                   const Matrix4 &m, uint32_t *found, uint32_t *stack, uint32_t *depth,
                   OwnFrameWork *work) {
    if (ChildCount(c) > 0) {
        return EmitOwnLeaf(accel, q, c, m, found, work);
    }
    if (*depth == kAccelStackDepth) {
        return false;
    }
    stack[(*depth)++] = ChildIndex(c);
    return true;
}

// Depth first over the nodes whose world boxes the box test keeps, counting the nodes opened and
// items made world into *work; false when the plain scan must answer instead (out of memory).
bool SearchOwnFrame(MeshAccel *accel, const CandidateSearch &q, const Matrix4 &m, uint32_t *found,
                    OwnFrameWork *work) {
    if (BoxTestRejects(q, WorldBoxOf(accel->root.box, m))) {
        return true;
    }
    uint32_t stack[kAccelStackDepth];
    uint32_t depth = 0;
    if (!VisitOwnChild(accel, q, accel->root, m, found, stack, &depth, work)) {
        return false;
    }
    while (depth > 0) {
        const AccelNode &node = accel->nodes[stack[--depth]];
        work->nodes += 1;
        for (uint32_t k = 0; k < kAccelWidth; ++k) {
            if (node.ref[k] == kEmptyChild) {
                continue;
            }
            const ChildRef c = ChildOf(node, k);
            if (!BoxTestRejects(q, WorldBoxOf(c.box, m)) &&
                !VisitOwnChild(accel, q, c, m, found, stack, &depth, work)) {
                return false;
            }
        }
    }
    return true;
}

// The search of a hierarchy in its mesh's own frame; its work joins the hierarchy's count in one
// atomic addition, as searches on other threads may be adding theirs.
bool CollectOwnCandidates(MeshAccel *accel, const CandidateSearch &q, const Matrix4 &m,
                          uint32_t *found) {
    OwnFrameWork work = {0, 0};
    const bool done = SearchOwnFrame(accel, q, m, found, &work);
    __atomic_fetch_add(&accel->stillWork, work.nodes + work.items, __ATOMIC_RELAXED);
    Stats.accelMovedNodes += work.nodes;
    Stats.accelMovedItems += work.items;
    if (!done) {
        return false;
    }
    AccelCandidate *candidates = static_cast<AccelCandidate *>(SearchScratch.candidates);
    const AccelItem *worldItems = static_cast<const AccelItem *>(SearchScratch.worldItems);
    for (uint32_t k = 0; k < *found; ++k) {
        candidates[k].corners = worldItems[k].corner;
    }
    return true;
}

const AccelCandidate *Candidates(const MeshShape *mesh, const Matrix4 &world, const Vec3 &s,
                                 const Vec3 &e, const Vec3 &r, bool reach, uint32_t *count) {
    *count = 0;
    if (mesh->triangleCount < kAccelMinTriangles) {
        return nullptr;
    }
    // Division by r must be monotone: positive radii only (infinity is fine, NaN is not).
    if (!(r.x > 0.0f && r.y > 0.0f && r.z > 0.0f)) {
        return nullptr;
    }
    MeshAccel *accel = MeshAccelFor(mesh, world);
    if (accel == nullptr || ReserveCandidates(accel, 0, 1) == nullptr) {
        return nullptr;
    }
    CandidateSearch q = {{s.x, s.y, s.z}, {e.x, e.y, e.z}, {r.x, r.y, r.z}, false, {}, 0, 0, 0};
    q.reach = reach && SetUpReach(q, s, e);
    uint32_t found = 0;
    const bool collected = accel->own != 0 ? CollectOwnCandidates(accel, q, world, &found)
                                           : CollectCandidates(accel, q, &found);
    if (!collected) {
        return nullptr; // out of memory: the plain scan still works
    }
    // Visiting order is list order, so that ties go to the first triangle as in the plain scan.
    AccelCandidate *candidates = static_cast<AccelCandidate *>(SearchScratch.candidates);
    if (!PutInListOrder(accel, candidates, found)) {
        return nullptr;
    }
    *count = found;
    return candidates;
}

} // namespace

const AccelCandidate *MeshAccelQuery(const MeshShape *mesh, const Matrix4 &world, const Vec3 &s,
                                     const Vec3 &e, const Vec3 &r, uint32_t *count) {
    return Candidates(mesh, world, s, e, r, false, count);
}

const AccelCandidate *MeshAccelSweepQuery(const MeshShape *mesh, const Matrix4 &world,
                                          const Vec3 &s, const Vec3 &e, const Vec3 &r,
                                          uint32_t *count) {
    return Candidates(mesh, world, s, e, r, true, count);
}

} // namespace vor
