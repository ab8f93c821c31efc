#include "WlrootsEventPoster.h"

#include "KeyTable.h"
#include "Log.h"
#include "WaylandConnection.h"
#include "WaylandKeymap.h"
#include "WaylandOutputs.h"
#include "WlrootsWindowControl.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

WlrootsEventPoster::WlrootsEventPoster(WaylandConnection& connection, WaylandKeymap& seatKeymap,
                                       WaylandOutputs& outputs, WlrootsWindowControl& windows)
    : connection(connection), outputs(outputs), windows(windows)
{
    // The user's layout as the seat has it now (the defaults when the seat
    // has no keyboard yet): the one the spare keys are added to.
    keymap = std::make_unique<WlrootsKeymap>(seatKeymap.text());
    wl_seat* seat = seatKeymap.seat();
    auto* pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
        connection.bind(&zwlr_virtual_pointer_manager_v1_interface, 1));
    auto* keyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
        connection.bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
    if (pointers != nullptr) {
        pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointers, seat);
        zwlr_virtual_pointer_manager_v1_destroy(pointers); // the pointer stays
    }
    if (keyboards != nullptr && seat != nullptr && keymap->valid()) {
        keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboards, seat);
        uploadKeymap();
    }
    if (keyboards != nullptr)
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(keyboards)); // the protocol has no destructor request
    connection.flush();
    restorer = std::thread([this] { restoreLoop(); });
}

WlrootsEventPoster::~WlrootsEventPoster()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    restoreWake.notify_all();
    restorer.join();
    std::lock_guard lock(mutex);
    if (keyboard != nullptr) {
        for (const auto& [code, held] : heldKeys) {
            if (held.keycode != 0)
                key(held.keycode, false);
        }
        zwp_virtual_keyboard_v1_destroy(keyboard);
    }
    if (pointer != nullptr)
        zwlr_virtual_pointer_v1_destroy(pointer);
    connection.flush();
}

bool WlrootsEventPoster::ready()
{
    if (pointer != nullptr && keyboard != nullptr && connection.connected()) {
        reportedMissing = false;
        return true;
    }
    if (!reportedMissing.exchange(true))
        Log::Printf("No event source\n");
    return false;
}

std::uint32_t WlrootsEventPoster::now() const
{
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count());
}

bool WlrootsEventPoster::hasEventSource()
{
    std::lock_guard lock(mutex);
    return ready();
}

ScreenPoint WlrootsEventPoster::pointerLocation()
{
    std::lock_guard lock(mutex);
    if (!positionKnown) {
        const QRect desktop = outputs.desktop();
        return {desktop.x() + desktop.width() / 2.0, desktop.y() + desktop.height() / 2.0};
    }
    return position;
}

ScreenSize WlrootsEventPoster::mainScreenSize()
{
    const QRect desktop = outputs.desktop();
    return {static_cast<double>(desktop.right() + 1), static_cast<double>(desktop.bottom() + 1)};
}

void WlrootsEventPoster::moveTo(ScreenPoint at)
{
    const QRect desktop = outputs.desktop();
    if (desktop.isEmpty())
        return;
    if (!positionKnown) {
        position = {desktop.x() + desktop.width() / 2.0, desktop.y() + desktop.height() / 2.0};
        sentX = std::lround(position.x * 256);
        sentY = std::lround(position.y * 256);
        positionKnown = true;
    }
    const double right = desktop.right(), bottom = desktop.bottom();
    const double x = std::clamp(at.x, 0.0, right), y = std::clamp(at.y, 0.0, bottom);
    if (x <= 0 || y <= 0 || x >= right || y >= bottom) {
        const auto ax = static_cast<std::uint32_t>(std::lround(x)), ay = static_cast<std::uint32_t>(std::lround(y));
        zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), ax, ay, static_cast<std::uint32_t>(desktop.width()),
                                                static_cast<std::uint32_t>(desktop.height()));
        sentX = static_cast<long long>(ax) * 256;
        sentY = static_cast<long long>(ay) * 256;
    } else {
        // In the protocol's fixed-point steps, counted from what was sent,
        // so that fractions never add up to a drift.
        const long long targetX = std::lround(x * 256), targetY = std::lround(y * 256);
        zwlr_virtual_pointer_v1_motion(pointer, now(), static_cast<wl_fixed_t>(targetX - sentX),
                                       static_cast<wl_fixed_t>(targetY - sentY));
        sentX = targetX;
        sentY = targetY;
    }
    position = {x, y};
}

