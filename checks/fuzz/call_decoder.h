// Turns a byte string into a sequence of export calls, the way a careless or hostile host might
// make them: object numbers, types, kinds and selectors in and out of range, arbitrary float bit
// patterns, vertex blocks that the decoder owns (always large enough for what the block claims),
// passes, and error handlers that call back into the library. A small model of which object
// numbers exist lets it check the answers that the boundary promises (bad numbers answer 0 and are
// reported once per arming with the exact text); every broken promise goes to onViolation.
// Shared by the fuzz target and the corpus replay test.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "vorcollide.h"

// Where the allocator counts live bytes exactly, a stopped module must hold none of them.
#if defined(__SANITIZE_ADDRESS__)
#define VORFUZZ_EXACT_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORFUZZ_EXACT_HEAP 1
#endif
#endif
#ifdef VORFUZZ_EXACT_HEAP
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

#ifdef VOR_VALIDATE
#include "core/accel_mode.h"
#include "body/registry.h"
#include "core/module_state.h"
#endif

namespace vorfuzz {

// Caps that keep one input cheap; calls beyond them are skipped (their bytes still consumed).
constexpr int kMaxCalls = 4096;
constexpr int kMaxPasses = 24;
constexpr int kMaxTriangles = 256;
constexpr int kMaxShapes = 128;
constexpr uint32_t kPool = 24; // object numbers 1..24 carry most calls
constexpr int kMaxDefinitions = 12;
constexpr int kMaxHandlerDepth = 3;

const char kCaption[] = "Collision Error";
const char kOutOfRange[] = "Object number out of range for collision system: ";
const char kNotDefined[] = "Object not defined in collision system: ";
const char kConcave[] = "Invalid System Concave Setting: ";
const char kTypeId[] = "Invalid Collision TYPE ID: ";
const char kDefSource[] = "Invalid Collision Definition SOURCE TYPE: ";
const char kDefDest[] = "Invalid Collision Definition DEST. TYPE: ";
const char kDefMethod[] = "Invalid Collision Definition METHOD: ";
const char kDefResponse[] = "Invalid Collision Definition Response Method: ";
const char kDefDynamic[] = "Invalid Collision Definition Dynamic Response Method: ";
const char kRadius[] = "Ellip radius values must be positive for object: ";
const char kIndex[] = "Collision index out of range: ";
const char kRecoveryType[] = "Invalid Overlap Recovery TYPE ID: ";

// Every export, one operation each, then a few composite host habits.
enum Op : uint8_t {
    kStart,
    kStartDebug,
    kStop,
    kSetOptimize,
    kSetSizeMode,
    kSetConcave,
    kNewObj,
    kFreeObj,
    kActivate,
    kDeactivate,
    kAddShape,
    kSetCollisions,
    kCheckShape,
    kSetRadius,
    kSetOffset,
    kSetGravity,
    kSetMinSlope,
    kSetPos,
    kSetRot,
    kSetScale,
    kUpdate,
    kPeekX,
    kPeekY,
    kPeekZ,
    kPeekPitch,
    kPeekYaw,
    kPeekRoll,
    kAddMeshTri,
    kAddMesh,
    kVec2Yaw,
    kVec2Pitch,
    kRun,
    kResetStack,
    kPeekStack,
    kCountCollisions,
    kHitPos,
    kHitNorm,
    kHitObj,
    kHitType,
    kHitShape,
    kHitPoly,
    kTriCorner,
    kRayObject,
    kRayType,
    kRayPosX,
    kRayPosY,
    kRayPosZ,
    kRayNormX,
    kRayNormY,
    kRayNormZ,
    kRayDist,
    kRayObj,
    kRayTypeHit,
    kSetHandler,
    kFrame,       // move several objects and run a pass
    kScene,       // a walkable scene: definitions, a floor mesh, a few ellipsoids
    kReadAll,     // every read-back of the first objects and every contact
    kCrowd,       // many ellipsoids of one type pushing together (the pair grid's ground)
    kTerrain,     // a mesh big enough for the triangle hierarchy, with uneven heights
    kPile,        // a report-only pile through a triangle stack, an outlier, a freed body
    kWalk,        // the crowd walks through a pass, one body made big, rays by type between
    kSetRecovery, // SetOverlapRecoveryVOR (after the composites, so older inputs keep their ops)
    kPressing,    // a crowd on a floor pressing to one point with overlap recovery on
    kSetWorkers,  // SetWorkerCountVOR: any count, the passes after it on that many threads
    kOpCount
};

// What the handler does when a report arrives.
enum HandlerMode : uint8_t {
    kCounting = 0, // records the text
    kRearming = 1, // re-arms and triggers one more error from inside the handler
    kMutating = 2, // frees objects, runs a pass, stops the system from inside the handler
    kDefault = 3,  // null handler: the library's own stderr line
    kHandlerModes
};

struct Stats {
    uint64_t calls = 0;          // export calls made (composites count every call inside)
    uint64_t reports = 0;        // handler invocations
    uint64_t passes = 0;         // RunCollisionVOR calls
    uint64_t violations = 0;     // broken promises
    uint64_t ops[kOpCount] = {}; // how often each operation was decoded
};

class CallDecoder;

struct HandlerState {
    CallDecoder *decoder = nullptr;
    int depth = 0;
};

class CallDecoder {
  public:
    using ViolationFn = void (*)(const char *what, void *user);

    CallDecoder(ViolationFn onViolation, void *user) : onViolation_(onViolation), user_(user) {
        // Sized once, so that the decoder's own heap does not change while an input runs.
        expected_.reserve(256);
        lastText_.reserve(256);
        block_.reserve(12 + 38 * 256 + 12);
    }

    // Runs one input from a clean module and leaves the module stopped (all memory freed).
    // Where the internals are visible it runs the input twice, with the accelerated searches
    // and with the plain reference scans, and every answer must agree to the bit.
    void Run(const uint8_t *data, size_t size) {
#ifdef VOR_VALIDATE
        if (compareScans) {
            bool saved = vor::ReferenceScans;
            vor::ReferenceScans = false;
            uint64_t accelerated = RunOnce(data, size);
            vor::ReferenceScans = true;
            if (trace)
                std::fprintf(stderr, "[decoder] again with the reference scans\n");
            uint64_t reference = RunOnce(data, size);
            vor::ReferenceScans = saved;
            if (accelerated != reference)
                Violation("accelerated searches and reference scans answer differently");
            return;
        }
#endif
        RunOnce(data, size);
    }

