// The triangle hierarchy of a mesh shape: built on first use from the triangles' world corners,
// taken into the mesh's own frame once its body moves (then moving costs nothing), extended one
// triangle at a time when triangles are added (rebuilt once the additions pass a sixteenth of the
// mesh), and searched for the triangles' rounding margins. The sweep's search is in
// mesh_accel_sweep.cpp, the ray's in mesh_accel_ray.cpp.
//
// Why skipping by distance is exact (the sweep's reach test and the ray's bound): every
// contact or hit the exact tests record has a touch point Q that passed PointInTriangle, or lies on
// an edge or at a corner. In exact arithmetic with the float normal n the test computes, the points
// passing PointInTriangle form the prism over the triangle along n, and Q lies within rounding of
// the plane through the first corner normal to n, so Q is within h of the triangle, h being the
// corners' heights over that plane. The float normal is off by at most about 10u/sin(A1) radians
// (u = 2^-24, A1 the angle at the first corner, from the rounding of the two edges and the cross
// product), so h <= 10u diam/sin(A1). The float PointInTriangle moves each edge out by at most
// about 11u times the point's distance from the corners, and past a corner of angle A two edges so
// moved still meet up to 2/sin(A) times that further out: 22u diam/sin(A) beyond a needle's tip,
// whichever corner the tip is. ItemMargin takes 128u diam/sin(A) with A the sharpest corner (so
// sin(A) <= sin(A1)), four times both together, and gives up (+infinity: the triangle is never
// skipped by distance) where sin(A) < 1e-3.
//   Unit-sphere space divides by the radii (D = diag(1/r)), which stretches lengths by at most
// 1/rmin and can shrink sin(A) by at most k = (rmax/rmin)^2: |De1 x De2| = |cof(D)(e1 x e2)| >=
// |e1 x e2| / (rmid rmax) and |De1||De2| <= |e1||e2| / rmin^2. So there the margin is taken times
// k/rmin, and only for triangles whose sine stays at least 1e-3/64 once shrunk (at smaller sines
// the float normal's first-order error bound above no longer holds): every margin carries the
// least sine class of its triangles (mesh_accel_layout.h), sin(A) >= 1e-3, 1e-2, 1e-1 or 0.5, so
// the lowest class serves radii up to 8 apart, the next up to 25, then 80, then 179 (a mesh of
// right isosceles or equilateral triangles is all of the highest), and a search leaves lower
// classes unskipped. The rest, from the magnitudes of the coordinates and of the step, is each
// search's per-query slack.
#include "mesh/mesh_accel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/module_state.h"
#include "core/search_limits.h"
#include "core/thresholds.h"
#include "mesh/mesh_accel_arrays.h"
#include "mesh/mesh_accel_build.h"
#include "mesh/mesh_accel_layout.h"
#include "mesh/mesh_accel_search.h"
#include "mesh/triangle_twins.h"

