#pragma once

#include "Pasteboard.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

class GnomeRemoteDesktop;

// The clipboard of a GNOME Wayland session, seen through the remote-desktop
// session's own clipboard rather than through a window: reading it and
// watching its changes work without the keyboard focus, which a Wayland
// client needs for its own clipboard.
//
// It also types text that the keyboard layout lacks: the text is offered as
// the session's selection and pasted with Ctrl+V, and what the user had on
// the clipboard is put back afterwards (the same bytes in every format it
// was offered in, now served by this session). The session's own selections
// do not count as changes of the user's clipboard.
class GnomeClipboard : public Pasteboard {
public:
    // Largest clipboard content read or kept, per format.
    static constexpr std::size_t kMaxContent = 16u << 20;

    // How long after the last paste the user's clipboard comes back.
    static constexpr std::chrono::milliseconds kRestoreAfter{250};

    explicit GnomeClipboard(GnomeRemoteDesktop& session);
    ~GnomeClipboard() override;
    GnomeClipboard(const GnomeClipboard&) = delete;
    GnomeClipboard& operator=(const GnomeClipboard&) = delete;

    bool available() override;
    std::optional<std::string> text() override;
    std::vector<std::string> filePaths() override;
    std::optional<std::string> data(const std::string& mimeType) override;
    long long changeCount() override;
    void setChangeListener(std::function<void()> listener) override;

    // Offers text (UTF-8) as the clipboard and calls pasteKeys, which must
    // send the paste shortcut; returns once the focused client has taken
    // the text (or after a time-out, when nothing asked for it). The user's
    // clipboard is saved before the first of a run of pastes and put back
    // kRestoreAfter after the last one, unless the user copied something
    // new in between. Any thread but the main one and the session's.
    bool paste(const std::string& text, const std::function<void()>& pasteKeys);

private:
    using Content = std::map<std::string, std::string>; // format → bytes

    void ownerChanged(const std::vector<std::string>& mimeTypes, bool sessionIsOwner);
    void transfer(const std::string& mimeType, std::uint32_t serial);
    // The bytes of one format, from memory when this session owns the
    // clipboard, else read from its owner.
    std::optional<std::string> read(const std::string& mimeType);
    // Offers the content as this session's selection.
    bool offer(Content content);
    // Puts back what the user had before the pastes.
    void restoreUserContent();
    void restoreLoop();

    GnomeRemoteDesktop& session;
    std::mutex pasting; // held by a paste and by a restore, so that they never interleave
    std::thread restorer;
    std::mutex mutex; // guards everything below
    std::condition_variable transferred;
    std::vector<std::string> offeredTypes; // the formats of the clipboard now
    bool sessionOwns = false;
    Content owned;                  // what this session serves while it owns the clipboard
    std::optional<Content> userContent; // saved before the first paste, until restored
    std::chrono::steady_clock::time_point restoreAt{}; // when userContent goes back
    bool stopping = false;
    std::condition_variable restoreWake;
    unsigned long long transfers = 0; // of the current selection, served in full
    long long changes = 1;
    std::function<void()> changeListener;
};
