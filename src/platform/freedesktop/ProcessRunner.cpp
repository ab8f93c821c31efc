#include "ProcessRunner.h"

#include <QProcess>
#include <csignal>
#include <unistd.h>

namespace {

// argv with standard input and output on /dev/null and standard error
// inherited; QProcess looks the program up in PATH and gives it SIGPIPE at
// its default.
void Prepare(QProcess& process, const std::vector<std::string>& argv)
{
    QStringList arguments;
    for (std::size_t i = 1; i < argv.size(); ++i)
        arguments << QString::fromStdString(argv[i]);
    process.setProgram(QString::fromStdString(argv[0]));
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

} // namespace

bool ProcessRunner::spawnDetached(const std::vector<std::string>& argv)
{
    if (argv.empty())
        return false;
    // QProcess starts it in a session of its own, through an intermediate
    // child: nothing of ours waits for it or reaps it.
    QProcess process;
    Prepare(process, argv);
    return process.startDetached();
}

int ProcessRunner::run(const std::vector<std::string>& argv, int timeoutSeconds)
{
    if (argv.empty())
        return -1;
    QProcess process;
    Prepare(process, argv);
    // A group of its own, so a time-out ends the children it started too.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start();
    if (!process.waitForStarted(-1))
        return -1;
    const pid_t pid = static_cast<pid_t>(process.processId());
    if (!process.waitForFinished(timeoutSeconds * 1000)) {
        ::kill(-pid, SIGKILL);
        process.waitForFinished(-1);
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
