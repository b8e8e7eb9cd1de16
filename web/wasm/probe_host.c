/*
 * A WebAssembly host program for the platform checks: it imports every export of vorcollide.wasm
 * (the loader links them to the very instance the playground uses) and runs the determinism scene
 * and the cross-platform probe exactly as the native and Windows hosts do, printing the scene hash
 * and the probe's lines on standard output for comparison with the Linux module.
 */
#include <inttypes.h>
#include <stdio.h>

#include "cross_probe.h"
#include "support/determinism_scene.h"

int main(void) {
    VorSceneApi api = vorSceneDirectApi();
    const uint64_t first = vorRunDeterminismScene(&api);
    const uint64_t second = vorRunDeterminismScene(&api);
    printf("scene 0x%016" PRIx64 "\n", first);
    printf("scene-again 0x%016" PRIx64 "\n", second);
    vorCrossProbe(stdout);
    return 0;
}
