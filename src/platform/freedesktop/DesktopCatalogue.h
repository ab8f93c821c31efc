#pragma once

#include "DesktopEntry.h"

#include <optional>
#include <string>
#include <vector>

// The applications installed for the user: the desktop entries in the
// "applications" folders of XDG_DATA_HOME and every XDG_DATA_DIRS, read
// afresh on each call (GIO's own application list follows changes through
// file monitors, a moment late, and reads those folders once per process).
class DesktopCatalogue {
public:
    DesktopCatalogue() = delete;

    // The folders searched, most important first: XDG_DATA_HOME (default
    // ~/.local/share), then each of XDG_DATA_DIRS (default
    // /usr/local/share:/usr/share), each with "/applications".
    static std::vector<std::string> folders();

    // The entries a user sees (DesktopEntry::shown), ordered by name, then
    // id. Of several files with one entry id the one in the first folder
    // counts, even when it hides the application or GIO refuses it.
    static std::vector<DesktopEntry> applications();
    // The listed entry of that id, if any.
    static std::optional<DesktopEntry> find(const std::string& id);

    // The full path of an installed program given by path or by name
    // (looked up in PATH); empty when there is none.
    static std::string findProgram(const std::string& program);
};
