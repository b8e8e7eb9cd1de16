// Overlap recovery through the exports: off, nothing moves apart; on, overlapping ellipsoids are
// pushed apart and bodies inside the ground pushed out, never further than half their smallest
// radius in a pass, never through a mesh, and with the same result whatever the activation order.
// The walker on a slope shows the sinking that recovery is there for.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/stats.h"
#include "pass/overlap_recovery.h"
#include "support/test_support.h"

namespace {

class OverlapRecoveryTest : public HostTest {
  protected:
    // Two unit ellipsoids of type 1, 0.5 apart on x, sliding against each other.
    void TwoOverlapping() {
        MakeEllipsoid(1, 1);
        MakeEllipsoid(2, 1);
        SetCollisionsVOR(1, 1, 1, 2, 1);
        Place(1, 0, 0, 0);
        Place(2, 0.5f, 0, 0);
        MoveTo(1, 0, 0, 0.01f);
        MoveTo(2, 0.5f, 0, 0.01f);
    }
    // Two bodies of radius 0.5 overlapping by 0.5 on x, recovering, and a wall (object 60, type
    // 2) facing -x at x = 0.9 that body 2 is pushed towards.
    void OverlappingBesideAWall() {
        NewCollObjVOR(60, 2);
        AddObjShapeVOR(60, 2);
        AddMeshTri(60, 0.9f, -5, -5, 0.9f, 5, 5, 0.9f, 5, -5);
        AddMeshTri(60, 0.9f, -5, -5, 0.9f, -5, 5, 0.9f, 5, 5);
        Place(60, 0, 0, 0);
        ActivateObjVOR(60);
        MakeEllipsoid(1, 1, 0.5f, 0.5f, 0.5f);
        MakeEllipsoid(2, 1, 0.5f, 0.5f, 0.5f);
        SetCollisionsVOR(1, 1, 1, 2, 1);
        SetCollisionsVOR(1, 2, 2, 2, 1);
        SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 1);
        Place(1, -0.2f, 0, 0);
        Place(2, 0.3f, 0, 0);
    }
    // Makes bodies first..last (type 1, recovering from each other) by `make`, in that order or
    // reversed, runs `frames` passes of a small step along z, and answers their x and z bits.
    template <typename Make>
    std::vector<int32_t> RunInOrder(uint32_t first, uint32_t last, bool reversed, int frames,
                                    Make make) {
        StopCollisionVOR();
        SetCollisionsVOR(1, 1, 1, 3, 1);
        SetOverlapRecoveryVOR(1, 1, 1);
        for (uint32_t k = 0; k <= last - first; ++k) {
            make(reversed ? last - k : first + k);
        }
        for (int frame = 0; frame < frames; ++frame) {
            for (uint32_t n = first; n <= last; ++n) {
                MoveTo(n, X(n), 0, Z(n) + 0.001f);
            }
            RunCollisionVOR();
        }
        std::vector<int32_t> bits;
        for (uint32_t n = first; n <= last; ++n) {
            bits.push_back(PeekObjXVOR(n));
            bits.push_back(PeekObjZVOR(n));
        }
        return bits;
    }
    // Bodies first.. (count of them) on a floor, sunk into it at various depths, some with a
    // second ellipsoid as deep as the first (a tie of their ground pushes, which goes to the
    // first shape), pressed in a row towards the lower numbers for `frames` passes with recovery
    // on: every position after every pass, in bits.
    std::vector<int32_t> PressSunkRow(uint32_t first, uint32_t count, int frames) {
        Floor(0);
        const uint32_t last = first + count - 1;
        for (uint32_t n = first; n <= last; ++n) {
            MakeEllipsoid(n, 1, 0.25f, 0.5f, 0.25f);
            if (n % 3 == 0) {
                AddObjShapeVOR(n, 1); // a second ellipsoid, like the first
            }
            const float k = static_cast<float>(n - first + 1);
            Place(n, 0.4f * k, 0.5f - 0.004f * static_cast<float>(n % 7), 0);
        }
        SetCollisionsVOR(1, 2, 2, 3, 1);
        SetCollisionsVOR(1, 1, 1, 3, 1);
        SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 1);
        std::vector<int32_t> bits;
        for (int frame = 0; frame < frames; ++frame) {
            for (uint32_t n = first; n <= last; ++n) {
                MoveTo(n, X(n) - 0.05f, Y(n) - 0.01f, Z(n));
            }
            RunCollisionVOR();
            for (uint32_t n = first; n <= last; ++n) {
                bits.insert(bits.end(), {PeekObjXVOR(n), PeekObjYVOR(n), PeekObjZVOR(n)});
            }
        }
        return bits;
    }
    // Body 1 (type 2, radius 1) at x = at and body 2 (type 1, radius 0.5) 0.9 further on, inside
    // each other; only type 1 slides and recovers (type 2 stops). One pass of a small step on z.
    void RunOneWayPair(float at) {
        MakeEllipsoid(1, 2);
        MakeEllipsoid(2, 1, 0.5f, 0.5f, 0.5f);
        SetCollisionsVOR(1, 2, 1, 2, 1);
        SetCollisionsVOR(2, 1, 1, 1, 1);
        SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 1);
        Place(1, at, 0, 0);
        Place(2, at + 0.9f, 0, 0);
        MoveTo(1, at, 0, 0.01f);
        MoveTo(2, at + 0.9f, 0, 0.01f);
        RunCollisionVOR();
    }
    // A flat floor (object 50, type 2) of two triangles facing up.
    void Floor(float y) {
        NewCollObjVOR(50, 2);
        AddObjShapeVOR(50, 2);
        AddMeshTri(50, -10, y, -10, -10, y, 10, 10, y, 10);
        AddMeshTri(50, -10, y, -10, 10, y, 10, 10, y, -10);
        Place(50, 0, 0, 0);
        ActivateObjVOR(50);
    }
};

