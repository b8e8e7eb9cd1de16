// libFuzzer entry: every input is decoded into a sequence of export calls against a clean
// module; a broken promise of the host boundary aborts with its description, and the
// sanitizers catch crashes, over-reads of the host's vertex blocks, leaks and undefined behaviour.
// At exit it prints how many export calls, reports and passes the run made.
#include <cstdio>
#include <cstdlib>

#include "call_decoder.h"

namespace {

vorfuzz::CallDecoder *decoder = nullptr;

void Abort(const char *what, void *) {
    std::fprintf(stderr, "vorcollide boundary violation: %s\n", what);
    std::abort();
}

void PrintTotals() {
    const vorfuzz::Stats &s = decoder->stats();
    std::fprintf(stderr, "vorfuzz: %llu export calls, %llu reports, %llu passes\n",
                 static_cast<unsigned long long>(s.calls),
                 static_cast<unsigned long long>(s.reports),
                 static_cast<unsigned long long>(s.passes));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (decoder == nullptr) {
        decoder = new vorfuzz::CallDecoder(Abort, nullptr);
        decoder->trace = std::getenv("VORFUZZ_TRACE") != nullptr;
        decoder->checkHeap = std::getenv("VORFUZZ_SKIP_HEAP_CHECK") == nullptr; // hunting only
        std::atexit(PrintTotals);
    }
    decoder->Run(data, size);
    return 0;
}