namespace vor {

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr double kMarginScale = 128.0 * kUnitRoundoff;

float Axis(const Vec3 &v, int a) {
    return a == 0 ? v.x : (a == 1 ? v.y : v.z);
}

void DropSpread(MeshAccel *accel) {
    SpreadRebuild *s = accel->spread;
    if (s == nullptr) {
        return;
    }
    EndBuild(&s->build);
    ReleaseArrays(&s->fresh);
    std::free(s);
    accel->spread = nullptr;
}

// The hierarchy's arrays and counts as the build left them.
void FinishBuild(MeshAccel *accel, const AccelBuild &b) {
    accel->root = b.made;
    accel->triangleCount = accel->builtCount = b.n;
}

// Room a hierarchy is built with for triangles added later, as an array that runs short is moved
// into a larger one (mesh_accel_arrays.cpp), both held meanwhile: for a mesh that has grown, up to
// a sixteenth more items, about what comes before the hierarchy is rebuilt, and a sixty-fourth
// more nodes; for one not seen growing (a level built once) a quarter of that, so that a mesh that
// never grows holds little it does not use, and one that starts to grow moves its arrays at a
// faster pace (a bounded multiple of what each triangle reserves) until its rebuild gives it the
// full room. Either way as far as the hierarchy stays within the triangles' own memory (less on
// 32-bit targets).
struct SpareRoom {
    uint32_t items, nodes;
};
constexpr uint32_t kStillMeshRoomShare = 4; // a mesh not seen growing gets a quarter of the room

SpareRoom SpareRoomFor(const MeshShape *mesh, bool grown) {
    const uint32_t n = mesh->triangleCount;
    const uint32_t share = grown ? 1 : kStillMeshRoomShare;
    const size_t used = sizeof(MeshAccel) + kNodeAlignment +
                        sizeof(AccelItem) * static_cast<size_t>(n) +
                        sizeof(AccelNode) * (static_cast<size_t>(CountNodes(n)) + 1);
    const size_t room = MeshTriangleBytes(mesh) > used ? MeshTriangleBytes(mesh) - used : 0;
    return SpareRoom{
        static_cast<uint32_t>(std::min<size_t>(n / 16 / share, room / 2 / sizeof(AccelItem))),
        static_cast<uint32_t>(std::min<size_t>(n / 64 / share, room / 2 / sizeof(AccelNode)))};
}

// Builds the hierarchy of the mesh as it now stands; false (and nothing held) when memory runs
// out or the mesh is too large to index.
bool Build(MeshShape *mesh, MeshAccel *accel, const Matrix4 &world) {
    // Grown: the hierarchy it replaces held fewer triangles (a rebuild after many were added).
    const bool grown = accel->triangleCount != 0 && accel->triangleCount < mesh->triangleCount;
    DropSpread(accel);
    ReleaseArrays(accel);
    accel->stale = 0;
    accel->matrix = world;
    const uint32_t n = mesh->triangleCount;
    if (n == 0 || n >= kMaxAccelItems / 2) {
        return false;
    }
    AccelBuild b;
    const SpareRoom spare = SpareRoomFor(mesh, grown);
    SetRoomGiven(accel, spare.items, spare.nodes);
    const bool ok = BeginMeshBuild(&b, accel, mesh, world, spare.items, spare.nodes) &&
                    AdvanceBuild(&b, UINT64_MAX);
    if (ok) {
        FinishBuild(accel, b);
        Stats.accelBuilds += 1;
    } else {
        ReleaseArrays(accel);
    }
    EndBuild(&b);
    return ok;
}

// A leaf's box and margin from its items, and whether it holds twins only, by the items placed
// before it (null: no twins are looked for).
ChildRef FitLeaf(const MeshAccel *accel, uint32_t ref, TwinCache *twins) {
    const uint32_t first = ref >> kChildCountBits;
    const uint32_t end = first + (ref & kChildCountMask);
    ChildRef leaf = {ItemBox(accel->items[first]), ref, kNoMargin, 1};
    for (uint32_t i = first; i < end; ++i) {
        Widen(leaf, ItemBox(accel->items[i]), ItemMargin(accel->items[i]));
        if (twins == nullptr || !PlaceItem(twins, accel->items, i)) {
            leaf.twinsOnly = 0;
        }
    }
    return leaf;
}

// New world matrix, or a change between world corners and the triangles' own (`own`), same
// triangles: the corners again, then every box from the bottom up (a parent always comes before
// its children). False when memory runs out.
bool Refit(const MeshShape *mesh, MeshAccel *accel, const Matrix4 &world, bool own) {
    CancelArrayMoves(accel); // every item and node is rewritten in place
    const MeshTriangle **byPos = static_cast<const MeshTriangle **>(
        std::malloc(sizeof(void *) * static_cast<size_t>(accel->triangleCount)));
    if (byPos == nullptr) {
        return false;
    }
    uint32_t i = 0;
    for (ListLink *l = mesh->triangles.head; i < accel->triangleCount; l = l->next, ++i) {
        byPos[i] = MemberOf<MeshTriangle>(l);
    }
    accel->own = own ? 1 : 0;
    accel->stillWork = 0;
    for (uint32_t k = 0; k < accel->itemCount; ++k) {
        AccelItem &item = accel->items[k];
        item = ItemOf(accel, *byPos[item.position], world, item.position);
    }
    std::free(byPos);
    accel->matrix = world;
    // Corners that met under the old matrix may part under this one: the twins are found again.
    TwinCache *twins = static_cast<TwinCache *>(std::malloc(sizeof(TwinCache)));
    if (twins != nullptr) {
        ClearTwinCache(twins);
    }
    // Leaves in the order a build placed them, then every box from the bottom up.
    for (uint32_t n = 0; n < accel->nodeCount; ++n) {
        AccelNode &node = accel->nodes[n];
        for (uint32_t k = 0; k < kAccelWidth; ++k) {
            if (node.ref[k] != kEmptyChild && ChildCount(ChildOf(node, k)) > 0) {
                SetChild(node, k, FitLeaf(accel, node.ref[k], twins));
            }
        }
    }
    for (uint32_t n = accel->nodeCount; n-- > 0;) {
        AccelNode &node = accel->nodes[n];
        for (uint32_t k = 0; k < kAccelWidth; ++k) {
            const ChildRef c = ChildOf(node, k);
            if (c.ref != kEmptyChild && ChildCount(c) == 0) {
                SetChild(node, k, NodeBounds(accel->nodes[ChildIndex(c)], c.ref));
            }
        }
    }
    const ChildRef &root = accel->root;
    accel->root = ChildCount(root) > 0 ? FitLeaf(accel, root.ref, twins)
                                       : NodeBounds(accel->nodes[ChildIndex(root)], root.ref);
    std::free(twins);
    Stats.accelRefits += 1;
    return true;
}

float Enlargement(const AccelBox &box, const AccelBox &add) {
    float grown = 0.0f;
    for (int a = 0; a < 3; ++a) {
        grown += std::max(box.hi[a], add.hi[a]) - std::min(box.lo[a], add.lo[a]) -
                 (box.hi[a] - box.lo[a]);
    }
    return grown;
}

bool CanExtend(const ChildRef &leaf, uint32_t at);

// The occupied slot of node whose box grows least by taking box in; on a tie a leaf that can take
// item `at` in place (so that copies of one triangle fill leaves instead of deepening the path),
// else the first.
uint32_t LeastEnlargement(const AccelNode &node, const AccelBox &box, uint32_t at) {
    uint32_t best = kAccelWidth;
    float bestGrowth = 0.0f;
    for (uint32_t k = 0; k < kAccelWidth; ++k) {
        if (node.ref[k] == kEmptyChild) {
            continue;
        }
        const ChildRef c = ChildOf(node, k);
        const float growth = Enlargement(c.box, box);
        if (best == kAccelWidth || growth < bestGrowth ||
            (growth == bestGrowth && ChildCount(c) > 0 && CanExtend(c, at))) {
            best = k;
            bestGrowth = growth;
        }
    }
    return best;
}

uint32_t FreeSlot(const AccelNode &node) {
    uint32_t k = 0;
    while (k < kAccelWidth && node.ref[k] != kEmptyChild) {
        ++k;
    }
    return k;
}

// A leaf that ends the item array takes the item just appended there.
bool CanExtend(const ChildRef &leaf, uint32_t at) {
    return ChildIndex(leaf) + ChildCount(leaf) == at && ChildCount(leaf) < kChildCountMask;
}

// A new node over an old leaf and a leaf of one; answers the child that names it.
ChildRef NewNodeOver(MeshAccel *accel, const ChildRef &old, const ChildRef &single) {
    const uint32_t index = accel->nodeCount++;
    AccelNode &node = accel->nodes[index];
    ClearNode(node);
    SetChild(node, 0, old);
    SetChild(node, 1, single);
    return NodeBounds(node, PackChild(index, 0));
}

// How deep insertions may take a hierarchy over n items: a fresh build's depth and a few levels
// (a build whose copies go apart is one deeper). Every leaf stays within it (TakeIn), so searches
// cost about the logarithm of the mesh whatever is added, and their stacks (kAccelStackDepth)
// never fill: 13 + 6 levels for 2^27 items.
constexpr uint32_t kAccelDepthSlack = 6;
uint32_t DepthBound(uint32_t n) {
    return BuildDepth(n) + kAccelDepthSlack;
}
static_assert(13 + kAccelDepthSlack <= kMaxAccelInsertDepth, "the search stacks hold every path");

// The path an insertion took: the child slot it went through in each node, root first.
struct InsertPath {
    uint32_t node[kMaxAccelInsertDepth + 1];
    uint32_t slot[kMaxAccelInsertDepth + 1];
    uint32_t depth; // inner nodes above the item's leaf
};

// Item `at`, just appended, has a twin just before it or in the leaf c it joins (a copy goes down
// the path its twin took, as neither box grows).
bool TwinInLeaf(const MeshAccel *accel, const ChildRef &c, uint32_t at) {
    const AccelItem &item = accel->items[at];
    for (uint32_t i = ChildIndex(c); i < ChildIndex(c) + ChildCount(c); ++i) {
        if (TwinOf(accel->items[i], item)) {
            return true;
        }
    }
    return RepeatsEarlier(accel->items, at);
}

// After an item that is no known twin went in: no child on its path holds twins only.
void ClearTwinsOnly(MeshAccel *accel, const InsertPath &path) {
    accel->root.twinsOnly = 0;
    for (uint32_t j = 0; j < path.depth; ++j) {
        AccelNode &node = accel->nodes[path.node[j]];
        ChildRef c = ChildOf(node, path.slot[j]);
        c.twinsOnly = 0;
        SetChild(node, path.slot[j], c);
    }
}

// Takes one item in: down the children whose box grows least, widening each box on the way. The
// leaf reached keeps it when the leaf ends the item array; otherwise its node takes a leaf of one
// into a free slot, or the leaf becomes a node over itself and a leaf of one. Records the path.
// True when the item is a twin of one in that leaf: the children on the path may keep twinsOnly.
bool Insert(MeshAccel *accel, const AccelItem &item, InsertPath *path) {
    const uint32_t at = accel->itemCount++;
    accel->items[at] = item;
    ChildRef single = {ItemBox(item), PackChild(at, 1), ItemMargin(item), 0};
    ChildRef &root = accel->root;
    path->depth = 0;
    if (ChildCount(root) > 0) {
        single.twinsOnly = TwinInLeaf(accel, root, at) ? 1 : 0;
        if (CanExtend(root, at)) {
            root.ref += 1;
            Widen(root, single.box, single.margin);
        } else {
            root = NewNodeOver(accel, root, single);
            path->node[0] = ChildIndex(root);
            path->slot[0] = 1;
            path->depth = 1;
        }
        return single.twinsOnly != 0;
    }
    Widen(root, single.box, single.margin);
    uint32_t index = ChildIndex(root);
    for (;;) {
        AccelNode &node = accel->nodes[index];
        const uint32_t k = LeastEnlargement(node, single.box, at);
        const ChildRef old = ChildOf(node, k);
        ChildRef grown = old;
        Widen(grown, single.box, single.margin);
        path->node[path->depth] = index;
        path->slot[path->depth] = k;
        path->depth += 1;
        if (ChildCount(old) == 0) {
            SetChild(node, k, grown);
            index = ChildIndex(old);
            continue;
        }
        single.twinsOnly = TwinInLeaf(accel, old, at) ? 1 : 0;
        if (CanExtend(old, at)) {
            grown.ref += 1;
            SetChild(node, k, grown);
        } else if (FreeSlot(node) < kAccelWidth) {
            path->slot[path->depth - 1] = FreeSlot(node);
            SetChild(node, FreeSlot(node), single);
        } else {
            const ChildRef over = NewNodeOver(accel, old, single); // may not move the nodes
            SetChild(accel->nodes[index], k, over);
            path->node[path->depth] = ChildIndex(over);
            path->slot[path->depth] = 1;
            path->depth += 1;
        }
        return single.twinsOnly != 0;
    }
}

// The items below child c, copied to out when it is not null; answers how many.
uint32_t CollectItems(const MeshAccel *accel, const ChildRef &c, AccelItem *out) {
    if (ChildCount(c) > 0) {
        if (out != nullptr) {
            std::memcpy(out, &accel->items[ChildIndex(c)], sizeof(AccelItem) * ChildCount(c));
        }
        return ChildCount(c);
    }
    const AccelNode &node = accel->nodes[ChildIndex(c)];
    uint32_t count = 0;
    for (uint32_t k = 0; k < kAccelWidth; ++k) {
        if (node.ref[k] != kEmptyChild) {
            count += CollectItems(accel, ChildOf(node, k), out == nullptr ? nullptr : out + count);
        }
    }
    return count;
}

// The n items below child c in list order, in a new allocation (null when memory runs out). Sorted
// as keys of position and place, plain numbers, which the library sorts elsewhere too: a sort of
// the items themselves would be one more copy of the sort in the module.
AccelItem *CollectInListOrder(const MeshAccel *accel, const ChildRef &c, uint32_t n) {
    AccelItem *found = static_cast<AccelItem *>(std::malloc(sizeof(AccelItem) * n));
    uint64_t *keys = static_cast<uint64_t *>(std::malloc(sizeof(uint64_t) * n));
    AccelItem *byPos = static_cast<AccelItem *>(std::malloc(sizeof(AccelItem) * n));
    if (found != nullptr && keys != nullptr && byPos != nullptr) {
        CollectItems(accel, c, found);
        for (uint32_t k = 0; k < n; ++k) {
            keys[k] = static_cast<uint64_t>(found[k].position) << 32 | k;
        }
        std::sort(keys, keys + n);
        for (uint32_t k = 0; k < n; ++k) {
            byPos[k] = found[keys[k] & 0xffffffffu];
        }
    } else {
        std::free(byPos);
        byPos = nullptr;
    }
    std::free(keys);
    std::free(found);
    return byPos;
}

// Builds afresh the subtree in slot `slot` of node `index` from its n items, appended after the
// item array (the old items and nodes are left unused until the next full build); the same
// items give the same box and, but for the rounding of sine classes in the order joins come, the
// same margin, so the nodes above stay as they are (each still covers every margin below it).
// False when memory runs out.
bool RebuildSubtree(MeshAccel *accel, uint32_t index, uint32_t slot, uint32_t n) {
    if (!ReserveRoom(accel, n, CountNodes(n))) {
        return false;
    }
    AccelItem *byPos = CollectInListOrder(accel, ChildOf(accel->nodes[index], slot), n);
    if (byPos == nullptr) {
        return false;
    }
    AccelBuild b;
    const bool ok = BeginItemsBuild(&b, accel, byPos, n) && AdvanceBuild(&b, UINT64_MAX);
    if (ok) {
        accel->itemCount += n;
        SetChild(accel->nodes[index], slot, b.made);
        MirrorNodes(accel, &index, 1);
        Stats.accelSubtreeRebuilds += 1;
        Stats.accelSubtreeItems += n;
    }
    EndBuild(&b);
    return ok;
}

// Takes one item in and keeps every leaf within DepthBound: past it, the smallest subtree on the
// item's path whose fresh build brings the path back to half the slack below the bound is built
// afresh (the root's own children always do: a fresh build of everything is within it), so that
// the next rebuild there waits for the subtree to grow again: each item is rebuilt about once a
// level. False when memory runs out.
bool TakeIn(MeshAccel *accel, const AccelItem &item, uint32_t live) {
    InsertPath path;
    if (!Insert(accel, item, &path)) {
        ClearTwinsOnly(accel, path);
    }
    // Before any reservation below moves the arrays on: the path's nodes changed in place.
    MirrorNodes(accel, path.node, path.depth);
    const uint32_t bound = DepthBound(live);
    if (path.depth > bound) {
        for (uint32_t j = path.depth; j-- > 0;) {
            const uint32_t n =
                CollectItems(accel, ChildOf(accel->nodes[path.node[j]], path.slot[j]), nullptr);
            if (j + 1 + BuildDepth(n) + kAccelDepthSlack / 2 <= bound || j == 0) {
                if (!RebuildSubtree(accel, path.node[j], path.slot[j], n)) {
                    return false;
                }
                path.depth = j + 1 + BuildDepth(n);
                break;
            }
        }
    }
    Stats.accelInsertDepthMost = std::max<uint64_t>(Stats.accelInsertDepthMost, path.depth);
    return path.depth <= bound;
}

// Takes in at most `most` of the triangles added to the list since the hierarchy last looked;
// false when memory runs out (the caller then rebuilds or scans).
bool TakeInAdded(MeshAccel *accel, uint32_t most) {
    for (ListLink *l = accel->last->next; l != nullptr && most > 0; l = l->next, --most) {
        if (!ReserveRoom(accel, 1, 1)) {
            return false;
        }
        const AccelItem item =
            ItemOf(accel, *MemberOf<MeshTriangle>(l), accel->matrix, accel->triangleCount);
        if (!TakeIn(accel, item, accel->triangleCount + 1)) {
            return false;
        }
        accel->triangleCount += 1;
        accel->last = l;
        Stats.accelInserts += 1;
    }
    return true;
}

// A mesh under an affine matrix (TransformPoint then divides by nothing) can keep its hierarchy
// in its own frame, where a move changes nothing (mesh_accel_sweep.cpp carries each search out).
bool Affine(const Matrix4 &m) {
    return m.m[3] == 0.0f && m.m[7] == 0.0f && m.m[11] == 0.0f && m.m[15] == 1.0f;
}

// Keeps the hierarchy answering for the world matrix: a mesh that moves has its hierarchy taken
// into its own frame once (a refit), after which moving costs nothing. Searches there skip only by
// the box test until the leaves, and rays go by it instead of nearest first, so a mesh whose
// searches at one matrix have done as much work as a refit (items made world, nodes opened) gets
// world corners again: between two moves the searches never cost more than twice the cheaper of
// refitting at once and staying, whatever mix of queries comes. False when memory runs out.
bool FollowMatrix(const MeshShape *mesh, MeshAccel *accel, const Matrix4 &world) {
    const bool moved = std::memcmp(&accel->matrix, &world, sizeof(Matrix4)) != 0;
    if (moved && Affine(world)) {
        if (accel->own == 0) {
            return Refit(mesh, accel, world, true);
        }
        accel->matrix = world;
        accel->stillWork = 0;
        return true;
    }
    if (moved) {
        return Refit(mesh, accel, world, false);
    }
    if (accel->own != 0 && accel->stillWork > accel->itemCount) {
        return Refit(mesh, accel, world, false);
    }
    return true;
}

// The hierarchy as it stands when it already answers for the mesh's triangles at this matrix.
MeshAccel *AccelAsItStands(MeshShape *mesh, const Matrix4 &world) {
    MeshAccel *accel = mesh->accel;
    const bool current = accel != nullptr && accel->stale == 0 && accel->itemCount != 0 &&
                         accel->triangleCount == mesh->triangleCount &&
                         std::memcmp(&accel->matrix, &world, sizeof(Matrix4)) == 0;
    return current ? accel : nullptr;
}

// Starts the rebuild of a grown mesh, in the old hierarchy's kind (own or world corners); a
// failure leaves none under way, and the old hierarchy answers on.
void StartSpread(MeshShape *mesh, MeshAccel *accel) {
    SpreadRebuild *s = static_cast<SpreadRebuild *>(std::calloc(1, sizeof(SpreadRebuild)));
    if (s == nullptr) {
        return;
    }
    accel->spread = s;
    s->fresh.own = accel->own;
    s->fresh.matrix = accel->matrix;
    const SpareRoom spare = SpareRoomFor(mesh, true);
    SetRoomGiven(&s->fresh, spare.items, spare.nodes);
    if (!BeginMeshBuild(&s->build, &s->fresh, mesh, accel->matrix, spare.items, spare.nodes)) {
        DropSpread(accel);
        return;
    }
    s->build.smallSplit = kBuildSmallSplit;
}

// The fresh hierarchy takes the old one's place, which it matches: same triangles, same kind.
void InstallSpread(MeshAccel *accel) {
    SpreadRebuild *s = accel->spread;
    accel->spread = nullptr;
    ReleaseArrays(accel);
    MeshAccel &f = s->fresh;
    accel->triangleCount = f.triangleCount;
    accel->builtCount = f.builtCount;
    accel->own = f.own;
    accel->stillWork = 0;
    accel->root = f.root;
    accel->last = f.last;
    accel->items = f.items;
    accel->itemCount = f.itemCount;
    accel->itemCapacity = f.itemCapacity;
    accel->nodes = f.nodes;
    accel->nodeBlock = f.nodeBlock;
    accel->nodeCount = f.nodeCount;
    accel->nodeCapacity = f.nodeCapacity;
    accel->itemMove = f.itemMove;
    accel->nodeMove = f.nodeMove;
    EndBuild(&s->build);
    std::free(s);
    Stats.accelSpreadRebuilds += 1;
}

// One slice of the rebuild under way: build on, then take in what was added meanwhile, then swap.
// Each query's slice is a small share, more for each triangle the query took in, so that a
// mesh growing fast is rebuilt about as fast as it grows. A hierarchy that changed kind meanwhile
// (a mesh that started or stopped moving) or memory that ran out ends it; the next check for
// growth starts another.
void AdvanceSpread(MeshShape *mesh, MeshAccel *accel, uint32_t added) {
    SpreadRebuild *s = accel->spread;
    const bool sameKind =
        s->fresh.own == accel->own &&
        (accel->own != 0 || std::memcmp(&s->fresh.matrix, &accel->matrix, sizeof(Matrix4)) == 0);
    if (!sameKind || s->build.failed != 0) {
        DropSpread(accel);
        return;
    }
    const uint64_t before = s->build.work;
    if (s->built == 0) {
        if (AdvanceBuild(&s->build, kAccelSpreadSliceWork + kAccelSpreadWorkPerAddition * added)) {
            FinishBuild(&s->fresh, s->build);
            EndBuild(&s->build); // its scratch is not needed to catch up
            s->built = 1;
        }
        Stats.accelSpreadWorkMost =
            std::max<uint64_t>(Stats.accelSpreadWorkMost, s->build.work - before);
        return;
    }
    s->fresh.matrix = accel->matrix;
    if (!TakeInAdded(&s->fresh, kAccelSpreadInsertsMost + 4 * added)) {
        DropSpread(accel);
        return;
    }
    if (s->fresh.triangleCount == mesh->triangleCount) {
        InstallSpread(accel);
    }
}

// Additions since the last build past a sixteenth of it (or the item array as much beyond the
// triangles): time for a fresh build, to keep the tree shallow and the memory small.
bool GrownTooMuch(const MeshShape *mesh, const MeshAccel *accel) {
    return mesh->triangleCount - accel->builtCount > accel->builtCount / kAccelRebuildFraction ||
           accel->itemCount - accel->builtCount > accel->builtCount / kAccelRebuildFraction;
}

// The hierarchy of the mesh, matching its triangles and the world matrix; null if none can be had.
// A grown mesh is rebuilt in slices, one a query, while the old hierarchy takes the additions in
// one by one: no query pays for the whole rebuild. Only a mesh more than doubled since the
// hierarchy last looked is built whole at once, a cost within twice what was added.
MeshAccel *CurrentAccel(MeshShape *mesh, const Matrix4 &world) {
    // Other threads may be searching it: within a job a hierarchy is only read, never changed (the
    // pass made it current before the job); one that is not current leaves the plain scan to
    // answer.
    if (InParallelJob != 0) {
        return AccelAsItStands(mesh, world);
    }
    MeshAccel *accel = mesh->accel;
    if (accel == nullptr) {
        accel = static_cast<MeshAccel *>(std::calloc(1, sizeof(MeshAccel)));
        if (accel == nullptr) {
            return nullptr;
        }
        mesh->accel = accel;
        accel->stale = 1;
    }
    // Build refuses a mesh too large to index, which the plain scan then answers; taking
    // triangles in one by one must not outgrow that either.
    if (accel->stale != 0 || accel->itemCount == 0 || mesh->triangleCount < accel->triangleCount ||
        mesh->triangleCount - accel->triangleCount > accel->triangleCount ||
        mesh->triangleCount >= kMaxAccelItems / 2) {
        return Build(mesh, accel, world) ? accel : nullptr;
    }
    const uint32_t added = mesh->triangleCount - accel->triangleCount;
    if (!FollowMatrix(mesh, accel, world) || !TakeInAdded(accel, added)) {
        return Build(mesh, accel, world) ? accel : nullptr;
    }
    if (accel->spread != nullptr) {
        AdvanceSpread(mesh, accel, added);
    } else if (GrownTooMuch(mesh, accel)) {
        StartSpread(mesh, accel);
    }
    return accel;
}

} // namespace

