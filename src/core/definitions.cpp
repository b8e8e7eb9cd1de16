// STUB: placeholder so the tree links; its owner replaces this file.
#include "core/definitions.h"
namespace vor {
IntrusiveList DefinitionList;
void AddDefinition(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
int32_t CheckShape(const CollisionBody *, int32_t) { return 0; }
void FreeDefinitions() {}
} // namespace vor
