// Why a move keeps the hierarchy whole: elements 0..copied-1 of the larger array equal the old
// array's at every moment, as the copy only goes forward and every element changed in place below
// `copied` is copied again (MirrorNodes: insertions change only the nodes on their path, and items
// are only ever appended, at the count, which is at least `copied`); elements appended meanwhile
// lie at or past `copied` and are copied when the slices reach them. So once `copied` reaches the
// count the larger array is the old one, element for element, and takes its place; until then the
// searches read the old one, which stays complete.
//   Why no reservation copies a whole array: a move starts once an array has used half the room it
// was made with (a build's spare room, a quarter of the count after a move) and has less than a
// thirty-second of its count left, and copies 2 count / (room left) elements for each one reserved
// (at least kArrayMovePaceLeast), so it ends before half the room left is reserved. That room is
// a share of the count (at least half a build's spare: a sixteenth of the items, a sixty-fourth of
// the nodes, a quarter of that for a mesh not seen growing, less where the triangles' own memory
// leaves less), so a slice is a bounded multiple of what is reserved. Only a single reservation
// larger than that room (a subtree rebuilt near the root, itself a build of a large share of the
// mesh) finishes the move at once or grows the array whole, at a cost below that rebuild's own.
#include "mesh/mesh_accel_arrays.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/module_state.h"
#include "mesh/mesh_accel_build.h"

