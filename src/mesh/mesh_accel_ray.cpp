// The ray search over a mesh's hierarchy: nearest boxes first, so that a hit soon bounds how far
// the search must look, then the per-triangle decisions replayed in list order.
//
// Why the answer is the plain scan's, to the bit. The scan visits the triangles in list order with
// a bound D (the nearest distance so far, at first `bound`): a triangle whose static tests pass
// (RayTriangleTest; here the same float operations, four triangles side by side or one at a time)
// is recorded when key = max(d, t) < D, and D becomes its t <= key. So D only falls, and a
// triangle with key >= `bound` is never recorded.
//   Let X be the search's final cut. A triangle the search left out either fails the grown-box
// test, the first of the static tests, so the scan never records it either, or has t > X: its box,
// widened by its margin (mesh_accel.cpp: where a point passing PointInTriangle can lie) and by the
// ray's own rounding (`slop`: the hit point from + t dir against the exact line, and its height
// over the plane), was not reached by the ray cut at a bound >= X. Suppose no triangle found has
// t < X <= key. Then compare the scan over all triangles with the replay over the found ones, as
// long as their bounds are equal, or both >= X: a left-out triangle keeps a bound >= X at >= X
// (its t > X) and is rejected under one below X; a found one with key < X is recorded by both
// from bounds >= X, making them equal; a found one with key >= X has t >= X and keeps both >= X.
// The cut stays above the smallest key found, and the replay's bound after that triangle is at
// most its key, so the replay ends below X, where the two agree, winner included. Where the
// condition fails, the caller scans.
//   Ties are settled inside the search, so that no number of equal hits leaves it. After any
// triangle j with key < `bound`, a scan's bound is at most key_j (recorded: t_j <= key_j; else it
// already was), so a later triangle with key >= key_j is never recorded, by the scan nor by the
// replay: it is dropped for good (dominated), which changes neither. And a found triangle with
// key >= the cut C only matters for the condition above (X <= C): if its t >= X it is never the
// answer and, recorded or not, keeps the replay's bound >= X, where the first key < X is recorded
// anyway; so only the smallest such t is kept, and the condition is checked on it. What stays has
// key < C <= Above(smallest key), and keys that fall strictly with list position: at most 16
// floats lie in [k, Above(k)), so the found list never holds more than 16 (kMaxFound is spare).
//   Twins are passed by: children whose triangles all repeat, corner for corner, one earlier in
// the list (triangle_twins.h), and a leaf's item that repeats the item before it. Take the scan
// over the triangles without them: it decides the same. A twin j of an earlier i passes the static
// tests exactly when i does, with the same t and key; if the scan records i its bound falls to
// t_i <= key_i = key_j, and if not, the bound was already at most key_i; either way j is never
// recorded. The first of equal triangles in the list is no twin, so it is searched.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/cache_lines.h"
#include "core/module_state.h"
#include "core/search_limits.h"
#include "math/float_steps.h"
#include "mesh/mesh_accel.h"
#include "mesh/mesh_accel_layout.h"
#include "mesh/mesh_accel_search.h"
#include "mesh/ray_triangle.h"
#include "mesh/ray_triangle_four.h"
#include "mesh/triangle_twins.h"

