// Load and soak: every object number in use at once; a long deterministic churn of creating,
// freeing, activating, deactivating, meshes, moves, passes and stops; and repeated loading and
// unloading of the plug-in module (which must also leave the process's memory map as it was).
// Under AddressSanitizer, after every StopCollisionVOR (and after every unload) the process holds
// exactly the heap it held before: the sanitizer allocator's live-byte count is compared to the
// byte, so a record kept anywhere (a list, a cache, a scratch buffer) shows. The plain allocator
// has no exact count (its per-thread caches look allocated), so the plain build runs the same
// scenes without that comparison; checks/soak/soak_main.cpp, run by scripts/checks/leaks.sh,
// makes it there with a counting allocator and under valgrind.
// Under AddressSanitizer the churn runs 2,000 frames instead of 10,000 and the module cycles 20
// times instead of 100, to keep each case within the time of the sanitizer suite; there the
// memory map is only checked for the module itself (the sanitizer maps memory as it goes).
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "body/registry.h"
#include "support/test_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define VOR_SOAK_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VOR_SOAK_UNDER_ASAN 1
#endif
#endif

#ifdef VOR_SOAK_UNDER_ASAN
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

namespace {

#ifdef VOR_SOAK_UNDER_ASAN
constexpr int kChurnFrames = 2000;
constexpr int kModuleCycles = 20;
#else
constexpr int kChurnFrames = 10000;
constexpr int kModuleCycles = 100;
#endif

// Bytes the process has allocated and not yet freed, where the allocator counts them exactly.
#ifdef VOR_SOAK_UNDER_ASAN
constexpr bool kExactHeap = true;
constexpr bool kStableMaps = false; // the sanitizer maps shadow and heap memory as it goes
size_t LiveHeapBytes() {
    return __sanitizer_get_current_allocated_bytes();
}
#else
constexpr bool kExactHeap = false; // compared only in the sanitizer build (see the top)
constexpr bool kStableMaps = true;
size_t LiveHeapBytes() {
    return 0;
}
#endif

// Deterministic 32-bit generator (xorshift), so every run churns the same way.
struct Rng {
    uint32_t s = 0x9E3779B9u;
    uint32_t Next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
    float Range(float lo, float hi) {
        return lo + (hi - lo) * static_cast<float>(Below(10001)) / 10000.0f;
    }
};

class Soak : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp(); // stops the system: the module holds nothing from here on
        baseline = LiveHeapBytes();
    }

    // n ellipsoids over types 0..9 on a wide grid, a terrain of 2 x 72 triangles, definitions.
    void BuildFullScene(uint32_t n) {
        SetCollisionsVOR(1, 2, 1, 2, 1);
        SetCollisionsVOR(2, 100, 2, 3, 3);
        SetCollisionsVOR(3, 1, 1, 5, 1);
        for (uint32_t i = 1; i <= n; ++i) {
            NewCollObjVOR(i, i % 10);
            AddObjShapeVOR(i, 1);
            SetObjRadiusVOR(i, 0.5f, 0.75f, 0.5f);
            SetObjGravityVOR(i, 0.05f);
            Place(i, static_cast<float>(i % 71) * 2.0f, 1.0f, static_cast<float>(i / 71) * 2.0f);
            ActivateObjVOR(i);
        }
        // The last number carries a terrain that moves (a platform for type 2).
        NewCollObjVOR(n, 100);
        AddObjShapeVOR(n, 2);
        AddObjShapeVOR(n, 2);
        for (int i = 0; i < 6; ++i)
            for (int j = 0; j < 6; ++j) {
                float x0 = i * 30.0f, z0 = j * 30.0f, x1 = x0 + 30.0f, z1 = z0 + 30.0f;
                float h = static_cast<float>((i * 7 + j * 3) % 5) * 0.1f;
                AddMeshTri(n, x0, 0, z0, x0, h, z1, x1, 0, z1);
                AddMeshTri(n, x0, 0, z0, x1, 0, z1, x1, h, z0);
            }
        ActivateObjVOR(n);
        Place(n, 0, -0.5f, 0);
    }

    size_t baseline = 0;
};

TEST_F(Soak, EveryObjectNumberInUseTakesAPassAndAStop) {
    BuildFullScene(5000);
    ResetCollisionStackVOR();
    int listed = 0;
    while (PeekCollisionStackVOR() != 0)
        ++listed;
    EXPECT_EQ(listed, 5000);
    // Every object takes a small step, type 1 a long one into its type-2 neighbour; the
    // terrain moves under the type-2 riders.
    for (uint32_t i = 1; i < 5000; ++i) {
        SetObjPosVOR(X(i) + ((i % 10) == 1 ? 1.5f : 0.25f), Y(i), Z(i));
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(i, 0);
    }
    SetObjPosVOR(0, -0.25f, 0);
    UpdateObjVOR(5000, 0);
    RunCollisionVOR();
    int contacts = 0;
    for (uint32_t i = 1; i <= 5000; ++i) {
        ASSERT_TRUE(std::isfinite(X(i)) && std::isfinite(Y(i)) && std::isfinite(Z(i))) << i;
        contacts += CountCollisionsVOR(i);
    }
    EXPECT_GT(contacts, 0);
    EXPECT_EQ(RayIntersectTypeVOR(1, 1, -5, 1, 0, 200, 1, 0), 1);
    vor::ValidateRegistry();
    EXPECT_TRUE(log.texts.empty());
    StopCollisionVOR();
    if (kExactHeap) {
        EXPECT_EQ(LiveHeapBytes(), baseline) << "the module keeps heap after StopCollisionVOR";
    }
}

