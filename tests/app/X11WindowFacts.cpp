#include "X11WindowFacts.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

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
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    if (XGetWindowProperty(display, window, state, 0, 64, False, XA_ATOM, &type, &format, &count, &remaining,
                           &data) == Success &&
        data != nullptr) {
        const Atom* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count; ++i) {
            if (char* name = XGetAtomName(display, atoms[i])) {
                stateNames.emplace_back(name);
                XFree(name);
            }
        }
        XFree(data);
    }
    XCloseDisplay(display);
}
