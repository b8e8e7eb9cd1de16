/* A tiny program built against an installed vorcollide, once through find_package(vorcollide) and
 * once through pkg-config, by scripts/checks/install.sh. It links the module, runs one pass of two
 * ellipsoids and prints what a host reads back. */
#include <stdio.h>

#include <vorcollide.h>

int main(void) {
    NewCollObjVOR(1, 1);
    AddObjShapeVOR(1, 1);
    ActivateObjVOR(1);
    NewCollObjVOR(2, 1);
    AddObjShapeVOR(2, 1);
    ActivateObjVOR(2);
    SetCollisionsVOR(1, 1, 1, 1, 1);
    SetObjPosVOR(3, 0, 0);
    UpdateObjVOR(2, 1);
    SetObjPosVOR(4, 0, 0);
    UpdateObjVOR(1, 0);
    RunCollisionVOR();
    printf("vorcollide %s: x = %g, contacts = %d\n", VORCOLLIDE_VERSION_STRING,
           vorFloatFromBits(PeekObjXVOR(1)), (int)CountCollisionsVOR(1));
    StopCollisionVOR();
    return 0;
}
