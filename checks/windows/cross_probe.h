/*
 * A probe of the arithmetic that most easily differs between platforms: rotated and scaled
 * meshes (sines and cosines of the rotation angles), rays against them, a pass against a turned
 * ramp, and the direction angles (arc cosines). It prints one line per value read back, as hex
 * bits, so the same probe run on Linux and on Windows can be compared line by line.
 * Plain C calling the exports by name: the Windows host maps those names to its
 * GetProcAddress pointers before including this file.
 */
#ifndef VORCOLLIDE_CROSS_PROBE_H
#define VORCOLLIDE_CROSS_PROBE_H

#include <stdint.h>
#include <stdio.h>

#include "vorcollide.h"

#define VOR_PROBE_STEPS 2000

/* Answers the number of lines written. */
static inline int vorCrossProbe(FILE *out) {
    int lines = 0;
    int i;

    StopCollisionVOR();
    SetEllipOptimizeVOR(1);
    SetEllipSizeModeVOR(0);
    SetConcaveModeVOR(3);

    /* A triangle turned about all three axes, hit by a ray straight down. */
    NewCollObjVOR(1, 1);
    AddObjShapeVOR(1, 2);
    AddMeshTri(1, -10, 0, -10, 0, 0, 10, 10, 0, -10);
    ActivateObjVOR(1);
    for (i = 0; i < VOR_PROBE_STEPS; ++i) {
        const float a = -180.0f + 0.18f * (float)i;
        SetObjScaleVOR(1, 100.0f + 0.01f * (float)i, 100.0f, 75.0f);
        SetObjPosVOR(0.25f, 0.0f, 0.5f);
        SetObjRotVOR(0.25f * a, 0.5f * a, 0.125f * a);
        UpdateObjVOR(1, 1);
        RayIntersectObjectVOR(1, 2, 0.1f, 5.0f, 0.2f, 0.1f, -5.0f, 0.2f);
        fprintf(out, "ray %d %08x %08x %08x %08x %08x %08x %08x\n", i, (unsigned)RayHitPosX(),
                (unsigned)RayHitPosY(), (unsigned)RayHitPosZ(), (unsigned)RayHitNormX(),
                (unsigned)RayHitNormY(), (unsigned)RayHitNormZ(), (unsigned)RayHitDist());
        fprintf(out, "pose %d %08x %08x %08x\n", i, (unsigned)PeekObjPitch(1),
                (unsigned)PeekObjYaw(1), (unsigned)PeekObjRoll(1));
        lines += 2;
    }

    /* An ellipsoid sliding down a ramp turned a little further every frame. */
    SetCollisionsVOR(2, 1, 2, 2, 1);
    NewCollObjVOR(2, 2);
    AddObjShapeVOR(2, 1);
    SetObjRadiusVOR(2, 0.5f, 0.75f, 0.5f);
    ActivateObjVOR(2);
    SetObjPosVOR(0.0f, 2.0f, 0.0f);
    SetObjRotVOR(0.0f, 0.0f, 0.0f);
    UpdateObjVOR(2, 1);
    for (i = 0; i < VOR_PROBE_STEPS / 10; ++i) {
        float x, y, z;
        SetObjScaleVOR(1, 100.0f, 100.0f, 100.0f);
        SetObjPosVOR(0.0f, 0.0f, 0.0f);
        SetObjRotVOR(10.0f + 0.07f * (float)i, 3.0f * (float)i, 5.0f);
        UpdateObjVOR(1, 1);
        x = vorFloatFromBits(PeekObjXVOR(2));
        y = vorFloatFromBits(PeekObjYVOR(2));
        z = vorFloatFromBits(PeekObjZVOR(2));
        SetObjPosVOR(x + 0.05f, y - 0.1f, z + 0.03f);
        SetObjRotVOR(0.0f, 0.0f, 0.0f);
        UpdateObjVOR(2, 0);
        RunCollisionVOR();
        fprintf(out, "pass %d %08x %08x %08x %ld", i, (unsigned)PeekObjXVOR(2),
                (unsigned)PeekObjYVOR(2), (unsigned)PeekObjZVOR(2), (long)CountCollisionsVOR(2));
        if (CountCollisionsVOR(2) > 0) {
            fprintf(out, " %08x %08x %08x %ld", (unsigned)CollisionHitNorm(2, 1, 1),
                    (unsigned)CollisionHitNorm(2, 1, 2), (unsigned)CollisionHitNorm(2, 1, 3),
                    (long)CollisionHitPoly(2, 1));
        }
        fprintf(out, "\n");
        ++lines;
    }

    /* Direction angles of vectors all around. */
    for (i = 0; i < VOR_PROBE_STEPS; ++i) {
        const float t = -1.0f + 0.001f * (float)i;
        fprintf(out, "angle %d %08x %08x\n", i, (unsigned)Vec2Yaw(t, 0.5f, 1.0f - t * t),
                (unsigned)Vec2Pitch(t * 3.0f, 1.0f - t, 0.25f));
        ++lines;
    }
    StopCollisionVOR();
    return lines;
}

#endif /* VORCOLLIDE_CROSS_PROBE_H */
