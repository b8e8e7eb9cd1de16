// Every export against every kind of bad input a host can pass: object numbers 0, 5001,
// 0xFFFFFFFF and an unused one; collision types 101 and 0xFFFFFFFF; shape kinds 0 and 3; every
// selector just outside its range; and the float patterns NaN, +-infinity, +-1e38, denormals
// and -0. A rejected call reports its exact message once when the box is armed, is silent when
// it is not, answers 0, and changes nothing: a hash over every read-back of a small scene (and
// over the registry's own records) is the same before and after. An accepted call leaves the
// module usable: a following pass ends and its read-backs are finite wherever the inputs were.
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "body/registry.h"
#include "body/transforms.h"
#include "core/definitions.h"
#include "core/settings.h"
#include "query/contact_queries.h"
#include "query/ray_cast.h"
#include "support/test_support.h"

namespace {

const uint32_t kBadObjects[] = {0u, 5001u, 0xFFFFFFFFu, 77u}; // 77: in range, never created
const uint32_t kUnused = 77;

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();
const float kDenormal = std::numeric_limits<float>::denorm_min();
// Every awkward float pattern the sweep passes where a float is taken.
const float kOddFloats[] = {kNaN, kInf, -kInf, 1e38f, -1e38f, kDenormal, -kDenormal, -0.0f};

int sweptCalls = 0; // figures for the summary line

std::string ObjectMessage(uint32_t n) {
    if (n < 1 || n > 5000)
        return "Object number out of range for collision system: " + std::to_string(n);
    return "Object not defined in collision system: " + std::to_string(n);
}

int Length(const vor::IntrusiveList &list) {
    int n = 0;
    for (vor::ListLink *l = list.head; l != nullptr; l = l->next)
        ++n;
    return n;
}

class BadInputSweep : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        BuildScene();
    }

    static void TearDownTestSuite() {
        std::printf("[ sweep    ] %d bad or odd calls checked\n", sweptCalls);
    }

    // A floor mesh (1, type 2), a resting and a moving ellipsoid (2 and 3, type 1), an inactive
    // ellipsoid (4), one pass with contacts, one ray hit, and the stack cursor mid-list.
    void BuildScene() {
        SetCollisionsVOR(1, 2, 2, 3, 1);
        SetCollisionsVOR(1, 1, 1, 2, 1);
        NewCollObjVOR(1, 2);
        AddObjShapeVOR(1, 2);
        AddMeshTri(1, -10, 0, -10, -10, 0, 10, 10, 0, 10);
        AddMeshTri(1, -10, 0, -10, 10, 0, 10, 10, 0, -10);
        ActivateObjVOR(1);
        Place(1, 0, 0, 0);
        MakeEllipsoid(2, 1);
        Place(2, 0, 1.5f, 0);
        SetObjGravityVOR(2, 0.25f);
        MakeEllipsoid(3, 1, 0.5f, 1.0f, 0.5f);
        Place(3, 3, 1.5f, 0);
        NewCollObjVOR(4, 1);
        AddObjShapeVOR(4, 1);
        MoveTo(2, 0, 0.5f, 0);
        MoveTo(3, 1.0f, 1.5f, 0);
        RunCollisionVOR();
        RayIntersectObjectVOR(3, 1, 10, 1.5f, 0, -10, 1.5f, 0);
        ResetCollisionStackVOR();
        PeekCollisionStackVOR();
        SetObjPosVOR(0.5f, 0.25f, -0.5f);
        SetObjRotVOR(10, 20, 30);
        ASSERT_GT(CountCollisionsVOR(2), 0) << "the scene needs a contact to read back";
        ASSERT_TRUE(log.texts.empty()) << log.texts[0];
    }

    // Every read-back of the scene through the exports, and the registry's records behind them.
    uint64_t Hash() {
        ReadBackHash h;
        for (uint32_t n = 1; n <= 4; ++n) {
            h.Add(PeekObjXVOR(n));
            h.Add(PeekObjYVOR(n));
            h.Add(PeekObjZVOR(n));
            h.Add(PeekObjPitch(n));
            h.Add(PeekObjYaw(n));
            h.Add(PeekObjRoll(n));
            h.Add(CheckShapeVOR(n, 1));
            h.Add(CheckShapeVOR(n, 2));
            int32_t count = CountCollisionsVOR(n);
            h.Add(count);
            for (int32_t k = 1; k <= count; ++k) {
                uint32_t i = static_cast<uint32_t>(k);
                for (int32_t axis = 1; axis <= 3; ++axis) {
                    h.Add(CollisionHitPos(n, i, axis));
                    h.Add(CollisionHitNorm(n, i, axis));
                    for (int32_t corner = 1; corner <= 3; ++corner)
                        h.Add(CollisionTriCorner(n, i, corner, axis));
                }
                h.Add(CollisionHitObj(n, i));
                h.Add(CollisionHitType(n, i));
                h.Add(CollisionHitShape(n, i));
                h.Add(CollisionHitPoly(n, i));
            }
        }
        h.Add(RayHitPosX());
        h.Add(RayHitPosY());
        h.Add(RayHitPosZ());
        h.Add(RayHitNormX());
        h.Add(RayHitNormY());
        h.Add(RayHitNormZ());
        h.Add(RayHitDist());
        h.Add(RayHitObjVOR());
        h.Add(RayHitTypeVOR());
        // What no export reads back directly: settings, pending pose, lists, cursor, bodies.
        h.Add(static_cast<uint32_t>(vor::EllipOptimize));
        h.Add(vor::EllipSizeMode);
        h.Add(vor::ConcaveMode);
        h.Add(vor::PendingPosition);
        h.Add(vor::PendingRotation);
        h.Add(Length(vor::ObjectList));
        h.Add(Length(vor::BodyList));
        h.Add(Length(vor::ActiveList));
        h.Add(Length(vor::ActiveBodyList));
        h.Add(Length(vor::DefinitionList));
        for (int kind = 1; kind <= 2; ++kind)
            for (uint32_t t = 0; t < vor::kCollisionTypeCount; ++t)
                h.Add(Length(vor::ShapeLists[kind][t]));
        int cursor = -1, at = 0;
        for (vor::ListLink *l = vor::ActiveList.head; l != nullptr; l = l->next, ++at)
            if (vor::MemberOf<vor::ActiveEntry>(l) == vor::StackCursor)
                cursor = at;
        h.Add(cursor);
        h.Add(vor::LastRay != nullptr ? 1 : 0);
        for (vor::ListLink *l = vor::ObjectList.head; l != nullptr; l = l->next) {
            const vor::CollisionObject *o = vor::MemberOf<vor::CollisionObject>(l);
            const vor::CollisionBody *b = o->body;
            h.Add(o->objectNumber);
            h.Add(o->gravity);
            h.Add(o->scale);
            h.Add(b->collisionType);
            h.Add(b->previousPosition);
            h.Add(b->newPosition);
            h.Add(b->previousRotation);
            h.Add(b->newRotation);
            h.Add(b->previousScale);
            h.Add(b->newScale);
            h.Add(b->worldMatrix);
            h.Add(b->minSlope);
            h.Add(Length(b->currentMotion));
            h.Add(Length(b->previousMotion));
            for (vor::ListLink *s = b->shapes.head; s != nullptr; s = s->next) {
                vor::ShapeHead *shape = vor::MemberOf<vor::ShapeHead>(s);
                h.Add(static_cast<int32_t>(shape->kind));
                if (shape->kind == 1) {
                    h.Add(vor::AsEllipsoid(shape)->radii);
                    h.Add(vor::AsEllipsoid(shape)->offset);
                } else {
                    h.Add(Length(vor::AsMesh(shape)->triangles));
                    h.Add(vor::AsMesh(shape)->boundsMin);
                    h.Add(vor::AsMesh(shape)->boundsMax);
                }
            }
        }
        return h.h;
    }

    // The call must be rejected: 0, no change, silent unarmed, exactly `message` once armed.
    void ExpectRejected(const std::string &what, const std::function<int32_t()> &call,
                        const std::string &message) {
        SCOPED_TRACE(what);
        ++sweptCalls;
        uint64_t before = Hash();
        log.texts.clear();
        log.captions.clear();
        EXPECT_EQ(call(), 0);
        EXPECT_TRUE(log.texts.empty()) << "reported without arming: " << log.texts[0];
        EXPECT_EQ(Hash(), before) << "an unarmed rejected call changed the scene";
        Arm();
        EXPECT_EQ(call(), 0);
        ASSERT_EQ(log.texts.size(), 1u);
        EXPECT_EQ(log.texts[0], message);
        EXPECT_EQ(log.captions[0], "Collision Error");
        // The arming is used up: the same call again is silent.
        EXPECT_EQ(call(), 0);
        EXPECT_EQ(log.texts.size(), 1u);
        EXPECT_EQ(Hash(), before) << "an armed rejected call changed the scene";
        log.texts.clear();
        log.captions.clear();
    }

    // The call does nothing and says nothing, and leaves the box armed for the next error.
    void ExpectIgnored(const std::string &what, const std::function<int32_t()> &call) {
        SCOPED_TRACE(what);
        ++sweptCalls;
        uint64_t before = Hash();
        log.texts.clear();
        Arm();
        EXPECT_EQ(call(), 0);
        EXPECT_TRUE(log.texts.empty()) << "reported: " << log.texts[0];
        EXPECT_EQ(Hash(), before) << "an ignored call changed the scene";
        FreeObjVOR(0);
        ASSERT_EQ(log.texts.size(), 1u) << "the ignored call used up the arming";
        log.texts.clear();
        log.captions.clear();
    }

    // An accepted call on a fresh scene; then the module must still work: a pass ends, the
    // objects listed in `finite` read back finite positions and contacts, the registry is sound,
    // and the box still reports.
    void ExpectUsableAfter(const std::string &what, const std::function<void()> &call,
                           const std::vector<uint32_t> &finite) {
        SCOPED_TRACE(what);
        ++sweptCalls;
        StopCollisionVOR();
        BuildScene();
        log.texts.clear();
        call();
        EXPECT_TRUE(log.texts.empty()) << "an accepted call reported: " << log.texts[0];
        for (uint32_t n : finite) {
            MoveTo(n, X(n) + 0.25f, Y(n) - 0.5f, Z(n));
        }
        RunCollisionVOR();
        RunCollisionVOR();
        MoveTo(2, 0.5f, 0.25f, 0);
        RunCollisionVOR();
        vor::ValidateRegistry();
        for (uint32_t n : finite) {
            SCOPED_TRACE("object " + std::to_string(n));
            EXPECT_TRUE(std::isfinite(X(n)) && std::isfinite(Y(n)) && std::isfinite(Z(n)))
                << X(n) << " " << Y(n) << " " << Z(n);
            int32_t count = CountCollisionsVOR(n);
            EXPECT_GE(count, 0);
            for (int32_t k = 1; k <= count; ++k)
                for (int32_t axis = 1; axis <= 3; ++axis) {
                    EXPECT_TRUE(std::isfinite(F(CollisionHitPos(n, k, axis))));
                    EXPECT_TRUE(std::isfinite(F(CollisionHitNorm(n, k, axis))));
                }
        }
        Hash(); // every read-back can be made
        EXPECT_TRUE(log.texts.empty()) << log.texts[0];
        Arm();
        FreeObjVOR(0);
        ASSERT_EQ(log.texts.size(), 1u);
        log.texts.clear();
        log.captions.clear();
    }

    // A valid block of one triangle.
    struct Block {
        int32_t word = 0;
        uint32_t vertexSize = 12;
        int32_t vertexCount = 3;
        float v[9] = {-1, 2, -1, -1, 2, 1, 1, 2, 1};
    };
};

