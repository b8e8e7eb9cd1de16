#!/usr/bin/env python3
"""Writes the seed corpus of the export fuzzer: one small file per export (with good and bad
arguments) and a few host sessions (a walkable scene with frames, vertex blocks of every shape,
re-entrant error handlers). The operation numbers are read from call_decoder.h so the files stay
in step with the decoder. Run: python3 checks/fuzz/make_corpus.py (rewrites checks/fuzz/corpus/)."""
import os
import re
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus")


def read_ops():
    text = open(os.path.join(HERE, "call_decoder.h")).read()
    body = re.search(r"enum Op : uint8_t \{(.*?)\};", text, re.S).group(1)
    body = re.sub(r"//[^\n]*", "", body)
    names = [n.strip() for n in body.split(",") if n.strip()]
    return {name: i for i, name in enumerate(names)}


OPS = read_ops()


def op(name):
    return bytes([OPS[name]])


def word(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


# Argument encoders matching the decoder's readers.
def obj(n):
    special = {0: 200, 5000: 201, 5001: 202, 0xFFFFFFFF: 203, 4999: 204, 0x80000000: 205}
    if 1 <= n <= 24:
        return bytes([n - 1])
    if n in special:
        return bytes([special[n]])
    if 13 <= n <= 52:
        return bytes([206, n - 13])
    return bytes([207]) + word(n)


def typ(t):
    special = {100: 222, 101: 223, 0xFFFFFFFF: 224, 0x80000000: 225, 99: 220}
    if 0 <= t <= 3:
        return bytes([t])
    if t in special:
        return bytes([special[t]])
    return bytes([221]) + word(t)


def kind(k):
    special = {0: 220, 3: 221, -1: 222, -2147483648: 223}
    if k in (1, 2):
        return bytes([k - 1])
    if k in special:
        return bytes([special[k]])
    return bytes([224]) + word(k)


def sel(v):
    if 0 <= v <= 6:
        return bytes([v])
    special = {0xFFFFFFFF: 240, 0x80000000: 241, 0x7FFFFFFF: 242}
    if v in special:
        return bytes([special[v]])
    return bytes([243]) + word(v)


NAN, INF = float("nan"), float("inf")


def flt(x):
    q = x * 4
    if x == x and abs(x) != INF and q == int(q) and -64 <= q <= 63 and not (x == 0 and str(x)[0] == "-"):
        return bytes([int(q) + 160])
    return bytes([224]) + struct.pack("<f", x)


def flts(*xs):
    return b"".join(flt(x) for x in xs)


def vec_block_args(size_code, count, floats, word0=0, null=False, size_byte=0):
    """AddMeshVOR arguments after the object, as the decoder reads them: vertex size choice,
    count, the host word, the vertex floats (padded or cut to what the block holds), null flag."""
    fixed = {0: 12, 1: 16, 2: 32, 3: 34}
    out = bytes([size_code])
    c = size_code % 8
    if c in fixed:
        vertex_size = fixed[c]
    elif c == 4:
        out += bytes([size_byte])
        vertex_size = size_byte % 4
    elif c == 5:
        out += bytes([size_byte])
        vertex_size = 4 + size_byte % 12
    elif c == 6:
        out += bytes([size_byte])
        vertex_size = size_byte
    else:
        out += word(size_byte)
        vertex_size = size_byte & 0xFFFFFFFF
    if 0 <= count < 40:
        out += bytes([count])
    elif -7 <= count < 0:
        out += bytes([next(v for v in range(200, 230) if v % 7 == -count - 1)])
    else:
        out += bytes([230]) + word(count)
        count = struct.unpack("<i", word(count))[0]
    triangles = int(count / 3)
    stride = vertex_size & ~3
    if triangles > 0:
        if triangles > 13:
            triangles = 13
        stride = min(stride, 256)
        size = 12 + (3 * triangles - 1) * stride + 12
    else:
        size = 12
    needed = (size - 12) // 4
    floats = (list(floats) + [0.0] * needed)[:needed]
    out += word(word0)
    out += b"".join(flt(f) for f in floats)
    out += bytes([0 if null else 1])
    return out


def new_ellipsoid(n, t, x, y, z, rx=1, ry=1, rz=1):
    return (op("kNewObj") + obj(n) + typ(t) + op("kAddShape") + obj(n) + kind(1) +
            op("kSetRadius") + obj(n) + flts(rx, ry, rz) + op("kSetPos") + flts(x, y, z) +
            op("kSetRot") + flts(0, 0, 0) + op("kUpdate") + obj(n) + sel(1) + bytes([1]) +
            op("kActivate") + obj(n))


def floor(n, t):
    return (op("kNewObj") + obj(n) + typ(t) + op("kAddShape") + obj(n) + kind(2) +
            op("kAddMeshTri") + obj(n) + flts(-10, 0, -10, -10, 0, 10, 10, 0, 10) +
            op("kAddMeshTri") + obj(n) + flts(-10, 0, -10, 10, 0, 10, 10, 0, -10) +
            op("kActivate") + obj(n))


def move(n, x, y, z, flag=0):
    return (op("kSetPos") + flts(x, y, z) + op("kSetRot") + flts(0, 0, 0) + op("kUpdate") +
            obj(n) + sel(flag) + bytes([1]))


def defs(response=3, dynamic=1):
    return (op("kSetCollisions") + typ(1) + typ(2) + sel(2) + sel(response) + sel(dynamic) +
            bytes([1]) +
            op("kSetCollisions") + typ(1) + typ(1) + sel(1) + sel(response) + sel(dynamic) +
            bytes([1]))


def scene():
    return defs() + floor(1, 2) + new_ellipsoid(2, 1, 0, 1.5, 0) + new_ellipsoid(3, 1, 3, 1.5, 0)


ARM = op("kStartDebug")
BAD_OBJECTS = [0, 5001, 0xFFFFFFFF, 40]


def per_object(name, extra=b""):
    """The call on a good object, then armed on each kind of bad object."""
    out = scene() + op(name) + obj(2) + extra + op(name) + obj(1) + extra
    for n in BAD_OBJECTS:
        out += ARM + op(name) + obj(n) + extra
    return out


def files():
    f = {}
    f["start_stop"] = op("kStart") + scene() + op("kStop") + op("kStop") + ARM + op("kStop") + \
        op("kFreeObj") + obj(0)
    f["debug_arm_twice"] = ARM + ARM + op("kFreeObj") + obj(0) + op("kFreeObj") + obj(5001)
    f["settings"] = (op("kSetOptimize") + sel(0) + op("kSetOptimize") + sel(0xFFFFFFFF) +
                     op("kSetSizeMode") + sel(5) + op("kSetSizeMode") + sel(0) +
                     ARM + op("kSetConcave") + sel(0) + bytes([0]) +
                     op("kSetConcave") + sel(5) + bytes([1]) +
                     ARM + op("kSetConcave") + sel(0xFFFFFFFF) + bytes([0]) +
                     op("kSetConcave") + sel(1) + bytes([0]))
    f["new_objects"] = (op("kNewObj") + obj(1) + typ(0) + op("kNewObj") + obj(5000) + typ(100) +
                        ARM + op("kNewObj") + obj(0) + typ(1) +
                        ARM + op("kNewObj") + obj(5001) + typ(1) +
                        ARM + op("kNewObj") + obj(2) + typ(101) +
                        ARM + op("kNewObj") + obj(2) + typ(0xFFFFFFFF) +
                        op("kNewObj") + obj(1) + typ(3))
    f["free"] = per_object("kFreeObj") + ARM + op("kFreeObj") + obj(2)
    f["activate"] = per_object("kActivate") + op("kActivate") + obj(2) + op("kActivate") + obj(2)
    f["deactivate"] = per_object("kDeactivate") + op("kDeactivate") + obj(2)
    f["add_shape"] = b"".join(per_object("kAddShape", kind(k)) for k in (1, 2, 0, 3, -1))
    f["set_collisions"] = b"".join(
        ARM + op("kSetCollisions") + typ(s) + typ(d) + sel(m) + sel(r) + sel(y) + bytes([1])
        for (s, d, m, r, y) in [(101, 1, 1, 1, 1), (101, 101, 1, 1, 1), (1, 101, 1, 1, 1),
                                (1, 1, 0, 1, 1), (1, 1, 3, 1, 1), (1, 1, 1, 0, 1),
                                (1, 1, 1, 6, 1), (1, 1, 1, 1, 0), (1, 1, 1, 1, 5),
                                (0, 100, 2, 5, 4), (0xFFFFFFFF, 1, 1, 1, 1)])
    f["check_shape"] = b"".join(per_object("kCheckShape", kind(k)) for k in (1, 2, 3))
    f["radius"] = (per_object("kSetRadius", flts(2, 3, 4)) +
                   b"".join(ARM + op("kSetRadius") + obj(2) + flts(*r) for r in
                            [(1, 0, 1), (NAN, 1, 1), (-1, 1, 1), (1, 1, -0.0), (INF, 1, 1),
                             (1e-45, 1e38, 1)]))
    f["offset"] = per_object("kSetOffset", flts(0, 1, 0)) + op("kSetOffset") + obj(2) + \
        flts(NAN, INF, -INF)
    f["gravity"] = per_object("kSetGravity", flts(0.25)) + op("kSetGravity") + obj(2) + flts(NAN)
    f["min_slope"] = per_object("kSetMinSlope", flts(0.5)) + op("kSetMinSlope") + obj(2) + \
        flts(-INF)
    f["pose"] = (op("kSetPos") + flts(1, 2, 3) + op("kSetRot") + flts(90, 0, 0) +
                 op("kSetPos") + flts(NAN, INF, -1e38) + op("kSetRot") + flts(1e38, NAN, -INF))
    f["scale"] = per_object("kSetScale", flts(200, 100, 50)) + op("kSetScale") + obj(1) + \
        flts(0, 0, 0) + move(1, 0, 0, 0) + op("kRun")
    f["update"] = (per_object("kUpdate", sel(0) + bytes([1])) + op("kUpdate") + obj(2) + sel(2) +
                   bytes([1]) + op("kUpdate") + obj(2) + sel(0) + bytes([0]) + word(0x100) +
                   op("kRun"))
    for name in ("kPeekX", "kPeekY", "kPeekZ", "kPeekPitch", "kPeekYaw", "kPeekRoll"):
        f["peek_" + name[5:].lower()] = per_object(name)
    f["mesh_tri"] = per_object("kAddMeshTri", flts(0, 0, 0, 1, 2, 3, -1, 5, 0)) + \
        op("kAddMeshTri") + obj(1) + flts(NAN, 0, 0, INF, 0, 0, 0, -INF, 1e38)
    f["mesh_block"] = (scene() +
                       op("kAddMesh") + obj(1) + vec_block_args(0, 7, [i * 0.5 for i in range(21)]) +
                       op("kAddMesh") + obj(1) + vec_block_args(3, 6, [1.0] * 8 * 6) +
                       op("kAddMesh") + obj(1) + vec_block_args(4, 3, [2.0] * 3, size_byte=2) +
                       op("kAddMesh") + obj(1) + vec_block_args(5, 3, [3.0] * 6, size_byte=0) +
                       op("kAddMesh") + obj(1) + vec_block_args(0, 2, []) +
                       op("kAddMesh") + obj(1) + vec_block_args(0, -3, []) +
                       op("kAddMesh") + obj(1) + vec_block_args(7, 2, [], size_byte=0xFFFFFFF0) +
                       op("kAddMesh") + obj(1) + vec_block_args(0, 0, [], null=True) +
                       ARM + op("kAddMesh") + obj(0) + vec_block_args(0, 3, [0.0] * 9) +
                       op("kRun") + op("kReadAll"))
    f["mesh_block_huge_count"] = (floor(1, 2) + op("kAddMesh") + obj(1) +
                                  vec_block_args(1, 0x7FFFFFFF, [0.25] * 200) +
                                  op("kAddMesh") + obj(1) + vec_block_args(0, -0x80000000, []))
    f["angles"] = b"".join(op(o) + flts(*v) for o in ("kVec2Yaw", "kVec2Pitch") for v in
                           [(0, 0, 1), (1, 0, 0), (0, 0, -1), (-1, 5, 1), (0, 7, 0), (0, 0, 0),
                            (NAN, 0, 1), (INF, 0, 0), (1e38, 1e38, 1e38), (1e-45, 0, 1e-45)])
    f["pass_empty"] = op("kRun") + op("kRun") + defs() + op("kRun")
    f["pass_scene"] = (scene() + move(2, 0, -1, 0) + move(3, 1, 1.5, 0) + op("kRun") +
                       op("kReadAll") + move(2, 2, -1, 0) + op("kRun") + op("kReadAll"))
    f["stack"] = (scene() + op("kResetStack") + op("kPeekStack") + op("kPeekStack") +
                  op("kDeactivate") + obj(2) + op("kPeekStack") + op("kPeekStack") +
                  op("kPeekStack") + op("kStop") + op("kPeekStack") + op("kResetStack") +
                  op("kPeekStack"))
    f["count"] = per_object("kCountCollisions")
    contact_ops = ("kHitPos", "kHitNorm", "kHitObj", "kHitType", "kHitShape", "kHitPoly",
                   "kTriCorner")
    for name in contact_ops:
        q = b""
        for (n, i, c, a) in [(2, 1, 1, 1), (2, 0, 1, 2), (2, 3, 3, 3), (2, 1, 0, 4),
                             (0, 1, 1, 1), (5001, 1, 1, 1), (2, 0xFFFFFFFF, 0xFFFFFFFF, 0x80000000)]:
            q += ARM + op(name) + obj(n) + sel(i) + sel(c) + sel(a)
        f["contact_" + name[4:].lower()] = scene() + move(2, 0, -1, 0) + op("kRun") + q
    rays = b""
    for (n, k, v) in [(2, 1, (0, 1.5, -10, 0, 1.5, 10)), (1, 2, (0, 5, 0, 0, -5, 0)),
                      (1, 2, (0, -5, 0, 0, 5, 0)), (2, 1, (0, 0, 0, 0, 0, 0)),
                      (2, 3, (0, 0, -10, 0, 0, 10)), (0, 1, (0, 0, -10, 0, 0, 10)),
                      (2, 1, (NAN, 0, 0, INF, 0, 0)), (2, 1, (-1e38, 0, 0, 1e38, 0, 0))]:
        rays += ARM + op("kRayObject") + obj(n) + kind(k) + flts(*v)
        for acc in ("kRayPosX", "kRayPosY", "kRayPosZ", "kRayNormX", "kRayNormY", "kRayNormZ",
                    "kRayDist", "kRayObj", "kRayTypeHit"):
            rays += op(acc)
    f["ray_object"] = scene() + rays
    f["ray_type"] = (scene() + b"".join(op("kRayType") + typ(t) + kind(k) + flts(*v) + op("kRayObj")
                                        for (t, k, v) in [(1, 1, (-10, 1.5, 0, 10, 1.5, 0)),
                                                          (2, 2, (0, 5, 0, 0, -5, 0)),
                                                          (101, 1, (0, 0, 0, 1, 1, 1)),
                                                          (0xFFFFFFFF, 2, (0, 5, 0, 0, -5, 0))]))
    f["ray_before_any"] = b"".join(op(a) for a in ("kRayPosX", "kRayDist", "kRayObj", "kRayTypeHit"))
    for mode in range(4):
        f["handler_mode_%d" % mode] = (scene() + op("kSetHandler") + bytes([mode]) + ARM +
                                       op("kFreeObj") + obj(0) + ARM + op("kSetConcave") + sel(0) +
                                       bytes([0]) + ARM + op("kHitPos") + obj(2) + sel(5) + sel(1) +
                                       sel(1) + move(2, 0, -1, 0) + op("kRun") + op("kReadAll"))
    f["composite_scene"] = (op("kScene") + bytes([2, 0]) +
                            (op("kFrame") + bytes([2]) + obj(2) + flts(0, 1, 0, 0, 0, 0) + bytes([1]) +
                             obj(3) + flts(1, 0.5, 0, 0, 45, 0) + bytes([1]) +
                             obj(4) + flts(4, 1, 0, 0, 0, 0) + bytes([1])) * 3)
    f["platform_rider"] = (defs(3, 3) + floor(1, 2) + new_ellipsoid(2, 1, 0, 1.01, 0) +
                           move(2, 0, 0.5, 0) + op("kRun") + move(1, 1, 0.5, 0) +
                           move(2, 0, 0.5, 0) + op("kRun") + op("kReadAll") + op("kFreeObj") +
                           obj(1) + op("kReadAll") + move(2, 0, 0, 0) + op("kRun") + op("kReadAll"))
    f["replace_hit_object"] = (scene() + move(2, 3, 1.5, 0) + op("kRun") + op("kNewObj") + obj(3) +
                               typ(1) + op("kReadAll") + op("kRun") + op("kReadAll"))
    f["nan_motion"] = (scene() + move(2, NAN, 1, 0) + op("kRun") + op("kReadAll") +
                       move(3, INF, -INF, 1e38) + op("kRun") + op("kReadAll"))
    f["stop_between_update_and_pass"] = (scene() + move(2, 0, -1, 0) + op("kStop") + op("kRun") +
                                         op("kReadAll"))
    f["deactivate_mid_scene"] = (scene() + move(2, 0, -1, 0) + op("kRun") + op("kDeactivate") +
                                 obj(1) + op("kReadAll") + move(2, 0, -2, 0) + op("kRun") +
                                 op("kReadAll"))
    f["crowd"] = (op("kCrowd") + bytes([1]) + flt(0.5) + op("kCrowd") + bytes([2]) + flt(0.25) +
                  op("kFreeObj") + obj(9) + op("kReadAll"))
    # Report-only piles through a triangle stack: many records per body, an outlier in the
    # pair grid (none, huge, thrown far), a freed body that others hit, a second pass.
    f["pile"] = (op("kPile") + bytes([32, 5, 4, 1]) + flt(0.0) + op("kReadAll") +
                 op("kPile") + bytes([20, 40, 2, 2]) + flt(0.5))
    f["pile_stack"] = op("kPile") + bytes([39, 2, 4, 0]) + flt(0.1)
    # Overlap recovery: the switch with good and bad types, then pressing crowds on a floor.
    f["set_recovery"] = (op("kSetRecovery") + bytes([0, 0, 1]) + op("kSetRecovery") +
                              bytes([1, 1, 1, 1, 1]) + op("kSetRecovery") + bytes([1, 229, 1, 1, 1]))
    f["pressing"] = (op("kPressing") + bytes([0, 0]) + flt(0.5) + op("kPressing") +
                     bytes([1, 1]) + flt(1.0) + op("kReadAll"))
    # Passes on worker threads: a pressing crowd and a terrain walk on 3, then counts clamped from
    # below (-3) and above (2^31 - 3) with a pass after each.
    f["workers"] = (op("kSetWorkers") + sel(5) + op("kPressing") + bytes([0, 0]) + flt(0.5) +
                    op("kReadAll") + defs() + op("kTerrain") + obj(1) + bytes(range(3, 52)) +
                    new_ellipsoid(2, 1, 0, 5, 0) + move(2, 1, 0, 1) + op("kRun") +
                    op("kSetWorkers") + sel(0xFFFFFFFF) + move(2, 2, 0, 1) + op("kRun") +
                    op("kSetWorkers") + sel(0x7FFFFFFF) + move(2, 3, 0, 1) + op("kRun") +
                    op("kReadAll"))
    f["crowd_nan"] = op("kCrowd") + bytes([2]) + flt(NAN) + op("kCrowd") + bytes([2]) + flt(-1e38)
    f["terrain"] = (defs() + op("kTerrain") + obj(1) + bytes(range(3, 52)) +
                    new_ellipsoid(2, 1, 0, 5, 0) + move(2, 1, 0, 1) + op("kRun") + op("kReadAll") +
                    op("kRayType") + typ(2) + kind(2) + flts(0, 10, 0, 0, -10, 0) +
                    op("kSetScale") + obj(1) + flts(150, 50, 150) + move(1, 0, 0.5, 0) +
                    move(2, -3, 0, 2) + op("kRun") + op("kReadAll"))
    # A terrain hierarchy built by a pass, then triangles added past a sixteenth of it with a ray
    # after each: its rebuild runs in slices, takes the later ones in and replaces the old one.
    grow = b""
    for k in range(10):
        grow += (op("kAddMeshTri") + obj(1) + flts(k - 5, 3, 0, k - 5, 3, 2, k - 3, 3, 0) +
                 op("kRayObject") + obj(1) + kind(2) + flts(k - 4.5, 10, 0.5, k - 4.5, -10, 0.5) +
                 op("kRayDist"))
    f["growing_mesh"] = (defs() + op("kTerrain") + obj(1) + bytes(range(3, 52)) +
                         new_ellipsoid(2, 1, 0, 5, 0) + move(2, 1, 0, 1) + op("kRun") + grow +
                         move(2, 2, 0, 1) + op("kRun") + op("kReadAll"))
    f["terrain_wild"] = (defs() + op("kTerrain") + obj(1) + bytes([0] * 49) + flt(INF) +
                         new_ellipsoid(2, 1, 0, 5, 0) + move(2, 1, 0, 1) + op("kRun") +
                         op("kReadAll"))
    # Rays by type into a crowd between changes: a shared position (equal distances), from inside,
    # without length, NaN, then free, deactivate, reactivate last, move through a pass, resize.
    row = op("kRayType") + typ(3) + kind(1) + flts(-5, 0, 0, 10, 0, 0) + op("kRayObj") + op("kRayDist")
    f["crowd_rays"] = (op("kCrowd") + bytes([1]) + flt(1.0) + row +
                       new_ellipsoid(3, 3, 0, 0, 0, 0.6, 0.6, 0.6) + row +
                       op("kRayType") + typ(3) + kind(1) + flts(0.1, 0, 0, 5, 0, 0) + op("kRayDist") +
                       op("kRayType") + typ(3) + kind(1) + flts(1, 0, 0, 1, 0, 0) +
                       op("kRayType") + typ(3) + kind(1) + flts(NAN, 0, 0, 5, 0, 0) +
                       op("kFreeObj") + obj(7) + row + op("kDeactivate") + obj(3) + row +
                       op("kActivate") + obj(3) + row + move(8, 1.25, 0, 0.7) + row + op("kRun") +
                       row + op("kSetRadius") + obj(9) + flts(2, 2, 2) + row)
    # A crowd walking through passes with rays by type between, one body grown big.
    f["crowd_walk"] = (op("kCrowd") + bytes([1]) + flt(1.0) + op("kWalk") + bytes([3]) +
                       flt(0.3) + obj(9) + flt(6.0) + op("kWalk") + bytes([5]) + flt(0.6) +
                       obj(10) + flt(-1.0) + op("kWalk") + bytes([2]) + flt(1e9) + obj(3) +
                       flt(0.5))
    # Inputs of the faults found so far (each fixed), kept as seeds.
    f["regress_nan_contact"] = (defs() + new_ellipsoid(2, 1, 0, 1.5, 0) +
                                new_ellipsoid(3, 1, 3, 1.5, 0, 1e-45, 1, 1) + move(2, 0.5, 1.5, 0) +
                                op("kRun") + op("kReadAll") + move(3, INF, 1.5, 0) + op("kRun") +
                                op("kReadAll"))
    f["regress_scratch_after_stop"] = (defs() + op("kTerrain") + obj(1) + bytes(range(49)) +
                                       op("kRayType") + typ(2) + kind(2) + flts(0, 10, 0, 0, -10, 0) +
                                       op("kCrowd") + bytes([2]) + flt(0.5) + op("kStop") +
                                       op("kCrowd") + bytes([1]) + flt(0.25))
    return f


def main():
    os.makedirs(OUT, exist_ok=True)
    for old in os.listdir(OUT):
        if old.startswith("seed_"):
            os.remove(os.path.join(OUT, old))
    made = files()
    for name, data in sorted(made.items()):
        with open(os.path.join(OUT, "seed_" + name), "wb") as fh:
            fh.write(data)
    print("wrote %d seeds to %s" % (len(made), OUT))


if __name__ == "__main__":
    sys.exit(main())
