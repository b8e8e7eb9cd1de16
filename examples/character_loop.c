/* A game's per-frame character loop, written as a host writes it: build a small level, drop a
 * character onto the floor, walk it towards a wall, jump on the way and read back where it is and
 * what it touches.
 *
 * The library moves a body down by its gravity once per UpdateObjVOR: gravity is "y units per
 * update", not per second. A host with a variable frame rate therefore sets it from the frame
 * time every frame (fall speed x seconds per frame), as it does its walk step. The same scene is run
 * at 60 and at 30 frames a second with both scaled, and once at 30 with the 60-frame gravity kept,
 * which falls at half the speed.
 *
 * Build: part of every development build (build/<dir>/examples/character_loop), or on its own
 * against an installed vorcollide: cc character_loop.c $(pkg-config --cflags --libs vorcollide) -lm. */
#include <math.h>
#include <stdio.h>

#include <vorcollide.h>

enum { LEVEL = 1, CHARACTER = 2 };          /* object numbers, 1..5000 */
enum { TYPE_CHARACTER = 1, TYPE_LEVEL = 2 }; /* collision types, 0..100 */

static const float kRadius = 0.25f;     /* horizontal radius; the character is 0.9 tall */
static const float kHalfHeight = 0.45f;
static const float kWalkSpeed = 2.4f;   /* units a second */
static const float kFallSpeed = 4.8f;   /* units a second, what the library's gravity gives */
static const float kJumpSpeed = 9.0f;   /* upward speed at take-off, units a second ... */
static const float kJumpDecay = 10.0f;  /* ... lost at this many units a second, every second */
static const float kMinSlope = 0.7f;    /* contact normal y from which the ground is walkable */
static const float kWallX = 3.0f;       /* the wall's face; the floor is y = 0 */
static const float kStartHeight = 1.0f; /* the character is dropped from here */
static const float kJumpAt = 1.0f;      /* seconds into the run */
static const float kRunFor = 3.0f;      /* seconds */

static void add_level(void) {
    /* Corners in the order that makes the front face the character: (c2 - c1) x (c3 - c1) points
     * out of the surface. Floor 20 x 20 at y = 0 facing up, a wall at x = 3 facing -x. */
    NewCollObjVOR(LEVEL, TYPE_LEVEL);
    AddObjShapeVOR(LEVEL, VOR_SHAPE_MESH);
    AddMeshTri(LEVEL, -10, 0, -10, -10, 0, 10, 10, 0, -10);
    AddMeshTri(LEVEL, 10, 0, -10, -10, 0, 10, 10, 0, 10);
    AddMeshTri(LEVEL, kWallX, 0, -10, kWallX, 0, 10, kWallX, 5, -10);
    AddMeshTri(LEVEL, kWallX, 5, -10, kWallX, 0, 10, kWallX, 5, 10);
    SetObjPosVOR(0, 0, 0);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(LEVEL, VOR_UPDATE_PLACE);
    ActivateObjVOR(LEVEL);
}

static void add_character(void) {
    NewCollObjVOR(CHARACTER, TYPE_CHARACTER);
    AddObjShapeVOR(CHARACTER, VOR_SHAPE_ELLIPSOID);
    SetObjRadiusVOR(CHARACTER, kRadius, kHalfHeight, kRadius);
    /* The position is the body's; the ellipsoid's centre sits at position + offset. Lifting the
     * centre by its half height makes the position the character's feet. */
    SetEllipOffsetVOR(CHARACTER, 0, kHalfHeight, 0);
    SetObjMinSlopeVOR(CHARACTER, kMinSlope);
    SetObjPosVOR(0, kStartHeight, 0);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(CHARACTER, VOR_UPDATE_PLACE);
    ActivateObjVOR(CHARACTER);
}

/* Characters slide along the level and stand on ground whose normal y reaches the min slope. */
static void build_world(void) {
    StopCollisionVOR(); /* a clean start for each run: frees every object and definition */
    add_level();
    add_character();
    SetCollisionsVOR(TYPE_CHARACTER, TYPE_LEVEL, VOR_METHOD_MESHES, VOR_RESPONSE_STAND,
                     VOR_DYNAMIC_STILL);
}

typedef struct Feet {
    float x, y, z;
} Feet;

static Feet read_feet(void) {
    Feet f = {vorFloatFromBits(PeekObjXVOR(CHARACTER)), vorFloatFromBits(PeekObjYVOR(CHARACTER)),
              vorFloatFromBits(PeekObjZVOR(CHARACTER))};
    return f;
}

