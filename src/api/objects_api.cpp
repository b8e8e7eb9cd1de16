// Exports of the objects family: creation, destruction, activation and shapes. Every command
// validates the object number before it changes anything.
#include "vorcollide.h"

#include "body/registry.h"
#include "core/error_report.h"
#include "core/messages.h"
#include "core/thresholds.h"

using namespace vor;

VOR_API void VOR_CALL NewCollObjVOR(uint32_t obj, uint32_t type) {
    // The number may be free, so this is a range check only, with the same text.
    if (obj > kMaxObjectNumber || obj < 1) {
        ReportError(kMsgObjectOutOfRange, obj);
        return;
    }
    if (type > kMaxCollisionType) {
        ReportError(kMsgInvalidType, type);
        return;
    }
    CreateObject(obj, type);
}

VOR_API void VOR_CALL FreeObjVOR(uint32_t obj) {
    if (BadObjNumber(obj)) {
        return;
    }
    FreeObject(obj);
}

VOR_API void VOR_CALL ActivateObjVOR(uint32_t obj) {
    if (BadObjNumber(obj)) {
        return;
    }
    ActivateObject(obj);
}

VOR_API void VOR_CALL DeActivateObjVOR(uint32_t obj) {
    if (BadObjNumber(obj)) {
        return;
    }
    DeactivateObject(obj);
}

// Kinds other than 1 and 2 are ignored without a message.
VOR_API void VOR_CALL AddObjShapeVOR(uint32_t obj, int32_t kind) {
    if (BadObjNumber(obj)) {
        return;
    }
    AddShape(obj, kind);
}
