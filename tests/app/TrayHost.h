#pragma once

#include "ChildProcess.h"
#include "XvfbServer.h"

// A standalone system tray (Debian's trayer) on the X server of DISPLAY,
// docked at the top left, so a tray icon lands near (12, 12). Ended by its
// PID on destruction or stop().
class TrayHost {
public:
    TrayHost();

    // Whether the tray runs and has claimed the screen's tray selection, so
    // a program started now finds a tray at once.
    bool started() const { return ready; }
    void stop() { tray.stop(); }

    static bool installed();

private:
    ChildProcess tray;
    bool ready = false;
};

// Fails under CORVANE_REQUIRE_X, and skips otherwise, when a tool is missing.
#define CORVANE_REQUIRE_TOOLS(installed, names)                                                \
    if (!(installed)) {                                                                        \
        if (XvfbServer::required())                                                            \
            FAIL() << names << " required (CORVANE_REQUIRE_X is set) but missing";             \
        GTEST_SKIP() << names << " missing";                                                   \
    }
