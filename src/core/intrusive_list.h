// Doubly linked lists whose members carry their own link pair as their first field.
// The only code that touches prev/next; owners hold a head/tail pair. Nothing here allocates.
#pragma once

namespace vor {

struct ListLink {
    ListLink *prev; // member before, null for the first
    ListLink *next; // member after, null for the last
};

struct IntrusiveList {
    ListLink *head; // first member, null when empty
    ListLink *tail; // last member, null when empty
};

enum ListPosition { kBefore = 0, kAfter = 1 };

void InitMember(ListLink *member);
// Adds member after the tail and answers it; a null member is ignored (answers null).
ListLink *Append(ListLink *member, IntrusiveList *list);
// Takes member out; its own prev/next are left as they were.
void Unlink(ListLink *member, IntrusiveList *list);
// Takes member out and puts it back right before or after anchor in the same list.
void Move(ListLink *member, IntrusiveList *list, ListLink *anchor, ListPosition position);
// Moves every member of from, in order, to the end of to; from is left empty.
void AppendList(IntrusiveList *from, IntrusiveList *to);

// Every record begins with its ListLink, so a link pointer is the record pointer.
template <typename Record> inline Record *MemberOf(ListLink *link) {
    return reinterpret_cast<Record *>(link);
}
template <typename Record> inline Record *ListHead(const IntrusiveList &list) {
    return MemberOf<Record>(list.head);
}
template <typename Record> inline Record *ListTail(const IntrusiveList &list) {
    return MemberOf<Record>(list.tail);
}

#ifdef VOR_VALIDATE
// Head, tail, back links and no cycle; aborts on a broken list.
void ValidateList(const IntrusiveList &list);
#else
inline void ValidateList(const IntrusiveList &) {}
#endif

} // namespace vor
