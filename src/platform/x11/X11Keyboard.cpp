#include "X11Keyboard.h"

#include "KeyTable.h"
#include "X11Display.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <algorithm>
#include <array>
#include <thread>

namespace {

// How long the focused client may take to answer a ping before typing goes
// on anyway. A busy client answers late but in order, and a borrowed key
// must not be rebound before the client has read the keys typed on it, so
// the wait is generous; only a client that has stopped processing events
// altogether runs into it. Typing waits; pointer input does not (the wait
// releases the X connection).
constexpr std::chrono::milliseconds kPingTimeout{3000};
// The wait looks at the events that arrived at least this often.
constexpr std::chrono::milliseconds kWaitStep{20};
// Pause that stands in for the ping when the focused client does not take
// part in the exchange.
constexpr std::chrono::milliseconds kSettleWithoutPing{50};

Atom AtomNamed(Display* display, const char* name)
{
    return XInternAtom(display, name, False);
}

bool AnswersPing(Display* display, Window window, Atom ping)
{
    Atom* protocols = nullptr;
    int count = 0;
    if (XGetWMProtocols(display, window, &protocols, &count) == 0)
        return false;
    const bool answers = std::find(protocols, protocols + count, ping) != protocols + count;
    XFree(protocols);
    return answers;
}

// The window that receives typed keys, or the innermost window under the
// pointer when the focus follows the pointer.
Window FocusedWindow(Display* display)
{
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    if (focus != None && focus != PointerRoot)
        return focus;
    Window window = DefaultRootWindow(display);
    for (int depth = 0; depth < 32; ++depth) {
        Window root, child;
        int rootX, rootY, x, y;
        unsigned mask;
        if (!XQueryPointer(display, window, &root, &child, &rootX, &rootY, &x, &y, &mask) || child == None)
            break;
        window = child;
    }
    return window;
}

// The focused window or its nearest ancestor whose client answers pings.
Window PingableFocusedWindow(Display* display, Atom ping)
{
    const Window root = DefaultRootWindow(display);
    Window window = FocusedWindow(display);
    for (int depth = 0; window != None && window != root && depth < 32; ++depth) {
        if (AnswersPing(display, window, ping))
            return window;
        Window rootReturn, parent = None;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, window, &rootReturn, &parent, &children, &count))
            return None;
        if (children)
            XFree(children);
        window = parent;
    }
    return None;
}

} // namespace

void X11Keyboard::reset()
{
    *this = X11Keyboard();
}

void X11Keyboard::drainEvents(Display* display)
{
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != MappingNotify)
            continue;
        XRefreshKeyboardMapping(&event.xmapping);
        if (event.xmapping.request == MappingModifier) {
            loaded = false;
            continue;
        }
        // Changes of the spare key codes are this program's own; anything
        // else means the layout changed.
        for (int k = 0; k < event.xmapping.count; ++k) {
            const unsigned keycode = static_cast<unsigned>(event.xmapping.first_keycode + k);
            const bool spare = std::any_of(spares.begin(), spares.end(),
                                           [keycode](const Spare& s) { return s.keycode == keycode; });
            if (!spare) {
                loaded = false;
                break;
            }
        }
    }
}

