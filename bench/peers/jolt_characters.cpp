// Jolt's pressing crowd as its character samples build one character: a CharacterVirtual per body
// with a capsule of radius 0.25 and cylinder half height 0.2 (0.9 tall in all, the ellipsoid's
// extent), centred on the character, its supporting volume the lower half sphere; the floor a
// MeshShape of the scene's triangles on a static body in a PhysicsSystem. A frame sets each
// character's velocity as the samples do (the ground's when standing, else the vertical kept;
// gravity added; the walk at 1.5 m/s) and calls ExtendedUpdate with the default settings. Nothing
// in the system moves, so PhysicsSystem::Update has nothing to do and is not called.
//
// Characters meet each other through a CharacterVsCharacterCollision: Jolt's simple one offers
// every other character to each (all pairs: n^2 bounding box tests a sweep), the grid-fed one
// below offers only those in the 1 m grid cells round the query's bounds, sorted as the simple
// one's list is, after the same box test; so both give the very same contacts in the same order.
#include <Jolt/Jolt.h>

#include <Jolt/Core/TempAllocator.h>
#include <Jolt/Geometry/RayAABox.h>
#include <Jolt/Physics/Body/BodyCreationSettings.h>
#include <Jolt/Physics/Character/CharacterVirtual.h>
#include <Jolt/Physics/Collision/BroadPhase/BroadPhaseLayerInterfaceTable.h>
#include <Jolt/Physics/Collision/BroadPhase/ObjectVsBroadPhaseLayerFilterTable.h>
#include <Jolt/Physics/Collision/CollisionDispatch.h>
#include <Jolt/Physics/Collision/ObjectLayerPairFilterTable.h>
#include <Jolt/Physics/Collision/Shape/CapsuleShape.h>
#include <Jolt/Physics/Collision/Shape/MeshShape.h>
#include <Jolt/Physics/Collision/ShapeCast.h>
#include <Jolt/Physics/PhysicsSystem.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unordered_map>

#include "jolt_shapes.h"
#include "peer_rays.h"
#include "pressing_crowd.h"

namespace peers {

namespace {

constexpr JPH::ObjectLayer kFloorLayer = 0;
constexpr JPH::ObjectLayer kCharacterLayer = 1;
constexpr float kCell = 1.0f;   // grid cell, metres: a query looks at 2 x 2 or 3 x 3 of them
constexpr float kSlack = 0.01f; // the grid's boxes are widened by this: Jolt tests pairs relative
                                // to a base offset, the grid in world space, so their roundings
                                // differ

// Characters by the grid cell of their shape's centre, kept current as each one moves.
class GridPairs final : public JPH::CharacterVsCharacterCollision {
  public:
    std::vector<JPH::CharacterVirtual *> characters; // a character's index is its user data
    float reach = 0; // the widest shape's horizontal half extent plus the widest padding

    // Files character k under the cell it stands in now.
    void Place(uint32_t k) {
        const JPH::RVec3 at = characters[k]->GetCenterOfMassPosition();
        const uint64_t key = Key(at.GetX(), at.GetZ());
        if (k < cellOf.size() && cellOf[k] == key) {
            return;
        }
        if (k < cellOf.size()) {
            std::vector<uint32_t> &old = cells[cellOf[k]];
            old.erase(std::find(old.begin(), old.end(), k));
        } else {
            cellOf.resize(k + 1);
        }
        cellOf[k] = key;
        cells[key].push_back(k);
    }

