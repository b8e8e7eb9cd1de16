// Asking for memory ahead of its use. Native targets have a prefetch instruction, which never
// faults and which nothing waits for. WebAssembly has none, so there the byte is read and the
// value dropped: the load still starts the line on its way while the search goes on, but, unlike
// a prefetch, it must stay inside the module's memory. So the searches name only addresses inside
// the bytes they are about to read.
#pragma once

#include <cstdint>

namespace vor {

constexpr uintptr_t kCacheLineBytes = 64;

// Made inline early, always: left a call, link-time optimisation finds the native form free of
// effects (a prefetch changes nothing a program can see) and drops the call, prefetch and all.
#define VOR_LOAD_SOON_INLINE inline __attribute__((always_inline))

VOR_LOAD_SOON_INLINE void LoadSoon(uintptr_t address) {
#if defined(__wasm__)
    (void)*reinterpret_cast<const volatile uint8_t *>(address);
#else
    __builtin_prefetch(reinterpret_cast<const void *>(address));
#endif
}

// An address in line k of bytes that start at `start` (line 0 holds start; bytes need not begin
// on a line): start itself for line 0, the first byte of the line for the others.
VOR_LOAD_SOON_INLINE uintptr_t LineAddress(uintptr_t start, uint32_t k) {
    return k == 0 ? start : (start & ~(kCacheLineBytes - 1)) + k * kCacheLineBytes;
}

// The first byte of the line after the one holding `address`.
VOR_LOAD_SOON_INLINE uintptr_t NextLineAddress(uintptr_t address) {
    return (address & ~(kCacheLineBytes - 1)) + kCacheLineBytes;
}

// Starts loading the lines of the bytes [start, end) from its line `first` on, an address inside
// the bytes for each. (Load is LoadSoon but in tests, which note the addresses instead.)
template <void (*Load)(uintptr_t) = LoadSoon>
VOR_LOAD_SOON_INLINE void LoadLinesSoon(uintptr_t start, uintptr_t end, uint32_t first) {
    for (uintptr_t address = LineAddress(start, first); address < end;
         address = NextLineAddress(address)) {
        Load(address);
    }
}

#undef VOR_LOAD_SOON_INLINE

} // namespace vor
