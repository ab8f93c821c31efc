#pragma once

#include "TempDir.h"

#include <csignal>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

// A program that a test or benchmark starts and owns, through GLib's
// g_spawn (QProcess in Qt 6.4 starts children with a vfork-style clone that
// ThreadSanitizer cannot follow): argv[0] with a '/' is a path, otherwise it
// is looked up in PATH. The child never outlives the thread that started it
// (it gets the stop signal when that thread ends, even when the test
// crashes), and it is ended only through its own PID: the destructor stops
// it. One thread at a time controls it; output() and waitForOutput() may be
// called from any thread: collected output goes to a file, so the child
// never waits for a reader.
class ChildProcess {
public:
    // What becomes of standard output or error.
    enum class Stream {
        Inherit, // the test's own
        Discard, // /dev/null
        Collect, // into output(); both streams share it when both collect
    };

    struct Options {
        Stream out = Stream::Inherit;
        Stream err = Stream::Inherit;
        // Standard input from a pipe that write() fills; otherwise the test's own.
        bool input = false;
        // Descriptors of the test that the child keeps under the same numbers;
        // every other descriptor above standard error is closed in the child.
        std::vector<int> keepOpen;
        // "NAME=VALUE" entries that replace or add to the inherited environment.
        std::vector<std::string> environment;
        // What stop() sends first, and what the child gets when its starter dies.
        int stopSignal = SIGTERM;
    };

    struct Result {
        int status = -1; // exit status; -1 when it did not start or died of a signal
        std::string out;
        std::string err;
    };

    explicit ChildProcess(const std::vector<std::string>& argv);
    ChildProcess(const std::vector<std::string>& argv, const Options& options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Runs argv to its end with input on its standard input and returns its
    // status with what it wrote to standard output and error, kept apart.
    static Result Run(const std::vector<std::string>& argv, const std::string& input = std::string());

    // Whether the program was found and started (stays true after it ends).
    bool started() const { return child > 0; }
    pid_t pid() const { return child; }
    // Whether it still runs; reaps it when it has ended.
    bool running();
    // Waits for it to end (timeoutMs < 0: however long it takes) and returns
    // its exit status; -1 after a signal death, or when it still runs at the
    // time-out. Once it has ended, what it wrote is all in output() (what
    // a process it started writes later comes later).
    int wait(int timeoutMs = -1);
    // Sends the stop signal, then SIGKILL when it has not ended after a
    // grace period; returns the exit status as wait() does.
    int stop();

    // What the collected streams have written so far, and its length.
    std::string output();
    std::size_t outputSize();
    // Waits until the output contains text; false after timeoutMs, or once
    // the program has ended without writing it.
    bool waitForOutput(const std::string& text, int timeoutMs = 5000);
    // The same with a test of the whole output so far (called with it, under
    // a lock, every millisecond while it grows).
    bool waitForOutput(const std::function<bool(const std::string&)>& done, int timeoutMs);

    // Writes to the standard input pipe; false when the child no longer reads.
    bool write(const std::string& bytes);
    void closeInput();

private:
    // Run's: standard output and error go to these files instead.
    ChildProcess(const std::vector<std::string>& argv, const Options& options, const std::string& outFile,
                 const std::string& errFile);
    void reaped(int status);
    // Whether the child has ended, asked of the kernel without reaping it
    // (so from any thread).
    bool endedAnyThread() const;

    // Adds what the collected streams wrote since the last call.
    void readCollected();

    pid_t child = -1;
    bool ended = false;
    int exitStatus = -1;
    int stopSignal = SIGTERM;
    int inputFd = -1;
    std::unique_ptr<TempDir> files; // the collected output's file
    int collectedFd = -1;           // read side of that file
    std::mutex collectedMutex;      // guards collectedFd's position and collected
    std::string collected;
};