// ---- object numbers ------------------------------------------------------------------------

TEST_F(BadInputSweep, EveryCommandRejectsEveryBadObjectNumber) {
    Block block;
    struct Entry {
        const char *name;
        std::function<int32_t(uint32_t)> call;
    };
    const Entry entries[] = {
        {"FreeObjVOR",
         [](uint32_t n) {
             FreeObjVOR(n);
             return 0;
         }},
        {"ActivateObjVOR",
         [](uint32_t n) {
             ActivateObjVOR(n);
             return 0;
         }},
        {"DeActivateObjVOR",
         [](uint32_t n) {
             DeActivateObjVOR(n);
             return 0;
         }},
        {"AddObjShapeVOR 1",
         [](uint32_t n) {
             AddObjShapeVOR(n, 1);
             return 0;
         }},
        {"AddObjShapeVOR 2",
         [](uint32_t n) {
             AddObjShapeVOR(n, 2);
             return 0;
         }},
        {"AddObjShapeVOR 3",
         [](uint32_t n) {
             AddObjShapeVOR(n, 3);
             return 0;
         }},
        {"CheckShapeVOR", [](uint32_t n) { return CheckShapeVOR(n, 1); }},
        {"SetObjRadiusVOR",
         [](uint32_t n) {
             SetObjRadiusVOR(n, 2, 2, 2);
             return 0;
         }},
        {"SetObjRadiusVOR bad radii",
         [](uint32_t n) {
             SetObjRadiusVOR(n, 0, -1, kNaN);
             return 0;
         }},
        {"SetEllipOffsetVOR",
         [](uint32_t n) {
             SetEllipOffsetVOR(n, 1, 1, 1);
             return 0;
         }},
        {"SetObjGravityVOR",
         [](uint32_t n) {
             SetObjGravityVOR(n, 1);
             return 0;
         }},
        {"SetObjMinSlopeVOR",
         [](uint32_t n) {
             SetObjMinSlopeVOR(n, 0.5f);
             return 0;
         }},
        {"SetObjScaleVOR",
         [](uint32_t n) {
             SetObjScaleVOR(n, 200, 200, 200);
             return 0;
         }},
        {"UpdateObjVOR 0",
         [](uint32_t n) {
             UpdateObjVOR(n, 0);
             return 0;
         }},
        {"UpdateObjVOR 1",
         [](uint32_t n) {
             UpdateObjVOR(n, 1);
             return 0;
         }},
        {"PeekObjXVOR", [](uint32_t n) { return PeekObjXVOR(n); }},
        {"PeekObjYVOR", [](uint32_t n) { return PeekObjYVOR(n); }},
        {"PeekObjZVOR", [](uint32_t n) { return PeekObjZVOR(n); }},
        {"PeekObjPitch", [](uint32_t n) { return PeekObjPitch(n); }},
        {"PeekObjYaw", [](uint32_t n) { return PeekObjYaw(n); }},
        {"PeekObjRoll", [](uint32_t n) { return PeekObjRoll(n); }},
        {"AddMeshTri",
         [](uint32_t n) {
             AddMeshTri(n, 0, 0, 0, 1, 0, 0, 0, 0, 1);
             return 0;
         }},
        {"AddMeshVOR",
         [&block](uint32_t n) {
             AddMeshVOR(n, &block);
             return 0;
         }},
        {"CountCollisionsVOR", [](uint32_t n) { return CountCollisionsVOR(n); }},
        {"CollisionHitPos", [](uint32_t n) { return CollisionHitPos(n, 1, 1); }},
        {"CollisionHitNorm", [](uint32_t n) { return CollisionHitNorm(n, 1, 2); }},
        {"CollisionHitObj", [](uint32_t n) { return CollisionHitObj(n, 1); }},
        {"CollisionHitType", [](uint32_t n) { return CollisionHitType(n, 1); }},
        {"CollisionHitShape", [](uint32_t n) { return CollisionHitShape(n, 1); }},
        {"CollisionHitPoly", [](uint32_t n) { return CollisionHitPoly(n, 1); }},
        {"CollisionTriCorner", [](uint32_t n) { return CollisionTriCorner(n, 1, 1, 1); }},
        {"CollisionHitPos index 0", [](uint32_t n) { return CollisionHitPos(n, 0, 1); }},
        {"RayIntersectObjectVOR 1",
         [](uint32_t n) { return RayIntersectObjectVOR(n, 1, 0, 5, 0, 0, -5, 0); }},
        {"RayIntersectObjectVOR 2",
         [](uint32_t n) { return RayIntersectObjectVOR(n, 2, 0, 5, 0, 0, -5, 0); }},
    };
    for (const Entry &e : entries)
        for (uint32_t n : kBadObjects)
            ExpectRejected(
                std::string(e.name) + " " + std::to_string(n), [&] { return e.call(n); },
                ObjectMessage(n));
}

