#include "GnomeClipboard.h"

#include "GnomeRemoteDesktop.h"
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
// How long a paste waits for the focused client to ask for the text.
constexpr std::chrono::milliseconds kPasteTimeout{1000};
// How long a client gets to take the paste keys before the selection changes.
constexpr std::chrono::milliseconds kKeysSettle{60};
// Reads of one selection come back to back; this much silence ends them.
constexpr std::chrono::milliseconds kQuietAfterTransfer{15};
// The formats text is offered in; the first ones are what toolkits ask for.
const std::vector<std::string> kTextTypes = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "STRING",
                                             "TEXT"};

// Reads fd to its end (closing it); nothing when it stalls or passes the limit.
std::optional<std::string> ReadAll(int fd)
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
        if (got <= 0 || bytes.size() + static_cast<std::size_t>(got) > GnomeClipboard::kMaxContent) {
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
    restorer = std::thread([this] { restoreLoop(); });
}

GnomeClipboard::~GnomeClipboard()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    restoreWake.notify_all();
    restorer.join();
    session.setClipboardHandlers({});
}

void GnomeClipboard::restoreLoop()
{
    std::unique_lock lock(mutex);
    while (!stopping) {
        if (!userContent) {
            restoreWake.wait(lock);
            continue;
        }
        if (restoreWake.wait_until(lock, restoreAt) == std::cv_status::no_timeout)
            continue; // a new paste moved the time, or the end came
        lock.unlock();
        restoreUserContent();
        lock.lock();
    }
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
        owned.clear();
        userContent.reset(); // the user copied something new: nothing to put back
        ++changes;
        listener = changeListener;
    }
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
        const auto found = owned.find(mimeType);
        if (sessionOwns && found != owned.end())
            bytes = found->second;
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

std::optional<std::string> GnomeClipboard::read(const std::string& mimeType)
{
    {
        std::lock_guard lock(mutex);
        if (sessionOwns) {
            const auto found = owned.find(mimeType);
            return found != owned.end() ? std::optional<std::string>(found->second) : std::nullopt;
        }
        if (!Offers(offeredTypes, mimeType))
            return std::nullopt;
    }
    return ReadAll(session.selectionRead(mimeType));
}

std::optional<std::string> GnomeClipboard::text()
{
    std::vector<std::string> types;
    {
        std::lock_guard lock(mutex);
        types = sessionOwns ? std::vector<std::string>{} : offeredTypes;
        for (const auto& [type, bytes] : owned)
            types.push_back(type);
    }
    for (const std::string& type : kTextTypes) {
        if (Offers(types, type))
            return read(type);
    }
    return std::nullopt;
}

std::vector<std::string> GnomeClipboard::filePaths()
{
    std::vector<std::string> paths;
    const std::optional<std::string> list = read("text/uri-list");
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
    return read(mimeType);
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

bool GnomeClipboard::offer(Content content)
{
    std::vector<std::string> types;
    for (const auto& [type, bytes] : content)
        types.push_back(type);
    // On the session's thread, where transfers are served: requests that
    // came before the change are served the old content, and every request
    // after it (mutter cancels the old selection's pending ones) the new.
    bool offered = false;
    session.onThread([&] {
        offered = session.setSelection(types);
        std::lock_guard lock(mutex);
        owned = std::move(content);
        sessionOwns = true;
        transfers = 0;
    });
    return offered;
}

bool GnomeClipboard::paste(const std::string& text, const std::function<void()>& pasteKeys)
{
    if (!available())
        return false;
    std::lock_guard whole(pasting);
    // The user's clipboard, saved once before a run of pastes.
    bool save = false;
    std::vector<std::string> types;
    {
        std::lock_guard lock(mutex);
        save = !userContent;
        types = sessionOwns ? std::vector<std::string>{} : offeredTypes;
        if (save && sessionOwns)
            userContent = owned;
    }
    if (save && types.size() > 0) {
        Content saved;
        for (const std::string& type : types) {
            if (std::optional<std::string> bytes = ReadAll(session.selectionRead(type)))
                saved.emplace(type, std::move(*bytes));
        }
        std::lock_guard lock(mutex);
        userContent = std::move(saved);
    } else if (save) {
        std::lock_guard lock(mutex);
        if (!userContent)
            userContent = Content{};
    }

    Content content;
    for (const std::string& type : kTextTypes)
        content.emplace(type, text);
    if (!offer(std::move(content)))
        return false;
    // The focused client reads the text when it takes Ctrl+V, or earlier:
    // a client that reads each new selection (a clipboard watcher) keeps
    // what it read for the paste. mutter reads each new selection once
    // itself (to keep the clipboard when its owner goes), so a second read
    // before the keys means the client has the text already. Either way
    // the client gets a moment to take the keys before the selection
    // changes again: mutter hands a client the new selection at once but
    // its keys only after they went through its input thread.
    session.flush();
    session.onThread([] {});
    unsigned long long seen = 0;
    {
        std::lock_guard lock(mutex);
        seen = transfers;
    }
    pasteKeys();
    const auto keysSent = std::chrono::steady_clock::now();
    session.flush();
    std::unique_lock lock(mutex);
    restoreAt = keysSent + kPasteTimeout + kRestoreAfter;
    restoreWake.notify_all();
    const bool readBefore = seen >= 2;
    const bool taken = transferred.wait_for(lock, kPasteTimeout, [&] { return readBefore || transfers > seen; });
    transferred.wait_until(lock, keysSent + kKeysSettle, [] { return false; });
    restoreAt = std::chrono::steady_clock::now() + kRestoreAfter;
    restoreWake.notify_all();
    if (!taken)
        return false;
    // Reads of one selection come back to back: wait until they have
    // stopped before the selection changes again.
    do {
        seen = transfers;
    } while (transferred.wait_for(lock, kQuietAfterTransfer, [&] { return transfers > seen; }));
    return true;
}

void GnomeClipboard::restoreUserContent()
{
    std::lock_guard whole(pasting);
    std::optional<Content> saved;
    {
        std::lock_guard lock(mutex);
        saved.swap(userContent);
    }
    if (saved)
        offer(std::move(*saved));
}
