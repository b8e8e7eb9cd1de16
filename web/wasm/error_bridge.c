/*
 * The WebAssembly build's error handler: a C function whose only work is to pass the report to
 * a function the JavaScript loader supplies as an import. A wasm function pointer is an index
 * into the module's function table, so JavaScript cannot hand a function of its own to
 * SetErrorHandlerVOR; it installs this bridge instead (vorWasmErrorBridge answers its table
 * index) and keeps the JavaScript callback on its side. Compiled into the wasm build only: the
 * native modules keep their own default handler untouched.
 */
#include <stdint.h>

#include "vorcollide.h"

__attribute__((import_module("vorcollide_js"), import_name("error_report"))) void
vorJsErrorReport(const char *text, const char *caption, void *user);

static void ForwardToJs(const char *text, const char *caption, void *user) {
    vorJsErrorReport(text, caption, user);
}

/* The table index of the bridge, to be passed to SetErrorHandlerVOR. */
__attribute__((export_name("vorWasmErrorBridge"))) int32_t vorWasmErrorBridge(void) {
    VorErrorHandler handler = ForwardToJs;
    return (int32_t)(uintptr_t)handler;
}
