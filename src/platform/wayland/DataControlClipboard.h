#pragma once

#include "Pasteboard.h"
#include "PipeFeeder.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

class WaylandConnection;
struct wl_seat;
struct zwlr_data_control_device_v1;
struct zwlr_data_control_manager_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;

// One format of the clipboard's contents: a MIME type and its bytes.
struct ClipboardFormat {
    std::string mimeType;
    std::string bytes;
};
using ClipboardContents = std::vector<ClipboardFormat>;

// The clipboard of a Wayland seat through the data-control protocol
// (zwlr_data_control_manager_v1), which reads, watches and sets it without
// a window or the keyboard focus, so it serves a program that has neither.
// Generic: it assumes nothing of the compositor beyond the protocol.
//
// It also lends the clipboard out for typing text that the keyboard layout
// cannot type: lendText() puts the text on the clipboard in place of the
// user's contents, which it reads in full first, and the caller then sends
// the paste keys and calls pasteSent(). kGiveBackAfter after the last
// lending the user's contents are put back, unless somebody copied
// something else in the meantime (then that copy stays). The program's own
// selections never count as changes, and while the clipboard is lent out
// the reads answer with the user's contents.
//
// A program reads the clipboard when it handles the paste keys, which may
// be after it has already seen a later selection; and whether it reads
// from this program at all cannot be told (it may have read the text
// before, when the selection changed). So the selection is not changed
// again, by the next lending or the give-back, until kPasteSettle after
// the paste keys.
//
// The Pasteboard operations are for the main thread (the change listener is
// queued there through MainQueue); lending is for any thread.
class DataControlClipboard : public Pasteboard {
public:
    // The most bytes read from the clipboard at once (one format, or all of
    // them when the contents are kept while lent out).
    static constexpr std::size_t kMaxBytes = 64u << 20;
    // How long the owner of the clipboard may take to hand over a format.
    static constexpr std::chrono::milliseconds kReadTimeout{2000};
    // Typing silence after which the user's contents are put back.
    static constexpr std::chrono::milliseconds kGiveBackAfter{1000};
    // How long a program may take to handle the paste keys.
    static constexpr std::chrono::milliseconds kPasteSettle{300};

    // Binds the protocol on the connection, which must outlive this object
    // and have stopped dispatching before it is destroyed.
    explicit DataControlClipboard(WaylandConnection& connection);
    ~DataControlClipboard() override;
    DataControlClipboard(const DataControlClipboard&) = delete;
    DataControlClipboard& operator=(const DataControlClipboard&) = delete;

    // Whether the compositor offers the protocol (and the device still works).
    bool available() override;
    // The text in UTF-8, when a text format is offered.
    std::optional<std::string> text() override;
    std::vector<std::string> filePaths() override;
    std::optional<std::string> data(const std::string& mimeType) override;
    long long changeCount() override;
    void setChangeListener(std::function<void()> listener) override;

    // Puts the text (UTF-8) on the clipboard in place of the user's
    // contents and returns once the compositor has made it the selection;
    // false when it could not.
    bool lendText(const std::string& utf8);
    // The paste keys for the lent text have just been sent.
    void pasteSent();
    // Puts the user's contents back now (see above).
    void giveBack();

private:
    struct Source {
        zwlr_data_control_source_v1* proxy;
        std::shared_ptr<const ClipboardContents> contents;
    };

    static void OnDataOffer(void* data, zwlr_data_control_device_v1* device, zwlr_data_control_offer_v1* offer);
    static void OnSelection(void* data, zwlr_data_control_device_v1* device, zwlr_data_control_offer_v1* offer);
    static void OnFinished(void* data, zwlr_data_control_device_v1* device);
    static void OnOfferMimeType(void* data, zwlr_data_control_offer_v1* offer, const char* mimeType);
    static void OnSend(void* data, zwlr_data_control_source_v1* source, const char* mimeType, std::int32_t fd);
    static void OnCancelled(void* data, zwlr_data_control_source_v1* source);

    // The MIME types the clipboard offers now.
    std::vector<std::string> formats();
    // One format, read in full (bounded by budget bytes).
    std::optional<std::string> read(const std::string& mimeType, std::size_t budget = kMaxBytes);
    // Makes contents the selection as this program's own (none: an empty
    // clipboard). Called with mutex held.
    void select(std::shared_ptr<const ClipboardContents> contents);
    // Waits until the last paste has been taken (see above). Called with
    // mutex held by lock.
    void waitForPaste(std::unique_lock<std::mutex>& lock);
    void giveBackLocked();
    void giveBackLoop();

    WaylandConnection& connection;
    wl_seat* seat = nullptr;
    zwlr_data_control_manager_v1* manager = nullptr;
    PipeFeeder feeder;

    std::mutex mutex; // guards everything below
    std::condition_variable changed;
    zwlr_data_control_device_v1* device = nullptr;
    // Offers announced and not yet made the selection, with their types.
    std::map<zwlr_data_control_offer_v1*, std::vector<std::string>> announced;
    zwlr_data_control_offer_v1* offer = nullptr; // the selection, null when empty
    std::vector<std::string> offerTypes;
    std::vector<Source> sources; // this program's, until cancelled
    int pendingOwn = 0;          // own selections whose selection event is still to come
    bool ownSelection = false;   // the selection is one of this program's sources
    // What the reads answer while the selection is this program's: the
    // user's contents (lent out, or given back).
    std::shared_ptr<const ClipboardContents> shown;
    bool lending = false;
    std::chrono::steady_clock::time_point lastLend;
    std::optional<std::chrono::steady_clock::time_point> pasteSentAt; // a paste not yet taken
    bool stopping = false;
    long long changes = 0;
    std::shared_ptr<std::function<void()>> listener;
    std::thread giveBackThread;
};
