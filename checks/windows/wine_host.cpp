// A small Windows host for vorcollide.dll, built for 64 and 32 bits and run under wine by
// scripts/checks/windows.sh.
// It loads the module the way a game runtime does (LoadLibraryA, then GetProcAddress of every
// export by its plain name), drives a few scenes through those pointers only, and prints one line
// per check and a closing "N passed, N failed".
//
// Usage: wine_host.exe <path of vorcollide.dll> [<file for the cross-platform probe's values>]
//        wine_host.exe <path of vorcollide.dll> --unload <case>
// The second form runs one unloading case with the module's worker threads alive, in a process of
// its own so that the script can time it alone: free-without-stop, stop-then-free,
// exit-with-workers, exit-during-passes (UnloadCases below).
// Build inputs: -I include -I tests -I <dir with host_exports.h and host_export_macros.h>, both
// generated from the public header by scripts/export-names.sh (VOR_EXPORT(Name) lines, and #define
// Name (*p_Name)).
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "vorcollide.h"

namespace {

int passed = 0;
int failed = 0;
int skipped = 0;

// The closing line the check script reads: "N passed, N failed[, N skipped]".
int Summary() {
    if (skipped > 0) {
        std::printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    } else {
        std::printf("%d passed, %d failed\n", passed, failed);
    }
    return failed == 0 ? 0 : 1;
}

void Check(bool ok, const char *name, const std::string &detail = std::string()) {
    if (ok) {
        ++passed;
        std::printf("PASS %s\n", name);
    } else {
        ++failed;
        std::printf("FAIL %s%s%s\n", name, detail.empty() ? "" : ": ", detail.c_str());
    }
    std::fflush(stdout);
}

int32_t BitsOf(float f) {
    int32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// "got 1.5 (0x3fc00000), want 1 (0x3f800000)" for a float result handed back as bits.
std::string FloatMismatch(int32_t got, float want) {
    char text[160];
    std::snprintf(text, sizeof text, "got %.9g (0x%08x), want %.9g (0x%08x)",
                  double(vorFloatFromBits(got)), unsigned(got), double(want),
                  unsigned(BitsOf(want)));
    return text;
}

// Exact comparison: the module's float answers must match to the bit.
void CheckFloat(int32_t got, float want, const char *name) {
    Check(got == BitsOf(want), name, got == BitsOf(want) ? std::string() : FloatMismatch(got, want));
}

void CheckInt(int32_t got, int32_t want, const char *name) {
    char text[96];
    std::snprintf(text, sizeof text, "got %ld, want %ld", long(got), long(want));
    Check(got == want, name, got == want ? std::string() : text);
}

} // namespace

// One pointer per export, typed from the public header's prototype.
#define VOR_EXPORT(name) decltype(&::name) p_##name = nullptr;
#include "host_exports.h"
#undef VOR_EXPORT

namespace {

template <typename F> bool Resolve(HMODULE module, const char *name, F &slot) {
    FARPROC address = GetProcAddress(module, name);
    if (address == nullptr) {
        std::printf("missing export: %s\n", name);
        return false;
    }
    slot = reinterpret_cast<F>(reinterpret_cast<void *>(address));
    return true;
}

// Looks up every export by name; names each one that is missing.
bool ResolveAll(HMODULE module) {
    bool ok = true;
#define VOR_EXPORT(name) ok = Resolve(module, #name, p_##name) && ok;
#include "host_exports.h"
#undef VOR_EXPORT
    return ok;
}

} // namespace

// The shared determinism scene calls the module through a table, filled here from the pointers
// (before the macros below, since its fields carry the exports' names).
#if __has_include("support/determinism_scene.h")
#define VOR_SCENE_NO_DIRECT_API 1
#include "support/determinism_scene.h"
#define VOR_HOST_HAS_DETERMINISM_SCENE 1

namespace {

VorSceneApi SceneApiFromPointers() {
    VorSceneApi api;
    api.StopCollision = p_StopCollisionVOR;
    api.SetEllipOptimize = p_SetEllipOptimizeVOR;
    api.SetEllipSizeMode = p_SetEllipSizeModeVOR;
    api.SetConcaveMode = p_SetConcaveModeVOR;
    api.NewCollObj = p_NewCollObjVOR;
    api.ActivateObj = p_ActivateObjVOR;
    api.AddObjShape = p_AddObjShapeVOR;
    api.SetCollisions = p_SetCollisionsVOR;
    api.SetObjRadius = p_SetObjRadiusVOR;
    api.SetEllipOffset = p_SetEllipOffsetVOR;
    api.SetObjMinSlope = p_SetObjMinSlopeVOR;
    api.SetObjPos = p_SetObjPosVOR;
    api.SetObjRot = p_SetObjRotVOR;
    api.UpdateObj = p_UpdateObjVOR;
    api.PeekObjX = p_PeekObjXVOR;
    api.PeekObjY = p_PeekObjYVOR;
    api.PeekObjZ = p_PeekObjZVOR;
    api.RunCollision = p_RunCollisionVOR;
    api.ResetCollisionStack = p_ResetCollisionStackVOR;
    api.PeekCollisionStack = p_PeekCollisionStackVOR;
    api.CountCollisions = p_CountCollisionsVOR;
    api.CollisionHitPos = p_CollisionHitPos;
    api.CollisionHitNorm = p_CollisionHitNorm;
    api.CollisionHitObj = p_CollisionHitObj;
    api.CollisionHitType = p_CollisionHitType;
    api.CollisionHitShape = p_CollisionHitShape;
    api.CollisionHitPoly = p_CollisionHitPoly;
    api.CollisionTriCorner = p_CollisionTriCorner;
    return api;
}

} // namespace
#endif

// From here on every export name calls through its GetProcAddress pointer, so the checks below
// read like ordinary calls but never link against the module.
#include "host_export_macros.h"
#include "cross_probe.h"

namespace {

struct ErrorLog {
    std::vector<std::string> texts;
    std::vector<std::string> captions;
    int wrongUser = 0;
};

ErrorLog errors;

void RecordError(const char *text, const char *caption, void *user) {
    if (user != &errors) {
        ++errors.wrongUser;
    }
    errors.texts.push_back(text ? text : "(null)");
    errors.captions.push_back(caption ? caption : "(null)");
}

// A clean module with every setting at its load value and the recording handler installed.
void Reset() {
    StopCollisionVOR();
    SetEllipOptimizeVOR(1);
    SetEllipSizeModeVOR(0);
    SetConcaveModeVOR(3);
    SetObjPosVOR(0, 0, 0);
    SetObjRotVOR(0, 0, 0);
    SetErrorHandlerVOR(RecordError, &errors);
    errors = ErrorLog();
}

void MakeEllipsoid(uint32_t n, uint32_t type) {
    NewCollObjVOR(n, type);
    AddObjShapeVOR(n, 1);
    SetObjRadiusVOR(n, 1, 1, 1);
    ActivateObjVOR(n);
}

void Place(uint32_t n, float x, float y, float z) {
    SetObjPosVOR(x, y, z);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(n, 1);
}

void MoveTo(uint32_t n, float x, float y, float z) {
    SetObjPosVOR(x, y, z);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(n, 0);
}

std::string LastError() { return errors.texts.empty() ? "(none)" : errors.texts.back(); }

void CheckVersionResource(HMODULE module) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    DWORD ignored = 0;
    DWORD size = length ? GetFileVersionInfoSizeA(path, &ignored) : 0;
    std::vector<char> data(size ? size : 1);
    VS_FIXEDFILEINFO *info = nullptr;
    UINT infoSize = 0;
    bool found = size && GetFileVersionInfoA(path, 0, size, data.data()) &&
                 VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&info), &infoSize) &&
                 info != nullptr;
    Check(found, "the module carries a version resource");
    if (!found) {
        return;
    }
    const DWORD wantMs = (DWORD(VORCOLLIDE_VERSION_MAJOR) << 16) | VORCOLLIDE_VERSION_MINOR;
    const DWORD wantLs = DWORD(VORCOLLIDE_VERSION_PATCH) << 16;
    char text[96];
    std::snprintf(text, sizeof text, "got %08lx.%08lx, want %08lx.%08lx",
                  (unsigned long)info->dwFileVersionMS, (unsigned long)info->dwFileVersionLS,
                  (unsigned long)wantMs, (unsigned long)wantLs);
    Check(info->dwFileVersionMS == wantMs && info->dwFileVersionLS == wantLs,
          "its file version is the header's version", text);
}