AccelBox ItemBox(const AccelItem &item) {
    AccelBox b;
    for (int a = 0; a < 3; ++a) {
        const float x = Axis(item.corner[0], a), y = Axis(item.corner[1], a);
        const float z = Axis(item.corner[2], a);
        const float lo = std::fmin(std::fmin(x, y), z);
        const float hi = std::fmax(std::fmax(x, y), z);
        b.lo[a] = std::isnan(lo) ? -kInfinity : lo;
        b.hi[a] = std::isnan(hi) ? kInfinity : hi;
    }
    return b;
}

// Every point x of the box goes to TransformPoint's ((x e0 + y e4) + z e8) + e12 on axis 0 (the
// same on the others; an affine m divides by nothing), within 4.01u (|x e0| + |y e4| + |z e8| +
// |e12|) = 4.01u S of its exact value (three products, three sums), and a few smallest
// subnormals where products underflow. The exact values lie within `half` of the exact image of
// the box's centre. In doubles from floats the centre, half and S are off by parts in 1e15; the
// float bounds by at most u of their size, below (1 + 8u) S: so 8u S + 1e-37 covers it all,
// outward. A box or matrix that is not finite, or bounds near the float range's end (the
// transformed corner may overflow to infinity), give an infinite side: it never rejects.
AccelBox WorldBoxOf(const AccelBox &box, const Matrix4 &m) {
    const float *e = m.m;
    double c[3], h[3];
    bool finite = true;
    for (int a = 0; a < 3; ++a) {
        finite = finite && std::isfinite(box.lo[a]) && std::isfinite(box.hi[a]);
        c[a] = 0.5 * box.lo[a] + 0.5 * box.hi[a];
        h[a] = 0.5 * box.hi[a] - 0.5 * box.lo[a];
    }
    AccelBox w;
    for (int i = 0; i < 3; ++i) {
        double centre = e[12 + i], half = 0.0, size = std::fabs(e[12 + i]);
        for (int j = 0; j < 3; ++j) {
            const double x = e[4 * j + i];
            centre += x * c[j];
            half += std::fabs(x) * h[j];
            size += std::fabs(x) * (std::fabs(c[j]) + h[j]);
        }
        const double slack = 8.0 * kUnitRoundoff * size + 1e-37;
        const double lo = centre - half - slack, hi = centre + half + slack;
        const bool inRange = finite && std::fabs(lo) < 1e38 && std::fabs(hi) < 1e38;
        w.lo[i] = inRange ? static_cast<float>(lo) : -kInfinity;
        w.hi[i] = inRange ? static_cast<float>(hi) : kInfinity;
    }
    return w;
}

