// The fresh build of a triangle hierarchy as a stack of small tasks: gather the items, split a
// node's items at its medians, place the node, make a leaf, finish a node's box. Every task stops
// and goes on at a bounded cost, so a build can run whole or a slice at a time.
//
// A mesh's copies of earlier triangles (triangle_twins.h) found as it is gathered are built apart,
// under a second child of the root, once one triangle has a node's leaves' worth of them: copies
// share one centre, so wherever the median splits cut their run, the parts at the cut mix copies
// with other triangles, and a ray through the copies opened every such part down to its leaves (a
// ray through 1,000 copies of a lid opened 16 nodes and 3 leaves where one lid took 9 and 1).
// Apart, every leaf of theirs holds twins only, so rays pass the whole child by at the root (a
// node more on every path, which fewer copies do not repay); sweeps search it as any other.
//
// Why a build in slices makes the very hierarchy a whole build makes: a split puts the `first`
// lowest of its items under the order (centre on the axis where the centres spread most, then list
// position) in front; that order is total, so the set in front is the same whatever way it is
// found, and everything later reads only those sets (the next splits, the leaves, which sort by
// position) or the node numbers, given parent first in the same depth-first order. So the slices
// are a radix selection instead of the standard library's, and the result is the same to the bit.
#include "mesh/mesh_accel_build.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/thresholds.h"
#include "math/matrix4.h"
#include "mesh/triangle_twins.h"