    // One run; answers a hash of every value the exports answered.
    uint64_t RunOnce(const uint8_t *data, size_t size) {
        resultHash_ = 1469598103934665603ull;
        startedWorkers_ = false;
        reportsSeen_ = reportsBefore_ = 0;
        data_ = data;
        size_ = size;
        pos_ = 0;
        ResetModule();
#ifdef VORFUZZ_EXACT_HEAP
        const size_t heapBefore = __sanitizer_get_current_allocated_bytes();
#endif
        int calls = 0;
        while (pos_ < size_ && calls < kMaxCalls) {
            ++calls;
            Step();
        }
#ifdef VOR_VALIDATE
        vor::ValidateRegistry();
#endif
        StopCollisionVOR();
        Call();
#ifdef VORFUZZ_EXACT_HEAP
        // A joined thread leaves the C library holding its TLS vector with its cached stack, so
        // an input that started workers is not held to the exact figure (LeakSanitizer still is).
        if (checkHeap && !startedWorkers_ &&
            __sanitizer_get_current_allocated_bytes() != heapBefore)
            Violation("the module holds heap after StopCollisionVOR");
#endif
        ForgetModel();
        ResetCollisionStackVOR();
        Call();
        if (PeekCollisionStackVOR() != 0)
            Violation("collision stack not empty after StopCollisionVOR");
        Call();
        SetErrorHandlerVOR(nullptr, nullptr);
        Call();
        return resultHash_;
    }

    const Stats &stats() const {
        return stats_;
    }
    bool trace = false;       // one stderr line per decoded operation, for reproducing a finding
    bool compareScans = true; // run twice, accelerated and reference, where internals are visible
    bool checkHeap = true;    // a stopped module holds no heap (sanitizer builds only)

    // Handler entry; public so the C callback can reach it.
    void OnReport(const char *text, const char *caption) {
        ++stats_.reports;
        if (text == nullptr || caption == nullptr) {
            Violation("report with a null text or caption");
            return;
        }
        if (std::strcmp(caption, kCaption) != 0)
            Violation("report with a wrong caption");
        if (!WellFormedText(text))
            Violation("report text is not a known message followed by a number");
        ++reportsSeen_;
        lastText_ = text;
        if (mode_ != kCounting)
            armedKnown_ = false; // the handler may re-arm or stop the system
        if (Predicting() && !armed_)
            Violation("report while the box was not armed");
        armed_ = false;
    }

    // Called from inside the handler for the re-entrant modes.
    void ReenterFromHandler(int depth) {
        if (mode_ == kRearming) {
            StartCollisionDebugVOR();
            Call();
            if (depth < kMaxHandlerDepth) {
                // A second error raised while the first report is being shown.
                FreeObjVOR(0);
                Call();
            }
            SetConcaveModeVOR(0);
            Call();
            return;
        }
        if (mode_ == kMutating) {
            uint32_t victim = 1 + static_cast<uint32_t>(reportsSeen_ % 8);
            FreeObjVOR(victim);
            Call();
            RunCollisionVOR();
            Call();
            if (reportsSeen_ % 5 == 0) {
                StopCollisionVOR();
                Call();
            }
            // The registry may have changed under the model: stop predicting until a Stop.
            modelValid_ = false;
        }
    }

  private:
    // ---- byte reading -------------------------------------------------------------------
    uint8_t Byte() {
        return pos_ < size_ ? data_[pos_++] : 0;
    }
    uint32_t Word() {
        uint32_t w = 0;
        for (int i = 0; i < 4; ++i)
            w |= static_cast<uint32_t>(Byte()) << (8 * i);
        return w;
    }
    static float FromBits(uint32_t b) {
        float f;
        std::memcpy(&f, &b, sizeof f);
        return f;
    }

    // Object numbers: mostly a small pool so that calls meet, sometimes every kind of bad one.
    uint32_t Obj() {
        uint8_t b = Byte();
        if (b < 200)
            return 1 + b % kPool;
        switch (b % 8) {
        case 0:
            return 0;
        case 1:
            return 5000;
        case 2:
            return 5001;
        case 3:
            return 0xFFFFFFFFu;
        case 4:
            return 4999;
        case 5:
            return 0x80000000u;
        case 6:
            return 13 + Byte() % 40; // in range, usually unused
        default:
            return Word();
        }
    }
    uint32_t Type() {
        uint8_t b = Byte();
        if (b < 220)
            return b % 4;
        switch (b % 6) {
        case 0:
            return 100;
        case 1:
            return 101;
        case 2:
            return 0xFFFFFFFFu;
        case 3:
            return 0x80000000u;
        case 4:
            return 99;
        default:
            return Word();
        }
    }
    int32_t Kind() {
        uint8_t b = Byte();
        if (b < 220)
            return 1 + b % 2;
        switch (b % 5) {
        case 0:
            return 0;
        case 1:
            return 3;
        case 2:
            return -1;
        case 3:
            return -2147483647 - 1;
        default:
            return static_cast<int32_t>(Word());
        }
    }
    // Axis, corner, method, response and similar small selectors.
    uint32_t Selector() {
        uint8_t b = Byte();
        if (b < 240)
            return b % 7; // 0..6: both sides of every 1..3, 1..4, 1..5 range
        switch (b % 4) {
        case 0:
            return 0xFFFFFFFFu;
        case 1:
            return 0x80000000u;
        case 2:
            return 0x7FFFFFFFu;
        default:
            return Word();
        }
    }
    float Float() {
        static const float kTable[] = {
            0.0f,
            1.0f,
            -1.0f,
            0.5f,
            2.0f,
            3.0f,
            5.0f,
            10.0f,
            -10.0f,
            100.0f,
            0.001f,
            -0.5f,
            1.5f,
            4.0f,
            -2.0f,
            20.0f,
            0.3f,
            90.0f,
            180.0f,
            -90.0f,
            45.0f,
            360.0f,
            1e-3f,
            0.002f,
            NAN,
            INFINITY,
            -INFINITY,
            1e38f,
            -1e38f,
            3.4028235e38f,
            -3.4028235e38f,
            1e-45f,
            1.17549435e-38f,
            -0.0f,
            1e-30f,
            1e30f,
            -1e-45f,
            1e-7f,
        };
        constexpr int kTableSize = sizeof kTable / sizeof kTable[0];
        uint8_t b = Byte();
        if (b < 96)
            return kTable[b % kTableSize];
        if (b < 224)
            return (static_cast<int>(b) - 160) * 0.25f; // -16 .. 15.75 in quarter steps
        return FromBits(Word());
    }

