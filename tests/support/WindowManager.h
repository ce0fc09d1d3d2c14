// What a window manager and a task bar do for a test under a bare X server:
// read a window's name and owner, and press its close button.
#pragma once
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <string>

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

// A window property as bytes (8-bit formats) or longs (32-bit formats); empty when missing.
inline std::string windowProperty(Display* d, Window w, const char* name, Atom type) {
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string value;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1 << 20, False, type, &actual, &format, &count, &after,
                           &data) == Success &&
        data) {
        value.assign(reinterpret_cast<const char*>(data), count * (format == 32 ? sizeof(long) : format / 8));
        XFree(data);
    }
    return value;
}

// The title as a task bar shows it: _NET_WM_NAME, in UTF-8.
inline std::string windowName(Display* d, Window w) {
    return windowProperty(d, w, "_NET_WM_NAME", XInternAtom(d, "UTF8_STRING", False));
}

// The first top-level window whose title or process ID matches; 0 when none does.
inline Window findWindowNamed(Display* d, const std::string& name) {
    Window root, parent, *children = nullptr, found = 0;
    unsigned int count = 0;
    if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i)
            if (windowName(d, children[i]) == name) found = children[i];
        XFree(children);
    }
    return found;
}

inline Window findWindowOfProcess(Display* d, long pid) {
    Window root, parent, *children = nullptr, found = 0;
    unsigned int count = 0;
    if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i) {
            const std::string owner = windowProperty(d, children[i], "_NET_WM_PID", XA_CARDINAL);
            if (owner.size() >= sizeof(long) && *reinterpret_cast<const long*>(owner.data()) == pid)
                found = children[i];
        }
        XFree(children);
    }
    return found;
}
