// QuibItem: the list.
#include "Quib/QuibItem.h"

QuibItem::~QuibItem() {
    // Iteratively, so that a long list cannot exhaust the stack.
    QuibItem* rest = next;
    while (rest) {
        QuibItem* following = rest->next;
        rest->next = nullptr;
        delete rest;
        rest = following;
    }
}

QuibItem* QuibItem::getByID(UInt32 wanted) {
    for (QuibItem* item = this; item; item = item->next)
        if (item->id == wanted) return item;
    return nullptr;
}

void QuibItem::append(QuibItem* item) {
    QuibItem* last = this;
    while (last->next) last = last->next;
    last->next = item;
    item->prev = last;
}
