#include "XvfbServer.h"

#include "X11Display.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>


bool XvfbServer::installed()
{
    return ::access("/usr/bin/Xvfb", X_OK) == 0;
}

bool XvfbServer::required()
{
    const char* flag = std::getenv("CORVANE_REQUIRE_X");
    return flag != nullptr && *flag != 0 && *flag != '0';
}

XvfbServer::XvfbServer(int width, int height) : w(width), h(height)
{
    if (!installed())
        return;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return;
    std::vector<std::string> args = {"/usr/bin/Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0",
                                     std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp",
                                     "-noreset"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    server = ::fork();
    if (server == 0) {
        // The server ends with the test, even when the test dies: an
        // orphaned X server would hold the test runner's output open.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::close(pipeFds[0]);
        ::dup2(devNull, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(devNull);
    ::close(pipeFds[1]);
    if (server < 0) {
        server = -1;
        ::close(pipeFds[0]);
        return;
    }
    // Xvfb writes the display number it chose once it accepts connections.
    std::string number;
    pollfd ready{pipeFds[0], POLLIN, 0};
    while (::poll(&ready, 1, 10000) > 0) {
        char c;
        if (::read(pipeFds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    ::close(pipeFds[0]);
    if (number.empty()) {
        ::kill(server, SIGTERM);
        ::waitpid(server, nullptr, 0);
        server = -1;
        return;
    }
    name = ":" + number;
    if (const char* old = std::getenv("DISPLAY"))
        savedDisplay = old;
    ::setenv("DISPLAY", name.c_str(), 1);
    X11Display::instance().Reopen();
}

XvfbServer::~XvfbServer()
{
    if (server <= 0)
        return;
    if (savedDisplay)
        ::setenv("DISPLAY", savedDisplay->c_str(), 1);
    else
        ::unsetenv("DISPLAY");
    X11Display::instance().Reopen();
    ::kill(server, SIGTERM);
    int status = 0;
    while (::waitpid(server, &status, 0) < 0 && errno == EINTR) {
    }
}
