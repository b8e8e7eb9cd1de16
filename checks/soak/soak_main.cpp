// A small host that soaks the plug-in module the way a game would: it loads libvorcollide.so
// with dlopen, finds the exports with dlsym, fills all 5000 object numbers, churns objects,
// shapes, meshes, moves and passes for many frames with stops in between, and loads and unloads
// the module repeatedly. Built twice by scripts/checks/leaks.sh:
// - with VOR_SOAK_COUNTING, it replaces the process's malloc family with a counting layer over
//   glibc's own allocator, and checks after every StopCollisionVOR and every unload that the live
//   byte count is back where it was, to the byte;
// - without it, for valgrind --leak-check=full, which finds leaks, reads of freed memory and
//   memory still held when the process ends.
// Usage: soak <path of libvorcollide.so> [frames] [cycles] [objects]
#include <dlfcn.h>
#include <malloc.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#else
#define RUNNING_ON_VALGRIND 0
#endif

#ifdef VOR_SOAK_COUNTING
// ---- counting allocator ----------------------------------------------------------------------
// glibc lets a program replace malloc, free, calloc, realloc and the aligned forms; every
// allocation of the process then passes here, the module's included (operator new calls malloc).
extern "C" {
void *__libc_malloc(size_t);
void __libc_free(void *);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);
}

namespace {
long long liveBytes = 0; // usable bytes of every block handed out and not yet freed

void *Counted(void *p) {
    if (p != nullptr) {
        liveBytes += static_cast<long long>(malloc_usable_size(p));
    }
    return p;
}
void Uncount(void *p) {
    if (p != nullptr) {
        liveBytes -= static_cast<long long>(malloc_usable_size(p));
    }
}
} // namespace

extern "C" {
void *malloc(size_t n) {
    return Counted(__libc_malloc(n));
}
void free(void *p) {
    Uncount(p);
    __libc_free(p);
}
void *calloc(size_t n, size_t size) {
    return Counted(__libc_calloc(n, size));
}
void *realloc(void *p, size_t n) {
    if (p == nullptr)
        return malloc(n);
    if (n == 0) {
        free(p);
        return nullptr;
    }
    long long old = static_cast<long long>(malloc_usable_size(p));
    void *q = __libc_realloc(p, n);
    if (q != nullptr) {
        liveBytes += static_cast<long long>(malloc_usable_size(q)) - old;
    }
    return q;
}
void *memalign(size_t align, size_t n) {
    return Counted(__libc_memalign(align, n));
}
void *aligned_alloc(size_t align, size_t n) {
    return Counted(__libc_memalign(align, n));
}
int posix_memalign(void **out, size_t align, size_t n) {
    void *p = Counted(__libc_memalign(align, n));
    if (p == nullptr)
        return 12; // ENOMEM
    *out = p;
    return 0;
}
void *valloc(size_t n) {
    return Counted(__libc_memalign(4096, n));
}
}
#endif

