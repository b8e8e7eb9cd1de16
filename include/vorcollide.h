/*
 * vorcollide: a 3D collision library for games, loaded by a host runtime as a plug-in module.
 *
 * Every export is a flat C function with 32-bit arguments. Integers named obj, type, method,
 * index are range-checked as unsigned. Functions documented as "returns float bits" hand back the
 * 32-bit pattern of a float in an int32_t; decode it with vorFloatFromBits().
 *
 * Bad calls (object numbers outside 1..5000 or unknown, invalid settings) change nothing and
 * answer 0; after StartCollisionDebugVOR() the first one is reported through the error handler.
 *
 * Known limits, part of the design:
 * - Meshes are never swept: only ellipsoids are. With dynamic response 1 a mesh that moves more
 *   than a body's radius in one frame passes through it; with 2 to 4 the start of every body swept
 *   against it is carried along with the mesh, and riders (contact normal y above 0.3 in the pass
 *   before) have their end carried too (and yaw, pitch, roll turned with 3).
 * - The mesh bounds test uses a cube around the mesh body's position built from its scaled local
 *   bounds, ignoring rotation: a rotated mesh reaching beyond that cube can be missed there.
 * - Triangles are hit from their front only (the side their corner order faces, counter-clockwise
 *   seen from the front in a right-handed view).
 * - One pass runs at most VORCOLLIDE_MAX_PASS_ITERATIONS sweep iterations and stops there. Finite
 *   input can reach it, not only NaN or infinities: a body asked to slide far along a finely
 *   faceted concave wall in one step takes about one iteration per facet it turns at. Keep each
 *   frame's requested move near the body's own size.
 */
#ifndef VORCOLLIDE_H
#define VORCOLLIDE_H

#include <stdint.h>
#include <string.h>

#define VORCOLLIDE_VERSION_MAJOR 1
#define VORCOLLIDE_VERSION_MINOR 4
#define VORCOLLIDE_VERSION_PATCH 0
#define VORCOLLIDE_VERSION_STRING "1.4.0"
#define VORCOLLIDE_VERSIONNUM(major, minor, patch) ((major) * 10000 + (minor) * 100 + (patch))
#define VORCOLLIDE_VERSION                                                                         \
    VORCOLLIDE_VERSIONNUM(VORCOLLIDE_VERSION_MAJOR, VORCOLLIDE_VERSION_MINOR,                      \
                          VORCOLLIDE_VERSION_PATCH)

/* SetOverlapRecoveryVOR with both types VOR_ALL_TYPES: the system-wide switch. */
#define VOR_ALL_TYPES (-1)

/* Bound on the sweep iterations of one RunCollisionVOR; long slides along faceted walls reach it. */
#define VORCOLLIDE_MAX_PASS_ITERATIONS 1000

/* ---------------------------------------------------------------------------------------------
 * Codes: the numbers the host passes to say what kind of thing it means. Any other value is
 * rejected where a range is given (and reported after StartCollisionDebugVOR).
 * ------------------------------------------------------------------------------------------- */
/* Shape kinds (AddObjShapeVOR, CheckShapeVOR, CollisionHitShape, the ray kinds): what a body is
 * made of. Ellipsoids are the only shapes that move through a sweep; meshes are hit. */
#define VOR_SHAPE_ELLIPSOID 1 /* axis-aligned ellipsoid with radii and an offset */
#define VOR_SHAPE_MESH 2      /* triangles in the body's local coordinates, hit from the front */

/* Definition methods (SetCollisionsVOR): what the moving ellipsoids of the source type hit. */
#define VOR_METHOD_ELLIPSOIDS 1 /* the ellipsoids of the destination type */
#define VOR_METHOD_MESHES 2     /* the meshes of the destination type */

/* Response methods (SetCollisionsVOR): what a moving body does at its nearest contact. */
#define VOR_RESPONSE_STOP 1           /* stops at the contact */
#define VOR_RESPONSE_SLIDE 2          /* slides on along the surface */
#define VOR_RESPONSE_STAND 3          /* slides, and stands on ground steeper than min slope */
#define VOR_RESPONSE_STAND_DROP_FALL 4 /* as 3, dropping the fall first and keeping full speed */
#define VOR_RESPONSE_REPORT_ONLY 5    /* passes through; the contact is only reported */