void CheckErrorHandler() {
    Reset();
    SetConcaveModeVOR(0);
    CheckInt(int32_t(errors.texts.size()), 0, "an error before arming reports nothing");

    StartCollisionDebugVOR();
    SetConcaveModeVOR(0);
    SetConcaveModeVOR(9);
    CheckInt(int32_t(errors.texts.size()), 1, "one arming reports only the first error");
    Check(!errors.texts.empty() && errors.texts[0] == "Invalid System Concave Setting: 0",
          "the report text is the message followed by the number", "got \"" + LastError() + "\"");
    Check(!errors.captions.empty() && errors.captions[0] == "Collision Error",
          "the report caption is Collision Error",
          errors.captions.empty() ? "none" : "got \"" + errors.captions[0] + "\"");
    CheckInt(errors.wrongUser, 0, "the handler receives the user pointer it was given");

    StartCollisionDebugVOR();
    SetConcaveModeVOR(8);
    Check(errors.texts.size() == 2 && errors.texts[1] == "Invalid System Concave Setting: 8",
          "arming again reports the next error", "last \"" + LastError() + "\"");

    StartCollisionDebugVOR();
    StopCollisionVOR();
    SetConcaveModeVOR(0);
    CheckInt(int32_t(errors.texts.size()), 2, "stopping the system disarms the report");

    StartCollisionDebugVOR();
    CheckInt(CountCollisionsVOR(0), 0, "a query with object number 0 answers 0");
    Check(errors.texts.size() == 3 &&
              errors.texts[2] == "Object number out of range for collision system: 0",
          "object number 0 is reported as out of range", "last \"" + LastError() + "\"");
}