// The definitions of the churn: every pair of types 0..3 collides as ellipsoids, and types 0..2
// stand on the meshes of type 3.
void ChurnDefinitions() {
    for (uint32_t a = 0; a < 4; ++a)
        for (uint32_t b = 0; b < 4; ++b)
            SetCollisionsVOR(a, b, 1, 1 + (a + b) % 5, 1);
    for (uint32_t a = 0; a < 3; ++a)
        SetCollisionsVOR(a, 3, 2, 3, 1 + a % 4);
}

TEST_F(Soak, TenThousandFramesOfChurnHoldNothingAfterEachStop) {
    Rng rng;
    constexpr uint32_t kNumbers = 48;
    int stops = 0, passes = 0, contacts = 0, mostActive = 0;
    ChurnDefinitions();
    for (int frame = 0; frame < kChurnFrames; ++frame) {
        int ops = 1 + static_cast<int>(rng.Below(6));
        for (int k = 0; k < ops; ++k) {
            uint32_t n = 1 + rng.Below(kNumbers);
            switch (rng.Below(14)) {
            case 0:
            case 1:
                NewCollObjVOR(n, rng.Below(4));
                AddObjShapeVOR(n, 1 + static_cast<int32_t>(rng.Below(2)));
                SetObjRadiusVOR(n, rng.Range(0.3f, 1.2f), rng.Range(0.3f, 1.2f), 1.0f);
                Place(n, rng.Range(-4, 4), rng.Range(0.5f, 2), rng.Range(-4, 4));
                if (rng.Below(4) != 0)
                    ActivateObjVOR(n);
                break;
            case 2:
                FreeObjVOR(n);
                break;
            case 3:
                ActivateObjVOR(n);
                break;
            case 4:
                DeActivateObjVOR(n);
                break;
            case 5:
                AddObjShapeVOR(n, 1 + static_cast<int32_t>(rng.Below(2)));
                break;
            case 6: {
                float x = rng.Range(-4, 4), z = rng.Range(-4, 4), y = rng.Range(-0.5f, 0.5f);
                for (int t = 0; t < 12; ++t)
                    AddMeshTri(n, x, y, z, x + rng.Range(-4, 4), y, z + 4, x + 4, y, z);
                break;
            }
            case 7:
                SetObjGravityVOR(n, rng.Range(0, 0.3f));
                break;
            case 8:
                SetEllipOffsetVOR(n, 0, rng.Range(-0.5f, 0.5f), 0);
                break;
            case 9:
                SetObjScaleVOR(n, rng.Range(50, 150), 100, rng.Range(50, 150));
                break;
            case 10:
                RayIntersectTypeVOR(static_cast<int32_t>(rng.Below(4)),
                                    1 + static_cast<int32_t>(rng.Below(2)), rng.Range(-6, 6), 5,
                                    rng.Range(-6, 6), 0, -5, 0);
                break;
            default: {
                // A step of up to 2 units from where the last pass left it.
                SetObjPosVOR(X(n) + rng.Range(-2, 2), Y(n) + rng.Range(-1, 0.5f),
                             Z(n) + rng.Range(-2, 2));
                SetObjRotVOR(rng.Range(-30, 30), rng.Range(0, 360), 0);
                UpdateObjVOR(n, static_cast<int32_t>(rng.Below(5)) == 0 ? 1 : 0);
                break;
            }
            }
        }
        RunCollisionVOR();
        ++passes;
        if (frame % 4 == 0) {
            for (uint32_t n = 1; n <= kNumbers; ++n) {
                int32_t c = CountCollisionsVOR(n);
                contacts += c;
                for (int32_t i = 1; i <= c; ++i)
                    CollisionHitObj(n, static_cast<uint32_t>(i));
            }
            int active = 0;
            for (ResetCollisionStackVOR(); PeekCollisionStackVOR() != 0;)
                ++active;
            mostActive = active > mostActive ? active : mostActive;
        }
        if (rng.Below(kChurnFrames / 40) == 0 || frame == kChurnFrames - 1) {
            StopCollisionVOR();
            ++stops;
            if (kExactHeap) {
                ASSERT_EQ(LiveHeapBytes(), baseline)
                    << "heap held after the stop at frame " << frame;
            }
            ChurnDefinitions();
        }
    }
    StopCollisionVOR();
    EXPECT_GT(stops, 10);
    EXPECT_EQ(passes, kChurnFrames);
    // The churn must have built real scenes, not just empty passes.
    EXPECT_GT(contacts, kChurnFrames / 50);
    EXPECT_GT(mostActive, 20);
    // Unknown numbers were freed and peeked often; nothing armed the box, so nothing reported.
    EXPECT_TRUE(log.texts.empty());
    std::printf("[ soak     ] %d frames, %d stops, %d contacts read, up to %d active\n",
                kChurnFrames, stops, contacts, mostActive);
}

