#include "PipeFeeder.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <csignal>
#include <ctime>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

PipeFeeder::~PipeFeeder()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    if (worker.joinable()) {
        const std::uint64_t one = 1;
        (void)!::write(wakeFd, &one, sizeof one);
        worker.join();
    }
    if (wakeFd >= 0)
        ::close(wakeFd);
    for (const Transfer& transfer : incoming)
        ::close(transfer.fd);
}

void PipeFeeder::feed(int fd, std::shared_ptr<const std::string> bytes)
{
    // Writes must never block the loop: it serves every transfer.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::lock_guard lock(mutex);
    if (stopping) {
        ::close(fd);
        return;
    }
    incoming.push_back({fd, std::move(bytes), 0, std::chrono::steady_clock::now() + kTimeLimit});
    if (!worker.joinable()) {
        wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        worker = std::thread([this] { loop(); });
    }
    const std::uint64_t one = 1;
    (void)!::write(wakeFd, &one, sizeof one);
}

void PipeFeeder::loop()
{
    // A reader that closes early must not end the program with SIGPIPE:
    // blocked on this thread, the write fails with EPIPE instead, and the
    // signal left pending is taken here.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    const timespec noWait{0, 0};

    std::vector<Transfer> active;
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (stopping)
                break;
            std::move(incoming.begin(), incoming.end(), std::back_inserter(active));
            incoming.clear();
        }
        // Write what each pipe takes now; a transfer ends when complete,
        // when its reader has gone, or at its deadline.
        const auto now = std::chrono::steady_clock::now();
        std::erase_if(active, [&](Transfer& transfer) {
            while (transfer.written < transfer.bytes->size()) {
                const ssize_t put = ::write(transfer.fd, transfer.bytes->data() + transfer.written,
                                            transfer.bytes->size() - transfer.written);
                if (put > 0) {
                    transfer.written += static_cast<std::size_t>(put);
                    continue;
                }
                if (put < 0 && errno == EINTR)
                    continue;
                if (put < 0 && errno == EAGAIN && now < transfer.deadline)
                    return false; // the pipe is full: wait until it takes more
                if (put < 0 && errno == EPIPE)
                    ::sigtimedwait(&pipeSignal, nullptr, &noWait);
                break;
            }
            ::close(transfer.fd);
            return true;
        });

        std::vector<pollfd> waits{{wakeFd, POLLIN, 0}};
        auto next = std::chrono::steady_clock::time_point::max();
        for (const Transfer& transfer : active) {
            waits.push_back({transfer.fd, POLLOUT, 0});
            next = std::min(next, transfer.deadline);
        }
        const int timeoutMs =
            active.empty() ? -1
                           : static_cast<int>(std::max<long long>(
                                 0, std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count() + 1));
        ::poll(waits.data(), waits.size(), timeoutMs);
        if (waits[0].revents & POLLIN) {
            std::uint64_t count = 0;
            (void)!::read(wakeFd, &count, sizeof count);
        }
    }
    for (const Transfer& transfer : active)
        ::close(transfer.fd);
}
