// The object registry: the module-wide tables and lists of objects, bodies, active entries and
// shape lists; construction and destruction of objects, bodies and shapes; activation.
// Every record is allocated one by one, zero-initialised, and freed by its owner.
#include "body/registry.h"

#include <cstdlib>

#include "body/motion_records.h"
#include "core/module_state.h"
#include "core/scene_epoch.h"
#include "mesh/mesh_accel.h"
#include "mesh/mesh_building.h"

namespace vor {

namespace {

// A new body with its construction defaults, appended to BodyList.
CollisionBody *NewBody() {
    CollisionBody *body = new CollisionBody();
    InitMember(&body->link);
    Append(&body->link, &BodyList);
    body->previousScale = MakeVec3(kDefaultScaleFactor, kDefaultScaleFactor, kDefaultScaleFactor);
    body->newScale = body->previousScale;
    MakeIdentity(&body->inversePrevious);
    MakeIdentity(&body->worldMatrix);
    MakeIdentity(&body->translationMatrix);
    MakeIdentity(&body->rotationMatrix);
    MakeIdentity(&body->scaleMatrix);
    body->minSlope = kDefaultMinSlope;
    return body;
}

// Enters shape in the list of its kind and its body's type, behind the entries already there.
void EnterShape(ShapeHead *shape, CollisionBody *body) {
    ShapeEntry *entry = new ShapeEntry();
    InitMember(&entry->link);
    entry->shape = shape;
    entry->collisionType = body->collisionType;
    entry->body = body;
    Append(&entry->link, ShapeListFor(shape->kind, body->collisionType));
    shape->shapeEntry = entry;
}

void LeaveShapeList(ShapeHead *shape) {
    ShapeEntry *entry = shape->shapeEntry;
    if (entry == nullptr) {
        return;
    }
    Unlink(&entry->link, ShapeListFor(shape->kind, entry->collisionType));
    delete entry;
    shape->shapeEntry = nullptr;
}

ShapeHead *NewShape(int32_t kind) {
    if (kind == kEllipsoidKind) {
        EllipsoidShape *ellipsoid = new EllipsoidShape();
        ellipsoid->radii = MakeVec3(kDefaultRadius, kDefaultRadius, kDefaultRadius);
        return &ellipsoid->head;
    }
    if (kind == kMeshKind) {
        MeshShape *mesh = new MeshShape();
        mesh->serial = ++MeshShapeCounter;
        return &mesh->head;
    }
    return nullptr;
}

// Frees a shape that is already out of its body's list and of every shape list.
void FreeShape(ShapeHead *shape) {
    if (shape->kind == kMeshKind) {
        MeshShape *mesh = AsMesh(shape);
        FreeMeshAccel(mesh);
        FreeTriangles(mesh);
        delete mesh;
        return;
    }
    EllipsoidShape *ellipsoid = AsEllipsoid(shape);
    for (MeshSweepCache *kept : ellipsoid->sweepCache) {
        std::free(kept);
    }
    delete ellipsoid;
}

} // namespace

IntrusiveList *ShapeListFor(int32_t kind, int32_t type) {
    if (kind < kEllipsoidKind || kind > kMeshKind) {
        return nullptr;
    }
    if (type < 0 || type > static_cast<int32_t>(kMaxCollisionType)) {
        return nullptr;
    }
    return &ShapeLists[kind][type];
}

void CreateObject(uint32_t n, uint32_t type) {
    // Replacing an object starts from nothing: the old one goes with its shapes and activation.
    CollisionObject *old = ObjectTable[n];
    if (old != nullptr) {
        if (ActiveTable[n] != nullptr) {
            RemoveActiveEntry(ActiveTable[n]);
        }
        DestroyObject(old);
    }
    ObjectChangedForRays(static_cast<int32_t>(n));
    CollisionObject *object = new CollisionObject();
    InitMember(&object->link);
    object->objectNumber = n;
    object->gravity = 0.0f;
    object->scale = MakeVec3(kDefaultScaleFactor, kDefaultScaleFactor, kDefaultScaleFactor);
    ObjectTable[n] = object;
    object->body = NewBody();
    object->body->objectNumber = static_cast<int32_t>(n);
    Append(&object->link, &ObjectList);
    object->body->collisionType = static_cast<int32_t>(type);
}

void FreeObject(uint32_t n) {
    if (ActiveTable[n] != nullptr) {
        RemoveActiveEntry(ActiveTable[n]);
    }
    DestroyObject(ObjectTable[n]);
}

void ActivateObject(uint32_t n) {
    // A fresh entry at the end of ActiveList: re-activation moves the object last.
    ObjectChangedForRays(static_cast<int32_t>(n));
    if (ActiveTable[n] != nullptr) {
        RemoveActiveEntry(ActiveTable[n]);
    }
    CollisionObject *object = ObjectTable[n];
    ActiveEntry *entry = new ActiveEntry();
    InitMember(&entry->link);
    entry->object = object;
    entry->order = ++ActivationCounter;
    ActiveTable[n] = entry;
    Append(&entry->link, &ActiveList);

    // The body and its shapes keep their places when already active.
    CollisionBody *body = object->body;
    if (body->activeBodyEntry != nullptr) {
        return;
    }
    ActiveBodyEntry *bodyEntry = new ActiveBodyEntry();
    InitMember(&bodyEntry->link);
    bodyEntry->body = body;
    body->activeBodyEntry = bodyEntry;
    Append(&bodyEntry->link, &ActiveBodyList);
    for (ListLink *l = body->shapes.head; l != nullptr; l = l->next) {
        EnterShape(MemberOf<ShapeHead>(l), body);
    }
}

void DeactivateObject(uint32_t n) {
    if (ActiveTable[n] != nullptr) {
        RemoveActiveEntry(ActiveTable[n]);
    }
    DeactivateBody(ObjectTable[n]->body);
}

void AddShape(uint32_t n, int32_t kind) {
    ShapeHead *shape = NewShape(kind);
    if (shape == nullptr) {
        return;
    }
    CollisionBody *body = ObjectTable[n]->body;
    ObjectChangedForRays(static_cast<int32_t>(n));
    InitMember(&shape->link);
    shape->kind = static_cast<int16_t>(kind);
    if (body->activeBodyEntry != nullptr) {
        EnterShape(shape, body);
    }
    shape->body = body;
    Append(&shape->link, &body->shapes);
}

void RemoveActiveEntry(ActiveEntry *entry) {
    // The collision stack walks on to the next entry instead of keeping a freed one.
    if (StackCursor == entry) {
        StackCursor = MemberOf<ActiveEntry>(entry->link.next);
    }
    ObjectChangedForRays(static_cast<int32_t>(entry->object->objectNumber));
    ActiveTable[entry->object->objectNumber] = nullptr;
    Unlink(&entry->link, &ActiveList);
    delete entry;
}

void DeactivateBody(CollisionBody *body) {
    if (body->activeBodyEntry == nullptr) {
        return;
    }
    ObjectChangedForRays(body->objectNumber);
    Unlink(&body->activeBodyEntry->link, &ActiveBodyList);
    delete body->activeBodyEntry;
    body->activeBodyEntry = nullptr;
    FreeCurrentMotion(body);
    FreePreviousMotion(body);
    for (ListLink *l = body->shapes.head; l != nullptr; l = l->next) {
        LeaveShapeList(MemberOf<ShapeHead>(l));
    }
}

void DestroyBody(CollisionBody *body) {
    ObjectChangedForRays(body->objectNumber);
    DeactivateBody(body);
    // An inactive body still holds the records its last passes gave it.
    FreeCurrentMotion(body);
    FreePreviousMotion(body);
    // No contact of another body may keep naming this one once it is freed.
    ForgetBody(body);
    while (body->shapes.head != nullptr) {
        ShapeHead *shape = MemberOf<ShapeHead>(body->shapes.head);
        Unlink(&shape->link, &body->shapes);
        LeaveShapeList(shape);
        FreeShape(shape);
    }
    Unlink(&body->link, &BodyList);
    delete body;
}

void DestroyObject(CollisionObject *object) {
    DestroyBody(object->body);
    object->body = nullptr;
    ObjectTable[object->objectNumber] = nullptr;
    Unlink(&object->link, &ObjectList);
    delete object;
}

#ifdef VOR_VALIDATE
namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool InActiveList(const ActiveEntry *entry) {
    for (ListLink *l = ActiveList.head; l != nullptr; l = l->next) {
        if (MemberOf<ActiveEntry>(l) == entry) {
            return true;
        }
    }
    return false;
}

} // namespace

