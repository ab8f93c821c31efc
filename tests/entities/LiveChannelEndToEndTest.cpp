// The whole path of a pointer move: the client tool's live channel, the
// corvane program, and the X server the program injects into.
#include "ChildProcess.h"
#include "ServerProcess.h"
#include "UserSandbox.h"
#include "X11TestWindow.h"
#include "XvfbServer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LiveChannelEndToEndTest, ClientToolMovesTheXPointerThroughTheServer)
{
    CORVANE_START_XVFB(xvfb, 640, 480);
    UserSandbox sandbox;
    X11TestWindow observer(620, 460, 10, 10);
    ASSERT_TRUE(observer.open());
    int x = 0, y = 0;
    observer.pointer(x, y);

    ServerProcess server; // inherits DISPLAY, so it injects into this test's X server
    // The client tool's live channel reads "TYPE TEXT X Y" lines from its standard input.
    const ChildProcess::Result client = ChildProcess::Run(
        {CORVANE_CLIENT_EXE, "--host", "127.0.0.1", "--port", std::to_string(server.tcpPort()), "live"},
        "5 . 30 40\n5 . -10 5\n");
    ASSERT_EQ(client.status, 0) << client.err;

    EXPECT_TRUE(observer.waitForPointer(x + 20, y + 45)) << server.output();
    EXPECT_TRUE(server.waitForOutput(std::to_string(x + 20) + ".000000 " + std::to_string(y + 45) + ".000000"))
        << server.output();
}

} // namespace
