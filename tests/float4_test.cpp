// Every four-wide function of the hierarchy searches held to the scalar test it stands for, lane
// by lane and bit for bit: the Float4 operations to the float operators, the slab and box tests to
// SegmentReachesBox, FiniteBox, TriangleBoxTest and Rejected, the exact ray test to
// RayTriangleTestPastBox. Inputs are random and from the edges where float code goes wrong: NaN,
// infinities, signed zeros, denormals, zero-area and sliver triangles, grazing rays, rays through
// shared edges and corners. The plain build (VOR_NO_SIMD) runs the same checks on the four-float
// struct.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "math/float4.h"
#include "mesh/mesh_accel_layout.h"
#include "mesh/mesh_accel_search.h"
#include "mesh/mesh_accel_sweep.h"
#include "mesh/ray_triangle.h"
#include "mesh/ray_triangle_four.h"

namespace {

using vor::AccelBox;
using vor::AccelItem;
using vor::Float4;
using vor::Mask4;
using vor::Vec3;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kDenormal = std::numeric_limits<float>::denorm_min();

uint32_t Bits(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// The same bits, or both NaN: which NaN a product of a NaN keeps depends on the operand order,
// and the compiler may swap the operands of the scalar form's multiplication; a NaN never passes
// a comparison on the way to a hit, so no NaN reaches the host either way.
bool SameValue(float a, float b) {
    return Bits(a) == Bits(b) || (std::isnan(a) && std::isnan(b));
}

void Lanes(Float4 v, float out[4]) {
    vor::Store4(out, v);
}

// Random floats, one in four from the edge list, the rest of random sign and magnitude.
struct Source {
    std::mt19937 rng;
    explicit Source(uint32_t seed) : rng(seed) {}

    float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(rng() % n); }
    float Edge() {
        static const float kEdges[] = {0.0f,   -0.0f,  1.0f,    -1.0f,    kDenormal, -kDenormal,
                                       1e-38f, 1e-30f, 3.4e38f, -3.4e38f, kInf,      -kInf,
                                       kNaN,   -kNaN,  1e12f,   0.5f,     1e-6f,     5.9604645e-8f};
        return kEdges[Below(sizeof kEdges / sizeof kEdges[0])];
    }
    float Any() {
        if (Below(4) == 0) {
            return Edge();
        }
        return Uniform(-1.0f, 1.0f) * std::ldexp(1.0f, static_cast<int>(Below(40)) - 20);
    }
    float Finite(float spread) { return Uniform(-spread, spread); }
    Vec3 Point(float spread) { return Vec3{Finite(spread), Finite(spread), Finite(spread)}; }
    Vec3 AnyPoint() { return Vec3{Any(), Any(), Any()}; }
};

TEST(Float4Lanes, OperationsAreTheScalarOperatorsBitForBit) {
    Source src(1);
    for (int round = 0; round < 20000; ++round) {
        float a[4], b[4];
        for (int k = 0; k < 4; ++k) {
            a[k] = src.Any();
            b[k] = src.Below(8) == 0 ? a[k] : src.Any(); // equal operands, and +0 against -0
        }
        const Float4 x = vor::Load4(a), y = vor::Load4(b);
        float add[4], sub[4], mul[4], div[4], root[4], lo[4], hi[4], mag[4], sel[4];
        Lanes(vor::Add4(x, y), add);
        Lanes(vor::Sub4(x, y), sub);
        Lanes(vor::Mul4(x, y), mul);
        Lanes(vor::Div4(x, y), div);
        Lanes(vor::Sqrt4(x), root);
        Lanes(vor::Min4(x, y), lo);
        Lanes(vor::Max4(x, y), hi);
        Lanes(vor::Abs4(x), mag);
        const Mask4 less = vor::Less4(x, y);
        Lanes(vor::Select4(less, x, y), sel);
        for (int k = 0; k < 4; ++k) {
            const float p = a[k], q = b[k];
            EXPECT_EQ(Bits(add[k]), Bits(p + q)) << p << " + " << q;
            EXPECT_EQ(Bits(sub[k]), Bits(p - q)) << p << " - " << q;
            EXPECT_EQ(Bits(mul[k]), Bits(p * q)) << p << " * " << q;
            EXPECT_EQ(Bits(div[k]), Bits(p / q)) << p << " / " << q;
            EXPECT_EQ(Bits(root[k]), Bits(std::sqrt(p))) << "sqrt " << p;
            EXPECT_EQ(Bits(lo[k]), Bits(p < q ? p : q)) << "min " << p << ", " << q;
            EXPECT_EQ(Bits(hi[k]), Bits(p > q ? p : q)) << "max " << p << ", " << q;
            EXPECT_EQ(Bits(mag[k]), Bits(std::fabs(p))) << "abs " << p;
            EXPECT_EQ(Bits(sel[k]), Bits(p < q ? p : q)) << "select " << p << ", " << q;
        }
        uint32_t lt = 0, gt = 0, le = 0, ge = 0, nlt = 0;
        for (int k = 0; k < 4; ++k) {
            lt |= uint32_t{a[k] < b[k]} << k;
            gt |= uint32_t{a[k] > b[k]} << k;
            le |= uint32_t{a[k] <= b[k]} << k;
            ge |= uint32_t{a[k] >= b[k]} << k;
            nlt |= uint32_t{!(a[k] < b[k])} << k;
        }
        EXPECT_EQ(vor::MaskBits4(less), lt);
        EXPECT_EQ(vor::MaskBits4(vor::Greater4(x, y)), gt);
        EXPECT_EQ(vor::MaskBits4(vor::LessEqual4(x, y)), le);
        EXPECT_EQ(vor::MaskBits4(vor::GreaterEqual4(x, y)), ge);
        EXPECT_EQ(vor::MaskBits4(vor::NotLess4(x, y)), nlt);
        EXPECT_EQ(vor::MaskBits4(vor::MaskAnd4(less, vor::Greater4(x, y))), 0u);
        EXPECT_EQ(vor::MaskBits4(vor::MaskOr4(less, vor::NotLess4(x, y))), 15u);
        EXPECT_EQ(vor::MaskBits4(vor::MaskAndNot4(vor::LessEqual4(x, y), less)), le & ~lt);
    }
}

TEST(Float4Lanes, EqualBitsAndTransposeMoveLanesExactly) {
    const uint32_t refs[4] = {0, 7, 0, 0xffffffffu};
    EXPECT_EQ(vor::EqualBits4(refs, 0), 0b0101u);
    EXPECT_EQ(vor::EqualBits4(refs, 0xffffffffu), 0b1000u);
    // Sign bits as stored, of zeros, NaNs and infinities too.
    const float signs[4] = {-0.0f, kNaN, -kNaN, -kInf};
    const float plain[4] = {0.0f, -1e-45f, kInf, 3.0f};
    EXPECT_EQ(vor::SignBits4(vor::Load4(signs)), 0b1101u);
    EXPECT_EQ(vor::SignBits4(vor::Load4(plain)), 0b0010u);
    float rows[4][4];
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            rows[i][j] = (i * 4 + j) == 5 ? -kNaN : static_cast<float>(i * 4 + j) - 0.5f;
        }
    }
    Float4 r0 = vor::Load4(rows[0]), r1 = vor::Load4(rows[1]), r2 = vor::Load4(rows[2]),
           r3 = vor::Load4(rows[3]);
    vor::Transpose4(r0, r1, r2, r3);
    const Float4 *turned[4] = {&r0, &r1, &r2, &r3};
    for (int i = 0; i < 4; ++i) {
        float out[4];
        Lanes(*turned[i], out);
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(Bits(out[j]), Bits(rows[j][i])) << i << "," << j;
        }
    }
}

