// The built-in level: a floor, a walkable ramp with a deck, a slope too steep to stand on,
// stairs up to a landing, two walls meeting in a concave corner, a pillar, an elevator and a
// turntable. Every solid is closed on the sides a body can reach, with its faces turned out,
// since triangles are hit from their front only.
#include "level.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "recorder.h"

namespace vor::scene {

namespace {

// Appends the quad a b c d as two triangles, turned so that their front faces outward.
void Quad(std::vector<Triangle> *out, Point a, Point b, Point c, Point d, Point outward) {
    if (Dot(Cross(b - a, c - a), outward) < 0) {
        std::swap(b, d);
    }
    out->push_back({a, b, c});
    out->push_back({a, c, d});
}

void Tri(std::vector<Triangle> *out, Point a, Point b, Point c, Point outward) {
    if (Dot(Cross(b - a, c - a), outward) < 0)
        std::swap(b, c);
    out->push_back({a, b, c});
}

// An axis-aligned box without its bottom face (nothing reaches it from below).
void Box(std::vector<Triangle> *out, Point lo, Point hi) {
    Quad(out, {lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z},
         {0, 1, 0});
    Quad(out, {lo.x, lo.y, lo.z}, {lo.x, hi.y, lo.z}, {lo.x, hi.y, hi.z}, {lo.x, lo.y, hi.z},
         {-1, 0, 0});
    Quad(out, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {hi.x, lo.y, hi.z},
         {1, 0, 0});
    Quad(out, {lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
         {0, 0, -1});
    Quad(out, {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z},
         {0, 0, 1});
}

// A wedge between z0 and z1 whose top rises from height 0 at x = foot to height h at x = head;
// the vertical face stands at x = head.
void Wedge(std::vector<Triangle> *out, float foot, float head, float h, float z0, float z1) {
    float dir = head > foot ? 1.0f : -1.0f;
    Point up = Cross({head - foot, h, 0}, {0, 0, 1});
    if (up.y < 0)
        up = up * -1.0f;
    Quad(out, {foot, 0, z0}, {head, h, z0}, {head, h, z1}, {foot, 0, z1}, up);
    Quad(out, {head, 0, z0}, {head, h, z0}, {head, h, z1}, {head, 0, z1}, {dir, 0, 0});
    Tri(out, {foot, 0, z0}, {head, 0, z0}, {head, h, z0}, {0, 0, -1});
    Tri(out, {foot, 0, z1}, {head, 0, z1}, {head, h, z1}, {0, 0, 1});
}

// A ramp between z0 and z1 rising along +x from height 0 at foot to h at top, then a flat deck
// to x = end; one closed solid, without faces between the ramp and the deck.
void RampWithDeck(std::vector<Triangle> *out, float foot, float top, float end, float h, float z0,
                  float z1) {
    Quad(out, {foot, 0, z0}, {top, h, z0}, {top, h, z1}, {foot, 0, z1}, {-h, top - foot, 0});
    Quad(out, {top, h, z0}, {end, h, z0}, {end, h, z1}, {top, h, z1}, {0, 1, 0});
    Quad(out, {end, 0, z0}, {end, h, z0}, {end, h, z1}, {end, 0, z1}, {1, 0, 0});
    for (float z : {z0, z1}) {
        const Point out_side{0, 0, z == z0 ? -1.0f : 1.0f};
        Tri(out, {foot, 0, z}, {top, 0, z}, {top, h, z}, out_side);
        Quad(out, {top, 0, z}, {end, 0, z}, {end, h, z}, {top, h, z}, out_side);
    }
}

// Stairs between x0 and x1 climbing towards -z from z = front: `steps` risers of `rise`, treads
// of `run`, the last tread running on as a landing to z = back. One closed solid.
void Stairs(std::vector<Triangle> *out, float x0, float x1, float front, float run, float rise,
            int steps, float back) {
    for (int i = 0; i < steps; ++i) {
        const float z = front - run * i, lo = rise * i, hi = rise * (i + 1);
        const float zEnd = i + 1 < steps ? z - run : back;
        Quad(out, {x0, lo, z}, {x1, lo, z}, {x1, hi, z}, {x0, hi, z}, {0, 0, 1});
        Quad(out, {x0, hi, z}, {x1, hi, z}, {x1, hi, zEnd}, {x0, hi, zEnd}, {0, 1, 0});
        Quad(out, {x0, 0, z}, {x0, hi, z}, {x0, hi, zEnd}, {x0, 0, zEnd}, {-1, 0, 0});
        Quad(out, {x1, 0, z}, {x1, hi, z}, {x1, hi, zEnd}, {x1, 0, zEnd}, {1, 0, 0});
    }
    const float top = rise * steps;
    Quad(out, {x0, 0, back}, {x1, 0, back}, {x1, top, back}, {x0, top, back}, {0, 0, -1});
}

// A flat disc of the given radius, top at local y 0, rim down to -depth.
void Disc(std::vector<Triangle> *out, float radius, float depth, int sides) {
    const float pi = 3.14159265f;
    for (int i = 0; i < sides; ++i) {
        float a0 = 2 * pi * i / sides, a1 = 2 * pi * (i + 1) / sides;
        Point p0{radius * std::cos(a0), 0, radius * std::sin(a0)};
        Point p1{radius * std::cos(a1), 0, radius * std::sin(a1)};
        Tri(out, {0, 0, 0}, p0, p1, {0, 1, 0});
        Point mid = (p0 + p1) * 0.5f;
        Quad(out, p0, p1, {p1.x, -depth, p1.z}, {p0.x, -depth, p0.z}, {mid.x, 0, mid.z});
    }
}

LevelObject Object(uint32_t number, uint32_t type, const char *name, const char *colour) {
    LevelObject o;
    o.number = number;
    o.type = type;
    o.name = name;
    o.colour = colour;
    return o;
}

} // namespace

float ElevatorHeight(float t) {
    // Waits at the bottom, rises, waits, comes down, waits, and rises to stay at the top.
    const float span = kElevatorHigh - kElevatorLow;
    auto rise = [&](float from) { return kElevatorLow + span * (t - from) / 2.0f; };
    if (t < 2.0f)
        return kElevatorLow;
    if (t < 4.0f)
        return rise(2.0f);
    if (t < 5.0f)
        return kElevatorHigh;
    if (t < 7.0f)
        return kElevatorHigh - span * (t - 5.0f) / 2.0f;
    if (t < 7.5f)
        return kElevatorLow;
    if (t < 9.5f)
        return rise(7.5f);
    return kElevatorHigh;
}

float TurntableYaw(float t) {
    return 30.0f * t;
}

Level BuiltInLevel() {
    Level level;
    level.source = "built-in";

    LevelObject floor = Object(1, kStaticLevelType, "floor", "#d9d9d9");
    Quad(&floor.triangles, {-12, 0, -8}, {12, 0, -8}, {12, 0, 8}, {-12, 0, 8}, {0, 1, 0});
    floor.byTriangles = true;
    level.objects.push_back(floor);

    // Ramp at 20 degrees (normal y 0.94, walkable) from x -10 up to a deck at x -5 .. -3.5.
    LevelObject ramp = Object(2, kStaticLevelType, "ramp", "#a6d96a");
    ramp.note = "20 deg, walkable, up to a deck";
    const float rampTop = 5.0f * std::tan(20.0f * 3.14159265f / 180.0f);
    RampWithDeck(&ramp.triangles, -10, -5, -3.5f, rampTop, -7, -5);
    level.objects.push_back(ramp);

    // Slope at 65 degrees. A character's contact normal runs from the touch point to the
    // ellipsoid's centre, which tilts it towards y for a tall body: on this slope its y is about
    // 0.83, below the characters' minimum slope 0.9, while the ramp's is 0.99.
    LevelObject steep = Object(3, kStaticLevelType, "steep slope", "#f4a582");
    steep.note = "65 deg, too steep to stand on";
    Wedge(&steep.triangles, -7.6f, -8.6f, std::tan(65.0f * 3.14159265f / 180.0f), -3, -1);
    level.objects.push_back(steep);

    // Six steps of 0.15 by 0.4 climbing towards -z, then a landing at 0.9.
    LevelObject stairs = Object(4, kStaticLevelType, "stairs", "#92c5de");
    stairs.note = "six steps of 0.15, landing at 0.9";
    Stairs(&stairs.triangles, -2.5f, -1.0f, -2.0f, 0.4f, 0.15f, 6, -5.6f);
    level.objects.push_back(stairs);

    // Two walls meeting in a concave corner at (6.7, -7.2): wall A faces +z, wall B faces -x.
    LevelObject wallA = Object(5, kStaticLevelType, "wall A", "#8c8c8c");
    Box(&wallA.triangles, {2, 0, -7.5f}, {7, 2, -7.2f});
    wallA.solidBlock = true;
    wallA.note = "with wall B, a concave corner";
    level.objects.push_back(wallA);
    LevelObject wallB = Object(6, kStaticLevelType, "wall B", "#6e6e6e");
    Box(&wallB.triangles, {6.7f, 0, -7.2f}, {7, 2, -2.5f});
    wallB.solidBlock = true;
    level.objects.push_back(wallB);

    LevelObject pillar = Object(7, kStaticLevelType, "pillar", "#b07aa1");
    Box(&pillar.triangles, {1.6f, 0, 1.6f}, {2.4f, 2.5f, 2.4f});
    pillar.solidBlock = true;
    level.objects.push_back(pillar);

    LevelObject elevator = Object(8, kElevatorType, "elevator", "#fdb863");
    Box(&elevator.triangles, {-1, -0.1f, -1}, {1, 0, 1});
    elevator.position = {9, kElevatorLow, 3};
    elevator.motion = Motion::Elevator;
    elevator.note = "moves up and down (dashed: lowest place)";
    level.objects.push_back(elevator);

    LevelObject turntable = Object(9, kTurntableType, "turntable", "#80cdc1");
    Disc(&turntable.triangles, 1.8f, 0.1f, 16);
    turntable.position = {10, 0.1f, -4.5f};
    turntable.motion = Motion::Turntable;
    turntable.note = "turns 30 deg per second";
    level.objects.push_back(turntable);
    return level;
}

Level FileLevel(const std::vector<Triangle> &triangles, const std::string &path) {
    Level level;
    level.source = path;
    LevelObject mesh = Object(1, kStaticLevelType, "level mesh", "#c7c7c7");
    mesh.triangles = triangles;
    level.objects.push_back(mesh);
    return level;
}

std::vector<Triangle> WorldTriangles(const LevelObject &object, Point p, float yawDegrees) {
    // The library turns a local x towards -z for a positive yaw; the picture does the same.
    float a = yawDegrees * 3.14159265f / 180.0f, c = std::cos(a), s = std::sin(a);
    auto place = [&](Point q) {
        return Point{q.x * c + q.z * s + p.x, q.y + p.y, -q.x * s + q.z * c + p.z};
    };
    std::vector<Triangle> out;
    for (const Triangle &t : object.triangles)
        out.push_back({place(t.a), place(t.b), place(t.c)});
    return out;
}

Bounds LevelBounds(const Level &level) {
    Bounds b;
    for (const LevelObject &o : level.objects) {
        for (const Triangle &t : WorldTriangles(o, o.position, 0)) {
            b.Grow(t.a);
            b.Grow(t.b);
            b.Grow(t.c);
        }
        if (o.motion == Motion::Elevator)
            b.Grow({o.position.x, kElevatorHigh, o.position.z});
    }
    return b;
}

std::vector<uint32_t> MakeVertexBlock(const std::vector<Triangle> &triangles) {
    const uint32_t floatsPerVertex = 8; // x y z, nx ny nz, u v
    std::vector<uint32_t> block(3 + triangles.size() * 3 * floatsPerVertex);
    block[0] = 0x484f5354u; // the host's own word
    block[1] = floatsPerVertex * 4;
    block[2] = static_cast<uint32_t>(triangles.size() * 3);
    size_t at = 3;
    for (const Triangle &t : triangles) {
        Point n = Cross(t.b - t.a, t.c - t.a);
        float len = Length(n);
        if (len > 0)
            n = n * (1.0f / len);
        for (Point p : {t.a, t.b, t.c}) {
            const float v[8] = {p.x, p.y, p.z, n.x, n.y, n.z, p.x * 0.5f, p.z * 0.5f};
            std::memcpy(&block[at], v, sizeof v);
            at += floatsPerVertex;
        }
    }
    return block;
}

void BuildLevel(const Level &level) {
    for (const LevelObject &o : level.objects) {
        Call(kNewCollObjVOR, o.number, o.type);
        Call(kAddObjShapeVOR, o.number, int32_t{2});
        if (o.byTriangles) {
            for (const Triangle &t : o.triangles)
                Call(kAddMeshTri, o.number, t.a.x, t.a.y, t.a.z, t.b.x, t.b.y, t.b.z, t.c.x, t.c.y,
                     t.c.z);
        } else {
            std::vector<uint32_t> block = MakeVertexBlock(o.triangles);
            CallAddMesh(o.number, block.data());
        }
        // Place the mesh without a sweep so its matrices are built before the first pass.
        Call(kSetObjPosVOR, o.position.x, o.position.y, o.position.z);
        Call(kSetObjRotVOR, 0.0f, 0.0f, 0.0f);
        Call(kUpdateObjVOR, o.number, int32_t{1});
        Call(kActivateObjVOR, o.number);
    }
}

} // namespace vor::scene
