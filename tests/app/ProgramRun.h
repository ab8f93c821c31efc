#pragma once

#include <string>
#include <vector>

// Runs a program (a path, or a name looked up in PATH) to its end and
// collects its exit status and output.
class ProgramRun {
public:
    struct Outcome {
        int status; // exit status; -1 when it did not start or did not exit normally
        std::string out;
        std::string err;
    };

    static Outcome Run(const std::vector<std::string>& args);
};
