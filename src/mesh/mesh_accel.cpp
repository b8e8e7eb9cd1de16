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
#include "mesh/mesh_accel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/stats.h"
#include "core/thresholds.h"

namespace vor {

// One node: a box, and either a leaf range of order[] (count > 0) or, for an inner node, the index
// of its second child in first (its first child follows it directly).
struct AccelNode {
    float lo[3];
    float hi[3];
    uint32_t first;
    uint32_t count;
};

struct MeshAccel {
    uint32_t triangleCount;          // the mesh's count when built
    uint32_t size;                   // triangles held (the list's length when built)
    uint8_t stale;                   // triangles were added since
    Matrix4 matrix;                  // the world matrix the boxes were made with
    const MeshTriangle **triangles;  // by 0-based list position
    uint32_t *order;                 // list positions grouped by leaf, ascending within a leaf
    AccelNode *nodes;                // preorder: children after their parent
    uint32_t nodeCount;
};

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr uint32_t kStackDepth = 64; // a median split of 2^32 triangles is 30 levels deep

struct Box {
    float lo[3];
    float hi[3];
};

// Query results, reused by every query.
uint32_t *candidates = nullptr;
uint32_t candidateCapacity = 0;

float Axis(const Vec3 &v, int a) { return a == 0 ? v.x : (a == 1 ? v.y : v.z); }

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

void SetNodeBox(AccelNode &n, const Box &b) {
    for (int a = 0; a < 3; ++a) {
        n.lo[a] = b.lo[a];
        n.hi[a] = b.hi[a];
    }
}

void GrowNodeBox(AccelNode &n, const float *lo, const float *hi) {
    for (int a = 0; a < 3; ++a) {
        n.lo[a] = std::min(n.lo[a], lo[a]);
        n.hi[a] = std::max(n.hi[a], hi[a]);
    }
}

uint32_t CountNodes(uint32_t n) {
    if (n <= kAccelLeafTriangles) {
        return 1;
    }
    return 1 + CountNodes(n / 2) + CountNodes(n - n / 2);
}

struct Builder {
    MeshAccel *accel;
    const Box *boxes;      // by list position
    const float *centres;  // 3 per list position, finite
};

// Median split on the axis where the centres spread most; leaves keep ascending positions.
uint32_t BuildNode(Builder &b, uint32_t begin, uint32_t end) {
    MeshAccel *accel = b.accel;
    const uint32_t index = accel->nodeCount++;
    AccelNode &node = accel->nodes[index];
    const uint32_t n = end - begin;
    if (n <= kAccelLeafTriangles) {
        std::sort(accel->order + begin, accel->order + end);
        node.first = begin;
        node.count = n;
        SetNodeBox(node, b.boxes[accel->order[begin]]);
        for (uint32_t i = begin + 1; i < end; ++i) {
            const Box &t = b.boxes[accel->order[i]];
            GrowNodeBox(node, t.lo, t.hi);
        }
        return index;
    }
    float cmin[3] = {kInfinity, kInfinity, kInfinity};
    float cmax[3] = {-kInfinity, -kInfinity, -kInfinity};
    for (uint32_t i = begin; i < end; ++i) {
        const float *c = b.centres + 3 * static_cast<size_t>(accel->order[i]);
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
    const uint32_t mid = begin + n / 2;
    const float *centres = b.centres;
    std::nth_element(accel->order + begin, accel->order + mid, accel->order + end,
                     [centres, axis](uint32_t x, uint32_t y) {
                         const float cx = centres[3 * static_cast<size_t>(x) + axis];
                         const float cy = centres[3 * static_cast<size_t>(y) + axis];
                         return cx < cy || (cx == cy && x < y);
                     });
    BuildNode(b, begin, mid);
    const uint32_t second = BuildNode(b, mid, end);
    AccelNode &self = accel->nodes[index]; // nodes[] does not move during the build
    self.first = second;
    self.count = 0;
    const AccelNode &left = accel->nodes[index + 1];
    const AccelNode &right = accel->nodes[second];
    SetNodeBox(self, Box{{left.lo[0], left.lo[1], left.lo[2]}, {left.hi[0], left.hi[1], left.hi[2]}});
    GrowNodeBox(self, right.lo, right.hi);
    return index;
}

void ReleaseArrays(MeshAccel *accel) {
    std::free(accel->triangles);
    std::free(accel->order);
    std::free(accel->nodes);
    accel->triangles = nullptr;
    accel->order = nullptr;
    accel->nodes = nullptr;
    accel->nodeCount = 0;
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
    accel->size = n;
    if (n == 0) {
        return false;
    }
    const uint32_t nodeCount = CountNodes(n);
    accel->triangles = static_cast<const MeshTriangle **>(std::malloc(sizeof(void *) * n));
    accel->order = static_cast<uint32_t *>(std::malloc(sizeof(uint32_t) * n));
    accel->nodes = static_cast<AccelNode *>(std::malloc(sizeof(AccelNode) * nodeCount));
    Box *boxes = static_cast<Box *>(std::malloc(sizeof(Box) * n));
    float *centres = static_cast<float *>(std::malloc(sizeof(float) * 3 * n));
    if (accel->triangles == nullptr || accel->order == nullptr || accel->nodes == nullptr ||
        boxes == nullptr || centres == nullptr) {
        std::free(boxes);
        std::free(centres);
        ReleaseArrays(accel);
        return false;
    }

    // World boxes and split centres of every triangle, in list order.
    uint32_t i = 0;
    for (ListLink *l = mesh->triangles.head; l != nullptr; l = l->next, ++i) {
        const MeshTriangle *t = MemberOf<MeshTriangle>(l);
        accel->triangles[i] = t;
        accel->order[i] = i;
        boxes[i] = TriangleWorldBox(*t, world);
        for (int a = 0; a < 3; ++a) {
            const float c = boxes[i].lo[a] * 0.5f + boxes[i].hi[a] * 0.5f;
            centres[3 * static_cast<size_t>(i) + a] = std::isfinite(c) ? c : 0.0f;
        }
    }
    Builder b = {accel, boxes, centres};
    BuildNode(b, 0, n);
    std::free(boxes);
    std::free(centres);
    Stats.accelBuilds += 1;
    return true;
}

// New world matrix, same triangles: leaves from the corners again, inner nodes from children.
void Refit(MeshAccel *accel, const Matrix4 &world) {
    accel->matrix = world;
    for (uint32_t k = accel->nodeCount; k-- > 0;) {
        AccelNode &node = accel->nodes[k];
        if (node.count > 0) {
            SetNodeBox(node, TriangleWorldBox(*accel->triangles[accel->order[node.first]], world));
            for (uint32_t i = node.first + 1; i < node.first + node.count; ++i) {
                const Box t = TriangleWorldBox(*accel->triangles[accel->order[i]], world);
                GrowNodeBox(node, t.lo, t.hi);
            }
        } else {
            const AccelNode &left = accel->nodes[k + 1];
            const AccelNode &right = accel->nodes[node.first];
            for (int a = 0; a < 3; ++a) {
                node.lo[a] = std::min(left.lo[a], right.lo[a]);
                node.hi[a] = std::max(left.hi[a], right.hi[a]);
            }
        }
    }
    Stats.accelRefits += 1;
}

// The box test's own comparisons, on the node's faces.
bool NodeRejected(const AccelNode &node, const float *s, const float *e, const float *r) {
    for (int a = 0; a < 3; ++a) {
        const float lo = node.lo[a] / r[a];
        if (lo - 1.0f > s[a] && lo - 1.0f > e[a]) {
            return true;
        }
    }
    for (int a = 0; a < 3; ++a) {
        const float hi = node.hi[a] / r[a];
        if (hi + 1.0f < s[a] && hi + 1.0f < e[a]) {
            return true;
        }
    }
    return false;
}

bool ReserveCandidates(uint32_t n) {
    if (n <= candidateCapacity) {
        return true;
    }
    uint32_t *grown = static_cast<uint32_t *>(std::realloc(candidates, sizeof(uint32_t) * n));
    if (grown == nullptr) {
        return false;
    }
    candidates = grown;
    candidateCapacity = n;
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
    if (accel->stale != 0 || accel->triangleCount != mesh->triangleCount || accel->nodes == nullptr) {
        return Build(mesh, accel, world) ? accel : nullptr;
    }
    if (std::memcmp(&accel->matrix, &world, sizeof(Matrix4)) != 0) {
        Refit(accel, world);
    }
    return accel;
}

} // namespace

const uint32_t *MeshAccelQuery(const MeshShape *mesh, const Matrix4 &world, const Vec3 &s,
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
    if (accel == nullptr || !ReserveCandidates(accel->size)) {
        return nullptr;
    }
    const float sv[3] = {s.x, s.y, s.z};
    const float ev[3] = {e.x, e.y, e.z};
    const float rv[3] = {r.x, r.y, r.z};

    // Depth first over the nodes the segment's grown box may reach; leaves give their triangles.
    uint32_t stack[kStackDepth];
    uint32_t depth = 0;
    uint32_t found = 0;
    uint32_t node = 0;
    for (;;) {
        const AccelNode &n = accel->nodes[node];
        if (!NodeRejected(n, sv, ev, rv)) {
            if (n.count == 0) {
                stack[depth++] = n.first;
                node = node + 1;
                continue;
            }
            std::memcpy(candidates + found, accel->order + n.first, sizeof(uint32_t) * n.count);
            found += n.count;
        }
        if (depth == 0) {
            break;
        }
        node = stack[--depth];
    }

    // Visiting order is list order, so that ties go to the first triangle as in the plain scan.
    std::sort(candidates, candidates + found);
    *count = found;
    return candidates;
}

const MeshTriangle *MeshAccelTriangle(const MeshShape *mesh, uint32_t position) {
    return mesh->accel->triangles[position];
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
    const size_t n = accel->nodes == nullptr ? 0 : accel->size;
    return sizeof(MeshAccel) + n * (sizeof(void *) + sizeof(uint32_t)) +
           static_cast<size_t>(accel->nodeCount) * sizeof(AccelNode);
}

size_t MeshTriangleBytes(const MeshShape *mesh) {
    return static_cast<size_t>(mesh->triangleCount) * sizeof(MeshTriangle);
}

} // namespace vor
