#pragma once

#include "InProcessServer.h"

#include <functional>
#include <memory>
#include <string>

class QApplication;

// The desktop application of a test (a QApplication, so widgets work too):
// on the xcb platform and the test's X server (usually an XvfbServer
// started just before), or on another Qt platform such as "offscreen",
// where windows, menus and layouts work without any display. Its event loop
// is pumped by the test's main thread while requests run on other threads,
// as the desktop program's event loop would run the main-thread work they
// ask for (clipboard, icons, windows).
class DesktopApplication {
public:
    explicit DesktopApplication(const char* platform = "xcb");
    ~DesktopApplication();

    // Pumps events until pred holds; false after timeoutMs.
    bool pumpUntil(const std::function<bool()>& pred, int timeoutMs = 5000);
    // Pumps events for about ms milliseconds.
    void pump(int ms);
    // Runs work on another thread and pumps events until it is done.
    void runAside(const std::function<void()>& work);
    // Sends one request from another thread and pumps events until the
    // reply has arrived.
    InProcessServer::Reply request(const InProcessServer& server, const std::string& head,
                                   const std::string& body = std::string());

private:
    int argc = 1;
    char name[16] = "corvane-test";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> application;
};
