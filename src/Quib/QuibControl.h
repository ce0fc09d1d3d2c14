// QuibCtrl: one widget of the panel, owning one custom control of the
// manager's class; its subclasses draw it and turn the mouse into values.
#pragma once
#include "AUPublic/AUCarbonViewBase/AUVParameter.h"
#include "PlatformUI/Quartz.h"
#include "Quib/Quib.h"
#include "Quib/eRect.h"

// Control steps per unit of the bound parameter.
enum QuibResolution : UInt32 {
    kQuib_res_0 = 0,
    kQuib_res_1 = 1,
    kQuib_res_10 = 10,
    kQuib_res_50 = 50,
    kQuib_res_100 = 100,
};

class QuibCtrl : public QuibItem {
public:
    // Bound to a parameter, with `resolution` control steps per parameter unit.
    QuibCtrl(QuibMan* chief, AUVParameter& parameter, eRect* where, QuibResolution resolution);
    // Unbound, with a value of 0...range.
    QuibCtrl(QuibMan* chief, eRect* where, UInt32 range);
    // Unbound and valueless (panes).
    QuibCtrl(QuibMan* chief, eRect* where);
    ~QuibCtrl() override;

    virtual void setCarbonControl(ControlRef ref) { carbonControl = ref; }
    virtual ControlRef getCarbonControl() { return carbonControl; }
    virtual void clip(bool all);
    virtual void setVisible(bool show);
    virtual void draw(CGContextRef, UInt32 /*portHeight*/) {}
    // Points are control-local: (0, 0) is the top-left corner; they may lie outside while dragging.
    virtual void mouseDown(Point*, bool /*withOption*/, bool /*withShift*/) {}
    virtual void mouseTrack(Point*, bool, bool) {}
    virtual void mouseUp(Point*, bool, bool) {}
    virtual void setDefault();
    virtual void idle();
    virtual bool isControlRef(ControlRef ref);
    virtual bool providesForeignControls() { return false; }
    virtual void initForeignControls(ControlDefSpec&) {}
    virtual bool isAUVPattached() { return AUVPattached; }
    virtual void embedQuibCtrl() {}
    // Keeps `child` and places it inside this control; returns it.
    virtual QuibCtrl* addCtrl(std::unique_ptr<QuibCtrl> child);
    virtual void getBounds(Rect* r) { where.to(r); }
    virtual void getForeBounds(Rect* r) { vizArea.to(r); }
    virtual QuibResolution getResolution() { return Resolution; }
    virtual AUVParameter& getAUVP() { return auvp; }
    virtual float getRange() { return Range; }
    virtual eRect* getBounds() { return &where; }
    virtual eRect* getForeBounds() { return &vizArea; }
    virtual QuibMan* getQuibMan() { return Chief; }
    virtual QuibCtrl* getDaddy() { return Daddy; }
    virtual QuibCtrl* getChild(ControlRef ref);
    QuibCtrl* getChildren() const { return children.get(); }
    virtual void setDaddy(QuibCtrl* daddy) { Daddy = daddy; }
    virtual void setOffset(long dx, long dy);
    virtual void setBounds(eRect* r) { where = *r; }
    virtual void setForeBounds(eRect* r) { vizArea = *r; }
    virtual void setForeBounds(long x, long y, long w, long h) {
        vizArea.set(SInt32(x), SInt32(y), SInt32(w), SInt32(h));
    }
    virtual void shrinkForeBounds(long left, long top, long right, long bottom);
    virtual void setLastUpdated(long value) { lastUpdatedValue = SInt32(value); }
    virtual long getLastUpdated() { return lastUpdatedValue; }
    virtual void setTolerance(long t) { tolerance = SInt32(t); }
    // Mouse-wheel notches over the control (Linux users expect knobs to turn with it); base: nothing.
    virtual void mouseWheel(int /*notches*/, bool /*withShift*/) {}
    // The redraw filter: false when a relaxed-phase redraw would show nothing new.
    virtual bool mustUpdate();

    bool getOpaque() const { return opaque; }
    void setOpaque(bool o) { opaque = o; }

protected:
    // The Carbon value and maximum; 0 without a Carbon control.
    SInt32 controlValue() const { return carbonControl ? GetControl32BitValue(carbonControl) : 0; }
    SInt32 controlMaximum() const { return carbonControl ? GetControl32BitMaximum(carbonControl) : 0; }
    // The value as a fraction of the maximum, 0 when the maximum is 0.
    float valueFraction() const;

    QuibMan* Chief;  // not owned: the manager owns the top-level controls
    AUVParameter auvp;
    QuibCtrl* Daddy = nullptr;  // not owned: the parent that owns this control
    std::unique_ptr<QuibCtrl> children;
    UInt32 id = 0;  // a second identifier, kept at 0
    QuibResolution Resolution;
    float Range;
    bool AUVPattached;
    bool opaque = true;
    ControlRef carbonControl = nullptr;  // the platform's; disposed of with this control
    eRect where;
    eRect vizArea;
    SInt32 lastUpdatedValue = 0;
    SInt32 tolerance = 1;
    bool becameVisible = false;
};
