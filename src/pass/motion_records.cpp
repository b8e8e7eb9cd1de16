// STUB: placeholder so the tree links; its owner replaces this file.
#include "pass/motion_records.h"
namespace vor {
MotionRecord *CreateMotionRecord(CollisionBody *) { return nullptr; }
void FreeMotionRecord(CollisionBody *, MotionRecord *) {}
void FreePreviousMotionRecord(CollisionBody *, MotionRecord *) {}
void FreeCurrentMotion(CollisionBody *) {}
void FreePreviousMotion(CollisionBody *) {}
ContactRecord *NewContact(int16_t) { return nullptr; }
void DestroyContact(ContactRecord *) {}
void FillContact(ContactRecord *, CollisionDefinition *, CollisionBody *, const Vec3 &, const Vec3 &, const Vec3 &, const Vec3 &, const Vec3 &, const Vec3 &, const float &) {}
void AddContact(MotionRecord *, ContactRecord *) {}
void RemoveContact(MotionRecord *, ContactRecord *) {}
void ForgetBody(const CollisionBody *) {}
} // namespace vor
