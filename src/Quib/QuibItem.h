// QuibItem: the base of every picture and control, a node of an intrusive
// list. Each item owns the next one, so deleting the head of a list deletes
// the whole list.
#pragma once
#include <memory>

#include "Platform/MacTypes.h"

enum QuibType : UInt32 {
    kQuib_noType = 0,
    kQuib_PNG = FourCC("cPNG"),
    kQuib_RSRC = FourCC("cRSC"),
    kQuib_Graphic = FourCC("cAgr"),
    kQuib_SpinImage = FourCC("cAsi"),
    kQuib_Pane = FourCC("cApn"),
    kQuib_LayeredPane = FourCC("cAlp"),
    kQuib_Knob = FourCC("cAkb"),
    kQuib_Slider = FourCC("cAsr"),
    kQuib_Display = FourCC("cAdy"),
    kQuib_Meter = FourCC("cAmt"),
};

class QuibItem {
public:
    QuibItem() = default;
    virtual ~QuibItem();
    QuibItem(const QuibItem&) = delete;
    QuibItem& operator=(const QuibItem&) = delete;

    // The first item from here on with the ID, or null.
    QuibItem* getByID(UInt32 id);
    // Links `item` after the last item; the list owns it from then on.
    void append(std::unique_ptr<QuibItem> item);

    QuibItem* getNext() const { return next.get(); }
    QuibItem* getPrev() const { return prev; }
    void setPrev(QuibItem* item) { prev = item; }
    UInt32 getID() const { return id; }
    void setID(UInt32 newID) { id = newID; }
    QuibType getType() const { return type; }
    void setType(QuibType t) { type = t; }

protected:
    QuibType type = kQuib_noType;
    UInt32 id = 0;
    QuibItem* prev = nullptr;        // not owned: the item before this one
    std::unique_ptr<QuibItem> next;  // the rest of the list
};