// A unit ellipsoid moving from (0,0,0) to (4,0,0) stops against a unit ellipsoid at (3,0,0).
void CheckEllipsoidPass() {
    Reset();
    MakeEllipsoid(1, 1);
    MakeEllipsoid(2, 2);
    SetCollisionsVOR(1, 2, 1, 1, 1);
    Place(1, 0, 0, 0);
    Place(2, 3, 0, 0);
    MoveTo(1, 4, 0, 0);
    RunCollisionVOR();

    CheckFloat(PeekObjXVOR(1), 1.0f, "the mover stops at x 1");
    CheckFloat(PeekObjYVOR(1), 0.0f, "the mover keeps y 0");
    CheckFloat(PeekObjZVOR(1), 0.0f, "the mover keeps z 0");
    CheckFloat(PeekObjXVOR(2), 3.0f, "the standing ellipsoid stays at x 3");
    CheckInt(CountCollisionsVOR(1), 1, "the mover has one contact");
    CheckFloat(CollisionHitPos(1, 1, 1), 2.0f, "the contact point x is 2");
    CheckFloat(CollisionHitPos(1, 1, 2), 0.0f, "the contact point y is 0");
    CheckFloat(CollisionHitPos(1, 1, 3), 0.0f, "the contact point z is 0");
    CheckFloat(CollisionHitNorm(1, 1, 1), -1.0f, "the contact normal x is -1");
    CheckFloat(CollisionHitNorm(1, 1, 2), 0.0f, "the contact normal y is 0");
    CheckFloat(CollisionHitNorm(1, 1, 3), 0.0f, "the contact normal z is 0");
    CheckInt(CollisionHitObj(1, 1), 2, "the contact names the object hit");
    CheckInt(CollisionHitType(1, 1), 2, "the contact names the type hit");
    CheckInt(CollisionHitShape(1, 1), 1, "the contact is with an ellipsoid");
    CheckInt(CollisionHitPoly(1, 1), 0, "an ellipsoid contact has no triangle");
    CheckInt(CollisionTriCorner(1, 1, 1, 1), 0, "an ellipsoid contact has no corners");
    CheckInt(CountCollisionsVOR(2), 0, "the standing ellipsoid has no contact of its own");

    StartCollisionDebugVOR();
    CheckInt(CollisionHitPos(1, 2, 1), 0, "a contact index past the last answers 0");
    Check(LastError() == "Collision index out of range: 2", "that index is reported",
          "last \"" + LastError() + "\"");

    ResetCollisionStackVOR();
    const int32_t first = PeekCollisionStackVOR();
    const int32_t second = PeekCollisionStackVOR();
    const int32_t end = PeekCollisionStackVOR();
    char text[64];
    std::snprintf(text, sizeof text, "got %ld, %ld, %ld", long(first), long(second), long(end));
    Check(first == 1 && second == 2 && end == 0,
          "the collision stack walks the active objects in activation order", text);
}

