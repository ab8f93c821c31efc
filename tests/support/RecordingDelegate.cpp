#include "RecordingDelegate.h"

#include <chrono>

RecordingDelegate::RecordingDelegate()
{
    AppDelegateHooks::setCurrent(this);
}

RecordingDelegate::~RecordingDelegate()
{
    AppDelegateHooks::setCurrent(nullptr);
}

void RecordingDelegate::setConnectCnt(int count)
{
    std::lock_guard lock(mutex);
    countLog.push_back(count);
    changed.notify_all();
}

void RecordingDelegate::closeQRCode()
{
    std::lock_guard lock(mutex);
    ++closeCalls;
    changed.notify_all();
}

void RecordingDelegate::myUDPAnswer(MyUDP*, int type, const char* name, const char* ip, int sysType)
{
    std::lock_guard lock(mutex);
    answerLog.push_back({type, name ? name : "", ip ? ip : "", sysType});
    changed.notify_all();
}

void RecordingDelegate::startPasteboardTimer()
{
    std::lock_guard lock(mutex);
    pasteboardLog.push_back("start");
    changed.notify_all();
}

void RecordingDelegate::stopPasteboardTimer()
{
    std::lock_guard lock(mutex);
    pasteboardLog.push_back("stop");
    changed.notify_all();
}

std::vector<int> RecordingDelegate::counts()
{
    std::lock_guard lock(mutex);
    return countLog;
}

std::vector<RecordingDelegate::Answer> RecordingDelegate::answers()
{
    std::lock_guard lock(mutex);
    return answerLog;
}

int RecordingDelegate::closeQRCodeCalls()
{
    std::lock_guard lock(mutex);
    return closeCalls;
}

std::vector<std::string> RecordingDelegate::pasteboardCalls()
{
    std::lock_guard lock(mutex);
    return pasteboardLog;
}

bool RecordingDelegate::waitFor(const std::function<bool(RecordingDelegate&)>& pred, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred(*this)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::milliseconds(20));
    }
    return true;
}