void X11Keyboard::load(Display* display)
{
    int minKeycode = 0, maxKeycode = 0, perKeycode = 0;
    XDisplayKeycodes(display, &minKeycode, &maxKeycode);
    const int count = maxKeycode - minKeycode + 1;
    KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(minKeycode), count, &perKeycode);
    if (map == nullptr)
        return;
    const auto symbol = [&](int keycode, int index) {
        return index < perKeycode ? map[(keycode - minKeycode) * perKeycode + index] : NoSymbol;
    };
    if (!sparesFound) {
        // Key codes with no keysym at all are free to borrow.
        for (int keycode = minKeycode; keycode <= maxKeycode; ++keycode) {
            bool empty = true;
            for (int index = 0; index < perKeycode && empty; ++index)
                empty = symbol(keycode, index) == NoSymbol;
            if (empty)
                spares.push_back(Spare{static_cast<unsigned>(keycode)});
        }
        sparesFound = true;
    }
    layout.clear();
    // Unshifted levels first, so a keysym on both levels is typed without Shift.
    for (int index = 0; index < 2; ++index) {
        for (int keycode = minKeycode; keycode <= maxKeycode; ++keycode) {
            const KeySym keysym = symbol(keycode, index);
            const bool spare = std::any_of(spares.begin(), spares.end(), [keycode](const Spare& s) {
                return s.keycode == static_cast<unsigned>(keycode);
            });
            if (keysym != NoSymbol && !spare && layout.find(keysym) == layout.end())
                layout.emplace(keysym, Place{static_cast<unsigned>(keycode), index == 1, -1});
        }
    }
    XFree(map);

    modifierKeys.assign(8, {});
    if (XModifierKeymap* modifiers = XGetModifierMapping(display)) {
        for (int mod = 0; mod < 8; ++mod) {
            for (int k = 0; k < modifiers->max_keypermod; ++k) {
                const KeyCode keycode = modifiers->modifiermap[mod * modifiers->max_keypermod + k];
                if (keycode != 0)
                    modifierKeys[mod].push_back(keycode);
            }
        }
        XFreeModifiermap(modifiers);
    }
    const auto keyOf = [this](KeySym keysym) {
        const auto found = layout.find(keysym);
        return found == layout.end() ? 0u : found->second.keycode;
    };
    shiftKey = keyOf(XK_Shift_L);
    controlKey = keyOf(XK_Control_L);
    altKey = keyOf(XK_Alt_L);
    shiftMask = maskOfKeycode(shiftKey);
    controlMask = maskOfKeycode(controlKey);
    altMask = maskOfKeycode(altKey);
    loaded = true;
}

unsigned long X11Keyboard::maskOfKeycode(unsigned keycode) const
{
    for (std::size_t mod = 0; mod < modifierKeys.size(); ++mod) {
        const auto& keys = modifierKeys[mod];
        if (keycode != 0 && std::find(keys.begin(), keys.end(), keycode) != keys.end())
            return 1ul << mod;
    }
    return 0;
}

X11Keyboard::Slot X11Keyboard::slotHolding(unsigned long keysym, bool alone) const
{
    for (std::size_t i = 0; i < spares.size(); ++i) {
        const Spare& spare = spares[i];
        if (alone) {
            if (spare.keysyms[0] == keysym && spare.keysyms[1] == 0)
                return Slot{static_cast<int>(i), 0};
            continue;
        }
        for (int level = 0; level < 2; ++level) {
            if (spare.keysyms[level] == keysym)
                return Slot{static_cast<int>(i), level};
        }
    }
    return Slot{};
}

