// Working arrays that keep their room from one use to the next: grown when a use needs more (at
// least doubling, so a slowly rising count moves them rarely), never shrunk, freed by their owner.
// A pass that frees its working memory and asks for it again finds fresh pages that the system
// must map and clear one by one.
#pragma once

#include <cstddef>
#include <cstring>

namespace vor {

// Grows *array (its room *capacity) to hold n elements of `size` bytes; false, with the array as
// it was, when memory runs out.
bool GrowBytes(void **array, size_t *capacity, size_t n, size_t size);

// Room for n elements at *array. (Inline: most calls find the room there already.)
template <typename T> bool ReserveArray(T **array, size_t *capacity, size_t n) {
    if (n <= *capacity) {
        return true;
    }
    void *p = *array;
    const bool ok = GrowBytes(&p, capacity, n, sizeof(T));
    *array = static_cast<T *>(p);
    return ok;
}

// ReserveArray, with the first n elements cleared to zero bytes.
template <typename T> bool ReserveZeroed(T **array, size_t *capacity, size_t n) {
    if (!ReserveArray(array, capacity, n)) {
        return false;
    }
    std::memset(*array, 0, n * sizeof(T));
    return true;
}

} // namespace vor
