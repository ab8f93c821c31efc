#include "X11EventPoster.h"

#include "KeyTable.h"
#include "Log.h"
#include "SCommon.h"
#include "X11Display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/dpms.h>
#include <X11/keysym.h>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// A position as XTest takes it. The callers keep positions on the screen;
// this only keeps the conversion defined for any value (the server clamps to
// the screen itself).
int Coordinate(double value)
{
    constexpr double kLimit = 1 << 20;
    if (!(value > 0))
        return 0;
    return static_cast<int>(std::lround(std::min(value, kLimit)));
}

void RootGeometry(Display* display, int& width, int& height)
{
    Window root;
    int x, y;
    unsigned w = 0, h = 0, border, depth;
    if (XGetGeometry(display, DefaultRootWindow(display), &root, &x, &y, &w, &h, &border, &depth)) {
        width = static_cast<int>(w);
        height = static_cast<int>(h);
    } else {
        width = DisplayWidth(display, DefaultScreen(display));
        height = DisplayHeight(display, DefaultScreen(display));
    }
}

void SendWheelClicks(Display* display, int clicks, unsigned positiveButton, unsigned negativeButton)
{
    const unsigned button = clicks > 0 ? positiveButton : negativeButton;
    for (int i = 0; i < (clicks < 0 ? -clicks : clicks); ++i) {
        XTestFakeButtonEvent(display, button, True, CurrentTime);
        XTestFakeButtonEvent(display, button, False, CurrentTime);
    }
}

// The active window as the window manager names it, else the focused one.
Window ActiveWindow(Display* display)
{
    const Window root = DefaultRootWindow(display);
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    Window active = None;
    if (XGetWindowProperty(display, root, XInternAtom(display, "_NET_ACTIVE_WINDOW", False), 0, 1, False,
                           XA_WINDOW, &type, &format, &items, &after, &data) == Success &&
        data != nullptr) {
        if (items == 1 && format == 32)
            active = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
        XFree(data);
    }
    if (active == None) {
        int revert = 0;
        XGetInputFocus(display, &active, &revert);
        if (active == PointerRoot)
            active = None;
    }
    return active;
}

void IconifyActiveWindow(Display* display)
{
    const Window active = ActiveWindow(display);
    if (active != None)
        XIconifyWindow(display, active, DefaultScreen(display));
}

void ToggleShowingDesktop(Display* display)
{
    const Window root = DefaultRootWindow(display);
    const Atom showing = XInternAtom(display, "_NET_SHOWING_DESKTOP", False);
    long current = 0;
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, root, showing, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                           &data) == Success &&
        data != nullptr) {
        if (items == 1 && format == 32)
            current = *reinterpret_cast<long*>(data);
        XFree(data);
    }
    X11Display::SendRootRequest(display, root, showing, current ? 0 : 1);
}

} // namespace

X11EventPoster::X11EventPoster()
{
    X11Display::instance(); // opened first, so it outlives this poster
}

X11EventPoster::~X11EventPoster()
{
    {
        std::lock_guard lock(keyMutex);
        stopping = true;
    }
    restoreWake.notify_all();
    if (restorer.joinable())
        restorer.join();
    std::lock_guard lock(keyMutex);
    X11Display::instance().With([this](Display* display) {
        if (connection == X11Display::instance().generation())
            keyboard.restoreSpares(display);
    });
}

template <typename Fn>
bool X11EventPoster::WithDisplay(Fn&& fn)
{
    bool posted = false;
    X11Display::instance().With([&](Display* display) {
        const unsigned long current = X11Display::instance().generation();
        if (xtestConnection != current) {
            xtestConnection = current;
            int eventBase, errorBase, major, minor;
            xtest = XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor) == True;
        }
        if (!xtest)
            return;
        fn(display);
        posted = true;
    });
    if (posted) {
        reportedMissing = false;
    } else if (!reportedMissing.exchange(true)) {
        Log::Printf("No event source\n");
    }
    return posted;
}

void X11EventPoster::followConnection()
{
    const unsigned long current = X11Display::instance().generation();
    if (connection == current)
        return;
    connection = current;
    keyboard.reset();
    heldKeys.clear();
    characters.reset();
}

bool X11EventPoster::hasEventSource()
{
    return WithDisplay([](Display*) {});
}

const X11EventPoster::PointerState& X11EventPoster::currentPointer(Display* display)
{
    const unsigned long current = X11Display::instance().generation();
    const auto now = std::chrono::steady_clock::now();
    if (pointer.connection == current && now - pointer.readAt < kPointerFresh)
        return pointer;
    pointer = PointerState{};
    Window root, child;
    int rootX = 0, rootY = 0, x, y;
    unsigned mask;
    if (XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &x, &y, &mask)) {
        pointer.x = rootX;
        pointer.y = rootY;
    }
    RootGeometry(display, pointer.width, pointer.height);
    pointer.connection = current;
    pointer.readAt = now;
    return pointer;
}

