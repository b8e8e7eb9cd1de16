// Tests of the trace text form: floats read back to the same bits, integers keep their kinds,
// and malformed tokens are refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "trace_format.h"

using namespace vor::scene;

namespace {

uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

uint32_t RoundTrip(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    uint32_t back = 0xdeadbeef;
    EXPECT_TRUE(ParseArgument(FormatFloat(f), 'f', &back)) << FormatFloat(f);
    return back;
}

} // namespace

TEST(TraceFloats, EveryKindOfFloatReadsBackToItsBits) {
    const uint32_t samples[] = {
        Bits(0.0f),  Bits(-0.0f), Bits(1.0f),          Bits(0.1f),        Bits(-1.0e-38f),
        0x00000001u, 0x007fffffu, Bits(3.4028235e38f), Bits(1.0f / 3.0f), 0x7f800000u,
        0xff800000u, 0x7fc00000u, 0x7fa00001u,         0xffc12345u,       Bits(0.017453292f)};
    for (uint32_t b : samples)
        EXPECT_EQ(RoundTrip(b), b) << std::hex << b;
}

TEST(TraceFloats, AStrideOfBitPatternsReadsBackExactly) {
    // Walk the whole float range in uneven steps so every exponent and many mantissas appear.
    for (uint64_t b = 0; b <= 0xffffffffull; b += 0x00012345ull)
        ASSERT_EQ(RoundTrip(static_cast<uint32_t>(b)), static_cast<uint32_t>(b)) << std::hex << b;
}

TEST(TraceFloats, HexFloatsAndIntegersAreNumbersToo) {
    uint32_t b;
    ASSERT_TRUE(ParseArgument("0x1.8p+0", 'f', &b));
    EXPECT_EQ(b, Bits(1.5f));
    ASSERT_TRUE(ParseArgument("2", 'f', &b));
    EXPECT_EQ(b, Bits(2.0f));
}

TEST(TraceFloats, JunkIsNotAFloat) {
    uint32_t b;
    EXPECT_FALSE(ParseArgument("", 'f', &b));
    EXPECT_FALSE(ParseArgument("abc", 'f', &b));
    EXPECT_FALSE(ParseArgument("1.5x", 'f', &b));
    EXPECT_FALSE(ParseArgument("nan:zz", 'f', &b));
    EXPECT_FALSE(ParseArgument("nan:0x3f800000", 'f', &b)) << "those bits are not a NaN";
}

TEST(TraceIntegers, SignedArgumentsKeepTheirRange) {
    uint32_t b;
    ASSERT_TRUE(ParseArgument("-2147483648", 'i', &b));
    EXPECT_EQ(b, 0x80000000u);
    EXPECT_FALSE(ParseArgument("2147483648", 'i', &b));
    EXPECT_FALSE(ParseArgument("1.5", 'i', &b));
    EXPECT_FALSE(ParseArgument("12abc", 'i', &b));
    EXPECT_EQ(FormatArgument('i', 0xffffffffu), "-1");
}

TEST(TraceIntegers, UnsignedArgumentsTakeNegativeValuesAsTheHostWouldPassThem) {
    uint32_t b;
    ASSERT_TRUE(ParseArgument("-1", 'u', &b));
    EXPECT_EQ(b, 0xffffffffu);
    ASSERT_TRUE(ParseArgument("4294967295", 'u', &b));
    EXPECT_EQ(b, 0xffffffffu);
    EXPECT_FALSE(ParseArgument("4294967296", 'u', &b));
    EXPECT_EQ(FormatArgument('u', 0xffffffffu), "4294967295");
}

TEST(TraceResults, FloatResultsShowTheValueAndTheBits) {
    EXPECT_EQ(FormatResult('f', 0x3fc00000), "1.5 [0x3fc00000]");
    EXPECT_EQ(FormatResult('i', -3), "-3");
}

TEST(TraceLines, CommentsAndSpacesAreSplitOff) {
    TraceLine l = SplitTraceLine("  PeekObjXVOR\t 3   # -> 1.5 [0x3fc00000]");
    ASSERT_EQ(l.tokens.size(), 2u);
    EXPECT_EQ(l.tokens[0], "PeekObjXVOR");
    EXPECT_EQ(l.tokens[1], "3");
    EXPECT_EQ(Trim(l.comment), "-> 1.5 [0x3fc00000]");
    EXPECT_TRUE(SplitTraceLine("# only a comment").tokens.empty());
}