    // ---- the model ----------------------------------------------------------------------
    void ForgetModel() {
        std::memset(exists_, 0, sizeof exists_);
        armed_ = false;
        armedKnown_ = true;
        modelValid_ = true;
    }
    // The model can tell what the next call must report only with the counting handler.
    bool Predicting() const {
        return mode_ == kCounting && modelValid_ && armedKnown_;
    }
    bool Exists(uint32_t n) const {
        return n >= 1 && n <= 5000 && exists_[n];
    }
    static std::string Text(const char *message, uint32_t value) {
        return std::string(message) + std::to_string(value);
    }
    static bool WellFormedText(const char *text) {
        static const char *const kMessages[] = {
            kOutOfRange, kNotDefined,  kConcave,    kTypeId, kDefSource, kDefDest,
            kDefMethod,  kDefResponse, kDefDynamic, kRadius, kIndex,     kRecoveryType};
        for (const char *m : kMessages) {
            size_t len = std::strlen(m);
            if (std::strncmp(text, m, len) != 0)
                continue;
            const char *digits = text + len;
            if (*digits == '-')
                ++digits;
            if (*digits == '\0')
                return false;
            for (; *digits; ++digits)
                if (*digits < '0' || *digits > '9')
                    return false;
            return true;
        }
        return false;
    }
    // The report an object-number check makes for n, or "" when n names an object.
    std::string ObjectReport(uint32_t n) const {
        if (n < 1 || n > 5000)
            return Text(kOutOfRange, n);
        if (!exists_[n])
            return Text(kNotDefined, n);
        return std::string();
    }

    // Bracket around one call whose report (or silence) the model can predict.
    void Expect(const std::string &text) {
        predicted_ = Predicting();
        expected_ = text;
        reportsBefore_ = reportsSeen_;
        wasArmed_ = armed_;
    }
    void Check() {
        ++stats_.calls;
        if (!predicted_ || !Predicting())
            return;
        uint64_t made = reportsSeen_ - reportsBefore_;
        if (!wasArmed_ || expected_.empty()) {
            if (made != 0)
                Violation(wasArmed_ ? "an accepted call made a report" : "report while not armed");
            return;
        }
        if (made != 1) {
            if (trace)
                std::fprintf(stderr, "[decoder] expected \"%s\", %llu reports\n", expected_.c_str(),
                             static_cast<unsigned long long>(made));
            Violation("an armed bad call was not reported exactly once");
            return;
        }
        if (lastText_ != expected_)
            Violation("wrong report text");
    }
    void Call() {
        ++stats_.calls;
    }
    // Folds an answer into the run's hash (FNV-1a over its four bytes).
    int32_t Mix(int32_t v) {
        uint32_t u = static_cast<uint32_t>(v);
        if (trace)
            std::fprintf(stderr, "[answer] %08x (byte %zu)\n", u, pos_);
        for (int i = 0; i < 4; ++i) {
            resultHash_ ^= (u >> (8 * i)) & 0xFFu;
            resultHash_ *= 1099511628211ull;
        }
        return v;
    }

    // Runs a per-object call through the model: prediction, call, check, zero answer if bad.
    template <typename F> int32_t ObjCall(uint32_t n, F call) {
        std::string report = ObjectReport(n);
        Expect(report);
        int32_t result = Mix(call());
        Check();
        if (!report.empty() && modelValid_ && result != 0)
            Violation("a rejected call answered non-zero");
        return result;
    }

    void Violation(const char *what) {
        ++stats_.violations;
        if (onViolation_)
            onViolation_(what, user_);
    }

    // ---- module set-up ------------------------------------------------------------------
    void ResetModule();
    void InstallHandler(HandlerMode mode);
    void Step();
    void AddMeshBlock(uint32_t n);
    void Frame();
    void Scene();
    void ReadAll(uint32_t upTo);
    void Crowd();
    void Terrain();
    void Pile();
    void Walk();
    void Pressing();
    void ReadContact(uint32_t n, uint32_t index, bool valid);
    void CheckRange(int32_t value, int32_t lo, int32_t hi, const char *what) {
        if (value < lo || value > hi)
            Violation(what);
    }

    bool startedWorkers_ = false; // the input asked for more than one thread
    ViolationFn onViolation_;
    void *user_;
    const uint8_t *data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;

    Stats stats_;
    HandlerState handler_;
    HandlerMode mode_ = kCounting;
    bool exists_[5001] = {};
    bool armed_ = false;
    bool modelValid_ = true;
    bool armedKnown_ = true;
    bool predicted_ = false;
    uint64_t reportsSeen_ = 0;
    uint64_t reportsBefore_ = 0;
    bool wasArmed_ = false;
    std::string expected_;
    std::string lastText_;
    int passes_ = 0;
    int triangles_ = 0;
    int shapes_ = 0;
    int definitions_ = 0;
    std::vector<uint8_t> block_;
    uint64_t resultHash_ = 0;
};

inline void DecoderHandler(const char *text, const char *caption, void *user) {
    HandlerState *state = static_cast<HandlerState *>(user);
    state->decoder->OnReport(text, caption);
    if (state->depth >= kMaxHandlerDepth)
        return;
    ++state->depth;
    state->decoder->ReenterFromHandler(state->depth);
    --state->depth;
}

inline void CallDecoder::InstallHandler(HandlerMode mode) {
    // Under another handler the box may have been re-armed or used up unseen.
    if (mode_ != kCounting || mode != kCounting)
        armedKnown_ = false;
    mode_ = mode;
    handler_.decoder = this;
    handler_.depth = 0;
    if (mode == kDefault) {
        SetErrorHandlerVOR(nullptr, nullptr); // reports go to stderr and cannot be counted
        armedKnown_ = false;
    } else {
        SetErrorHandlerVOR(DecoderHandler, &handler_);
    }
    Call();
}

inline void CallDecoder::ResetModule() {
    // Settings survive StopCollisionVOR; put them back so that every input starts alike.
    InstallHandler(kCounting);
    StopCollisionVOR();
    SetEllipOptimizeVOR(1);
    SetEllipSizeModeVOR(0);
    SetConcaveModeVOR(3);
    SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 0);
    SetWorkerCountVOR(1);
    SetObjPosVOR(0, 0, 0);
    SetObjRotVOR(0, 0, 0);
    stats_.calls += 8;
#ifdef VOR_VALIDATE
    // The pass flag survives StopCollisionVOR by design; every input starts as if just loaded.
    vor::Pass.sweepNeeded = 0;
    vor::MinBodiesOnWorkers = vor::kMinBodiesOnWorkers;
#endif
    ForgetModel();
    passes_ = triangles_ = shapes_ = definitions_ = 0;
}

