// Tests of the built-in level's geometry and of the host vertex block: a face wound the wrong
// way would let bodies walk through it (triangles are hit from the front only), and a block
// laid out wrongly would give the library other triangles than the picture shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "level.h"

using namespace vor::scene;

namespace {

const LevelObject &Named(const Level &level, const std::string &name) {
    for (const LevelObject &o : level.objects)
        if (o.name == name)
            return o;
    ADD_FAILURE() << "no object " << name;
    return level.objects.front();
}

Point Centroid(const std::vector<Triangle> &tris) {
    Point sum;
    for (const Triangle &t : tris)
        sum = sum + (t.a + t.b + t.c) * (1.0f / 3.0f);
    return sum * (1.0f / tris.size());
}

} // namespace

TEST(BuiltInLevel, EveryConvexSolidTurnsItsFacesOutwards) {
    const Level level = BuiltInLevel();
    for (const char *name :
         {"ramp", "steep slope", "wall A", "wall B", "pillar", "elevator", "turntable"}) {
        const LevelObject &o = Named(level, name);
        const Point inside = Centroid(o.triangles);
        ASSERT_FALSE(o.triangles.empty()) << name;
        for (const Triangle &t : o.triangles) {
            const Point n = Cross(t.b - t.a, t.c - t.a);
            const Point middle = (t.a + t.b + t.c) * (1.0f / 3.0f);
            EXPECT_GT(Length(n), 1e-6f) << name << ": a triangle without area";
            EXPECT_GT(Dot(n, middle - inside), 0.0f) << name << ": a face turned inwards";
        }
    }
}

TEST(BuiltInLevel, TheStairsRiseBySixStepsOfAFixedHeightTowardsMinusZ) {
    const Level level = BuiltInLevel();
    std::vector<float> risers;
    for (const Triangle &t : Named(level, "stairs").triangles) {
        const Point n = Cross(t.b - t.a, t.c - t.a);
        if (n.z > 0 && n.x == 0 && n.y == 0)
            risers.push_back(std::fmax(std::fmax(t.a.y, t.b.y), t.c.y));
    }
    ASSERT_EQ(risers.size(), 12u) << "six risers facing the climber, two triangles each";
    std::sort(risers.begin(), risers.end());
    for (size_t i = 0; i < risers.size(); ++i)
        EXPECT_NEAR(risers[i], 0.15f * (i / 2 + 1), 1e-6f);
}

TEST(BuiltInLevel, TheFloorAndEveryStepTopFaceUp) {
    const Level level = BuiltInLevel();
    for (const Triangle &t : Named(level, "floor").triangles)
        EXPECT_GT(Cross(t.b - t.a, t.c - t.a).y, 0.0f);
    int tops = 0;
    for (const Triangle &t : Named(level, "stairs").triangles) {
        const Point n = Cross(t.b - t.a, t.c - t.a);
        if (t.a.y == t.b.y && t.b.y == t.c.y && t.a.y > 0) {
            EXPECT_GT(n.y, 0.0f) << "a step top at " << t.a.y << " faces down";
            ++tops;
        }
    }
    EXPECT_EQ(tops, 2 * 6) << "five treads and the landing, two triangles each";
}

TEST(BuiltInLevel, TheSteepSlopeIsSteeperThanTheRamp) {
    // Derived from the faces themselves: the ramp's top normal has y cos 20, the slope's cos 65.
    const Level level = BuiltInLevel();
    auto slopeNormalY = [&](const char *name) {
        float best = 0;
        for (const Triangle &t : Named(level, name).triangles) {
            Point n = Cross(t.b - t.a, t.c - t.a);
            n = n * (1.0f / Length(n));
            if (n.y > 0.01f && n.y < 0.999f)
                best = n.y;
        }
        return best;
    };
    EXPECT_NEAR(slopeNormalY("ramp"), std::cos(20.0f * 3.14159265f / 180.0f), 1e-5f);
    EXPECT_NEAR(slopeNormalY("steep slope"), std::cos(65.0f * 3.14159265f / 180.0f), 1e-5f);
}

TEST(BuiltInLevel, TheElevatorStartsLowAndEndsHighWithoutJumps) {
    EXPECT_EQ(ElevatorHeight(0), kElevatorLow);
    EXPECT_EQ(ElevatorHeight(10), kElevatorHigh);
    for (int frame = 1; frame <= 600; ++frame) {
        const float step =
            std::fabs(ElevatorHeight(frame / 60.0f) - ElevatorHeight((frame - 1) / 60.0f));
        EXPECT_LE(step, 0.0171f) << "frame " << frame << ": at most 1 unit per second";
    }
}

TEST(VertexBlock, HoldsTheHeaderAndEveryCornerAtTheVertexStride) {
    const std::vector<Triangle> tris = {{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}},
                                        {{-1, 0, 0}, {0, 0, 1}, {1, 0, 0}}};
    const std::vector<uint32_t> block = MakeVertexBlock(tris);
    uint32_t size;
    int32_t count;
    std::memcpy(&size, &block[1], 4);
    std::memcpy(&count, &block[2], 4);
    ASSERT_EQ(size, 32u);
    ASSERT_EQ(count, 6);
    ASSERT_EQ(block.size() * 4, 12u + 6u * 32u);
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(block.data());
    const float expected[6][3] = {{1, 2, 3},  {4, 5, 6}, {7, 8, 9},
                                  {-1, 0, 0}, {0, 0, 1}, {1, 0, 0}};
    for (int k = 0; k < 6; ++k) {
        float xyz[3];
        std::memcpy(xyz, bytes + 12 + k * size, sizeof xyz);
        EXPECT_EQ(xyz[0], expected[k][0]);
        EXPECT_EQ(xyz[1], expected[k][1]);
        EXPECT_EQ(xyz[2], expected[k][2]);
    }
}

TEST(WorldTriangles, AQuarterTurnOfYawTakesXToMinusZ) {
    LevelObject o;
    o.triangles = {{{1, 0, 0}, {0, 0, 1}, {0, 1, 0}}};
    const std::vector<Triangle> w = WorldTriangles(o, {10, 0, 0}, 90);
    EXPECT_NEAR(w[0].a.x, 10, 1e-6f);
    EXPECT_NEAR(w[0].a.z, -1, 1e-6f);
    EXPECT_NEAR(w[0].b.x, 11, 1e-6f);
    EXPECT_NEAR(w[0].b.z, 0, 1e-6f);
}