TEST_F(BadInputSweep, NewObjectRejectsNumbersOutOfRangeBeforeTheType) {
    for (uint32_t n : {0u, 5001u, 0xFFFFFFFFu, 0x80000000u})
        for (uint32_t type : {1u, 101u})
            ExpectRejected(
                "NewCollObjVOR " + std::to_string(n) + " " + std::to_string(type),
                [&] {
                    NewCollObjVOR(n, type);
                    return 0;
                },
                ObjectMessage(n));
}

TEST_F(BadInputSweep, ARayCastAtABadObjectKeepsThePreviousRayResult) {
    ASSERT_EQ(RayHitObjVOR(), 3);
    int32_t distance = RayHitDist();
    for (uint32_t n : kBadObjects)
        EXPECT_EQ(RayIntersectObjectVOR(n, 1, 0, 1.5f, -10, 0, 1.5f, 10), 0);
    EXPECT_EQ(RayHitObjVOR(), 3);
    EXPECT_EQ(RayHitDist(), distance);
}

// ---- collision types -----------------------------------------------------------------------

TEST_F(BadInputSweep, TypesAbove100AreRejectedWithTheirMessage) {
    for (uint32_t type : {101u, 0xFFFFFFFFu, 0x80000000u}) {
        std::string t = std::to_string(type);
        ExpectRejected(
            "NewCollObjVOR unused " + t,
            [&] {
                NewCollObjVOR(kUnused, type);
                return 0;
            },
            "Invalid Collision TYPE ID: " + t);
        // An existing object stays as it was, shapes, activation and contacts included.
        ExpectRejected(
            "NewCollObjVOR existing " + t,
            [&] {
                NewCollObjVOR(2, type);
                return 0;
            },
            "Invalid Collision TYPE ID: " + t);
        ExpectRejected(
            "SetCollisionsVOR source " + t,
            [&] {
                SetCollisionsVOR(type, 1, 1, 1, 1);
                return 0;
            },
            "Invalid Collision Definition SOURCE TYPE: " + t);
        ExpectRejected(
            "SetCollisionsVOR both " + t,
            [&] {
                SetCollisionsVOR(type, type, 0, 0, 0);
                return 0;
            },
            "Invalid Collision Definition SOURCE TYPE: " + t);
        ExpectRejected(
            "SetCollisionsVOR destination " + t,
            [&] {
                SetCollisionsVOR(1, type, 1, 1, 1);
                return 0;
            },
            "Invalid Collision Definition DEST. TYPE: " + t);
    }
}

