// The collision stack, a cursor walking ActiveList one object per peek, and the selection of an
// object's k-th contact of the last pass: the nearest contact of the k-th record of its body's
// currentMotion that has one. Everything here only reads.
#include "query/contact_queries.h"

#include "body/motion_records.h"
#include "body/registry.h"
#include "core/error_report.h"
#include "core/messages.h"

namespace vor {

void ResetCollisionStack() {
    StackCursor = ListHead<ActiveEntry>(ActiveList);
}

int32_t PeekCollisionStack() {
    if (StackCursor == nullptr) {
        return 0;
    }
    int32_t n = static_cast<int32_t>(StackCursor->object->objectNumber);
    StackCursor = MemberOf<ActiveEntry>(StackCursor->link.next);
    return n;
}

int32_t CountCollisions(const CollisionBody *body) {
    int32_t count = 0;
    for (const MotionRecord *m = ListHead<MotionRecord>(body->currentMotion); m != nullptr;
         m = MemberOf<MotionRecord>(m->link.next)) {
        if (m->nearest != nullptr) {
            count = count + 1;
        }
    }
    return count;
}

MotionRecord *SelectContact(uint32_t n, uint32_t index) {
    if (BadObjNumber(n)) {
        return nullptr;
    }
    if (index == 0) {
        ReportError(kMsgCollisionIndex, index);
        return nullptr;
    }
    // Counted over the records with a contact, as CountCollisions counts: the steps of a recovery
    // push follow the pass's last step, which usually has none, so a record-by-record index would
    // leave the push's contact past the count and report the one the count promised.
    uint32_t seen = 0;
    for (MotionRecord *r = ListHead<MotionRecord>(ObjectTable[n]->body->currentMotion);
         r != nullptr; r = MemberOf<MotionRecord>(r->link.next)) {
        if (r->nearest != nullptr) {
            seen = seen + 1;
            if (seen == index) {
                return r;
            }
        }
    }
    ReportError(kMsgCollisionIndex, index);
    return nullptr;
}

} // namespace vor
