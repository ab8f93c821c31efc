#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Writes bytes into pipes in the background, as a clipboard owner answers
// the programs that paste: many transfers at once, none waiting for
// another, each closed when all is written, when the reader has gone or
// after a time limit (a reader that never reads cannot hold a transfer
// forever). The pipes are handed over and closed here; the thread starts
// with the first transfer and ends with the feeder.
class PipeFeeder {
public:
    static constexpr std::chrono::seconds kTimeLimit{10};

    PipeFeeder() = default;
    ~PipeFeeder();
    PipeFeeder(const PipeFeeder&) = delete;
    PipeFeeder& operator=(const PipeFeeder&) = delete;

    // Takes fd and writes all of bytes into it.
    void feed(int fd, std::shared_ptr<const std::string> bytes);

private:
    struct Transfer {
        int fd;
        std::shared_ptr<const std::string> bytes;
        std::size_t written;
        std::chrono::steady_clock::time_point deadline;
    };
    void loop();

    std::mutex mutex; // guards incoming, stopping and the thread's start
    std::vector<Transfer> incoming;
    bool stopping = false;
    int wakeFd = -1;
    std::thread worker;
};
