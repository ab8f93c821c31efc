#pragma once

#include "BackendProbe.h"

// The desktop session's kind, by capability rather than by the desktop's
// name (BackendProbe's steps 2 to 4): a Wayland session (WAYLAND_DISPLAY set)
// and which compositor runs it, else an X server that accepts a connection
// on DISPLAY, else no desktop. Part of the desktop module: it connects to
// the display to find out.
class DesktopProbe {
public:
    DesktopProbe() = delete;

    static BackendChoice Detect();
};
