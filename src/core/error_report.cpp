// The error reporter and the object-number check that every per-object command runs first.
// A report is shown at most once per arming; the box itself goes through a replaceable handler
// so that hosts and tests without a desktop can receive the text.
#include "core/error_report.h"

#include <cinttypes>
#include <cstdio>

#include "core/messages.h"
#include "core/module_state.h"
#include "core/thresholds.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace vor {

namespace {

// Longest message (54 characters) plus 10 digits and the terminator, with room to spare.
constexpr int kReportTextSize = 128;

} // namespace

void DefaultErrorHandler(const char *text, const char *caption, void *) {
#ifdef _WIN32
    MessageBoxA(nullptr, text, caption, MB_ICONINFORMATION);
#else
    std::fprintf(stderr, "%s: %s\n", caption, text);
#endif
}

void ReportError(const char *message, uint32_t value) {
    if (ErrorBoxArmed == 0) {
        return;
    }
    // Disarm before showing: a handler that calls back into the library must not report again.
    ErrorBoxArmed = 0;
    char text[kReportTextSize];
    std::snprintf(text, sizeof text, "%s%" PRIu32, message, value);
    HostErrorHandler(text, kErrorCaption, HostErrorUser);
}

bool BadObjNumber(uint32_t n) {
    if (n > kMaxObjectNumber || n < 1) {
        ReportError(kMsgObjectOutOfRange, n);
        return true;
    }
    if (ObjectTable[n] == nullptr) {
        ReportError(kMsgObjectNotDefined, n);
        return true;
    }
    return false;
}

void SetErrorHandler(ErrorHandler handler, void *user) {
    if (handler == nullptr) {
        HostErrorHandler = DefaultErrorHandler;
        HostErrorUser = nullptr;
        return;
    }
    HostErrorHandler = handler;
    HostErrorUser = user;
}

} // namespace vor