TEST_F(BadInputSweep, RaysAtAnUnknownTypeFindNothingAndClearTheResult) {
    for (uint32_t type : {101u, 0xFFFFFFFFu, 0x80000000u, 5u}) {
        SCOPED_TRACE(type);
        ++sweptCalls;
        Arm();
        EXPECT_EQ(RayIntersectTypeVOR(static_cast<int32_t>(type), 1, 10, 1.5f, 0, -10, 1.5f, 0), 0);
        EXPECT_EQ(RayHitObjVOR(), 0);
        EXPECT_EQ(RayHitTypeVOR(), 0);
        EXPECT_EQ(RayHitDist(), 0);
        EXPECT_EQ(RayHitPosX(), 0);
        EXPECT_EQ(RayHitNormY(), 0);
        EXPECT_TRUE(log.texts.empty());
        FreeObjVOR(0); // still armed: the ray query reported nothing
        EXPECT_EQ(log.texts.size(), 1u);
        log.texts.clear();
    }
}

// ---- shape kinds ---------------------------------------------------------------------------

TEST_F(BadInputSweep, ShapeKindsOtherThan1And2DoNothingAndSayNothing) {
    for (int32_t kind : {0, 3, -1, 0x7FFFFFFF}) {
        std::string k = std::to_string(kind);
        ExpectIgnored("AddObjShapeVOR " + k, [&] {
            AddObjShapeVOR(2, kind);
            return 0;
        });
        ExpectIgnored("AddObjShapeVOR inactive " + k, [&] {
            AddObjShapeVOR(4, kind);
            return 0;
        });
        ExpectIgnored("CheckShapeVOR " + k, [&] { return CheckShapeVOR(2, kind); });
    }
}

