#pragma once

#include "ChildProcess.h"

// A standalone system tray (Debian's trayer) on the X server of DISPLAY,
// docked at the top left, so a tray icon lands near (12, 12). Ended by its
// PID on destruction or stop().
class TrayHost {
public:
    TrayHost();

    bool started() const { return tray.started(); }
    void stop() { tray.stop(); }

    static bool installed();

private:
    ChildProcess tray;
};
