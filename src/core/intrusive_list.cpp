// The four list operations and the debug list validator.
#include "core/intrusive_list.h"

#include <cstdlib>

namespace vor {

void InitMember(ListLink *member) {
    member->prev = nullptr;
    member->next = nullptr;
}

ListLink *Append(ListLink *member, IntrusiveList *list) {
    if (member == nullptr) {
        return nullptr;
    }
    if (list->head == nullptr) {
        list->head = member;
    }
    if (list->tail != nullptr) {
        list->tail->next = member;
    }
    member->next = nullptr;
    member->prev = list->tail;
    list->tail = member;
    return member;
}

void Unlink(ListLink *member, IntrusiveList *list) {
    if (member->prev != nullptr) {
        member->prev->next = member->next;
    }
    if (member->next != nullptr) {
        member->next->prev = member->prev;
    }
    if (list->head == member) {
        list->head = member->next;
    }
    if (list->tail == member) {
        list->tail = member->prev;
    }
}

void Move(ListLink *member, IntrusiveList *list, ListLink *anchor, ListPosition position) {
    if (member == anchor) {
        return;
    }
    Unlink(member, list);
    if (position == kBefore) {
        member->next = anchor;
        member->prev = anchor->prev;
        if (anchor->prev != nullptr) {
            anchor->prev->next = member;
        }
        anchor->prev = member;
        if (list->head == anchor) {
            list->head = member;
        }
    } else {
        member->prev = anchor;
        member->next = anchor->next;
        if (anchor->next != nullptr) {
            anchor->next->prev = member;
        }
        anchor->next = member;
        if (list->tail == anchor) {
            list->tail = member;
        }
    }
}

#ifdef VOR_VALIDATE
void ValidateList(const IntrusiveList &list) {
    if ((list.head == nullptr) != (list.tail == nullptr)) {
        std::abort();
    }
    if (list.head == nullptr) {
        return;
    }
    if (list.head->prev != nullptr || list.tail->next != nullptr) {
        std::abort();
    }
    // Two walkers, one twice as fast, meet only on a cycle.
    const ListLink *slow = list.head;
    const ListLink *fast = list.head;
    const ListLink *last = nullptr;
    for (const ListLink *l = list.head; l != nullptr; l = l->next) {
        if (l->prev != last) {
            std::abort();
        }
        last = l;
        slow = slow->next;
        fast = (fast && fast->next) ? fast->next->next : nullptr;
        if (fast != nullptr && fast == slow) {
            std::abort();
        }
    }
    if (last != list.tail) {
        std::abort();
    }
}
#endif

void AppendList(IntrusiveList *from, IntrusiveList *to) {
    if (from->head == nullptr) {
        return;
    }
    if (to->tail == nullptr) {
        to->head = from->head;
    } else {
        to->tail->next = from->head;
        from->head->prev = to->tail;
    }
    to->tail = from->tail;
    from->head = nullptr;
    from->tail = nullptr;
}

} // namespace vor
