// The scene script. Each frame is what a game does: move the moving meshes, ask every character
// to walk one step towards its next waypoint (gravity is subtracted by the library), run one
// collision pass, and read back positions, contacts and a downward ground ray per character.
#include "scene.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>

#include "recorder.h"

namespace vor::scene {

namespace {

const char *const kPalette[] = {"#d62728", "#1f77b4", "#2ca02c", "#ff7f0e",
                                "#9467bd", "#8c564b", "#e377c2", "#17becf"};

CharacterSpec Character(uint32_t number, const char *name, const char *role, Point start,
                        std::vector<Waypoint> path) {
    CharacterSpec c;
    c.number = number;
    c.name = name;
    c.role = role;
    c.colour = kPalette[(number - 101) % 8];
    c.start = start;
    c.path = std::move(path);
    return c;
}

std::vector<CharacterSpec> BuiltInCast() {
    return {
        Character(101, "ramp walker",
                  "walks up the 20 deg ramp to the deck, back down, stands on it", {-11, 0.02f, -6},
                  {{-4.2f, -6, 0}, {-7.0f, -6, 0}}),
        Character(102, "slope slider", "dropped on the steep slope: slides down, then walks off",
                  {-8.2f, 1.6f, -2}, {{-5.5f, 0.5f, 3.5f}}),
        Character(103, "stair climber", "climbs six steps to the landing", {-1.75f, 0.02f, 0.5f},
                  {{-1.75f, -5.0f, 0}}),
        Character(104, "corner walker", "walks diagonally into the concave corner and is held",
                  {2.5f, 0.02f, -2.5f}, {{8, -8, 0}}),
        Character(105, "pillar walker", "walks at the pillar, slides around it",
                  {-3.5f, 0.02f, 2.3f}, {{5.5f, 1.0f, 0}}),
        Character(106, "elevator rider", "steps onto the elevator and rides it (dynamic 4)",
                  {6.3f, 0.02f, 3}, {{9, 3, 0}}),
        Character(107, "turntable rider", "stands on the turntable, carried and turned (dynamic 3)",
                  {10, 0.15f, -3.3f}, {}),
    };
}

// Walkers on a loaded level, crossing it in different directions; each is put on the surface
// below its start before the run (PlaceOnSurface).
std::vector<CharacterSpec> FileLevelCast(const Bounds &b) {
    const float x0 = b.min.x, x1 = b.max.x, z0 = b.min.z, z1 = b.max.z;
    auto at = [&](float fx, float fz) {
        return Point{x0 + (x1 - x0) * fx, b.max.y + 0.2f, z0 + (z1 - z0) * fz};
    };
    auto to = [&](float fx, float fz) {
        return Waypoint{x0 + (x1 - x0) * fx, z0 + (z1 - z0) * fz, 0};
    };
    return {
        Character(101, "walker 1", "crosses along x", at(0.1f, 0.3f), {to(0.9f, 0.3f)}),
        Character(102, "walker 2", "crosses along z", at(0.7f, 0.1f), {to(0.7f, 0.9f)}),
        Character(103, "walker 3", "crosses diagonally", at(0.1f, 0.9f), {to(0.9f, 0.55f)}),
        Character(104, "walker 4", "crosses back along z", at(0.35f, 0.9f), {to(0.35f, 0.1f)}),
        Character(105, "walker 5", "stands where it lands", at(0.9f, 0.9f), {}),
    };
}

int g_reports = 0;

void OnLibraryReport(const char *text, const char *caption, void *) {
    ++g_reports;
    std::fprintf(stderr, "vorcollide-scene: the library reported: %s: %s\n", caption, text);
}

void DeclareCollisions() {
    // Characters slide and stand (response 3) on the level, ride the elevator carried without
    // turning (dynamic 4), ride the turntable carried and turned (dynamic 3), and bump into each
    // other. The projectile stops (response 1) at characters and at the level.
    Call(kSetCollisionsVOR, kCharacterType, kStaticLevelType, 2u, 3u, 1u);
    Call(kSetCollisionsVOR, kCharacterType, kElevatorType, 2u, 3u, 4u);
    Call(kSetCollisionsVOR, kCharacterType, kTurntableType, 2u, 3u, 3u);
    Call(kSetCollisionsVOR, kCharacterType, kCharacterType, 1u, 3u, 1u);
    Call(kSetCollisionsVOR, kProjectileType, kCharacterType, 1u, 1u, 1u);
    Call(kSetCollisionsVOR, kProjectileType, kStaticLevelType, 2u, 1u, 1u);
}

void Place(uint32_t number, Point p, Point rotation) {
    Call(kSetObjPosVOR, p.x, p.y, p.z);
    Call(kSetObjRotVOR, rotation.x, rotation.y, rotation.z);
    Call(kUpdateObjVOR, number, int32_t{1});
}

void CreateCharacter(const CharacterSpec &c, const CharacterScale &scale) {
    Call(kNewCollObjVOR, c.number, kCharacterType);
    Call(kAddObjShapeVOR, c.number, int32_t{1});
    Call(kSetObjRadiusVOR, c.number, scale.radius, scale.RadiusY(), scale.radius);
    Call(kSetEllipOffsetVOR, c.number, 0.0f, scale.RadiusY(), 0.0f);
    Call(kSetObjGravityVOR, c.number, scale.gravity);
    Call(kSetObjMinSlopeVOR, c.number, kMinSlope);
    Place(c.number, c.start, {});
    Call(kActivateObjVOR, c.number);
}

Point ResolvedPosition(uint32_t n) {
    return {CallFloat(kPeekObjXVOR, n), CallFloat(kPeekObjYVOR, n), CallFloat(kPeekObjZVOR, n)};
}

// The step a character asks for this frame: towards its waypoint at walking speed.
Point WalkStep(CharacterRun *c, Point feet, float seconds, const CharacterScale &scale) {
    while (c->waypoint < c->plan.path.size()) {
        const Waypoint &w = c->plan.path[c->waypoint];
        if (seconds < w.notBefore)
            return {};
        float dx = w.x - feet.x, dz = w.z - feet.z;
        float d = std::sqrt(dx * dx + dz * dz);
        if (d < scale.arrive) {
            ++c->waypoint;
            continue;
        }
        float s = std::fmin(scale.step, d) / d;
        return {dx * s, 0, dz * s};
    }
    return {};
}

// Casts a ray from just above the feet to 0.4 radii below them against every ground type (0.25
// and 0.1 units at the built-in size); answers the object hit nearest, or 0.
int32_t GroundBelow(Point feet, float radius) {
    const uint32_t types[] = {kStaticLevelType, kElevatorType, kTurntableType};
    int32_t best = 0;
    float bestDist = 1e30f;
    for (uint32_t type : types) {
        int32_t hit = Call(kRayIntersectTypeVOR, static_cast<int32_t>(type), int32_t{2}, feet.x,
                           feet.y + radius, feet.z, feet.x, feet.y - 0.4f * radius, feet.z);
        if (!hit)
            continue;
        float d = CallFloat(kRayHitDist);
        if (d < bestDist) {
            bestDist = d;
            best = Call(kRayHitObjVOR);
        }
    }
    return best;
}

void ReadContacts(CharacterRun *c, int frame) {
    const uint32_t n = c->plan.number;
    int32_t count = Call(kCountCollisionsVOR, n);
    c->contactsPerFrame.push_back(count);
    for (int32_t k = 1; k <= count; ++k) {
        const uint32_t i = static_cast<uint32_t>(k);
        ContactSample s;
        s.frame = frame;
        s.point = {CallFloat(kCollisionHitPos, n, i, 1), CallFloat(kCollisionHitPos, n, i, 2),
                   CallFloat(kCollisionHitPos, n, i, 3)};
        s.normal = {CallFloat(kCollisionHitNorm, n, i, 1), CallFloat(kCollisionHitNorm, n, i, 2),
                    CallFloat(kCollisionHitNorm, n, i, 3)};
        s.object = Call(kCollisionHitObj, n, i);
        c->contacts.push_back(s);
    }
}

void MoveLevel(const Level &level, float seconds) {
    for (const LevelObject &o : level.objects) {
        if (o.motion == Motion::Static)
            continue;
        Point p = o.position;
        float yaw = 0;
        if (o.motion == Motion::Elevator)
            p.y = ElevatorHeight(seconds);
        else
            yaw = TurntableYaw(seconds);
        Call(kSetObjPosVOR, p.x, p.y, p.z);
        Call(kSetObjRotVOR, 0.0f, yaw, 0.0f);
        Call(kUpdateObjVOR, o.number, int32_t{0});
    }
}

void PrintTable(const SceneRun &run, int frame, FILE *out) {
    const float t = frame / 60.0f;
    std::fprintf(out, "\nt = %4.1f s", t);
    if (run.builtIn)
        std::fprintf(out, "   (elevator deck at y %.2f, turntable at %.0f deg)", ElevatorHeight(t),
                     TurntableYaw(t));
    std::fprintf(out, "\n  obj  %-16s %8s %8s %8s  %8s  %s\n", "character", "x", "y", "z",
                 "contacts", "grounded");
    for (const CharacterRun &c : run.characters) {
        const Point p = c.track.back();
        std::fprintf(out, "  %3u  %-16s %8.3f %8.3f %8.3f  %8d  %s\n", c.plan.number,
                     c.plan.name.c_str(), p.x, p.y, p.z, c.contactsPerFrame.back(),
                     c.groundedPerFrame.back()
                         ? ("yes (" + ObjectName(run, c.groundObject) + ")").c_str()
                         : "no");
    }
    const ProjectileRun &pr = run.projectile;
    if (pr.used && frame >= pr.launchFrame && !pr.track.empty()) {
        const Point p = pr.track.back();
        std::fprintf(out, "  %3u  %-16s %8.3f %8.3f %8.3f  %8s  %s\n", pr.number, "projectile", p.x,
                     p.y, p.z, pr.hit ? "hit" : "-",
                     pr.hit ? ("stopped at " + ObjectName(run, pr.hitObject)).c_str() : "flying");
    }
}

void StepProjectile(SceneRun *run, int frame) {
    ProjectileRun &pr = run->projectile;
    if (!pr.used || frame < pr.launchFrame || pr.hit)
        return;
    if (frame == pr.launchFrame) {
        // Aim at the stair climber's centre as it stands now.
        Point target = run->characters[2].track.back();
        Point start{target.x, target.y + run->scale.RadiusY(), 6.5f};
        Place(pr.number, start, {});
        Call(kActivateObjVOR, pr.number);
        pr.track.push_back(start);
    }
    Point next = pr.track.back() + pr.velocity;
    Call(kSetObjPosVOR, next.x, next.y, next.z);
    Call(kSetObjRotVOR, 0.0f, 0.0f, 0.0f);
    Call(kUpdateObjVOR, pr.number, int32_t{0});
}

void ReadProjectile(SceneRun *run, int frame) {
    ProjectileRun &pr = run->projectile;
    if (!pr.used || frame < pr.launchFrame || pr.hit)
        return;
    pr.track.push_back(ResolvedPosition(pr.number));
    int32_t count = Call(kCountCollisionsVOR, pr.number);
    if (count <= 0)
        return;
    // It stops at its first contact and is taken out of the scene.
    pr.hit = true;
    pr.hitFrame = frame;
    pr.hitObject = Call(kCollisionHitObj, pr.number, 1u);
    pr.hitPoint = {CallFloat(kCollisionHitPos, pr.number, 1u, 1),
                   CallFloat(kCollisionHitPos, pr.number, 1u, 2),
                   CallFloat(kCollisionHitPos, pr.number, 1u, 3)};
    Call(kDeActivateObjVOR, pr.number);
}

// The surface point below (x, z): a ray straight down through the whole level against the level's
// meshes, which only hits triangles facing up. Answers false when there is none.
bool SurfaceBelow(const Bounds &b, float x, float z, Point *hit) {
    const float margin = 1.0f + (b.max.y - b.min.y);
    if (!Call(kRayIntersectTypeVOR, static_cast<int32_t>(kStaticLevelType), int32_t{2}, x,
              b.max.y + margin, z, x, b.min.y - margin, z))
        return false;
    *hit = {CallFloat(kRayHitPosX), CallFloat(kRayHitPosY), CallFloat(kRayHitPosZ)};
    return true;
}

// The surface point below (x, z) when the level is under the whole body there: rays a radius
// out along x and z meet it too, within a radius of the same height. A spider's leg or a
// railing's top meets the middle ray alone, and a walker put there only falls off.
bool GroundUnder(const Bounds &b, float x, float z, float radius, Point *hit) {
    if (!SurfaceBelow(b, x, z, hit))
        return false;
    const float around[4][2] = {{radius, 0}, {-radius, 0}, {0, radius}, {0, -radius}};
    for (const auto &d : around) {
        Point side;
        if (!SurfaceBelow(b, x + d[0], z + d[1], &side) || std::fabs(side.y - hit->y) > radius)
            return false;
    }
    return true;
}

// Points of a loaded level on a 15 x 15 grid over its bounds with ground under a whole body:
// where walkers may start and head for when their planned points lie over a hole.
std::vector<Point> SurfaceGrid(const Bounds &b, float radius) {
    std::vector<Point> grid;
    const int n = kSurfaceGridSize;
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < n; ++k) {
            Point hit;
            if (GroundUnder(b, b.min.x + (b.max.x - b.min.x) * (i + 0.5f) / n,
                            b.min.z + (b.max.z - b.min.z) * (k + 0.5f) / n, radius, &hit))
                grid.push_back(hit);
        }
    }
    return grid;
}

