#include "X11WindowFacts.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <algorithm>

X11WindowFacts::X11WindowFacts(unsigned long window)
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return;
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) != 0) {
        bypassesManager = attributes.override_redirect != 0;
        isViewable = attributes.map_state == IsViewable;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_STATE", False), 0, 64, False, XA_ATOM, &type,
                           &format, &count, &remaining, &data) == Success &&
        data != nullptr) {
        const Atom* atoms = reinterpret_cast<const Atom*>(data);
        keepsAbove = std::count(atoms, atoms + count, XInternAtom(display, "_NET_WM_STATE_ABOVE", False)) > 0;
        XFree(data);
    }
    XCloseDisplay(display);
}