namespace vor {

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();

// Work units, about a nanosecond's worth on the machines we measure: a scan's step over one item
// of a split is one.
constexpr uint64_t kGatherUnits = 24; // a triangle made an item and given its centre
constexpr uint64_t kLeafUnits = 24;   // an item copied into a leaf with its box and margin
constexpr uint64_t kSelectUnits = 6;  // an item of a window small enough for nth_element
constexpr uint64_t kNodeUnits = 64;   // a node planned, placed or finished
// Scans check the budget every this many items.
constexpr uint32_t kScanChunk = 256;

enum : uint8_t { kTaskGather, kTaskNode, kTaskPlace, kTaskSplit, kTaskFinish };
enum : uint8_t { kSplitIdle, kSplitAxis, kSplitCount, kSplitPartition, kSplitFinal };

// Leaves hold kAccelLeafTriangles each, save the last. A node over more than one leaf gives its
// children whole subtrees of `Span` leaves where it can, the largest power of kAccelWidth below
// its leaf count, so that every node inside such a subtree is full: the node's items are halved
// at whole spans until each part holds at most one span.
uint32_t Leaves(uint32_t n) {
    return (n + kAccelLeafTriangles - 1) / kAccelLeafTriangles;
}

uint32_t Span(uint32_t n) {
    uint32_t span = 1;
    while (span * kAccelWidth < Leaves(n)) {
        span *= kAccelWidth;
    }
    return span;
}

// One halving of a node's items: begin..end, the first `first` in front.
struct Halving {
    uint32_t begin, end, first;
};

// The halvings of items begin..end, a range that holds at most `spans` spans of spanItems items,
// parent before child, and the ends of the parts they leave in bounds[1..].
void PlanParts(uint32_t begin, uint32_t end, uint32_t spans, uint32_t spanItems, uint32_t *bounds,
               uint32_t *parts, Halving *halvings, uint32_t *halvingCount) {
    if (spans == 1 || end - begin <= spanItems) {
        bounds[++*parts] = end;
        return;
    }
    const uint32_t half = spans / 2 * spanItems;
    if (end - begin <= half) {
        PlanParts(begin, end, spans / 2, spanItems, bounds, parts, halvings, halvingCount);
        return;
    }
    halvings[(*halvingCount)++] = Halving{begin, end, half};
    const uint32_t mid = begin + half;
    PlanParts(begin, mid, spans / 2, spanItems, bounds, parts, halvings, halvingCount);
    PlanParts(mid, end, spans / 2, spanItems, bounds, parts, halvings, halvingCount);
}

// The parts of a node over items begin..end (more than a leaf), and the halvings that make them.
struct NodePlan {
    uint32_t bounds[kAccelWidth + 1];
    uint32_t parts;
    Halving halvings[kAccelWidth];
    uint32_t halvingCount;
};

NodePlan PlanNode(uint32_t begin, uint32_t end) {
    NodePlan p;
    p.bounds[0] = begin;
    p.parts = 0;
    p.halvingCount = 0;
    PlanParts(begin, end, kAccelWidth, Span(end - begin) * kAccelLeafTriangles, p.bounds, &p.parts,
              p.halvings, &p.halvingCount);
    return p;
}

void SetCentre(const AccelItem *byPos, uint32_t i, float *centres) {
    const AccelBox box = ItemBox(byPos[i]);
    for (int a = 0; a < 3; ++a) {
        const float c = box.lo[a] * 0.5f + box.hi[a] * 0.5f;
        centres[3 * static_cast<size_t>(i) + a] = std::isfinite(c) ? c : 0.0f;
    }
}

// The split key of byPos index x on an axis: the centre's bits in an order that follows the
// float order (0 and -0 alike), then the index, so that keys compare as the split's order does.
uint32_t CentreBits(float c) {
    c = c == 0.0f ? 0.0f : c;
    uint32_t bits;
    std::memcpy(&bits, &c, sizeof bits);
    return (bits & 0x80000000u) != 0 ? ~bits : bits | 0x80000000u;
}

uint64_t SplitKey(const float *centres, uint32_t x, int axis) {
    return (static_cast<uint64_t>(CentreBits(centres[3 * static_cast<size_t>(x) + axis])) << 32) |
           x;
}

// The first byte of the key on which a window's keys can differ: every centre lies between the
// smallest and the largest, so shares the bits above their highest difference; with all centres
// equal, the list positions (below n) share the bits above n - 1's highest.
int8_t FirstShift(float cmin, float cmax, uint32_t n) {
    const uint32_t lo = CentreBits(cmin), hi = CentreBits(cmax);
    if (lo != hi) {
        return static_cast<int8_t>(32 + 8 * ((31 - __builtin_clz(lo ^ hi)) / 8));
    }
    return static_cast<int8_t>(8 * ((31 - __builtin_clz(n > 1 ? n - 1 : 1)) / 8));
}

bool Push(AccelBuild *b, const BuildTask &t) {
    if (b->taskCount == b->taskCapacity) {
        const uint32_t capacity = b->taskCapacity * 2 + 16;
        void *grown = std::realloc(b->tasks, sizeof(BuildTask) * capacity);
        if (grown == nullptr) {
            return false;
        }
        b->tasks = static_cast<BuildTask *>(grown);
        b->taskCapacity = capacity;
    }
    b->tasks[b->taskCount++] = t;
    return true;
}

void Deliver(AccelBuild *b, uint32_t node, uint32_t slot, const ChildRef &c) {
    if (node == kNoParent) {
        b->made = c;
    } else {
        SetChild(b->accel->nodes[node], slot, c);
    }
}

ChildRef MakeLeaf(AccelBuild *b, uint32_t begin, uint32_t end) {
    std::sort(b->order + begin, b->order + end);
    ChildRef leaf = {ItemBox(b->byPos[b->order[begin]]), PackChild(b->base + begin, end - begin),
                     kNoMargin, 1};
    const bool gatheredTwins = begin >= b->twinStart;
    for (uint32_t i = begin; i < end; ++i) {
        const AccelItem &item = b->byPos[b->order[i]];
        b->accel->items[b->base + i] = item;
        Widen(leaf, ItemBox(item), ItemMargin(item));
        if (!gatheredTwins &&
            (b->twins == nullptr || !PlaceItem(b->twins, b->accel->items, b->base + i))) {
            leaf.twinsOnly = 0;
        }
    }
    return leaf;
}

// The parts of a node of this build: the root of a mesh with copies found as it was gathered
// joins the others' hierarchy and the copies' own.
NodePlan PlanBuildNode(const AccelBuild *b, uint32_t begin, uint32_t end) {
    if (begin != 0 || end != b->n || b->twinStart == b->n) {
        return PlanNode(begin, end);
    }
    NodePlan p;
    p.bounds[0] = 0;
    p.bounds[1] = b->twinStart;
    p.bounds[2] = b->n;
    p.parts = 2;
    p.halvingCount = 0;
    return p;
}

uint32_t CountBuildNodes(uint32_t n, uint32_t twinStart) {
    return twinStart == n ? CountNodes(n) : 1 + CountNodes(twinStart) + CountNodes(n - twinStart);
}

// Once every triangle is in: whether the copies go apart, and so the nodes the build takes. (Left
// among the others, they stay at the end of the order, which changes no split: a split's parts are
// the same sets whatever order it finds its items in.)
bool EndGather(AccelBuild *b) {
    if (b->twins != nullptr) {
        ClearTwinCache(b->twins); // the leaves look for twins among the items they place
    }
    if (b->mostTwins < kTwinsApart) {
        b->twinStart = b->n;
        return true;
    }
    const uint32_t count = CountBuildNodes(b->n, b->twinStart) + 1 + b->spareNodes;
    if (count > b->accel->nodeCapacity && !AllocateNodes(b->accel, count, 0)) {
        b->failed = 1;
        return false;
    }
    return true;
}

// Gathers triangles until done or the budget is spent; true when every one is in.
bool Gather(AccelBuild *b, uint64_t budget) {
    // Each triangle costs kGatherUnits; the last one may overrun the budget, as any step may.
    const uint64_t room = b->work < budget ? (budget - b->work) / kGatherUnits + 1 : 0;
    const uint32_t stop = static_cast<uint32_t>(std::min<uint64_t>(b->n, b->gathered + room));
    ListLink *l = b->next;
    // Copies fill the order from its end, the others from its start.
    uint32_t front = b->gathered - (b->n - b->twinStart), back = b->twinStart;
    uint32_t mostTwins = b->mostTwins;
    for (uint32_t i = b->gathered; i < stop; ++i, l = l->next) {
        b->byPos[i] = ItemOf(b->accel, *MemberOf<MeshTriangle>(l), b->world, i);
        SetCentre(b->byPos, i, b->centres);
        const uint32_t twins = b->twins != nullptr ? PlaceCountingTwins(b->twins, b->byPos, i) : 0;
        mostTwins = std::max(mostTwins, twins);
        b->order[twins != 0 ? --back : front++] = i;
        b->accel->last = l;
    }
    b->twinStart = back;
    b->mostTwins = mostTwins;
    b->work += kGatherUnits * (stop - b->gathered);
    b->gathered = stop;
    b->next = l;
    return b->gathered == b->n && EndGather(b);
}

// A node's items: a leaf when few, else its halvings to do, then its placing.
bool PlanTask(AccelBuild *b, const BuildTask &t) {
    if (t.end - t.begin <= kAccelLeafTriangles) {
        Deliver(b, t.node, t.slot, MakeLeaf(b, t.begin, t.end));
        b->work += kLeafUnits * (t.end - t.begin);
        return true;
    }
    const NodePlan p = PlanBuildNode(b, t.begin, t.end);
    if (!Push(b, BuildTask{kTaskPlace, t.begin, t.end, 0, t.node, t.slot})) {
        return false;
    }
    for (uint32_t h = p.halvingCount; h-- > 0;) {
        const Halving &v = p.halvings[h];
        if (!Push(b, BuildTask{kTaskSplit, v.begin, v.end, v.first, 0, 0})) {
            return false;
        }
    }
    b->work += kNodeUnits;
    return true;
}

// The node of a planned range, numbered now (parents before children, depth first), its children
// to make in order, then its box.
bool PlaceTask(AccelBuild *b, const BuildTask &t) {
    const NodePlan p = PlanBuildNode(b, t.begin, t.end);
    const uint32_t index = b->accel->nodeCount++;
    ClearNode(b->accel->nodes[index]); // the nodes never move during a build
    if (!Push(b, BuildTask{kTaskFinish, index, 0, 0, t.node, t.slot})) {
        return false;
    }
    for (uint32_t k = p.parts; k-- > 0;) {
        if (!Push(b, BuildTask{kTaskNode, p.bounds[k], p.bounds[k + 1], 0, index, k})) {
            return false;
        }
    }
    b->work += kNodeUnits;
    return true;
}

void FinishTask(AccelBuild *b, const BuildTask &t) {
    const uint32_t index = t.begin;
    Deliver(b, t.node, t.slot, NodeBounds(b->accel->nodes[index], PackChild(index, 0)));
    b->work += kNodeUnits;
}

void StartWindowRound(AccelBuild *b) {
    SplitState &s = b->split;
    s.phase = s.hi - s.lo <= b->smallSplit ? kSplitFinal : kSplitCount;
    s.cursor = s.lo;
    std::fill(s.count, s.count + 256, 0u);
}

// The axis where the centres of begin..end spread most (the first of equals).
void ScanAxis(AccelBuild *b, const BuildTask &t, uint64_t budget) {
    SplitState &s = b->split;
    // Locals, so that the extremes stay in registers through a chunk.
    float lo[3] = {s.cmin[0], s.cmin[1], s.cmin[2]}, hi[3] = {s.cmax[0], s.cmax[1], s.cmax[2]};
    const float *centres = b->centres;
    const uint32_t *order = b->order;
    while (s.cursor < t.end && b->work < budget) {
        const uint32_t stop = std::min(t.end, s.cursor + kScanChunk);
        for (uint32_t i = s.cursor; i < stop; ++i) {
            const float *c = centres + 3 * static_cast<size_t>(order[i]);
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], c[a]);
                hi[a] = std::max(hi[a], c[a]);
            }
        }
        b->work += stop - s.cursor;
        s.cursor = stop;
    }
    for (int a = 0; a < 3; ++a) {
        s.cmin[a] = lo[a];
        s.cmax[a] = hi[a];
    }
    if (s.cursor < t.end) {
        return;
    }
    int axis = 0;
    for (int a = 1; a < 3; ++a) {
        if (s.cmax[a] - s.cmin[a] > s.cmax[axis] - s.cmin[axis]) {
            axis = a;
        }
    }
    s.axis = static_cast<uint8_t>(axis);
    s.lo = t.begin;
    s.hi = t.end;
    s.need = t.first;
    s.shift = FirstShift(s.cmin[axis], s.cmax[axis], b->n);
    StartWindowRound(b);
}