TEST_F(OverlapRecoveryTest, OffLeavesOverlappingEllipsoidsWhereTheSweepLeftThem) {
    TwoOverlapping();
    RunCollisionVOR();
    EXPECT_EQ(X(1), 0.0f);
    EXPECT_EQ(X(2), 0.5f);
}

TEST_F(OverlapRecoveryTest, OnPushesAPairApartByHalfTheDepthEachWithinTheLimit) {
    TwoOverlapping();
    SetOverlapRecoveryVOR(1, 1, 1);
    RunCollisionVOR();
    // Each needs 0.75 to clear; the limit is half the smallest radius (0.5) a pass.
    EXPECT_FLOAT_EQ(X(1), -0.5f);
    EXPECT_FLOAT_EQ(X(2), 1.0f);
    // The next pass finishes the job, to just beyond touching (2 radii plus the clearance).
    MoveTo(1, X(1), 0, 0.02f);
    MoveTo(2, X(2), 0, 0.02f);
    RunCollisionVOR();
    const float gap = X(2) - X(1);
    EXPECT_GE(gap, 2.0f);
    EXPECT_LT(gap, 2.01f);              // the clearance is a thousandth of a radius
    EXPECT_FLOAT_EQ(X(1) + X(2), 0.5f); // symmetric about where they met
}

// Ellipsoids that only touch, within the clearance the pushes leave (a thousandth of a radius),
// stay where the pass left them: a pressing crowd is not pushed a fraction of a millimetre apart
// every frame. Deeper, they are pushed.
TEST_F(OverlapRecoveryTest, OverlapsWithinTheClearanceAreLeftWhereTheyAre) {
    MakeEllipsoid(1, 1);
    MakeEllipsoid(2, 1);
    SetCollisionsVOR(1, 1, 1, 2, 1);
    SetOverlapRecoveryVOR(1, 1, 1);
    Place(1, 0, 0, 0);
    Place(2, 1.9995f, 0, 0);
    MoveTo(1, 0, 0, 0.01f);
    MoveTo(2, 1.9995f, 0, 0.01f);
    RunCollisionVOR();
    EXPECT_EQ(X(1), 0.0f);
    EXPECT_EQ(X(2), 1.9995f);
    MoveTo(2, 1.997f, 0, 0.02f);
    RunCollisionVOR();
    EXPECT_LT(X(1), 0.0f);
    const float dx = X(2) - X(1), dz = Z(2) - Z(1);
    EXPECT_GE(std::sqrt(dx * dx + dz * dz), 2.0f);
}

