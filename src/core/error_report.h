// The error box: at most one report per arming, routed through a replaceable handler.
#pragma once

#include <cstdint>

namespace vor {

using ErrorHandler = void (*)(const char *text, const char *caption, void *user);

extern uint8_t ErrorBoxArmed; // 1 after StartCollisionDebugVOR until the next report or Stop

// Shows message followed by value in decimal (exact unsigned value), if armed; disarms first.
void ReportError(const char *message, uint32_t value);
// True, after reporting, when n names no collision object (out of range or not defined).
bool BadObjNumber(uint32_t n);
// Null restores the platform default (MessageBoxA on Windows, a stderr line elsewhere).
void SetErrorHandler(ErrorHandler handler, void *user);

} // namespace vor
