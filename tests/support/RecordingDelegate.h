#pragma once

#include "AppDelegateHooks.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// An application delegate that records the calls the network threads make
// (all but the pairing window's, which the shell tests see on the real window),
// installed as the process's delegate for its lifetime.
class RecordingDelegate : public AppDelegateHooks {
public:
    RecordingDelegate();
    ~RecordingDelegate() override;

    struct Answer {
        int type;
        std::string name;
        std::string ip;
        int sysType;
    };

    void setConnectCnt(int count) override;
    void closeQRCode() override;
    void myUDPAnswer(MyUDP* udp, int type, const char* name, const char* ip, int sysType) override;
    void startPasteboardTimer() override;
    void stopPasteboardTimer() override;

    std::vector<int> counts();
    std::vector<Answer> answers();
    std::vector<std::string> pasteboardCalls();
    // Waits until pred(this) holds or timeoutMs passes.
    bool waitFor(const std::function<bool(RecordingDelegate&)>& pred, int timeoutMs = 5000);

private:
    // Edits the record under the lock and wakes the waiters.
    void change(const std::function<void()>& edit);
    template <class T>
    T read(const T& value)
    {
        std::lock_guard lock(mutex);
        return value;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> countLog;
    std::vector<Answer> answerLog;
    std::vector<std::string> pasteboardLog;
};
