#pragma once

#include <QImage>

// Pictures of the screen.
class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;

    // The whole desktop (every monitor) at its pixel size as an opaque
    // 32-bit image; a null image when the desktop cannot be captured.
    virtual QImage grab() = 0;

    // The capture in use: the desktop backend's, unless a test installed
    // another; null where there is no screen to capture.
    static ScreenCapture* instance();
    // Installs a capture; null restores the backend's.
    static void setInstance(ScreenCapture* capture);
};
