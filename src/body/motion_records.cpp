// Motion and contact records of a pass: their construction and destruction, the filling of a
// contact from a sweep, and AddContact, the rule that decides which contact a step keeps (only
// the strictly nearest, no near-duplicate of an earlier step, report-only contacts set aside on a
// record of their own in front of the step). Records are created and freed one by one, zeroed;
// their memory comes from and goes back to the record pools.
#include "body/motion_records.h"

#include <cmath>
#include <cstddef>

#include "body/motion_index.h"
#include "body/registry.h"
#include "core/module_state.h"

namespace vor {

namespace {

// Unlinks record from list (a motion list of body), then frees its contacts and the record.
void DestroyMotionRecordIn(IntrusiveList *list, MotionRecord *record) {
    Unlink(&record->link, list);
    record->body = nullptr;
    while (record->contacts.head != nullptr) {
        RemoveContact(record, ListHead<ContactRecord>(record->contacts));
    }
    GiveRecord(&MotionRecordPool, record);
}

// Teardown loop: take the head and destroy it until the list is empty.
void FreeMotionList(IntrusiveList *list) {
    while (list->head != nullptr) {
        DestroyMotionRecordIn(list, ListHead<MotionRecord>(*list));
    }
}

// Frees every record of list and their contacts, leaving the contacts' other bodies' namedBy
// lists as they are: only for a teardown of every body at once.
void FreeListWholesale(IntrusiveList *list) {
    ListLink *l = list->head;
    while (l != nullptr) {
        MotionRecord *m = MemberOf<MotionRecord>(l);
        l = l->next;
        ListLink *k = m->contacts.head;
        while (k != nullptr) {
            ListLink *next = k->next;
            GiveRecord(&ContactRecordPool, MemberOf<ContactRecord>(k));
            k = next;
        }
        GiveRecord(&MotionRecordPool, m);
    }
    list->head = nullptr;
    list->tail = nullptr;
}

// The contact whose otherLink is link.
ContactRecord *NamingContact(ListLink *link) {
    return reinterpret_cast<ContactRecord *>(reinterpret_cast<char *>(link) -
                                             offsetof(ContactRecord, otherLink));
}

// A new zeroed record appended to body's currentMotion, without sealing the one before it.
MotionRecord *AppendMotionRecord(CollisionBody *body) {
    MotionRecord *m =
        static_cast<MotionRecord *>(TakeRecord(&MotionRecordPool, sizeof(MotionRecord)));
    InitMember(&m->link);
    m->iteration = Pass.sweepIteration;
    m->body = body;
    Append(&m->link, &body->currentMotion);
    return m;
}

// currentMotion changed otherwise than by sealing: recount, and rebuild the look-up on demand.
void RecountSealed(CollisionBody *body) {
    DropMotionIndex(body);
    uint32_t n = 0;
    for (ListLink *l = body->currentMotion.head; l != nullptr; l = l->next) {
        ++n;
    }
    body->sealedRecords = n == 0 ? 0 : n - 1;
}

// True when point repeats the nearest contact point of a record before m.
bool RepeatsEarlierPoint(MotionRecord *m, const Vec3 &point) {
    CollisionBody *body = m->body;
    if (body != nullptr && m == LatestMotion(body)) {
        if (const MotionIndex *index = MotionIndexOf(body)) {
            return IndexHasNearPoint(index, point);
        }
    }
    for (MotionRecord *p = MemberOf<MotionRecord>(m->link.prev); p != nullptr;
         p = MemberOf<MotionRecord>(p->link.prev)) {
        if (p->nearest != nullptr && NearDuplicatePoints(p->nearest->point, point)) {
            return true;
        }
    }
    return false;
}

} // namespace

MotionRecord *CreateMotionRecord(CollisionBody *body) {
    // The record that was last is sealed: its nearest contact no longer changes.
    const MotionRecord *last = LatestMotion(body);
    if (last != nullptr) {
        SealMotionRecord(body, last);
    }
    return AppendMotionRecord(body);
}

void FreeMotionRecord(CollisionBody *body, MotionRecord *record) {
    if (record->body != body) {
        return;
    }
    DestroyMotionRecordIn(&body->currentMotion, record);
    RecountSealed(body);
}

void FreePreviousMotionRecord(CollisionBody *body, MotionRecord *record) {
    if (record->body != body) {
        return;
    }
    DestroyMotionRecordIn(&body->previousMotion, record);
}

void FreeCurrentMotion(CollisionBody *body) {
    FreeMotionList(&body->currentMotion);
    DropMotionIndex(body);
    body->sealedRecords = 0;
}

void FreePreviousMotion(CollisionBody *body) {
    FreeMotionList(&body->previousMotion);
}

void RetireCurrentMotion(CollisionBody *body) {
    FreePreviousMotion(body);
    body->previousMotion = body->currentMotion;
    body->currentMotion.head = nullptr;
    body->currentMotion.tail = nullptr;
    DropMotionIndex(body);
    body->sealedRecords = 0;
}

void SetAsideCurrentMotion(CollisionBody *body, IntrusiveList *aside) {
    *aside = IntrusiveList{nullptr, nullptr};
    AppendList(&body->currentMotion, aside);
    DropMotionIndex(body);
    body->sealedRecords = 0;
}

void RestoreCurrentMotion(CollisionBody *body, IntrusiveList *aside) {
    AppendList(&body->currentMotion, aside);
    AppendList(aside, &body->currentMotion);
    RecountSealed(body);
}

ContactRecord *NewContact(int16_t kind) {
    ContactRecord *r =
        static_cast<ContactRecord *>(TakeRecord(&ContactRecordPool, sizeof(ContactRecord)));
    InitMember(&r->link);
    r->kind = kind;
    return r;
}

// Takes the contact off the list its otherLink is on.
void UnlinkNaming(ContactRecord *contact) {
    if (contact->namingPending != 0) {
        Unlink(&contact->otherLink, PendingNaming);
        contact->namingPending = 0;
        return;
    }
    Enter(&NamingLock, InParallelJob != 0);
    Unlink(&contact->otherLink, &contact->otherBody->namedBy);
    Leave(&NamingLock, InParallelJob != 0);
}

void HoldNamingOnThread() {
    PendingNaming = &PendingNamingList;
}

void HandOverThreadsNaming() {
    PendingNaming = nullptr;
    IntrusiveList *pending = &PendingNamingList;
    Enter(&NamingLock, InParallelJob != 0);
    while (pending->head != nullptr) {
        ContactRecord *c = NamingContact(pending->head);
        Unlink(&c->otherLink, pending);
        c->namingPending = 0;
        Append(&c->otherLink, &c->otherBody->namedBy);
    }
    Leave(&NamingLock, InParallelJob != 0);
}

const IntrusiveList &ThreadPendingNaming() {
    return PendingNamingList;
}

void DestroyContact(ContactRecord *contact) {
    if (contact->otherBody != nullptr) {
        UnlinkNaming(contact);
    }
    contact->owner = nullptr;
    contact->otherBody = nullptr;
    contact->definition = nullptr;
    GiveRecord(&ContactRecordPool, contact);
}

void FillContact(ContactRecord *r, CollisionDefinition *d, CollisionBody *other, const Vec3 &s0,
                 const Vec3 &s1, const Vec3 &p, const Vec3 &q, const Vec3 &n, const Vec3 &f,
                 const float &t) {
    r->phase = Pass.sweepPhase;
    r->definition = d;
    // The body hit keeps a list of the contacts naming it, so that freeing it clears just those.
    // Only a set: what is done with it does not depend on its order, which workers may change.
    if (r->otherBody != nullptr) {
        UnlinkNaming(r);
    }
    r->otherBody = other;
    if (other != nullptr) {
        InitMember(&r->otherLink);
        if (PendingNaming != nullptr) {
            Append(&r->otherLink, PendingNaming);
            r->namingPending = 1;
        } else {
            Enter(&NamingLock, InParallelJob != 0);
            Append(&r->otherLink, &other->namedBy);
            Leave(&NamingLock, InParallelJob != 0);
        }
    }
    r->contactCentre = p;
    SubtractVectors(&r->contactPosition, p, f);
    r->point = q;
    r->normal = n;
    Vec3 reach;
    SubtractVectors(&reach, q, p);
    AddVectors(&r->targetPoint, s1, reach);
    SubtractVectors(&r->travel, p, s0);
    r->offset = f;
    r->time = static_cast<double>(t);
}

void AddContact(MotionRecord *m, ContactRecord *r) {
    // A time that is not a number (geometry overflowed, e.g. under a tiny radius) is no contact:
    // kept, it would carry NaN positions into a body that did nothing wrong.
    if (std::isnan(r->time)) {
        DestroyContact(r);
        return;
    }
    // Only a strictly earlier contact replaces the step's nearest; equal times keep the older.
    if (m->nearest != nullptr && !(r->time < m->nearest->time)) {
        DestroyContact(r);
        return;
    }

    // A report-only contact goes on a record of its own, just before the step that found it.
    if (r->definition->response == kReportOnlyResponse) {
        CollisionBody *body = m->body;
        MotionRecord *aside = AppendMotionRecord(body);
        Move(&aside->link, &body->currentMotion, &m->link, kBefore);
        aside->nearest = r;
        Append(&r->link, &aside->contacts);
        r->owner = aside;
        SealMotionRecord(body, aside);
        return;
    }

    // Drop a contact that repeats the nearest contact point of an earlier step of the pass.
    if (RepeatsEarlierPoint(m, r->point)) {
        DestroyContact(r);
        return;
    }

    // One contact per phase: the new one replaces any of its own phase.
    ContactRecord *c = ListHead<ContactRecord>(m->contacts);
    while (c != nullptr) {
        ContactRecord *next = MemberOf<ContactRecord>(c->link.next);
        if (c->phase == Pass.sweepPhase) {
            RemoveContact(m, c);
        }
        c = next;
    }

    Append(&r->link, &m->contacts);
    r->owner = m;
    m->nearest = r;
}

void RemoveContact(MotionRecord *m, ContactRecord *r) {
    // Losing the nearest: the earliest remaining contact takes over, ties to the earlier in list.
    if (m->nearest == r) {
        m->nearest = nullptr;
        for (ContactRecord *c = ListHead<ContactRecord>(m->contacts); c != nullptr;
             c = MemberOf<ContactRecord>(c->link.next)) {
            if (c == r) {
                continue;
            }
            if (m->nearest == nullptr || c->time < m->nearest->time) {
                m->nearest = c;
            }
        }
    }
    Unlink(&r->link, &m->contacts);
    DestroyContact(r);
}

void FreeEveryMotionRecord() {
    // Every body goes, so no contact needs taking off the list of the body it names.
    for (ListLink *l = BodyList.head; l != nullptr; l = l->next) {
        CollisionBody *b = MemberOf<CollisionBody>(l);
        FreeListWholesale(&b->currentMotion);
        FreeListWholesale(&b->previousMotion);
        DropMotionIndex(b);
        b->sealedRecords = 0;
        b->namedBy.head = nullptr;
        b->namedBy.tail = nullptr;
    }
}

void DrainRecordPools() {
    DrainPool(&MotionRecordPool);
    DrainPool(&ContactRecordPool);
}

void ForgetBody(CollisionBody *body) {
    while (body->namedBy.head != nullptr) {
        ContactRecord *c = NamingContact(body->namedBy.head);
        Unlink(&c->otherLink, &body->namedBy);
        c->otherBody = nullptr;
        // The owner's look-up may have entered this contact under the body's address.
        if (c->owner != nullptr && c->owner->body != nullptr) {
            DropMotionIndex(c->owner->body);
        }
    }
}

} // namespace vor