// A ray along z through a unit ellipsoid at the origin.
void CheckRay() {
    Reset();
    MakeEllipsoid(3, 5);
    Place(3, 0, 0, 0);

    CheckInt(RayIntersectObjectVOR(3, 1, 0, 0, -10, 0, 0, 10), 1, "the ray hits the object");
    CheckFloat(RayHitPosX(), 0.0f, "the ray hit x is 0");
    CheckFloat(RayHitPosY(), 0.0f, "the ray hit y is 0");
    CheckFloat(RayHitPosZ(), -1.0f, "the ray hit z is -1");
    CheckFloat(RayHitNormZ(), -1.0f, "the ray hit normal z is -1");
    CheckFloat(RayHitDist(), 9.0f, "the ray hit distance is 9");
    CheckInt(RayHitObjVOR(), 3, "the ray hit names the object");
    CheckInt(RayHitTypeVOR(), 5, "the ray hit names its type");

    CheckInt(RayIntersectTypeVOR(5, 1, 0, 0, -10, 0, 0, 10), 1, "the ray by type hits it too");
    CheckInt(RayHitObjVOR(), 3, "the ray by type names the object");

    CheckInt(RayIntersectObjectVOR(3, 1, 0, 0, -10, 0, 0, -2), 0,
             "a ray ending before the surface misses");
    CheckInt(RayHitObjVOR(), 0, "after a miss the hit object is 0");
    CheckInt(RayHitDist(), 0, "after a miss the distance is 0");
}

// A floor triangle handed over as a host vertex block (stride 20: x, y, z, u, v) after one
// far-away triangle, so the floor is polygon 2; a unit ellipsoid drops onto it.
void CheckMesh() {
    Reset();
    NewCollObjVOR(10, 3);
    AddObjShapeVOR(10, 2);
    ActivateObjVOR(10);
    Place(10, 0, 0, 0);
    AddMeshTri(10, 40, 0, 40, 41, 0, 42, 42, 0, 40);
    struct Vertex {
        float x, y, z, u, v;
    };
    struct Block {
        int32_t any;
        uint32_t vertexSize;
        int32_t vertexCount;
        Vertex vertices[3];
    };
    static_assert(sizeof(Vertex) == 20 && offsetof(Block, vertices) == 12, "host block layout");
    const Block block = {7, sizeof(Vertex), 3, {{-10, 0, -10, 0, 0}, {0, 0, 10, 0, 1}, {10, 0, -10, 1, 0}}};
    AddMeshVOR(10, &block);

    CheckInt(RayIntersectObjectVOR(10, 2, 0, 5, 0, 0, -5, 0), 1, "a ray down hits the floor");
    CheckFloat(RayHitPosY(), 0.0f, "the floor hit y is 0");
    CheckFloat(RayHitNormY(), 1.0f, "the floor hit normal y is 1");
    CheckFloat(RayHitDist(), 5.0f, "the floor hit distance is 5");
    CheckInt(RayIntersectObjectVOR(10, 2, 0, -5, 0, 0, 5, 0), 0, "a ray up through the floor misses");

    MakeEllipsoid(11, 4);
    SetCollisionsVOR(4, 3, 2, 1, 1);
    Place(11, 0, 3, 0);
    MoveTo(11, 0, 0, 0);
    RunCollisionVOR();
    CheckFloat(PeekObjYVOR(11), 1.0f, "the dropped ellipsoid stops on the floor at y 1");
    CheckInt(CountCollisionsVOR(11), 1, "it has one contact with the floor");
    CheckFloat(CollisionHitPos(11, 1, 2), 0.0f, "the floor contact point y is 0");
    CheckFloat(CollisionHitNorm(11, 1, 2), 1.0f, "the floor contact normal y is 1");
    CheckInt(CollisionHitObj(11, 1), 10, "the floor contact names the mesh object");
    CheckInt(CollisionHitType(11, 1), 3, "the floor contact names the mesh type");
    CheckInt(CollisionHitShape(11, 1), 2, "the floor contact is with a mesh");
    CheckInt(CollisionHitPoly(11, 1), 2, "the floor contact names polygon 2");
    CheckFloat(CollisionTriCorner(11, 1, 2, 3), 10.0f, "the floor's second corner has z 10");
    CheckFloat(CollisionTriCorner(11, 1, 3, 1), 10.0f, "the floor's third corner has x 10");
    CheckInt(CollisionTriCorner(11, 1, 4, 1), 0, "a corner selector of 4 answers 0");
}

