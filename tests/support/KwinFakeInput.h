#pragma once

#include <cstdint>

struct org_kde_kwin_fake_input;
struct wl_display;

// A plain fake-input client of KWin (org_kde_kwin_fake_input) on a Wayland
// connection of its own: what another program, or the user's own mouse,
// does to the pointer and keyboard, for tests and as the benchmarks'
// reference. KWin offers fake input to this program only when a desktop
// entry names it (KwinSession::Allow).
class KwinFakeInput {
public:
    KwinFakeInput();
    ~KwinFakeInput();
    KwinFakeInput(const KwinFakeInput&) = delete;
    KwinFakeInput& operator=(const KwinFakeInput&) = delete;

    bool available() const { return input != nullptr; }
    void moveTo(double x, double y);
    // An evdev key code.
    void key(std::uint32_t code, bool down);

private:
    void flush();

    wl_display* display = nullptr;
    org_kde_kwin_fake_input* input = nullptr;
};
