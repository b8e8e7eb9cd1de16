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

constexpr float kPi = 3.14159265f;
constexpr float kWalkSpeed = 0.08f; // units per frame
constexpr float kCrowdSpeed = 0.05f;
constexpr float kGravity = 0.05f;     // y units per update
constexpr float kCrowdSpacing = 1.4f; // lattice pitch of the crowd; radius 0.25 leaves gaps
constexpr float kRayLength = 20.0f;

struct P3 {
    float x, y, z;
};

P3 Minus(const P3 &a, const P3 &b) {
    return P3{a.x - b.x, a.y - b.y, a.z - b.z};
}
P3 CrossP(const P3 &a, const P3 &b) {
    return P3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float DotP(const P3 &a, const P3 &b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Vertex data of a host block: three words of header, then x, y, z per vertex.
struct Block {
    std::vector<float> xyz;

    void Triangle(const P3 &a, const P3 &b, const P3 &c) {
        const P3 v[3] = {a, b, c};
        for (const P3 &p : v) {
            xyz.push_back(p.x);
            xyz.push_back(p.y);
            xyz.push_back(p.z);
        }
    }
    // Two triangles whose front faces the outward side.
    void Quad(const P3 &a, const P3 &b, const P3 &c, const P3 &d, const P3 &outward) {
        if (DotP(CrossP(Minus(b, a), Minus(c, a)), outward) < 0.0f) {
            Triangle(a, d, c);
            Triangle(a, c, b);
        } else {
            Triangle(a, b, c);
            Triangle(a, c, d);
        }
    }
    void AddTo(uint32_t object) const {
        std::vector<uint32_t> words(3 + xyz.size());
        words[0] = 0;
        words[1] = 12;
        words[2] = static_cast<uint32_t>(xyz.size() / 3);
        std::memcpy(words.data() + 3, xyz.data(), xyz.size() * sizeof(float));
        AddMeshVOR(object, words.data());
    }
};

void Crate(Block &block, float cx, float cz, float size) {
    const float y0 = GroundHeight(cx, cz) - 0.3f;
    const float h = size * 0.5f;
    const float x0 = cx - h, x1 = cx + h, z0 = cz - h, z1 = cz + h, y1 = y0 + size;
    block.Quad({x0, y0, z0}, {x0, y1, z0}, {x0, y1, z1}, {x0, y0, z1}, {-1, 0, 0});
    block.Quad({x1, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, {x1, y0, z1}, {1, 0, 0});
    block.Quad({x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0}, {0, 0, -1});
    block.Quad({x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}, {0, 0, 1});
    block.Quad({x0, y1, z0}, {x1, y1, z0}, {x1, y1, z1}, {x0, y1, z1}, {0, 1, 0});
    block.Quad({x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}, {0, -1, 0});
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

uint64_t Random::Next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 2685821657736338717ull;
}

float Random::Uniform(float lo, float hi) {
    return lo + (hi - lo) * static_cast<float>((Next() >> 40) * (1.0 / 16777216.0));
}

float GroundHeight(float x, float z) {
    return 1.5f * std::sin(x * 0.15f) * std::cos(z * 0.12f) + 0.5f * std::sin(0.4f * x + 0.3f * z);
}

uint32_t BuildLevel(uint32_t cells, uint32_t seed) {
    Random random{0x9E3779B97F4A7C15ull ^ seed};
    Block block;
    const float n = static_cast<float>(cells);
    // The ground, two triangles per unit cell, facing up.
    for (uint32_t i = 0; i < cells; ++i) {
        for (uint32_t j = 0; j < cells; ++j) {
            const float x0 = static_cast<float>(i), x1 = x0 + 1, z0 = static_cast<float>(j),
                        z1 = z0 + 1;
            const P3 a{x0, GroundHeight(x0, z0), z0}, b{x0, GroundHeight(x0, z1), z1};
            const P3 c{x1, GroundHeight(x1, z0), z0}, d{x1, GroundHeight(x1, z1), z1};
            block.Triangle(a, b, c);
            block.Triangle(c, b, d);
        }
    }
    // Walls round the border, facing in, one quad per unit.
    for (uint32_t i = 0; i < cells; ++i) {
        const float u0 = static_cast<float>(i), u1 = u0 + 1;
        block.Quad({0, -5, u0}, {0, 5, u0}, {0, 5, u1}, {0, -5, u1}, {1, 0, 0});
        block.Quad({n, -5, u0}, {n, 5, u0}, {n, 5, u1}, {n, -5, u1}, {-1, 0, 0});
        block.Quad({u0, -5, 0}, {u0, 5, 0}, {u1, 5, 0}, {u1, -5, 0}, {0, 0, 1});
        block.Quad({u0, -5, n}, {u0, 5, n}, {u1, 5, n}, {u1, -5, n}, {0, 0, -1});
    }
    // Crates, one per 64 cells.
    const uint32_t crates = cells * cells / 64;
    for (uint32_t k = 0; k < crates; ++k) {
        Crate(block, random.Uniform(3, n - 3), random.Uniform(3, n - 3),
              random.Uniform(0.8f, 2.0f));
    }

    NewCollObjVOR(kLevelObject, kLevelType);
    AddObjShapeVOR(kLevelObject, 2);
    block.AddTo(kLevelObject);
    SetObjPosVOR(0, 0, 0);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(kLevelObject, 1);
    ActivateObjVOR(kLevelObject);
    return static_cast<uint32_t>(block.xyz.size() / 9);
}

std::vector<Walker> BuildCharacters(uint32_t count, uint32_t cells, uint32_t seed) {
    Random random{0xD1B54A32D192ED03ull ^ seed};
    std::vector<Walker> walkers;
    const float n = static_cast<float>(cells);
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t object = kLevelObject + 1 + k;
        NewCollObjVOR(object, kCharacterType);
        AddObjShapeVOR(object, 1);
        SetObjRadiusVOR(object, kCharacterRadii[0], kCharacterRadii[1], kCharacterRadii[2]);
        SetObjGravityVOR(object, kGravity);
        const float x = random.Uniform(2, n - 2), z = random.Uniform(2, n - 2);
        SetObjPosVOR(x, GroundHeight(x, z) + kCharacterRadii[1] + 0.05f, z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(object, 1);
        ActivateObjVOR(object);
        walkers.push_back(Walker{object, random.Uniform(0, 2 * kPi)});
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
    Random random{0x94D049BB133111EBull ^ seed};
    const uint32_t side = static_cast<uint32_t>(std::ceil(std::sqrt(static_cast<double>(count))));
    *arena = side * kCrowdSpacing;
    std::vector<Walker> walkers;
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t object = 1 + k;
        NewCollObjVOR(object, kCrowdType);
        AddObjShapeVOR(object, 1);
        SetObjRadiusVOR(object, kCharacterRadii[0], kCharacterRadii[1], kCharacterRadii[2]);
        const float x = (k % side + 0.5f) * kCrowdSpacing + random.Uniform(-0.3f, 0.3f);
        const float z = (k / side + 0.5f) * kCrowdSpacing + random.Uniform(-0.3f, 0.3f);
        SetObjPosVOR(x, 0, z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(object, 1);
        ActivateObjVOR(object);
        walkers.push_back(Walker{object, random.Uniform(0, 2 * kPi)});
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

std::vector<Ray> LevelRays(uint32_t count, uint32_t cells, uint32_t seed) {
    Random random{0xBF58476D1CE4E5B9ull ^ seed};
    std::vector<Ray> rays;
    const float n = static_cast<float>(cells);
    for (uint32_t k = 0; k < count; ++k) {
        const float x = random.Uniform(1, n - 1), z = random.Uniform(1, n - 1);
        const float g = GroundHeight(x, z);
        Ray r;
        if (k % 2 == 0) {
            r = Ray{{x, g + 10, z}, {x + random.Uniform(-1, 1), g - 10, z + random.Uniform(-1, 1)}};
        } else {
            const float a = random.Uniform(0, 2 * kPi);
            r = Ray{{x, g + 0.5f, z},
                    {x + std::cos(a) * kRayLength, g + random.Uniform(-1, 1),
                     z + std::sin(a) * kRayLength}};
        }
        rays.push_back(r);
    }
    return rays;
}

std::vector<Ray> CrowdRays(uint32_t count, float arena, uint32_t seed) {
    Random random{0x2545F4914F6CDD1Dull ^ seed};
    std::vector<Ray> rays;
    for (uint32_t k = 0; k < count; ++k) {
        const float x = random.Uniform(0, arena), z = random.Uniform(0, arena);
        const float a = random.Uniform(0, 2 * kPi);
        rays.push_back(
            Ray{{x, 0.1f, z}, {x + std::cos(a) * kRayLength, 0.1f, z + std::sin(a) * kRayLength}});
    }
    return rays;
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
