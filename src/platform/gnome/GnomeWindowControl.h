#pragma once

#include "WindowControl.h"

// The windows of a GNOME Wayland session, which mutter keeps to itself: it
// lists none to ordinary programs, and GNOME Shell's window list
// (org.gnome.Shell.Introspect) answers only the programs it trusts and
// neither raises nor closes windows. So the list is empty and every request
// does nothing; the callers fall back (launching an application again
// brings most GNOME applications forward; a polite quit becomes SIGTERM).
class GnomeWindowControl : public WindowControl {
public:
    std::vector<ClientWindow> list() override { return {}; }
    bool activate(std::uint64_t) override { return false; }
    bool close(std::uint64_t) override { return false; }
};
