#pragma once

#include "ClipboardLoan.h"
#include "Pasteboard.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

class GnomeRemoteDesktop;

// The clipboard of a GNOME Wayland session, seen through the remote-desktop
// session's own clipboard rather than through a window: reading it and
// watching its changes work without the keyboard focus, which a Wayland
// client needs for its own clipboard.
//
// It is lent out for typing text that the keyboard layout lacks
// (ClipboardLoan): the session offers the text as its selection and serves
// it. The session's own selections do not count as changes of the user's
// clipboard. mutter hands a client a new selection at once but its keys only
// after they went through its input thread, so a paste is taken when the
// client has read the text, or kPasteTimeout after the keys, and the
// selection stays at least kKeysSettle after them.
class GnomeClipboard : public Pasteboard, public ClipboardLoan {
public:
    // Largest clipboard content read, per format.
    static constexpr std::size_t kMaxContent = 16u << 20;
    // How long a paste waits for the focused client to ask for the text.
    static constexpr std::chrono::milliseconds kPasteTimeout{1000};
    // How long a client gets to take the paste keys before the selection changes.
    static constexpr std::chrono::milliseconds kKeysSettle{60};

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

private:
    void ownerChanged(const std::vector<std::string>& mimeTypes, bool sessionIsOwner);
    void transfer(const std::string& mimeType, std::uint32_t serial);

    // The lending's operations.
    std::optional<std::shared_ptr<const ClipboardContents>> ownContents() override;
    std::vector<std::string> offeredFormats() override;
    std::optional<std::string> readOffered(const std::string& mimeType, std::size_t budget) override;
    bool makeSelection(std::shared_ptr<const ClipboardContents> contents) override;
    void waitUntilTaken(std::chrono::steady_clock::time_point keysSent) override;

    GnomeRemoteDesktop& session;
    std::mutex mutex; // guards everything below
    std::condition_variable transferred;
    std::vector<std::string> offeredTypes; // the formats of the clipboard now
    bool sessionOwns = false;
    std::shared_ptr<const ClipboardContents> owned; // what this session serves while it owns the clipboard
    unsigned long long transfers = 0;       // of the current selection, served in full
    unsigned long long transfersBeforeKeys = 0;
    long long changes = 1;
    std::function<void()> changeListener;
};
