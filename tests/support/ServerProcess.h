#pragma once

#include "ChildProcess.h"

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

// The real corvane program, started on free ports with discovery broadcasts
// kept on loopback (127.255.255.255); headless unless asked for the desktop
// program (which then uses the display of DISPLAY). Its standard output and
// error are collected; the destructor ends it with SIGTERM by its PID.
class ServerProcess {
public:
    // extraArgs are appended; environment is inherited (use a UserSandbox).
    explicit ServerProcess(const std::vector<std::string>& extraArgs = {}, bool waitUntilListening = true,
                           bool headless = true);

    int tcpPort() const { return tcp; }
    int udpPort() const { return udp; }
    pid_t pid() const { return program->pid(); }
    bool running() { return program->running(); }

    std::string output() { return program->output(); }
    // Waits until the output contains text; false after timeoutMs.
    bool waitForOutput(const std::string& text, int timeoutMs = 5000) { return program->waitForOutput(text, timeoutMs); }
    // Sends SIGTERM and returns the exit status (or -1 for a signal death).
    int stop() { return program->stop(); }
    // Waits for the program to end on its own and returns its exit status
    // (-1 when it still runs after timeoutMs).
    int wait(int timeoutMs = 5000) { return program->wait(timeoutMs); }

private:
    int tcp;
    int udp;
    std::unique_ptr<ChildProcess> program;
};
