// The inside of a mesh's triangle hierarchy, shared by its building (mesh_accel.cpp) and its
// searches (mesh_accel_sweep.cpp, mesh_accel_ray.cpp); nothing outside src/mesh includes it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "core/records.h"

namespace vor {

struct AccelBox {
    float lo[3];
    float hi[3];
};

// A child of an inner node. ref packs a count (low 5 bits) and an index: count 0 names the inner
// node nodes[index]; count k > 0 a leaf of the k items from items[index]. box holds the exact world
// boxes of the triangles below (NaN extremes widened to infinity); margin is the largest rounding
// margin of those triangles (world units, +infinity for a triangle whose normal is unreliable),
// with their sine class in its two lowest bits (see below).
// twinsOnly: every triangle below is a twin (triangle_twins.h), so rays pass the child by.
struct ChildRef {
    AccelBox box;
    uint32_t ref;
    float margin;
    uint8_t twinsOnly;
};

// A finite margin's two lowest bits hold the sine class of the triangles it covers: the sharpest
// corner's sine of each is at least kSineClassFloor of it, which decides for which radii the sweep
// may skip them by distance (mesh_accel.cpp). Setting the bits rounds the margin up, by at most 3
// units in its last place; an infinite margin has class 0. kNoMargin covers nothing: the smallest
// margin, of the highest class.
constexpr uint32_t kSineClasses = 4;
constexpr double kSineClassFloor[kSineClasses] = {1e-3, 1e-2, 1e-1, 0.5};
constexpr float kNoMargin = 3 * std::numeric_limits<float>::denorm_min();

inline uint32_t SineClassOf(float margin) {
    uint32_t bits;
    std::memcpy(&bits, &margin, sizeof bits);
    return std::isfinite(margin) ? bits & 3u : 0u;
}
// The least margin >= margin (which is not negative) of the class given.
inline float WithSineClass(float margin, uint32_t sineClass) {
    if (!std::isfinite(margin)) {
        return margin;
    }
    uint32_t bits;
    std::memcpy(&bits, &margin, sizeof bits);
    uint32_t classed = (bits & ~3u) | sineClass;
    classed += classed < bits ? 4u : 0u;
    float out;
    std::memcpy(&out, &classed, sizeof out);
    return std::isfinite(out) ? out : std::numeric_limits<float>::infinity();
}
// The margin covering what two margins cover: the larger value, the lower class.
inline float JoinMargins(float a, float b) {
    return WithSineClass(std::max(a, b), std::min(SineClassOf(a), SineClassOf(b)));
}

// An inner node holds up to kAccelWidth children side by side, axis by axis, so that four-wide
// arithmetic decides four of them at a time. Eight made mesh rays up to 7% faster but character
// steps 10 to 25% slower, their sweeps testing eight children one by one. ref 0 marks an empty
// slot: node 0 is the root's, never a child (a parent always comes before its children). An empty
// slot's box is inverted. A margin is never negative, so its sign bit holds the child's twinsOnly:
// the node stays two cache lines.
constexpr uint32_t kAccelWidth = 4;
constexpr uint32_t kEmptyChild = 0;
struct AccelNode {
    float lo[3][kAccelWidth];
    float hi[3][kAccelWidth];
    float margin[kAccelWidth];
    uint32_t ref[kAccelWidth];
};
static_assert(kAccelWidth % 4 == 0 && sizeof(AccelNode) == 32 * kAccelWidth,
              "children in groups of four, a node in whole cache lines");

inline ChildRef ChildOf(const AccelNode &node, uint32_t k) {
    ChildRef c;
    for (int a = 0; a < 3; ++a) {
        c.box.lo[a] = node.lo[a][k];
        c.box.hi[a] = node.hi[a][k];
    }
    c.ref = node.ref[k];
    c.margin = std::fabs(node.margin[k]);
    c.twinsOnly = std::signbit(node.margin[k]) ? 1 : 0;
    return c;
}
inline void SetChild(AccelNode &node, uint32_t k, const ChildRef &c) {
    for (int a = 0; a < 3; ++a) {
        node.lo[a][k] = c.box.lo[a];
        node.hi[a][k] = c.box.hi[a];
    }
    node.ref[k] = c.ref;
    node.margin[k] = c.twinsOnly != 0 ? -std::fabs(c.margin) : std::fabs(c.margin);
}
void ClearNode(AccelNode &node);

// One triangle: its world corners exactly as TransformPoint gives them, and its list position.
struct AccelItem {
    Vec3 corner[3];
    uint32_t position; // 0-based position in the mesh's list
};

// A build of 2^27 items is 13 levels deep and taking triangles in one by one keeps every leaf
// within a few levels of a build's depth (mesh_accel.cpp: DepthBound, at most
// kMaxAccelInsertDepth), so a search's stack holds the siblings left on each of at most 50 levels,
// kAccelWidth - 1 a level.
constexpr uint32_t kMaxAccelInsertDepth = 48;
constexpr uint32_t kAccelStackDepth = 50 * kAccelWidth;

constexpr uint32_t kChildCountBits = 5;
constexpr uint32_t kChildCountMask = (1u << kChildCountBits) - 1;
constexpr uint32_t kMaxAccelItems = 1u << (32 - kChildCountBits);

inline uint32_t ChildCount(const ChildRef &c) {
    return c.ref & kChildCountMask;
}
inline uint32_t ChildIndex(const ChildRef &c) {
    return c.ref >> kChildCountBits;
}
inline uint32_t PackChild(uint32_t index, uint32_t count) {
    return (index << kChildCountBits) | count;
}

// The index of the lowest set bit of a nonzero mask: the children and items a four-wide test
// keeps are visited by their bits, without a branch per slot.
inline uint32_t LowestBit(uint32_t mask) {
    return static_cast<uint32_t>(__builtin_ctz(mask));
}
// The number of bits set in a four-bit mask, from a table packed four bits an entry (the builtin
// is a library call on targets without a population count instruction).
inline uint32_t BitCount4(uint32_t mask) {
    return static_cast<uint32_t>(0x4332322132212110ull >> (4 * (mask & 15u))) & 15u;
}

struct SpreadRebuild;

// An array of a hierarchy on its way into a larger one, a slice at each reservation
// (mesh_accel_arrays.cpp): the searches read the old one until every element is copied.
struct AccelArrayMove {
    void *block;       // the larger array's allocation, null when no move is under way
    void *data;        // its first element (nodes: on a 64-byte boundary)
    uint32_t capacity; // elements it holds
    uint32_t copied;   // elements 0..copied-1 are the old array's, kept so as it changes
    uint32_t pace;     // elements copied for each one reserved
    uint32_t roomGiven; // free room the array had when last made (kept between moves)
};

struct MeshAccel {
    uint32_t triangleCount; // triangles covered (a prefix of the mesh's list)
    uint32_t builtCount;    // triangles at the last full build
    uint8_t stale;          // rebuild at the next query
    uint8_t own;            // items hold the triangles' own corners (a moving mesh), not world ones
    // Own frame: items made world and nodes opened since the last move. Searches on several
    // threads add to it at once (atomically, once a search); only a search outside a job reads it.
    uint64_t stillWork;
    Matrix4 matrix;   // the world matrix of the last query (with world corners: theirs)
    ChildRef root;    // the whole mesh: an inner node, or a single leaf
    ListLink *last;   // the last triangle covered; later ones are taken in on demand
    AccelItem *items; // in leaf order
    uint32_t itemCount;
    uint32_t itemCapacity;
    AccelNode *nodes; // a parent always comes before its children; 64-byte aligned
    void *nodeBlock;  // the allocation the nodes lie in
    uint32_t nodeCount;
    uint32_t nodeCapacity;
    SpreadRebuild *spread; // the rebuild under way, if any (mesh_accel.cpp)
    AccelArrayMove itemMove, nodeMove;
};

// The exact world box of an item (NaN extremes widened to infinity, so that they never reject).
AccelBox ItemBox(const AccelItem &item);
// The same for an item whose corners are known to be finite (its margin is), without the NaN care.
inline AccelBox FiniteBox(const AccelItem &item) {
    const Vec3 &p = item.corner[0], &q = item.corner[1], &r = item.corner[2];
    AccelBox b;
    b.lo[0] = p.x < q.x ? (p.x < r.x ? p.x : r.x) : (q.x < r.x ? q.x : r.x);
    b.lo[1] = p.y < q.y ? (p.y < r.y ? p.y : r.y) : (q.y < r.y ? q.y : r.y);
    b.lo[2] = p.z < q.z ? (p.z < r.z ? p.z : r.z) : (q.z < r.z ? q.z : r.z);
    b.hi[0] = p.x > q.x ? (p.x > r.x ? p.x : r.x) : (q.x > r.x ? q.x : r.x);
    b.hi[1] = p.y > q.y ? (p.y > r.y ? p.y : r.y) : (q.y > r.y ? q.y : r.y);
    b.hi[2] = p.z > q.z ? (p.z > r.z ? p.z : r.z) : (q.z > r.z ? q.z : r.z);
    return b;
}
// A box holding every TransformPoint(x, m) for x in `box` (in a mesh's own frame), m affine.
AccelBox WorldBoxOf(const AccelBox &box, const Matrix4 &m);
// The distance from an item's box within which any point the exact tests can take for a point of
// the triangle lies (see mesh_accel.cpp); +infinity where no such bound is known.
float ItemMargin(const AccelItem &item);

} // namespace vor