namespace vor {

namespace {

enum ArrayKind { kItemArray, kNodeArray };

size_t ElementSize(ArrayKind kind) {
    return kind == kItemArray ? sizeof(AccelItem) : sizeof(AccelNode);
}

AccelArrayMove &MoveOf(MeshAccel *accel, ArrayKind kind) {
    return kind == kItemArray ? accel->itemMove : accel->nodeMove;
}

uint32_t CountOf(const MeshAccel *accel, ArrayKind kind) {
    return kind == kItemArray ? accel->itemCount : accel->nodeCount;
}

uint32_t CapacityOf(const MeshAccel *accel, ArrayKind kind) {
    return kind == kItemArray ? accel->itemCapacity : accel->nodeCapacity;
}

char *DataOf(const MeshAccel *accel, ArrayKind kind) {
    return kind == kItemArray ? reinterpret_cast<char *>(accel->items)
                              : reinterpret_cast<char *>(accel->nodes);
}

// Ends a move: its array freed unless taken over, the room the array was made with kept.
void EndMove(AccelArrayMove *move, bool freeArray) {
    if (freeArray) {
        std::free(move->block);
    }
    const uint32_t roomGiven = move->roomGiven;
    *move = AccelArrayMove{};
    move->roomGiven = roomGiven;
}

// The larger array under way takes the old one's place.
void Finish(MeshAccel *accel, ArrayKind kind) {
    AccelArrayMove &move = MoveOf(accel, kind);
    if (kind == kItemArray) {
        std::free(accel->items);
        accel->items = static_cast<AccelItem *>(move.data);
        accel->itemCapacity = move.capacity;
    } else {
        std::free(accel->nodeBlock);
        accel->nodeBlock = move.block;
        accel->nodes = static_cast<AccelNode *>(move.data);
        accel->nodeCapacity = move.capacity;
    }
    move.roomGiven = move.capacity - CountOf(accel, kind);
    EndMove(&move, false);
}

// Copies up to `most` more elements into the larger array, and puts it in place once it holds
// them all.
void CopySlice(MeshAccel *accel, ArrayKind kind, uint32_t most) {
    AccelArrayMove &move = MoveOf(accel, kind);
    const uint32_t n = std::min(most, CountOf(accel, kind) - move.copied);
    const size_t size = ElementSize(kind);
    std::memcpy(static_cast<char *>(move.data) + size * move.copied,
                DataOf(accel, kind) + size * move.copied, size * n);
    move.copied += n;
    if (move.copied == CountOf(accel, kind)) {
        Finish(accel, kind);
    }
}

// Starts a move into an array with room for `need` more and a quarter of the count, paced to end
// within half the room left after `need`; false when memory runs out.
bool StartMove(MeshAccel *accel, ArrayKind kind, uint32_t need) {
    const uint32_t count = CountOf(accel, kind);
    const uint32_t room = CapacityOf(accel, kind) - count;
    const uint64_t left = room > need ? room - need : 1;
    const uint32_t capacity = count + need + std::max<uint32_t>(kArrayMoveSliceLeast, count / 4);
    const size_t align = kind == kNodeArray ? kNodeAlignment : 0;
    void *block = std::malloc(ElementSize(kind) * static_cast<size_t>(capacity) + align);
    if (block == nullptr) {
        return false;
    }
    AccelArrayMove &move = MoveOf(accel, kind);
    move.block = block;
    move.data = kind == kNodeArray ? static_cast<void *>(AlignedNodes(block)) : block;
    move.capacity = capacity;
    move.copied = 0;
    move.pace = static_cast<uint32_t>(std::min<uint64_t>(
        std::max<uint64_t>(kArrayMovePaceLeast, (2 * uint64_t{count} + left - 1) / left),
        count + 1));
    Stats.accelArrayMoves += 1;
    return true;
}

// The whole array grown in one call, each element copied at once where the allocator cannot
// extend it in place.
bool GrowWhole(MeshAccel *accel, ArrayKind kind, uint32_t need) {
    const uint32_t count = CountOf(accel, kind);
    if (kind == kItemArray) {
        const uint32_t capacity = count + need + std::max<uint32_t>(64, count / 8);
        void *grown = std::realloc(accel->items, sizeof(AccelItem) * capacity);
        if (grown == nullptr) {
            return false;
        }
        accel->items = static_cast<AccelItem *>(grown);
        accel->itemCapacity = capacity;
    } else if (!AllocateNodes(accel, count + need + std::max<uint32_t>(16, count / 8), count)) {
        return false;
    }
    Stats.accelArrayGrowths += 1;
    return true;
}

bool Reserve(MeshAccel *accel, ArrayKind kind, uint32_t need) {
    AccelArrayMove &move = MoveOf(accel, kind);
    const uint32_t count = CountOf(accel, kind);
    const uint32_t room = CapacityOf(accel, kind) - count;
    const uint32_t startBelow = std::min(move.roomGiven / 2, count / kArrayMoveStartFraction);
    if (move.block == nullptr && (room < need || room - need < startBelow)) {
        StartMove(accel, kind, need); // without memory for it the array grows whole below
    }
    if (move.block != nullptr) {
        const uint64_t slice = uint64_t{move.pace} * need;
        CopySlice(accel, kind,
                  static_cast<uint32_t>(std::min<uint64_t>(
                      std::max<uint64_t>(kArrayMoveSliceLeast, slice), CountOf(accel, kind))));
    }
    if (CapacityOf(accel, kind) - CountOf(accel, kind) >= need) {
        return true;
    }
    if (move.block != nullptr) {
        CopySlice(accel, kind, CountOf(accel, kind));
        if (CapacityOf(accel, kind) - CountOf(accel, kind) >= need) {
            return true;
        }
    }
    return GrowWhole(accel, kind, need);
}

} // namespace

void ReleaseArrays(MeshAccel *accel) {
    CancelArrayMoves(accel);
    std::free(accel->items);
    std::free(accel->nodeBlock);
    accel->items = nullptr;
    accel->own = 0;
    accel->nodes = nullptr;
    accel->nodeBlock = nullptr;
    accel->itemCount = accel->itemCapacity = 0;
    accel->nodeCount = accel->nodeCapacity = 0;
    accel->triangleCount = accel->builtCount = 0;
    accel->last = nullptr;
}

bool ReserveRoom(MeshAccel *accel, uint32_t items, uint32_t nodes) {
    return Reserve(accel, kItemArray, items) && Reserve(accel, kNodeArray, nodes);
}

void MirrorNodes(MeshAccel *accel, const uint32_t *nodes, uint32_t count) {
    const AccelArrayMove &move = accel->nodeMove;
    if (move.block == nullptr) {
        return;
    }
    for (uint32_t k = 0; k < count; ++k) {
        if (nodes[k] < move.copied) {
            static_cast<AccelNode *>(move.data)[nodes[k]] = accel->nodes[nodes[k]];
        }
    }
}

void CancelArrayMoves(MeshAccel *accel) {
    EndMove(&accel->itemMove, true);
    EndMove(&accel->nodeMove, true);
}

void SetRoomGiven(MeshAccel *accel, uint32_t items, uint32_t nodes) {
    accel->itemMove.roomGiven = items;
    accel->nodeMove.roomGiven = nodes;
}

size_t ArrayMoveBytes(const MeshAccel *accel) {
    size_t bytes = 0;
    if (accel->itemMove.block != nullptr) {
        bytes += sizeof(AccelItem) * static_cast<size_t>(accel->itemMove.capacity);
    }
    if (accel->nodeMove.block != nullptr) {
        bytes += sizeof(AccelNode) * static_cast<size_t>(accel->nodeMove.capacity) + kNodeAlignment;
    }
    return bytes;
}

} // namespace vor
