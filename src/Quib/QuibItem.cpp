// QuibItem: the list.
#include "Quib/QuibItem.h"

QuibItem::~QuibItem() {
    // Iteratively, so that a long list cannot exhaust the stack: each item goes
    // after the rest of the list has been taken from it.
    std::unique_ptr<QuibItem> rest = std::move(next);
    while (rest) rest = std::move(rest->next);
}

QuibItem* QuibItem::getByID(UInt32 wanted) {
    for (QuibItem* item = this; item; item = item->next.get())
        if (item->id == wanted) return item;
    return nullptr;
}

void QuibItem::append(std::unique_ptr<QuibItem> item) {
    QuibItem* last = this;
    while (last->next) last = last->next.get();
    item->prev = last;
    last->next = std::move(item);
}