// The shared scene through the pointer table; the Linux suite records the hash it must give.
void CheckDeterminism() {
#ifdef VOR_HOST_HAS_DETERMINISM_SCENE
    Reset();
    const VorSceneApi api = SceneApiFromPointers();
    const uint64_t first = vorRunDeterminismScene(&api);
    const uint64_t second = vorRunDeterminismScene(&api);
    char text[96];
    std::snprintf(text, sizeof text, "got 0x%016llx, then 0x%016llx", (unsigned long long)first,
                  (unsigned long long)second);
    Check(first == second, "the determinism scene repeats in one process", text);
#if defined(VOR_SCENE_HASH)
    const uint64_t want = VOR_SCENE_HASH;
#elif defined(VOR_EXPECTED_SCENE_HASH)
    const uint64_t want = VOR_EXPECTED_SCENE_HASH;
#else
#error "no recorded determinism hash: define VOR_EXPECTED_SCENE_HASH"
#endif
    std::snprintf(text, sizeof text, "got 0x%016llx, want 0x%016llx", (unsigned long long)first,
                  (unsigned long long)want);
    Check(first == want, "the determinism scene hashes as on Linux", text);
    Reset();
#else
    ++skipped;
    std::printf("SKIPPED the determinism scene: tests/support/determinism_scene.h is not there yet\n");
#endif
}

// Unloading with live objects runs the module's stop; a reload starts from empty tables.
// The line-by-line comparison with Linux is the script's; here the probe only has to run.
void RunCrossProbe(const char *path) {
    FILE *out = std::fopen(path, "w");
    Check(out != nullptr, "the cross-platform probe opens its output", path);
    if (out == nullptr) {
        return;
    }
    Reset();
    const int lines = vorCrossProbe(out);
    std::fclose(out);
    Reset();
    CheckInt(lines > 0 ? 1 : 0, 1, "the cross-platform probe wrote its values");
}

bool CheckReload(HMODULE &module, const char *path) {
    Reset();
    MakeEllipsoid(7, 1);
    SetErrorHandlerVOR(nullptr, nullptr);
    Check(FreeLibrary(module) != 0, "the module unloads with live objects");
    module = LoadLibraryA(path);
    Check(module != nullptr, "the module loads again");
    if (module == nullptr || !ResolveAll(module)) {
        return false;
    }
    ResetCollisionStackVOR();
    CheckInt(PeekCollisionStackVOR(), 0, "a reloaded module has no active object");
    return true;
}

// The worker scene: 288 ellipsoids walking over a bumpy floor of 288 triangles, every one
// swept against the mesh in every pass, so that each pass's mesh sweeps run on the module's
// workers (it hands them over from 256 bodies sweeping in an iteration).
constexpr uint32_t kWalkerType = 20;
constexpr uint32_t kFloorType = 21;
constexpr uint32_t kFloor = 1000;
constexpr uint32_t kWalkers = 288;
constexpr int kFloorCells = 12; // a side, in cells of two triangles
constexpr float kCellSize = 4.0f;
constexpr int kWorkerPasses = 30;

