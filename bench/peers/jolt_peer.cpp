// Jolt Physics as a game would use it for rays against a static level: the level as one MeshShape
// (built from the triangle list when the shape is made) on a static body in a PhysicsSystem, the
// broad phase optimised once, and NarrowPhaseQuery::CastRay with a closest-hit collector. Jolt's
// default RayCastSettings ignore back faces, and its front face is vorcollide's (counter-clockwise
// seen from the front, normal (v1-v0) x (v2-v0)), so the triangles go in unchanged. Timed beside
// it: Jolt's faster closest-hit CastRay, which takes no settings and hits both faces, and the
// shape's own CastRay with the same settings, which leaves the broad phase out.
#include <Jolt/Jolt.h>

#include <Jolt/Core/Factory.h>
#include <Jolt/Physics/Body/BodyCreationSettings.h>
#include <Jolt/Physics/Collision/BroadPhase/BroadPhaseLayerInterfaceTable.h>
#include <Jolt/Physics/Collision/BroadPhase/ObjectVsBroadPhaseLayerFilterTable.h>
#include <Jolt/Physics/Collision/CastResult.h>
#include <Jolt/Physics/Collision/CollisionCollectorImpl.h>
#include <Jolt/Physics/Collision/ObjectLayerPairFilterTable.h>
#include <Jolt/Physics/Collision/RayCast.h>
#include <Jolt/Physics/Collision/Shape/MeshShape.h>
#include <Jolt/Physics/PhysicsSystem.h>
#include <Jolt/RegisterTypes.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "jolt_shapes.h"
#include "peer_rays.h"

namespace peers {

namespace {

// One object layer on one broad phase layer: the level is all there is.
constexpr JPH::ObjectLayer kLevelLayer = 0;

struct JoltWorld {
    JPH::BroadPhaseLayerInterfaceTable broadPhaseLayers{1, 1};
    JPH::ObjectLayerPairFilterTable layerPairs{1};
    std::unique_ptr<JPH::ObjectVsBroadPhaseLayerFilterTable> layerToBroadPhase;
    JPH::PhysicsSystem system;
    JPH::RefConst<JPH::Shape> shape;
    JPH::BodyID level;
};

JoltWorld *current = nullptr;

// The direction's length is the segment's: fractions run from 0 at the start to 1 at the end.
JPH::Vec3 DirectionOf(const Segment &s) {
    return JPH::Vec3(s.to[0] - s.from[0], s.to[1] - s.from[1], s.to[2] - s.from[2]);
}

JPH::RRayCast RayOf(const Segment &s) {
    return JPH::RRayCast(JPH::RVec3(s.from[0], s.from[1], s.from[2]), DirectionOf(s));
}

Answer FromClosest(const JPH::ClosestHitCollisionCollector<JPH::CastRayCollector> &closest,
                   const Segment &s) {
    if (!closest.HadHit()) {
        return Answer{false, 0.0f};
    }
    return Answer{true, closest.mHit.mFraction * SegmentLength(s)};
}

} // namespace

JPH::RefConst<JPH::Shape> JoltMeshShape(const std::vector<float> &xyz) {
    JPH::TriangleList triangles;
    triangles.reserve(xyz.size() / 9);
    for (size_t k = 0; k + 9 <= xyz.size(); k += 9) {
        const float *t = &xyz[k];
        triangles.push_back(JPH::Triangle(JPH::Float3(t[0], t[1], t[2]),
                                          JPH::Float3(t[3], t[4], t[5]),
                                          JPH::Float3(t[6], t[7], t[8])));
    }
    JPH::MeshShapeSettings settings(triangles);
    JPH::ShapeSettings::ShapeResult made = settings.Create();
    if (made.HasError()) {
        std::fprintf(stderr, "jolt: no mesh shape: %s\n", made.GetError().c_str());
        std::exit(1);
    }
    return made.Get();
}

// Once a program: the allocator, the factory and the shape types; and a check that this file was
// compiled with the definitions the library was built with (a mismatch corrupts memory silently).
void StartJolt() {
    static bool started = false;
    if (started) {
        return;
    }
    started = true;
    JPH::RegisterDefaultAllocator();
    if (!JPH::VerifyJoltVersionID()) {
        std::fprintf(stderr, "jolt: the library was built with other definitions than this file\n");
        std::exit(1);
    }
    JPH::Factory::sInstance = new JPH::Factory();
    JPH::RegisterTypes();
}

void JoltLevelBuild(const std::vector<float> &xyz) {
    StartJolt();
    JoltFree();
    current = new JoltWorld();
    current->broadPhaseLayers.MapObjectToBroadPhaseLayer(kLevelLayer, JPH::BroadPhaseLayer(0));
    current->layerPairs.EnableCollision(kLevelLayer, kLevelLayer);
    current->layerToBroadPhase = std::make_unique<JPH::ObjectVsBroadPhaseLayerFilterTable>(
        current->broadPhaseLayers, 1, current->layerPairs, 1);
    current->system.Init(1, 0, 1, 1, current->broadPhaseLayers, *current->layerToBroadPhase,
                         current->layerPairs);

    current->shape = JoltMeshShape(xyz);
    JPH::BodyInterface &bodies = current->system.GetBodyInterface();
    current->level = bodies.CreateAndAddBody(
        JPH::BodyCreationSettings(current->shape, JPH::RVec3::sZero(), JPH::Quat::sIdentity(),
                                  JPH::EMotionType::Static, kLevelLayer),
        JPH::EActivation::DontActivate);
    current->system.OptimizeBroadPhase();
}

Answer JoltLevelCast(const Segment &s) {
    JPH::ClosestHitCollisionCollector<JPH::CastRayCollector> closest;
    current->system.GetNarrowPhaseQuery().CastRay(RayOf(s), JPH::RayCastSettings(), closest);
    return FromClosest(closest, s);
}

Answer JoltLevelCastShape(const Segment &s) {
    // The body sits at the origin unrotated, so the level's space is the shape's, measured from
    // its centre of mass.
    const JPH::RayCast ray(JPH::Vec3(s.from[0], s.from[1], s.from[2]) -
                               current->shape->GetCenterOfMass(),
                           DirectionOf(s));
    JPH::ClosestHitCollisionCollector<JPH::CastRayCollector> closest;
    current->shape->CastRay(ray, JPH::RayCastSettings(), JPH::SubShapeIDCreator(), closest);
    return FromClosest(closest, s);
}

Answer JoltLevelCastTwoSided(const Segment &s) {
    JPH::RayCastResult hit;
    if (!current->system.GetNarrowPhaseQuery().CastRay(RayOf(s), hit)) {
        return Answer{false, 0.0f};
    }
    return Answer{true, hit.mFraction * SegmentLength(s)};
}

void JoltFree() {
    if (current == nullptr) {
        return;
    }
    JPH::BodyInterface &bodies = current->system.GetBodyInterface();
    bodies.RemoveBody(current->level);
    bodies.DestroyBody(current->level);
    delete current;
    current = nullptr;
}

} // namespace peers
