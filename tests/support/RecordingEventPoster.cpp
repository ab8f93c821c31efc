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
    PostedEvent event;
    event.kind = PostedEvent::Kind::Mouse;
    event.mouseType = type;
    event.button = button;
    event.at = at;
    event.clickState = clickState;
    {
        std::lock_guard lock(mutex);
        pointer = at; // a mouse event takes the pointer to its position
    }
    record(std::move(event));
}

void RecordingEventPoster::postScroll(int verticalPixels, int horizontalPixels)
{
    PostedEvent event;
    event.kind = PostedEvent::Kind::Scroll;
    event.verticalPixels = verticalPixels;
    event.horizontalPixels = horizontalPixels;
    record(std::move(event));
}

void RecordingEventPoster::postKey(std::uint16_t keyCode, bool down, std::uint64_t flags, KeyPurpose purpose)
{
    PostedEvent event;
    event.kind = PostedEvent::Kind::Key;
    event.keyCode = keyCode;
    event.down = down;
    event.flags = flags;
    event.purpose = purpose;
    record(std::move(event));
}

void RecordingEventPoster::postUnicodeKeyDown(const char16_t* units, std::size_t count)
{
    PostedEvent event;
    event.kind = PostedEvent::Kind::Text;
    event.keyCode = 0;
    event.down = true;
    event.text.assign(units, count);
    record(std::move(event));
}

void RecordingEventPoster::declareUserActivity()
{
    PostedEvent event;
    event.kind = PostedEvent::Kind::UserActivity;
    record(std::move(event));
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
