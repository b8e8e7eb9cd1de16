// The candidates of an ellipsoid's last search of a mesh, for up to kKeptMeshSlots meshes, kept
// with the ellipsoid so that its later steps, which mostly stay within the box searched (the
// iterations after a contact, the next frames of a slow walk), take them from there instead of
// searching the hierarchy again (mesh_sweep_cache.cpp). A search that finds nothing takes no slot
// from another mesh's list: far pieces of a level leave the near ones theirs.
#pragma once

#include <cstdint>

#include "core/records.h"
#include "mesh/mesh_accel.h"
#include "mesh/triangle_tests.h"

namespace vor {

// Triangles one kept search holds at most: the list's memory is as large as the most it has held.
constexpr uint32_t kSweepCacheTriangles = 64;
// Steps longer than this (unit-sphere lengths) never search to keep: the sweep's search then skips
// triangles by distance, which a box cannot. (A longer step inside a kept box still takes it.)
constexpr float kSweepCacheStepMost = 4.0f;
// A search whose list is wasted (more triangles than a list holds: a body large beside the mesh's
// triangles; or replacing a list that served no step: a body that jumps about) costs more than
// the plain search, and is tried again only after this many plain ones; a list replacing one that
// served nothing waits twice as long as the one before, 1, 3, 7, then this many. So wasted searches
// are at most one sweep in kSweepCacheIdleMost + 1 once the back-off is full.
constexpr uint32_t kSweepCacheIdleMost = 15;

struct KeptTriangle {
    uint32_t position;
    Vec3 corners[3]; // world corners, as the search handed them out
    Vec3 unit[3];    // the corners divided by the radii (the radii are the list's, to the bit)
    Vec3 normal;     // the unit normal of those, as the face test computes it
};
// The triangle at `position` with world corners w, kept for an ellipsoid of radii r.
KeptTriangle KeepTriangle(uint32_t position, const Vec3 *w, const Vec3 &r);
// Its grown box, of the divided corners.
inline GrownBox KeptBox(const KeptTriangle &t) {
    return TriangleGrownBox(t.unit[0], t.unit[1], t.unit[2]);
}

struct MeshSweepCache {
    uint64_t meshSerial;    // the mesh searched (0: none), with this many triangles, at `matrix`,
    uint32_t triangleCount; // for an ellipsoid of radii `radii`
    uint32_t listed;        // 1 when kept[0..count) is its list (0: too many, backing off)
    Matrix4 matrix;
    Vec3 radii;
    Vec3 lo, hi;        // the box searched, in unit-sphere space
    uint32_t count;     // triangles, in list order
    uint32_t capacity;  // room in `kept`
    uint32_t served;    // steps the list has served
    uint32_t idle;      // plain searches to make before keeping a list again
    uint32_t wasted;    // lists in a row replaced without serving a step
    uint32_t used;      // when the slot was last used, by its ellipsoid's count of uses
    // Right after this record, in the same block: each triangle's grown box, then the rest of it.
    // The boxes lie together because every use tests them all and takes a few triangles on: a
    // walk through the boxes reads a fifth of the lines it read inside whole triangles.
    GrownBox *boxes;
    KeptTriangle *kept;
};
// Stores t, with its grown box, as the list's triangle k.
inline void StoreKept(MeshSweepCache *c, uint32_t k, const KeptTriangle &t, const GrownBox &box) {
    c->boxes[k] = box;
    c->kept[k] = t;
}

// The kept candidates when they cover the step s..e (unit-sphere space) of this ellipsoid against
// mesh at world: every triangle whose grown box the step overlaps is among them. Counts the step
// as served. Null otherwise.
const MeshSweepCache *TakeKeptCandidates(EllipsoidShape *ellipsoid, const MeshShape *mesh,
                                         const Matrix4 &world, const Vec3 &s, const Vec3 &e);
// True while the ellipsoid's searches of mesh are to stay plain (the back-off above); counts one
// off.
bool SweepCacheIdle(EllipsoidShape *ellipsoid, const MeshShape *mesh);
// The box a step s..e searches when its candidates are to be kept: the step's own box grown by
// twice its length (at least 0.5, at most 1), so that the iterations after a contact, which start
// on the step and move no farther, and the next frames of a walk mostly stay inside it.
void SweepCacheBox(const Vec3 &s, const Vec3 &e, Vec3 *lo, Vec3 *hi);
// The list's storage for the candidates of a search of box lo..hi (the list MeshAccelQuery gave
// for the segment lo..hi), count of them, to be filled in by the caller (kept[0..count)); null,
// the mesh's last list forgotten, when there are more than kSweepCacheTriangles or memory runs
// out, and when there are none and every slot holds another mesh's list (the slots as they were).
MeshSweepCache *KeepSweepCandidates(EllipsoidShape *ellipsoid, const MeshShape *mesh,
                                    const Matrix4 &world, const Vec3 &lo, const Vec3 &hi,
                                    uint32_t count);

} // namespace vor