// The grid point nearest (x, z) horizontally, skipping those in used; -1 when none is left.
int NearestSurface(const std::vector<Point> &grid, float x, float z, const std::vector<int> &used) {
    int best = -1;
    float bestDistance = 0;
    for (size_t i = 0; i < grid.size(); ++i) {
        bool taken = false;
        for (int u : used)
            taken = taken || u == static_cast<int>(i);
        const float d = std::hypot(grid[i].x - x, grid[i].z - z);
        if (!taken && (best < 0 || d < bestDistance)) {
            best = static_cast<int>(i);
            bestDistance = d;
        }
    }
    return best;
}

// Puts a walker of a loaded level on the surface below its planned start, a hair above it. Where
// there is none under its whole body (a hole, the level's edge), it starts on the nearest free grid
// point and heads for the grid points nearest its waypoints. Answers false when no spot is left
// with a surface below it: such a walker would only fall, so it is left out.
bool PlaceOnSurface(CharacterSpec *c, const Bounds &b, const std::vector<Point> &grid,
                    std::vector<int> *used, float radius) {
    const float lift = kStartLiftPerRadius * radius;
    Point hit;
    if (GroundUnder(b, c->start.x, c->start.z, radius, &hit)) {
        c->start = {hit.x, hit.y + lift, hit.z};
        c->placement = "on the surface below its start";
        return true;
    }
    const int at = NearestSurface(grid, c->start.x, c->start.z, *used);
    if (at < 0)
        return false;
    used->push_back(at);
    char text[160];
    std::snprintf(text, sizeof text,
                  "no surface below its start: moved %.3g units to the nearest surface point",
                  std::hypot(grid[at].x - c->start.x, grid[at].z - c->start.z));
    c->placement = text;
    c->start = {grid[at].x, grid[at].y + lift, grid[at].z};
    for (Waypoint &w : c->path) {
        if (SurfaceBelow(b, w.x, w.z, &hit))
            continue;
        const int to = NearestSurface(grid, w.x, w.z, {});
        w.x = grid[to].x;
        w.z = grid[to].z;
    }
    return true;
}

