// Exports of the definitions family: declaring which collision types collide, and asking
// whether an object's type is used with a shape kind.
#include "vorcollide.h"

#include "body/registry.h"
#include "core/definitions.h"
#include "core/error_report.h"
#include "pass/overlap_recovery.h"

using namespace vor;

VOR_API void VOR_CALL SetCollisionsVOR(uint32_t src, uint32_t dst, uint32_t method,
                                       uint32_t response, uint32_t dynamic) {
    AddDefinition(src, dst, method, response, dynamic);
}

VOR_API int32_t VOR_CALL CheckShapeVOR(uint32_t obj, int32_t kind) {
    if (BadObjNumber(obj)) {
        return 0;
    }
    return CheckShape(ObjectTable[obj]->body, kind);
}

VOR_API void VOR_CALL SetOverlapRecoveryVOR(int32_t src, int32_t dst, int32_t flag) {
    SetOverlapRecovery(src, dst, flag);
    vor::FreeRecoveryScratchWhenOff();
}