/* Dynamic responses (SetCollisionsVOR, method 2): how a moving mesh acts on the bodies swept
 * against it in the first iteration of a pass. Riders stood on the mesh in the pass before
 * (contact normal y above 0.3). */
#define VOR_DYNAMIC_STILL 1          /* nothing is carried: the mesh is treated as still */
#define VOR_DYNAMIC_CARRY_START 2    /* the start of every swept body moves with the mesh */
#define VOR_DYNAMIC_CARRY_TURN 3     /* as 2; riders' ends are carried and turned with the mesh */
#define VOR_DYNAMIC_CARRY_RIDERS 4   /* as 2; riders' ends are carried, never turned */

/* Concave modes (SetConcaveModeVOR, default 3): when a slide into a surface met earlier in the
 * same pass folds along the crease of the two surfaces instead of sliding on the new one. "Leans
 * with" means an earlier contact normal has a positive dot product with the new normal; modes 3
 * to 6 decide only then, and otherwise fold as 2 does. */
#define VOR_CONCAVE_NEVER 1         /* never folds: always slides on the new surface */
#define VOR_CONCAVE_UNLESS_LEANING 2 /* folds unless an earlier normal leans with the new one */
#define VOR_CONCAVE_FACES 3         /* edge contacts slide; face contacts fold unless the slide
                                       direction leaves one of the earlier faces */
#define VOR_CONCAVE_FACES_EDGES 4   /* as 3, and edge contacts fold when the slide would enter an
                                       earlier face whose plane they lie off */
#define VOR_CONCAVE_SLIDE_FIRST 5   /* slides if the slide leaves any earlier surface, else folds */
#define VOR_CONCAVE_FOLD_FIRST 6    /* folds if the slide enters any earlier surface, else slides */
#define VOR_CONCAVE_ALWAYS 7        /* always folds with the earlier contact */

/* Update flags (UpdateObjVOR; only the low byte counts): how the pending pose is applied. */
#define VOR_UPDATE_SWEEP 0 /* lowers y by gravity; the next pass sweeps from the resolved position */
#define VOR_UPDATE_PLACE 1 /* places the body at once: no gravity, no sweep, results dropped */
/* any other low byte moves the body without asking the next pass to sweep */

#ifdef __cplusplus
#define VOR_EXTERN_C extern "C"
#else
#define VOR_EXTERN_C
#endif

#if defined(_WIN32)
#if defined(VORCOLLIDE_BUILDING)
#define VOR_API VOR_EXTERN_C __declspec(dllexport)
#else
#define VOR_API VOR_EXTERN_C
#endif
#define VOR_CALL __cdecl
#else
#define VOR_API VOR_EXTERN_C __attribute__((visibility("default")))
#define VOR_CALL
#endif

/* Decodes a "returns float bits" result. */
static inline float vorFloatFromBits(int32_t bits) {
    float f;
    memcpy(&f, &bits, sizeof f);
    return f;
}

/* ---------------------------------------------------------------------------------------------
 * Lifecycle and settings
 * ------------------------------------------------------------------------------------------- */
VOR_API void VOR_CALL StartCollisionVOR(void);          /* marker only; the module works from load */
VOR_API void VOR_CALL StartCollisionDebugVOR(void);     /* arms the error box for the next error */
VOR_API void VOR_CALL StopCollisionVOR(void);           /* frees everything, disarms; keeps settings */
VOR_API void VOR_CALL SetEllipOptimizeVOR(int32_t flag); /* non-zero: 1 (default 1) */
VOR_API void VOR_CALL SetEllipSizeModeVOR(int32_t mode); /* 0 smaller radii, non-zero larger (0) */
VOR_API void VOR_CALL SetConcaveModeVOR(uint32_t mode);  /* VOR_CONCAVE_*, default 3 */
/* Threads a pass may use, the host's included; default 1: the module starts no thread. With more,
 * a pass sweeps the bodies against meshes on a pool the module starts on first use and
 * StopCollisionVOR ends; every result stays what one thread gives, to the bit. Builds without threads
 * (WebAssembly) keep 1. count below 1: 1; above 64: 64 */
VOR_API void VOR_CALL SetWorkerCountVOR(int32_t count);

