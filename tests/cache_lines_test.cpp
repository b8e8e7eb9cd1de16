// The lines a search asks for ahead of reading them: on WebAssembly each is a real load, so an
// address outside the bytes named could read past the module's memory. Every range of bytes, at
// every offset from a line, from every first line: one address in each line asked for, each
// inside the bytes, none missing.
#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "core/cache_lines.h"

namespace {

std::vector<uintptr_t> noted;

void Note(uintptr_t address) {
    noted.push_back(address);
}

constexpr uintptr_t kLine = vor::kCacheLineBytes;

TEST(CacheLinesTest, EveryLineAskedForOnceAndOnlyInsideTheBytes) {
    const uintptr_t base = 1000 * kLine; // a line boundary, well away from 0
    for (uintptr_t offset = 0; offset < 2 * kLine; ++offset) {
        for (uintptr_t size = 1; size <= 5 * kLine; ++size) {
            const uintptr_t start = base + offset, end = start + size;
            const uintptr_t firstLine = start / kLine, lastLine = (end - 1) / kLine;
            for (uint32_t first = 0; first < 7; ++first) {
                noted.clear();
                vor::LoadLinesSoon<Note>(start, end, first);
                std::vector<uintptr_t> expected;
                for (uintptr_t line = firstLine + first; line <= lastLine; ++line) {
                    expected.push_back(line);
                }
                ASSERT_EQ(noted.size(), expected.size())
                    << "offset " << offset << " size " << size << " first " << first;
                for (size_t k = 0; k < noted.size(); ++k) {
                    ASSERT_GE(noted[k], start);
                    ASSERT_LT(noted[k], end);
                    ASSERT_EQ(noted[k] / kLine, expected[k]);
                }
            }
        }
    }
}

// The ray search asks for the line after a child's first wherever the child ends (a leaf's
// neighbour is often entered next), held inside the array: the next line's first byte, for an
// address anywhere in a line.
TEST(CacheLinesTest, NextLineIsTheFirstByteOfTheFollowingLine) {
    const uintptr_t base = 4096 * kLine;
    for (uintptr_t address = base; address < base + 3 * kLine; ++address) {
        const uintptr_t next = vor::NextLineAddress(address);
        ASSERT_EQ(next % kLine, 0u) << address;
        ASSERT_EQ(next / kLine, address / kLine + 1) << address;
    }
}

} // namespace
