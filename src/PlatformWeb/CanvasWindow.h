// Windows in a web page: a window shows on a <canvas> of the page and takes
// its pointer, wheel and key events; its run loop runs on the page's animation
// frames. The rest of the editor-side platform is the same as on X11.
#pragma once
#include "PlatformUI/CarbonTypes.h"

// The page's canvas with this element id shows the window: its CSS size is the
// window's unscaled size and its pixel size that times the scale. Pointer
// positions map back as on X11 (down to whole unscaled pixels); Control (Meta
// on a Mac) is the Command key, Alt or the middle button Option.
// errInvalidWindowRef when the page has no such canvas.
OSStatus CreateCanvasWindow(const char* canvasId, SInt16 width, SInt16 height, double scale, WindowRef* outWindow);

// Runs the loop's passes (timers, posted work, update passes) at each of the
// page's animation frames from now on; a second call changes nothing.
void RunLoopRunOnAnimationFrames(CFRunLoopRef loop);
