// QuibDisplay: shows a value as one of a run of pictures or as a line of text
// (from a formatter or the parameter's own description); dragging up or down
// steps it.
#pragma once
#include "Quib/QuibControl.h"
#include "Quib/QuibGraphic.h"

// Writes the text for a control value (at most 64 bytes with the terminator).
using QuibTexter = void (*)(UInt32 value, char* text, void* userData);

class QuibDisplay : public QuibCtrl {
public:
    // A picture display: value k shows the k-th picture registered after `fore`.
    QuibDisplay(QuibMan* chief, AUVParameter& parameter, eRect* where, QuibResolution resolution, QuibGraphic* fore,
                QuibGraphic* back);
    // A text display; `userData` null means the display itself.
    QuibDisplay(QuibMan* chief, AUVParameter& parameter, eRect* where, QuibResolution resolution, QuibTexter texter,
                void* userData, QuibGraphic* back);

    void draw(CGContextRef context, UInt32 portHeight) override;
    void mouseDown(Point* p, bool withOption, bool withShift) override;
    void mouseTrack(Point* p, bool withOption, bool withShift) override;
    void mouseUp(Point*, bool, bool) override {}
    // 0 left, 1 centred, anything else right.
    virtual void setTextAlign(int align) { textalign = align; }

    // The text shown for a value (formatter, or the parameter's description).
    void makeText(UInt32 value, char* text);
    // The text from the parameter's description alone: a value name, "%d",
    // "no"/"yes", or the parameter's current value with "%.2f".
    static void describe(const AUVParameter& parameter, UInt32 value, char* text);

private:
    QuibGraphic* ForeGround;
    QuibGraphic* BackGround;
    QuibTexter theTexter = nullptr;
    void* theUserData = nullptr;
    bool hasText = false;
    int textalign = 1;

    // The pointer's v where the last step was taken; one drag at a time.
    static SInt32 referenceV;
};
