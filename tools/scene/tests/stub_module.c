/* A stand-in module for the tests of vorcollide-scene: it exports every function of the host
 * boundary except RayHitDist, so that the program must name that one export as missing. */
#include <stdint.h>

void StartCollisionVOR(void) {}
void StartCollisionDebugVOR(void) {}
void StopCollisionVOR(void) {}
void SetEllipOptimizeVOR(int32_t a0) {
    (void)a0;
}
void SetEllipSizeModeVOR(int32_t a0) {
    (void)a0;
}
void SetConcaveModeVOR(uint32_t a0) {
    (void)a0;
}
void NewCollObjVOR(uint32_t a0, uint32_t a1) {
    (void)a0;
    (void)a1;
}
void FreeObjVOR(uint32_t a0) {
    (void)a0;
}
void ActivateObjVOR(uint32_t a0) {
    (void)a0;
}
void DeActivateObjVOR(uint32_t a0) {
    (void)a0;
}
void AddObjShapeVOR(uint32_t a0, int32_t a1) {
    (void)a0;
    (void)a1;
}
void SetCollisionsVOR(uint32_t a0, uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4) {
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    (void)a4;
}
int32_t CheckShapeVOR(uint32_t a0, int32_t a1) {
    (void)a0;
    (void)a1;
    return 0;
}
void SetOverlapRecoveryVOR(int32_t a0, int32_t a1, int32_t a2) {
    (void)a0;
    (void)a1;
    (void)a2;
}
void SetWorkerCountVOR(int32_t a0) {
    (void)a0;
}
void SetObjRadiusVOR(uint32_t a0, float a1, float a2, float a3) {
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
}
void SetEllipOffsetVOR(uint32_t a0, float a1, float a2, float a3) {
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
}
void SetObjGravityVOR(uint32_t a0, float a1) {
    (void)a0;
    (void)a1;
}
void SetObjMinSlopeVOR(uint32_t a0, float a1) {
    (void)a0;
    (void)a1;
}
void SetObjPosVOR(float a0, float a1, float a2) {
    (void)a0;
    (void)a1;
    (void)a2;
}
void SetObjRotVOR(float a0, float a1, float a2) {
    (void)a0;
    (void)a1;
    (void)a2;
}
void SetObjScaleVOR(uint32_t a0, float a1, float a2, float a3) {
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
}
void UpdateObjVOR(uint32_t a0, int32_t a1) {
    (void)a0;
    (void)a1;
}
int32_t PeekObjXVOR(uint32_t a0) {
    (void)a0;
    return 0;
}
int32_t PeekObjYVOR(uint32_t a0) {
    (void)a0;
    return 0;
}
int32_t PeekObjZVOR(uint32_t a0) {
    (void)a0;
    return 0;
}
int32_t PeekObjPitch(uint32_t a0) {
    (void)a0;
    return 0;
}
int32_t PeekObjYaw(uint32_t a0) {
    (void)a0;
    return 0;
}
int32_t PeekObjRoll(uint32_t a0) {
    (void)a0;
    return 0;
}
void AddMeshTri(uint32_t a0, float a1, float a2, float a3, float a4, float a5, float a6, float a7,
                float a8, float a9) {
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    (void)a4;
    (void)a5;
    (void)a6;
    (void)a7;
    (void)a8;
    (void)a9;
}
void AddMeshVOR(uint32_t a0, const void *a1) {
    (void)a0;
    (void)a1;
}
int32_t Vec2Yaw(float a0, float a1, float a2) {
    (void)a0;
    (void)a1;
    (void)a2;
    return 0;
}
int32_t Vec2Pitch(float a0, float a1, float a2) {
    (void)a0;
    (void)a1;
    (void)a2;
    return 0;
}
void RunCollisionVOR(void) {}
void ResetCollisionStackVOR(void) {}
int32_t PeekCollisionStackVOR(void) {
    return 0;
}
int32_t CountCollisionsVOR(uint32_t a0) {
    (void)a0;
    return 0;
}
int32_t CollisionHitPos(uint32_t a0, uint32_t a1, int32_t a2) {
    (void)a0;
    (void)a1;
    (void)a2;
    return 0;
}
int32_t CollisionHitNorm(uint32_t a0, uint32_t a1, int32_t a2) {
    (void)a0;
    (void)a1;
    (void)a2;
    return 0;
}
int32_t CollisionHitObj(uint32_t a0, uint32_t a1) {
    (void)a0;
    (void)a1;
    return 0;
}
int32_t CollisionHitType(uint32_t a0, uint32_t a1) {
    (void)a0;
    (void)a1;
    return 0;
}
int32_t CollisionHitShape(uint32_t a0, uint32_t a1) {
    (void)a0;
    (void)a1;
    return 0;
}
int32_t CollisionHitPoly(uint32_t a0, uint32_t a1) {
    (void)a0;
    (void)a1;
    return 0;
}
int32_t CollisionTriCorner(uint32_t a0, uint32_t a1, int32_t a2, int32_t a3) {
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    return 0;
}
int32_t RayIntersectObjectVOR(uint32_t a0, int32_t a1, float a2, float a3, float a4, float a5,
                              float a6, float a7) {
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    (void)a4;
    (void)a5;
    (void)a6;
    (void)a7;
    return 0;
}
int32_t RayIntersectTypeVOR(int32_t a0, int32_t a1, float a2, float a3, float a4, float a5,
                            float a6, float a7) {
    (void)a0;
    (void)a1;
    (void)a2;
    (void)a3;
    (void)a4;
    (void)a5;
    (void)a6;
    (void)a7;
    return 0;
}
int32_t RayHitPosX(void) {
    return 0;
}
int32_t RayHitPosY(void) {
    return 0;
}
int32_t RayHitPosZ(void) {
    return 0;
}
int32_t RayHitNormX(void) {
    return 0;
}
int32_t RayHitNormY(void) {
    return 0;
}
int32_t RayHitNormZ(void) {
    return 0;
}
int32_t RayHitObjVOR(void) {
    return 0;
}
int32_t RayHitTypeVOR(void) {
    return 0;
}
void SetErrorHandlerVOR(void (*a0)(const char *, const char *, void *), void *a1) {
    (void)a0;
    (void)a1;
}
