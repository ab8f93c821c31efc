// The whole path of a pointer move: the client tool's live channel, the
// corvane program, and the X server the program injects into.
#include "ServerProcess.h"
#include "UserSandbox.h"
#include "X11TestWindow.h"
#include "XvfbServer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// Runs `corvane-client live` against the port with `lines` on its standard
// input and returns its exit status.
int RunLiveClient(int port, const std::string& lines)
{
    int input[2];
    if (::pipe2(input, O_CLOEXEC) != 0)
        return -1;
    std::vector<std::string> args = {CORVANE_CLIENT_EXE, "--host", "127.0.0.1", "--port", std::to_string(port),
                                     "live"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    pid_t child = -1;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    if (spawned != 0) {
        ::close(input[1]);
        return -1;
    }
    const bool written = ::write(input[1], lines.data(), lines.size()) == static_cast<ssize_t>(lines.size());
    ::close(input[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return written && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LiveChannelEndToEndTest, ClientToolMovesTheXPointerThroughTheServer)
{
    CORVANE_START_XVFB(xvfb, 640, 480);
    UserSandbox sandbox;
    X11TestWindow observer(620, 460, 10, 10);
    ASSERT_TRUE(observer.open());
    int x = 0, y = 0;
    observer.pointer(x, y);

    ServerProcess server; // inherits DISPLAY, so it injects into this test's X server
    ASSERT_EQ(RunLiveClient(server.tcpPort(), "5 . 30 40\n5 . -10 5\n"), 0);

    EXPECT_TRUE(observer.waitForPointer(x + 20, y + 45)) << server.output();
    EXPECT_TRUE(server.waitForOutput(std::to_string(x + 20) + ".000000 " + std::to_string(y + 45) + ".000000"))
        << server.output();
}

} // namespace
