#include "ChildProcess.h"

#include <glib.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// How long stop() lets the child end on its stop signal before SIGKILL.
constexpr int kStopGraceMs = 10000;

// What the child does between fork and exec (only async-signal-safe calls:
// the test has other threads).
struct ChildSetup {
    int deathSignal;
    pid_t parent;
};

void SetUpChild(gpointer data)
{
    const auto* setup = static_cast<const ChildSetup*>(data);
    ::prctl(PR_SET_PDEATHSIG, setup->deathSignal);
    if (::getppid() != setup->parent) // the starter died before the line above
        ::_exit(127);
    // Started as from a shell: no blocked and no ignored signals.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
            current.sa_handler = SIG_DFL;
            ::sigaction(signal, &current, nullptr);
        }
    }
}

int OpenForAppending(const std::string& path)
{
    return path.empty() ? -1 : ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv) : ChildProcess(argv, Options{}, "", "") {}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options)
    : ChildProcess(argv, options, "", "")
{
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options, const std::string& outFile,
                           const std::string& errFile)
    : stopSignal(options.stopSignal)
{
    if (argv.empty())
        return;
    std::string collectedFile;
    if (options.out == Stream::Collect || options.err == Stream::Collect) {
        files = std::make_unique<TempDir>();
        collectedFile = files->write("output", "");
        collectedFd = ::open(collectedFile.c_str(), O_RDONLY | O_CLOEXEC);
    }
    const auto target = [&](Stream stream, const std::string& file) {
        return OpenForAppending(!file.empty() ? file : stream == Stream::Collect ? collectedFile : "");
    };
    const int outFd = target(options.out, outFile);
    const int errFd = target(options.err, errFile);

    std::vector<const char*> args;
    for (const std::string& arg : argv)
        args.push_back(arg.c_str());
    args.push_back(nullptr);
    gchar** environment = g_get_environ();
    for (const std::string& change : options.environment) {
        const std::size_t equals = change.find('=');
        environment = g_environ_setenv(environment, change.substr(0, equals).c_str(),
                                       equals == std::string::npos ? "" : change.c_str() + equals + 1, TRUE);
    }
    // GLib forks, looks argv[0] up in PATH, closes every other descriptor
    // above standard error and reports a failed exec.
    int flags = G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_SEARCH_PATH;
    if (!options.input)
        flags |= G_SPAWN_CHILD_INHERITS_STDIN;
    if (options.out == Stream::Discard && outFile.empty())
        flags |= G_SPAWN_STDOUT_TO_DEV_NULL;
    if (options.err == Stream::Discard && errFile.empty())
        flags |= G_SPAWN_STDERR_TO_DEV_NULL;
    ChildSetup setup{stopSignal, ::getpid()};
    GPid pid = 0;
    if (g_spawn_async_with_pipes_and_fds(nullptr, args.data(), environment, static_cast<GSpawnFlags>(flags),
                                         SetUpChild, &setup, -1, outFd, errFd, options.keepOpen.data(),
                                         options.keepOpen.data(), options.keepOpen.size(), &pid,
                                         options.input ? &inputFd : nullptr, nullptr, nullptr, nullptr))
        child = pid;
    g_strfreev(environment);
    for (const int fd : {outFd, errFd}) {
        if (fd >= 0)
            ::close(fd);
    }
}

ChildProcess::~ChildProcess()
{
    stop();
    closeInput();
    if (collectedFd >= 0)
        ::close(collectedFd);
}

ChildProcess::Result ChildProcess::Run(const std::vector<std::string>& argv, const std::string& input)
{
    TempDir files;
    Result result;
    {
        // Standard input always a pipe: a program that reads it meets the end
        // of the input rather than the test's terminal.
        ChildProcess program(argv, Options{.input = true}, files.write("out", ""), files.write("err", ""));
        program.write(input);
        program.closeInput();
        result.status = program.wait();
    }
    result.out = TempDir::read(files.file("out"));
    result.err = TempDir::read(files.file("err"));
    return result;
}

void ChildProcess::reaped(int status)
{
    ended = true;
    exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ChildProcess::running()
{
    if (!started() || ended)
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
    if (!started() || ended)
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
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
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
    if (inputFd >= 0)
        ::close(inputFd);
    inputFd = -1;
}

bool ChildProcess::endedAnyThread() const
{
    siginfo_t info{};
    // Peeks without reaping; a child already reaped is no longer ours to ask.
    return ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == child;
}

void ChildProcess::readCollected()
{
    char piece[65536];
    for (ssize_t got; collectedFd >= 0 && (got = ::read(collectedFd, piece, sizeof piece)) > 0;)
        collected.append(piece, static_cast<std::size_t>(got));
}

std::string ChildProcess::output()
{
    std::lock_guard lock(collectedMutex);
    readCollected();
    return collected;
}

std::size_t ChildProcess::outputSize()
{
    std::lock_guard lock(collectedMutex);
    readCollected();
    return collected.size();
}

bool ChildProcess::waitForOutput(const std::string& text, int timeoutMs)
{
    return waitForOutput([&](const std::string& output) { return output.find(text) != std::string::npos; },
                         timeoutMs);
}

bool ChildProcess::waitForOutput(const std::function<bool(const std::string&)>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const bool over = !started() || endedAnyThread(); // before the reading, which then has it all
        {
            std::lock_guard lock(collectedMutex);
            readCollected();
            if (done(collected))
                return true;
        }
        if (over || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
