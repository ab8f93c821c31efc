#pragma once

#include <memory>
#include <optional>
#include <string>

struct _GDesktopAppInfo;

// One application's desktop entry as GIO reads it (GDesktopAppInfo), so the
// Desktop Entry rules (escapes, lists, booleans, localised keys, field codes,
// TryExec) are the ones the desktop itself applies. Copies share the entry.
class DesktopEntry {
public:
    // Reads the file. Empty when GIO does not take it as an application:
    // [Desktop Entry] is not its first group, its Type is not Application,
    // the program of TryExec or Exec is not installed, or Exec does not
    // parse.
    static std::optional<DesktopEntry> load(const std::string& filePath, const std::string& id);

    // The entry id ("org.example.Editor" for org/example/Editor.desktop)
    // and the file it came from.
    const std::string& id() const { return entryId; }
    const std::string& filePath() const { return path; }

    bool has(const std::string& key) const;
    // The value with its escapes undone; empty when the key is absent.
    std::string string(const std::string& key) const;
    // The localised Name, for the messages locale as GLib reads it when the
    // entry is read (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
    std::string name() const;
    // The Exec value; empty for a D-Bus activatable entry without one.
    std::string commandLine() const;

    // Whether a user sees it in the desktop's menus: named, with an Exec or
    // D-Bus activatable, not Hidden, and shown on this desktop (NoDisplay,
    // OnlyShowIn and NotShowIn against XDG_CURRENT_DESKTOP, which GIO reads
    // once per process).
    bool shown() const { return listed; }
    // The icon as GIO reads Icon: an absolute file path, or a theme icon
    // name without a stray .png/.svg/.xpm extension; empty without one.
    std::string icon() const;
    // Starts the application as the desktop's menus do: a D-Bus activatable
    // application through the session bus, any other by its Exec with the
    // field codes expanded for no files (Terminal and Path honoured), in a
    // session of its own, standard input and output on /dev/null, SIGPIPE
    // at its default. False, with a log line, when it could not be started.
    bool launch() const;

private:
    std::shared_ptr<_GDesktopAppInfo> info;
    std::string entryId;
    std::string path;
    bool listed = false;
};