std::string Units(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", v);
    return text;
}

} // namespace

CharacterScale ChooseScale(const Bounds &b, bool builtIn, const ScaleRequest &request) {
    CharacterScale s;
    if (!builtIn && !b.Empty()) {
        float width = std::fmax(b.max.x - b.min.x, b.max.z - b.min.z);
        if (!(width > 0))
            width = b.max.y - b.min.y;
        if (width > 0) {
            s.radius = width / kLevelWidthPerRadius;
            s.radiusHow =
                "1/" + Units(kLevelWidthPerRadius) + " of the level's width of " + Units(width);
        }
    }
    if (request.radius > 0) {
        s.radius = request.radius;
        s.radiusHow = "--char-radius";
    }
    // Speed and fall keep the built-in level's proportions to the body.
    if (s.radius != kBuiltInRadius || request.radius > 0) {
        s.step = kBuiltInStep * s.radius / kBuiltInRadius;
        s.gravity = kBuiltInGravity * s.radius / kBuiltInRadius;
        s.arrive = 1.25f * s.step;
        s.stepHow = s.gravityHow = "in proportion to the character radius";
    }
    if (request.speed > 0) {
        s.step = request.speed / 60;
        s.arrive = 1.25f * s.step;
        s.stepHow = "--speed";
    }
    if (request.gravity > 0) {
        s.gravity = request.gravity / 60;
        s.gravityHow = "--gravity";
    }
    return s;
}

