#include "core/scratch_array.h"

#include <algorithm>
#include <cstdlib>

namespace vor {

bool GrowBytes(void **array, size_t *capacity, size_t n, size_t size) {
    const size_t grown = std::max(n, *capacity * 2);
    void *p = std::realloc(*array, grown * size);
    if (p == nullptr) {
        return false;
    }
    *array = p;
    *capacity = grown;
    return true;
}

} // namespace vor