ScreenPoint X11EventPoster::pointerLocation()
{
    ScreenPoint location;
    X11Display::instance().With([&](Display* display) {
        const PointerState& state = currentPointer(display);
        location = ScreenPoint{static_cast<double>(state.x), static_cast<double>(state.y)};
    });
    return location;
}

ScreenSize X11EventPoster::mainScreenSize()
{
    ScreenSize size;
    X11Display::instance().With([&](Display* display) {
        const PointerState& state = currentPointer(display);
        size = ScreenSize{static_cast<double>(state.width), static_cast<double>(state.height)};
    });
    return size;
}

void X11EventPoster::postMouse(MouseEventType type, MouseButton button, ScreenPoint at, int)
{
    WithDisplay([&](Display* display) {
        const int x = Coordinate(at.x), y = Coordinate(at.y);
        XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
        // On the screen the server puts the pointer where it was asked to;
        // elsewhere it decides, and the next move reads where that was.
        if (x < pointer.width && y < pointer.height) {
            pointer.x = x;
            pointer.y = y;
        } else {
            pointer.connection = 0;
        }
        const unsigned xButton = button == MouseButton::Right ? 3 : 1;
        switch (type) {
        case MouseEventType::LeftDown:
        case MouseEventType::RightDown: XTestFakeButtonEvent(display, xButton, True, CurrentTime); break;
        case MouseEventType::LeftUp:
        case MouseEventType::RightUp: XTestFakeButtonEvent(display, xButton, False, CurrentTime); break;
        case MouseEventType::Moved:
        case MouseEventType::LeftDragged: break; // the server knows which buttons are down
        }
        XFlush(display);
    });
}

void X11EventPoster::postScroll(int verticalPixels, int horizontalPixels)
{
    std::lock_guard lock(pointerMutex);
    WithDisplay([&](Display* display) {
        // Positive vertical is up (button 4), positive horizontal is left (button 6).
        SendWheelClicks(display, verticalWheel.add(verticalPixels), 4, 5);
        SendWheelClicks(display, horizontalWheel.add(horizontalPixels), 6, 7);
        XFlush(display);
    });
}

void X11EventPoster::postKey(std::uint16_t keyCode, bool down, std::uint64_t flags, KeyPurpose purpose)
{
    std::lock_guard lock(keyMutex);
    WithDisplay([&](Display* display) {
        followConnection();
        keyboard.drainEvents(display);
        if (down)
            pressKeyDown(display, keyCode, flags, purpose);
        else
            pressKeyUp(display, keyCode, purpose);
        XFlush(display);
    });
    wakeRestorer();
}

void X11EventPoster::pressKeyDown(Display* display, std::uint16_t keyCode, std::uint64_t flags, KeyPurpose purpose)
{
    if (heldKeys.count(keyCode)) // pressed twice without a release in between
        pressKeyUp(display, keyCode, purpose);
    // Until its release, the code stands for what its press did (keycode 0:
    // nothing to release).
    heldKeys[keyCode] = HeldKey{0, -1};
    const KeyAction action = KeyTable::Translate(keyCode, flags, purpose);
    switch (action.kind) {
    case KeyAction::Kind::Nothing: return;
    case KeyAction::Kind::IconifyActiveWindow: IconifyActiveWindow(display); return;
    case KeyAction::Kind::ToggleShowingDesktop: ToggleShowingDesktop(display); return;
    case KeyAction::Kind::Key: break;
    }
    X11Keyboard::Place where;
    if (!keyboard.place(display, action.keysym, where, true))
        return;
    const X11Keyboard::State state = keyboard.state(display);
    unsigned modifiers = action.modifiers;
    if (where.shift)
        modifiers |= KeyModifier::Shift;
    // The modifiers go down around the key press only: the release that
    // follows carries none, and nothing stays held if it never comes.
    const std::vector<unsigned> pressed = keyboard.pressModifiers(display, modifiers, state);
    keyboard.spareDown(where.spare);
    XTestFakeKeyEvent(display, where.keycode, True, CurrentTime);
    keyboard.release(display, pressed);
    heldKeys[keyCode] = HeldKey{where.keycode, where.spare};
}

void X11EventPoster::pressKeyUp(Display* display, std::uint16_t keyCode, KeyPurpose purpose)
{
    const auto held = heldKeys.find(keyCode);
    if (held != heldKeys.end()) {
        if (held->second.keycode != 0) {
            XTestFakeKeyEvent(display, held->second.keycode, False, CurrentTime);
            keyboard.spareUp(held->second.spare);
        }
        heldKeys.erase(held);
        return;
    }
    // A release without a press from here (the held switcher modifier is
    // released by a later request): release the key the code stands for.
    const KeyAction action = KeyTable::Translate(keyCode, 0, purpose);
    X11Keyboard::Place where;
    if (action.kind == KeyAction::Kind::Key && keyboard.place(display, action.keysym, where, true)) {
        XTestFakeKeyEvent(display, where.keycode, False, CurrentTime);
        keyboard.spareUp(where.spare);
    }
}

