#include "KdeEventPoster.h"

#include "DataControlClipboard.h"
#include "KeyTable.h"
#include "KwinScript.h"
#include "Log.h"
#include "PlasmaWindowControl.h"
#include "WaylandConnection.h"
#include "WaylandKeymap.h"
#include "WaylandOutputs.h"
#include "fake-input-client-protocol.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <linux/input-event-codes.h>
#include <vector>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace {

// Keyboard keys need version 4; absolute motion came with 3.
constexpr std::uint32_t kFakeInputVersion = 4;
// How long the first keymap may take to arrive.
constexpr std::chrono::milliseconds kKeymapWait{1000};
// The largest scroll sent at once, in pixels: a larger one is cut there.
constexpr int kMaxScrollPixels = 10000;

std::uint32_t KeysymOf(char32_t character)
{
    return static_cast<std::uint32_t>(KeyTable::KeysymForCharacter(character));
}

wl_fixed_t Fixed(double value)
{
    return wl_fixed_from_double(std::isfinite(value) ? value : 0.0);
}

// The modifier keys' keysyms, in the order they go down.
struct ModifierKey {
    unsigned bit;
    std::uint32_t keysym;
};
constexpr ModifierKey kModifierKeys[] = {
    {KeyModifier::Control, XKB_KEY_Control_L},
    {KeyModifier::Alt, XKB_KEY_Alt_L},
    {KeyModifier::Shift, XKB_KEY_Shift_L},
};

} // namespace

KdeEventPoster::KdeEventPoster(WaylandConnection& wayland, WaylandKeymap& seatKeymap, WaylandOutputs& seatOutputs,
                               DataControlClipboard& board, PlasmaWindowControl& windowControl, KwinScript& kwin)
    : connection(wayland), keymap(seatKeymap), outputs(seatOutputs), clipboard(board), windows(windowControl),
      script(kwin), text(mutex,
                         {.hasKey = [this](char32_t c) { return keymap.find(KeysymOf(c)).has_value(); },
                          .typeKeys = [this](const std::u32string& characters) { typeKeys(characters); },
                          .pasteKeys = [this] { pasteKeys(); }},
                         board)
{
    fakeInput = static_cast<org_kde_kwin_fake_input*>(
        connection.bind(&org_kde_kwin_fake_input_interface, kFakeInputVersion));
    if (fakeInput == nullptr)
        return;
    org_kde_kwin_fake_input_authenticate(fakeInput, "Corvane", "Lets the Corvane phone app control this computer");
    connection.flush();
    // KWin gives the seat a keyboard once a fake input device exists.
    keymap.waitForKeymap(kKeymapWait);
}

KdeEventPoster::~KdeEventPoster()
{
    text.stop();
    if (fakeInput != nullptr)
        org_kde_kwin_fake_input_destroy(fakeInput);
    connection.flush();
}

bool KdeEventPoster::ready()
{
    if (fakeInput != nullptr && connection.connected())
        return true;
    if (!reportedMissing.exchange(true))
        Log::Printf("No event source\n");
    return false;
}

void KdeEventPoster::flush()
{
    connection.flush();
}

bool KdeEventPoster::hasEventSource()
{
    std::lock_guard lock(mutex);
    return ready();
}

ScreenPoint KdeEventPoster::pointerLocation()
{
    std::lock_guard lock(mutex);
    const auto now = std::chrono::steady_clock::now();
    if (!placed || now - lastPointerUse >= kPointerIdle) {
        const std::optional<QString> reported =
            script.run(QStringLiteral("report(workspace.cursorPos.x + ' ' + workspace.cursorPos.y);"),
                       kPointerQueryMs);
        const QStringList xy = reported ? reported->split(' ') : QStringList();
        bool xKnown = false, yKnown = false;
        if (xy.size() == 2) {
            const int x = xy[0].toInt(&xKnown);
            const int y = xy[1].toInt(&yKnown);
            if (xKnown && yKnown) {
                pointer = ScreenPoint{static_cast<double>(x), static_cast<double>(y)};
                placed = fromKwin = true;
            }
        }
    }
    lastPointerUse = now;
    if (!placed) {
        const QRect desktop = outputs.desktop();
        return ScreenPoint{desktop.x() + desktop.width() / 2.0, desktop.y() + desktop.height() / 2.0};
    }
    return pointer;
}

ScreenSize KdeEventPoster::mainScreenSize()
{
    const QRect desktop = outputs.desktop();
    return ScreenSize{static_cast<double>(desktop.right() + 1), static_cast<double>(desktop.bottom() + 1)};
}

void KdeEventPoster::postMouse(MouseEventType type, MouseButton button, ScreenPoint at, int)
{
    const ScreenPoint from = pointerLocation();
    std::lock_guard lock(mutex);
    if (!ready())
        return;
    text.flush();
    if (at.x != from.x || at.y != from.y) {
        // Where the position is only assumed, the pointer moves by the
        // difference: it then follows the phone from wherever it is.
        if (fromKwin)
            org_kde_kwin_fake_input_pointer_motion_absolute(fakeInput, Fixed(at.x), Fixed(at.y));
        else
            org_kde_kwin_fake_input_pointer_motion(fakeInput, Fixed(at.x - from.x), Fixed(at.y - from.y));
        pointer = at;
        placed = true;
    }
    const std::uint32_t code = button == MouseButton::Right ? BTN_RIGHT : BTN_LEFT;
    switch (type) {
    case MouseEventType::LeftDown:
    case MouseEventType::RightDown:
        org_kde_kwin_fake_input_button(fakeInput, code, WL_POINTER_BUTTON_STATE_PRESSED);
        break;
    case MouseEventType::LeftUp:
    case MouseEventType::RightUp:
        org_kde_kwin_fake_input_button(fakeInput, code, WL_POINTER_BUTTON_STATE_RELEASED);
        break;
    case MouseEventType::Moved:
    case MouseEventType::LeftDragged:
        break; // KWin knows which buttons are down
    }
    flush();
}