std::string ObjectName(const SceneRun &run, int32_t number) {
    for (const LevelObject &o : run.level.objects)
        if (static_cast<int32_t>(o.number) == number)
            return o.name;
    for (const CharacterRun &c : run.characters)
        if (static_cast<int32_t>(c.plan.number) == number)
            return c.plan.name;
    if (run.projectile.used && static_cast<int32_t>(run.projectile.number) == number)
        return "projectile";
    return "object " + std::to_string(number);
}

void RunScene(const Level &level, bool builtIn, const SceneOptions &options, SceneRun *run,
              FILE *out) {
    run->level = level;
    run->builtIn = builtIn;
    const Bounds bounds = LevelBounds(level);
    run->scale = ChooseScale(bounds, builtIn, options.scale);
    const CharacterScale &scale = run->scale;
    g_reports = 0;
    CallSetErrorHandler(OnLibraryReport, nullptr);
    Call(kStartCollisionVOR);
    Call(kSetEllipOptimizeVOR, int32_t{1});
    Call(kSetConcaveModeVOR, 3u);
    if (options.recover) {
        // Both types -1 (the header's VOR_ALL_TYPES): every definition.
        Call(kSetOverlapRecoveryVOR, int32_t{-1}, int32_t{-1}, int32_t{1});
    }
    DeclareCollisions();
    BuildLevel(level);

    std::vector<CharacterSpec> cast = builtIn ? BuiltInCast() : FileLevelCast(bounds);
    const std::vector<Point> grid =
        builtIn ? std::vector<Point>() : SurfaceGrid(bounds, scale.radius);
    std::vector<int> usedGrid;
    run->planned = static_cast<int>(cast.size());
    for (CharacterSpec &plan : cast) {
        if (!builtIn && !PlaceOnSurface(&plan, bounds, grid, &usedGrid, scale.radius))
            continue;
        CreateCharacter(plan, scale);
        CharacterRun c;
        c.plan = plan;
        c.track.push_back(plan.start);
        c.minY = plan.start.y;
        run->characters.push_back(c);
    }
    if (builtIn) {
        ProjectileRun &pr = run->projectile;
        pr.used = true;
        pr.launchFrame = 360;
        pr.velocity = {0, 0, -0.1f};
        Call(kNewCollObjVOR, pr.number, kProjectileType);
        Call(kAddObjShapeVOR, pr.number, int32_t{1});
        Call(kSetObjRadiusVOR, pr.number, pr.radius, pr.radius, pr.radius);
    }

    for (int frame = 1; frame <= options.frames; ++frame) {
        const float seconds = frame / 60.0f;
        if (Recording() && frame % 60 == 1)
            RecordComment("frame " + std::to_string(frame));
        MoveLevel(level, seconds);
        for (CharacterRun &c : run->characters) {
            const Point feet = c.track.back();
            const Point step = WalkStep(&c, feet, seconds, scale);
            // Keep the angles the library gave the body (the turntable turns its rider).
            const Point rot{CallFloat(kPeekObjPitch, c.plan.number),
                            CallFloat(kPeekObjYaw, c.plan.number),
                            CallFloat(kPeekObjRoll, c.plan.number)};
            Call(kSetObjPosVOR, feet.x + step.x, feet.y, feet.z + step.z);
            Call(kSetObjRotVOR, rot.x, rot.y, rot.z);
            Call(kUpdateObjVOR, c.plan.number, int32_t{0});
        }
        StepProjectile(run, frame);

        Call(kRunCollisionVOR);

        for (CharacterRun &c : run->characters) {
            const Point feet = ResolvedPosition(c.plan.number);
            c.track.push_back(feet);
            c.minY = std::fmin(c.minY, feet.y);
            c.yaw = CallFloat(kPeekObjYaw, c.plan.number);
            ReadContacts(&c, frame);
            c.groundObject = GroundBelow(feet, scale.radius);
            c.groundedPerFrame.push_back(c.groundObject != 0);
        }
        ReadProjectile(run, frame);
        if (!options.quiet && frame % 60 == 0)
            PrintTable(*run, frame, out);
    }
    run->frames = options.frames;
    Call(kStopCollisionVOR);
    run->libraryReports = g_reports;
}