namespace vor {

namespace {

constexpr uint32_t kMaxFound = 32;
// Hierarchies larger than this start loading the first lines of every child before a node's boxes
// are tested, a step ahead of the search: 8-15% faster rays on our 510k-triangle levels (26 MB),
// 2-5% slower on a 32k one (1.7 MB), whose hierarchy mostly stays in the processor's caches.
constexpr size_t kLoadAheadBytes = size_t{4} << 20;

struct FoundHit {
    uint32_t position;
    RayTriangleHit hit;
};

struct RaySearch {
    const MeshAccel *accel;
    SegmentProbe probe;
    Vec3 from, to, dir;
    float bound; // the nearest distance before this mesh
    float cut;   // no triangle beyond this can be the answer
    float slop;  // widening for the ray's own rounding
    FoundHit found[kMaxFound]; // no two where one dominates the other, every key below the cut
    uint32_t foundCount;
    uint32_t foundMost;  // the most the found list held at once
    float droppedNear;   // the smallest t of found triangles let go with key >= the cut
    uint32_t tested;
    uint32_t nodes;
    uint32_t leaves;
    uint32_t items;
    bool overflow;  // the stack is full (a hierarchy too deep): the search gives up
    bool loadAhead; // the hierarchy exceeds kLoadAheadBytes
};

struct StackEntry {
    uint32_t ref;
    float margin;
    float entry;
};

// A cut strictly above key, which is positive and finite here (d > 0, and below a cut under 1e12 as
// HitReach shows).
float Above(float key) {
    return std::max(key * (1.0f + 1e-6f), NextFloatUp(key));
}

// Lets go of found hit k, keeping its t if it can still matter (key >= the cut).
void LetGo(RaySearch &rs, uint32_t k, bool dominated) {
    if (!dominated) {
        rs.droppedNear = std::min(rs.droppedNear, rs.found[k].hit.t);
    }
    rs.found[k] = rs.found[--rs.foundCount];
}

// Records a triangle's hit nearer than the bound, lowering the cut, and lets go of what can no
// longer change the answer (see the top of the file); false only if the found list were full.
bool Record(RaySearch &rs, uint32_t position, const RayTriangleHit &hit) {
    if (!(hit.key < rs.bound)) {
        return true;
    }
    rs.cut = std::min(rs.cut, Above(hit.key));
    if (!(hit.key < rs.cut)) {
        rs.droppedNear = std::min(rs.droppedNear, hit.t);
        return true;
    }
    for (uint32_t k = rs.foundCount; k-- > 0;) {
        const FoundHit &f = rs.found[k];
        if (f.position < position && f.hit.key <= hit.key) {
            return true; // the new hit is dominated (and, by the invariant, dominates none)
        }
        if (!(f.hit.key < rs.cut)) {
            LetGo(rs, k, false);
        } else if (position < f.position && hit.key <= f.hit.key) {
            LetGo(rs, k, true);
        }
    }
    if (rs.foundCount == kMaxFound) {
        rs.overflow = true;
        return false;
    }
    rs.found[rs.foundCount++] = FoundHit{position, hit};
    rs.foundMost = std::max(rs.foundMost, rs.foundCount);
    return true;
}

bool BeyondCut(const RaySearch &rs, float entry) {
    return entry > rs.cut + 1e-6f * (std::fabs(entry) + rs.cut);
}

// Bit k set where item group + k of `chosen` repeats the corners of the item before it in its
// leaf (first..): a twin of lower position, tested or passed over by this search, which keeps
// every tie the copy could reach.
uint32_t RepeatedItems(const AccelItem *items, uint32_t first, uint32_t group, uint32_t chosen) {
    uint32_t repeated = 0;
    for (uint32_t left = chosen; left != 0; left &= left - 1) {
        const uint32_t k = LowestBit(left);
        const uint32_t i = group + k;
        if (i > first && TwinOf(items[i - 1], items[i])) {
            repeated |= 1u << k;
        }
    }
    return repeated;
}

// The static tests on the items of a leaf whose boxes the ray reaches before the cut, four at a
// time: the box tests, the grown-box test among them, then the exact test on those kept. A finite
// leaf margin means finite corners in every item (ItemMargin); an infinite one skips no item.
void SearchLeaf(RaySearch &rs, uint32_t ref, float margin) {
    const float grow = margin + rs.slop;
    const bool finite = margin < std::numeric_limits<float>::infinity();
    const uint32_t first = ref >> kChildCountBits;
    const uint32_t end = first + (ref & kChildCountMask);
    rs.items += ref & kChildCountMask;
    for (uint32_t group = first; group < end; group += 4) {
        const AccelItem *items = &rs.accel->items[group];
        const uint32_t count = std::min<uint32_t>(4, end - group);
        if (!finite) {
            for (uint32_t k = 0; k < count; ++k) {
                rs.tested += 1;
                RayTriangleHit hit;
                const Vec3 *c = items[k].corner;
                if (RayTriangleTest(rs.from, rs.to, rs.dir, c[0], c[1], c[2], &hit) &&
                    !Record(rs, items[k].position, hit)) {
                    return;
                }
            }
            continue;
        }
        uint32_t chosen = ItemsForRayTest(rs.probe, items, count, grow, rs.cut, rs.from, rs.to);
        if (chosen == 0) {
            continue;
        }
        // Seldom three of four near a ray (two, about a shared edge), save copies of one triangle.
        if (BitCount4(chosen) > 2) {
            chosen &= ~RepeatedItems(rs.accel->items, first, group, chosen);
        }
        rs.tested += BitCount4(chosen);
        RayTriangleHit hits[4];
        const uint32_t passed = RayTrianglesFour(rs.from, rs.dir, items, count, chosen, hits);
        for (uint32_t left = passed; left != 0; left &= left - 1) {
            const uint32_t k = LowestBit(left);
            if (!Record(rs, items[k].position, hits[k])) {
                return;
            }
        }
    }
}

// The bytes of a child: its node, or its leaf's items; and where the array holding them ends.
// (Chosen without a branch: which children are leaves follows no pattern.)
struct ChildBytes {
    uintptr_t start, end, arrayEnd;
};
ChildBytes BytesOf(const MeshAccel *accel, uint32_t ref) {
    const uint32_t index = ref >> kChildCountBits;
    const uint32_t count = ref & kChildCountMask;
    const uintptr_t node = reinterpret_cast<uintptr_t>(&accel->nodes[index]);
    const uintptr_t items = reinterpret_cast<uintptr_t>(&accel->items[index]);
    const uintptr_t start = count == 0 ? node : items;
    return ChildBytes{start, start + (count == 0 ? sizeof(AccelNode) : count * sizeof(AccelItem)),
                      count == 0 ? reinterpret_cast<uintptr_t>(accel->nodes + accel->nodeCount)
                                 : reinterpret_cast<uintptr_t>(accel->items + accel->itemCount)};
}

// The children of a node that the ray reaches, nearest first: the nearest becomes *next, the
// others go on the stack, the farthest deepest. False when it reaches none, or the stack is full.
bool DescendNode(RaySearch &rs, const AccelNode &node, StackEntry *stack, uint32_t *depth,
                 StackEntry *next) {
    // The search waits on memory more than it computes. In a large hierarchy the first two lines
    // of every child (its node, or its first items) start loading before the boxes are tested, as
    // the nearest reached child is entered right after; the rest of a reached child's lines, or
    // in a small hierarchy all of them, while its siblings are decided.
    // (The second line is the next in the array even past the child: a leaf's neighbour, which
    // the search often enters next.)
    const uint32_t loaded = rs.loadAhead ? 2 : 0; // lines of every child already asked for
    for (uint32_t k = 0; k < kAccelWidth && loaded > 0; ++k) {
        const ChildBytes bytes = BytesOf(rs.accel, node.ref[k]);
        LoadSoon(bytes.start);
        LoadSoon(std::min(NextLineAddress(bytes.start), bytes.arrayEnd - 1));
    }
    float entry[kAccelWidth];
    uint32_t twinsOnly = 0;
    const uint32_t reached =
        SegmentReachesChildren(rs.probe, node, rs.slop, rs.cut, entry, &twinsOnly) & ~twinsOnly;
    StackEntry e[kAccelWidth];
    uint32_t n = 0;
    for (uint32_t left = reached; left != 0; left &= left - 1) {
        const uint32_t k = LowestBit(left);
        // Farthest first: insertion by entry, descending.
        uint32_t at = n++;
        for (; at > 0 && e[at - 1].entry < entry[k]; --at) {
            e[at] = e[at - 1];
        }
        e[at] = StackEntry{node.ref[k], std::fabs(node.margin[k]), entry[k]};
        // Every line of the child's bytes past those already asked for.
        const ChildBytes bytes = BytesOf(rs.accel, node.ref[k]);
        LoadLinesSoon(bytes.start, bytes.end, loaded);
    }
    if (n == 0) {
        return false;
    }
    if (*depth + n - 1 > kAccelStackDepth) {
        rs.overflow = true;
        return false;
    }
    for (uint32_t k = 0; k + 1 < n; ++k) {
        stack[(*depth)++] = e[k];
    }
    *next = e[n - 1];
    return true;
}

// The nearest entry on the stack still before the cut; false when none is left.
bool PopNext(const RaySearch &rs, const StackEntry *stack, uint32_t *depth, StackEntry *next) {
    while (*depth > 0) {
        *next = stack[--*depth];
        if (!BeyondCut(rs, next->entry)) {
            return true;
        }
    }
    return false;
}

// Nearest boxes first, straight down to the nearest reached child of each node, without the
// stack's check against the cut (whose slack differs from the box test's: a child may be searched
// that the check would have dropped, which costs work, never the answer); false when the search
// cannot finish (too deep, too many hits).
bool Traverse(RaySearch &rs) {
    StackEntry stack[kAccelStackDepth];
    uint32_t depth = 0;
    float entry = 0.0f;
    const ChildRef &root = rs.accel->root;
    if (!SegmentReachesBox(rs.probe, root.box, root.margin + rs.slop, rs.cut, &entry)) {
        return true;
    }
    StackEntry current{root.ref, root.margin, entry};
    for (;;) {
        bool descended = false;
        if ((current.ref & kChildCountMask) > 0) {
            rs.leaves += 1;
            SearchLeaf(rs, current.ref, current.margin);
        } else {
            rs.nodes += 1;
            descended = DescendNode(rs, rs.accel->nodes[current.ref >> kChildCountBits], stack,
                                    &depth, &current);
        }
        if (rs.overflow) {
            return false;
        }
        if (!descended && !PopNext(rs, stack, &depth, &current)) {
            return true;
        }
    }
}

// The scan's decisions over the found triangles in list order (see the top of the file).
bool Replay(RaySearch &rs, AccelRayHit *out) {
    const float x = rs.cut;
    if (rs.droppedNear < x) {
        return false;
    }
    for (uint32_t k = 0; k < rs.foundCount; ++k) {
        const RayTriangleHit &h = rs.found[k].hit;
        if (h.t < x && !(h.key < x)) {
            return false;
        }
    }
    // At most 16 hits (see the top of the file): an insertion sort, by their distinct positions.
    for (uint32_t k = 1; k < rs.foundCount; ++k) {
        const FoundHit f = rs.found[k];
        uint32_t at = k;
        for (; at > 0 && rs.found[at - 1].position > f.position; --at) {
            rs.found[at] = rs.found[at - 1];
        }
        rs.found[at] = f;
    }
    float nearest = rs.bound;
    for (uint32_t k = 0; k < rs.foundCount; ++k) {
        const RayTriangleHit &h = rs.found[k].hit;
        if (h.key < nearest) {
            nearest = h.t;
            out->hit = 1;
            out->distance = h.t;
            out->position = h.position;
            out->normal = h.normal;
        }
    }
    return true;
}

// Beyond what distance no triangle of the mesh can be hit (+infinity where that is unknown): a
// long ray costs what it crosses, not its length. A hit point p = from + t dir passed
// PointInTriangle, so it lies within its triangle's margin of the triangle's box (mesh_accel.cpp),
// so within the root's margin of the root's box: each |p_a| <= m, the box's largest coordinate
// plus that margin. On dir's largest axis (at least 1/sqrt(3) of a unit vector) t |dir_a| is
// within rounding of p_a - from_a, so t <= sqrt(3) (m + |from|max) and a few roundings; d, the
// start's distance from the plane, is as bounded. So every key lies below 2 (m + |from|max), and a
// cut there leaves every hit in: the triangles the cut skips have none, so the scan records
// nothing from them either, and the slop may be taken for this reach instead of the ray's length.
// Infinite or NaN extents or margin (a sliver's) answer +infinity: no clip.
float HitReach(const ChildRef &root, float reach) {
    double m = 0.0;
    for (int a = 0; a < 3; ++a) {
        m = std::max({m, std::fabs(static_cast<double>(root.box.lo[a])),
                      std::fabs(static_cast<double>(root.box.hi[a]))});
    }
    const double limit = 2.0 * (m + static_cast<double>(root.margin) + reach) * (1.0 + 1e-6);
    return limit < 1e30 ? static_cast<float>(limit) : std::numeric_limits<float>::infinity();
}

} // namespace

bool MeshAccelRay(const MeshShape *mesh, const Matrix4 &world, const Vec3 &from, const Vec3 &to,
                  const Vec3 &dir, float bound, AccelRayHit *out) {
    *out = AccelRayHit{0, 0.0f, {0, 0, 0}, {0, 0, 0}, 0, 0, 0, 0, 0};
    RaySearch rs;
    if (!SetUpProbe(&rs.probe, from, dir)) {
        return false;
    }
    // Every hit has t >= 0 and d > 0: nothing is nearer than a bound of 0 or below.
    if (!(bound > 0.0f)) {
        return true;
    }
    const MeshAccel *accel = MeshAccelFor(mesh, world);
    // A hierarchy in its mesh's own frame (a moving mesh) leaves rays to its candidate search.
    if (accel == nullptr) {
        return false;
    }
    if (accel->own != 0) {
        Stats.accelOwnFrameRays += 1;
        return false;
    }
    const float reach = std::max({std::fabs(from.x), std::fabs(from.y), std::fabs(from.z)});
    // (A length of 1 or more was no sum of subnormal squares: dir is a unit vector to a few u.)
    const float cut = bound >= 1.0f ? std::min(bound, HitReach(accel->root, reach)) : bound;
    if (!(cut < kProbeLimit)) {
        return false;
    }
    rs.accel = accel;
    rs.from = from;
    rs.to = to;
    rs.dir = dir;
    rs.bound = bound;
    rs.cut = cut;
    rs.slop = 128.0f * static_cast<float>(kUnitRoundoff) * (1.0f + 2.0f * reach + 2.0f * cut) * (1.0f + 1e-6f);
    rs.foundCount = 0;
    rs.foundMost = 0;
    rs.droppedNear = std::numeric_limits<float>::infinity();
    rs.tested = 0;
    rs.nodes = 0;
    rs.leaves = 0;
    rs.items = 0;
    rs.overflow = false;
    rs.loadAhead = accel->nodeCount * sizeof(AccelNode) + accel->itemCount * sizeof(AccelItem) >
                   kLoadAheadBytes;
    const bool answered = Traverse(rs) && Replay(rs, out);
    out->tested = rs.tested;
    out->nodes = rs.nodes;
    out->leaves = rs.leaves;
    out->items = rs.items;
    out->found = rs.foundMost;
    return answered;
}

} // namespace vor