// A host vertex block owned here, sized exactly for what its header claims, so a read past the
// claimed vertices (or any read at all for a count below 3) lands outside the allocation.
inline void CallDecoder::AddMeshBlock(uint32_t n) {
    uint8_t shape = Byte();
    uint32_t vertexSize;
    switch (shape % 8) {
    case 0:
        vertexSize = 12;
        break;
    case 1:
        vertexSize = 16;
        break;
    case 2:
        vertexSize = 32;
        break;
    case 3:
        vertexSize = 34;
        break; // stride 32
    case 4:
        vertexSize = Byte() % 4;
        break; // stride 0: every vertex is the first
    case 5:
        vertexSize = 4 + Byte() % 12;
        break; // overlapping vertices
    case 6:
        vertexSize = Byte();
        break;
    default:
        vertexSize = Word();
        break;
    }
    int32_t count;
    uint8_t c = Byte();
    if (c < 200)
        count = c % 40;
    else if (c < 230)
        count = -static_cast<int32_t>(c % 7) - 1;
    else
        count = static_cast<int32_t>(Word());
    int32_t triangles = count / 3;
    uint64_t stride = vertexSize & ~3u;
    if (triangles > 0) {
        // Only blocks this decoder can own: clamp the claim rather than lie about the size.
        if (triangles > 13) {
            triangles = 13;
            count = 39 + count % 3;
        }
        if (stride > 256) {
            vertexSize = 256 + vertexSize % 4;
            stride = 256;
        }
        if (triangles_ + triangles > kMaxTriangles)
            return;
        triangles_ += triangles;
    }
    uint64_t bytes = 12;
    if (triangles > 0)
        bytes = 12 + (3 * static_cast<uint64_t>(triangles) - 1) * stride + 12;
    block_.assign(bytes, 0);
    int32_t word = static_cast<int32_t>(Word());
    std::memcpy(&block_[0], &word, 4);
    std::memcpy(&block_[4], &vertexSize, 4);
    std::memcpy(&block_[8], &count, 4);
    for (size_t at = 12; at + 4 <= bytes; at += 4) {
        float f = Float();
        std::memcpy(&block_[at], &f, 4);
    }
    // Exactly-sized copy on the heap so that any over-read is caught by the sanitizer.
    std::vector<uint8_t> exact(block_.begin(), block_.end());
    const void *address = (Byte() % 32 == 0) ? nullptr : exact.data();
    ObjCall(n, [&] {
        AddMeshVOR(n, address);
        return 0;
    });
}

inline void CallDecoder::ReadContact(uint32_t n, uint32_t index, bool valid) {
    // A listed contact answers silently; an index past the count reports (once per arming).
    std::string report = valid ? std::string() : Text(kIndex, index);
    auto query = [&](auto call) {
        Expect(report);
        int32_t r = Mix(call());
        Check();
        if (!valid && modelValid_ && r != 0)
            Violation("a contact query past the count answered non-zero");
        return r;
    };
    int32_t shape = query([&] { return CollisionHitShape(n, index); });
    if (valid && modelValid_)
        CheckRange(shape, 1, 2, "CollisionHitShape outside 1..2 for a listed contact");
    int32_t obj = query([&] { return CollisionHitObj(n, index); });
    CheckRange(obj, 0, 5000, "CollisionHitObj outside 0..5000");
    if (obj != 0 && modelValid_ && !Exists(static_cast<uint32_t>(obj)))
        Violation("CollisionHitObj names an object that does not exist");
    CheckRange(query([&] { return CollisionHitType(n, index); }), 0, 100,
               "CollisionHitType outside 0..100");
    int32_t poly = query([&] { return CollisionHitPoly(n, index); });
    if (poly < 0 || (shape != 2 && poly != 0))
        Violation("CollisionHitPoly negative, or non-zero for an ellipsoid contact");
    for (int32_t axis = 0; axis <= 4; ++axis) {
        int32_t p = query([&] { return CollisionHitPos(n, index, axis); });
        int32_t q = query([&] { return CollisionHitNorm(n, index, axis); });
        if ((axis < 1 || axis > 3) && (p != 0 || q != 0))
            Violation("a contact query with an axis outside 1..3 answered non-zero");
    }
    for (int32_t corner = 0; corner <= 4; ++corner)
        for (int32_t axis = 0; axis <= 4; ++axis) {
            int32_t bits = query([&] { return CollisionTriCorner(n, index, corner, axis); });
            bool inRange = corner >= 1 && corner <= 3 && axis >= 1 && axis <= 3;
            if ((shape != 2 || !inRange) && bits != 0)
                Violation("CollisionTriCorner non-zero for an ellipsoid or a bad selector");
        }
}

inline void CallDecoder::ReadAll(uint32_t upTo) {
    for (uint32_t n = 1; n <= upTo; ++n) {
        int32_t count = ObjCall(n, [&] { return CountCollisionsVOR(n); });
        if (count < 0)
            Violation("CountCollisionsVOR negative");
        if (!Exists(n))
            continue;
        ObjCall(n, [&] { return PeekObjXVOR(n); });
        ObjCall(n, [&] { return PeekObjYVOR(n); });
        ObjCall(n, [&] { return PeekObjZVOR(n); });
        ObjCall(n, [&] { return PeekObjPitch(n); });
        ObjCall(n, [&] { return PeekObjYaw(n); });
        ObjCall(n, [&] { return PeekObjRoll(n); });
        for (int32_t k = 0; k <= count + 1 && k <= 64; ++k)
            ReadContact(n, static_cast<uint32_t>(k), k >= 1 && k <= count);
    }
    ResetCollisionStackVOR();
    Call();
    for (int i = 0; i < 5002; ++i) {
        int32_t next = Mix(PeekCollisionStackVOR());
        Call();
        CheckRange(next, 0, 5000, "PeekCollisionStackVOR outside 0..5000");
        if (next == 0)
            break;
        if (modelValid_ && !Exists(static_cast<uint32_t>(next)))
            Violation("collision stack lists an object that does not exist");
        if (i == 5001)
            Violation("collision stack walk does not end");
    }
}

inline void CallDecoder::Frame() {
    int movers = 1 + Byte() % 8;
    for (int i = 0; i < movers; ++i) {
        uint32_t n = Obj();
        SetObjPosVOR(Float(), Float(), Float());
        SetObjRotVOR(Float(), Float(), Float());
        stats_.calls += 2;
        int32_t flag = (Byte() % 4 == 0) ? 1 : 0;
        ObjCall(n, [&] {
            UpdateObjVOR(n, flag);
            return 0;
        });
    }
    if (passes_ >= kMaxPasses)
        return;
    ++passes_;
    ++stats_.passes;
    RunCollisionVOR();
    Call();
    ReadAll(kPool);
}

// Types 1 move, type 2 is ground: a floor and a wall under a few ellipsoids.
inline void CallDecoder::Scene() {
    uint32_t response = 1 + Byte() % 5;
    uint32_t dynamic = 1 + Byte() % 4;
    if (definitions_ + 2 <= kMaxDefinitions) {
        definitions_ += 2;
        SetCollisionsVOR(1, 2, 2, response, dynamic);
        SetCollisionsVOR(1, 1, 1, response, dynamic);
        stats_.calls += 2;
    }
    if (shapes_ + 6 > kMaxShapes || triangles_ + 4 > kMaxTriangles)
        return;
    shapes_ += 6;
    triangles_ += 4;
    NewCollObjVOR(1, 2);
    exists_[1] = true;
    AddObjShapeVOR(1, 2);
    AddMeshTri(1, -20, 0, -20, -20, 0, 20, 20, 0, 20);
    AddMeshTri(1, -20, 0, -20, 20, 0, 20, 20, 0, -20);
    AddMeshTri(1, 5, 0, -20, 5, 10, -20, 5, 10, 20);
    AddMeshTri(1, 5, 0, -20, 5, 10, 20, 5, 0, 20);
    ActivateObjVOR(1);
    stats_.calls += 7;
    for (uint32_t n = 2; n <= 6; ++n) {
        NewCollObjVOR(n, 1);
        exists_[n] = true;
        AddObjShapeVOR(n, 1);
        SetObjRadiusVOR(n, 0.5f, 1.0f, 0.5f);
        SetObjGravityVOR(n, 0.1f);
        SetObjPosVOR(static_cast<float>(n) * 1.5f - 6.0f, 2.0f, 0.0f);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
        ActivateObjVOR(n);
        stats_.calls += 8;
    }
}