void PrintScale(const SceneRun &run, FILE *out) {
    const CharacterScale &s = run.scale;
    std::fprintf(out,
                 "characters: radii %.3g x %.3g x %.3g (%s); walking %.3g units a second (%s); "
                 "falling %.3g units a second (%s)\n",
                 s.radius, s.RadiusY(), s.radius, s.radiusHow.c_str(), s.step * 60,
                 s.stepHow.c_str(), s.gravity * 60, s.gravityHow.c_str());
}

void PrintPlacement(const SceneRun &run, FILE *out) {
    const int placed = static_cast<int>(run.characters.size());
    std::fprintf(
        out, "walkers: placed %d of %d where downward rays meet the level under the whole body%s\n",
        placed, run.planned,
        placed == run.planned ? ""
        : placed == 0 ? "; there is none: are its faces turned away, or is another axis up (--up)?"
                      : "; no other spot with a surface below was left");
}

void PrintSummary(const SceneRun &run, FILE *out) {
    std::fprintf(out, "\nsummary after %d frames (%.1f s), level %s:\n", run.frames,
                 run.frames / 60.0f, run.level.source.c_str());
    PrintScale(run, out);
    if (!run.builtIn)
        PrintPlacement(run, out);
    for (const CharacterRun &c : run.characters)
        if (!c.plan.placement.empty())
            std::fprintf(out, "character %u started at %.3f %.3f %.3f: %s\n", c.plan.number,
                         c.plan.start.x, c.plan.start.y, c.plan.start.z, c.plan.placement.c_str());
    for (const CharacterRun &c : run.characters) {
        const Point p = c.track.back();
        std::map<int32_t, int> touched;
        int total = 0;
        for (const ContactSample &s : c.contacts) {
            ++touched[s.object];
            ++total;
        }
        std::string list;
        for (const auto &t : touched)
            list += (list.empty() ? "" : ", ") + ObjectName(run, t.first);
        std::fprintf(out, "character %u: %.3f %.3f %.3f %s  %s; %d contacts (%s)\n", c.plan.number,
                     p.x, p.y, p.z, c.groundedPerFrame.back() ? "grounded" : "airborne",
                     c.plan.name.c_str(), total, list.empty() ? "nothing" : list.c_str());
    }
    const ProjectileRun &pr = run.projectile;
    if (pr.used) {
        if (pr.hit)
            std::fprintf(out, "projectile %u: hit %s at frame %d, contact point %.3f %.3f %.3f\n",
                         pr.number, ObjectName(run, pr.hitObject).c_str(), pr.hitFrame,
                         pr.hitPoint.x, pr.hitPoint.y, pr.hitPoint.z);
        else if (!pr.track.empty())
            std::fprintf(out, "projectile %u: hit nothing, ended at %.3f %.3f %.3f\n", pr.number,
                         pr.track.back().x, pr.track.back().y, pr.track.back().z);
    }
    if (run.libraryReports)
        std::fprintf(out, "the library reported %d error(s)\n", run.libraryReports);
}