void ValidateRegistry() {
    ValidateList(ObjectList);
    ValidateList(BodyList);
    ValidateList(ActiveList);
    ValidateList(ActiveBodyList);

    // Object table and object list name the same objects.
    uint32_t tableObjects = 0;
    uint32_t tableActive = 0;
    Check(ObjectTable[0] == nullptr && ActiveTable[0] == nullptr);
    for (uint32_t n = 1; n < kObjectSlots; n++) {
        CollisionObject *object = ObjectTable[n];
        if (object == nullptr) {
            Check(ActiveTable[n] == nullptr);
            continue;
        }
        tableObjects++;
        Check(object->objectNumber == n && object->body != nullptr);
        Check(object->body->objectNumber == static_cast<int32_t>(n));
        // An object is active exactly when its body is.
        Check((ActiveTable[n] != nullptr) == (object->body->activeBodyEntry != nullptr));
        if (ActiveTable[n] != nullptr) {
            tableActive++;
            Check(ActiveTable[n]->object == object);
        }
    }
    uint32_t listObjects = 0;
    for (ListLink *l = ObjectList.head; l != nullptr; l = l->next) {
        CollisionObject *object = MemberOf<CollisionObject>(l);
        Check(object->objectNumber >= 1 && object->objectNumber <= kMaxObjectNumber);
        Check(ObjectTable[object->objectNumber] == object);
        listObjects++;
    }
    Check(listObjects == tableObjects);

    // Active table and active list name the same entries.
    uint32_t listActive = 0;
    for (ListLink *l = ActiveList.head; l != nullptr; l = l->next) {
        ActiveEntry *entry = MemberOf<ActiveEntry>(l);
        Check(entry->object != nullptr);
        Check(ActiveTable[entry->object->objectNumber] == entry);
        listActive++;
    }
    Check(listActive == tableActive);
    Check(StackCursor == nullptr || InActiveList(StackCursor));

    // Every active body has one entry in ActiveBodyList, and each of its shapes an entry.
    uint32_t activeBodies = 0;
    uint32_t activeShapes = 0;
    for (ListLink *l = BodyList.head; l != nullptr; l = l->next) {
        CollisionBody *body = MemberOf<CollisionBody>(l);
        ValidateList(body->shapes);
        ValidateList(body->currentMotion);
        ValidateList(body->previousMotion);
        bool active = body->activeBodyEntry != nullptr;
        if (active) {
            activeBodies++;
            Check(body->activeBodyEntry->body == body);
        }
        for (ListLink *s = body->shapes.head; s != nullptr; s = s->next) {
            ShapeHead *shape = MemberOf<ShapeHead>(s);
            Check(shape->body == body);
            Check(shape->kind == kEllipsoidKind || shape->kind == kMeshKind);
            Check((shape->shapeEntry != nullptr) == active);
            if (shape->kind == kMeshKind) {
                ValidateList(AsMesh(shape)->triangles);
            }
            if (!active) {
                continue;
            }
            activeShapes++;
            Check(shape->shapeEntry->shape == shape && shape->shapeEntry->body == body);
            Check(shape->shapeEntry->collisionType == body->collisionType);
        }
    }
    uint32_t bodyEntries = 0;
    for (ListLink *l = ActiveBodyList.head; l != nullptr; l = l->next) {
        ActiveBodyEntry *entry = MemberOf<ActiveBodyEntry>(l);
        Check(entry->body != nullptr && entry->body->activeBodyEntry == entry);
        bodyEntries++;
    }
    Check(bodyEntries == activeBodies);

    // Every shape entry sits in the list of its shape's kind and type, and only there: each
    // entry is its shape's one entry, and there are as many entries as active shapes.
    uint32_t listedShapes = 0;
    for (int32_t kind = kEllipsoidKind; kind <= kMeshKind; kind++) {
        for (int32_t type = 0; type <= static_cast<int32_t>(kMaxCollisionType); type++) {
            const IntrusiveList &list = ShapeLists[kind][type];
            ValidateList(list);
            for (ListLink *l = list.head; l != nullptr; l = l->next) {
                ShapeEntry *entry = MemberOf<ShapeEntry>(l);
                Check(entry->shape != nullptr && entry->shape->shapeEntry == entry);
                Check(entry->shape->kind == kind && entry->collisionType == type);
                Check(entry->body->activeBodyEntry != nullptr);
                listedShapes++;
            }
        }
    }
    // Kind 0 is never used.
    for (uint32_t type = 0; type < kCollisionTypeCount; type++) {
        Check(ShapeLists[0][type].head == nullptr && ShapeLists[0][type].tail == nullptr);
    }
    Check(listedShapes == activeShapes);
}
#endif

} // namespace vor