// Eighteen ellipsoids of type 3 in a tight block, all asked to move to the centre at once.
inline void CallDecoder::Crowd() {
    uint32_t response = 1 + Byte() % 5;
    float squeeze = Float();
    if (definitions_ >= kMaxDefinitions || shapes_ + 18 > kMaxShapes)
        return;
    ++definitions_;
    shapes_ += 18;
    SetCollisionsVOR(3, 3, 1, response, 1);
    Call();
    for (uint32_t i = 0; i < 18; ++i) {
        uint32_t n = 7 + i;
        NewCollObjVOR(n, 3);
        exists_[n] = true;
        AddObjShapeVOR(n, 1);
        SetObjRadiusVOR(n, 0.6f, 0.6f, 0.6f);
        SetObjPosVOR(static_cast<float>(i % 6) * 1.25f, 0.0f, static_cast<float>(i / 6) * 1.25f);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
        ActivateObjVOR(n);
        stats_.calls += 7;
    }
    for (uint32_t i = 0; i < 18; ++i) {
        uint32_t n = 7 + i;
        SetObjPosVOR(3.0f + (static_cast<float>(i % 6) * 1.25f - 3.0f) * squeeze, 0.0f,
                     1.25f + (static_cast<float>(i / 6) * 1.25f - 1.25f) * squeeze);
        UpdateObjVOR(n, 0);
        stats_.calls += 2;
    }
    if (passes_ >= kMaxPasses)
        return;
    ++passes_;
    ++stats_.passes;
    RunCollisionVOR();
    Call();
    ReadAll(kPool);
}

// The crowd of kCrowd (objects 7..24, type 3) walks a stride through a pass, with rays by type
// along its rows before and after: the rays' trees must follow every update and the pass. One
// body may first grow big, a size mix for the pair grid.
inline void CallDecoder::Walk() {
    const uint32_t rays = 1 + Byte() % 6;
    const float stride = Float();
    const uint32_t big = Obj();
    const float radius = Float();
    if (radius > 0.0f) {
        ObjCall(big, [&] {
            SetObjRadiusVOR(big, radius, radius, radius);
            return 0;
        });
    }
    auto castRows = [&] {
        for (uint32_t k = 0; k < rays; ++k) {
            const float z = static_cast<float>(k % 3) * 1.25f;
            Expect("");
            Mix(RayIntersectTypeVOR(3, 1, -5.0f, 0.0f, z, 10.0f, 0.0f, z));
            Check();
            Mix(RayHitDist());
            Mix(RayHitObjVOR());
            stats_.calls += 2;
        }
    };
    castRows();
    for (uint32_t i = 0; i < 18; ++i) {
        const uint32_t n = 7 + i;
        SetObjPosVOR(static_cast<float>(i % 6) * 1.25f + stride * std::cos(static_cast<float>(i)),
                     0.0f,
                     static_cast<float>(i / 6) * 1.25f + stride * std::sin(static_cast<float>(i)));
        Call();
        ObjCall(n, [&] {
            UpdateObjVOR(n, 0);
            return 0;
        });
    }
    castRows();
    if (passes_ >= kMaxPasses)
        return;
    ++passes_;
    ++stats_.passes;
    RunCollisionVOR();
    Call();
    castRows();
}

// Sixteen characters of type 3 (objects 7..22) on a floor of type 4 (object 23), pressing to one
// point under gravity for up to three passes with overlap recovery on, per definition or for
// every definition. Every resolved position of a finite scene must stay finite.
inline void CallDecoder::Pressing() {
    uint32_t response = 2 + Byte() % 3;
    bool everywhere = Byte() % 2 == 0;
    float squeeze = Float();
    if (definitions_ + 2 > kMaxDefinitions || shapes_ + 17 > kMaxShapes ||
        triangles_ + 2 > kMaxTriangles)
        return;
    definitions_ += 2;
    shapes_ += 17;
    triangles_ += 2;
    SetCollisionsVOR(3, 3, 1, response, 1);
    SetCollisionsVOR(3, 4, 2, response, 1);
    if (everywhere) {
        SetOverlapRecoveryVOR(VOR_ALL_TYPES, VOR_ALL_TYPES, 1);
    } else {
        SetOverlapRecoveryVOR(3, 3, 1);
        SetOverlapRecoveryVOR(3, 4, 1);
    }
    Call();
    NewCollObjVOR(23, 4);
    exists_[23] = true;
    AddObjShapeVOR(23, 2);
    AddMeshTri(23, -20, 0, -20, -20, 0, 20, 20, 0, 20);
    AddMeshTri(23, -20, 0, -20, 20, 0, 20, 20, 0, -20);
    SetObjPosVOR(0, 0, 0);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(23, 1);
    ActivateObjVOR(23);
    stats_.calls += 9;
    for (uint32_t i = 0; i < 16; ++i) {
        uint32_t n = 7 + i;
        NewCollObjVOR(n, 3);
        exists_[n] = true;
        AddObjShapeVOR(n, 1);
        SetObjRadiusVOR(n, 0.25f, 0.45f, 0.25f);
        SetObjGravityVOR(n, 0.05f);
        SetObjPosVOR(static_cast<float>(i % 4) * 0.6f, 0.46f, static_cast<float>(i / 4) * 0.6f);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
        ActivateObjVOR(n);
        stats_.calls += 8;
    }
    // The promise holds for a crowd pressing in, a fraction of the way each frame: a squeeze of
    // 1e33 asks for positions whose squares overflow any float sweep, recovery or not.
    const bool finite = std::fabs(squeeze) <= 1.0f;
    for (int frame = 0; frame < 3 && passes_ < kMaxPasses; ++frame) {
        for (uint32_t i = 0; i < 16; ++i) {
            uint32_t n = 7 + i;
            const float x = vorFloatFromBits(PeekObjXVOR(n));
            const float y = vorFloatFromBits(PeekObjYVOR(n));
            const float z = vorFloatFromBits(PeekObjZVOR(n));
            SetObjPosVOR(x + (0.9f - x) * squeeze, y, z + (0.9f - z) * squeeze);
            UpdateObjVOR(n, 0);
            stats_.calls += 5;
        }
        ++passes_;
        ++stats_.passes;
        RunCollisionVOR();
        Call();
        for (uint32_t i = 0; i < 16 && finite; ++i) {
            const uint32_t n = 7 + i;
            if (!std::isfinite(vorFloatFromBits(PeekObjXVOR(n))) ||
                !std::isfinite(vorFloatFromBits(PeekObjYVOR(n))))
                Violation("overlap recovery left a finite crowd at a position that is not finite");
        }
        ReadAll(kPool);
    }
}