uint32_t Digit(const AccelBuild *b, uint32_t x) {
    const SplitState &s = b->split;
    return static_cast<uint32_t>(SplitKey(b->centres, x, s.axis) >> s.shift) & 255u;
}

void CountDigits(AccelBuild *b, uint64_t budget) {
    SplitState &s = b->split;
    while (s.cursor < s.hi && b->work < budget) {
        const uint32_t stop = std::min(s.hi, s.cursor + kScanChunk);
        for (uint32_t i = s.cursor; i < stop; ++i) {
            s.count[Digit(b, b->order[i])] += 1;
        }
        b->work += stop - s.cursor;
        s.cursor = stop;
    }
    if (s.cursor < s.hi) {
        return;
    }
    // The digit of the window's need-th lowest key: everything below it goes in front.
    uint32_t below = 0;
    s.digit = 0;
    while (below + s.count[s.digit] <= s.need) {
        below += s.count[s.digit];
        s.digit += 1;
    }
    // All in one digit: nothing to move, the next byte decides.
    if (s.count[s.digit] == s.hi - s.lo) {
        s.shift = static_cast<int8_t>(s.shift - 8);
        StartWindowRound(b);
        return;
    }
    s.phase = kSplitPartition;
    s.cursor = s.less = s.lo;
    s.greater = s.hi;
}

