// The text-input command through a live server: each command type, the
// poll that collects a sent text once, and the hop to the main thread that
// the connection waits for.
#include "InProcessServer.h"
#include "InputWindow.h"
#include "ManualMainQueue.h"
#include "RecordingInputWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

class InputCmdTest : public ::testing::Test {
protected:
    void SetUp() override { InputWindow::setInstance(&window); }
    void TearDown() override { InputWindow::setInstance(nullptr); }

    // Sends "OpKey_Input" from another thread while this thread, the main
    // thread of the test, carries out what the request hands to it.
    std::string Input(const std::string& body)
    {
        std::atomic<bool> done{false};
        InProcessServer::Reply reply{};
        std::thread client([&] {
            reply = server.request("OpKey_Input", body);
            done = true;
        });
        const bool finished = mainQueue.runUntil([&] { return done.load(); });
        client.join();
        EXPECT_TRUE(finished);
        EXPECT_EQ(reply.result, NR_OK);
        return reply.bytes;
    }

    std::vector<std::string> Calls()
    {
        std::vector<std::string> texts;
        for (const RecordedCall& call : window.calls()) {
            EXPECT_EQ(call.thread, mainQueue.mainThread()) << call.text << " ran off the main thread";
            texts.push_back(call.text);
        }
        window.clearCalls();
        return texts;
    }

    ManualMainQueue mainQueue;
    RecordingInputWindow window;
    InProcessServer server;
};

using Strings = std::vector<std::string>;

TEST_F(InputCmdTest, ShowHideAndSetTextDriveTheWindowOnTheMainThread)
{
    EXPECT_EQ(Input("0"), "0^_7");
    EXPECT_EQ(Calls(), Strings({"show"}));
    EXPECT_TRUE(window.visible());

    EXPECT_EQ(Input("1^_7ignored"), "0^_7");
    EXPECT_EQ(Calls(), Strings({"hide"}));
    EXPECT_FALSE(window.visible());

    EXPECT_EQ(Input("2^_7abc"), "0^_7abc");
    EXPECT_EQ(Calls(), Strings({"resetTxt:abc", "getTxt"}));
    EXPECT_TRUE(window.visible());
    EXPECT_EQ(window.text(), "abc");

    EXPECT_EQ(Input("2^_7你好，世界 ^%_ x"), "0^_7你好，世界 ^%_ x");
    EXPECT_EQ(Calls(), Strings({"resetTxt:你好，世界 ^%_ x", "getTxt"}));

    // Without a text field the text is empty.
    EXPECT_EQ(Input("2"), "0^_7");
    EXPECT_EQ(Calls(), Strings({"resetTxt:", "getTxt"}));

    // Other command numbers answer the default record and touch nothing.
    EXPECT_EQ(Input("4^_7x"), "0^_7");
    EXPECT_EQ(Input("-1"), "0^_7");
    EXPECT_EQ(Input("zero"), "0^_7"); // reads as 0: show
    EXPECT_EQ(Calls(), Strings({"show"}));
}

TEST_F(InputCmdTest, APollCollectsASentTextExactlyOnce)
{
    window.type("draft");
    EXPECT_EQ(Input("3"), "0^_7draft"); // typed but not sent
    EXPECT_EQ(Calls(), Strings({"getSendFlag", "getTxt"}));

    window.type("meet at 10");
    window.pressSend();
    EXPECT_EQ(Input("3"), "1^_7meet at 10"); // the text as it stood before the reset
    EXPECT_EQ(Calls(), Strings({"getSendFlag", "getTxt", "resetSendFlag"}));
    EXPECT_EQ(window.text(), "");

    EXPECT_EQ(Input("3"), "0^_7");
    EXPECT_EQ(Calls(), Strings({"getSendFlag", "getTxt"}));
}

TEST_F(InputCmdTest, APollAfterHideShowsTheWindowAgain)
{
    EXPECT_EQ(Input("2^_7kept"), "0^_7kept");
    EXPECT_EQ(Input("1"), "0^_7");
    EXPECT_FALSE(window.visible());
    EXPECT_EQ(Input("3"), "0^_7kept");
    EXPECT_TRUE(window.visible());
}

TEST_F(InputCmdTest, TheConnectionWaitsForTheMainThread)
{
    std::atomic<bool> done{false};
    std::string reply;
    std::thread client([&] {
        reply = server.request("OpKey_Input", "2^_7later").bytes;
        done = true;
    });
    // The command is queued and its connection holds its reply back until
    // the main thread has run it.
    ASSERT_TRUE(mainQueue.waitForPending(1));
    EXPECT_FALSE(done.load());
    EXPECT_TRUE(window.calls().empty());
    EXPECT_TRUE(mainQueue.runUntil([&] { return done.load(); }));
    client.join();
    EXPECT_EQ(reply, "0^_7later");
}

TEST_F(InputCmdTest, WithoutAWindowEveryCommandAnswersTheDefaultRecord)
{
    InputWindow::setInstance(nullptr);
    for (const char* body : {"0", "1", "2^_7abc", "3"})
        EXPECT_EQ(Input(body), "0^_7") << body;
    EXPECT_TRUE(window.calls().empty());
}

} // namespace
