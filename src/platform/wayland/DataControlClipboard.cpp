#include "DataControlClipboard.h"

#include "MainQueue.h"
#include "WaylandConnection.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QFile>
#include <QString>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

// Reads fd to its end (and closes it): at most limit bytes within timeout;
// nothing when the writer took longer or wrote more.
std::optional<std::string> ReadAll(int fd, std::size_t limit, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) == 0)
            break;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0) {
            ::close(fd);
            if (got < 0)
                return std::nullopt;
            return bytes;
        }
        if (bytes.size() + static_cast<std::size_t>(got) > limit)
            break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return std::nullopt;
}

bool Contains(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

} // namespace

DataControlClipboard::DataControlClipboard(WaylandConnection& wayland) : connection(wayland)
{
    static const zwlr_data_control_device_v1_listener deviceListener = {
        .data_offer = &DataControlClipboard::OnDataOffer,
        .selection = &DataControlClipboard::OnSelection,
        .finished = &DataControlClipboard::OnFinished,
        .primary_selection = nullptr, // not asked for: bound at version 1
    };
    {
        const std::unique_lock hold = connection.holdDispatch();
        seat = static_cast<wl_seat*>(connection.bind(&wl_seat_interface, 1));
        manager = static_cast<zwlr_data_control_manager_v1*>(
            connection.bind(&zwlr_data_control_manager_v1_interface, 1));
        if (seat == nullptr || manager == nullptr)
            return;
        device = zwlr_data_control_manager_v1_get_data_device(manager, seat);
        zwlr_data_control_device_v1_add_listener(device, &deviceListener, this);
        connection.flush();
    }
    // The selection found now is the first contents, not a change.
    connection.settle();
    std::lock_guard lock(mutex);
    changes = 1;
}

DataControlClipboard::~DataControlClipboard()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    endLoans();
    for (const Source& source : sources)
        zwlr_data_control_source_v1_destroy(source.proxy);
    for (const auto& [proxy, types] : announced)
        zwlr_data_control_offer_v1_destroy(proxy);
    if (offer != nullptr)
        zwlr_data_control_offer_v1_destroy(offer);
    if (device != nullptr)
        zwlr_data_control_device_v1_destroy(device);
    if (manager != nullptr)
        zwlr_data_control_manager_v1_destroy(manager);
    if (seat != nullptr)
        wl_seat_destroy(seat);
    connection.flush();
}

void DataControlClipboard::OnDataOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer)
{
    static const zwlr_data_control_offer_v1_listener offerListener = {
        .offer = &DataControlClipboard::OnOfferMimeType,
    };
    auto* self = static_cast<DataControlClipboard*>(data);
    std::lock_guard lock(self->mutex);
    self->announced[offer];
    zwlr_data_control_offer_v1_add_listener(offer, &offerListener, self);
}

void DataControlClipboard::OnOfferMimeType(void* data, zwlr_data_control_offer_v1* offer, const char* mimeType)
{
    auto* self = static_cast<DataControlClipboard*>(data);
    std::lock_guard lock(self->mutex);
    const auto found = self->announced.find(offer);
    // A clipboard of thousands of formats is not a clipboard: the list is bounded.
    if (found != self->announced.end() && found->second.size() < 256)
        found->second.emplace_back(mimeType);
}

void DataControlClipboard::OnSelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer)
{
    auto* self = static_cast<DataControlClipboard*>(data);
    std::shared_ptr<std::function<void()>> notify;
    {
        std::lock_guard lock(self->mutex);
        if (self->offer != nullptr && self->offer != offer)
            zwlr_data_control_offer_v1_destroy(self->offer);
        self->offer = offer;
        self->offerTypes.clear();
        if (const auto found = self->announced.find(offer); found != self->announced.end()) {
            self->offerTypes = std::move(found->second);
            self->announced.erase(found);
        }
        // The compositor reports every selection to every device, this
        // program's own included, in the order they were made.
        const bool own = self->pendingOwn > 0;
        if (own)
            --self->pendingOwn;
        self->ownSelection = own;
        if (!own && self->changes > 0) {
            ++self->changes;
            notify = self->listener;
        }
    }
    self->changed.notify_all();
    if (notify) {
        MainQueue::instance().async([notify] {
            if (*notify)
                (*notify)();
        });
    }
}

void DataControlClipboard::OnFinished(void* data, zwlr_data_control_device_v1* device)
{
    auto* self = static_cast<DataControlClipboard*>(data);
    std::lock_guard lock(self->mutex);
    zwlr_data_control_device_v1_destroy(device);
    self->device = nullptr;
    self->changed.notify_all();
}

