// Small geometry types of the tool: a point, a triangle, and the few operations the level
// builder, the scene script and the picture need. The library does its own math; these only
// describe the scene and draw it.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace vor::scene {

struct Point {
    float x = 0, y = 0, z = 0;
};

inline Point operator+(Point a, Point b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Point operator-(Point a, Point b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Point operator*(Point a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline float Dot(Point a, Point b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Point Cross(Point a, Point b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(Point a) {
    return std::sqrt(Dot(a, a));
}

struct Triangle {
    Point a, b, c; // counter-clockwise seen from the front
};

struct Bounds {
    Point min{1e30f, 1e30f, 1e30f};
    Point max{-1e30f, -1e30f, -1e30f};
    void Grow(Point p) {
        min = {std::fmin(min.x, p.x), std::fmin(min.y, p.y), std::fmin(min.z, p.z)};
        max = {std::fmax(max.x, p.x), std::fmax(max.y, p.y), std::fmax(max.z, p.z)};
    }
    bool Empty() const { return min.x > max.x; }
};

// A host vertex block as AddMeshVOR reads it: a word of the host's own, the vertex size in
// bytes, the vertex count, then the vertices. Each vertex here is a game-style 32 bytes:
// position, normal and texture coordinates; the library reads only the position.
std::vector<uint32_t> MakeVertexBlock(const std::vector<Triangle> &triangles);

} // namespace vor::scene
