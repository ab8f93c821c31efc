#pragma once

#include "TypedCharacters.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class ClipboardLoan;

// Types the phone's text on a desktop whose keyboard cannot type every
// character, through a lent clipboard for the rest (GNOME, KDE Plasma).
// Text comes in pieces of 16 UTF-16 units; pieces that follow each other
// within kTextPause are one text. A text the layout can type goes as keys;
// any other is pasted whole (ClipboardLoan), since every change of the
// clipboard between pastes costs a wait and one paste per text keeps the
// characters in order. The poster types the text gathered so far before
// each of its other events (flush()).
//
// The poster's lock serialises everything: add() and flush() are called
// with it held, and this typist's thread holds it while it types. Call
// stop() before the keyboard's calls lose their meaning.
class TextTypist {
public:
    static constexpr std::chrono::milliseconds kTextPause{20};

    // What the poster does for a text.
    struct Keyboard {
        // Whether the layout types the character as a key.
        std::function<bool(char32_t)> hasKey;
        // Types the characters the layout has, as keys.
        std::function<void(const std::u32string&)> typeKeys;
        // Sends the paste shortcut.
        std::function<void()> pasteKeys;
    };

    TextTypist(std::mutex& posterLock, Keyboard keyboard, ClipboardLoan& clipboard);
    ~TextTypist();
    TextTypist(const TextTypist&) = delete;
    TextTypist& operator=(const TextTypist&) = delete;

    // A piece of text (UTF-16 units, a surrogate pair's halves may come in
    // two pieces). Called with the poster's lock held.
    void add(const char16_t* units, std::size_t count);
    // Types the text gathered so far. Called with the poster's lock held.
    void flush();
    // Ends the thread that types after a pause. Called without the lock.
    void stop();

private:
    void typistLoop();

    std::mutex& lock;
    Keyboard keyboard;
    ClipboardLoan& clipboard;
    // Everything below is guarded by the poster's lock.
    TypedCharacters characters;
    std::u32string pending; // text not yet typed
    std::chrono::steady_clock::time_point lastPiece;
    bool stopping = false;
    std::condition_variable_any pendingChanged;
    std::thread typist;
};
