#pragma once

#include "ChildProcess.h"

#include <string>

// A real toolkit text field in a separate process (a small Qt program of the
// test suite) on the current DISPLAY. It takes the keyboard focus; the test
// reads back the exact text that arrived. Ended by its PID.
class TextFieldProbe {
public:
    TextFieldProbe();

    // Waits until the field has the keyboard focus.
    bool waitUntilReady(int timeoutMs = 10000);
    // Waits until the field holds exactly `expected` (UTF-8); false when it
    // does not within the time.
    bool waitForText(const std::string& expected, int timeoutMs = 10000);
    std::string text();
    unsigned long window();

private:
    ChildProcess probe;
};