std::size_t X11Keyboard::prepare(Display* display, const unsigned long* keysyms, std::size_t count)
{
    if (!loaded)
        load(display);
    if (!loaded || spares.empty() || count == 0)
        return std::max<std::size_t>(count, 1);

    // The slots a stretch may bind: both levels of a spare, only the plain
    // one of a spare holding a keysym alone, none of a held spare.
    std::size_t slots = 0;
    for (const Spare& spare : spares)
        slots += spare.held != 0 ? 0 : spare.alone ? 1 : 2;
    // Walk the text while the new keysyms still fit on slots that hold
    // nothing this stretch needs.
    std::vector<std::array<bool, 2>> kept(spares.size(), {false, false});
    std::size_t keptCount = 0;
    std::vector<unsigned long> wanted;
    std::size_t length = 0;
    for (; length < count; ++length) {
        const unsigned long keysym = keysyms[length];
        if (keysym == 0 || layout.count(keysym))
            continue;
        const Slot bound = slotHolding(keysym, false);
        if (bound.spare >= 0) {
            const auto index = static_cast<std::size_t>(bound.spare);
            if (!kept[index][static_cast<std::size_t>(bound.level)]) {
                kept[index][static_cast<std::size_t>(bound.level)] = true;
                keptCount += spares[index].held == 0 ? 1 : 0;
            }
            continue;
        }
        if (std::find(wanted.begin(), wanted.end(), keysym) != wanted.end())
            continue;
        // The part bound already is typed first, so that a round of
        // rebinding starts where a new keysym is needed and spends its slots
        // on what follows from there.
        if (length > 0 && wanted.empty())
            return length;
        if (wanted.size() + 1 + keptCount > slots)
            break;
        wanted.push_back(keysym);
    }
    if (wanted.empty())
        return std::max<std::size_t>(length, 1);

    // Empty slots first, then those of the least recently used spares,
    // plain levels before Shift levels.
    std::vector<Slot> candidates;
    for (std::size_t i = 0; i < spares.size(); ++i) {
        for (int level = 0; level < (spares[i].alone ? 1 : 2); ++level) {
            if (spares[i].held == 0 && !kept[i][static_cast<std::size_t>(level)])
                candidates.push_back(Slot{static_cast<int>(i), level});
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(), [this](const Slot& a, const Slot& b) {
        const Spare& sa = spares[static_cast<std::size_t>(a.spare)];
        const Spare& sb = spares[static_cast<std::size_t>(b.spare)];
        const bool emptyA = sa.keysyms[a.level] == 0, emptyB = sb.keysyms[b.level] == 0;
        if (emptyA != emptyB)
            return emptyA;
        if (sa.lastUseTick != sb.lastUseTick)
            return sa.lastUseTick < sb.lastUseTick;
        return a.level < b.level;
    });
    std::vector<Binding> bindings;
    bool rebinding = false;
    for (std::size_t i = 0; i < wanted.size() && i < candidates.size(); ++i) {
        const Spare& spare = spares[static_cast<std::size_t>(candidates[i].spare)];
        rebinding = rebinding || (spare.keysyms[candidates[i].level] != 0 && spare.usedSinceSync);
        bindings.push_back(Binding{candidates[i], wanted[i]});
    }
    // A slot whose key events the focused client may not have processed yet
    // keeps its keysym until it has. (Filling an empty level changes nothing
    // for the events already sent on the key.)
    if (rebinding)
        syncWithFocusedClient(display);
    setMappings(display, bindings);
    for (const Binding& binding : bindings)
        spares[static_cast<std::size_t>(binding.slot.spare)].alone = false;
    return std::max<std::size_t>(length, 1);
}

void X11Keyboard::bindAlone(Display* display, unsigned long keysym)
{
    // An empty spare, or else the least recently used one that is not held.
    int chosen = -1;
    const auto rank = [this](int index) {
        const Spare& spare = spares[static_cast<std::size_t>(index)];
        return std::make_pair(spare.keysyms[0] != 0 || spare.keysyms[1] != 0, spare.lastUseTick);
    };
    for (std::size_t i = 0; i < spares.size(); ++i) {
        if (spares[i].held == 0 && (chosen < 0 || rank(static_cast<int>(i)) < rank(chosen)))
            chosen = static_cast<int>(i);
    }
    if (chosen < 0)
        return;
    Spare& spare = spares[static_cast<std::size_t>(chosen)];
    if (spare.usedSinceSync && (spare.keysyms[0] != 0 || spare.keysyms[1] != 0))
        syncWithFocusedClient(display);
    setMappings(display, {Binding{Slot{chosen, 0}, keysym}, Binding{Slot{chosen, 1}, 0}});
    spare.alone = true;
}

bool X11Keyboard::place(Display* display, unsigned long keysym, Place& out, bool alone)
{
    if (keysym == 0)
        return false;
    if (!loaded)
        load(display);
    if (!loaded)
        return false;
    if (const auto found = layout.find(keysym); found != layout.end()) {
        out = found->second;
        return true;
    }
    Slot slot = slotHolding(keysym, alone);
    if (slot.spare < 0) {
        if (alone)
            bindAlone(display, keysym);
        else
            prepare(display, &keysym, 1);
        slot = slotHolding(keysym, alone);
    }
    if (slot.spare < 0)
        return false;
    Spare& spare = spares[static_cast<std::size_t>(slot.spare)];
    if (alone)
        spare.alone = true; // its Shift level stays empty from now on
    out = Place{spare.keycode, slot.level == 1, slot.spare};
    return true;
}

void X11Keyboard::setMappings(Display* display, const std::vector<Binding>& bindings)
{
    if (bindings.empty())
        return;
    std::vector<int> changed;
    for (const Binding& binding : bindings) {
        spares[static_cast<std::size_t>(binding.slot.spare)].keysyms[binding.slot.level] = binding.keysym;
        if (std::find(changed.begin(), changed.end(), binding.slot.spare) == changed.end())
            changed.push_back(binding.slot.spare);
    }
    // One XKB request for all of them: the range it covers also carries the
    // keys between the spares, unchanged.
    XkbDescPtr xkb = XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask | XkbKeyActionsMask, XkbUseCoreKbd);
    if (xkb == nullptr || xkb->map == nullptr) {
        if (xkb)
            XkbFreeKeyboard(xkb, 0, True);
        // Without XKB: one core request per key, a lone keysym on both
        // levels so that the core rule pairing a lone letter with its
        // capital does not apply.
        for (const int index : changed) {
            const Spare& spare = spares[static_cast<std::size_t>(index)];
            KeySym symbols[2] = {spare.keysyms[0], spare.keysyms[1] != 0 ? spare.keysyms[1] : spare.keysyms[0]};
            XChangeKeyboardMapping(display, static_cast<int>(spare.keycode), 2, symbols, 1);
        }
        XSync(display, False);
        return;
    }
    XkbMapChangesRec changes{};
    unsigned low = 255, high = 0;
    for (const int index : changed) {
        const Spare& spare = spares[static_cast<std::size_t>(index)];
        const int keycode = static_cast<int>(spare.keycode);
        const int width = spare.keysyms[1] != 0 ? 2 : spare.keysyms[0] != 0 ? 1 : 0;
        if (width == 0) {
            XkbChangeTypesOfKey(xkb, keycode, 0, XkbGroup1Mask, nullptr, &changes);
        } else {
            // Two levels: the second with Shift, whatever Caps Lock says.
            int type = width == 2 ? XkbTwoLevelIndex : XkbOneLevelIndex;
            XkbChangeTypesOfKey(xkb, keycode, 1, XkbGroup1Mask, &type, &changes);
            if (KeySym* symbols = XkbResizeKeySyms(xkb, keycode, width)) {
                for (int level = 0; level < width; ++level)
                    symbols[level] = spare.keysyms[level];
            }
        }
        low = std::min(low, spare.keycode);
        high = std::max(high, spare.keycode);
    }
    changes.changed |= XkbKeySymsMask;
    changes.first_key_sym = static_cast<KeyCode>(low);
    changes.num_key_syms = static_cast<unsigned char>(high - low + 1);
    XkbChangeMap(display, xkb, &changes);
    XkbFreeKeyboard(xkb, 0, True);
    // The new mapping is in force before any key event that follows.
    XSync(display, False);
}