// Overlapping pairs are found wherever they stand: clusters far apart (empty neighbour columns
// between them), several bodies to a cell, across the cell boundaries at the origin, numbered
// along z in one cluster and against it in the next. Every body that overlaps another is pushed
// in the first pass, and after some passes every pair stands apart.
TEST_F(OverlapRecoveryTest, EveryOverlappingPairIsFoundWhereverItStands) {
    const float clusters[4][2] = {{-0.3f, -0.3f}, {-50.5f, 37}, {1000, -2000}, {-3, 9.5f}};
    std::vector<uint32_t> bodies;
    for (int c = 0; c < 4; ++c) {
        for (int k = 0; k < 9; ++k) {
            const int row = c % 2 == 0 ? k / 3 : 2 - k / 3;
            const uint32_t n = static_cast<uint32_t>(1 + bodies.size());
            MakeEllipsoid(n, 1, 0.5f, 0.5f, 0.5f);
            Place(n, clusters[c][0] + 0.3f * (k % 3), 0, clusters[c][1] + 0.3f * row);
            bodies.push_back(n);
        }
    }
    SetCollisionsVOR(1, 1, 1, 2, 1);
    SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 1);
    std::vector<float> x0, z0;
    for (uint32_t n : bodies) {
        x0.push_back(X(n));
        z0.push_back(Z(n));
    }
    for (int pass = 0; pass < 40; ++pass) {
        for (uint32_t n : bodies) {
            MoveTo(n, X(n), 0, Z(n) + 1e-3f);
        }
        RunCollisionVOR();
        for (size_t k = 0; pass == 0 && k < bodies.size(); ++k) {
            EXPECT_TRUE(X(bodies[k]) != x0[k] || Z(bodies[k]) != z0[k] + 1e-3f)
                << "body " << bodies[k] << " overlapped its cluster and was not pushed";
        }
    }
    float nearest = INFINITY;
    for (uint32_t a : bodies) {
        for (uint32_t b : bodies) {
            if (a < b) {
                nearest = std::min(nearest, std::hypot(X(a) - X(b), Z(a) - Z(b)));
            }
        }
    }
    EXPECT_GE(nearest, 0.999f) << "two radii of 0.5, less a rounding";
}

// A row of 70 unit bodies 1.8 apart, each 0.2 inside the next: 69 pairs. Pushing a pair apart
// presses each body into its other neighbour, so the pairs are tested again in later rounds: the
// end bodies, pressed by one neighbour only, move out a little more each round up to the limit of
// a pass (half the radius). The last pairs come after the first 64 in the order of testing.
TEST_F(OverlapRecoveryTest, ARowPressedTogetherSpreadsFromBothEndsOverTheRounds) {
    SetCollisionsVOR(1, 1, 1, 3, 1);
    SetOverlapRecoveryVOR(1, 1, 1);
    for (uint32_t n = 1; n <= 70; ++n) {
        MakeEllipsoid(n, 1);
        Place(n, 1.8f * static_cast<float>(n), 0, 0);
        MoveTo(n, 1.8f * static_cast<float>(n), 0, 0.001f);
    }
    RunCollisionVOR();
    // One round would have moved them 0.1.
    EXPECT_LT(X(1), 1.8f - 0.3f);
    EXPECT_GT(X(70), 1.8f * 70 + 0.3f);
    EXPECT_LE(X(70), 1.8f * 70 + 0.5f + 1e-4f);
    EXPECT_FLOAT_EQ(X(35), 1.8f * 35) << "the middle is not reached in a pass";
}

TEST_F(OverlapRecoveryTest, CentresAtTheSamePlaceGoApartAlongXLowerObjectFirst) {
    MakeEllipsoid(7, 1);
    MakeEllipsoid(3, 1);
    SetCollisionsVOR(1, 1, 1, 3, 1);
    SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 1);
    Place(7, 2, 0, 0);
    Place(3, 2, 0, 0);
    MoveTo(7, 2, 0, 0.01f);
    MoveTo(3, 2, 0, 0.01f);
    RunCollisionVOR();
    EXPECT_LT(X(3), 2.0f);
    EXPECT_GT(X(7), 2.0f);
    EXPECT_EQ(Y(3), 0.0f);
}

