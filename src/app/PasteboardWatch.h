#pragma once

#include <memory>

class QTimer;

// The clipboard watch: while it runs, the clipboard is checked every half
// second and each new content is pushed to the phone (HttpRequest). The
// change count seen last lives as long as the watch, across stops and
// starts. Main thread only.
class PasteboardWatch {
public:
    PasteboardWatch();
    ~PasteboardWatch();
    PasteboardWatch(const PasteboardWatch&) = delete;
    PasteboardWatch& operator=(const PasteboardWatch&) = delete;

    // Starts the checks, the first one at once; nothing when they run.
    void startPasteboardTimer();
    void stopPasteboardTimer();
    bool running() const { return pasteBoardTimer != nullptr; }

    // One check: when the clipboard's change count moved, logs the change
    // and pushes it, except for the first change count ever seen, which is
    // only recorded.
    void checkPasteboard();

    long long changeCount() const { return pasteBoardChangeCnt; }

    static constexpr int kIntervalMs = 500;

private:
    std::unique_ptr<QTimer> pasteBoardTimer;
    long long pasteBoardChangeCnt = 0;
};
