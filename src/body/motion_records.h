// The records a collision pass produces: one MotionRecord per straight step of a body, and the
// ContactRecords found on it, with the rule that decides which contact a step keeps.
#pragma once

#include <cstdint>

#include "core/records.h"

namespace vor {

struct ContactRecord;

// One straight step of one body within a pass; owned by the body's currentMotion/previousMotion.
struct MotionRecord {
    ListLink link;          // member of the body's currentMotion or previousMotion
    int32_t iteration;      // Pass.sweepIteration when created
    Vec3 start;             // body position at the start of the step
    Vec3 end;               // body position at the end, were there no contact
    ContactRecord *nearest; // contact with the smallest time, a member of contacts, or null
    CollisionBody *body;    // owning body; null once unlinked for destruction
    IntrusiveList contacts; // owned ContactRecords, at most one per phase
};

// One contact found on a step; kind 1 ellipsoid (no mesh fields), kind 2 mesh.
struct ContactRecord {
    ListLink link;                   // member of the owner's contacts
    int32_t phase;                   // Pass.sweepPhase when filled: 1 meshes, 2 ellipsoids
    uint8_t edgeHit;                 // 1 when the mesh edge test found it
    int16_t kind;                    // kind of the shape hit
    CollisionDefinition *definition; // the definition whose sweep found it; not owned
    CollisionBody *otherBody;        // body hit; not owned; cleared when that body is destroyed
    Vec3 contactCentre;              // ellipsoid centre at contact
    Vec3 outCentre;                  // centre where the response leaves the ellipsoid
    Vec3 contactPosition;            // body position at contact: contactCentre - offset
    Vec3 outPosition;                // body position where the response leaves the body
    Vec3 point;                      // contact point
    Vec3 normal;                     // unit, towards the moving ellipsoid
    Vec3 targetPoint;                // end centre + (point - contactCentre)
    Vec3 travel;                     // contactCentre - start centre
    Vec3 correction;                 // set by the response
    Vec3 offset;                     // ellipsoid offset from the body position
    double time;                     // fraction of the step; below 0 when already overlapping
    MotionRecord *owner;             // record whose contacts hold it
    int32_t polygon;                 // mesh: 1-based triangle position in its mesh
    Vec3 corner1, corner2, corner3;  // mesh: the triangle's world corners, stored order
    ListLink otherLink;              // member of otherBody's namedBy while otherBody is set
    uint8_t namingPending;           // otherLink is on PendingNaming instead, for now
};

// New zeroed record stamped with Pass.sweepIteration, appended to body's currentMotion.
MotionRecord *CreateMotionRecord(CollisionBody *body);
// Unlink from body's currentMotion (or previousMotion), destroy with its contacts, free.
void FreeMotionRecord(CollisionBody *body, MotionRecord *record);
void FreePreviousMotionRecord(CollisionBody *body, MotionRecord *record);
// Frees every record of the list, head first (currentMotion or previousMotion of body).
void FreeCurrentMotion(CollisionBody *body);
void FreePreviousMotion(CollisionBody *body);
// Start of a pass: frees previousMotion, which currentMotion then becomes; currentMotion is empty.
void RetireCurrentMotion(CollisionBody *body);

ContactRecord *NewContact(int16_t kind);
// Within the tasks of a parallel job: the contacts the calling thread makes from now on wait on
// its own list (PendingNamingList), not yet on the lists of the bodies they name.
void HoldNamingOnThread();
// The calling thread's waiting contacts join the lists of the bodies they name; the contacts it
// makes afterwards join at once.
void HandOverThreadsNaming();
// The calling thread's waiting contacts, for the tests (a call, as ThreadStats).
const IntrusiveList &ThreadPendingNaming();
void DestroyContact(ContactRecord *contact);
void FillContact(ContactRecord *r, CollisionDefinition *d, CollisionBody *other, const Vec3 &s0,
                 const Vec3 &s1, const Vec3 &p, const Vec3 &q, const Vec3 &n, const Vec3 &f,
                 const float &t);
// Offers a filled contact to a step: keeps it (nearest, or a set-aside report record) or frees it.
void AddContact(MotionRecord *m, ContactRecord *r);
void RemoveContact(MotionRecord *m, ContactRecord *r);

// The last record of a body's currentMotion, or null.
inline MotionRecord *LatestMotion(const CollisionBody *b) {
    return ListTail<MotionRecord>(b->currentMotion);
}

// Takes body's currentMotion off into aside (left empty), so that the body's next records start a
// history of their own; RestoreCurrentMotion puts them back in front of the records made since.
void SetAsideCurrentMotion(CollisionBody *body, IntrusiveList *aside);
void RestoreCurrentMotion(CollisionBody *body, IntrusiveList *aside);

// Stop: frees the records of every body at once, in time linear in what it frees (the bodies
// themselves are destroyed afterwards, finding nothing left to forget).
void FreeEveryMotionRecord();
// Stop, once every record is freed: the pooled memory goes back to the allocator.
void DrainRecordPools();

// Called when body is destroyed: no contact of any other body may name it any more. Costs the
// contacts that name it, found through its namedBy list.
void ForgetBody(CollisionBody *body);

} // namespace vor