TEST_F(BadInputSweep, RaysWithAKindOtherThan1And2HitNothing) {
    for (int32_t kind : {0, 3, -1}) {
        SCOPED_TRACE(kind);
        ++sweptCalls;
        Arm();
        EXPECT_EQ(RayIntersectObjectVOR(3, kind, 10, 1.5f, 0, -10, 1.5f, 0), 0);
        EXPECT_EQ(RayHitObjVOR(), 0);
        EXPECT_EQ(RayHitDist(), 0);
        EXPECT_EQ(RayIntersectTypeVOR(1, kind, 10, 1.5f, 0, -10, 1.5f, 0), 0);
        EXPECT_EQ(RayHitTypeVOR(), 0);
        EXPECT_TRUE(log.texts.empty());
        FreeObjVOR(0);
        EXPECT_EQ(log.texts.size(), 1u);
        log.texts.clear();
    }
}

// ---- selectors -----------------------------------------------------------------------------

TEST_F(BadInputSweep, ConcaveModesOutside1To7AreRejected) {
    for (uint32_t mode : {0u, 8u, 0xFFFFFFFFu, 0x80000000u})
        ExpectRejected(
            "SetConcaveModeVOR " + std::to_string(mode),
            [&] {
                SetConcaveModeVOR(mode);
                return 0;
            },
            "Invalid System Concave Setting: " + std::to_string(mode));
}

