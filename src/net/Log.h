#pragma once

// Diagnostics on standard output. Each call formats its text in memory and
// hands it to the system in one write, so lines from different threads never
// mix and a message costs one system call however many lines it has.
class Log {
public:
    Log() = delete;

    static void Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
};