TEST_F(OverlapRecoveryTest, OnlyDefinitionsThatRecoverAndSlideMoveTheirBodies) {
    // Type 1 slides into type 2 and recovers; type 2 stops (response 1): only 1 is pushed, fully.
    MakeEllipsoid(1, 1);
    MakeEllipsoid(2, 2);
    SetCollisionsVOR(1, 2, 1, 2, 1);
    SetCollisionsVOR(2, 1, 1, 1, 1);
    SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 1);
    Place(1, 0, 0, 0);
    Place(2, 1.8f, 0, 0);
    MoveTo(1, 0, 0, 0.01f);
    MoveTo(2, 1.8f, 0, 0.01f);
    RunCollisionVOR();
    EXPECT_NEAR(X(1), -0.2f, 0.005f); // out by the whole depth, 0.2 plus the clearance
    EXPECT_EQ(X(2), 1.8f);
}

// The same with the higher object number the one that recovers, and radii that differ: the pair's
// common radii (the smaller with size mode 0, the larger with 1) set how far apart it goes.
TEST_F(OverlapRecoveryTest, TheSecondOfAPairMovesAloneByThePairsCommonRadii) {
    for (int32_t mode = 0; mode <= 1; ++mode) {
        StopCollisionVOR();
        SetEllipSizeModeVOR(mode);
        RunOneWayPair(0.0f);
        EXPECT_EQ(X(1), 0.0f) << "mode " << mode;
        if (mode == 0) {
            // Radii 0.5: out to two of them and the clearance, 0.1005 on.
            EXPECT_NEAR(X(2), 1.0005f, 1e-4f);
        } else {
            // Radii 1: 1.101 to go, held to the limit, half its own smallest radius.
            EXPECT_NEAR(X(2), 1.15f, 1e-4f);
        }
    }
    SetEllipSizeModeVOR(0);
}

// Only the second type recovers from the first: the pair is found from either side, whichever of
// the two the search meets first (the same cell, or either of two neighbouring ones).
TEST_F(OverlapRecoveryTest, APairWhereOneTypeRecoversIsFoundFromEitherSide) {
    for (int step = 0; step <= 24; ++step) {
        StopCollisionVOR();
        const float at = 0.25f * static_cast<float>(step);
        RunOneWayPair(at);
        EXPECT_EQ(X(1), at) << "at " << at;
        EXPECT_NEAR(X(2), at + 1.0005f, 1e-4f) << "at " << at;
    }
}

TEST_F(OverlapRecoveryTest, APushIsSweptAndStopsAtAWall) {
    // A wall facing -x at x = 0.9: body 2 pushed towards it stops at it, not through it.
    OverlappingBesideAWall();
    // The wall holds body 2, so each pass body 1 takes only its half of what is left: the gap
    // closes by halves, over several passes.
    for (int frame = 0; frame < 8; ++frame) {
        MoveTo(1, X(1), 0, Z(1) + 0.01f);
        MoveTo(2, X(2), 0, Z(2) + 0.01f);
        RunCollisionVOR();
        EXPECT_LE(X(2), 0.4f + 1e-5f) << "frame " << frame; // centre stays a radius off the wall
    }
    EXPECT_GT(X(2) - X(1), 0.99f);
}

TEST_F(OverlapRecoveryTest, APushsContactIsCountedAndReadLikeAnyOther) {
    // Body 2's push meets the wall in a step after the pass's last one, which met nothing: every
    // index up to the count answers, the last one the wall, and the one past it reports.
    OverlappingBesideAWall();
    MoveTo(1, -0.2f, 0, 0.01f);
    MoveTo(2, 0.3f, 0, 0.01f);
    RunCollisionVOR();
    const int32_t count = CountCollisionsVOR(2);
    ASSERT_GE(count, 1);
    Arm();
    for (int32_t k = 1; k <= count; ++k) {
        EXPECT_NE(CollisionHitShape(2, static_cast<uint32_t>(k)), 0) << "contact " << k;
    }
    EXPECT_EQ(CollisionHitObj(2, static_cast<uint32_t>(count)), 60);
    EXPECT_TRUE(log.texts.empty()) << log.texts.front();
    Arm();
    EXPECT_EQ(CollisionHitShape(2, static_cast<uint32_t>(count + 1)), 0);
    EXPECT_EQ(log.texts, std::vector<std::string>{"Collision index out of range: " +
                                                  std::to_string(count + 1)});
}

