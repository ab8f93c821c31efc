#include "ClipboardLoan.h"

ClipboardLoan::~ClipboardLoan()
{
    endLoans();
}

void ClipboardLoan::endLoans()
{
    std::thread ending;
    {
        std::lock_guard lock(mutex);
        stopping = true;
        ending = std::move(giveBackThread);
    }
    wake.notify_all();
    if (ending.joinable())
        ending.join();
}

std::vector<std::string> ClipboardLoan::Formats(const ClipboardContents* contents)
{
    std::vector<std::string> types;
    for (std::size_t i = 0; contents != nullptr && i < contents->size(); ++i)
        types.push_back((*contents)[i].mimeType);
    return types;
}

std::optional<std::string> ClipboardLoan::Bytes(const ClipboardContents* contents, const std::string& mimeType)
{
    for (std::size_t i = 0; contents != nullptr && i < contents->size(); ++i) {
        if ((*contents)[i].mimeType == mimeType)
            return (*contents)[i].bytes;
    }
    return std::nullopt;
}

bool ClipboardLoan::paste(const std::string& utf8, const std::function<void()>& pasteKeys)
{
    std::lock_guard whole(pasting);
    settle();
    bool lent = false;
    {
        std::lock_guard lock(mutex);
        if (stopping)
            return false;
        lent = lending;
    }
    // A new loan, or somebody copied since the last paste: the clipboard
    // holds the user's contents now.
    if (!lent || !ownContents()) {
        auto contents = std::make_shared<ClipboardContents>();
        std::size_t budget = kMaxBytes;
        for (const std::string& type : formats()) {
            std::optional<std::string> bytes = read(type, budget);
            if (!bytes)
                continue;
            budget -= bytes->size();
            contents->push_back({type, std::move(*bytes)});
        }
        std::lock_guard lock(mutex);
        user = std::move(contents);
        lending = true;
        if (!giveBackThread.joinable() && !stopping)
            giveBackThread = std::thread([this] { giveBackLoop(); });
    }

    auto text = std::make_shared<ClipboardContents>();
    for (const char* type : kTextTypes)
        text->push_back({type, utf8});
    const bool selected = makeSelection(std::move(text));
    if (selected)
        pasteKeys();
    {
        std::lock_guard lock(mutex);
        lastPaste = std::chrono::steady_clock::now();
        if (selected)
            keysSent = lastPaste;
    }
    wake.notify_all();
    return selected;
}

void ClipboardLoan::settle()
{
    std::optional<std::chrono::steady_clock::time_point> sent;
    {
        std::lock_guard lock(mutex);
        sent.swap(keysSent);
    }
    if (sent)
        waitUntilTaken(*sent);
}

std::optional<std::shared_ptr<const ClipboardContents>> ClipboardLoan::shown()
{
    std::optional<std::shared_ptr<const ClipboardContents>> own = ownContents();
    std::lock_guard lock(mutex);
    if (own && lending)
        own = user;
    return own;
}

std::vector<std::string> ClipboardLoan::formats()
{
    if (const auto own = shown())
        return Formats(own->get());
    return offeredFormats();
}

std::optional<std::string> ClipboardLoan::read(const std::string& mimeType, std::size_t budget)
{
    if (const auto own = shown())
        return Bytes(own->get(), mimeType);
    return readOffered(mimeType, budget);
}

void ClipboardLoan::giveBack()
{
    std::lock_guard whole(pasting);
    settle();
    std::shared_ptr<const ClipboardContents> contents;
    {
        std::lock_guard lock(mutex);
        if (!lending || std::chrono::steady_clock::now() < lastPaste + kGiveBackAfter)
            return; // a paste came meanwhile
        contents = user;
    }
    // Somebody copied since: their copy stays.
    if (ownContents())
        makeSelection(contents);
    std::lock_guard lock(mutex);
    lending = false;
    user.reset();
}

void ClipboardLoan::giveBackLoop()
{
    std::unique_lock lock(mutex);
    while (!stopping) {
        if (!lending) {
            wake.wait(lock);
            continue;
        }
        const auto due = lastPaste + kGiveBackAfter;
        if (std::chrono::steady_clock::now() < due) {
            wake.wait_until(lock, due);
            continue;
        }
        lock.unlock();
        giveBack();
        lock.lock();
    }
}