void ClearNode(AccelNode &node) {
    for (uint32_t k = 0; k < kAccelWidth; ++k) {
        SetChild(node, k, ChildRef{EmptyBox(), kEmptyChild, kNoMargin, 0});
    }
}

float ItemMargin(const AccelItem &item) {
    double p[3][3];
    for (int k = 0; k < 3; ++k) {
        for (int a = 0; a < 3; ++a) {
            p[k][a] = Axis(item.corner[k], a);
        }
    }
    double e1[3], e2[3], e3[3];
    for (int a = 0; a < 3; ++a) {
        e1[a] = p[1][a] - p[0][a];
        e2[a] = p[2][a] - p[0][a];
        e3[a] = p[2][a] - p[1][a];
    }
    const double cx = e1[1] * e2[2] - e1[2] * e2[1];
    const double cy = e1[2] * e2[0] - e1[0] * e2[2];
    const double cz = e1[0] * e2[1] - e1[1] * e2[0];
    const double cross = std::sqrt(cx * cx + cy * cy + cz * cz);
    const double l1 = std::sqrt(e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2]);
    const double l2 = std::sqrt(e2[0] * e2[0] + e2[1] * e2[1] + e2[2] * e2[2]);
    const double l3 = std::sqrt(e3[0] * e3[0] + e3[1] * e3[1] + e3[2] * e3[2]);
    // The sharpest corner's sine: the two longest edges meet there.
    const double longest = std::max({l1, l2, l3});
    const double middle = std::max(std::min(l1, l2), std::min(std::max(l1, l2), l3));
    const double sine = cross / (longest * middle);
    // Not finite, degenerate or a sliver: the normal says nothing reliable.
    if (!(std::isfinite(cross) && std::isfinite(l3) && l1 * l2 > 0.0 &&
          sine >= kSineClassFloor[0])) {
        return kInfinity;
    }
    uint32_t sineClass = 0;
    while (sineClass + 1 < kSineClasses && sine >= kSineClassFloor[sineClass + 1]) {
        sineClass += 1;
    }
    const double margin = kMarginScale * longest / sine;
    return WithSineClass(static_cast<float>(margin * (1.0 + 1e-6)), sineClass);
}