    void CollideCharacter(const JPH::CharacterVirtual *inCharacter,
                          JPH::RMat44Arg inCenterOfMassTransform,
                          const JPH::CollideShapeSettings &inCollideShapeSettings,
                          JPH::RVec3Arg inBaseOffset,
                          JPH::CollideShapeCollector &ioCollector) const override {
        const JPH::Shape *shape1 = inCharacter->GetShape();
        Candidates(shape1->GetWorldSpaceBounds(inCenterOfMassTransform, JPH::Vec3::sOne()),
                   inCollideShapeSettings.mMaxSeparationDistance);
        // From here as Jolt's CharacterVsCharacterCollisionSimple::CollideCharacter.
        JPH::Mat44 transform1 = inCenterOfMassTransform.PostTranslated(-inBaseOffset).ToMat44();
        JPH::CollideShapeSettings settings = inCollideShapeSettings;
        JPH::AABox bounds1 = shape1->GetWorldSpaceBounds(transform1, JPH::Vec3::sOne());
        for (uint32_t k : found) {
            const JPH::CharacterVirtual *c = characters[k];
            if (c == inCharacter || ioCollector.ShouldEarlyOut()) {
                continue;
            }
            JPH::Mat44 transform2 =
                c->GetCenterOfMassTransform().PostTranslated(-inBaseOffset).ToMat44();
            settings.mMaxSeparationDistance =
                inCollideShapeSettings.mMaxSeparationDistance + c->GetCharacterPadding();
            const JPH::Shape *shape2 = c->GetShape();
            JPH::AABox bounds2 = shape2->GetWorldSpaceBounds(transform2, JPH::Vec3::sOne());
            bounds2.ExpandBy(JPH::Vec3::sReplicate(settings.mMaxSeparationDistance));
            if (!bounds1.Overlaps(bounds2)) {
                continue;
            }
            ioCollector.SetUserData(reinterpret_cast<JPH::uint64>(c));
            JPH::CollisionDispatch::sCollideShapeVsShape(
                shape1, shape2, JPH::Vec3::sOne(), JPH::Vec3::sOne(), transform1, transform2,
                JPH::SubShapeIDCreator(), JPH::SubShapeIDCreator(), settings, ioCollector);
        }
        ioCollector.SetUserData(0);
    }

    void CastCharacter(const JPH::CharacterVirtual *inCharacter,
                       JPH::RMat44Arg inCenterOfMassTransform, JPH::Vec3Arg inDirection,
                       const JPH::ShapeCastSettings &inShapeCastSettings,
                       JPH::RVec3Arg inBaseOffset,
                       JPH::CastShapeCollector &ioCollector) const override {
        JPH::AABox swept = inCharacter->GetShape()->GetWorldSpaceBounds(inCenterOfMassTransform,
                                                                        JPH::Vec3::sOne());
        swept.Encapsulate(swept.mMin + inDirection);
        swept.Encapsulate(swept.mMax + inDirection);
        Candidates(swept, inShapeCastSettings.mExtraConvexRadius);
        // From here as Jolt's CharacterVsCharacterCollisionSimple::CastCharacter.
        JPH::Mat44 transform1 = inCenterOfMassTransform.PostTranslated(-inBaseOffset).ToMat44();
        JPH::ShapeCast shapeCast(inCharacter->GetShape(), JPH::Vec3::sOne(), transform1,
                                 inDirection);
        JPH::Vec3 origin = shapeCast.mShapeWorldBounds.GetCenter();
        JPH::Vec3 extents = shapeCast.mShapeWorldBounds.GetExtent() +
                            JPH::Vec3::sReplicate(inShapeCastSettings.mExtraConvexRadius);
        JPH::ShapeCastSettings castSettings = inShapeCastSettings;
        for (uint32_t k : found) {
            const JPH::CharacterVirtual *c = characters[k];
            if (c == inCharacter || ioCollector.ShouldEarlyOut()) {
                continue;
            }
            JPH::Mat44 transform2 =
                c->GetCenterOfMassTransform().PostTranslated(-inBaseOffset).ToMat44();
            castSettings.mExtraConvexRadius =
                inShapeCastSettings.mExtraConvexRadius + c->GetCharacterPadding();
            const JPH::Shape *shape2 = c->GetShape();
            JPH::AABox bounds2 = shape2->GetWorldSpaceBounds(transform2, JPH::Vec3::sOne());
            bounds2.ExpandBy(extents + JPH::Vec3::sReplicate(c->GetCharacterPadding()));
            if (!JPH::RayAABoxHits(origin, inDirection, bounds2.mMin, bounds2.mMax)) {
                continue;
            }
            ioCollector.SetUserData(reinterpret_cast<JPH::uint64>(c));
            JPH::CollisionDispatch::sCastShapeVsShapeWorldSpace(
                shapeCast, castSettings, shape2, JPH::Vec3::sOne(), {}, transform2,
                JPH::SubShapeIDCreator(), JPH::SubShapeIDCreator(), ioCollector);
        }
        ioCollector.SetUserData(0);
    }

