// The OBJ reader. Face corners are "v", "v/vt", "v//vn" or "v/vt/vn" with 1-based or negative
// (relative) vertex indices; texture and normal indices are read past and ignored.
#include "obj_reader.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "trace_format.h"

namespace vor::scene {

namespace {

std::string Where(const std::string &name, int line) {
    return name + ":" + std::to_string(line);
}

bool ParseCoordinate(const std::string &token, float *out) {
    const char *text = token.c_str();
    char *end = nullptr;
    float v = std::strtof(text, &end);
    if (end == text || *end || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

// The vertex index of one face corner, resolved to 0-based; false when malformed or out of range.
bool ParseCorner(const std::string &token, size_t vertexCount, size_t *index) {
    std::string first = token.substr(0, token.find('/'));
    const char *text = first.c_str();
    char *end = nullptr;
    errno = 0;
    long long v = std::strtoll(text, &end, 10);
    if (errno || end == text || *end || v == 0)
        return false;
    long long resolved = v > 0 ? v - 1 : static_cast<long long>(vertexCount) + v;
    if (resolved < 0 || resolved >= static_cast<long long>(vertexCount))
        return false;
    *index = static_cast<size_t>(resolved);
    return true;
}

} // namespace

bool ParseObjText(const std::string &text, const std::string &name,
                  std::vector<Triangle> *triangles, std::string *error) {
    std::vector<Point> vertices;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    triangles->clear();
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        TraceLine parts = SplitTraceLine(line);
        if (parts.tokens.empty())
            continue;
        const std::string &kind = parts.tokens[0];
        if (kind == "v") {
            // x, y, z and an optional w (or vertex colours) after them.
            Point p;
            if (parts.tokens.size() < 4 || !ParseCoordinate(parts.tokens[1], &p.x) ||
                !ParseCoordinate(parts.tokens[2], &p.y) ||
                !ParseCoordinate(parts.tokens[3], &p.z)) {
                *error = Where(name, number) + ": a vertex needs three numbers x y z";
                return false;
            }
            vertices.push_back(p);
        } else if (kind == "f") {
            if (parts.tokens.size() < 4) {
                *error = Where(name, number) + ": a face needs at least three corners";
                return false;
            }
            std::vector<size_t> corners;
            for (size_t i = 1; i < parts.tokens.size(); ++i) {
                size_t index;
                if (!ParseCorner(parts.tokens[i], vertices.size(), &index)) {
                    *error = Where(name, number) + ": bad face corner '" + parts.tokens[i] + "' (" +
                             std::to_string(vertices.size()) + " vertices defined so far)";
                    return false;
                }
                corners.push_back(index);
            }
            // Fan from the first corner keeps the face's winding, and so its front side.
            for (size_t i = 1; i + 1 < corners.size(); ++i)
                triangles->push_back(
                    {vertices[corners[0]], vertices[corners[i]], vertices[corners[i + 1]]});
        }
    }
    if (triangles->empty()) {
        *error = name + ": no faces (an OBJ level needs \"f\" lines)";
        return false;
    }
    return true;
}

bool ReadObjFile(const std::string &path, std::vector<Triangle> *triangles, std::string *error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        *error = path + ": cannot read: " + std::strerror(errno);
        return false;
    }
    return ParseObjText(text.str(), path, triangles, error);
}

} // namespace vor::scene
