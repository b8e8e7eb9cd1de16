/* The determinism scene run against the Linux module (linked directly), printing its hash. */
#include <inttypes.h>
#include <stdio.h>

#include "support/determinism_scene.h"

int main(void) {
    VorSceneApi api = vorSceneDirectApi();
    printf("0x%016" PRIx64 "\n", vorRunDeterminismScene(&api));
    return 0;
}
