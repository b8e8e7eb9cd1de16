// Bullet as a game would use it for rays: a btCollisionWorld over a dynamic AABB tree holding
// either the level as one btBvhTriangleMeshShape (quantized BVH, built when the shape is made) or
// the crowd as capsules, and rayTest with the closest-hit callback. Back faces are filtered so a
// triangle counts from its front only, as in vorcollide.
#include <BulletCollision/NarrowPhaseCollision/btRaycastCallback.h>
#include <btBulletCollisionCommon.h>

#include <memory>

#include "peer_rays.h"

namespace peers {

namespace {

struct BulletWorld {
    std::unique_ptr<btDefaultCollisionConfiguration> configuration;
    std::unique_ptr<btCollisionDispatcher> dispatcher;
    std::unique_ptr<btDbvtBroadphase> broadphase;
    std::unique_ptr<btCollisionWorld> world;
    // Freed before the world, in the reverse of this order.
    std::vector<float> vertices;
    std::vector<int> indices;
    std::unique_ptr<btTriangleIndexVertexArray> arrays;
    std::unique_ptr<btCollisionShape> shape;
    std::vector<std::unique_ptr<btCollisionObject>> objects;
};

BulletWorld *current = nullptr;

void NewWorld() {
    BulletFree();
    current = new BulletWorld();
    current->configuration = std::make_unique<btDefaultCollisionConfiguration>();
    current->dispatcher = std::make_unique<btCollisionDispatcher>(current->configuration.get());
    current->broadphase = std::make_unique<btDbvtBroadphase>();
    current->world = std::make_unique<btCollisionWorld>(
        current->dispatcher.get(), current->broadphase.get(), current->configuration.get());
}

void AddObject(btCollisionShape *shape, const btVector3 &at) {
    auto object = std::make_unique<btCollisionObject>();
    object->setCollisionShape(shape);
    btTransform pose;
    pose.setIdentity();
    pose.setOrigin(at);
    object->setWorldTransform(pose);
    current->world->addCollisionObject(object.get());
    current->objects.push_back(std::move(object));
}

Answer Cast(const Segment &s, unsigned int flags) {
    const btVector3 from(s.from[0], s.from[1], s.from[2]);
    const btVector3 to(s.to[0], s.to[1], s.to[2]);
    btCollisionWorld::ClosestRayResultCallback callback(from, to);
    callback.m_flags = flags;
    current->world->rayTest(from, to, callback);
    if (!callback.hasHit()) {
        return Answer{false, 0.0f};
    }
    return Answer{true, static_cast<float>(callback.m_closestHitFraction) * SegmentLength(s)};
}

} // namespace

void BulletLevelBuild(const std::vector<float> &xyz) {
    NewWorld();
    current->vertices = xyz;
    const int count = static_cast<int>(xyz.size() / 9);
    current->indices.resize(static_cast<size_t>(count) * 3);
    for (size_t k = 0; k < current->indices.size(); ++k) {
        current->indices[k] = static_cast<int>(k);
    }
    current->arrays = std::make_unique<btTriangleIndexVertexArray>(
        count, current->indices.data(), 3 * static_cast<int>(sizeof(int)), count * 3,
        current->vertices.data(), 3 * static_cast<int>(sizeof(float)));
    current->shape = std::make_unique<btBvhTriangleMeshShape>(current->arrays.get(), true, true);
    AddObject(current->shape.get(), btVector3(0, 0, 0));
    current->world->updateAabbs();
}

Answer BulletLevelCast(const Segment &s) {
    return Cast(s, btTriangleRaycastCallback::kF_FilterBackfaces);
}

void BulletCrowdBuild(const std::vector<bench::CrowdBody> &bodies) {
    NewWorld();
    // The capsule nearest the ellipsoid (0.25, 0.45, 0.25): radius 0.25, 0.9 tall in all.
    const float radius = bench::kCharacterRadii[0];
    current->shape =
        std::make_unique<btCapsuleShape>(radius, 2.0f * (bench::kCharacterRadii[1] - radius));
    for (const bench::CrowdBody &b : bodies) {
        AddObject(current->shape.get(), btVector3(b.x, 0, b.z));
    }
    current->world->updateAabbs();
    current->world->computeOverlappingPairs();
}

Answer BulletCrowdCast(const Segment &s) {
    return Cast(s, 0);
}

Answer BulletCrowdCastAfterUpdate(const Segment &s) {
    // Body 1 moves to the ray's start, as vorcollide's does; its tree leaf is updated.
    btCollisionObject *body = current->objects[0].get();
    btTransform pose;
    pose.setIdentity();
    pose.setOrigin(btVector3(s.from[0], 0, s.from[2]));
    body->setWorldTransform(pose);
    current->world->updateSingleAabb(body);
    return Cast(s, 0);
}

void BulletWalkingCrowdMove(const std::vector<bench::CrowdBody> &bodies, uint32_t frame) {
    for (size_t k = 0; k < bodies.size(); ++k) {
        float x = 0, z = 0;
        WalkPosition(bodies[k], frame, &x, &z);
        btTransform pose;
        pose.setIdentity();
        pose.setOrigin(btVector3(x, 0, z));
        current->objects[k]->setWorldTransform(pose);
    }
}

void BulletUpdateBroadphase() {
    current->world->updateAabbs();
}

void BulletFree() {
    if (current == nullptr) {
        return;
    }
    for (auto &object : current->objects) {
        current->world->removeCollisionObject(object.get());
    }
    delete current;
    current = nullptr;
}

} // namespace peers