void KdeEventPoster::postScroll(int verticalPixels, int horizontalPixels)
{
    std::lock_guard lock(mutex);
    if (!ready())
        return;
    text.flush();
    // Positive is up and left here, down and right on Wayland.
    if (verticalPixels != 0)
        org_kde_kwin_fake_input_axis(fakeInput, WL_POINTER_AXIS_VERTICAL_SCROLL,
                                     Fixed(-std::clamp(verticalPixels, -kMaxScrollPixels, kMaxScrollPixels)));
    if (horizontalPixels != 0)
        org_kde_kwin_fake_input_axis(fakeInput, WL_POINTER_AXIS_HORIZONTAL_SCROLL,
                                     Fixed(-std::clamp(horizontalPixels, -kMaxScrollPixels, kMaxScrollPixels)));
    flush();
}

void KdeEventPoster::sendKey(std::uint32_t key, bool down)
{
    org_kde_kwin_fake_input_keyboard_key(fakeInput, key,
                                         down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
}

std::uint32_t KdeEventPoster::pressKeysym(std::uint32_t keysym, unsigned modifiers)
{
    const std::optional<WaylandKeymap::Place> place = keymap.find(keysym);
    if (!place)
        return 0;
    if (place->shift)
        modifiers |= KeyModifier::Shift;
    // The modifiers go down around the key press only: the release that
    // follows carries none, and nothing stays held if it never comes.
    std::vector<std::uint32_t> held;
    for (const ModifierKey& modifier : kModifierKeys) {
        if (!(modifiers & modifier.bit))
            continue;
        if (const auto key = keymap.find(modifier.keysym); key && key->key != place->key) {
            sendKey(key->key, true);
            held.push_back(key->key);
        }
    }
    if (place->levelThree) {
        if (const auto key = keymap.find(XKB_KEY_ISO_Level3_Shift)) {
            sendKey(key->key, true);
            held.push_back(key->key);
        }
    }
    sendKey(place->key, true);
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        sendKey(*it, false);
    return place->key;
}

void KdeEventPoster::typeKeysym(std::uint32_t keysym)
{
    if (const std::uint32_t key = pressKeysym(keysym, 0))
        sendKey(key, false);
}

void KdeEventPoster::postKey(std::uint16_t keyCode, bool down, std::uint64_t flags, KeyPurpose purpose)
{
    std::lock_guard lock(mutex);
    if (!ready())
        return;
    text.flush();
    const auto held = heldKeys.find(keyCode);
    if (!down) {
        if (held != heldKeys.end()) {
            if (held->second != 0)
                sendKey(held->second, false);
            heldKeys.erase(held);
        } else {
            // A release without a press from here (the held switcher
            // modifier is released by a later request).
            const KeyAction action = KeyTable::Translate(keyCode, 0, purpose);
            const auto place = action.kind == KeyAction::Kind::Key
                                   ? keymap.find(static_cast<std::uint32_t>(action.keysym))
                                   : std::nullopt;
            if (place)
                sendKey(place->key, false);
        }
        flush();
        return;
    }
    if (held != heldKeys.end() && held->second != 0)
        sendKey(held->second, false); // pressed twice without a release in between
    heldKeys[keyCode] = 0;
    const KeyAction action = KeyTable::Translate(keyCode, flags, purpose);
    switch (action.kind) {
    case KeyAction::Kind::Nothing: break;
    case KeyAction::Kind::IconifyActiveWindow: windows.minimizeActive(); break;
    case KeyAction::Kind::ToggleShowingDesktop: windows.toggleShowingDesktop(); break;
    case KeyAction::Kind::Key:
        heldKeys[keyCode] = pressKeysym(static_cast<std::uint32_t>(action.keysym), action.modifiers);
        break;
    }
    flush();
}

void KdeEventPoster::postUnicodeKeyDown(const char16_t* units, std::size_t count)
{
    if (units == nullptr || count == 0)
        return;
    std::lock_guard lock(mutex);
    if (ready())
        text.add(units, count);
}

void KdeEventPoster::typeKeys(const std::u32string& characters)
{
    for (std::size_t i = 0; i < characters.size(); ++i) {
        typeKeysym(KeysymOf(characters[i]));
        if (i % 32 == 31)
            flush();
    }
    flush();
}

void KdeEventPoster::pasteKeys()
{
    if (const std::uint32_t key = pressKeysym(XKB_KEY_v, KeyModifier::Control))
        sendKey(key, false);
    flush();
}

void KdeEventPoster::declareUserActivity()
{
    std::lock_guard lock(mutex);
    if (fakeInput == nullptr)
        return;
    text.flush();
    org_kde_kwin_fake_input_pointer_motion(fakeInput, 0, 0);
    flush();
}
