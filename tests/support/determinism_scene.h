/*
 * A fixed multi-body ellipsoid scene driven only through the exports, and a 64-bit FNV-1a hash of
 * the bits of every value it reads back (positions, contact counts, every contact query, the
 * collision stack). Plain C, dependent on vorcollide.h and <stdint.h> alone, so that a host
 * program can run it against the loaded module through a table of function pointers; the scene
 * uses no libm, so the hash depends on the library's arithmetic only.
 */
#ifndef VORCOLLIDE_DETERMINISM_SCENE_H
#define VORCOLLIDE_DETERMINISM_SCENE_H

#include <stdint.h>

#include "vorcollide.h"

typedef struct VorSceneApi {
    void(VOR_CALL *StopCollision)(void);
    void(VOR_CALL *SetEllipOptimize)(int32_t);
    void(VOR_CALL *SetEllipSizeMode)(int32_t);
    void(VOR_CALL *SetConcaveMode)(uint32_t);
    void(VOR_CALL *NewCollObj)(uint32_t, uint32_t);
    void(VOR_CALL *ActivateObj)(uint32_t);
    void(VOR_CALL *AddObjShape)(uint32_t, int32_t);
    void(VOR_CALL *SetCollisions)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
    void(VOR_CALL *SetObjRadius)(uint32_t, float, float, float);
    void(VOR_CALL *SetEllipOffset)(uint32_t, float, float, float);
    void(VOR_CALL *SetObjMinSlope)(uint32_t, float);
    void(VOR_CALL *SetObjPos)(float, float, float);
    void(VOR_CALL *SetObjRot)(float, float, float);
    void(VOR_CALL *UpdateObj)(uint32_t, int32_t);
    int32_t(VOR_CALL *PeekObjX)(uint32_t);
    int32_t(VOR_CALL *PeekObjY)(uint32_t);
    int32_t(VOR_CALL *PeekObjZ)(uint32_t);
    void(VOR_CALL *RunCollision)(void);
    void(VOR_CALL *ResetCollisionStack)(void);
    int32_t(VOR_CALL *PeekCollisionStack)(void);
    int32_t(VOR_CALL *CountCollisions)(uint32_t);
    int32_t(VOR_CALL *CollisionHitPos)(uint32_t, uint32_t, int32_t);
    int32_t(VOR_CALL *CollisionHitNorm)(uint32_t, uint32_t, int32_t);
    int32_t(VOR_CALL *CollisionHitObj)(uint32_t, uint32_t);
    int32_t(VOR_CALL *CollisionHitType)(uint32_t, uint32_t);
    int32_t(VOR_CALL *CollisionHitShape)(uint32_t, uint32_t);
    int32_t(VOR_CALL *CollisionHitPoly)(uint32_t, uint32_t);
    int32_t(VOR_CALL *CollisionTriCorner)(uint32_t, uint32_t, int32_t, int32_t);
} VorSceneApi;

#define VOR_SCENE_MOVERS 10
#define VOR_SCENE_PILLARS 4
#define VOR_SCENE_OBJECTS (VOR_SCENE_MOVERS + VOR_SCENE_PILLARS)
#define VOR_SCENE_FRAMES 300

static const uint64_t kVorFnvOffset = 14695981039346656037ull;
static const uint64_t kVorFnvPrime = 1099511628211ull;

/* Folds the four bytes of v, lowest first, into the hash. */
static inline uint64_t vorSceneHashWord(uint64_t hash, int32_t v) {
    uint32_t u = (uint32_t)v;
    int i;
    for (i = 0; i < 4; ++i) {
        hash ^= (uint64_t)((u >> (8 * i)) & 0xffu);
        hash *= kVorFnvPrime;
    }
    return hash;
}

static inline float vorSceneFloat(int32_t bits) {
    return vorFloatFromBits(bits);
}

