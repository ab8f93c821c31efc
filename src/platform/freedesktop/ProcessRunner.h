#pragma once

#include <string>
#include <vector>

// Runs a program and waits for it, with a time limit.
class ProcessRunner {
public:
    ProcessRunner() = delete;

    // Runs argv (the program is looked up in PATH) with standard input and
    // output on /dev/null and standard error inherited. Returns the exit
    // status, or -1 when it could not start, was killed by a signal, or ran
    // past timeoutSeconds (then it and its children are killed).
    static int run(const std::vector<std::string>& argv, int timeoutSeconds);
    // Starts argv (looked up in PATH) in a session of its own and does not
    // wait for it: launched applications and openers live on independently.
    // Returns false when it could not be started.
    static bool spawnDetached(const std::vector<std::string>& argv);
};
