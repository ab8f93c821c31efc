#pragma once

#include <sys/types.h>

// A standalone system tray (Debian's trayer) on the X server of DISPLAY,
// docked at the top left, so a tray icon lands near (12, 12). Ended by its
// PID on destruction or stop().
class TrayHost {
public:
    TrayHost();
    ~TrayHost();
    TrayHost(const TrayHost&) = delete;
    TrayHost& operator=(const TrayHost&) = delete;

    bool started() const { return pid > 0; }
    void stop();

    static bool installed();

private:
    pid_t pid = -1;
};
