// The segments of the peer comparison's levels, shared by the native comparison and the level
// files the web benchmark reads, so that both cast the very same rays.
#include <algorithm>
#include <cmath>

#include "peer_rays.h"

namespace peers {

namespace {

constexpr float kRayLength = 20.0f;
constexpr float kChestHeight = 1.3f; // above the ground under the start

} // namespace

std::vector<Segment> IssueRays(float lo, float hi, const std::function<float(float, float)> &ground) {
    bench::Random random{0xA0761D6478BD642Full ^ kRaySeed};
    std::vector<Segment> rays;
    for (uint32_t k = 0; k < kRayCount; ++k) {
        const float x = random.Uniform(lo, hi), z = random.Uniform(lo, hi);
        const float g = ground(x, z);
        if (k % 2 == 0) {
            rays.push_back(Segment{{x, g + 10, z}, {x, g - 10, z}});
        } else {
            const float a = random.Uniform(0, 2 * bench::kPi);
            const float y = g + kChestHeight;
            rays.push_back(Segment{
                {x, y, z}, {x + std::cos(a) * kRayLength, y, z + std::sin(a) * kRayLength}});
        }
    }
    return rays;
}

float TerrainGround(const std::vector<float> &heights, uint32_t side, float x, float z) {
    const uint32_t i = std::min(static_cast<uint32_t>(x), side - 1);
    const uint32_t j = std::min(static_cast<uint32_t>(z), side - 1);
    const float fx = x - i, fz = z - j;
    const float *h = heights.data();
    const float a = h[j * (side + 1) + i], b = h[j * (side + 1) + i + 1];
    const float c = h[(j + 1) * (side + 1) + i], d = h[(j + 1) * (side + 1) + i + 1];
    return (a + (b - a) * fx) * (1 - fz) + (c + (d - c) * fx) * fz;
}

} // namespace peers
