// The error reporter and the object-number check that every per-object command runs first.
// A report is shown at most once per arming; the box itself goes through a replaceable handler
// so that hosts and tests without a desktop can receive the text.
#include "core/error_report.h"

#include <cstddef>
#include <cstdint>
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
constexpr size_t kReportTextSize = 128;

// The message followed by the value in decimal, cut to the buffer. Written out: nothing else in
// the library formats text, and a formatter would be a good part of the web module's size.
void ComposeReport(char *text, const char *message, uint32_t value) {
    size_t length = 0;
    while (message[length] != '\0' && length + 11 < kReportTextSize) {
        text[length] = message[length];
        ++length;
    }
    char digits[10];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) {
        text[length++] = digits[--count];
    }
    text[length] = '\0';
}

} // namespace

void DefaultErrorHandler(const char *text, const char *caption, void *) {
#ifdef _WIN32
    MessageBoxA(nullptr, text, caption, MB_ICONINFORMATION);
#else
    std::fputs(caption, stderr);
    std::fputs(": ", stderr);
    std::fputs(text, stderr);
    std::fputc('\n', stderr);
#endif
}

void ReportError(const char *message, uint32_t value) {
    if (ErrorBoxArmed == 0) {
        return;
    }
    // Disarm before showing: a handler that calls back into the library must not report again.
    ErrorBoxArmed = 0;
    char text[kReportTextSize];
    ComposeReport(text, message, value);
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