/* Everything the host can read back after a pass, folded into the hash. */
static inline uint64_t vorSceneHashFrame(const VorSceneApi *api, uint64_t hash) {
    uint32_t n;
    int32_t k, axis, count, peeked;
    for (n = 1; n <= VOR_SCENE_OBJECTS; ++n) {
        hash = vorSceneHashWord(hash, api->PeekObjX(n));
        hash = vorSceneHashWord(hash, api->PeekObjY(n));
        hash = vorSceneHashWord(hash, api->PeekObjZ(n));
        count = api->CountCollisions(n);
        hash = vorSceneHashWord(hash, count);
        for (k = 1; k <= count; ++k) {
            for (axis = 1; axis <= 3; ++axis) {
                hash = vorSceneHashWord(hash, api->CollisionHitPos(n, (uint32_t)k, axis));
                hash = vorSceneHashWord(hash, api->CollisionHitNorm(n, (uint32_t)k, axis));
                hash = vorSceneHashWord(hash, api->CollisionTriCorner(n, (uint32_t)k, 1, axis));
            }
            hash = vorSceneHashWord(hash, api->CollisionHitObj(n, (uint32_t)k));
            hash = vorSceneHashWord(hash, api->CollisionHitType(n, (uint32_t)k));
            hash = vorSceneHashWord(hash, api->CollisionHitShape(n, (uint32_t)k));
            hash = vorSceneHashWord(hash, api->CollisionHitPoly(n, (uint32_t)k));
        }
    }
    api->ResetCollisionStack();
    do {
        peeked = api->PeekCollisionStack();
        hash = vorSceneHashWord(hash, peeked);
    } while (peeked != 0);
    return hash;
}

/*
 * Runs the scene from an empty system and answers the hash. Ten movers of type 1 bounce inside a
 * box of 10 units around four pillars of type 2; movers slide on each other, stand on the
 * pillars (response 3) and also report touching them (response 5). The settings change twice.
 */
static inline uint64_t vorRunDeterminismScene(const VorSceneApi *api) {
    float vx[VOR_SCENE_MOVERS], vy[VOR_SCENE_MOVERS], vz[VOR_SCENE_MOVERS];
    uint64_t hash = kVorFnvOffset;
    uint32_t n;
    int frame, i;

    api->StopCollision();
    api->SetEllipOptimize(1);
    api->SetEllipSizeMode(0);
    api->SetConcaveMode(3);
    api->SetCollisions(1, 1, 1, 2, 1);
    api->SetCollisions(1, 2, 1, 3, 1);
    api->SetCollisions(1, 2, 1, 5, 1);
    for (i = 0; i < VOR_SCENE_MOVERS; ++i) {
        n = (uint32_t)(i + 1);
        api->NewCollObj(n, 1);
        api->AddObjShape(n, 1);
        api->SetObjRadius(n, 0.5f + 0.125f * (float)(i % 4), 0.75f, 0.5f + 0.25f * (float)(i % 3));
        if (i % 5 == 4) {
            api->SetEllipOffset(n, 0.0f, 0.25f, 0.0f);
        }
        api->SetObjMinSlope(n, 0.25f + 0.05f * (float)(i % 3));
        api->ActivateObj(n);
        api->SetObjPos(-9.0f + 2.0f * (float)i, 0.5f * (float)(i % 3), 4.0f - (float)(i % 7));
        api->SetObjRot(0.0f, 0.0f, 0.0f);
        api->UpdateObj(n, 1);
        vx[i] = 0.31f + 0.07f * (float)(i % 5);
        vy[i] = 0.05f * (float)((i % 3) - 1);
        vz[i] = -0.23f + 0.11f * (float)(i % 4);
        if (i % 2 == 1) {
            vx[i] = -vx[i];
        }
    }
    for (i = 0; i < VOR_SCENE_PILLARS; ++i) {
        n = (uint32_t)(VOR_SCENE_MOVERS + i + 1);
        api->NewCollObj(n, 2);
        api->AddObjShape(n, 1);
        api->SetObjRadius(n, 1.5f, 3.0f, 1.0f + 0.5f * (float)i);
        api->ActivateObj(n);
        api->SetObjPos(i < 2 ? -3.0f : 3.0f, -1.0f, i % 2 == 0 ? -3.0f : 3.0f);
        api->SetObjRot(0.0f, 0.0f, 0.0f);
        api->UpdateObj(n, 1);
    }

    for (frame = 0; frame < VOR_SCENE_FRAMES; ++frame) {
        if (frame == 100) {
            api->SetEllipOptimize(0);
        }
        if (frame == 200) {
            api->SetConcaveMode(7);
            api->SetEllipSizeMode(1);
        }
        for (i = 0; i < VOR_SCENE_MOVERS; ++i) {
            float x, y, z;
            n = (uint32_t)(i + 1);
            x = vorSceneFloat(api->PeekObjX(n));
            y = vorSceneFloat(api->PeekObjY(n));
            z = vorSceneFloat(api->PeekObjZ(n));
            /* Bounce off the walls of the box. */
            if ((x > 10.0f && vx[i] > 0.0f) || (x < -10.0f && vx[i] < 0.0f)) {
                vx[i] = -vx[i];
            }
            if ((y > 3.0f && vy[i] > 0.0f) || (y < -3.0f && vy[i] < 0.0f)) {
                vy[i] = -vy[i];
            }
            if ((z > 10.0f && vz[i] > 0.0f) || (z < -10.0f && vz[i] < 0.0f)) {
                vz[i] = -vz[i];
            }
            api->SetObjPos(x + vx[i], y + vy[i], z + vz[i]);
            api->SetObjRot(0.0f, 0.0f, 0.0f);
            api->UpdateObj(n, 0);
        }
        api->RunCollision();
        hash = vorSceneHashFrame(api, hash);
    }
    return hash;
}