namespace {

// ---- the exports a host uses ---------------------------------------------------------------
struct Api {
    void *handle;
    void (*Stop)();
    void (*StartDebug)();
    void (*SetHandler)(void (*)(const char *, const char *, void *), void *);
    void (*NewObj)(uint32_t, uint32_t);
    void (*FreeObj)(uint32_t);
    void (*Activate)(uint32_t);
    void (*Deactivate)(uint32_t);
    void (*AddShape)(uint32_t, int32_t);
    void (*SetColl)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
    void (*Radius)(uint32_t, float, float, float);
    void (*Gravity)(uint32_t, float);
    void (*Pos)(float, float, float);
    void (*Rot)(float, float, float);
    void (*Scale)(uint32_t, float, float, float);
    void (*Update)(uint32_t, int32_t);
    int32_t (*PeekX)(uint32_t);
    int32_t (*PeekY)(uint32_t);
    int32_t (*PeekZ)(uint32_t);
    void (*AddTri)(uint32_t, float, float, float, float, float, float, float, float, float);
    void (*AddMesh)(uint32_t, const void *);
    void (*Run)();
    void (*ResetStack)();
    int32_t (*PeekStack)();
    int32_t (*Count)(uint32_t);
    int32_t (*HitObj)(uint32_t, uint32_t);
    int32_t (*HitPos)(uint32_t, uint32_t, int32_t);
    int32_t (*RayType)(int32_t, int32_t, float, float, float, float, float, float);
    int32_t (*RayDist)();
};

template <typename Fn> bool Find(void *handle, const char *name, Fn *out) {
    *out = reinterpret_cast<Fn>(dlsym(handle, name));
    if (*out == nullptr)
        std::fprintf(stderr, "soak: export %s missing\n", name);
    return *out != nullptr;
}

bool Load(const char *path, Api *a) {
    a->handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (a->handle == nullptr) {
        std::fprintf(stderr, "soak: %s\n", dlerror());
        return false;
    }
    void *h = a->handle;
    return Find(h, "StopCollisionVOR", &a->Stop) &&
           Find(h, "StartCollisionDebugVOR", &a->StartDebug) &&
           Find(h, "SetErrorHandlerVOR", &a->SetHandler) && Find(h, "NewCollObjVOR", &a->NewObj) &&
           Find(h, "FreeObjVOR", &a->FreeObj) && Find(h, "ActivateObjVOR", &a->Activate) &&
           Find(h, "DeActivateObjVOR", &a->Deactivate) && Find(h, "AddObjShapeVOR", &a->AddShape) &&
           Find(h, "SetCollisionsVOR", &a->SetColl) && Find(h, "SetObjRadiusVOR", &a->Radius) &&
           Find(h, "SetObjGravityVOR", &a->Gravity) && Find(h, "SetObjPosVOR", &a->Pos) &&
           Find(h, "SetObjRotVOR", &a->Rot) && Find(h, "SetObjScaleVOR", &a->Scale) &&
           Find(h, "UpdateObjVOR", &a->Update) && Find(h, "PeekObjXVOR", &a->PeekX) &&
           Find(h, "PeekObjYVOR", &a->PeekY) && Find(h, "PeekObjZVOR", &a->PeekZ) &&
           Find(h, "AddMeshTri", &a->AddTri) && Find(h, "AddMeshVOR", &a->AddMesh) &&
           Find(h, "RunCollisionVOR", &a->Run) &&
           Find(h, "ResetCollisionStackVOR", &a->ResetStack) &&
           Find(h, "PeekCollisionStackVOR", &a->PeekStack) &&
           Find(h, "CountCollisionsVOR", &a->Count) && Find(h, "CollisionHitObj", &a->HitObj) &&
           Find(h, "CollisionHitPos", &a->HitPos) && Find(h, "RayIntersectTypeVOR", &a->RayType) &&
           Find(h, "RayHitDist", &a->RayDist);
}

float F(int32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

int failures = 0;

void Fail(const char *what, long long a, long long b) {
    std::fprintf(stderr, "soak: FAILED: %s (%lld, expected %lld)\n", what, a, b);
    ++failures;
}

long long Live() {
#ifdef VOR_SOAK_COUNTING
    return liveBytes;
#else
    return 0;
#endif
}

// After a stop (or an unload), the heap must be exactly as it was.
void CheckHeap(const char *when, long long baseline) {
#ifdef VOR_SOAK_COUNTING
    if (liveBytes != baseline)
        Fail(when, liveBytes, baseline);
#else
    (void)when;
    (void)baseline;
#endif
}

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

uint32_t rngState = 0x2545F491u;
uint32_t Below(uint32_t n) {
    rngState ^= rngState << 13;
    rngState ^= rngState >> 17;
    rngState ^= rngState << 5;
    return rngState % n;
}
float Range(float lo, float hi) {
    return lo + (hi - lo) * static_cast<float>(Below(10001)) / 10000.0f;
}

void Definitions(const Api &a) {
    for (uint32_t s = 0; s < 4; ++s)
        for (uint32_t d = 0; d < 4; ++d)
            a.SetColl(s, d, 1, 1 + (s + d) % 5, 1);
    for (uint32_t s = 0; s < 3; ++s)
        a.SetColl(s, 3, 2, 3, 1 + s % 4);
}

// The first `objects` numbers (all 5000 by default) with an ellipsoid, active, one pass; a stop.
void FullHouse(const Api &a, uint32_t objects, long long baseline) {
    Definitions(a);
    for (uint32_t n = 1; n <= objects; ++n) {
        a.NewObj(n, n % 4);
        a.AddShape(n, 1);
        a.Radius(n, 0.5f, 0.5f, 0.5f);
        a.Pos(static_cast<float>(n % 71) * 1.5f, 1, static_cast<float>(n / 71) * 1.5f);
        a.Rot(0, 0, 0);
        a.Update(n, 1);
        a.Activate(n);
    }
    for (uint32_t n = 1; n <= objects; n += 2) { // odd numbers step into their neighbours
        a.Pos(F(a.PeekX(n)) + 0.75f, 1, F(a.PeekZ(n)));
        a.Update(n, 0);
    }
    a.Run();
    int listed = 0;
    for (a.ResetStack(); a.PeekStack() != 0;)
        ++listed;
    if (listed != static_cast<int>(objects))
        Fail("objects listed by the collision stack", listed, objects);
    long long contacts = 0;
    for (uint32_t n = 1; n <= objects; ++n)
        contacts += a.Count(n);
    if (contacts == 0)
        Fail("contacts among the crowded objects", 0, 1);
    a.Stop();
    CheckHeap("heap after the stop of 5000 objects", baseline);
}

// Frames of random host work on 48 numbers, with a stop now and then.
int Churn(const Api &a, int frames, long long baseline) {
    int stops = 0;
    Definitions(a);
    float vertices[3 + 12 * 4];
    for (int frame = 0; frame < frames; ++frame) {
        for (int k = 1 + static_cast<int>(Below(6)); k > 0; --k) {
            uint32_t n = 1 + Below(48);
            switch (Below(13)) {
            case 0:
            case 1:
                a.NewObj(n, Below(4));
                a.AddShape(n, 1 + static_cast<int32_t>(Below(2)));
                a.Radius(n, Range(0.3f, 1.2f), Range(0.3f, 1.2f), 1);
                a.Pos(Range(-6, 6), Range(0.5f, 2), Range(-6, 6));
                a.Update(n, 1);
                if (Below(4) != 0)
                    a.Activate(n);
                break;
            case 2:
                a.FreeObj(n);
                break;
            case 3:
                a.Activate(n);
                break;
            case 4:
                a.Deactivate(n);
                break;
            case 5:
                a.AddShape(n, 1 + static_cast<int32_t>(Below(2)));
                break;
            case 6: {
                // A host vertex block of four triangles, 16-byte vertices.
                int32_t header[3] = {0, 16, 12};
                float *v = vertices;
                std::memcpy(v, header, sizeof header);
                float x = Range(-6, 6), z = Range(-6, 6);
                for (int i = 0; i < 12; ++i) {
                    v[3 + i * 4 + 0] = x + static_cast<float>((i % 3 == 2) ? 3 : 0);
                    v[3 + i * 4 + 1] = Range(-0.5f, 0.5f);
                    v[3 + i * 4 + 2] = z + static_cast<float>((i % 3 == 1) ? 3 : 0) + i / 3;
                    v[3 + i * 4 + 3] = 0;
                }
                a.AddMesh(n, vertices);
                break;
            }
            case 7:
                a.Gravity(n, Range(0, 0.3f));
                break;
            case 8:
                a.Scale(n, Range(50, 150), 100, Range(50, 150));
                break;
            case 9:
                a.RayType(static_cast<int32_t>(Below(4)), 1 + static_cast<int32_t>(Below(2)),
                          Range(-6, 6), 5, Range(-6, 6), 0, -5, 0);
                a.RayDist();
                break;
            default:
                a.Pos(F(a.PeekX(n)) + Range(-2, 2), F(a.PeekY(n)) + Range(-1, 0.5f),
                      F(a.PeekZ(n)) + Range(-2, 2));
                a.Rot(Range(-30, 30), Range(0, 360), 0);
                a.Update(n, Below(5) == 0 ? 1 : 0);
                break;
            }
        }
        a.Run();
        if (frame % 8 == 0)
            for (uint32_t n = 1; n <= 48; ++n)
                for (int32_t i = 1, c = a.Count(n); i <= c; ++i) {
                    a.HitObj(n, static_cast<uint32_t>(i));
                    a.HitPos(n, static_cast<uint32_t>(i), 2);
                }
        if (Below(200) == 0 || frame == frames - 1) {
            a.Stop();
            ++stops;
            CheckHeap("heap after a stop of the churn", baseline);
            Definitions(a);
        }
    }
    a.Stop();
    return stops;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: soak <libvorcollide.so> [frames] [cycles]\n");
        return 2;
    }
    const int frames = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int cycles = argc > 3 ? std::atoi(argv[3]) : 100;
    const uint32_t objects = argc > 4 ? static_cast<uint32_t>(std::atoi(argv[4])) : 5000;
    const int regions = MappedRegions();

    Api a;
    if (!Load(argv[1], &a))
        return 1;
    a.Stop();
    const long long baseline = Live();
    FullHouse(a, objects, baseline);
    int stops = Churn(a, frames, baseline);
    if (dlclose(a.handle) != 0)
        Fail("dlclose", 1, 0);

    // Load, use without stopping, unload: the module's destructor frees everything.
    long long afterFirst = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        if (!Load(argv[1], &a))
            return 1;
        Definitions(a);
        for (uint32_t n = 1; n <= 40; ++n) {
            a.NewObj(n, n % 4);
            a.AddShape(n, 1 + static_cast<int32_t>(n % 7 == 0));
            for (int t = 0; t < (n % 7 == 0 ? 40 : 0); ++t)
                a.AddTri(n, t - 20.0f, 0, -5, t - 20.0f, 0, 5, t - 19.0f, 0, 5);
            a.Pos(static_cast<float>(n % 8) * 1.2f, 1, static_cast<float>(n / 8) * 1.2f);
            a.Update(n, 1);
            a.Activate(n);
            a.Pos(static_cast<float>(n % 8) * 1.2f + 0.6f, 0.25f, static_cast<float>(n / 8) * 1.2f);
            a.Update(n, 0);
        }
        a.Run();
        a.RayType(3, 2, 0, 5, 0, 0, -5, 0);
        if (dlclose(a.handle) != 0)
            Fail("dlclose", 1, 0);
        // valgrind maps memory of its own as the program runs; the map is compared without it.
        if (!RUNNING_ON_VALGRIND && MappedRegions() != regions)
            Fail("mapped regions after unloading the module", MappedRegions(), regions);
        if (cycle == 0)
            afterFirst = Live(); // the loader's own bookkeeping from the first load stays
        else
            CheckHeap("heap after an unload", afterFirst);
    }
    std::printf("soak: %u objects, %d frames with %d stops, %d load/unload cycles: %s\n", objects,
                frames, stops, cycles, failures == 0 ? "clean" : "FAILED");
    return failures == 0 ? 0 : 1;
}