float FloorHeight(int i, int k) {
    return float((i * 7 + k * 3) % 5) * 0.4f;
}

void BuildWorkerScene(int32_t threads) {
    Reset();
    SetWorkerCountVOR(threads);
    SetCollisionsVOR(kWalkerType, kFloorType, VOR_METHOD_MESHES, VOR_RESPONSE_STAND,
                     VOR_DYNAMIC_STILL);
    SetCollisionsVOR(kWalkerType, kWalkerType, VOR_METHOD_ELLIPSOIDS, VOR_RESPONSE_SLIDE,
                     VOR_DYNAMIC_STILL);
    NewCollObjVOR(kFloor, kFloorType);
    AddObjShapeVOR(kFloor, VOR_SHAPE_MESH);
    ActivateObjVOR(kFloor);
    Place(kFloor, 0, 0, 0);
    const float origin = -0.5f * kCellSize * kFloorCells;
    for (int i = 0; i < kFloorCells; ++i) {
        for (int k = 0; k < kFloorCells; ++k) {
            const float x0 = origin + kCellSize * i, x1 = x0 + kCellSize;
            const float z0 = origin + kCellSize * k, z1 = z0 + kCellSize;
            const float a = FloorHeight(i, k), b = FloorHeight(i + 1, k);
            const float c = FloorHeight(i, k + 1), d = FloorHeight(i + 1, k + 1);
            // Both wound to face up (the normal is (second - first) x (third - first)).
            AddMeshTri(kFloor, x0, a, z0, x0, c, z1, x1, b, z0);
            AddMeshTri(kFloor, x1, b, z0, x0, c, z1, x1, d, z1);
        }
    }
    for (uint32_t n = 1; n <= kWalkers; ++n) {
        NewCollObjVOR(n, kWalkerType);
        AddObjShapeVOR(n, VOR_SHAPE_ELLIPSOID);
        SetObjRadiusVOR(n, 1.0f, 1.5f, 1.0f);
        ActivateObjVOR(n);
        Place(n, -22.0f + 2.5f * float((n - 1) % 18), 5.0f, -20.0f + 2.5f * float((n - 1) / 18));
    }
}

// One pass: every walker heads off at its own pace, dropping 0.6 a pass; every value read back
// afterwards is appended to values.
void StepWorkerScene(int pass, std::vector<int32_t> &values) {
    for (uint32_t n = 1; n <= kWalkers; ++n) {
        const float dx = 0.35f + 0.05f * float(n % 5) - 0.01f * float(pass % 7);
        const float dz = 0.25f - 0.06f * float(n % 7);
        MoveTo(n, vorFloatFromBits(PeekObjXVOR(n)) + dx, vorFloatFromBits(PeekObjYVOR(n)) - 0.6f,
               vorFloatFromBits(PeekObjZVOR(n)) + dz);
    }
    RunCollisionVOR();
    for (uint32_t n = 1; n <= kWalkers; ++n) {
        values.push_back(PeekObjXVOR(n));
        values.push_back(PeekObjYVOR(n));
        values.push_back(PeekObjZVOR(n));
        const int32_t contacts = CountCollisionsVOR(n);
        values.push_back(contacts);
        for (int32_t c = 1; c <= contacts; ++c) {
            for (int32_t axis = 1; axis <= 3; ++axis) {
                values.push_back(CollisionHitPos(n, uint32_t(c), axis));
                values.push_back(CollisionHitNorm(n, uint32_t(c), axis));
            }
            values.push_back(CollisionHitObj(n, uint32_t(c)));
            values.push_back(CollisionHitPoly(n, uint32_t(c)));
        }
    }
}

// Builds the scene and runs its passes on that many threads; the scene and any pool stay.
std::vector<int32_t> RunWorkerScene(int32_t threads, int passes) {
    BuildWorkerScene(threads);
    std::vector<int32_t> values;
    for (int pass = 0; pass < passes; ++pass) {
        StepWorkerScene(pass, values);
    }
    return values;
}

