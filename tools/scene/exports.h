// The export table of the plug-in module: every exported function by name, with the kinds of its
// 32-bit arguments and of its result, and the loader that resolves them all with dlsym. The tool
// reaches the library only through this table, so it doubles as a check of the host boundary.
#pragma once

#include <cstdint>
#include <string>

namespace vor::scene {

// Argument kinds: 'u' unsigned 32-bit, 'i' signed 32-bit, 'f' 32-bit float, 'b' the address of
// a host vertex block, 'h' an error handler with its user pointer. Result kinds: 'v' none,
// 'i' a 32-bit integer, 'f' float bits in a 32-bit integer.
#define VOR_SCENE_EXPORTS(X)                                                                       \
    X(StartCollisionVOR, "", 'v')                                                                  \
    X(StartCollisionDebugVOR, "", 'v')                                                             \
    X(StopCollisionVOR, "", 'v')                                                                   \
    X(SetEllipOptimizeVOR, "i", 'v')                                                               \
    X(SetEllipSizeModeVOR, "i", 'v')                                                               \
    X(SetConcaveModeVOR, "u", 'v')                                                                 \
    X(SetWorkerCountVOR, "i", 'v')                                                                 \
    X(NewCollObjVOR, "uu", 'v')                                                                    \
    X(FreeObjVOR, "u", 'v')                                                                        \
    X(ActivateObjVOR, "u", 'v')                                                                    \
    X(DeActivateObjVOR, "u", 'v')                                                                  \
    X(AddObjShapeVOR, "ui", 'v')                                                                   \
    X(SetCollisionsVOR, "uuuuu", 'v')                                                              \
    X(CheckShapeVOR, "ui", 'i')                                                                    \
    X(SetOverlapRecoveryVOR, "iii", 'v')                                                           \
    X(SetObjRadiusVOR, "ufff", 'v')                                                                \
    X(SetEllipOffsetVOR, "ufff", 'v')                                                              \
    X(SetObjGravityVOR, "uf", 'v')                                                                 \
    X(SetObjMinSlopeVOR, "uf", 'v')                                                                \
    X(SetObjPosVOR, "fff", 'v')                                                                    \
    X(SetObjRotVOR, "fff", 'v')                                                                    \
    X(SetObjScaleVOR, "ufff", 'v')                                                                 \
    X(UpdateObjVOR, "ui", 'v')                                                                     \
    X(PeekObjXVOR, "u", 'f')                                                                       \
    X(PeekObjYVOR, "u", 'f')                                                                       \
    X(PeekObjZVOR, "u", 'f')                                                                       \
    X(PeekObjPitch, "u", 'f')                                                                      \
    X(PeekObjYaw, "u", 'f')                                                                        \
    X(PeekObjRoll, "u", 'f')                                                                       \
    X(AddMeshTri, "ufffffffff", 'v')                                                               \
    X(AddMeshVOR, "ub", 'v')                                                                       \
    X(Vec2Yaw, "fff", 'f')                                                                         \
    X(Vec2Pitch, "fff", 'f')                                                                       \
    X(RunCollisionVOR, "", 'v')                                                                    \
    X(ResetCollisionStackVOR, "", 'v')                                                             \
    X(PeekCollisionStackVOR, "", 'i')                                                              \
    X(CountCollisionsVOR, "u", 'i')                                                                \
    X(CollisionHitPos, "uui", 'f')                                                                 \
    X(CollisionHitNorm, "uui", 'f')                                                                \
    X(CollisionHitObj, "uu", 'i')                                                                  \
    X(CollisionHitType, "uu", 'i')                                                                 \
    X(CollisionHitShape, "uu", 'i')                                                                \
    X(CollisionHitPoly, "uu", 'i')                                                                 \
    X(CollisionTriCorner, "uuii", 'f')                                                             \
    X(RayIntersectObjectVOR, "uiffffff", 'i')                                                      \
    X(RayIntersectTypeVOR, "iiffffff", 'i')                                                        \
    X(RayHitPosX, "", 'f')                                                                         \
    X(RayHitPosY, "", 'f')                                                                         \
    X(RayHitPosZ, "", 'f')                                                                         \
    X(RayHitNormX, "", 'f')                                                                        \
    X(RayHitNormY, "", 'f')                                                                        \
    X(RayHitNormZ, "", 'f')                                                                        \
    X(RayHitDist, "", 'f')                                                                         \
    X(RayHitObjVOR, "", 'i')                                                                       \
    X(RayHitTypeVOR, "", 'i')                                                                      \
    X(SetErrorHandlerVOR, "h", 'v')

enum ExportId {
#define VOR_SCENE_ENUM(name, args, result) k##name,
    VOR_SCENE_EXPORTS(VOR_SCENE_ENUM)
#undef VOR_SCENE_ENUM
        kExportCount
};

struct ExportSpec {
    const char *name;
    const char *args;
    char result;
};

extern const ExportSpec kExportSpecs[kExportCount];

// The error handler type of SetErrorHandlerVOR.
typedef void (*ErrorHandlerFn)(const char *text, const char *caption, void *user);

// A loaded module: the dlopen handle and one resolved address per export.
struct Module {
    void *handle = nullptr;
    void *functions[kExportCount] = {};
};

// Index of the export called name, or -1.
int FindExport(const std::string &name);

// Opens the module at path and resolves every export. On failure fills error with one line
// (the module that cannot be opened, or every missing export by name) and returns false.
bool LoadModule(const std::string &path, Module *module, std::string *error);
void UnloadModule(Module *module);

// Calls export id with its arguments as 32-bit words in declaration order ('b' and 'h'
// arguments take no word: they come in block, handler and user). Answers the 32-bit result,
// 0 for a void export.
int32_t InvokeExport(const Module &module, ExportId id, const uint32_t *words, const void *block,
                     ErrorHandlerFn handler, void *user);

// Number of 32-bit words that export id takes.
int WordCount(ExportId id);

} // namespace vor::scene