  private:
    static int64_t CellOf(float v) { return static_cast<int64_t>(std::floor(v / kCell)); }

    static uint64_t KeyOf(int64_t i, int64_t k) {
        return (static_cast<uint64_t>(static_cast<uint32_t>(i)) << 32) | static_cast<uint32_t>(k);
    }

    static uint64_t Key(float x, float z) { return KeyOf(CellOf(x), CellOf(z)); }

    // The characters whose centre lies in a cell that the box, widened by what a pair's test
    // adds to it, touches: every character the simple list would pass the box test, and more.
    void Candidates(const JPH::AABox &box, float widen) const {
        const float w = widen + reach + kSlack;
        found.clear();
        for (int64_t i = CellOf(box.mMin.GetX() - w); i <= CellOf(box.mMax.GetX() + w); ++i) {
            for (int64_t k = CellOf(box.mMin.GetZ() - w); k <= CellOf(box.mMax.GetZ() + w); ++k) {
                const auto cell = cells.find(KeyOf(i, k));
                if (cell != cells.end()) {
                    found.insert(found.end(), cell->second.begin(), cell->second.end());
                }
            }
        }
        std::sort(found.begin(), found.end());
    }

    std::unordered_map<uint64_t, std::vector<uint32_t>> cells;
    std::vector<uint64_t> cellOf;
    mutable std::vector<uint32_t> found; // scratch of one query
};

struct JoltCrowd {
    JPH::BroadPhaseLayerInterfaceTable broadPhaseLayers{2, 1};
    JPH::ObjectLayerPairFilterTable layerPairs{2};
    std::unique_ptr<JPH::ObjectVsBroadPhaseLayerFilterTable> layerToBroadPhase;
    JPH::PhysicsSystem system;
    JPH::RefConst<JPH::Shape> floorShape;
    JPH::BodyID floor;
    JPH::TempAllocatorImpl temp{32 * 1024 * 1024};
    std::vector<JPH::Ref<JPH::CharacterVirtual>> characters;
    GridPairs grid;
    JPH::CharacterVsCharacterCollisionSimple every;
    bool gridPairs = true;
};

JoltCrowd *crowd = nullptr;

void AddFloor(const std::vector<float> &xyz) {
    crowd->floorShape = JoltMeshShape(xyz);
    crowd->floor = crowd->system.GetBodyInterface().CreateAndAddBody(
        JPH::BodyCreationSettings(crowd->floorShape, JPH::RVec3::sZero(), JPH::Quat::sIdentity(),
                                  JPH::EMotionType::Static, kFloorLayer),
        JPH::EActivation::DontActivate);
    crowd->system.OptimizeBroadPhase();
}

} // namespace

void JoltPressBuild(const PressScene &scene, bool gridPairs) {
    StartJolt();
    JoltPressFree();
    crowd = new JoltCrowd();
    crowd->gridPairs = gridPairs;
    crowd->broadPhaseLayers.MapObjectToBroadPhaseLayer(kFloorLayer, JPH::BroadPhaseLayer(0));
    crowd->broadPhaseLayers.MapObjectToBroadPhaseLayer(kCharacterLayer, JPH::BroadPhaseLayer(0));
    crowd->layerPairs.EnableCollision(kCharacterLayer, kFloorLayer);
    crowd->layerToBroadPhase = std::make_unique<JPH::ObjectVsBroadPhaseLayerFilterTable>(
        crowd->broadPhaseLayers, 1, crowd->layerPairs, 2);
    crowd->system.Init(1, 0, 1, 1, crowd->broadPhaseLayers, *crowd->layerToBroadPhase,
                       crowd->layerPairs);
    AddFloor(scene.floor);

    JPH::Ref<JPH::CharacterVirtualSettings> settings = new JPH::CharacterVirtualSettings();
    settings->mShape = new JPH::CapsuleShape(kPressHalfHeight - kPressRadius, kPressRadius);
    // Contacts below the centre of the lower half sphere hold the character up.
    settings->mSupportingVolume = JPH::Plane(JPH::Vec3::sAxisY(), kPressHalfHeight - kPressRadius);
    crowd->grid.reach = kPressRadius + settings->mCharacterPadding;
    for (uint32_t k = 0; k < scene.bodies.size(); ++k) {
        const PressBody &b = scene.bodies[k];
        // The shape's centre sits the padding above the character's position.
        const JPH::RVec3 at(b.x, b.y - settings->mCharacterPadding, b.z);
        JPH::Ref<JPH::CharacterVirtual> c =
            new JPH::CharacterVirtual(settings, at, JPH::Quat::sIdentity(), k, &crowd->system);
        if (gridPairs) {
            c->SetCharacterVsCharacterCollision(&crowd->grid);
            crowd->grid.characters.push_back(c.GetPtr());
        } else {
            c->SetCharacterVsCharacterCollision(&crowd->every);
            crowd->every.Add(c.GetPtr());
        }
        crowd->characters.push_back(c);
    }
    for (uint32_t k = 0; gridPairs && k < scene.bodies.size(); ++k) {
        crowd->grid.Place(k);
    }
}

void JoltPressFrame(const PressScene &scene) {
    const JPH::Vec3 gravity(0, -kPressGravity, 0);
    const JPH::CharacterVirtual::ExtendedUpdateSettings update;
    const JPH::DefaultBroadPhaseLayerFilter broadPhaseFilter =
        crowd->system.GetDefaultBroadPhaseLayerFilter(kCharacterLayer);
    const JPH::DefaultObjectLayerFilter layerFilter =
        crowd->system.GetDefaultLayerFilter(kCharacterLayer);
    for (uint32_t k = 0; k < scene.bodies.size(); ++k) {
        JPH::CharacterVirtual &c = *crowd->characters[k];
        const JPH::RVec3 at = c.GetCenterOfMassPosition();
        float dx = 0, dz = 0;
        PressWalk(scene.bodies[k], at.GetX(), at.GetZ(), &dx, &dz);
        // The sample's velocity: the ground's when standing on walkable ground, else the vertical
        // kept; gravity over the frame; the walk.
        c.UpdateGroundVelocity();
        const JPH::Vec3 up = c.GetUp();
        JPH::Vec3 velocity = c.GetLinearVelocity().Dot(up) * up;
        if (c.GetGroundState() == JPH::CharacterVirtual::EGroundState::OnGround &&
            !c.IsSlopeTooSteep(c.GetGroundNormal())) {
            velocity = c.GetGroundVelocity();
        }
        velocity += gravity * kPressFrameSeconds;
        velocity += JPH::Vec3(dx, 0, dz) / kPressFrameSeconds;
        c.SetLinearVelocity(velocity);
        c.ExtendedUpdate(kPressFrameSeconds, gravity, update, broadPhaseFilter, layerFilter, {}, {},
                         crowd->temp);
        if (crowd->gridPairs) {
            crowd->grid.Place(k);
        }
    }
}

std::vector<float> JoltPressCentres() {
    std::vector<float> xyz;
    for (const auto &c : crowd->characters) {
        const JPH::RVec3 at = c->GetCenterOfMassPosition();
        xyz.push_back(at.GetX());
        xyz.push_back(at.GetY());
        xyz.push_back(at.GetZ());
    }
    return xyz;
}

void JoltPressFree() {
    if (crowd == nullptr) {
        return;
    }
    crowd->characters.clear();
    JPH::BodyInterface &bodies = crowd->system.GetBodyInterface();
    bodies.RemoveBody(crowd->floor);
    bodies.DestroyBody(crowd->floor);
    delete crowd;
    crowd = nullptr;
}

} // namespace peers
