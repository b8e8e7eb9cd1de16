// Shared fixture for tests that drive the library through its exports: a clean module at the
// start of every test, and an error handler that records each report.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "vorcollide.h"

struct ErrorLog {
    std::vector<std::string> texts;
    std::vector<std::string> captions;
};

inline void RecordError(const char *text, const char *caption, void *user) {
    ErrorLog *log = static_cast<ErrorLog *>(user);
    log->texts.push_back(text);
    log->captions.push_back(caption);
}

inline float F(int32_t bits) { return vorFloatFromBits(bits); }

inline uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

class HostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StopCollisionVOR();
        SetEllipOptimizeVOR(1);
        SetEllipSizeModeVOR(0);
        SetConcaveModeVOR(3);
        SetObjPosVOR(0, 0, 0);
        SetObjRotVOR(0, 0, 0);
        SetErrorHandlerVOR(RecordError, &log);
    }
    void TearDown() override {
        StopCollisionVOR();
        SetErrorHandlerVOR(nullptr, nullptr);
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
