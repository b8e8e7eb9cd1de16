// Shared fixture for tests that drive the library through its exports: a clean module at the
// start of every test, and an error handler that records each report.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vorcollide.h"

#include "core/module_state.h"
#include "support/determinism_scene.h"

struct ErrorLog {
    std::vector<std::string> texts;
    std::vector<std::string> captions;
};

inline void RecordError(const char *text, const char *caption, void *user) {
    ErrorLog *log = static_cast<ErrorLog *>(user);
    log->texts.push_back(text);
    log->captions.push_back(caption);
}

inline float F(int32_t bits) {
    return vorFloatFromBits(bits);
}

inline uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// The body of object n, which must exist.
inline vor::CollisionBody *BodyOf(uint32_t n) {
    return vor::ObjectTable[n]->body;
}

// A vector equal to (x, y, z) bit for bit, so that -0 and 0 or two NaNs are told apart.
inline void ExpectVec(const vor::Vec3 &v, float x, float y, float z) {
    EXPECT_EQ(Bits(v.x), Bits(x)) << "x " << v.x << " expected " << x;
    EXPECT_EQ(Bits(v.y), Bits(y)) << "y " << v.y << " expected " << y;
    EXPECT_EQ(Bits(v.z), Bits(z)) << "z " << v.z << " expected " << z;
}

// The seed the pinned hashes of the unit tests were taken with; the cross-platform scene uses
// its own (kVorFnvOffset), since other hosts compute it too.
constexpr uint64_t kPinnedHashSeed = 1469598103934665603ull;

// Folds read-back values into one 64-bit number, word by word with the scene's hash, so that a
// single change of one bit anywhere shows.
struct ReadBackHash {
    uint64_t h = kPinnedHashSeed;
    void Add(uint32_t v) { h = vorSceneHashWord(h, static_cast<int32_t>(v)); }
    void Add(int32_t v) { h = vorSceneHashWord(h, v); }
    void Add(float f) { Add(Bits(f)); }
    void Add(const vor::Vec3 &v) {
        Add(v.x);
        Add(v.y);
        Add(v.z);
    }
    void Add(const vor::Matrix4 &m) {
        for (float f : m.m) {
            Add(f);
        }
    }
};

class HostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StopCollisionVOR();
        SetEllipOptimizeVOR(1);
        SetEllipSizeModeVOR(0);
        SetConcaveModeVOR(3);
        SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 0);
        SetObjPosVOR(0, 0, 0);
        SetObjRotVOR(0, 0, 0);
        SetErrorHandlerVOR(RecordError, &log);
        UseTestWorkers();
    }
    void TearDown() override {
        StopCollisionVOR();
        SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 0);
        SetErrorHandlerVOR(nullptr, nullptr);
        SetWorkerCountVOR(1);
        vor::MinBodiesOnWorkers = vor::kMinBodiesOnWorkers;
    }
    // VOR_TEST_WORKERS=N runs every pass of the test on N threads, however few its bodies (the
    // thread checker's run of the suite); unset, on one.
    static void UseTestWorkers() {
        const char *wanted = std::getenv("VOR_TEST_WORKERS");
        const int count = wanted != nullptr ? std::atoi(wanted) : 1;
        SetWorkerCountVOR(count);
        vor::MinBodiesOnWorkers = count > 1 ? 2 : vor::kMinBodiesOnWorkers;
    }
    // Arms the box so the next error is recorded.
    void Arm() { StartCollisionDebugVOR(); }
    // Places object n at (x, y, z) without a sweep.
    void Place(uint32_t n, float x, float y, float z) {
        SetObjPosVOR(x, y, z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
    }
    // Requests a move of object n to (x, y, z) for the next pass.
    void MoveTo(uint32_t n, float x, float y, float z) {
        SetObjPosVOR(x, y, z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 0);
    }
    // An active object of type with one unit ellipsoid.
    void MakeEllipsoid(uint32_t n, uint32_t type, float rx = 1, float ry = 1, float rz = 1) {
        NewCollObjVOR(n, type);
        AddObjShapeVOR(n, 1);
        SetObjRadiusVOR(n, rx, ry, rz);
        ActivateObjVOR(n);
    }
    float X(uint32_t n) { return F(PeekObjXVOR(n)); }
    float Y(uint32_t n) { return F(PeekObjYVOR(n)); }
    float Z(uint32_t n) { return F(PeekObjZVOR(n)); }

    ErrorLog log;
};
