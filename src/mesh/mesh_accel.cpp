// The triangle hierarchy of a mesh shape: built on first use from the triangles' world boxes,
// refitted when the mesh body's world matrix changes, rebuilt when triangles were added.
//
// Why skipping is exact: a triangle's box test compares lo/r - 1 and hi/r + 1 (lo, hi the per-axis
// extremes of its world corners, r the radii) with the segment's ends. Division by a positive r and
// the subtraction or addition of 1 are monotone under rounding, so a node box that contains the
// triangle's world box gives node values on the same side of every comparison: a node rejected by
// the same comparisons holds only triangles that the box test rejects. The world corners come from
// the very TransformPoint the test uses, so the boxes are the triangles' own to the bit; a NaN
// extreme, which never rejects, becomes an infinite node face, which never rejects either.
//
// Layout: each inner node holds the boxes of its two children, so one cache line decides both;
// leaves are ranges of the item arrays (triangle record and list position, in leaf order).
#include "mesh/mesh_accel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/module_state.h"
#include "core/thresholds.h"

namespace vor {

namespace {

struct Box {
    float lo[3];
    float hi[3];
};

// A child of an inner node: its box, and either an inner node (count 0, index in first) or a leaf
// of count items starting at first.
struct ChildRef {
    Box box;
    uint32_t first;
    uint32_t count;
};

struct AccelNode {
    ChildRef child[2];
};

} // namespace

struct MeshAccel {
    uint32_t triangleCount;         // the mesh's count when built
    uint32_t size;                  // triangles held (the list's length when built)
    uint8_t stale;                  // triangles were added since
    Matrix4 matrix;                 // the world matrix the boxes were made with
    ChildRef root;                  // the whole mesh: node 0, or a single leaf
    const MeshTriangle **triangles; // in leaf order
    uint32_t *positions;            // list position of each, in leaf order
    AccelNode *nodes;               // preorder: children after their parent
    uint32_t nodeCount;
    AccelCandidate *candidates; // the last query's answer, grown as needed
    uint32_t candidateCapacity;
};

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr uint32_t kStackDepth = 64; // a balanced split of 2^32 triangles is 31 levels deep

float Axis(const Vec3 &v, int a) {
    return a == 0 ? v.x : (a == 1 ? v.y : v.z);
}

// The triangle's world box exactly as its box test sees it (same fmin/fmax of the same corners),
// with NaN extremes, which the test never rejects on, widened to infinity.
Box TriangleWorldBox(const MeshTriangle &t, const Matrix4 &m) {
    const Vec3 w1 = Transform(t.corner1, m);
    const Vec3 w2 = Transform(t.corner2, m);
    const Vec3 w3 = Transform(t.corner3, m);
    Box b;
    for (int a = 0; a < 3; ++a) {
        const float lo = std::fmin(std::fmin(Axis(w1, a), Axis(w2, a)), Axis(w3, a));
        const float hi = std::fmax(std::fmax(Axis(w1, a), Axis(w2, a)), Axis(w3, a));
        b.lo[a] = std::isnan(lo) ? -kInfinity : lo;
        b.hi[a] = std::isnan(hi) ? kInfinity : hi;
    }
    return b;
}

Box Union(const Box &x, const Box &y) {
    Box b;
    for (int a = 0; a < 3; ++a) {
        b.lo[a] = std::min(x.lo[a], y.lo[a]);
        b.hi[a] = std::max(x.hi[a], y.hi[a]);
    }
    return b;
}

// Leaves hold kAccelLeafTriangles each, save one: the left part of a split takes whole leaves.
uint32_t LeftPart(uint32_t n) {
    const uint32_t leaves = (n + kAccelLeafTriangles - 1) / kAccelLeafTriangles;
    return (leaves + 1) / 2 * kAccelLeafTriangles;
}

uint32_t CountNodes(uint32_t n) {
    if (n <= kAccelLeafTriangles) {
        return 0;
    }
    return 1 + CountNodes(LeftPart(n)) + CountNodes(n - LeftPart(n));
}

struct Builder {
    MeshAccel *accel;
    uint32_t *order;      // list positions being partitioned
    const Box *boxes;     // by list position
    const float *centres; // 3 per list position, finite
};

// Splits on the axis where the centres spread most; leaves keep ascending list positions.
ChildRef BuildPart(Builder &b, uint32_t begin, uint32_t end) {
    MeshAccel *accel = b.accel;
    const uint32_t n = end - begin;
    if (n <= kAccelLeafTriangles) {
        std::sort(b.order + begin, b.order + end);
        ChildRef leaf = {b.boxes[b.order[begin]], begin, n};
        for (uint32_t i = begin; i < end; ++i) {
            leaf.box = Union(leaf.box, b.boxes[b.order[i]]);
            accel->positions[i] = b.order[i];
        }
        return leaf;
    }
    float cmin[3] = {kInfinity, kInfinity, kInfinity};
    float cmax[3] = {-kInfinity, -kInfinity, -kInfinity};
    for (uint32_t i = begin; i < end; ++i) {
        const float *c = b.centres + 3 * static_cast<size_t>(b.order[i]);
        for (int a = 0; a < 3; ++a) {
            cmin[a] = std::min(cmin[a], c[a]);
            cmax[a] = std::max(cmax[a], c[a]);
        }
    }
    int axis = 0;
    for (int a = 1; a < 3; ++a) {
        if (cmax[a] - cmin[a] > cmax[axis] - cmin[axis]) {
            axis = a;
        }
    }
    const uint32_t mid = begin + LeftPart(n);
    const float *centres = b.centres;
    std::nth_element(b.order + begin, b.order + mid, b.order + end,
                     [centres, axis](uint32_t x, uint32_t y) {
                         const float cx = centres[3 * static_cast<size_t>(x) + axis];
                         const float cy = centres[3 * static_cast<size_t>(y) + axis];
                         return cx < cy || (cx == cy && x < y);
                     });
    const uint32_t index = accel->nodeCount++;
    const ChildRef left = BuildPart(b, begin, mid);
    const ChildRef right = BuildPart(b, mid, end);
    accel->nodes[index].child[0] = left;
    accel->nodes[index].child[1] = right;
    return ChildRef{Union(left.box, right.box), index, 0};
}

void ReleaseArrays(MeshAccel *accel) {
    std::free(accel->triangles);
    std::free(accel->positions);
    std::free(accel->nodes);
    accel->triangles = nullptr;
    accel->positions = nullptr;
    accel->nodes = nullptr;
    accel->nodeCount = 0;
    accel->size = 0;
    std::free(accel->candidates);
    accel->candidates = nullptr;
    accel->candidateCapacity = 0;
}

// Builds the hierarchy of the mesh as it now stands; false (and nothing held) when memory runs out.
bool Build(MeshShape *mesh, MeshAccel *accel, const Matrix4 &world) {
    ReleaseArrays(accel);
    uint32_t n = 0;
    for (ListLink *l = mesh->triangles.head; l != nullptr; l = l->next) {
        ++n;
    }
    accel->triangleCount = mesh->triangleCount;
    accel->stale = 0;
    accel->matrix = world;
    if (n == 0) {
        return false;
    }
    const uint32_t nodeCount = CountNodes(n);
    accel->triangles = static_cast<const MeshTriangle **>(std::malloc(sizeof(void *) * n));
    accel->positions = static_cast<uint32_t *>(std::malloc(sizeof(uint32_t) * n));
    accel->nodes = static_cast<AccelNode *>(std::malloc(sizeof(AccelNode) * (nodeCount + 1)));
    const MeshTriangle **byPosition =
        static_cast<const MeshTriangle **>(std::malloc(sizeof(void *) * n));
    uint32_t *order = static_cast<uint32_t *>(std::malloc(sizeof(uint32_t) * n));
    Box *boxes = static_cast<Box *>(std::malloc(sizeof(Box) * n));
    float *centres = static_cast<float *>(std::malloc(sizeof(float) * 3 * n));
    const bool ok = accel->triangles != nullptr && accel->positions != nullptr &&
                    accel->nodes != nullptr && byPosition != nullptr && order != nullptr &&
                    boxes != nullptr && centres != nullptr;
    if (ok) {
        // World boxes and split centres of every triangle, in list order.
        uint32_t i = 0;
        for (ListLink *l = mesh->triangles.head; l != nullptr; l = l->next, ++i) {
            byPosition[i] = MemberOf<MeshTriangle>(l);
            order[i] = i;
            boxes[i] = TriangleWorldBox(*byPosition[i], world);
            for (int a = 0; a < 3; ++a) {
                const float c = boxes[i].lo[a] * 0.5f + boxes[i].hi[a] * 0.5f;
                centres[3 * static_cast<size_t>(i) + a] = std::isfinite(c) ? c : 0.0f;
            }
        }
        accel->size = n;
        Builder b = {accel, order, boxes, centres};
        accel->root = BuildPart(b, 0, n);
        for (uint32_t k = 0; k < n; ++k) {
            accel->triangles[k] = byPosition[accel->positions[k]];
        }
        Stats.accelBuilds += 1;
    } else {
        ReleaseArrays(accel);
    }
    std::free(byPosition);
    std::free(order);
    std::free(boxes);
    std::free(centres);
    return ok;
}

Box LeafBox(const MeshAccel *accel, uint32_t first, uint32_t count, const Matrix4 &world) {
    Box box = TriangleWorldBox(*accel->triangles[first], world);
    for (uint32_t i = first + 1; i < first + count; ++i) {
        box = Union(box, TriangleWorldBox(*accel->triangles[i], world));
    }
    return box;
}

// New world matrix, same triangles: leaves from the corners again, inner nodes from children.
void Refit(MeshAccel *accel, const Matrix4 &world) {
    accel->matrix = world;
    for (uint32_t k = accel->nodeCount; k-- > 0;) {
        for (ChildRef &c : accel->nodes[k].child) {
            if (c.count > 0) {
                c.box = LeafBox(accel, c.first, c.count, world);
            } else {
                const AccelNode &inner = accel->nodes[c.first];
                c.box = Union(inner.child[0].box, inner.child[1].box);
            }
        }
    }
    ChildRef &root = accel->root;
    if (root.count > 0) {
        root.box = LeafBox(accel, root.first, root.count, world);
    } else {
        root.box = Union(accel->nodes[0].child[0].box, accel->nodes[0].child[1].box);
    }
    Stats.accelRefits += 1;
}

// The box test's own comparisons, on a node box's faces.
bool BoxRejected(const Box &box, const float *s, const float *e, const float *r) {
    for (int a = 0; a < 3; ++a) {
        const float lo = box.lo[a] / r[a];
        if (lo - 1.0f > s[a] && lo - 1.0f > e[a]) {
            return true;
        }
    }
    for (int a = 0; a < 3; ++a) {
        const float hi = box.hi[a] / r[a];
        if (hi + 1.0f < s[a] && hi + 1.0f < e[a]) {
            return true;
        }
    }
    return false;
}

// Room for n more candidates after the first `used`, growing by doubling up to the mesh's size.
bool ReserveCandidates(MeshAccel *accel, uint32_t used, uint32_t n) {
    if (used + n <= accel->candidateCapacity) {
        return true;
    }
    uint32_t capacity = std::max<uint32_t>(64, accel->candidateCapacity);
    while (capacity < used + n) {
        capacity = capacity > accel->size / 2 ? accel->size : capacity * 2;
    }
    void *grown = std::realloc(accel->candidates, sizeof(AccelCandidate) * capacity);
    if (grown == nullptr) {
        return false;
    }
    accel->candidates = static_cast<AccelCandidate *>(grown);
    accel->candidateCapacity = capacity;
    return true;
}

// The hierarchy of the mesh, matching its triangles and the world matrix; null if none can be had.
MeshAccel *CurrentAccel(MeshShape *mesh, const Matrix4 &world) {
    MeshAccel *accel = mesh->accel;
    if (accel == nullptr) {
        accel = static_cast<MeshAccel *>(std::calloc(1, sizeof(MeshAccel)));
        if (accel == nullptr) {
            return nullptr;
        }
        mesh->accel = accel;
        accel->stale = 1;
    }
    if (accel->stale != 0 || accel->triangleCount != mesh->triangleCount || accel->size == 0) {
        return Build(mesh, accel, world) ? accel : nullptr;
    }
    if (std::memcmp(&accel->matrix, &world, sizeof(Matrix4)) != 0) {
        Refit(accel, world);
    }
    return accel;
}

// Appends a leaf's triangles; false when memory runs out.
bool EmitLeaf(MeshAccel *accel, const ChildRef &leaf, uint32_t *found) {
    if (!ReserveCandidates(accel, *found, leaf.count)) {
        return false;
    }
    for (uint32_t i = leaf.first; i < leaf.first + leaf.count; ++i) {
        accel->candidates[(*found)++] = AccelCandidate{accel->positions[i], accel->triangles[i]};
    }
    return true;
}

} // namespace