// A 6 x 6 height field of 72 triangles under object n, type 2, heights from the input.
inline void CallDecoder::Terrain() {
    uint32_t n = Obj();
    float heights[7][7];
    for (auto &row : heights)
        for (float &h : row)
            h = (Byte() % 16) * 0.25f;
    if (heights[3][3] == 0.0f)
        heights[3][3] = Float(); // sometimes a wild one in the middle
    if (triangles_ + 72 > kMaxTriangles || shapes_ >= kMaxShapes)
        return;
    triangles_ += 72;
    ++shapes_;
    std::string report;
    if (n < 1 || n > 5000)
        report = Text(kOutOfRange, n);
    Expect(report);
    NewCollObjVOR(n, 2);
    Check();
    if (!report.empty())
        return;
    exists_[n] = true;
    AddObjShapeVOR(n, 2);
    Call();
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j) {
            float x0 = i * 4.0f - 12.0f, x1 = x0 + 4.0f, z0 = j * 4.0f - 12.0f, z1 = z0 + 4.0f;
            // Counter-clockwise seen from above, so the faces look up.
            AddMeshTri(n, x0, heights[i][j], z0, x0, heights[i][j + 1], z1, x1,
                       heights[i + 1][j + 1], z1);
            AddMeshTri(n, x0, heights[i][j], z0, x1, heights[i + 1][j + 1], z1, x1,
                       heights[i + 1][j], z0);
            stats_.calls += 2;
        }
    ActivateObjVOR(n);
    Call();
}

// 18 ellipsoids (7..24, type 3) under a report-only definition among them, asked from a ring
// through a stack of thin triangles (object 25, type 4) towards one point, so that each body piles
// up records (the per-body look-ups over them); an outlier of their type (26: huge, or thrown far)
// for the pair grid; then the body most others hit is freed and a second pass runs.
inline void CallDecoder::Pile() {
    const uint32_t layers = 8 + Byte() % 40;
    const float gap = static_cast<float>(1 + Byte() % 64) * 0.01f;
    const uint32_t response = 1 + Byte() % 5;
    const uint32_t outlier = Byte() % 3;
    const float spot = Float();
    if (definitions_ + 2 > kMaxDefinitions || shapes_ + 20 > kMaxShapes ||
        triangles_ + static_cast<int>(layers) > kMaxTriangles || passes_ + 2 > kMaxPasses)
        return;
    definitions_ += 2;
    shapes_ += 20;
    triangles_ += static_cast<int>(layers);
    SetCollisionsVOR(3, 3, 1, 5, 1);
    SetCollisionsVOR(3, 4, 2, response, 1);
    NewCollObjVOR(25, 4);
    AddObjShapeVOR(25, 2);
    for (uint32_t k = 0; k < layers; ++k) {
        const float y = -gap * static_cast<float>(k);
        AddMeshTri(25, -3, y, -3, -3, y, 3, 3, y, -3);
    }
    SetObjPosVOR(0, 0, 0);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(25, 1);
    ActivateObjVOR(25);
    exists_[25] = true;
    stats_.calls += 9 + layers;
    for (uint32_t i = 0; i < 19; ++i) {
        const uint32_t n = i < 18 ? 7 + i : 26;
        const float a = static_cast<float>(i) * 0.33f;
        NewCollObjVOR(n, 3);
        exists_[n] = true;
        AddObjShapeVOR(n, 1);
        SetObjRadiusVOR(n, 0.3f, 0.5f, 0.3f);
        SetObjPosVOR(std::cos(a) * 2.0f, 1.0f, std::sin(a) * 2.0f);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(n, 1);
        ActivateObjVOR(n);
        SetObjPosVOR(std::cos(a) * 0.05f, -gap * static_cast<float>(layers) - 1.0f, spot);
        UpdateObjVOR(n, 0);
        stats_.calls += 10;
    }
    if (outlier == 1) {
        SetObjRadiusVOR(26, 40, 40, 40);
        ++stats_.calls;
    } else if (outlier == 2) {
        SetObjPosVOR(1e9f, 0, spot);
        UpdateObjVOR(26, 0);
        stats_.calls += 2;
    }
    passes_ += 2;
    stats_.passes += 2;
    RunCollisionVOR();
    Call();
    ReadAll(kPool);
    FreeObjVOR(7);
    exists_[7] = false;
    Call();
    for (uint32_t n = 8; n <= 24; ++n) {
        SetObjPosVOR(0, 1, 0);
        UpdateObjVOR(n, 0);
        stats_.calls += 2;
    }
    RunCollisionVOR();
    Call();
    ReadAll(kPool);
}

