// The next float up and down against the maths library's nextafter, bit for bit: the edges where a
// bit step goes wrong (zeros of both signs, the least subnormals, the largest finite floats,
// infinities, NaN) and random bit patterns over every exponent.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "math/float_steps.h"

namespace {

uint32_t Bits(float f) {
    uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

float FromBits(uint32_t bits) {
    float f = 0.0f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// NaN results are compared as NaN: their payload is not what the steps are for.
void ExpectStepsMatchLibrary(float f) {
    const float up = std::nextafter(f, std::numeric_limits<float>::infinity());
    const float down = std::nextafter(f, -std::numeric_limits<float>::infinity());
    if (std::isnan(f)) {
        EXPECT_TRUE(std::isnan(vor::NextFloatUp(f)));
        EXPECT_TRUE(std::isnan(vor::NextFloatDown(f)));
        return;
    }
    EXPECT_EQ(Bits(vor::NextFloatUp(f)), Bits(up)) << "up from bits " << std::hex << Bits(f);
    EXPECT_EQ(Bits(vor::NextFloatDown(f)), Bits(down)) << "down from bits " << std::hex << Bits(f);
}

} // namespace

TEST(FloatSteps, EdgesMatchTheMathsLibrary) {
    using limits = std::numeric_limits<float>;
    const float edges[] = {0.0f,
                           -0.0f,
                           limits::denorm_min(),
                           -limits::denorm_min(),
                           limits::min(),
                           -limits::min(),
                           FromBits(0x007fffffu), // the largest subnormal
                           FromBits(0x807fffffu),
                           1.0f,
                           -1.0f,
                           limits::max(),
                           -limits::max(),
                           limits::infinity(),
                           -limits::infinity(),
                           limits::quiet_NaN()};
    for (float f : edges) {
        ExpectStepsMatchLibrary(f);
    }
}

TEST(FloatSteps, RandomBitPatternsMatchTheMathsLibrary) {
    std::mt19937 random(20261210);
    for (int k = 0; k < 200000; ++k) {
        ExpectStepsMatchLibrary(FromBits(static_cast<uint32_t>(random())));
    }
}
