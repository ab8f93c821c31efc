#include "MouseEntity.h"

#include "EventPoster.h"
#include "Log.h"

#include <charconv>
#include <cstdio>
#include <limits>
#include <string_view>

std::atomic<bool> MouseEntity::bLeftBtnDown{false};

namespace {

constexpr int kPixelsPerScrollStep = 5;

// Posts the press and release of one click at a position.
void Click(EventPoster& poster, MouseEventType down, MouseEventType up, MouseButton button, ScreenPoint at,
           int clickState)
{
    poster.postMouse(down, button, at, clickState);
    poster.postMouse(up, button, at, clickState);
}

// A press, release or click of one button at the pointer's position.
void ButtonAction(int action, MouseEventType down, MouseEventType up, MouseButton button)
{
    EventPoster& poster = EventPoster::instance();
    const ScreenPoint at = poster.pointerLocation();
    switch (action) {
    case 0: poster.postMouse(down, button, at, kClickStateUnset); break;
    case 1: poster.postMouse(up, button, at, kClickStateUnset); break;
    case 2: Click(poster, down, up, button, at, kClickStateUnset); break;
    default: break;
    }
}

// A plain click followed by (clicks - 1) clicks that carry the click state
// `clicks`, all at the pointer's position.
void MultiClick(int clicks)
{
    EventPoster& poster = EventPoster::instance();
    const ScreenPoint at = poster.pointerLocation();
    Click(poster, MouseEventType::LeftDown, MouseEventType::LeftUp, MouseButton::Left, at, kClickStateUnset);
    for (int i = 1; i < clicks; ++i)
        Click(poster, MouseEventType::LeftDown, MouseEventType::LeftUp, MouseButton::Left, at, clicks);
}

// Logs "x y" as "%f %f" would, without printf's cost (this runs for every
// move of the phone's pointer).
void LogPosition(double x, double y)
{
    char line[128];
    char* const end = line + sizeof line;
    auto written = std::to_chars(line, end, x, std::chars_format::fixed, 6);
    if (written.ec == std::errc() && written.ptr != end) {
        *written.ptr = ' ';
        written = std::to_chars(written.ptr + 1, end, y, std::chars_format::fixed, 6);
    }
    if (written.ec != std::errc() || written.ptr == end) {
        Log::Printf("%f %f\n", x, y); // beyond any screen
        return;
    }
    *written.ptr = '\n';
    Log::Write(std::string_view(line, static_cast<std::size_t>(written.ptr + 1 - line)));
}

int ScrollPixels(int steps)
{
    const long long pixels = static_cast<long long>(steps) * kPixelsPerScrollStep;
    if (pixels > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (pixels < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(pixels);
}

} // namespace

void MouseEntity::LeftSingleTap(int action)
{
    if (action == 0)
        bLeftBtnDown = true;
    else if (action == 1 || action == 2)
        bLeftBtnDown = false;
    ButtonAction(action, MouseEventType::LeftDown, MouseEventType::LeftUp, MouseButton::Left);
}

void MouseEntity::LeftDoubleTap()
{
    MultiClick(2);
}

void MouseEntity::LeftThreeTap()
{
    MultiClick(3);
}

void MouseEntity::RightSingleTap(int action)
{
    ButtonAction(action, MouseEventType::RightDown, MouseEventType::RightUp, MouseButton::Right);
}

void MouseEntity::Move(float dx, float dy)
{
    EventPoster& poster = EventPoster::instance();
    const ScreenPoint current = poster.pointerLocation();
    const ScreenSize screen = poster.mainScreenSize();
    double x = current.x + dx;
    double y = current.y + dy;
    // Written so that a delta that is not a number lands on 0.
    x = x > 0 ? x : 0;
    y = y > 0 ? y : 0;
    if (x >= screen.width)
        x = screen.width - 1;
    if (y >= screen.height)
        y = screen.height - 1;
    const MouseEventType type = bLeftBtnDown ? MouseEventType::LeftDragged : MouseEventType::Moved;
    poster.postMouse(type, MouseButton::Left, ScreenPoint{x, y}, kClickStateUnset);
    // Logged once the move is on its way, so that the log costs it no time.
    LogPosition(x, y);
}

void MouseEntity::Drag(float dx, float dy)
{
    if (!bLeftBtnDown)
        LeftSingleTap(0);
    Move(dx, dy);
}

void MouseEntity::ScrollWheelMove(int h, int v)
{
    EventPoster::instance().postScroll(ScrollPixels(v), ScrollPixels(h));
}