inline void CallDecoder::Step() {
    uint8_t op = Byte() % kOpCount;
    ++stats_.ops[op];
    if (trace)
        std::fprintf(stderr, "[decoder] op %d at byte %zu\n", op, pos_ - 1);
#ifdef VOR_VALIDATE
    // The debug validators abort on a broken table or list; cheap enough every few calls.
    if (stats_.ops[op] % 16 == 0)
        vor::ValidateRegistry();
#endif
    switch (op) {
    case kStart:
        StartCollisionVOR();
        Call();
        break;
    case kStartDebug:
        StartCollisionDebugVOR();
        Call();
        armed_ = true;
        armedKnown_ = true;
        break;
    case kStop:
        StopCollisionVOR();
        Call();
        ForgetModel();
        passes_ = triangles_ = shapes_ = definitions_ = 0;
        break;
    case kSetOptimize: {
        int32_t flag = static_cast<int32_t>(Selector());
        Expect("");
        SetEllipOptimizeVOR(flag);
        Check();
        break;
    }
    case kSetSizeMode: {
        int32_t mode = static_cast<int32_t>(Selector());
        Expect("");
        SetEllipSizeModeVOR(mode);
        Check();
        break;
    }
    case kSetConcave: {
        uint32_t mode = Selector() + (Byte() % 2 ? 4 : 0);
        Expect(mode >= 1 && mode <= 7 ? std::string() : Text(kConcave, mode));
        SetConcaveModeVOR(mode);
        Check();
        break;
    }
    case kNewObj: {
        uint32_t n = Obj(), type = Type();
        if (shapes_ >= kMaxShapes)
            break;
        std::string report;
        if (n < 1 || n > 5000)
            report = Text(kOutOfRange, n);
        else if (type > 100)
            report = Text(kTypeId, type);
        Expect(report);
        NewCollObjVOR(n, type);
        Check();
        if (report.empty())
            exists_[n] = true;
        break;
    }
    case kFreeObj: {
        uint32_t n = Obj();
        ObjCall(n, [&] {
            FreeObjVOR(n);
            return 0;
        });
        if (n >= 1 && n <= 5000)
            exists_[n] = false;
        break;
    }
    case kActivate: {
        uint32_t n = Obj();
        ObjCall(n, [&] {
            ActivateObjVOR(n);
            return 0;
        });
        break;
    }
    case kDeactivate: {
        uint32_t n = Obj();
        ObjCall(n, [&] {
            DeActivateObjVOR(n);
            return 0;
        });
        break;
    }
    case kAddShape: {
        uint32_t n = Obj();
        int32_t kind = Kind();
        if (shapes_ >= kMaxShapes)
            break;
        ++shapes_;
        ObjCall(n, [&] {
            AddObjShapeVOR(n, kind);
            return 0;
        });
        break;
    }
    case kSetCollisions: {
        uint32_t src = Type(), dst = Type(), method = Selector() % 4, response = Selector(),
                 dynamic = Selector();
        if (Byte() % 4 == 0)
            method = Selector();
        std::string report;
        if (src > 100)
            report = Text(kDefSource, src);
        else if (dst > 100)
            report = Text(kDefDest, dst);
        else if (method < 1 || method > 2)
            report = Text(kDefMethod, method);
        else if (response < 1 || response > 5)
            report = Text(kDefResponse, response);
        else if (dynamic < 1 || dynamic > 4)
            report = Text(kDefDynamic, dynamic);
        if (report.empty() && definitions_ >= kMaxDefinitions)
            break;
        if (report.empty())
            ++definitions_;
        Expect(report);
        SetCollisionsVOR(src, dst, method, response, dynamic);
        Check();
        break;
    }
    case kCheckShape: {
        uint32_t n = Obj();
        int32_t kind = Kind();
        int32_t r = ObjCall(n, [&] { return CheckShapeVOR(n, kind); });
        CheckRange(r, 0, 1, "CheckShapeVOR outside 0..1");
        if (kind != 1 && kind != 2 && r != 0)
            Violation("CheckShapeVOR answered 1 for a kind other than 1 or 2");
        break;
    }
    case kSetRadius: {
        uint32_t n = Obj();
        float rx = Float(), ry = Float(), rz = Float();
        std::string report = ObjectReport(n);
        if (report.empty() && !(rx > 0 && ry > 0 && rz > 0))
            report = Text(kRadius, n);
        Expect(report);
        SetObjRadiusVOR(n, rx, ry, rz);
        Check();
        break;
    }
    case kSetOffset: {
        uint32_t n = Obj();
        float x = Float(), y = Float(), z = Float();
        ObjCall(n, [&] {
            SetEllipOffsetVOR(n, x, y, z);
            return 0;
        });
        break;
    }
    case kSetGravity: {
        uint32_t n = Obj();
        float g = Float();
        ObjCall(n, [&] {
            SetObjGravityVOR(n, g);
            return 0;
        });
        break;
    }
    case kSetMinSlope: {
        uint32_t n = Obj();
        float s = Float();
        ObjCall(n, [&] {
            SetObjMinSlopeVOR(n, s);
            return 0;
        });
        break;
    }
    case kSetPos: {
        float x = Float(), y = Float(), z = Float();
        SetObjPosVOR(x, y, z);
        Call();
        break;
    }
    case kSetRot: {
        float p = Float(), y = Float(), r = Float();
        SetObjRotVOR(p, y, r);
        Call();
        break;
    }
    case kSetScale: {
        uint32_t n = Obj();
        float x = Float(), y = Float(), z = Float();
        ObjCall(n, [&] {
            SetObjScaleVOR(n, x, y, z);
            return 0;
        });
        break;
    }
    case kUpdate: {
        uint32_t n = Obj();
        int32_t flag = static_cast<int32_t>(Selector());
        if (Byte() % 8 == 0)
            flag = static_cast<int32_t>(Word());
        ObjCall(n, [&] {
            UpdateObjVOR(n, flag);
            return 0;
        });
        break;
    }
    case kPeekX: {
        uint32_t n = Obj();
        ObjCall(n, [&] { return PeekObjXVOR(n); });
        break;
    }
    case kPeekY: {
        uint32_t n = Obj();
        ObjCall(n, [&] { return PeekObjYVOR(n); });
        break;
    }
    case kPeekZ: {
        uint32_t n = Obj();
        ObjCall(n, [&] { return PeekObjZVOR(n); });
        break;
    }
    case kPeekPitch: {
        uint32_t n = Obj();
        ObjCall(n, [&] { return PeekObjPitch(n); });
        break;
    }
    case kPeekYaw: {
        uint32_t n = Obj();
        ObjCall(n, [&] { return PeekObjYaw(n); });
        break;
    }
    case kPeekRoll: {
        uint32_t n = Obj();
        ObjCall(n, [&] { return PeekObjRoll(n); });
        break;
    }
    case kAddMeshTri: {
        uint32_t n = Obj();
        float v[9];
        for (float &f : v)
            f = Float();
        if (triangles_ >= kMaxTriangles)
            break;
        ++triangles_;
        ObjCall(n, [&] {
            AddMeshTri(n, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
            return 0;
        });
        break;
    }
    case kAddMesh:
        AddMeshBlock(Obj());
        break;
    case kVec2Yaw:
    case kVec2Pitch: {
        float x = Float(), y = Float(), z = Float();
        float hi = (op == kVec2Yaw) ? 180.0f : 90.0f;
        Expect("");
        float a = FromBits(
            static_cast<uint32_t>(Mix(op == kVec2Yaw ? Vec2Yaw(x, y, z) : Vec2Pitch(x, y, z))));
        Check();
        if (std::isfinite(x) && std::isfinite(y) && std::isfinite(z) && std::fabs(x) < 1e18f &&
            std::fabs(y) < 1e18f && std::fabs(z) < 1e18f && !(a >= 0.0f && a <= hi))
            Violation("direction angle outside its range for a finite direction");
        break;
    }
    case kRun:
        if (passes_ >= kMaxPasses)
            break;
        ++passes_;
        ++stats_.passes;
        Expect("");
        RunCollisionVOR();
        Check();
        break;
    case kResetStack:
        ResetCollisionStackVOR();
        Call();
        break;
    case kPeekStack:
        CheckRange(Mix(PeekCollisionStackVOR()), 0, 5000, "PeekCollisionStackVOR outside 0..5000");
        Call();
        break;
    case kCountCollisions: {
        uint32_t n = Obj();
        int32_t c = ObjCall(n, [&] { return CountCollisionsVOR(n); });
        if (c < 0)
            Violation("CountCollisionsVOR negative");
        break;
    }
    case kHitPos:
    case kHitNorm:
    case kHitObj:
    case kHitType:
    case kHitShape:
    case kHitPoly:
    case kTriCorner: {
        uint32_t n = Obj();
        uint32_t index = Selector();
        int32_t corner = static_cast<int32_t>(Selector());
        int32_t axis = static_cast<int32_t>(Selector());
        std::string report = ObjectReport(n);
        if (report.empty() && modelValid_) {
            int32_t count = CountCollisionsVOR(n);
            Call();
            if (index == 0 || index > static_cast<uint32_t>(count))
                report = Text(kIndex, index);
        }
        Expect(report);
        int32_t r = 0;
        switch (op) {
        case kHitPos:
            r = CollisionHitPos(n, index, axis);
            break;
        case kHitNorm:
            r = CollisionHitNorm(n, index, axis);
            break;
        case kHitObj:
            r = CollisionHitObj(n, index);
            break;
        case kHitType:
            r = CollisionHitType(n, index);
            break;
        case kHitShape:
            r = CollisionHitShape(n, index);
            break;
        case kHitPoly:
            r = CollisionHitPoly(n, index);
            break;
        default:
            r = CollisionTriCorner(n, index, corner, axis);
            break;
        }
        Check();
        if (!report.empty() && modelValid_ && r != 0)
            Violation("a rejected contact query answered non-zero");
        if ((op == kHitPos || op == kHitNorm) && (axis < 1 || axis > 3) && r != 0)
            Violation("a contact query with an axis outside 1..3 answered non-zero");
        if (op == kTriCorner && (corner < 1 || corner > 3 || axis < 1 || axis > 3) && r != 0)
            Violation("CollisionTriCorner with a selector outside 1..3 answered non-zero");
        break;
    }
    case kRayObject:
    case kRayType: {
        uint32_t target = (op == kRayObject) ? Obj() : Type();
        int32_t kind = Kind();
        float v[6];
        for (float &f : v)
            f = Float();
        int32_t hit;
        bool cast = true;
        if (op == kRayObject) {
            cast = ObjectReport(target).empty();
            hit = ObjCall(target, [&] {
                return RayIntersectObjectVOR(target, kind, v[0], v[1], v[2], v[3], v[4], v[5]);
            });
        } else {
            Expect("");
            hit = Mix(RayIntersectTypeVOR(static_cast<int32_t>(target), kind, v[0], v[1], v[2],
                                          v[3], v[4], v[5]));
            Check();
        }
        CheckRange(hit, 0, 1, "ray query answered outside 0..1");
        if (kind != 1 && kind != 2 && hit != 0)
            Violation("ray query hit with a kind other than 1 or 2");
        if (hit == 0 && cast && modelValid_) {
            // After a query without a hit every accessor answers 0.
            int32_t all = RayHitPosX() | RayHitPosY() | RayHitPosZ() | RayHitNormX() |
                          RayHitNormY() | RayHitNormZ() | RayHitDist() | RayHitObjVOR() |
                          RayHitTypeVOR();
            Mix(all);
            stats_.calls += 9;
            if (all != 0)
                Violation("a ray accessor answered non-zero after a query without a hit");
        }
        if (hit == 1) {
            Mix(RayHitPosX());
            Mix(RayHitPosY());
            Mix(RayHitPosZ());
            Mix(RayHitNormX());
            Mix(RayHitNormY());
            Mix(RayHitNormZ());
            Mix(RayHitDist());
            stats_.calls += 7;
            int32_t obj = Mix(RayHitObjVOR());
            Call();
            CheckRange(obj, 1, 5000, "RayHitObjVOR outside 1..5000 after a hit");
            if (op == kRayObject && static_cast<uint32_t>(obj) != target)
                Violation("RayIntersectObjectVOR hit reports another object");
            int32_t type = Mix(RayHitTypeVOR());
            Call();
            CheckRange(type, 0, 100, "RayHitTypeVOR outside 0..100");
            if (op == kRayType && static_cast<uint32_t>(type) != target)
                Violation("RayIntersectTypeVOR hit reports another type");
        }
        break;
    }
    case kRayPosX:
        Mix(RayHitPosX());
        Call();
        break;
    case kRayPosY:
        Mix(RayHitPosY());
        Call();
        break;
    case kRayPosZ:
        Mix(RayHitPosZ());
        Call();
        break;
    case kRayNormX:
        Mix(RayHitNormX());
        Call();
        break;
    case kRayNormY:
        Mix(RayHitNormY());
        Call();
        break;
    case kRayNormZ:
        Mix(RayHitNormZ());
        Call();
        break;
    case kRayDist:
        Mix(RayHitDist());
        Call();
        break;
    case kRayObj:
        CheckRange(Mix(RayHitObjVOR()), 0, 5000, "RayHitObjVOR outside 0..5000");
        Call();
        break;
    case kRayTypeHit:
        CheckRange(Mix(RayHitTypeVOR()), 0, 100, "RayHitTypeVOR outside 0..100");
        Call();
        break;
    case kSetHandler:
        InstallHandler(static_cast<HandlerMode>(Byte() % kHandlerModes));
        break;
    case kFrame:
        Frame();
        break;
    case kScene:
        Scene();
        break;
    case kReadAll:
        ReadAll(kPool);
        break;
    case kCrowd:
        Crowd();
        break;
    case kPile:
        Pile();
        break;
    case kSetRecovery: {
        const int32_t src = Byte() % 3 == 0 ? VOR_ALL_TYPES : static_cast<int32_t>(Type());
        const int32_t dst = Byte() % 3 == 0 ? VOR_ALL_TYPES : static_cast<int32_t>(Type());
        const int32_t flag = static_cast<int32_t>(Selector());
        std::string report;
        if (src != VOR_ALL_TYPES || dst != VOR_ALL_TYPES) {
            if (static_cast<uint32_t>(src) > 100)
                report = Text(kRecoveryType, static_cast<uint32_t>(src));
            else if (static_cast<uint32_t>(dst) > 100)
                report = Text(kRecoveryType, static_cast<uint32_t>(dst));
        }
        Expect(report);
        SetOverlapRecoveryVOR(src, dst, flag);
        Check();
        break;
    }
    case kPressing:
        Pressing();
        break;
    case kSetWorkers: {
        // Counts out of range included (they are clamped, never reported); small scenes too go
        // to the workers, so that the fuzzer's passes run on them.
        const int32_t count = static_cast<int32_t>(Selector() - 2u); // wraps: -2..4 and extremes
        Expect("");
        SetWorkerCountVOR(count);
        startedWorkers_ = startedWorkers_ || count > 1;
#ifdef VOR_VALIDATE
        vor::MinBodiesOnWorkers = 2;
#endif
        Check();
        break;
    }
    case kTerrain:
        Terrain();
        break;
    case kWalk:
        Walk();
        break;
    default:
        break;
    }
}

} // namespace vorfuzz