MeshAccel *MeshAccelFor(const MeshShape *mesh, const Matrix4 &world) {
    if (mesh->triangleCount < kAccelMinTriangles) {
        return nullptr;
    }
    return CurrentAccel(const_cast<MeshShape *>(mesh), world);
}

void PrepareMeshAccel(const MeshShape *mesh, const Matrix4 &world) {
    MeshAccelFor(mesh, world);
}

void MeshAccelInvalidate(MeshShape *mesh) {
    if (mesh->accel != nullptr) {
        mesh->accel->stale = 1;
    }
}

void FreeMeshAccel(MeshShape *mesh) {
    if (mesh->accel == nullptr) {
        return;
    }
    DropSpread(mesh->accel);
    ReleaseArrays(mesh->accel);
    std::free(mesh->accel);
    mesh->accel = nullptr;
}

size_t MeshAccelBytes(const MeshShape *mesh) {
    const MeshAccel *accel = mesh->accel;
    if (accel == nullptr) {
        return 0;
    }
    return sizeof(MeshAccel) + static_cast<size_t>(accel->itemCapacity) * sizeof(AccelItem) +
           static_cast<size_t>(accel->nodeCapacity) * sizeof(AccelNode) + kNodeAlignment +
           ArrayMoveBytes(accel);
}

size_t MeshTriangleBytes(const MeshShape *mesh) {
    return static_cast<size_t>(mesh->triangleCount) * sizeof(MeshTriangle);
}

} // namespace vor
