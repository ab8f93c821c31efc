#pragma once

#include <string>

// A peer on the loopback network listening on a discovery port that it
// shares with the program under test, to hear its broadcasts.
class NoticeListener {
public:
    explicit NoticeListener(int udpPort);
    ~NoticeListener();
    NoticeListener(const NoticeListener&) = delete;
    NoticeListener& operator=(const NoticeListener&) = delete;

    // The text of the next datagram, or empty after timeoutMs of silence.
    std::string hear(int timeoutMs);

private:
    int fd = -1;
};