void WlrootsEventPoster::postMouse(MouseEventType type, MouseButton button, ScreenPoint at, int)
{
    std::lock_guard lock(mutex);
    if (!ready())
        return;
    if (!positionKnown || at.x != position.x || at.y != position.y)
        moveTo(at);
    const std::uint32_t code = button == MouseButton::Right ? BTN_RIGHT : BTN_LEFT;
    switch (type) {
    case MouseEventType::LeftDown:
    case MouseEventType::RightDown:
        zwlr_virtual_pointer_v1_button(pointer, now(), code, WL_POINTER_BUTTON_STATE_PRESSED);
        break;
    case MouseEventType::LeftUp:
    case MouseEventType::RightUp:
        zwlr_virtual_pointer_v1_button(pointer, now(), code, WL_POINTER_BUTTON_STATE_RELEASED);
        break;
    case MouseEventType::Moved:
    case MouseEventType::LeftDragged: break; // the compositor knows which buttons are down
    }
    zwlr_virtual_pointer_v1_frame(pointer);
    connection.flush();
}

void WlrootsEventPoster::postScroll(int verticalPixels, int horizontalPixels)
{
    std::lock_guard lock(mutex);
    if (!ready())
        return;
    // Positive vertical is up and positive horizontal is left; wl_pointer
    // axis values grow downwards and to the right.
    const std::pair<std::uint32_t, int> turns[] = {
        {WL_POINTER_AXIS_VERTICAL_SCROLL, -verticalWheel.add(verticalPixels)},
        {WL_POINTER_AXIS_HORIZONTAL_SCROLL, -horizontalWheel.add(horizontalPixels)}};
    bool sent = false;
    for (const auto& [axis, clicks] : turns) {
        if (clicks == 0)
            continue;
        zwlr_virtual_pointer_v1_axis_discrete(pointer, now(), axis, wl_fixed_from_double(clicks * kAxisPerWheelClick),
                                              clicks);
        zwlr_virtual_pointer_v1_axis_source(pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
        sent = true;
    }
    if (sent) {
        zwlr_virtual_pointer_v1_frame(pointer);
        connection.flush();
    }
}

void WlrootsEventPoster::declareUserActivity()
{
    std::lock_guard lock(mutex);
    if (pointer == nullptr)
        return;
    zwlr_virtual_pointer_v1_motion(pointer, now(), 0, 0);
    zwlr_virtual_pointer_v1_frame(pointer);
    connection.flush();
}

void WlrootsEventPoster::postKey(std::uint16_t keyCode, bool down, std::uint64_t flags, KeyPurpose purpose)
{
    std::lock_guard lock(mutex);
    if (!ready())
        return;
    if (down)
        pressKeyDown(keyCode, flags, purpose);
    else
        pressKeyUp(keyCode, purpose);
    connection.flush();
    lastTyping = std::chrono::steady_clock::now();
    restoreWake.notify_all();
}

void WlrootsEventPoster::pressKeyDown(std::uint16_t keyCode, std::uint64_t flags, KeyPurpose purpose)
{
    if (heldKeys.count(keyCode)) // pressed twice without a release in between
        pressKeyUp(keyCode, purpose);
    // Until its release, the code stands for what its press did.
    heldKeys[keyCode] = HeldKey{};
    const KeyAction action = KeyTable::Translate(keyCode, flags, purpose);
    switch (action.kind) {
    case KeyAction::Kind::Nothing: return;
    case KeyAction::Kind::IconifyActiveWindow: windows.minimizeActive(); return;
    case KeyAction::Kind::ToggleShowingDesktop: windows.toggleShowingDesktop(); return;
    case KeyAction::Kind::Key: break;
    }
    WlrootsKeymap::Place where;
    if (!place(action.keysym, where))
        return;
    if (keymap->isModifierKey(where.keycode)) {
        // A modifier held down (the application switcher's) stays down
        // until its release. The compositor takes a virtual keyboard's
        // modifier state from its modifiers requests only, not from its
        // keys: the state the key makes is sent with it.
        key(where.keycode, true);
        keymap->press(where.keycode, true);
        sendModifiers(keymap->modifiers());
    } else {
        // The modifiers are down around the key press only: the release
        // that follows carries none, and nothing stays held if it never
        // comes. Modifiers already down stay as they are.
        const WlrootsKeymap::Modifiers before = keymap->modifiers();
        WlrootsKeymap::Modifiers with = before;
        with.depressed |= keymap->modifierMask(action.modifiers) | where.modifiers;
        if (!(with == before))
            sendModifiers(with);
        keymap->spareDown(where.spare);
        key(where.keycode, true);
        if (!(with == before))
            sendModifiers(before);
    }
    heldKeys[keyCode] = HeldKey{where.keycode, where.spare};
}

void WlrootsEventPoster::pressKeyUp(std::uint16_t keyCode, KeyPurpose purpose)
{
    HeldKey held;
    if (const auto found = heldKeys.find(keyCode); found != heldKeys.end()) {
        held = found->second;
        heldKeys.erase(found);
    } else {
        // A release without a press from here (the switcher's modifier is
        // released by a later request): the key the code stands for.
        const KeyAction action = KeyTable::Translate(keyCode, 0, purpose);
        WlrootsKeymap::Place where;
        if (action.kind == KeyAction::Kind::Key && keymap->find(action.keysym, where))
            held = HeldKey{where.keycode, -1};
    }
    if (held.keycode == 0)
        return;
    key(held.keycode, false);
    keymap->spareUp(held.spare);
    const WlrootsKeymap::Modifiers before = keymap->modifiers();
    keymap->press(held.keycode, false);
    if (!(keymap->modifiers() == before))
        sendModifiers(keymap->modifiers());
}

bool WlrootsEventPoster::place(unsigned long keysym, WlrootsKeymap::Place& out)
{
    if (keymap->find(keysym, out))
        return true;
    bool changed = false;
    keymap->prepare(&keysym, 1, changed);
    if (changed)
        uploadKeymap();
    return keymap->find(keysym, out);
}

void WlrootsEventPoster::key(std::uint32_t keycode, bool down)
{
    // The protocol counts keys as evdev does: XKB key codes less 8.
    zwp_virtual_keyboard_v1_key(keyboard, now(), keycode - 8,
                                down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
}

void WlrootsEventPoster::sendModifiers(const WlrootsKeymap::Modifiers& modifiers)
{
    zwp_virtual_keyboard_v1_modifiers(keyboard, modifiers.depressed, modifiers.latched, modifiers.locked,
                                      modifiers.group);
}

void WlrootsEventPoster::uploadKeymap()
{
    const std::string text = keymap->text();
    const int fd = ::memfd_create("corvane-keymap", MFD_CLOEXEC);
    if (fd < 0)
        return;
    // With its terminating zero, as the compositor reads it.
    if (::write(fd, text.c_str(), text.size() + 1) == static_cast<ssize_t>(text.size() + 1)) {
        zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                       static_cast<std::uint32_t>(text.size() + 1));
        // A new keymap gives the keyboard a fresh modifier state.
        sendModifiers(keymap->modifiers());
    }
    ::close(fd);
}

void WlrootsEventPoster::postUnicodeKeyDown(const char16_t* units, std::size_t count)
{
    if (units == nullptr || count == 0)
        return;
    std::lock_guard lock(mutex);
    if (!ready())
        return;
    const std::vector<unsigned long> keysyms = KeyTable::KeysymsForText(characters, units, count);
    if (keysyms.empty())
        return;
    // Each character is typed with exactly the modifiers of its level:
    // held modifiers and Caps Lock do not change the text.
    const WlrootsKeymap::Modifiers held = keymap->modifiers();
    WlrootsKeymap::Modifiers current = held;
    for (std::size_t done = 0; done < keysyms.size();) {
        bool changed = false;
        const std::size_t stretch = keymap->prepare(keysyms.data() + done, keysyms.size() - done, changed);
        if (changed) {
            uploadKeymap();
            current = held;
        }
        for (std::size_t i = done; i < done + stretch; ++i) {
            WlrootsKeymap::Place where;
            if (!keymap->find(keysyms[i], where))
                continue;
            const WlrootsKeymap::Modifiers level{where.modifiers, 0, 0, 0};
            if (!(current == level)) {
                sendModifiers(level);
                current = level;
            }
            keymap->spareDown(where.spare);
            key(where.keycode, true);
            key(where.keycode, false);
            keymap->spareUp(where.spare);
        }
        done += stretch;
    }
    if (!(current == held))
        sendModifiers(held);
    connection.flush();
    lastTyping = std::chrono::steady_clock::now();
    restoreWake.notify_all();
}

void WlrootsEventPoster::restoreLoop()
{
    std::unique_lock lock(mutex);
    while (!stopping) {
        if (!keymap->bound()) {
            restoreWake.wait(lock);
            continue;
        }
        const auto due = lastTyping + kRestoreAfter;
        if (std::chrono::steady_clock::now() < due) {
            restoreWake.wait_until(lock, due);
            continue;
        }
        if (keymap->unbind() && keyboard != nullptr) {
            uploadKeymap();
            connection.flush();
        }
        if (keymap->bound()) // a spare key is still held down
            restoreWake.wait_for(lock, kRestoreAfter);
    }
}