void DataControlClipboard::OnSend(void* data, zwlr_data_control_source_v1* source, const char* mimeType,
                                  std::int32_t fd)
{
    auto* self = static_cast<DataControlClipboard*>(data);
    std::shared_ptr<const std::string> bytes;
    {
        std::lock_guard lock(self->mutex);
        for (const Source& own : self->sources) {
            if (own.proxy != source)
                continue;
            for (const ClipboardFormat& format : *own.contents) {
                if (format.mimeType == mimeType)
                    bytes = std::shared_ptr<const std::string>(own.contents, &format.bytes);
            }
        }
    }
    if (bytes)
        self->feeder.feed(fd, std::move(bytes));
    else
        ::close(fd);
}

void DataControlClipboard::OnCancelled(void* data, zwlr_data_control_source_v1* source)
{
    auto* self = static_cast<DataControlClipboard*>(data);
    std::lock_guard lock(self->mutex);
    std::erase_if(self->sources, [&](const Source& own) { return own.proxy == source; });
    zwlr_data_control_source_v1_destroy(source);
}

bool DataControlClipboard::available()
{
    std::lock_guard lock(mutex);
    return device != nullptr;
}

std::optional<std::shared_ptr<const ClipboardContents>> DataControlClipboard::ownContents()
{
    std::lock_guard lock(mutex);
    if (!ownSelection || device == nullptr)
        return std::nullopt;
    return selected;
}

std::vector<std::string> DataControlClipboard::offeredFormats()
{
    std::lock_guard lock(mutex);
    return offerTypes;
}

std::optional<std::string> DataControlClipboard::readOffered(const std::string& mimeType, std::size_t budget)
{
    int fds[2];
    {
        std::lock_guard lock(mutex);
        if (offer == nullptr || !Contains(offerTypes, mimeType) || ::pipe2(fds, O_CLOEXEC) != 0)
            return std::nullopt;
        zwlr_data_control_offer_v1_receive(offer, mimeType.c_str(), fds[1]);
        connection.flush();
    }
    ::close(fds[1]);
    return ReadAll(fds[0], budget, kReadTimeout);
}

std::optional<std::string> DataControlClipboard::text()
{
    const std::vector<std::string> offered = formats();
    for (const char* type : kTextTypes) {
        if (Contains(offered, type))
            return read(type, kMaxBytes);
    }
    return std::nullopt;
}

std::vector<std::string> DataControlClipboard::filePaths()
{
    std::vector<std::string> paths;
    const std::optional<std::string> list =
        Contains(formats(), "text/uri-list") ? read("text/uri-list", kMaxBytes) : std::nullopt;
    if (!list)
        return paths;
    // One URL a line; lines starting with '#' are comments.
    for (const QString& line : QString::fromUtf8(list->data(), static_cast<qsizetype>(list->size())).split('\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#'))
            continue;
        const QUrl url(trimmed);
        if (url.isLocalFile())
            paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    }
    return paths;
}

std::optional<std::string> DataControlClipboard::data(const std::string& mimeType)
{
    return read(mimeType, kMaxBytes);
}

long long DataControlClipboard::changeCount()
{
    std::lock_guard lock(mutex);
    return device != nullptr ? changes : 0;
}

void DataControlClipboard::setChangeListener(std::function<void()> newListener)
{
    std::lock_guard lock(mutex);
    // A call already queued with the old listener finds it emptied.
    if (listener)
        *listener = nullptr;
    listener = newListener ? std::make_shared<std::function<void()>>(std::move(newListener)) : nullptr;
}

bool DataControlClipboard::makeSelection(std::shared_ptr<const ClipboardContents> contents)
{
    static const zwlr_data_control_source_v1_listener sourceListener = {
        .send = &DataControlClipboard::OnSend,
        .cancelled = &DataControlClipboard::OnCancelled,
    };
    // The dispatch hold comes before this lock; the source's listener is
    // there before any of its events.
    std::unique_lock hold = connection.holdDispatch();
    std::unique_lock lock(mutex);
    if (device == nullptr || stopping)
        return false;
    zwlr_data_control_source_v1* source = nullptr;
    if (contents && !contents->empty()) {
        source = zwlr_data_control_manager_v1_create_data_source(manager);
        for (const ClipboardFormat& format : *contents)
            zwlr_data_control_source_v1_offer(source, format.mimeType.c_str());
        zwlr_data_control_source_v1_add_listener(source, &sourceListener, this);
        sources.push_back({source, contents});
    }
    zwlr_data_control_device_v1_set_selection(device, source);
    selected = std::move(contents);
    ++pendingOwn;
    connection.flush();
    hold.unlock();
    // Made once the compositor has reported this selection back.
    const bool reported =
        changed.wait_for(lock, kReadTimeout, [&] { return pendingOwn == 0 || device == nullptr || stopping; });
    return reported && ownSelection;
}

void DataControlClipboard::waitUntilTaken(std::chrono::steady_clock::time_point keysSent)
{
    std::unique_lock lock(mutex);
    changed.wait_until(lock, keysSent + kPasteSettle, [&] { return !ownSelection || stopping; });
}
