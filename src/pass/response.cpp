// STUB: placeholder so the tree links; its owner replaces this file.
#include "pass/response.h"
namespace vor {
bool ApplyResponse(ContactRecord *) { return false; }
} // namespace vor