const AccelCandidate *MeshAccelQuery(const MeshShape *mesh, const Matrix4 &world, const Vec3 &s,
                                     const Vec3 &e, const Vec3 &r, uint32_t *count) {
    *count = 0;
    if (mesh->triangleCount < kAccelMinTriangles) {
        return nullptr;
    }
    // Division by r must be monotone: positive radii only (infinity is fine, NaN is not).
    if (!(r.x > 0.0f && r.y > 0.0f && r.z > 0.0f)) {
        return nullptr;
    }
    // The hierarchy is a cache beside the triangles, not part of the mesh's value.
    MeshAccel *accel = CurrentAccel(const_cast<MeshShape *>(mesh), world);
    if (accel == nullptr || !ReserveCandidates(accel, 0, 1)) {
        return nullptr;
    }
    const float sv[3] = {s.x, s.y, s.z};
    const float ev[3] = {e.x, e.y, e.z};
    const float rv[3] = {r.x, r.y, r.z};
    uint32_t found = 0;
    if (BoxRejected(accel->root.box, sv, ev, rv)) {
        return accel->candidates;
    }
    if (accel->root.count > 0) {
        if (!EmitLeaf(accel, accel->root, &found)) {
            return nullptr;
        }
    } else {
        // Depth first; each node decides both its children from its own cache line.
        uint32_t stack[kStackDepth];
        uint32_t depth = 0;
        stack[depth++] = accel->root.first;
        while (depth > 0) {
            const AccelNode &node = accel->nodes[stack[--depth]];
            for (const ChildRef &c : node.child) {
                if (BoxRejected(c.box, sv, ev, rv)) {
                    continue;
                }
                if (c.count > 0) {
                    if (!EmitLeaf(accel, c, &found)) {
                        return nullptr; // out of memory: the plain scan still works
                    }
                } else {
                    stack[depth++] = c.first;
                }
            }
        }
    }

    // Visiting order is list order, so that ties go to the first triangle as in the plain scan.
    std::sort(
        accel->candidates, accel->candidates + found,
        [](const AccelCandidate &x, const AccelCandidate &y) { return x.position < y.position; });
    *count = found;
    return accel->candidates;
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
    ReleaseArrays(mesh->accel);
    std::free(mesh->accel);
    mesh->accel = nullptr;
}

size_t MeshAccelBytes(const MeshShape *mesh) {
    const MeshAccel *accel = mesh->accel;
    if (accel == nullptr) {
        return 0;
    }
    return sizeof(MeshAccel) +
           static_cast<size_t>(accel->size) * (sizeof(void *) + sizeof(uint32_t)) +
           static_cast<size_t>(accel->nodeCount) * sizeof(AccelNode) +
           static_cast<size_t>(accel->candidateCapacity) * sizeof(AccelCandidate);
}

size_t MeshTriangleBytes(const MeshShape *mesh) {
    return static_cast<size_t>(mesh->triangleCount) * sizeof(MeshTriangle);
}

} // namespace vor