TEST_F(BadInputSweep, DefinitionSelectorsOutsideTheirRangesAreRejectedInOrder) {
    for (uint32_t m : {0u, 3u, 0xFFFFFFFFu})
        ExpectRejected(
            "method " + std::to_string(m),
            [&] {
                SetCollisionsVOR(1, 1, m, 0, 0);
                return 0;
            },
            "Invalid Collision Definition METHOD: " + std::to_string(m));
    for (uint32_t r : {0u, 6u, 0xFFFFFFFFu})
        ExpectRejected(
            "response " + std::to_string(r),
            [&] {
                SetCollisionsVOR(1, 2, 2, r, 0);
                return 0;
            },
            "Invalid Collision Definition Response Method: " + std::to_string(r));
    for (uint32_t y : {0u, 5u, 0xFFFFFFFFu})
        ExpectRejected(
            "dynamic " + std::to_string(y),
            [&] {
                SetCollisionsVOR(0, 100, 1, 5, y);
                return 0;
            },
            "Invalid Collision Definition Dynamic Response Method: " + std::to_string(y));
}

TEST_F(BadInputSweep, ContactIndexesOutsideTheCountAreRejected) {
    const uint32_t count = static_cast<uint32_t>(CountCollisionsVOR(2));
    struct Entry {
        const char *name;
        std::function<int32_t(uint32_t)> call;
    };
    const Entry entries[] = {
        {"CollisionHitPos", [](uint32_t k) { return CollisionHitPos(2, k, 1); }},
        {"CollisionHitNorm", [](uint32_t k) { return CollisionHitNorm(2, k, 2); }},
        {"CollisionHitObj", [](uint32_t k) { return CollisionHitObj(2, k); }},
        {"CollisionHitType", [](uint32_t k) { return CollisionHitType(2, k); }},
        {"CollisionHitShape", [](uint32_t k) { return CollisionHitShape(2, k); }},
        {"CollisionHitPoly", [](uint32_t k) { return CollisionHitPoly(2, k); }},
        {"CollisionTriCorner", [](uint32_t k) { return CollisionTriCorner(2, k, 1, 1); }},
    };
    for (const Entry &e : entries)
        for (uint32_t k : {0u, count + 1, count + 2, 0x80000000u, 0xFFFFFFFFu})
            ExpectRejected(
                std::string(e.name) + " " + std::to_string(k), [&] { return e.call(k); },
                "Collision index out of range: " + std::to_string(k));
    // An object with no contacts at all: the inactive one.
    ExpectRejected(
        "inactive object", [] { return CollisionHitPos(4, 1, 1); },
        "Collision index out of range: 1");
}

