#include "TrayHost.h"

#include <X11/Xlib.h>
#include <chrono>
#include <string>
#include <thread>
#include <unistd.h>

namespace {
constexpr const char* kTrayer = "/usr/bin/trayer";

// Waits until the default screen's system tray selection has an owner:
// trayer claims it a moment after it starts, and a tray icon created
// before that finds no tray.
bool WaitForTraySelection(int timeoutMs)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(display));
    const Atom selection = XInternAtom(display, name.c_str(), False);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool owned = false;
    while (!(owned = XGetSelectionOwner(display, selection) != None) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    XCloseDisplay(display);
    return owned;
}
} // namespace

bool TrayHost::installed()
{
    return ::access(kTrayer, X_OK) == 0;
}

TrayHost::TrayHost()
    : tray({kTrayer, "--edge", "top", "--align", "left", "--widthtype", "request", "--height", "24", "--SetDockType",
            "true", "--SetPartialStrut", "false"},
           {.out = ChildProcess::Stream::Discard, .err = ChildProcess::Stream::Discard})
{
    ready = tray.started() && WaitForTraySelection(10000);
}
