// The exported collision pass.
#include "vorcollide.h"

#include "pass/pass_driver.h"

VOR_API void VOR_CALL RunCollisionVOR(void) {
    vor::RunCollisionPass();
}
