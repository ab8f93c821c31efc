// Device information, remote scripts, the text-input command and the laser
// pointer through a live server on loopback, with settings in
// a private home and main-thread work run by the test's own main queue.
#include "Config.h"
#include "InProcessServer.h"
#include "InputWindow.h"
#include "LaserPointer.h"
#include "ManualMainQueue.h"
#include "MyClient.h"
#include "RecordingInputWindow.h"
#include "RecordingLaserPointer.h"
#include "SCommon.h"
#include "UserSandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <pwd.h>
#include <thread>
#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;

TEST(DeviceInfo, DescribesTheHostInTenTerminatedFields)
{
    UserSandbox user;
    InProcessServer server;
    const passwd* me = ::getpwuid(::geteuid());
    ASSERT_NE(me, nullptr);
    const std::string host = hostName();
    EXPECT_FALSE(host.empty());
    const auto info = [&](const std::string& password, const char* autoStart) {
        return "2^_7" + host + "^_7" + me->pw_name + "^_7" + user.home() + "^_7" + password + "^_7180^_70^_7" +
               user.documents() + "^_7" + user.desktop() + "^_7" + autoStart + "^_7";
    };
    // No password set; starts at login unless the user turned it off.
    EXPECT_EQ(server.request("OpKey_GetDeviceInfo", "ignored body").bytes, info("", "1"));
    Config::setConnPwd("s3cret pass");
    Config::setAutoStart(false);
    EXPECT_EQ(server.request("OpKey_GetDeviceInfo").bytes, info("s3cret pass", "0"));
}

TEST(RemoteScript, IsRefusedUnlessTheUserAllowedIt)
{
    UserSandbox user;
    InProcessServer server;
    const std::string marker = user.root().file("ran");
    const std::string script = "touch '" + marker + "'";
    EXPECT_EQ(server.request("OpKey_Shell", script).bytes, "0");
    EXPECT_FALSE(std::filesystem::exists(marker));

    Config::setShellAllowed(true);
    EXPECT_EQ(server.request("OpKey_Shell", script + "; exit 0").bytes, "1");
    EXPECT_TRUE(std::filesystem::exists(marker));
    EXPECT_EQ(server.request("OpKey_Shell", "exit 3").bytes, "0");
    EXPECT_EQ(server.request("OpKey_Shell", "if then fi (").bytes, "0"); // syntax error

    Config::setShellAllowed(false);
    std::filesystem::remove(marker);
    EXPECT_EQ(server.request("OpKey_Shell", script).bytes, "0");
    EXPECT_FALSE(std::filesystem::exists(marker));
}

// The text-input window and the laser pointer are recorded; what a request
// hands to the main thread runs when the test's main queue runs it.
class MainThreadRequests : public ::testing::Test {
protected:
    void SetUp() override
    {
        InputWindow::setInstance(&window);
        LaserPointer::setInstance(&pointer);
    }
    void TearDown() override
    {
        InputWindow::setInstance(nullptr);
        LaserPointer::setInstance(nullptr);
    }

    // Sends "OpKey_Input" from another thread while this one runs the main queue.
    std::string Input(const std::string& body)
    {
        std::atomic<bool> done{false};
        InProcessServer::Reply reply{};
        std::thread client([&] {
            reply = server.request("OpKey_Input", body);
            done = true;
        });
        EXPECT_TRUE(mainQueue.runUntil([&] { return done.load(); }));
        client.join();
        EXPECT_EQ(reply.result, NR_OK);
        return reply.bytes;
    }

    // The calls so far, each checked to have run on the main thread; the window's are then forgotten.
    template <class Recording>
    Strings Calls(Recording& recording)
    {
        Strings texts;
        for (const RecordedCall& call : recording.calls()) {
            EXPECT_EQ(call.thread, mainQueue.mainThread()) << call.text << " ran off the main thread";
            texts.push_back(call.text);
        }
        if constexpr (requires { recording.clearCalls(); })
            recording.clearCalls();
        return texts;
    }

    ManualMainQueue mainQueue;
    RecordingInputWindow window;
    RecordingLaserPointer pointer;
    InProcessServer server;
};