// A three-way partition of the window by this round's digit; true when the split is done.
bool PartitionDigits(AccelBuild *b, uint64_t budget) {
    SplitState &s = b->split;
    uint32_t *order = b->order;
    while (s.cursor < s.greater && b->work < budget) {
        uint32_t steps = 0;
        for (; steps < kScanChunk && s.cursor < s.greater; ++steps) {
            const uint32_t d = Digit(b, order[s.cursor]);
            if (d < s.digit) {
                std::swap(order[s.less++], order[s.cursor++]);
            } else if (d > s.digit) {
                std::swap(order[s.cursor], order[--s.greater]);
            } else {
                s.cursor += 1;
            }
        }
        b->work += steps;
    }
    if (s.cursor < s.greater) {
        return false;
    }
    s.need -= s.less - s.lo;
    s.lo = s.less;
    s.hi = s.greater;
    if (s.need == 0) {
        return true;
    }
    s.shift = static_cast<int8_t>(s.shift - 8);
    StartWindowRound(b);
    return false;
}

// The rest of the split in one step: the window is small.
void FinishSplit(AccelBuild *b) {
    SplitState &s = b->split;
    const float *centres = b->centres;
    const int axis = s.axis;
    std::nth_element(b->order + s.lo, b->order + s.lo + s.need, b->order + s.hi,
                     [centres, axis](uint32_t x, uint32_t y) {
                         const float cx = centres[3 * static_cast<size_t>(x) + axis];
                         const float cy = centres[3 * static_cast<size_t>(y) + axis];
                         return cx < cy || (cx == cy && x < y);
                     });
    b->work += kSelectUnits * (s.hi - s.lo);
}

