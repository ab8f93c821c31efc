#include "RecordingEventPoster.h"

RecordingEventPoster::RecordingEventPoster(bool keepEvents) : keep(keepEvents) {}

bool RecordingEventPoster::hasEventSource()
{
    std::lock_guard lock(mutex);
    return source;
}

ScreenPoint RecordingEventPoster::pointerLocation()
{
    std::lock_guard lock(mutex);
    return pointer;
}

ScreenSize RecordingEventPoster::mainScreenSize()
{
    std::lock_guard lock(mutex);
    return screen;
}

void RecordingEventPoster::postMouse(MouseEventType type, MouseButton button, ScreenPoint at, int clickState)
{
    {
        std::lock_guard lock(mutex);
        pointer = at; // a mouse event takes the pointer to its position
    }
    record({.kind = PostedEvent::Kind::Mouse, .mouseType = type, .button = button, .at = at, .clickState = clickState});
}

void RecordingEventPoster::postScroll(int verticalPixels, int horizontalPixels)
{
    record({.kind = PostedEvent::Kind::Scroll, .verticalPixels = verticalPixels, .horizontalPixels = horizontalPixels});
}

void RecordingEventPoster::postKey(std::uint16_t keyCode, bool down, std::uint64_t flags, KeyPurpose purpose)
{
    record({.kind = PostedEvent::Kind::Key, .keyCode = keyCode, .down = down, .flags = flags, .purpose = purpose});
}

void RecordingEventPoster::postUnicodeKeyDown(const char16_t* units, std::size_t count)
{
    record({.kind = PostedEvent::Kind::Text, .keyCode = 0, .down = true, .text = std::u16string(units, count)});
}

void RecordingEventPoster::declareUserActivity()
{
    record({.kind = PostedEvent::Kind::UserActivity});
}

void RecordingEventPoster::setEventSource(bool available)
{
    std::lock_guard lock(mutex);
    source = available;
}

void RecordingEventPoster::setPointerLocation(ScreenPoint point)
{
    std::lock_guard lock(mutex);
    pointer = point;
}

void RecordingEventPoster::setScreenSize(ScreenSize size)
{
    std::lock_guard lock(mutex);
    screen = size;
}

std::vector<PostedEvent> RecordingEventPoster::events() const
{
    std::lock_guard lock(mutex);
    return recorded;
}

std::size_t RecordingEventPoster::count() const
{
    std::lock_guard lock(mutex);
    return posted;
}

void RecordingEventPoster::clear()
{
    std::lock_guard lock(mutex);
    recorded.clear();
    posted = 0;
}

void RecordingEventPoster::record(PostedEvent event)
{
    std::lock_guard lock(mutex);
    ++posted;
    if (keep)
        recorded.push_back(std::move(event));
}