TEST_F(OverlapRecoveryTest, TheResultDoesNotDependOnTheActivationOrder) {
    // A cluster of 16 bodies squeezed together, activated in two orders: the same bits.
    auto make = [&](uint32_t n) {
        MakeEllipsoid(n, 1, 0.25f, 0.45f, 0.25f);
        Place(n, 0.3f * ((n - 1) % 4), 0, 0.3f * ((n - 1) / 4));
    };
    const std::vector<int32_t> forward = RunInOrder(1, 16, false, 3, make);
    EXPECT_EQ(forward, RunInOrder(1, 16, true, 3, make));
    // And they did move apart: the lattice started 0.3 apart.
    float closest = 1e30f;
    for (size_t i = 0; i < forward.size(); i += 2) {
        for (size_t k = i + 2; k < forward.size(); k += 2) {
            const float dx = F(forward[k]) - F(forward[i]),
                        dz = F(forward[k + 1]) - F(forward[i + 1]);
            closest = std::fmin(closest, std::sqrt(dx * dx + dz * dz));
        }
    }
    EXPECT_GT(closest, 0.4f);
}

TEST_F(OverlapRecoveryTest, ALargeBodyAmongManyAtTheHighestObjectNumbersIsOrderIndependent) {
    // Object 4960, large, in reach of each of the 40 small ones on a ring round it, numbered up to
    // the last object number: one body first in 40 candidate pairs. Two orders, the same bits.
    constexpr uint32_t kFirst = 4960, kLast = 5000;
    auto make = [&](uint32_t n) {
        const bool large = n == kFirst;
        const float r = large ? 2.0f : 0.25f;
        MakeEllipsoid(n, 1, r, large ? 1.0f : 0.45f, r);
        const float turn = 0.157f * static_cast<float>(n - kFirst);
        Place(n, large ? 0 : 1.5f * std::cos(turn), 0, large ? 0 : 1.5f * std::sin(turn));
    };
    const std::vector<int32_t> forward = RunInOrder(kFirst, kLast, false, 2, make);
    EXPECT_EQ(forward, RunInOrder(kFirst, kLast, true, 2, make));
    // The ring's neighbours stood 0.235 apart, inside each other: pushed apart along the ring.
    float closest = 1e30f;
    for (size_t i = 2; i + 2 < forward.size(); i += 2) {
        const float dx = F(forward[i + 2]) - F(forward[i]),
                    dz = F(forward[i + 3]) - F(forward[i + 1]);
        closest = std::fmin(closest, std::sqrt(dx * dx + dz * dz));
    }
    EXPECT_GT(closest, 0.3f);
}

TEST_F(OverlapRecoveryTest, ABodyInsideTheGroundIsPushedOutAlongItsNormal) {
    Floor(0);
    MakeEllipsoid(1, 1, 0.25f, 0.9f, 0.25f);
    SetCollisionsVOR(1, 2, 2, 3, 1);
    Place(1, 0, 0.8f, 0); // 10 cm inside
    MoveTo(1, 0.01f, 0.8f, 0);
    RunCollisionVOR();
    EXPECT_FLOAT_EQ(Y(1), 0.8f); // off: a body moving along the face it cuts stays in it
    SetOverlapRecoveryVOR(1, 2, 1);
    MoveTo(1, 0.02f, Y(1), 0);
    RunCollisionVOR();
    EXPECT_GE(Y(1), 0.9f);
    EXPECT_LT(Y(1), 0.9f + 0.9f * 2e-3f);
    EXPECT_FLOAT_EQ(X(1), 0.02f);
}

