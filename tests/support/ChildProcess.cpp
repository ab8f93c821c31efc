#include "ChildProcess.h"

#include "TempDir.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string_view>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// How long stop() lets the child end on its stop signal before SIGKILL.
constexpr int kStopGraceMs = 10000;
// How long an ended child's output may take to drain; longer only when a
// process the child started still holds the pipe.
constexpr int kOutputGraceMs = 2000;

// The file that argv[0] names: itself when it has a '/', otherwise the first
// executable of that name in PATH; "" when there is none.
std::string ProgramPath(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return name;
    const char* path = std::getenv("PATH");
    const std::string folders = path != nullptr && *path != 0 ? path : "/usr/local/bin:/usr/bin:/bin";
    for (std::size_t begin = 0;;) {
        const std::size_t end = folders.find(':', begin);
        const std::string folder = folders.substr(begin, end - begin);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            return {};
        begin = end + 1;
    }
}

std::string_view NameOf(std::string_view variable)
{
    return variable.substr(0, variable.find('='));
}

// The test's environment with the changes ("NAME=VALUE") made.
std::vector<std::string> Environment(const std::vector<std::string>& changes)
{
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view variable(*entry);
        const bool changed = std::any_of(changes.begin(), changes.end(), [&](const std::string& change) {
            return NameOf(change) == NameOf(variable);
        });
        if (!changed)
            variables.emplace_back(variable);
    }
    variables.insert(variables.end(), changes.begin(), changes.end());
    return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& text : strings)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// A pipe whose ends no other child of the test inherits.
bool Pipe(int& readEnd, int& writeEnd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    readEnd = fds[0];
    writeEnd = fds[1];
    return true;
}

void CloseIfOpen(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv) : ChildProcess(argv, Options{}, -1, -1)
{
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options)
    : ChildProcess(argv, options, -1, -1)
{
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options, int outFile, int errFile)
    : stopSignal(options.stopSignal)
{
    start(argv, options, outFile, errFile);
}

ChildProcess::~ChildProcess()
{
    stop();
    closeInput();
    finishOutput(0);
}

void ChildProcess::start(const std::vector<std::string>& argv, const Options& options, int outFile, int errFile)
{
    outputEnded = true; // until a stream is collected
    if (argv.empty())
        return;
    const std::string path = ProgramPath(argv[0]);
    if (path.empty())
        return;

    // Everything the child needs is made here: between fork and exec it may
    // only make async-signal-safe calls, since the test has other threads.
    std::vector<std::string> args = argv;
    std::vector<std::string> variables = Environment(options.environment);
    const std::vector<char*> argp = Pointers(args);
    const std::vector<char*> envp = Pointers(variables);

    int childInput = -1;
    int childOutput = -1; // the write end of the collecting pipe
    int devNull = -1;
    int errorPipe[2] = {-1, -1}; // carries exec's errno; closed by a successful exec
    const auto closeChildSide = [&] {
        CloseIfOpen(childInput);
        CloseIfOpen(childOutput);
        CloseIfOpen(devNull);
        CloseIfOpen(errorPipe[1]);
    };
    const auto fail = [&](const char* what) {
        closeChildSide();
        CloseIfOpen(errorPipe[0]);
        CloseIfOpen(inputFd);
        CloseIfOpen(outputFd);
        throw std::runtime_error(std::string(what) + " failed for " + argv[0]);
    };
    if (options.input && !Pipe(childInput, inputFd))
        fail("pipe");
    if ((options.out == Stream::Collect || options.err == Stream::Collect) && !Pipe(outputFd, childOutput))
        fail("pipe");
    if (options.out == Stream::Discard || options.err == Stream::Discard) {
        devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (devNull < 0)
            fail("open /dev/null");
    }
    if (!Pipe(errorPipe[0], errorPipe[1]))
        fail("pipe");
    const auto target = [&](Stream stream, int file) {
        if (file >= 0)
            return file;
        return stream == Stream::Collect ? childOutput : stream == Stream::Discard ? devNull : -1;
    };
    // The descriptor that becomes standard input, output and error (-1: the test's own).
    const int sources[3] = {childInput, target(options.out, outFile), target(options.err, errFile)};
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigset_t noSignals;
    sigemptyset(&noSignals);
    const int deathSignal = stopSignal;
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid < 0)
        fail("fork");
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, deathSignal);
        if (::getppid() != parent) // the starter died before the line above
            ::_exit(127);
        for (int fd = 0; fd < 3; ++fd) {
            if (sources[fd] == fd)
                ::fcntl(fd, F_SETFD, 0);
            else if (sources[fd] >= 0)
                ::dup2(sources[fd], fd);
        }
        // Nothing else of the test's leaks into the program: no other child's
        // pipe, no listening socket.
        ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
        for (int fd : options.keepOpen)
            ::fcntl(fd, F_SETFD, 0);
        // Started as from a shell: no blocked and no ignored signals.
        ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
        for (int signal = 1; signal < NSIG; ++signal) {
            struct sigaction current {};
            if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
                ::sigaction(signal, &defaultAction, nullptr);
        }
        ::execve(path.c_str(), argp.data(), envp.data());
        const int error = errno;
        [[maybe_unused]] const ssize_t told = ::write(errorPipe[1], &error, sizeof error);
        ::_exit(127);
    }
    closeChildSide();
    int execError = 0;
    ssize_t got;
    while ((got = ::read(errorPipe[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
    }
    CloseIfOpen(errorPipe[0]);
    if (got > 0) {
        // The program could not be run: the child ended at once.
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        CloseIfOpen(inputFd);
        CloseIfOpen(outputFd);
        return;
    }
    child = pid;
    if (outputFd >= 0) {
        outputEnded = false;
        reader = std::thread([this] { readOutput(); });
    }
}

ChildProcess::Result ChildProcess::Run(const std::vector<std::string>& argv, const std::string& input)
{
    TempDir files;
    const std::string outPath = files.file("out");
    const std::string errPath = files.file("err");
    const int outFd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    Result result;
    if (outFd >= 0 && errFd >= 0) {
        // Standard input always a pipe: a program that reads it meets the end
        // of the input rather than the test's terminal.
        ChildProcess program(argv, Options{.input = true}, outFd, errFd);
        program.write(input);
        program.closeInput();
        result.status = program.wait();
    }
    if (outFd >= 0)
        ::close(outFd);
    if (errFd >= 0)
        ::close(errFd);
    result.out = TempDir::read(outPath);
    result.err = TempDir::read(errPath);
    return result;
}

void ChildProcess::reaped(int status)
{
    ended = true;
    exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    finishOutput(kOutputGraceMs);
}

bool ChildProcess::running()
{
    if (child <= 0 || ended)
        return false;
    int status = 0;
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == 0 || (done < 0 && errno == EINTR))
        return true;
    reaped(done == child ? status : -1);
    return false;
}

int ChildProcess::wait(int timeoutMs)
{
    if (child <= 0 || ended)
        return exitStatus;
    if (timeoutMs < 0) {
        int status = 0;
        pid_t done;
        while ((done = ::waitpid(child, &status, 0)) < 0 && errno == EINTR) {
        }
        reaped(done == child ? status : -1);
        return exitStatus;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto pause = std::chrono::milliseconds(1);
    while (running()) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return -1;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, left));
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
    return exitStatus;
}