TEST_F(MainThreadRequests, InputCommandsDriveTheWindow)
{
    const struct {
        const char* body;
        const char* reply;
        Strings calls;
        bool visibleAfter;
    } steps[] = {
        {"0", "0^_7", {"show"}, true},
        {"1^_7ignored", "0^_7", {"hide"}, false},
        {"2^_7abc", "0^_7abc", {"resetTxt:abc", "getTxt"}, true},
        {"2^_7你好，世界 ^%_ x", "0^_7你好，世界 ^%_ x", {"resetTxt:你好，世界 ^%_ x", "getTxt"}, true},
        {"2", "0^_7", {"resetTxt:", "getTxt"}, true}, // without a text field the text is empty
        {"4^_7x", "0^_7", {}, true},                   // other command numbers touch nothing
        {"-1", "0^_7", {}, true},
        {"1", "0^_7", {"hide"}, false},
        {"zero", "0^_7", {"show"}, true}, // reads as 0
        {"2^_7kept", "0^_7kept", {"resetTxt:kept", "getTxt"}, true},
        {"1", "0^_7", {"hide"}, false},
        {"3", "0^_7kept", {"getSendFlag", "getTxt"}, true}, // a poll after hide shows the window again
    };
    for (const auto& step : steps) {
        EXPECT_EQ(Input(step.body), step.reply) << step.body;
        EXPECT_EQ(Calls(window), step.calls) << step.body;
        EXPECT_EQ(window.visible(), step.visibleAfter) << step.body;
    }
    EXPECT_EQ(window.text(), "kept");

    InputWindow::setInstance(nullptr); // without a window every command answers the default record
    for (const char* body : {"0", "1", "2^_7abc", "3"})
        EXPECT_EQ(Input(body), "0^_7") << body;
    EXPECT_TRUE(window.calls().empty());
}

TEST_F(MainThreadRequests, LaserPointerChangesAreQueuedInOrderWithoutWaiting)
{
    MyClient client;
    client.SetInfo("127.0.0.1", server.port(), 5);
    ASSERT_EQ(client.ConnService(), NR_OK);
    const std::tuple<MsgType, float, float> live[] = {{MsgType_LightOn, 0, 0},     {MsgType_LightMove, 3, -4.5f},
                                                      {MsgType_LightMove, -0.25f, 12}, {MsgType_LightSwitch, 0, 0},
                                                      {MsgType_LightOff, 0, 0}};
    for (const auto& [type, x, y] : live) {
        std::unique_ptr<char[]> message(GetMsgBuf(type, nullptr, x, y));
        ASSERT_EQ(client.SendMsg(message.get()), NR_OK);
    }
    ASSERT_TRUE(mainQueue.waitForPending(5));
    // The requests are answered, with empty replies, while nothing has run on the main thread;
    // those with too few fields change nothing.
    for (const auto& [head, body] : {std::pair{"OpKey_LightColor", "65280^_70.5^_70"}, {"OpKey_LightSize", "60^_720^_71"},
                                     {"OpKey_LightColor", "16711680^_71^_71"}, {"OpKey_LightColor", "65280^_70.5"},
                                     {"OpKey_LightSize", "40"}, {"OpKey_LightColor", "255^_71e300^_71"}}) {
        const InProcessServer::Reply reply = server.request(head, body);
        EXPECT_EQ(reply.result, NR_OK);
        EXPECT_EQ(reply.bytes, "");
    }
    EXPECT_EQ(pointer.count(), 0u);
    EXPECT_EQ(mainQueue.runPending(), 9u);
    EXPECT_EQ(Calls(pointer), Strings({"show", "move 3 -4.5", "move -0.25 12", "alphaSwitch", "hide",
                                       "lightColor 0x00ff00 0.5 0", "lightSize 60 20 1", "lightColor 0xff0000 1 1",
                                       "lightColor 0x0000ff 3.40282e+38 1"})); // an alpha beyond float, held in range

    // Without a pointer, changes are dropped.
    LaserPointer::setInstance(nullptr);
    EXPECT_EQ(server.request("OpKey_LightSize", "40^_740^_71").bytes, "");
    EXPECT_EQ(mainQueue.runPending(), 1u);
    EXPECT_EQ(pointer.count(), 9u);
}

} // namespace