// A box from two random points, with some faces infinite or NaN, some inverted (an empty slot's).
AccelBox RandomBox(Source &src) {
    AccelBox b;
    const float spread = src.Below(2) == 0 ? 10.0f : 1e6f;
    for (int a = 0; a < 3; ++a) {
        float x = src.Finite(spread), y = src.Finite(spread);
        if (src.Below(6) != 0 && x > y) {
            std::swap(x, y);
        }
        b.lo[a] = src.Below(20) == 0 ? src.Edge() : x;
        b.hi[a] = src.Below(20) == 0 ? src.Edge() : y;
    }
    return b;
}

// A probe from a random origin along a random direction, some components tiny, zero or denormal
// (grazing a slab face), some directions along an axis.
bool RandomProbe(Source &src, vor::SegmentProbe *p, Vec3 *origin, Vec3 *dir) {
    *origin = src.Point(src.Below(2) == 0 ? 20.0f : 1e5f);
    float d[3];
    for (float &c : d) {
        const uint32_t kind = src.Below(8);
        c = kind == 0   ? 0.0f
            : kind == 1 ? -0.0f
            : kind == 2 ? kDenormal * src.Finite(4.0f)
                        : src.Finite(30.0f);
    }
    *dir = Vec3{d[0], d[1], d[2]};
    return vor::SetUpProbe(p, *origin, *dir);
}

