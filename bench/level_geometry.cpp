// The benchmark scenes' geometry, made from fixed seeds so every run and every library sees the
// same triangles and the same bodies.
#include "level_geometry.h"

#include <cmath>

namespace bench {

namespace {

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

struct Soup {
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
};

void Crate(Soup &soup, float cx, float cz, float size) {
    const float y0 = GroundHeight(cx, cz) - 0.3f;
    const float h = size * 0.5f;
    const float x0 = cx - h, x1 = cx + h, z0 = cz - h, z1 = cz + h, y1 = y0 + size;
    soup.Quad({x0, y0, z0}, {x0, y1, z0}, {x0, y1, z1}, {x0, y0, z1}, {-1, 0, 0});
    soup.Quad({x1, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, {x1, y0, z1}, {1, 0, 0});
    soup.Quad({x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0}, {0, 0, -1});
    soup.Quad({x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}, {0, 0, 1});
    soup.Quad({x0, y1, z0}, {x1, y1, z0}, {x1, y1, z1}, {x0, y1, z1}, {0, 1, 0});
    soup.Quad({x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}, {0, -1, 0});
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

std::vector<float> LevelTriangles(uint32_t cells, uint32_t seed) {
    Random random{0x9E3779B97F4A7C15ull ^ seed};
    Soup soup;
    const float n = static_cast<float>(cells);
    // The ground, two triangles per unit cell, facing up.
    for (uint32_t i = 0; i < cells; ++i) {
        for (uint32_t j = 0; j < cells; ++j) {
            const float x0 = static_cast<float>(i), x1 = x0 + 1, z0 = static_cast<float>(j),
                        z1 = z0 + 1;
            const P3 a{x0, GroundHeight(x0, z0), z0}, b{x0, GroundHeight(x0, z1), z1};
            const P3 c{x1, GroundHeight(x1, z0), z0}, d{x1, GroundHeight(x1, z1), z1};
            soup.Triangle(a, b, c);
            soup.Triangle(c, b, d);
        }
    }
    // Walls round the border, facing in, one quad per unit.
    for (uint32_t i = 0; i < cells; ++i) {
        const float u0 = static_cast<float>(i), u1 = u0 + 1;
        soup.Quad({0, -5, u0}, {0, 5, u0}, {0, 5, u1}, {0, -5, u1}, {1, 0, 0});
        soup.Quad({n, -5, u0}, {n, 5, u0}, {n, 5, u1}, {n, -5, u1}, {-1, 0, 0});
        soup.Quad({u0, -5, 0}, {u0, 5, 0}, {u1, 5, 0}, {u1, -5, 0}, {0, 0, 1});
        soup.Quad({u0, -5, n}, {u0, 5, n}, {u1, 5, n}, {u1, -5, n}, {0, 0, -1});
    }
    // Crates, one per 64 cells.
    const uint32_t crates = cells * cells / 64;
    for (uint32_t k = 0; k < crates; ++k) {
        Crate(soup, random.Uniform(3, n - 3), random.Uniform(3, n - 3), random.Uniform(0.8f, 2.0f));
    }
    return soup.xyz;
}

std::vector<float> GridTriangles(const std::vector<float> &heights, uint32_t side) {
    Soup soup;
    const uint32_t pitch = side + 1;
    for (uint32_t i = 0; i < side; ++i) {
        for (uint32_t j = 0; j < side; ++j) {
            const float x0 = static_cast<float>(i), x1 = x0 + 1, z0 = static_cast<float>(j),
                        z1 = z0 + 1;
            const P3 a{x0, heights[j * pitch + i], z0}, b{x0, heights[(j + 1) * pitch + i], z1};
            const P3 c{x1, heights[j * pitch + i + 1], z0};
            const P3 d{x1, heights[(j + 1) * pitch + i + 1], z1};
            soup.Triangle(a, b, c);
            soup.Triangle(c, b, d);
        }
    }
    return soup.xyz;
}

std::vector<CrowdBody> CrowdLayout(uint32_t count, uint32_t seed, float *arena) {
    Random random{0x94D049BB133111EBull ^ seed};
    const uint32_t side = static_cast<uint32_t>(std::ceil(std::sqrt(static_cast<double>(count))));
    *arena = side * kCrowdSpacing;
    std::vector<CrowdBody> bodies;
    for (uint32_t k = 0; k < count; ++k) {
        const float x = (k % side + 0.5f) * kCrowdSpacing + random.Uniform(-0.3f, 0.3f);
        const float z = (k / side + 0.5f) * kCrowdSpacing + random.Uniform(-0.3f, 0.3f);
        bodies.push_back(CrowdBody{x, z, random.Uniform(0, 2 * kPi)});
    }
    return bodies;
}

std::vector<CrowdBody> CharacterLayout(uint32_t count, uint32_t cells, uint32_t seed) {
    Random random{0xD1B54A32D192ED03ull ^ seed};
    const float n = static_cast<float>(cells);
    std::vector<CrowdBody> bodies;
    for (uint32_t k = 0; k < count; ++k) {
        const float x = random.Uniform(2, n - 2), z = random.Uniform(2, n - 2);
        bodies.push_back(CrowdBody{x, z, random.Uniform(0, 2 * kPi)});
    }
    return bodies;
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

} // namespace bench