void X11Keyboard::spareDown(int spare)
{
    if (spare < 0 || static_cast<std::size_t>(spare) >= spares.size())
        return;
    Spare& s = spares[static_cast<std::size_t>(spare)];
    ++s.held;
    s.usedSinceSync = true;
    s.lastUseTick = ++tick;
    lastUse = std::chrono::steady_clock::now();
}

void X11Keyboard::spareUp(int spare)
{
    if (spare < 0 || static_cast<std::size_t>(spare) >= spares.size())
        return;
    Spare& s = spares[static_cast<std::size_t>(spare)];
    if (s.held > 0)
        --s.held;
    lastUse = std::chrono::steady_clock::now();
}

X11Keyboard::State X11Keyboard::state(Display* display)
{
    if (!loaded)
        load(display);
    Window root, child;
    int rootX, rootY, x, y;
    unsigned mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &x, &y, &mask);
    State current;
    if (shiftMask && (mask & shiftMask))
        current.modifiers |= KeyModifier::Shift;
    if (controlMask && (mask & controlMask))
        current.modifiers |= KeyModifier::Control;
    if (altMask && (mask & altMask))
        current.modifiers |= KeyModifier::Alt;
    current.capsLock = (mask & LockMask) != 0;
    return current;
}

std::vector<unsigned> X11Keyboard::pressModifiers(Display* display, unsigned modifiers, const State& current)
{
    std::vector<unsigned> pressed;
    const std::pair<unsigned, unsigned> keys[] = {
        {KeyModifier::Control, controlKey}, {KeyModifier::Alt, altKey}, {KeyModifier::Shift, shiftKey}};
    for (const auto& [bit, keycode] : keys) {
        if ((modifiers & bit) && !(current.modifiers & bit) && keycode != 0) {
            XTestFakeKeyEvent(display, keycode, True, CurrentTime);
            pressed.push_back(keycode);
        }
    }
    return pressed;
}