void CheckSameValues(const std::vector<int32_t> &got, const std::vector<int32_t> &want,
                     const char *name) {
    size_t first = 0;
    while (first < got.size() && first < want.size() && got[first] == want[first]) {
        ++first;
    }
    char text[160];
    if (got.size() != want.size()) {
        std::snprintf(text, sizeof text, "%zu values, want %zu; first difference at %zu",
                      got.size(), want.size(), first);
    } else if (first < got.size()) {
        std::snprintf(text, sizeof text, "value %zu of %zu: got 0x%08x, want 0x%08x", first,
                      got.size(), unsigned(got[first]), unsigned(want[first]));
    }
    Check(got.size() == want.size() && first == got.size(), name, text);
}

// Threads of this process right now, the module's workers included; -1 if they cannot be listed.
int ThreadsInProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    const DWORD self = GetCurrentProcessId();
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == self ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
}

HMODULE LoadModule(const char *path, const char *name) {
    HMODULE module = LoadLibraryA(path);
    Check(module != nullptr && ResolveAll(module), name);
    return module;
}

// The unloading cases: each loads the module, runs the worker scene on three threads (the host's
// and two workers) and takes the module out of the process in its own way. None may hang or crash:
// the script runs each under a time limit and needs its summary and a zero exit status.
//
// FreeLibrary without a Stop: the workers' own references keep the module loaded, parked, and a
// LoadLibrary finds it again with its scene, whose next pass runs as if nothing had happened. The
// process then ends with the workers holding the module's last references.
void UnloadWithoutStop(const char *path) {
    HMODULE module = LoadModule(path, "the module loads");
    if (module == nullptr) {
        return;
    }
    const int before = ThreadsInProcess();
    std::vector<int32_t> one = RunWorkerScene(1, kWorkerPasses + 1);
    CheckInt(ThreadsInProcess() - before, 0, "one thread starts no worker");
    std::vector<int32_t> three = RunWorkerScene(3, kWorkerPasses);
    CheckInt(ThreadsInProcess() - before, 2, "three threads start two workers");
    SetErrorHandlerVOR(nullptr, nullptr);
    Check(FreeLibrary(module) != 0, "FreeLibrary without StopCollisionVOR returns");
    Check(GetModuleHandleA(path) == module, "the parked workers keep the module loaded");
    CheckInt(ThreadsInProcess() - before, 2, "the workers stay parked");
    HMODULE again = LoadModule(path, "LoadLibrary finds the module again");
    if (again == nullptr) {
        return;
    }
    Check(again == module, "it is the same module, not a second copy");
    // The scene and pool left behind: one more pass on them.
    StepWorkerScene(kWorkerPasses, three);
    CheckSameValues(three, one,
                    "three threads, across the FreeLibrary, give one thread's values bit for bit");
    Check(FreeLibrary(again) != 0, "FreeLibrary without StopCollisionVOR again");
    std::printf("ending the process with the workers holding the module\n");
}

// StopCollisionVOR ends and joins the workers, which give back their references: the FreeLibrary
// that follows unloads the module, and a fresh load starts workers again.
void StopThenUnload(const char *path) {
    HMODULE module = LoadModule(path, "the module loads");
    if (module == nullptr) {
        return;
    }
    const int before = ThreadsInProcess();
    const std::vector<int32_t> one = RunWorkerScene(1, kWorkerPasses);
    const std::vector<int32_t> three = RunWorkerScene(3, kWorkerPasses);
    CheckInt(ThreadsInProcess() - before, 2, "three threads start two workers");
    CheckSameValues(three, one, "three threads give one thread's values bit for bit");
    StopCollisionVOR();
    CheckInt(ThreadsInProcess() - before, 0, "StopCollisionVOR ends the workers");
    Check(FreeLibrary(module) != 0, "FreeLibrary after StopCollisionVOR returns");
    Check(GetModuleHandleA(path) == nullptr,
          "the module is unloaded: GetModuleHandle answers null");

    module = LoadModule(path, "the module loads again");
    if (module == nullptr) {
        return;
    }
    const std::vector<int32_t> reloaded = RunWorkerScene(3, kWorkerPasses);
    CheckInt(ThreadsInProcess() - before, 2, "the reloaded module starts two workers");
    CheckSameValues(reloaded, one, "the reloaded module's three threads give the same values");
    StopCollisionVOR();
    SetErrorHandlerVOR(nullptr, nullptr);
    Check(FreeLibrary(module) != 0 && GetModuleHandleA(path) == nullptr,
          "after another StopCollisionVOR it unloads again");
}