// Bodies sunk into the floor at various depths, pressed in a row, some with a second ellipsoid as
// deep as the first (a tie of their ground pushes, which goes to the first shape): the pushes are
// the same to the bit whether the ground tests run on the host's thread alone or shared among 2,
// 3 or 8 threads.
TEST_F(OverlapRecoveryTest, GroundPushesAreTheSameOnEveryThreadCount) {
    vor::MinBodiesOnWorkers = 2;
    std::vector<int32_t> first;
    for (const int32_t threads : {1, 2, 3, 8}) {
        StopCollisionVOR();
        SetWorkerCountVOR(threads);
        vor::ResetStats();
        const std::vector<int32_t> bits = PressSunkRow(1, 40, 3);
        EXPECT_GT(vor::ThreadStats().recoveryPushes, 40u) << threads;
        EXPECT_EQ(vor::ThreadStats().recoveryGroundJobs > 0, threads > 1) << threads;
        if (first.empty()) {
            first = bits;
        }
        EXPECT_EQ(bits, first) << threads << " threads";
    }
}

// The recovery keeps its working arrays from pass to pass. A small crowd after a larger one (freed
// without a stop, so the arrays stay as the larger crowd left them) gives what it gives in a
// module that just started; and recovery turned off lets go of the arrays without a trace.
TEST_F(OverlapRecoveryTest, ASmallCrowdAfterALargerOneGivesWhatItGivesAlone) {
    StopCollisionVOR();
    const std::vector<int32_t> alone = PressSunkRow(1, 12, 3);
    StopCollisionVOR();
    vor::ResetStats();
    PressSunkRow(100, 300, 3);
    EXPECT_GT(vor::ThreadStats().recoveryPushes, 300u);
    // 400 ellipsoids: the arrays hold under a kilobyte each (and 40 KB of tables by object
    // number), and more passes of the same crowd do not grow them.
    const size_t held = vor::RecoveryScratchBytes();
    EXPECT_LE(held, 400u * 1024u + 48u * 1024u);
    for (int frame = 0; frame < 4; ++frame) {
        RunCollisionVOR();
    }
    EXPECT_EQ(vor::RecoveryScratchBytes(), held);
    for (uint32_t n = 100; n < 400; ++n) {
        FreeObjVOR(n);
    }
    FreeObjVOR(50);
    vor::ResetStats();
    EXPECT_EQ(PressSunkRow(1, 12, 3), alone);
    EXPECT_GT(vor::ThreadStats().recoveryPushes, 12u);
    // Off everywhere, then on again: the same once more.
    for (uint32_t n = 1; n <= 12; ++n) {
        FreeObjVOR(n);
    }
    FreeObjVOR(50);
    SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 0);
    RunCollisionVOR();
    EXPECT_EQ(vor::RecoveryScratchBytes(), 0u);
    EXPECT_EQ(PressSunkRow(1, 12, 3), alone);
}

// A walker standing on a slope of 10 degrees rising along x, and another beside it downhill at the
// same height (standing on something else), 3 mm inside it. The pair's push is level, so the
// uphill walker's half goes into the slope: it would meet the ground at once and, being under the
// 2 mm a standing body ignores, be stopped, leaving the pair inside each other. It slides up along
// the ground it stands on instead.
TEST_F(OverlapRecoveryTest, APairOnASlopeIsPushedApartAlongTheGroundNotIntoIt) {
    const float rise = std::tan(10.0f * 3.14159265f / 180.0f);
    NewCollObjVOR(50, 2);
    AddObjShapeVOR(50, 2);
    AddMeshTri(50, -10, -10 * rise, -10, -10, -10 * rise, 10, 10, 10 * rise, 10);
    AddMeshTri(50, -10, -10 * rise, -10, 10, 10 * rise, 10, 10, 10 * rise, -10);
    Place(50, 0, 0, 0);
    ActivateObjVOR(50);
    MakeEllipsoid(1, 1, 0.25f, 0.45f, 0.25f);
    MakeEllipsoid(2, 1, 0.25f, 0.45f, 0.25f);
    SetCollisionsVOR(1, 1, 1, 3, 1);
    SetCollisionsVOR(1, 2, 2, 3, 1);
    Place(1, 0, 0.5f, 0);
    MoveTo(1, 0, 0.4f, 0); // lands on the slope
    Place(2, -5, 5, 5);
    RunCollisionVOR();
    const float standing = Y(1);
    ASSERT_LT(standing, 0.5f);
    SetOverlapRecoveryVOR(1, 1, 1);
    SetOverlapRecoveryVOR(1, 2, 1);
    Place(2, -0.497f, standing, 0);
    MoveTo(1, 0, standing - 0.01f, 0); // pressed down, as by gravity
    RunCollisionVOR();
    const float overlap = 0.5f - (X(1) - X(2)) - std::fabs(Y(1) - Y(2));
    EXPECT_LT(overlap, 0.5e-3f);
    EXPECT_GT(X(1), 1e-3f) << "the uphill walker moved up the slope";
    EXPECT_GT(Y(1), standing) << "along it, not into it";
}

