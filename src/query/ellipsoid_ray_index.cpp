// A per-type tree of boxes round the active ellipsoids at their resolved positions, kept current
// as bodies move, and the ray query that walks it.
//
// Why no result can change. The scan calls RayAgainstObject for each active object of the type in
// activation order. An object whose ellipsoid fails one of the rejection tests of UnitRayEntry
// changes nothing (the hit body cannot be it, so not even the hit object is touched), and those
// tests read only the ray, the radii and the centre, never the best hit so far. Here an object is
// left out in two ways. (1) Its box, centre +- (radius + 1e-6 (|centre| + radius)), lies past the
// segment's box, widened by 1e-6 times each end's magnitude, on some axis. Then on that axis both
// ends satisfy a < c - r - 1e-6 (|a| + |c| + r) (or the mirror), and rounding to nearest moves
// a / r, c / r and c / r - 1 by at most u |a| / r, u |c| / r and u (|c| / r + 1) with u = 2^-24:
// the rounded a / r stays below the rounded m - 1, since 1e-6 > (2 + u) u, and the cube test
// rejects. The r term also covers underflow, and the range limits below keep every quotient
// finite. A tree node's box holds its leaves' boxes (float minima and maxima, exact), and a
// leaf's box holds the object's box (made round it, rounded outwards, and kept only while the
// object's box, compared in doubles, still lies in it), so a node past the segment's box holds
// only such objects. (2) UnitRayEntry itself rejects it, run on the same radii, the same centre
// (the leaf holds the resolved position's bits) divided by them, and the same ray, so with the
// same bits as the object's own test. The rest are recorded in activation order (ActiveEntry
// order, which grows along ActiveList) as RayAgainstObject would record them: its UnitRayEntry,
// run on those same bits, would pass again with the same entry, so the walk's distance from it
// goes to the code that follows that test there (RayAgainstEllipsoidEntered), with the leaf's
// centre. So they record the same hits in the same order: the same nearest hit, the same first
// object among equal distances, the same negative distance for a ray from inside. Objects whose centre or radii lie outside the limits get a box of
// all space and are met by every ray; rays whose ends lie outside them go to the scan.
//   (3) A node is also left out when the ray's whole line misses its box grown by an allowance
// (LineReachesFour), as no object inside can then pass UnitRayEntry's line distance test. In the
// unit-sphere space of an object (u = 2^-24), that test passes only where the distance, in exact
// arithmetic, from f + p (p the rounded m - f) to the line through the rounded f along the rounded
// dir is at most sqrt(1 + 1e-6 + 2e-15 p.p) <= 1 + 0.5e-6 + 1e-15 p.p: where the rounded distance
// is clearly below 1 it is within doubt p.p of that exact one, and elsewhere the doubles decide
// within their slack. Mapped back by the radii, that line runs through from within u |from| on
// each axis, along the world direction within 16u (each component of dir times its radius is off
// by a few roundings of its own, those of to - from, of the scaling to unit length, of the
// division and of Normalize), and f + p is c within u (|c| + |c - from|) on each axis. So the world
// line meets the ellipsoid at c with radii (1 + e) r, e = 0.5e-6 + 1e-15 p.p, moved by at most
// 17u |c - from| + u (|from| + |c|) on each axis, and with it that much round the box
// c +- (1 + e) r, which lies in the object's box (c +- RayBoxReach) grown by e rmax. With |c -
// from| bounded by far (the cube test keeps only centres within the segment's box and a radius of
// it), |p| by far / rmin, and rmax and rmax / rmin^2 taken at their largest over the tree, that is
// below half the allowance. (Where Normalize makes dir zero, radii of 5e4 or more, the test
// passes only with p.p <= 1, from within the ellipsoid, so the line meets its box anyway.) The
// allowance is reckoned in doubles; the test itself runs in floats, four boxes at once, and keeps
// every box the exact line meets so grown, and every node holding one (ray_line_lanes.h).
//   (4) Nodes go nearest first, and a node is left out when no hit inside it can come nearer than
// one found: its `nearest` (LineReachesFour), the parameter where the line enters its box grown by
// nearGrow (taken no later than the exact one) times the ray's length, less two millionths, exceeds
// the smallest distance found so far, EllipsoidHitDistance of an object that passed UnitRayEntry
// (the very value the ray test computes). Every object so left out would give a larger distance, so
// the scan records it at most on the way to that smaller one, which then replaces it: the same
// object wins, the first in activation order at the smallest distance, and the rest still go
// through RayAgainstObject in that order. Why its distance is no smaller: the entry point X = f +
// entry dir lies within 1 + e' of f + p, e' = min(2.2e-5 p.p, 4.7e-3 |p|) + 2e-5 |p| + 1e-10 p.p +
// 1e-6 (its squared distance is at most q + (1 - q) plus the error of q, at most doubt p.p with
// doubt <= 20u + 2e-5, and of a, (5e-6 + 3u) |p|, twice; sqrt(1 + x) <= 1 + min(x / 2, sqrt x));
// mapped back by the radii it lies in the object's box grown by e' rmax and the roundings of (3),
// and from + dist dir lies within 3u (|from| + |to| + |X - from|) + 8u length + (2 |p| + 2)(16u +
// 5e-6) rmax + 2u (|from| + |to|) rmax / rmin of it (|entry| <= |t - f|, the roundings of the
// quotient and of dir, dir's length, and |t - f| itself, whose ends are rounded apart: where the
// axis of the smallest radius carries it and moves little, it can be off by u (|from| + |to|) /
// rmin, which moves dist by that times rmax): so on the line inside the node's box grown by
// nearGrow, at a parameter no smaller than where the line enters it. (With a radius of 5e4 or more
// in the tree, dir can be the zero vector, which says nothing of where the hit lies: then no node
// is left out so.) That holds for distances from a positive entry; a ray so short beside a radius
// that its squared length in the unit-sphere space underflows to 0 can pass UnitRayEntry from a
// point it touches and get a distance of -infinity, below any bound. So only a positive distance
// found leaves nodes out: a distance of 0 or less comes from an entry at or behind from, and from
// then lies in the object's box grown by nearGrow, so the object's node and every node above it
// have a nearest of 0 or less, which nothing leaves out.
//
// Why the tree is current when a ray reads it. Everything a leaf holds (activation, type, first
// ellipsoid, radii, resolved position, activation order) changes only through commands that name
// the object in ChangedObjects, or through a pass, which raises BodiesMovedByPass; the pass's
// caller and every ray take both in first. A leaf whose new box still lies in its grown box keeps
// its place and takes the new centre; one that leaves it is taken out and put in again.
//
// Why the cost stays bounded. A tree is first built over the type's bodies at once, split at
// medians (as shallow as a binary tree can be, and tighter than one grown body by body: a ray
// through a still crowd of 1,000 took 15 nodes from its stack instead of 22); after that, insertion
// and removal rebalance every node on the way up (AVL rotations, as in the common dynamic box
// trees), so the height stays within about 1.44 log2 of the leaves whatever the order of insertion;
// the traversal stack grows with the tree, never overflows into a scan; a leaf's grown box is its
// box plus its largest radius, and up to sixteen of its latest steps ahead of it (at most four
// radii), so a body walking at a fraction of its size a frame is moved in the tree once in many
// frames.
#include "query/ellipsoid_ray_index.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "body/registry.h"
#include "body/transforms.h"
#include "core/scene_epoch.h"
#include "core/search_limits.h"
#include "core/stats.h"
#include "core/thresholds.h"
#include "math/float_steps.h"
#include "query/ray_box.h"
#include "query/ray_cast.h"
#include "query/ray_line_lanes.h"
#include "query/unit_sphere_ray.h"

