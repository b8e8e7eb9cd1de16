// STUB: placeholder so the tree links; its owner replaces this file.
#include "core/error_report.h"
namespace vor {
uint8_t ErrorBoxArmed = 0;
void ReportError(const char *, uint32_t) {}
bool BadObjNumber(uint32_t) { return true; }
void SetErrorHandler(ErrorHandler, void *) {}
} // namespace vor
