#pragma once

#include "ScreenCapture.h"

// Captures the X root window, which spans every monitor.
class X11ScreenCapture : public ScreenCapture {
public:
    QImage grab() override;
};
