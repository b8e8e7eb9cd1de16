// The moving ellipsoid against the triangles of one mesh: carrying the step along with a moving
// mesh in the first iteration of a pass, the loop over the triangles in list order, the face test
// of each triangle, and the making of mesh contacts. Edges and corners are in mesh_edges.cpp.
#include "pass/mesh_sweep.h"

#include <cmath>
#include <cstring>

#include "body/motion_index.h"
#include "body/transforms.h"
#include "core/accel_mode.h"
#include "core/definitions.h"
#include "core/module_state.h"
#include "core/settings.h"
#include "core/thresholds.h"
#include "mesh/mesh_accel.h"
#include "mesh/triangle_tests.h"
#include "pass/mesh_sweep_cache.h"
#include "pass/mesh_sweep_steps.h"

namespace vor {

namespace {

bool IsFinite(const Vec3 &v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Moves a world point as the mesh body moved from its previous pose to its current one. A pose
// that cannot be undone (scale 0, a NaN or overflowing angle) carries nothing: the point stays.
Vec3 CarryWithMesh(const Vec3 &p, const CollisionBody *meshBody) {
    const Vec3 carried = Transform(Transform(p, meshBody->inversePrevious), meshBody->worldMatrix);
    return IsFinite(carried) ? carried : p;
}

// A rider turns with its platform, unless the sum is no longer a finite angle.
void TurnWithMesh(CollisionBody *body, const CollisionBody *meshBody) {
    const Vec3 turn = Sub(meshBody->newRotation, meshBody->previousRotation);
    const Vec3 turned = Add(body->newRotation, turn);
    if (IsFinite(turned)) {
        body->newRotation = turned;
    }
}

// True when the body's nearest contact of some step in the pass before was on this mesh body
// with a normal steep enough to stand on.
bool StoodOnMeshLastPass(const CollisionBody *body, const CollisionBody *meshBody) {
    for (ListLink *l = body->previousMotion.head; l != nullptr; l = l->next) {
        const ContactRecord *c = MemberOf<MotionRecord>(l)->nearest;
        if (c != nullptr && c->otherBody == meshBody &&
            static_cast<double>(c->normal.y) > kStoodOnNormalY) {
            return true;
        }
    }
    return false;
}

// A triangle that was already the nearest contact of an earlier step of this pass (with concave
// mode 1, of the step just before) is not tested again: it would only hold the body in place.
bool PolygonAlreadyHit(const MeshSweep &sweep) {
    if (ConcaveMode != 1 && sweep.step == LatestMotion(sweep.body)) {
        if (const MotionIndex *index = MotionIndexOf(sweep.body)) {
            return IndexNamesPolygon(index, sweep.meshBody, sweep.polygon);
        }
    }
    for (ListLink *l = sweep.step->link.prev; l != nullptr; l = l->prev) {
        const ContactRecord *c = MemberOf<MotionRecord>(l)->nearest;
        if (c != nullptr && c->otherBody == sweep.meshBody && c->definition != nullptr &&
            IsMeshDefinition(c->definition) && c->polygon == sweep.polygon) {
            return true;
        }
        if (ConcaveMode == kConcaveNever) {
            break;
        }
    }
    return false;
}

} // namespace

bool PassMeshBoundsTest(const MeshShape *mesh, const Vec3 &s, const Vec3 &e,
                        const CollisionBody *body, const Vec3 &radii) {
    PassBoundsCube &cube = LastBoundsCube;
    if (cube.pass != PassSerial || cube.mesh != mesh ||
        std::memcmp(&cube.radii, &radii, sizeof(Vec3)) != 0) {
        cube = PassBoundsCube{PassSerial, mesh, radii, MeshBoundsHalf(mesh, body, radii)};
    }
    return MeshBoundsMeet(cube.half, s, e, body, radii);
}

void PrepareMeshHierarchies(const IntrusiveList &shapes) {
    if (ReferenceScans) {
        return;
    }
    for (const ShapeEntry *t = ListHead<ShapeEntry>(shapes); t != nullptr;
         t = MemberOf<ShapeEntry>(t->link.next)) {
        if (t->shape->kind == kMeshKind) {
            PrepareMeshAccel(AsMesh(t->shape), MeshWorldMatrix(t->body));
        }
    }
}

bool NotEarlierThanNearest(const MeshSweep &sweep, float f) {
    const ContactRecord *nearest = sweep.step->nearest;
    return nearest != nullptr && !(static_cast<double>(f) < nearest->time);
}

namespace {

// First iteration only: carries the start (and for a rider the end and its angles) with the
// mesh's own motion since its previous update. False when the mesh's bounds end the sweep.
bool CarryAndBound(MeshSweep &sweep, Vec3 &s, Vec3 &e) {
    const CollisionDefinition *d = sweep.definition;
    const Vec3 &r = sweep.ellipsoid->radii;
    if (Pass.sweepIteration != 1 || d->dynamicResponse == kDynamicStill) {
        return PassMeshBoundsTest(sweep.mesh, s, e, sweep.meshBody, r);
    }
    s = CarryWithMesh(s, sweep.meshBody);
    if (!PassMeshBoundsTest(sweep.mesh, s, e, sweep.meshBody, r)) {
        return false;
    }
    if ((d->dynamicResponse == kDynamicCarryTurn || d->dynamicResponse == kDynamicCarryRiders) &&
        StoodOnMeshLastPass(sweep.body, sweep.meshBody)) {
        e = CarryWithMesh(e, sweep.meshBody);
        if (d->dynamicResponse == kDynamicCarryTurn) {
            TurnWithMesh(sweep.body, sweep.meshBody);
        }
    }
    return true;
}

// The step in unit-sphere space. Without motion there is no direction: D stays zero and the
// tests that need one are skipped explicitly.
void SetUnitSphereStep(MeshSweep &sweep, const Vec3 &s, const Vec3 &e) {
    const Vec3 &r = sweep.ellipsoid->radii;
    sweep.start = DivideComponents(s, r);
    sweep.end = DivideComponents(e, r);
    sweep.move = Sub(sweep.end, sweep.start);
    sweep.length = std::sqrt(DotProduct(sweep.move, sweep.move));
    sweep.direction = Vec3{0.0f, 0.0f, 0.0f};
    if (sweep.length != 0.0f) {
        sweep.direction = Scale(1.0f / sweep.length, sweep.move);
    }
}

// A kept or found triangle: on to the sweep when its grown box meets the step, its box test
// thereby made (on the same faces the sweep would compute), with the divided corners and the
// normal the face test would compute.
void SweepIfMeeting(MeshSweep &sweep, const GrownBox &box, const KeptTriangle &t) {
    if (GrownBoxMeets(box, sweep.start, sweep.end)) {
        sweep.polygon = static_cast<int32_t>(t.position) + 1;
        if (!PolygonAlreadyHit(sweep)) {
            SweepUnitTriangle(sweep, t.corners, t.unit, t.normal);
        }
    }
}

// A step short enough to skip no triangle by distance searches the box its later iterations will
// mostly keep to, keeps what it finds, and sweeps it; a later step inside that box sweeps the kept
// triangles (mesh_sweep_cache.cpp). False when neither applies: the caller searches as usual.
bool SweepKeptCandidates(MeshSweep &sweep) {
    const Matrix4 &world = *sweep.meshMatrix;
    const Vec3 &r = sweep.ellipsoid->radii;
    if (const MeshSweepCache *kept =
            TakeKeptCandidates(sweep.ellipsoid, sweep.mesh, world, sweep.start, sweep.end)) {
        Stats.sweepCacheHits += 1;
        Stats.trianglesTested += kept->count;
        for (uint32_t k = 0; k < kept->count; ++k) {
            SweepIfMeeting(sweep, kept->boxes[k], kept->kept[k]);
        }
        return true;
    }
    const Vec3 d = Sub(sweep.end, sweep.start);
    if (!(DotProduct(d, d) <= kSweepCacheStepMost * kSweepCacheStepMost) ||
        SweepCacheIdle(sweep.ellipsoid, sweep.mesh)) {
        return false;
    }
    Vec3 lo, hi;
    SweepCacheBox(sweep.start, sweep.end, &lo, &hi);
    uint32_t count = 0;
    const AccelCandidate *found = MeshAccelQuery(sweep.mesh, world, lo, hi, r, &count);
    if (found == nullptr) {
        return false;
    }
    MeshSweepCache *keep = KeepSweepCandidates(sweep.ellipsoid, sweep.mesh, world, lo, hi, count);
    Stats.sweepCacheSearches += 1;
    Stats.trianglesTested += count;
    for (uint32_t k = 0; k < count; ++k) {
        const KeptTriangle t = KeepTriangle(found[k].position, found[k].corners, r);
        const GrownBox box = KeptBox(t);
        if (keep != nullptr) {
            StoreKept(keep, k, t, box);
        }
        SweepIfMeeting(sweep, box, t);
    }
    return true;
}

// Every triangle in list order; polygon numbers count from 1. The hierarchy hands over only the
// triangles that the face, edge and corner tests could touch, still in list order, with their
// world corners.
void SweepTriangles(MeshSweep &sweep) {
    MeshShape *mesh = sweep.mesh;
    Stats.meshSweeps += 1;
    if (!ReferenceScans && SweepKeptCandidates(sweep)) {
        return;
    }
    uint32_t count = 0;
    const AccelCandidate *candidates =
        ReferenceScans ? nullptr
                       : MeshAccelSweepQuery(mesh, *sweep.meshMatrix, sweep.start, sweep.end,
                                             sweep.ellipsoid->radii, &count);
    if (candidates != nullptr) {
        Stats.trianglesTested += count;
        for (uint32_t k = 0; k < count; ++k) {
            sweep.polygon = static_cast<int32_t>(candidates[k].position) + 1;
            const Vec3 *w = candidates[k].corners;
            SweepWorldTriangle(sweep, w[0], w[1], w[2], candidates[k].boxPassed != 0);
        }
        return;
    }
    Stats.trianglesTested += mesh->triangleCount;
    sweep.polygon = 0;
    for (ListLink *l = mesh->triangles.head; l != nullptr; l = l->next) {
        sweep.polygon += 1;
        SweepTriangle(sweep, *MemberOf<MeshTriangle>(l));
    }
}

} // namespace

void SweepEllipsoidMesh(CollisionDefinition *d, EllipsoidShape *ellipsoid, MeshShape *mesh) {
    if (!IsMeshDefinition(d)) {
        return;
    }
    MeshSweep sweep = {};
    sweep.definition = d;
    sweep.body = ellipsoid->head.body;
    sweep.meshBody = mesh->head.body;
    sweep.ellipsoid = ellipsoid;
    sweep.mesh = mesh;
    sweep.step = LatestMotion(sweep.body);
    sweep.meshMatrix = &MeshWorldMatrix(sweep.meshBody);
    if (sweep.step == nullptr) {
        return;
    }
    Vec3 s = Add(sweep.step->start, ellipsoid->offset);
    Vec3 e = Add(sweep.step->end, ellipsoid->offset);
    if (!CarryAndBound(sweep, s, e)) {
        return;
    }
    SetUnitSphereStep(sweep, s, e);
    SweepTriangles(sweep);
    // Once a sweep: the counters are the thread's own, and reaching them costs more than a field.
    Stats.trianglesOverlapped += sweep.overlapped;
}

void SweepTriangle(MeshSweep &sweep, const MeshTriangle &triangle) {
    if (PolygonAlreadyHit(sweep)) {
        return;
    }
    SweepTriangleAt(sweep, Transform(triangle.corner1, *sweep.meshMatrix),
                    Transform(triangle.corner2, *sweep.meshMatrix),
                    Transform(triangle.corner3, *sweep.meshMatrix), false);
}

void SweepWorldTriangle(MeshSweep &sweep, const Vec3 &w1, const Vec3 &w2, const Vec3 &w3,
                        bool boxPassed) {
    if (PolygonAlreadyHit(sweep)) {
        return;
    }
    SweepTriangleAt(sweep, w1, w2, w3, boxPassed);
}

namespace {

// The touch point fell outside the face: each edge, then each corner, in this order.
void SweepEdgesAndCorners(MeshSweep &sweep, const Vec3 &t1, const Vec3 &t2, const Vec3 &t3) {
    SweepEdge(sweep, t1, t2);
    SweepEdge(sweep, t2, t3);
    SweepEdge(sweep, t3, t1);
    SweepCorner(sweep, t1);
    SweepCorner(sweep, t2);
    SweepCorner(sweep, t3);
}

} // namespace

void SweepTriangleAt(MeshSweep &sweep, const Vec3 &w1, const Vec3 &w2, const Vec3 &w3,
                     bool boxPassed) {
    const Vec3 &r = sweep.ellipsoid->radii;
    const Vec3 w[3] = {w1, w2, w3};
    const Vec3 t[3] = {DivideComponents(w1, r), DivideComponents(w2, r), DivideComponents(w3, r)};
    if (!boxPassed && !TriangleBoxTest(sweep.start, sweep.end, t[0], t[1], t[2])) {
        return;
    }
    SweepUnitTriangle(sweep, w, t, TriangleNormal(t[0], t[1], t[2]));
}

void SweepUnitTriangle(MeshSweep &sweep, const Vec3 *w, const Vec3 *t, const Vec3 &n) {
    const Vec3 &S = sweep.start;
    const Vec3 &t1 = t[0], &t2 = t[1], &t3 = t[2];
    sweep.world1 = w[0];
    sweep.world2 = w[1];
    sweep.world3 = w[2];
    sweep.overlapped += 1;

    // The plane: the centre must start strictly in front and the plane be within reach.
    const float d = DotProduct(Sub(S, t1), n);
    if (!(d > 0.0f)) {
        return;
    }
    if (!(d - 1.0f < sweep.length)) {
        return;
    }
    const bool moving = sweep.length != 0.0f;
    const float approach = DotProduct(n, sweep.direction);
    if (moving && !(approach < 0.0f)) {
        return;
    }

    // Time and centre of the touch: at once if the sphere already cuts the plane.
    float f;
    Vec3 h;
    if (d < 1.0f) {
        f = 0.0f;
        h = Add(S, Scale(1.0f - d, n));
    } else {
        const float t = std::fabs((d - 1.0f) / approach);
        if (t > sweep.length) {
            return;
        }
        f = t / sweep.length;
        h = Add(S, Scale(t, sweep.direction));
    }
    const ContactRecord *nearest = sweep.step->nearest;
    if (nearest != nullptr && static_cast<double>(f) > nearest->time) {
        return;
    }

    // A touch point inside the face is the contact; otherwise the edges and corners decide.
    const Vec3 q = Sub(h, n);
    if (PointInTriangle(q, n, t1, t2, t3)) {
        RecordMeshContact(sweep, h, q, f, 0);
        return;
    }
    if (moving) {
        SweepEdgesAndCorners(sweep, t1, t2, t3);
    }
}

void RecordMeshContact(MeshSweep &sweep, const Vec3 &h, const Vec3 &q, float f, uint8_t edgeHit) {
    // Back to world units; the normal points from the contact point to the centre.
    const Vec3 &r = sweep.ellipsoid->radii;
    const Vec3 sw = MultiplyComponents(sweep.start, r);
    const Vec3 ew = MultiplyComponents(sweep.end, r);
    const Vec3 hw = MultiplyComponents(h, r);
    const Vec3 qw = MultiplyComponents(q, r);
    const Vec3 nw = Normalize(Sub(hw, qw));
    // Overflowing or NaN input never becomes a contact the response would spread.
    if (!IsFinite(hw) || !IsFinite(qw) || !std::isfinite(f)) {
        return;
    }

    // Offer the contact to the latest step, which keeps it only if it is the nearest.
    ContactRecord *c = NewContact(kMeshKind);
    c->polygon = sweep.polygon;
    c->corner1 = sweep.world1;
    c->corner2 = sweep.world2;
    c->corner3 = sweep.world3;
    c->edgeHit = edgeHit;
    FillContact(c, sweep.definition, sweep.meshBody, sw, ew, hw, qw, nw, sweep.ellipsoid->offset,
                f);
    AddContact(sweep.step, c);
}

} // namespace vor