// Each source type walks only the mesh types it recovers from, up to the last type there is.
TEST_F(OverlapRecoveryTest, TheGroundIsPushedOutOfOnlyForTheMeshTypesThatRecover) {
    NewCollObjVOR(50, 100);
    AddObjShapeVOR(50, 2);
    AddMeshTri(50, -10, 0, -10, -10, 0, 10, 10, 0, 10);
    AddMeshTri(50, -10, 0, -10, 10, 0, 10, 10, 0, -10);
    Place(50, 0, 0, 0);
    ActivateObjVOR(50);
    MakeEllipsoid(1, 1, 0.25f, 0.9f, 0.25f);
    SetCollisionsVOR(1, 2, 2, 3, 1);
    SetCollisionsVOR(1, 100, 2, 3, 1);
    Place(1, 0, 0.8f, 0); // 10 cm inside the type-100 floor
    SetOverlapRecoveryVOR(1, 2, 1);
    MoveTo(1, 0.01f, 0.8f, 0);
    RunCollisionVOR();
    EXPECT_FLOAT_EQ(Y(1), 0.8f) << "type 2 recovers, but the floor is of type 100";
    SetOverlapRecoveryVOR(1, 100, 1);
    MoveTo(1, 0.02f, Y(1), 0);
    RunCollisionVOR();
    EXPECT_GE(Y(1), 0.9f);
    EXPECT_LT(Y(1), 0.9f + 0.9f * 2e-3f);
}

TEST_F(OverlapRecoveryTest, BadTypesAreReportedAndChangeNothing) {
    Arm();
    SetOverlapRecoveryVOR(101, 1, 1);
    Arm();
    SetOverlapRecoveryVOR(VOR_ALL_TYPES, 3, 1);
    Arm();
    SetOverlapRecoveryVOR(3, 200, 1);
    const std::vector<std::string> expected = {"Invalid Overlap Recovery TYPE ID: 101",
                                               "Invalid Overlap Recovery TYPE ID: 4294967295",
                                               "Invalid Overlap Recovery TYPE ID: 200"};
    EXPECT_EQ(log.texts, expected);
    // Nothing was switched on: the pair stays as the sweep left it.
    TwoOverlapping();
    RunCollisionVOR();
    EXPECT_EQ(X(1), 0.0f);
}

// Four triangles: a flat quad and a slope of 1.2 rising from its edge at x = 0, each split along
// its diagonal. A walker (0.25 x 0.9 x 0.25) walks up the slope 6 cm a frame with a fall of
// 0.2 folded into its move. It starts each pass already cutting the slope's shared diagonal: the
// edge contact, found overlapping, has a negative time and beats the face's time 0, and after its
// slide the face contact that would lift the walker out repeats its point and is dropped. So the
// written rules leave it inside the slope, deeper than 4 cm here; recovery keeps it out.
class SlopeWalkerTest : public OverlapRecoveryTest {
  protected:
    struct Tri {
        float c[9];
    };
    std::vector<Tri> tris;

