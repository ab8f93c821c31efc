#include "XvfbServer.h"

#include "X11Display.h"

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
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
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    // The server ends with the test, even when the test dies: an orphaned X
    // server would hold the test runner's output open.
    server.emplace(std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0",
                                            std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten",
                                            "tcp", "-noreset"},
                   ChildProcess::Options{.err = ChildProcess::Stream::Discard, .keepOpen = {pipeFds[1]}});
    ::close(pipeFds[1]);
    // Xvfb writes the display number it chose once it accepts connections.
    std::string number;
    pollfd ready{pipeFds[0], POLLIN, 0};
    while (server->started() && ::poll(&ready, 1, 10000) > 0) {
        char c;
        if (::read(pipeFds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    ::close(pipeFds[0]);
    if (number.empty()) {
        server.reset();
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
    if (!server)
        return;
    if (savedDisplay)
        ::setenv("DISPLAY", savedDisplay->c_str(), 1);
    else
        ::unsetenv("DISPLAY");
    X11Display::instance().Reopen();
    server.reset();
}
