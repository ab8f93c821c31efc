#pragma once

#include "LaunchOptions.h"
#include "RecordingAlerts.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QApplication;

// The widget application of a shell test. On the "offscreen" platform by
// default, so windows, menus and layouts work without any display; "xcb"
// puts it on the X server of DISPLAY (an XvfbServer started just before).
// Alerts go to a RecordingAlerts the test installs itself. The session bus
// is out of reach for its lifetime, so no tray icon or message of a test
// ever lands on the desktop of the user running the tests.
class ShellApplication {
public:
    explicit ShellApplication(const char* platform = "offscreen");
    ~ShellApplication();

    // Runs the event loop until pred holds; false after timeoutMs.
    bool pumpUntil(const std::function<bool()>& pred, int timeoutMs = 5000);
    // Runs the event loop for about ms milliseconds.
    void pump(int ms);

private:
    int argc = 1;
    char name[20] = "corvane-shell-test";
    char* argv[2] = {name, nullptr};
    std::optional<std::string> savedBus;
    std::unique_ptr<QApplication> application;
};

// Free ports on loopback, with discovery broadcast kept there too.
LaunchOptions LoopbackOptions();
// The alerts shown so far, one "message|informative text|button" line each.
std::string Shown(RecordingAlerts& alerts);
