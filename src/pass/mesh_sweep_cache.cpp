// Why a kept list serves a later step exactly: the list of a search of the box B (the segment
// from B's low corner to its high one) holds every triangle whose grown box B overlaps
// (mesh_accel_sweep.cpp). The box test rejects a triangle when both ends of a step lie beyond the
// same face of its grown box, that is when the grown box misses the step's own box; so a triangle
// that a step inside B overlaps overlaps B, and is in the list. The corners are the floats the
// search handed out, in list order, and the sweep applies the box test to each as the plain scan
// does: the same triangles reach the face, edge and corner tests in the same order. The mesh is
// the same: its serial (from 1) is never given to another shape, and its triangles are only ever
// appended (their count is checked); its matrix and the ellipsoid's radii are compared bit for
// bit.
#include "pass/mesh_sweep_cache.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace vor {

namespace {

// How far the box searched reaches past a step's own (unit-sphere lengths): twice the step, so
// that a walk's next frames stay inside, and at least half a radius, for a step that turns.
constexpr float kLeastGrowth = 0.5f;
constexpr float kMostGrowth = 1.0f;

bool Inside(const Vec3 &lo, const Vec3 &hi, const Vec3 &p) {
    return p.x >= lo.x && p.x <= hi.x && p.y >= lo.y && p.y <= hi.y && p.z >= lo.z && p.z <= hi.z;
}

bool SameBits(const void *a, const void *b, size_t bytes) {
    return std::memcmp(a, b, bytes) == 0;
}

// The slot that keeps the triangles of mesh, if one does (null otherwise).
MeshSweepCache *SlotOf(EllipsoidShape *ellipsoid, const MeshShape *mesh) {
    for (MeshSweepCache *c : ellipsoid->sweepCache) {
        if (c != nullptr && c->meshSerial != 0 && c->meshSerial == mesh->serial) {
            return c;
        }
    }
    return nullptr;
}

// The slot to keep mesh's triangles in: its own, else an empty one, else the least lately used.
MeshSweepCache *&SlotFor(EllipsoidShape *ellipsoid, const MeshShape *mesh) {
    MeshSweepCache **best = &ellipsoid->sweepCache[0];
    for (MeshSweepCache *&c : ellipsoid->sweepCache) {
        if (c != nullptr && c->meshSerial != 0 && c->meshSerial == mesh->serial) {
            return c;
        }
        if (*best != nullptr && (c == nullptr || c->used < (*best)->used)) {
            best = &c;
        }
    }
    return *best;
}

// A use of slot c, stamped after every other slot of the ellipsoid.
void MarkUsed(EllipsoidShape *ellipsoid, MeshSweepCache *c) {
    uint32_t latest = 0;
    for (const MeshSweepCache *other : ellipsoid->sweepCache) {
        latest = other != nullptr ? std::max(latest, other->used) : latest;
    }
    c->used = latest + 1;
}

} // namespace

const MeshSweepCache *TakeKeptCandidates(EllipsoidShape *ellipsoid, const MeshShape *mesh,
                                         const Matrix4 &world, const Vec3 &s, const Vec3 &e) {
    MeshSweepCache *c = SlotOf(ellipsoid, mesh);
    // A NaN end is inside no box.
    if (c == nullptr || c->listed == 0 || c->triangleCount != mesh->triangleCount ||
        !Inside(c->lo, c->hi, s) || !Inside(c->lo, c->hi, e) ||
        !SameBits(&c->radii, &ellipsoid->radii, sizeof(Vec3)) ||
        !SameBits(&c->matrix, &world, sizeof(Matrix4))) {
        return nullptr;
    }
    c->served += 1;
    MarkUsed(ellipsoid, c);
    return c;
}

bool SweepCacheIdle(EllipsoidShape *ellipsoid, const MeshShape *mesh) {
    MeshSweepCache *c = SlotOf(ellipsoid, mesh);
    if (c == nullptr || c->idle == 0) {
        return false;
    }
    c->idle -= 1;
    return true;
}

