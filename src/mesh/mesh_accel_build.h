// The fresh build of a mesh's triangle hierarchy, as steps that can stop after any bounded amount
// of work and go on later: run to the end at once for a first build or a subtree's, or a slice per
// query for the rebuild of a grown mesh, which the old hierarchy serves meanwhile. Shared by the
// hierarchy's upkeep (mesh_accel.cpp); nothing outside src/mesh includes it but the tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/records.h"
#include "core/thresholds.h"
#include "mesh/mesh_accel_layout.h"
#include "mesh/triangle_twins.h"

namespace vor {

AccelBox UnionBox(const AccelBox &x, const AccelBox &y);
void Widen(ChildRef &c, const AccelBox &box, float margin);
// The box of nothing: every union with it is the other box.
AccelBox EmptyBox();
// The union of a node's children, as the child `ref` that names the node.
ChildRef NodeBounds(const AccelNode &node, uint32_t ref);

// The nodes a build over n items makes, and the levels of inner nodes on its deepest path.
uint32_t CountNodes(uint32_t n);
uint32_t BuildDepth(uint32_t n);
// Nodes lie on a boundary of this many bytes within their allocation, which is as much larger.
constexpr size_t kNodeAlignment = 64;
// The first node of an allocation of nodes.
AccelNode *AlignedNodes(void *block);
// Room for count nodes on a 64-byte boundary, the first `keep` kept; false (nothing changed) when
// memory runs out.
bool AllocateNodes(MeshAccel *accel, uint32_t count, uint32_t keep);
// The item of triangle t as this hierarchy keeps it: its own corners, or its world ones under m.
AccelItem ItemOf(const MeshAccel *accel, const MeshTriangle &t, const Matrix4 &m,
                 uint32_t position);

// Copies of one triangle, found as a whole mesh is gathered, that send every copy found under a
// child of the root of their own: a node's leaves' worth.
constexpr uint32_t kTwinsApart = kAccelWidth * kAccelLeafTriangles;

// One piece of pending work of a build (mesh_accel_build.cpp).
struct BuildTask {
    uint8_t kind;
    uint32_t begin, end; // items begin..end of the build's order
    uint32_t first;      // a split: how many go to the lower part
    uint32_t node, slot; // where the finished child goes (node kNoParent: the root)
};

// The median split under way: a radix selection on the key (centre on the axis, list position),
// eight bits a round from the top, each round a count and a three-way partition of the window.
struct SplitState {
    uint8_t phase; // not started, choosing the axis, counting, partitioning, the last step
    uint8_t axis;
    int8_t shift;           // the key bits of this round start here
    uint32_t lo, hi;        // the window that the split point lies in
    uint32_t need;          // how many of the window go to the lower part
    uint32_t cursor;        // the scan's place in the window
    uint32_t less, greater; // the partition's ends: [lo, less) below, [greater, hi) above
    uint32_t digit;         // the digit the split point's key has this round
    uint32_t count[256];
    float cmin[3], cmax[3];
};

struct AccelBuild {
    MeshAccel *accel; // receives the nodes and the items
    Matrix4 world;
    ListLink *next; // gathering: the next triangle of the mesh's list
    uint32_t gathered;
    AccelItem *byPos; // the items in list order
    uint32_t *order;  // indices into byPos, partitioned as the build goes
    float *centres;   // 3 per byPos index, finite
    TwinCache *twins; // the items lately gathered, then lately made leaves (null: none looked for)
    uint32_t n;
    // A whole mesh's copies found as it is gathered, order[twinStart..n), go under a child of the
    // root of their own, which rays pass by, once one triangle has kTwinsApart of them (n: not).
    uint32_t twinStart;
    uint32_t mostTwins;  // the most copies of one triangle the gathering found
    uint32_t spareNodes; // the room for more nodes the build was asked for
    uint32_t base;    // where in accel->items the build's items go
    BuildTask *tasks; // a stack: the top runs next
    uint32_t taskCount, taskCapacity;
    SplitState split;
    ChildRef made;       // the whole build's root child, once done
    uint64_t work;       // units done so far (see the k*Units in mesh_accel_build.cpp)
    uint8_t failed;      // memory ran out on the way: the build cannot finish
    uint32_t smallSplit; // windows this small are split in one step: all of them at first; a
                         // build run in slices sets kBuildSmallSplit
};

constexpr uint32_t kNoParent = 0xffffffffu;

// The rebuild of a grown mesh under way: a fresh hierarchy built a slice per query while the old
// one answers, then brought up to the triangles added meanwhile, then put in the old one's place.
struct SpreadRebuild {
    MeshAccel fresh;
    AccelBuild build;
    uint8_t built; // the build is done; the additions are being taken in
};

// A build of every triangle of mesh (items of accel's kind: own or world corners under world),
// into accel's emptied arrays, made with room for spareItems more items and spareNodes more nodes;
// the list is read as the steps go, so the caller must not let it lose triangles meanwhile
// (triangles appended later are not part of it). False when memory runs out.
bool BeginMeshBuild(AccelBuild *b, MeshAccel *accel, const MeshShape *mesh, const Matrix4 &world,
                    uint32_t spareItems, uint32_t spareNodes);
// A build of the n items of byPos (ascending positions; the build takes them over) appended to
// accel's items after itemCount, with room reserved by the caller; false when memory runs out.
bool BeginItemsBuild(AccelBuild *b, MeshAccel *accel, AccelItem *byPos, uint32_t n);
// Runs the build on until done or `budget` more units are spent (a step is never cut, and none
// costs more than kBuildStepMost); true when done, the result then in b->made. False too when
// memory ran out (b->failed).
bool AdvanceBuild(AccelBuild *b, uint64_t budget);
// Frees the build's working arrays (not accel's).
void EndBuild(AccelBuild *b);

// In a build run in slices, split windows at most this large are split in one step by the
// standard library's selection (the larger by radix rounds, each a bounded scan).
constexpr uint32_t kBuildSmallSplit = 2048;

// The most units one indivisible step of a build can take: a slice overruns its budget by at most
// this much.
extern const uint64_t kBuildStepMost;

} // namespace vor