namespace vor {

// The records of the tree (module_state.h names TypeRayIndex, so these live outside the file's
// anonymous namespace).

// Up to four nodes a ray tests together, their boxes lane by lane (lanes past those in use repeat
// the first).
struct RayIndexBelow {
    float lo[3][4], hi[3][4];
    int32_t node[4];
};

// What a leaf holds: one object with its centre and radii as its ray test reads them, and its
// activation order.
struct RayIndexLeaf {
    Vec3 centre;
    Vec3 radii;
    uint64_t order;
    uint32_t object;
    float entered; // the distance UnitRayEntry gave, set when a ray's walk keeps it for the scan
    uint8_t noted; // its radii are in the tree's maxima
    // Where the body can move while its box stays in the leaf's box for sure: it then keeps its
    // place without the test in doubles (a walking crowd kept its trees current in 17% fewer
    // instructions). Made when the body is first found still in a new box, so that a body jumping
    // from box to box, and a tree's build, pay nothing for it.
    KeepWindow keep;
};

// A node of three cache lines, laid out so that a ray taking it from the stack reads two: an inner
// node's boxes below with its count and links, or a leaf's object with its links. (Nodes of about
// 200 bytes at any place made a ray through a crowd of 4,000 read three or four lines a node.)
// Inner node: two children, and the nodes a ray tests together below it (each child that is a
// leaf and both children of each that is not), belowCount of them; 0: not set since the node last
// changed. Leaf (left < 0): `leaf`, and a box grown round its object's own box.
struct alignas(64) RayIndexNode {
    union {
        RayIndexBelow below;
        RayIndexLeaf leaf;
    };
    uint32_t belowCount;
    int32_t left, right;
    int32_t height; // 0 for a leaf
    int32_t parent;
    RayIndexBox box; // a leaf's grown box
};
static_assert(sizeof(RayIndexNode) == 192 && offsetof(RayIndexNode, height) + 4 <= 128,
              "a ray reads a node's first two lines");

struct TypeRayIndex {
    int32_t root;
    RayIndexNode *nodes; // on a 64-byte boundary in nodeBlock
    void *nodeBlock;
    uint32_t nodeCapacity;
    int32_t freeList; // unused nodes, chained through parent
    uint32_t leafCount;
    // Over every leaf placed within the limits since the tree was made (they only grow): the
    // largest radius, rmax / rmin and rmax / rmin^2, for the line test's rounding allowances.
    double radiusMost, ratioMost, squashMost;
    double boxMost;               // the widest, on any axis, of the finite leaf boxes placed
    int32_t leafOf[kObjectSlots]; // node of each object number, -1 when not in the tree
};

namespace {

constexpr int32_t kNone = -1;
constexpr double kLargestNearestRadius = 5e4; // larger radii: no nearest-first exit, see LineOf
const EllipsoidShape *FirstEllipsoid(const CollisionBody *body) {
    for (ListLink *l = body->shapes.head; l != nullptr; l = l->next) {
        ShapeHead *shape = MemberOf<ShapeHead>(l);
        if (shape->kind == kEllipsoidKind) {
            return AsEllipsoid(shape);
        }
    }
    return nullptr;
}

RayIndexBox Union(const RayIndexBox &a, const RayIndexBox &b) {
    RayIndexBox u;
    for (int axis = 0; axis < 3; ++axis) {
        u.lo[axis] = std::min(a.lo[axis], b.lo[axis]);
        u.hi[axis] = std::max(a.hi[axis], b.hi[axis]);
    }
    return u;
}

// Half the surface: the insertion's cost of a box (infinite for the boxes of all space).
double Perimeter(const RayIndexBox &b) {
    const double x = static_cast<double>(b.hi[0]) - b.lo[0];
    const double y = static_cast<double>(b.hi[1]) - b.lo[1];
    const double z = static_cast<double>(b.hi[2]) - b.lo[2];
    return x * y + y * z + z * x;
}

bool SameBits(const Vec3 &a, const Vec3 &b) {
    return std::memcmp(&a, &b, sizeof(Vec3)) == 0;
}

// The types that have a tree, so that a change visits only those.
int32_t LiveTypes[kCollisionTypeCount];
uint32_t LiveTypeCount = 0;

template <typename T> bool Grow(T **array, uint32_t *capacity, uint32_t n) {
    if (n <= *capacity) {
        return true;
    }
    const uint32_t grown = std::max(n, *capacity * 2);
    T *p = static_cast<T *>(std::realloc(*array, sizeof(T) * grown));
    if (p == nullptr) {
        return false;
    }
    *array = p;
    *capacity = grown;
    return true;
}

// Room for `capacity` nodes on a 64-byte boundary, the nodes so far copied over; false without
// memory.
bool GrowNodes(TypeRayIndex *index, uint32_t capacity) {
    void *block = std::malloc(sizeof(RayIndexNode) * static_cast<size_t>(capacity) + 64);
    if (block == nullptr) {
        return false;
    }
    const uintptr_t at = (reinterpret_cast<uintptr_t>(block) + 63) & ~uintptr_t{63};
    RayIndexNode *nodes = reinterpret_cast<RayIndexNode *>(at);
    if (index->nodeCapacity > 0) {
        std::memcpy(static_cast<void *>(nodes), index->nodes,
                    sizeof(RayIndexNode) * static_cast<size_t>(index->nodeCapacity));
    }
    std::free(index->nodeBlock);
    index->nodeBlock = block;
    index->nodes = nodes;
    index->nodeCapacity = capacity;
    return true;
}

// Room for `capacity` nodes, the new ones put on the free list (which is empty); false without
// memory.
bool ReserveNodes(TypeRayIndex *index, uint32_t capacity) {
    const uint32_t used = index->nodeCapacity;
    if (!GrowNodes(index, capacity)) {
        return false;
    }
    for (uint32_t k = used; k < index->nodeCapacity; ++k) {
        index->nodes[k].parent = k + 1 < index->nodeCapacity ? static_cast<int32_t>(k + 1) : kNone;
    }
    index->freeList = static_cast<int32_t>(used);
    return true;
}

int32_t AllocateNode(TypeRayIndex *index) {
    if (index->freeList == kNone &&
        !ReserveNodes(index, std::max(index->nodeCapacity + 16, index->nodeCapacity * 2))) {
        return kNone;
    }
    const int32_t node = index->freeList;
    index->freeList = index->nodes[node].parent;
    RayIndexNode &n = index->nodes[node];
    n.parent = n.left = n.right = kNone;
    n.height = 0;
    n.belowCount = 0;
    return node;
}

void FreeNode(TypeRayIndex *index, int32_t node) {
    index->nodes[node].parent = index->freeList;
    index->nodes[node].height = -1;
    index->freeList = node;
}

// The nodes below an inner node that a ray tests together, with their boxes (see RayIndexNode). A
// box holds its children's, so testing theirs alone leaves out no object the child's own test
// would have kept.
void SetBelow(TypeRayIndex *index, RayIndexNode &n) {
    RayIndexBelow &below = n.below;
    uint32_t count = 0;
    for (const int32_t child : {n.left, n.right}) {
        const RayIndexNode &c = index->nodes[child];
        if (c.left == kNone) {
            below.node[count++] = child;
        } else {
            below.node[count++] = c.left;
            below.node[count++] = c.right;
        }
    }
    for (uint32_t k = count; k < 4; ++k) {
        below.node[k] = below.node[0];
    }
    for (uint32_t k = 0; k < 4; ++k) {
        const RayIndexBox &b = index->nodes[below.node[k]].box;
        for (int axis = 0; axis < 3; ++axis) {
            below.lo[axis][k] = b.lo[axis];
            below.hi[axis][k] = b.hi[axis];
        }
    }
    n.belowCount = count;
}

// An inner node's box and height from its children as they now stand, the boxes below it left to
// the next ray that reaches it: a body moving in the tree refits every node above it, most of which
// no ray opens before the next move (a crowd walking with 16 rays by type a frame kept its trees
// current in 11.7% of its passes' instructions; setting the boxes below here made it 14.1%).
void Refit(TypeRayIndex *index, int32_t node) {
    RayIndexNode &n = index->nodes[node];
    const RayIndexNode &l = index->nodes[n.left];
    const RayIndexNode &r = index->nodes[n.right];
    n.box = Union(l.box, r.box);
    n.height = 1 + std::max(l.height, r.height);
    n.belowCount = 0;
}

void ReplaceChild(TypeRayIndex *index, int32_t parent, int32_t from, int32_t to) {
    if (parent == kNone) {
        index->root = to;
    } else if (index->nodes[parent].left == from) {
        index->nodes[parent].left = to;
    } else {
        index->nodes[parent].right = to;
    }
}

// A rotation at node a when its children's heights differ by more than one, and then at a again
// where it went down, until the subtree is balanced; answers the node now standing in a's place.
// (A body may be taken in beside an inner node, not only beside a leaf: its new parent then leans
// by that node's height, which one rotation only halves.)
int32_t Balance(TypeRayIndex *index, int32_t a) {
    RayIndexNode *nodes = index->nodes;
    if (nodes[a].left == kNone || nodes[a].height < 2) {
        return a;
    }
    const int32_t b = nodes[a].left;
    const int32_t c = nodes[a].right;
    const int32_t lean = nodes[c].height - nodes[b].height;
    if (lean > 1 || lean < -1) {
        // The taller child x rises; its taller child stays with it, the shorter goes down to a.
        const int32_t x = lean > 1 ? c : b;
        const int32_t f = nodes[x].left;
        const int32_t g = nodes[x].right;
        const int32_t keep = nodes[f].height > nodes[g].height ? f : g;
        const int32_t give = keep == f ? g : f;
        nodes[x].parent = nodes[a].parent;
        ReplaceChild(index, nodes[a].parent, a, x);
        nodes[a].parent = x;
        nodes[x].left = a;
        nodes[x].right = keep;
        if (x == c) {
            nodes[a].right = give;
        } else {
            nodes[a].left = give;
        }
        nodes[give].parent = a;
        Refit(index, a);
        Balance(index, a); // under x, so a rotation there relinks it to x
        Refit(index, x);
        return x;
    }
    return a;
}

// Refits and rebalances from node up towards the root (children first, so heights are current).
void WalkUp(TypeRayIndex *index, int32_t node) {
    while (node != kNone) {
        const RayIndexBox box = index->nodes[node].box;
        const int32_t height = index->nodes[node].height;
        Refit(index, node);
        const int32_t now = Balance(index, node);
        const RayIndexNode &n = index->nodes[now];
        // Nothing above reads what changed below an unrotated node whose box and height come out
        // as they were, save its parent's boxes below, which hold its children's.
        if (now == node && n.height == height && std::memcmp(&n.box, &box, sizeof box) == 0) {
            if (n.parent != kNone) {
                index->nodes[n.parent].belowCount = 0;
            }
            return;
        }
        node = n.parent;
    }
}

// Takes leaf into the tree beside the sibling whose union with it costs least to descend into.
bool InsertLeaf(TypeRayIndex *index, int32_t leaf) {
    RayIndexNode *nodes = index->nodes;
    if (index->root == kNone) {
        index->root = leaf;
        nodes[leaf].parent = kNone;
        return true;
    }
    const RayIndexBox box = nodes[leaf].box;
    // The costs of the node descended into were worked out one level up (area, joined).
    int32_t at = index->root;
    double area = Perimeter(nodes[at].box);
    double joined = Perimeter(Union(nodes[at].box, box));
    while (nodes[at].left != kNone) {
        const double here = 2.0 * joined;
        const double inherited = 2.0 * (joined - area);
        double cost[2], grown[2], own[2];
        const int32_t child[2] = {nodes[at].left, nodes[at].right};
        for (int k = 0; k < 2; ++k) {
            const RayIndexNode &c = nodes[child[k]];
            grown[k] = Perimeter(Union(c.box, box));
            own[k] = c.left == kNone ? 0.0 : Perimeter(c.box);
            cost[k] = grown[k] - own[k] + inherited;
        }
        if (here < cost[0] && here < cost[1]) {
            break;
        }
        const int k = cost[0] <= cost[1] ? 0 : 1;
        at = child[k];
        area = own[k];
        joined = grown[k];
    }
    const int32_t parent = AllocateNode(index);
    if (parent == kNone) {
        return false;
    }
    nodes = index->nodes;
    const int32_t above = nodes[at].parent;
    nodes[parent].parent = above;
    ReplaceChild(index, above, at, parent);
    nodes[parent].left = at;
    nodes[parent].right = leaf;
    nodes[at].parent = parent;
    nodes[leaf].parent = parent;
    WalkUp(index, parent);
    return true;
}

void RemoveLeaf(TypeRayIndex *index, int32_t leaf) {
    RayIndexNode *nodes = index->nodes;
    if (index->root == leaf) {
        index->root = kNone;
        return;
    }
    const int32_t parent = nodes[leaf].parent;
    const int32_t above = nodes[parent].parent;
    const int32_t sibling = nodes[parent].left == leaf ? nodes[parent].right : nodes[parent].left;
    ReplaceChild(index, above, parent, sibling);
    nodes[sibling].parent = above;
    FreeNode(index, parent);
    WalkUp(index, above);
}

void DropObject(TypeRayIndex *index, uint32_t object) {
    const int32_t leaf = index->leafOf[object];
    if (leaf == kNone) {
        return;
    }
    RemoveLeaf(index, leaf);
    FreeNode(index, leaf);
    index->leafOf[object] = kNone;
    index->leafCount -= 1;
}

// Folds an object's radii into the tree's allowance maxima (objects outside the limits have boxes
// of all space, which the line test always keeps); false for those.
bool NoteRadii(TypeRayIndex *index, const Vec3 &centre, const Vec3 &radii) {
    if (!RayBoxInLimits(centre, radii)) {
        return false;
    }
    const double most = std::max({double(radii.x), double(radii.y), double(radii.z)});
    const double least = std::min({double(radii.x), double(radii.y), double(radii.z)});
    index->radiusMost = std::max(index->radiusMost, most);
    index->ratioMost = std::max(index->ratioMost, most / least);
    index->squashMost = std::max(index->squashMost, most / (least * least));
    return true;
}

// A leaf's box, its width folded into the tree's widest (which only grows, as the radii's maxima).
void SetLeafBox(TypeRayIndex *index, int32_t leaf, const RayIndexBox &box) {
    RayIndexNode &n = index->nodes[leaf];
    n.box = box;
    n.leaf.keep = KeepWindowNotMade();
    for (int axis = 0; axis < 3; ++axis) {
        const double width = static_cast<double>(box.hi[axis]) - box.lo[axis];
        if (width < INFINITY) {
            index->boxMost = std::max(index->boxMost, width);
        }
    }
}

// A leaf for the object, not yet in the tree; kNone without memory.
int32_t NewLeaf(TypeRayIndex *index, uint32_t object, uint64_t order, const Vec3 &centre,
                const Vec3 &radii) {
    const bool noted = NoteRadii(index, centre, radii);
    const int32_t leaf = AllocateNode(index);
    if (leaf == kNone) {
        return kNone;
    }
    RayIndexNode &n = index->nodes[leaf];
    n.leaf.noted = noted ? 1 : 0;
    n.leaf.object = object;
    n.leaf.order = order;
    n.leaf.centre = centre;
    n.leaf.radii = radii;
    SetLeafBox(index, leaf, GrownRayBox(centre, radii, Vec3{0.0f, 0.0f, 0.0f}));
    index->leafOf[object] = leaf;
    index->leafCount += 1;
    return leaf;
}

// Puts the object's leaf where its state now says, or takes it out; false without memory.
bool PlaceObject(TypeRayIndex *index, uint32_t object, uint64_t order, const Vec3 &centre,
                 const Vec3 &radii) {
    int32_t leaf = index->leafOf[object];
    if (leaf != kNone) {
        RayIndexNode &n = index->nodes[leaf];
        n.leaf.order = order;
        const bool sameRadii = SameBits(n.leaf.radii, radii);
        if (sameRadii && n.leaf.noted != 0 && InKeepWindow(n.leaf.keep, centre)) {
            n.leaf.centre = centre;
            return true;
        }
        if (sameRadii && SameBits(n.leaf.centre, centre)) {
            return true;
        }
        // The maxima only grow: radii noted once stay covered.
        if (!sameRadii || n.leaf.noted == 0) {
            n.leaf.noted = NoteRadii(index, centre, radii) ? 1 : 0;
        }
        const Vec3 step = {centre.x - n.leaf.centre.x, centre.y - n.leaf.centre.y,
                           centre.z - n.leaf.centre.z};
        n.leaf.centre = centre;
        n.leaf.radii = radii;
        if (StillInGrownBox(n.box, centre, radii)) {
            if (!sameRadii || !KeepWindowMade(n.leaf.keep)) {
                n.leaf.keep = KeepWindowOf(n.box, centre, radii);
            }
            return true;
        }
        Stats.typeRayLeafMoves += 1;
        RemoveLeaf(index, leaf);
        SetLeafBox(index, leaf, GrownRayBox(centre, radii, step));
        return InsertLeaf(index, leaf);
    }
    leaf = NewLeaf(index, object, order, centre, radii);
    if (leaf == kNone) {
        return false;
    }
    if (!InsertLeaf(index, leaf)) {
        index->leafOf[object] = kNone;
        index->leafCount -= 1;
        FreeNode(index, leaf);
        return false;
    }
    return true;
}

void FreeIndex(TypeRayIndex *index) {
    if (index != nullptr) {
        std::free(index->nodeBlock);
        std::free(index);
    }
}

// The object's state in the tree of its type: placed there and dropped from every other tree.
bool TakeInObject(uint32_t object) {
    const CollisionObject *o = ObjectTable[object];
    const ActiveEntry *active = ActiveTable[object];
    const CollisionBody *body = o != nullptr ? o->body : nullptr;
    const EllipsoidShape *shape =
        body != nullptr && active != nullptr ? FirstEllipsoid(body) : nullptr;
    const int32_t type = shape != nullptr ? body->collisionType : -1;
    bool ok = true;
    for (uint32_t k = 0; k < LiveTypeCount; ++k) {
        const int32_t t = LiveTypes[k];
        TypeRayIndex *index = TypeRayIndexes[t];
        if (t == type) {
            ok = PlaceObject(index, object, active->order, ResolvedPosition(body), shape->radii) &&
                 ok;
        } else {
            DropObject(index, object);
        }
    }
    return ok;
}

// Every leaf of every tree compared with its body after a pass moved bodies, save those of
// objects changed since, which are taken in whole after.
bool CompareEveryLeaf() {
    bool ok = true;
    for (uint32_t k = 0; k < LiveTypeCount; ++k) {
        TypeRayIndex *index = TypeRayIndexes[LiveTypes[k]];
        for (uint32_t object = 1; object < kObjectSlots; ++object) {
            const int32_t leaf = index->leafOf[object];
            if (leaf == kNone || ObjectChanged[object] != 0) {
                continue;
            }
            const CollisionBody *body = ObjectTable[object]->body;
            const RayIndexNode &n = index->nodes[leaf];
            ok = PlaceObject(index, object, n.leaf.order, ResolvedPosition(body), n.leaf.radii) &&
                 ok;
        }
    }
    return ok;
}

// The middle of a box on an axis, for splitting (boxes of all space split at 0).
double Middle(const RayIndexBox &b, int axis) {
    const double m = 0.5 * b.lo[axis] + 0.5 * b.hi[axis];
    return std::isfinite(m) ? m : 0.0;
}

// A leaf as a build splits it: its middles, and per axis a sort key by its middle (as a float, its
// bits turned so that they sort as the values do) then by its node number.
struct BuildLeaf {
    double middle[3];
    uint64_t key[3];
};

BuildLeaf BuildLeafOf(const TypeRayIndex *index, int32_t node) {
    BuildLeaf b;
    for (int axis = 0; axis < 3; ++axis) {
        b.middle[axis] = Middle(index->nodes[node].box, axis);
        const float m = static_cast<float>(b.middle[axis]);
        uint32_t bits;
        std::memcpy(&bits, &m, sizeof bits);
        bits = (bits & 0x80000000u) != 0 ? ~bits : bits | 0x80000000u;
        b.key[axis] = uint64_t{bits} << 32 | static_cast<uint32_t>(node);
    }
    return b;
}

// The leaves of a build: keys[0..n) name them (a key's low half is its node), byNode holds what
// each node's split reads.
struct BuildSet {
    uint64_t *keys;
    const BuildLeaf *byNode;
};

// A balanced subtree over the leaves keys[0..n) name, split in halves by their middles on the axis
// where they spread most (ties by node number, so the split is the same on every target); its
// root, or kNone without memory. (A partition a level instead of the sort gives the same tree, as
// the keys differ, in a fifth fewer instructions for 4,000 bodies, but 1.2 KB more WebAssembly.)
int32_t BuildSubtree(TypeRayIndex *index, BuildSet set, uint32_t n) {
    if (n == 1) {
        return static_cast<int32_t>(set.keys[0] & 0xffffffffu);
    }
    double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (uint32_t k = 0; k < n; ++k) {
        const BuildLeaf &b = set.byNode[set.keys[k] & 0xffffffffu];
        for (int axis = 0; axis < 3; ++axis) {
            lo[axis] = std::min(lo[axis], b.middle[axis]);
            hi[axis] = std::max(hi[axis], b.middle[axis]);
        }
    }
    int axis = 0;
    for (int a = 1; a < 3; ++a) {
        axis = hi[a] - lo[a] > hi[axis] - lo[axis] ? a : axis;
    }
    for (uint32_t k = 0; k < n; ++k) {
        set.keys[k] = set.byNode[set.keys[k] & 0xffffffffu].key[axis];
    }
    std::sort(set.keys, set.keys + n);
    const int32_t left = BuildSubtree(index, set, n / 2);
    const BuildSet upper = {set.keys + n / 2, set.byNode};
    const int32_t right = left == kNone ? kNone : BuildSubtree(index, upper, n - n / 2);
    const int32_t parent = right == kNone ? kNone : AllocateNode(index);
    if (parent == kNone) {
        return kNone;
    }
    RayIndexNode &p = index->nodes[parent];
    p.left = left;
    p.right = right;
    index->nodes[left].parent = parent;
    index->nodes[right].parent = parent;
    Refit(index, parent);
    return parent;
}

// A new tree for the type, with every active object of it, built balanced over them at once.
TypeRayIndex *CreateIndex(int32_t type) {
    TypeRayIndex *index = static_cast<TypeRayIndex *>(std::calloc(1, sizeof(TypeRayIndex)));
    if (index == nullptr) {
        return nullptr;
    }
    index->root = kNone;
    index->freeList = kNone;
    for (int32_t &leaf : index->leafOf) {
        leaf = kNone;
    }
    // Every node the tree will hold at once: a leaf per body and one fewer inner nodes.
    uint32_t bodies = 0;
    for (ListLink *l = ActiveList.head; l != nullptr; l = l->next) {
        const CollisionBody *body = MemberOf<ActiveEntry>(l)->object->body;
        bodies += body->collisionType == type && FirstEllipsoid(body) != nullptr ? 1 : 0;
    }
    uint32_t count = 0;
    bool ok = ReserveNodes(index, 2 * bodies + 16);
    uint64_t *keys = static_cast<uint64_t *>(std::malloc(sizeof(uint64_t) * (bodies + 1)));
    const uint32_t room = index->nodeCapacity;
    BuildLeaf *byNode = static_cast<BuildLeaf *>(std::malloc(sizeof(BuildLeaf) * room));
    ok = ok && keys != nullptr && byNode != nullptr;
    for (ListLink *l = ActiveList.head; ok && l != nullptr; l = l->next) {
        const ActiveEntry *entry = MemberOf<ActiveEntry>(l);
        const CollisionBody *body = entry->object->body;
        const EllipsoidShape *shape = body->collisionType == type ? FirstEllipsoid(body) : nullptr;
        if (shape != nullptr) {
            const int32_t leaf = NewLeaf(index, entry->object->objectNumber, entry->order,
                                         ResolvedPosition(body), shape->radii);
            // Leaves come from the room reserved above, so every node number is within it.
            ok = leaf != kNone && static_cast<uint32_t>(leaf) < room;
            if (ok) {
                byNode[leaf] = BuildLeafOf(index, leaf);
                keys[count++] = byNode[leaf].key[0];
            }
        }
    }
    if (ok && count > 0) {
        index->root = BuildSubtree(index, BuildSet{keys, byNode}, count);
        ok = index->root != kNone;
        if (ok) {
            index->nodes[index->root].parent = kNone;
        }
    }
    std::free(keys);
    std::free(byNode);
    if (!ok) {
        FreeIndex(index);
        return nullptr;
    }
    return index;
}

void DropEveryIndex() {
    for (TypeRayIndex *&index : TypeRayIndexes) {
        FreeIndex(index);
        index = nullptr;
    }
    LiveTypeCount = 0;
}

uint32_t HeightOf(const TypeRayIndex *index) {
    return index->root == kNone ? 0 : static_cast<uint32_t>(index->nodes[index->root].height);
}

// query: the segment's box. An ellipsoid that passes the cube test has its centre within it and
// one radius (and rounding) of it, which bounds the distances the rounding allowances grow with.
RayLine LineOf(const TypeRayIndex *index, const RayResult &ray, const RayIndexBox &query) {
    const double f[3] = {ray.from.x, ray.from.y, ray.from.z};
    const double t[3] = {ray.to.x, ray.to.y, ray.to.z};
    const double reach = 1.01 * index->radiusMost;
    RayLine line;
    double far = 0.0, centres = 0.0, ends = 0.0, squared = 0.0;
    for (int axis = 0; axis < 3; ++axis) {
        line.from[axis] = f[axis];
        const double span = t[axis] - f[axis];
        line.inv[axis] = span != 0.0 ? 1.0 / span : std::copysign(1e300, span);
        squared += span * span;
        far += double(query.hi[axis]) - query.lo[axis] + 2.0 * reach;
        centres +=
            std::max(std::fabs(double(query.lo[axis])), std::fabs(double(query.hi[axis]))) + reach;
        ends += std::fabs(f[axis]) + std::fabs(t[axis]);
    }
    line.length = std::sqrt(squared);
    const double u = kUnitRoundoff;
    const double pp = far * far * index->squashMost; // bounds p.p times rmax
    const double grow =
        2.0 * (0.5e-6 * index->radiusMost + 1e-15 * pp + 17.0 * u * far + u * (ends + centres)) +
        1e-12 * (ends + centres + far);
    // The error of q moves the entry point by at most half of it or its square root (see above).
    const double entryError = std::min(2.2e-5 * pp, 4.7e-3 * far * index->ratioMost) + 1e-10 * pp;
    const double nearGrow =
        grow + 2.0 * (entryError + 4e-5 * far * index->ratioMost + 2e-5 * index->radiusMost +
                      3.0 * u * (ends + centres + far) + 8.0 * u * line.length +
                      2.0 * u * ends * index->ratioMost);
    // Radii from 5e4 up can make the unit direction zero (Normalize), and entry then says nothing
    // about where along the ray the hit lies.
    line.nearest = index->radiusMost < kLargestNearestRadius && nearGrow < INFINITY;
    for (int axis = 0; axis < 3; ++axis) {
        line.widen[axis] = grow * std::fabs(line.inv[axis]);
        line.nearWiden[axis] = nearGrow * std::fabs(line.inv[axis]);
    }
    return line;
}

// Pushes the reached nodes, the nearest on top so that it is walked first.
void PushReached(const int32_t node[4], uint32_t reached, const float nearest[4], uint32_t *depth) {
    TypeRayVisit *base = TypeRayScratch + *depth;
    uint32_t n = 0;
    // Only the reached lanes, in lane order (most steps reach one or two of the four).
    for (uint32_t left = reached; left != 0; left &= left - 1u) {
        const uint32_t k = static_cast<uint32_t>(__builtin_ctz(left));
        const TypeRayVisit v{static_cast<uint32_t>(node[k]), nearest[k]};
        uint32_t at = n++;
        for (; at > 0 && base[at - 1].nearest < v.nearest; --at) {
            base[at] = base[at - 1];
        }
        base[at] = v;
    }
    *depth += n;
}

} // namespace

void SyncEllipsoidRayIndexes() {
    // Nothing changed: the usual case for all rays of a frame but the first.
    if (ChangedObjectCount == 0 && BodiesMovedByPass == 0) {
        return;
    }
    // Without a tree nothing is kept: the changes are dropped, a new tree reads the registry.
    if (LiveTypeCount == 0) {
        for (uint32_t k = 0; k < ChangedObjectCount; ++k) {
            ObjectChanged[ChangedObjects[k]] = 0;
        }
        ChangedObjectCount = 0;
        BodiesMovedByPass = 0;
        return;
    }
    bool ok = true;
    if (BodiesMovedByPass != 0) {
        BodiesMovedByPass = 0;
        ok = CompareEveryLeaf();
    }
    for (uint32_t k = 0; k < ChangedObjectCount; ++k) {
        const uint32_t object = ChangedObjects[k];
        ObjectChanged[object] = 0;
        ok = TakeInObject(object) && ok;
    }
    ChangedObjectCount = 0;
    // Without memory a tree may have missed a change: none is kept, the next ray makes it afresh.
    if (!ok) {
        DropEveryIndex();
    }
}

bool EllipsoidRaysByType(int32_t type) {
    // A ray without length hits nothing, and no object has a type outside 0..100.
    if (!RayHasLength() || type < 0 || type > static_cast<int32_t>(kMaxCollisionType)) {
        return true;
    }
    const RayResult &ray = *LastRay;
    const double a0[3] = {ray.from.x, ray.from.y, ray.from.z};
    const double a1[3] = {ray.to.x, ray.to.y, ray.to.z};
    RayIndexBox query;
    for (int axis = 0; axis < 3; ++axis) {
        if (!(RayBoxInRange(a0[axis]) && RayBoxInRange(a1[axis]))) {
            return false;
        }
        query.lo[axis] = FloatAtOrBelow(std::min(a0[axis] - kRayBoxWiden * std::fabs(a0[axis]),
                                                 a1[axis] - kRayBoxWiden * std::fabs(a1[axis])));
        query.hi[axis] = FloatAtOrAbove(std::max(a0[axis] + kRayBoxWiden * std::fabs(a0[axis]),
                                                 a1[axis] + kRayBoxWiden * std::fabs(a1[axis])));
    }
    SyncEllipsoidRayIndexes();
    TypeRayIndex *&index = TypeRayIndexes[type];
    if (index == nullptr) {
        index = CreateIndex(type);
        if (index == nullptr) {
            return false;
        }
        LiveTypes[LiveTypeCount++] = type;
        Stats.typeRayIndexBuilds += 1;
    }
    const uint32_t stackNeed = 3 * HeightOf(index) + 4;
    if (!Grow(&TypeRayScratch, &TypeRayScratchCapacity, stackNeed) ||
        !Grow(&TypeRayCandidates, &TypeRayCandidateCapacity,
              index->leafCount > 0 ? index->leafCount : 1)) {
        return false;
    }

    // Every object whose box meets the segment's box and the line, nearer nodes first, leaving
    // out nodes that cannot hold a hit nearer than one found, four boxes a step (the children of
    // a node's children). Neighbours mostly share radii, and with them the ray in their
    // unit-sphere space. Each step descends at least one level and leaves at most three entries
    // behind: the stack holds at most 3 height + 1.
    uint32_t count = 0;
    Vec3 unitRadii = {0.0f, 0.0f, 0.0f};
    UnitRay unit = {};
    uint32_t depth = 0;
    const RayLineLanes lanes =
        LanesOfLine(LineOf(index, ray, query), query.lo, query.hi, index->boxMost);
    float nearestCut = INFINITY; // the nearest distance found, but never below 0 (see the top)
    // Tests the nodes below an inner node and pushes those reached.
    const auto openBelow = [&](const RayIndexBelow &below, uint32_t belowCount) {
        Float4 lo[3], hi[3];
        for (int axis = 0; axis < 3; ++axis) {
            lo[axis] = Load4(below.lo[axis]);
            hi[axis] = Load4(below.hi[axis]);
        }
        float nearest[4];
        const uint32_t reached =
            LineReachesFour(lanes, lo, hi, nearest) & ((1u << belowCount) - 1u);
        PushReached(below.node, reached, nearest, &depth);
    };
    // The root's box is not tested on its own: the boxes below it lie inside it, so its test
    // leaves out nothing that theirs keep, and its nearest would be compared with no hit yet. It
    // counts as taken when the walk goes on below it; a lone leaf goes straight to its own test.
    uint64_t opened = 0; // entries taken from the stack
    if (index->root != kNone) {
        RayIndexNode &root = index->nodes[index->root];
        if (root.left == kNone) {
            TypeRayScratch[depth++] = TypeRayVisit{static_cast<uint32_t>(index->root), -INFINITY};
        } else {
            if (root.belowCount == 0) {
                SetBelow(index, root);
            }
            openBelow(root.below, root.belowCount);
            opened += depth > 0 ? 1 : 0;
        }
    }
    while (depth > 0) {
        const TypeRayVisit next = TypeRayScratch[--depth];
        opened += 1;
        if (next.nearest > nearestCut) {
            continue;
        }
        RayIndexNode &n = index->nodes[next.node];
        if (n.left != kNone) {
            if (n.belowCount == 0) {
                SetBelow(index, n);
            }
            openBelow(n.below, n.belowCount);
            continue;
        }
        if (!SameBits(n.leaf.radii, unitRadii)) {
            unitRadii = n.leaf.radii;
            unit = MakeUnitRay(ray, unitRadii);
        }
        float entryDistance = 0.0f, ww = 0.0f;
        if (UnitRayEntry(unit, DivideComponents(n.leaf.centre, n.leaf.radii), &entryDistance,
                         &ww)) {
            TypeRayCandidates[count++] = n.leaf.order << 16 | n.leaf.object;
            n.leaf.entered = EllipsoidHitDistance(entryDistance, ww, ray.length);
            nearestCut = std::max(std::min(nearestCut, n.leaf.entered), 0.0f);
        }
    }

    // The survivors in activation order, recorded as the scan's per-object test would: it would
    // run the same UnitRayEntry on the same bits again (see the top).
    std::sort(TypeRayCandidates, TypeRayCandidates + count);
    Stats.typeRayNodes += opened;
    Stats.typeRayEllipsoids += count;
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t object = static_cast<uint32_t>(TypeRayCandidates[k] & 0xffff);
        const RayIndexLeaf &leaf = index->nodes[index->leafOf[object]].leaf;
        RayAgainstEllipsoidEntered(object, leaf.centre, leaf.entered);
    }
    return true;
}