float RandomGrow(Source &src) {
    const uint32_t kind = src.Below(10);
    return kind == 0 ? kInf : kind == 1 ? kNaN : kind == 2 ? 0.0f : src.Uniform(0.0f, 3.0f);
}

void Axes(const AccelBox boxes[4], Float4 lo[3], Float4 hi[3]) {
    for (int a = 0; a < 3; ++a) {
        float l[4], h[4];
        for (int k = 0; k < 4; ++k) {
            l[k] = boxes[k].lo[a];
            h[k] = boxes[k].hi[a];
        }
        lo[a] = vor::Load4(l);
        hi[a] = vor::Load4(h);
    }
}

TEST(Float4Lanes, SegmentReachesFourIsSegmentReachesBoxInEveryLane) {
    Source src(2);
    int reachedLanes = 0, missedLanes = 0;
    for (int round = 0; round < 20000; ++round) {
        vor::SegmentProbe p;
        Vec3 origin, dir;
        if (!RandomProbe(src, &p, &origin, &dir)) {
            continue;
        }
        AccelBox boxes[4];
        float grow[4];
        for (int k = 0; k < 4; ++k) {
            boxes[k] = RandomBox(src);
            grow[k] = RandomGrow(src);
        }
        // Some boxes around the origin or a point of the segment, which the probe surely reaches.
        if (src.Below(2) == 0) {
            const float t = src.Uniform(0.0f, 1.0f);
            const Vec3 at = {origin.x + t * dir.x, origin.y + t * dir.y, origin.z + t * dir.z};
            boxes[0] = AccelBox{{at.x - 1, at.y - 1, at.z - 1}, {at.x + 1, at.y + 1, at.z + 1}};
        }
        const float reach = src.Below(10) == 0 ? src.Edge() : src.Uniform(0.0f, 2.0f);
        Float4 lo[3], hi[3];
        Axes(boxes, lo, hi);
        float entry[4];
        const uint32_t wide = vor::SegmentReachesFour(p, lo, hi, vor::Load4(grow), reach, entry);
        for (uint32_t k = 0; k < 4; ++k) {
            float scalarEntry = 0.0f;
            const bool scalar = vor::SegmentReachesBox(p, boxes[k], grow[k], reach, &scalarEntry);
            EXPECT_EQ((wide >> k & 1u) != 0, scalar) << "round " << round << " lane " << k;
            EXPECT_EQ(Bits(entry[k]), Bits(scalarEntry)) << "round " << round << " lane " << k;
            (scalar ? reachedLanes : missedLanes) += 1;
        }
    }
    // Both answers were exercised, many times.
    EXPECT_GT(reachedLanes, 10000);
    EXPECT_GT(missedLanes, 10000);
}

