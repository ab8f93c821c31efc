#include "TextTypist.h"

#include "ClipboardLoan.h"
#include "KeyTable.h"
#include "Log.h"

#include <QString>
#include <algorithm>

TextTypist::TextTypist(std::mutex& posterLock, Keyboard keys, ClipboardLoan& lent)
    : lock(posterLock), keyboard(std::move(keys)), clipboard(lent)
{
}

TextTypist::~TextTypist()
{
    stop();
}

void TextTypist::stop()
{
    std::thread ending;
    {
        std::lock_guard hold(lock);
        stopping = true;
        ending = std::move(typist);
    }
    pendingChanged.notify_all();
    if (ending.joinable())
        ending.join();
}

void TextTypist::add(const char16_t* units, std::size_t count)
{
    characters.feed(units, count, [&](char32_t character) {
        if (KeyTable::KeysymForCharacter(character) != 0)
            pending.push_back(character);
    });
    lastPiece = std::chrono::steady_clock::now();
    if (!typist.joinable() && !stopping)
        typist = std::thread([this] { typistLoop(); });
    pendingChanged.notify_all();
}

void TextTypist::typistLoop()
{
    std::unique_lock hold(lock);
    while (!stopping) {
        if (pending.empty()) {
            pendingChanged.wait(hold);
            continue;
        }
        const auto due = lastPiece + kTextPause;
        if (std::chrono::steady_clock::now() < due) {
            pendingChanged.wait_until(hold, due);
            continue;
        }
        flush();
    }
}

void TextTypist::flush()
{
    if (pending.empty())
        return;
    const std::u32string text = std::move(pending);
    pending.clear();
    if (std::all_of(text.begin(), text.end(), keyboard.hasKey)) {
        keyboard.typeKeys(text);
        return;
    }
    const std::string utf8 = QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size())).toStdString();
    if (clipboard.paste(utf8, keyboard.pasteKeys))
        return;
    // Without a clipboard to lend, what the layout has is still typed.
    Log::Printf("typing: %zu characters the layout lacks could not be pasted\n",
                static_cast<std::size_t>(std::count_if(text.begin(), text.end(),
                                                       [&](char32_t c) { return !keyboard.hasKey(c); })));
    keyboard.typeKeys(text);
}