/* ---------------------------------------------------------------------------------------------
 * Objects
 * ------------------------------------------------------------------------------------------- */
VOR_API void VOR_CALL NewCollObjVOR(uint32_t obj, uint32_t type); /* obj 1..5000, type 0..100 */
VOR_API void VOR_CALL FreeObjVOR(uint32_t obj);                   /* deactivates and destroys */
VOR_API void VOR_CALL ActivateObjVOR(uint32_t obj);   /* (re)activates; moves to end of list */
VOR_API void VOR_CALL DeActivateObjVOR(uint32_t obj); /* drops its motion records too */
VOR_API void VOR_CALL AddObjShapeVOR(uint32_t obj, int32_t kind); /* VOR_SHAPE_* */

/* ---------------------------------------------------------------------------------------------
 * Definitions
 * ------------------------------------------------------------------------------------------- */
/* src, dst 0..100; method VOR_METHOD_*; response VOR_RESPONSE_*; dynamic VOR_DYNAMIC_* */
VOR_API void VOR_CALL SetCollisionsVOR(uint32_t src, uint32_t dst, uint32_t method,
                                       uint32_t response, uint32_t dynamic);
VOR_API int32_t VOR_CALL CheckShapeVOR(uint32_t obj, int32_t kind); /* 1 if a definition uses it */
/* Overlap recovery, off by default: bodies of definitions with responses 2 to 4 that end a pass
 * inside an ellipsoid or mesh they collide with are moved out by a swept push, at most half their
 * smallest radius a pass. src, dst 0..100: the definitions declared so far from src to dst; both
 * VOR_ALL_TYPES: every definition, kept across Stop. flag non-zero: 1 */
VOR_API void VOR_CALL SetOverlapRecoveryVOR(int32_t src, int32_t dst, int32_t flag);

/* ---------------------------------------------------------------------------------------------
 * Shape parameters
 * ------------------------------------------------------------------------------------------- */
VOR_API void VOR_CALL SetObjRadiusVOR(uint32_t obj, float rx, float ry, float rz); /* all > 0 */
VOR_API void VOR_CALL SetEllipOffsetVOR(uint32_t obj, float x, float y, float z);  /* world units */
VOR_API void VOR_CALL SetObjGravityVOR(uint32_t obj, float gravity); /* y units per update */
VOR_API void VOR_CALL SetObjMinSlopeVOR(uint32_t obj, float slope);  /* normal y, default 0.3 */

/* ---------------------------------------------------------------------------------------------
 * Transforms
 * ------------------------------------------------------------------------------------------- */
VOR_API void VOR_CALL SetObjPosVOR(float x, float y, float z);            /* pending position */
VOR_API void VOR_CALL SetObjRotVOR(float pitch, float yaw, float roll);   /* pending, degrees */
VOR_API void VOR_CALL SetObjScaleVOR(uint32_t obj, float sx, float sy, float sz); /* percent */
VOR_API void VOR_CALL UpdateObjVOR(uint32_t obj, int32_t flag); /* VOR_UPDATE_* */
VOR_API int32_t VOR_CALL PeekObjXVOR(uint32_t obj);  /* resolved x; returns float bits */
VOR_API int32_t VOR_CALL PeekObjYVOR(uint32_t obj);  /* resolved y; returns float bits */
VOR_API int32_t VOR_CALL PeekObjZVOR(uint32_t obj);  /* resolved z; returns float bits */
VOR_API int32_t VOR_CALL PeekObjPitch(uint32_t obj); /* degrees; returns float bits */
VOR_API int32_t VOR_CALL PeekObjYaw(uint32_t obj);   /* degrees; returns float bits */
VOR_API int32_t VOR_CALL PeekObjRoll(uint32_t obj);  /* degrees; returns float bits */

/* ---------------------------------------------------------------------------------------------
 * Meshes
 * ------------------------------------------------------------------------------------------- */
VOR_API void VOR_CALL AddMeshTri(uint32_t obj, float x1, float y1, float z1, float x2, float y2,
                                 float z2, float x3, float y3, float z3); /* local coordinates */
/* block: {int32 any; uint32 vertexSize; int32 vertexCount; vertices (x, y, z first)...} */
VOR_API void VOR_CALL AddMeshVOR(uint32_t obj, const void *block);