void X11EventPoster::declareUserActivity()
{
    X11Display::instance().With([](Display* d) {
        XResetScreenSaver(d);
        int eventBase = 0, errorBase = 0;
        if (DPMSQueryExtension(d, &eventBase, &errorBase) && DPMSCapable(d))
            DPMSForceLevel(d, DPMSModeOn);
        XSync(d, False);
    });
}

void X11EventPoster::postUnicodeKeyDown(const char16_t* units, std::size_t count)
{
    if (units == nullptr || count == 0)
        return;
    std::lock_guard lock(keyMutex);
    WithDisplay([&](Display* display) {
        followConnection();
        // A surrogate pair is joined even when its halves come in separate
        // events.
        const std::vector<unsigned long> keysyms = KeyTable::KeysymsForText(characters, units, count);
        if (keysyms.empty())
            return;

        keyboard.drainEvents(display);
        const X11Keyboard::State state = keyboard.state(display);
        // Caps Lock would turn typed letters into capitals: off while typing.
        if (state.capsLock)
            keyboard.tap(display, XK_Caps_Lock);
        // Bindings are planned over the rest of the announced text when
        // this event carries its next part, over this event's text otherwise.
        const bool followsAnnounced =
            announced.size() - announcedTyped >= keysyms.size() &&
            std::equal(keysyms.begin(), keysyms.end(), announced.begin() + static_cast<long>(announcedTyped));
        if (!followsAnnounced)
            announced.clear();
        const std::vector<unsigned long>& plan = followsAnnounced ? announced : keysyms;
        const std::size_t start = followsAnnounced ? announcedTyped : 0;
        for (std::size_t done = 0; done < keysyms.size();) {
            const std::size_t stretch =
                std::min(keyboard.prepare(display, plan.data() + start + done, plan.size() - start - done),
                         keysyms.size() - done);
            for (std::size_t i = done; i < done + stretch; ++i)
                typeKeysym(display, keysyms[i], state);
            done += stretch;
        }
        announcedTyped = followsAnnounced ? announcedTyped + keysyms.size() : 0;
        if (state.capsLock)
            keyboard.tap(display, XK_Caps_Lock);
        XFlush(display);
    });
    wakeRestorer();
}

void X11EventPoster::announceText(const char16_t* units, std::size_t count)
{
    std::lock_guard lock(keyMutex);
    // Read with a state of its own: the events that follow complete the
    // characters they carry with `characters`.
    TypedCharacters own = characters;
    announced = units != nullptr ? KeyTable::KeysymsForText(own, units, count) : std::vector<unsigned long>();
    announcedTyped = 0;
}

void X11EventPoster::typeKeysym(Display* display, unsigned long keysym, const X11Keyboard::State& state)
{
    X11Keyboard::Place where;
    if (!keyboard.place(display, keysym, where))
        return;
    std::vector<unsigned> pressed;
    if (where.shift)
        pressed = keyboard.pressModifiers(display, KeyModifier::Shift, state);
    keyboard.spareDown(where.spare);
    XTestFakeKeyEvent(display, where.keycode, True, CurrentTime);
    XTestFakeKeyEvent(display, where.keycode, False, CurrentTime);
    keyboard.spareUp(where.spare);
    keyboard.release(display, pressed);
}

void X11EventPoster::wakeRestorer()
{
    if (!keyboard.hasBoundSpares())
        return;
    if (!restorer.joinable())
        restorer = std::thread([this] {
            useNormalScheduling(); // started from a live channel's thread
            restoreLoop();
        });
    restoreWake.notify_all();
}

void X11EventPoster::restoreLoop()
{
    std::unique_lock lock(keyMutex);
    while (!stopping) {
        if (!keyboard.hasBoundSpares()) {
            restoreWake.wait(lock);
            continue;
        }
        const auto due = keyboard.lastSpareUse() + kRestoreAfter;
        if (std::chrono::steady_clock::now() < due) {
            restoreWake.wait_until(lock, due);
            continue;
        }
        const bool connected = X11Display::instance().With([this](Display* display) {
            followConnection();
            keyboard.drainEvents(display);
            keyboard.restoreSpares(display);
        });
        if (!connected)
            keyboard.reset(); // the display went away, and its mapping with it
        else if (keyboard.hasBoundSpares())
            restoreWake.wait_for(lock, kRestoreAfter); // a borrowed key is still held down
    }
}
