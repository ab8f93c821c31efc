#include "ChildProcess.h"

#include <QProcess>

#include <chrono>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// How long stop() lets the child end on its stop signal before SIGKILL.
constexpr int kStopGraceMs = 10000;

// Where a stream goes: the test's own, a file, or (empty) a pipe of QProcess's.
QString Target(ChildProcess::Stream stream, const std::string& collected)
{
    if (stream == ChildProcess::Stream::Discard)
        return QProcess::nullDevice();
    return stream == ChildProcess::Stream::Collect ? QString::fromStdString(collected) : QString();
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv) : ChildProcess(argv, Options{}, "", "") {}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options)
    : ChildProcess(argv, options, "", "")
{
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options, const std::string& outFile,
                           const std::string& errFile)
    : process(std::make_unique<QProcess>()), stopSignal(options.stopSignal)
{
    if (argv.empty())
        return;
    std::string collectedFile;
    if (options.out == Stream::Collect || options.err == Stream::Collect) {
        files = std::make_unique<TempDir>();
        collectedFile = files->write("output", "");
        collectedFd = ::open(collectedFile.c_str(), O_RDONLY | O_CLOEXEC);
    }
    QStringList arguments;
    for (std::size_t i = 1; i < argv.size(); ++i)
        arguments << QString::fromStdString(argv[i]);
    process->setProgram(QString::fromStdString(argv[0]));
    process->setArguments(arguments);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const std::string& change : options.environment) {
        const std::size_t equals = change.find('=');
        environment.insert(QString::fromStdString(change.substr(0, equals)),
                           QString::fromStdString(equals == std::string::npos ? "" : change.substr(equals + 1)));
    }
    process->setProcessEnvironment(environment);
    process->setInputChannelMode(options.input ? QProcess::ManagedInputChannel : QProcess::ForwardedInputChannel);
    const QString out = outFile.empty() ? Target(options.out, collectedFile) : QString::fromStdString(outFile);
    const QString err = errFile.empty() ? Target(options.err, collectedFile) : QString::fromStdString(errFile);
    process->setProcessChannelMode(out.isEmpty() ? (err.isEmpty() ? QProcess::ForwardedChannels
                                                                  : QProcess::ForwardedOutputChannel)
                                                 : (err.isEmpty() ? QProcess::ForwardedErrorChannel
                                                                  : QProcess::SeparateChannels));
    if (!out.isEmpty())
        process->setStandardOutputFile(out, QIODevice::Append);
    if (!err.isEmpty())
        process->setStandardErrorFile(err, QIODevice::Append);

    // Runs in the child between fork and exec: only async-signal-safe calls.
    const int deathSignal = stopSignal;
    const pid_t parent = ::getpid();
    process->setChildProcessModifier([deathSignal, parent, keep = options.keepOpen] {
        ::prctl(PR_SET_PDEATHSIG, deathSignal);
        if (::getppid() != parent) // the starter died before the line above
            ::_exit(127);
        // Nothing else of the test's leaks into the program: no other child's
        // pipe, no listening socket.
        ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
        for (const int fd : keep)
            ::fcntl(fd, F_SETFD, 0);
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
    });
    process->start();
    if (process->waitForStarted(-1))
        child = static_cast<pid_t>(process->processId());
}

ChildProcess::~ChildProcess()
{
    stop();
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

void ChildProcess::noteEnd()
{
    if (ended || process->state() != QProcess::NotRunning)
        return;
    ended = true;
    exitStatus = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
}

bool ChildProcess::running()
{
    if (!started() || ended)
        return false;
    process->waitForFinished(0);
    noteEnd();
    return !ended;
}

int ChildProcess::wait(int timeoutMs)
{
    if (started() && !ended) {
        process->waitForFinished(timeoutMs < 0 ? -1 : timeoutMs);
        noteEnd();
    }
    return ended ? exitStatus : -1;
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
    if (!started() || process->inputChannelMode() != QProcess::ManagedInputChannel ||
        process->write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
        return false;
    while (process->bytesToWrite() > 0) {
        if (!process->waitForBytesWritten(-1))
            return false;
    }
    return true;
}

void ChildProcess::closeInput()
{
    if (started())
        process->closeWriteChannel();
}

bool ChildProcess::endedAnyThread() const
{
    siginfo_t info{};
    // Peeks without reaping; a child already reaped is no longer ours to ask.
    return ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT | __WALL) != 0 ||
           info.si_pid == child;
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
