// Ray queries: a segment from a start to an end point against the first ellipsoid or the first
// mesh of one object, or of every active object of a collision type. The nearest hit goes into the
// one module-wide RayResult; nothing else is changed.
#include "query/ray_cast.h"

#include <algorithm>
#include <cmath>

#include "body/registry.h"
#include "body/transforms.h"
#include "core/accel_mode.h"
#include "core/module_state.h"
#include "core/thresholds.h"
#include "mesh/mesh_accel.h"
#include "mesh/triangle_tests.h"
#include "query/ellipsoid_ray_index.h"
#include "query/unit_sphere_ray.h"

namespace vor {

namespace {

// Starts a query afresh. A zero-length ray keeps a zero direction instead of dividing by 0.
void BeginRay(const Vec3 &start, const Vec3 &end) {
    if (LastRay == nullptr) {
        LastRay = new RayResult();
    }
    RayResult &ray = *LastRay;
    const Vec3 span = Sub(end, start);
    ray.hitBody = nullptr;
    ray.hitObject = 0;
    ray.hitType = 0;
    ray.hit = 0;
    ray.from = start;
    ray.to = end;
    ray.length = std::sqrt(DotProduct(span, span));
    ray.distance = ray.length;
    ray.direction = Vec3{0.0f, 0.0f, 0.0f};
    if (ray.length != 0.0f) {
        ray.direction = Scale(1.0f / ray.length, span);
    }
    ray.normal = Vec3{0.0f, 0.0f, 0.0f};
    ray.position = Vec3{0.0f, 0.0f, 0.0f};
}

void RecordHit(CollisionBody *body, float distance, const Vec3 &position, const Vec3 &normal) {
    RayResult &ray = *LastRay;
    ray.distance = distance;
    ray.hit = 1;
    ray.hitBody = body;
    ray.position = position;
    ray.normal = normal;
}

// The hit of an ellipsoid centred at `centre` whose entry UnitRayEntry passed, at `dist`, when
// nearer than the best so far.
void RecordEllipsoidHit(CollisionBody *body, const Vec3 &centre, float dist) {
    const RayResult &ray = *LastRay;
    if (!(dist < ray.distance)) {
        return;
    }
    const Vec3 position = Add(ray.from, Scale(dist, ray.direction));
    RecordHit(body, dist, position, Normalize(Sub(position, centre)));
}

void RayAgainstEllipsoid(const EllipsoidShape *shape, CollisionBody *body) {
    const RayResult &ray = *LastRay;
    const Vec3 &r = shape->radii;
    // Centred on where the last pass left the body; the offset is not added.
    const Vec3 centre = ResolvedPosition(body);
    const UnitRay unit = MakeUnitRay(ray, r);
    float entry = 0.0f, ww = 0.0f;
    if (!UnitRayEntry(unit, DivideComponents(centre, r), &entry, &ww)) {
        return;
    }
    RecordEllipsoidHit(body, centre, EllipsoidHitDistance(entry, ww, ray.length));
}

// The type is taken when the hit is recorded, so that the accessors never read a body freed after
// the query.
void TakeHitObject(uint32_t n, const CollisionBody *body) {
    if (LastRay->hitBody == body) {
        LastRay->hitObject = static_cast<int32_t>(n);
        LastRay->hitType = body->collisionType;
    }
}

// The hierarchy's answer for the whole mesh, when it can give one (see mesh_accel_ray.cpp).
bool RayAgainstMeshAccel(const MeshShape *mesh, CollisionBody *body) {
    const RayResult &ray = *LastRay;
    AccelRayHit hit;
    if (!MeshAccelRay(mesh, MeshWorldMatrix(body), ray.from, ray.to, ray.direction, ray.distance,
                      &hit)) {
        Stats.accelRayFallbacks += 1;
        return false;
    }
    Stats.accelRays += 1;
    Stats.rayTriangles += hit.tested;
    Stats.accelRayNodes += hit.nodes;
    Stats.accelRayLeaves += hit.leaves;
    Stats.accelRayItems += hit.items;
    Stats.accelRayFoundMost = std::max<uint64_t>(Stats.accelRayFoundMost, hit.found);
    if (hit.hit != 0) {
        RecordHit(body, hit.distance, hit.position, hit.normal);
    }
    return true;
}

void RayAgainstMesh(const MeshShape *mesh, CollisionBody *body) {
    const Vec3 unit = {1.0f, 1.0f, 1.0f};
    if (!MeshBoundsTest(mesh, LastRay->from, LastRay->to, body, unit)) {
        return;
    }
    Stats.meshRays += 1;
    if (!ReferenceScans && RayAgainstMeshAccel(mesh, body)) {
        return;
    }
    // Otherwise the triangles whose box test could pass, in list order, or all of them.
    uint32_t count = 0;
    const AccelCandidate *candidates =
        ReferenceScans
            ? nullptr
            : MeshAccelQuery(mesh, MeshWorldMatrix(body), LastRay->from, LastRay->to, unit, &count);
    if (candidates != nullptr) {
        Stats.rayTriangles += count;
        for (uint32_t k = 0; k < count; ++k) {
            const Vec3 *w = candidates[k].corners;
            RayAgainstWorldTriangle(w[0], w[1], w[2], body);
        }
        return;
    }
    Stats.rayTriangles += mesh->triangleCount;
    for (ListLink *l = mesh->triangles.head; l != nullptr; l = l->next) {
        RayAgainstTriangle(*MemberOf<MeshTriangle>(l), body);
    }
}

// The first shape of the body of kind k, in attachment order, or null.
ShapeHead *FirstShapeOfKind(const CollisionBody *body, int32_t kind) {
    for (ListLink *l = body->shapes.head; l != nullptr; l = l->next) {
        ShapeHead *shape = MemberOf<ShapeHead>(l);
        if (shape->kind == kind) {
            return shape;
        }
    }
    return nullptr;
}

} // namespace

// A ray without length (or with NaN in it) hits nothing.
bool RayHasLength() {
    return LastRay->length > 0.0f;
}

void RayAgainstObject(uint32_t n, int32_t kind) {
    CollisionBody *body = ObjectTable[n]->body;
    if (!RayHasLength()) {
        return;
    }
    ShapeHead *shape = FirstShapeOfKind(body, kind);
    if (shape == nullptr) {
        return;
    }
    if (kind == kEllipsoidKind) {
        RayAgainstEllipsoid(AsEllipsoid(shape), body);
    } else if (kind == kMeshKind) {
        RayAgainstMesh(AsMesh(shape), body);
    }
    TakeHitObject(n, body);
}

void RayAgainstEllipsoidEntered(uint32_t n, const Vec3 &centre, float dist) {
    CollisionBody *body = ObjectTable[n]->body;
    RecordEllipsoidHit(body, centre, dist);
    TakeHitObject(n, body);
}

void RayAgainstTriangle(const MeshTriangle &triangle, CollisionBody *body) {
    const Matrix4 &world = MeshWorldMatrix(body);
    RayAgainstWorldTriangle(Transform(triangle.corner1, world), Transform(triangle.corner2, world),
                            Transform(triangle.corner3, world), body);
}

void RayAgainstWorldTriangle(const Vec3 &t1, const Vec3 &t2, const Vec3 &t3, CollisionBody *body) {
    const RayResult &ray = *LastRay;
    if (!TriangleBoxTest(ray.from, ray.to, t1, t2, t3)) {
        return;
    }

    // The start must lie in front of the plane, nearer than the best hit, and the ray approach.
    const Vec3 n = Normalize(Cross(Sub(t2, t1), Sub(t3, t1)));
    const float d = DotProduct(Sub(ray.from, t1), n);
    if (!(d > 0.0f)) {
        return;
    }
    if (!(d < ray.distance)) {
        return;
    }
    const float approach = DotProduct(n, ray.direction);
    if (!(approach < 0.0f)) {
        return;
    }
    const float t = std::fabs(d / approach);
    if (!(t < ray.distance)) {
        return;
    }
    const Vec3 p = Add(ray.from, Scale(t, ray.direction));
    if (PointInTriangle(p, n, t1, t2, t3)) {
        RecordHit(body, t, p, n);
    }
}

int32_t RayIntersectObject(uint32_t n, int32_t kind, const Vec3 &start, const Vec3 &end) {
    BeginRay(start, end);
    RayAgainstObject(n, kind);
    return LastRay->hit == 1 ? 1 : 0;
}

int32_t RayIntersectType(int32_t type, int32_t kind, const Vec3 &start, const Vec3 &end) {
    BeginRay(start, end);
    // Ellipsoids go through a bounds hierarchy that tests the same objects that can hit, in order.
    if (kind == kEllipsoidKind && !ReferenceScans && EllipsoidRaysByType(type)) {
        return LastRay->hit == 1 ? 1 : 0;
    }
    // Active objects in activation order, so the first activated wins a tie.
    for (ListLink *l = ActiveList.head; l != nullptr; l = l->next) {
        const CollisionObject *object = MemberOf<ActiveEntry>(l)->object;
        if (object->body->collisionType == type) {
            RayAgainstObject(object->objectNumber, kind);
        }
    }
    return LastRay->hit == 1 ? 1 : 0;
}

void FreeRayResult() {
    delete LastRay;
    LastRay = nullptr;
}

} // namespace vor