void X11Keyboard::release(Display* display, const std::vector<unsigned>& keycodes)
{
    for (auto it = keycodes.rbegin(); it != keycodes.rend(); ++it)
        XTestFakeKeyEvent(display, *it, False, CurrentTime);
}

void X11Keyboard::tap(Display* display, unsigned long keysym)
{
    Place where;
    if (!place(display, keysym, where, true))
        return;
    spareDown(where.spare);
    XTestFakeKeyEvent(display, where.keycode, True, CurrentTime);
    XTestFakeKeyEvent(display, where.keycode, False, CurrentTime);
    spareUp(where.spare);
}

bool X11Keyboard::hasBoundSpares() const
{
    return std::any_of(spares.begin(), spares.end(),
                       [](const Spare& s) { return s.keysyms[0] != 0 || s.keysyms[1] != 0; });
}

void X11Keyboard::restoreSpares(Display* display)
{
    const auto bound = [](const Spare& s) { return s.keysyms[0] != 0 || s.keysyms[1] != 0; };
    const bool dirty = std::any_of(spares.begin(), spares.end(),
                                   [&](const Spare& s) { return bound(s) && s.usedSinceSync && s.held == 0; });
    if (dirty)
        syncWithFocusedClient(display);
    std::vector<Binding> bindings;
    for (std::size_t i = 0; i < spares.size(); ++i) {
        if (bound(spares[i]) && spares[i].held == 0) {
            for (int level = 0; level < 2; ++level)
                bindings.push_back(Binding{Slot{static_cast<int>(i), level}, 0});
            spares[i].alone = false;
        }
    }
    setMappings(display, bindings);
}

void X11Keyboard::syncWithFocusedClient(Display* display)
{
    const Atom protocols = AtomNamed(display, "WM_PROTOCOLS");
    const Atom ping = AtomNamed(display, "_NET_WM_PING");
    const Window target = PingableFocusedWindow(display, ping);
    for (Spare& spare : spares)
        spare.usedSinceSync = false;
    if (target == None) {
        XSync(display, False);
        std::this_thread::sleep_for(kSettleWithoutPing);
        return;
    }

    // The client answers by sending the message back to the root window,
    // for structure (Qt) or substructure (GTK) listeners; listen there for
    // the time of the exchange.
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, root, &attributes);
    XSelectInput(display, root, attributes.your_event_mask | StructureNotifyMask | SubstructureNotifyMask);

    const long token = static_cast<long>(++pingToken);
    X11Display::SendProtocolMessage(display, target, ping, token, static_cast<long>(target));
    XFlush(display);

    // The wait releases the connection: pointer input goes on meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + kPingTimeout;
    bool answered = false;
    while (!answered) {
        while (!answered && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MappingNotify) {
                XRefreshKeyboardMapping(&event.xmapping);
                loaded = false;
            } else if (event.type == ClientMessage && event.xclient.window == root &&
                       event.xclient.message_type == protocols &&
                       event.xclient.data.l[0] == static_cast<long>(ping) && event.xclient.data.l[1] == token) {
                answered = true;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                              std::chrono::steady_clock::now());
        if (answered || left.count() <= 0)
            break;
        X11Display::instance().WaitForEvents(display, std::min(left, kWaitStep));
    }
    XSelectInput(display, root, attributes.your_event_mask);
}