// Goes on with the split on top of the stack; true when it is done.
bool SplitTask(AccelBuild *b, const BuildTask &t, uint64_t budget) {
    SplitState &s = b->split;
    while (b->work < budget) {
        switch (s.phase) {
        case kSplitIdle:
            s.phase = kSplitAxis;
            s.cursor = t.begin;
            for (int a = 0; a < 3; ++a) {
                s.cmin[a] = kInfinity;
                s.cmax[a] = -kInfinity;
            }
            break;
        case kSplitAxis:
            ScanAxis(b, t, budget);
            break;
        case kSplitCount:
            CountDigits(b, budget);
            break;
        case kSplitPartition:
            if (PartitionDigits(b, budget)) {
                return true;
            }
            break;
        default:
            FinishSplit(b);
            return true;
        }
    }
    return false;
}

bool AllocateScratch(AccelBuild *b, uint32_t n) {
    b->byPos = static_cast<AccelItem *>(std::malloc(sizeof(AccelItem) * n));
    b->order = static_cast<uint32_t *>(std::malloc(sizeof(uint32_t) * n));
    b->centres = static_cast<float *>(std::malloc(sizeof(float) * 3 * n));
    return b->byPos != nullptr && b->order != nullptr && b->centres != nullptr;
}

// Without room for it a build goes on and finds no twins: rays then test every copy.
void AllocateTwinCache(AccelBuild *b) {
    b->twins = static_cast<TwinCache *>(std::malloc(sizeof(TwinCache)));
    if (b->twins != nullptr) {
        ClearTwinCache(b->twins);
    }
}

void Clear(AccelBuild *b, MeshAccel *accel, uint32_t n) {
    std::memset(b, 0, sizeof *b);
    b->accel = accel;
    b->n = n;
    b->twinStart = n;
    b->smallSplit = UINT32_MAX; // a whole build: the library's selection is the fastest
}

} // namespace

