// libFuzzer entry: every input is decoded into a sequence of export calls against a clean
// module; a broken promise of the host boundary aborts with its description, and the
// sanitizers catch crashes, over-reads of the host's vertex blocks, leaks and undefined behaviour.
#include <cstdio>
#include <cstdlib>

#include "call_decoder.h"

namespace {

void Abort(const char *what, void *) {
    std::fprintf(stderr, "vorcollide boundary violation: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static vorfuzz::CallDecoder *decoder = [] {
        vorfuzz::CallDecoder *d = new vorfuzz::CallDecoder(Abort, nullptr);
        d->trace = std::getenv("VORFUZZ_TRACE") != nullptr;
        return d;
    }();
    decoder->Run(data, size);
    return 0;
}
