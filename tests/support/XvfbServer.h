#pragma once

#include "ChildProcess.h"

#include <optional>
#include <string>

// A private X server (Xvfb) for one test: started on a free display number,
// DISPLAY points at it and the platform's X connection is reopened on it.
// The previous DISPLAY comes back on destruction and the server is ended by
// its PID.
class XvfbServer {
public:
    explicit XvfbServer(int width = 1280, int height = 800);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool started() const { return server.has_value(); }
    const std::string& display() const { return name; }
    int width() const { return w; }
    int height() const { return h; }

    // Whether Xvfb is installed.
    static bool installed();
    // Whether a missing Xvfb must fail the test (in CI) rather than skip it.
    static bool required();

private:
    std::optional<ChildProcess> server;
    std::string name;
    int w;
    int h;
    std::optional<std::string> savedDisplay;
};

// Starts the server for the enclosing test, or skips (fails in CI) the test
// when Xvfb is not installed.
#define CORVANE_START_XVFB(var, ...)                                                      \
    if (!XvfbServer::installed()) {                                                         \
        if (XvfbServer::required())                                                         \
            FAIL() << "Xvfb is required (CORVANE_REQUIRE_X is set) but not installed";      \
        GTEST_SKIP() << "Xvfb is not installed";                                            \
    }                                                                                       \
    XvfbServer var{__VA_ARGS__};                                                            \
    ASSERT_TRUE(var.started()) << "Xvfb did not start"