// Returning from main with the pool running: the process exit ends the workers first, and the
// module's detach must not wait for them.
void ExitWithWorkers(const char *path) {
    HMODULE module = LoadModule(path, "the module loads");
    if (module == nullptr) {
        return;
    }
    const int before = ThreadsInProcess();
    RunWorkerScene(3, kWorkerPasses);
    CheckInt(ThreadsInProcess() - before, 2, "three threads start two workers");
    SetErrorHandlerVOR(nullptr, nullptr);
    std::printf("ending the process with the workers parked and the scene alive\n");
}

// Ending the process while another thread of the host is in the middle of passes: the exit ends
// that thread and the workers wherever they are, mid-job, and the module's detach must then neither
// wait for them nor trip over the records the pass was changing.
volatile LONG passesDone = 0;

DWORD WINAPI DrivePasses(LPVOID) {
    std::vector<int32_t> values;
    for (int pass = 0;; ++pass) {
        StepWorkerScene(pass, values);
        values.clear();
        InterlockedIncrement(&passesDone);
    }
}

void ExitDuringPasses(const char *path) {
    HMODULE module = LoadModule(path, "the module loads");
    if (module == nullptr) {
        return;
    }
    const int before = ThreadsInProcess();
    BuildWorkerScene(3);
    SetErrorHandlerVOR(nullptr, nullptr);
    HANDLE driver = CreateThread(nullptr, 0, DrivePasses, nullptr, 0, nullptr);
    Check(driver != nullptr, "a host thread drives the passes");
    if (driver == nullptr) {
        return;
    }
    while (passesDone < 8) {
        Sleep(1);
    }
    CheckInt(ThreadsInProcess() - before, 3, "the driving thread and two workers run");
    std::printf("ending the process in the middle of the passes\n");
}

struct UnloadCase {
    const char *name;
    void (*run)(const char *path);
};

const UnloadCase UnloadCases[] = {
    {"free-without-stop", UnloadWithoutStop},
    {"stop-then-free", StopThenUnload},
    {"exit-with-workers", ExitWithWorkers},
    {"exit-during-passes", ExitDuringPasses},
};

// Runs the named case; false if there is none of that name.
bool RunUnloadCase(const char *name, const char *path) {
    for (const UnloadCase &c : UnloadCases) {
        if (std::strcmp(c.name, name) == 0) {
            c.run(path);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char **argv) {
    std::printf("wine_host: started\n");
    std::fflush(stdout);
    const char *path = argc > 1 ? argv[1] : "vorcollide.dll";
    if (argc > 3 && std::strcmp(argv[2], "--unload") == 0) {
        Check(RunUnloadCase(argv[3], path), "the unloading case is known", argv[3]);
        return Summary();
    }

    HMODULE module = LoadLibraryA(path);
    char text[MAX_PATH + 64];
    std::snprintf(text, sizeof text, "%s, error %lu", path, (unsigned long)GetLastError());
    Check(module != nullptr, "LoadLibraryA finds the module", module ? std::string() : text);
    if (module == nullptr) {
        return Summary();
    }
    const bool resolved = ResolveAll(module);
    Check(resolved, "GetProcAddress finds every export by its plain name");
    if (!resolved) {
        return Summary();
    }

    CheckVersionResource(module);
    CheckErrorHandler();
    CheckEllipsoidPass();
    CheckRay();
    CheckMesh();
    CheckDeterminism();
    if (argc > 2) {
        RunCrossProbe(argv[2]);
    }
    if (CheckReload(module, path)) {
        StopCollisionVOR();
        SetErrorHandlerVOR(nullptr, nullptr);
        FreeLibrary(module);
    }

    return Summary();
}
