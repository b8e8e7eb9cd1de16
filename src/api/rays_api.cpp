// Exported ray commands and the nine accessors of the last ray result. The accessors answer 0
// when no query has run yet or the last query hit nothing.
#include "vorcollide.h"

#include "api/float_bits.h"
#include "core/error_report.h"
#include "query/ray_cast.h"

namespace {

// The last result when it holds a hit, else null.
const vor::RayResult *LastHit() {
    if (vor::LastRay == nullptr || vor::LastRay->hit != 1) {
        return nullptr;
    }
    return vor::LastRay;
}

int32_t HitFloat(float vor::Vec3::*axis, vor::Vec3 vor::RayResult::*field) {
    const vor::RayResult *ray = LastHit();
    return ray == nullptr ? 0 : vor::FloatBits(ray->*field.*axis);
}

} // namespace

VOR_API int32_t VOR_CALL RayIntersectObjectVOR(uint32_t obj, int32_t kind, float sx, float sy,
                                               float sz, float ex, float ey, float ez) {
    // A rejected object number leaves the previous result as it was.
    if (vor::BadObjNumber(obj)) {
        return 0;
    }
    return vor::RayIntersectObject(obj, kind, vor::Vec3{sx, sy, sz}, vor::Vec3{ex, ey, ez});
}

VOR_API int32_t VOR_CALL RayIntersectTypeVOR(int32_t type, int32_t kind, float sx, float sy,
                                             float sz, float ex, float ey, float ez) {
    return vor::RayIntersectType(type, kind, vor::Vec3{sx, sy, sz}, vor::Vec3{ex, ey, ez});
}

VOR_API int32_t VOR_CALL RayHitPosX(void) {
    return HitFloat(&vor::Vec3::x, &vor::RayResult::position);
}
VOR_API int32_t VOR_CALL RayHitPosY(void) {
    return HitFloat(&vor::Vec3::y, &vor::RayResult::position);
}
VOR_API int32_t VOR_CALL RayHitPosZ(void) {
    return HitFloat(&vor::Vec3::z, &vor::RayResult::position);
}
VOR_API int32_t VOR_CALL RayHitNormX(void) {
    return HitFloat(&vor::Vec3::x, &vor::RayResult::normal);
}
VOR_API int32_t VOR_CALL RayHitNormY(void) {
    return HitFloat(&vor::Vec3::y, &vor::RayResult::normal);
}
VOR_API int32_t VOR_CALL RayHitNormZ(void) {
    return HitFloat(&vor::Vec3::z, &vor::RayResult::normal);
}

VOR_API int32_t VOR_CALL RayHitDist(void) {
    const vor::RayResult *ray = LastHit();
    return ray == nullptr ? 0 : vor::FloatBits(ray->distance);
}

VOR_API int32_t VOR_CALL RayHitObjVOR(void) {
    const vor::RayResult *ray = LastHit();
    return ray == nullptr ? 0 : ray->hitObject;
}

VOR_API int32_t VOR_CALL RayHitTypeVOR(void) {
    const vor::RayResult *ray = LastHit();
    return ray == nullptr ? 0 : ray->hitType;
}