constexpr uint64_t kLeafMost = kLeafUnits * kAccelLeafTriangles;
const uint64_t kBuildStepMost = std::max(
    {kSelectUnits * kBuildSmallSplit, kLeafMost, uint64_t{kScanChunk}, kNodeUnits, kGatherUnits});

AccelBox UnionBox(const AccelBox &x, const AccelBox &y) {
    AccelBox b;
    for (int a = 0; a < 3; ++a) {
        b.lo[a] = std::min(x.lo[a], y.lo[a]);
        b.hi[a] = std::max(x.hi[a], y.hi[a]);
    }
    return b;
}

void Widen(ChildRef &c, const AccelBox &box, float margin) {
    c.box = UnionBox(c.box, box);
    c.margin = JoinMargins(c.margin, margin);
}

AccelBox EmptyBox() {
    return AccelBox{{kInfinity, kInfinity, kInfinity}, {-kInfinity, -kInfinity, -kInfinity}};
}

ChildRef NodeBounds(const AccelNode &node, uint32_t ref) {
    ChildRef whole = {EmptyBox(), ref, kNoMargin, 1};
    uint8_t any = 0;
    for (uint32_t k = 0; k < kAccelWidth; ++k) {
        if (node.ref[k] != kEmptyChild) {
            const ChildRef c = ChildOf(node, k);
            Widen(whole, c.box, c.margin);
            whole.twinsOnly &= c.twinsOnly;
            any = 1;
        }
    }
    whole.twinsOnly &= any;
    return whole;
}

uint32_t CountNodes(uint32_t n) {
    if (n <= kAccelLeafTriangles) {
        return 0;
    }
    const NodePlan p = PlanNode(0, n);
    uint32_t count = 1;
    uint32_t lastSize = 0, lastCount = 0;
    for (uint32_t k = 0; k < p.parts; ++k) {
        const uint32_t size = p.bounds[k + 1] - p.bounds[k];
        // Whole spans repeat: count each size once, so counting costs the depth, not the nodes.
        if (k == 0 || size != lastSize) {
            lastSize = size;
            lastCount = CountNodes(size);
        }
        count += lastCount;
    }
    return count;
}

uint32_t BuildDepth(uint32_t n) {
    uint32_t depth = 0;
    for (uint32_t span = 1; span < Leaves(n); span *= kAccelWidth) {
        depth += 1;
    }
    return depth;
}

AccelNode *AlignedNodes(void *block) {
    const uintptr_t at =
        (reinterpret_cast<uintptr_t>(block) + kNodeAlignment - 1) & ~uintptr_t{kNodeAlignment - 1};
    return reinterpret_cast<AccelNode *>(at);
}

bool AllocateNodes(MeshAccel *accel, uint32_t count, uint32_t keep) {
    const size_t bytes = sizeof(AccelNode) * static_cast<size_t>(count) + kNodeAlignment;
    const size_t oldOffset = keep > 0 ? reinterpret_cast<uintptr_t>(accel->nodes) -
                                            reinterpret_cast<uintptr_t>(accel->nodeBlock)
                                      : 0;
    // Growing keeps the block where the allocator can (a large one is remapped, not copied, on
    // some systems), so that a growing mesh does not copy its nodes every so often.
    void *block = keep > 0 ? std::realloc(accel->nodeBlock, bytes) : std::malloc(bytes);
    if (block == nullptr) {
        return false;
    }
    AccelNode *nodes = AlignedNodes(block);
    if (keep > 0) {
        const size_t offset =
            reinterpret_cast<uintptr_t>(nodes) - reinterpret_cast<uintptr_t>(block);
        if (offset != oldOffset) {
            std::memmove(nodes, static_cast<char *>(block) + oldOffset, sizeof(AccelNode) * keep);
        }
    } else {
        std::free(accel->nodeBlock);
    }
    accel->nodeBlock = block;
    accel->nodes = nodes;
    accel->nodeCapacity = count;
    return true;
}

