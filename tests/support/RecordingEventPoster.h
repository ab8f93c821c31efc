#pragma once

#include "EventPoster.h"

#include <mutex>
#include <string>
#include <vector>

// One event handed to a RecordingEventPoster.
struct PostedEvent {
    enum class Kind { Mouse, Scroll, Key, Text, UserActivity };
    Kind kind = Kind::Mouse;

    // Mouse
    MouseEventType mouseType = MouseEventType::Moved;
    MouseButton button = MouseButton::Left;
    ScreenPoint at;
    int clickState = kClickStateUnset;
    // Scroll
    int verticalPixels = 0;
    int horizontalPixels = 0;
    // Key
    std::uint16_t keyCode = 0;
    bool down = false;
    std::uint64_t flags = 0;
    KeyPurpose purpose = KeyPurpose::Keyboard;
    // Text (a key-down carrying UTF-16 code units)
    std::u16string text;
};

// An in-memory event poster for tests and benchmarks: it records what it is
// asked to post, keeps a pointer that mouse events move, and reports a
// screen size and event source that the test chooses.
class RecordingEventPoster : public EventPoster {
public:
    // Without keepEvents only the number of events is kept.
    explicit RecordingEventPoster(bool keepEvents = true);

    bool hasEventSource() override;
    ScreenPoint pointerLocation() override;
    ScreenSize mainScreenSize() override;
    void postMouse(MouseEventType type, MouseButton button, ScreenPoint at, int clickState) override;
    void postScroll(int verticalPixels, int horizontalPixels) override;
    void postKey(std::uint16_t keyCode, bool down, std::uint64_t flags, KeyPurpose purpose) override;
    void postUnicodeKeyDown(const char16_t* units, std::size_t count) override;
    void declareUserActivity() override;

    void setEventSource(bool available);
    void setPointerLocation(ScreenPoint point);
    void setScreenSize(ScreenSize size);

    std::vector<PostedEvent> events() const;
    std::size_t count() const;
    void clear();

private:
    void record(PostedEvent event);

    mutable std::mutex mutex;
    const bool keep;
    bool source = true;
    ScreenPoint pointer{100, 100};
    ScreenSize screen{1280, 800};
    std::vector<PostedEvent> recorded;
    std::size_t posted = 0;
};
