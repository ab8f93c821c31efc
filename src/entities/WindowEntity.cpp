#include "WindowEntity.h"

#include "KeyStroke.h"

namespace {
constexpr int kKeyCommand = 55;
}

void WindowEntity::Exec(int code)
{
    struct Shortcut {
        int code;
        int keyCode;
        std::uint64_t flags;
    };
    static constexpr Shortcut kShortcuts[] = {
        {1, 13, KeyFlags::Command},                       // close the window
        {2, 3, KeyFlags::Command | KeyFlags::Control},    // full screen
        {3, 46, KeyFlags::Command},                       // minimise
        {4, 103, 0},                                      // show the desktop
        {9000, 123, KeyFlags::Command},                   // back
        {9001, 124, KeyFlags::Command},                   // forward
        {9002, 15, KeyFlags::Command},                    // reload
        {9003, 17, KeyFlags::Command},                    // new tab
        {9004, 24, KeyFlags::Command},                    // zoom in
        {9005, 27, KeyFlags::Command},                    // zoom out
        {10002, 48, KeyFlags::Command},                   // next application
    };
    if (code == 10000) {
        KeyStroke::DownOnly(kKeyCommand, KeyPurpose::WindowShortcut); // hold for the switcher
        return;
    }
    if (code == 10001) {
        KeyStroke::UpOnly(kKeyCommand, KeyPurpose::WindowShortcut);
        return;
    }
    for (const Shortcut& shortcut : kShortcuts) {
        if (shortcut.code == code) {
            KeyStroke::WithFlags(shortcut.keyCode, shortcut.flags, KeyPurpose::WindowShortcut);
            return;
        }
    }
}