TEST_F(BadInputSweep, AxisAndCornerSelectorsOutside1To3AnswerZeroSilently) {
    const uint32_t count = static_cast<uint32_t>(CountCollisionsVOR(2));
    for (uint32_t k = 1; k <= count; ++k)
        for (int32_t bad : {0, 4, -1, 0x7FFFFFFF, -2147483647 - 1}) {
            std::string s = std::to_string(k) + " " + std::to_string(bad);
            ExpectIgnored("CollisionHitPos " + s, [&] { return CollisionHitPos(2, k, bad); });
            ExpectIgnored("CollisionHitNorm " + s, [&] { return CollisionHitNorm(2, k, bad); });
            ExpectIgnored("CollisionTriCorner corner " + s,
                          [&] { return CollisionTriCorner(2, k, bad, 1); });
            ExpectIgnored("CollisionTriCorner axis " + s,
                          [&] { return CollisionTriCorner(2, k, 1, bad); });
        }
}

TEST_F(BadInputSweep, UpdateFlagsBeyondZeroAndOneAreAccepted) {
    for (int32_t flag : {2, 0x100, 0x101, -1, 0x7FFFFFFF})
        ExpectUsableAfter("UpdateObjVOR flag " + std::to_string(flag),
                          [&] {
                              SetObjPosVOR(0.5f, 1.0f, 0);
                              UpdateObjVOR(2, flag);
                          },
                          {1, 2, 3});
}

TEST_F(BadInputSweep, SettingsTakeAnyFlagSilently) {
    for (int32_t v : {0, 1, 5, -1, 0x7FFFFFFF, -2147483647 - 1}) {
        ExpectUsableAfter("SetEllipOptimizeVOR " + std::to_string(v),
                          [&] { SetEllipOptimizeVOR(v); }, {1, 2, 3});
        EXPECT_EQ(vor::EllipOptimize, v != 0 ? 1 : 0);
        ExpectUsableAfter("SetEllipSizeModeVOR " + std::to_string(v),
                          [&] { SetEllipSizeModeVOR(v); }, {1, 2, 3});
        EXPECT_EQ(vor::EllipSizeMode, v != 0 ? 1 : 0);
    }
}

// ---- floats --------------------------------------------------------------------------------

TEST_F(BadInputSweep, RadiiThatAreNotAllPositiveAreRejected) {
    for (float v : kOddFloats) {
        if (v > 0)
            continue;
        for (int axis = 0; axis < 3; ++axis) {
            float r[3] = {1, 1, 1};
            r[axis] = v;
            ExpectRejected(
                "radius " + std::to_string(v) + " axis " + std::to_string(axis),
                [&] {
                    SetObjRadiusVOR(3, r[0], r[1], r[2]);
                    return 0;
                },
                "Ellip radius values must be positive for object: 3");
        }
    }
}

TEST_F(BadInputSweep, PositiveOddRadiiAreAcceptedAndThePassEnds) {
    for (float v : kOddFloats) {
        if (!(v > 0))
            continue;
        ExpectUsableAfter("radius " + std::to_string(v), [&] { SetObjRadiusVOR(3, v, 1, 1); },
                          {1, 2});
        ExpectUsableAfter("radius all " + std::to_string(v), [&] { SetObjRadiusVOR(3, v, v, v); },
                          {1, 2});
    }
}

