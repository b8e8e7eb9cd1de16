// Four-wide SSE2 arithmetic where the processor has it (every x86 build); elsewhere (WebAssembly),
// and when VOR_NO_SIMD is defined, as the test command does to keep them tested, the plain loops
// that give the same answers. Code using it tests VOR_SSE2.
#pragma once

#if defined(__SSE2__) && !defined(VOR_NO_SIMD)
#define VOR_SSE2 1
#include <emmintrin.h>
#endif
