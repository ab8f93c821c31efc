#pragma once

#include "InputWindow.h"
#include "RecordedCall.h"

#include <mutex>
#include <string>
#include <vector>

// An input window in memory for tests: it records each call ("show",
// "hide", "resetTxt:<text>", "getTxt", "getSendFlag", "resetSendFlag") with
// its thread, and behaves like the real window (visibility, text, send
// flag), so that a test can also play the desktop user.
class RecordingInputWindow : public InputWindow {
public:
    void show() override;
    void hide() override;
    void resetTxt(const std::string& text) override;
    std::string getTxt() override;
    bool getSendFlag() override;
    void resetSendFlag() override;

    // The desktop user types into the field, or presses Send.
    void type(const std::string& text);
    void pressSend();

    bool visible() const;
    std::string text() const;
    std::vector<RecordedCall> calls() const;
    void clearCalls();

private:
    void record(std::string what); // with the lock held
    template <class T>
    T read(const T& value) const
    {
        std::lock_guard lock(mutex);
        return value;
    }

    mutable std::mutex mutex;
    bool shown = false;
    bool sendFlag = false;
    std::string field;
    std::vector<RecordedCall> recorded;
};
