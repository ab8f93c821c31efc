#pragma once

#include "ChildProcess.h"

#include <functional>
#include <string>
#include <vector>

// A real toolkit text field in a separate process (a small Qt program of the
// test suite), on the current DISPLAY (platform "xcb") or on the Wayland
// compositor of WAYLAND_DISPLAY (platform "wayland"). It takes the keyboard
// focus and reports what reaches it: the exact text, pointer buttons and
// moves, wheel turns, keys, and the clipboard's text. Ended by its PID.
class TextFieldProbe {
public:
    struct Options {
        std::string platform = "xcb";
        // The probe program, or a copy of it under another name.
        std::string program = CORVANE_TEXT_FIELD_PROBE_EXE;
        bool fullScreen = false;
        // The name the program gives the desktop (Wayland app id); empty: its file name.
        std::string appId;
    };

    TextFieldProbe();
    explicit TextFieldProbe(const Options& options);

    // Waits until the field has the keyboard focus.
    bool waitUntilReady(int timeoutMs = 10000);
    // Waits until the field holds exactly `expected` (UTF-8); false when it
    // does not within the time.
    bool waitForText(const std::string& expected, int timeoutMs = 10000);
    std::string text();
    unsigned long window();

    // The complete report lines so far that start with prefix ("PRESS",
    // "MOVE", "WHEEL", "KEY", "KEYUP", "CLIPBOARD"), without the prefix and its space.
    std::vector<std::string> lines(const std::string& prefix);
    // Every complete report line so far, prefixes included, in order; and
    // those after the first `from` that pass `counted`, once `count` of them
    // have come (or after 5 s) and a moment more has passed.
    std::vector<std::string> reports();
    std::vector<std::string> reportsAfter(std::size_t from, std::size_t count,
                                          const std::function<bool(const std::string&)>& counted);
    // Waits until a complete line equals line.
    bool waitForLine(const std::string& line, int timeoutMs = 10000);
    // Where the report stands now, and a wait for a line reported after
    // that point, which costs the same however long the report has grown.
    std::size_t mark() { return probe.outputSize(); }
    bool waitForLineAfter(std::size_t mark, const std::string& line, int timeoutMs = 10000);
    // Puts text on the clipboard as the probe's own copy.
    void copy(const std::string& text);
    // The clipboard's text as the probe reads it now.
    std::string clipboard(int timeoutMs = 10000);
    // Waits for the probe to end on its own (its window was closed) and
    // returns its exit status; -1 when it still runs after timeoutMs.
    int wait(int timeoutMs) { return probe.wait(timeoutMs); }

private:
    ChildProcess probe;
};
