// QuickDraw ports and regions, as far as controls use them to clip drawing:
// a window's port, the current port, and regions recorded from framed rectangles.
#pragma once
#include "PlatformUI/CarbonTypes.h"

CGrafPtr GetWindowPort(WindowRef window);
void GetPort(GrafPtr* port);
void SetPort(GrafPtr port);
Rect* GetPortBounds(CGrafPtr port, Rect* bounds);

RgnHandle NewRgn();
void DisposeRgn(RgnHandle region);
// Between OpenRgn and CloseRgn every FrameRect adds its rectangle to the region;
// rectangles combine by even-odd, so one framed inside another is a hole in it.
void OpenRgn();
void CloseRgn(RgnHandle region);
void FrameRect(const Rect* rect);
void SetClip(RgnHandle region);