/* On the ground: a contact of the last pass whose normal is walkable. Contacts are numbered from 1. */
static int on_ground(void) {
    int32_t n = CountCollisionsVOR(CHARACTER);
    for (int32_t k = 1; k <= n; ++k) {
        if (vorFloatFromBits(CollisionHitNorm(CHARACTER, (uint32_t)k, 2)) >= kMinSlope) return 1;
    }
    return 0;
}

static void print_contacts(void) {
    int32_t n = CountCollisionsVOR(CHARACTER);
    for (int32_t k = 1; k <= n; ++k) {
        uint32_t i = (uint32_t)k;
        printf("  contact %d: object %d, point %.3f %.3f %.3f, normal %.2f %.2f %.2f\n", (int)k,
               (int)CollisionHitObj(CHARACTER, i), vorFloatFromBits(CollisionHitPos(CHARACTER, i, 1)),
               vorFloatFromBits(CollisionHitPos(CHARACTER, i, 2)),
               vorFloatFromBits(CollisionHitPos(CHARACTER, i, 3)),
               vorFloatFromBits(CollisionHitNorm(CHARACTER, i, 1)),
               vorFloatFromBits(CollisionHitNorm(CHARACTER, i, 2)),
               vorFloatFromBits(CollisionHitNorm(CHARACTER, i, 3)));
    }
}

/* One run at `fps` frames a second. gravity_fps: the frame rate the gravity per update is worked
 * out for (the run's own when the host scales it, another to show what a fixed value does). */
static void run(const char *name, int fps, int gravity_fps) {
    const float dt = 1.0f / (float)fps;
    const int frames = (int)lroundf(kRunFor * (float)fps);
    const int jump_frame = (int)lroundf(kJumpAt * (float)fps);
    float jump_speed = 0; /* the host's own upward speed; the library knows only gravity */
    float peak = 0;
    float landed_at = -1;
    int was_grounded = 0;

    build_world();
    SetObjGravityVOR(CHARACTER, kFallSpeed / (float)gravity_fps);
    printf("run %s: %d frames a second, gravity %.3f y units per update\n", name, fps,
           kFallSpeed / (float)gravity_fps);
    for (int frame = 1; frame <= frames; ++frame) {
        Feet f = read_feet();
        float up = 0;
        if (frame == jump_frame && was_grounded) jump_speed = kJumpSpeed;
        if (jump_speed > 0) {
            up = jump_speed * dt;
            jump_speed = fmaxf(0, jump_speed - kJumpDecay * dt);
        }
        /* Ask for this frame's step; UpdateObjVOR takes gravity off y, the pass resolves it. */
        SetObjPosVOR(f.x + kWalkSpeed * dt, f.y + up, f.z);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(CHARACTER, VOR_UPDATE_SWEEP);
        RunCollisionVOR();

        f = read_feet();
        was_grounded = on_ground();
        if (was_grounded && landed_at < 0) landed_at = (float)frame * dt;
        if (frame > jump_frame && f.y > peak) peak = f.y;
        if (frame % (fps / 4) == 0) {
            printf("  t %.2f s: feet %.3f %.3f %.3f, %s, %d contacts\n", (float)frame * dt, f.x, f.y,
                   f.z, was_grounded ? "on the ground" : "in the air",
                   (int)CountCollisionsVOR(CHARACTER));
        }
    }
    Feet end = read_feet();
    printf("  last frame's contacts:\n");
    print_contacts();
    /* One line per run for scripts/checks/examples.sh. */
    printf("result %s: fps %d, first landing %.3f s, jump peak %.3f, end feet %.4f %.4f %.4f, "
           "centre y %.4f, %s, %d contacts\n",
           name, fps, landed_at, peak, end.x, end.y, end.z, end.y + kHalfHeight,
           was_grounded ? "on the ground" : "in the air", (int)CountCollisionsVOR(CHARACTER));
}

int main(void) {
    printf("vorcollide %s: a character dropped from y %.1f, walking +x at %.1f units a second "
           "towards a wall at x %.1f, jumping at %.1f s\n",
           VORCOLLIDE_VERSION_STRING, kStartHeight, kWalkSpeed, kWallX, kJumpAt);
    run("60fps", 60, 60);
    run("30fps", 30, 30);
    run("30fps-unscaled", 30, 60);
    StopCollisionVOR();
    return 0;
}
