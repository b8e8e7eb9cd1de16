// Bullet's pressing crowd as its character demo builds characters: a btKinematicCharacterController
// per body, each with a btPairCachingGhostObject holding a capsule of radius 0.25 and 0.9 tall in
// all (the ellipsoid's extent), in a btDiscreteDynamicsWorld over a btDbvtBroadphase with a
// btGhostPairCallback. The characters are in each other's broadphase filter, so they meet each
// other as well as the floor (a btBvhTriangleMeshShape of the scene's triangles). A frame sets each
// walk direction from where the character stands and takes one stepSimulation of 1/60 s.
#include <BulletCollision/CollisionDispatch/btGhostObject.h>
#include <BulletDynamics/Character/btKinematicCharacterController.h>
#include <btBulletDynamicsCommon.h>

#include <memory>

#include "pressing_crowd.h"

namespace peers {

namespace {

constexpr float kStepHeight = 0.05f; // small: the floor has no steps, the characters must not
                                     // climb onto each other

struct BulletCrowd {
    std::unique_ptr<btDefaultCollisionConfiguration> configuration;
    std::unique_ptr<btCollisionDispatcher> dispatcher;
    std::unique_ptr<btDbvtBroadphase> broadphase;
    std::unique_ptr<btGhostPairCallback> ghostPairs;
    std::unique_ptr<btSequentialImpulseConstraintSolver> solver;
    std::unique_ptr<btDiscreteDynamicsWorld> world;
    // Freed before the world, in the reverse of this order.
    std::vector<float> vertices;
    std::vector<int> indices;
    std::unique_ptr<btTriangleIndexVertexArray> arrays;
    std::unique_ptr<btBvhTriangleMeshShape> floorShape;
    std::unique_ptr<btCollisionObject> floor;
    std::unique_ptr<btCapsuleShape> capsule;
    std::vector<std::unique_ptr<btPairCachingGhostObject>> ghosts;
    std::vector<std::unique_ptr<btKinematicCharacterController>> characters;
};

BulletCrowd *crowd = nullptr;
float sweepAllowance = -1; // the world's m_allowedCcdPenetration when not negative

void AddFloor(const std::vector<float> &xyz) {
    crowd->vertices = xyz;
    const int count = static_cast<int>(xyz.size() / 9);
    crowd->indices.resize(static_cast<size_t>(count) * 3);
    for (size_t k = 0; k < crowd->indices.size(); ++k) {
        crowd->indices[k] = static_cast<int>(k);
    }
    crowd->arrays = std::make_unique<btTriangleIndexVertexArray>(
        count, crowd->indices.data(), 3 * static_cast<int>(sizeof(int)), count * 3,
        crowd->vertices.data(), 3 * static_cast<int>(sizeof(float)));
    crowd->floorShape = std::make_unique<btBvhTriangleMeshShape>(crowd->arrays.get(), true, true);
    crowd->floor = std::make_unique<btCollisionObject>();
    crowd->floor->setCollisionShape(crowd->floorShape.get());
    crowd->floor->setCollisionFlags(btCollisionObject::CF_STATIC_OBJECT);
    crowd->world->addCollisionObject(crowd->floor.get(), btBroadphaseProxy::StaticFilter,
                                     btBroadphaseProxy::AllFilter ^
                                         btBroadphaseProxy::StaticFilter);
}

} // namespace

void SetBulletPressAllowance(float metres) {
    sweepAllowance = metres;
}

void BulletPressBuild(const PressScene &scene) {
    BulletPressFree();
    crowd = new BulletCrowd();
    crowd->configuration = std::make_unique<btDefaultCollisionConfiguration>();
    crowd->dispatcher = std::make_unique<btCollisionDispatcher>(crowd->configuration.get());
    crowd->broadphase = std::make_unique<btDbvtBroadphase>();
    crowd->ghostPairs = std::make_unique<btGhostPairCallback>();
    crowd->broadphase->getOverlappingPairCache()->setInternalGhostPairCallback(
        crowd->ghostPairs.get());
    crowd->solver = std::make_unique<btSequentialImpulseConstraintSolver>();
    crowd->world =
        std::make_unique<btDiscreteDynamicsWorld>(crowd->dispatcher.get(), crowd->broadphase.get(),
                                                  crowd->solver.get(), crowd->configuration.get());
    crowd->world->setGravity(btVector3(0, -kPressGravity, 0));
    if (sweepAllowance >= 0) {
        crowd->world->getDispatchInfo().m_allowedCcdPenetration = sweepAllowance;
    }
    AddFloor(scene.floor);

    crowd->capsule =
        std::make_unique<btCapsuleShape>(kPressRadius, 2.0f * (kPressHalfHeight - kPressRadius));
    for (const PressBody &b : scene.bodies) {
        auto ghost = std::make_unique<btPairCachingGhostObject>();
        btTransform pose;
        pose.setIdentity();
        pose.setOrigin(btVector3(b.x, b.y, b.z));
        ghost->setWorldTransform(pose);
        ghost->setCollisionShape(crowd->capsule.get());
        ghost->setCollisionFlags(btCollisionObject::CF_CHARACTER_OBJECT);
        auto character = std::make_unique<btKinematicCharacterController>(
            ghost.get(), crowd->capsule.get(), kStepHeight, btVector3(0, 1, 0));
        character->setGravity(btVector3(0, -kPressGravity, 0));
        // The controller turns its ghost from its default up axis (z) to the one given, which
        // lays a y-axis capsule on its side: stand it up again.
        ghost->setWorldTransform(pose);
        crowd->world->addCollisionObject(ghost.get(), btBroadphaseProxy::CharacterFilter,
                                         btBroadphaseProxy::StaticFilter |
                                             btBroadphaseProxy::DefaultFilter |
                                             btBroadphaseProxy::CharacterFilter);
        crowd->world->addAction(character.get());
        crowd->ghosts.push_back(std::move(ghost));
        crowd->characters.push_back(std::move(character));
    }
    // The floor's hierarchy is built with its shape; the broadphase's pairs before the clock.
    crowd->world->updateAabbs();
    crowd->world->computeOverlappingPairs();
}

void BulletPressFrame(const PressScene &scene) {
    for (size_t k = 0; k < scene.bodies.size(); ++k) {
        const btVector3 &at = crowd->ghosts[k]->getWorldTransform().getOrigin();
        float dx = 0, dz = 0;
        PressWalk(scene.bodies[k], at.x(), at.z(), &dx, &dz);
        crowd->characters[k]->setWalkDirection(btVector3(dx, 0, dz));
    }
    // No sub-steps: exactly one step of the frame's length.
    crowd->world->stepSimulation(kPressFrameSeconds, 0);
}

std::vector<float> BulletPressCentres() {
    std::vector<float> xyz;
    for (const auto &ghost : crowd->ghosts) {
        const btVector3 &at = ghost->getWorldTransform().getOrigin();
        xyz.push_back(at.x());
        xyz.push_back(at.y());
        xyz.push_back(at.z());
    }
    return xyz;
}

void BulletPressFree() {
    if (crowd == nullptr) {
        return;
    }
    for (auto &character : crowd->characters) {
        crowd->world->removeAction(character.get());
    }
    for (auto &ghost : crowd->ghosts) {
        crowd->world->removeCollisionObject(ghost.get());
    }
    crowd->world->removeCollisionObject(crowd->floor.get());
    delete crowd;
    crowd = nullptr;
}

} // namespace peers