AccelItem ItemOf(const MeshAccel *accel, const MeshTriangle &t, const Matrix4 &m,
                 uint32_t position) {
    if (accel->own != 0) {
        return AccelItem{{t.corner1, t.corner2, t.corner3}, position};
    }
    return AccelItem{{Transform(t.corner1, m), Transform(t.corner2, m), Transform(t.corner3, m)},
                     position};
}

bool BeginMeshBuild(AccelBuild *b, MeshAccel *accel, const MeshShape *mesh, const Matrix4 &world,
                    uint32_t spareItems, uint32_t spareNodes) {
    const uint32_t n = mesh->triangleCount;
    Clear(b, accel, n);
    b->world = world;
    b->next = mesh->triangles.head;
    b->spareNodes = spareNodes;
    const uint32_t itemCapacity = n + spareItems;
    accel->items = static_cast<AccelItem *>(std::malloc(sizeof(AccelItem) * itemCapacity));
    const bool ok = accel->items != nullptr &&
                    AllocateNodes(accel, CountNodes(n) + 1 + spareNodes, 0) &&
                    AllocateScratch(b, n) && Push(b, BuildTask{kTaskNode, 0, n, 0, kNoParent, 0}) &&
                    Push(b, BuildTask{kTaskGather, 0, 0, 0, 0, 0});
    if (ok) {
        accel->itemCount = n;
        accel->itemCapacity = itemCapacity;
        AllocateTwinCache(b);
    }
    return ok;
}

bool BeginItemsBuild(AccelBuild *b, MeshAccel *accel, AccelItem *byPos, uint32_t n) {
    Clear(b, accel, n);
    b->base = accel->itemCount;
    b->byPos = byPos;
    b->gathered = n;
    b->order = static_cast<uint32_t *>(std::malloc(sizeof(uint32_t) * n));
    b->centres = static_cast<float *>(std::malloc(sizeof(float) * 3 * n));
    if (b->order == nullptr || b->centres == nullptr) {
        return false;
    }
    for (uint32_t i = 0; i < n; ++i) {
        SetCentre(byPos, i, b->centres);
        b->order[i] = i;
    }
    AllocateTwinCache(b);
    return Push(b, BuildTask{kTaskNode, 0, n, 0, kNoParent, 0});
}

bool AdvanceBuild(AccelBuild *b, uint64_t budget) {
    const uint64_t stop = budget > UINT64_MAX - b->work ? UINT64_MAX : b->work + budget;
    while (b->taskCount > 0 && b->work < stop) {
        const BuildTask t = b->tasks[b->taskCount - 1];
        bool done = true;
        switch (t.kind) {
        case kTaskGather:
            done = Gather(b, stop);
            break;
        case kTaskSplit:
            done = SplitTask(b, t, stop);
            break;
        default:
            break;
        }
        if (!done) {
            return false;
        }
        b->taskCount -= 1;
        b->split.phase = kSplitIdle;
        bool ok = true;
        if (t.kind == kTaskNode) {
            ok = PlanTask(b, t);
        } else if (t.kind == kTaskPlace) {
            ok = PlaceTask(b, t);
        } else if (t.kind == kTaskFinish) {
            FinishTask(b, t);
        }
        if (!ok) {
            b->failed = 1; // out of memory for the task stack
            return false;
        }
    }
    return b->taskCount == 0;
}

void EndBuild(AccelBuild *b) {
    std::free(b->byPos);
    std::free(b->order);
    std::free(b->centres);
    std::free(b->twins);
    std::free(b->tasks);
    b->byPos = nullptr;
    b->order = nullptr;
    b->centres = nullptr;
    b->twins = nullptr;
    b->tasks = nullptr;
    b->taskCount = b->taskCapacity = 0;
}

} // namespace vor
