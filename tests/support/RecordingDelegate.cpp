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

void RecordingDelegate::change(const std::function<void()>& edit)
{
    {
        std::lock_guard lock(mutex);
        edit();
    }
    changed.notify_all();
}

void RecordingDelegate::setConnectCnt(int count)
{
    change([&] { countLog.push_back(count); });
}

void RecordingDelegate::closeQRCode() {}

void RecordingDelegate::myUDPAnswer(MyUDP*, int type, const char* name, const char* ip, int sysType)
{
    change([&] { answerLog.push_back({type, name ? name : "", ip ? ip : "", sysType}); });
}

void RecordingDelegate::startPasteboardTimer()
{
    change([&] { pasteboardLog.push_back("start"); });
}

void RecordingDelegate::stopPasteboardTimer()
{
    change([&] { pasteboardLog.push_back("stop"); });
}

std::vector<int> RecordingDelegate::counts() { return read(countLog); }
std::vector<RecordingDelegate::Answer> RecordingDelegate::answers() { return read(answerLog); }
std::vector<std::string> RecordingDelegate::pasteboardCalls() { return read(pasteboardLog); }

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
