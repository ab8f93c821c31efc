#pragma once

#include <string>

// Whether the Wayland session is a GNOME (mutter) one that this program can
// drive: mutter's remote-desktop interface has an owner on the session bus.
class GnomeProbe {
public:
    GnomeProbe() = delete;

    static bool Offered();
};
