#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// The desktop's clipboard, read-only: its text, the files copied to it, the
// raw data of one format, and a count of its changes. Used on the main
// thread only (connection threads hop there through MainQueue).
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // Whether there is a clipboard at all: a headless service has none.
    virtual bool available() = 0;
    // The text, when the clipboard offers text.
    virtual std::optional<std::string> text() = 0;
    // The local paths of the copied files ("text/uri-list" file URLs), in
    // the clipboard's order.
    virtual std::vector<std::string> filePaths() = 0;
    // The bytes of one format (a MIME type such as
    // "x-kde-passwordManagerHint"), when the clipboard offers it.
    virtual std::optional<std::string> data(const std::string& mimeType) = 0;
    // Grows by one at each change of the clipboard's contents; starts at 1,
    // the contents found when the clipboard was first used. 0 when there is
    // no clipboard.
    virtual long long changeCount() = 0;
    // Called on the main thread after each change; an empty function stops
    // the calls.
    virtual void setChangeListener(std::function<void()> listener) = 0;

    // The clipboard in use: the desktop's, unless a test installed another.
    static Pasteboard& instance();
    // Installs a clipboard; null restores the desktop's.
    static void setInstance(Pasteboard* pasteboard);
};
