// The benchmark scenes. Everything goes through the exported functions, as a host would drive the
// library; only the byte counts read the registry directly.
#include "scenes.h"

#include <cmath>
#include <cstring>

#include "body/registry.h"
#include "mesh/mesh_accel.h"
#include "vorcollide.h"

namespace bench {

namespace {

constexpr float kWalkSpeed = 0.08f; // units per frame
constexpr float kCrowdSpeed = 0.05f;
constexpr float kGravity = 0.05f; // y units per update
constexpr float kBlockPitch = 0.8f;  // the pressing crowd's lattice
constexpr float kBlockStep = 0.025f; // its walking step: 1.5 m/s at 60 frames a second

// A host vertex block: three words of header, then x, y, z per vertex.
void AddTrianglesTo(uint32_t object, const std::vector<float> &xyz) {
    std::vector<uint32_t> words(3 + xyz.size());
    words[0] = 0;
    words[1] = 12;
    words[2] = static_cast<uint32_t>(xyz.size() / 3);
    std::memcpy(words.data() + 3, xyz.data(), xyz.size() * sizeof(float));
    AddMeshVOR(object, words.data());
}

float Deg(float radians) {
    return radians * (180.0f / kPi);
}

const vor::MeshShape *LevelMesh() {
    vor::CollisionObject *o = vor::ObjectTable[kLevelObject];
    if (o == nullptr) {
        return nullptr;
    }
    for (vor::ListLink *l = o->body->shapes.head; l != nullptr; l = l->next) {
        vor::ShapeHead *s = vor::MemberOf<vor::ShapeHead>(l);
        if (s->kind == vor::kMeshKind) {
            return vor::AsMesh(s);
        }
    }
    return nullptr;
}

} // namespace

uint32_t BuildLevel(uint32_t cells, uint32_t seed) {
    const std::vector<float> xyz = LevelTriangles(cells, seed);
    NewCollObjVOR(kLevelObject, kLevelType);
    AddObjShapeVOR(kLevelObject, 2);
    AddTrianglesTo(kLevelObject, xyz);
    SetObjPosVOR(0, 0, 0);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(kLevelObject, 1);
    ActivateObjVOR(kLevelObject);
    return static_cast<uint32_t>(xyz.size() / 9);
}

uint32_t BuildTerrain(uint32_t cells, float amplitude) {
    std::vector<float> heights;
    for (uint32_t z = 0; z <= cells; ++z) {
        for (uint32_t x = 0; x <= cells; ++x) {
            heights.push_back(amplitude *
                              GroundHeight(static_cast<float>(x), static_cast<float>(z)));
        }
    }
    const std::vector<float> xyz = GridTriangles(heights, cells);
    NewCollObjVOR(kLevelObject, kLevelType);
    AddObjShapeVOR(kLevelObject, 2);
    AddTrianglesTo(kLevelObject, xyz);
    SetObjPosVOR(0, 0, 0);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(kLevelObject, 1);
    ActivateObjVOR(kLevelObject);
    return static_cast<uint32_t>(xyz.size() / 9);
}

std::vector<Walker> BuildCharacters(uint32_t count, uint32_t cells, uint32_t seed) {
    const std::vector<CrowdBody> layout = CharacterLayout(count, cells, seed);
    std::vector<Walker> walkers;
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t object = kLevelObject + 1 + k;
        NewCollObjVOR(object, kCharacterType);
        AddObjShapeVOR(object, 1);
        SetObjRadiusVOR(object, kCharacterRadii[0], kCharacterRadii[1], kCharacterRadii[2]);
        SetObjGravityVOR(object, kGravity);
        const float x = layout[k].x, z = layout[k].z;
        SetObjPosVOR(x, GroundHeight(x, z) + kCharacterRadii[1] + 0.05f, z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(object, 1);
        ActivateObjVOR(object);
        walkers.push_back(Walker{object, layout[k].heading});
    }
    SetCollisionsVOR(kCharacterType, kLevelType, 2, 3, 1);
    return walkers;
}

void StepCharacters(std::vector<Walker> &walkers, uint32_t cells, Random &random) {
    const float n = static_cast<float>(cells);
    for (Walker &w : walkers) {
        const float x = vorFloatFromBits(PeekObjXVOR(w.object));
        const float y = vorFloatFromBits(PeekObjYVOR(w.object));
        const float z = vorFloatFromBits(PeekObjZVOR(w.object));
        // Turn now and then, and back into the level near its walls.
        if (random.Next() % 64 == 0) {
            w.heading += random.Uniform(-1.5f, 1.5f);
        }
        if (x < 1.5f || x > n - 1.5f || z < 1.5f || z > n - 1.5f) {
            w.heading = std::atan2(n * 0.5f - z, n * 0.5f - x);
        }
        SetObjPosVOR(x + std::cos(w.heading) * kWalkSpeed, y, z + std::sin(w.heading) * kWalkSpeed);
        SetObjRotVOR(0, Deg(w.heading), 0);
        UpdateObjVOR(w.object, 0);
    }
    RunCollisionVOR();
}

std::vector<Walker> BuildCrowd(uint32_t count, uint32_t seed, float *arena) {
    const std::vector<CrowdBody> layout = CrowdLayout(count, seed, arena);
    std::vector<Walker> walkers;
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t object = 1 + k;
        NewCollObjVOR(object, kCrowdType);
        AddObjShapeVOR(object, 1);
        SetObjRadiusVOR(object, kCharacterRadii[0], kCharacterRadii[1], kCharacterRadii[2]);
        SetObjPosVOR(layout[k].x, 0, layout[k].z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(object, 1);
        ActivateObjVOR(object);
        walkers.push_back(Walker{object, layout[k].heading});
    }
    SetCollisionsVOR(kCrowdType, kCrowdType, 1, 2, 1);
    return walkers;
}

void StepCrowd(std::vector<Walker> &walkers, float arena, Random &random) {
    for (Walker &w : walkers) {
        const float x = vorFloatFromBits(PeekObjXVOR(w.object));
        const float z = vorFloatFromBits(PeekObjZVOR(w.object));
        if (random.Next() % 32 == 0) {
            w.heading += random.Uniform(-1.0f, 1.0f);
        }
        if (x < 0.5f || x > arena - 0.5f || z < 0.5f || z > arena - 0.5f) {
            w.heading = std::atan2(arena * 0.5f - z, arena * 0.5f - x);
        }
        SetObjPosVOR(x + std::cos(w.heading) * kCrowdSpeed, 0,
                     z + std::sin(w.heading) * kCrowdSpeed);
        SetObjRotVOR(0, Deg(w.heading), 0);
        UpdateObjVOR(w.object, 0);
    }
    RunCollisionVOR();
}

std::vector<BlockWalker> BuildCrowdBlocks(uint32_t count, bool terrain, bool meetEachOther) {
    const uint32_t side = static_cast<uint32_t>(std::ceil(std::sqrt(static_cast<double>(count))));
    const float origin = 8.0f;
    const uint32_t cells = terrain ? 512 : static_cast<uint32_t>(side * kBlockPitch) + 16;
    const float amplitude = terrain ? 1.0f : 0.0f;
    BuildTerrain(cells, amplitude);
    std::vector<BlockWalker> walkers;
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t object = kLevelObject + 1 + k;
        const uint32_t column = k % side, row = k / side;
        const float x = origin + column * kBlockPitch, z = origin + row * kBlockPitch;
        // The centre of its block of 10 x 10 lattice places.
        const float tx = origin + (column / 10 * 10 + 4.5f) * kBlockPitch;
        const float tz = origin + (row / 10 * 10 + 4.5f) * kBlockPitch;
        NewCollObjVOR(object, kCharacterType);
        AddObjShapeVOR(object, 1);
        SetObjRadiusVOR(object, kCharacterRadii[0], kCharacterRadii[1], kCharacterRadii[2]);
        SetObjGravityVOR(object, kGravity);
        SetObjPosVOR(x, amplitude * GroundHeight(x, z) + kCharacterRadii[1] + 0.02f, z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(object, 1);
        ActivateObjVOR(object);
        walkers.push_back(BlockWalker{object, tx, tz});
    }
    SetCollisionsVOR(kCharacterType, kLevelType, 2, 3, 1);
    if (meetEachOther) {
        SetCollisionsVOR(kCharacterType, kCharacterType, 1, 3, 1);
    }
    return walkers;
}

void StepCrowdBlocks(const std::vector<BlockWalker> &walkers) {
    for (const BlockWalker &w : walkers) {
        const float x = vorFloatFromBits(PeekObjXVOR(w.object));
        const float y = vorFloatFromBits(PeekObjYVOR(w.object));
        const float z = vorFloatFromBits(PeekObjZVOR(w.object));
        const float dx = w.tx - x, dz = w.tz - z, d = std::sqrt(dx * dx + dz * dz);
        const float s = d > kBlockStep ? kBlockStep / d : 1.0f;
        SetObjPosVOR(x + dx * s, y, z + dz * s);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(w.object, 0);
    }
    RunCollisionVOR();
}

size_t LevelAccelBytes() {
    const vor::MeshShape *m = LevelMesh();
    return m == nullptr ? 0 : vor::MeshAccelBytes(m);
}

size_t LevelTriangleBytes() {
    const vor::MeshShape *m = LevelMesh();
    return m == nullptr ? 0 : vor::MeshTriangleBytes(m);
}

} // namespace bench