TEST_F(BadInputSweep, OddFloatsInEveryFloatCommandLeaveTheModuleUsable) {
    for (float v : kOddFloats) {
        std::string s = std::to_string(v);
        ExpectUsableAfter("offset " + s, [&] { SetEllipOffsetVOR(3, v, 0, 0); }, {1, 2});
        ExpectUsableAfter("offset y " + s, [&] { SetEllipOffsetVOR(3, 0, v, v); }, {1, 2});
        ExpectUsableAfter("gravity " + s, [&] { SetObjGravityVOR(3, v); }, {1, 2});
        ExpectUsableAfter("min slope " + s, [&] { SetObjMinSlopeVOR(2, v); }, {1, 3});
        ExpectUsableAfter("position " + s,
                          [&] {
                              SetObjPosVOR(v, 1.5f, 0);
                              UpdateObjVOR(3, 0);
                          },
                          {1, 2});
        ExpectUsableAfter("placed " + s,
                          [&] {
                              SetObjPosVOR(0, v, v);
                              UpdateObjVOR(3, 1);
                          },
                          {1, 2});
        ExpectUsableAfter("rotation of the floor " + s,
                          [&] {
                              SetObjPosVOR(0, 0, 0);
                              SetObjRotVOR(v, v, v);
                              UpdateObjVOR(1, 0);
                          },
                          {2, 3});
        ExpectUsableAfter("scale of the floor " + s,
                          [&] {
                              SetObjScaleVOR(1, v, 100, v);
                              SetObjPosVOR(0, 0, 0);
                              SetObjRotVOR(0, 0, 0);
                              UpdateObjVOR(1, 0);
                          },
                          {2, 3});
        ExpectUsableAfter("triangle corner " + s,
                          [&] { AddMeshTri(1, -10, 0, -10, v, 0, 10, 10, v, 10); }, {2, 3});
        ExpectUsableAfter("vertex block " + s,
                          [&] {
                              Block block;
                              block.v[4] = v;
                              AddMeshVOR(1, &block);
                          },
                          {2, 3});
        ExpectUsableAfter("ray " + s,
                          [&] {
                              EXPECT_GE(RayIntersectObjectVOR(1, 2, 0, v, 0, 0, -5, 0), 0);
                              EXPECT_GE(RayIntersectObjectVOR(2, 1, v, 0, 0, 0, 0, v), 0);
                              EXPECT_GE(RayIntersectTypeVOR(1, 1, v, v, v, 0, 0, 0), 0);
                              EXPECT_GE(RayIntersectTypeVOR(2, 2, 0, 5, 0, v, -5, 0), 0);
                          },
                          {1, 2, 3});
    }
}

TEST_F(BadInputSweep, DirectionAnglesOfOddVectorsStayInRangeWhereFinite) {
    for (float v : kOddFloats)
        for (int axis = 0; axis < 3; ++axis) {
            ++sweptCalls;
            float d[3] = {1, 0.5f, 1};
            d[axis] = v;
            SCOPED_TRACE(std::to_string(v) + " axis " + std::to_string(axis));
            float yaw = F(Vec2Yaw(d[0], d[1], d[2]));
            float pitch = F(Vec2Pitch(d[0], d[1], d[2]));
            if (std::isfinite(v)) {
                EXPECT_TRUE(yaw >= 0 && yaw <= 180) << yaw;
                EXPECT_TRUE(pitch >= 0 && pitch <= 90) << pitch;
            }
        }
    EXPECT_TRUE(log.texts.empty());
}

TEST_F(BadInputSweep, VertexBlocksWithOddHeadersAreReadOnlyAsFarAsTheyClaim) {
    // Each block is allocated exactly as long as its header claims, so the sanitizer build
    // catches any read beyond it.
    struct Case {
        uint32_t vertexSize;
        int32_t count;
    };
    const Case cases[] = {
        {12, 0}, {12, 1}, {12, 2}, {12, -3},         {12, -2147483647 - 1}, {0, 3},  {3, 3},
        {4, 3},  {13, 3}, {34, 7}, {0xFFFFFFFFu, 2}, {0x80000000u, 0},      {12, 5}, {16, 4}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.vertexSize) + " x " + std::to_string(c.count));
        ++sweptCalls;
        int32_t triangles = c.count / 3;
        size_t stride = c.vertexSize & ~3u;
        size_t bytes = 12;
        if (triangles > 0)
            bytes = 12 + (3 * static_cast<size_t>(triangles) - 1) * stride + 12;
        std::vector<uint8_t> *block = new std::vector<uint8_t>(bytes, 0);
        std::memcpy(block->data() + 4, &c.vertexSize, 4);
        std::memcpy(block->data() + 8, &c.count, 4);
        for (size_t at = 12; at + 4 <= bytes; at += 4) {
            float f = static_cast<float>(at % 7) - 3.0f;
            std::memcpy(block->data() + at, &f, 4);
        }
        int before = Length(
            vor::AsMesh(vor::MemberOf<vor::ShapeHead>(vor::ObjectTable[1]->body->shapes.head))
                ->triangles);
        AddMeshVOR(1, block->data());
        int after = Length(
            vor::AsMesh(vor::MemberOf<vor::ShapeHead>(vor::ObjectTable[1]->body->shapes.head))
                ->triangles);
        EXPECT_EQ(after - before, triangles > 0 ? triangles : 0);
        delete block;
    }
    ExpectUsableAfter("null block", [] { AddMeshVOR(1, nullptr); }, {1, 2, 3});
}

} // namespace