int ChildProcess::stop()
{
    if (!running())
        return exitStatus;
    ::kill(child, stopSignal);
    if (wait(kStopGraceMs) < 0 && running()) {
        ::kill(child, SIGKILL);
        wait();
    }
    return exitStatus;
}

bool ChildProcess::write(const std::string& bytes)
{
    if (inputFd < 0)
        return false;
    // A child that no longer reads must not end the test with SIGPIPE: the
    // signal stays blocked in this thread and a pending one is taken back.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t saved;
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &saved);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(inputFd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    if (done < bytes.size()) {
        const timespec now{};
        while (::sigtimedwait(&pipeSignal, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    return done == bytes.size();
}

void ChildProcess::closeInput()
{
    CloseIfOpen(inputFd);
}

void ChildProcess::readOutput()
{
    char buffer[65536];
    // Looks up now and then whether the owner has given up on the rest.
    while (!abandoned) {
        pollfd ready{outputFd, POLLIN, 0};
        const int events = ::poll(&ready, 1, 100);
        if (events == 0 || (events < 0 && errno == EINTR))
            continue;
        if (events < 0)
            break;
        const ssize_t got = ::read(outputFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        std::lock_guard lock(mutex);
        collected.append(buffer, static_cast<std::size_t>(got));
        arrived.notify_all();
    }
    std::lock_guard lock(mutex);
    outputEnded = true;
    arrived.notify_all();
}

void ChildProcess::finishOutput(int timeoutMs)
{
    if (!reader.joinable())
        return;
    {
        std::unique_lock lock(mutex);
        arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return outputEnded; });
    }
    abandoned = true;
    reader.join();
    CloseIfOpen(outputFd);
}

std::string ChildProcess::output()
{
    std::lock_guard lock(mutex);
    return collected;
}

std::size_t ChildProcess::outputSize()
{
    std::lock_guard lock(mutex);
    return collected.size();
}

bool ChildProcess::waitForOutput(const std::string& text, int timeoutMs)
{
    return waitForOutput([&](const std::string& output) { return output.find(text) != std::string::npos; },
                         timeoutMs);
}

bool ChildProcess::waitForOutput(const std::function<bool(const std::string&)>& done, int timeoutMs)
{
    std::unique_lock lock(mutex);
    arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return outputEnded || done(collected); });
    return done(collected);
}