TEST(Float4Lanes, SegmentReachesChildrenIsEachChildsBoxTestAndSkipsEmptySlots) {
    Source src(3);
    for (int round = 0; round < 5000; ++round) {
        vor::SegmentProbe p;
        Vec3 origin, dir;
        if (!RandomProbe(src, &p, &origin, &dir)) {
            continue;
        }
        vor::AccelNode node;
        vor::ClearNode(node);
        for (uint32_t k = 0; k < vor::kAccelWidth; ++k) {
            if (src.Below(4) != 0) {
                // Children of twins only keep their margin's magnitude, in a negative sign.
                const uint8_t twins = src.Below(3) == 0 ? 1 : 0;
                vor::SetChild(node, k,
                              vor::ChildRef{RandomBox(src), k + 1, RandomGrow(src), twins});
            }
        }
        const float slop = src.Uniform(0.0f, 0.01f);
        const float reach = src.Uniform(0.0f, 2.0f);
        float entry[vor::kAccelWidth];
        uint32_t twinsOnly = 0;
        const uint32_t wide = vor::SegmentReachesChildren(p, node, slop, reach, entry, &twinsOnly);
        for (uint32_t k = 0; k < vor::kAccelWidth; ++k) {
            float scalarEntry = 0.0f;
            const vor::ChildRef child = vor::ChildOf(node, k);
            const bool scalar =
                node.ref[k] != vor::kEmptyChild &&
                vor::SegmentReachesBox(p, child.box, child.margin + slop, reach, &scalarEntry);
            EXPECT_EQ((wide >> k & 1u) != 0, scalar) << "round " << round << " child " << k;
            EXPECT_EQ((twinsOnly >> k & 1u) != 0,
                      node.ref[k] != vor::kEmptyChild && child.twinsOnly != 0)
                << "round " << round << " child " << k;
            if (scalar) {
                EXPECT_EQ(Bits(entry[k]), Bits(scalarEntry));
            }
        }
    }
}

// A triangle of finite corners: ordinary, zero-area (a point, or three points on a line), a
// sliver, tiny (denormal coordinates), or sharing the corners of the previous one.
void RandomTriangle(Source &src, Vec3 c[3]) {
    const float spread = src.Below(3) == 0 ? 1e4f : 5.0f;
    const uint32_t kind = src.Below(8);
    c[0] = src.Point(spread);
    c[1] = src.Point(spread);
    c[2] = src.Point(spread);
    if (kind == 0) {
        c[1] = c[2] = c[0];
    } else if (kind == 1) {
        c[2] = Vec3{c[0].x + 2 * (c[1].x - c[0].x), c[0].y + 2 * (c[1].y - c[0].y),
                    c[0].z + 2 * (c[1].z - c[0].z)};
    } else if (kind == 2) {
        c[2] = Vec3{c[1].x + 1e-6f, c[1].y - 1e-7f, c[1].z};
    } else if (kind == 3) {
        for (int i = 0; i < 3; ++i) {
            c[i] = Vec3{kDenormal * src.Finite(100.0f), kDenormal * src.Finite(100.0f), -0.0f};
        }
    }
}

