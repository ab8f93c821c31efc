#pragma once

#include "ChildProcess.h"

#include <string>
#include <sys/types.h>
#include <vector>

// One run of the test application (tests/programs/corvane_test_app),
// started by the test itself and ended by its PID when the object goes.
// The application appends its events to a log file, one line each.
class TestAppProcess {
public:
    // Starts program (the test program or a private copy of it) with
    // --log logFile, --lifetime 60 and extraArgs.
    TestAppProcess(const std::string& program, const std::string& logFile, const std::vector<std::string>& extraArgs);

    pid_t pid() const { return app.pid(); }
    // Whether it still runs (reaps it when it has ended).
    bool running() { return app.running(); }
    // Waits for it to end; false when it still runs after timeoutMs.
    bool waitForExit(int timeoutMs = 10000);

    // The built test program.
    static std::string program();
    // A copy of it in folder under a name of this test process alone, so
    // that tests running side by side never see each other's copies as
    // their application.
    static std::string privateCopy(const std::string& folder);
    static std::vector<std::string> lines(const std::string& logFile);
    // Waits until the log holds a line starting with prefix; returns that
    // line, or "" after timeoutMs.
    static std::string waitForLine(const std::string& logFile, const std::string& prefix, int timeoutMs = 10000);
    // Ends a run of program that the code under test started (known from
    // its "started <pid>" line), by that PID.
    static void endLaunched(pid_t pid, const std::string& program);

private:
    ChildProcess app;
};
