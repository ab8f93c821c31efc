#pragma once

#include "ClipboardLoan.h"
#include "Pasteboard.h"
#include "PipeFeeder.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

class WaylandConnection;
struct wl_seat;
struct zwlr_data_control_device_v1;
struct zwlr_data_control_manager_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;

// The clipboard of a Wayland seat through the data-control protocol
// (zwlr_data_control_manager_v1), which reads, watches and sets it without
// a window or the keyboard focus, so it serves a program that has neither.
// Generic: it assumes nothing of the compositor beyond the protocol.
//
// It is lent out for typing text that the keyboard layout cannot type
// (ClipboardLoan). Whether a program reads the lent text when it handles
// the paste keys (it may have read it when the selection changed) cannot
// be told here, so a paste counts as taken kPasteSettle after its keys. The
// program's own selections never count as changes.
//
// The Pasteboard operations are for the main thread (the change listener is
// queued there through MainQueue); lending is for any thread.
class DataControlClipboard : public Pasteboard, public ClipboardLoan {
public:
    // How long the owner of the clipboard may take to hand over a format.
    static constexpr std::chrono::milliseconds kReadTimeout{2000};
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

    // The lending's operations.
    std::optional<std::shared_ptr<const ClipboardContents>> ownContents() override;
    std::vector<std::string> offeredFormats() override;
    std::optional<std::string> readOffered(const std::string& mimeType, std::size_t budget) override;
    bool makeSelection(std::shared_ptr<const ClipboardContents> contents) override;
    void waitUntilTaken(std::chrono::steady_clock::time_point keysSent) override;

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
    std::shared_ptr<const ClipboardContents> selected; // what this program selected last
    bool stopping = false;
    long long changes = 0;
    std::shared_ptr<std::function<void()>> listener;
};
