// Writes what the web playground takes from vorcollide-scene as JSON: the built-in level (every
// object's number, type, name, colour, local triangles, start position, motion) and the table of
// exports with their argument and result kinds. Floats are written with nine significant digits,
// so the page feeds the library the very bits the command-line tool does.
#include <cstdio>
#include <string>

#include "exports.h"
#include "level.h"
#include "scene.h"

using namespace vor::scene;

namespace {

std::string Json(const std::string &v) {
    std::string s = "\"";
    for (char ch : v) {
        if (ch == '"' || ch == '\\')
            s += '\\';
        s += ch;
    }
    return s + "\"";
}

void Number(float v) {
    std::printf("%.9g", static_cast<double>(v));
}

const char *MotionName(Motion m) {
    return m == Motion::Elevator ? "elevator" : m == Motion::Turntable ? "turntable" : "static";
}

} // namespace

int main() {
    const Level level = BuiltInLevel();
    std::printf("{\n  \"exports\": [\n");
    for (int i = 0; i < kExportCount; ++i)
        std::printf("    {\"name\": \"%s\", \"args\": \"%s\", \"result\": \"%c\"}%s\n",
                    kExportSpecs[i].name, kExportSpecs[i].args, kExportSpecs[i].result,
                    i + 1 < kExportCount ? "," : "");
    std::printf("  ],\n  \"types\": {\"character\": %u, \"level\": %u, \"elevator\": %u, "
                "\"turntable\": %u, \"projectile\": %u},\n",
                kCharacterType, kStaticLevelType, kElevatorType, kTurntableType, kProjectileType);
    // How vorcollide-scene sizes its characters to a level: the playground applies the same rules.
    std::printf("  \"characters\": {\"radius\": ");
    Number(kBuiltInRadius);
    std::printf(", \"step\": ");
    Number(kBuiltInStep);
    std::printf(", \"gravity\": ");
    Number(kBuiltInGravity);
    std::printf(", \"heightPerRadius\": ");
    Number(kHeightPerRadius);
    std::printf(", \"minSlope\": ");
    Number(kMinSlope);
    std::printf(", \"levelWidthPerRadius\": ");
    Number(kLevelWidthPerRadius);
    std::printf(", \"surfaceGrid\": %d, \"startLiftPerRadius\": ", kSurfaceGridSize);
    Number(kStartLiftPerRadius);
    std::printf("},\n");
    std::printf("  \"elevator\": {\"low\": ");
    Number(kElevatorLow);
    std::printf(", \"high\": ");
    Number(kElevatorHigh);
    std::printf("},\n  \"level\": [\n");
    for (size_t i = 0; i < level.objects.size(); ++i) {
        const LevelObject &o = level.objects[i];
        std::printf(
            "    {\"number\": %u, \"type\": %u, \"name\": %s, \"note\": %s, \"colour\": %s, "
            "\"motion\": \"%s\", \"solid\": %s, \"byTriangles\": %s, \"position\": [",
            o.number, o.type, Json(o.name).c_str(), Json(o.note).c_str(), Json(o.colour).c_str(),
            MotionName(o.motion), o.solidBlock ? "true" : "false",
            o.byTriangles ? "true" : "false");
        Number(o.position.x);
        std::printf(", ");
        Number(o.position.y);
        std::printf(", ");
        Number(o.position.z);
        std::printf("],\n     \"triangles\": [");
        for (size_t t = 0; t < o.triangles.size(); ++t) {
            const Triangle &tri = o.triangles[t];
            const Point corners[3] = {tri.a, tri.b, tri.c};
            std::printf(t ? ",\n       " : "\n       ");
            for (int c = 0; c < 3; ++c) {
                std::printf(c ? ", " : "");
                Number(corners[c].x);
                std::printf(", ");
                Number(corners[c].y);
                std::printf(", ");
                Number(corners[c].z);
            }
        }
        std::printf("]}%s\n", i + 1 < level.objects.size() ? "," : "");
    }
    std::printf("  ]\n}\n");
    return 0;
}
