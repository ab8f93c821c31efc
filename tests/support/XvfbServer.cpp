#include "XvfbServer.h"

#include "X11Display.h"

#include <cstdlib>
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
    // The server ends with the test, even when the test dies: an orphaned X
    // server would hold the test runner's output open. It writes the display
    // number it chose once it accepts connections.
    server.emplace(std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0",
                                            std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten",
                                            "tcp", "-noreset"},
                   ChildProcess::Options{.out = ChildProcess::Stream::Collect, .err = ChildProcess::Stream::Discard});
    if (!server->waitForOutput("\n", 10000)) {
        server.reset();
        return;
    }
    name = ":" + server->output().substr(0, server->output().find('\n'));
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
