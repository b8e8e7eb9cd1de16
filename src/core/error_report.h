// The error box: at most one report per arming, routed through a replaceable handler.
#pragma once

#include <cstdint>

namespace vor {

using ErrorHandler = void (*)(const char *text, const char *caption, void *user);

// Shows message followed by value in decimal (exact unsigned value), if armed; disarms first.
void ReportError(const char *message, uint32_t value);
// True, after reporting, when n names no collision object (out of range or not defined).
bool BadObjNumber(uint32_t n);
// The platform's box: MessageBoxA on Windows, one line on stderr elsewhere.
void DefaultErrorHandler(const char *text, const char *caption, void *user);

// Null restores the platform default (MessageBoxA on Windows, a stderr line elsewhere).
void SetErrorHandler(ErrorHandler handler, void *user);

} // namespace vor
