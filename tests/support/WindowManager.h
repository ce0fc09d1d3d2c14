// What a window manager does for a test under a bare X server: the close button.
#pragma once
#include <X11/Xlib.h>

inline void sendCloseRequest(Display* d, Window w) {
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = w;
    close.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
    XSendEvent(d, w, False, NoEventMask, &close);
    XFlush(d);
}