/* ---------------------------------------------------------------------------------------------
 * Angles
 * ------------------------------------------------------------------------------------------- */
VOR_API int32_t VOR_CALL Vec2Yaw(float x, float y, float z);   /* 0..180 degrees; float bits */
VOR_API int32_t VOR_CALL Vec2Pitch(float x, float y, float z); /* 0..90 degrees; float bits */

/* ---------------------------------------------------------------------------------------------
 * Pass
 * ------------------------------------------------------------------------------------------- */
VOR_API void VOR_CALL RunCollisionVOR(void); /* one collision pass over every body */

/* ---------------------------------------------------------------------------------------------
 * Results
 * ------------------------------------------------------------------------------------------- */
VOR_API void VOR_CALL ResetCollisionStackVOR(void);     /* cursor to the first active object */
VOR_API int32_t VOR_CALL PeekCollisionStackVOR(void);   /* next active object number, or 0 */
VOR_API int32_t VOR_CALL CountCollisionsVOR(uint32_t obj); /* contacts of the last pass */
/* index 1..count; axis 1 x, 2 y, 3 z; return float bits */
VOR_API int32_t VOR_CALL CollisionHitPos(uint32_t obj, uint32_t index, int32_t axis);
VOR_API int32_t VOR_CALL CollisionHitNorm(uint32_t obj, uint32_t index, int32_t axis);
VOR_API int32_t VOR_CALL CollisionHitObj(uint32_t obj, uint32_t index);   /* object hit, or 0 */
VOR_API int32_t VOR_CALL CollisionHitType(uint32_t obj, uint32_t index);  /* its type, or 0 */
VOR_API int32_t VOR_CALL CollisionHitShape(uint32_t obj, uint32_t index); /* 1 ellip, 2 mesh */
VOR_API int32_t VOR_CALL CollisionHitPoly(uint32_t obj, uint32_t index);  /* triangle 1.., or 0 */
/* corner 1..3, axis 1..3; world coordinates; returns float bits */
VOR_API int32_t VOR_CALL CollisionTriCorner(uint32_t obj, uint32_t index, int32_t corner,
                                            int32_t axis);

/* ---------------------------------------------------------------------------------------------
 * Rays
 * ------------------------------------------------------------------------------------------- */
/* kind 1 ellipsoid, 2 mesh; answers 1 on a hit; the nearest hit is read with RayHit* */
VOR_API int32_t VOR_CALL RayIntersectObjectVOR(uint32_t obj, int32_t kind, float sx, float sy,
                                               float sz, float ex, float ey, float ez);
VOR_API int32_t VOR_CALL RayIntersectTypeVOR(int32_t type, int32_t kind, float sx, float sy,
                                             float sz, float ex, float ey, float ez);
VOR_API int32_t VOR_CALL RayHitPosX(void);  /* returns float bits; 0 without a hit */
VOR_API int32_t VOR_CALL RayHitPosY(void);  /* returns float bits */
VOR_API int32_t VOR_CALL RayHitPosZ(void);  /* returns float bits */
VOR_API int32_t VOR_CALL RayHitNormX(void); /* returns float bits */
VOR_API int32_t VOR_CALL RayHitNormY(void); /* returns float bits */
VOR_API int32_t VOR_CALL RayHitNormZ(void); /* returns float bits */
VOR_API int32_t VOR_CALL RayHitDist(void);  /* world units from the start; returns float bits */
VOR_API int32_t VOR_CALL RayHitObjVOR(void);  /* object number hit, or 0 */
VOR_API int32_t VOR_CALL RayHitTypeVOR(void); /* collision type hit, or 0 */

/* ---------------------------------------------------------------------------------------------
 * Error handler
 * ------------------------------------------------------------------------------------------- */
/* Receives e.g. ("Invalid System Concave Setting: 0", "Collision Error", user) once per arming.
 * A null handler restores the default (MessageBoxA on Windows, one stderr line elsewhere). */
typedef void (*VorErrorHandler)(const char *text, const char *caption, void *user);
VOR_API void VOR_CALL SetErrorHandlerVOR(VorErrorHandler handler, void *user);

#endif /* VORCOLLIDE_H */