void FreeEllipsoidRayIndexes() {
    DropEveryIndex();
    std::free(TypeRayScratch);
    TypeRayScratch = nullptr;
    TypeRayScratchCapacity = 0;
    std::free(TypeRayCandidates);
    TypeRayCandidates = nullptr;
    TypeRayCandidateCapacity = 0;
    for (uint32_t k = 0; k < ChangedObjectCount; ++k) {
        ObjectChanged[ChangedObjects[k]] = 0;
    }
    ChangedObjectCount = 0;
    BodiesMovedByPass = 0;
}

size_t EllipsoidRayIndexBytes() {
    size_t bytes =
        TypeRayScratchCapacity * sizeof(TypeRayVisit) + TypeRayCandidateCapacity * sizeof(uint64_t);
    for (const TypeRayIndex *index : TypeRayIndexes) {
        bytes += index == nullptr
                     ? 0
                     : sizeof(TypeRayIndex) + index->nodeCapacity * sizeof(RayIndexNode) + 64;
    }
    return bytes;
}

uint32_t EllipsoidRayIndexHeight(int32_t type) {
    if (type < 0 || type > static_cast<int32_t>(kMaxCollisionType) ||
        TypeRayIndexes[type] == nullptr) {
        return 0;
    }
    return HeightOf(TypeRayIndexes[type]);
}

namespace {

// The height of the subtree at node, each inner node's children's heights compared on the way.
int32_t HeightChecked(const TypeRayIndex *index, int32_t node, uint32_t *lean) {
    const RayIndexNode &n = index->nodes[node];
    if (n.left == kNone) {
        return 0;
    }
    const int32_t l = HeightChecked(index, n.left, lean);
    const int32_t r = HeightChecked(index, n.right, lean);
    *lean = std::max(*lean, static_cast<uint32_t>(l > r ? l - r : r - l));
    return 1 + std::max(l, r);
}

} // namespace

uint32_t EllipsoidRayIndexLean(int32_t type) {
    if (type < 0 || type > static_cast<int32_t>(kMaxCollisionType) ||
        TypeRayIndexes[type] == nullptr || TypeRayIndexes[type]->root == kNone) {
        return 0;
    }
    uint32_t lean = 0;
    HeightChecked(TypeRayIndexes[type], TypeRayIndexes[type]->root, &lean);
    return lean;
}

} // namespace vor
