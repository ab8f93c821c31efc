#pragma once

#include "InputCtl.h"
#include "LightCtl.h"

// The windows a phone opens on the desktop: the text-input window and the
// laser pointer. While this object lives they are the ones the entities
// drive; their windows appear only when a phone asks for them. Made on the
// main thread of a desktop (widget) application, after the application
// object.
class OverlayWindows {
public:
    OverlayWindows();
    ~OverlayWindows();
    OverlayWindows(const OverlayWindows&) = delete;
    OverlayWindows& operator=(const OverlayWindows&) = delete;

    InputCtl inputCtl;
    LightCtl lightCtl;
};
