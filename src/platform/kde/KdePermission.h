#pragma once

#include <string>

// What KWin asks of a program before it offers it its restricted
// interfaces: a desktop entry in an applications folder of its XDG data
// folders whose Exec names the program by its absolute path, listing the
// Wayland protocols in X-KDE-Wayland-Interfaces and the D-Bus interfaces in
// X-KDE-DBUS-Restricted-Interfaces. Installing Corvane installs that entry
// (share/applications/corvane.desktop, from resources/corvane.desktop.in).
class KdePermission {
public:
    KdePermission() = delete;

    static constexpr const char* kWaylandInterfaces = "org_kde_kwin_fake_input,org_kde_plasma_window_management";
    static constexpr const char* kDBusInterfaces = "org.kde.KWin.ScreenShot2";

    // The one log line for an interface KWin refused: the entry it needs.
    static std::string Missing(const std::string& interface);
};