#ifndef VOR_SCENE_NO_DIRECT_API
/* The table filled with the exports this program links against. */
static inline VorSceneApi vorSceneDirectApi(void) {
    VorSceneApi api;
    api.StopCollision = StopCollisionVOR;
    api.SetEllipOptimize = SetEllipOptimizeVOR;
    api.SetEllipSizeMode = SetEllipSizeModeVOR;
    api.SetConcaveMode = SetConcaveModeVOR;
    api.NewCollObj = NewCollObjVOR;
    api.ActivateObj = ActivateObjVOR;
    api.AddObjShape = AddObjShapeVOR;
    api.SetCollisions = SetCollisionsVOR;
    api.SetObjRadius = SetObjRadiusVOR;
    api.SetEllipOffset = SetEllipOffsetVOR;
    api.SetObjMinSlope = SetObjMinSlopeVOR;
    api.SetObjPos = SetObjPosVOR;
    api.SetObjRot = SetObjRotVOR;
    api.UpdateObj = UpdateObjVOR;
    api.PeekObjX = PeekObjXVOR;
    api.PeekObjY = PeekObjYVOR;
    api.PeekObjZ = PeekObjZVOR;
    api.RunCollision = RunCollisionVOR;
    api.ResetCollisionStack = ResetCollisionStackVOR;
    api.PeekCollisionStack = PeekCollisionStackVOR;
    api.CountCollisions = CountCollisionsVOR;
    api.CollisionHitPos = CollisionHitPos;
    api.CollisionHitNorm = CollisionHitNorm;
    api.CollisionHitObj = CollisionHitObj;
    api.CollisionHitType = CollisionHitType;
    api.CollisionHitShape = CollisionHitShape;
    api.CollisionHitPoly = CollisionHitPoly;
    api.CollisionTriCorner = CollisionTriCorner;
    return api;
}
#endif

#endif /* VORCOLLIDE_DETERMINISM_SCENE_H */
