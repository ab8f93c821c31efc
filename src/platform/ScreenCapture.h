#pragma once

#include <QImage>

// Pictures of the screen.
class ScreenCapture {
public:
    ScreenCapture() = delete;

    // The X root window, which spans every monitor, at its pixel size as an
    // opaque 32-bit image; a null image without a display.
    static QImage grabRoot();
};