// ---- the module as a host loads it ----------------------------------------------------------

struct Module {
    void *handle = nullptr;
    template <typename Fn> Fn Get(const char *name) {
        return reinterpret_cast<Fn>(dlsym(handle, name));
    }
};

int MappedRegions() {
    FILE *f = std::fopen("/proc/self/maps", "r");
    if (f == nullptr)
        return -1;
    int lines = 0;
    for (int c; (c = std::fgetc(f)) != EOF;)
        lines += (c == '\n');
    std::fclose(f);
    return lines;
}

bool ModuleMapped() {
    FILE *f = std::fopen("/proc/self/maps", "r");
    if (f == nullptr)
        return false;
    char line[4096];
    bool found = false;
    while (std::fgets(line, sizeof line, f) != nullptr)
        if (std::strstr(line, "libvorcollide.so") != nullptr)
            found = true;
    std::fclose(f);
    return found;
}

// One host session through dlsym, ended by unloading without a StopCollisionVOR: the module's
// destructor has to free it all.
void UseModuleOnce(void *handle) {
    Module m{handle};
    auto newObj = m.Get<void (*)(uint32_t, uint32_t)>("NewCollObjVOR");
    auto addShape = m.Get<void (*)(uint32_t, int32_t)>("AddObjShapeVOR");
    auto activate = m.Get<void (*)(uint32_t)>("ActivateObjVOR");
    auto setColl =
        m.Get<void (*)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t)>("SetCollisionsVOR");
    auto setPos = m.Get<void (*)(float, float, float)>("SetObjPosVOR");
    auto update = m.Get<void (*)(uint32_t, int32_t)>("UpdateObjVOR");
    auto addTri =
        m.Get<void (*)(uint32_t, float, float, float, float, float, float, float, float, float)>(
            "AddMeshTri");
    auto run = m.Get<void (*)()>("RunCollisionVOR");
    auto ray = m.Get<int32_t (*)(int32_t, int32_t, float, float, float, float, float, float)>(
        "RayIntersectTypeVOR");
    auto count = m.Get<int32_t (*)(uint32_t)>("CountCollisionsVOR");
    ASSERT_TRUE(newObj && addShape && activate && setColl && setPos && update && addTri && run &&
                ray && count);
    setColl(1, 2, 2, 3, 1);
    setColl(1, 1, 1, 2, 1);
    newObj(1, 2);
    addShape(1, 2);
    for (int i = 0; i < 40; ++i) // enough triangles for the mesh's search structure
        addTri(1, i - 20.0f, 0, -5, i - 20.0f, 0, 5, i - 19.0f, 0, 5);
    activate(1);
    for (uint32_t n = 2; n <= 21; ++n) { // enough ellipsoids for the pair grid
        newObj(n, 1);
        addShape(n, 1);
        activate(n);
        setPos(static_cast<float>(n) * 1.5f - 16.0f, 1.5f, 0);
        update(n, 1);
        setPos(static_cast<float>(n) * 1.5f - 15.5f, 0.5f, 0);
        update(n, 0);
    }
    run();
    EXPECT_EQ(ray(2, 2, 0, 5, 0, 0, -5, 0), 1);
    EXPECT_GT(count(2), 0);
}

TEST(SoakModule, LoadingAndUnloadingTheModuleAHundredTimesLeavesNothingBehind) {
    const int regionsBefore = MappedRegions();
    ASSERT_FALSE(ModuleMapped()) << "the test binary must not link the module itself";
    size_t afterFirst = 0;
    for (int cycle = 0; cycle < kModuleCycles; ++cycle) {
        void *handle = dlopen(VOR_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        UseModuleOnce(handle);
        ASSERT_EQ(dlclose(handle), 0);
        ASSERT_FALSE(ModuleMapped()) << "the module stayed mapped after dlclose, cycle " << cycle;
        if (kStableMaps) {
            ASSERT_EQ(MappedRegions(), regionsBefore) << "cycle " << cycle;
        }
        // The loader (and the sanitizer's interceptors) keep a little bookkeeping from the first
        // two loads; after that, not a byte more.
        if (cycle <= 1)
            afterFirst = LiveHeapBytes();
        else if (kExactHeap) {
            ASSERT_EQ(LiveHeapBytes(), afterFirst) << "heap grew by unload, cycle " << cycle;
        }
    }
    std::printf("[ soak     ] %d load/unload cycles\n", kModuleCycles);
}

} // namespace
