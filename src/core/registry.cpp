// STUB: placeholder so the tree links; its owner replaces this file.
#include "core/registry.h"
namespace vor {
CollisionObject *ObjectTable[kObjectSlots];
ActiveEntry *ActiveTable[kObjectSlots];
IntrusiveList ObjectList, BodyList, ActiveList, ActiveBodyList;
IntrusiveList ShapeLists[3][kCollisionTypeCount];
IntrusiveList *ShapeListFor(int32_t, int32_t) { return nullptr; }
void CreateObject(uint32_t, uint32_t) {}
void FreeObject(uint32_t) {}
void ActivateObject(uint32_t) {}
void DeactivateObject(uint32_t) {}
void AddShape(uint32_t, int32_t) {}
void RemoveActiveEntry(ActiveEntry *) {}
void DeactivateBody(CollisionBody *) {}
void DestroyObject(CollisionObject *) {}
#ifdef VOR_VALIDATE
void ValidateRegistry() {}
#endif
} // namespace vor
