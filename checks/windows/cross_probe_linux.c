/* The cross-platform probe run against the Linux module (linked directly), printing to stdout. */
#include "cross_probe.h"

int main(void) {
    vorCrossProbe(stdout);
    return 0;
}