TEST(Float4Lanes, ItemBoxesAndRayItemSelectionAreFiniteBoxAndTriangleBoxTest) {
    Source src(4);
    for (int round = 0; round < 20000; ++round) {
        vor::SegmentProbe p;
        Vec3 from, dir;
        if (!RandomProbe(src, &p, &from, &dir)) {
            continue;
        }
        const float length = src.Uniform(0.0f, 3.0f);
        const Vec3 to = {from.x + length * dir.x, from.y + length * dir.y, from.z + length * dir.z};
        AccelItem items[4];
        const uint32_t count = 1 + src.Below(4);
        for (uint32_t k = 0; k < 4; ++k) {
            RandomTriangle(src, items[k].corner);
            items[k].position = src.Below(2) == 0 ? 0x7fc00001u : k; // a NaN pattern after z
            if (k > 0 && src.Below(3) == 0) {
                items[k].corner[0] = items[k - 1].corner[1]; // a shared edge
                items[k].corner[1] = items[k - 1].corner[0];
            }
        }
        // Some rays start at a corner of the first triangle.
        if (src.Below(4) == 0) {
            from = items[0].corner[src.Below(3)];
            if (!vor::SetUpProbe(&p, from, dir)) {
                continue;
            }
        }
        Float4 lo[4], hi[4];
        vor::ItemBoxesFour(items, count, lo, hi);
        float wideLo[3][4], wideHi[3][4];
        for (int a = 0; a < 3; ++a) {
            Lanes(lo[a], wideLo[a]);
            Lanes(hi[a], wideHi[a]);
        }
        for (uint32_t k = 0; k < 4; ++k) {
            const AccelBox box = vor::FiniteBox(items[k < count ? k : 0]);
            for (int a = 0; a < 3; ++a) {
                EXPECT_EQ(Bits(wideLo[a][k]), Bits(box.lo[a])) << "round " << round;
                EXPECT_EQ(Bits(wideHi[a][k]), Bits(box.hi[a])) << "round " << round;
            }
        }
        const float grow = RandomGrow(src);
        const float reach = src.Uniform(0.0f, 4.0f);
        const uint32_t wide = vor::ItemsForRayTest(p, items, count, grow, reach, from, to);
        for (uint32_t k = 0; k < count; ++k) {
            float entry = 0.0f;
            const Vec3 *c = items[k].corner;
            const bool scalar =
                vor::SegmentReachesBox(p, vor::FiniteBox(items[k]), grow, reach, &entry) &&
                vor::TriangleBoxTest(from, to, c[0], c[1], c[2]);
            EXPECT_EQ((wide >> k & 1u) != 0, scalar) << "round " << round << " item " << k;
        }
        EXPECT_EQ(wide >> count, 0u);
    }
}

TEST(Float4Lanes, KeptFourIsRejectedInEveryLane) {
    Source src(5);
    int withReach = 0, withClass = 0;
    for (int round = 0; round < 20000; ++round) {
        vor::CandidateSearch q{};
        // Random, a character's, or flat (radii up to 300 apart: every sine class is needed).
        const uint32_t shape = src.Below(4);
        const Vec3 r = shape == 0   ? Vec3{src.Uniform(0.1f, 3.0f), src.Uniform(0.1f, 3.0f),
                                         src.Uniform(0.1f, 3.0f)}
                       : shape == 1 ? Vec3{3.0f, src.Uniform(0.01f, 0.4f), 3.0f}
                                    : Vec3{0.5f, 1.0f, 0.5f};
        const Vec3 s = src.Point(30.0f);
        const Vec3 e = src.Below(3) == 0 ? s : src.Point(30.0f);
        for (int a = 0; a < 3; ++a) {
            q.r[a] = (&r.x)[a];
            q.s[a] = (&s.x)[a];
            q.e[a] = (&e.x)[a];
        }
        q.reach = src.Below(4) != 0 && vor::SetUpReach(q, s, e);
        withReach += q.reach ? 1 : 0;
        withClass += q.reach && q.minSineClass > 0 ? 1 : 0;
        AccelBox boxes[4];
        float margin[4];
        for (int k = 0; k < 4; ++k) {
            boxes[k] = RandomBox(src);
            margin[k] = src.Below(8) == 0
                            ? kInf
                            : vor::WithSineClass(src.Uniform(0.0f, 0.1f), src.Below(4));
            for (int a = 0; a < 3 && k == 0; ++a) { // one box near the segment in unit space
                boxes[k].lo[a] = ((&s.x)[a] - 1.5f) * q.r[a];
                boxes[k].hi[a] = ((&s.x)[a] - 0.5f) * q.r[a];
            }
        }
        Float4 lo[3], hi[3];
        Axes(boxes, lo, hi);
        const uint32_t kept = vor::KeptFour(q, lo, hi, vor::Load4(margin));
        for (uint32_t k = 0; k < 4; ++k) {
            EXPECT_EQ((kept >> k & 1u) != 0, !vor::Rejected(q, boxes[k], margin[k]))
                << "round " << round << " lane " << k << " reach " << q.reach;
        }
    }
    EXPECT_GT(withReach, 5000);
    EXPECT_GT(withClass, 1000);
}

