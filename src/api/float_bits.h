// Float results cross the host boundary as the float's bit pattern in an int32_t.
#pragma once

#include <cstdint>
#include <cstring>

namespace vor {

inline int32_t FloatBits(float f) {
    int32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

} // namespace vor
