#pragma once

// The power state of the session's display.
class DisplayPower {
public:
    DisplayPower() = delete;

    // Wakes the display as user input would: resets the X screen saver
    // (ending a running one) and, where the server has DPMS, forces the
    // monitor on. False without a display.
    static bool wake();
};