TEST(Float4Lanes, FourNormalizeIsNormalizeAtTheTolerancesAndBeyond) {
    Source src(6);
    const float kEdgeLengths[] = {1.0f,      1.0f + 5e-6f, 1.0f - 5e-6f, 1.0f + 6e-6f,
                                  1e-5f,     1.00001e-5f,  9.9999e-6f,   0.0f,
                                  kDenormal, 3e19f,        kInf,         kNaN};
    for (int round = 0; round < 20000; ++round) {
        Vec3 v[4];
        for (auto &x : v) {
            x = src.Below(3) == 0 ? src.AnyPoint() : src.Point(2.0f);
            if (src.Below(3) == 0) { // scaled onto an edge length along a random direction
                const float l = kEdgeLengths[src.Below(sizeof kEdgeLengths / sizeof(float))];
                x = vor::Scale(l, vor::Normalize(src.Point(1.0f)));
            }
        }
        vor::FourVec3 four;
        float xs[4] = {v[0].x, v[1].x, v[2].x, v[3].x}, ys[4] = {v[0].y, v[1].y, v[2].y, v[3].y},
              zs[4] = {v[0].z, v[1].z, v[2].z, v[3].z};
        four.x = vor::Load4(xs);
        four.y = vor::Load4(ys);
        four.z = vor::Load4(zs);
        const vor::FourVec3 n = vor::FourNormalize(four);
        float nx[4], ny[4], nz[4];
        Lanes(n.x, nx);
        Lanes(n.y, ny);
        Lanes(n.z, nz);
        for (int k = 0; k < 4; ++k) {
            const Vec3 scalar = vor::Normalize(v[k]);
            EXPECT_TRUE(SameValue(nx[k], scalar.x)) << "round " << round;
            EXPECT_TRUE(SameValue(ny[k], scalar.y)) << "round " << round;
            EXPECT_TRUE(SameValue(nz[k], scalar.z)) << "round " << round;
        }
    }
}

// RayTrianglesFour on items against RayTriangleTestPastBox on each, every lane asked: the same
// answer bit and, where it hits, the same t, key, point and normal bits.
int CompareRayTests(const Vec3 &from, const Vec3 &dir, const AccelItem items[4], uint32_t count,
                    uint32_t lanes, const char *what) {
    vor::RayTriangleHit wide[4], scalar;
    std::memset(wide, 0, sizeof wide);
    const uint32_t answer = vor::RayTrianglesFour(from, dir, items, count, lanes, wide);
    int hits = 0;
    for (uint32_t k = 0; k < count; ++k) {
        const Vec3 *c = items[k].corner;
        const bool expect = (lanes >> k & 1u) != 0 &&
                            vor::RayTriangleTestPastBox(from, dir, c[0], c[1], c[2], &scalar);
        EXPECT_EQ((answer >> k & 1u) != 0, expect) << what << " lane " << k;
        if (expect && (answer >> k & 1u) != 0) {
            EXPECT_EQ(std::memcmp(&wide[k], &scalar, sizeof scalar), 0) << what << " lane " << k;
            hits += 1;
        }
    }
    EXPECT_EQ(answer & ~lanes, 0u) << what;
    return hits;
}