    void BuildSlope() {
        const float s = 1.2f;
        tris = {{{-3, 0, -3, -3, 0, 3, 0, 0, 3}},
                {{-3, 0, -3, 0, 0, 3, 0, 0, -3}},
                {{0, 0, -3, 0, 0, 3, 3, 3 * s, 3}},
                {{0, 0, -3, 3, 3 * s, 3, 3, 3 * s, -3}}};
        NewCollObjVOR(50, 2);
        AddObjShapeVOR(50, 2);
        for (const Tri &t : tris) {
            AddMeshTri(50, t.c[0], t.c[1], t.c[2], t.c[3], t.c[4], t.c[5], t.c[6], t.c[7], t.c[8]);
        }
        Place(50, 0, 0, 0);
        ActivateObjVOR(50);
        MakeEllipsoid(1, 1, 0.25f, 0.9f, 0.25f);
        SetCollisionsVOR(1, 2, 2, 3, 1);
        Place(1, -1.0f, 0.91f, 0.1f);
    }
    // How deep the walker is in the ground: (1 - its unit-sphere distance to the nearest
    // triangle) times its height radius; the nearest point by the plain region construction.
    float Depth() const {
        const float r[3] = {0.25f, 0.9f, 0.25f};
        const float p[3] = {F(PeekObjXVOR(1)) / r[0], F(PeekObjYVOR(1)) / r[1],
                            F(PeekObjZVOR(1)) / r[2]};
        float nearest = 1e30f;
        for (const Tri &t : tris) {
            float v[9];
            for (int k = 0; k < 9; ++k) {
                v[k] = t.c[k] / r[k % 3];
            }
            nearest = std::fmin(nearest, Distance(p, v, v + 3, v + 6));
        }
        return nearest < 1 ? (1 - nearest) * r[1] : 0.0f;
    }
    static float Distance(const float *p, const float *a, const float *b, const float *c) {
        float ab[3], ac[3], ap[3], bp[3], cp[3];
        for (int k = 0; k < 3; ++k) {
            ab[k] = b[k] - a[k], ac[k] = c[k] - a[k], ap[k] = p[k] - a[k];
            bp[k] = p[k] - b[k], cp[k] = p[k] - c[k];
        }
        auto dot = [](const float *u, const float *w) {
            return u[0] * w[0] + u[1] * w[1] + u[2] * w[2];
        };
        const float d1 = dot(ab, ap), d2 = dot(ac, ap), d3 = dot(ab, bp), d4 = dot(ac, bp);
        const float d5 = dot(ab, cp), d6 = dot(ac, cp);
        const float vc = d1 * d4 - d3 * d2, vb = d5 * d2 - d1 * d6, va = d3 * d6 - d5 * d4;
        float u = 0, v = 0;
        if (d1 <= 0 && d2 <= 0) {
        } else if (d3 >= 0 && d4 <= d3) {
            u = 1;
        } else if (vc <= 0 && d1 >= 0 && d3 <= 0) {
            u = d1 / (d1 - d3);
        } else if (d6 >= 0 && d5 <= d6) {
            v = 1;
        } else if (vb <= 0 && d2 >= 0 && d6 <= 0) {
            v = d2 / (d2 - d6);
        } else if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) {
            const float w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
            u = 1 - w, v = w;
        } else {
            const float den = 1 / (va + vb + vc);
            u = vb * den, v = vc * den;
        }
        float q[3];
        for (int k = 0; k < 3; ++k) {
            q[k] = a[k] + u * ab[k] + v * ac[k] - p[k];
        }
        return std::sqrt(dot(q, q));
    }
    // The deepest the walker goes in 70 frames.
    float Walk() {
        float deepest = 0;
        for (int frame = 0; frame < 70; ++frame) {
            MoveTo(1, X(1) + 0.06f, Y(1) - 0.2f, Z(1));
            RunCollisionVOR();
            deepest = std::fmax(deepest, Depth());
        }
        return deepest;
    }
};

TEST_F(SlopeWalkerTest, WithoutRecoveryTheWalkerEndsPassesInsideTheSlope) {
    BuildSlope();
    EXPECT_GT(Walk(), 0.04f);
    EXPECT_GT(X(1), 1.5f); // it did climb
}

TEST_F(SlopeWalkerTest, WithRecoveryTheWalkerNeverGoesMoreThanTwoMillimetresIn) {
    BuildSlope();
    SetOverlapRecoveryVOR(1, 2, 1);
    EXPECT_LT(Walk(), 0.002f);
    EXPECT_GT(X(1), 1.5f);
}

} // namespace
