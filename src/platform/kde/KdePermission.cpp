#include "KdePermission.h"

#include <filesystem>

std::string KdePermission::Missing(const std::string& interface)
{
    std::error_code error;
    const std::string program = std::filesystem::read_symlink("/proc/self/exe", error).string();
    return "KWin refuses " + interface + " to " + program +
           ": it needs a desktop entry in its applications folders with Exec=" + program +
           ", X-KDE-Wayland-Interfaces=" + kWaylandInterfaces +
           " and X-KDE-DBUS-Restricted-Interfaces=" + kDBusInterfaces +
           " (installing Corvane installs it as share/applications/corvane.desktop)";
}
