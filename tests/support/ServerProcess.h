#pragma once

#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// The real corvane program, started on free ports with discovery broadcasts
// kept on loopback (127.255.255.255); headless unless asked for the desktop
// program (which then uses the display of DISPLAY). Its standard output is
// collected; the destructor ends it with SIGTERM by its PID.
class ServerProcess {
public:
    // extraArgs are appended; environment is inherited (use a UserSandbox).
    explicit ServerProcess(const std::vector<std::string>& extraArgs = {}, bool waitUntilListening = true,
                           bool headless = true);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int tcpPort() const { return tcp; }
    int udpPort() const { return udp; }
    pid_t pid() const { return child; }

    std::string output();
    // Waits until the output contains text; false after timeoutMs.
    bool waitForOutput(const std::string& text, int timeoutMs = 5000);
    // Sends SIGTERM and returns the exit status (or -1 for a signal death).
    int stop();
    // Waits for the program to end on its own and returns its exit status.
    int wait(int timeoutMs = 5000);

private:
    int tcp;
    int udp;
    pid_t child = -1;
    int exitStatus = -1;
    int outputFd = -1;
    std::mutex mutex;
    std::string collected;
    std::thread reader;
};
