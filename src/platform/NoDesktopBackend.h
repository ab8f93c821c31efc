#pragma once

#include "DesktopBackend.h"
#include "EventPoster.h"
#include "Pasteboard.h"
#include "WindowControl.h"

#include <atomic>

// The services of a session without a desktop, made without the desktop
// module: events are dropped with one "No event source" line, there is no
// clipboard, no window and no screen to capture, and no laser dot.
class NoDesktopBackend : public DesktopBackend, private EventPoster, private WindowControl, private Pasteboard {
public:
    BackendKind kind() const override { return BackendKind::None; }
    EventPoster& eventPoster() override { return *this; }
    ScreenCapture* screenCapture() override { return nullptr; }
    WindowControl& windowControl() override { return *this; }
    Pasteboard& pasteboard() override { return *this; }
    std::unique_ptr<LaserDotSurface> makeLaserDotSurface() override;

private:
    // Says once that there is no event source.
    void drop();

    bool hasEventSource() override;
    ScreenPoint pointerLocation() override;
    ScreenSize mainScreenSize() override;
    void postMouse(MouseEventType, MouseButton, ScreenPoint, int) override { drop(); }
    void postScroll(int, int) override { drop(); }
    void postKey(std::uint16_t, bool, std::uint64_t, KeyPurpose) override { drop(); }
    void postUnicodeKeyDown(const char16_t*, std::size_t) override { drop(); }
    void declareUserActivity() override { drop(); }

    std::vector<ClientWindow> list() override { return {}; }
    bool activate(std::uint64_t) override { return false; }
    bool close(std::uint64_t) override { return false; }

    bool available() override { return false; }
    std::optional<std::string> text() override { return std::nullopt; }
    std::vector<std::string> filePaths() override { return {}; }
    std::optional<std::string> data(const std::string&) override { return std::nullopt; }
    long long changeCount() override { return 0; }
    void setChangeListener(std::function<void()>) override {}

    std::atomic<bool> reportedMissing{false};
};
