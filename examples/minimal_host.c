/* The smallest host: loads the module at run time, finds each export by name, runs one pass. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef void (*VoidFn)(void);
typedef void (*NewObjFn)(uint32_t, uint32_t);
typedef void (*ObjFn)(uint32_t);
typedef void (*ShapeFn)(uint32_t, int32_t);
typedef void (*PosFn)(float, float, float);
typedef void (*UpdateFn)(uint32_t, int32_t);
typedef void (*SetCollFn)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
typedef int32_t (*PeekFn)(uint32_t);

static float bits_to_float(int32_t bits) { float f; memcpy(&f, &bits, 4); return f; }

int main(int argc, char **argv) {
    /* The soname: found through LD_LIBRARY_PATH, the program's rpath or the system's paths. */
    void *lib = dlopen(argc > 1 ? argv[1] : "libvorcollide.so.1", RTLD_NOW);
    if (!lib) { fprintf(stderr, "%s\n", dlerror()); return 1; }
    NewObjFn NewCollObjVOR = (NewObjFn)dlsym(lib, "NewCollObjVOR");
    ShapeFn AddObjShapeVOR = (ShapeFn)dlsym(lib, "AddObjShapeVOR");
    ObjFn ActivateObjVOR = (ObjFn)dlsym(lib, "ActivateObjVOR");
    SetCollFn SetCollisionsVOR = (SetCollFn)dlsym(lib, "SetCollisionsVOR");
    PosFn SetObjPosVOR = (PosFn)dlsym(lib, "SetObjPosVOR");
    UpdateFn UpdateObjVOR = (UpdateFn)dlsym(lib, "UpdateObjVOR");
    VoidFn RunCollisionVOR = (VoidFn)dlsym(lib, "RunCollisionVOR");
    PeekFn PeekObjXVOR = (PeekFn)dlsym(lib, "PeekObjXVOR");
    PeekFn CountCollisionsVOR = (PeekFn)dlsym(lib, "CountCollisionsVOR");

    /* Two unit ellipsoids of type 1; type 1 stops at type 1. */
    NewCollObjVOR(1, 1); AddObjShapeVOR(1, 1); ActivateObjVOR(1);
    NewCollObjVOR(2, 1); AddObjShapeVOR(2, 1); ActivateObjVOR(2);
    SetCollisionsVOR(1, 1, 1, 1, 1);           /* method 1 ellipsoids, response 1 stop */
    SetObjPosVOR(3, 0, 0); UpdateObjVOR(2, 1); /* place 2 at x = 3 without a sweep */
    SetObjPosVOR(4, 0, 0); UpdateObjVOR(1, 0); /* ask 1 to move from 0 to x = 4 */
    RunCollisionVOR();
    printf("x = %g, contacts = %d\n", bits_to_float(PeekObjXVOR(1)), CountCollisionsVOR(1));
    /* prints: x = 1, contacts = 1 */
    dlclose(lib);
    return 0;
}
