#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

// A real toolkit text field in a separate process (a small Qt program of the
// test suite) on the current DISPLAY. It takes the keyboard focus; the test
// reads back the exact text that arrived. Ended by its PID.
class TextFieldProbe {
public:
    TextFieldProbe();
    ~TextFieldProbe();
    TextFieldProbe(const TextFieldProbe&) = delete;
    TextFieldProbe& operator=(const TextFieldProbe&) = delete;

    // Waits until the field has the keyboard focus.
    bool waitUntilReady(int timeoutMs = 10000);
    // Waits until the field holds exactly `expected` (UTF-8); false when it
    // does not within the time.
    bool waitForText(const std::string& expected, int timeoutMs = 10000);
    std::string text();
    unsigned long window();

private:
    void readOutput();

    pid_t child = -1;
    int outputFd = -1;
    std::thread reader;
    std::mutex mutex;
    std::condition_variable changed;
    bool ready = false;
    bool ended = false;
    unsigned long windowId = 0;
    std::string current;
};
