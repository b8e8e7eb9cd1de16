// A per-type hierarchy of boxes round the active ellipsoids at their resolved positions, built on
// the first ray by type after anything a ray reads has changed (SceneEpoch), and the ray query
// that walks it.
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
// finite. (2) UnitRayEntry itself rejects it, run on the same radii, the same centre divided by
// them at build time, and the same ray, so with the same bits as the object's own test. The rest
// go through that same RayAgainstObject in activation order, so they record the same hits in the
// same order: the same nearest hit, the same first object among equal distances, the same
// negative distance for a ray from inside. Objects whose centre or radii lie outside the limits go
// on a list tested by every ray; rays whose ends lie outside them go to the scan. The hierarchy is
// dropped whenever SceneEpoch moves, so centres and radii are never stale.
#include "query/ellipsoid_ray_index.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "body/registry.h"
#include "body/transforms.h"
#include "core/scene_epoch.h"
#include "core/search_limits.h"
#include "core/stats.h"
#include "core/thresholds.h"
#include "query/ray_cast.h"
#include "query/unit_sphere_ray.h"

namespace vor {

// The records of the hierarchy (module_state.h names TypeRayIndex, so these live outside the
// file's anonymous namespace).
struct RayIndexBox {
    float lo[3], hi[3];
};

// An object of the type with an ellipsoid: its box, the centre divided by the radii and the radii
// as its ray test reads them, and its place in activation order.
struct RayIndexEntry {
    RayIndexBox box;
    Vec3 m;
    Vec3 radii;
    uint32_t rank;
};

// Inner node: children at first and first + 1. Leaf: entries [first, first + count).
struct RayIndexNode {
    RayIndexBox box;
    uint32_t first;
    uint32_t count;
};

struct TypeRayIndex {
    uint64_t epoch;       // SceneEpoch when built
    uint32_t objectCount; // objects with an ellipsoid, by rank
    uint32_t *objects;    // object number by rank (activation order)
    uint32_t entryCount;
    RayIndexEntry *entries; // boxed objects, in hierarchy order
    uint32_t nodeCount;
    RayIndexNode *nodes; // node 0 is the root when entryCount > 0
    uint32_t alwaysCount;
    uint32_t *always; // ranks tested by every ray, ascending
    size_t bytes;
};

namespace {

constexpr double kWiden = 1e-6;           // relative widening of every box, see above
constexpr uint32_t kLeafSize = 4;
constexpr uint32_t kMaxDepth = 64;

float Down(double v) {
    const float f = static_cast<float>(v);
    return static_cast<double>(f) > v ? std::nextafter(f, -INFINITY) : f;
}

float Up(double v) {
    const float f = static_cast<float>(v);
    return static_cast<double>(f) < v ? std::nextafter(f, INFINITY) : f;
}

bool InRange(double coordinate) {
    return std::fabs(coordinate) <= kRayIndexCoordinateLimit;
}

bool RadiusInRange(double radius) {
    return radius >= kRayIndexSmallestRadius && radius <= kRayIndexCoordinateLimit;
}

void FreeIndex(TypeRayIndex *index) {
    if (index == nullptr) {
        return;
    }
    std::free(index->objects);
    std::free(index->entries);
    std::free(index->nodes);
    std::free(index->always);
    std::free(index);
}

const EllipsoidShape *FirstEllipsoid(const CollisionBody *body) {
    for (ListLink *l = body->shapes.head; l != nullptr; l = l->next) {
        ShapeHead *shape = MemberOf<ShapeHead>(l);
        if (shape->kind == kEllipsoidKind) {
            return AsEllipsoid(shape);
        }
    }
    return nullptr;
}

RayIndexBox Enclose(const RayIndexEntry *entries, uint32_t count) {
    RayIndexBox b = entries[0].box;
    for (uint32_t k = 1; k < count; ++k) {
        for (int axis = 0; axis < 3; ++axis) {
            b.lo[axis] = std::min(b.lo[axis], entries[k].box.lo[axis]);
            b.hi[axis] = std::max(b.hi[axis], entries[k].box.hi[axis]);
        }
    }
    return b;
}

// Splits entries [first, first + count) at the median of the widest axis of their centres.
void BuildNode(TypeRayIndex *index, uint32_t node, uint32_t first, uint32_t count) {
    RayIndexNode &n = index->nodes[node];
    n.box = Enclose(index->entries + first, count);
    if (count <= kLeafSize) {
        n.first = first;
        n.count = count;
        return;
    }
    float lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (uint32_t k = first; k < first + count; ++k) {
        for (int axis = 0; axis < 3; ++axis) {
            const float c = index->entries[k].box.lo[axis] + index->entries[k].box.hi[axis];
            lo[axis] = std::min(lo[axis], c);
            hi[axis] = std::max(hi[axis], c);
        }
    }
    int axis = 0;
    for (int a = 1; a < 3; ++a) {
        if (hi[a] - lo[a] > hi[axis] - lo[axis]) {
            axis = a;
        }
    }
    const uint32_t half = count / 2;
    RayIndexEntry *begin = index->entries + first;
    std::nth_element(begin, begin + half, begin + count,
                     [axis](const RayIndexEntry &a, const RayIndexEntry &b) {
                         return a.box.lo[axis] + a.box.hi[axis] < b.box.lo[axis] + b.box.hi[axis];
                     });
    const uint32_t child = index->nodeCount;
    index->nodeCount += 2;
    n.first = child;
    n.count = 0;
    BuildNode(index, child, first, half);
    BuildNode(index, child + 1, first + half, count - half);
}

// The index of the type as the registry stands now, or null without memory.
TypeRayIndex *BuildIndex(int32_t type) {
    uint32_t members = 0;
    for (ListLink *l = ActiveList.head; l != nullptr; l = l->next) {
        const CollisionObject *object = MemberOf<ActiveEntry>(l)->object;
        if (object->body->collisionType == type && FirstEllipsoid(object->body) != nullptr) {
            members += 1;
        }
    }
    TypeRayIndex *index = static_cast<TypeRayIndex *>(std::calloc(1, sizeof(TypeRayIndex)));
    if (index == nullptr) {
        return nullptr;
    }
    const uint32_t slots = members > 0 ? members : 1;
    // Leaves of a split hold at least two entries, so there are fewer nodes than entries.
    const uint32_t nodeSlots = slots;
    index->objects = static_cast<uint32_t *>(std::malloc(sizeof(uint32_t) * slots));
    index->entries = static_cast<RayIndexEntry *>(std::malloc(sizeof(RayIndexEntry) * slots));
    index->nodes = static_cast<RayIndexNode *>(std::malloc(sizeof(RayIndexNode) * nodeSlots));
    index->always = static_cast<uint32_t *>(std::malloc(sizeof(uint32_t) * slots));
    if (index->objects == nullptr || index->entries == nullptr || index->nodes == nullptr ||
        index->always == nullptr) {
        FreeIndex(index);
        return nullptr;
    }
    index->bytes = sizeof(TypeRayIndex) + slots * (2 * sizeof(uint32_t) + sizeof(RayIndexEntry)) +
                   nodeSlots * sizeof(RayIndexNode);

    // Ranks in activation order; boxes from the same resolved position and radii the test reads.
    for (ListLink *l = ActiveList.head; l != nullptr; l = l->next) {
        const CollisionObject *object = MemberOf<ActiveEntry>(l)->object;
        const CollisionBody *body = object->body;
        const EllipsoidShape *shape = body->collisionType == type ? FirstEllipsoid(body) : nullptr;
        if (shape == nullptr) {
            continue;
        }
        const uint32_t rank = index->objectCount++;
        index->objects[rank] = object->objectNumber;
        const Vec3 centre = ResolvedPosition(body);
        const double c[3] = {centre.x, centre.y, centre.z};
        const double r[3] = {shape->radii.x, shape->radii.y, shape->radii.z};
        bool boxed = true;
        RayIndexEntry entry;
        entry.rank = rank;
        entry.radii = shape->radii;
        entry.m = DivideComponents(centre, shape->radii);
        for (int axis = 0; axis < 3; ++axis) {
            // The negated test also catches NaN.
            if (!(InRange(c[axis]) && RadiusInRange(r[axis]))) {
                boxed = false;
                break;
            }
            const double reach = r[axis] + kWiden * (std::fabs(c[axis]) + r[axis]);
            entry.box.lo[axis] = Down(c[axis] - reach);
            entry.box.hi[axis] = Up(c[axis] + reach);
        }
        if (boxed) {
            index->entries[index->entryCount++] = entry;
        } else {
            index->always[index->alwaysCount++] = rank;
        }
    }
    if (index->entryCount > 0) {
        index->nodeCount = 1;
        BuildNode(index, 0, 0, index->entryCount);
    }
    return index;
}

bool SameBits(const Vec3 &a, const Vec3 &b) {
    return std::memcmp(&a, &b, sizeof(Vec3)) == 0;
}

bool Overlaps(const RayIndexBox &a, const RayIndexBox &b) {
    for (int axis = 0; axis < 3; ++axis) {
        if (a.hi[axis] < b.lo[axis] || a.lo[axis] > b.hi[axis]) {
            return false;
        }
    }
    return true;
}

bool ReserveScratch(uint32_t count) {
    if (count <= TypeRayScratchCapacity) {
        return true;
    }
    uint32_t *grown =
        static_cast<uint32_t *>(std::realloc(TypeRayScratch, sizeof(uint32_t) * count));
    if (grown == nullptr) {
        return false;
    }
    TypeRayScratch = grown;
    TypeRayScratchCapacity = count;
    return true;
}

} // namespace

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
        if (!(InRange(a0[axis]) && InRange(a1[axis]))) {
            return false;
        }
        query.lo[axis] = Down(std::min(a0[axis] - kWiden * std::fabs(a0[axis]),
                                       a1[axis] - kWiden * std::fabs(a1[axis])));
        query.hi[axis] = Up(std::max(a0[axis] + kWiden * std::fabs(a0[axis]),
                                     a1[axis] + kWiden * std::fabs(a1[axis])));
    }

    // A build costs several scans: the first rays after a change scan plainly, and the hierarchy
    // is built once enough rays at one SceneEpoch show that it will pay for itself.
    TypeRayDemand &demand = TypeRayDemands[type];
    if (demand.epoch != SceneEpoch) {
        demand.epoch = SceneEpoch;
        demand.rays = 0;
    }
    demand.rays += 1;
    TypeRayIndex *&index = TypeRayIndexes[type];
    if (index != nullptr && index->epoch != SceneEpoch) {
        FreeIndex(index);
        index = nullptr;
    }
    if (index == nullptr) {
        if (demand.rays < TypeRayIndexAfter) {
            return false;
        }
        index = BuildIndex(type);
        if (index == nullptr) {
            return false;
        }
        index->epoch = SceneEpoch;
        Stats.typeRayIndexBuilds += 1;
    }
    if (!ReserveScratch(index->objectCount > 0 ? index->objectCount : 1)) {
        return false;
    }

    // Every object whose box meets the segment's and that passes the ray test's own rejections,
    // then those that are always tested. Neighbours mostly share radii, and with them the ray in
    // their unit-sphere space.
    uint32_t count = 0;
    Vec3 unitRadii = {0.0f, 0.0f, 0.0f};
    UnitRay unit = {};
    if (index->entryCount > 0) {
        uint32_t stack[kMaxDepth];
        uint32_t depth = 0;
        stack[depth++] = 0;
        while (depth > 0) {
            const RayIndexNode &n = index->nodes[stack[--depth]];
            if (!Overlaps(n.box, query)) {
                continue;
            }
            if (n.count == 0) {
                stack[depth++] = n.first + 1;
                stack[depth++] = n.first;
                continue;
            }
            for (uint32_t k = n.first; k < n.first + n.count; ++k) {
                const RayIndexEntry &entry = index->entries[k];
                if (!Overlaps(entry.box, query)) {
                    continue;
                }
                if (!SameBits(entry.radii, unitRadii)) {
                    unitRadii = entry.radii;
                    unit = MakeUnitRay(ray, unitRadii);
                }
                float entryDistance = 0.0f, ww = 0.0f;
                if (UnitRayEntry(unit, entry.m, &entryDistance, &ww)) {
                    TypeRayScratch[count++] = entry.rank;
                }
            }
        }
    }
    for (uint32_t k = 0; k < index->alwaysCount; ++k) {
        TypeRayScratch[count++] = index->always[k];
    }

    // The survivors in activation order, through the scan's own per-object test.
    std::sort(TypeRayScratch, TypeRayScratch + count);
    Stats.typeRayEllipsoids += count;
    for (uint32_t k = 0; k < count; ++k) {
        RayAgainstObject(index->objects[TypeRayScratch[k]], kEllipsoidKind);
    }
    return true;
}

void FreeEllipsoidRayIndexes() {
    for (TypeRayIndex *&index : TypeRayIndexes) {
        FreeIndex(index);
        index = nullptr;
    }
    std::free(TypeRayScratch);
    TypeRayScratch = nullptr;
    TypeRayScratchCapacity = 0;
    for (TypeRayDemand &demand : TypeRayDemands) {
        demand = TypeRayDemand{0, 0};
    }
}

size_t EllipsoidRayIndexBytes() {
    size_t bytes = TypeRayScratchCapacity * sizeof(uint32_t);
    for (const TypeRayIndex *index : TypeRayIndexes) {
        bytes += index == nullptr ? 0 : index->bytes;
    }
    return bytes;
}

} // namespace vor
