#pragma once

#include "ScreenCapture.h"

class GnomeRemoteDesktop;

// Screenshots of a GNOME Wayland session: one frame of the remote-desktop
// session's stream of the primary monitor, taken from PipeWire (the pointer
// drawn in). The stream records the primary monitor only, so that is what
// the picture shows. A null image when the session has no stream or no
// frame comes within a couple of seconds.
class GnomeScreenCapture : public ScreenCapture {
public:
    explicit GnomeScreenCapture(GnomeRemoteDesktop& session) : session(session) {}

    QImage grab() override;

private:
    GnomeRemoteDesktop& session;
};
