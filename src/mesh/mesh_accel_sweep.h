// The inside of the sweep's search over a mesh's hierarchy (mesh_accel_sweep.cpp), named here so
// that the tests can hold its four-wide box decisions to their scalar form lane by lane; the
// four-wide one inline, as the search runs it for every node it opens.
#pragma once

#include <cstdint>
#include <limits>

#include "math/float4.h"
#include "mesh/mesh_accel_layout.h"
#include "mesh/mesh_accel_search.h"

namespace vor {

// One search for candidates: the box test's comparisons in unit-sphere space, and where `reach`
// is on, the distance test of the sweep (see SetUpReach).
struct CandidateSearch {
    float s[3], e[3], r[3];
    bool reach;
    SegmentProbe probe; // s + t (e - s) for 0 <= t <= 1 (unit-sphere space), when reach is on
    float radius;       // how near a box must come: 1 and the slack of the query
    float marginScale;  // k / rmin: world margin to unit-sphere space
    uint32_t minSineClass; // triangles of a lower sine class are not skipped by distance
};

// The margin the reach test takes for triangles of `margin`: infinite (never skipped by distance)
// below the query's sine class.
inline float ReachMargin(const CandidateSearch &q, float margin) {
    return SineClassOf(margin) < q.minSineClass ? std::numeric_limits<float>::infinity() : margin;
}
inline Float4 ReachMargins4(const CandidateSearch &q, Float4 margins) {
    if (q.minSineClass == 0) {
        return margins;
    }
    float lanes[4];
    Store4(lanes, margins);
    for (float &m : lanes) {
        m = ReachMargin(q, m);
    }
    return Load4(lanes);
}

// Sets up the sweep's reach test for s..e (q.s, q.e and q.r given): false, the test left off,
// where its slack cannot be shown (see mesh_accel_sweep.cpp) or a step too short for it to pay.
bool SetUpReach(CandidateSearch &q, const Vec3 &s, const Vec3 &e);
// The box test's own comparisons on a box's faces, then the sweep's reach: true when they reject
// every triangle inside the world box `box` whose rounding margin is at most `margin`.
bool Rejected(const CandidateSearch &q, const AccelBox &box, float margin);
// Rejected for four boxes at once, given axis by axis, all with the rounding margin of its lane:
// lane by lane the same divisions and comparisons. Bit k of the answer is set where box k is kept.
inline uint32_t KeptFour(const CandidateSearch &q, const Float4 lo[3], const Float4 hi[3],
                         Float4 margin) {
    Float4 unitLo[3], unitHi[3];
    for (int a = 0; a < 3; ++a) {
        const Float4 r = Splat4(q.r[a]);
        unitLo[a] = Div4(lo[a], r);
        unitHi[a] = Div4(hi[a], r);
    }
    uint32_t kept = SegmentNearFour(unitLo, unitHi, q.s, q.e);
    if (q.reach && kept != 0) {
        float entry[4];
        const Float4 grow =
            Add4(Splat4(q.radius), Mul4(ReachMargins4(q, margin), Splat4(q.marginScale)));
        kept &= SegmentReachesFour(q.probe, unitLo, unitHi, grow, 1.0f, entry);
    }
    return kept;
}

} // namespace vor
