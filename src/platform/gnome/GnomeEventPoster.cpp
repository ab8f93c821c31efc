#include "GnomeEventPoster.h"

#include "GnomeClipboard.h"
#include "GnomeRemoteDesktop.h"
#include "Log.h"
#include "WaylandKeymap.h"
#include "KeyTable.h"

#include <X11/keysym.h>
#include <algorithm>
#include <cmath>
#include <linux/input-event-codes.h>

namespace {

// The keysyms of the modifiers of KeyModifier bits, in pressing order.
std::vector<std::uint32_t> ModifierKeysyms(unsigned modifiers)
{
    std::vector<std::uint32_t> keysyms;
    if (modifiers & KeyModifier::Control)
        keysyms.push_back(XK_Control_L);
    if (modifiers & KeyModifier::Alt)
        keysyms.push_back(XK_Alt_L);
    if (modifiers & KeyModifier::Shift)
        keysyms.push_back(XK_Shift_L);
    return keysyms;
}

std::uint32_t KeysymOf(char32_t character)
{
    return static_cast<std::uint32_t>(KeyTable::KeysymForCharacter(character));
}

} // namespace

GnomeEventPoster::GnomeEventPoster(GnomeRemoteDesktop& session, GnomeClipboard& clipboard, WaylandKeymap& keymap)
    : session(session), keymap(keymap),
      text(mutex,
           {.hasKey = [this](char32_t c) { return this->keymap.find(KeysymOf(c)).has_value(); },
            .typeKeys = [this](const std::u32string& characters) { typeKeys(characters); },
            .pasteKeys = [this] { pasteKeys(); }},
           clipboard)
{
}

GnomeEventPoster::~GnomeEventPoster()
{
    text.stop();
}

bool GnomeEventPoster::hasEventSource()
{
    if (session.open())
        return true;
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true))
        Log::Printf("No event source\n");
    return false;
}

ScreenSize GnomeEventPoster::mainScreenSize()
{
    const GnomeRemoteDesktop::Monitor monitor = session.monitor();
    return {static_cast<double>(monitor.width), static_cast<double>(monitor.height)};
}

ScreenPoint GnomeEventPoster::pointerLocation()
{
    std::lock_guard lock(mutex);
    if (!placed) {
        const ScreenSize size = mainScreenSize();
        pointer = {std::floor(size.width / 2), std::floor(size.height / 2)};
        placed = true;
    }
    return pointer;
}

void GnomeEventPoster::moveTo(ScreenPoint at)
{
    if (!placed) {
        const ScreenSize size = mainScreenSize();
        pointer = {std::floor(size.width / 2), std::floor(size.height / 2)};
        placed = true;
    }
    const double dx = at.x - pointer.x;
    const double dy = at.y - pointer.y;
    if (dx == 0 && dy == 0)
        return;
    pointer = at;
    session.pointerMotionRelative(dx, dy);
}

void GnomeEventPoster::postMouse(MouseEventType type, MouseButton button, ScreenPoint at, int)
{
    if (!hasEventSource())
        return;
    std::lock_guard lock(mutex);
    text.flush();
    if (!std::isfinite(at.x) || !std::isfinite(at.y))
        return;
    moveTo(at);
    const int code = button == MouseButton::Right ? BTN_RIGHT : BTN_LEFT;
    switch (type) {
    case MouseEventType::LeftDown:
    case MouseEventType::RightDown: session.pointerButton(code, true); break;
    case MouseEventType::LeftUp:
    case MouseEventType::RightUp: session.pointerButton(code, false); break;
    case MouseEventType::Moved:
    case MouseEventType::LeftDragged: break; // the compositor knows which buttons are down
    }
}

void GnomeEventPoster::postScroll(int verticalPixels, int horizontalPixels)
{
    if (!hasEventSource())
        return;
    std::lock_guard lock(mutex);
    text.flush();
    // Positive pixels scroll up and left; mutter's positive steps go down
    // and right.
    if (const int clicks = verticalWheel.add(verticalPixels))
        session.pointerAxisDiscrete(0, -clicks);
    if (const int clicks = horizontalWheel.add(horizontalPixels))
        session.pointerAxisDiscrete(1, -clicks);
}

void GnomeEventPoster::postKey(std::uint16_t keyCode, bool down, std::uint64_t flags, KeyPurpose purpose)
{
    if (!hasEventSource())
        return;
    std::lock_guard lock(mutex);
    text.flush();
    const auto held = heldKeys.find(keyCode);
    if (held != heldKeys.end()) {
        // Pressed before: its release lets go of what its press held.
        for (auto it = held->second.rbegin(); it != held->second.rend(); ++it)
            session.keysym(*it, false);
        heldKeys.erase(held);
        if (!down)
            return;
    }
    KeyAction action = KeyTable::Translate(keyCode, down ? flags : 0, purpose);
    std::vector<std::uint32_t> modifiers;
    switch (action.kind) {
    case KeyAction::Kind::Nothing: return;
    // GNOME's own shortcuts for what an X11 desktop asks its window manager.
    case KeyAction::Kind::IconifyActiveWindow:
        action.keysym = XK_h;
        modifiers = {XK_Super_L};
        break;
    case KeyAction::Kind::ToggleShowingDesktop:
        action.keysym = XK_d;
        modifiers = {XK_Super_L};
        break;
    case KeyAction::Kind::Key: modifiers = ModifierKeysyms(action.modifiers); break;
    }
    if (!down) {
        // A release without a press from here (the held switcher modifier
        // is released by a later request).
        session.keysym(static_cast<std::uint32_t>(action.keysym), false);
        return;
    }
    // The modifiers go down around the key press only: the release that
    // follows carries none, and nothing stays held if it never comes.
    for (std::uint32_t modifier : modifiers)
        session.keysym(modifier, true);
    session.keysym(static_cast<std::uint32_t>(action.keysym), true);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
        session.keysym(*it, false);
    heldKeys[keyCode] = {static_cast<std::uint32_t>(action.keysym)};
}

void GnomeEventPoster::postUnicodeKeyDown(const char16_t* units, std::size_t count)
{
    if (units == nullptr || count == 0 || !hasEventSource())
        return;
    std::lock_guard lock(mutex);
    text.add(units, count);
}

void GnomeEventPoster::typeKeys(const std::u32string& characters)
{
    for (const char32_t character : characters) {
        const std::uint32_t keysym = KeysymOf(character);
        if (!keymap.find(keysym))
            continue; // mutter would drop it
        session.keysym(keysym, true);
        session.keysym(keysym, false);
    }
}

void GnomeEventPoster::pasteKeys()
{
    // By key position: Ctrl+V pastes in every layout, Latin or not.
    session.keycode(KEY_LEFTCTRL, true);
    session.keycode(KEY_V, true);
    session.keycode(KEY_V, false);
    session.keycode(KEY_LEFTCTRL, false);
}

void GnomeEventPoster::declareUserActivity()
{
    if (!hasEventSource())
        return;
    std::lock_guard lock(mutex);
    text.flush();
    session.keysym(XK_Shift_L, true);
    session.keysym(XK_Shift_L, false);
}