KeptTriangle KeepTriangle(uint32_t position, const Vec3 *w, const Vec3 &r) {
    KeptTriangle t;
    t.position = position;
    for (int k = 0; k < 3; ++k) {
        t.corners[k] = w[k];
        t.unit[k] = DivideComponents(w[k], r);
    }
    t.normal = TriangleNormal(t.unit[0], t.unit[1], t.unit[2]);
    return t;
}

void SweepCacheBox(const Vec3 &s, const Vec3 &e, Vec3 *lo, Vec3 *hi) {
    const Vec3 d = {e.x - s.x, e.y - s.y, e.z - s.z};
    const float g =
        std::min(kMostGrowth, std::max(kLeastGrowth, 2.0f * std::sqrt(DotProduct(d, d))));
    *lo = Vec3{std::min(s.x, e.x) - g, std::min(s.y, e.y) - g, std::min(s.z, e.z) - g};
    *hi = Vec3{std::max(s.x, e.x) + g, std::max(s.y, e.y) + g, std::max(s.z, e.z) + g};
}

namespace {

// Room for `count` kept triangles; false (the record as it was) when memory runs out.
bool Reserve(MeshSweepCache *&slot, uint32_t count) {
    MeshSweepCache *c = slot;
    if (c != nullptr && c->capacity >= count) {
        return true;
    }
    // Grown in steps of eight, so that a list of slowly rising length is not moved each time.
    const uint32_t capacity = std::min(kSweepCacheTriangles, (count + 8) & ~7u);
    static_assert(sizeof(MeshSweepCache) % alignof(GrownBox) == 0, "the boxes follow");
    static_assert(sizeof(MeshSweepCache) % alignof(KeptTriangle) == 0,
                  "the record keeps the triangles aligned");
    static_assert(sizeof(GrownBox) % alignof(KeptTriangle) == 0,
                  "the boxes keep the triangles aligned");
    const size_t bytes =
        sizeof(MeshSweepCache) + capacity * (sizeof(GrownBox) + sizeof(KeptTriangle));
    void *grown = std::realloc(c, bytes);
    if (grown == nullptr) {
        return false;
    }
    MeshSweepCache *made =
        c == nullptr ? new (grown) MeshSweepCache{} : static_cast<MeshSweepCache *>(grown);
    made->capacity = capacity;
    made->boxes = reinterpret_cast<GrownBox *>(made + 1);
    made->kept = reinterpret_cast<KeptTriangle *>(made->boxes + capacity);
    slot = made;
    return true;
}

} // namespace

MeshSweepCache *KeepSweepCandidates(EllipsoidShape *ellipsoid, const MeshShape *mesh,
                                    const Matrix4 &world, const Vec3 &lo, const Vec3 &hi,
                                    uint32_t count) {
    const bool fits = count <= kSweepCacheTriangles;
    MeshSweepCache *&slot = SlotFor(ellipsoid, mesh);
    if (count == 0 && slot != nullptr && slot->meshSerial != 0 &&
        slot->meshSerial != mesh->serial) {
        return nullptr;
    }
    if (!Reserve(slot, fits ? count : 0)) {
        if (slot != nullptr) {
            slot->listed = 0;
        }
        return nullptr;
    }
    MeshSweepCache *c = slot;
    MarkUsed(ellipsoid, c);
    const bool replacedUnused = c->meshSerial == mesh->serial && c->served == 0;
    c->wasted = replacedUnused ? std::min(c->wasted + 1, 4u) : 0;
    c->idle = !fits ? kSweepCacheIdleMost : std::min((1u << c->wasted) - 1, kSweepCacheIdleMost);
    c->meshSerial = mesh->serial;
    c->listed = fits ? 1 : 0;
    c->triangleCount = mesh->triangleCount;
    c->matrix = world;
    c->radii = ellipsoid->radii;
    c->lo = lo;
    c->hi = hi;
    c->count = fits ? count : 0;
    c->served = 0;
    return fits ? c : nullptr;
}

} // namespace vor
