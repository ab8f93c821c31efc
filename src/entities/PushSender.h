#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

// One push notification: an HTTP POST of body to url with this
// "Authorization" header value.
struct PushPost {
    std::string url;
    std::string authorization;
    std::string body;
};

// Sends push notifications with libcurl on a worker thread of its own, one
// after another in the order they were handed over, so the main thread
// never waits for the network. Each exchange ends with two log lines: the
// response text, then the status line. Failures are only logged; nothing is
// retried.
class PushSender {
public:
    PushSender(const PushSender&) = delete;
    PushSender& operator=(const PushSender&) = delete;

    // Queues one notification and returns at once.
    static void Send(PushPost post);

    // Longest response text kept for the log; the rest is read and dropped.
    static constexpr std::size_t kMaxResponseText = 64 * 1024;
    // Time allowed for one whole exchange.
    static constexpr long kTimeoutMs = 10000;

private:
    PushSender();
    void Run();
    static void Exchange(const PushPost& post);

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<PushPost> queued;
};
