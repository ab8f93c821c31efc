#include "X11Display.h"

#include <X11/Xlib.h>
#include <cstdlib>

X11Display& X11Display::instance()
{
    static X11Display connection;
    return connection;
}

X11Display::X11Display()
{
    XInitThreads();
    Open();
}

X11Display::~X11Display()
{
    // The process is ending; the server cleans up after the connection.
}

void X11Display::Open()
{
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == 0)
        return;
    display = XOpenDisplay(name);
    if (display != nullptr)
        displayName = name;
}

bool X11Display::available()
{
    std::lock_guard lock(mutex);
    return display != nullptr;
}

void X11Display::Reopen()
{
    std::lock_guard lock(mutex);
    if (display != nullptr)
        XCloseDisplay(display);
    display = nullptr;
    displayName.clear();
    Open();
}

std::string X11Display::name()
{
    std::lock_guard lock(mutex);
    return displayName;
}
