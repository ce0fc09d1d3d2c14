// eRect: the toolkit's rectangle, in window-local pixels with the origin at
// the top left and y growing downwards.
#pragma once
#include "PlatformUI/Quartz.h"

struct eRect {
    SInt32 x = 0, y = 0, w = 0, h = 0;

    eRect() = default;
    eRect(SInt32 x_, SInt32 y_, SInt32 w_, SInt32 h_) : x(x_), y(y_), w(w_), h(h_) {}

    void offset(SInt32 dx, SInt32 dy) {
        x += dx;
        y += dy;
    }
    void at(SInt32 x_, SInt32 y_) {
        x = x_;
        y = y_;
    }
    void size(SInt32 w_, SInt32 h_) {
        w = w_;
        h = h_;
    }
    void set(const eRect* r) { *this = *r; }
    void set(SInt32 x_, SInt32 y_, SInt32 w_, SInt32 h_) { *this = eRect(x_, y_, w_, h_); }

    // The QuickDraw rectangle.
    void to(Rect* r) const {
        r->top = SInt16(y);
        r->left = SInt16(x);
        r->bottom = SInt16(y + h);
        r->right = SInt16(x + w);
    }
    // The Quartz rectangle in a port of the given height (origin bottom left).
    void to(CGRect* r, unsigned long portHeight) const { *r = CGRectMake(x, CGFloat(portHeight) - y - h, w, h); }
};