namespace {

void JsonPoint(std::string *s, Point p) {
    char text[96];
    std::snprintf(text, sizeof text, "[%.6g, %.6g, %.6g]", p.x, p.y, p.z);
    *s += text;
}

std::string JsonString(const std::string &v) {
    std::string s = "\"";
    for (char ch : v) {
        if (ch == '"' || ch == '\\')
            s += '\\';
        s += ch;
    }
    return s + "\"";
}

} // namespace

bool WriteSummaryJson(const SceneRun &run, const std::string &path, std::string *error) {
    std::string s = "{\n  \"level\": " + JsonString(run.level.source) +
                    ",\n  \"frames\": " + std::to_string(run.frames) +
                    ",\n  \"library_reports\": " + std::to_string(run.libraryReports) +
                    ",\n  \"up\": " + JsonString(run.level.up) +
                    ",\n  \"walkers_planned\": " + std::to_string(run.planned) +
                    ",\n  \"radii\": [" + Units(run.scale.radius) + ", " +
                    Units(run.scale.RadiusY()) + ", " + Units(run.scale.radius) +
                    "],\n  \"scale\": {\"radius\": " + JsonString(run.scale.radiusHow) +
                    ", \"speed\": " + JsonString(run.scale.stepHow) +
                    ", \"gravity\": " + JsonString(run.scale.gravityHow) +
                    ", \"speed_per_second\": " + Units(run.scale.step * 60) +
                    ", \"gravity_per_second\": " + Units(run.scale.gravity * 60) +
                    "},\n  \"objects\": [\n";
    for (size_t i = 0; i < run.level.objects.size(); ++i) {
        const LevelObject &o = run.level.objects[i];
        Bounds b;
        for (const Triangle &t : WorldTriangles(o, o.position, 0)) {
            b.Grow(t.a);
            b.Grow(t.b);
            b.Grow(t.c);
        }
        s += "    {\"number\": " + std::to_string(o.number) + ", \"name\": " + JsonString(o.name) +
             ", \"type\": " + std::to_string(o.type) +
             ", \"solid\": " + (o.solidBlock ? "true" : "false") + ", \"min\": ";
        JsonPoint(&s, b.min);
        s += ", \"max\": ";
        JsonPoint(&s, b.max);
        s += i + 1 < run.level.objects.size() ? "},\n" : "}\n";
    }
    s += "  ],\n";
    if (run.builtIn) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "  \"elevator_top\": %.6g,\n  \"corner\": [6.7, -7.2],\n  \"floor_y\": 0,\n",
                      static_cast<double>(kElevatorHigh));
        s += text;
    }
    s += "  \"characters\": [\n";
    for (size_t i = 0; i < run.characters.size(); ++i) {
        const CharacterRun &c = run.characters[i];
        std::map<int32_t, int> touched;
        for (const ContactSample &x : c.contacts)
            ++touched[x.object];
        std::map<int32_t, int> lastSecond;
        for (const ContactSample &x : c.contacts)
            if (x.frame > run.frames - 60)
                ++lastSecond[x.object];
        const Point end = c.track.back();
        const Point before = c.track[c.track.size() > 61 ? c.track.size() - 61 : 0];
        s += "    {\"number\": " + std::to_string(c.plan.number) +
             ", \"name\": " + JsonString(c.plan.name) + ", \"start\": ";
        JsonPoint(&s, c.plan.start);
        s += ", \"placement\": " + JsonString(c.plan.placement) + ", \"final\": ";
        JsonPoint(&s, end);
        char text[200];
        std::snprintf(text, sizeof text,
                      ", \"min_y\": %.6g, \"yaw\": %.6g, \"travel_last_second\": %.6g, ", c.minY,
                      c.yaw, Length(end - before));
        s += text;
        s += "\"grounded\": " + std::string(c.groundedPerFrame.back() ? "true" : "false") +
             ", \"ground_object\": " + std::to_string(c.groundObject) +
             ", \"waypoints_reached\": " + std::to_string(c.waypoint) +
             ", \"contacts_total\": " + std::to_string(c.contacts.size()) + ", \"touched\": {";
        bool first = true;
        for (const auto &t : touched) {
            s += (first ? "\"" : ", \"") + std::to_string(t.first) +
                 "\": " + std::to_string(t.second);
            first = false;
        }
        s += "}, \"touched_last_second\": {";
        first = true;
        for (const auto &t : lastSecond) {
            s += (first ? "\"" : ", \"") + std::to_string(t.first) +
                 "\": " + std::to_string(t.second);
            first = false;
        }
        s += i + 1 < run.characters.size() ? "}},\n" : "}}\n";
    }
    s += "  ],\n  \"projectile\": ";
    const ProjectileRun &pr = run.projectile;
    if (!pr.used) {
        s += "null\n}\n";
    } else {
        s += "{\"number\": " + std::to_string(pr.number) +
             ", \"hit\": " + (pr.hit ? "true" : "false") +
             ", \"hit_object\": " + std::to_string(pr.hitObject) +
             ", \"hit_frame\": " + std::to_string(pr.hitFrame) + ", \"hit_point\": ";
        JsonPoint(&s, pr.hitPoint);
        s += "}\n}\n";
    }
    const std::string tmp = path + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "w");
    if (!f) {
        *error = "cannot write " + tmp + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fputs(s.c_str(), f) >= 0;
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace vor::scene