TEST(Float4Lanes, RayTrianglesFourIsTheScalarRayTestOnRandomAndDegenerateTriangles) {
    Source src(7);
    int hits = 0;
    for (int round = 0; round < 20000; ++round) {
        AccelItem items[4];
        for (uint32_t k = 0; k < 4; ++k) {
            RandomTriangle(src, items[k].corner);
            if (src.Below(50) == 0) {
                items[k].corner[src.Below(3)].y = src.Below(2) == 0 ? kNaN : kInf;
            }
            items[k].position = k;
        }
        // Aim at a point of the first triangle most of the time, from above or below it.
        const Vec3 *c = items[0].corner;
        const float u = src.Uniform(0.0f, 1.0f), w = src.Uniform(0.0f, 1.0f - u);
        const Vec3 target = {c[0].x + u * (c[1].x - c[0].x) + w * (c[2].x - c[0].x),
                             c[0].y + u * (c[1].y - c[0].y) + w * (c[2].y - c[0].y),
                             c[0].z + u * (c[1].z - c[0].z) + w * (c[2].z - c[0].z)};
        const Vec3 from = src.Below(4) == 0 ? src.AnyPoint() : src.Point(50.0f);
        Vec3 dir = src.Below(3) == 0 ? src.Point(1.0f) : vor::Sub(target, from);
        dir = vor::Normalize(dir);
        const uint32_t count = 1 + src.Below(4);
        const uint32_t lanes = src.Below(4) == 0 ? src.Below(16) : 15u;
        hits += CompareRayTests(from, dir, items, count, lanes & ((1u << count) - 1u), "random");
    }
    EXPECT_GT(hits, 2000);
}

TEST(Float4Lanes, RayTrianglesFourIsTheScalarRayTestThroughSharedEdgesCornersAndGrazing) {
    // A fan of four triangles round the corner (0, 0, 0) in the plane y = 0, facing up, each
    // sharing an edge with the next.
    const Vec3 rim[5] = {{1, 0, 0}, {0, 0, -1}, {-1, 0, 0}, {0, 0, 1}, {1, 0, 0}};
    AccelItem fan[4];
    for (uint32_t k = 0; k < 4; ++k) {
        fan[k] = AccelItem{{{0, 0, 0}, rim[k], rim[k + 1]}, k};
    }
    int hits = 0;
    const Vec3 down = {0, -1, 0};
    // Straight down through the shared corner, the shared edges and their midpoints.
    const Vec3 aims[] = {{0, 0, 0},         {0.5f, 0, 0},     {0, 0, -0.5f},    {-0.5f, 0, 0},
                         {0, 0, 0.5f},      {1, 0, 0},        {0.5f, 0, -0.5f}, {1e-7f, 0, -1e-7f},
                         {kDenormal, 0, 0}, {-0.0f, 0, -0.0f}};
    for (const Vec3 &aim : aims) {
        hits += CompareRayTests(Vec3{aim.x, 2.0f, aim.z}, down, fan, 4, 15u, "through the fan");
        // Slanted through the same points, from each side.
        for (float slant : {0.3f, -0.3f, 1e-6f}) {
            const Vec3 dir = vor::Normalize(Vec3{slant, -1.0f, -slant});
            const Vec3 from = {aim.x - 2.0f * dir.x, 2.0f * -dir.y, aim.z - 2.0f * dir.z};
            hits += CompareRayTests(from, dir, fan, 4, 15u, "slanted through the fan");
        }
    }
    // Grazing: along the plane (approach 0), and nearly so, above, on and under it; from under
    // it (the back side) straight up.
    for (float height : {1e-3f, 0.0f, -0.0f, kDenormal, -1e-3f}) {
        for (float tilt : {0.0f, -0.0f, -kDenormal, -1e-7f, -1e-30f}) {
            const Vec3 dir = vor::Normalize(Vec3{-1.0f, tilt, 0.25f});
            CompareRayTests(Vec3{2.0f, height, -0.3f}, dir, fan, 4, 15u, "grazing");
        }
    }
    CompareRayTests(Vec3{0.2f, -1.0f, 0.1f}, Vec3{0, 1, 0}, fan, 4, 15u, "from behind");
    EXPECT_GE(hits, 10); // the rays through the fan do hit it
}

} // namespace
