#include "GnomeClipboard.h"

#include "GnomeRemoteDesktop.h"
#include "Log.h"
#include "MainQueue.h"

#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace {

// How long a read or write of clipboard content may stall.
constexpr int kTransferTimeoutMs = 2000;
// Reads of one selection come back to back; this much silence ends them.
constexpr std::chrono::milliseconds kQuietAfterTransfer{15};

// Reads fd to its end (closing it); nothing when it stalls or passes the limit.
std::optional<std::string> ReadAll(int fd, std::size_t limit)
{
    if (fd < 0)
        return std::nullopt;
    std::string bytes;
    char buffer[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTransferTimeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || bytes.size() + static_cast<std::size_t>(got) > limit) {
            ::close(fd);
            return got == 0 ? std::optional<std::string>(bytes) : std::nullopt;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return std::nullopt;
}

bool WriteAll(int fd, const std::string& bytes)
{
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, kTransferTimeoutMs) <= 0)
            break;
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        done += static_cast<std::size_t>(put);
    }
    ::close(fd);
    return done == bytes.size();
}

bool Offers(const std::vector<std::string>& types, const std::string& type)
{
    return std::find(types.begin(), types.end(), type) != types.end();
}

} // namespace

GnomeClipboard::GnomeClipboard(GnomeRemoteDesktop& session) : session(session)
{
    session.setClipboardHandlers(
        {[this](const std::vector<std::string>& types, bool own) { ownerChanged(types, own); },
         [this](const std::string& type, std::uint32_t serial) { transfer(type, serial); }});
}

GnomeClipboard::~GnomeClipboard()
{
    endLoans();
    session.setClipboardHandlers({});
}

void GnomeClipboard::ownerChanged(const std::vector<std::string>& mimeTypes, bool sessionIsOwner)
{
    std::function<void()> listener;
    {
        std::lock_guard lock(mutex);
        if (sessionIsOwner)
            return; // this session's own selection: the user's clipboard is unchanged
        offeredTypes = mimeTypes;
        sessionOwns = false;
        owned.reset();
        ++changes;
        listener = changeListener;
    }
    transferred.notify_all();
    if (listener)
        MainQueue::instance().async([this] {
            std::function<void()> current;
            {
                std::lock_guard lock(mutex);
                current = changeListener;
            }
            if (current)
                current();
        });
}

void GnomeClipboard::transfer(const std::string& mimeType, std::uint32_t serial)
{
    std::optional<std::string> bytes;
    {
        std::lock_guard lock(mutex);
        if (sessionOwns)
            bytes = Bytes(owned.get(), mimeType);
    }
    const int fd = bytes ? session.selectionWrite(serial) : -1;
    const bool ok = fd >= 0 && WriteAll(fd, *bytes);
    session.selectionWriteDone(serial, ok);
    if (!ok)
        return;
    std::lock_guard lock(mutex);
    ++transfers;
    transferred.notify_all();
}

bool GnomeClipboard::available()
{
    return session.clipboardEnabled();
}

std::optional<std::shared_ptr<const ClipboardContents>> GnomeClipboard::ownContents()
{
    std::lock_guard lock(mutex);
    if (!sessionOwns)
        return std::nullopt;
    return owned;
}

std::vector<std::string> GnomeClipboard::offeredFormats()
{
    std::lock_guard lock(mutex);
    return offeredTypes;
}

std::optional<std::string> GnomeClipboard::readOffered(const std::string& mimeType, std::size_t budget)
{
    {
        std::lock_guard lock(mutex);
        if (!Offers(offeredTypes, mimeType))
            return std::nullopt;
    }
    return ReadAll(session.selectionRead(mimeType), std::min(budget, kMaxContent));
}

std::optional<std::string> GnomeClipboard::text()
{
    const std::vector<std::string> types = formats();
    for (const char* type : kTextTypes) {
        if (Offers(types, type))
            return read(type, kMaxContent);
    }
    return std::nullopt;
}

std::vector<std::string> GnomeClipboard::filePaths()
{
    std::vector<std::string> paths;
    const std::optional<std::string> list = read("text/uri-list", kMaxContent);
    if (!list)
        return paths;
    for (const QByteArray& line : QByteArray::fromStdString(*list).split('\n')) {
        const QByteArray entry = line.trimmed();
        if (entry.isEmpty() || entry.startsWith('#'))
            continue;
        const QUrl url = QUrl::fromEncoded(entry);
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile().toStdString());
    }
    return paths;
}

std::optional<std::string> GnomeClipboard::data(const std::string& mimeType)
{
    return read(mimeType, kMaxContent);
}

long long GnomeClipboard::changeCount()
{
    if (!available())
        return 0;
    std::lock_guard lock(mutex);
    return changes;
}

void GnomeClipboard::setChangeListener(std::function<void()> listener)
{
    std::lock_guard lock(mutex);
    changeListener = std::move(listener);
}

bool GnomeClipboard::makeSelection(std::shared_ptr<const ClipboardContents> contents)
{
    if (!available())
        return false;
    const std::vector<std::string> types = Formats(contents.get());
    // On the session's thread, where transfers are served: requests that
    // came before the change are served the old content, and every request
    // after it (mutter cancels the old selection's pending ones) the new.
    bool offered = false;
    session.onThread([&] {
        offered = session.setSelection(types);
        std::lock_guard lock(mutex);
        owned = std::move(contents);
        sessionOwns = true;
        transfers = 0;
    });
    // The client reads the text when it takes Ctrl+V, or earlier: a client
    // that reads each new selection (a clipboard watcher) keeps what it
    // read for the paste. mutter reads each new selection once itself (to
    // keep the clipboard when its owner goes), so a second read before the
    // keys means the client has the text already.
    session.flush();
    session.onThread([] {});
    std::lock_guard lock(mutex);
    transfersBeforeKeys = transfers;
    return offered;
}

void GnomeClipboard::waitUntilTaken(std::chrono::steady_clock::time_point keysSent)
{
    std::unique_lock lock(mutex);
    const bool readBefore = transfersBeforeKeys >= 2;
    const bool taken = transferred.wait_until(lock, keysSent + kPasteTimeout, [&] {
        return readBefore || transfers > transfersBeforeKeys || !sessionOwns;
    });
    if (!taken)
        Log::Printf("GNOME typing: the focused window did not take the pasted text\n");
    // The client gets a moment to take the keys before the selection changes.
    transferred.wait_until(lock, keysSent + kKeysSettle, [] { return false; });
    // Reads of one selection come back to back: wait until they have
    // stopped before the selection changes again.
    unsigned long long seen = 0;
    do {
        seen = transfers;
    } while (transferred.wait_for(lock, kQuietAfterTransfer, [&] { return transfers > seen; }));
}
